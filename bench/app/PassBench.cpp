// SPDX-License-Identifier: MIT
// What one measuring pass costs, the rest between passes excluded: reading the ring and
// measuring it (always), building the scope points and analysing both spectra (only while
// their windows show). The budget for a whole pass with both windows open is 5 % of the
// default 35 ms rest, 1.75 ms.
#include <benchmark/benchmark.h>

#include <memory>

#include "QuietSound.h"
#include "analysis/WaveFFT.h"
#include "app/MeasuringPass.h"
#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"

namespace sonavik {
namespace {

// A capturing buffer over a full-scale stereo ring whose read cursor moves every pass.
class Rig {
 public:
  Rig() {
    SetSoundPlatform(&sound_);
    capture_ = std::make_unique<TACAPCapture>(component_, nullptr);
    capture_->CreateBuffer(44100, 16, true, TMeasuringPass::kRingBytes);
    capture_->Start();
    for (TWaveFFT* a : {&left_, &right_}) {
      a->SetCount(0);
      a->SetSamplingRate(44100.0);
      a->SetWindowType(wtKAISER);
    }
  }
  ~Rig() {
    capture_.reset();
    SetSoundPlatform(nullptr);
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  PassLevels Measure(const PassSettings& s) {
    sound_.Advance();
    return pass_->Measure(*capture_, s);
  }
  void Analyse(const PassSettings& s) { pass_->Analyse(left_, right_, s); }
  TMeasuringPass& Pass() { return *pass_; }
  // The block the next pass would measure.
  void ReadBlock(TMeasuringPass::Block& block) {
    block.fill(0);
    capture_->ReadBlock(capture_->GetReadPosition(), block.data(), TMeasuringPass::kRingBytes);
  }

 private:
  test::QuietSound sound_;
  TACAP component_;
  std::unique_ptr<TACAPCapture> capture_;
  TWaveFFT left_;
  TWaveFFT right_;
  std::unique_ptr<TMeasuringPass> pass_ = std::make_unique<TMeasuringPass>();
};

void BM_PassWithoutToolWindows(benchmark::State& state) {
  Rig rig;
  PassSettings s;
  s.dcStop = state.range(0) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.Measure(s));
  }
}
BENCHMARK(BM_PassWithoutToolWindows)
    ->ArgName("dcStop")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

void BM_PassWithBothToolWindows(benchmark::State& state) {
  Rig rig;
  PassSettings s;
  s.dcStop = state.range(0) != 0;
  s.scopeOn = true;
  s.spectrumOn = true;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.Measure(s));
    rig.Analyse(s);
    benchmark::DoNotOptimize(rig.Pass().SpectrumRight().data());
  }
}
BENCHMARK(BM_PassWithBothToolWindows)
    ->ArgName("dcStop")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

// The two halves of the work apart: the block already in place, and the analyses alone.
void BM_MeasureBlockOnly(benchmark::State& state) {
  Rig rig;
  PassSettings s;
  s.scopeOn = true;
  s.spectrumOn = true;
  rig.Measure(s);
  TMeasuringPass::Block block;
  rig.ReadBlock(block);
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.Pass().MeasureBlock(block, s));
  }
}
BENCHMARK(BM_MeasureBlockOnly)->Unit(benchmark::kMicrosecond);

void BM_AnalyseOnly(benchmark::State& state) {
  Rig rig;
  PassSettings s;
  s.spectrumOn = true;
  rig.Measure(s);
  for (auto _ : state) {
    rig.Analyse(s);
    benchmark::DoNotOptimize(rig.Pass().SpectrumLeft().data());
  }
}
BENCHMARK(BM_AnalyseOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sonavik

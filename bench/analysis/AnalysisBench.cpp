// SPDX-License-Identifier: MIT
// Speed of the analyser's 2048-point work against FFTW's complex double transform of the same
// length. Ends with the ratios ours / FFTW (median and least time per iteration over the
// repetitions; --benchmark_enable_random_interleaving=true spreads a busy machine's load
// evenly over all of them).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/WaveFFT.h"

namespace {

constexpr int kPoints = 2048;

std::vector<std::int32_t> Samples() {
  std::mt19937 rng(42);
  std::uniform_int_distribution<std::int32_t> dist(-32768, 32767);
  std::vector<std::int32_t> v(kPoints);
  for (auto& x : v) {
    x = dist(rng);
  }
  return v;
}

// The transform runs in place, so each iteration loads the block again; only the transform
// itself is timed.
void BM_SplitRadixFFT(benchmark::State& state) {
  const auto samples = Samples();
  std::vector<double> srcRe(samples.begin(), samples.end()), srcIm(kPoints, 0.0);
  std::vector<double> re(kPoints), im(kPoints);
  sonavik::PrepareSplitRadixFFT(kPoints);
  for (auto _ : state) {
    std::memcpy(re.data(), srcRe.data(), sizeof(double) * kPoints);
    std::memcpy(im.data(), srcIm.data(), sizeof(double) * kPoints);
    benchmark::ClobberMemory();
    const auto start = std::chrono::steady_clock::now();
    sonavik::SplitRadixFFT(kPoints, re, im);
    benchmark::DoNotOptimize(re.data());
    benchmark::DoNotOptimize(im.data());
    benchmark::ClobberMemory();
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
}
BENCHMARK(BM_SplitRadixFFT)->UseManualTime();

void ExecuteWith(benchmark::State& state, sonavik::TWindowType type) {
  const auto samples = Samples();
  sonavik::TWaveFFT fft;
  fft.SetWindowType(type);
  fft.SetData(samples, kPoints - 1);
  fft.Execute();
  for (auto _ : state) {
    fft.Execute();
    benchmark::DoNotOptimize(fft.RealData().data());
    benchmark::ClobberMemory();
  }
}

void BM_Execute_Kaiser(benchmark::State& state) {
  ExecuteWith(state, sonavik::wtKAISER);
}
BENCHMARK(BM_Execute_Kaiser);

void BM_Execute_Hanning(benchmark::State& state) {
  ExecuteWith(state, sonavik::wtHANNING);
}
BENCHMARK(BM_Execute_Hanning);

// What the measuring pass does per channel: load the block, then analyse it.
void BM_SetDataExecute_Kaiser(benchmark::State& state) {
  const auto samples = Samples();
  sonavik::TWaveFFT fft;
  fft.SetWindowType(sonavik::wtKAISER);
  fft.SetData(samples, kPoints - 1);
  fft.Execute();
  for (auto _ : state) {
    fft.SetData(samples, kPoints - 1);
    fft.Execute();
    benchmark::DoNotOptimize(fft.RealData().data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SetDataExecute_Kaiser);

// FFTW's out-of-place complex transform: the plan is made once, only execution is timed.
void BM_FFTW(benchmark::State& state) {
  auto* in = fftw_alloc_complex(kPoints);
  auto* out = fftw_alloc_complex(kPoints);
  const fftw_plan plan = fftw_plan_dft_1d(kPoints, in, out, FFTW_FORWARD, FFTW_MEASURE);
  const auto samples = Samples();
  for (int i = 0; i < kPoints; ++i) {
    in[i][0] = samples[i];
    in[i][1] = 0.0;
  }
  for (auto _ : state) {
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}
BENCHMARK(BM_FFTW);

// Whether a run finished with times to keep. Google Benchmark 1.8 replaced the run's
// error_occurred flag with the skipped state (a run skipped on purpose has no times either).
template <typename Run>
bool Completed(const Run& run) {
  if constexpr (requires { run.skipped; }) {
    return !run.skipped;
  } else {
    return !run.error_occurred;
  }
}

// Passes everything to the console and keeps each benchmark's times per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && Completed(run) && run.iterations > 0) {
        const double iterations = static_cast<double>(run.iterations);
        real_[run.run_name.function_name].push_back(run.real_accumulated_time / iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  double MedianReal(const std::string& name) const { return Median(real_, name); }
  // The least disturbed repetition: on a shared machine the steadier figure of the two.
  double MinReal(const std::string& name) const {
    const auto it = real_.find(name);
    return it == real_.end() || it->second.empty()
               ? 0.0
               : *std::min_element(it->second.begin(), it->second.end());
  }

 private:
  using Times = std::map<std::string, std::vector<double>>;

  static double Median(const Times& times, const std::string& name) {
    const auto it = times.find(name);
    if (it == times.end() || it->second.empty()) {
      return 0.0;
    }
    std::vector<double> t = it->second;
    std::sort(t.begin(), t.end());
    const std::size_t m = t.size() / 2;
    return t.size() % 2 ? t[m] : (t[m - 1] + t[m]) / 2;
  }

  Times real_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double fftwMedian = reporter.MedianReal("BM_FFTW");
  const double fftwMin = reporter.MinReal("BM_FFTW");
  if (fftwMedian <= 0.0 || fftwMin <= 0.0) {
    std::printf("\nFFTW was not run: no ratios.\n");
    return 0;
  }
  std::printf("\nRatios ours / FFTW at %d points (real time per iteration over the repetitions):\n",
              kPoints);
  std::printf("  %-26s %11s %7s %11s %7s\n", "", "median us", "ratio", "min us", "ratio");
  for (const char* name : {"BM_FFTW", "BM_SplitRadixFFT", "BM_Execute_Kaiser", "BM_Execute_Hanning",
                           "BM_SetDataExecute_Kaiser"}) {
    const double median = reporter.MedianReal(name);
    const double least = reporter.MinReal(name);
    if (median > 0.0) {
      std::printf("  %-26s %11.3f %6.2fx %11.3f %6.2fx\n", name, median * 1e6, median / fftwMedian,
                  least * 1e6, least / fftwMin);
    }
  }
  return 0;
}

// SPDX-License-Identifier: MIT
// The pass at its two ends: the block read from a capture ring, and the spectra computed by
// real analysers and turned into points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "PassBlock.h"
#include "analysis/WaveFFT.h"
#include "app/MeasuringPass.h"
#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"
#include "support/FakeSound.h"

namespace sonavik {
namespace {

using test::PutFrame;

constexpr int kFrames = TMeasuringPass::kFrames;
constexpr int kRingFrames = TMeasuringPass::kRingBytes / 4;

// A capture buffer on a scripted device, capturing, with a ring whose frame k holds
// (10k, -10k - 1) so that every frame tells where it came from.
class CaptureReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    capture = std::make_unique<TACAPCapture>(component, nullptr);
    ASSERT_TRUE(capture->Ready());
    capture->CreateBuffer(44100, 16, true, TMeasuringPass::kRingBytes);
    capture->Start();
    std::vector<std::uint8_t> ring(TMeasuringPass::kRingBytes);
    for (int k = 0; k < kRingFrames; ++k) {
      PutFrame(ring.data(), k, static_cast<std::int16_t>(10 * k),
               static_cast<std::int16_t>(-10 * k - 1));
    }
    fake.WriteRing(0, ring.data(), ring.size());
  }
  void TearDown() override {
    capture.reset();
    EXPECT_EQ(fake.Errors(), std::vector<std::string>{});
  }

  FakeSound fake;
  ScopedSoundPlatform use{fake};
  TACAP component;
  std::unique_ptr<TACAPCapture> capture;
  std::unique_ptr<TMeasuringPass> pass = std::make_unique<TMeasuringPass>();
};

TEST_F(CaptureReadTest, TheWholeRingIsReadFromTheReadCursorOnward) {
  constexpr int kStart = 1000;  // 24 frames before the end of the ring
  fake.SetReadPosition(4 * kStart);
  // Nothing of an earlier pass over a block that was loud all through survives.
  TMeasuringPass::Block loud;
  loud.fill(0x5A);
  pass->MeasureBlock(loud, PassSettings{});

  const PassLevels levels = pass->Measure(*capture, PassSettings{});

  ASSERT_TRUE(fake.LastLock().has_value());
  EXPECT_EQ(fake.LastLock()->offset, 4u * kStart);
  EXPECT_EQ(fake.LastLock()->bytes, 4096u);
  for (int i = 0; i < kRingFrames; ++i) {
    const int k = (kStart + i) % kRingFrames;
    ASSERT_EQ(pass->Left()[i], 10 * k) << "frame " << i;
    ASSERT_EQ(pass->Right()[i], -10 * k - 1) << "frame " << i;
  }
  for (int i = kRingFrames; i < kFrames; ++i) {
    ASSERT_EQ(pass->Left()[i], 0) << "frame " << i;
    ASSERT_EQ(pass->Right()[i], 0) << "frame " << i;
  }
  // The loudest frame, ring frame 1023, is in the block wherever the cursor stands.
  EXPECT_NEAR(levels.levelL, 20 * std::log10(10230.0 / 32768.0), 1e-9);
  EXPECT_NEAR(levels.levelR, 20 * std::log10(10231.0 / 32768.0), 1e-9);
}

TEST_F(CaptureReadTest, EachPassSeesTheRingAsItIsThen) {
  fake.SetReadPosition(0);
  pass->Measure(*capture, PassSettings{});
  std::vector<std::uint8_t> quiet(TMeasuringPass::kRingBytes, 0);
  fake.WriteRing(0, quiet.data(), quiet.size());
  const PassLevels levels = pass->Measure(*capture, PassSettings{});
  EXPECT_EQ(levels.levelL, -6000.0);
  EXPECT_EQ(pass->Left()[kRingFrames - 1], 0);
}

// Analysers as the main window's layout leaves them: count 0, Kaiser.
class AnalyseTest : public ::testing::Test {
 protected:
  AnalyseTest() {
    for (TWaveFFT* a : {&left, &right}) {
      a->SetCount(0);
      a->SetSamplingRate(44100.0);
      a->SetWindowType(wtKAISER);
    }
    settings.spectrumOn = true;
  }

  int HighestPoint(const std::array<QPoint, TMeasuringPass::kBins>& points) const {
    return static_cast<int>(std::min_element(points.begin(), points.end(),
                                             [](QPoint a, QPoint b) { return a.y() < b.y(); }) -
                            points.begin());
  }

  TWaveFFT left;
  TWaveFFT right;
  PassSettings settings;
  std::unique_ptr<TMeasuringPass> pass = std::make_unique<TMeasuringPass>();
  TMeasuringPass::Block block{};
};

TEST_F(AnalyseTest, AnImpulseOfTenDrawsAFlatSpectrumThreePixelsUp) {
  // A lone impulse has the same magnitude in every bin: its height, unweighted.
  left.SetWindowType(wtRECTANGULAR);
  right.SetWindowType(wtRECTANGULAR);
  PutFrame(block, 0, 10, 100);
  settings.spectrumHeightL = 145;
  settings.spectrumHeightR = 100;
  pass->MeasureBlock(block, settings);
  pass->Analyse(left, right, settings);

  EXPECT_EQ(left.Count(), kFrames);
  EXPECT_EQ(right.Count(), kFrames);
  const auto& l = pass->SpectrumLeft();
  const auto& r = pass->SpectrumRight();
  EXPECT_EQ(l[10 - 1], QPoint(110, 142));
  EXPECT_EQ(l[2 - 1].x(), 33);
  EXPECT_EQ(l[1 - 1].x(), 0);
  EXPECT_EQ(l[100 - 1].x(), 220);
  EXPECT_EQ(l[1000 - 1].x(), 330);
  EXPECT_EQ(l[1023 - 1].x(), 331);
  for (int i = 0; i < TMeasuringPass::kBins; ++i) {
    ASSERT_EQ(l[i].y(), 142) << "bin " << i + 1;
    ASSERT_EQ(r[i].y(), 100 - 12) << "bin " << i + 1;
    ASSERT_EQ(l[i].x(), r[i].x());
    ASSERT_NEAR(l[i].x(), 110 * std::log10(i + 1.0), 0.5) << "bin " << i + 1;
  }
}

TEST_F(AnalyseTest, EachChannelPeaksAtItsOwnFrequency) {
  // Whole-bin sines over all 2048 frames: bin 64 on the left, bin 256 on the right. A little
  // noise keeps every other bin well above a magnitude of 1: a cleaner spectrum would have
  // bins near 0, which the squared logarithm draws higher than any peak.
  std::uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>(seed >> 29) - 4;  // -4 .. 3
  };
  for (int i = 0; i < kFrames; ++i) {
    const double t = 2 * std::numbers::pi * i / kFrames;
    const long l = std::lround(16000 * std::sin(64 * t)) + noise();
    const long r = std::lround(8000 * std::sin(256 * t)) + noise();
    PutFrame(block, i, static_cast<std::int16_t>(l), static_cast<std::int16_t>(r));
  }
  pass->MeasureBlock(block, settings);
  pass->Analyse(left, right, settings);
  EXPECT_EQ(HighestPoint(pass->SpectrumLeft()) + 1, 64);
  EXPECT_EQ(HighestPoint(pass->SpectrumRight()) + 1, 256);
  EXPECT_EQ(pass->SpectrumLeft()[63].x(), 199);    // 110 * log10 64 = 198.7
  EXPECT_EQ(pass->SpectrumRight()[255].x(), 265);  // 110 * log10 256 = 264.9
}

TEST_F(AnalyseTest, TheAnalysersGetTheSamplesAfterGainAndDcRemoval) {
  for (int i = 0; i < kFrames / 2; ++i) {
    PutFrame(block, i, static_cast<std::int16_t>(i % 7), static_cast<std::int16_t>(-(i % 5)));
  }
  settings.gainPosition = 700;  // gain 3.00
  settings.dcStop = true;
  pass->MeasureBlock(block, settings);
  pass->Analyse(left, right, settings);
  ASSERT_EQ(left.InputData().size(), static_cast<std::size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(left.InputData()[i], pass->Left()[i]) << "frame " << i;
    ASSERT_EQ(right.InputData()[i], pass->Right()[i]) << "frame " << i;
  }
  // The DC-stop shifted the zero half: the analysers did not get raw samples.
  EXPECT_NE(left.InputData()[kFrames - 1], 0.0);
}

void RefusingTransform(std::int32_t, std::span<double>, std::span<double>) {
  throw std::logic_error("the pass must run the split-radix transform");
}

TEST_F(AnalyseTest, RunsTheSplitRadixTransformWhateverWasSetBefore) {
  left.SetTransformProc(&RefusingTransform);
  right.SetTransformProc(&RefusingTransform);
  left.SetWindowType(wtRECTANGULAR);
  PutFrame(block, 0, 10, 0);
  pass->MeasureBlock(block, settings);
  ASSERT_NO_THROW(pass->Analyse(left, right, settings));
  EXPECT_EQ(left.TransformProc(), &SplitRadixFFT);
  EXPECT_EQ(right.TransformProc(), &SplitRadixFFT);
  EXPECT_EQ(pass->SpectrumLeft()[9], QPoint(110, 142));
}

TEST_F(AnalyseTest, DigitalSilenceLiesOnTheBottomRow) {
  settings.spectrumHeightL = 145;
  settings.spectrumHeightR = 77;
  pass->MeasureBlock(block, settings);
  pass->Analyse(left, right, settings);
  for (int i = 0; i < TMeasuringPass::kBins; ++i) {
    ASSERT_EQ(pass->SpectrumLeft()[i].y(), 145) << "bin " << i + 1;
    ASSERT_EQ(pass->SpectrumRight()[i].y(), 77) << "bin " << i + 1;
  }
}

}  // namespace
}  // namespace sonavik

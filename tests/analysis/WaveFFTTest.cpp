// SPDX-License-Identifier: MIT
// The analyser: its count and arrays, loading, windowing, smoothing, the bins it gives, and
// what its refusals leave unchanged.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "PlainTransforms.h"
#include "analysis/WaveFFT.h"
#include "analysis/WaveIFFT.h"
#include "analysis/WaveWindows.h"
#include "support/AllocationCounter.h"

namespace sonavik {
namespace {

constexpr const char* kNotPower = "サンプル数が基数の累乗ではありません";
constexpr const char* kOutOfRange = "配列の範囲を越えました";

// Leaves the windowed block in RealData, so the weights can be read back.
void NoTransform(std::int32_t, std::span<double>, std::span<double>) {}

template <typename F>
void ExpectError(F&& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "no error raised";
  } catch (const EAnalysisError& e) {
    EXPECT_STREQ(e.what(), message);
  }
}

std::vector<std::int32_t> RandomSamples(std::size_t n, std::mt19937& rng) {
  std::uniform_int_distribution<std::int32_t> dist(-32768, 32767);
  std::vector<std::int32_t> v(n);
  for (auto& x : v) {
    x = dist(rng);
  }
  return v;
}

void ExpectAllArraysSized(const TWaveFFT& fft, std::size_t n) {
  for (const auto* a : {&fft.InputData(), &fft.SpareData(), &fft.CustomWindow(), &fft.RealData(),
                        &fft.ImagData(), &fft.PrevReal(), &fft.PrevImag()}) {
    EXPECT_EQ(a->size(), n);
  }
}

TEST(WaveFFT, StartsWithTwoPointsAndItsDefaults) {
  TWaveFFT fft;
  EXPECT_EQ(fft.Count(), 2);
  EXPECT_EQ(fft.Radix(), 2);
  EXPECT_EQ(fft.SamplingRate(), 44100.0);
  EXPECT_FALSE(fft.Stabilize());
  EXPECT_EQ(fft.WindowType(), wtHANNING);
  EXPECT_EQ(fft.TransformProc(), &SplitRadixFFT);
  ExpectAllArraysSized(fft, 2);
  // Two points give one readable bin, and running on the fresh arrays stays inside them.
  fft.Execute();
  EXPECT_EQ(fft.Magnitude(0), 0.0);
}

TEST(WaveFFT, CountSetterAcceptsPowersOfRadixAndRefusesTheRestUnchanged) {
  TWaveFFT fft;
  for (std::int32_t n : {0, 1, 2, 1024, 2048}) {
    fft.SetCount(n);
    EXPECT_EQ(fft.Count(), n);
    ExpectAllArraysSized(fft, static_cast<std::size_t>(n));
  }
  for (std::int32_t n : {3, 6, 1000, 2047, -1, -2048}) {
    ExpectError([&] { fft.SetCount(n); }, kNotPower);
    EXPECT_EQ(fft.Count(), 2048);
    ExpectAllArraysSized(fft, 2048);
  }
  // Exact powers of other radices, including ones a ratio of logarithms misses (125, 512).
  fft.SetRadix(5);
  EXPECT_TRUE(fft.IsPowerOfRadix(125));
  EXPECT_FALSE(fft.IsPowerOfRadix(250));
  fft.SetRadix(8);
  EXPECT_TRUE(fft.IsPowerOfRadix(512));
  EXPECT_FALSE(fft.IsPowerOfRadix(1024));
  fft.SetRadix(2);
  EXPECT_TRUE(fft.IsPowerOfRadix(0));
  EXPECT_TRUE(fft.IsPowerOfRadix(1 << 30));
}

TEST(WaveFFT, ResizeKeepsSurvivingEntriesAndZeroesNewOnes) {
  TWaveFFT fft;
  fft.SetCount(4);
  for (int i = 0; i < 4; ++i) {
    fft.SetCustomWindow(i, i + 1.0);
  }
  fft.SetCount(2);
  EXPECT_EQ(fft.CustomWindow(), (std::vector<double>{1, 2}));
  fft.SetCount(8);
  EXPECT_EQ(fft.CustomWindow(), (std::vector<double>{1, 2, 0, 0, 0, 0, 0, 0}));
  ExpectError([&] { fft.SetCustomWindow(8, 1.0); }, kOutOfRange);
  ExpectError([&] { fft.SetCustomWindow(-1, 1.0); }, kOutOfRange);
  EXPECT_EQ(fft.CustomWindow(), (std::vector<double>{1, 2, 0, 0, 0, 0, 0, 0}));
}

TEST(WaveFFT, AccessorsReachExactlyTheLowerHalfOfTheBins) {
  TWaveFFT fft;
  for (std::int32_t n : {0, 1}) {
    fft.SetCount(n);
    fft.Execute();
    for (std::int32_t i : {-1, 0, 1}) {
      ExpectError([&] { fft.RealPart(i); }, kOutOfRange);
      ExpectError([&] { fft.ImagPart(i); }, kOutOfRange);
      ExpectError([&] { fft.Magnitude(i); }, kOutOfRange);
    }
  }
  std::vector<std::int32_t> block(2048, 0);
  fft.SetData(block, 2047);
  EXPECT_EQ(fft.Count(), 2048);
  ExpectAllArraysSized(fft, 2048);
  fft.Execute();
  EXPECT_NO_THROW(fft.Magnitude(1023));
  ExpectError([&] { fft.Magnitude(1024); }, kOutOfRange);
  ExpectError([&] { fft.RealPart(-1); }, kOutOfRange);
  ExpectError([&] { fft.ImagPart(std::numeric_limits<std::int32_t>::min()); }, kOutOfRange);
}

TEST(WaveFFT, SetDataRefusesBadLengthsAndKeepsTheFormerBlock) {
  TWaveFFT fft;
  std::mt19937 rng(4);
  const auto block = RandomSamples(2048, rng);
  fft.SetData(block, 2047);
  const std::vector<double> before = fft.InputData();
  EXPECT_EQ(before[5], block[5]);

  const auto thousand = RandomSamples(1000, rng);
  ExpectError([&] { fft.SetData(thousand, 999); }, kNotPower);
  // An index past the values given would read outside them.
  ExpectError([&] { fft.SetData(thousand, 1023); }, kOutOfRange);
  ExpectError([&] { fft.SetData(block, -5); }, kNotPower);
  EXPECT_EQ(fft.Count(), 2048);
  EXPECT_EQ(fft.InputData(), before);

  // A shorter block of a valid length is loaded from the front of the values.
  fft.SetData(block, 511);
  EXPECT_EQ(fft.Count(), 512);
  EXPECT_EQ(fft.InputData(), std::vector<double>(before.begin(), before.begin() + 512));
  fft.SetData(block, -1);
  EXPECT_EQ(fft.Count(), 0);
}

TEST(WaveFFT, SteadyStatePassAllocatesNothing) {
  TWaveFFT fft;
  fft.SetWindowType(wtKAISER);
  fft.SetStabilize(true);
  std::mt19937 rng(5);
  const auto a = RandomSamples(2048, rng), b = RandomSamples(2048, rng);
  fft.SetData(a, 2047);
  testing::StartCountingAllocations();
  fft.Execute();
  fft.SetData(b, 2047);
  fft.SetWindowType(wtHANNING);
  fft.Execute();
  fft.SetData(a, 2047);
  fft.Execute();
  EXPECT_EQ(testing::StopCountingAllocations(), 0);
}

TEST(WaveFFT, ExecuteIsThePlainWeightTimesInputBitForBit) {
  std::mt19937 rng(6);
  TWaveFFT fft;
  fft.SetTransformProc(&NoTransform);
  for (std::int32_t n = 2; n <= 4096; n *= 2) {
    const auto block = RandomSamples(n, rng);
    fft.SetData(block, n - 1);
    for (std::int32_t i = 0; i < n; ++i) {
      fft.SetCustomWindow(i, (i % 7) * 0.125 - 0.3);
    }
    // Every type twice, and again after another type ran: the remembered weights must be the
    // ones of the type and count in force.
    for (int round = 0; round < 2; ++round) {
      for (int t = 0; t <= wtCUSTOM; ++t) {
        const auto type = static_cast<TWindowType>(t);
        fft.SetWindowType(type);
        fft.Execute();
        for (std::int32_t i = 0; i < n; ++i) {
          const double want = plain::Weight(type, n, i, fft.CustomWindow()) * block[i];
          ASSERT_EQ(std::bit_cast<std::uint64_t>(fft.RealData()[i]),
                    std::bit_cast<std::uint64_t>(want))
              << "type " << t << " N " << n << " n " << i;
          ASSERT_EQ(fft.ImagData()[i], 0.0);
        }
      }
    }
  }
  // A count that changes and comes back between two runs of the same type.
  const auto block = RandomSamples(2048, rng);
  fft.SetWindowType(wtKAISER);
  fft.SetData(block, 2047);
  fft.Execute();
  fft.SetData(block, 1023);
  fft.SetData(block, 2047);
  fft.Execute();
  for (std::int32_t i = 0; i < 2048; ++i) {
    ASSERT_EQ(fft.RealData()[i], plain::Weight(wtKAISER, 2048, i, {}) * block[i]) << i;
  }

  // A changed custom weight takes effect at the next run.
  fft.SetWindowType(wtCUSTOM);
  fft.SetCustomWindow(3, 2.0);
  fft.Execute();
  EXPECT_EQ(fft.RealData()[3], 2.0 * fft.InputData()[3]);
}

TEST(WaveFFT, RectangularSpectraOfKnownSignals) {
  TWaveFFT fft;
  fft.SetWindowType(wtRECTANGULAR);
  constexpr std::int32_t n = 1024;
  std::vector<std::int32_t> block(n, -300);
  fft.SetData(block, n - 1);
  fft.Execute();
  EXPECT_EQ(fft.RealPart(0), -300.0 * n);
  for (std::int32_t k = 1; k < n / 2; ++k) {
    ASSERT_NEAR(fft.Magnitude(k), 0.0, 1e-9) << k;
  }

  std::fill(block.begin(), block.end(), 0);
  block[0] = 1;
  fft.SetData(block, n - 1);
  fft.Execute();
  for (std::int32_t k = 0; k < n / 2; ++k) {
    ASSERT_NEAR(fft.RealPart(k), 1.0, 1e-12) << k;
    ASSERT_NEAR(fft.ImagPart(k), 0.0, 1e-12) << k;
  }

  // A cosine of amplitude A with m whole periods: bin m holds N*A/2, real.
  constexpr double amplitude = 20000;
  constexpr int m = 37;
  for (std::int32_t i = 0; i < n; ++i) {
    block[i] = static_cast<std::int32_t>(
        std::lround(amplitude * std::cos(2 * std::numbers::pi * m * i / n)));
  }
  fft.SetData(block, n - 1);
  fft.Execute();
  // The samples are rounded to integers: up to 0.5 each, spread over the bins.
  EXPECT_NEAR(fft.RealPart(m), n * amplitude / 2, 0.5 * n / std::sqrt(n) * 4);
  EXPECT_NEAR(fft.ImagPart(m), 0.0, 0.5 * n / std::sqrt(n) * 4);
  EXPECT_LT(fft.Magnitude(m + 3), 100.0);
}

TEST(WaveFFT, StabilizeConvergesAsARunningPowerAverage) {
  TWaveFFT fft;
  fft.SetWindowType(wtRECTANGULAR);
  fft.SetStabilize(true);
  std::mt19937 rng(8);
  const auto block = RandomSamples(64, rng);
  std::vector<double> re(64), im(64, 0.0);
  for (int i = 0; i < 64; ++i) {
    re[i] = block[i];
  }
  plain::SplitRadix(64, re, im);

  fft.SetData(block, 63);
  for (int run = 1; run <= 6; ++run) {
    fft.Execute();
    // After r runs of the same block: |x| * sqrt(1 - 2^-r).
    const double factor = std::sqrt(1.0 - std::ldexp(1.0, -run));
    for (int k = 0; k < 32; ++k) {
      ASSERT_NEAR(fft.RealPart(k), std::fabs(re[k]) * factor, 1e-9 * (1 + std::fabs(re[k])));
      ASSERT_NEAR(fft.ImagPart(k), std::fabs(im[k]) * factor, 1e-9 * (1 + std::fabs(im[k])));
      ASSERT_EQ(fft.PrevReal()[k], fft.RealPart(k));
    }
    // The upper half is the transform as it came.
    for (int k = 32; k < 64; ++k) {
      ASSERT_EQ(fft.RealData()[k], re[k]);
      ASSERT_EQ(fft.ImagData()[k], im[k]);
    }
    // Reloading the same length keeps the history.
    fft.SetData(block, 63);
  }
}

TEST(WaveFFT, ExecuteRefusesCountsItsTransformCannotTakeBeforeTouchingAnything) {
  TWaveFFT fft;
  fft.SetRadix(3);
  std::vector<std::int32_t> block(9, 100);
  fft.SetData(block, 8);
  EXPECT_EQ(fft.Count(), 9);
  const auto real_before = fft.RealData();
  ExpectError([&] { fft.Execute(); }, kNotPower);
  EXPECT_EQ(fft.RealData(), real_before);
  // A routine that takes such counts is the caller's to supply.
  fft.SetTransformProc(&NoTransform);
  fft.SetWindowType(wtRECTANGULAR);
  fft.Execute();
  EXPECT_EQ(fft.RealData(), std::vector<double>(9, 100.0));
}

TEST(Windows, ValuesPinnedByTheirFormulas) {
  TWaveFFT fft;
  fft.SetTransformProc(&NoTransform);
  fft.SetData(std::vector<std::int32_t>(2048, 1), 2047);
  auto weights = [&](TWindowType type) {
    fft.SetWindowType(type);
    fft.Execute();
    return fft.RealData();
  };

  const auto hanning = weights(wtHANNING);
  EXPECT_NEAR(hanning[0], 0.0, 1e-15);
  EXPECT_NEAR(hanning[2047], 0.0, 1e-15);
  EXPECT_EQ(hanning[1023], hanning[1024]);
  // 0.5 + 0.5 cos(pi/2047) = 1 - sin^2(pi/4094)
  EXPECT_NEAR(hanning[1023], 1.0 - std::pow(std::sin(std::numbers::pi / 4094), 2), 1e-15);
  // The cosine over n = 0 .. M sums to 1, so the weights sum to N/2 - 1/2.
  double sum = 0;
  for (double w : hanning) {
    sum += w;
  }
  EXPECT_NEAR(sum, 1023.5, 1e-9);

  const auto kaiser = weights(wtKAISER);
  EXPECT_EQ(kaiser[1024], 1.0);
  EXPECT_EQ(kaiser[0], 1.0 / BesselI0(8.5 * std::numbers::pi));
  EXPECT_NEAR(kaiser[0], 3.26e-11, 0.01e-11);
  EXPECT_NEAR(kaiser[1], 3.85e-11, 0.01e-11);
  for (int k = 1; k < 1024; ++k) {
    ASSERT_EQ(kaiser[1024 - k], kaiser[1024 + k]) << k;
  }

  const auto lanczos = weights(wtLANCZOS);
  EXPECT_EQ(lanczos[1024], 1.0);
  // sin(pi + pi/2047) / -(pi + pi/2047) = -1/2048 to first order.
  EXPECT_NEAR(lanczos[0], -1.0 / 2048, 1e-9);
  EXPECT_EQ(weights(wtLOGGEDSQUARESINE)[1024], 1.0);
  EXPECT_EQ(weights(wtGAUSSIAN)[1024], 1.0);
  const auto sine = weights(wtSINE);
  const auto cubic = weights(wtCUBICSINE);
  EXPECT_EQ(sine[0], 0.0);
  EXPECT_NEAR(cubic[512], std::pow(std::sin(std::numbers::pi * 512 / 2047), 3), 1e-15);
  for (double w : weights(wtLOGGEDSQUARESINE)) {
    ASSERT_GE(w, 0.0);
    ASSERT_LE(w, 1.0);
  }
  EXPECT_EQ(weights(wtRECTANGULAR), std::vector<double>(2048, 1.0));

  // A freshly sized custom window weighs everything to zero.
  fft.SetTransformProc(&SplitRadixFFT);
  fft.SetWindowType(wtCUSTOM);
  fft.Execute();
  EXPECT_EQ(fft.RealData(), std::vector<double>(2048, 0.0));
  EXPECT_EQ(fft.ImagData(), std::vector<double>(2048, 0.0));
}

TEST(Windows, OneSampleBlocksWeighOne) {
  TWaveFFT fft;
  fft.SetTransformProc(&NoTransform);
  fft.SetData(std::vector<std::int32_t>{7}, 0);
  for (int t = 0; t < wtCUSTOM; ++t) {
    fft.SetWindowType(static_cast<TWindowType>(t));
    fft.Execute();
    EXPECT_EQ(fft.RealData()[0], 7.0) << t;
  }
}

TEST(BesselI0, FollowsTheSeriesOnBothSidesOfTheSeam) {
  // The polynomials hold the series to a few parts in 10^7.
  for (double x : {0.0, 0.5, -1.0, 2.0, 3.0, 3.7499, 3.75, 4.0, 10.0, 26.703537555513243}) {
    const double want = static_cast<double>(plain::BesselI0Series(x));
    EXPECT_NEAR(BesselI0(x), want, 4e-7 * want) << x;
  }
  EXPECT_EQ(BesselI0(0.0), 1.0);
  EXPECT_NEAR(BesselI0(std::nextafter(3.75, 0.0)), 9.118945, 1e-6);
  EXPECT_NEAR(BesselI0(3.75), 9.118946, 1e-6);
  EXPECT_NEAR(BesselI0(8.5 * std::numbers::pi), 3.068e10, 0.001e10);
}

TEST(WaveIFFT, CountAndItsFourArrays) {
  TWaveIFFT ifft;
  EXPECT_EQ(ifft.Count(), 2);
  EXPECT_EQ(ifft.Radix(), 2);
  EXPECT_FALSE(ifft.MutingCoef());
  EXPECT_EQ(ifft.TransformProc(), &InverseTransform);
  auto sizes = [&] {
    return std::vector<std::size_t>{ifft.BufferA().size(), ifft.BufferB().size(),
                                    ifft.WideBufferA().size(), ifft.WideBufferB().size()};
  };
  EXPECT_EQ(sizes(), (std::vector<std::size_t>{2, 2, 4, 4}));
  ifft.SetCount(2);
  EXPECT_EQ(sizes(), (std::vector<std::size_t>{2, 2, 4, 4}));
  ifft.SetCount(64);
  EXPECT_EQ(sizes(), (std::vector<std::size_t>{64, 64, 128, 128}));
  for (std::int32_t bad : {6, -2, 100}) {
    ExpectError([&] { ifft.SetCount(bad); }, kNotPower);
    EXPECT_EQ(ifft.Count(), 64);
    EXPECT_EQ(sizes(), (std::vector<std::size_t>{64, 64, 128, 128}));
  }
  ifft.SetCount(0);
  EXPECT_EQ(sizes(), (std::vector<std::size_t>{0, 0, 0, 0}));
  ifft.SetRadix(3);
  ifft.SetCount(27);
  EXPECT_EQ(ifft.Count(), 27);
}

}  // namespace
}  // namespace sonavik

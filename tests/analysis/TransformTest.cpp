// SPDX-License-Identifier: MIT
// The two transform routines: exact agreement of the fast split-radix path with the plain
// algorithm, accuracy against a long-double DFT, the way back, and the argument rule.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "PlainTransforms.h"
#include "analysis/WaveFFT.h"
#include "analysis/WaveIFFT.h"

namespace sonavik {
namespace {

constexpr const char* kNotPower = "サンプル数が基数の累乗ではありません";

std::vector<double> RandomBlock(std::size_t n, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) {
    x = dist(rng);
  }
  return v;
}

// X[k] = sum x[n] e^(-2 pi i nk/N) in long double, the angle reduced modulo N first.
std::vector<std::complex<long double>> NaiveDft(const std::vector<double>& re,
                                                const std::vector<double>& im) {
  const std::size_t n = re.size();
  std::vector<std::complex<long double>> w(n), out(n);
  for (std::size_t m = 0; m < n; ++m) {
    const long double a = -2.0L * std::numbers::pi_v<long double> * m / n;
    w[m] = {std::cos(a), std::sin(a)};
  }
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<long double> sum = 0;
    for (std::size_t t = 0; t < n; ++t) {
      sum += std::complex<long double>(re[t], im[t]) * w[(t * k) % n];
    }
    out[k] = sum;
  }
  return out;
}

TEST(SplitRadixFFT, FastPathMatchesThePlainAlgorithmBitForBit) {
  std::mt19937_64 rng(1);
  // 131072 has stages too long for the twiddle tables, which compute theirs on the fly.
  std::vector<std::int32_t> sizes;
  for (std::int32_t n = 2; n <= 4096; n *= 2) {
    sizes.push_back(n);
  }
  sizes.push_back(131072);
  for (std::int32_t n : sizes) {
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<double> re = RandomBlock(n, rng), im = RandomBlock(n, rng);
      if (trial == 2) {
        std::fill(im.begin(), im.end(), 0.0);  // windowed real data, as the analyser gives
      }
      std::vector<double> pre = re, pim = im;
      SplitRadixFFT(n, re, im);
      plain::SplitRadix(n, pre, pim);
      ASSERT_EQ(plain::FirstBitDifference(re, pre), -1) << "N = " << n;
      ASSERT_EQ(plain::FirstBitDifference(im, pim), -1) << "N = " << n;
    }
  }
}

TEST(SplitRadixFFT, AgreesWithALongDoubleDft) {
  std::mt19937_64 rng(2);
  for (std::int32_t n = 1; n <= 4096; n *= 2) {
    const std::vector<double> re = RandomBlock(n, rng), im = RandomBlock(n, rng);
    const auto want = NaiveDft(re, im);
    std::vector<double> sr = re, si = im, rr = re, ri = im;
    SplitRadixFFT(n, sr, si);
    TWaveIFFT::Radix2FFT(n, rr, ri, false);
    // Rounding grows like eps * log2(N) * sqrt(N) for unit-sized samples; a wrong twiddle or
    // a misplaced bin is off by order one.
    const double tol = 4 * std::numeric_limits<double>::epsilon() * (std::log2(n) + 1) *
                       std::sqrt(static_cast<double>(n));
    for (std::int32_t k = 0; k < n; ++k) {
      ASSERT_NEAR(sr[k], static_cast<double>(want[k].real()), tol) << "N " << n << " k " << k;
      ASSERT_NEAR(si[k], static_cast<double>(want[k].imag()), tol) << "N " << n << " k " << k;
      ASSERT_NEAR(rr[k], static_cast<double>(want[k].real()), tol) << "N " << n << " k " << k;
      ASSERT_NEAR(ri[k], static_cast<double>(want[k].imag()), tol) << "N " << n << " k " << k;
    }
  }
}

TEST(InverseTransform, UndoesTheForwardTransform) {
  std::mt19937_64 rng(3);
  for (std::int32_t n = 1; n <= 4096; n *= 2) {
    const std::vector<double> re = RandomBlock(n, rng), im = RandomBlock(n, rng);
    std::vector<double> r = re, i = im;
    SplitRadixFFT(n, r, i);
    InverseTransform(n, r, i);
    const double tol = 4 * std::numeric_limits<double>::epsilon() * (std::log2(n) + 1);
    for (std::int32_t k = 0; k < n; ++k) {
      ASSERT_NEAR(r[k], re[k], tol) << "N " << n;
      ASSERT_NEAR(i[k], im[k], tol) << "N " << n;
    }
  }
}

TEST(InverseTransform, SmallCasesComeOutExact) {
  // A lone 8 at bin 0 is the spectrum of eight samples of 1.
  std::vector<double> re{8, 0, 0, 0, 0, 0, 0, 0}, im(8, 0.0);
  InverseTransform(8, re, im);
  EXPECT_EQ(re, std::vector<double>(8, 1.0));
  EXPECT_EQ(im, std::vector<double>(8, 0.0));

  std::vector<double> one_re{3.5}, one_im{-2.25};
  TWaveIFFT::Radix2FFT(1, one_re, one_im, true);
  EXPECT_EQ(one_re[0], 3.5);
  EXPECT_EQ(one_im[0], -2.25);

  std::vector<double> two_re{5, 3}, two_im{1, -7};
  TWaveIFFT::Radix2FFT(2, two_re, two_im, false);
  EXPECT_EQ(two_re, (std::vector<double>{8, 2}));
  EXPECT_EQ(two_im, (std::vector<double>{-6, 8}));
  TWaveIFFT::Radix2FFT(2, two_re, two_im, true);
  EXPECT_EQ(two_re, (std::vector<double>{5, 3}));
  EXPECT_EQ(two_im, (std::vector<double>{1, -7}));
}

TEST(TransformRoutines, RefuseBadCountsAndShortArraysWithoutTouchingThem) {
  for (TTransformProc proc : {TTransformProc{&SplitRadixFFT}, TTransformProc{&InverseTransform}}) {
    std::vector<double> re(16, 0.5), im(16, -0.5);
    for (std::int32_t n : {3, 6, 12, -1, -16, 17, std::numeric_limits<std::int32_t>::min()}) {
      try {
        proc(n, re, im);
        ADD_FAILURE() << "N = " << n << " was accepted";
      } catch (const EAnalysisError& e) {
        EXPECT_STREQ(e.what(), kNotPower);
      }
    }
    // Arrays shorter than N: nothing may be read or written past their ends.
    std::vector<double> backing(32, 0.25);
    std::span<double> short_re(backing.data(), 8), short_im(backing.data() + 16, 16);
    EXPECT_THROW(proc(16, short_re, short_im), EAnalysisError);
    EXPECT_THROW(proc(16, im, short_re), EAnalysisError);
    EXPECT_EQ(backing, std::vector<double>(32, 0.25));
    EXPECT_EQ(re, std::vector<double>(16, 0.5));
    EXPECT_EQ(im, std::vector<double>(16, -0.5));

    // No points, or one point, is a transform that changes nothing.
    std::span<double> empty;
    EXPECT_NO_THROW(proc(0, empty, empty));
    std::vector<double> r1{2.5}, i1{-1.0};
    proc(1, r1, i1);
    EXPECT_EQ(r1[0], 2.5);
    EXPECT_EQ(i1[0], -1.0);
  }
  std::vector<double> re(8, 1.0), im(8, 0.0);
  EXPECT_THROW(TWaveIFFT::Radix2FFT(6, re, im, false), EAnalysisError);
  EXPECT_EQ(re, std::vector<double>(8, 1.0));
}

}  // namespace
}  // namespace sonavik

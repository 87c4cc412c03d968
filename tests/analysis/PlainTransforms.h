// SPDX-License-Identifier: MIT
// Straight transcriptions of the transforms and window weights, step by step in the order the
// algorithms are written down, with no table, cache or reordering: the yardstick the fast
// paths must match bit for bit.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

#include "analysis/WaveFFT.h"
#include "analysis/WaveWindows.h"

namespace sonavik::plain {

inline constexpr double kPi = std::numbers::pi;

// The first index at which two sequences differ in a single bit (sign of zero included), or
// -1 when they are identical.
inline std::ptrdiff_t FirstBitDifference(const std::vector<double>& a,
                                         const std::vector<double>& b) {
  if (a.size() != b.size()) {
    return 0;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

inline void BitReverse(std::int64_t N, std::vector<double>& re, std::vector<double>& im) {
  std::int64_t j = 0;
  for (std::int64_t i = 1; i <= N - 2; ++i) {
    std::int64_t k = N / 2;
    j = j ^ k;
    while (k > j) {
      k = k / 2;
      j = j ^ k;
    }
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
}

inline void SplitRadix(std::int64_t N, std::vector<double>& re, std::vector<double>& im) {
  if (N < 2) {
    return;
  }
  double theta = -2.0 * kPi / N;
  for (std::int64_t L = N; L > 2; L = L / 2) {
    const std::int64_t Q = L / 4;
    for (std::int64_t j = 0; j <= Q - 1; ++j) {
      const double c1 = std::cos(j * theta);
      const double s1 = std::sin(j * theta);
      const double theta3 = 3 * theta;
      const double c3 = std::cos(j * theta3);
      const double s3 = std::sin(j * theta3);
      for (std::int64_t D = L; D <= N; D = 4 * D) {
        for (std::int64_t i0 = D - L + j; i0 < N; i0 += 2 * D) {
          const std::int64_t i1 = i0 + Q, i2 = i1 + Q, i3 = i2 + Q;
          const double ar = re[i0] - re[i2];
          const double ai = im[i0] - im[i2];
          re[i0] += re[i2];
          im[i0] += im[i2];
          const double br = re[i3] - re[i1];
          const double bi = im[i3] - im[i1];
          re[i1] += re[i3];
          im[i1] += im[i3];
          const double t1 = ar - bi, t2 = ai + br;
          re[i2] = c1 * t1 - s1 * t2;
          im[i2] = c1 * t2 + s1 * t1;
          const double u1 = ar + bi, u2 = ai - br;
          re[i3] = c3 * u1 - s3 * u2;
          im[i3] = c3 * u2 + s3 * u1;
        }
      }
    }
    theta = 2 * theta;
  }
  for (std::int64_t D = 2; D <= N; D = 4 * D) {
    for (std::int64_t i0 = D - 2; i0 < N; i0 += 2 * D) {
      const double ar = re[i0], br = re[i0 + 1], ai = im[i0], bi = im[i0 + 1];
      re[i0] = ar + br;
      re[i0 + 1] = ar - br;
      im[i0] = ai + bi;
      im[i0 + 1] = ai - bi;
    }
  }
  BitReverse(N, re, im);
}

// The modified Bessel function of the first kind and order 0 from its power series,
// sum over k of ((x/2)^k / k!)^2, in long double until a term no longer changes the sum.
inline long double BesselI0Series(long double x) {
  const long double quarterSquare = x * x / 4;
  long double term = 1;
  long double sum = 1;
  for (int k = 1;; ++k) {
    term *= quarterSquare / (static_cast<long double>(k) * k);
    const long double next = sum + term;
    if (next == sum) {
      return sum;
    }
    sum = next;
  }
}

// w(n) for an N-sample block, from the table of window formulas; N > 1.
inline double Weight(TWindowType type, std::int32_t N, std::int32_t n,
                     const std::vector<double>& custom) {
  const double M = N - 1.0;
  const std::int32_t H = N / 2;
  switch (type) {
    case wtHANNING:
      return 0.5 - 0.5 * std::cos(2 * kPi * n / M);
    case wtHAMMING:
      return 0.53836 - 0.46164 * std::cos(2 * kPi * n / M);
    case wtBLACKMAN:
      return 0.42 - 0.5 * std::cos(2 * kPi * n / M) + 0.08 * std::cos(4 * kPi * n / M);
    case wtBLACKMANHARRIS:
      return 0.423 - 0.498 * std::cos(2 * kPi * n / M) + 0.0792 * std::cos(4 * kPi * n / M);
    case wtGAUSSIAN:
      return std::exp(-32 * (n - 0.5 - M / 2) * (n - 0.5 - M / 2) / (M * M));
    case wtRECTANGULAR:
      return 1;
    case wtSINE:
      return std::sin(2 * kPi * n / (2 * M));
    case wtCUBICSINE: {
      const double s = std::sin(kPi * n / M);
      return s * s * s;
    }
    case wtFLATTOP:
      return 0.2810639 - 0.5208972 * std::cos(2 * kPi * n / M) +
             0.1980399 * std::cos(4 * kPi * n / M);
    case wtKAISER: {
      const double beta = 8.5 * kPi;
      const double r = 2 * (n - H) / M;
      // The analyser's own I0: this table checks that the weights are the ones of the type
      // and count in force, bit for bit; BesselI0 itself is held to the series below.
      return BesselI0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / BesselI0(beta);
    }
    case wtLANCZOS: {
      if (n == H) {
        return 1;
      }
      const double x = 2 * kPi * (n - H) / M;
      return std::sin(x) / x;
    }
    case wtLOGGEDSQUARESINE: {
      if (n == H) {
        return 1;
      }
      const double x = 2 * kPi * (n - H) / M;
      return std::log2(1 + std::sin(x) * std::sin(x));
    }
    case wtCUSTOM:
      return custom[n];
  }
  return 0;
}

}  // namespace sonavik::plain

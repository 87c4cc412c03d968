// SPDX-License-Identifier: MIT
#include "analysis/WaveIFFT.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "analysis/BitReversal.h"
#include "analysis/TransformArgs.h"

namespace sonavik {

void InverseTransform(std::int32_t N, std::span<double> Re, std::span<double> Im) {
  TWaveIFFT::Radix2FFT(N, Re, Im, true);
}

TWaveIFFT::TWaveIFFT() {
  bufferA_.assign(2, 0.0);
  bufferB_.assign(2, 0.0);
  wideBufferA_.assign(4, 0.0);
  wideBufferB_.assign(4, 0.0);
}

bool TWaveIFFT::IsPowerOfRadix(std::int32_t value) const {
  return detail::IsWholePowerOf(radix_, value);
}

void TWaveIFFT::SetCount(std::int32_t value) {
  if (value < 0 || !IsPowerOfRadix(value)) {
    throw EAnalysisError(kNotPowerOfRadixMessage);
  }
  const auto n = static_cast<std::size_t>(value);
  // Everything that can fail to allocate does so before the first change.
  bufferA_.reserve(n);
  wideBufferA_.reserve(2 * n);
  bufferB_.reserve(n);
  wideBufferB_.reserve(2 * n);

  count_ = value;
  bufferA_.resize(n, 0.0);
  wideBufferA_.resize(2 * n, 0.0);
  bufferB_.resize(n, 0.0);
  wideBufferB_.resize(2 * n, 0.0);
}

void TWaveIFFT::Radix2FFT(std::int32_t N, std::span<double> Re, std::span<double> Im,
                          bool Inverse) {
  detail::RequireTransformable(N, Re, Im);
  const std::int64_t n = N;
  double* re = Re.data();
  double* im = Im.data();

  detail::ForEachReversalSwap(n, [re, im](std::int64_t i, std::int64_t j) {
    std::swap(re[i], re[j]);
    std::swap(im[i], im[j]);
  });

  double theta =
      n == 0 ? 0.0 : static_cast<double>(n) * (-2.0 * std::numbers::pi / static_cast<double>(n));
  if (Inverse) {
    theta = -theta;
  }
  for (std::int64_t d = 1; 2 * d <= n; d *= 2) {
    theta /= 2.0;
    for (std::int64_t f = 0; f < d; ++f) {
      const double angle = static_cast<double>(f) * theta;
      const double wr = std::cos(angle);
      const double wi = std::sin(angle);
      for (std::int64_t p0 = f; p0 < n; p0 += 2 * d) {
        const std::int64_t p1 = p0 + d;
        const double tr = wr * re[p1] - wi * im[p1];
        const double ti = wr * im[p1] + wi * re[p1];
        re[p1] = re[p0] - tr;
        im[p1] = im[p0] - ti;
        re[p0] = re[p0] + tr;
        im[p0] = im[p0] + ti;
      }
    }
  }

  if (Inverse && n > 0) {
    const double scale = 1.0 / static_cast<double>(n);
    for (std::int64_t i = 0; i < n; ++i) {
      re[i] *= scale;
      im[i] *= scale;
    }
  }
}

}  // namespace sonavik

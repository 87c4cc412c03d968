// SPDX-License-Identifier: MIT
// The argument rule both transform routines share: a power-of-two point count (or none) and
// arrays at least that long. Checked before a single entry is read or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "analysis/WaveFFT.h"

namespace sonavik::detail {

inline bool IsPowerOfTwoOrZero(std::int64_t n) {
  return n >= 0 && (n & (n - 1)) == 0;
}

inline void RequireTransformable(std::int32_t N, std::span<const double> Re,
                                 std::span<const double> Im) {
  if (!IsPowerOfTwoOrZero(N) || Re.size() < static_cast<std::size_t>(N) ||
      Im.size() < static_cast<std::size_t>(N)) {
    throw EAnalysisError(kNotPowerOfRadixMessage);
  }
}

// Whether Value is a non-negative whole power of Radix. Exact in integers: the ratio of two
// logarithms misses genuine powers such as 125 = 5^3 or 512 = 8^3 by one rounding.
inline bool IsWholePowerOf(std::int32_t Radix, std::int32_t Value) {
  if (Value <= 0 || Radix <= 0) {
    return true;
  }
  if (Radix == 1) {
    return Value == 1;
  }
  while (Value % Radix == 0) {
    Value /= Radix;
  }
  return Value == 1;
}

}  // namespace sonavik::detail

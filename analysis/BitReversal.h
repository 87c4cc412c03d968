// SPDX-License-Identifier: MIT
// The bit-reversal reorder that both transforms start with, as the pairs of indices it swaps.
#pragma once

#include <cstdint>

namespace sonavik::detail {

// Calls swap(i, j) for each pair an N-point reorder exchanges, in the order the reversed-carry
// counter meets them. N is a power of two (or zero).
template <typename Swap>
void ForEachReversalSwap(std::int64_t N, Swap swap) {
  std::int64_t j = 0;
  for (std::int64_t i = 1; i <= N - 2; ++i) {
    std::int64_t k = N / 2;
    j ^= k;
    while (k > j) {
      k /= 2;
      j ^= k;
    }
    if (i < j) {
      swap(i, j);
    }
  }
}

}  // namespace sonavik::detail

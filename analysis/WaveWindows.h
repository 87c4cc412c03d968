// SPDX-License-Identifier: MIT
// The analysis windows of TWaveFFT: one weight routine per TWindowType, reached through a
// table by the type's ordinal, and the Bessel function the Kaiser window is built on.
#pragma once

#include <array>
#include <cstdint>

#include "analysis/WaveFFT.h"

namespace sonavik {

// Weight of sample n (0 <= n < N) of an N-sample block. Only the custom window reads the
// analyser (its CustomWindow array). The weights are not normalised.
using TWindowProc = double (*)(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);

// Modified Bessel function of the first kind, order zero, from the fixed polynomial
// approximations of Abramowitz and Stegun 9.8.1 (|x| < 3.75) and 9.8.2 (|x| >= 3.75).
double BesselI0(double x);

// Every window whose formula divides by N - 1 gives the weight 1 for a one-sample block.
double HanningWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double HammingWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double BlackmanWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double BlackmanHarrisWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double GaussianWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double RectangularWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double SineWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double CubicSineWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double FlatTopWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double KaiserWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double LanczosWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double LoggedSquareSineWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);
double CustomWindowWeight(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n);

inline constexpr std::size_t kWindowTypeCount = 13;

// Indexed by the ordinal of TWindowType.
extern const std::array<TWindowProc, kWindowTypeCount> kWindowProcs;

}  // namespace sonavik

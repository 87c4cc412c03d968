// SPDX-License-Identifier: MIT
#include "analysis/WaveWindows.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonavik {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kKaiserBeta = 8.5 * kPi;

// The phase 2*pi*n/M of the cosine-sum windows, whose period runs over N - 1 samples.
double Phase(std::int32_t N, std::int32_t n) {
  const double m = N - 1;
  return 2.0 * kPi * n / m;
}

double DoublePhase(std::int32_t N, std::int32_t n) {
  const double m = N - 1;
  return 4.0 * kPi * n / m;
}

// Lanczos and logged-square-sine are centred on the integer N div 2.
double CentredPhase(std::int32_t N, std::int32_t n) {
  const double m = N - 1;
  const std::int32_t h = N / 2;
  return 2.0 * kPi * (n - h) / m;
}

}  // namespace

double BesselI0(double x) {
  const double a = std::fabs(x);
  if (a < 3.75) {
    const double t = x / 3.75;
    const double y = t * t;
    return 1.0 + y * (3.5156229 +
                      y * (3.0899424 +
                           y * (1.2067492 + y * (0.2659732 + y * (0.0360768 + y * 0.0045813)))));
  }
  const double y = 3.75 / a;
  return (std::exp(a) / std::sqrt(a)) *
         (0.39894228 +
          y * (0.01328592 +
               y * (0.00225319 +
                    y * (-0.00157565 +
                         y * (0.00916281 +
                              y * (-0.02057706 +
                                   y * (0.02635537 + y * (-0.01647633 + y * 0.00392377))))))));
}

double HanningWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  return 0.5 - 0.5 * std::cos(Phase(N, n));
}

double HammingWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  return 0.53836 - 0.46164 * std::cos(Phase(N, n));
}

double BlackmanWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  return 0.42 - 0.5 * std::cos(Phase(N, n)) + 0.08 * std::cos(DoublePhase(N, n));
}

double BlackmanHarrisWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  return 0.423 - 0.498 * std::cos(Phase(N, n)) + 0.0792 * std::cos(DoublePhase(N, n));
}

double GaussianWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  const std::int64_t m = N - 1;
  // M^2 as an integer first, so it stays exact wherever a double can hold it.
  const double m2 = static_cast<double>(m * m);
  const double d = n - 0.5 - static_cast<double>(m) / 2.0;
  return std::exp(-32.0 * d * d / m2);
}

double RectangularWindow(const TWaveFFT&, std::int32_t, std::int32_t) {
  return 1.0;
}

double SineWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  const double m = N - 1;
  return std::sin(kPi * n / m);
}

double CubicSineWindow(const TWaveFFT& Analyser, std::int32_t N, std::int32_t n) {
  const double s = SineWindow(Analyser, N, n);
  return s * s * s;
}

double FlatTopWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  return 0.2810639 - 0.5208972 * std::cos(Phase(N, n)) + 0.1980399 * std::cos(DoublePhase(N, n));
}

double KaiserWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (N == 1) {
    return 1.0;
  }
  const double m = N - 1;
  const std::int32_t h = N / 2;
  const double r = 2.0 * (n - h) / m;
  // For even N the first sample lies further from the centre than M/2; the clamp keeps the
  // root real there.
  const double arg = std::max(0.0, 1.0 - r * r);
  return BesselI0(kKaiserBeta * std::sqrt(arg)) / BesselI0(kKaiserBeta);
}

double LanczosWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (n == N / 2) {
    return 1.0;
  }
  const double x = CentredPhase(N, n);
  return std::sin(x) / x;
}

double LoggedSquareSineWindow(const TWaveFFT&, std::int32_t N, std::int32_t n) {
  if (n == N / 2) {
    return 1.0;
  }
  const double s = std::sin(CentredPhase(N, n));
  return std::log2(1.0 + s * s);
}

double CustomWindowWeight(const TWaveFFT& Analyser, std::int32_t, std::int32_t n) {
  return Analyser.CustomWindow()[static_cast<std::size_t>(n)];
}

const std::array<TWindowProc, kWindowTypeCount> kWindowProcs = {
    &HanningWindow,     &HammingWindow,     &BlackmanWindow, &BlackmanHarrisWindow,
    &GaussianWindow,    &RectangularWindow, &SineWindow,     &CubicSineWindow,
    &FlatTopWindow,     &KaiserWindow,      &LanczosWindow,  &LoggedSquareSineWindow,
    &CustomWindowWeight};

static_assert(wtCUSTOM + 1 == kWindowTypeCount);

}  // namespace sonavik

// SPDX-License-Identifier: MIT
#include "app/MeasuringPass.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "analysis/WaveFFT.h"
#include "capture/sound/ACAPCapture.h"

namespace sonavik {
namespace {

// Nearest integer, halfway cases to the even neighbour. The llrint family rounds in the
// current rounding mode, which this program never changes from round-to-nearest-even.
inline std::int32_t NearestEven(long double x) {
  return static_cast<std::int32_t>(std::llrint(x));
}
inline std::int32_t NearestEven(double x) {
  return static_cast<std::int32_t>(std::llrint(x));
}

// |v| as unsigned, defined for every int32 value.
inline std::uint32_t AbsoluteValue(std::int32_t v) {
  return v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
}

inline std::int16_t Sample(const std::uint8_t* frame, int offset) {
  // Little-endian regardless of the host.
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(frame[offset]) |
                                   static_cast<std::uint16_t>(frame[offset + 1] << 8));
}

// 20 log10(peak / full scale); the tiny addend keeps a silent block finite at -6000 dB.
inline double Level(std::uint32_t peak) {
  const long double ratio = static_cast<long double>(peak) / 32768.0L + 1E-300L;
  return static_cast<double>(20.0L * std::log10(ratio));
}

// Tenths of a dB, never above 0. A double level times 10 is exact in extended precision, so
// the rounding sees the true value.
inline std::int32_t GaugeValue(double level) {
  return std::min(NearestEven(static_cast<long double>(level) * 10.0L), std::int32_t{0});
}

}  // namespace

TMeasuringPass::TMeasuringPass() {
  for (int i = 1; i <= kBins; ++i) {
    spectrumX_[i - 1] = NearestEven(110.0 * std::log10(static_cast<double>(i)));
  }
}

double TMeasuringPass::Gain(int gainMax, int gainPosition) {
  return static_cast<double>(gainMax - gainPosition) / 100.0;
}

std::int32_t TMeasuringPass::SpectrumRise(double magnitude) {
  if (!(magnitude > 0.0) || !std::isfinite(magnitude)) {
    return 0;
  }
  const double decades = std::log10(magnitude);
  return NearestEven(3.0 * decades * decades);
}

PassLevels TMeasuringPass::Measure(TACAPCapture& capture, const PassSettings& settings) {
  // The second half must be zero on every pass, whatever a previous pass or a failed read
  // left there.
  raw_.fill(0);
  capture.ReadBlock(capture.GetReadPosition(), raw_.data(), kRingBytes);
  return MeasureBlock(raw_, settings);
}

PassLevels TMeasuringPass::MeasureSilence(const PassSettings& settings) {
  raw_.fill(0);
  return MeasureBlock(raw_, settings);
}

PassLevels TMeasuringPass::MeasureBlock(const Block& block, const PassSettings& settings) {
  const double gainValue = Gain(settings.gainMax, settings.gainPosition);
  const std::uint8_t* raw = block.data();
  if (gainValue == std::trunc(gainValue) && std::abs(gainValue) <= 65535.0) {
    // A whole gain (unity, where the slider starts, among them): every product is an integer
    // well inside 32 bits, so it is its own nearest integer.
    const auto whole = static_cast<std::int32_t>(gainValue);
    for (int i = 0; i < kFrames; ++i) {
      left_[i] = Sample(raw + std::ptrdiff_t{4} * i, 0) * whole;
      right_[i] = Sample(raw + std::ptrdiff_t{4} * i, 2) * whole;
    }
  } else {
    // The product needs more than a double's significand: next to a half-integer a double
    // product can round onto the half and flip the result by one step.
    const long double gain = gainValue;
    for (int i = 0; i < kFrames; ++i) {
      left_[i] =
          NearestEven(static_cast<long double>(Sample(raw + std::ptrdiff_t{4} * i, 0)) * gain);
      right_[i] =
          NearestEven(static_cast<long double>(Sample(raw + std::ptrdiff_t{4} * i, 2)) * gain);
    }
  }

  if (settings.dcStop) {
    double sumL = 0.0;
    double sumR = 0.0;
    for (int i = 0; i < kFrames; ++i) {
      sumL += left_[i];
      sumR += right_[i];
    }
    // The divisor is the whole block, zero half included. Both sums are integers under 2^31
    // and the mean a multiple of 1/2048, so every value below is exact in a double and its
    // rounding is the same as in extended precision.
    const double meanL = sumL / kFrames;
    const double meanR = sumR / kFrames;
    for (int i = 0; i < kFrames; ++i) {
      left_[i] = NearestEven(left_[i] - meanL);
      right_[i] = NearestEven(right_[i] - meanR);
    }
  }

  std::uint32_t peakL = 0;
  std::uint32_t peakR = 0;
  const std::int32_t hw = settings.vectorWidth / 2;
  const std::int32_t h = settings.vectorHeight;
  for (int i = 0; i < kFrames; ++i) {
    peakL = std::max(peakL, AbsoluteValue(left_[i]));
    peakR = std::max(peakR, AbsoluteValue(right_[i]));
    // The vertical offset is the half width too: in the 47 x 47 box the centre is (23, 24).
    vector_[i] = QPoint(left_[i] / 1500 + hw, h - (right_[i] / 1500 + hw));
  }

  if (settings.scopeOn) {
    const std::int32_t H = settings.scopeHeight;
    for (int i = 0; i < kFrames; ++i) {
      // nint(i / 2.5) = floor((4i + 5) / 10); i / 2.5 is never a half-integer.
      const std::int32_t x = (4 * i + 5) / 10;
      scopeL_[i] = QPoint(x, H - (left_[i] / 500 + H / 2));
      scopeR_[i] = QPoint(x, H - (right_[i] / 500 + H / 2));
    }
  }

  if (settings.spectrumOn) {
    fftInL_ = left_;
    fftInR_ = right_;
  }

  PassLevels levels;
  levels.levelL = Level(peakL);
  levels.levelR = Level(peakR);
  levels.clipL = levels.levelL >= 0.0;
  levels.clipR = levels.levelR >= 0.0;
  levels.gaugeL = GaugeValue(levels.levelL);
  levels.gaugeR = GaugeValue(levels.levelR);
  return levels;
}

void TMeasuringPass::Analyse(TWaveFFT& left, TWaveFFT& right, const PassSettings& settings) {
  left.SetTransformProc(&SplitRadixFFT);
  right.SetTransformProc(&SplitRadixFFT);
  left.SetData(std::span<const std::int32_t>(fftInL_), kFrames - 1);
  right.SetData(std::span<const std::int32_t>(fftInR_), kFrames - 1);
  left.Execute();
  right.Execute();
  for (int i = 1; i <= kBins; ++i) {
    const std::int32_t x = spectrumX_[i - 1];
    spectrumL_[i - 1] = QPoint(x, settings.spectrumHeightL - SpectrumRise(left.Magnitude(i)));
    spectrumR_[i - 1] = QPoint(x, settings.spectrumHeightR - SpectrumRise(right.Magnitude(i)));
  }
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// TMeasuringPass: the working storage and arithmetic of one measuring pass: read the ring,
// gain, DC-stop, peaks, levels, gauge values, and the vector, scope and spectrum points.
// Fixed-size arrays only; nothing here touches the heap or a widget.
#pragma once

#include <QPoint>
#include <array>
#include <cstdint>

namespace sonavik {

class TACAPCapture;
class TWaveFFT;

struct PassSettings {
  int gainMax = 1000;       // the gain slider's maximum
  int gainPosition = 900;   // and its position
  bool dcStop = false;      // the DC-stop button is down
  bool scopeOn = false;     // the oscilloscope window (DiroVozor) is showing
  bool spectrumOn = false;  // the spectrum window (Darudade) is showing
  int vectorWidth = 47;     // the main window's vector box
  int vectorHeight = 47;
  int scopeHeight = 256;      // the oscilloscope's plot
  int spectrumHeightL = 145;  // the spectrum window's left plot
  int spectrumHeightR = 145;  // and its right plot
};

struct PassLevels {
  double levelL = 0.0;  // dB
  double levelR = 0.0;
  bool clipL = false;  // level >= 0: light the lamp
  bool clipR = false;
  std::int32_t gaugeL = 0;  // tenths of a dB, capped at 0
  std::int32_t gaugeR = 0;
};

class TMeasuringPass {
 public:
  // The capture the pass reads: 16-bit stereo at 44.1 kHz in a ring of 4096 bytes.
  static constexpr int kRate = 44100;
  static constexpr int kBits = 16;
  static constexpr int kRingBytes = 4096;
  // Frames in the block the pass works on: the ring, then as much again of zeros.
  static constexpr int kFrames = 2 * kRingBytes / (2 * kBits / 8);
  static constexpr int kBins = 1023;
  // What a pass measures: frames of two 16-bit little-endian samples, left first, as the
  // capture ring holds them; the ring from its read cursor on, then as much again of zeros.
  using Block = std::array<std::uint8_t, std::size_t{2} * kRingBytes>;

  TMeasuringPass();

  // The gain the slider sets, (max - position) / 100; the gain box shows this same number.
  static double Gain(int gainMax, int gainPosition);

  // The height of a spectrum point above the bottom row H of its box, in pixels: three per
  // squared decade of the magnitude. A magnitude of 0 (or one that is not a finite number)
  // has no logarithm and is drawn where a magnitude of 1 lies, on the row H itself.
  static std::int32_t SpectrumRise(double magnitude);

  // The measuring part of a pass, on a capture that is capturing: reads the whole ring from
  // its read cursor into the first half of the block (the second half zeroed), builds the
  // sample arrays, the vector points and, when asked, the scope points and the analyser
  // inputs, and returns the levels.
  PassLevels Measure(TACAPCapture& capture, const PassSettings& settings);
  // The same over a block of silence, as when the capture has stopped.
  PassLevels MeasureSilence(const PassSettings& settings);
  // The same over a block the caller holds: one read earlier, or made rather than captured.
  PassLevels MeasureBlock(const Block& block, const PassSettings& settings);

  // With the spectrum window showing, after Measure: loads both analysers, runs them and
  // builds the spectrum points. Analyser errors pass through to the caller.
  void Analyse(TWaveFFT& left, TWaveFFT& right, const PassSettings& settings);

  const std::array<std::int32_t, kFrames>& Left() const { return left_; }
  const std::array<std::int32_t, kFrames>& Right() const { return right_; }
  const std::array<QPoint, kFrames>& VectorPoints() const { return vector_; }
  const std::array<QPoint, kFrames>& ScopeLeft() const { return scopeL_; }
  const std::array<QPoint, kFrames>& ScopeRight() const { return scopeR_; }
  const std::array<QPoint, kBins>& SpectrumLeft() const { return spectrumL_; }
  const std::array<QPoint, kBins>& SpectrumRight() const { return spectrumR_; }

 private:
  alignas(16) Block raw_{};
  std::array<std::int32_t, kFrames> left_{};
  std::array<std::int32_t, kFrames> right_{};
  std::array<std::int32_t, kFrames> fftInL_{};
  std::array<std::int32_t, kFrames> fftInR_{};
  std::array<QPoint, kFrames> vector_{};
  std::array<QPoint, kFrames> scopeL_{};
  std::array<QPoint, kFrames> scopeR_{};
  std::array<QPoint, kBins> spectrumL_{};
  std::array<QPoint, kBins> spectrumR_{};
  std::array<std::int32_t, kBins> spectrumX_{};  // column of bins 1 .. 1023, fixed
};

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// TWaveFFT: loads a block of integer samples, weights it with one of 13 analysis windows,
// transforms it (split-radix by default) and gives the bins' parts and magnitudes, with
// optional smoothing against the previous result.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace sonavik {

// The analysers' error messages, used byte for byte.
inline constexpr const char* kNotPowerOfRadixMessage = "サンプル数が基数の累乗ではありません";
inline constexpr const char* kIndexOutOfRangeMessage = "配列の範囲を越えました";

class EAnalysisError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TWindowType : std::uint8_t {
  wtHANNING,
  wtHAMMING,
  wtBLACKMAN,
  wtBLACKMANHARRIS,
  wtGAUSSIAN,
  wtRECTANGULAR,
  wtSINE,
  wtCUBICSINE,
  wtFLATTOP,
  wtKAISER,
  wtLANCZOS,
  wtLOGGEDSQUARESINE,
  wtCUSTOM,
};

// Transforms Re[n] + i*Im[n], n < N, in place. Raises kNotPowerOfRadixMessage and touches
// nothing when N is not a power of two or the arrays are shorter than N; N = 0 or 1 changes
// nothing.
using TTransformProc = void (*)(std::int32_t N, std::span<double> Re, std::span<double> Im);

// Forward split-radix decimation-in-frequency FFT, unscaled.
void SplitRadixFFT(std::int32_t N, std::span<double> Re, std::span<double> Im);

// Builds, once per process, the tables (twiddles, reorder swaps) an N-point SplitRadixFFT uses, so
// that the transform itself allocates nothing. SplitRadixFFT calls it too; calling it ahead (the
// Count setter does) keeps the first transform of a new length off the heap.
void PrepareSplitRadixFFT(std::int32_t N);

class TWaveFFT {
 public:
  TWaveFFT();

  std::int32_t Count() const { return count_; }
  void SetCount(std::int32_t value);
  std::int32_t Radix() const { return radix_; }
  void SetRadix(std::int32_t value) { radix_ = value; }
  double SamplingRate() const { return samplingRate_; }
  void SetSamplingRate(double value) { samplingRate_ = value; }
  bool Stabilize() const { return stabilize_; }
  void SetStabilize(bool value) { stabilize_ = value; }
  TWindowType WindowType() const { return windowType_; }
  void SetWindowType(TWindowType value) { windowType_ = value; }
  TTransformProc TransformProc() const { return transformProc_; }
  void SetTransformProc(TTransformProc value) { transformProc_ = value; }

  bool IsPowerOfRadix(std::int32_t value) const;

  // Loads Values[0..HighIndex]; Count becomes HighIndex + 1. A HighIndex past the values
  // given is refused with kIndexOutOfRangeMessage. Allocates only when Count changes.
  void SetData(std::span<const std::int32_t> Values, std::int32_t HighIndex);
  // Weights InputData into RealData (ImagData zero) and runs TransformProc on them; with
  // Stabilize, smooths the lower half against the previous run. Allocates nothing.
  void Execute();
  double RealPart(std::int32_t Index) const;
  double ImagPart(std::int32_t Index) const;
  double Magnitude(std::int32_t Index) const;

  // The weights wtCUSTOM applies; index 0 .. Count - 1, anything else is refused.
  void SetCustomWindow(std::int32_t Index, double Weight);

  const std::vector<double>& InputData() const { return inputData_; }
  const std::vector<double>& SpareData() const { return spareData_; }
  const std::vector<double>& CustomWindow() const { return customWindow_; }
  const std::vector<double>& RealData() const { return realData_; }
  const std::vector<double>& ImagData() const { return imagData_; }
  const std::vector<double>& PrevReal() const { return prevReal_; }
  const std::vector<double>& PrevImag() const { return prevImag_; }

 private:
  std::int32_t count_ = 2;
  std::int32_t radix_ = 2;
  std::vector<double> inputData_;
  std::vector<double> spareData_;
  std::vector<double> customWindow_;
  std::vector<double> realData_;
  std::vector<double> imagData_;
  std::vector<double> prevReal_;
  std::vector<double> prevImag_;
  double samplingRate_ = 44100.0;
  bool stabilize_ = false;
  TWindowType windowType_ = wtHANNING;
  TTransformProc transformProc_ = &SplitRadixFFT;

  // The weights of windowType_ at count_, made again only when either changes (the custom
  // window is read straight from customWindow_).
  std::vector<double> weights_;
  int weightsType_ = -1;

  std::array<std::vector<double>*, 7> Arrays();
  const double* Weights();
  void CheckBin(std::int32_t Index) const;
};

}  // namespace sonavik

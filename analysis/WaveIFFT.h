// SPDX-License-Identifier: MIT
// TWaveIFFT: the inverse companion of TWaveFFT: a point count under the same power-of-radix
// rule, four work arrays, and the radix-2 inverse transform as its routine.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/WaveFFT.h"

namespace sonavik {

// Radix2FFT(N, Re, Im, true): the scaled inverse transform.
void InverseTransform(std::int32_t N, std::span<double> Re, std::span<double> Im);

class TWaveIFFT {
 public:
  TWaveIFFT();

  std::int32_t Count() const { return count_; }
  void SetCount(std::int32_t value);
  std::int32_t Radix() const { return radix_; }
  void SetRadix(std::int32_t value) { radix_ = value; }
  bool MutingCoef() const { return mutingCoef_; }
  void SetMutingCoef(bool value) { mutingCoef_ = value; }
  TTransformProc TransformProc() const { return transformProc_; }
  void SetTransformProc(TTransformProc value) { transformProc_ = value; }

  bool IsPowerOfRadix(std::int32_t value) const;

  // Iterative radix-2 decimation-in-time FFT; with Inverse the result is scaled by 1/N.
  static void Radix2FFT(std::int32_t N, std::span<double> Re, std::span<double> Im, bool Inverse);

  const std::vector<double>& BufferA() const { return bufferA_; }
  const std::vector<double>& BufferB() const { return bufferB_; }
  const std::vector<double>& WideBufferA() const { return wideBufferA_; }
  const std::vector<double>& WideBufferB() const { return wideBufferB_; }

 private:
  std::int32_t count_ = 2;
  std::vector<double> bufferA_;
  std::vector<double> bufferB_;
  std::vector<double> wideBufferA_;
  std::vector<double> wideBufferB_;
  TTransformProc transformProc_ = &InverseTransform;
  bool mutingCoef_ = false;
  std::int32_t radix_ = 2;
};

}  // namespace sonavik

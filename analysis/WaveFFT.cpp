// SPDX-License-Identifier: MIT
#include "analysis/WaveFFT.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/BitReversal.h"
#include "analysis/TransformArgs.h"
#include "analysis/WaveIFFT.h"
#include "analysis/WaveWindows.h"
#include "threads/Mutex.h"

namespace sonavik {

namespace {

constexpr double kPi = std::numbers::pi;

// Transforms and stages up to this length keep their twiddle factors and bit-reversal swaps
// in process-wide tables (all of a 65536-point transform: 512 KiB). Longer ones compute
// theirs as they go.
constexpr int kMaxTabledStageLog2 = 16;
constexpr std::int64_t kMaxTabledStage = std::int64_t{1} << kMaxTabledStageLog2;

// Twiddles of one stage of length L: c1, s1, c3, s3 for j = 0 .. L/4 - 1, one after the
// other. The angle of stage L in a transform of any length N is -2*pi/N doubled until it
// reaches the stage, which is exactly -2*pi/L (scaling by two rounds nothing), so a stage's
// table serves every transform length alike.
void FillStageTwiddles(std::int64_t L, std::int64_t first, std::int64_t count, double* c1,
                       double* s1, double* c3, double* s3) {
  const double theta = -2.0 * kPi / static_cast<double>(L);
  const double theta3 = 3.0 * theta;
  for (std::int64_t i = 0; i < count; ++i) {
    const double j = static_cast<double>(first + i);
    c1[i] = std::cos(j * theta);
    s1[i] = std::sin(j * theta);
    c3[i] = std::cos(j * theta3);
    s3[i] = std::sin(j * theta3);
  }
}

struct ReversalTable {
  std::vector<std::uint32_t> pairs;  // i0, j0, i1, j1, ...
};

// Tables are made once per length and never change afterwards, so readers need no lock; the
// mutex only keeps two first users from building the same table.
class TransformTables {
 public:
  static TransformTables& Instance() {
    static TransformTables tables;
    return tables;
  }

  // Makes sure every table an N-point transform can use exists.
  void Prepare(std::int64_t N) {
    for (int log2L = 2; log2L <= kMaxTabledStageLog2 && (std::int64_t{1} << log2L) <= N; ++log2L) {
      if (stages_[log2L].load(std::memory_order_acquire) == nullptr) {
        BuildStage(log2L);
      }
    }
    if (N >= 4 && N <= kMaxTabledStage &&
        reversals_[std::countr_zero(static_cast<std::uint64_t>(N))].load(
            std::memory_order_acquire) == nullptr) {
      BuildReversal(N);
    }
  }

  // The twiddles of stage L, or null when L is too long for a table.
  const double* Stage(std::int64_t L) const {
    const int log2L = std::countr_zero(static_cast<std::uint64_t>(L));
    return log2L <= kMaxTabledStageLog2 ? stages_[log2L].load(std::memory_order_acquire) : nullptr;
  }

  const ReversalTable* Reversal(std::int64_t N) const {
    const int log2N = std::countr_zero(static_cast<std::uint64_t>(N));
    return log2N <= kMaxTabledStageLog2 ? reversals_[log2N].load(std::memory_order_acquire)
                                        : nullptr;
  }

 private:
  void BuildStage(int log2L) EXCLUDES(mutex_) {
    const MutexLock lock(mutex_);
    if (stages_[log2L].load(std::memory_order_relaxed) != nullptr) {
      return;
    }
    const std::int64_t L = std::int64_t{1} << log2L;
    const std::int64_t q = L / 4;
    auto table = std::make_unique<double[]>(static_cast<std::size_t>(4 * q));
    FillStageTwiddles(L, 0, q, table.get(), table.get() + q, table.get() + 2 * q,
                      table.get() + 3 * q);
    stages_[log2L].store(table.get(), std::memory_order_release);
    stageOwners_[log2L] = std::move(table);
  }

  void BuildReversal(std::int64_t N) EXCLUDES(mutex_) {
    const MutexLock lock(mutex_);
    const int log2N = std::countr_zero(static_cast<std::uint64_t>(N));
    if (reversals_[log2N].load(std::memory_order_relaxed) != nullptr) {
      return;
    }
    auto table = std::make_unique<ReversalTable>();
    detail::ForEachReversalSwap(N, [&](std::int64_t i, std::int64_t j) {
      table->pairs.push_back(static_cast<std::uint32_t>(i));
      table->pairs.push_back(static_cast<std::uint32_t>(j));
    });
    reversals_[log2N].store(table.get(), std::memory_order_release);
    reversalOwners_[log2N] = std::move(table);
  }

  static constexpr std::size_t kTables = kMaxTabledStageLog2 + 1;
  std::array<std::atomic<const double*>, kTables> stages_{};
  std::array<std::unique_ptr<double[]>, kTables> stageOwners_ GUARDED_BY(mutex_);
  std::array<std::atomic<const ReversalTable*>, kTables> reversals_{};
  std::array<std::unique_ptr<ReversalTable>, kTables> reversalOwners_ GUARDED_BY(mutex_);
  Mutex mutex_;
};

// The L-shaped butterflies of one block for j = 0 .. count - 1: legs at re[j], re[q + j],
// re[2q + j], re[3q + j]. Every j touches its own four entries, so the loop runs as vectors.
// No fused multiply-add anywhere, so every vector width computes the same doubles.
[[gnu::always_inline]] inline void Butterflies(double* re, double* im, std::int64_t q,
                                               std::int64_t count, const double* __restrict c1,
                                               const double* __restrict s1,
                                               const double* __restrict c3,
                                               const double* __restrict s3) {
  double* __restrict r0 = re;
  double* __restrict r1 = re + q;
  double* __restrict r2 = re + 2 * q;
  double* __restrict r3 = re + 3 * q;
  double* __restrict i0 = im;
  double* __restrict i1 = im + q;
  double* __restrict i2 = im + 2 * q;
  double* __restrict i3 = im + 3 * q;
  // The four legs lie q apart and never overlap within j < q; the compiler cannot see that.
#if defined(__clang__)
#pragma clang loop vectorize(assume_safety)
#elif defined(__GNUC__)
#pragma GCC ivdep
#endif
  for (std::int64_t j = 0; j < count; ++j) {
    const double ar = r0[j] - r2[j];
    const double ai = i0[j] - i2[j];
    r0[j] = r0[j] + r2[j];
    i0[j] = i0[j] + i2[j];
    const double br = r3[j] - r1[j];
    const double bi = i3[j] - i1[j];
    r1[j] = r1[j] + r3[j];
    i1[j] = i1[j] + i3[j];
    const double t1 = ar - bi;
    const double t2 = ai + br;
    r2[j] = c1[j] * t1 - s1[j] * t2;
    i2[j] = c1[j] * t2 + s1[j] * t1;
    const double u1 = ar + bi;
    const double u2 = ai - br;
    r3[j] = c3[j] * u1 - s3[j] * u2;
    i3[j] = c3[j] * u2 + s3[j] * u1;
  }
}

// The same butterflies for the short stages (a quarter length of 1 or 2), where a call per
// block would cost more than the arithmetic.
template <std::int64_t q>
[[gnu::always_inline]] inline void ShortButterflies(double* re, double* im, const double* c1,
                                                    const double* s1, const double* c3,
                                                    const double* s3) {
  for (std::int64_t j = 0; j < q; ++j) {
    const double ar = re[j] - re[2 * q + j];
    const double ai = im[j] - im[2 * q + j];
    re[j] = re[j] + re[2 * q + j];
    im[j] = im[j] + im[2 * q + j];
    const double br = re[3 * q + j] - re[q + j];
    const double bi = im[3 * q + j] - im[q + j];
    re[q + j] = re[q + j] + re[3 * q + j];
    im[q + j] = im[q + j] + im[3 * q + j];
    const double t1 = ar - bi;
    const double t2 = ai + br;
    re[2 * q + j] = c1[j] * t1 - s1[j] * t2;
    im[2 * q + j] = c1[j] * t2 + s1[j] * t1;
    const double u1 = ar + bi;
    const double u2 = ai - br;
    re[3 * q + j] = c3[j] * u1 - s3[j] * u2;
    im[3 * q + j] = c3[j] * u2 + s3[j] * u1;
  }
}

// One stage of length L over the whole sequence. Within a stage the blocks are disjoint, so
// walking them block by block instead of twiddle by twiddle computes the very same values.
template <typename Body>
[[gnu::always_inline]] inline void ForEachBlock(std::int64_t N, std::int64_t L, Body body) {
  for (std::int64_t d = L; d <= N; d *= 4) {
    for (std::int64_t base = d - L; base < N; base += 2 * d) {
      body(base);
    }
  }
}

[[gnu::always_inline]] inline void Stage(std::int64_t N, std::int64_t L, double* re, double* im) {
  const std::int64_t q = L / 4;
  if (const double* t = TransformTables::Instance().Stage(L)) {
    if (q == 1) {
      ForEachBlock(N, L, [&](std::int64_t base) {
        ShortButterflies<1>(re + base, im + base, t, t + 1, t + 2, t + 3);
      });
      return;
    }
    if (q == 2) {
      ForEachBlock(N, L, [&](std::int64_t base) {
        ShortButterflies<2>(re + base, im + base, t, t + 2, t + 4, t + 6);
      });
      return;
    }
    ForEachBlock(N, L, [&](std::int64_t base) {
      Butterflies(re + base, im + base, q, q, t, t + q, t + 2 * q, t + 3 * q);
    });
    return;
  }
  // A stage too long for a table: its twiddles a chunk at a time, on the stack.
  constexpr std::int64_t kChunk = 512;
  std::array<double, 4 * kChunk> t;
  for (std::int64_t first = 0; first < q; first += kChunk) {
    const std::int64_t count = std::min(kChunk, q - first);
    FillStageTwiddles(L, first, count, t.data(), t.data() + kChunk, t.data() + 2 * kChunk,
                      t.data() + 3 * kChunk);
    ForEachBlock(N, L, [&](std::int64_t base) {
      Butterflies(re + base + first, im + base + first, q, count, t.data(), t.data() + kChunk,
                  t.data() + 2 * kChunk, t.data() + 3 * kChunk);
    });
  }
}

[[gnu::always_inline]] inline void BitReverse(std::int64_t N, double* re, double* im) {
  if (const ReversalTable* t = TransformTables::Instance().Reversal(N)) {
    const std::uint32_t* p = t->pairs.data();
    const std::uint32_t* end = p + t->pairs.size();
    for (; p != end; p += 2) {
      std::swap(re[p[0]], re[p[1]]);
      std::swap(im[p[0]], im[p[1]]);
    }
    return;
  }
  detail::ForEachReversalSwap(N, [&](std::int64_t i, std::int64_t j) {
    std::swap(re[i], re[j]);
    std::swap(im[i], im[j]);
  });
}

// The whole transform in one function, so that with AVX2 present its four-wide copy is picked
// once per call at load time.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void SplitRadixInPlace(std::int64_t n, double* re, double* im) {
  for (std::int64_t L = n; L > 2; L /= 2) {
    Stage(n, L, re, im);
  }
  for (std::int64_t d = 2; d <= n; d *= 4) {
    for (std::int64_t i0 = d - 2; i0 < n; i0 += 2 * d) {
      const double ar = re[i0];
      const double br = re[i0 + 1];
      re[i0] = ar + br;
      re[i0 + 1] = ar - br;
      const double ai = im[i0];
      const double bi = im[i0 + 1];
      im[i0] = ai + bi;
      im[i0 + 1] = ai - bi;
    }
  }
  BitReverse(n, re, im);
}

}  // namespace

void PrepareSplitRadixFFT(std::int32_t N) {
  if (detail::IsPowerOfTwoOrZero(N)) {
    TransformTables::Instance().Prepare(N);
  }
}

void SplitRadixFFT(std::int32_t N, std::span<double> Re, std::span<double> Im) {
  detail::RequireTransformable(N, Re, Im);
  if (N < 2) {
    return;
  }
  TransformTables::Instance().Prepare(N);
  SplitRadixInPlace(N, Re.data(), Im.data());
}

TWaveFFT::TWaveFFT() {
  for (std::vector<double>* a : Arrays()) {
    a->assign(2, 0.0);
  }
  weights_.assign(2, 0.0);
}

std::array<std::vector<double>*, 7> TWaveFFT::Arrays() {
  return {&inputData_, &spareData_, &customWindow_, &realData_, &imagData_, &prevReal_, &prevImag_};
}

bool TWaveFFT::IsPowerOfRadix(std::int32_t value) const {
  return detail::IsWholePowerOf(radix_, value);
}

void TWaveFFT::SetCount(std::int32_t value) {
  if (value < 0 || !IsPowerOfRadix(value)) {
    throw EAnalysisError(kNotPowerOfRadixMessage);
  }
  const auto n = static_cast<std::size_t>(value);
  // Everything that can fail to allocate does so before the first change.
  for (std::vector<double>* a : Arrays()) {
    a->reserve(n);
  }
  weights_.reserve(n);
  PrepareSplitRadixFFT(value);

  if (value != count_) {
    weightsType_ = -1;
  }
  count_ = value;
  for (std::vector<double>* a : Arrays()) {
    if (a->size() != n) {
      a->resize(n, 0.0);
    }
  }
  weights_.resize(n);
}

void TWaveFFT::SetData(std::span<const std::int32_t> Values, std::int32_t HighIndex) {
  if (HighIndex >= 0 && static_cast<std::size_t>(HighIndex) >= Values.size()) {
    throw EAnalysisError(kIndexOutOfRangeMessage);
  }
  if (HighIndex == std::numeric_limits<std::int32_t>::max()) {
    throw EAnalysisError(kNotPowerOfRadixMessage);
  }
  const std::int32_t count = HighIndex + 1;
  if (count != count_) {
    SetCount(count);
  }
  double* in = inputData_.data();
  for (std::int32_t n = 0; n < count_; ++n) {
    in[n] = static_cast<double>(Values[static_cast<std::size_t>(n)]);
  }
}

const double* TWaveFFT::Weights() {
  if (windowType_ == wtCUSTOM) {
    return customWindow_.data();
  }
  if (weightsType_ != windowType_) {
    const TWindowProc weight = kWindowProcs[windowType_];
    for (std::int32_t n = 0; n < count_; ++n) {
      weights_[static_cast<std::size_t>(n)] = weight(*this, count_, n);
    }
    weightsType_ = windowType_;
  }
  return weights_.data();
}

void TWaveFFT::Execute() {
  if (transformProc_ == nullptr) {
    throw std::logic_error("TWaveFFT::Execute: no transform routine");
  }
  if (windowType_ >= kWindowTypeCount) {
    throw std::logic_error("TWaveFFT::Execute: unknown window type");
  }
  // Our own routines refuse such a count; refusing it here already keeps the data untouched.
  if ((transformProc_ == &SplitRadixFFT || transformProc_ == &InverseTransform) &&
      !detail::IsPowerOfTwoOrZero(count_)) {
    throw EAnalysisError(kNotPowerOfRadixMessage);
  }
  const double* __restrict w = Weights();
  const double* __restrict in = inputData_.data();
  double* __restrict re = realData_.data();
  double* __restrict im = imagData_.data();
  for (std::int32_t n = 0; n < count_; ++n) {
    re[n] = w[n] * in[n];
    im[n] = 0.0;
  }
  transformProc_(count_, realData_, imagData_);
  if (stabilize_) {
    const double root2 = std::sqrt(2.0);
    double* __restrict pr = prevReal_.data();
    double* __restrict pi = prevImag_.data();
    for (std::int32_t k = 0; k < count_ / 2; ++k) {
      re[k] = std::sqrt(re[k] * re[k] + pr[k] * pr[k]) / root2;
      im[k] = std::sqrt(im[k] * im[k] + pi[k] * pi[k]) / root2;
      pr[k] = re[k];
      pi[k] = im[k];
    }
  }
}

void TWaveFFT::CheckBin(std::int32_t Index) const {
  if (Index < 0 || Index > count_ / 2 - 1) {
    throw EAnalysisError(kIndexOutOfRangeMessage);
  }
}

double TWaveFFT::RealPart(std::int32_t Index) const {
  CheckBin(Index);
  return realData_[static_cast<std::size_t>(Index)];
}

double TWaveFFT::ImagPart(std::int32_t Index) const {
  CheckBin(Index);
  return imagData_[static_cast<std::size_t>(Index)];
}

double TWaveFFT::Magnitude(std::int32_t Index) const {
  const double re = RealPart(Index);
  const double im = ImagPart(Index);
  return std::sqrt(re * re + im * im);
}

void TWaveFFT::SetCustomWindow(std::int32_t Index, double Weight) {
  if (Index < 0 || Index >= count_) {
    throw EAnalysisError(kIndexOutOfRangeMessage);
  }
  customWindow_[static_cast<std::size_t>(Index)] = Weight;
}

}  // namespace sonavik

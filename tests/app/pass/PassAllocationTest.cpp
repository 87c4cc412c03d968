// SPDX-License-Identifier: MIT
// The measuring pass must not touch the heap. This program replaces the global allocator
// with a counting one (which is why it is a program of its own) and runs whole passes
// against a sound platform that itself never allocates while capturing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <numbers>

#include "QuietSound.h"
#include "analysis/WaveFFT.h"
#include "app/MeasuringPass.h"
#include "capture/platform/SoundPlatform.h"
#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* Allocate(std::size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  if (gCounting.load(std::memory_order_relaxed)) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
  }
  const auto a = static_cast<std::size_t>(align);
  const std::size_t rounded = ((size == 0 ? 1 : size) + a - 1) / a * a;
  if (void* p = std::aligned_alloc(a, rounded)) {
    return p;
  }
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

namespace sonavik {
namespace {

TEST(PassAllocation, HundredPassesWithBothToolWindowsAllocateNothing) {
  test::QuietSound sound;
  SetSoundPlatform(&sound);
  {
    TACAP component;
    TACAPCapture capture(component, nullptr);
    ASSERT_TRUE(capture.Ready());
    capture.CreateBuffer(44100, 16, true, TMeasuringPass::kRingBytes);
    capture.Start();
    ASSERT_NE(capture.GetStatus() & DSCBSTATUS_CAPTURING, 0u);

    TWaveFFT left;
    TWaveFFT right;
    for (TWaveFFT* a : {&left, &right}) {
      a->SetCount(0);
      a->SetWindowType(wtKAISER);
      a->SetCount(TMeasuringPass::kFrames);
    }
    auto pass = std::make_unique<TMeasuringPass>();
    PassSettings settings;
    settings.scopeOn = true;
    settings.spectrumOn = true;
    settings.dcStop = true;
    settings.gainPosition = 850;

    // The counter itself must see allocations, or a zero below means nothing.
    gCounting = true;
    auto probe = std::make_unique<int>(1);
    gCounting = false;
    ASSERT_EQ(gAllocations.load(), 1);
    gAllocations = 0;

    // Counted apart, so that a failure says which half allocates.
    long measureAllocations = 0;
    long analyseAllocations = 0;
    double loudest = -1e9;
    for (int n = 0; n < 100; ++n) {
      gCounting = true;
      const PassLevels levels = pass->Measure(capture, settings);
      gCounting = false;
      measureAllocations += gAllocations.exchange(0);
      gCounting = true;
      pass->Analyse(left, right, settings);
      gCounting = false;
      analyseAllocations += gAllocations.exchange(0);
      loudest = std::max(loudest, levels.levelL);
      sound.Advance();
    }
    EXPECT_EQ(measureAllocations, 0) << "heap allocations in 100 reads and measurements";
    EXPECT_EQ(analyseAllocations, 0) << "heap allocations in 100 spectrum analyses";
    // The passes did measure: a full-scale sine at gain 1.50 is over full scale, and its
    // spectrum stands far above the bottom of the box.
    EXPECT_GT(loudest, 3.0);
    EXPECT_LT(pass->SpectrumLeft()[10 - 1].y(), 145 - 100);  // 5 cycles a ring: bin 10
  }
  SetSoundPlatform(nullptr);
}

}  // namespace
}  // namespace sonavik

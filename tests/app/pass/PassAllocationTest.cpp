// SPDX-License-Identifier: MIT
// The measuring pass must not touch the heap. This program replaces the global allocator
// with the counting one of support/AllocationCounter (which is why it is a program of its
// own) and runs whole passes against a sound platform that itself never allocates while
// capturing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "QuietSound.h"
#include "analysis/WaveFFT.h"
#include "app/MeasuringPass.h"
#include "capture/platform/SoundPlatform.h"
#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"
#include "support/AllocationCounter.h"

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
    testing::StartCountingAllocations();
    auto probe = std::make_unique<int>(1);
    ASSERT_EQ(testing::StopCountingAllocations(), 1);

    // Counted apart, so that a failure says which half allocates.
    long measureAllocations = 0;
    long analyseAllocations = 0;
    double loudest = -1e9;
    for (int n = 0; n < 100; ++n) {
      testing::StartCountingAllocations();
      const PassLevels levels = pass->Measure(capture, settings);
      measureAllocations += testing::StopCountingAllocations();
      testing::StartCountingAllocations();
      pass->Analyse(left, right, settings);
      analyseAllocations += testing::StopCountingAllocations();
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

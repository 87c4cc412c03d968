// SPDX-License-Identifier: MIT
#include "capture/SoundPlatform.h"

#include <atomic>

#include "capture/PulseSound.h"

namespace sonavik {
namespace {

std::atomic<SoundPlatform*> g_replacement{nullptr};

}  // namespace

SoundPlatform& PulseSoundPlatform() {
  static PulseSound platform;
  return platform;
}

SoundPlatform& ActiveSoundPlatform() {
  SoundPlatform* replacement = g_replacement.load();
  return replacement != nullptr ? *replacement : PulseSoundPlatform();
}

void SoundPlatform::SetOnChange(std::function<void()> listener) {
  std::lock_guard lock(changeMutex_);
  onChange_.swap(listener);
}

void SoundPlatform::NotifyChange() {
  std::lock_guard lock(changeMutex_);
  if (onChange_) {
    onChange_();
  }
}

void SetSoundPlatform(SoundPlatform* platform) {
  g_replacement.store(platform);
}

}  // namespace sonavik

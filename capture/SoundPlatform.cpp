#include "SoundPlatform.h"

#include <atomic>

#include "PulseSound.h"

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

void SetSoundPlatform(SoundPlatform* platform) {
  g_replacement.store(platform);
}

}  // namespace sonavik

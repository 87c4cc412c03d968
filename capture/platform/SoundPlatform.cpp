// SPDX-License-Identifier: MIT
#include "capture/platform/SoundPlatform.h"

#include <atomic>

namespace sonavik {
namespace {

// What answers while no platform is installed: a sound system with nothing in it.
class NoSoundPlatform final : public SoundPlatform {
 public:
  SoundResult Initialize() override { return DSERR_NODRIVER; }
  void Uninitialize() override {}
  SoundResult Reconnect() override { return DSERR_NODRIVER; }
  SoundResult EnumerateCapture(const CaptureEnumCallback&) override { return DS_OK; }
  SoundResult CaptureCreate(const std::string*, ICaptureDevice** device) override {
    return Refuse(device);
  }
  SoundResult CreateSoundDevice(ISoundDevice** device) override { return Refuse(device); }
  std::string ServerDescription() override { return {}; }

 private:
  template <typename Object>
  static SoundResult Refuse(Object** object) {
    if (object == nullptr) {
      return DSERR_INVALIDPARAM;
    }
    *object = nullptr;
    return DSERR_NODRIVER;
  }
};

std::atomic<SoundPlatform*> g_installed{nullptr};

}  // namespace

SoundPlatform& ActiveSoundPlatform() {
  static NoSoundPlatform none;
  SoundPlatform* installed = g_installed.load();
  return installed != nullptr ? *installed : none;
}

void SetSoundPlatform(SoundPlatform* platform) {
  g_installed.store(platform);
}

}  // namespace sonavik

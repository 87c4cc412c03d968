// SPDX-License-Identifier: MIT
// QuietSound: a sound platform with one always-capturing device whose ring holds a fixed
// full-scale stereo signal, answering every call from fixed storage. For measuring what the
// pass itself costs, in heap allocations or in time, without a recording double in the way.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

#include "PassBlock.h"
#include "app/MeasuringPass.h"
#include "capture/platform/SoundPlatform.h"

namespace sonavik::test {

class QuietSound final : public SoundPlatform, ICaptureDevice, ICaptureBuffer, ISoundNotify {
 public:
  QuietSound() {
    for (int k = 0; k < TMeasuringPass::kRingBytes / 4; ++k) {
      const double t = 2 * std::numbers::pi * k / 1024.0;
      PutFrame(ring_, k, static_cast<std::int16_t>(std::lround(32767 * std::sin(5 * t))),
               static_cast<std::int16_t>(std::lround(-32768 * std::cos(9 * t))));
    }
  }
  void Advance() { read_ = (read_ + 4 * 257) % sizeof ring_; }

  // SoundPlatform
  SoundResult Initialize() override { return DS_OK; }
  void Uninitialize() override {}
  SoundResult Reconnect() override { return DS_OK; }
  SoundResult EnumerateCapture(const CaptureEnumCallback&) override { return DS_OK; }
  SoundResult CaptureCreate(const std::string*, ICaptureDevice** device) override {
    *device = this;
    return DS_OK;
  }
  SoundResult CreateSoundDevice(ISoundDevice**) override { return DSERR_NODRIVER; }
  std::string ServerDescription() override { return {}; }

  // Objects live as long as the platform.
  std::uint32_t AddRef() override { return 1; }
  std::uint32_t Release() override { return 0; }

  // ICaptureDevice
  SoundResult CreateCaptureBuffer(const CaptureBufferDesc*, ICaptureBuffer** buffer) override {
    *buffer = this;
    return DS_OK;
  }
  // ICaptureBuffer
  SoundResult QueryNotify(ISoundNotify** notify) override {
    *notify = this;
    return DS_OK;
  }
  SoundResult GetCurrentPosition(std::uint32_t* capturePosition,
                                 std::uint32_t* readPosition) override {
    if (capturePosition != nullptr) {
      *capturePosition = read_;
    }
    if (readPosition != nullptr) {
      *readPosition = read_;
    }
    return DS_OK;
  }
  SoundResult GetStatus(std::uint32_t* status) override {
    *status = DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING;
    return DS_OK;
  }
  SoundResult Start(std::uint32_t) override { return DS_OK; }
  SoundResult Stop() override { return DS_OK; }
  SoundResult Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                   std::uint32_t* firstBytes, void** second, std::uint32_t* secondBytes,
                   std::uint32_t) override {
    const std::uint32_t tail = sizeof ring_ - offset;
    *first = ring_ + offset;
    *firstBytes = std::min(bytes, tail);
    *second = bytes > tail ? ring_ : nullptr;
    *secondBytes = bytes > tail ? bytes - tail : 0;
    return DS_OK;
  }
  SoundResult Unlock(void*, std::uint32_t, void*, std::uint32_t) override { return DS_OK; }
  // ISoundNotify
  SoundResult SetNotificationPositions(std::uint32_t, const PositionNotify*) override {
    return DS_OK;
  }

 private:
  std::uint8_t ring_[TMeasuringPass::kRingBytes] = {};
  std::uint32_t read_ = 0;
};

}  // namespace sonavik::test

// SPDX-License-Identifier: MIT
// The playback side of the libpulse platform: a device bound to a sink of the server, its
// primary buffer and the primary buffer's 3D listener. The meter plays nothing; these objects
// only check their arguments and keep what they are told, so the component that sets them up
// sees the results it expects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "capture/platform/SoundPlatform.h"
#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseRefCounted.h"

namespace sonavik {

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): destroyed only by Release()
class PulseSoundDevice final : public PulseRefCounted<ISoundDevice> {
 public:
  // connect: the session's live connection, or null without a server.
  explicit PulseSoundDevice(std::function<std::shared_ptr<PulseConnection>()> connect);

  SoundResult Initialize(const std::string* deviceId) override;
  SoundResult SetCooperativeLevel(void* window, std::uint32_t level) override;
  SoundResult CreateSoundBuffer(const SoundBufferDesc* desc, ISoundBuffer** buffer) override;

 private:
  ~PulseSoundDevice() override = default;

  const std::function<std::shared_ptr<PulseConnection>()> connect_;
  bool initialized_ = false;
  std::uint32_t level_ = 0;
};

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): destroyed only by Release()
class PulsePrimaryBuffer final : public PulseRefCounted<ISoundBuffer> {
 public:
  explicit PulsePrimaryBuffer(bool with3D) : with3D_(with3D) {}

  SoundResult QueryListener3D(IListener3D** listener) override;

 private:
  ~PulsePrimaryBuffer() override = default;
  const bool with3D_;
};

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): destroyed only by Release()
class PulseListener3D final : public PulseRefCounted<IListener3D> {
 public:
  PulseListener3D() = default;

  SoundResult SetAllParameters(const Listener3DParams* params, std::uint32_t apply) override;

 private:
  ~PulseListener3D() override = default;
  Listener3DParams params_;
};

}  // namespace sonavik

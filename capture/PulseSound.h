// The sound platform over libpulse: a process-wide session holding one connection to the
// sound server, capture devices on its sources and a playback device on its default sink.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "PulseConnection.h"
#include "SoundPlatform.h"

namespace sonavik {

class PulseSound final : public SoundPlatform {
 public:
  PulseSound() = default;
  ~PulseSound() override;
  PulseSound(const PulseSound&) = delete;
  PulseSound& operator=(const PulseSound&) = delete;

  SoundResult Initialize() override;
  void Uninitialize() override;
  SoundResult EnumerateCapture(const CaptureEnumCallback& callback) override;
  SoundResult CaptureCreate(const std::string* deviceId, ICaptureDevice** device) override;
  SoundResult CreateSoundDevice(ISoundDevice** device) override;
  std::string ServerDescription() override;

  // The session's connection while it is usable. A connection that died (the server was
  // restarted) is replaced by a new one once the server answers again, so a meter that
  // outlives its server picks the next one up on the next device change. Null outside a
  // session or without a server.
  std::shared_ptr<PulseConnection> Connection();

 private:
  std::mutex mutex_;
  bool session_ = false;
  std::shared_ptr<PulseConnection> connection_;
};

}  // namespace sonavik

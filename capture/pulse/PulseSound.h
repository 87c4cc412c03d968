// SPDX-License-Identifier: MIT
// The sound platform over libpulse: a process-wide session holding one connection to the
// sound server, capture devices on its sources and a playback device on its default sink.
// A connection that is lost, or that could not be made at the start, is made again by
// Reconnect; when to try is the caller's business. Only Initialize and Reconnect wait for the
// server, each within PulseConnection::kTimeout; every other call answers at once without one.
#pragma once

#include <memory>
#include <string>

#include "capture/platform/SoundPlatform.h"
#include "capture/pulse/PulseConnection.h"
#include "threads/Mutex.h"

namespace sonavik {

class PulseSound final : public SoundPlatform {
 public:
  PulseSound() = default;
  ~PulseSound() override;
  PulseSound(const PulseSound&) = delete;
  PulseSound& operator=(const PulseSound&) = delete;

  SoundResult Initialize() override EXCLUDES(mutex_);
  void Uninitialize() override EXCLUDES(mutex_);
  SoundResult Reconnect() override EXCLUDES(mutex_);
  SoundResult EnumerateCapture(const CaptureEnumCallback& callback) override;
  SoundResult CaptureCreate(const std::string* deviceId, ICaptureDevice** device) override;
  SoundResult CreateSoundDevice(ISoundDevice** device) override;
  std::string ServerDescription() override EXCLUDES(mutex_);

  // The session's connection while it is usable; null outside a session or while the server
  // is away. Never waits for a server.
  std::shared_ptr<PulseConnection> Connection() EXCLUDES(mutex_);

 private:
  // The connection is there and usable.
  bool Connected() const REQUIRES(mutex_);
  // A connection whose changes reach the listener.
  std::shared_ptr<PulseConnection> ConnectWatched(SoundResult* result);

  Mutex mutex_;  // never held while connecting
  bool session_ GUARDED_BY(mutex_) = false;
  std::shared_ptr<PulseConnection> connection_ GUARDED_BY(mutex_);
};

// The libpulse platform, one per process.
SoundPlatform& PulseSoundPlatform();

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The sound platform over libpulse: a process-wide session holding one connection to the
// sound server, capture devices on its sources and a playback device on its default sink.
// The session heals: a connection that is lost, or that could not be made at the start, is
// made again in the background as soon as the server answers, and the change listener hears
// of it. Only Initialize waits for the server, once and within PulseConnection::kTimeout.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "capture/platform/SoundPlatform.h"
#include "capture/pulse/PulseConnection.h"

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

  // The session's connection while it is usable; null outside a session or while the server
  // is away, in which case the background reconnection is nudged. Never waits for a server.
  std::shared_ptr<PulseConnection> Connection();

  // Between attempts to reach a server that is away: the first pause, and the longest. The
  // longest stays under the two seconds in which a returning server must be metering again;
  // an attempt on a server that is not there costs about a millisecond.
  static constexpr std::chrono::milliseconds kFirstRetry{500};
  static constexpr std::chrono::milliseconds kLongestRetry{1500};

 private:
  // The connection is there and usable; mutex_ held.
  bool Connected() const;
  // A connection whose changes reach the listener and the reconnection.
  std::shared_ptr<PulseConnection> ConnectWatched(SoundResult* result);
  void StartReconnecting();
  void StopReconnecting();
  void WakeReconnecting();
  void Reconnect();  // the background thread's body

  std::mutex mutex_;  // guards session_ and connection_; never held while connecting
  bool session_ = false;
  std::shared_ptr<PulseConnection> connection_;

  // Taken on libpulse's threads too, so nothing else is ever locked while holding it.
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool wakeRequested_ = false;
  bool stopping_ = false;
  std::thread reconnector_;
};

// The libpulse platform, one per process.
SoundPlatform& PulseSoundPlatform();

}  // namespace sonavik

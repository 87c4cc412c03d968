// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseSound.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "capture/pulse/PulseCaptureDevice.h"
#include "capture/pulse/PulsePlayback.h"
#include "capture/pulse/PulseServerQueries.h"

namespace sonavik {

SoundPlatform& PulseSoundPlatform() {
  static PulseSound platform;
  return platform;
}

bool PulseSound::Connected() const {
  return connection_ && connection_->Ready();
}

PulseSound::~PulseSound() {
  Uninitialize();
}

SoundResult PulseSound::Initialize() {
  {
    const MutexLock lock(mutex_);
    session_ = true;
  }
  return Reconnect();
}

SoundResult PulseSound::Reconnect() {
  {
    const MutexLock lock(mutex_);
    if (!session_) {
      return DSERR_NODRIVER;
    }
    if (Connected()) {
      return DS_OK;
    }
  }
  SoundResult result = DS_OK;
  std::shared_ptr<PulseConnection> made = ConnectWatched(&result);
  if (!made) {
    return result;
  }
  {
    const MutexLock lock(mutex_);
    if (!session_) {
      result = DSERR_NODRIVER;  // the session ended while we waited: the new one goes again
    } else {
      connection_.swap(made);
    }
  }
  // made now holds the dead connection (or the unused new one); objects opened on it keep it
  // as long as they need it.
  if (result != DS_OK) {
    made->Disconnect();
    return result;
  }
  made.reset();
  NotifyChange();
  return DS_OK;
}

void PulseSound::Uninitialize() {
  std::shared_ptr<PulseConnection> ending;
  {
    const MutexLock lock(mutex_);
    session_ = false;
    ending = std::move(connection_);
  }
  // Objects still open keep the connection (and its main loop) until they are released; their
  // streams end here.
  if (ending) {
    ending->Disconnect();
  }
}

std::shared_ptr<PulseConnection> PulseSound::ConnectWatched(SoundResult* result) {
  std::shared_ptr<PulseConnection> connection = PulseConnection::Connect(result);
  if (connection) {
    connection->Watch([this] { NotifyChange(); });
  }
  return connection;
}

std::shared_ptr<PulseConnection> PulseSound::Connection() {
  const MutexLock lock(mutex_);
  if (!session_ || !Connected()) {
    return nullptr;
  }
  return connection_;
}

SoundResult PulseSound::EnumerateCapture(const CaptureEnumCallback& callback) {
  if (!callback) {
    return DSERR_INVALIDPARAM;
  }
  const std::shared_ptr<PulseConnection> connection = Connection();
  if (!connection) {
    return DSERR_NODRIVER;
  }
  std::vector<PulseDeviceEntry> sources;
  std::string defaultSource;
  if (!QuerySources(*connection, &sources, &defaultSource)) {
    return DSERR_NODRIVER;
  }
  // The answers are collected first: the caller's callback runs on its own thread, without
  // the main-loop lock, and may take as long as it likes.
  const auto byName = [&](const PulseDeviceEntry& entry) { return entry.name == defaultSource; };
  const auto defaultEntry = std::find_if(sources.begin(), sources.end(), byName);
  if (defaultEntry != sources.end() &&
      !callback(nullptr, defaultEntry->description, defaultEntry->driver)) {
    return DS_OK;
  }
  for (const PulseDeviceEntry& source : sources) {
    if (!callback(&source.name, source.description, source.driver)) {
      break;
    }
  }
  return DS_OK;
}

SoundResult PulseSound::CaptureCreate(const std::string* deviceId, ICaptureDevice** device) {
  if (device == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *device = nullptr;
  const std::shared_ptr<PulseConnection> connection = Connection();
  if (!connection) {
    return DSERR_NODRIVER;
  }
  const SoundResult found = FindSource(*connection, deviceId);
  if (found != DS_OK) {
    return found;
  }
  std::optional<std::string> source;
  if (deviceId != nullptr) {
    source = *deviceId;
  }
  *device = new PulseCaptureDevice(connection, std::move(source));
  return DS_OK;
}

SoundResult PulseSound::CreateSoundDevice(ISoundDevice** device) {
  if (device == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  // Making the device needs no server; binding it to a sink in Initialize does.
  *device = new PulseSoundDevice([this] { return Connection(); });
  return DS_OK;
}

std::string PulseSound::ServerDescription() {
  std::shared_ptr<PulseConnection> connection;
  {
    const MutexLock lock(mutex_);
    if (Connected()) {
      connection = connection_;
    }
  }
  return connection ? connection->Description() : std::string();
}

}  // namespace sonavik

#include "PulseSound.h"

#include <algorithm>
#include <vector>

#include "PulseCaptureDevice.h"
#include "PulsePlayback.h"
#include "PulseServerQueries.h"

namespace sonavik {

PulseSound::~PulseSound() {
  Uninitialize();
}

SoundResult PulseSound::Initialize() {
  std::lock_guard lock(mutex_);
  session_ = true;
  if (connection_ && connection_->Ready()) {
    return DS_OK;
  }
  connection_.reset();
  SoundResult result = DS_OK;
  connection_ = PulseConnection::Connect(&result);
  return result;
}

void PulseSound::Uninitialize() {
  std::shared_ptr<PulseConnection> ending;
  {
    std::lock_guard lock(mutex_);
    session_ = false;
    ending = std::move(connection_);
  }
  // Objects still open keep the connection (and its main loop) until they are released; their
  // streams end here.
  if (ending) {
    ending->Disconnect();
  }
}

std::shared_ptr<PulseConnection> PulseSound::Connection() {
  std::lock_guard lock(mutex_);
  if (!session_) {
    return nullptr;
  }
  if (connection_ && connection_->Ready()) {
    return connection_;
  }
  connection_.reset();
  SoundResult result = DS_OK;
  connection_ = PulseConnection::Connect(&result);
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
  // Like creating the COM object, this needs no server; Initialize does.
  *device = new PulseSoundDevice([this] { return Connection(); });
  return DS_OK;
}

std::string PulseSound::ServerDescription() {
  std::shared_ptr<PulseConnection> connection;
  {
    std::lock_guard lock(mutex_);
    connection = connection_;
  }
  return connection && connection->Ready() ? connection->Description() : std::string();
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
#include "capture/pulse/PulsePlayback.h"

#include <cfloat>
#include <cmath>

#include "capture/pulse/PulseServerQueries.h"

namespace sonavik {
namespace {

constexpr std::uint32_t kDSSCL_NORMAL = 1;
constexpr std::uint32_t kDSSCL_WRITEPRIMARY = 4;
constexpr std::uint32_t kDS3D_DEFERRED = 1;

double Length(const Vector3& v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

PulseSoundDevice::PulseSoundDevice(std::function<std::shared_ptr<PulseConnection>()> connect)
    : connect_(std::move(connect)) {}

SoundResult PulseSoundDevice::Initialize(const std::string* deviceId) {
  if (initialized_) {
    return DSERR_INVALIDCALL;
  }
  const std::shared_ptr<PulseConnection> connection = connect_();
  if (!connection) {
    return DSERR_NODRIVER;
  }
  const SoundResult found = FindSink(*connection, deviceId);
  if (found != DS_OK) {
    return found;
  }
  initialized_ = true;
  return DS_OK;
}

SoundResult PulseSoundDevice::SetCooperativeLevel(void* /*window*/, std::uint32_t level) {
  // The window only matters for focus-dependent mixing, which a sound server does for us; any
  // handle the toolkit gives is taken.
  if (!initialized_) {
    return DSERR_INVALIDCALL;
  }
  if (level < kDSSCL_NORMAL || level > kDSSCL_WRITEPRIMARY) {
    return DSERR_INVALIDPARAM;
  }
  level_ = level;
  return DS_OK;
}

SoundResult PulseSoundDevice::CreateSoundBuffer(const SoundBufferDesc* desc,
                                                ISoundBuffer** buffer) {
  if (buffer == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *buffer = nullptr;
  if (desc == nullptr || (desc->dwSize != 36 && desc->dwSize != 20)) {
    return DSERR_INVALIDPARAM;
  }
  if (!initialized_ || level_ == 0) {
    return DSERR_INVALIDCALL;
  }
  if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) == 0) {
    return DSERR_INVALIDCALL;  // secondary buffers would play sound, which this program never does
  }
  // The primary buffer is the device's mix: its size and format are not the caller's to give.
  if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *buffer = new PulsePrimaryBuffer((desc->dwFlags & DSBCAPS_CTRL3D) != 0);
  return DS_OK;
}

SoundResult PulsePrimaryBuffer::QueryListener3D(IListener3D** listener) {
  if (listener == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *listener = nullptr;
  if (!with3D_) {
    return E_NOINTERFACE_;
  }
  *listener = new PulseListener3D();
  return DS_OK;
}

SoundResult PulseListener3D::SetAllParameters(const Listener3DParams* params, std::uint32_t apply) {
  if (params == nullptr || params->dwSize != 64 || apply > kDS3D_DEFERRED) {
    return DSERR_INVALIDPARAM;
  }
  // A distance factor is a positive float, rolloff and Doppler lie in 0..10; the two
  // orientations must span a plane to define "up".
  const bool factorsValid = params->flDistanceFactor >= FLT_MIN &&
                            params->flDistanceFactor <= FLT_MAX && params->flRolloffFactor >= 0.0 &&
                            params->flRolloffFactor <= 10.0 && params->flDopplerFactor >= 0.0 &&
                            params->flDopplerFactor <= 10.0;
  const bool orientationValid = Length(params->vOrientFront) > 0.0 &&
                                Length(params->vOrientTop) > 0.0 &&
                                Length(Cross(params->vOrientFront, params->vOrientTop)) > 0.0;
  if (!factorsValid || !orientationValid) {
    return DSERR_INVALIDPARAM;
  }
  params_ = *params;
  return DS_OK;
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The sound platform: what the capture component asks of a sound system. It lists the capture
// devices, opens one with a looping capture ring whose position notifications wake the
// component's thread, and sets up a playback device with a primary buffer and a 3D listener.
// capture/pulse implements it over libpulse; tests/support/FakeSound scripts it. The program's
// start chooses the implementation with SetSoundPlatform; this layer knows none of them.
//
// Objects are reference counted: each starts with one reference, Release() returns the
// references left and destroys the object at zero; SoundRef holds one and gives it back by
// itself. Results are 32-bit codes, 0 for success.
// The failure codes are the numbers the meter's messages and debug log show, so each names one
// situation (no device, a bad argument, a refused format, ...) whatever the backend.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "capture/platform/CallbackSlot.h"
#include "capture/platform/Events.h"

namespace sonavik {

using SoundResult = std::uint32_t;

constexpr SoundResult DS_OK = 0;
constexpr SoundResult DSERR_NODRIVER = 0x88780078;      // no such device, device gone, no server
constexpr SoundResult DSERR_INVALIDPARAM = 0x80070057;  // a bad argument
constexpr SoundResult DSERR_BADFORMAT = 0x88780064;     // a format the server refuses
constexpr SoundResult DSERR_INVALIDCALL = 0x88780032;   // a call out of order
constexpr SoundResult DSERR_ALLOCATED = 0x8878000A;     // the device is busy
constexpr SoundResult DSERR_GENERIC = 0x80004005;       // any other failure
constexpr SoundResult E_NOINTERFACE_ = 0x80004002;      // the object has no such interface

// Capture buffer status bits.
constexpr std::uint32_t DSCBSTATUS_CAPTURING = 0x1;
constexpr std::uint32_t DSCBSTATUS_LOOPING = 0x2;
// Capture buffer Start flag.
constexpr std::uint32_t DSCBSTART_LOOPING = 0x1;
// Offset of a notification that fires when capture stops.
constexpr std::uint32_t DSBPN_OFFSETSTOP = 0xFFFFFFFF;
// Playback side.
constexpr std::uint32_t DSSCL_PRIORITY = 2;
constexpr std::uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr std::uint32_t DSBCAPS_CTRL3D = 0x10;
constexpr std::uint32_t DS3D_IMMEDIATE = 0;
constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

struct WaveFormatEx {
  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;
};

struct CaptureBufferDesc {
  std::uint32_t dwSize = 0;  // 28 as the program fills it; 36 is accepted too
  std::uint32_t dwFlags = 0;
  std::uint32_t dwBufferBytes = 0;
  std::uint32_t dwReserved = 0;
  const WaveFormatEx* lpwfxFormat = nullptr;
};

struct PositionNotify {
  std::uint32_t dwOffset = 0;  // a byte offset in the ring, or DSBPN_OFFSETSTOP
  EventHandle hEventNotify;
};

struct Vector3 {
  double x = 0.0, y = 0.0, z = 0.0;
};

struct Listener3DParams {
  std::uint32_t dwSize = 0;  // 64
  Vector3 vPosition;
  Vector3 vVelocity;
  Vector3 vOrientFront;
  Vector3 vOrientTop;
  double flDistanceFactor = 0.0;
  double flRolloffFactor = 0.0;
  double flDopplerFactor = 0.0;
};

struct Buffer3DParams {
  std::uint32_t dwSize = 0;  // 64
  Vector3 vPosition;
  Vector3 vVelocity;
  std::uint32_t dwInsideConeAngle = 0;
  std::uint32_t dwOutsideConeAngle = 0;
  Vector3 vConeOrientation;
  std::int32_t lConeOutsideVolume = 0;
  double flMinDistance = 0.0;
  double flMaxDistance = 0.0;
  std::uint32_t dwMode = 0;
};

struct SoundBufferDesc {
  std::uint32_t dwSize = 0;  // 36
  std::uint32_t dwFlags = 0;
  std::uint32_t dwBufferBytes = 0;
  std::uint32_t dwReserved = 0;
  const WaveFormatEx* lpwfxFormat = nullptr;
};

// Only Release destroys an object, so the destructor is not public; it stays virtual because
// an object may be released through any of its interfaces.
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor)
class SoundObject {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~SoundObject() = default;
};

class ISoundNotify : public SoundObject {
 public:
  // Arms the events: each is signalled as the writer crosses its offset, the
  // DSBPN_OFFSETSTOP one when capture stops. Replaces earlier positions.
  virtual SoundResult SetNotificationPositions(std::uint32_t count,
                                               const PositionNotify* positions) = 0;
};

class ICaptureBuffer : public SoundObject {
 public:
  // The buffer's notification positions, as an object of their own (a new reference).
  virtual SoundResult QueryNotify(ISoundNotify** notify) = 0;
  // Either pointer may be null. The read position is the end of the newest complete data.
  virtual SoundResult GetCurrentPosition(std::uint32_t* capturePosition,
                                         std::uint32_t* readPosition) = 0;
  virtual SoundResult GetStatus(std::uint32_t* status) = 0;
  virtual SoundResult Start(std::uint32_t flags) = 0;
  virtual SoundResult Stop() = 0;
  // Hands out bytes [offset, offset + bytes) of the ring as one piece, or two when the range
  // wraps (the second from offset 0; otherwise *second is null and *secondBytes 0).
  virtual SoundResult Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                           std::uint32_t* firstBytes, void** second, std::uint32_t* secondBytes,
                           std::uint32_t flags) = 0;
  virtual SoundResult Unlock(void* first, std::uint32_t firstBytes, void* second,
                             std::uint32_t secondBytes) = 0;
};

class ICaptureDevice : public SoundObject {
 public:
  virtual SoundResult CreateCaptureBuffer(const CaptureBufferDesc* desc,
                                          ICaptureBuffer** buffer) = 0;
};

class IListener3D : public SoundObject {
 public:
  virtual SoundResult SetAllParameters(const Listener3DParams* params, std::uint32_t apply) = 0;
};

class ISoundBuffer : public SoundObject {
 public:
  // The listener of a buffer made with DSBCAPS_CTRL3D (a new reference); E_NOINTERFACE_ for
  // any other buffer.
  virtual SoundResult QueryListener3D(IListener3D** listener) = 0;
};

class ISoundDevice : public SoundObject {
 public:
  // deviceId null: the default playback device.
  virtual SoundResult Initialize(const std::string* deviceId) = 0;
  virtual SoundResult SetCooperativeLevel(void* window, std::uint32_t level) = 0;
  virtual SoundResult CreateSoundBuffer(const SoundBufferDesc* desc, ISoundBuffer** buffer) = 0;
};

// Called once per capture device, the default device first with a null id. Returning false
// ends the enumeration.
using CaptureEnumCallback = std::function<bool(
    const std::string* deviceId, const std::string& description, const std::string& module)>;

class SoundPlatform {
 public:
  virtual ~SoundPlatform() = default;

  // The process-wide session: connect to the sound server, with a bounded wait, and
  // disconnect. Without a server Initialize fails but the platform stays
  // usable: enumeration lists nothing and every open fails with a code.
  virtual SoundResult Initialize() = 0;
  virtual void Uninitialize() = 0;
  // Inside the session, makes the connection to the server again when it was lost or never
  // made, with the same bounded wait; DS_OK at once while it still holds. A new connection is
  // told to the change listener. When to try again is the caller's choice: the platform never
  // retries by itself. Outside a session it fails with DSERR_NODRIVER.
  virtual SoundResult Reconnect() = 0;

  // Lists the capture devices the server offers, the default device first.
  virtual SoundResult EnumerateCapture(const CaptureEnumCallback& callback) = 0;
  // Opens a capture device. deviceId null: the default capture device, following the server's
  // default source; a named device stays on that source.
  virtual SoundResult CaptureCreate(const std::string* deviceId, ICaptureDevice** device) = 0;
  // A playback device, not yet bound to a sink: its Initialize does that.
  virtual SoundResult CreateSoundDevice(ISoundDevice** device) = 0;

  // The server the session is connected to, for people ("PulseAudio 16.1 on unix:/run/...");
  // empty when not connected.
  virtual std::string ServerDescription() = 0;

  // One listener for changes on the server's side: the connection was lost or made again, a
  // capture device came or went, the default changed, or a capture stream ended. It is called
  // on whatever thread noticed (two threads may call it at once), so it must only take note
  // (post to its own thread) and return at once. SetOnChange returns when no call of the
  // previous listener is running any more, except the one it is called from.
  void SetOnChange(std::function<void()> listener) { onChange_.Set(std::move(listener)); }
  // For the platform's implementations: tell the listener.
  void NotifyChange() { onChange_.Call(); }

 private:
  CallbackSlot<void()> onChange_;
};

// The platform the program uses: the one installed last. With none installed, a platform
// without devices: its session fails with DSERR_NODRIVER, it lists nothing and every open
// fails with that code, like a server that is not there.
SoundPlatform& ActiveSoundPlatform();
// nullptr uninstalls.
void SetSoundPlatform(SoundPlatform* platform);

// Installs a platform for a scope.
class ScopedSoundPlatform {
 public:
  explicit ScopedSoundPlatform(SoundPlatform& platform) { SetSoundPlatform(&platform); }
  ~ScopedSoundPlatform() { SetSoundPlatform(nullptr); }
  ScopedSoundPlatform(const ScopedSoundPlatform&) = delete;
  ScopedSoundPlatform& operator=(const ScopedSoundPlatform&) = delete;
};

// RAII for the process-wide session of the active platform.
class PlatformSession {
 public:
  PlatformSession() : result_(ActiveSoundPlatform().Initialize()) {}
  ~PlatformSession() { ActiveSoundPlatform().Uninitialize(); }
  PlatformSession(const PlatformSession&) = delete;
  PlatformSession& operator=(const PlatformSession&) = delete;
  SoundResult Result() const { return result_; }

 private:
  SoundResult result_;
};

}  // namespace sonavik

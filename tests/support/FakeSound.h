// SPDX-License-Identifier: MIT
// FakeSound: a scripted sound platform for tests. It answers the calls of SoundPlatform.h
// from memory: a device list you choose, steps that fail with the code you choose, a capture
// ring you write into, notification events you fire, and a record of every call made.
//
//   FakeSound fake;                          // a default device; every step succeeds
//   ScopedSoundPlatform use(fake);           // SetSoundPlatform(&fake) ...
//   SetSoundPlatform(nullptr) fake.SetDevices({{"usb-mic", "USB Mic", ""}});
//   fake.Fail(FakeSound::Step::Lock, DSERR_GENERIC);   // every Lock fails until cleared
//   fake.FailOpen("usb-mic", DSERR_ALLOCATED);         // that device cannot be opened
//   fake.WriteRing(1000, bytes, n);          // put bytes into the ring (wraps at its end)
//   fake.SetReadPosition(1000);              // where GetCurrentPosition says the data ends
//   fake.Capture(bytes, n);                  // as the device would: write at the writer,
//                                            // move the read position, fire crossed offsets
//   fake.FireNotify(1);                      // signal the event armed at position index 1
//   fake.SetStatus(DSCBSTATUS_CAPTURING);    // or Vanish(): status 0, Start fails
//   fake.Calls();                            // {"CaptureCreate(default)", ...,
//                                            //  "CaptureBuffer.Release=0", ...}
//
// Objects handed out stay owned by the FakeSound (a released object is only marked), so the
// FakeSound must outlive whatever uses them. Misuse that a real platform would punish (a call
// on a released object, an over-release, an Unlock that does not match the Lock) is collected
// in Errors(). All members may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/platform/SoundPlatform.h"

namespace sonavik {

class FakeSound : public SoundPlatform {
 public:
  enum class Step {
    Initialize,
    EnumerateCapture,
    CaptureCreate,
    CreateCaptureBuffer,
    QueryNotify,
    SetNotificationPositions,
    GetCurrentPosition,
    GetStatus,
    Start,
    Stop,
    Lock,
    Unlock,
    CreateSoundDevice,
    DeviceInitialize,
    SetCooperativeLevel,
    CreateSoundBuffer,
    QueryListener3D,
    SetAllParameters,
  };
  enum class Kind { CaptureDevice, CaptureBuffer, Notify, SoundDevice, PrimaryBuffer, Listener3D };

  struct Device {
    std::string id;
    std::string description;
    std::string module;
  };

  // What CreateCaptureBuffer was given (the format copied, as the pointer dies with the caller).
  struct CaptureDescSeen {
    CaptureBufferDesc desc;
    std::optional<WaveFormatEx> format;
  };
  struct LockSeen {
    std::uint32_t offset = 0;
    std::uint32_t bytes = 0;
    std::uint32_t flags = 0;
  };

  FakeSound();
  ~FakeSound() override;
  FakeSound(const FakeSound&) = delete;
  FakeSound& operator=(const FakeSound&) = delete;

  // --- script ---------------------------------------------------------------------------
  // The devices listed after the default one (which is always first, with a null id).
  void SetDevices(std::vector<Device> devices);
  // Every later call of the step fails with code (DS_OK clears it).
  void Fail(Step step, SoundResult code);
  // Opening the device with this id (nullopt: the default device) fails with code.
  void FailOpen(std::optional<std::string> id, SoundResult code);
  void ClearFailures();
  // The next call of the step throws std::bad_alloc, as a platform out of memory would. For
  // Initialize (and Reconnect), EnumerateCapture and CaptureCreate.
  void ThrowOnce(Step step);
  // Objects of this kind created later keep n references of their own, so the code's
  // Release returns n instead of 0.
  void SetExtraReferences(Kind kind, std::uint32_t n);

  // --- the capture ring (of the most recently created capture buffer) ---------------------
  std::uint32_t RingSize() const;
  void WriteRing(std::uint32_t offset, const void* bytes, std::size_t count);
  std::vector<std::uint8_t> Ring() const;
  void SetReadPosition(std::uint32_t position);
  void SetCapturePosition(std::uint32_t position);
  // Writes count bytes at the writer (wrapping), moves writer and read position to their end
  // and signals every armed offset the writer reached on the way (offset 0 when it wraps).
  void Capture(const void* bytes, std::size_t count);
  std::uint32_t WritePosition() const;
  void SetStatus(std::uint32_t status);
  std::uint32_t Status() const;
  // Signals the event armed at this index of the last SetNotificationPositions; false when
  // there is none.
  bool FireNotify(std::size_t index);
  // The device goes away: status 0 from now on, Start fails with DSERR_NODRIVER.
  void Vanish();

  // --- record ----------------------------------------------------------------------------
  std::vector<std::string> Calls() const;
  std::size_t CallCount(const std::string& call) const;
  void ClearCalls();
  std::vector<std::string> Errors() const;
  std::optional<CaptureDescSeen> LastCaptureDesc() const;
  std::vector<PositionNotify> NotificationPositions() const;
  std::optional<LockSeen> LastLock() const;
  std::optional<SoundBufferDesc> LastSoundBufferDesc() const;
  std::optional<Listener3DParams> LastListenerParams() const;
  void* CooperativeWindow() const;
  std::optional<std::uint32_t> CooperativeLevel() const;
  // Objects of the kind (or of all kinds) that still have references.
  std::size_t LiveObjects(Kind kind) const;
  std::size_t LiveObjects() const;
  std::size_t CreatedObjects(Kind kind) const;
  bool SessionOpen() const;

  // --- SoundPlatform ---------------------------------------------------------------------
  SoundResult Initialize() override;
  void Uninitialize() override;
  // Inside the session: fails while Step::Initialize is scripted to fail.
  SoundResult Reconnect() override;
  SoundResult EnumerateCapture(const CaptureEnumCallback& callback) override;
  SoundResult CaptureCreate(const std::string* deviceId, ICaptureDevice** device) override;
  SoundResult CreateSoundDevice(ISoundDevice** device) override;
  std::string ServerDescription() override;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

const char* KindName(FakeSound::Kind kind);

}  // namespace sonavik

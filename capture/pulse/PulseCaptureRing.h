// SPDX-License-Identifier: MIT
// The capture ring of one capture buffer: the looping bytes the server's data is written into,
// the writer position that is the read cursor, the capturing/looping state and the armed
// position notifications. The sound server's thread writes; the window thread reads through
// Lock/Unlock. One mutex guards it all, and events are signalled after it is released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/platform/SoundPlatform.h"
#include "threads/Mutex.h"

namespace sonavik {

class PulseCaptureRing {
 public:
  // silence: the byte value of a zero sample in the ring's format (0x80 for 8-bit PCM), written
  // where the server reports a gap in the data.
  PulseCaptureRing(std::uint32_t bytes, std::uint8_t silence);
  PulseCaptureRing(const PulseCaptureRing&) = delete;
  PulseCaptureRing& operator=(const PulseCaptureRing&) = delete;

  std::uint32_t Size() const { return size_; }
  // End of the newest complete data, 0 <= position < Size().
  std::uint32_t WritePosition() const;
  // DSCBSTATUS_CAPTURING / DSCBSTATUS_LOOPING bits.
  std::uint32_t Status() const;

  // Replaces the armed notifications; refused with DSERR_INVALIDCALL while capturing, so the
  // positions never change under a running writer.
  SoundResult Arm(std::uint32_t count, const PositionNotify* positions);

  // Capture begins (again) at the current writer position.
  void Start(bool looping);
  // Capture ends: later writes are ignored, and the stop notifications fire if it was running.
  // Returns whether it was running.
  bool Stop();

  // Appends captured bytes at the writer, data null meaning silence. Ignored unless capturing.
  // A non-looping capture takes bytes up to the ring's end and then stops. Each armed offset
  // that the writer reaches on the way is signalled once.
  void Write(const void* data, std::size_t bytes);

  // Hands out the range [offset, offset + bytes) as one piece or, when it wraps, two (the second
  // from offset 0; without room for a second piece only the first is handed out). The pieces
  // are a snapshot taken at once, so the writer can go on while the caller copies.
  SoundResult Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                   std::uint32_t* firstBytes, void** second, std::uint32_t* secondBytes);
  // Takes back the pieces exactly as Lock handed them out.
  SoundResult Unlock(const void* first, std::uint32_t firstBytes, const void* second,
                     std::uint32_t secondBytes);

 private:
  void CollectStopEvents(std::vector<EventHandle>* events) const REQUIRES(mutex_);

  const std::uint32_t size_;
  const std::uint8_t silence_;
  mutable Mutex mutex_;
  std::vector<std::uint8_t> ring_ GUARDED_BY(mutex_);  // written by the server's thread
  // What Lock hands out; only the window thread reads it, between Lock and Unlock.
  std::vector<std::uint8_t> snapshot_ GUARDED_BY(mutex_);
  std::uint32_t write_ GUARDED_BY(mutex_) = 0;
  bool capturing_ GUARDED_BY(mutex_) = false;
  bool looping_ GUARDED_BY(mutex_) = false;
  std::vector<PositionNotify> armed_ GUARDED_BY(mutex_);
  bool locked_ GUARDED_BY(mutex_) = false;
  const void* lockedFirst_ GUARDED_BY(mutex_) = nullptr;
  std::uint32_t lockedFirstBytes_ GUARDED_BY(mutex_) = 0;
  const void* lockedSecond_ GUARDED_BY(mutex_) = nullptr;
  std::uint32_t lockedSecondBytes_ GUARDED_BY(mutex_) = 0;
};

}  // namespace sonavik

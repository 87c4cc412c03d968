// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseCaptureRing.h"

#include <algorithm>
#include <cstring>

namespace sonavik {

PulseCaptureRing::PulseCaptureRing(std::uint32_t bytes, std::uint8_t silence)
    : size_(bytes), silence_(silence), ring_(bytes, silence), snapshot_(bytes, silence) {}

std::uint32_t PulseCaptureRing::WritePosition() const {
  const MutexLock lock(mutex_);
  return write_;
}

std::uint32_t PulseCaptureRing::Status() const {
  const MutexLock lock(mutex_);
  return (capturing_ ? DSCBSTATUS_CAPTURING : 0u) | (looping_ ? DSCBSTATUS_LOOPING : 0u);
}

SoundResult PulseCaptureRing::Arm(std::uint32_t count, const PositionNotify* positions) {
  if (count > 0 && positions == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!positions[i].hEventNotify ||
        (positions[i].dwOffset != DSBPN_OFFSETSTOP && positions[i].dwOffset >= size_)) {
      return DSERR_INVALIDPARAM;
    }
  }
  const MutexLock lock(mutex_);
  if (capturing_) {
    return DSERR_INVALIDCALL;
  }
  armed_.assign(positions, positions + count);
  return DS_OK;
}

void PulseCaptureRing::Start(bool looping) {
  const MutexLock lock(mutex_);
  capturing_ = true;
  looping_ = looping;
}

bool PulseCaptureRing::Stop() {
  std::vector<EventHandle> fire;
  bool was = false;
  {
    const MutexLock lock(mutex_);
    was = capturing_;
    capturing_ = false;
    looping_ = false;
    if (was) {
      CollectStopEvents(&fire);
    }
  }
  SetTogether(fire.data(), fire.size());
  return was;
}

void PulseCaptureRing::CollectStopEvents(std::vector<EventHandle>* events) const {
  for (const PositionNotify& position : armed_) {
    if (position.dwOffset == DSBPN_OFFSETSTOP) {
      events->push_back(position.hEventNotify);
    }
  }
}

void PulseCaptureRing::Write(const void* data, std::size_t bytes) {
  std::vector<EventHandle> fire;
  {
    const MutexLock lock(mutex_);
    if (!capturing_ || bytes == 0 || size_ == 0) {
      return;
    }
    std::uint64_t take = bytes;
    bool reachesEnd = false;
    if (!looping_) {
      const std::uint64_t room = size_ - write_;
      reachesEnd = take >= room;
      take = std::min(take, room);
    }
    // Of a write longer than the ring only its last Size() bytes survive; the position still
    // moves by the whole length.
    const std::uint64_t skip = take > size_ ? take - size_ : 0;
    std::uint32_t at = static_cast<std::uint32_t>((write_ + skip) % size_);
    std::uint64_t left = take - skip;
    const auto* source = static_cast<const std::uint8_t*>(data);
    if (source != nullptr) {
      source += skip;
    }
    while (left > 0) {
      const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, size_ - at));
      if (source != nullptr) {
        std::memcpy(ring_.data() + at, source, piece);
        source += piece;
      } else {
        std::memset(ring_.data() + at, silence_, piece);
      }
      left -= piece;
      at = (at + piece) % size_;
    }
    // An offset the writer sits on now was reached by an earlier write: it is next reached a
    // whole ring later.
    for (const PositionNotify& position : armed_) {
      if (position.dwOffset == DSBPN_OFFSETSTOP) {
        continue;
      }
      std::uint64_t distance = (position.dwOffset + size_ - write_) % size_;
      if (distance == 0) {
        distance = size_;
      }
      if (distance <= take) {
        fire.push_back(position.hEventNotify);
      }
    }
    write_ = static_cast<std::uint32_t>((write_ + take) % size_);
    if (reachesEnd) {
      capturing_ = false;
      CollectStopEvents(&fire);
    }
  }
  // A write that crosses both halves (the server hands over more than half the ring at once)
  // sets their events at one moment, so the notification thread announces them in the fixed
  // order of events signalled together, whenever it wakes.
  SetTogether(fire.data(), fire.size());
}

SoundResult PulseCaptureRing::Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                                   std::uint32_t* firstBytes, void** second,
                                   std::uint32_t* secondBytes) {
  if (first == nullptr || firstBytes == nullptr || offset >= size_ || bytes == 0 || bytes > size_) {
    return DSERR_INVALIDPARAM;
  }
  const MutexLock lock(mutex_);
  if (locked_) {
    return DSERR_INVALIDCALL;
  }
  const std::uint32_t firstLength = std::min(bytes, size_ - offset);
  const bool secondWanted = second != nullptr && secondBytes != nullptr;
  const std::uint32_t secondLength = secondWanted ? bytes - firstLength : 0;
  std::memcpy(snapshot_.data() + offset, ring_.data() + offset, firstLength);
  std::memcpy(snapshot_.data(), ring_.data(), secondLength);
  *first = snapshot_.data() + offset;
  *firstBytes = firstLength;
  if (secondWanted) {
    *second = secondLength > 0 ? snapshot_.data() : nullptr;
    *secondBytes = secondLength;
  }
  locked_ = true;
  lockedFirst_ = *first;
  lockedFirstBytes_ = firstLength;
  lockedSecond_ = secondLength > 0 ? snapshot_.data() : nullptr;
  lockedSecondBytes_ = secondLength;
  return DS_OK;
}

SoundResult PulseCaptureRing::Unlock(const void* first, std::uint32_t firstBytes,
                                     const void* second, std::uint32_t secondBytes) {
  const MutexLock lock(mutex_);
  if (!locked_) {
    return DSERR_INVALIDCALL;
  }
  if (first != lockedFirst_ || firstBytes != lockedFirstBytes_ || second != lockedSecond_ ||
      secondBytes != lockedSecondBytes_) {
    return DSERR_INVALIDPARAM;
  }
  locked_ = false;
  return DS_OK;
}

}  // namespace sonavik

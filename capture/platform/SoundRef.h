// SPDX-License-Identifier: MIT
// SoundRef: holds one reference to a sound platform object and gives it back with Release()
// when it goes, so no path (an early return, a report that throws) keeps an object alive.
// Move-only: a reference has exactly one holder.
#pragma once

#include <cstdint>
#include <utility>

namespace sonavik {

template <class T>
class SoundRef {
 public:
  SoundRef() = default;
  // Takes over a reference the caller holds (one a platform call handed out).
  explicit SoundRef(T* adopted) : object_(adopted) {}
  ~SoundRef() { Reset(); }
  SoundRef(const SoundRef&) = delete;
  SoundRef& operator=(const SoundRef&) = delete;
  SoundRef(SoundRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  // The reference held before is given back first.
  SoundRef& operator=(SoundRef&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  // Where a platform call puts the reference it hands out; the one held before is given back.
  T** Out() {
    Reset();
    return &object_;
  }
  T* operator->() const { return object_; }
  T* Get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Gives the reference back now. Returns what the object's Release() answered (the
  // references left), 0 when nothing was held.
  std::uint32_t Reset() {
    T* const object = std::exchange(object_, nullptr);
    return object != nullptr ? object->Release() : 0;
  }

 private:
  T* object_ = nullptr;
};

}  // namespace sonavik

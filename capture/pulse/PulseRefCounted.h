// SPDX-License-Identifier: MIT
// The reference count every object of the libpulse platform carries: one reference at
// creation, Release() answers the references left and destroys the object at zero.
#pragma once

#include <atomic>
#include <cstdint>

namespace sonavik {

// Destroyed only by Release(), through this class: the destructor is virtual and not public.
template <class Interface>
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor)
class PulseRefCounted : public Interface {
 public:
  std::uint32_t AddRef() override { return references_.fetch_add(1) + 1; }

  std::uint32_t Release() override {
    const std::uint32_t left = references_.fetch_sub(1) - 1;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 protected:
  PulseRefCounted() = default;
  ~PulseRefCounted() override = default;

 private:
  std::atomic<std::uint32_t> references_{1};
};

}  // namespace sonavik

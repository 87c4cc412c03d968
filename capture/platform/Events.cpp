// SPDX-License-Identifier: MIT
#include "capture/platform/Events.h"

#include <condition_variable>
#include <mutex>

namespace sonavik {
namespace {

// One mutex and condition variable for all events: a waiter on several events then needs
// no per-event registration, and signals are rare (about 86 a second).
std::mutex& EventMutex() {
  static std::mutex m;
  return m;
}
std::condition_variable& EventSignal() {
  static std::condition_variable cv;
  return cv;
}

}  // namespace

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(EventMutex());
    signalled_ = true;
  }
  EventSignal().notify_all();
}

bool AutoResetEvent::TryConsume() {
  std::lock_guard lock(EventMutex());
  const bool was = signalled_;
  signalled_ = false;
  return was;
}

void SetTogether(const EventHandle* events, std::size_t count) {
  if (count == 0) {
    return;
  }
  {
    std::lock_guard lock(EventMutex());
    for (std::size_t i = 0; i < count; ++i) {
      events[i]->signalled_ = true;
    }
  }
  EventSignal().notify_all();
}

EventHandle CreateAutoResetEvent() {
  return std::make_shared<AutoResetEvent>();
}

int WaitForAny(const EventHandle* events, std::size_t count, std::chrono::milliseconds timeout) {
  if (events == nullptr || count == 0) {
    return kWaitFailed;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!events[i]) {
      return kWaitFailed;
    }
  }
  std::unique_lock lock(EventMutex());
  int found = kWaitTimeout;
  auto anySignalled = [&] {
    for (std::size_t i = 0; i < count; ++i) {
      if (events[i]->signalled_) {
        found = static_cast<int>(i);
        return true;
      }
    }
    return false;
  };
  if (!EventSignal().wait_for(lock, timeout, anySignalled)) {
    return kWaitTimeout;
  }
  events[found]->signalled_ = false;
  return found;
}

}  // namespace sonavik

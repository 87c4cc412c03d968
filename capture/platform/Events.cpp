// SPDX-License-Identifier: MIT
#include "capture/platform/Events.h"

#include <condition_variable>

namespace sonavik {
namespace {

// Notified, under AutoResetEvent::mutex_, whenever any event is signalled.
std::condition_variable& EventSignal() {
  static std::condition_variable cv;
  return cv;
}

}  // namespace

Mutex AutoResetEvent::mutex_;

void AutoResetEvent::Set() {
  {
    const MutexLock lock(mutex_);
    signalled_ = true;
  }
  EventSignal().notify_all();
}

bool AutoResetEvent::TryConsume() {
  const MutexLock lock(mutex_);
  const bool was = signalled_;
  signalled_ = false;
  return was;
}

void SetTogether(const EventHandle* events, std::size_t count) {
  if (count == 0) {
    return;
  }
  {
    const MutexLock lock(AutoResetEvent::mutex_);
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
  const auto until = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(AutoResetEvent::mutex_);
  // After the time-out, one last look: a signal may have come with it.
  for (bool timedOut = false;; timedOut = !lock.WaitUntil(EventSignal(), until)) {
    for (std::size_t i = 0; i < count; ++i) {
      if (events[i]->signalled_) {
        events[i]->signalled_ = false;
        return static_cast<int>(i);
      }
    }
    if (timedOut) {
      return kWaitTimeout;
    }
  }
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// Unnamed auto-reset events and a wait for any one of several, with a time-out: what the
// capture ring signals and what the notification thread waits on.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "threads/Mutex.h"

namespace sonavik {

class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  // Signals the event; one wait is released and the event resets itself.
  void Set();
  // Consumes a pending signal without waiting; true when there was one.
  bool TryConsume();

 private:
  friend int WaitForAny(const std::shared_ptr<AutoResetEvent>* events, std::size_t count,
                        std::chrono::milliseconds timeout);
  friend void SetTogether(const std::shared_ptr<AutoResetEvent>* events, std::size_t count);
  // One mutex for all events: a waiter on several events then needs no per-event
  // registration, and signals are rare (about 86 a second).
  static Mutex mutex_;
  bool signalled_ GUARDED_BY(mutex_) = false;
};

// Shared so that whoever signals (the sound server's thread) can never outlive the event.
using EventHandle = std::shared_ptr<AutoResetEvent>;

EventHandle CreateAutoResetEvent();

// Signals several events at one moment: a waiter sees all of them or none, and so takes them
// lowest index first, as WaitForAny hands out events that are signalled at once. It is also
// one wake-up of the waiters instead of one per event.
void SetTogether(const EventHandle* events, std::size_t count);

constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

// Waits until any of the events is signalled and consumes that one signal. Returns its
// index (the lowest signalled one), kWaitTimeout, or kWaitFailed for a null handle or an
// empty list.
int WaitForAny(const EventHandle* events, std::size_t count, std::chrono::milliseconds timeout);

}  // namespace sonavik

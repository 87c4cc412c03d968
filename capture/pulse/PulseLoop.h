// SPDX-License-Identifier: MIT
// The libpulse main loop on a thread of its own, with one lock for everybody who touches
// libpulse, as pa_threaded_mainloop offers; unlike that one it gathers the server's data.
//
// A monitor source, or a server that runs a small quantum, hands a record stream a block every
// few milliseconds whatever fragment size the stream asked for, and waking once per block is
// most of what the loop's thread costs the machine. When blocks keep arriving less than
// kGather apart (kQuickWakesToGather wake-ups in a row), the thread lets them collect and
// handles them together once per kGather: data reaches the capture ring at most kGather later.
// A source that keeps its own time (one block per fragment) is handled the moment each block
// comes, as before.
#pragma once

#include <pulse/mainloop.h>
#include <sys/poll.h>

#include <chrono>
#include <condition_variable>
#include <thread>

#include "capture/pulse/PulseHandle.h"
#include "threads/Mutex.h"

namespace sonavik {

class PulseLoop {
 public:
  static constexpr std::chrono::milliseconds kGather{10};
  // How many wake-ups in a row, each within kGather of the one before, start the gathering.
  static constexpr int kQuickWakesToGather = 3;

  // False when libpulse cannot make a main loop.
  bool Valid() const { return loop_ != nullptr; }

  PulseLoop();
  // Stops the thread if it still runs. Never from the loop's own thread.
  ~PulseLoop();
  PulseLoop(const PulseLoop&) = delete;
  PulseLoop& operator=(const PulseLoop&) = delete;

  pa_mainloop_api* Api() const;
  // Starts the thread, named name (at most 15 characters show).
  bool Start(const char* name);
  // Ends the thread and waits for it; without the lock, never from the loop's thread.
  void Stop();

  // The lock every libpulse call outside the loop's thread needs. It may be taken again by
  // the thread that holds it.
  RecursiveMutex& Mutex() RETURN_CAPABILITY(mutex_) { return mutex_; }
  // With the lock held once: gives it up until Signal() is called, then takes it again.
  void Wait() REQUIRES(mutex_);
  // Tells the analysis what libpulse guarantees: its callbacks run on the loop's thread, with
  // the lock held.
  void InCallback() const ASSERT_CAPABILITY(mutex_) {}
  // Wakes every thread in Wait(); libpulse callbacks call it on the loop's thread.
  void Signal() { woken_.notify_all(); }

 private:
  void Run() EXCLUDES(mutex_);
  static int Poll(pollfd* descriptors, unsigned long count, int timeout, void* self);
  int Poll(pollfd* descriptors, unsigned long count, int timeout) REQUIRES(mutex_);

  using Clock = std::chrono::steady_clock;

  PulseMainloopHandle loop_;
  RecursiveMutex mutex_;
  std::condition_variable_any woken_;
  std::thread thread_;
  // Only the loop's thread touches these.
  Clock::time_point lastWake_{};
  int quickWakes_ = 0;
  bool gathering_ = false;
};

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// One connection to the sound server: a libpulse main loop on its own thread, and its context.
// The platform holds it for the session, and every object opened through it holds it too, so
// an object released after the session ended (or after the server died) still finds a live
// main loop to unreference its streams on.
#pragma once

#include <pulse/context.h>
#include <pulse/operation.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/platform/SoundPlatform.h"
#include "capture/pulse/PulseHandle.h"
#include "capture/pulse/PulseLoop.h"

namespace sonavik {

class PulseConnection {
 public:
  // How long any single exchange with the server may take before we give up on it: a server
  // that hangs must never hang the window thread.
  static constexpr std::chrono::milliseconds kTimeout{2000};

  // Connects to the server libpulse finds on its own (PULSE_SERVER, client.conf, the user's
  // runtime directory), never spawning one, within kTimeout. Null with *result set when there
  // is none or it does not answer in time.
  static std::shared_ptr<PulseConnection> Connect(SoundResult* result);

  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // Drops the link to the server; streams fail, the main loop stays for late releases.
  void Disconnect();

  // From now on onChange runs on the loop's thread, with the lock held, when the link to the
  // server ends, when a source comes, goes or changes, when the server's defaults change, and
  // when a stream of ours ends (Changed). Call once, before anyone else uses the connection.
  void Watch(std::function<void()> onChange) EXCLUDES(LoopMutex());
  // With the lock held (on the loop's thread): tells the watcher.
  void Changed() REQUIRES(LoopMutex());
  // With the lock held: from now on, while Watch's subscription stands, onRemoved runs on the
  // loop's thread, with the lock held, with the index of every source that leaves the server,
  // until ForgetSourceRemovals(owner). onRemoved must not watch or forget itself.
  void WatchSourceRemovals(const void* owner, std::function<void(std::uint32_t)> onRemoved)
      REQUIRES(LoopMutex());
  void ForgetSourceRemovals(const void* owner) REQUIRES(LoopMutex());

  // True while the context is connected and usable. Takes the main-loop lock.
  bool Ready() EXCLUDES(LoopMutex());
  // "PulseAudio 16.1 (unix:/run/user/0/pulse/native)", learnt when connecting.
  const std::string& Description() const { return description_; }

  pa_context* Context() const REQUIRES(LoopMutex()) { return context_.get(); }

  // The main-loop lock: every libpulse call outside the loop's own thread needs it.
  RecursiveMutex& LoopMutex() const RETURN_CAPABILITY(loop_->Mutex()) { return loop_->Mutex(); }
  class SCOPED_CAPABILITY Lock {
   public:
    explicit Lock(PulseConnection& connection) ACQUIRE(connection.LoopMutex())
        : mutex_(connection.LoopMutex()) {
      mutex_.lock();
    }
    ~Lock() RELEASE() { mutex_.unlock(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    RecursiveMutex& mutex_;
  };
  // What libpulse guarantees its callbacks: they run on the loop's thread, with the lock held.
  void InCallback() const ASSERT_CAPABILITY(LoopMutex()) {}

  // With the lock held: waits until done() holds, the context stops being usable, or the
  // time-out passes. Returns done(). Callbacks that change what done() looks at must call
  // Signal().
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = kTimeout)
      REQUIRES(LoopMutex());
  // With the lock held: waits for an operation to finish, then lets it go. True when it ran to
  // completion (its callback has run).
  bool Finish(PulseOperationHandle operation, std::chrono::milliseconds timeout = kTimeout)
      REQUIRES(LoopMutex());
  // Wakes whoever waits in WaitFor; called from libpulse callbacks on the loop's thread.
  void Signal() { loop_->Signal(); }
  bool ContextUsable() const REQUIRES(LoopMutex());

 private:
  PulseConnection() = default;
  bool Start();
  void FetchDescription(std::chrono::milliseconds timeout) REQUIRES(LoopMutex());
  static void OnContextState(pa_context* context, void* self);
  static void OnServerEvent(pa_context* context, pa_subscription_event_type_t type,
                            std::uint32_t index, void* self);

  std::unique_ptr<PulseLoop> loop_;
  PulseContextHandle context_;
  std::string description_;
  std::function<void()> onChange_ GUARDED_BY(LoopMutex());
  using SourceRemovals = std::vector<std::pair<const void*, std::function<void(std::uint32_t)>>>;
  SourceRemovals sourceRemovals_ GUARDED_BY(LoopMutex());
};

// The platform's result code for a libpulse error number: the code that names the same
// situation (no server or device, a refused format, a busy device, ...).
SoundResult ResultFromPulseError(int error);

}  // namespace sonavik

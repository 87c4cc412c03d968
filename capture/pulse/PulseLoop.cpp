// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseLoop.h"

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace sonavik {

PulseLoop::PulseLoop() : loop_(pa_mainloop_new()) {
  if (loop_ != nullptr) {
    pa_mainloop_set_poll_func(loop_.get(), &PulseLoop::Poll, this);
  }
}

PulseLoop::~PulseLoop() {
  Stop();
}

pa_mainloop_api* PulseLoop::Api() const {
  return pa_mainloop_get_api(loop_.get());
}

bool PulseLoop::Start(const char* name) {
  if (loop_ == nullptr || thread_.joinable()) {
    return false;
  }
  thread_ = std::thread([this, thread = std::string(name).substr(0, 15)] {
    pthread_setname_np(pthread_self(), thread.c_str());
    Run();
  });
  return true;
}

void PulseLoop::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  mutex_.lock();
  pa_mainloop_quit(loop_.get(), 0);  // wakes the loop if it sleeps in poll
  mutex_.unlock();
  thread_.join();
}

void PulseLoop::Run() {
  // Nothing here throws: libpulse is C, and our callbacks let nothing out.
  mutex_.lock();
  pa_mainloop_run(loop_.get(), nullptr);
  mutex_.unlock();
}

void PulseLoop::Wait() {
  woken_.wait(mutex_);  // held once on entry, so let go completely meanwhile
}

int PulseLoop::Poll(pollfd* descriptors, unsigned long count, int timeout, void* self) {
  auto* loop = static_cast<PulseLoop*>(self);
  loop->InCallback();  // called from inside pa_mainloop_run
  return loop->Poll(descriptors, count, timeout);
}

int PulseLoop::Poll(pollfd* descriptors, unsigned long count, int timeout) {
  // The loop's thread holds the lock exactly once here; others may use libpulse meanwhile.
  mutex_.unlock();
  // Whatever is ready now is handled now: a gathered batch takes several turns of the loop,
  // one message each, and none of them may wait.
  int ready = poll(descriptors, count, 0);
  if (ready == 0 && timeout != 0) {
    Clock::time_point until = Clock::time_point::max();
    if (timeout > 0) {
      until = Clock::now() + std::chrono::milliseconds(timeout);
    }
    if (gathering_) {
      // Blocks have been coming faster than kGather: let them collect, at most until the loop
      // has a timer due. Another thread that wakes the loop (to quit, or with a request) waits
      // at most this long too.
      std::this_thread::sleep_until(std::min(until, lastWake_ + kGather));
      ready = poll(descriptors, count, 0);
      if (ready > 0) {
        lastWake_ = Clock::now();  // found waiting: they still come at least once per kGather
      }
    }
    if (ready == 0) {
      int left = -1;
      if (timeout > 0) {
        left = static_cast<int>(std::max<std::int64_t>(
            0,
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count()));
      }
      ready = left == 0 ? 0 : poll(descriptors, count, left);
      // Woken again and again by things that came within kGather of each other: more will
      // follow soon, so from now on gather. One early message among blocks that keep their own
      // time (a reply, a timing update) is no reason to.
      const Clock::time_point woke = Clock::now();
      quickWakes_ = ready > 0 && woke - lastWake_ < kGather ? quickWakes_ + 1 : 0;
      gathering_ = quickWakes_ >= kQuickWakesToGather;
      lastWake_ = woke;
    }
  }
  mutex_.lock();
  return ready;
}

}  // namespace sonavik

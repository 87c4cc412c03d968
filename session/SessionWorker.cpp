// SPDX-License-Identifier: MIT
#include "session/SessionWorker.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace sonavik {

SessionWorker::SessionWorker() : thread_(&SessionWorker::Run, this) {}

SessionWorker::~SessionWorker() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
  }
  wake_.notify_all();
  thread_.join();
}

void SessionWorker::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void SessionWorker::Run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    // A failing exchange must not take the process down from this thread; whoever waits for
    // its answer hears nothing, as from a server that did not answer. The session's own
    // exchanges pass their errors to the window, so what arrives here goes to standard error.
    try {
      job();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "sonavik: a sound session exchange failed: %s\n", e.what());
    } catch (...) {
      std::fputs("sonavik: a sound session exchange failed\n", stderr);
    }
  }
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// SessionWorker: the sound session's own thread. It runs the exchanges with the sound server
// one after another, in the order they were posted, so that the window thread never waits for
// the server; each job posts its result back to the window thread as a queued call.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sonavik {

class SessionWorker {
 public:
  SessionWorker();
  // Jobs not yet begun are dropped (and destroyed on the calling thread); a job under way is
  // finished first, which on a hung server takes up to the platform's bounded wait.
  ~SessionWorker();
  SessionWorker(const SessionWorker&) = delete;
  SessionWorker& operator=(const SessionWorker&) = delete;

  // Runs job on the worker after the jobs posted before it. A job that throws ends itself
  // only; the worker goes on with the next.
  void Post(std::function<void()> job);

 private:
  void Run();

  std::mutex mutex_;  // guards jobs_ and stopping_; never held while a job runs
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace sonavik

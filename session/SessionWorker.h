// SPDX-License-Identifier: MIT
// SessionWorker: the sound session's own thread, and the way back from it. Jobs run on the
// worker one after another, in the order they were posted, so that the window thread never
// waits for the server; the answer of each job then runs on the window thread (the thread that
// made the worker), after the answers that came before it. Every job answers: one that throws
// answers with what it threw.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <thread>

#include "threads/Mutex.h"

namespace sonavik {

class SessionWorker {
 public:
  // What a job hands back to the window thread; null when it has nothing to say there.
  using Answer = std::function<void()>;
  // Runs on the window thread in place of the answer of a job that threw, with what it threw.
  using Failure = std::function<void(const std::exception_ptr&)>;
  // Tells which job: the first one posted is 1.
  using Ticket = std::uint64_t;

  // What an answer (or a failure) throws goes to onError, on the window thread. Made on the
  // window thread.
  explicit SessionWorker(Failure onError);
  // Jobs not yet begun and answers not yet run are dropped (and destroyed on the calling
  // thread); a job under way is finished first, which on a hung server takes up to the
  // platform's bounded wait.
  ~SessionWorker();
  SessionWorker(const SessionWorker&) = delete;
  SessionWorker& operator=(const SessionWorker&) = delete;

  // Runs job on the worker after the jobs posted before it, then the answer it returns on the
  // window thread. When job throws, failed runs there instead (null: onError does).
  Ticket Ask(std::function<Answer()> job, Failure failed = nullptr) EXCLUDES(mutex_);
  // Runs answer on the window thread after the answers delivered before it. Any thread.
  void Deliver(Answer answer) EXCLUDES(mutex_);
  // Runs the answers delivered so far, now; on the window thread.
  void RunAnswers() EXCLUDES(mutex_);
  // Waits at most bound until the job with this ticket has run; true when it has.
  bool WaitFor(Ticket job, std::chrono::milliseconds bound) EXCLUDES(mutex_);
  // No job is waiting or under way, and no answer is waiting for the window thread.
  bool Idle() const EXCLUDES(mutex_);

 private:
  struct Job {
    std::function<Answer()> work;
    Failure failed;
  };
  void Run() EXCLUDES(mutex_);
  // Puts an answer in the mailbox; true when the window thread needs waking for it.
  bool Queue(Answer answer) REQUIRES(mutex_);
  void WakeWindowThread();

  const Failure onError_;
  // Guards everything below but thread_; never held while a job or an answer runs, and
  // nothing else is taken while it is held.
  mutable Mutex mutex_;
  std::condition_variable wake_;  // a job was posted, or the worker is to stop
  std::condition_variable ran_;   // a job has run
  std::deque<Job> jobs_ GUARDED_BY(mutex_);
  bool stopping_ GUARDED_BY(mutex_) = false;
  Ticket posted_ GUARDED_BY(mutex_) = 0;
  Ticket done_ GUARDED_BY(mutex_) = 0;
  std::deque<Answer> mailbox_ GUARDED_BY(mutex_);
  // Jobs and deliveries whose answer has not run yet on the window thread.
  int unanswered_ GUARDED_BY(mutex_) = 0;
  // The window thread's wake-up: a queued call carries only that; the answers themselves
  // travel in the mailbox, under our own lock.
  QObject context_;
  QTimer wakeUp_;
  std::thread thread_;
};

}  // namespace sonavik

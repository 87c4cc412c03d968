// SPDX-License-Identifier: MIT
#include "session/SessionWorker.h"

#include <QMetaObject>
#include <utility>

namespace sonavik {

SessionWorker::SessionWorker(Failure onError) : onError_(std::move(onError)) {
  wakeUp_.setSingleShot(true);
  wakeUp_.setInterval(0);
  QObject::connect(&wakeUp_, &QTimer::timeout, &context_, [this] { RunAnswers(); });
  thread_ = std::thread(&SessionWorker::Run, this);
}

SessionWorker::~SessionWorker() {
  std::deque<Job> dropped;
  std::deque<Answer> unheard;
  {
    const MutexLock lock(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
  }
  wake_.notify_all();
  thread_.join();
  const MutexLock lock(mutex_);
  unheard.swap(mailbox_);
}

SessionWorker::Ticket SessionWorker::Ask(std::function<Answer()> job, Failure failed) {
  Ticket ticket = 0;
  {
    const MutexLock lock(mutex_);
    jobs_.push_back({std::move(job), std::move(failed)});
    ++unanswered_;
    ticket = ++posted_;
  }
  wake_.notify_one();
  return ticket;
}

void SessionWorker::Deliver(Answer answer) {
  bool wake = false;
  {
    const MutexLock lock(mutex_);
    ++unanswered_;
    wake = Queue(std::move(answer));
  }
  if (wake) {
    WakeWindowThread();
  }
}

bool SessionWorker::Queue(Answer answer) {
  const bool wake = mailbox_.empty();
  mailbox_.push_back(std::move(answer));
  return wake;
}

void SessionWorker::WakeWindowThread() {
  // By name: nothing of the worker's memory reaches the window thread through Qt's queue.
  QMetaObject::invokeMethod(&wakeUp_, "start", Qt::QueuedConnection);
}

void SessionWorker::RunAnswers() {
  std::deque<Answer> answers;
  {
    const MutexLock lock(mutex_);
    answers.swap(mailbox_);
  }
  for (Answer& answer : answers) {
    if (answer) {
      try {
        answer();
      } catch (...) {
        onError_(std::current_exception());
      }
    }
    // Counted until it has run, so whoever waits for Idle sees what it did.
    const MutexLock lock(mutex_);
    --unanswered_;
  }
}

bool SessionWorker::WaitFor(Ticket job, std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  MutexLock lock(mutex_);
  while (done_ < job) {
    if (!lock.WaitUntil(ran_, until)) {
      return done_ >= job;
    }
  }
  return true;
}

bool SessionWorker::Idle() const {
  const MutexLock lock(mutex_);
  return unanswered_ == 0;
}

void SessionWorker::Run() {
  for (;;) {
    Job job;
    {
      MutexLock lock(mutex_);
      while (!stopping_ && jobs_.empty()) {
        lock.Wait(wake_);
      }
      if (stopping_) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    // A failing exchange must not take the process down from this thread, nor leave whoever
    // waits for its answer waiting for good: the failure is its answer.
    Answer answer;
    try {
      answer = job.work();
    } catch (...) {
      answer = [error = std::current_exception(), failed = std::move(job.failed), this] {
        if (failed) {
          failed(error);
        } else {
          onError_(error);
        }
      };
    }
    // What the job held goes here, on the worker, before its answer is on its way.
    job = {};
    bool wake = false;
    {
      const MutexLock lock(mutex_);
      ++done_;
      wake = Queue(std::move(answer));
    }
    ran_.notify_all();
    if (wake) {
      WakeWindowThread();
    }
  }
}

}  // namespace sonavik

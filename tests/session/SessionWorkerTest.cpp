// SPDX-License-Identifier: MIT
// The session's worker on its own: jobs run off the window thread, and every one of them
// answers on it, in order, also when the job or its answer throws.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <exception>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "session/SessionWorker.h"

namespace sonavik::test {
namespace {

using namespace std::chrono_literals;

// Runs the window thread's queue until the worker has nothing left to answer.
bool Settle(const SessionWorker& worker) {
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!worker.Idle()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    QCoreApplication::processEvents();
    QThread::msleep(2);
  }
  return true;
}

TEST(SessionWorker, EveryJobAnswersOnTheWindowThreadInOrderAlsoWhenItThrows) {
  std::vector<std::string> heard;
  std::vector<std::string> errors;
  SessionWorker worker([&](const std::exception_ptr& error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors.emplace_back(e.what());
    }
  });
  const std::thread::id window = std::this_thread::get_id();
  worker.Ask([&]() -> SessionWorker::Answer {
    const bool away = std::this_thread::get_id() != window;
    // From another thread, straight to the window thread: ahead of this job's own answer.
    worker.Deliver([&] { heard.emplace_back("delivered"); });
    return [&, away] { heard.emplace_back(away ? "listed off the window thread" : "on it"); };
  });
  worker.Ask([]() -> SessionWorker::Answer { throw std::runtime_error("open"); },
             [&](const std::exception_ptr& error) {
               heard.emplace_back("open failed");
               std::rethrow_exception(error);
             });
  worker.Ask([]() -> SessionWorker::Answer { throw std::runtime_error("reconnect"); });
  const SessionWorker::Ticket last = worker.Ask([&]() -> SessionWorker::Answer {
    return [&] {
      heard.emplace_back("last");
      throw std::logic_error("answer");
    };
  });
  EXPECT_FALSE(worker.Idle());
  ASSERT_TRUE(worker.WaitFor(last, 5s));
  EXPECT_TRUE(heard.empty()) << "answers wait for the window thread's queue";
  ASSERT_TRUE(Settle(worker));
  EXPECT_EQ(heard, (std::vector<std::string>{"delivered", "listed off the window thread",
                                             "open failed", "last"}));
  EXPECT_EQ(errors, (std::vector<std::string>{"open", "reconnect", "answer"}));
}

TEST(SessionWorker, WaitingForAJobEndsAtItsBoundWhileTheJobHangs) {
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  SessionWorker worker([](const std::exception_ptr&) { ADD_FAILURE() << "nothing throws"; });
  const SessionWorker::Ticket hung = worker.Ask([gate] {
    gate.wait();
    return nullptr;
  });
  const SessionWorker::Ticket next = worker.Ask([] { return nullptr; });
  EXPECT_FALSE(worker.WaitFor(hung, 20ms));
  release.set_value();
  EXPECT_TRUE(worker.WaitFor(next, 5s));
  EXPECT_TRUE(Settle(worker));
}

}  // namespace
}  // namespace sonavik::test

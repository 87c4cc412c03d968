// SPDX-License-Identifier: MIT
#include "capture/platform/CallbackSlot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace sonavik {
namespace {

using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

TEST(CallbackSlot, SetWaitsForEveryCallRunningOnOtherThreadsAndDestroysTheOldCallback) {
  CallbackSlot<void(int)> slot;
  // Written by the calls without a lock: read after Set returned, a call still running would
  // be a data race and a missing mark.
  int finished[2] = {0, 0};
  std::atomic<int> entered{0};
  std::atomic<bool> release{false};
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> oldCallback = token;
  slot.Set([&, token = std::move(token)](int which) {
    ++entered;
    while (!release) {
      std::this_thread::yield();
    }
    finished[which] = 1;
    if (which == 1) {
      throw std::runtime_error("a failing callback ends its call all the same");
    }
  });
  std::thread plain([&] { slot.Call(0); });
  std::thread failing([&] { EXPECT_THROW(slot.Call(1), std::runtime_error); });
  ASSERT_TRUE(Eventually([&] { return entered == 2; }));

  std::atomic<bool> replaced{false};
  std::thread replacer([&] {
    slot.Set([](int) {});
    replaced = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(replaced);
  release = true;
  replacer.join();
  EXPECT_EQ(finished[0], 1);
  EXPECT_EQ(finished[1], 1);
  EXPECT_TRUE(oldCallback.expired());
  plain.join();
  failing.join();

  slot.Set(nullptr);
  EXPECT_FALSE(slot.IsSet());
  EXPECT_FALSE(slot.Call(2));
}

TEST(CallbackSlot, ACallbackReplacedFromInsideItsCallFinishesThatCallAndIsNotCalledAgain) {
  CallbackSlot<void(int)> slot;
  std::vector<int> seen;
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> first = token;
  bool aliveAfterReplacing = false;
  slot.Set([&, token = std::move(token)](int n) {
    slot.Set([&](int m) { seen.push_back(m * 10); });
    aliveAfterReplacing = !first.expired();
    seen.push_back(n);
  });
  EXPECT_TRUE(slot.Call(3));
  EXPECT_TRUE(aliveAfterReplacing);
  EXPECT_TRUE(first.expired());
  EXPECT_TRUE(slot.Call(4));
  EXPECT_EQ(seen, (std::vector<int>{3, 40}));
}

}  // namespace
}  // namespace sonavik

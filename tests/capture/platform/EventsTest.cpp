// SPDX-License-Identifier: MIT
#include "capture/platform/Events.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

namespace sonavik {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

TEST(Events, WaitReturnsLowestSignalledAndConsumesOnlyIt) {
  std::array<EventHandle, 3> events{CreateAutoResetEvent(), CreateAutoResetEvent(),
                                    CreateAutoResetEvent()};
  events[2]->Set();
  events[1]->Set();
  EXPECT_EQ(WaitForAny(events.data(), events.size(), milliseconds(0)), 1);
  // Auto-reset: event 1 is spent, event 2 still waits for its turn.
  EXPECT_EQ(WaitForAny(events.data(), events.size(), milliseconds(0)), 2);
  EXPECT_EQ(WaitForAny(events.data(), events.size(), milliseconds(0)), kWaitTimeout);
}

TEST(Events, SignalsDoNotAccumulate) {
  EventHandle event = CreateAutoResetEvent();
  event->Set();
  event->Set();
  EXPECT_TRUE(event->TryConsume());
  EXPECT_FALSE(event->TryConsume());
  EXPECT_EQ(WaitForAny(&event, 1, milliseconds(0)), kWaitTimeout);
}

TEST(Events, TimeOutWaitsAboutAsLongAsAsked) {
  EventHandle event = CreateAutoResetEvent();
  const auto begun = Clock::now();
  EXPECT_EQ(WaitForAny(&event, 1, milliseconds(100)), kWaitTimeout);
  const auto waited = Clock::now() - begun;
  EXPECT_GE(waited, milliseconds(100));
  EXPECT_LT(waited, milliseconds(2000));  // generous: a loaded machine
}

TEST(Events, SignalFromAnotherThreadEndsTheWaitAtOnce) {
  std::array<EventHandle, 2> events{CreateAutoResetEvent(), CreateAutoResetEvent()};
  const auto begun = Clock::now();
  std::thread signaller([&] {
    std::this_thread::sleep_for(milliseconds(50));
    events[1]->Set();
  });
  const int index = WaitForAny(events.data(), events.size(), milliseconds(5000));
  const auto waited = Clock::now() - begun;
  signaller.join();
  EXPECT_EQ(index, 1);
  EXPECT_GE(waited, milliseconds(50));
  EXPECT_LT(waited, milliseconds(2000));
  EXPECT_FALSE(events[1]->TryConsume());
}

TEST(Events, NoWakeUpIsLostBetweenTwoThreads) {
  // Ping-pong: each side waits for the other's signal before giving its own, so a single lost
  // wake-up stalls the exchange until the time-out.
  EventHandle ping = CreateAutoResetEvent();
  EventHandle pong = CreateAutoResetEvent();
  constexpr int kRounds = 2000;
  int answered = 0;
  std::thread partner([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (WaitForAny(&ping, 1, milliseconds(2000)) != 0) {
        return;
      }
      ++answered;
      pong->Set();
    }
  });
  int rounds = 0;
  for (; rounds < kRounds; ++rounds) {
    ping->Set();
    if (WaitForAny(&pong, 1, milliseconds(2000)) != 0) {
      break;
    }
  }
  partner.join();
  EXPECT_EQ(rounds, kRounds);
  EXPECT_EQ(answered, kRounds);
}

TEST(Events, EventsSetTogetherWakeAWaiterWhoTakesTheLowestFirst) {
  // Set in the opposite order while the partner waits: with one event set at a time it could
  // wake between the two and take the higher one first.
  std::array<EventHandle, 2> events{CreateAutoResetEvent(), CreateAutoResetEvent()};
  EventHandle ready = CreateAutoResetEvent();
  constexpr int kRounds = 200;
  int inOrder = 0;
  std::thread waiter([&] {
    for (int i = 0; i < kRounds; ++i) {
      ready->Set();
      const int first = WaitForAny(events.data(), events.size(), milliseconds(2000));
      const int second = WaitForAny(events.data(), events.size(), milliseconds(0));
      inOrder += first == 0 && second == 1 ? 1 : 0;
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(WaitForAny(&ready, 1, milliseconds(2000)), 0);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    const EventHandle together[] = {events[1], events[0]};
    SetTogether(together, 2);
  }
  waiter.join();
  EXPECT_EQ(inOrder, kRounds);
}

TEST(Events, BadArgumentsFail) {
  EventHandle events[2] = {CreateAutoResetEvent(), nullptr};
  EXPECT_EQ(WaitForAny(events, 2, milliseconds(0)), kWaitFailed);
  EXPECT_EQ(WaitForAny(events, 0, milliseconds(0)), kWaitFailed);
  EXPECT_EQ(WaitForAny(nullptr, 1, milliseconds(0)), kWaitFailed);
}

}  // namespace
}  // namespace sonavik

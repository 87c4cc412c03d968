// SPDX-License-Identifier: MIT
// The idle event: raised when the queue runs empty, resting while Done stays true until an
// event arrives, silent while a modal window is open, and never letting an error out.
#include "app/ApplicationEvents.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <stdexcept>
#include <vector>

#include "app/MessageBox.h"

namespace sonavik {
namespace {

// Lets the event loop run for a while without creating any event source of its own.
void RunFor(int ms) {
  QTest::qWait(ms);
}

TEST(ApplicationEvents, IdleComesAgainAndAgainWhileTheHandlerClearsDone) {
  TApplicationEvents events;
  int calls = 0;
  events.SetOnIdle([&](bool& done) {
    EXPECT_TRUE(done) << "Done must start true on every call";
    ++calls;
    done = false;
  });
  RunFor(50);
  EXPECT_GT(calls, 20);
}

TEST(ApplicationEvents, ADoneHandlerRestsUntilTheNextEvent) {
  TApplicationEvents events;
  int calls = 0;
  events.SetOnIdle([&](bool& done) {
    ++calls;
    done = calls >= 3;
  });
  RunFor(50);
  // Two passes that asked for more, one that was done; the idle timer's own ticks do not
  // wake it.
  EXPECT_EQ(calls, 3);
  RunFor(30);
  EXPECT_EQ(calls, 3);

  QObject target;
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  RunFor(30);
  EXPECT_EQ(calls, 4);

  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  RunFor(30);
  EXPECT_GE(calls, 5);
  EXPECT_LE(calls, 6);
}

TEST(ApplicationEvents, NoHandlerNoIdleAndClearingTheHandlerStopsIt) {
  TApplicationEvents events;
  int calls = 0;
  events.SetOnIdle([&](bool& done) {
    ++calls;
    done = false;
  });
  RunFor(20);
  const int before = calls;
  ASSERT_GT(before, 0);
  events.SetOnIdle({});
  RunFor(20);
  QObject target;
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  RunFor(20);
  EXPECT_EQ(calls, before);
}

TEST(ApplicationEvents, NothingIsRaisedWhileAModalWindowIsOpen) {
  TApplicationEvents events;
  int calls = 0;
  int callsWhileModal = 0;
  events.SetOnIdle([&](bool& done) {
    ++calls;
    if (QApplication::activeModalWidget() != nullptr) {
      ++callsWhileModal;
    }
    done = false;
  });
  RunFor(10);
  ASSERT_GT(calls, 0);

  QDialog dialog;
  int callsAtOpen = -1;
  int callsAtClose = -1;
  QTimer::singleShot(0, &dialog, [&] { callsAtOpen = calls; });
  // Events keep arriving while the dialog is up; none of them may raise the idle event.
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [] {});
  ticker.start();
  QTimer::singleShot(80, &dialog, [&] {
    callsAtClose = calls;
    dialog.accept();
  });
  dialog.exec();
  ticker.stop();
  EXPECT_EQ(callsWhileModal, 0);
  EXPECT_EQ(callsAtClose, callsAtOpen);

  // With the window gone the passes resume.
  RunFor(20);
  EXPECT_GT(calls, callsAtClose);
}

TEST(ApplicationEvents, AHandlerIsNeverReEnteredFromItsOwnNestedLoop) {
  TApplicationEvents events;
  int depth = 0;
  int reentered = 0;
  int calls = 0;
  events.SetOnIdle([&](bool& done) {
    if (depth > 0) {
      ++reentered;
    }
    ++depth;
    ++calls;
    if (calls == 1) {
      QEventLoop nested;
      QTimer::singleShot(30, &nested, &QEventLoop::quit);
      nested.exec();
    }
    --depth;
    done = calls >= 3;
  });
  RunFor(80);
  EXPECT_EQ(reentered, 0);
  EXPECT_EQ(calls, 3);
}

TEST(ApplicationEvents, AnErrorFromTheHandlerIsReportedAndIdleGoesOn) {
  std::vector<MessageBoxRequest> boxes;
  SetMessageBoxFunction([&](const MessageBoxRequest& r) { boxes.push_back(r); });
  TApplicationEvents events;
  int calls = 0;
  events.SetOnIdle([&](bool& done) {
    ++calls;
    done = false;
    if (calls == 2) {
      throw std::runtime_error("Pass failed");
    }
  });
  RunFor(30);
  SetMessageBoxFunction({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Pass failed.");
  EXPECT_EQ(boxes[0].caption, "Sonavik");
  EXPECT_GT(calls, 3);
}

TEST(ApplicationEvents, AHandlerMayReplaceItselfWhileRunning) {
  TApplicationEvents events;
  int first = 0;
  int second = 0;
  events.SetOnIdle([&](bool& done) {
    ++first;
    int* counter = &second;
    events.SetOnIdle([counter](bool& d) {
      ++*counter;
      d = false;
    });
    done = false;
  });
  RunFor(20);
  EXPECT_EQ(first, 1);
  EXPECT_GT(second, 0);
}

}  // namespace
}  // namespace sonavik

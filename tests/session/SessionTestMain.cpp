// SPDX-License-Identifier: MIT
// The session's queued calls and timers need an event loop, and nothing more than Qt Core's.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

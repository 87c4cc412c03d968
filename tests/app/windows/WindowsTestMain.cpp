// SPDX-License-Identifier: MIT
// The windows are widgets: their tests need an application object. Without a screen unless
// the environment names a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include "app/Fonts.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Sonavik");
  sonavik::InstallFontSubstitutes();
  // The gain box speaks the default locale; the tests pick it themselves where it matters.
  QLocale::setDefault(QLocale::c());
  return RUN_ALL_TESTS();
}

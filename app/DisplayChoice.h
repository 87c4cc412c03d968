// SPDX-License-Identifier: MIT
// Which of Qt's window systems the program starts on, decided before the application exists:
// X wherever an X server is there (XWayland too), since the windows keep the places their
// layouts give them only under X; Wayland itself only without one; and one clear line instead
// of Qt's abort when there is no display at all.
#pragma once

#include <string>

namespace sonavik {

struct DisplayEnvironment {
  const char* qpaPlatform = nullptr;     // QT_QPA_PLATFORM
  const char* display = nullptr;         // DISPLAY
  const char* waylandDisplay = nullptr;  // WAYLAND_DISPLAY
  bool platformArgument = false;         // -platform on the command line
  bool waylandPluginInstalled = false;   // Qt's Wayland platform plugin (qt6-wayland)
};

struct DisplayChoice {
  std::string platform;  // set QT_QPA_PLATFORM to this; empty: leave Qt's choice alone
  std::string error;     // not empty: no display to start on, and why, in one line
};

DisplayChoice ChooseDisplay(const DisplayEnvironment& environment);

// The environment of this process; the plugin is looked for in Qt's plugin folder.
DisplayEnvironment CurrentDisplayEnvironment(int argc, char** argv);

}  // namespace sonavik

// SPDX-License-Identifier: MIT
#include "app/DisplayChoice.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>
#include <cstdlib>
#include <cstring>

namespace sonavik {

namespace {

bool Set(const char* value) {
  return value != nullptr && value[0] != '\0';
}

}  // namespace

DisplayChoice ChooseDisplay(const DisplayEnvironment& environment) {
  // Whoever names a platform gets it, with Qt's own messages.
  if (Set(environment.qpaPlatform) || environment.platformArgument) {
    return {};
  }
  if (Set(environment.display)) {
    return {"xcb", ""};
  }
  if (Set(environment.waylandDisplay)) {
    if (environment.waylandPluginInstalled) {
      return {"wayland", ""};
    }
    return {"",
            "this Wayland session offers no X server (XWayland) and Qt's Wayland support is not "
            "installed; install XWayland or qt6-wayland"};
  }
  return {"",
          "no display to show the meter on (neither DISPLAY nor WAYLAND_DISPLAY is set); start "
          "it from a desktop session"};
}

DisplayEnvironment CurrentDisplayEnvironment(int argc, char** argv) {
  DisplayEnvironment environment;
  environment.qpaPlatform = std::getenv("QT_QPA_PLATFORM");
  environment.display = std::getenv("DISPLAY");
  environment.waylandDisplay = std::getenv("WAYLAND_DISPLAY");
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
      environment.platformArgument = true;
    }
  }
  if (Set(environment.waylandDisplay) && !Set(environment.display)) {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    environment.waylandPluginInstalled =
        !platforms.entryList({QStringLiteral("libqwayland-*.so")}, QDir::Files).isEmpty();
  }
  return environment;
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The window system the program starts on: X wherever there is one, Wayland only without it,
// a platform the user names left alone, and a clear error when there is nothing to show on.
#include <gtest/gtest.h>

#include "app/DisplayChoice.h"

namespace sonavik::test {
namespace {

TEST(DisplayChoice, XWhereThereIsOneWaylandOnlyWithoutAndAClearErrorWithNeither) {
  struct {
    const char* what;
    DisplayEnvironment environment;
    const char* platform;
    const char* errorMentions;  // nullptr: no error
  } cases[] = {
      {"X session", {nullptr, ":0", nullptr, false, false}, "xcb", nullptr},
      {"Wayland with XWayland", {nullptr, ":0", "wayland-0", false, true}, "xcb", nullptr},
      {"Wayland alone, plugin", {nullptr, nullptr, "wayland-0", false, true}, "wayland", nullptr},
      {"Wayland alone, no plugin", {nullptr, "", "wayland-0", false, false}, "", "qt6-wayland"},
      {"no display", {nullptr, nullptr, nullptr, false, false}, "", "DISPLAY"},
      {"empty variables", {"", "", "", false, true}, "", "DISPLAY"},
      {"platform named", {"offscreen", nullptr, nullptr, false, false}, "", nullptr},
      {"platform argument", {nullptr, nullptr, "wayland-0", true, false}, "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const DisplayChoice choice = ChooseDisplay(c.environment);
    EXPECT_EQ(choice.platform, c.platform);
    if (c.errorMentions == nullptr) {
      EXPECT_EQ(choice.error, "");
    } else {
      EXPECT_NE(choice.error.find(c.errorMentions), std::string::npos) << choice.error;
      EXPECT_EQ(choice.error.find('\n'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace sonavik::test

// SPDX-License-Identifier: MIT
// Shared set-up of the sound component tests: a FakeSound as the active platform, the debug
// log in a private folder, the component's messages recorded instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "capture/sound/ACAP.h"
#include "support/FakeSound.h"

namespace sonavik::testing {

class ComponentFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::temp_directory_path() /
              ("sonavik-acap-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
               info->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    SetDebugLogFolder(folder_);
    SetOptions(0);
  }

  void TearDown() override {
    SetDebugLogFolder({});
    std::filesystem::remove_all(folder_);
  }

  // The process-wide options, as a component with this option set would leave them.
  static void SetOptions(TACAPDebugOption options) {
    TACAP setter;
    setter.SetDebugOption(options);
  }

  std::filesystem::path LogPath() const { return folder_ / "ACAP_DebugLog.txt"; }
  bool LogExists() const { return std::filesystem::exists(LogPath()); }
  std::string Log() const {
    std::ifstream in(LogPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // What the component shows the user is recorded from here on.
  void RecordMessagesOf(TACAP& component) {
    component.SetOnMessage([this](const std::string& text) {
      std::lock_guard lock(messageMutex_);
      messages_.push_back(text);
    });
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(messageMutex_);
    return messages_;
  }

  FakeSound fake_;
  ScopedSoundPlatform platform_{fake_};
  std::filesystem::path folder_;

 private:
  std::mutex messageMutex_;
  std::vector<std::string> messages_;
};

}  // namespace sonavik::testing

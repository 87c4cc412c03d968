// SPDX-License-Identifier: MIT
// What the tests on the private sound server share: the server's own script, to take the server
// or its microphone away and bring them back, and the stereo tone they play into it.
#pragma once

#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <string>

namespace sonavik::testsupport {

constexpr int kToneRate = 44100;

// The folder of the tests' server (SONAVIK_SOUND_DIR).
inline std::string SoundServerDir() {
  const char* dir = std::getenv("SONAVIK_SOUND_DIR");
  return dir != nullptr ? dir : "";
}

// Runs scripts/sound-server with a command on the tests' server; its exit code.
inline int ServerScript(const std::string& command) {
  const std::string line =
      std::string(SONAVIK_SOUND_SERVER_SCRIPT) + " " + command + " '" + SoundServerDir() + "'";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// s16le stereo at kToneRate: 1 kHz of amplitude 16384 (-6.02 dBFS) on the left, 440 Hz of
// 3277 (-20.0 dBFS) on the right.
inline std::string StereoToneBytes(int seconds) {
  std::string bytes(static_cast<std::size_t>(seconds) * kToneRate * 4, '\0');
  for (std::size_t i = 0; i < static_cast<std::size_t>(seconds) * kToneRate; ++i) {
    const double n = static_cast<double>(i);
    const auto l = static_cast<std::uint16_t>(static_cast<std::int16_t>(
        std::lround(16384 * std::sin(2 * std::numbers::pi * 1000.0 * n / kToneRate))));
    const auto r = static_cast<std::uint16_t>(static_cast<std::int16_t>(
        std::lround(3277 * std::sin(2 * std::numbers::pi * 440.0 * n / kToneRate))));
    bytes[4 * i + 0] = static_cast<char>(l & 0xFF);
    bytes[4 * i + 1] = static_cast<char>(l >> 8);
    bytes[4 * i + 2] = static_cast<char>(r & 0xFF);
    bytes[4 * i + 3] = static_cast<char>(r >> 8);
  }
  return bytes;
}

}  // namespace sonavik::testsupport

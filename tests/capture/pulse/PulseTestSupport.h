// SPDX-License-Identifier: MIT
// What the libpulse tests against the private sound server share: a tone played into its
// output, and the server's script.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/platform/SoundPlatform.h"
#include "capture/platform/SoundRef.h"
#include "support/SoundServer.h"

namespace sonavik::pulsetest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using testsupport::ServerScript;

inline WaveFormatEx Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  WaveFormatEx format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  format.wBitsPerSample = bits;
  return format;
}

// The test tone: 1 kHz at 44100 Hz, left at amplitude 16384, right inverted at 8192, so a
// swapped, scaled or mixed channel shows. Its 441 distinct frames repeat every 10 ms.
struct Tone {
  static constexpr int kRate = 44100;
  static constexpr int kPeriodFrames = 441;
  static std::int16_t Left(int n) {
    return static_cast<std::int16_t>(
        std::lround(16384.0 * std::sin(2.0 * std::numbers::pi * n / 44.1)));
  }
  static std::int16_t Right(int n) {
    return static_cast<std::int16_t>(
        std::lround(-8192.0 * std::sin(2.0 * std::numbers::pi * n / 44.1)));
  }
  static std::vector<std::int16_t> Interleaved(double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::vector<std::int16_t> samples(2 * frames);
    for (std::size_t n = 0; n < frames; ++n) {
      samples[2 * n] = Left(static_cast<int>(n));
      samples[2 * n + 1] = Right(static_cast<int>(n));
    }
    return samples;
  }
  // Every frame the tone (or silence) can put into the ring.
  static std::set<std::pair<int, int>> Frames() {
    std::set<std::pair<int, int>> frames{{0, 0}};
    for (int n = 0; n < kPeriodFrames; ++n) {
      frames.insert({Left(n), Right(n)});
    }
    return frames;
  }
};

// Plays PCM into the server's output through pacat, on a thread of its own; the destructor
// waits until it has been played.
class TonePlayer {
 public:
  explicit TonePlayer(std::vector<std::int16_t> samples)
      : samples_(std::move(samples)), thread_([this] { Play(); }) {}
  ~TonePlayer() { thread_.join(); }
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;

 private:
  void Play() {
    // A player buffer of 200 ms: with less, a loaded machine makes the player miss its
    // deadlines, and the gaps (or, on PipeWire, a lost block with its ramps) would be taken for
    // the capture's faults.
    FILE* pacat = popen(
        "pacat --playback --raw --format=s16le --rate=44100 --channels=2 "
        "--device=sonavik_out --latency-msec=200",
        "w");
    if (pacat == nullptr) {
      return;
    }
    std::fwrite(samples_.data(), sizeof(std::int16_t), samples_.size(), pacat);
    pclose(pacat);
  }

  std::vector<std::int16_t> samples_;
  std::thread thread_;
};

// Polls cond every few milliseconds until it holds or the time is up.
inline bool Eventually(const std::function<bool()>& cond, milliseconds within) {
  const auto end = Clock::now() + within;
  while (!cond()) {
    if (Clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

}  // namespace sonavik::pulsetest

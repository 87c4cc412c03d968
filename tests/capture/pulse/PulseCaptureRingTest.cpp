// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseCaptureRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/pulse/PulseCaptureBuffer.h"
#include "capture/pulse/PulseCaptureDevice.h"

namespace sonavik {
namespace {

// A ring armed the way the program arms it: offset 0, the half, and the stop.
struct ArmedRing {
  explicit ArmedRing(std::uint32_t bytes, std::uint8_t silence = 0) : ring(bytes, silence) {
    const PositionNotify positions[3] = {
        {0, atZero}, {bytes / 2, atHalf}, {DSBPN_OFFSETSTOP, atStop}};
    EXPECT_EQ(ring.Arm(3, positions), DS_OK);
  }
  // Which of the three fired since the last look, as "0", "1", "S" in that order.
  std::string Fired() {
    std::string fired;
    if (atZero->TryConsume())
      fired += "0";
    if (atHalf->TryConsume())
      fired += "1";
    if (atStop->TryConsume())
      fired += "S";
    return fired;
  }
  void WriteCount(std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
      data[i] = static_cast<std::uint8_t>(next++);
    }
    ring.Write(data.data(), data.size());
  }
  std::vector<std::uint8_t> Copy(std::uint32_t offset, std::uint32_t bytes) {
    void* first = nullptr;
    void* second = nullptr;
    std::uint32_t firstBytes = 0;
    std::uint32_t secondBytes = 0;
    EXPECT_EQ(ring.Lock(offset, bytes, &first, &firstBytes, &second, &secondBytes), DS_OK);
    std::vector<std::uint8_t> copy(firstBytes + secondBytes);
    std::memcpy(copy.data(), first, firstBytes);
    if (secondBytes > 0) {
      std::memcpy(copy.data() + firstBytes, second, secondBytes);
    }
    EXPECT_EQ(ring.Unlock(first, firstBytes, second, secondBytes), DS_OK);
    return copy;
  }

  EventHandle atZero = CreateAutoResetEvent();
  EventHandle atHalf = CreateAutoResetEvent();
  EventHandle atStop = CreateAutoResetEvent();
  PulseCaptureRing ring;
  std::size_t next = 0;  // the byte counter WriteCount continues
};

TEST(PulseCaptureRing, HalvesAreAnnouncedAsTheWriterCrossesThem) {
  ArmedRing armed(4096);
  armed.ring.Start(true);
  EXPECT_EQ(armed.ring.Status(), DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING);
  // Fragments of 1024 bytes: the half is reached by the second, the wrap to 0 by the fourth.
  const char* expected[] = {"", "1", "", "0", "", "1", "", "0"};
  for (const char* fired : expected) {
    armed.WriteCount(1024);
    EXPECT_EQ(armed.Fired(), fired);
  }
  EXPECT_EQ(armed.ring.WritePosition(), 0u);
}

TEST(PulseCaptureRing, OddRingAndUnevenFragmentsCrossAtTheRightWrite) {
  ArmedRing armed(4097);  // the half is at 2048
  armed.ring.Start(true);
  armed.WriteCount(2047);
  EXPECT_EQ(armed.Fired(), "");
  armed.WriteCount(1);  // lands exactly on 2048
  EXPECT_EQ(armed.Fired(), "1");
  armed.WriteCount(2048);  // 4096: one byte short of the wrap
  EXPECT_EQ(armed.Fired(), "");
  armed.WriteCount(3000);  // through 0 to 2999 (and past 2048 again)
  EXPECT_EQ(armed.Fired(), "01");
  EXPECT_EQ(armed.ring.WritePosition(), (2048u + 2048u + 3000u) % 4097u);
}

TEST(PulseCaptureRing, WriteLongerThanTheRingKeepsItsNewestBytes) {
  ArmedRing armed(4096);
  armed.ring.Start(true);
  armed.WriteCount(100);
  EXPECT_EQ(armed.Fired(), "");
  armed.WriteCount(10000);  // bytes 100..10099 of the count
  // Each offset is announced once, however many times the writer passed it.
  EXPECT_EQ(armed.Fired(), "01");
  const std::uint32_t position = armed.ring.WritePosition();
  EXPECT_EQ(position, 10100u % 4096u);
  // From the read cursor the ring holds the newest 4096 bytes of the count, oldest first.
  const std::vector<std::uint8_t> ring = armed.Copy(position, 4096);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    ASSERT_EQ(ring[i], static_cast<std::uint8_t>(10100 - 4096 + i)) << "at " << i;
  }
}

TEST(PulseCaptureRing, StoppedRingIgnoresDataAndStopIsAnnouncedOnce) {
  ArmedRing armed(4096);
  armed.WriteCount(3000);  // not started yet
  EXPECT_EQ(armed.ring.WritePosition(), 0u);
  EXPECT_EQ(armed.Fired(), "");

  armed.ring.Start(true);
  armed.WriteCount(3000);
  EXPECT_EQ(armed.Fired(), "1");
  EXPECT_TRUE(armed.ring.Stop());
  EXPECT_EQ(armed.Fired(), "S");
  EXPECT_EQ(armed.ring.Status(), 0u);
  EXPECT_FALSE(armed.ring.Stop());  // nothing was running: no second announcement
  EXPECT_EQ(armed.Fired(), "");

  armed.WriteCount(2000);
  EXPECT_EQ(armed.ring.WritePosition(), 3000u);
  // Capture resumes where it stopped.
  armed.ring.Start(true);
  armed.WriteCount(1096);
  EXPECT_EQ(armed.Fired(), "0");
  EXPECT_EQ(armed.ring.WritePosition(), 0u);
}

TEST(PulseCaptureRing, CaptureWithoutLoopingEndsAtTheRingsEnd) {
  ArmedRing armed(4096);
  armed.ring.Start(false);
  EXPECT_EQ(armed.ring.Status(), DSCBSTATUS_CAPTURING);
  armed.WriteCount(3000);
  EXPECT_EQ(armed.Fired(), "1");
  armed.WriteCount(3000);  // only 1096 of them fit
  EXPECT_EQ(armed.Fired(), "0S");
  EXPECT_EQ(armed.ring.Status(), 0u);
  EXPECT_EQ(armed.ring.WritePosition(), 0u);
  // The first 3000 bytes were not overwritten by the rest of the second write.
  const std::vector<std::uint8_t> ring = armed.Copy(0, 4096);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    ASSERT_EQ(ring[i], static_cast<std::uint8_t>(i)) << "at " << i;
  }
}

TEST(PulseCaptureRing, GapsBecomeSilenceOfTheFormat) {
  ArmedRing unsigned8(64, 0x80);
  unsigned8.ring.Start(true);
  unsigned8.WriteCount(64);
  unsigned8.ring.Write(nullptr, 16);
  const std::vector<std::uint8_t> ring = unsigned8.Copy(0, 64);
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(ring[i], 0x80) << i;
  }
  EXPECT_EQ(ring[16], 16);
  EXPECT_EQ(unsigned8.ring.WritePosition(), 16u);
}

TEST(PulseCaptureRing, ArmingChecksItsPositions) {
  PulseCaptureRing ring(4096, 0);
  EventHandle event = CreateAutoResetEvent();
  const PositionNotify beyond[1] = {{4096, event}};
  EXPECT_EQ(ring.Arm(1, beyond), DSERR_INVALIDPARAM);
  const PositionNotify noEvent[1] = {{0, nullptr}};
  EXPECT_EQ(ring.Arm(1, noEvent), DSERR_INVALIDPARAM);
  EXPECT_EQ(ring.Arm(1, nullptr), DSERR_INVALIDPARAM);

  const PositionNotify last[1] = {{4095, event}};
  EXPECT_EQ(ring.Arm(1, last), DS_OK);
  ring.Start(true);
  EXPECT_EQ(ring.Arm(1, last), DSERR_INVALIDCALL);  // not while capturing
  ring.Write(nullptr, 4095);
  EXPECT_TRUE(event->TryConsume());
  ring.Stop();
  EXPECT_EQ(ring.Arm(0, nullptr), DS_OK);  // disarms
  ring.Start(true);
  ring.Write(nullptr, 8192);
  EXPECT_FALSE(event->TryConsume());
}

TEST(PulseCaptureRing, LockHandsOutOnePieceOrTwoWhenTheRangeWraps) {
  ArmedRing armed(4096);
  armed.ring.Start(true);
  armed.WriteCount(4096);  // ring byte i holds i & 0xFF

  void* first = nullptr;
  void* second = reinterpret_cast<void*>(1);
  std::uint32_t firstBytes = 0;
  std::uint32_t secondBytes = 99;
  ASSERT_EQ(armed.ring.Lock(96, 4000, &first, &firstBytes, &second, &secondBytes), DS_OK);
  EXPECT_EQ(firstBytes, 4000u);  // ends exactly at the ring's end: one piece
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(secondBytes, 0u);
  EXPECT_EQ(static_cast<std::uint8_t*>(first)[0], 96);
  EXPECT_EQ(armed.ring.Unlock(first, firstBytes, second, secondBytes), DS_OK);

  // 4096 bytes at 1000: bytes 1000..4095, then 0..999.
  const std::vector<std::uint8_t> wrapped = armed.Copy(1000, 4096);
  ASSERT_EQ(wrapped.size(), 4096u);
  for (std::size_t i = 0; i < wrapped.size(); ++i) {
    ASSERT_EQ(wrapped[i], static_cast<std::uint8_t>((1000 + i) % 4096)) << "at " << i;
  }
  ASSERT_EQ(armed.ring.Lock(1000, 4096, &first, &firstBytes, &second, &secondBytes), DS_OK);
  EXPECT_EQ(firstBytes, 3096u);
  EXPECT_EQ(secondBytes, 1000u);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(armed.ring.Unlock(first, firstBytes, second, secondBytes), DS_OK);

  // Without room for a second piece only the first is handed out.
  ASSERT_EQ(armed.ring.Lock(1000, 4096, &first, &firstBytes, nullptr, nullptr), DS_OK);
  EXPECT_EQ(firstBytes, 3096u);
  EXPECT_EQ(armed.ring.Unlock(first, firstBytes, nullptr, 0), DS_OK);
}

TEST(PulseCaptureRing, LockAndUnlockRefuseWhatDoesNotFit) {
  PulseCaptureRing ring(4096, 0);
  void* first = nullptr;
  void* second = nullptr;
  std::uint32_t firstBytes = 0;
  std::uint32_t secondBytes = 0;
  EXPECT_EQ(ring.Lock(4096, 1, &first, &firstBytes, &second, &secondBytes), DSERR_INVALIDPARAM);
  EXPECT_EQ(ring.Lock(0, 4097, &first, &firstBytes, &second, &secondBytes), DSERR_INVALIDPARAM);
  EXPECT_EQ(ring.Lock(0, 0, &first, &firstBytes, &second, &secondBytes), DSERR_INVALIDPARAM);
  EXPECT_EQ(ring.Lock(0, 16, nullptr, &firstBytes, &second, &secondBytes), DSERR_INVALIDPARAM);
  EXPECT_EQ(ring.Unlock(first, 16, nullptr, 0), DSERR_INVALIDCALL);  // nothing locked

  ASSERT_EQ(ring.Lock(4000, 200, &first, &firstBytes, &second, &secondBytes), DS_OK);
  void* other = nullptr;
  std::uint32_t otherBytes = 0;
  EXPECT_EQ(ring.Lock(0, 16, &other, &otherBytes, nullptr, nullptr), DSERR_INVALIDCALL);
  EXPECT_EQ(ring.Unlock(first, firstBytes, nullptr, 0), DSERR_INVALIDPARAM);  // half of it
  EXPECT_EQ(ring.Unlock(first, firstBytes, second, secondBytes), DS_OK);
  EXPECT_EQ(ring.Lock(0, 16, &other, &otherBytes, nullptr, nullptr), DS_OK);
}

// The ring as the program reads it while the server writes: frames hold a running counter, so
// a consistent copy from any offset is a run of consecutive counters with at most one break
// (where the writer stood), and that break goes back by exactly one ring.
TEST(PulseCaptureRing, CopiesAreConsistentWhileTheWriterRuns) {
  constexpr std::uint32_t kFrames = 1024;
  PulseCaptureRing ring(kFrames * 4, 0);
  ring.Start(true);
  std::atomic<bool> done{false};
  std::atomic<std::uint32_t> written{0};
  std::thread writer([&] {
    std::mt19937 random(7);
    std::uint32_t counter = 0;
    std::vector<std::uint32_t> chunk;
    while (!done.load()) {
      chunk.resize(1 + random() % 600);
      for (std::uint32_t& frame : chunk) {
        frame = counter++;
      }
      ring.Write(chunk.data(), chunk.size() * 4);
      written.store(counter);
    }
  });
  // Until the writer has filled the ring once, part of it is still the initial zeros.
  while (written.load() < kFrames) {
    std::this_thread::yield();
  }
  int badCopies = 0;
  for (int pass = 0; pass < 3000; ++pass) {
    const std::uint32_t offset = ring.WritePosition() & ~3u;
    void* first = nullptr;
    void* second = nullptr;
    std::uint32_t firstBytes = 0;
    std::uint32_t secondBytes = 0;
    ASSERT_EQ(ring.Lock(offset, kFrames * 4, &first, &firstBytes, &second, &secondBytes), DS_OK);
    std::vector<std::uint32_t> frames(kFrames);
    std::memcpy(frames.data(), first, firstBytes);
    if (secondBytes > 0) {  // a range that does not wrap comes as one piece, second null
      std::memcpy(reinterpret_cast<std::uint8_t*>(frames.data()) + firstBytes, second, secondBytes);
    }
    ASSERT_EQ(ring.Unlock(first, firstBytes, second, secondBytes), DS_OK);
    int breaks = 0;
    bool wellFormed = true;
    for (std::uint32_t i = 1; i < kFrames; ++i) {
      if (frames[i] != frames[i - 1] + 1) {
        ++breaks;
        wellFormed = wellFormed && frames[i] == frames[i - 1] + 1 - kFrames;
      }
    }
    if (breaks > 1 || !wellFormed) {
      ++badCopies;
    }
  }
  done.store(true);
  writer.join();
  EXPECT_EQ(badCopies, 0);
}

TEST(PulseCaptureDesc, OnlyPcmRingsOfOneOrTwoChannelsAndEightOrSixteenBitsAreTaken) {
  WaveFormatEx wave{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  CaptureBufferDesc desc{28, 0, 4096, 0, &wave};
  pa_sample_spec format{};
  ASSERT_EQ(PulseCaptureDevice::SampleFormatFor(desc, &format), DS_OK);
  EXPECT_EQ(format.format, PA_SAMPLE_S16LE);
  EXPECT_EQ(format.channels, 2);
  EXPECT_EQ(format.rate, 44100u);
  desc.dwSize = 36;
  EXPECT_EQ(PulseCaptureDevice::SampleFormatFor(desc, &format), DS_OK);

  WaveFormatEx mono8{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
  CaptureBufferDesc small{28, 0, 1, 0, &mono8};
  ASSERT_EQ(PulseCaptureDevice::SampleFormatFor(small, &format), DS_OK);
  EXPECT_EQ(format.format, PA_SAMPLE_U8);  // 8-bit PCM is unsigned
  EXPECT_EQ(format.channels, 1);

  auto check = [&](auto change) {
    WaveFormatEx f = wave;
    CaptureBufferDesc d{28, 0, 4096, 0, &f};
    change(d, f);
    return PulseCaptureDevice::SampleFormatFor(d, &format);
  };
  using D = CaptureBufferDesc;
  using F = WaveFormatEx;
  EXPECT_EQ(check([](D& d, F&) { d.dwSize = 20; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D& d, F&) { d.dwBufferBytes = 0; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D& d, F&) { d.dwBufferBytes = 0x10000000; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D& d, F&) { d.lpwfxFormat = nullptr; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D&, F& f) { f.wFormatTag = 3; }), DSERR_INVALIDPARAM);  // float
  EXPECT_EQ(check([](D&, F& f) { f.nChannels = 3, f.nBlockAlign = 6; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D&, F& f) { f.nChannels = 0, f.nBlockAlign = 0; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D&, F& f) { f.wBitsPerSample = 24, f.nBlockAlign = 6; }), DSERR_INVALIDPARAM);
  EXPECT_EQ(check([](D&, F& f) { f.nBlockAlign = 2; }), DSERR_INVALIDPARAM);
  // A rate the server cannot take is a format it refuses.
  EXPECT_EQ(check([](D&, F& f) { f.nSamplesPerSec = 0; }), DSERR_BADFORMAT);
  EXPECT_EQ(check([](D&, F& f) { f.nSamplesPerSec = 1000000; }), DSERR_BADFORMAT);
}

TEST(PulseCaptureDesc, FragmentsAreWholeFramesAndAtMostHalfTheRingOrTwentyMilliseconds) {
  struct Case {
    pa_sample_spec format;
    std::uint32_t ring;
  };
  const Case cases[] = {
      {{PA_SAMPLE_S16LE, 44100, 2}, 4096},    {{PA_SAMPLE_S16LE, 44100, 2}, 176400},
      {{PA_SAMPLE_S16LE, 48000, 1}, 4098},    {{PA_SAMPLE_U8, 8000, 1}, 100},
      {{PA_SAMPLE_S16LE, 96000, 2}, 1 << 20},
  };
  for (const Case& c : cases) {
    const std::uint32_t frame = 2 * c.format.channels / (c.format.format == PA_SAMPLE_U8 ? 2 : 1);
    const double longest = c.format.rate * 0.020 * frame;
    const std::uint32_t fragment = PulseCaptureBuffer::FragmentFor(c.ring, c.format);
    SCOPED_TRACE(std::to_string(c.ring) + " bytes at " + std::to_string(c.format.rate));
    EXPECT_EQ(fragment % frame, 0u);
    EXPECT_GE(fragment, frame);
    const std::uint32_t half = c.ring / 2;  // whole bytes
    EXPECT_LE(fragment, half);
    EXPECT_LE(fragment, longest);
    // Not needlessly small either: within one frame of the smaller bound.
    EXPECT_GT(fragment + frame, std::min<double>(half, longest));
  }
  // A ring smaller than two frames still gets whole frames.
  EXPECT_EQ(PulseCaptureBuffer::FragmentFor(6, {PA_SAMPLE_S16LE, 44100, 2}), 4u);
}

}  // namespace
}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The capture buffer over the scripted platform: opening, the ring's format and arming, each
// failing step, the ring copy, and the notification thread's calls and its end.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include "ComponentFixture.h"
#include "capture/sound/ACAPCapture.h"

namespace sonavik::testing {
namespace {

using namespace std::chrono_literals;
using Kind = FakeSound::Kind;
using Step = FakeSound::Step;
using Clock = std::chrono::steady_clock;

// Ring contents in which every 16-bit word is distinct, so a piece out of place shows.
std::vector<std::uint8_t> Pattern(std::size_t bytes) {
  std::vector<std::uint8_t> v(bytes);
  for (std::size_t i = 0; i < bytes; ++i) {
    const auto word = static_cast<std::uint16_t>(i / 2 * 7 + 1);
    v[i] = static_cast<std::uint8_t>(i % 2 == 0 ? word & 0xFF : word >> 8);
  }
  return v;
}

class CaptureTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    acap_.SetDebugOption(dsoDebugMessage);
    RecordMessagesOf(acap_);
  }
  TACAP acap_{fake_};
};

// Handler calls seen on the notification thread.
class Recorder {
 public:
  struct Call {
    TACAPCapture* sender;
    std::uint32_t offset;
    std::uint32_t length;
    std::thread::id thread;
  };
  TACAPCaptureNotifyEvent Handler() {
    return [this](TACAPCapture& sender, std::uint32_t offset, std::uint32_t length) {
      std::lock_guard lock(mutex_);
      calls_.push_back({&sender, offset, length, std::this_thread::get_id()});
      changed_.notify_all();
    };
  }
  bool WaitFor(std::size_t n, std::chrono::milliseconds limit = 2000ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return calls_.size() >= n; });
  }
  std::vector<Call> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Call> calls_;
};

TEST_F(CaptureTest, OpenFailureShowsTheBareCodeAndLeavesAnInertObject) {
  fake_.SetDevices({{"usb-mic", "USB Mic", ""}});
  fake_.FailOpen("usb-mic", 0x88780078);
  const std::string id = "usb-mic";
  {
    TACAPCapture capture(acap_, &id);
    EXPECT_FALSE(capture.Ready());
    EXPECT_EQ(Messages(), std::vector<std::string>{"88780078"});

    fake_.ClearCalls();
    capture.CreateBuffer(44100, 16, true, 4096);
    capture.Start();
    capture.Stop();
    EXPECT_EQ(capture.GetStatus(), 0u);
    EXPECT_EQ(capture.GetReadPosition(), 0u);
    std::vector<std::uint8_t> dest(64, 0xA5);
    capture.ReadBlock(0, dest.data(), 64);
    EXPECT_EQ(dest, std::vector<std::uint8_t>(64, 0xA5));
    EXPECT_EQ(capture.NotifyThread(), nullptr);
  }
  // Nothing was called on the platform, nothing released.
  EXPECT_TRUE(fake_.Calls().empty());
  EXPECT_TRUE(fake_.Errors().empty());
  EXPECT_FALSE(LogExists());
}

TEST_F(CaptureTest, OpenFailureCodesArePaddedToSixUppercaseDigits) {
  // Each capture is opened and closed again at once.
  const auto openCapture = [this](const std::string* device) {
    TACAPCapture capture(acap_, device);
  };
  fake_.FailOpen(std::nullopt, 0x5);
  openCapture(nullptr);
  fake_.FailOpen(std::nullopt, 0xabcde);
  openCapture(nullptr);
  // A device that is not there at all.
  const std::string missing = "no-such-source";
  openCapture(&missing);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"000005", "0ABCDE", "88780078"}));
  EXPECT_EQ(fake_.LiveObjects(), 0u);
}

TEST_F(CaptureTest, OpensTheDefaultOrTheNamedDevice) {
  fake_.SetDevices({{"usb-mic", "USB Mic", ""}});
  const std::string id = "usb-mic";
  {
    TACAPCapture byDefault(acap_, nullptr);
    TACAPCapture named(acap_, &id);
    EXPECT_TRUE(byDefault.Ready());
    EXPECT_TRUE(named.Ready());
    EXPECT_EQ(&named.SoundComponent(), &acap_);
  }
  EXPECT_EQ(fake_.Calls(),
            (std::vector<std::string>{"CaptureCreate(default)", "CaptureCreate(usb-mic)",
                                      "CaptureDevice.Release=0", "CaptureDevice.Release=0"}));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CaptureTest, ProgramFormatGivesFourByteFramesAndHalfRingNotifications) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);

  const auto seen = fake_.LastCaptureDesc();
  ASSERT_TRUE(seen && seen->format);
  EXPECT_EQ(seen->desc.dwSize, 28u);
  EXPECT_EQ(seen->desc.dwFlags, 0u);
  EXPECT_EQ(seen->desc.dwBufferBytes, 4096u);
  const WaveFormatEx& f = *seen->format;
  EXPECT_EQ(f.wFormatTag, 1);
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nSamplesPerSec, 44100u);
  EXPECT_EQ(f.nBlockAlign, 4);            // two 16-bit samples
  EXPECT_EQ(f.nAvgBytesPerSec, 176400u);  // 44100 frames of 4 bytes
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.cbSize, 0);
  EXPECT_EQ(capture.BufferBytes(), 4096u);
  EXPECT_EQ(capture.HalfBytes(), 2048u);

  const auto positions = fake_.NotificationPositions();
  ASSERT_EQ(positions.size(), 3u);
  EXPECT_EQ(positions[0].dwOffset, 0u);
  EXPECT_EQ(positions[1].dwOffset, 2048u);
  EXPECT_EQ(positions[2].dwOffset, DSBPN_OFFSETSTOP);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(positions[i].hEventNotify);
    EXPECT_EQ(positions[i].hEventNotify, capture.NotifyEvents()[i]);
  }
  EXPECT_NE(positions[0].hEventNotify, positions[1].hEventNotify);
  EXPECT_NE(positions[1].hEventNotify, positions[2].hEventNotify);

  // Armed and waiting, but not capturing; the notify interface was only borrowed.
  EXPECT_NE(capture.NotifyThread(), nullptr);
  EXPECT_EQ(fake_.CallCount("CaptureBuffer.Start(1)"), 0u);
  EXPECT_EQ(capture.GetStatus(), 0u);
  EXPECT_EQ(fake_.LiveObjects(Kind::Notify), 0u);
  EXPECT_EQ(fake_.CreatedObjects(Kind::Notify), 1u);
  EXPECT_FALSE(LogExists());
}

TEST_F(CaptureTest, OtherFormatsAndOddRingSizes) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(22050, 16, false, 4097);
  auto f = fake_.LastCaptureDesc().value().format.value();
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.nBlockAlign, 2);
  EXPECT_EQ(f.nAvgBytesPerSec, 44100u);
  EXPECT_EQ(capture.HalfBytes(), 2048u);  // (4097 - 1) / 2
  EXPECT_EQ(fake_.NotificationPositions()[1].dwOffset, 2048u);

  capture.CreateBuffer(48000, 24, true, 6000);
  f = fake_.LastCaptureDesc().value().format.value();
  EXPECT_EQ(f.nBlockAlign, 6);
  EXPECT_EQ(f.nAvgBytesPerSec, 288000u);
  EXPECT_EQ(f.wBitsPerSample, 24);

  capture.CreateBuffer(8000, 8, true, 1000);
  f = fake_.LastCaptureDesc().value().format.value();
  EXPECT_EQ(f.nBlockAlign, 2);
  EXPECT_EQ(f.nAvgBytesPerSec, 16000u);
  EXPECT_EQ(capture.HalfBytes(), 500u);
}

TEST_F(CaptureTest, FailedBufferCreationIsReportedAndLeavesNothingArmed) {
  fake_.Fail(Step::CreateCaptureBuffer, DSERR_BADFORMAT);
  {
    TACAPCapture capture(acap_, nullptr);
    capture.CreateBuffer(44100, 16, true, 4096);
    EXPECT_EQ(capture.NotifyThread(), nullptr);
    capture.Start();
    EXPECT_EQ(capture.GetStatus(), 0u);
    std::vector<std::uint8_t> dest(16, 0x11);
    capture.ReadBlock(0, dest.data(), 16);
    EXPECT_EQ(dest, std::vector<std::uint8_t>(16, 0x11));
    fake_.ClearCalls();
  }
  EXPECT_EQ(fake_.Calls(), (std::vector<std::string>{"CaptureDevice.Release=0"}));
  EXPECT_EQ(Log(),
            "debug#00001 ... DirectSoundCaptureBufferオブジェクトの生成に失敗しました。(Error "
            "Code(88780064))\r\n");
  EXPECT_TRUE(fake_.Errors().empty());
}

TEST_F(CaptureTest, NotifyFailuresAreReportedAndCaptureStillWorks) {
  fake_.Fail(Step::QueryNotify, E_NOINTERFACE_);
  {
    TACAPCapture capture(acap_, nullptr);
    capture.CreateBuffer(44100, 16, true, 4096);
    EXPECT_EQ(fake_.CallCount("Notify.SetNotificationPositions"), 0u);
    capture.Start();
    EXPECT_EQ(capture.GetStatus() & DSCBSTATUS_CAPTURING, DSCBSTATUS_CAPTURING);
  }
  fake_.ClearFailures();
  fake_.Fail(Step::SetNotificationPositions, DSERR_INVALIDPARAM);
  {
    TACAPCapture capture(acap_, nullptr);
    capture.CreateBuffer(44100, 16, true, 4096);
    EXPECT_EQ(fake_.LiveObjects(Kind::Notify), 0u);
  }
  EXPECT_EQ(Log(),
            "debug#00001 ... DirectSoundNotifyオブジェクトの作成に失敗しました(Error "
            "Code(80004002))\r\n"
            "debug#00002 ... NotifyPositionの設定に失敗しました(Error Code(80070057))\r\n");
  EXPECT_EQ(fake_.LiveObjects(), 0u);
  EXPECT_TRUE(fake_.Errors().empty());
}

TEST_F(CaptureTest, RaisedFailureInArmingGivesTheNotifyInterfaceBack) {
  acap_.SetDebugOption(dsoExceptOnError);
  fake_.Fail(Step::SetNotificationPositions, DSERR_INVALIDPARAM);
  {
    TACAPCapture capture(acap_, nullptr);
    try {
      capture.CreateBuffer(44100, 16, true, 4096);
      FAIL() << "no EACAP";
    } catch (const EACAP& e) {
      EXPECT_STREQ(e.what(), "NotifyPositionの設定に失敗しました(Error Code(80070057))");
    }
    EXPECT_EQ(fake_.LiveObjects(Kind::Notify), 0u);
  }
  EXPECT_EQ(fake_.LiveObjects(), 0u);
}

TEST_F(CaptureTest, StartOnlyFromRestAndStopAllowsAResume) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  capture.Start();
  EXPECT_EQ(capture.GetStatus(), DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING);
  capture.Start();  // already capturing: nothing is called
  EXPECT_EQ(fake_.CallCount("CaptureBuffer.Start(1)"), 1u);
  capture.Stop();
  EXPECT_EQ(capture.GetStatus(), 0u);
  capture.Start();
  EXPECT_EQ(fake_.CallCount("CaptureBuffer.Start(1)"), 2u);
  EXPECT_EQ(fake_.CallCount("CaptureBuffer.Stop"), 1u);
  // The device goes away: the status says so.
  fake_.Vanish();
  EXPECT_EQ(capture.GetStatus(), 0u);
}

TEST_F(CaptureTest, ReadPositionAndStatusFollowThePlatformAndAFailedQueryGivesZero) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  fake_.SetReadPosition(1234);
  fake_.SetCapturePosition(3000);
  EXPECT_EQ(capture.GetReadPosition(), 1234u);
  fake_.SetStatus(DSCBSTATUS_CAPTURING);
  EXPECT_EQ(capture.GetStatus(), DSCBSTATUS_CAPTURING);
  fake_.Fail(Step::GetCurrentPosition, DSERR_NODRIVER);
  fake_.Fail(Step::GetStatus, DSERR_NODRIVER);
  EXPECT_EQ(capture.GetReadPosition(), 0u);
  EXPECT_EQ(capture.GetStatus(), 0u);
  EXPECT_FALSE(LogExists());  // neither result is examined
}

TEST_F(CaptureTest, ReadBlockCopiesTheRangeWrappingAtTheRingsEnd) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  const auto ring = Pattern(4096);
  fake_.WriteRing(0, ring.data(), ring.size());

  std::vector<std::uint8_t> whole(4096);
  capture.ReadBlock(1000, whole.data(), 4096);
  std::vector<std::uint8_t> expected(ring.begin() + 1000, ring.end());
  expected.insert(expected.end(), ring.begin(), ring.begin() + 1000);
  EXPECT_EQ(whole, expected);
  EXPECT_EQ(fake_.LastLock().value().flags, 0u);

  capture.ReadBlock(0, whole.data(), 4096);
  EXPECT_EQ(whole, ring);

  // A range inside the ring: one piece, and not a byte more.
  std::vector<std::uint8_t> part(600, 0xEE);
  capture.ReadBlock(100, part.data(), 500);
  EXPECT_TRUE(std::equal(part.begin(), part.begin() + 500, ring.begin() + 100));
  EXPECT_EQ(std::count(part.begin() + 500, part.end(), 0xEE), 100);

  // Ending exactly at the ring's end, and a short wrapped range.
  capture.ReadBlock(3596, part.data(), 500);
  EXPECT_TRUE(std::equal(part.begin(), part.begin() + 500, ring.begin() + 3596));
  capture.ReadBlock(4000, part.data(), 200);
  EXPECT_TRUE(std::equal(part.begin(), part.begin() + 96, ring.begin() + 4000));
  EXPECT_TRUE(std::equal(part.begin() + 96, part.begin() + 200, ring.begin()));

  EXPECT_EQ(fake_.CallCount("CaptureBuffer.Unlock"), 5u);
  EXPECT_TRUE(fake_.Errors().empty());  // each Unlock gave back what its Lock handed out
}

TEST_F(CaptureTest, FailedLockCopiesAndUnlocksNothing) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  const auto ring = Pattern(4096);
  fake_.WriteRing(0, ring.data(), ring.size());
  fake_.Fail(Step::Lock, DSERR_INVALIDCALL);
  std::vector<std::uint8_t> dest(4096, 0x3C);
  capture.ReadBlock(1000, dest.data(), 4096);
  EXPECT_EQ(dest, std::vector<std::uint8_t>(4096, 0x3C));
  acap_.SetDebugOption(dsoDebugMessage | dsoExceptOnError);
  EXPECT_THROW(capture.ReadBlock(0, dest.data(), 4096), EACAP);
  EXPECT_EQ(fake_.CallCount("CaptureBuffer.Unlock"), 0u);
  EXPECT_EQ(Log(),
            "debug#00001 ... DirectSoundCaptureBufferのロックに失敗しました(Error "
            "Code(88780032))\r\n"
            "debug#00002 ... DirectSoundCaptureBufferのロックに失敗しました(Error "
            "Code(88780032))\r\n");
  EXPECT_TRUE(fake_.Errors().empty());
}

TEST_F(CaptureTest, FailedLockEndsTheProgramWithTheMainWindowsOptions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a notification thread is running
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  acap_.SetDebugOption(dsoHaltOnError);
  fake_.Fail(Step::Lock, DSERR_INVALIDCALL);
  std::vector<std::uint8_t> dest(4096);
  EXPECT_EXIT(capture.ReadBlock(0, dest.data(), 4096), ::testing::ExitedWithCode(1),
              "Error Code\\(88780032\\)");
}

TEST_F(CaptureTest, HandlerGetsTheHalfJustFilled) {
  Recorder rec;
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  capture.SetOnCaptureNotify(rec.Handler());
  capture.Start();
  const auto block = Pattern(2048);
  // The writer moves from 0 to 2048: the lower half is complete.
  fake_.Capture(block.data(), block.size());
  ASSERT_TRUE(rec.WaitFor(1));
  // ... then wraps to 0: the upper half is.
  fake_.Capture(block.data(), block.size());
  ASSERT_TRUE(rec.WaitFor(2));
  // A whole ring in one write completes both halves at once: each is announced once, the
  // upper one first, as events signalled together are taken.
  const auto ring = Pattern(4096);
  fake_.Capture(ring.data(), ring.size());
  ASSERT_TRUE(rec.WaitFor(4));
  const auto calls = rec.Calls();
  ASSERT_EQ(calls.size(), 4u);
  const std::uint32_t offsets[] = {0, 2048, 2048, 0};
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].offset, offsets[i]) << "call " << i;
    EXPECT_EQ(calls[i].length, 2048u) << "call " << i;
  }
  EXPECT_EQ(calls[0].sender, &capture);
  EXPECT_NE(calls[0].thread, std::this_thread::get_id());
}

TEST_F(CaptureTest, OddRingUpperHalfStartsAfterTheLowerOne) {
  Recorder rec;
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4097);
  capture.SetOnCaptureNotify(rec.Handler());
  ASSERT_TRUE(fake_.FireNotify(0));
  ASSERT_TRUE(rec.WaitFor(1));
  ASSERT_TRUE(fake_.FireNotify(1));
  ASSERT_TRUE(rec.WaitFor(2));
  const auto calls = rec.Calls();
  EXPECT_EQ(calls[0].offset, 2049u);  // 4097 - 2048
  EXPECT_EQ(calls[0].length, 2048u);
  EXPECT_EQ(calls[1].offset, 0u);
  EXPECT_EQ(calls[1].length, 2048u);
}

TEST_F(CaptureTest, NotificationsWithoutHandlerAndTheStopEventCallNothing) {
  Recorder rec;
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  capture.Start();
  fake_.FireNotify(0);  // no handler yet: consumed, not kept for later
  std::this_thread::sleep_for(250ms);
  capture.SetOnCaptureNotify(rec.Handler());
  capture.Stop();  // the platform signals the stop event
  std::this_thread::sleep_for(250ms);
  EXPECT_TRUE(rec.Calls().empty());
  // The stop signal was taken by the thread (an untaken one would still be pending here).
  EXPECT_FALSE(capture.NotifyEvents()[2]->TryConsume());
  // The thread is still serving.
  fake_.FireNotify(1);
  ASSERT_TRUE(rec.WaitFor(1));
  std::this_thread::sleep_for(150ms);
  const auto calls = rec.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].offset, 0u);
}

TEST_F(CaptureTest, ThrowingHandlerDoesNotEndTheService) {
  std::atomic<int> calls{0};
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  capture.SetOnCaptureNotify([&](TACAPCapture&, std::uint32_t, std::uint32_t) {
    if (++calls == 1) {
      throw std::runtime_error("handler failed");
    }
  });
  fake_.FireNotify(0);
  const auto deadline = Clock::now() + 2s;
  while (calls < 1 && Clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  fake_.FireNotify(1);
  while (calls < 2 && Clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(calls, 2);
}

TEST_F(CaptureTest, TerminationRequestIsNoticedWithinAWait) {
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  std::this_thread::sleep_for(30ms);  // let the thread reach its wait
  const auto t0 = Clock::now();
  capture.NotifyThread()->Terminate();
  capture.NotifyThread()->WaitFor();
  const auto waited = Clock::now() - t0;
  EXPECT_LT(waited, 1000ms) << "the wait is 100 ms";  // generous: a loaded machine
}

TEST_F(CaptureTest, DestructionEndsAWaitingThreadSoonAndItNeverCallsBack) {
  Recorder rec;
  auto capture = std::make_unique<TACAPCapture>(acap_, nullptr);
  capture->CreateBuffer(44100, 16, true, 4096);
  capture->SetOnCaptureNotify(rec.Handler());
  capture->Start();
  const EventHandle lower = capture->NotifyEvents()[1];
  std::this_thread::sleep_for(30ms);
  fake_.ClearCalls();
  const auto t0 = Clock::now();
  capture.reset();
  const auto took = Clock::now() - t0;
  EXPECT_LT(took, 1000ms);  // generous: a loaded machine
  // Thread first (it calls nothing on the platform), then buffer, then device.
  const auto calls = fake_.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "CaptureBuffer.Release=0");
  EXPECT_EQ(calls[1], "CaptureDevice.Release=0");
  // A late signal on an event the object had reaches no one.
  lower->Set();
  std::this_thread::sleep_for(150ms);
  EXPECT_TRUE(rec.Calls().empty());
  EXPECT_EQ(fake_.LiveObjects(), 0u);
}

TEST_F(CaptureTest, DestructionWaitsForARunningHandler) {
  std::atomic<bool> inHandler{false};
  std::atomic<bool> handlerDone{false};
  auto capture = std::make_unique<TACAPCapture>(acap_, nullptr);
  capture->CreateBuffer(44100, 16, true, 4096);
  capture->SetOnCaptureNotify([&](TACAPCapture& sender, std::uint32_t, std::uint32_t) {
    inHandler = true;
    std::this_thread::sleep_for(80ms);
    // The object is still whole while its handler runs.
    EXPECT_EQ(sender.BufferBytes(), 4096u);
    handlerDone = true;
  });
  fake_.FireNotify(0);
  while (!inHandler) {
    std::this_thread::yield();
  }
  capture.reset();
  EXPECT_TRUE(handlerDone);
}

TEST_F(CaptureTest, SecondBufferReplacesThreadAndEvents) {
  Recorder rec;
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  capture.SetOnCaptureNotify(rec.Handler());
  const auto oldEvents = capture.NotifyEvents();
  fake_.ClearCalls();
  capture.CreateBuffer(44100, 16, true, 8192);
  const auto calls = fake_.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "CaptureBuffer.Release=0");
  EXPECT_EQ(calls[1], "CaptureDevice.CreateCaptureBuffer");
  EXPECT_NE(capture.NotifyThread(), nullptr);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NE(capture.NotifyEvents()[i], oldEvents[i]);
  }
  // The old events lead nowhere; the new ones carry the new ring's halves.
  oldEvents[0]->Set();
  std::this_thread::sleep_for(150ms);
  EXPECT_TRUE(rec.Calls().empty());
  fake_.FireNotify(0);
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.Calls()[0].offset, 4096u);
  EXPECT_EQ(rec.Calls()[0].length, 4096u);
}

TEST_F(CaptureTest, HandlerReplacedWhileNotificationsArrive) {
  Recorder last;  // outlives the capture, whose thread may still be calling it
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  std::atomic<int> a{0};
  std::atomic<int> b{0};
  std::atomic<bool> feeding{true};
  std::thread feeder([&] {
    for (std::size_t i = 0; feeding; ++i) {
      fake_.FireNotify(i % 2);
      std::this_thread::sleep_for(200us);
    }
  });
  for (int i = 0; i < 300; ++i) {
    capture.SetOnCaptureNotify([&](TACAPCapture&, std::uint32_t, std::uint32_t) { ++a; });
    std::this_thread::sleep_for(300us);
    capture.SetOnCaptureNotify(nullptr);
    capture.SetOnCaptureNotify([&](TACAPCapture&, std::uint32_t, std::uint32_t) { ++b; });
    std::this_thread::sleep_for(300us);
  }
  capture.SetOnCaptureNotify(last.Handler());
  const int aThen = a;
  ASSERT_TRUE(last.WaitFor(5));
  feeding = false;
  feeder.join();
  // Both handlers were reached, and once replaced, the old one was not called again.
  EXPECT_GT(aThen, 0);
  EXPECT_GT(b.load(), 0);
  EXPECT_EQ(a.load(), aThen);
}

TEST_F(CaptureTest, ReplacingAHandlerWaitsForItsRunningCallExceptFromInsideIt) {
  Recorder next;
  TACAPCapture capture(acap_, nullptr);
  capture.CreateBuffer(44100, 16, true, 4096);
  // What the slow handler uses is plain memory, destroyed as soon as the handler is replaced:
  // a call still running then would be a use after free and a data race.
  struct Used {
    std::atomic<bool> entered{false};
    bool finished = false;
  };
  auto used = std::make_unique<Used>();
  capture.SetOnCaptureNotify([u = used.get()](TACAPCapture&, std::uint32_t, std::uint32_t) {
    u->entered = true;
    std::this_thread::sleep_for(100ms);
    u->finished = true;
  });
  fake_.FireNotify(0);
  const auto deadline = Clock::now() + 2s;
  while (!used->entered && Clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(used->entered);
  capture.SetOnCaptureNotify(nullptr);
  EXPECT_TRUE(used->finished);
  used.reset();

  // A handler that hands over to another from inside its own call does not wait for itself.
  std::atomic<int> handovers{0};
  capture.SetOnCaptureNotify([&](TACAPCapture& sender, std::uint32_t, std::uint32_t) {
    ++handovers;
    sender.SetOnCaptureNotify(next.Handler());
  });
  fake_.FireNotify(1);
  fake_.FireNotify(0);
  ASSERT_TRUE(next.WaitFor(1));
  EXPECT_EQ(handovers, 1);
}

}  // namespace
}  // namespace sonavik::testing

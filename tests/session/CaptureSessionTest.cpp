// SPDX-License-Identifier: MIT
// The sound session without a window, on the scripted platform: the device list it shows, the
// capture it runs on the chosen device, the quiet reopening of a device that comes back, the
// retries of a device that will not open and of a server that went away, and what it reports.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"
#include "session/CaptureSession.h"
#include "support/FakeSound.h"

namespace sonavik::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A window's list as the session's edits leave it.
class ListView final : public CaptureSessionView {
 public:
  void InsertDevice(int index, const DeviceItem& item) override {
    items.insert(items.begin() + index, item);
    if (chosen >= index) {
      ++chosen;
    }
  }
  void RemoveDevice(int index) override {
    ASSERT_NE(index, chosen) << "the chosen item is never taken out";
    items.erase(items.begin() + index);
    if (chosen > index) {
      --chosen;
    }
  }
  void ChooseDevice(int index) override { chosen = index; }
  void ReportError(const std::exception_ptr& error) override { errors.push_back(error); }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    texts.reserve(items.size());
    for (const DeviceItem& item : items) {
      texts.push_back(item.text);
    }
    return texts;
  }

  std::vector<DeviceItem> items;
  int chosen = -1;
  std::vector<std::exception_ptr> errors;
};

class Session : public testing::Test {
 protected:
  void SetUp() override {
    fake.SetDevices({{"usb-mic", "USB Mic", "usb"}, {"line-in", "ライン入力", "hda"}});
    ASSERT_EQ(fake.Initialize(), DS_OK);
    component.SetOnMessage([this](const std::string& text) { messages.push_back(text); });
    // As the meter runs: any failing step it does not expect ends the program.
    component.SetDebugOption(dsoHaltOnError);
  }
  void TearDown() override {
    session.reset();
    fake.Uninitialize();
    EXPECT_TRUE(fake.Errors().empty()) << fake.Errors().front();
    EXPECT_TRUE(view.errors.empty());
  }

  void Start() {
    session =
        std::make_unique<CaptureSession>(component, view, CaptureFormat{44100, 16, true, 4096},
                                         [this](TACAPCapture&, std::uint32_t, std::uint32_t) {});
    session->Start();
    Settle();
  }

  // Runs the window thread's queue until done() holds, or fails after the limit.
  static bool Eventually(const std::function<bool()>& done,
                         milliseconds limit = milliseconds(5000)) {
    const auto end = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() > end) {
        return false;
      }
      QCoreApplication::processEvents();
      QThread::msleep(2);
    }
    return true;
  }
  // Until the session's answers from its worker have all been handled.
  void Settle() {
    ASSERT_TRUE(Eventually([this] { return session->Idle(); }));
  }
  // The server tells of a change; the session has acted on it when this returns.
  void DeliverChange() {
    fake.NotifyChange();
    Settle();
  }
  // The user picks in the window's list, which hands the pick on.
  void Pick(int index) {
    view.chosen = index;
    session->Pick(index);
    Settle();
  }
  bool Capturing() const { return session->Capturing(); }
  std::string ChosenText() const {
    return view.items.at(static_cast<std::size_t>(view.chosen)).text;
  }

  FakeSound fake;
  ScopedSoundPlatform use{fake};
  TACAP component;
  ListView view;
  std::vector<std::string> messages;
  std::unique_ptr<CaptureSession> session;
};

TEST_F(Session, DefaultDeviceFirstWithoutIdOthersWithTheirIdsAndTheDefaultCaptures) {
  Start();
  ASSERT_EQ(view.items.size(), 3u);
  EXPECT_EQ(view.items[0], (DeviceItem{"Default Device", std::nullopt}));
  EXPECT_EQ(view.items[1], (DeviceItem{"USB Mic", "usb-mic"}));
  EXPECT_EQ(view.items[2], (DeviceItem{"ライン入力", "line-in"}));
  EXPECT_EQ(view.chosen, 0);
  EXPECT_EQ(session->Devices(), view.items);
  EXPECT_EQ(fake.CallCount("CaptureCreate(default)"), 1u);
  ASSERT_NE(session->Capture(), nullptr);
  EXPECT_TRUE(Capturing());
  const auto desc = fake.LastCaptureDesc();
  ASSERT_TRUE(desc.has_value());
  EXPECT_EQ(desc->desc.dwBufferBytes, 4096u);
  ASSERT_TRUE(desc->format.has_value());
  EXPECT_EQ(desc->format->nSamplesPerSec, 44100u);
  EXPECT_EQ(desc->format->nChannels, 2u);
  EXPECT_EQ(desc->format->wBitsPerSample, 16u);
}

TEST_F(Session, APickReopensCaptureOnThatDeviceAfterLettingTheOldOneGo) {
  Start();
  Pick(2);
  EXPECT_EQ(fake.CallCount("CaptureCreate(line-in)"), 1u);
  EXPECT_TRUE(Capturing());
  EXPECT_EQ(fake.LiveObjects(FakeSound::Kind::CaptureBuffer), 1u);
  EXPECT_EQ(session->Chosen(), 2);

  Pick(0);
  EXPECT_EQ(fake.CallCount("CaptureCreate(default)"), 2u);
  EXPECT_EQ(fake.LiveObjects(FakeSound::Kind::CaptureBuffer), 1u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Session, ADeviceThatFailsShowsItsCodeAndLeavesAnInertCapture) {
  struct {
    const char* name;
    std::function<void(FakeSound&)> script;
  } cases[] = {
      {"will not open", [](FakeSound& f) { f.FailOpen(std::string("usb-mic"), DSERR_ALLOCATED); }},
      // There when opened, gone when its ring is made: the program, which halts on any other
      // failing step, goes on.
      {"unplugged while its ring is made",
       [](FakeSound& f) { f.Fail(FakeSound::Step::CreateCaptureBuffer, DSERR_NODRIVER); }},
  };
  const char* codes[] = {"8878000A", "88780078"};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    Start();
    messages.clear();
    cases[i].script(fake);
    Pick(1);
    ASSERT_NE(session->Capture(), nullptr);
    EXPECT_EQ(session->Capture()->GetStatus(), 0u);
    EXPECT_FALSE(Capturing());
    EXPECT_EQ(messages, std::vector<std::string>{codes[i]});
    EXPECT_EQ(fake.LiveObjects(FakeSound::Kind::CaptureDevice), 0u);
    session.reset();
    fake.ClearFailures();
  }
}

TEST_F(Session, ALaterPickSupersedesAnOpenUnderWayWhichShowsNothing) {
  Start();
  fake.FailOpen(std::string("usb-mic"), DSERR_ALLOCATED);
  // Both picks before any answer is handled: the first one's failure is never shown.
  view.chosen = 1;
  session->Pick(1);
  view.chosen = 2;
  session->Pick(2);
  Settle();
  EXPECT_TRUE(Capturing());
  EXPECT_EQ(fake.CallCount("CaptureCreate(line-in)"), 1u);
  EXPECT_EQ(fake.LiveObjects(FakeSound::Kind::CaptureBuffer), 1u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Session, EndingTheSessionStopsAndReleasesCapture) {
  Start();
  fake.ClearCalls();
  session.reset();
  EXPECT_EQ(fake.LiveObjects(FakeSound::Kind::CaptureBuffer), 0u);
  EXPECT_EQ(fake.LiveObjects(FakeSound::Kind::CaptureDevice), 0u);
  EXPECT_GE(fake.CallCount("CaptureBuffer.Stop"), 1u);
}

TEST_F(Session, TheListFollowsTheServerAndTheChosenDeviceReopensQuietlyWhenBack) {
  Start();
  Pick(1);  // USB Mic

  // A device comes, another goes; the choice stays put.
  fake.SetDevices({{"usb-mic", "USB Mic", "usb"}, {"hdmi", "HDMI", "hda"}});
  DeliverChange();
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Default Device", "USB Mic", "HDMI"}));
  EXPECT_EQ(ChosenText(), "USB Mic");
  EXPECT_EQ(view.items[2].id, "hdmi");

  // The chosen device is unplugged: its item stays chosen, capture has ended.
  fake.Vanish();
  fake.SetDevices({{"hdmi", "HDMI", "hda"}});
  fake.FailOpen(std::string("usb-mic"), DSERR_NODRIVER);
  DeliverChange();
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Default Device", "USB Mic", "HDMI"}));
  EXPECT_EQ(ChosenText(), "USB Mic");
  EXPECT_FALSE(Capturing());
  EXPECT_EQ(fake.CallCount("CaptureCreate(usb-mic)"), 1u);  // not tried while it is away

  // ... and plugged back: reopened by itself, without a word to the user.
  fake.ClearFailures();
  fake.SetDevices({{"hdmi", "HDMI", "hda"}, {"usb-mic", "USB Mic", "usb"}});
  DeliverChange();
  EXPECT_EQ(fake.CallCount("CaptureCreate(usb-mic)"), 2u);
  EXPECT_TRUE(Capturing());
  EXPECT_EQ(ChosenText(), "USB Mic");
  EXPECT_EQ(view.items, session->Devices());
  EXPECT_TRUE(messages.empty());

  // The server goes away altogether, then answers again.
  fake.Fail(FakeSound::Step::EnumerateCapture, DSERR_NODRIVER);
  DeliverChange();
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"USB Mic"}));
  fake.ClearFailures();
  DeliverChange();
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Default Device", "HDMI", "USB Mic"}));
  EXPECT_EQ(ChosenText(), "USB Mic");
}

TEST_F(Session, ABurstOfChangesIsOneLookAtTheServer) {
  Start();
  fake.ClearCalls();
  for (int i = 0; i < 20; ++i) {
    fake.NotifyChange();
  }
  ASSERT_TRUE(Eventually([this] { return session->Idle(); }));
  EXPECT_EQ(fake.CallCount("EnumerateCapture"), 1u);
}

TEST_F(Session, AListedDeviceThatWillNotOpenIsRetriedQuietlyAfterAPause) {
  Start();
  Pick(1);
  fake.Vanish();
  fake.FailOpen(std::string("usb-mic"), DSERR_ALLOCATED);
  DeliverChange();  // listed, so reopened at once: it fails
  EXPECT_FALSE(Capturing());
  const std::size_t tries = fake.CallCount("CaptureCreate(usb-mic)");
  fake.ClearFailures();
  // No further change from the server: the pause alone brings it back.
  const auto begun = Clock::now();
  EXPECT_TRUE(Eventually([this] { return Capturing(); }));
  EXPECT_GE(Clock::now() - begun, CaptureSession::kReopenPause / 2);
  EXPECT_EQ(fake.CallCount("CaptureCreate(usb-mic)"), tries + 1);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Session, AServerThatWentAwayIsTriedAgainUntilItAnswers) {
  Start();
  // The server is gone: listing fails, and so does every try to reach it.
  fake.Vanish();
  fake.Fail(FakeSound::Step::EnumerateCapture, DSERR_NODRIVER);
  fake.Fail(FakeSound::Step::Initialize, DSERR_NODRIVER);
  fake.FailOpen(std::nullopt, DSERR_NODRIVER);
  DeliverChange();
  EXPECT_EQ(fake.CallCount("Reconnect"), 0u);  // the first try waits its pause
  EXPECT_TRUE(Eventually([this] { return fake.CallCount("Reconnect") >= 2; }));
  EXPECT_FALSE(Capturing());

  // It answers again: the list comes back and the default device meters, quietly.
  fake.ClearFailures();
  EXPECT_TRUE(Eventually([this] { return Capturing(); }));
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Default Device", "USB Mic", "ライン入力"}));
  EXPECT_EQ(view.chosen, 0);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Session, ExchangesThatThrowAreReportedAndTheSessionStillFollowsTheServer) {
  Start();
  // Each throws once, as a platform out of memory would; each failure reaches the view.
  fake.ThrowOnce(FakeSound::Step::EnumerateCapture);
  DeliverChange();
  EXPECT_EQ(view.errors.size(), 1u);
  fake.SetDevices({{"usb-mic", "USB Mic", "usb"}, {"hdmi", "HDMI", "hda"}});
  DeliverChange();
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Default Device", "USB Mic", "HDMI"}));

  fake.ThrowOnce(FakeSound::Step::CaptureCreate);
  Pick(2);
  EXPECT_FALSE(Capturing());
  EXPECT_EQ(view.errors.size(), 2u);

  // The server goes away, and the first try to reach it again throws.
  fake.Vanish();
  fake.Fail(FakeSound::Step::EnumerateCapture, DSERR_NODRIVER);
  fake.Fail(FakeSound::Step::Initialize, DSERR_NODRIVER);
  fake.ThrowOnce(FakeSound::Step::Initialize);
  DeliverChange();
  EXPECT_TRUE(Eventually([this] { return fake.CallCount("Reconnect") >= 2; }));
  EXPECT_EQ(view.errors.size(), 3u);

  // It answers again: the list, the choice and the capture come back.
  fake.ClearFailures();
  EXPECT_TRUE(Eventually([this] { return Capturing(); }));
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"Default Device", "USB Mic", "HDMI"}));
  EXPECT_EQ(ChosenText(), "HDMI");
  EXPECT_TRUE(messages.empty());
  for (const std::exception_ptr& error : view.errors) {
    EXPECT_THROW(std::rethrow_exception(error), std::bad_alloc);
  }
  view.errors.clear();
}

}  // namespace
}  // namespace sonavik::test

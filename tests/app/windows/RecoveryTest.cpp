// SPDX-License-Identifier: MIT
// The running meter through what happens to sound servers on a desktop: the server killed and
// started again, a named device unplugged and plugged back, no server (or a hung one) at
// start, devices that come and go while the list is open. The real windows and the real
// libpulse platform on the private server; each case checks what the user sees.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QByteArray>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "app/DarudadeDlg.h"
#include "app/MainForm.h"
#include "app/MessageBox.h"
#include "app/WaveDlg.h"
#include "capture/pulse/PulseSound.h"
#include "gauge/MusicGauge.h"
#include "support/SoundServer.h"

namespace sonavik::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using testsupport::ServerScript;
// Generous: a loaded two-core machine. The figures themselves are printed.
constexpr milliseconds kBack{8000};

int Pactl(const std::string& arguments) {
  return std::system(("pactl " + arguments + " >/dev/null").c_str());
}

class Recovery : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qEnvironmentVariableIsSet("PULSE_SERVER"));
    SetMessageBoxFunction([this](const MessageBoxRequest& r) { boxes_.push_back(r); });
  }

  void TearDown() override {
    StopTone();
    form_.reset();
    session_.reset();
    SetMessageBoxFunction(nullptr);
    // Whoever runs next finds the server as the fixture left it.
    ServerScript("thaw");
    ServerScript("start");
    ServerScript("mic-on");
  }

  void StartMeter() {
    session_ = std::make_unique<PlatformSession>();
    form_ = std::make_unique<TForm1>();
    form_->show();
  }

  // The user picks the microphone by name in the device list.
  void ChooseMicrophone() {
    QComboBox* list = FindControl<QComboBox>(*form_, "ComboBox1");
    const int mic = list->findText("Sonavik Microphone");
    ASSERT_GE(mic, 0);
    list->setCurrentIndex(mic);
    emit list->activated(mic);
  }

  // The tone plays into the server's output, and starts again after the server did.
  void PlayTone() {
    StopTone();
    player_ = std::make_unique<QProcess>();
    player_->start("pacat", {"--raw", "--format=s16le", "--rate=44100", "--channels=2",
                             "--device=sonavik_out"});
    ASSERT_TRUE(player_->waitForStarted(5000));
    player_->write(QByteArray::fromStdString(testsupport::StereoToneBytes(30)));
    player_->closeWriteChannel();
  }
  void StopTone() {
    if (player_) {
      player_->kill();
      player_->waitForFinished(3000);
      player_.reset();
    }
  }

  // Runs the message loop, with its measuring passes, until done() or the limit.
  static bool LoopUntil(const std::function<bool()>& done, milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() > end) {
        return false;
      }
      QTest::qWait(10);
    }
    return true;
  }

  bool MetersTheTone() const {
    return std::abs(form_->FLevelL() + 6.0) < 0.3 && std::abs(form_->FLevelR() + 20.0) < 0.3 &&
           FindControl<TMusicGauge>(*form_, "MusicGauge1")->Progress() ==
               std::lround(form_->FLevelL() * 10);
  }
  bool ShowsSilence() const {
    return form_->FLevelL() == -6000.0 && form_->FLevelR() == -6000.0 &&
           FindControl<TMusicGauge>(*form_, "MusicGauge1")->Progress() <=
               FindControl<TMusicGauge>(*form_, "MusicGauge1")->MinValue() &&
           FindControl<QLabel>(*form_, "Label9")->text() == "-6000";
  }

  // How long from now until the meter shows the tone again; fails past the limit.
  milliseconds TimeUntilMetering() {
    const auto begun = Clock::now();
    EXPECT_TRUE(LoopUntil([this] { return MetersTheTone(); }, kBack))
        << "levels " << form_->FLevelL() << " " << form_->FLevelR();
    return std::chrono::duration_cast<milliseconds>(Clock::now() - begun);
  }

  std::vector<std::string> ListTexts() const {
    const auto* list = FindControl<QComboBox>(*form_, "ComboBox1");
    std::vector<std::string> texts;
    texts.reserve(list->count());
    for (int i = 0; i < list->count(); ++i) {
      texts.push_back(list->itemText(i).toStdString());
    }
    return texts;
  }
  bool Lists(const std::string& text) const {
    const auto texts = ListTexts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }

  // The version box's last line: the server, or the words for none.
  std::string VersionBoxServer() {
    const std::size_t before = boxes_.size();
    form_->Button3Click();
    if (boxes_.size() != before + 1) {
      return {};
    }
    const std::string text = boxes_.back().text;
    boxes_.pop_back();
    return text.substr(text.rfind('\n') + 1);
  }

  static void Report(const char* what, const std::vector<milliseconds>& times) {
    std::string line = std::string("back to the right level after ") + what + " (ms):";
    for (const milliseconds t : times) {
      line += " " + std::to_string(t.count());
    }
    std::printf("%s\n", line.c_str());
    testing::Test::RecordProperty(what, line);
  }

  std::vector<MessageBoxRequest> boxes_;
  ScopedSoundPlatform platform_{PulseSoundPlatform()};
  std::unique_ptr<PlatformSession> session_;
  std::unique_ptr<TForm1> form_;
  std::unique_ptr<QProcess> player_;
};

TEST_F(Recovery, ServerKilledAndStartedAgainFiveTimes) {
  StartMeter();
  PlayTone();
  ASSERT_TRUE(LoopUntil([this] { return MetersTheTone(); }, kBack));
  const std::string server = VersionBoxServer();
  ASSERT_NE(server, "音声サーバーに接続できません");
  std::vector<milliseconds> times;
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(ServerScript("kill"), 0);
    // No stale level: silence once the capture has ended.
    EXPECT_TRUE(LoopUntil([this] { return ShowsSilence(); }, kBack)) << "round " << round;
    EXPECT_EQ(VersionBoxServer(), "音声サーバーに接続できません");
    ASSERT_EQ(ServerScript("start"), 0);
    PlayTone();
    times.push_back(TimeUntilMetering());
    EXPECT_EQ(VersionBoxServer(), server);
    EXPECT_EQ(FindControl<QComboBox>(*form_, "ComboBox1")->currentIndex(), 0);
    EXPECT_EQ(ListTexts().front(), "Default Device");
    EXPECT_TRUE(LoopUntil([this] { return Lists("Sonavik Microphone"); }, kBack));
  }
  Report("server restart", times);
  EXPECT_TRUE(boxes_.empty()) << boxes_.front().caption << ": " << boxes_.front().text;
}

TEST_F(Recovery, NamedDeviceUnpluggedAndPluggedBackTenTimes) {
  StartMeter();
  PlayTone();
  QComboBox* list = FindControl<QComboBox>(*form_, "ComboBox1");
  ASSERT_NO_FATAL_FAILURE(ChooseMicrophone());
  ASSERT_TRUE(LoopUntil([this] { return MetersTheTone(); }, kBack));
  std::vector<milliseconds> times;
  for (int round = 0; round < 10; ++round) {
    ASSERT_EQ(ServerScript("mic-off"), 0);
    EXPECT_TRUE(LoopUntil([this] { return ShowsSilence(); }, kBack)) << "round " << round;
    // The choice stays, though its device is away.
    EXPECT_EQ(list->currentText(), "Sonavik Microphone");
    ASSERT_EQ(ServerScript("mic-on"), 0);
    times.push_back(TimeUntilMetering());
    EXPECT_EQ(list->currentText(), "Sonavik Microphone");
    EXPECT_EQ(list->findText("Sonavik Microphone"), list->currentIndex());  // listed once
  }
  Report("device replug", times);
  EXPECT_TRUE(boxes_.empty()) << boxes_.front().caption << ": " << boxes_.front().text;
}

TEST_F(Recovery, NoServerAtStartThenTheServerStarts) {
  ASSERT_EQ(ServerScript("stop"), 0);
  StartMeter();
  EXPECT_NE(session_->Result(), DS_OK);
  EXPECT_EQ(FindControl<QComboBox>(*form_, "ComboBox1")->count(), 0);
  EXPECT_EQ(VersionBoxServer(), "音声サーバーに接続できません");
  ASSERT_EQ(ServerScript("start"), 0);
  PlayTone();
  Report("server start", {TimeUntilMetering()});
  EXPECT_EQ(ListTexts().front(), "Default Device");
  EXPECT_EQ(FindControl<QComboBox>(*form_, "ComboBox1")->currentIndex(), 0);
  EXPECT_TRUE(Lists("Sonavik Microphone"));
  EXPECT_NE(VersionBoxServer(), "音声サーバーに接続できません");
}

TEST_F(Recovery, HungServerAtStartDoesNotHoldTheWindowBack) {
  ASSERT_EQ(ServerScript("freeze"), 0);
  const auto begun = Clock::now();
  StartMeter();
  const auto shown = Clock::now() - begun;
  std::printf("main window shown %lld ms after start with a hung server\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(shown).count()));
  // The product's bound is one connection wait of 2 s; this one leaves room for load.
  EXPECT_LT(shown, milliseconds(4000));
  EXPECT_TRUE(form_->isVisible());
  ASSERT_EQ(ServerScript("thaw"), 0);
  PlayTone();
  Report("hung server thawed", {TimeUntilMetering()});
  EXPECT_NE(VersionBoxServer(), "音声サーバーに接続できません");
}

TEST_F(Recovery, DevicesComeAndGoWhileTheListIsOpen) {
  StartMeter();
  QComboBox* list = FindControl<QComboBox>(*form_, "ComboBox1");
  ASSERT_NO_FATAL_FAILURE(ChooseMicrophone());
  list->showPopup();
  ASSERT_EQ(Pactl("load-module module-remap-source source_name=sonavik_extra "
                  "master=sonavik_out.monitor "
                  "source_properties=device.description=Sonavik-Extra"),
            0);
  EXPECT_TRUE(LoopUntil([this] { return Lists("Sonavik-Extra"); }, kBack));
  EXPECT_EQ(list->currentText(), "Sonavik Microphone");
  EXPECT_TRUE(list->view()->isVisible());
  ASSERT_EQ(std::system("pactl unload-module $(pactl list short modules | "
                        "awk '/sonavik_extra/ {print $1}')"),
            0);
  EXPECT_TRUE(LoopUntil([this] { return !Lists("Sonavik-Extra"); }, kBack));
  EXPECT_EQ(list->currentText(), "Sonavik Microphone");
  EXPECT_EQ(ListTexts().front(), "Default Device");
  list->hidePopup();
  EXPECT_TRUE(boxes_.empty()) << boxes_.front().caption << ": " << boxes_.front().text;
}

// The longest time the window thread went without serving its timer: how late a click would
// have been answered at worst.
class StallWatch {
 public:
  StallWatch() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      longest_ = std::max(longest_, std::chrono::duration_cast<milliseconds>(now - last_));
      last_ = now;
    });
    last_ = Clock::now();
    timer_.start();
  }
  milliseconds Longest() const { return longest_; }

 private:
  QTimer timer_;
  Clock::time_point last_;
  milliseconds longest_{0};
};

// The source our capture stream reads from, as the server reports it.
std::string CapturedSource() {
  std::array<char, 256> line{};
  std::string out;
  FILE* pipe = popen(
      "pactl list short source-outputs | awk 'NR == 1 {print $2}' | "
      "xargs -r -I{} sh -c \"pactl list short sources | awk '\\$1 == {} {print \\$2}'\"",
      "r");
  if (pipe == nullptr) {
    return out;
  }
  while (fgets(line.data(), line.size(), pipe) != nullptr) {
    out += line.data();
  }
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}

TEST_F(Recovery, FrozenServerAtStartTheWindowShowsWithinASecond) {
  ASSERT_EQ(ServerScript("freeze"), 0);
  // As the program starts: no wait for the server anywhere before the window shows.
  const auto begun = Clock::now();
  form_ = std::make_unique<TForm1>();
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  const auto mapped = std::chrono::duration_cast<milliseconds>(Clock::now() - begun);
  std::printf("main window mapped %lld ms after start with a frozen server\n",
              static_cast<long long>(mapped.count()));
  testing::Test::RecordProperty("mapped with a frozen server (ms)", std::to_string(mapped.count()));
  EXPECT_LT(mapped, milliseconds(1000));
  ASSERT_EQ(ServerScript("thaw"), 0);
  PlayTone();
  Report("frozen server at start thawed", {TimeUntilMetering()});
}

TEST_F(Recovery, FrozenServerLeavesTheWindowResponsiveAndThawResumesOnThePickedDevice) {
  StartMeter();
  PlayTone();
  ASSERT_TRUE(LoopUntil([this] { return MetersTheTone(); }, kBack));
  QComboBox* list = FindControl<QComboBox>(*form_, "ComboBox1");
  const int monitor = list->findData(QString("sonavik_out.monitor"));
  ASSERT_GE(monitor, 0);
  auto waveDlg = std::make_unique<TWaveDlg>();
  auto darudadeDlg = std::make_unique<TDarudadeDlg>();
  form_->AttachToolWindows(waveDlg.get(), darudadeDlg.get());

  ASSERT_EQ(ServerScript("freeze"), 0);
  StallWatch watch;
  QTest::qWait(300);
  QTest::mouseClick(FindControl<QPushButton>(*form_, "Button1"), Qt::LeftButton);
  EXPECT_TRUE(waveDlg->isVisible());
  QTest::qWait(300);
  QSlider* gain = FindControl<QSlider>(*form_, "TrackBar1");
  gain->setFocus();
  QTest::keyClick(gain, Qt::Key_PageUp);
  QTest::qWait(300);
  // The user picks the server's monitor while the server hangs.
  list->setCurrentIndex(monitor);
  emit list->activated(monitor);
  // Long enough for every exchange under way to give up on the server.
  QTest::qWait(4500);
  const milliseconds longest = watch.Longest();
  std::printf("longest window-thread stall with a frozen server: %lld ms\n",
              static_cast<long long>(longest.count()));
  testing::Test::RecordProperty("longest stall while frozen (ms)", std::to_string(longest.count()));
  // The goal is 100 ms, the pass's own rest included; this leaves room for a loaded machine.
  EXPECT_LT(longest, milliseconds(250));

  ASSERT_EQ(ServerScript("thaw"), 0);
  const milliseconds back = TimeUntilMetering();
  Report("frozen server thawed after a pick", {back});
  EXPECT_LT(back, milliseconds(4000));  // the goal is 2 s
  EXPECT_EQ(list->currentIndex(), monitor);
  EXPECT_EQ(CapturedSource(), "sonavik_out.monitor");
  // A box for the pick comes only once its answer is known, and says what it always said.
  for (const MessageBoxRequest& box : boxes_) {
    EXPECT_EQ(box.text, "88780078");
    EXPECT_EQ(box.caption, "");
  }
  form_.reset();
}

}  // namespace
}  // namespace sonavik::test

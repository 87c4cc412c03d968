// SPDX-License-Identifier: MIT
// The main window's behaviour: the gain exchange between trackbar and edit box, the
// readouts, the clip lamps and their fade, the device list, the tool windows, the version
// box, and the measuring pass's way through a stopped capture, an error and its rest.
#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <cmath>
#include <utility>

#include "WindowsFixture.h"
#include "app/PaintBox.h"
#include "app/Shape.h"
#include "app/Version.h"
#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"
#include "gauge/MusicGauge.h"

namespace sonavik::test {
namespace {

using WindowsGain = WindowsTest;

TEST_F(WindowsGain, TrackbarWritesTheShortestGainText) {
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  // A screen reader hears the gain, not the bar's position, which runs the other way.
  QAccessibleValueInterface* gain = QAccessible::queryAccessibleInterface(bar)->valueInterface();
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->minimumValue().toDouble(), 0.0);
  EXPECT_EQ(gain->maximumValue().toDouble(), 10.0);
  EXPECT_EQ(gain->minimumStepSize().toDouble(), 0.01);
  struct {
    int position;
    const char* text;
    double gain;
    const char* spoken;
  } cases[] = {{885, "1.15", 1.15, "×1.15"}, {1000, "0", 0, "×0.00"},    {0, "10", 10, "×10.00"},
               {899, "1.01", 1.01, "×1.01"}, {990, "0.1", 0.1, "×0.10"}, {900, "1", 1, "×1.00"}};
  for (const auto& c : cases) {
    bar->setValue(c.position);
    EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), c.text) << c.position;
    EXPECT_EQ(bar->value(), c.position);
    EXPECT_DOUBLE_EQ(gain->currentValue().toDouble(), c.gain);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Value),
              QString::fromUtf8(c.spoken));
  }
  // A gain set by a screen reader moves the bar and the box as a drag would.
  for (const auto& [set, position] : {std::pair{2.5, 750}, {0.014, 999}, {80.0, 0}, {-1.0, 1000}}) {
    gain->setCurrentValue(set);
    EXPECT_EQ(bar->value(), position) << set;
  }
  EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), "0");
}

TEST_F(WindowsGain, TextEnteredInOneStepSettlesOnTheTrackbarsValue) {
  QLineEdit* edit = FindControl<QLineEdit>(*form, "Edit1");
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  struct {
    const char* entered;
    int position;
    const char* shown;
  } cases[] = {
      {"1.234", 877, "1.23"},  // 1000 - 123.4 = 876.6
      {"0.004", 1000, "0"},    // 999.6
      {"20", 0, "10"},         // -1000, held at the top
      {"-3", 1000, "0"},       // 1300, held at the bottom
      {"2.5", 750, "2.5"},
  };
  for (const auto& c : cases) {
    edit->selectAll();
    edit->insert(c.entered);  // one edit, as a paste makes it
    EXPECT_EQ(bar->value(), c.position) << c.entered;
    EXPECT_EQ(edit->text(), c.shown) << c.entered;
  }
}

TEST_F(WindowsGain, TypingKeyByKeyExchangesAfterEveryKeystroke) {
  QLineEdit* edit = FindControl<QLineEdit>(*form, "Edit1");
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");

  // Its last keystroke (1.23 -> 1.234) leaves the position at 877, so the text stays.
  edit->selectAll();
  QTest::keyClicks(edit, "1.234");
  EXPECT_EQ(bar->value(), 877);
  EXPECT_EQ(edit->text(), "1.234");

  // 2 then 0: twenty times is more than the trackbar holds, so it stops at 10.
  edit->selectAll();
  QTest::keyClicks(edit, "2");
  EXPECT_EQ(bar->value(), 800);
  EXPECT_EQ(edit->text(), "2");
  QTest::keyClicks(edit, "0");
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(edit->text(), "10");

  // An empty box means a gain of 1, written back since the position moved.
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(bar->value(), 900);
  EXPECT_EQ(edit->text(), "1");

  // At 900 already: the empty text stays as it is.
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  EXPECT_EQ(bar->value(), 900);
  EXPECT_EQ(edit->text(), "");
}

TEST_F(WindowsGain, TextThatIsNoNumberCountsAsOneAndStaysAsTyped) {
  QLineEdit* edit = FindControl<QLineEdit>(*form, "Edit1");
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  QSignalSpy moves(bar, &QSlider::valueChanged);
  edit->selectAll();
  QTest::keyClicks(edit, "abc");
  EXPECT_EQ(bar->value(), 900);
  EXPECT_EQ(edit->text(), "abc");
  EXPECT_EQ(moves.count(), 0);
  // A grouped number is no number either: "1,5" is not fifteen.
  edit->setText("1,5");
  EXPECT_EQ(bar->value(), 900);
  EXPECT_EQ(edit->text(), "1,5");
}

TEST_F(WindowsGain, ExtremeTextsLandOnAnEndOfTheTrackbar) {
  QLineEdit* edit = FindControl<QLineEdit>(*form, "Edit1");
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  struct {
    const char* text;
    int position;
  } cases[] = {
      {"1e300", 0}, {"-1e300", 1000}, {"1e400", 0},       {"-1e400", 1000},
      {"inf", 0},   {"-inf", 1000},   {"nan", 900},       {"1e-300", 1000},
      {"2e9", 0},   {"-2e9", 1000},   {"21474836.48", 0}, {"-21474836.48", 1000},
  };
  for (const auto& c : cases) {
    bar->setValue(500);
    edit->setText(c.text);
    EXPECT_EQ(bar->value(), c.position) << c.text;
    EXPECT_GE(bar->value(), 0);
    EXPECT_LE(bar->value(), 1000);
  }
  // The pure functions hold the same line for any range.
  EXPECT_EQ(GainPosition("1e308", 0, 1000), 0);
  EXPECT_EQ(GainPosition("-1e308", 0, 1000), 1000);
  EXPECT_EQ(GainPosition("", 0, 1000), 900);
}

TEST_F(WindowsGain, TheLocalesDecimalSeparatorIsUsedBothWays) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  bar->setValue(885);
  EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), "1,15");
  FindControl<QLineEdit>(*form, "Edit1")->setText("2,5");
  EXPECT_EQ(bar->value(), 750);
  EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), "2,5");
  QLocale::setDefault(QLocale::c());
}

TEST(WindowsReadoutText, WholeDecibelsHalvesAwayFromZeroAndNoNegativeZero) {
  struct {
    double level;
    const char* text;
  } cases[] = {
      {0.0, "0"},    {-0.3, "0"},     {-0.0, "0"},      {-0.4999, "0"}, {-0.5, "-1"},
      {-0.6, "-1"},  {0.5, "1"},      {2.5, "3"},       {-2.5, "-3"},   {-12.5, "-13"},
      {-6.02, "-6"}, {-19.99, "-20"}, {-6000, "-6000"}, {20.0, "20"},   {-90.309, "-90"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadoutText(c.level), c.text) << c.level;
  }
}

using WindowsReadout = WindowsTest;

TEST_F(WindowsReadout, ReadoutsFollowTheLastMeasuredPass) {
  // Before any pass the levels are 0.
  form->Timer2Timer();
  EXPECT_EQ(FindControl<QLabel>(*form, "Label9")->text(), "0");
  EXPECT_EQ(FindControl<QLabel>(*form, "Label10")->text(), "0");

  FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(0);
  Fill(ConstantRing(16384, 0));  // half of full scale on the left: -6.02 dB
  Pass();
  EXPECT_NEAR(form->FLevelL(), 20 * std::log10(0.5), 1e-12);
  EXPECT_EQ(form->FLevelR(), -6000.0);
  // The readouts wait for their own timer.
  EXPECT_EQ(FindControl<QLabel>(*form, "Label9")->text(), "0");
  form->Timer2Timer();
  EXPECT_EQ(FindControl<QLabel>(*form, "Label9")->text(), "-6");
  EXPECT_EQ(FindControl<QLabel>(*form, "Label10")->text(), "-6000");
  // The gauges' names carry the same level, as a screen reader hears it, and their values
  // stay inside the gauges' range.
  struct {
    const char* gauge;
    const char* name;
    double value;
  } spoken[] = {{"MusicGauge1", "Left level, \u22126 dB", -6.0},
                {"MusicGauge2", "Right level, silence", -40.0}};
  for (const auto& s : spoken) {
    QAccessibleInterface* gauge =
        QAccessible::queryAccessibleInterface(FindControl<TMusicGauge>(*form, s.gauge));
    EXPECT_EQ(gauge->text(QAccessible::Name), QString::fromUtf8(s.name));
    EXPECT_EQ(gauge->valueInterface()->currentValue().toDouble(), s.value);
  }
  // The timer runs by itself, every 100 ms.
  Fill(ConstantRing(3277, 3277));
  Pass();
  QTRY_COMPARE_WITH_TIMEOUT(FindControl<QLabel>(*form, "Label9")->text(), QString("-20"), 1000);
  EXPECT_EQ(FindControl<QLabel>(*form, "Label10")->text(), "-20");
}

TEST(WindowsFadeLamp, WhiteStaysAndAClipFadesInThirteenTicksToAlmostWhite) {
  EXPECT_EQ(FadeLamp(0xFFFFFF), 0xFFFFFFu);
  // (red, green, blue) after each tick from the clip colour.
  const int expected[][3] = {{255, 166, 121}, {255, 193, 161}, {255, 212, 189}, {255, 225, 209},
                             {255, 234, 223}, {255, 240, 233}, {255, 245, 240}, {255, 248, 245},
                             {255, 250, 248}, {255, 252, 250}, {255, 253, 252}, {255, 254, 253},
                             {255, 254, 254}};
  TColor c = kLampClip;
  for (const auto& e : expected) {
    c = FadeLamp(c);
    EXPECT_EQ(c & 0xFF, static_cast<TColor>(e[0]));
    EXPECT_EQ((c >> 8) & 0xFF, static_cast<TColor>(e[1]));
    EXPECT_EQ((c >> 16) & 0xFF, static_cast<TColor>(e[2]));
  }
  EXPECT_EQ(FadeLamp(c), c);
  // 240 * 0.7 + 255 * 0.3 lies a hair above 244.5 with the factor as a double.
  EXPECT_EQ(FadeLamp(0xF0F0F0), 0xF5F5F5u);
  // Channels stay in their own bytes. 255 * (1 - 0.7) lies a hair above 76.5 with the factor
  // as a double, so black becomes a grey of 77, not 76 (the even neighbour of 76.5).
  EXPECT_EQ(FadeLamp(0x000000), 0x4D4D4Du);
  EXPECT_EQ(FadeLamp(0x0000FF), 0x4D4DFFu);
}

using WindowsLamp = WindowsTest;

TEST_F(WindowsLamp, FullScaleLightsOnlyThatChannelsLampWhichFadesOnTheTimer) {
  FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(0);
  Ring ring = ConstantRing(0, 32767);
  ring[10].left = -32768;  // the only value that reaches 0 dB at gain 1
  Fill(ring);
  Pass();
  EXPECT_EQ(form->FLevelL(), 0.0);
  EXPECT_LT(form->FLevelR(), 0.0);
  EXPECT_EQ(FindControl<TShape>(*form, "Shape1")->BrushColor(), kLampClip);
  EXPECT_EQ(FindControl<TShape>(*form, "Shape2")->BrushColor(), 0xFFFFFFu);
  EXPECT_EQ(FindControl<TMusicGauge>(*form, "MusicGauge1")->Progress(), 0);
  EXPECT_EQ(FindControl<TMusicGauge>(*form, "MusicGauge2")->Progress(), 0);

  for (int tick = 1; tick <= 13; ++tick) {
    form->Timer1Timer();
  }
  EXPECT_EQ(FindControl<TShape>(*form, "Shape1")->BrushColor(), 0xFEFEFFu);
  EXPECT_EQ(FindControl<TShape>(*form, "Shape2")->BrushColor(), 0xFFFFFFu);
  form->Timer1Timer();
  EXPECT_EQ(FindControl<TShape>(*form, "Shape1")->BrushColor(), 0xFEFEFFu);

  // The lamp's picture: the brush inside, a black outline on its outermost pixels.
  FindControl<TShape>(*form, "Shape1")->SetBrushColor(kLampClip);
  const QImage lamp = FindControl<TShape>(*form, "Shape1")->Render();
  EXPECT_EQ(lamp.pixel(0, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(lamp.pixel(32, 16) & 0xFFFFFF, 0u);
  EXPECT_EQ(lamp.pixel(16, 8) & 0xFFFFFF, 0xFF8040u);  // red 255, green 128, blue 64
  EXPECT_EQ(lamp.pixel(1, 1) & 0xFFFFFF, 0xFF8040u);
}

using WindowsPass = WindowsTest;

TEST_F(WindowsPass, APassAlwaysClearsDoneAndRestsForTheWait) {
  Fill(ConstantRing(100, 100));
  FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(60);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Pass());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(60));

  fake.SetStatus(0);
  const auto again = std::chrono::steady_clock::now();
  EXPECT_FALSE(Pass());
  EXPECT_GE(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(60));
}

TEST_F(WindowsPass, AStoppedCaptureShowsSilenceOnceThenNothingChanges) {
  FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(0);
  waveDlg->show();
  darudadeDlg->show();
  Ring ring = ConstantRing(8000, -4000);
  ring[3].right = -32768;
  Fill(ring);
  Pass();
  ASSERT_EQ(FindControl<TShape>(*form, "Shape2")->BrushColor(), kLampClip);
  ASSERT_FALSE(Lit(FindControl<TPaintBox>(*form, "PaintBox1")->Image()).empty());

  // The device goes away: one pass shows silence, without reading the ring, and leaves the
  // lamp to fade on its own.
  fake.SetStatus(0);
  Fill(ConstantRing(20000, 20000));
  fake.ClearCalls();
  EXPECT_FALSE(Pass());
  for (const std::string& call : fake.Calls()) {
    EXPECT_EQ(call.find("Lock"), std::string::npos) << call;
  }
  EXPECT_EQ(form->FLevelL(), -6000.0);
  EXPECT_EQ(form->FLevelR(), -6000.0);
  form->Timer2Timer();
  EXPECT_EQ(FindControl<QLabel>(*form, "Label9")->text(), "-6000");
  EXPECT_EQ(FindControl<QLabel>(*form, "Label10")->text(), "-6000");
  for (const TMusicGauge* gauge : {FindControl<TMusicGauge>(*form, "MusicGauge1"),
                                   FindControl<TMusicGauge>(*form, "MusicGauge2")}) {
    EXPECT_LE(gauge->Progress(), gauge->MinValue());
  }
  EXPECT_TRUE(Lit(FindControl<TPaintBox>(*form, "PaintBox1")->Image()).empty());
  EXPECT_EQ(FindControl<TShape>(*form, "Shape2")->BrushColor(), kLampClip);

  // From then on the display stays as it is until capture runs again.
  const QImage vector = FindControl<TPaintBox>(*form, "PaintBox1")->Image();
  const QImage scope = waveDlg->PaintBox1()->Image();
  const QImage spectrum = darudadeDlg->PaintBox1()->Image();
  const std::int32_t gaugeL = FindControl<TMusicGauge>(*form, "MusicGauge1")->Progress();
  FindControl<TShape>(*form, "Shape2")->SetBrushColor(0xFFFFFF);
  EXPECT_FALSE(Pass());
  EXPECT_EQ(form->FLevelL(), -6000.0);
  EXPECT_EQ(FindControl<TMusicGauge>(*form, "MusicGauge1")->Progress(), gaugeL);
  EXPECT_EQ(FindControl<TShape>(*form, "Shape2")->BrushColor(), 0xFFFFFFu);
  EXPECT_EQ(FindControl<TPaintBox>(*form, "PaintBox1")->Image(), vector);
  EXPECT_EQ(waveDlg->PaintBox1()->Image(), scope);
  EXPECT_EQ(darudadeDlg->PaintBox1()->Image(), spectrum);

  fake.SetStatus(DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING);
  Pass();
  EXPECT_NEAR(form->FLevelL(), 20 * std::log10(20000.0 / 32768), 1e-9);
}

TEST_F(WindowsPass, AnErrorEndsThePassAfterItsRestAndIsReported) {
  FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(30);
  Fill(ConstantRing(1000, 1000));
  Pass();
  const double levelL = form->FLevelL();
  const std::size_t before = messages.Requests().size();

  // A failing read raises instead of ending the program for the length of this test.
  form->ACAP1().SetDebugOption(dsoExceptOnError);
  fake.Fail(FakeSound::Step::Lock, DSERR_GENERIC);
  Fill(ConstantRing(20000, 20000));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Pass());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  fake.Fail(FakeSound::Step::Lock, DS_OK);
  form->ACAP1().SetDebugOption(dsoHaltOnError);

  EXPECT_EQ(form->FLevelL(), levelL);
  const auto requests = messages.Requests();
  ASSERT_EQ(requests.size(), before + 1);
  EXPECT_EQ(requests.back().caption, "Sonavik");
  EXPECT_EQ(requests.back().icon, MessageBoxIcon::Error);

  // The next pass measures as usual.
  Pass();
  EXPECT_NEAR(form->FLevelL(), 20 * std::log10(20000.0 / 32768), 1e-9);
}

class WindowsDeviceList : public WindowsTest {
 protected:
  WindowsDeviceList() {
    devices = {{"usb-mic", "USB Mic", "usb"}, {"line-in", "ライン入力", "hda"}};
  }
};

// The list shows what the session offers; only the user's pick reaches it.
TEST_F(WindowsDeviceList, DefaultDeviceFirstWithoutDataOthersWithTheirIds) {
  QComboBox* list = FindControl<QComboBox>(*form, "ComboBox1");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(0), "Default Device");
  EXPECT_FALSE(list->itemData(0).isValid());
  EXPECT_EQ(list->itemText(1), "USB Mic");
  EXPECT_EQ(list->itemData(1).toString(), "usb-mic");
  EXPECT_EQ(list->itemText(2), "ライン入力");
  EXPECT_EQ(list->itemData(2).toString(), "line-in");
  EXPECT_EQ(list->currentIndex(), 0);
  ASSERT_NE(form->FCapture(), nullptr);
  EXPECT_NE(form->FCapture()->GetStatus() & DSCBSTATUS_CAPTURING, 0u);
}

TEST_F(WindowsDeviceList, OnlyTheUsersPickReopensCaptureOnThatDevice) {
  QComboBox* list = FindControl<QComboBox>(*form, "ComboBox1");
  const TACAPCapture* first = form->FCapture();
  list->setCurrentIndex(2);  // from code: nothing happens
  EXPECT_EQ(form->FCapture(), first);
  EXPECT_EQ(fake.CallCount("CaptureCreate(line-in)"), 0u);

  emit list->activated(2);
  Settle();
  EXPECT_EQ(fake.CallCount("CaptureCreate(line-in)"), 1u);
  ASSERT_NE(form->FCapture(), nullptr);
  EXPECT_NE(form->FCapture()->GetStatus() & DSCBSTATUS_CAPTURING, 0u);
}

TEST_F(WindowsDeviceList, ADeviceThatWillNotOpenLeavesTheMeterRunningAndInert) {
  fake.FailOpen(std::string("usb-mic"), DSERR_ALLOCATED);
  FindControl<QComboBox>(*form, "ComboBox1")->setCurrentIndex(1);
  emit FindControl<QComboBox>(*form, "ComboBox1")->activated(1);
  Settle();
  ASSERT_NE(form->FCapture(), nullptr);
  EXPECT_EQ(form->FCapture()->GetStatus(), 0u);
  ASSERT_EQ(messages.Requests().size(), 1u);
  EXPECT_EQ(messages.Requests()[0].text, "8878000A");
  EXPECT_EQ(messages.Requests()[0].caption, "");
  EXPECT_EQ(messages.Requests()[0].icon, MessageBoxIcon::None);
  FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(0);
  EXPECT_FALSE(Pass());
  EXPECT_EQ(form->FLevelL(), 0.0);
}

std::vector<QString> Texts(const QComboBox& list) {
  std::vector<QString> texts;
  texts.reserve(list.count());
  for (int i = 0; i < list.count(); ++i) {
    texts.push_back(list.itemText(i));
  }
  return texts;
}

TEST_F(WindowsDeviceList, TheListFollowsTheServerAndKeepsTheChoice) {
  QComboBox* list = FindControl<QComboBox>(*form, "ComboBox1");
  list->setCurrentIndex(1);
  emit list->activated(1);  // USB Mic

  // A device comes, another goes; the choice stays put.
  fake.SetDevices({{"usb-mic", "USB Mic", "usb"}, {"hdmi", "HDMI", "hda"}});
  fake.NotifyChange();
  Settle();
  EXPECT_EQ(Texts(*list), (std::vector<QString>{"Default Device", "USB Mic", "HDMI"}));
  EXPECT_EQ(list->currentText(), "USB Mic");
  EXPECT_EQ(list->itemData(2).toString(), "hdmi");
}

using WindowsToolWindow = WindowsTest;

TEST_F(WindowsToolWindow, ButtonsShowTheWindowsWhichCloseToHiddenAndComeBackUnchanged) {
  QTest::mouseClick(FindControl<QPushButton>(*form, "Button1"), Qt::LeftButton);
  EXPECT_TRUE(waveDlg->isVisible());
  EXPECT_FALSE(darudadeDlg->isVisible());
  QTest::mouseClick(FindControl<QPushButton>(*form, "Button2"), Qt::LeftButton);
  EXPECT_TRUE(darudadeDlg->isVisible());

  // Flip both scope buttons, close, show again: the same window, the same state.
  QTest::mouseClick(waveDlg->SpeedButton1(), Qt::LeftButton);
  QTest::mouseClick(waveDlg->SpeedButton2(), Qt::LeftButton);
  EXPECT_FALSE(waveDlg->SpeedButton1()->isChecked());
  EXPECT_TRUE(waveDlg->SpeedButton2()->isChecked());
  QPointer<QWidget> same = waveDlg.get();
  EXPECT_TRUE(waveDlg->close());
  EXPECT_FALSE(waveDlg->isVisible());
  EXPECT_FALSE(same.isNull());
  EXPECT_TRUE(form->isVisible());
  QTest::mouseClick(FindControl<QPushButton>(*form, "Button1"), Qt::LeftButton);
  EXPECT_TRUE(waveDlg->isVisible());
  EXPECT_FALSE(waveDlg->SpeedButton1()->isChecked());
  EXPECT_TRUE(waveDlg->SpeedButton2()->isChecked());
  // A window that shows already just comes to the front.
  QTest::mouseClick(FindControl<QPushButton>(*form, "Button1"), Qt::LeftButton);
  EXPECT_TRUE(waveDlg->isVisible());
  EXPECT_EQ(waveDlg->pos(), QPoint(420, 110));
}

TEST_F(WindowsToolWindow, VersionBoxNamesProgramVersionToolkitAndSoundServer) {
  QTest::mouseClick(FindControl<QPushButton>(*form, "Button3"), Qt::LeftButton);
  auto requests = messages.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].caption, "Version");
  EXPECT_EQ(requests[0].icon, MessageBoxIcon::Information);
  EXPECT_EQ(requests[0].text,
            std::string("Sonavik\nVersion ") + kVersion + "\nQt " + qVersion() + "\nFakeSound");

  // Without a server the box says so.
  session.reset();
  form->Button3Click();
  requests = messages.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const std::string& text = requests[1].text;
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "音声サーバーに接続できません");
}

}  // namespace
}  // namespace sonavik::test

// SPDX-License-Identifier: MIT
// The meter's own windows and measuring pass against the private sound server: a known
// stereo tone goes into its output, the meter hears it through the microphone that mirrors
// that output, and its levels, readouts, gauges and plots must match the tone.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <cmath>
#include <memory>

#include "Controls.h"
#include "app/DarudadeDlg.h"
#include "app/MainForm.h"
#include "app/MessageBox.h"
#include "app/PaintBox.h"
#include "app/Shape.h"
#include "app/WaveDlg.h"
#include "capture/pulse/PulseSound.h"
#include "capture/sound/ACAPCapture.h"
#include "gauge/MusicGauge.h"
#include "support/SoundServer.h"

namespace sonavik::test {
namespace {

constexpr int kRate = testsupport::kToneRate;

bool HasColour(const QImage& image, QRgb rgb) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == rgb) {
        return true;
      }
    }
  }
  return false;
}

// The column of the highest pixel of a trace.
int PeakColumn(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != 0) {
        return x;
      }
    }
  }
  return -1;
}

// The gauge's column at a level: lit (in the zone's colour) well below the row the level
// reaches, black well above it. The column fills 209 rows for the 40 dB from -40 to 0.
void ExpectGaugeAt(const TMusicGauge& gauge, double level, QRgb zone) {
  const QImage& image = gauge.Image();
  ASSERT_EQ(image.size(), QSize(33, 209));
  const double fraction = (level + 40.0) / 40.0;
  const int row = static_cast<int>(std::lround(209 * (1.0 - fraction)));
  const int x = 16;
  EXPECT_EQ(image.pixel(x, row + 6) & 0xFFFFFF, zone) << "row " << row + 6;
  EXPECT_EQ(image.pixel(x, row - 6) & 0xFFFFFF, 0u) << "row " << row - 6;
}

TEST(WindowsEndToEnd, TheMeterShowsALiveStereoToneInAllThreeWindows) {
  ASSERT_TRUE(qEnvironmentVariableIsSet("PULSE_SERVER"));
  std::vector<MessageBoxRequest> boxes;
  SetMessageBoxFunction([&boxes](const MessageBoxRequest& r) { boxes.push_back(r); });
  ScopedSoundPlatform platform(PulseSoundPlatform());
  PlatformSession session;
  ASSERT_EQ(session.Result(), DS_OK);

  auto form = std::make_unique<TForm1>();
  auto waveDlg = std::make_unique<TWaveDlg>();
  auto darudadeDlg = std::make_unique<TDarudadeDlg>();
  form->AttachToolWindows(waveDlg.get(), darudadeDlg.get());
  form->show();
  form->Button1Click();
  form->Button2Click();
  ASSERT_TRUE(waveDlg->isVisible());
  ASSERT_TRUE(darudadeDlg->isVisible());
  ASSERT_NE(form->FCapture(), nullptr);
  ASSERT_TRUE(form->FCapture()->Ready());

  QProcess player;
  player.start("pacat",
               {"--raw", "--format=s16le", "--rate=44100", "--channels=2", "--device=sonavik_out"});
  ASSERT_TRUE(player.waitForStarted(5000));
  player.write(QByteArray::fromStdString(testsupport::StereoToneBytes(6)));
  player.closeWriteChannel();

  // The message loop with its idle passes, as in the program.
  QTest::qWait(2500);

  EXPECT_NEAR(form->FLevelL(), -6.0, 0.2);
  EXPECT_NEAR(form->FLevelR(), -20.0, 0.2);
  EXPECT_EQ(FindControl<QLabel>(*form, "Label9")->text(), "-6");
  EXPECT_EQ(FindControl<QLabel>(*form, "Label10")->text(), "-20");
  EXPECT_EQ(FindControl<TMusicGauge>(*form, "MusicGauge1")->Progress(),
            static_cast<int>(std::lround(form->FLevelL() * 10)));
  // -6 dB is in the yellow zone (from -16 to -4 dB), -20 dB in the green one.
  ExpectGaugeAt(*FindControl<TMusicGauge>(*form, "MusicGauge1"), -6.0, 0xFFFF00);
  ExpectGaugeAt(*FindControl<TMusicGauge>(*form, "MusicGauge2"), -20.0, 0x00FF00);
  EXPECT_EQ(FindControl<TShape>(*form, "Shape1")->BrushColor(), 0xFFFFFFu);

  EXPECT_TRUE(HasColour(FindControl<TPaintBox>(*form, "PaintBox1")->Image(), 0x00FFFF));
  EXPECT_TRUE(HasColour(waveDlg->PaintBox1()->Image(), 0xFFFFFF));
  EXPECT_TRUE(HasColour(darudadeDlg->PaintBox1()->Image(), 0xFFFFFF));
  EXPECT_TRUE(HasColour(darudadeDlg->PaintBox2()->Image(), 0xFFEEEE));
  // Bin = f * 2048 / 44100 on an axis of 110 pixels per decade of the bin number.
  EXPECT_NEAR(PeakColumn(darudadeDlg->PaintBox1()->Image()),
              110 * std::log10(1000.0 * 2048 / kRate), 3);
  EXPECT_NEAR(PeakColumn(darudadeDlg->PaintBox2()->Image()), 110 * std::log10(440.0 * 2048 / kRate),
              3);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;

  player.kill();
  player.waitForFinished(3000);
  darudadeDlg.reset();
  waveDlg.reset();
  form.reset();
  SetMessageBoxFunction(nullptr);
}

}  // namespace
}  // namespace sonavik::test

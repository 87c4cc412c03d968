// SPDX-License-Identifier: MIT
// On a screen with two device pixels per pixel the gauge's image is doubled, not smoothed:
// every pixel becomes a 2x2 block of one colour, so the black columns stay sharp.
#include "gauge/MusicGauge.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QTest>

namespace sonavik {
namespace {

TEST(MusicGaugeHiDpi, ImageIsScaledByWholePixels) {
  TMusicGauge g;
  g.HoldTimer().stop();
  g.resize(33, 209);
  g.SetZoneAB(90.0);
  g.SetZoneBC(60.0);
  g.SetMaxValue(0);
  g.SetMinValue(-400);
  g.SetPeakThreshold(50.0);
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  g.SetProgress(-120);  // a column of 146 rows with the hold line on its top row
  ASSERT_EQ(g.devicePixelRatioF(), 2.0);

  const QImage logical = g.Image();
  const QImage device = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(device.size(), QSize(66, 418));
  int wrong = 0;
  for (int y = 0; y < device.height(); ++y) {
    for (int x = 0; x < device.width(); ++x) {
      if (device.pixel(x, y) != logical.pixel(x / 2, y / 2)) {
        ++wrong;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  // The two device columns of the left frame are black, the next two coloured.
  EXPECT_EQ(device.pixel(1, 300), qRgb(0, 0, 0));
  EXPECT_EQ(device.pixel(2, 300), qRgb(0, 255, 0));
}

}  // namespace
}  // namespace sonavik

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

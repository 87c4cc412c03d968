// SPDX-License-Identifier: MIT
// Pixels of the level gauge read back from its image, for the meter's own gauge settings and
// for the values that could break the row arithmetic.
#include "gauge/MusicGauge.h"
#include "gauge/RepaintBatch.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTest>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>

namespace sonavik {
namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

constexpr int kW = 33;
constexpr int kH = 209;
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

// Zone borders of the meter's gauges: 209 * 0.9 = 188.1 -> 188 rows of B and C, so zone A is
// rows 0..20; 209 * 0.6 = 125.4 -> 125 rows of C, so zone C starts at row 209 - 125 = 84.
constexpr int kYAB = 21;
constexpr int kYBC = 84;

QRgb MeterZone(int y) {
  return y < kYAB ? kRed : (y < kYBC ? kYellow : kGreen);
}

// The meter's gauge as the main window lays it out, before it is shown.
void ApplyMeterSettings(TMusicGauge& g) {
  g.resize(kW, kH);
  g.SetZoneAB(90.0);
  g.SetZoneBC(60.0);
  g.SetZoneAColor(0x0000FF);
  g.SetZoneBColor(0x00FFFF);
  g.SetZoneCColor(0x00FF00);
  g.SetPeakHold(true);
  g.SetPeakHoldTime(50);
  g.SetPeakThreshold(50.0);
  g.SetMaxValue(0);
  g.SetMinValue(-400);
  g.SetProgress(-400);
}

// What the meter's gauge must show with `lit` rows lit from the bottom and a hold line on
// `holdRow` (-1: none): the gauge's frame (row 0, first and last column) black; the column's
// own outline (its top and bottom rows) black unless the hold line lies on it; the column's
// inside and the hold line in the colour of their row's zone; everything else black.
testing::AssertionResult ShowsMeter(const QImage& image, int lit, int holdRow) {
  if (image.size() != QSize(kW, kH)) {
    return testing::AssertionFailure() << "image is " << image.width() << "x" << image.height();
  }
  const int top = kH - lit;
  int wrong = 0;
  testing::AssertionResult result = testing::AssertionFailure();
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const bool frame = y == 0 || x == 0 || x == kW - 1;
      const bool inside = lit > 0 && y > top && y < kH - 1;
      const QRgb expected = frame ? kBlack : ((inside || y == holdRow) ? MeterZone(y) : kBlack);
      const QRgb got = image.pixel(x, y);
      if (got != expected && ++wrong <= 5) {
        result << "(" << x << "," << y << ") is " << std::hex << got << " not " << expected
               << std::dec << "; ";
      }
    }
  }
  if (wrong == 0) {
    return testing::AssertionSuccess();
  }
  return result << wrong << " pixels wrong (lit " << lit << ", hold row " << holdRow << ")";
}

class MeterGauge : public testing::Test {
 protected:
  void SetUp() override {
    ApplyMeterSettings(g);
    // The tests tick by hand.
    g.HoldTimer().stop();
  }
  const QImage& PaintAt(std::int32_t progress) {
    g.SetProgress(progress);
    g.Paint();
    return g.Image();
  }
  void Tick(int n) {
    for (int i = 0; i < n; ++i) {
      g.HoldTimerTick();
    }
  }
  TMusicGauge g;
};

TEST(MusicGauge, StartsOpaqueWithoutBitmapsAndWithItsHoldTimerRunning) {
  TMusicGauge g;
  EXPECT_TRUE(g.HoldTimer().isActive());
  EXPECT_EQ(g.HoldTimer().interval(), 10);
  EXPECT_TRUE(g.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_TRUE(g.Image().isNull());
  EXPECT_EQ(g.HeldPeak(), 0.0);
  // The values a layout leaves alone: range 0..100, zones at 80 and 60 %, peaks from 80 %.
  EXPECT_EQ(g.MaxValue() - g.MinValue(), 100);
  EXPECT_EQ(g.ZoneAB(), 80.0);
  EXPECT_EQ(g.PeakThreshold(), 80.0);
  EXPECT_EQ(g.PeakHoldTime(), 1000u);
}

TEST(MusicGauge, PercentUsesTheWholeRangeWithoutOverflow) {
  TMusicGauge g;
  g.SetMaxValue(0);
  g.SetMinValue(-400);
  g.SetProgress(-200);
  EXPECT_DOUBLE_EQ(g.Percent(), 50.0);
  g.SetProgress(-500);
  EXPECT_DOUBLE_EQ(g.Percent(), -25.0);
  // (2^31 - 1 + 400) / 400 * 100: far above the range, and positive.
  g.SetProgress(kInt32Max);
  EXPECT_DOUBLE_EQ(g.Percent(), (2147483647.0 + 400.0) / 4.0);
  g.SetProgress(kInt32Min);
  EXPECT_DOUBLE_EQ(g.Percent(), (-2147483648.0 + 400.0) / 4.0);

  g.SetMinValue(kInt32Min);
  g.SetMaxValue(kInt32Max);
  g.SetProgress(kInt32Max);
  EXPECT_DOUBLE_EQ(g.Percent(), 100.0);
  g.SetProgress(0);
  EXPECT_DOUBLE_EQ(g.Percent(), 2147483648.0 / 4294967295.0 * 100.0);

  // A falling range works the same way.
  g.SetMinValue(100);
  g.SetMaxValue(-100);
  g.SetProgress(50);
  EXPECT_DOUBLE_EQ(g.Percent(), 25.0);

  g.SetMinValue(7);
  g.SetMaxValue(7);
  for (std::int32_t v : {7, 8, 6, kInt32Max, kInt32Min}) {
    g.SetProgress(v);
    EXPECT_EQ(g.Percent(), 0.0) << v;
  }
}

TEST(MusicGauge, RowFromBottomRoundsHalfToEvenAndStaysNearTheBitmap) {
  TMusicGauge g;
  g.resize(kW, kH);
  EXPECT_EQ(g.RowFromBottom(104.5), 104);  // 104.5 -> even
  EXPECT_EQ(g.RowFromBottom(103.5), 106);  // 105.5 -> even
  EXPECT_EQ(g.RowFromBottom(146.3), 63);
  EXPECT_EQ(g.RowFromBottom(209.0), 0);
  EXPECT_EQ(g.RowFromBottom(0.0), 209);
  EXPECT_LT(g.RowFromBottom(1e300), 0);
  EXPECT_GE(g.RowFromBottom(-1e300), kH);
  EXPECT_LT(g.RowFromBottom(std::numeric_limits<double>::infinity()), 0);
}

TEST_F(MeterGauge, LightsTheRowsItsValueReaches) {
  g.SetPeakHold(false);
  // Lit rows r = nint((v + 400) / 400 * 100 * 209 / 100):
  //   0 -> 209; -50 -> 182.875 -> 183; -120 -> 146.3 -> 146; -200 -> 104.5 -> 104 (even);
  //   -400 -> 0, and anything lower is negative: nothing lit.
  const struct {
    std::int32_t progress;
    int lit;
  } cases[] = {{0, 209},  {-50, 183},  {-120, 146},    {-200, 104}, {-400, 0},
               {-401, 0}, {-60000, 0}, {kInt32Min, 0}, {1, 209},    {kInt32Max, 209}};
  for (const auto& c : cases) {
    EXPECT_TRUE(ShowsMeter(PaintAt(c.progress), c.lit, -1)) << "Progress " << c.progress;
  }
}

TEST_F(MeterGauge, ShortColumnsAreAllOutline) {
  g.SetPeakHold(false);
  // r = nint(k * 209 / 400) for Progress -400 + k.
  EXPECT_TRUE(ShowsMeter(PaintAt(-399), 1, -1));  // 0.5225 -> 1
  EXPECT_TRUE(ShowsMeter(PaintAt(-397), 2, -1));  // 1.5675 -> 2
  const QImage& three = PaintAt(-395);            // 2.6125 -> 3: one coloured row
  EXPECT_TRUE(ShowsMeter(three, 3, -1));
  EXPECT_EQ(three.pixel(16, 207), kGreen);
  EXPECT_EQ(three.pixel(16, 206), kBlack);
}

TEST_F(MeterGauge, TakesAPeakFromTheThresholdAndDrawsItInItsZone) {
  // -201 is 49.75 %, under the threshold of 50.
  EXPECT_TRUE(ShowsMeter(PaintAt(-201), 104, -1));  // 103.9775 -> 104
  EXPECT_EQ(g.HeldPeak(), 0.0);
  // -200 is exactly 50 %: taken. Its line lies at nint(209 - 104.5) = 104, just above the
  // column's top outline (row 105), in zone C.
  EXPECT_TRUE(ShowsMeter(PaintAt(-200), 104, 104));
  EXPECT_EQ(g.HeldPeak(), 50.0);
  EXPECT_EQ(g.HoldCount(), 0u);
  EXPECT_EQ(g.Image().pixel(16, 104), kGreen);
  EXPECT_EQ(g.Image().pixel(16, 105), kBlack);
  // Silence: only the line stays, on black.
  EXPECT_TRUE(ShowsMeter(PaintAt(-60000), 0, 104));
  EXPECT_EQ(g.HeldPeak(), 50.0);
}

TEST_F(MeterGauge, HoldLineOnTheColumnTopColoursTheOutline) {
  // 70 %: the line at nint(209 - 146.3) = 63 is the top row of a 146-row column.
  const QImage& image = PaintAt(-120);
  EXPECT_TRUE(ShowsMeter(image, 146, 63));
  EXPECT_EQ(image.pixel(16, 63), kYellow);
  // 87.5 %: line at nint(209 - 182.875) = 26, again the top row of its 183-row column.
  EXPECT_TRUE(ShowsMeter(PaintAt(-50), 183, 26));
  EXPECT_EQ(g.HeldPeak(), 87.5);
  // Falling back to 70 % keeps the higher peak.
  EXPECT_TRUE(ShowsMeter(PaintAt(-120), 146, 26));
  EXPECT_EQ(g.HeldPeak(), 87.5);
}

TEST_F(MeterGauge, PeakDropsOnTheHoldTimesTick) {
  PaintAt(-50);
  PaintAt(-400);
  Tick(49);
  EXPECT_EQ(g.HoldCount(), 49u);
  EXPECT_EQ(g.HeldPeak(), 87.5);
  g.Paint();
  EXPECT_TRUE(ShowsMeter(g.Image(), 0, 26));
  Tick(1);
  EXPECT_EQ(g.HeldPeak(), 0.0);
  EXPECT_EQ(g.HoldCount(), 0u);
  g.Paint();
  EXPECT_TRUE(ShowsMeter(g.Image(), 0, -1));
  // Without a peak the ticks only count.
  Tick(60);
  EXPECT_EQ(g.HoldCount(), 60u);
  EXPECT_EQ(g.HeldPeak(), 0.0);
  // A hold time of 0 drops on the first tick.
  g.SetPeakHoldTime(0);
  PaintAt(-50);
  Tick(1);
  EXPECT_EQ(g.HeldPeak(), 0.0);
  EXPECT_EQ(g.HoldCount(), 0u);
}

TEST_F(MeterGauge, AnEqualLevelRenewsTheHoldALowerOneDoesNot) {
  PaintAt(-120);  // 70 %
  Tick(30);
  PaintAt(-200);  // 50 %: above the threshold but under the peak
  EXPECT_EQ(g.HoldCount(), 30u);
  EXPECT_EQ(g.HeldPeak(), 70.0);
  PaintAt(-120);  // the same 70 % again restarts the hold
  EXPECT_EQ(g.HoldCount(), 0u);
  Tick(49);
  EXPECT_EQ(g.HeldPeak(), 70.0);
  Tick(1);
  EXPECT_EQ(g.HeldPeak(), 0.0);
}

TEST_F(MeterGauge, APeakAtFullScaleIsHeldButHidden) {
  // 100 % puts the line on row 0, which the gauge's frame blackens.
  EXPECT_TRUE(ShowsMeter(PaintAt(0), 209, -1));
  EXPECT_EQ(g.HeldPeak(), 100.0);
  EXPECT_TRUE(ShowsMeter(PaintAt(-400), 0, -1));
  Tick(50);
  EXPECT_EQ(g.HeldPeak(), 0.0);
}

TEST_F(MeterGauge, WithoutPeakHoldNoPeakIsTakenOrDrawnButAnOldOneStillExpires) {
  PaintAt(-50);
  g.SetPeakHold(false);
  EXPECT_TRUE(ShowsMeter(PaintAt(-400), 0, -1));
  EXPECT_EQ(g.HeldPeak(), 87.5);
  PaintAt(0);
  EXPECT_EQ(g.HeldPeak(), 87.5) << "a higher level is not taken";
  Tick(50);
  EXPECT_EQ(g.HeldPeak(), 0.0);
  PaintAt(0);
  EXPECT_EQ(g.HeldPeak(), 0.0);
}

TEST_F(MeterGauge, ScreenReadersHearTheLevelInDecibels) {
  QAccessibleInterface* meter = QAccessible::queryAccessibleInterface(&g);
  ASSERT_NE(meter, nullptr);
  EXPECT_EQ(meter->role(), QAccessible::ProgressBar);
  QAccessibleValueInterface* value = meter->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->minimumValue().toDouble(), -40.0);
  EXPECT_EQ(value->maximumValue().toDouble(), 0.0);
  g.SetProgress(-123);
  EXPECT_EQ(value->currentValue().toDouble(), -12.3);
  EXPECT_EQ(meter->text(QAccessible::Value), "-12.3 dB");
  // Below the range (a silent block sends -60000) the value is the range's minimum.
  g.SetProgress(-60000);
  EXPECT_EQ(value->currentValue().toDouble(), -40.0);
  EXPECT_EQ(meter->text(QAccessible::Value), "-40.0 dB");
  // The owner's words for the level are the value's text and follow the name.
  g.setAccessibleName("Left level");
  g.SetLevelText("silence");
  EXPECT_EQ(meter->text(QAccessible::Value), "silence");
  EXPECT_EQ(meter->text(QAccessible::Name), "Left level, silence");
}

TEST_F(MeterGauge, EmptyAndExtremeRangesNeitherDivideByZeroNorOverflow) {
  g.SetPeakHold(false);
  g.SetMaxValue(-400);  // now MaxValue == MinValue
  for (std::int32_t v : {-400, -399, 0, -401, kInt32Max, kInt32Min}) {
    EXPECT_TRUE(ShowsMeter(PaintAt(v), 0, -1)) << v;
  }
  g.SetMinValue(kInt32Min);
  g.SetMaxValue(kInt32Min);
  EXPECT_TRUE(ShowsMeter(PaintAt(kInt32Max), 0, -1));

  // Extreme values and ranges stay inside the gauge.
  g.SetPeakHold(true);
  g.SetMinValue(-400);
  g.SetMaxValue(0);
  // Percent of INT32_MAX is about 5.4e8: the column is full and the held peak's line would lie
  // far above the gauge.
  EXPECT_TRUE(ShowsMeter(PaintAt(kInt32Max), 209, -1));
  EXPECT_GT(g.HeldPeak(), 1e8);
  EXPECT_TRUE(ShowsMeter(PaintAt(-400), 0, -1));
  g.SetPeakHold(false);
  g.SetMinValue(kInt32Min);
  g.SetMaxValue(kInt32Max);
  // 2^31 / (2^32 - 1) * 209 = 104.50000002...: just past the half, so 105.
  EXPECT_TRUE(ShowsMeter(PaintAt(0), 105, -1));
  EXPECT_TRUE(ShowsMeter(PaintAt(kInt32Max), 209, -1));
  EXPECT_TRUE(ShowsMeter(PaintAt(kInt32Min), 0, -1));
  // The falling range: the lowest value is now the full column.
  g.SetMinValue(kInt32Max);
  g.SetMaxValue(kInt32Min);
  EXPECT_TRUE(ShowsMeter(PaintAt(kInt32Min), 209, -1));
  EXPECT_TRUE(ShowsMeter(PaintAt(kInt32Max), 0, -1));
}

TEST_F(MeterGauge, ZoneBordersOutsideTheGaugeClipToIt) {
  g.SetPeakHold(false);
  const struct {
    double ab, bc;
    QRgb everywhere;
  } cases[] = {
      {150.0, -20.0, kYellow},                                   // B reaches the top, C is gone
      {-5.0, -10.0, kRed},                                       // only A
      {std::numeric_limits<double>::infinity(), 1e300, kGreen},  // C covers all
      {1e-300, -std::numeric_limits<double>::infinity(), kRed},
  };
  for (const auto& c : cases) {
    g.SetZoneAB(c.ab);
    g.SetZoneBC(c.bc);
    const QImage& image = PaintAt(0);
    for (int y = 1; y < kH - 1; ++y) {
      ASSERT_EQ(image.pixel(16, y), c.everywhere)
          << "ZoneAB " << c.ab << " ZoneBC " << c.bc << " row " << y;
    }
  }
}

TEST(MusicGauge, ColoursAreTakenRedInTheLowByte) {
  TMusicGauge g;
  g.resize(5, 10);
  g.HoldTimer().stop();
  g.SetPeakHold(false);
  g.SetZoneAB(0.0);  // zone A from top to bottom
  g.SetZoneBC(0.0);
  g.SetZoneAColor(0x00563412);  // blue 0x56, green 0x34, red 0x12
  g.SetProgress(100);
  g.Paint();
  EXPECT_EQ(g.Image().pixel(2, 5), qRgb(0x12, 0x34, 0x56));
}

TEST(MusicGauge, TinyAndResizedGaugesStayInsideTheirBitmap) {
  TMusicGauge g;
  g.HoldTimer().stop();
  g.SetProgress(100);
  for (const QSize size : {QSize(1, 1), QSize(2, 5), QSize(1, 40), QSize(0, 10), QSize(10, 0)}) {
    g.resize(size);
    g.Paint();
    if (size.isEmpty()) {
      EXPECT_TRUE(g.Image().isNull());
    } else {
      EXPECT_EQ(g.Image().size(), size);
    }
    for (int y = 0; y < g.Image().height(); ++y) {
      for (int x = 0; x < g.Image().width(); ++x) {
        EXPECT_EQ(g.Image().pixel(x, y), kBlack) << size.width() << "x" << size.height();
      }
    }
  }
  // 3x3, full: only the middle pixel is inside the column. Zones 80/60 of 3 rows put it in C.
  g.resize(3, 3);
  g.Paint();
  EXPECT_EQ(g.Image().pixel(1, 1), kGreen);
  EXPECT_EQ(g.Image().pixel(1, 2), kBlack);
  // Shrinking follows the widget: 100 rows at 50 % light rows 50..99.
  g.resize(20, 100);
  g.SetProgress(50);
  g.SetPeakHold(false);
  g.Paint();
  ASSERT_EQ(g.Image().size(), QSize(20, 100));
  EXPECT_EQ(g.Image().pixel(10, 50), kBlack);
  EXPECT_EQ(g.Image().pixel(10, 51), kGreen);
  EXPECT_EQ(g.Image().pixel(10, 49), kBlack);
}

TEST(MusicGauge, HiddenGaugeDrawsNothingAndTakesNoPeak) {
  TMusicGauge g;
  g.resize(kW, kH);
  g.SetProgress(100);
  g.SetZoneAB(90.0);
  g.SetMaxValue(100);
  EXPECT_TRUE(g.Image().isNull());
  EXPECT_EQ(g.HeldPeak(), 0.0);
}

// Counts the paint events the gauge receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++paints;
    }
    return false;
  }
};

class ShownMeterGauge : public MeterGauge {
 protected:
  void SetUp() override {
    MeterGauge::SetUp();
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.installEventFilter(&counter);
  }
  PaintCounter counter;
};

// What reached the window, read back without running the event loop.
QImage Screen(TMusicGauge& g) {
  return g.screen()
      ->grabWindow(g.winId())
      .toImage()
      .convertToFormat(QImage::Format_RGB32)
      .copy(0, 0, kW, kH);
}

TEST_F(ShownMeterGauge, ProgressReachesTheScreenBeforeItReturnsAndAnUnchangedPictureOnce) {
  g.SetProgress(-50);
  g.SetProgress(-200);
  EXPECT_EQ(counter.paints, 2);
  EXPECT_TRUE(ShowsMeter(Screen(g), 104, 26));
  // The same value again: the peak-hold logic runs (the fall from -50 keeps counting, a level
  // at the peak would take it again), but the screen shows this picture already.
  Tick(3);
  g.SetProgress(-200);
  EXPECT_EQ(g.HoldCount(), 3u);
  EXPECT_EQ(counter.paints, 2);
  g.SetProgress(-50);
  EXPECT_EQ(g.HoldCount(), 0u);
  EXPECT_EQ(counter.paints, 3);
  g.SetPeakHold(false);
  g.SetProgress(0);
  EXPECT_EQ(counter.paints, 4);
  EXPECT_TRUE(ShowsMeter(Screen(g), 209, -1));

  // Inside a batch the value and the hold change at once; the screen follows when it ends.
  g.SetPeakHold(true);
  {
    const RepaintBatch batch;
    g.SetProgress(-20);
    EXPECT_EQ(g.HeldPeak(), 95.0);
    EXPECT_EQ(counter.paints, 4);
    EXPECT_TRUE(ShowsMeter(Screen(g), 209, -1));
  }
  EXPECT_EQ(counter.paints, 5);
  EXPECT_TRUE(ShowsMeter(Screen(g), 199, 10));
}

TEST_F(ShownMeterGauge, RangeAndZoneBordersRepaintColoursAndHoldSettingsWait) {
  g.SetPeakHold(false);
  g.SetProgress(0);
  const int afterProgress = counter.paints;
  g.SetZoneAColor(0xFF0000);  // blue
  g.SetPeakThreshold(10.0);
  g.SetPeakHold(true);
  EXPECT_EQ(counter.paints, afterProgress);
  EXPECT_EQ(g.Image().pixel(16, 10), kRed);
  EXPECT_EQ(g.HeldPeak(), 0.0);

  g.SetZoneAB(50.0);  // A now reaches down to row 104, B is hidden under C from row 84
  EXPECT_EQ(counter.paints, afterProgress + 1);
  EXPECT_EQ(g.Image().pixel(16, 10), kBlue);
  EXPECT_EQ(g.Image().pixel(16, 83), kBlue);
  EXPECT_EQ(g.HeldPeak(), 100.0) << "the repaint took the peak";

  g.SetZoneBC(0.0);
  EXPECT_EQ(counter.paints, afterProgress + 2);
  EXPECT_EQ(g.Image().pixel(16, 150), qRgb(255, 255, 0));

  g.SetMaxValue(400);  // Progress 0 is now halfway: 104 rows
  EXPECT_EQ(counter.paints, afterProgress + 3);
  EXPECT_EQ(g.Image().pixel(16, 104), kBlack);
  EXPECT_EQ(g.Image().pixel(16, 106), qRgb(255, 255, 0));

  g.SetMinValue(0);  // and now the bottom
  EXPECT_EQ(counter.paints, afterProgress + 4);
  EXPECT_EQ(g.Image().pixel(16, 207), kBlack);
}

TEST_F(ShownMeterGauge, ImageAndHoldFollowTheValueWhileQtCannotDraw) {
  g.setUpdatesEnabled(false);
  g.SetProgress(-120);
  EXPECT_EQ(counter.paints, 0);
  EXPECT_EQ(g.HeldPeak(), 70.0);
  EXPECT_TRUE(ShowsMeter(g.Image(), 146, 63));
  g.setUpdatesEnabled(true);
}

TEST_F(ShownMeterGauge, ADroppedPeakIsClearedAtOnce) {
  g.SetProgress(-50);
  g.SetProgress(-400);
  const int before = counter.paints;
  Tick(49);
  EXPECT_EQ(counter.paints, before);
  Tick(1);
  EXPECT_EQ(counter.paints, before + 1);
  EXPECT_TRUE(ShowsMeter(g.Image(), 0, -1));
}

TEST_F(ShownMeterGauge, TheHoldTimerDropsPeaksByItselfAndMergesLateTicks) {
  g.SetPeakHoldTime(3);
  g.HoldTimer().start();
  QElapsedTimer clock;
  clock.start();
  g.SetProgress(-50);
  ASSERT_EQ(g.HeldPeak(), 87.5);
  // The level falls away; a level that stayed would take the peak again at the drop's repaint.
  g.SetProgress(-400);
  EXPECT_TRUE(QTest::qWaitFor([&] { return g.HeldPeak() == 0.0; }, 5000));
  // Three ticks of at least 10 ms; the first may come at once.
  EXPECT_GE(clock.elapsed(), 20);
  EXPECT_TRUE(ShowsMeter(g.Image(), 0, -1));

  // The window thread sleeps through ten periods: they come as one tick.
  const std::uint32_t count = g.HoldCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  QCoreApplication::processEvents();
  EXPECT_EQ(g.HoldCount(), count + 1);
}

}  // namespace
}  // namespace sonavik

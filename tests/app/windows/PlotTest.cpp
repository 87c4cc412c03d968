// SPDX-License-Identifier: MIT
// The plots as they reach the screen: pixels of the vector box, the scope and the two
// spectrum boxes after a measuring pass over a known block.
#include <QBackingStore>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "WindowsFixture.h"
#include "analysis/WaveFFT.h"
#include "app/PaintBox.h"

namespace sonavik::test {
namespace {

constexpr QRgb kCyan = 0x00FFFF;  // as 0x00RRGGBB
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kPink = 0xFFEEEE;

QRgb Rgb(const QImage& image, QPoint p) {
  return image.pixel(p) & 0xFFFFFF;
}

Ring Sine(double amplitudeL, double cyclesL, double amplitudeR, double cyclesR) {
  Ring ring(1024);
  for (int i = 0; i < 1024; ++i) {
    ring[i].left = static_cast<std::int16_t>(
        std::lround(amplitudeL * std::sin(2 * std::numbers::pi * cyclesL * i / 2048)));
    ring[i].right = static_cast<std::int16_t>(
        std::lround(amplitudeR * std::sin(2 * std::numbers::pi * cyclesR * i / 2048)));
  }
  return ring;
}

class WindowsPlot : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    FindControl<QScrollBar>(*form, "ScrollBar1")->setValue(0);
  }
};

TEST_F(WindowsPlot, SilenceLeavesTheVectorBoxBlack) {
  // A constant 3000 on the left puts the captured half at x = 25: a stroke back to 23.
  Fill(ConstantRing(3000, 0));
  Pass();
  const auto stroke = Lit(FindControl<TPaintBox>(*form, "PaintBox1")->Image());
  ASSERT_GE(stroke.size(), 2u);
  for (QPoint p : stroke) {
    EXPECT_EQ(p.y(), 24);
    EXPECT_TRUE(p.x() >= 23 && p.x() <= 25) << p.x();
  }
  // Every point on the centre (23, 24): a line of no length, nothing to see.
  Fill(ConstantRing(0, 0));
  Pass();
  const QImage& image = FindControl<TPaintBox>(*form, "PaintBox1")->Image();
  ASSERT_EQ(image.size(), QSize(47, 47));
  EXPECT_TRUE(Lit(image).empty());
}

TEST_F(WindowsPlot, LeftOnlySoundLiesOnTheCentreRowAcrossItsSwing) {
  Fill(Sine(15000, 8, 0, 0));  // 15000 / 1500 = 10 pixels either side of x = 23
  Pass();
  const QImage& image = FindControl<TPaintBox>(*form, "PaintBox1")->Image();
  const auto lit = Lit(image);
  ASSERT_FALSE(lit.empty());
  int minX = 100, maxX = -1;
  for (QPoint p : lit) {
    EXPECT_EQ(p.y(), 24) << p.x();
    EXPECT_EQ(Rgb(image, p), kCyan);
    minX = std::min(minX, p.x());
    maxX = std::max(maxX, p.x());
  }
  EXPECT_EQ(minX, 13);
  EXPECT_EQ(maxX, 33);
}

TEST_F(WindowsPlot, EqualChannelsDrawTheRisingDiagonal) {
  Fill(Sine(30000, 4, 30000, 4));  // +-20 pixels
  Pass();
  const auto lit = Lit(FindControl<TPaintBox>(*form, "PaintBox1")->Image());
  ASSERT_FALSE(lit.empty());
  for (QPoint p : lit) {
    // x = v / 1500 + 23 and y = 47 - (v / 1500 + 23): x + y = 47.
    EXPECT_EQ(p.x() + p.y(), 47) << p.x() << "," << p.y();
  }
  EXPECT_TRUE(std::count(lit.begin(), lit.end(), QPoint(43, 4)) == 1 ||
              std::count(lit.begin(), lit.end(), QPoint(42, 5)) == 1);
}

TEST_F(WindowsPlot, ScopeFollowsItsButtons) {
  waveDlg->show();
  // Left a slow sine of 20000 (40 rows either side of 128), right silent (flat on 128).
  Fill(Sine(20000, 2, 0, 0));
  Pass();
  const QImage& image = waveDlg->PaintBox1()->Image();
  ASSERT_EQ(image.size(), QSize(404, 256));
  auto lit = Lit(image);
  ASSERT_FALSE(lit.empty());
  int top = 256, bottom = -1;
  std::vector<bool> columns(404, false);
  for (QPoint p : lit) {
    EXPECT_EQ(Rgb(image, p), kWhite);
    top = std::min(top, p.y());
    bottom = std::max(bottom, p.y());
    columns[p.x()] = true;
  }
  EXPECT_EQ(top, 256 - (20000 / 500 + 128));
  EXPECT_EQ(bottom, 256 - (-20000 / 500 + 128));
  // 2.5 frames to a pixel: every column of the box is reached.
  EXPECT_TRUE(std::all_of(columns.begin(), columns.end(), [](bool b) { return b; }));

  // Only "Right ch.": a pale pink line on the middle row, nothing else.
  waveDlg->SpeedButton1()->setChecked(false);
  waveDlg->SpeedButton2()->setChecked(true);
  Pass();
  lit = Lit(waveDlg->PaintBox1()->Image());
  ASSERT_EQ(lit.size(), 404u);
  for (QPoint p : lit) {
    EXPECT_EQ(p.y(), 128);
    EXPECT_EQ(Rgb(waveDlg->PaintBox1()->Image(), p), kPink);
  }

  // Both: the right trace is drawn over the left one where they cross.
  waveDlg->SpeedButton1()->setChecked(true);
  Pass();
  const QImage& both = waveDlg->PaintBox1()->Image();
  EXPECT_EQ(Rgb(both, QPoint(0, 128)), kPink);
  // Frame 256 is the left crest: x = nint(256 / 2.5) = 102, y = 256 - (40 + 128) = 88.
  EXPECT_EQ(Rgb(both, QPoint(102, 88)), kWhite);

  // Neither: cleared to black.
  waveDlg->SpeedButton1()->setChecked(false);
  waveDlg->SpeedButton2()->setChecked(false);
  Pass();
  EXPECT_TRUE(Lit(waveDlg->PaintBox1()->Image()).empty());
}

TEST_F(WindowsPlot, HiddenToolWindowsAreNeitherComputedNorDrawn) {
  Fill(Sine(20000, 2, 20000, 3));
  Pass();
  EXPECT_TRUE(waveDlg->PaintBox1()->Image().isNull());
  EXPECT_TRUE(darudadeDlg->PaintBox1()->Image().isNull());
  EXPECT_EQ(form->WaveFFT1().Count(), 0);
  darudadeDlg->show();
  Pass();
  EXPECT_FALSE(darudadeDlg->PaintBox1()->Image().isNull());
  EXPECT_EQ(form->WaveFFT1().Count(), 2048);
  EXPECT_TRUE(waveDlg->PaintBox1()->Image().isNull());
}

// The column of the highest point of a spectrum trace.
int PeakColumn(const QImage& image, QRgb colour, int* row) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (Rgb(image, QPoint(x, y)) == colour) {
        *row = y;
        return x;
      }
    }
  }
  *row = -1;
  return -1;
}

TEST_F(WindowsPlot, SpectrumPeaksSitAtTheirBinsOnTheLogAxis) {
  darudadeDlg->show();
  // Bin 100 on the left, bin 10 on the right (cycles over the 2048-frame block).
  Fill(Sine(8000, 100, 8000, 10));
  Pass();
  const QImage& left = darudadeDlg->PaintBox1()->Image();
  const QImage& right = darudadeDlg->PaintBox2()->Image();
  ASSERT_EQ(left.size(), QSize(332, 145));
  ASSERT_EQ(right.size(), QSize(332, 145));
  int rowL = 0, rowR = 0;
  // 110 pixels per decade of the bin number. Half the block is silent, so the peak spreads
  // over the neighbouring bins; the top of the trace lies between them.
  const int peakL = PeakColumn(left, kWhite, &rowL);
  EXPECT_GE(peakL, std::lround(110 * std::log10(99.0)));
  EXPECT_LE(peakL, std::lround(110 * std::log10(101.0)));
  const int peakR = PeakColumn(right, kPink, &rowR);
  EXPECT_GE(peakR, std::lround(110 * std::log10(9.0)));
  EXPECT_LE(peakR, std::lround(110 * std::log10(11.0)));
  // A windowed peak of this size is some 10^5: 3 * 5^2 = 75 rows over the bottom, give or take.
  EXPECT_GT(145 - rowL, 50);
  EXPECT_GT(145 - rowR, 50);
  for (QPoint p : Lit(left)) {
    EXPECT_EQ(Rgb(left, p), kWhite);
  }
  for (QPoint p : Lit(right)) {
    EXPECT_EQ(Rgb(right, p), kPink);
  }
}

TEST_F(WindowsPlot, ACoveredPlotShowsItsLastPictureAgain) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  Fill(Sine(15000, 8, 0, 0));
  Pass();
  auto* box = FindControl<TPaintBox>(*form, "PaintBox1");
  const QImage picture = box->Image();
  // What the pass put in the window's own pixels.
  const auto* window = dynamic_cast<const QImage*>(form->backingStore()->paintDevice());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->copy(QRect(box->mapTo(form.get(), QPoint(0, 0)), box->size()))
                .convertToFormat(QImage::Format_RGB32),
            picture);
  // What the widget paints when the window system asks for it.
  const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, picture);
}

// A pass that leaves every picture as the screen shows it sends nothing to the screen, so a
// meter left open on silence or a steady tone costs the desktop little; a change still shows.
TEST_F(WindowsPlot, APassThatChangesNoPictureRepaintsNothing) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      paints += event->type() == QEvent::Paint ? 1 : 0;
      return false;
    }
  } counter;
  auto* box = FindControl<TPaintBox>(*form, "PaintBox1");
  for (QWidget* control : {static_cast<QWidget*>(box), FindControl<QWidget>(*form, "MusicGauge1"),
                           FindControl<QWidget>(*form, "MusicGauge2")}) {
    control->installEventFilter(&counter);
  }
  const auto windowShows = [&] {
    const auto* window = dynamic_cast<const QImage*>(form->backingStore()->paintDevice());
    return window != nullptr &&
           window->copy(QRect(box->mapTo(form.get(), QPoint(0, 0)), box->size()))
                   .convertToFormat(QImage::Format_RGB32) == box->Image();
  };
  for (const Ring& ring : {ConstantRing(0, 0), Sine(15000, 8, 0, 0), Sine(15000, 8, 9000, 3)}) {
    Fill(ring);
    Pass();
    EXPECT_TRUE(windowShows());
    const int before = counter.paints;
    Pass();
    EXPECT_EQ(counter.paints, before);
    EXPECT_TRUE(windowShows());
  }
  // The right channel falls silent: the box and the right gauge change, the left one does not.
  Fill(Sine(15000, 8, 0, 0));
  const int before = counter.paints;
  Pass();
  EXPECT_EQ(counter.paints - before, 2);
  EXPECT_TRUE(windowShows());
}

// The plot box draws a trace with fewer strokes than it has points; it must light exactly the
// pixels Qt's own one-pixel line through every point lights.
TEST(PlotBox, LightsThePixelsOfTheWholeTrace) {
  const auto whole = [](QSize size, std::span<const QPoint> points) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(RgbFromTColor(kPlotBackground));
    QPainter painter(&image);
    QPen pen(ColorFromTColor(kLeftTrace));
    pen.setWidth(0);
    painter.setPen(pen);
    painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    return image;
  };
  TPaintBox box;
  std::mt19937 random(7);
  std::vector<QPoint> points;
  for (int round = 0; round < 20000; ++round) {
    // Short lines in a small picture, many of them with repeated points, rows and columns, and
    // crossing its edges; every 100th a scope-like trace with a flat stretch.
    const bool trace = round % 100 == 0;
    const QSize size = trace ? QSize(82, 20) : QSize(12, 12);
    const int n = trace ? 205 : 2 + static_cast<int>(random() % 11);
    const int span = round % 4 == 0 ? 90 : 18;
    points.resize(n);
    for (int i = 0; i < n; ++i) {
      QPoint p(static_cast<int>(random() % span) - 3, static_cast<int>(random() % span) - 3);
      if (trace) {
        p = QPoint((4 * i + 5) / 10, i > 100 ? 10 : static_cast<int>(random() % 30) - 5);
      } else if (i > 0 && random() % 3 == 0) {
        p = random() % 2 ? points[i - 1] : QPoint(points[i - 1].x(), p.y());
      }
      points[i] = p;
    }
    box.resize(size);
    box.Clear(kPlotBackground);
    box.Polyline(points, kLeftTrace);
    ASSERT_EQ(box.Image(), whole(size, points)) << "round " << round;
  }
}

}  // namespace
}  // namespace sonavik::test

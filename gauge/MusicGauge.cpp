// SPDX-License-Identifier: MIT
#include "gauge/MusicGauge.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "gauge/AccessibleValueWidget.h"
#include "gauge/RepaintBatch.h"

namespace sonavik {

namespace {

// The shortest period the platform's window timers honour; asking for less gets this.
constexpr int kHoldTickMs = 10;

constexpr QRgb kBlack = 0xFF000000u;

// Nearest integer, halfway to even, kept within lo..hi before it becomes an int: rows are
// worked out from arbitrary doubles and 32-bit values, far beyond what an int holds. NaN has
// no nearest integer; it goes to lo.
int NintClamped(long double x, int lo, int hi) {
  if (std::isnan(x)) {
    return lo;
  }
  const long double n = std::nearbyint(x);
  if (n <= lo) {
    return lo;
  }
  if (n >= hi) {
    return hi;
  }
  return static_cast<int>(n);
}

// Rows of a 32-bit image, reached without a detach check per row (a paint touches every row
// several times).
class Pixels {
 public:
  explicit Pixels(QImage& image)
      : bits_(reinterpret_cast<QRgb*>(image.bits())),
        stride_(image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb))),
        width_(image.width()) {}
  QRgb* Row(int y) const { return bits_ + y * stride_; }
  void FillRows(int y1, int y2, QRgb colour) const {
    for (int y = y1; y < y2; ++y) {
      std::fill(Row(y), Row(y) + width_, colour);
    }
  }

 private:
  QRgb* bits_;
  qsizetype stride_;
  int width_;
};

// Row of the zone border that lies `percent` of the height above the bottom edge, limited to
// the bitmap (0 = the zone reaches the top, H = it is not there at all).
int ZoneBorderRow(int h, double percent) {
  return h -
         NintClamped(static_cast<long double>(h) * (static_cast<long double>(percent) / 100), 0, h);
}

// A gauge value in decibels: the gauges count tenths of one.
double Decibels(std::int32_t tenths) {
  return tenths / 10.0;
}

// Progress as assistive technology reads it: inside the declared range (a silent block sends
// far less than the minimum).
std::int32_t ValueInRange(const TMusicGauge& gauge) {
  return std::max(gauge.MinValue(), std::min(gauge.Progress(), gauge.MaxValue()));
}

// What a screen reader sees of a gauge: a meter with the level as its value, in decibels. The
// sound sets the level, so the value cannot be set from outside.
class AccessibleGauge : public AccessibleValueWidget {
 public:
  explicit AccessibleGauge(TMusicGauge* gauge)
      : AccessibleValueWidget(gauge, QAccessible::ProgressBar), gauge_(gauge) {}

  QString text(QAccessible::Text which) const override {
    if (which == QAccessible::Value) {
      if (!gauge_->LevelText().isEmpty()) {
        return gauge_->LevelText();
      }
      return QStringLiteral("%1 dB").arg(Decibels(ValueInRange(*gauge_)), 0, 'f', 1);
    }
    QString text = QAccessibleWidget::text(which);
    if (which == QAccessible::Name && !gauge_->LevelText().isEmpty()) {
      text += QStringLiteral(", ") + gauge_->LevelText();
    }
    return text;
  }

  QVariant currentValue() const override { return Decibels(ValueInRange(*gauge_)); }
  void setCurrentValue(const QVariant& /*value*/) override {}
  QVariant maximumValue() const override { return Decibels(gauge_->MaxValue()); }
  QVariant minimumValue() const override { return Decibels(gauge_->MinValue()); }
  QVariant minimumStepSize() const override { return Decibels(1); }

 private:
  TMusicGauge* gauge_;
};

// Qt asks the factories for each class of an object's ancestry, most derived first, and its
// accessibility cache owns what they return.
QAccessibleInterface* GaugeAccessibilityFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(TMusicGauge::staticMetaObject.className())) {
    if (auto* gauge = qobject_cast<TMusicGauge*>(object)) {
      return new AccessibleGauge(gauge);
    }
  }
  return nullptr;
}

}  // namespace

TMusicGauge::TMusicGauge(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(GaugeAccessibilityFactory);
    return true;
  }();
  (void)factoryInstalled;
  holdTimer_.setTimerType(Qt::PreciseTimer);
  holdTimer_.setInterval(kHoldTickMs);
  connect(&holdTimer_, &QTimer::timeout, this, &TMusicGauge::HoldTimerTick);
  // Every pixel is ours: nothing behind the gauge is erased or drawn first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  holdTimer_.start();
}

TMusicGauge::~TMusicGauge() {
  // No tick may reach a half-destroyed gauge.
  holdTimer_.stop();
}

void TMusicGauge::SetZoneAB(double value) {
  zoneAB_ = value;
  RepaintNow();
}

void TMusicGauge::SetZoneBC(double value) {
  zoneBC_ = value;
  RepaintNow();
}

void TMusicGauge::SetMaxValue(std::int32_t value) {
  maxValue_ = value;
  RepaintNow();
}

void TMusicGauge::SetMinValue(std::int32_t value) {
  minValue_ = value;
  RepaintNow();
}

void TMusicGauge::SetProgress(std::int32_t value) {
  const std::int32_t before = ValueInRange(*this);
  progress_ = value;
  RepaintNow();
  const std::int32_t after = ValueInRange(*this);
  if (after != before && QAccessible::isActive()) {
    QAccessibleValueChangeEvent event(this, Decibels(after));
    QAccessible::updateAccessibility(&event);
  }
}

void TMusicGauge::SetLevelText(const QString& text) {
  if (text == levelText_) {
    return;
  }
  levelText_ = text;
  if (QAccessible::isActive()) {
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
}

void TMusicGauge::RepaintNow() {
  if (!isVisible()) {
    return;
  }
  // The image and the peak hold follow the value at once, also when the window cannot be
  // drawn right now (not exposed yet, updates off): the screen then gets the image with the
  // next paint event.
  Paint();
  if (shownPicture_ == paintedPicture_) {
    return;  // the screen shows this very picture already
  }
  if (!RepaintBatch::Defer(*this)) {
    repaint();
  }
}

void TMusicGauge::HoldTimerTick() {
  ++holdCount_;
  if (holdCount_ >= peakHoldTime_ && heldPeak_ > 0) {
    heldPeak_ = 0;
    holdCount_ = 0;
    RepaintNow();
  }
}

double TMusicGauge::Percent() const {
  // In 64 bits neither difference can overflow, whatever the three values are.
  const std::int64_t span = std::int64_t{maxValue_} - minValue_;
  if (span == 0) {
    // An empty range shows an empty column.
    return 0.0;
  }
  const std::int64_t offset = std::int64_t{progress_} - minValue_;
  const long double p = static_cast<long double>(offset) / static_cast<long double>(span) * 100.0L;
  return static_cast<double>(p);
}

int TMusicGauge::RowFromBottom(double h) const {
  // Anything off the bitmap becomes the row just outside it, which nothing draws on.
  const int height = this->height();
  return NintClamped(static_cast<long double>(height) - h, -1, height);
}

int TMusicGauge::LitRows(double percent) const {
  // More than the height lights no more than the whole column: its top outline row falls
  // off the bitmap then, but the gauge's own outline blackens row 0 anyway.
  const int height = this->height();
  return NintClamped(static_cast<long double>(percent) * height / 100, 0, height);
}

void TMusicGauge::Paint() {
  const int w = width();
  const int h = height();
  const QSize size(w, h);
  if (zoneBitmap_.size() != size) {
    zoneBitmap_ = QImage(size, QImage::Format_RGB32);
  }
  if (levelBitmap_.size() != size) {
    levelBitmap_ = QImage(size, QImage::Format_RGB32);
  }
  const bool drawable = w > 0 && h > 0 && !zoneBitmap_.isNull() && !levelBitmap_.isNull();
  // What the image holds now; a bitmap made anew above comes with a new size, so no picture
  // of the old one matches it.
  const std::optional<Picture> before = std::exchange(paintedPicture_, std::nullopt);

  // The picture is the zone picture masked by the level: inside the lit column and along the
  // peak-hold line the zones show, elsewhere black, the gauge framed in black on top, left and
  // right (the bottom row shows a hold line on it).
  const double p = Percent();
  int holdRow = -1;
  if (peakHold_) {
    if (p >= peakThreshold_ && p >= heldPeak_) {
      holdCount_ = 0;
      heldPeak_ = p;
    }
    if (heldPeak_ > 0 && drawable) {
      holdRow = RowFromBottom(heldPeak_ / 100 * h);
    }
  }
  if (!drawable) {
    return;
  }

  // Zones: A at the top, B over it from its border down, C over both from its border down.
  // The picture changes only with the size, the borders and the colours: it is made again
  // when one of them has changed since it was made.
  const Pixels zone(zoneBitmap_);
  const ZoneKey key{w,
                    h,
                    ZoneBorderRow(h, zoneAB_),
                    ZoneBorderRow(h, zoneBC_),
                    RgbFromTColor(zoneAColor_),
                    RgbFromTColor(zoneBColor_),
                    RgbFromTColor(zoneCColor_)};
  // A new bitmap comes with a new size, so the key tells that one apart too.
  if (key != zoneKey_) {
    zone.FillRows(0, h, key.colourA);
    zone.FillRows(key.rowAB, h, key.colourB);
    zone.FillRows(key.rowBC, h, key.colourC);
    zoneKey_ = key;
  }

  const Pixels level(levelBitmap_);
  const int top = h - LitRows(p);
  paintedPicture_ = Picture{key, top, holdRow};
  if (paintedPicture_ == before) {
    return;  // the image holds this very picture already
  }
  level.FillRows(0, 1, kBlack);
  for (int y = 1; y < h; ++y) {
    QRgb* to = level.Row(y);
    const bool lit = y == holdRow || (y > top && y < h - 1);
    if (lit && w > 2) {
      std::copy(zone.Row(y) + 1, zone.Row(y) + w - 1, to + 1);
    } else {
      std::fill(to, to + w, kBlack);
    }
    to[0] = kBlack;
    to[w - 1] = kBlack;
  }
}

void TMusicGauge::paintEvent(QPaintEvent* event) {
  Paint();
  if (levelBitmap_.isNull()) {
    shownPicture_.reset();
    return;
  }
  // What the screen shows from now on, as far as this paint reaches.
  if (visibleRegion().subtracted(event->region()).isEmpty()) {
    shownPicture_ = paintedPicture_;
  } else if (shownPicture_ != paintedPicture_) {
    shownPicture_.reset();
  }
  QPainter painter(this);
  // At a device pixel ratio above 1 the image is stretched; nearest pixels keep columns sharp.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QRect(0, 0, width(), height()), levelBitmap_);
}

}  // namespace sonavik

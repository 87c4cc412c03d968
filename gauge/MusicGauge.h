// SPDX-License-Identifier: MIT
// TMusicGauge: a vertical three-zone level gauge with a peak-hold line, composed off-screen
// row by row (the zones where the column is lit and on the hold line, black elsewhere, the
// outline) and shown in one copy.
//
// The widget is opaque and repaints synchronously: a setter that changes the picture runs
// Paint and the screen copy before it returns, as long as the gauge is visible (the copy
// waits for the end of an open RepaintBatch, and is left out when the screen shows that very
// picture already). The peak-hold state advances inside Paint, so a hidden gauge takes no
// peaks.
//
// The hold timer ticks every 10 ms on the window thread. Qt does not queue the ticks that
// fall due while the thread is busy (a measuring pass sleeping, say): they arrive as one.
//
// To assistive technology a gauge is a read-only level meter whose value is Progress in
// decibels, held inside MinValue..MaxValue: the program's gauges count tenths of a decibel.
// What a listener hears as the level is the owner's wording (LevelText), also spoken after the
// name, since not every bridge passes a value's text on. A change is announced only while
// assistive technology listens, so a pass that nobody listens to costs nothing more.
#pragma once

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "gauge/Color.h"

namespace sonavik {

class TMusicGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TMusicGauge(QWidget* parent = nullptr);
  ~TMusicGauge() override;

  double ZoneAB() const { return zoneAB_; }
  void SetZoneAB(double value);  // stores, then repaints
  double ZoneBC() const { return zoneBC_; }
  void SetZoneBC(double value);  // stores, then repaints
  TColor ZoneAColor() const { return zoneAColor_; }
  void SetZoneAColor(TColor value) { zoneAColor_ = value; }
  TColor ZoneBColor() const { return zoneBColor_; }
  void SetZoneBColor(TColor value) { zoneBColor_ = value; }
  TColor ZoneCColor() const { return zoneCColor_; }
  void SetZoneCColor(TColor value) { zoneCColor_ = value; }
  bool PeakHold() const { return peakHold_; }
  void SetPeakHold(bool value) { peakHold_ = value; }
  std::uint32_t PeakHoldTime() const { return peakHoldTime_; }
  void SetPeakHoldTime(std::uint32_t value) { peakHoldTime_ = value; }
  double PeakThreshold() const { return peakThreshold_; }
  void SetPeakThreshold(double value) { peakThreshold_ = value; }
  std::int32_t MaxValue() const { return maxValue_; }
  void SetMaxValue(std::int32_t value);  // stores, then repaints
  std::int32_t MinValue() const { return minValue_; }
  void SetMinValue(std::int32_t value);  // stores, then repaints
  std::int32_t Progress() const { return progress_; }
  void SetProgress(std::int32_t value);  // stores and repaints at once, also when unchanged
  // The level in words for assistive technology ("-6 dB", "silence"); empty: Progress in
  // decibels. A change is announced as a change of the name.
  const QString& LevelText() const { return levelText_; }
  void SetLevelText(const QString& text);

  double HeldPeak() const { return heldPeak_; }
  std::uint32_t HoldCount() const { return holdCount_; }
  QTimer& HoldTimer() { return holdTimer_; }
  void HoldTimerTick();
  double Percent() const;
  int RowFromBottom(double h) const;

  // Builds the image without showing it (zones, lit column, peak-hold line, frame) and
  // advances the peak hold; paintEvent shows it. An image that holds this picture already is
  // left as it is.
  void Paint();
  // The finished image of the last paint (null before the first).
  const QImage& Image() const { return levelBitmap_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double zoneAB_ = 80.0;
  double zoneBC_ = 60.0;
  TColor zoneAColor_ = 0x0000FF;
  TColor zoneBColor_ = 0x00FFFF;
  TColor zoneCColor_ = 0x00FF00;
  bool peakHold_ = true;
  std::uint32_t peakHoldTime_ = 1000;
  double peakThreshold_ = 80.0;
  std::int32_t maxValue_ = 100;
  std::int32_t minValue_ = 0;
  std::int32_t progress_ = 0;
  QString levelText_;
  double heldPeak_ = 0.0;
  std::uint32_t holdCount_ = 0;
  QTimer holdTimer_;
  // What the zone picture was made for: size, border rows and colours.
  struct ZoneKey {
    int width = 0;
    int height = 0;
    int rowAB = 0;
    int rowBC = 0;
    QRgb colourA = 0;
    QRgb colourB = 0;
    QRgb colourC = 0;
    bool operator==(const ZoneKey&) const = default;
  };
  ZoneKey zoneKey_;  // a drawable gauge's size is never the default 0 x 0
  // Everything a picture depends on: the zones, the first lit row, the hold line's row.
  struct Picture {
    ZoneKey zones;
    int top = 0;
    int holdRow = -1;
    bool operator==(const Picture&) const = default;
  };
  std::optional<Picture> paintedPicture_;  // of the image, none when nothing could be drawn
  std::optional<Picture> shownPicture_;    // of what the screen shows, none when unknown
  QImage zoneBitmap_;
  QImage levelBitmap_;

  void RepaintNow();
  int LitRows(double percent) const;
};

}  // namespace sonavik

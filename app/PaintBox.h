// SPDX-License-Identifier: MIT
// TPaintBox: a plot area. The measuring pass composes a picture into it (background, then
// polylines) and it goes to the screen at once; when the window system asks the area to be
// drawn again (after it was covered, say) the last picture comes back, not a blank box.
// The picture is kept as what to draw, and drawn straight into the window's own pixels when
// the window paints into an image of its own (the usual case), so no copy of it is made.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <span>
#include <vector>

#include "gauge/Color.h"

namespace sonavik {

class TPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintBox(QWidget* parent = nullptr);
  ~TPaintBox() override;

  // Starts a new picture: the whole box in one colour.
  void Clear(TColor background);
  // One connected line through the points in order, one pixel wide, not smoothed; points
  // outside the box are clipped.
  void Polyline(std::span<const QPoint> points, TColor pen);
  // Puts the picture on the screen before returning, or with the rest of its window when an
  // open RepaintBatch ends (nothing while the box is hidden, or when the screen shows this
  // very picture already).
  void Present();

  // The picture as composed so far (null before the first Clear).
  const QImage& Image() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Line {
    std::size_t first;
    std::size_t count;
    QRgb pen;
    bool operator==(const Line&) const = default;
  };
  // What the screen shows of the box, as the picture it was drawn from.
  struct ShownPicture {
    bool valid = false;  // false: not known
    QSize size;
    QRgb background = 0;
    std::vector<QPoint> points;
    std::vector<Line> lines;
  };
  // Whether the screen shows the current picture already.
  bool Shown() const;
  // Draws the picture into target, whose top left is the picture's.
  void Compose(QImage& target) const;
  // Draws the picture straight into the pixels the painter paints into, when those are an
  // image this box may write on as a whole; false when they are not.
  bool ComposeOnSurface(QPainter& painter) const;

  bool hasPicture_ = false;
  QSize pictureSize_;
  QRgb background_ = 0;
  std::vector<QPoint> points_;  // every line's points, one after another
  std::vector<Line> lines_;
  mutable QImage image_;  // the picture, made when someone asks for it
  mutable bool imageCurrent_ = false;
  ShownPicture shown_;
};

}  // namespace sonavik

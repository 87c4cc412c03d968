// SPDX-License-Identifier: MIT
// TPaintBox: a plot area. The measuring pass composes a picture into it (background, then
// polylines) and it goes to the screen at once; when the window system asks the area to be
// drawn again (after it was covered, say) the last picture comes back, not a blank box.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <span>

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
  // Puts the picture on the screen before returning (nothing while the box is hidden).
  void Present();

  // The picture as composed so far (null before the first Clear).
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

}  // namespace sonavik

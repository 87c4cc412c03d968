// SPDX-License-Identifier: MIT
#include "app/PaintBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegion>

namespace sonavik {

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
  // Every pixel comes from the picture (or the window's face before the first one), so Qt
  // need not erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

TPaintBox::~TPaintBox() = default;

void TPaintBox::Clear(TColor background) {
  const QSize wanted = size();
  if (image_.size() != wanted) {
    image_ = QImage(wanted, QImage::Format_RGB32);
  }
  image_.fill(ColorFromTColor(background));
}

void TPaintBox::Polyline(std::span<const QPoint> points, TColor pen) {
  if (image_.isNull() || points.empty()) {
    return;
  }
  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  QPen line(ColorFromTColor(pen));
  line.setWidth(0);  // cosmetic: one pixel, whatever the transform
  painter.setPen(line);
  painter.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void TPaintBox::Present() {
  if (isVisible()) {
    repaint();
  }
}

void TPaintBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (image_.isNull()) {
    painter.fillRect(event->rect(), palette().window());
    return;
  }
  painter.drawImage(event->rect().topLeft(), image_, event->rect());
  // The box may have grown since the picture was made; the rest shows the window's face.
  const QRegion uncovered = event->region().subtracted(QRegion(image_.rect()));
  for (const QRect& r : uncovered) {
    painter.fillRect(r, palette().window());
  }
}

}  // namespace sonavik

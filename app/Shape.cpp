// SPDX-License-Identifier: MIT
#include "app/Shape.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include "app/PaintBox.h"

namespace sonavik {

TShape::TShape(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

TShape::~TShape() = default;

void TShape::SetBrushColor(TColor color) {
  if (color != brushColor_) {
    brushColor_ = color;
    update();
  }
}

void TShape::SetPenColor(TColor color) {
  if (color != penColor_) {
    penColor_ = color;
    update();
  }
}

QImage TShape::Render() const {
  QImage image(size(), QImage::Format_RGB32);
  image.fill(Qt::transparent);
  PaintOn(image);
  return image;
}

void TShape::paintEvent(QPaintEvent*) {
  PaintOn(*this);
}

void TShape::PaintOn(QPaintDevice& device) const {
  QPainter painter(&device);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QRect box = rect();
  painter.fillRect(box, ColorFromTColor(brushColor_));
  QPen pen(ColorFromTColor(penColor_));
  pen.setWidth(0);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  // The outline takes the outermost ring of pixels.
  painter.drawRect(box.adjusted(0, 0, -1, -1));
}

void MakeLampCaption(QLabel& caption) {
  QPalette palette = caption.palette();
  // Every colour group: the lettering stays black also while the window is inactive.
  palette.setColor(QPalette::WindowText, QColor(Qt::black));
  caption.setPalette(palette);
}

}  // namespace sonavik

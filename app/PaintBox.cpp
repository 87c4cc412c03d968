// SPDX-License-Identifier: MIT
#include "app/PaintBox.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegion>

#include "app/PolylineThinning.h"
#include "gauge/RepaintBatch.h"

namespace sonavik {

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
  // Every pixel comes from the picture (or the window's face before the first one), so Qt
  // need not erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

TPaintBox::~TPaintBox() = default;

void TPaintBox::Clear(TColor background) {
  hasPicture_ = true;
  pictureSize_ = size();
  background_ = RgbFromTColor(background);
  points_.clear();
  lines_.clear();
  imageCurrent_ = false;
}

void TPaintBox::Polyline(std::span<const QPoint> points, TColor pen) {
  if (!hasPicture_ || points.empty()) {
    return;
  }
  // Fewer strokes, the same pixels.
  const std::size_t first = points_.size();
  points_.resize(first + points.size());
  const auto kept = static_cast<std::size_t>(
      ThinPolyline(points, QRect(QPoint(0, 0), pictureSize_), std::span(points_).subspan(first)));
  points_.resize(first + kept);
  lines_.push_back(Line{first, kept, RgbFromTColor(pen)});
  imageCurrent_ = false;
}

void TPaintBox::Present() {
  if (!isVisible() || Shown()) {
    return;
  }
  if (!RepaintBatch::Defer(*this)) {
    repaint();
  }
}

bool TPaintBox::Shown() const {
  return shown_.valid && shown_.size == pictureSize_ && shown_.background == background_ &&
         shown_.lines == lines_ && shown_.points == points_;
}

const QImage& TPaintBox::Image() const {
  if (!hasPicture_) {
    static const QImage none;
    return none;
  }
  if (!imageCurrent_) {
    if (image_.size() != pictureSize_) {
      image_ = QImage(pictureSize_, QImage::Format_RGB32);
    }
    Compose(image_);
    imageCurrent_ = true;
  }
  return image_;
}

void TPaintBox::Compose(QImage& target) const {
  target.fill(background_);
  if (lines_.empty() || target.isNull()) {
    return;
  }
  QPainter painter(&target);
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (const Line& line : lines_) {
    QPen pen{QColor(line.pen)};
    pen.setWidth(0);  // cosmetic: one pixel, whatever the transform
    painter.setPen(pen);
    painter.drawPolyline(points_.data() + line.first, static_cast<int>(line.count));
  }
}

bool TPaintBox::ComposeOnSurface(QPainter& painter) const {
  QPaintEngine* engine = painter.paintEngine();
  if (engine == nullptr || engine->type() != QPaintEngine::Raster) {
    return false;
  }
  auto* surface = dynamic_cast<QImage*>(engine->paintDevice());
  // An opaque colour is stored alike in both formats, so the picture drawn as RGB32 (below) is
  // also right on a premultiplied surface.
  if (surface == nullptr || surface->devicePixelRatio() != 1.0 ||
      (surface->format() != QImage::Format_RGB32 &&
       surface->format() != QImage::Format_ARGB32_Premultiplied)) {
    return false;
  }
  const QTransform& toSurface = painter.deviceTransform();
  const QPoint offset(static_cast<int>(toSurface.dx()), static_cast<int>(toSurface.dy()));
  if (toSurface.type() > QTransform::TxTranslate || toSurface.dx() != offset.x() ||
      toSurface.dy() != offset.y()) {
    return false;
  }
  // The whole picture must be this box's to paint: on the surface, not under a sibling, not
  // past its parent's edge.
  const QRect area(offset, pictureSize_);
  const QRegion mine = engine->systemClip();
  if (!surface->rect().contains(area) || mine.intersected(area) != QRegion(area)) {
    return false;
  }
  // The same pixels as a picture of its own: an RGB32 image of the picture's size whose rows
  // are the surface's.
  const auto stride = static_cast<std::ptrdiff_t>(surface->bytesPerLine());
  uchar* topLeft = surface->bits() + offset.y() * stride + std::ptrdiff_t{4} * offset.x();
  QImage view(topLeft, area.width(), area.height(), surface->bytesPerLine(), QImage::Format_RGB32);
  Compose(view);
  return true;
}

void TPaintBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!hasPicture_) {
    painter.fillRect(event->rect(), palette().window());
    return;
  }
  if (!ComposeOnSurface(painter)) {
    painter.drawImage(event->rect().topLeft(), Image(), event->rect());
  }
  // What the screen shows from now on, as far as this paint reaches.
  if (visibleRegion().subtracted(event->region()).isEmpty()) {
    shown_.valid = true;
    shown_.size = pictureSize_;
    shown_.background = background_;
    shown_.points = points_;  // the same few thousand points each time: no new memory
    shown_.lines = lines_;
  } else if (!Shown()) {
    shown_.valid = false;
  }
  // The box may have grown since the picture was made; the rest shows the window's face.
  const QRegion uncovered = event->region().subtracted(QRegion(QRect(QPoint(0, 0), pictureSize_)));
  for (const QRect& r : uncovered) {
    painter.fillRect(r, palette().window());
  }
}

}  // namespace sonavik

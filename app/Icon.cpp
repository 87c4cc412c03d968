#include "Icon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

namespace sonavik {

QImage SonavikIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);

  // Everything is laid out on a 16-unit grid and scaled, so both sizes show the same picture.
  const int u = size / 16;
  p.fillRect(QRect(0, 0, size, size), QColor(0x20, 0x20, 0x20));
  p.setPen(QColor(0x80, 0x80, 0x80));
  p.drawRect(0, 0, size - 1, size - 1);

  // A column lit from the bottom (row 15) up to `top`, in the gauge's three zones.
  auto column = [&](int x, int top) {
    for (int row = 14; row >= top; --row) {
      QColor c = row <= 4 ? QColor(255, 0, 0) : row <= 8 ? QColor(255, 255, 0) : QColor(0, 255, 0);
      p.fillRect(QRect(x * u, row * u, 5 * u, u - (u > 1 ? 1 : 0)), c);
    }
    // The held peak a little above the column.
    if (top > 2) {
      p.fillRect(QRect(x * u, (top - 2) * u, 5 * u, u), QColor(255, 255, 255));
    }
  };
  column(2, 3);
  column(9, 7);
  return image;
}

QIcon SonavikIcon() {
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(SonavikIconImage(16)));
  icon.addPixmap(QPixmap::fromImage(SonavikIconImage(32)));
  return icon;
}

}  // namespace sonavik

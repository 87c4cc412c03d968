// SPDX-License-Identifier: MIT
#include "app/Icon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRgb>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace sonavik {
namespace {

constexpr QRgb kFrame = 0xFF808080;
constexpr QRgb kFace = 0xFF202020;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kPeak = 0xFFFFFFFF;

// The picture lies on a 16-unit grid. A column is 5 units wide and lit from row 14 up to its
// top row, in the gauge's three zones: rows 0-4 red, 5-8 yellow, the rest green.
struct Column {
  int left;
  int top;
};
constexpr Column kColumns[] = {{2, 3}, {9, 7}};
constexpr int kColumnWidth = 5;
constexpr int kBottomRow = 14;
constexpr int kLastRedRow = 4;
constexpr int kLastYellowRow = 8;

struct Box {
  double left;
  double top;
  double width;
  double height;
  QRgb colour;
};

// The picture at a side of `size` pixels, back to front. The frame and the dark gaps between a
// column's segments are 1/32 of the side: at 32 pixels and more a segment is half lit; below,
// the frame keeps one pixel and the segments touch.
std::vector<Box> IconBoxes(int size) {
  const double unit = size / 16.0;
  const int gap = size / 32;
  const int frame = std::max(1, gap);
  std::vector<Box> boxes;
  boxes.push_back({0, 0, double(size), double(size), kFrame});
  boxes.push_back(
      {double(frame), double(frame), double(size - 2 * frame), double(size - 2 * frame), kFace});
  for (const Column& column : kColumns) {
    const double left = column.left * unit;
    const double width = kColumnWidth * unit;
    for (int row = kBottomRow; row >= column.top; --row) {
      const QRgb colour = row <= kLastRedRow ? kRed : row <= kLastYellowRow ? kYellow : kGreen;
      boxes.push_back({left, row * unit, width, unit - gap, colour});
    }
    // The held peak, one row clear above the column.
    if (column.top > 2) {
      boxes.push_back({left, (column.top - 2) * unit, width, unit, kPeak});
    }
  }
  return boxes;
}

}  // namespace

QImage SonavikIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  // Edges fall on the nearest pixel, so sizes that are not a multiple of 16 stay sharp.
  auto pixel = [](double x) { return static_cast<int>(std::lround(x)); };
  for (const Box& box : IconBoxes(size)) {
    const int left = pixel(box.left);
    const int top = pixel(box.top);
    p.fillRect(
        QRect(left, top, pixel(box.left + box.width) - left, pixel(box.top + box.height) - top),
        QColor::fromRgb(box.colour));
  }
  return image;
}

QIcon SonavikIcon() {
  QIcon icon;
  for (int size : kIconSizes) {
    icon.addPixmap(QPixmap::fromImage(SonavikIconImage(size)));
  }
  return icon;
}

std::string SonavikIconSvg() {
  constexpr int kSide = 256;
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
      "viewBox=\"0 0 256 256\" shape-rendering=\"crispEdges\">\n";
  for (const Box& box : IconBoxes(kSide)) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"#%06X\"/>\n",
                  box.left, box.top, box.width, box.height, box.colour & 0xFFFFFFu);
    svg += line;
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace sonavik

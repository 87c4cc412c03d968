// SPDX-License-Identifier: MIT
#include "app/Bevel.h"

#include <QPainter>

namespace sonavik {

TBevel::TBevel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

TBevel::~TBevel() = default;

void TBevel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int right = width() - 1;
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(0, 0, right, 0);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(0, 1, right, 1);
}

}  // namespace sonavik

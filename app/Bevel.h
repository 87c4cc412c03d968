// SPDX-License-Identifier: MIT
// TBevel: a lowered line along the top edge of its box (an etched line, dark over light),
// the dB scale marks between the gauges. The rest of its box is see-through.
#pragma once

#include <QWidget>

namespace sonavik {

class TBevel : public QWidget {
  Q_OBJECT

 public:
  explicit TBevel(QWidget* parent = nullptr);
  ~TBevel() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace sonavik

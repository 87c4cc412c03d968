// SPDX-License-Identifier: MIT
// TShape: a filled rectangle with a one-pixel outline, the clip lamps of the main window.
// The fill is the brush colour the measuring pass and the lamp fade set.
#pragma once

#include <QWidget>

#include "gauge/Color.h"

class QLabel;

namespace sonavik {

class TShape : public QWidget {
  Q_OBJECT

 public:
  explicit TShape(QWidget* parent = nullptr);
  ~TShape() override;

  TColor BrushColor() const { return brushColor_; }
  void SetBrushColor(TColor color);
  TColor PenColor() const { return penColor_; }
  void SetPenColor(TColor color);

  // The picture as the widget draws it (for checks without a screen).
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintOn(QPaintDevice& device) const;
  TColor brushColor_ = 0xFFFFFF;
  TColor penColor_ = 0x000000;
};

// The lettering on a lamp ("Clip") is a label laid over the shape. The lamp's colours are fixed,
// so its lettering keeps the black text of the light look on every palette: a dark theme's light
// text would vanish on the white lamp.
void MakeLampCaption(QLabel& caption);

}  // namespace sonavik

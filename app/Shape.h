// TShape: a filled rectangle with a one-pixel outline, the clip lamps of the main window.
// The fill is the brush colour the measuring pass and the lamp fade set.
#pragma once

#include <QWidget>
#include <cstdint>

namespace sonavik {

using TColor = std::uint32_t;  // 0x00BBGGRR

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

}  // namespace sonavik

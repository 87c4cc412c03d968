// SPDX-License-Identifier: MIT
#include "app/WaveDlg.h"

#include "app/Accessibility.h"
#include "app/Fonts.h"
#include "app/WindowFrame.h"
#include "ui_WaveDlg.h"

namespace sonavik {

TWaveDlg::TWaveDlg(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TWaveDlg>()) {
  InstallAccessibility();
  ui_->setupUi(this);
  ApplyLayoutFonts(this);
  MakeToolWindow(*this, QPoint(420, 110), QSize(404, 296));
}

TWaveDlg::~TWaveDlg() = default;

TPaintBox* TWaveDlg::PaintBox1() const {
  return ui_->PaintBox1;
}
QToolButton* TWaveDlg::SpeedButton1() const {
  return ui_->SpeedButton1;
}
QToolButton* TWaveDlg::SpeedButton2() const {
  return ui_->SpeedButton2;
}

}  // namespace sonavik

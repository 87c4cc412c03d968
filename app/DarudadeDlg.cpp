// SPDX-License-Identifier: MIT
#include "app/DarudadeDlg.h"

#include "app/Accessibility.h"
#include "app/Fonts.h"
#include "app/WindowFrame.h"
#include "ui_DarudadeDlg.h"

namespace sonavik {

TDarudadeDlg::TDarudadeDlg(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TDarudadeDlg>()) {
  InstallAccessibility();
  ui_->setupUi(this);
  ApplyLayoutFonts(this);
  MakeToolWindow(*this, QPoint(420, 110), QSize(364, 310));
}

TDarudadeDlg::~TDarudadeDlg() = default;

TPaintBox* TDarudadeDlg::PaintBox1() const {
  return ui_->PaintBox1;
}
TPaintBox* TDarudadeDlg::PaintBox2() const {
  return ui_->PaintBox2;
}
QStatusBar* TDarudadeDlg::StatusBar1() const {
  return ui_->StatusBar1;
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// TDarudadeDlg: the Darudade window, one spectrum per channel on a logarithmic frequency
// axis. A tool window created hidden at start; closing it only hides it. The main window's
// measuring pass draws into its two plot areas while it shows.
#pragma once

#include <QWidget>
#include <memory>

class QStatusBar;

namespace Ui {
class TDarudadeDlg;
}

namespace sonavik {

class TPaintBox;

class TDarudadeDlg : public QWidget {
  Q_OBJECT

 public:
  explicit TDarudadeDlg(QWidget* parent = nullptr);
  ~TDarudadeDlg() override;

  TPaintBox* PaintBox1() const;  // the left channel
  TPaintBox* PaintBox2() const;  // the right channel
  QStatusBar* StatusBar1() const;

 private:
  std::unique_ptr<Ui::TDarudadeDlg> ui_;
};

}  // namespace sonavik

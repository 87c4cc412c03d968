// SPDX-License-Identifier: MIT
// TWaveDlg: the DiroVozor window, the oscilloscope. A tool window created hidden at start;
// closing it only hides it, so its buttons keep their state. The main window's measuring
// pass draws into its plot area while it shows.
#pragma once

#include <QWidget>
#include <memory>

class QToolButton;

namespace Ui {
class TWaveDlg;
}

namespace sonavik {

class TPaintBox;

class TWaveDlg : public QWidget {
  Q_OBJECT

 public:
  explicit TWaveDlg(QWidget* parent = nullptr);
  ~TWaveDlg() override;

  TPaintBox* PaintBox1() const;
  QToolButton* SpeedButton1() const;  // "Left ch.": draw the left channel
  QToolButton* SpeedButton2() const;  // "Right ch.": draw the right channel

 private:
  std::unique_ptr<Ui::TWaveDlg> ui_;
};

}  // namespace sonavik

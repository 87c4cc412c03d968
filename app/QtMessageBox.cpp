// SPDX-License-Identifier: MIT
#include "app/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>
#include <cstdio>

#include "app/MessageBox.h"

namespace sonavik {
namespace {

QMessageBox::Icon ToQtIcon(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::Error:
      return QMessageBox::Critical;
    case MessageBoxIcon::Information:
      return QMessageBox::Information;
    case MessageBoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

bool OnWindowThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

void ShowQtMessageBox(const MessageBoxRequest& request) {
  if (!OnWindowThread()) {
    if (!request.caption.empty()) {
      std::fputs(request.caption.c_str(), stderr);
      std::fputs(": ", stderr);
    }
    std::fputs(request.text.c_str(), stderr);
    std::fputc('\n', stderr);
    return;
  }
  QMessageBox box(ToQtIcon(request.icon), QString::fromStdString(request.caption),
                  QString::fromStdString(request.text), QMessageBox::Ok);
  // The text is the program's own or an error's, never markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

void InstallQtMessageBox() {
  SetMessageBoxFunction(&ShowQtMessageBox);
}

}  // namespace sonavik

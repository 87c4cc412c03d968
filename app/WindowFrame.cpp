#include "WindowFrame.h"

#include <QWidget>

namespace sonavik {

void MakeMainWindowFrame(QWidget& window, QPoint place, QSize client) {
  window.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  window.setFixedSize(client);
  window.move(place);
}

void MakeToolWindow(QWidget& window, QPoint place, QSize client) {
  window.setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  window.setAttribute(Qt::WA_QuitOnClose, false);
  window.setFixedSize(client);
  window.move(place);
}

}  // namespace sonavik

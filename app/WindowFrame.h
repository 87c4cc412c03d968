// The frames of the program's three windows: fixed client size at a fixed place on screen.
#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace sonavik {

// The main window: a single border, system menu, minimise and close, nothing to resize.
void MakeMainWindowFrame(QWidget& window, QPoint place, QSize client);

// A tool window: a small caption with a close box only; closing hides it, and it does not
// keep the program running when the main window closes.
void MakeToolWindow(QWidget& window, QPoint place, QSize client);

}  // namespace sonavik

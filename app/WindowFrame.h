// SPDX-License-Identifier: MIT
// The frames of the program's three windows: fixed client size at a fixed place on screen.
#pragma once

#include <QPoint>
#include <QSize>

class QAbstractSlider;
class QWidget;

namespace sonavik {

// The main window: a single border, system menu, minimise and close, nothing to resize.
void MakeMainWindowFrame(QWidget& window, QPoint place, QSize client);

// A tool window: a small caption with a close box only; closing hides it, and it does not
// keep the program running when the main window closes.
void MakeToolWindow(QWidget& window, QPoint place, QSize client);

// The desktop's keys for a trackbar or scroll bar, whatever its orientation and inversion:
// Left and Up step toward the minimum, Right and Down toward the maximum, Page Up and Page
// Down by a page, Home and End to the ends. (Qt ties the arrows to the orientation and the
// inversion, so a vertical bar with its minimum at the top would step the wrong way.)
void UseDesktopSliderKeys(QAbstractSlider& slider);

}  // namespace sonavik

// The program's icon, drawn at start-up: two level columns, the left one higher, lit green,
// yellow and red over a dark face, at 16 x 16 and 32 x 32.
#pragma once

#include <QIcon>
#include <QImage>

namespace sonavik {

QImage SonavikIconImage(int size);
QIcon SonavikIcon();

}  // namespace sonavik

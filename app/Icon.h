// SPDX-License-Identifier: MIT
// The program's icon: two level columns, the left one higher, lit green, yellow and red over a
// dark face. One drawing gives the window icon, the icon files of every size and the scalable
// file, so that the desktop never shows two different pictures of the program.
#pragma once

#include <QIcon>
#include <QImage>
#include <array>
#include <string>

namespace sonavik {

// The sizes of the window icon and of the installed icon files, in pixels.
inline constexpr std::array<int, 8> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

QImage SonavikIconImage(int size);
QIcon SonavikIcon();
// The same picture as an SVG document, 256 units square, for the scalable icon file.
std::string SonavikIconSvg();

}  // namespace sonavik

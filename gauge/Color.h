// SPDX-License-Identifier: MIT
// TColor: the colours the gauges, lamps and plots are given, 0x00BBGGRR with red in the low
// byte, and their Qt forms. Qt keeps red in the high byte.
#pragma once

#include <QColor>
#include <QRgb>
#include <cstdint>

namespace sonavik {

using TColor = std::uint32_t;

// Fully opaque, so an AND with an all-ones mask gives the colour back unchanged.
inline QRgb RgbFromTColor(TColor color) {
  return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
              static_cast<int>((color >> 16) & 0xFF));
}

inline QColor ColorFromTColor(TColor color) {
  return QColor(RgbFromTColor(color));
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The five faces the windows are drawn in, by the names the layouts give them, and the
// installed faces that stand in for those names on this system.
#pragma once

#include <QFont>
#include <QString>

class QWidget;

namespace sonavik {

enum class LayoutFont {
  Window,  // "ＭＳ Ｐゴシック" 12 px: every text that names no face of its own
  Scale,   // "Arial" 12 px bold: the dB scale, the filter button, the spectrum row letters
  Plain,   // "Arial" 12 px: the readouts, the scope buttons
  Letter,  // "Arial" 13 px bold: the L and R under the gauges
  Small,   // "Verdana" 11 px: the lamp lettering and the three window buttons
};

inline constexpr const char* kWindowFontFamily = "ＭＳ Ｐゴシック";
inline constexpr const char* kArialFamily = "Arial";
inline constexpr const char* kVerdanaFamily = "Verdana";

// The layouts' faces are Windows faces; metric-compatible ones stand in for them: IPAPGothic
// (which has the kana and kanji of the group captions), Liberation Sans and DejaVu Sans.
// Safe to call more than once.
void InstallFontSubstitutes();

// The face by its layout name, sized in pixels so that it does not follow the screen's dpi.
QFont MakeLayoutFont(LayoutFont which);

// Parses a layout's face name ("window", "scale", "plain", "letter", "small"); false when the
// name is none of them.
bool ParseLayoutFont(const QString& name, LayoutFont* which);

// The .ui files name a widget's face in its dynamic property "layoutFont"; this gives each
// such widget under root (root included) its face.
void ApplyLayoutFonts(QWidget* root);

}  // namespace sonavik

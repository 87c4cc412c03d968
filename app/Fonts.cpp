// SPDX-License-Identifier: MIT
#include "app/Fonts.h"

#include <QStringList>
#include <QVariant>
#include <QWidget>

namespace sonavik {

void InstallFontSubstitutes() {
  static const bool installed = [] {
    QFont::insertSubstitutions(QString::fromUtf8(kWindowFontFamily),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(QString::fromUtf8(kArialFamily),
                               {QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QString::fromUtf8(kVerdanaFamily), {QStringLiteral("DejaVu Sans")});
    return true;
  }();
  (void)installed;
}

QFont MakeLayoutFont(LayoutFont which) {
  InstallFontSubstitutes();
  const char* family = kWindowFontFamily;
  int pixels = 12;
  bool bold = false;
  switch (which) {
    case LayoutFont::Window:
      break;
    case LayoutFont::Scale:
      family = kArialFamily;
      bold = true;
      break;
    case LayoutFont::Plain:
      family = kArialFamily;
      break;
    case LayoutFont::Letter:
      family = kArialFamily;
      pixels = 13;
      bold = true;
      break;
    case LayoutFont::Small:
      family = kVerdanaFamily;
      pixels = 11;
      break;
  }
  QFont font(QString::fromUtf8(family));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

bool ParseLayoutFont(const QString& name, LayoutFont* which) {
  static constexpr struct {
    const char* name;
    LayoutFont font;
  } kNames[] = {{"window", LayoutFont::Window},
                {"scale", LayoutFont::Scale},
                {"plain", LayoutFont::Plain},
                {"letter", LayoutFont::Letter},
                {"small", LayoutFont::Small}};
  for (const auto& entry : kNames) {
    if (name == QLatin1String(entry.name)) {
      *which = entry.font;
      return true;
    }
  }
  return false;
}

void ApplyLayoutFonts(QWidget* root) {
  auto apply = [](QWidget* widget) {
    const QVariant name = widget->property("layoutFont");
    LayoutFont which;
    if (name.isValid() && ParseLayoutFont(name.toString(), &which)) {
      widget->setFont(MakeLayoutFont(which));
    }
  };
  // The window's own face first: its children inherit it unless they name another.
  apply(root);
  for (QWidget* child : root->findChildren<QWidget*>()) {
    apply(child);
  }
}

}  // namespace sonavik

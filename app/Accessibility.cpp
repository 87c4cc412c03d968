// SPDX-License-Identifier: MIT
#include "app/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QList>
#include <QSlider>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/DarudadeDlg.h"
#include "app/MainForm.h"
#include "app/MeasuringPass.h"
#include "app/PaintBox.h"
#include "app/Shape.h"
#include "app/WaveDlg.h"
#include "gauge/AccessibleValueWidget.h"
#include "gauge/MusicGauge.h"

namespace sonavik {

namespace {

// The quietest sound a 16-bit sample holds lies at −90.3 dB; only a block of zeros measures
// lower (−6000 dB).
constexpr double kSilenceBelow = -100.0;

bool IsDecorative(const QWidget& widget) {
  return widget.property("decorative").toBool();
}

// One of the program's windows: a frame, as a listener expects of a window, whose children
// are its controls without the decoration.
class AccessibleWindow : public QAccessibleWidget {
 public:
  explicit AccessibleWindow(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

  int childCount() const override { return static_cast<int>(Shown().size()); }

  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> shown = Shown();
    if (index < 0 || index >= shown.size()) {
      return nullptr;
    }
    return QAccessible::queryAccessibleInterface(shown.at(index));
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr || !child->object() || !child->object()->isWidgetType()) {
      return -1;
    }
    return static_cast<int>(Shown().indexOf(static_cast<QWidget*>(child->object())));
  }

 private:
  QList<QWidget*> Shown() const {
    QList<QWidget*> shown;
    for (QObject* object : widget()->children()) {
      auto* child = qobject_cast<QWidget*>(object);
      if (child != nullptr && !child->isWindow() && !IsDecorative(*child)) {
        shown.append(child);
      }
    }
    return shown;
  }
};

// The gain bar as the gain it sets: 0 to 10 in steps of 0.01, "×1.00" at the start, rather
// than the bar's position, which runs the other way (900 at a gain of 1).
class AccessibleGain : public AccessibleValueWidget {
 public:
  explicit AccessibleGain(QSlider* bar)
      : AccessibleValueWidget(bar, QAccessible::Slider), bar_(bar) {}

  QString text(QAccessible::Text which) const override {
    if (which == QAccessible::Value) {
      return QStringLiteral("×%1").arg(Gain(), 0, 'f', 2);
    }
    return QAccessibleWidget::text(which);
  }

  QVariant currentValue() const override { return Gain(); }
  void setCurrentValue(const QVariant& value) override {
    const double gain = value.toDouble();
    if (!std::isfinite(gain)) {
      return;
    }
    const double position = std::round(bar_->maximum() - gain * 100.0);
    bar_->setValue(
        static_cast<int>(std::clamp<double>(position, bar_->minimum(), bar_->maximum())));
  }
  QVariant maximumValue() const override {
    return TMeasuringPass::Gain(bar_->maximum(), bar_->minimum());
  }
  QVariant minimumValue() const override {
    return TMeasuringPass::Gain(bar_->maximum(), bar_->maximum());
  }
  QVariant minimumStepSize() const override { return 0.01; }

 private:
  double Gain() const { return TMeasuringPass::Gain(bar_->maximum(), bar_->value()); }

  QSlider* bar_;
};

bool IsProgramWindow(const QString& className) {
  for (const QMetaObject* meta :
       {&TForm1::staticMetaObject, &TWaveDlg::staticMetaObject, &TDarudadeDlg::staticMetaObject}) {
    if (className == QLatin1String(meta->className())) {
      return true;
    }
  }
  return false;
}

// Qt asks the factories for each class of an object's ancestry, most derived first, and its
// accessibility cache owns what they return.
QAccessibleInterface* ProgramAccessibilityFactory(const QString& className, QObject* object) {
  if (object == nullptr || !object->isWidgetType()) {
    return nullptr;
  }
  auto* widget = static_cast<QWidget*>(object);
  if (IsProgramWindow(className)) {
    return new AccessibleWindow(widget);
  }
  if (className == QLatin1String("QSlider") && object->objectName() == QLatin1String("TrackBar1")) {
    return new AccessibleGain(static_cast<QSlider*>(widget));
  }
  // The plots and the lamps are pictures; a listener needs their names, not "filler".
  if (className == QLatin1String(TPaintBox::staticMetaObject.className()) ||
      className == QLatin1String(TShape::staticMetaObject.className())) {
    return new QAccessibleWidget(widget, QAccessible::Graphic);
  }
  // A bare frame only groups the controls inside it; to a listener "frame" means a window.
  if (className == QLatin1String("QFrame") && widget->metaObject() == &QFrame::staticMetaObject) {
    return new QAccessibleWidget(widget, QAccessible::Grouping);
  }
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(ProgramAccessibilityFactory);
    return true;
  }();
  (void)installed;
}

QString LevelWords(double level) {
  if (!(level >= kSilenceBelow)) {
    return QStringLiteral("silence");
  }
  QString words = ReadoutText(level);
  words.replace(QLatin1Char('-'), QChar(0x2212));
  return words + QStringLiteral(" dB");
}

void SpeakLevel(TMusicGauge& gauge, double level) {
  gauge.SetLevelText(LevelWords(level));
}

}  // namespace sonavik

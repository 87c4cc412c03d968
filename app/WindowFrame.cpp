// SPDX-License-Identifier: MIT
#include "app/WindowFrame.h"

#include <QAbstractSlider>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace sonavik {

namespace {

class DesktopSliderKeys : public QObject {
 public:
  explicit DesktopSliderKeys(QAbstractSlider& slider) : QObject(&slider), slider_(slider) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &slider_ || event->type() != QEvent::KeyPress) {
      return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
      return false;
    }
    QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
    switch (key->key()) {
      case Qt::Key_Left:
      case Qt::Key_Up:
        action = QAbstractSlider::SliderSingleStepSub;
        break;
      case Qt::Key_Right:
      case Qt::Key_Down:
        action = QAbstractSlider::SliderSingleStepAdd;
        break;
      case Qt::Key_PageUp:
        action = QAbstractSlider::SliderPageStepSub;
        break;
      case Qt::Key_PageDown:
        action = QAbstractSlider::SliderPageStepAdd;
        break;
      case Qt::Key_Home:
        action = QAbstractSlider::SliderToMinimum;
        break;
      case Qt::Key_End:
        action = QAbstractSlider::SliderToMaximum;
        break;
      default:
        return false;
    }
    slider_.triggerAction(action);
    return true;
  }

 private:
  QAbstractSlider& slider_;
};

}  // namespace

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

void UseDesktopSliderKeys(QAbstractSlider& slider) {
  slider.installEventFilter(new DesktopSliderKeys(slider));
}

}  // namespace sonavik

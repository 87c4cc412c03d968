// SPDX-License-Identifier: MIT
// AccessibleValueWidget: the accessible interface of a widget that also reports a value (a
// meter, a bar). A subclass gives the value, its range and step; Qt finds them through
// interface_cast.
#pragma once

#include <QAccessible>
#include <QAccessibleWidget>

namespace sonavik {

class AccessibleValueWidget : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  using QAccessibleWidget::QAccessibleWidget;

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) {
      return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }
};

}  // namespace sonavik

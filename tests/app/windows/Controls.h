// SPDX-License-Identifier: MIT
// Tests reach a window's controls as a user's tools do: by the object name the layout gives
// them.
#pragma once

#include <QString>
#include <QWidget>
#include <stdexcept>
#include <string>

namespace sonavik::test {

// The control of that name and type inside the window. A missing one fails the test that asks
// (GoogleTest reports the exception) rather than crashing the whole program.
template <typename T>
T* FindControl(const QWidget& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) {
    throw std::logic_error(std::string("the window has no control ") + name);
  }
  return control;
}

}  // namespace sonavik::test

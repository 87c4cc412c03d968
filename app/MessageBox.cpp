// SPDX-License-Identifier: MIT
#include "app/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace sonavik {
namespace {

std::mutex& FunctionMutex() {
  static std::mutex m;
  return m;
}
MessageBoxFunction& InstalledFunction() {
  static MessageBoxFunction f;
  return f;
}

}  // namespace

void SetMessageBoxFunction(MessageBoxFunction function) {
  std::lock_guard lock(FunctionMutex());
  InstalledFunction() = std::move(function);
}

void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
  MessageBoxFunction function;
  {
    std::lock_guard lock(FunctionMutex());
    function = InstalledFunction();
  }
  if (function) {
    function(MessageBoxRequest{text, caption, icon});
    return;
  }
  // The text is data, never a format.
  std::fputs((caption.empty() ? std::string() : caption + ": ").c_str(), stderr);
  std::fputs(text.c_str(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace sonavik

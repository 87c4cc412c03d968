// SPDX-License-Identifier: MIT
#include "app/MessageBox.h"

#include <cstdio>
#include <utility>

#include "threads/Mutex.h"

namespace sonavik {
namespace {

// The function runs without the lock: a box may take as long as its user.
struct InstalledBox {
  Mutex mutex;
  MessageBoxFunction function GUARDED_BY(mutex);
};
InstalledBox& Installed() {
  static InstalledBox installed;
  return installed;
}

}  // namespace

void SetMessageBoxFunction(MessageBoxFunction function) {
  InstalledBox& installed = Installed();
  const MutexLock lock(installed.mutex);
  installed.function = std::move(function);
}

void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
  MessageBoxFunction function;
  {
    InstalledBox& installed = Installed();
    const MutexLock lock(installed.mutex);
    function = installed.function;
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

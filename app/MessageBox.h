// SPDX-License-Identifier: MIT
// The program's message box, replaceable: the window layer installs a real dialog, tests
// install a recorder. Without one the text goes to standard error.
#pragma once

#include <functional>
#include <string>

namespace sonavik {

enum class MessageBoxIcon { None, Error, Information };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  MessageBoxIcon icon = MessageBoxIcon::None;
};

using MessageBoxFunction = std::function<void(const MessageBoxRequest&)>;

// Installs the function; an empty one restores the standard-error fallback.
void SetMessageBoxFunction(MessageBoxFunction function);

// Shows a modal box with one OK button and returns when it is closed.
void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon);

}  // namespace sonavik

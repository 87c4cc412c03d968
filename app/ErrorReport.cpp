// SPDX-License-Identifier: MIT
#include "app/ErrorReport.h"

#include <cstdio>

#include "app/MessageBox.h"

namespace sonavik {
namespace {

constexpr const char* kUnknownErrorText = "Unknown error";

void WriteToStandardError(const char* text) noexcept {
  std::fputs(kApplicationTitle, stderr);
  std::fputs(": ", stderr);
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
}

// The report is the last stop for an error: if building or showing it fails too, standard
// error is all that is left, and nothing may escape into the window system.
void Show(const char* message) noexcept {
  try {
    ShowMessageBox(ErrorReportText(message), kApplicationTitle, MessageBoxIcon::Error);
  } catch (...) {
    WriteToStandardError(message);
  }
}

}  // namespace

std::string ErrorReportText(const std::string& message) {
  // In UTF-8 every byte of a multi-byte character is above 0x7F, so comparing the last byte
  // gives the same answer as comparing the last code point: "。" or "ん" get the period too.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
    return message + '.';
  }
  return message;
}

void ReportError(const std::exception& error) {
  const char* what = error.what();
  Show(what != nullptr ? what : kUnknownErrorText);
}

void ReportUnknownError() {
  Show(kUnknownErrorText);
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The application's standard error report, and the guard every handler runs inside so that
// Qt never sees an exception.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace sonavik {

// The application's title, also the caption of the error report.
inline constexpr const char* kApplicationTitle = "Sonavik";

// The report's text: the error's text, with "." appended when its last character sorts
// after ".".
std::string ErrorReportText(const std::string& message);

// A message box: caption "Sonavik", the text above, OK, the error icon.
void ReportError(const std::exception& error);
void ReportUnknownError();

// Runs f; an escaping error goes to the report and the program goes on.
template <class F>
void Guarded(F&& f) noexcept {
  try {
    std::forward<F>(f)();
  } catch (const std::exception& e) {
    ReportError(e);
  } catch (...) {
    ReportUnknownError();
  }
}

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// The real message box behind ShowMessageBox: a modal QMessageBox with one OK button.
#pragma once

namespace sonavik {

// Installs the Qt message box as the program's message box. Call after the QApplication
// exists. The box itself is shown only on the window thread (widgets live there); a request
// from any other thread goes to standard error instead of touching a widget.
void InstallQtMessageBox();

}  // namespace sonavik

// SPDX-License-Identifier: MIT
// Sonavik: a stereo level meter. Start-up: the window system (DisplayChoice), the application,
// the libpulse platform, the message box and the faces, then the main window and its two tool
// windows (hidden), and the message loop; at the end the windows go in reverse order. The main
// window's sound session connects to the server off the window thread, so the window shows
// whatever the server does.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/DarudadeDlg.h"
#include "app/DisplayChoice.h"
#include "app/ErrorReport.h"
#include "app/Fonts.h"
#include "app/Icon.h"
#include "app/MainForm.h"
#include "app/QtMessageBox.h"
#include "app/WaveDlg.h"
#include "capture/pulse/PulseSound.h"

int main(int argc, char** argv) {
  using namespace sonavik;
  const DisplayChoice display = ChooseDisplay(CurrentDisplayEnvironment(argc, argv));
  if (!display.error.empty()) {
    std::fprintf(stderr, "sonavik: %s\n", display.error.c_str());
    return 1;
  }
  if (!display.platform.empty()) {
    setenv("QT_QPA_PLATFORM", display.platform.c_str(), 1);
  }
  QApplication app(argc, argv);
  // The name, not a display name: Qt would append a display name to every window's title.
  QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
  // The launcher entry's name, which a Wayland compositor matches the windows with.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.sonavik.Sonavik"));
  QApplication::setWindowIcon(SonavikIcon());
  ScopedSoundPlatform platform(PulseSoundPlatform());
  InstallQtMessageBox();
  InstallFontSubstitutes();

  auto form1 = std::make_unique<TForm1>();
  auto waveDlg = std::make_unique<TWaveDlg>();
  auto darudadeDlg = std::make_unique<TDarudadeDlg>();
  form1->AttachToolWindows(waveDlg.get(), darudadeDlg.get());
  form1->show();
  const int result = QApplication::exec();
  darudadeDlg.reset();
  waveDlg.reset();
  form1.reset();
  return result;
}

// SPDX-License-Identifier: MIT
// Writes the program's icon files into a hicolor theme folder, at build time, from the same
// drawing as the window icon:
//
//   sonavik-icon-files OUTDIR     OUTDIR/NxN/apps/sonavik.png for every size and
//                                 OUTDIR/scalable/apps/sonavik.svg
//
// It draws into images only, so it needs no display and no platform plugin.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/Icon.h"

int main(int argc, char** argv) {
  using namespace sonavik;
  if (argc != 2) {
    std::fputs("usage: sonavik-icon-files OUTDIR\n", stderr);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  auto folder = [&](const QString& name) {
    QString path = root + "/" + name + "/apps";
    if (!QDir().mkpath(path)) {
      std::fprintf(stderr, "sonavik-icon-files: cannot make %s\n", path.toLocal8Bit().data());
      return QString();
    }
    return path;
  };
  for (int size : kIconSizes) {
    const QString path = folder(QString("%1x%1").arg(size));
    if (path.isEmpty() || !SonavikIconImage(size).save(path + "/sonavik.png", "PNG")) {
      std::fprintf(stderr, "sonavik-icon-files: cannot write the %d pixel icon\n", size);
      return 1;
    }
  }
  const QString path = folder("scalable");
  if (path.isEmpty()) {
    return 1;
  }
  std::ofstream svg((path + "/sonavik.svg").toStdString(), std::ios::binary);
  svg << SonavikIconSvg();
  svg.close();
  if (!svg) {
    std::fputs("sonavik-icon-files: cannot write the scalable icon\n", stderr);
    return 1;
  }
  return 0;
}

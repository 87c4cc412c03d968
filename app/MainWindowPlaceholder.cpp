// Until the meter's windows exist, the program shows an empty main window.
#include <QWidget>

namespace sonavik {
QWidget* CreatePlaceholderMainWindow() {
  auto* w = new QWidget;
  w->setWindowTitle("Sonavik");
  w->setFixedSize(216, 406);
  return w;
}
}  // namespace sonavik

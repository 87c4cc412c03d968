#include <QApplication>
#include <QWidget>
#include <memory>

namespace sonavik {
QWidget* CreatePlaceholderMainWindow();
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Sonavik");
  std::unique_ptr<QWidget> window(sonavik::CreatePlaceholderMainWindow());
  window->show();
  return QApplication::exec();
}

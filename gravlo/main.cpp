// Start of the Gravlo program.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Gravlo");
  QLabel label("Gravlo");
  label.setWindowTitle("Gravlo");
  label.resize(320, 200);
  label.show();
  return QApplication::exec();
}

// Start of the Pellora20 program: the foundation's bootstrap (paths, base
// file, application ini), the picture formats, then the main window and the
// message loop. The program takes no arguments.
#include <QApplication>
#include <exception>

#include "foundation/sysinit.h"
#include "pellora/main_window.h"
#include "platform/msgbox.h"
#include "platform/picture.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pellora::TSol040* mainWindow = nullptr;
  try {
    // Cancel on the base-file question ends the program before any window.
    if (!foundation::InitSystem()) return 0;
    platform::RegisteredFileFormats();
    QApplication::setApplicationName("Oru Pellora");
    mainWindow = new pellora::TSol040;
  } catch (const std::exception& e) {
    // For instance a base file that cannot be written or an ini file that
    // cannot be read: say so instead of ending without a word.
    platform::ShowMessageBox(e.what(), "Oru Pellora", platform::MbIconError);
    return 1;
  }
  mainWindow->show();
  mainWindow->activateWindow();
  const int result = QApplication::exec();
  // The window saves statistics, placement and settings as it goes.
  delete mainWindow;
  return result;
}

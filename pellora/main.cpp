// Start of the Pellora20 program: the start routine (bootstrap, picture
// formats, volumes configuration), then the main window and the message loop;
// after the window is gone, the end routine. The program takes no arguments.
#include <QApplication>
#include <exception>

#include "pellora/main_window.h"
#include "pellora/program.h"
#include "platform/msgbox.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pellora::TSol040* mainWindow = nullptr;
  try {
    // Cancel on the base-file question ends the program before any window.
    if (!pellora::StartProgram()) return 0;
    mainWindow = new pellora::TSol040;
  } catch (const std::exception& e) {
    // For instance a base file that cannot be written or an ini file that
    // cannot be read: say so instead of ending without a word.
    platform::ShowMessageBox(e.what(), "Oru Pellora", platform::MbIconError);
    pellora::EndProgram();  // a start that got this far still writes its configuration back
    return 1;
  }
  mainWindow->show();
  mainWindow->activateWindow();
  const int result = QApplication::exec();
  // The window saves statistics, placement and settings as it goes.
  delete mainWindow;
  pellora::EndProgram();
  return result;
}

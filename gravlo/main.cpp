// Start of the Gravlo program: the foundation's bootstrap (paths, base file,
// application ini), the picture formats, then the main window and the message
// loop. The program takes no arguments.
#include <QApplication>
#include <exception>

#include "foundation/sysinit.h"
#include "gravlo/window_factory.h"
#include "gravlo/main_window.h"
#include "platform/msgbox.h"
#include "platform/picture.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  gravlo::TGrv010* mainWindow = nullptr;
  try {
    // Cancel on the base-file question ends the program before any window.
    if (!foundation::InitSystem()) return 0;
    // The picture formats are registered before the first window: the logo
    // is a JPEG picture.
    platform::RegisteredFileFormats();
    QApplication::setApplicationName("Gravlo");
    mainWindow = new gravlo::TGrv010;
    gravlo::Grv010 = mainWindow;
  } catch (const std::exception& e) {
    // For instance a base file that cannot be written or an ini file that
    // cannot be read: say so instead of ending without a word.
    platform::ShowMessageBox(e.what(), "Gravlo", platform::MbIconError);
    return 1;
  }
  // Shown with the focus, so that F2 reaches the game panel at once.
  mainWindow->show();
  mainWindow->activateWindow();
  const int result = QApplication::exec();
  // The other windows go first, as the application destroys the windows in
  // reverse order of creation; each stores its placement.
  gravlo::FreeSecondaryForms();
  delete mainWindow;
  return result;
}

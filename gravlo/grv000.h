#pragma once
// TGrv000, the about window that shows the help page "gravlo.htm", and
// ShowFormById, which opens the program's windows by command number.
#include <QWidget>
#include <cstdint>
#include <string>

#include "foundation/placement.h"

class QTextBrowser;

namespace gravlo {

class TGrv000 : public foundation::TFormSx {
  Q_OBJECT
 public:
  explicit TGrv000(QWidget* parent = nullptr);
  ~TGrv000() override;

  QTextBrowser* Browser() const { return wbInfo_; }
  // The file the window shows (AppDir + "gravlo.htm", or the copy next to
  // the executable when the application folder has none).
  static std::string PagePath();

 private:
  QTextBrowser* wbInfo_ = nullptr;
};

// The open about window, or nullptr.
extern TGrv000* Grv000;

// Opens the window of an id (1000 about, 1010 main, 1016 statistics, 1018
// settings): creates it when it does not exist, brings a minimised one back
// to its normal state and shows it in front. Other ids do nothing. Returns the
// window, or nullptr for an unknown id.
QWidget* ShowFormById(int32_t id);

// Destroys the secondary windows that are open (each saves its placement);
// the program calls it before the main window goes.
void FreeSecondaryForms();

}  // namespace gravlo

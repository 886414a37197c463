#pragma once
// TGrv000, the about window that shows the help page "gravlo.htm".
#include <QPointer>
#include <QWidget>
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
extern QPointer<TGrv000> Grv000;

}  // namespace gravlo

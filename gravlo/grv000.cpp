#include "gravlo/grv000.h"

#include <QCoreApplication>
#include <exception>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "gravlo/grv010.h"
#include "gravlo/grv016.h"
#include "gravlo/grv018.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace gravlo {

TGrv000* Grv000 = nullptr;

namespace {
const char* const kPageName = "gravlo.htm";
}

std::string TGrv000::PagePath() {
  const std::string inAppDir = foundation::AppDir + kPageName;
  if (QFileInfo(platform::toQString(inAppDir)).isFile()) return inAppDir;
  // The application folder moves away from the executable when that folder
  // cannot be written; the page ships with the executable.
  const QString beside = QCoreApplication::applicationDirPath() + "/" + kPageName;
  if (QFileInfo(beside).isFile()) return platform::fromQString(beside);
  return inAppDir;
}

TGrv000::TGrv000(QWidget* parent)
    : foundation::TFormSx("Grv000", parent,
                          Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle("Oru Gravlo");
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  Grv000 = this;
  resize(617, 349);

  wbInfo_ = new QTextBrowser(this);
  wbInfo_->setObjectName("wbInfo");
  wbInfo_->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(wbInfo_);

  const QString path = platform::toQString(PagePath());
  if (QFileInfo(path).isFile()) {
    wbInfo_->setSource(QUrl::fromLocalFile(path));
  } else {
    wbInfo_->setHtml("<h3>The page cannot be shown</h3><p>" + path.toHtmlEscaped() + " was not found.</p>");
  }

  RestorePlacement();
}

TGrv000::~TGrv000() {
  FinishForm();
  if (Grv000 == this) Grv000 = nullptr;
}

QWidget* ShowFormById(int32_t id) {
  QWidget* form = nullptr;
  try {
    switch (id) {
      case 1000:
        form = Grv000 != nullptr ? static_cast<QWidget*>(Grv000) : new TGrv000;
        break;
      case 1010:
        form = Grv010 != nullptr ? static_cast<QWidget*>(Grv010) : new TGrv010;
        break;
      case 1016:
        form = Grv016 != nullptr ? static_cast<QWidget*>(Grv016) : new TGrv016;
        break;
      case 1018:
        form = Grv018 != nullptr ? static_cast<QWidget*>(Grv018) : new TGrv018;
        break;
      default:
        return nullptr;
    }
  } catch (const std::exception& e) {
    // A window that failed half-way through its creation (the ini file could
    // not be read) is gone; its reference must not point at it.
    if (id == 1000) Grv000 = nullptr;
    if (id == 1010) Grv010 = nullptr;
    if (id == 1016) Grv016 = nullptr;
    if (id == 1018) Grv018 = nullptr;
    platform::ShowMessageBox(e.what(), "Gravlo", platform::MbIconError);
    return nullptr;
  }
  if (form->isMinimized()) form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
  form->show();
  form->raise();
  form->activateWindow();
  return form;
}

void FreeSecondaryForms() {
  delete Grv016;
  delete Grv018;
  delete Grv000;
}

}  // namespace gravlo

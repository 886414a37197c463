#include "gravlo/about_window.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "platform/text.h"

namespace gravlo {

QPointer<TGrv000> Grv000;

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

}  // namespace gravlo

// The real message box of the GUI part: a QMessageBox in place of the text
// on standard error that the picture core falls back to.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/msgbox.h"
#include "platform/text.h"

namespace platform {
namespace {

struct ButtonSet {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton escape;
};

ButtonSet buttonsFor(int flags) {
  switch (flags & 0x0F) {
    case MbOkCancel: return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel};
    case MbAbortRetryIgnore:
      return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort};
    case MbYesNoCancel: return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel};
    case MbYesNo: return {QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
    case MbRetryCancel: return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Cancel};
    default: return {QMessageBox::Ok, QMessageBox::Ok};
  }
}

int resultFor(int button) {
  switch (button) {
    case QMessageBox::Ok: return IdOk;
    case QMessageBox::Cancel: return IdCancel;
    case QMessageBox::Abort: return IdAbort;
    case QMessageBox::Retry: return IdRetry;
    case QMessageBox::Ignore: return IdIgnore;
    case QMessageBox::Yes: return IdYes;
    case QMessageBox::No: return IdNo;
    default: return IdCancel;
  }
}

QMessageBox::Icon iconFor(int flags) {
  switch (flags & 0xF0) {
    case MbIconError: return QMessageBox::Critical;
    case MbIconQuestion: return QMessageBox::Question;
    case MbIconWarning: return QMessageBox::Warning;
    case MbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

int ShowInWindow(const MsgBoxRequest& request) {
  // Without a widget application there is no window to show it in.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return kNoWindow;
  const ButtonSet set = buttonsFor(request.flags);
  QMessageBox box(iconFor(request.flags), toQString(request.caption), toQString(request.text), set.buttons);
  box.setWindowModality(Qt::ApplicationModal);
  box.setEscapeButton(set.escape);
  if (request.flags & MbDefButton2 || request.flags & MbDefButton3) {
    const QList<QAbstractButton*> list = box.buttons();
    const int index = (request.flags & MbDefButton3) ? 2 : 1;
    if (index < list.size()) box.setDefaultButton(qobject_cast<QPushButton*>(list[index]));
  }
  return resultFor(box.exec());
}

// Linked whole into every program of the GUI part, so the window is there
// before main runs.
[[maybe_unused]] const bool gInstalled = (SetMessageBoxWindow(&ShowInWindow), true);

}  // namespace
}  // namespace platform

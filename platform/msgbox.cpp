#include "platform/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <mutex>

#include "platform/text.h"

namespace platform {
namespace {

std::mutex gAnswererMutex;
MsgBoxAnswerer& answererSlot() {
  static MsgBoxAnswerer slot;
  return slot;
}

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

}  // namespace

MsgBoxAnswerer SetMessageBoxAnswerer(MsgBoxAnswerer answerer) {
  std::lock_guard lock(gAnswererMutex);
  MsgBoxAnswerer previous = std::move(answererSlot());
  answererSlot() = std::move(answerer);
  return previous;
}

int ShowMessageBox(const std::string& text, const std::string& caption, int flags) {
  MsgBoxAnswerer answerer;
  {
    std::lock_guard lock(gAnswererMutex);
    answerer = answererSlot();
  }
  if (answerer) return answerer(MsgBoxRequest{text, caption, flags});

  if (QApplication::instance() == nullptr) {
    // Without a GUI there is nobody to ask: report on stderr and take the
    // safest answer the box offers.
    fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return resultFor(buttonsFor(flags).escape);
  }
  const ButtonSet set = buttonsFor(flags);
  QMessageBox box(iconFor(flags), toQString(caption), toQString(text), set.buttons);
  box.setWindowModality(Qt::ApplicationModal);
  box.setEscapeButton(set.escape);
  if (flags & MbDefButton2 || flags & MbDefButton3) {
    const QList<QAbstractButton*> list = box.buttons();
    const int index = (flags & MbDefButton3) ? 2 : 1;
    if (index < list.size()) box.setDefaultButton(qobject_cast<QPushButton*>(list[index]));
  }
  const int pressed = box.exec();
  return resultFor(pressed);
}

}  // namespace platform

#pragma once
// Every message box of both programs goes through ShowMessageBox, so tests can
// answer questions without a person: they install an answering function.
#include <functional>
#include <string>

namespace platform {

// The platform's button numbers.
enum MsgBoxResult : int { IdOk = 1, IdCancel = 2, IdAbort = 3, IdRetry = 4, IdIgnore = 5, IdYes = 6, IdNo = 7 };

// The platform's flag values (buttons in the low nibble, icon in the next).
enum MsgBoxFlags : int {
  MbOk = 0, MbOkCancel = 1, MbAbortRetryIgnore = 2, MbYesNoCancel = 3, MbYesNo = 4, MbRetryCancel = 5,
  MbIconError = 16, MbIconQuestion = 32, MbIconWarning = 48, MbIconInformation = 64,
  MbDefButton2 = 256, MbDefButton3 = 512,
  MbTaskModal = 8192,
};

struct MsgBoxRequest {
  std::string text;     // Windows-1252
  std::string caption;  // Windows-1252
  int flags = 0;
};

using MsgBoxAnswerer = std::function<int(const MsgBoxRequest&)>;

// Shows an application-modal box (or asks the installed answerer) and returns
// the pressed button's number. Closing the box without a button gives Cancel
// where the box has one, else the only/first button.
int ShowMessageBox(const std::string& text, const std::string& caption, int flags);

// Installs an answerer in place of the real box; an empty function restores the
// real box. Returns the previous answerer.
MsgBoxAnswerer SetMessageBoxAnswerer(MsgBoxAnswerer answerer);

// The real box of the GUI part (msgbox_window.cpp), which installs itself:
// it returns the pressed button's number, or kNoWindow when no widget
// application runs. Without it a box is reported on standard error and
// answered as closed.
inline constexpr int kNoWindow = 0;
using MsgBoxWindow = int (*)(const MsgBoxRequest&);
void SetMessageBoxWindow(MsgBoxWindow window);

// Installs an answerer for the lifetime of the object (tests).
class ScopedMsgBoxAnswerer {
 public:
  explicit ScopedMsgBoxAnswerer(MsgBoxAnswerer answerer) : previous_(SetMessageBoxAnswerer(std::move(answerer))) {}
  ~ScopedMsgBoxAnswerer() { SetMessageBoxAnswerer(std::move(previous_)); }
  ScopedMsgBoxAnswerer(const ScopedMsgBoxAnswerer&) = delete;
  ScopedMsgBoxAnswerer& operator=(const ScopedMsgBoxAnswerer&) = delete;

 private:
  MsgBoxAnswerer previous_;
};

}  // namespace platform

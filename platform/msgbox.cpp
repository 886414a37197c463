#include "platform/msgbox.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex gAnswererMutex;
MsgBoxAnswerer& answererSlot() {
  static MsgBoxAnswerer slot;
  return slot;
}

std::atomic<MsgBoxWindow>& windowSlot() {
  static std::atomic<MsgBoxWindow> slot{nullptr};
  return slot;
}

// The answer of a box that nobody saw: the button that closing the box
// gives (Cancel where the box has one, else the safest one).
int EscapeAnswer(int flags) {
  switch (flags & 0x0F) {
    case MbOkCancel: return IdCancel;
    case MbAbortRetryIgnore: return IdAbort;
    case MbYesNoCancel: return IdCancel;
    case MbYesNo: return IdNo;
    case MbRetryCancel: return IdCancel;
    default: return IdOk;
  }
}

}  // namespace

MsgBoxAnswerer SetMessageBoxAnswerer(MsgBoxAnswerer answerer) {
  std::lock_guard lock(gAnswererMutex);
  MsgBoxAnswerer previous = std::move(answererSlot());
  answererSlot() = std::move(answerer);
  return previous;
}

void SetMessageBoxWindow(MsgBoxWindow window) { windowSlot().store(window); }

int ShowMessageBox(const std::string& text, const std::string& caption, int flags) {
  MsgBoxAnswerer answerer;
  {
    std::lock_guard lock(gAnswererMutex);
    answerer = answererSlot();
  }
  const MsgBoxRequest request{text, caption, flags};
  if (answerer) return answerer(request);
  if (const MsgBoxWindow window = windowSlot().load()) {
    const int pressed = window(request);
    if (pressed != kNoWindow) return pressed;
  }
  // Without a GUI there is nobody to ask: report on stderr and take the
  // safest answer the box offers.
  fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return EscapeAnswer(flags);
}

}  // namespace platform

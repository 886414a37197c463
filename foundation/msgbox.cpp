#include "foundation/msgbox.h"

#include "platform/msgbox.h"

namespace foundation {

int ShowMsgBox(const Variant& text, const Variant& caption, int flags) {
  // No owner window: the box is task-modal.
  return platform::ShowMessageBox(text.AsString(), caption.AsString(), flags | platform::MbTaskModal);
}

int MsgBox(const Variant& text) { return ShowMsgBox(text, Variant(std::string()), platform::MbOk); }

int MsgBoxEx(const Variant& text, const Variant& caption, int flags) { return ShowMsgBox(text, caption, flags); }

}  // namespace foundation

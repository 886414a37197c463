#pragma once
// Task-modal message boxes that take their texts as variant values (a number
// shows as its decimal text). Results are the platform's button numbers
// (1 OK, 2 Cancel, 6 Yes, 7 No).
#include "foundation/variant.h"

namespace foundation {

int ShowMsgBox(const Variant& text, const Variant& caption, int flags);
// OK box without caption.
int MsgBox(const Variant& text);
int MsgBoxEx(const Variant& text, const Variant& caption, int flags);

}  // namespace foundation

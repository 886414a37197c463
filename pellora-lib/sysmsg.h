#pragma once
// Captioned and system-error message boxes of the card game's library.
#include <string>

#include "foundation/variant.h"

namespace pellora {

// Plain OK box with a caption (task-modal); returns the pressed button.
int MsgBoxCap(const foundation::Variant& text, const foundation::Variant& caption);

// Shows "<code> - <system text>" captioned "System error". A negative code
// stands for the calling thread's last error (errno).
int ShowSystemError(int code);

// The system's text for an error code, "Unknown error" when it has none.
std::string SystemErrorText(int code);

}  // namespace pellora

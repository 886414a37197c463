#include "pellora-lib/sysmsg.h"

#include <cerrno>
#include <cstring>

#include "foundation/msgbox.h"

namespace pellora {

int MsgBoxCap(const foundation::Variant& text, const foundation::Variant& caption) {
  return foundation::ShowMsgBox(text, caption, 0);
}

std::string SystemErrorText(int code) {
  // strerrordesc_np gives no text for codes the system does not know, where
  // strerror would invent "Unknown error <n>".
  const char* text = code >= 0 ? strerrordesc_np(code) : nullptr;
  return text ? std::string(text) : std::string("Unknown error");
}

int ShowSystemError(int code) {
  if (code < 0) code = errno;
  const std::string text = std::to_string(code) + " - " + SystemErrorText(code);
  return MsgBoxCap(foundation::Variant(text), foundation::Variant("System error"));
}

}  // namespace pellora

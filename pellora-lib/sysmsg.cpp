#include "pellora-lib/sysmsg.h"

#include <cerrno>
#include <cstring>

#include "platform/msgbox.h"

namespace pellora {

int MsgBoxCap(const std::string& text, const std::string& caption) {
  return platform::ShowMessageBox(text, caption, platform::MbOk | platform::MbTaskModal);
}

int MsgBoxCap(long long number, const std::string& caption) {
  return MsgBoxCap(std::to_string(number), caption);
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
  return MsgBoxCap(text, "System error");
}

}  // namespace pellora

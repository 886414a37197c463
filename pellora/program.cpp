#include "pellora/program.h"

#include <QApplication>

#include "foundation/sysinit.h"
#include "pellora-lib/volsconfig.h"
#include "platform/picture.h"

namespace pellora {
namespace {

const char* const kTitle = "Oru Pellora";
bool started = false;

}  // namespace

bool StartProgram() {
  if (!foundation::InitSystem()) return false;
  platform::RegisteredFileFormats();
  InitVolsConfig();
  started = true;
  QApplication::setApplicationName(kTitle);
  return true;
}

void EndProgram() {
  if (!started) return;
  started = false;
  FinishVolsConfig();
}

}  // namespace pellora

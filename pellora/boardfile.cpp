// The board file: one section with an entry per slot and label, written at
// every board build. Nothing reads it back.
#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/msgbox.h"
#include "foundation/sysinit.h"
#include "pellora/table.h"

namespace pellora {

void TSolTbl::SlotText(const recSolSlt&, uint8_t, std::string& key, std::string& text) {
  key.clear();
  text.clear();
}

bool TSolTbl::SaveBoard(uint8_t flag, const std::string& section, const std::string& file) {
  const std::string path = file.empty() ? BoardFile : file;
  const std::string name = section.empty() ? BoardName : section;
  if (path.empty() || name.empty()) return true;
  foundation::StringList list;
  bool ok = true;
  try {
    // While the program folder cannot be written, the board file beside the
    // program is the starting content of the user's copy: lines the game
    // does not own are carried over, as with the ini.
    const std::string source = foundation::StartingContentFile(path);
    if (foundation::FileExistsVar(foundation::Variant(source), 1)) list.LoadFromFile(source);
  } catch (const std::exception&) {
    ok = false;
  }
  if (ok) {
    // The section is written afresh at every build, so the file keeps one
    // entry per slot and label instead of growing with every build.
    foundation::IniEraseSection(&list, name, foundation::isfEraseHeader);
    list.Add("[" + name + "]");
    std::string key, text;
    for (const recSolSlt& s : slots_) {
      SlotText(s, flag, key, text);
      list.Add(key + "=" + text);
    }
    for (const recSolSlt& l : labels_) {
      SlotText(l, flag, key, text);
      list.Add(key + "=" + text);
    }
    BoardFile = path;
    BoardName = name;
    ok = list.SaveToFile(path);
  }
  if (!ok && !boardSaveReported_) {
    // Once per table: a read-only program folder must not nag at every deal.
    boardSaveReported_ = true;
    foundation::ShowMsgBox(foundation::Variant("The board file \"" + path + "\" could not be written."),
                           foundation::Variant("SolTbl - SaveBoard"), 0);
  }
  return ok;
}

}  // namespace pellora

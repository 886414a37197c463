// Text base reader: any bytes load as a text base (completed from the
// built-in lines) without crash or hang, every entry within its field
// lengths, the menus within their capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/ini.h"
#include "pellora/textbase.h"
#include "platform/msgbox.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest&) { return static_cast<int>(platform::IdOk); });
  return 0;
}

namespace {

void CheckEntry(const pellora::recEngTDB& e) {
  if (e.id.size() > pellora::kTbIdLength || e.slotGroup.size() > pellora::kTbSlotGroupLength ||
      e.personGroup.size() > pellora::kTbPersonGroupLength)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  foundation::StringList lines;
  lines.SetText(text);
  pellora::TextBase tb;
  tb.LoadTextbaseLines(lines, "fuzz.ini");
  if (tb.SlotDefs().size() != pellora::kTbPersonSlots) std::abort();
  if (tb.Persons().size() > static_cast<std::size_t>(pellora::kTbMaxPersons)) std::abort();
  if (tb.BrideNames().size() > static_cast<std::size_t>(pellora::kTbMenuCapacity) ||
      tb.GroomNames().size() > static_cast<std::size_t>(pellora::kTbMenuCapacity))
    std::abort();
  for (const pellora::recEngTDB& e : tb.SlotDefs()) CheckEntry(e);
  int omens = 0;
  for (const pellora::recEngTDB& e : tb.Persons()) {
    CheckEntry(e);
    omens += e.kind == pellora::tbkOmen;
  }
  // Missing omen keys are completed: at least the 19 themes (unless the
  // person table is full).
  if (omens < 19 && tb.Persons().size() < static_cast<std::size_t>(pellora::kTbMaxPersons)) std::abort();
  // Each raw line parses alone too, as a person and as a slot definition.
  pellora::TextBase single;
  for (int i = 0; i < lines.Count() && i < 64; ++i) {
    single.ParsePerson(0, lines[i], -1);
    single.ParseSlotDef(0, lines[i], i % 25);
  }
  for (const pellora::recEngTDB& e : single.Persons()) CheckEntry(e);
  for (const pellora::recEngTDB& e : single.SlotDefs()) CheckEntry(e);
  return 0;
}

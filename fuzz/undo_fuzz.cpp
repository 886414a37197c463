// Undo snapshot reader: any bytes either load as a snapshot or raise the
// table's error and leave the table exactly as it was; what loads writes
// back to a snapshot that loads to the same table; the loaded table lays
// out, paints, hit-tests and finds drops without harm.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pellora/table.h"

namespace {

constexpr size_t kOwnerBytes = 16;

std::vector<uint8_t> Image(pellora::TSolTbl& t) {
  platform::MemoryStream s;
  t.WriteSnapshot(s);
  return s.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pellora::TSolTbl t;
  t.AddSlot(-1, 4, 262, pellora::skDeck, 0, pellora::kSlotFlagOneCard, "Deck", "tip");
  t.Slot(0).Visible = 1;
  std::vector<uint8_t> owner(kOwnerBytes, 0xEE);
  platform::Stream* source = nullptr;  // where the owner's data is read from
  t.OnLoad = [&owner, &source](pellora::TSolTbl&, int8_t&) {
    std::vector<uint8_t> r(kOwnerBytes);
    source->ReadBuffer(r.data(), r.size());
    owner = r;
  };
  t.InitUndo(nullptr);
  const auto before = Image(t);
  platform::MemoryStream& stream = *t.UndoStream();
  stream.Bytes().assign(data, data + size);
  stream.SetPosition(0);
  source = &stream;
  try {
    t.LoadSnapshot(stream);
  } catch (const std::exception&) {
    if (Image(t) != before || owner != std::vector<uint8_t>(kOwnerBytes, 0xEE)) std::abort();
    return 0;
  }
  const auto loaded = Image(t);
  platform::MemoryStream again;
  t.WriteSnapshot(again);
  again.WriteBuffer(owner.data(), owner.size());
  again.SetPosition(0);
  source = &again;
  pellora::TSolTbl u;
  u.OnLoad = t.OnLoad;
  u.LoadSnapshot(again);
  if (Image(u) != loaded) std::abort();

  t.SetBoardSize(64, 48);
  t.RenderBack();
  int16_t index = -1;
  t.SlotAt(10, 10, index);
  pellora::SolCardBoxModel box;
  box.bounds = platform::Bounds(0, 0, 30, 40);
  t.FindDropSlot(box);
  return 0;
}

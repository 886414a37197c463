// Statistics file reader: any bytes give their whole 390-byte records, each
// with sane figures; saving and loading again gives the same bytes; a game
// recorded over them keeps every figure sane.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pellora/stats.h"

namespace {

void CheckSane(const pellora::StatRecord& r) {
  for (int32_t c : {r.married, r.dated, r.notDated, r.unmarried, r.games})
    if (c < 0) std::abort();
  auto check = [](float m) {
    if (!std::isfinite(m) || m < 0.0f || m > 255.0f) std::abort();
  };
  for (int m = 0; m < pellora::smCount; ++m) {
    check(r.cardsLeft[m]);
    check(r.omensOpen[m]);
    for (float t : r.tops[m]) check(t);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pellora::Statistics st;
  if (!st.LoadBytes(bytes)) {
    if (size / pellora::kStatRecordSize <= pellora::kMaxStatRecords) std::abort();
    return 0;
  }
  if (st.Records().size() != size / pellora::kStatRecordSize) std::abort();
  for (const pellora::StatRecord& r : st.Records()) CheckSane(r);
  const std::string saved = st.SaveBytes();
  if (saved.size() != st.Records().size() * pellora::kStatRecordSize) std::abort();
  pellora::Statistics again;
  if (!again.LoadBytes(saved) || again.SaveBytes() != saved) std::abort();

  // A game whose table comes from the tail of the input.
  const std::string_view tail = bytes.substr(bytes.size() - bytes.size() % pellora::kStatRecordSize);
  auto byteAt = [&](std::size_t i) -> int { return i < tail.size() ? static_cast<unsigned char>(tail[i]) : 0; };
  std::vector<pellora::StatSlot> slots;
  for (std::size_t i = 8; i + 1 < tail.size() && slots.size() < 30; i += 2)
    slots.push_back(pellora::StatSlot{byteAt(i) * 3 - 100, byteAt(i + 1) * 3 - 100});
  pellora::StatTable table{1,
                           pellora::StatKeyValues{byteAt(0) * 2, static_cast<uint32_t>(byteAt(1)), byteAt(2),
                                                  byteAt(3), byteAt(4), byteAt(5) - 20},
                           byteAt(6) - 10, slots};
  st.RecordResult(pellora::spDeal, table);
  table.gameState = static_cast<uint16_t>(1 | (byteAt(7) & 6));
  if (byteAt(7) & 1) st.RecordResult(pellora::spBaseCleared, table);
  table.gameState |= 8;
  st.RecordResult(pellora::spGameOver, table);
  for (const pellora::StatRecord& r : st.Records()) CheckSane(r);
  return 0;
}

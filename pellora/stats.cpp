#include "pellora/stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>

#include "foundation/files.h"
#include "foundation/msgbox.h"
#include "foundation/sysinit.h"
#include "foundation/variant.h"
#include "platform/safesave.h"

namespace pellora {
namespace {

// Field offsets of the record.
constexpr size_t kOffMarried = 0;
constexpr size_t kOffDated = 4;
constexpr size_t kOffNotDated = 8;
constexpr size_t kOffUnmarried = 12;
constexpr size_t kOffGames = 16;
constexpr size_t kOffCardsLeft = 20;
constexpr size_t kOffOmensOpen = 32;
constexpr size_t kOffTops = 44;
constexpr size_t kOffSlotCards = 356;
constexpr size_t kOffKey = 382;
static_assert(kOffTops + smCount * kStatSlots * 4 == kOffSlotCards);

// Two names of one file: the same text, or the same file on disk.
bool SamePath(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  return std::filesystem::equivalent(foundation::ToFsPath(a), foundation::ToFsPath(b), ec);
}
static_assert(kOffKey + 8 == kStatRecordSize);

// Every figure a mean averages is a byte.
constexpr float kMaxMean = 255.0f;

void PutU32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(std::string_view in, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + static_cast<size_t>(i)])) << (8 * i);
  return v;
}

void PutI32(std::string& out, size_t at, int32_t v) { PutU32(out, at, static_cast<uint32_t>(v)); }
int32_t GetI32(std::string_view in, size_t at) { return static_cast<int32_t>(GetU32(in, at)); }
void PutF32(std::string& out, size_t at, float v) { PutU32(out, at, std::bit_cast<uint32_t>(v)); }
float GetF32(std::string_view in, size_t at) { return std::bit_cast<float>(GetU32(in, at)); }

uint8_t ClampByte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

void Increment(int32_t& counter) {
  if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}

// m becomes ((n - 1) * m + x) / n, in double precision, stored as float.
void UpdateMean(float& mean, int32_t n, double x) {
  const double nd = static_cast<double>(n);
  mean = static_cast<float>(((nd - 1.0) * static_cast<double>(mean) + x) / nd);
}

float SaneMean(float m) {
  if (!std::isfinite(m) || m < 0.0f) return 0.0f;
  return std::min(m, kMaxMean);
}

StatSlot SlotOf(const StatTable& table, int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= table.perSlot.size()) return StatSlot{};
  return table.perSlot[static_cast<size_t>(slot)];
}

// The last slot the figures cover: maxSlot, at most the record's last slot.
int LastSlot(const StatTable& table) { return std::min<int32_t>(table.maxSlot, kStatSlots - 1); }

}  // namespace

std::string PackStatRecord(const StatRecord& r) {
  std::string out(kStatRecordSize, '\0');
  PutI32(out, kOffMarried, r.married);
  PutI32(out, kOffDated, r.dated);
  PutI32(out, kOffNotDated, r.notDated);
  PutI32(out, kOffUnmarried, r.unmarried);
  PutI32(out, kOffGames, r.games);
  for (size_t m = 0; m < smCount; ++m) {
    PutF32(out, kOffCardsLeft + 4 * m, r.cardsLeft[m]);
    PutF32(out, kOffOmensOpen + 4 * m, r.omensOpen[m]);
    for (size_t s = 0; s < kStatSlots; ++s) PutF32(out, kOffTops + 4 * (m * kStatSlots + s), r.tops[m][s]);
  }
  for (size_t s = 0; s < kStatSlots; ++s) out[kOffSlotCards + s] = static_cast<char>(r.slotCards[s]);
  for (size_t k = 0; k < r.key.size(); ++k) out[kOffKey + k] = static_cast<char>(r.key[k]);
  return out;
}

StatRecord UnpackStatRecord(std::string_view in) {
  StatRecord r;
  if (in.size() < kStatRecordSize) return r;
  r.married = GetI32(in, kOffMarried);
  r.dated = GetI32(in, kOffDated);
  r.notDated = GetI32(in, kOffNotDated);
  r.unmarried = GetI32(in, kOffUnmarried);
  r.games = GetI32(in, kOffGames);
  for (size_t m = 0; m < smCount; ++m) {
    r.cardsLeft[m] = GetF32(in, kOffCardsLeft + 4 * m);
    r.omensOpen[m] = GetF32(in, kOffOmensOpen + 4 * m);
    for (size_t s = 0; s < kStatSlots; ++s) r.tops[m][s] = GetF32(in, kOffTops + 4 * (m * kStatSlots + s));
  }
  for (size_t s = 0; s < kStatSlots; ++s) r.slotCards[s] = static_cast<uint8_t>(in[kOffSlotCards + s]);
  for (size_t k = 0; k < r.key.size(); ++k) r.key[k] = static_cast<uint8_t>(in[kOffKey + k]);
  return r;
}

void SanitizeStatRecord(StatRecord& r) {
  for (int32_t* counter : {&r.married, &r.dated, &r.notDated, &r.unmarried, &r.games}) {
    if (*counter < 0) *counter = 0;
  }
  for (size_t m = 0; m < smCount; ++m) {
    r.cardsLeft[m] = SaneMean(r.cardsLeft[m]);
    r.omensOpen[m] = SaneMean(r.omensOpen[m]);
    for (float& t : r.tops[m]) t = SaneMean(t);
  }
}

bool BuildStatKey(const StatKeyValues& v, StatKey& key) {
  const int64_t values[] = {v.cardCount, static_cast<int64_t>(v.ruleBits & 0xFF), v.brideCards,
                            v.groomCards, v.parentCards, v.omenSlots};
  for (int64_t x : values) {
    if (x < 0 || x > 255) return false;
  }
  StatKey k{};
  for (size_t i = 0; i < std::size(values); ++i) k[i] = static_cast<uint8_t>(values[i]);
  key = k;
  return true;
}

void Statistics::StoreCounts(const StatTable& table) {
  for (int s = 0; s <= LastSlot(table); ++s) figures_.slotCards[static_cast<size_t>(s)] = ClampByte(SlotOf(table, s).count);
}

void Statistics::TakeSlots(int moment, const StatTable& table) {
  const size_t m = static_cast<size_t>(moment);
  // Each moment is taken whole: a second take replaces the first.
  int64_t cardsLeft = 0;
  int64_t omensOpen = omenCount_;
  for (int s = 0; s <= LastSlot(table); ++s) {
    const StatSlot slot = SlotOf(table, s);
    figures_.tops[m][static_cast<size_t>(s)] = ClampByte(slot.top);
    if (slot.count >= slot.top)
      cardsLeft += std::max<int32_t>(slot.top, 0);
    else
      --omensOpen;
  }
  figures_.cardsLeft[m] = ClampByte(cardsLeft);
  figures_.omensOpen[m] = ClampByte(omensOpen);
}

bool Statistics::RecordResult(int phase, const StatTable& table) {
  if (phase == spDeal) {
    StatFigures fresh;
    recording_ = BuildStatKey(table.key, fresh.key);
    fresh.dated = 0;
    fresh.wedding = (table.key.ruleBits & kRuleCheckWeddings) ? swPending : swNotInRules;
    omenCount_ = ClampByte(table.key.omenSlots);
    fresh.omensOpen.fill(omenCount_);
    figures_ = fresh;  // also zeroes the per-slot counts above maxSlot
    StoreCounts(table);
    return true;
  }
  if (!recording_ || !(table.gameState & kStateDealt)) return false;
  if (phase == spBaseCleared) {
    StoreCounts(table);
    figures_.dated = 1;
    TakeSlots(smDating, table);
    return true;
  }
  if (phase != spGameOver) return false;
  StoreCounts(table);
  recording_ = false;  // a game is filed once
  if (table.gameState & kStateMarried) figures_.wedding = swMarried;
  if (!figures_.dated)
    TakeSlots(smNoDating, table);
  else if (figures_.wedding == swPending)
    TakeSlots(smUnmarried, table);

  auto found = std::find_if(records_.begin(), records_.end(),
                            [&](const StatRecord& r) { return r.key == figures_.key; });
  if (found == records_.end()) {
    if (records_.size() >= kMaxStatRecords) return false;
    StatRecord fresh;
    fresh.key = figures_.key;
    fresh.slotCards = figures_.slotCards;
    for (size_t m = 0; m < smCount; ++m) fresh.omensOpen[m] = figures_.omensOpen[m];
    records_.push_back(fresh);
    found = records_.end() - 1;
  }
  StatRecord& r = *found;
  Increment(r.games);
  auto updateMoment = [&](int moment, int32_t n) {
    const size_t m = static_cast<size_t>(moment);
    UpdateMean(r.cardsLeft[m], n, figures_.cardsLeft[m]);
    UpdateMean(r.omensOpen[m], n, figures_.omensOpen[m]);
    for (int s = 0; s <= LastSlot(table); ++s) {
      const size_t i = static_cast<size_t>(s);
      UpdateMean(r.tops[m][i], n, figures_.tops[m][i]);
    }
  };
  if (figures_.dated) {
    Increment(r.dated);
    updateMoment(smDating, r.dated);
  } else {
    Increment(r.notDated);
    updateMoment(smNoDating, r.notDated);
  }
  if (figures_.wedding == swMarried) Increment(r.married);
  if (figures_.wedding == swPending) {
    Increment(r.unmarried);
    updateMoment(smUnmarried, r.unmarried);
  }
  return true;
}

bool Statistics::LoadBytes(std::string_view bytes) {
  const size_t count = bytes.size() / kStatRecordSize;
  if (count > kMaxStatRecords) return false;
  std::vector<StatRecord> records;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    StatRecord r = UnpackStatRecord(bytes.substr(i * kStatRecordSize, kStatRecordSize));
    SanitizeStatRecord(r);
    records.push_back(r);
  }
  records_ = std::move(records);
  return true;
}

std::string Statistics::SaveBytes() const {
  std::string out;
  out.reserve(records_.size() * kStatRecordSize);
  for (const StatRecord& r : records_) out += PackStatRecord(r);
  return out;
}

bool Statistics::LoadFile(const std::string& path) {
  try {
    unreadablePath_.clear();
    if (!foundation::FileExistsVar(foundation::Variant(path), 1)) {
      records_.clear();
      return true;
    }
    foundation::FindData info;
    std::string bytes;
    const bool fits = foundation::FindFileInfo(foundation::Variant(path), info, foundation::ffoNoDirectory) &&
                      info.Size() / kStatRecordSize <= kMaxStatRecords;
    if (fits && foundation::ReadWholeFile(foundation::ToFsPath(path), bytes) && LoadBytes(bytes)) return true;
  } catch (const std::exception&) {
  }
  unreadablePath_ = path;
  foundation::MsgBox(foundation::Variant("The statistics file " + path +
                                         " could not be read. It is left as it is and not written at exit."));
  return false;
}

bool Statistics::SaveFile(const std::string& path) const {
  if (records_.empty()) return true;
  // The file load could not read was reported then; a save elsewhere (the
  // program folder, when an earlier version's file was read) still keeps
  // this session's games.
  if (!unreadablePath_.empty() && SamePath(path, unreadablePath_)) return false;
  std::string reason;
  try {
    const platform::SaveResult result =
        platform::SaveFileSafely(foundation::ToFsPath(path), SaveBytes(), platform::SaveLinks::OwnOnly);
    if (result) return true;
    reason = result.Reason();
  } catch (const std::exception& e) {
    reason = e.what();
  }
  try {
    foundation::MsgBox(foundation::Variant("The statistics could not be saved to " + path + ": " + reason + "."));
  } catch (const std::exception&) {
  }
  return false;
}

std::string StatsFilePath() { return foundation::AppDir + kStatsFileName; }

std::string StatsFileToRead() {
  const std::string own = foundation::StartingContentFile(StatsFilePath());
  if (foundation::FileExistsVar(foundation::Variant(own), 1)) return own;
  // Earlier versions kept the file in the current directory.
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) return own;
  const std::string earlier = foundation::FromFsPath(cwd / kStatsFileName);
  return foundation::FileExistsVar(foundation::Variant(earlier), 1) ? earlier : own;
}

}  // namespace pellora

#include "pellora/table.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "foundation/files.h"
#include "foundation/sysinit.h"

namespace pellora {
namespace {

[[noreturn]] void RangeError(const char* what, long long value) {
  throw SolTblError(std::string(what) + " " + std::to_string(value) + " out of range");
}

// The index AddSlot and AddLabel write: -1 appends, others grow the table.
size_t PlaceIndex(std::vector<recSolSlt>& table, int index) {
  if (index < -1 || index >= kMaxTableEntries) RangeError("Table index", index);
  size_t at = index == -1 ? table.size() : static_cast<size_t>(index);
  if (at >= static_cast<size_t>(kMaxTableEntries)) RangeError("Table size", static_cast<long long>(at) + 1);
  if (at >= table.size()) table.resize(at + 1);
  return at;
}

int16_t Narrow16(int value, const char* what) {
  if (value < INT16_MIN || value > INT16_MAX) RangeError(what, value);
  return static_cast<int16_t>(value);
}

}  // namespace

// ---- recSolSlt ----

int16_t recSolSlt::Card(int pos) const {
  if (pos < 0 || pos >= CardCount()) RangeError("Card position", pos);
  return Cards[static_cast<size_t>(pos)];
}

void recSolSlt::SetCard(int pos, int16_t code) {
  if (pos < 0 || pos >= CardCount()) RangeError("Card position", pos);
  Cards[static_cast<size_t>(pos)] = code;
}

void recSolSlt::SetCardCount(int n) {
  if (n < 0 || n > kMaxTableEntries) RangeError("Card list length", n);
  Cards.resize(static_cast<size_t>(n));
}

void SolCardBox::MoveTo(int left, int top) {
  const platform::Rect b = Bounds();
  SetBounds(platform::Bounds(left, top, b.Width(), b.Height()));
}

SolTiming SolTiming::System() {
  SolTiming t;
  t.NowMs = [] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  };
  t.SleepMs = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  return t;
}

// ---- TSolTbl ----

TSolTbl::TSolTbl()
    : BoardColor(platform::RGBColor(30, 98, 62)), Timing(SolTiming::System()), back_(0, 0, platform::PixelFormat::Bit24) {
  UndoFile = TempFileName(foundation::AppName);
}

TSolTbl::~TSolTbl() {
  if (OnDestroy) {
    auto hook = std::move(OnDestroy);
    hook();
  }
}

bool TSolTbl::UseLblBit(int index) const { return (optionWord_ & index) != 0; }

void TSolTbl::SetUseLblBit(int index, bool value) {
  if (index < 0 || index > UINT16_MAX) RangeError("Option bit", index);
  const bool set = (optionWord_ & index) != 0;
  if (value && !set) optionWord_ = static_cast<uint16_t>(optionWord_ + index);
  else if (!value && set) optionWord_ = static_cast<uint16_t>(optionWord_ - index);
}

int16_t TSolTbl::AddSlot(int index, int x, int y, int kind, int count, int flags, const std::string& name,
                         const std::string& tip) {
  if (kind < 0 || kind > 255) RangeError("Slot kind", kind);
  const int16_t sx = Narrow16(x, "Slot x"), sy = Narrow16(y, "Slot y");
  const int16_t scount = Narrow16(count, "Card count");
  if (flags < 0 || flags > UINT16_MAX) RangeError("Slot flags", flags);
  const size_t at = PlaceIndex(slots_, index);
  recSolSlt& s = slots_[at];
  s.Ind = static_cast<int16_t>(index);
  s.Kind = static_cast<uint8_t>(kind);
  s.X = sx;
  s.Y = sy;
  s.Name = name.substr(0, kSlotNameMax);
  s.Tip = tip;
  s.Flags = static_cast<uint16_t>(flags);
  s.Mark123 = 0;
  s.Top = -1;
  s.PairKey = 0;
  s.Count = scount;
  if (flags & kSlotFlagOneCard) s.Cards.resize(1);
  const auto result = static_cast<int16_t>(at);
  if (kind == skDeck) DeckInd = result;
  if (kind == skRemovals) RemInd = result;
  return result;
}

int16_t TSolTbl::AddLabel(int index, int x, int y, int width, int height, int byteValue, int flags,
                          const std::string& name, const std::string& caption, const std::string& extra) {
  if (byteValue < 0 || byteValue > 255) RangeError("Label value", byteValue);
  const int16_t sx = Narrow16(x, "Label x"), sy = Narrow16(y, "Label y");
  const int16_t sw = Narrow16(width, "Label width"), sh = Narrow16(height, "Label height");
  if (flags < 0 || flags > UINT16_MAX) RangeError("Label flags", flags);
  const size_t at = PlaceIndex(labels_, index);
  recSolSlt& l = labels_[at];
  l.Ind = static_cast<int16_t>(index);
  l.Caption = caption;
  l.Extra = extra;
  l.X = sx;
  l.Y = sy;
  l.W = sw;
  l.H = sh;
  l.Paired = static_cast<uint8_t>(byteValue);
  l.Name = name.substr(0, kSlotNameMax);
  l.Flags = static_cast<uint16_t>(flags);
  return static_cast<int16_t>(at);
}

void TSolTbl::ClearSlots() {
  slots_.clear();
  labels_.clear();
}

recSolSlt& TSolTbl::Slot(int i) {
  if (i < 0 || i >= SlotCount()) RangeError("Slot index", i);
  return slots_[static_cast<size_t>(i)];
}
const recSolSlt& TSolTbl::Slot(int i) const {
  if (i < 0 || i >= SlotCount()) RangeError("Slot index", i);
  return slots_[static_cast<size_t>(i)];
}
recSolSlt& TSolTbl::Label(int i) {
  if (i < 0 || i >= LabelCount()) RangeError("Label index", i);
  return labels_[static_cast<size_t>(i)];
}
const recSolSlt& TSolTbl::Label(int i) const {
  if (i < 0 || i >= LabelCount()) RangeError("Label index", i);
  return labels_[static_cast<size_t>(i)];
}

int16_t TSolTbl::AddPicture(std::shared_ptr<const SolImageList> list, int index, int number) {
  const int16_t sindex = Narrow16(index, "Picture index");
  if (number >= kMaxTableEntries) RangeError("Picture number", number);
  const int n = number < 0 ? static_cast<int>(sources_.size()) : number;
  if (n >= kMaxTableEntries) RangeError("Picture number", n);
  while (static_cast<int>(sources_.size()) <= n) {
    recSolPicSrc blank;
    blank.Number = static_cast<int16_t>(sources_.size());
    sources_.push_back(blank);
  }
  sources_[static_cast<size_t>(n)] = recSolPicSrc{static_cast<int16_t>(n), std::move(list), sindex};
  picturesCurrent_ = false;
  return static_cast<int16_t>(n);
}

const platform::Bitmap& TSolTbl::Picture(int number) const {
  if (number < 0 || number >= PictureCount()) RangeError("Picture number", number);
  return pictures_[static_cast<size_t>(number)];
}

int32_t TSolTbl::Random(int32_t n) {
  // The seed moves on before it is multiplied, so the first draw from seed 0
  // is always 0 and every start deals the same game.
  seed_ = seed_ * 134775813u + 1u;
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(seed_) * static_cast<uint32_t>(n)) >> 32);
}

void TSolTbl::ShuffleCards(std::vector<int16_t>& cards, int32_t high, uint8_t low) {
  if (high < 1 || high - static_cast<int32_t>(low) + 1 < 2) return;
  if (static_cast<size_t>(high) >= cards.size())
    throw SolTblError("Shuffle range " + std::to_string(low) + ".." + std::to_string(high) + " beyond a list of " +
                      std::to_string(cards.size()));
  const int32_t n = high - low + 1;
  const int64_t exchanges = static_cast<int64_t>(n) * 1000 + 1;
  for (int64_t k = 0; k < exchanges; ++k) {
    const int32_t i = low + Random(n);
    int32_t j = low + Random(n);
    while (j == i) j = low + Random(n);
    std::swap(cards[static_cast<size_t>(i)], cards[static_cast<size_t>(j)]);
  }
}

std::string TSolTbl::TempFileName(const std::string& prefix) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec || dir.empty()) return std::string();
  std::string base = foundation::FromFsPath(dir);
  if (base.empty()) return std::string();
  if (base.back() != '/') base += '/';
  const std::string name = prefix.empty() ? std::string("~TmpFile") : prefix;
  auto taken = [](const std::string& path) {
    std::error_code e;
    return std::filesystem::symlink_status(foundation::ToFsPath(path), e).type() !=
           std::filesystem::file_type::not_found;
  };
  std::string candidate = base + name + ".tmp";
  // A folder that cannot be looked into answers "taken" for every name;
  // give up rather than count for ever.
  constexpr uint32_t kMaxCandidates = 100000;
  for (uint32_t n = 0; taken(candidate); ++n) {
    if (n == kMaxCandidates) return std::string();
    candidate = base + name + std::to_string(n) + ".tmp";
  }
  return candidate;
}

}  // namespace pellora

// Undo and redo snapshots of the table in one memory stream.
//
// A block: a 4-byte lead word (the length field of the block before; never
// read), the 42-byte geometry block, one entry per slot, the owner's data
// (OnSave), and the 32-bit length field L = the distance from the block's
// start to the field. The next block starts right after the field. All
// numbers little-endian, floats IEEE single.
//
// Slot entry: six strings (32-bit length n, then n bytes), the card list's
// high index h (32-bit, -1 when empty), h + 1 16-bit cards, then 107 bytes
// of the record's fixed fields (Res28 .. Res133).
//
// The blocks cannot be walked forward by their length fields, so the table
// keeps the start of every block of the chain: Redo steps through them.
// Stepping back from the newest snapshot first pushes the current state, so
// Redo can come back to it.
#include <bit>
#include <cstring>

#include "pellora/table.h"

namespace pellora {
namespace {

constexpr int kGeometrySize = 42;
constexpr int kRecordFixedSize = 107;
constexpr int kMinSlotEntry = 6 * 4 + 4 + kRecordFixedSize;
constexpr int64_t kStreamGrowth = 32768;
constexpr int64_t kStreamSlack = 2048;

class Writer {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
  void Raw(const uint8_t* p, size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
  void Str(const std::string& s) {
    if (s.size() > static_cast<size_t>(INT32_MAX)) throw SolTblError("Snapshot string too long");
    I32(static_cast<int32_t>(s.size()));
    Raw(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void Reserve(size_t n) { bytes_.reserve(n); }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads from a stream, never past its end: every read is checked against the
// bytes left before anything is read or allocated.
class Reader {
 public:
  explicit Reader(platform::Stream& s) : s_(s) {
    const int64_t size = s.Size();
    const int64_t pos = s.Position();
    left_ = size > pos ? size - pos : 0;
  }
  int64_t Left() const { return left_; }
  void Need(int64_t n, const char* what) {
    if (n < 0 || n > left_) throw SolTblError(std::string("Damaged undo snapshot: ") + what + " runs past the end");
  }
  void Raw(void* p, size_t n) {
    Need(static_cast<int64_t>(n), "data");
    s_.ReadBuffer(p, n);
    left_ -= static_cast<int64_t>(n);
  }
  uint8_t U8() {
    uint8_t v = 0;
    Raw(&v, 1);
    return v;
  }
  uint16_t U16() {
    uint8_t b[2];
    Raw(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    uint8_t b[4];
    Raw(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() { return std::bit_cast<float>(U32()); }
  std::string Str() {
    const int32_t n = I32();
    Need(n, "a text");
    std::string s(static_cast<size_t>(n), '\0');
    if (n > 0) Raw(s.data(), s.size());
    return s;
  }

 private:
  platform::Stream& s_;
  int64_t left_ = 0;
};

struct Geometry {
  int16_t reserved, defWidth, defHeight, picHeight, picWidth;
  int32_t maxWidth, maxHeight;
  float scaleX, scaleY, aspect;
  int16_t maxSlot, deckInd, remInd, turnInd, fps, savedHigh;
};

void WriteRecordFixed(Writer& w, const recSolSlt& r) {
  w.U16(r.Res28);
  w.I16(r.Ind);
  w.Raw(r.Res32.data(), r.Res32.size());
  const size_t n = std::min<size_t>(r.Name.size(), kSlotNameMax);
  w.U8(static_cast<uint8_t>(n));
  uint8_t name[kSlotNameMax] = {};
  std::memcpy(name, r.Name.data(), n);
  w.Raw(name, kSlotNameMax);
  w.Raw(r.Res64.data(), r.Res64.size());
  w.I32(r.X);
  w.I32(r.Y);
  w.I32(r.W);
  w.I32(r.H);
  w.U8(r.Kind);
  w.U8(r.Visible);
  w.U16(r.Flags);
  w.I32(r.Rect.left);
  w.I32(r.Rect.top);
  w.I32(r.Rect.right);
  w.I32(r.Rect.bottom);
  w.U8(r.Paired);
  w.I16(r.Top);
  w.I16(r.Count);
  w.U16(r.Res121);
  w.U16(r.Mark123);
  w.I16(r.PairKey);
  w.I16(r.Picture);
  w.Raw(r.Res129.data(), r.Res129.size());
  w.U8(r.Selected);
  w.U16(r.Res133);
}

void ReadRecordFixed(Reader& rd, recSolSlt& r) {
  rd.Need(kRecordFixedSize, "a slot record");
  r.Res28 = rd.U16();
  r.Ind = rd.I16();
  rd.Raw(r.Res32.data(), r.Res32.size());
  const uint8_t n = rd.U8();
  char name[kSlotNameMax];
  rd.Raw(name, kSlotNameMax);
  if (n > kSlotNameMax) throw SolTblError("Damaged undo snapshot: a slot name longer than 15 characters");
  r.Name.assign(name, n);
  rd.Raw(r.Res64.data(), r.Res64.size());
  r.X = rd.I32();
  r.Y = rd.I32();
  r.W = rd.I32();
  r.H = rd.I32();
  r.Kind = rd.U8();
  r.Visible = rd.U8();
  r.Flags = rd.U16();
  r.Rect.left = rd.I32();
  r.Rect.top = rd.I32();
  r.Rect.right = rd.I32();
  r.Rect.bottom = rd.I32();
  r.Paired = rd.U8();
  r.Top = rd.I16();
  r.Count = rd.I16();
  r.Res121 = rd.U16();
  r.Mark123 = rd.U16();
  r.PairKey = rd.I16();
  r.Picture = rd.I16();
  rd.Raw(r.Res129.data(), r.Res129.size());
  r.Selected = rd.U8();
  r.Res133 = rd.U16();
}

int32_t CheckedPosition(int64_t pos) {
  if (pos < 0 || pos > INT32_MAX) throw SolTblError("Undo stream position beyond 32 bits");
  return static_cast<int32_t>(pos);
}

}  // namespace

void TSolTbl::WriteSnapshot(platform::Stream& stream) {
  if (slots_.size() > static_cast<size_t>(kMaxTableEntries)) throw SolTblError("Too many slots for a snapshot");
  SavedHigh = static_cast<int16_t>(static_cast<int>(slots_.size()) - 1);
  Writer w;
  w.Reserve(kGeometrySize + slots_.size() * (kMinSlotEntry + 64));
  w.I16(Reserved);
  w.I16(DefWidth);
  w.I16(DefHeight);
  w.I16(PicHeight);
  w.I16(PicWidth);
  w.I32(MaxWidth);
  w.I32(MaxHeight);
  w.F32(ScaleX);
  w.F32(ScaleY);
  w.F32(PicAspect);
  w.I16(MaxSlot);
  w.I16(DeckInd);
  w.I16(RemInd);
  w.I16(TurnInd);
  w.I16(FPS);
  w.I16(SavedHigh);
  for (const recSolSlt& s : slots_) {
    w.Str(s.Caption);
    w.Str(s.Tip);
    w.Str(s.Extra);
    w.Str(s.Text12);
    w.Str(s.Text16);
    w.Str(s.Text20);
    if (s.Cards.size() > static_cast<size_t>(kMaxTableEntries)) throw SolTblError("Card list too long for a snapshot");
    w.I32(static_cast<int32_t>(s.Cards.size()) - 1);
    for (int16_t c : s.Cards) w.I16(c);
    WriteRecordFixed(w, s);
  }
  stream.WriteBuffer(w.Bytes().data(), w.Bytes().size());
}

void TSolTbl::LoadSnapshot(platform::Stream& stream) {
  Reader rd(stream);
  Geometry g{};
  rd.Need(kGeometrySize, "the geometry block");
  g.reserved = rd.I16();
  g.defWidth = rd.I16();
  g.defHeight = rd.I16();
  g.picHeight = rd.I16();
  g.picWidth = rd.I16();
  g.maxWidth = rd.I32();
  g.maxHeight = rd.I32();
  g.scaleX = rd.F32();
  g.scaleY = rd.F32();
  g.aspect = rd.F32();
  g.maxSlot = rd.I16();
  g.deckInd = rd.I16();
  g.remInd = rd.I16();
  g.turnInd = rd.I16();
  g.fps = rd.I16();
  g.savedHigh = rd.I16();
  if (g.savedHigh < -1 || g.savedHigh >= kMaxTableEntries)
    throw SolTblError("Damaged undo snapshot: slot count out of range");
  const int count = g.savedHigh + 1;
  rd.Need(static_cast<int64_t>(count) * kMinSlotEntry, "the slot table");
  std::vector<recSolSlt> fresh(static_cast<size_t>(count));
  for (recSolSlt& s : fresh) {
    s.Caption = rd.Str();
    s.Tip = rd.Str();
    s.Extra = rd.Str();
    s.Text12 = rd.Str();
    s.Text16 = rd.Str();
    s.Text20 = rd.Str();
    const int32_t high = rd.I32();
    if (high < -1 || high >= kMaxTableEntries) throw SolTblError("Damaged undo snapshot: card count out of range");
    rd.Need(2 * (static_cast<int64_t>(high) + 1) + kRecordFixedSize, "a card list");
    s.Cards.resize(static_cast<size_t>(high + 1));
    for (int16_t& c : s.Cards) c = rd.I16();
    ReadRecordFixed(rd, s);
  }
  // The owner reads its data behind ours; the table takes the snapshot over
  // only when that has worked too.
  if (OnLoad) {
    int8_t typ = etLoad;
    OnLoad(*this, typ);
  }
  Reserved = g.reserved;
  DefWidth = g.defWidth;
  DefHeight = g.defHeight;
  PicHeight = g.picHeight;
  PicWidth = g.picWidth;
  MaxWidth = g.maxWidth;
  MaxHeight = g.maxHeight;
  ScaleX = g.scaleX;
  ScaleY = g.scaleY;
  PicAspect = g.aspect;
  MaxSlot = g.maxSlot;
  DeckInd = g.deckInd;
  RemInd = g.remInd;
  TurnInd = g.turnInd;
  FPS = g.fps;
  SavedHigh = g.savedHigh;
  slots_ = std::move(fresh);
  // The selection list is not part of a snapshot: nothing stays selected.
  for (recSolSlt& s : slots_) s.Selected = 0;
  if (!Selection.empty()) Selection[0] = -1;
  // Rectangles stored in the snapshot are stale after a resize.
  if (boardWidth_ > 0 && boardHeight_ > 0) RelayoutAfterRestore();
}

void TSolTbl::InitUndo(eSolEvent handler) {
  undo_ = std::make_unique<platform::MemoryStream>();
  OnUndo = std::move(handler);
  undoPos_ = 0;
  undoTop_ = 0;
  UndoStatus = 0;
  blocks_.clear();
}

void TSolTbl::ClearUndo() {
  undoPos_ = 0;
  undoTop_ = 0;
  UndoStatus = 0;
  blocks_.clear();
  if (undo_) {
    undo_->SetSize(kStreamGrowth);
    undo_->Bytes().shrink_to_fit();
    undo_->SetPosition(0);
  }
}

int TSolTbl::BlockIndexAt(int32_t pos) const {
  for (size_t k = 0; k < blocks_.size(); ++k)
    if (blocks_[k] == pos) return static_cast<int>(k);
  return -1;
}

void TSolTbl::RefreshRedoStatus() {
  // Undo: a block lies before the position. Redo: the position is a block's
  // start and another block follows it.
  const int k = BlockIndexAt(undoPos_);
  const bool canUndo = undoPos_ >= 5 && (k > 0 || (k < 0 && !blocks_.empty()));
  const bool canRedo = k >= 0 && static_cast<size_t>(k) + 1 < blocks_.size();
  UndoStatus = static_cast<uint8_t>((UndoStatus & ~(usCanUndo | usCanRedo)) | (canUndo ? usCanUndo : 0) |
                                    (canRedo ? usCanRedo : 0));
}

void TSolTbl::SaveUndo() {
  if (!OnSave) return;
  if (!undo_) undo_ = std::make_unique<platform::MemoryStream>();
  platform::MemoryStream& s = *undo_;
  if (s.Position() >= s.Size() - kStreamSlack) s.SetSize(s.Size() + kStreamGrowth);
  const int32_t start = undoPos_;
  s.SetPosition(static_cast<int64_t>(start) + 4);
  WriteSnapshot(s);
  int8_t typ = etSave;
  OnSave(*this, typ);
  const int32_t length = CheckedPosition(s.Position() - start);
  CheckedPosition(s.Position() + 8);
  s.WriteU32LE(static_cast<uint32_t>(length));
  undoPos_ = undoTop_ = CheckedPosition(s.Position());
  s.WriteU32LE(static_cast<uint32_t>(length));
  // The chain is cut at the block just written.
  while (!blocks_.empty() && blocks_.back() >= start) blocks_.pop_back();
  blocks_.push_back(start);
  UndoStatus = static_cast<uint8_t>((UndoStatus | usCanUndo) & ~usCanRedo);
}

void TSolTbl::RestoreBlock(int32_t start) {
  // The block's own length field must agree with the index: an owner that
  // wrote beyond its data would otherwise have us read garbage as a table.
  const auto k = static_cast<size_t>(BlockIndexAt(start));
  const int64_t end = k + 1 < blocks_.size() ? blocks_[k + 1] : undoTop_;
  platform::MemoryStream& s = *undo_;
  if (end - 4 < static_cast<int64_t>(start) + 4 + kGeometrySize || end > s.Size())
    throw SolTblError("Damaged undo snapshot: block out of the stream");
  s.SetPosition(end - 4);
  const auto length = static_cast<int32_t>(s.ReadU32LE());
  if (static_cast<int64_t>(start) + length != end - 4) throw SolTblError("Damaged undo snapshot: length field");
  s.SetPosition(static_cast<int64_t>(start) + 4);
  LoadSnapshot(s);
  undoPos_ = start;
}

void TSolTbl::StepUndo(bool back) {
  if (!OnLoad || !undo_) return;
  if (back) {
    if (undoPos_ < 5 || blocks_.empty()) return;
    int k = BlockIndexAt(undoPos_);
    if (k < 0) {
      // At the newest snapshot: keep the current state as a block of its own
      // so that Redo can return to it.
      k = static_cast<int>(blocks_.size());
      if (OnSave) {
        SaveUndo();
        k = static_cast<int>(blocks_.size()) - 1;
      }
    }
    if (k < 1) return;
    RestoreBlock(blocks_[static_cast<size_t>(k - 1)]);
  } else {
    const int k = BlockIndexAt(undoPos_);
    if (k < 0 || static_cast<size_t>(k) + 1 >= blocks_.size()) return;
    RestoreBlock(blocks_[static_cast<size_t>(k + 1)]);
  }
  RefreshRedoStatus();
  if (OnUndo) {
    int8_t typ = etUndo;
    OnUndo(*this, typ);
  }
}

}  // namespace pellora

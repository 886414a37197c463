#include "pellora/game.h"

#include "pellora/cards.h"

namespace pellora {

// ---- Game record ----

int16_t SolGameRecord::I16(size_t at) const {
  return static_cast<int16_t>(bytes_.at(at) | (bytes_.at(at + 1) << 8));
}

void SolGameRecord::SetI16(size_t at, int16_t v) {
  const auto u = static_cast<uint16_t>(v);
  bytes_.at(at) = static_cast<uint8_t>(u);
  bytes_.at(at + 1) = static_cast<uint8_t>(u >> 8);
}

int32_t SolGameRecord::I32(size_t at) const {
  uint32_t u = 0;
  for (size_t i = 0; i < 4; ++i) u |= static_cast<uint32_t>(bytes_.at(at + i)) << (8 * i);
  return static_cast<int32_t>(u);
}

void SolGameRecord::SetI32(size_t at, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (size_t i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<uint8_t>(u >> (8 * i));
}

recSolCounts SolGameRecord::Counts() const {
  recSolCounts c;
  c.Bride = I16(kBride);
  c.Groom = I16(kGroom);
  c.Parents = I16(kParents);
  c.Omens = I16(kOmens);
  return c;
}

void SolGameRecord::SetCounts(const recSolCounts& c) {
  SetI16(kBride, c.Bride);
  SetI16(kGroom, c.Groom);
  SetI16(kParents, c.Parents);
  SetI16(kOmens, c.Omens);
}

// ---- The game ----

SolGame::SolGame(TSolTbl& table, SolGameView& view, std::shared_ptr<const SolImageList> pictures)
    : table_(table), view_(view), pictures_(std::move(pictures)) {
  if (!pictures_) pictures_ = std::make_shared<const SolImageList>(MakeCardPictures());
  recSolCounts counts;
  SetDefaultOptions(kGameTypeTarot, table_.Options, counts, dpAll);
  record_.SetCounts(counts);
  if (table_.Selection.empty()) table_.Selection.assign(1, -1);
  table_.OnSave = [this](TSolTbl&, int8_t& fTyp) { OnFile(fTyp); };
  table_.OnLoad = [this](TSolTbl&, int8_t& fTyp) { OnFile(fTyp); };
  table_.InitUndo([this](TSolTbl&, int8_t& fTyp) { OnFile(fTyp); });
}

SolGame::~SolGame() {
  table_.OnSave = nullptr;
  table_.OnLoad = nullptr;
  table_.OnUndo = nullptr;
}

void SolGame::OnFile(int8_t fTyp) {
  platform::MemoryStream* stream = table_.UndoStream();
  switch (fTyp) {
    case etSave:
      if (stream) stream->WriteBuffer(record_.Bytes().data(), SolGameRecord::kSize);
      break;
    case etLoad: {
      if (!stream) break;
      // Read whole before taking over: a short block leaves the record alone
      // (the stream raises and the table keeps its state).
      std::array<uint8_t, SolGameRecord::kSize> bytes{};
      stream->ReadBuffer(bytes.data(), bytes.size());
      record_.Bytes() = bytes;
      break;
    }
    case etUndo:
      // The restored position has the pairs of its own table, not those of
      // the position just left.
      pairs_ = CountPairs();
      view_.SetInfo(kTxtUndo);
      view_.ShowCounts();
      view_.Repaint();
      view_.Pause(200);
      break;
    default:
      break;
  }
}

int16_t SolGame::Speed(int row) const { return table_.Options.Speed(row); }
uint16_t SolGame::Click(int row) const { return table_.Options.Click(row); }
uint16_t SolGame::Drag(int row) const { return table_.Options.Drag(row); }

void SolGame::SizeBoxToSlot0(SolCardBox& box) {
  const platform::Rect r = table_.Slot(0).Rect;
  platform::Rect b = box.Bounds();
  b.right = b.left + r.Width();
  b.bottom = b.top + r.Height();
  box.SetBounds(b);
}

void SolGame::PlaceBoxOn(SolCardBox& box, int slot) {
  const platform::Rect r = table_.Slot(slot).Rect;
  box.MoveTo(r.left, r.top);
}

void SolGame::ShowSlotTop(int slot) {
  recSolSlt& s = table_.Slot(slot);
  s.Picture = s.Card(s.Top);
}

int SolGame::SelectedSlot() const {
  return table_.Selection.empty() ? -1 : table_.Selection[0];
}

void SolGame::ClearSelection() {
  const int sel = SelectedSlot();
  if (sel >= 0 && sel < table_.SlotCount()) table_.Slot(sel).Selected = 0;
  if (table_.Selection.empty())
    table_.Selection.assign(1, -1);
  else
    table_.Selection[0] = -1;
}

void SolGame::Select(int slot) {
  if (table_.Selection.empty()) table_.Selection.assign(1, -1);
  table_.Selection[0] = static_cast<int16_t>(slot);
  table_.Slot(slot).Selected = 1;
}

void SolGame::RecordPhase(int phase) {
  std::vector<StatSlot> perSlot;
  const int last = std::min<int>(table_.MaxSlot, table_.SlotCount() - 1);
  for (int i = 0; i <= last; ++i) {
    const recSolSlt& s = table_.Slot(i);
    perSlot.push_back(StatSlot{s.Count, s.Top});
  }
  StatTable t;
  t.gameState = table_.Options.GameState;
  const recSolCounts c = record_.Counts();
  t.key.cardCount = table_.Options.CardCount;
  t.key.ruleBits = table_.Options.Attrib;
  t.key.brideCards = c.Bride;
  t.key.groomCards = c.Groom;
  t.key.parentCards = c.Parents;
  t.key.omenSlots = c.Omens;
  t.maxSlot = last;
  t.perSlot = perSlot;
  stats_.RecordResult(phase, t);
}

bool SolGame::BuildBoard(int /*layout*/) {
  BusyScope busy(*this);
  if (!busy.Owner()) return false;
  BuildBoardNow();
  return true;
}

bool SolGame::Deal() {
  BusyScope busy(*this);
  if (!busy.Owner()) return false;
  DealNow();
  return true;
}

bool SolGame::Evaluate() {
  BusyScope busy(*this);
  if (!busy.Owner()) return false;
  EvaluateNow();
  return true;
}

bool SolGame::Undo() {
  BusyScope busy(*this);
  if (!busy.Owner()) return false;
  table_.StepUndo(true);
  return true;
}

bool SolGame::Redo() {
  BusyScope busy(*this);
  if (!busy.Owner()) return false;
  table_.StepUndo(false);
  return true;
}

}  // namespace pellora

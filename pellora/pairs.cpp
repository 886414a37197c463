// Pairs: finding partners, removing a pair, and the board's mouse in click
// mode and drag mode.
#include <algorithm>

#include "pellora/game.h"

namespace pellora {
namespace {

bool IsBase(int slot) { return slot >= 0 && slot < kPersonSlots; }

bool IsOpen(const recSolSlt& s) { return s.Top >= 1 && s.Top <= s.Count; }

}  // namespace

bool SolGame::IsPair(int a, int b) const {
  if (a == b || a < 0 || b < 0 || a > table_.MaxSlot || b > table_.MaxSlot) return false;
  if (a >= table_.SlotCount() || b >= table_.SlotCount()) return false;
  const recSolSlt& sa = table_.Slot(a);
  const recSolSlt& sb = table_.Slot(b);
  if (!IsOpen(sa) || !IsOpen(sb) || sa.PairKey <= 0 || sa.PairKey != sb.PairKey) return false;
  return !((table_.Options.Attrib & rbBaseWithOmenOnly) && IsBase(a) && IsBase(b));
}

int SolGame::FindPairs(int s) {
  partners_.clear();
  if (s < 0 || s >= table_.SlotCount()) return 0;
  recSolSlt& slot = table_.Slot(s);
  if (slot.Selected) {
    ClearSelection();
    view_.Repaint();
    return 0;
  }
  if (slot.PairKey <= 0 || slot.Kind >= skDeck || slot.Top <= 0 || slot.Count < slot.Top) return 0;
  const bool baseOnlyWithOmen = table_.Options.Attrib & rbBaseWithOmenOnly;
  const int t = SelectedSlot();
  if (t >= 0 && t < table_.SlotCount()) {
    recSolSlt& sel = table_.Slot(t);
    if (sel.PairKey == slot.PairKey) {
      if (baseOnlyWithOmen && IsBase(s) && IsBase(t)) return 0;
      partners_.push_back(static_cast<uint8_t>(s));
      current_ = t;
      return 1;
    }
    ClearSelection();
    view_.Repaint();
  }
  for (int j = 0; j <= table_.MaxSlot && j < table_.SlotCount(); ++j) {
    if (j == s) continue;
    if (table_.Slot(j).PairKey != slot.PairKey) continue;
    if (baseOnlyWithOmen && IsBase(s) && IsBase(j)) continue;
    partners_.push_back(static_cast<uint8_t>(j));
  }
  return static_cast<int>(partners_.size());
}

void SolGame::RemovePair(int a, int b, uint8_t flags) {
  if (!(flags & kNoSnapshot)) {
    // A dragged card's slot shows a back or the empty picture while the card
    // is on the box; the snapshot keeps the slot showing its top card.
    recSolSlt& sa = table_.Slot(a);
    const int16_t shown = sa.Picture;
    ShowSlotTop(a);
    table_.SaveUndo();
    table_.Slot(a).Picture = shown;
  }
  const int rem = table_.RemInd;
  const int ta = table_.Slot(a).Top;
  const int tb = table_.Slot(b).Top;
  const int16_t cardA = table_.Slot(a).Card(ta);
  const int16_t cardB = table_.Slot(b).Card(tb);
  {
    recSolSlt& r = table_.Slot(rem);
    const int tr = std::max<int>(r.Top, 0);
    if (r.CardCount() < tr + 3) r.SetCardCount(tr + 12);
    r.SetCard(tr + 1, cardA);
    r.SetCard(tr + 2, cardB);
    r.Top = static_cast<int16_t>(tr + 2);
    r.PairKey = CardRank(cardB);
  }
  for (const auto& [slot, top] : {std::pair{a, ta}, std::pair{b, tb}}) {
    recSolSlt& s = table_.Slot(slot);
    s.Top = static_cast<int16_t>(top - 1);
    s.PairKey = CardRank(s.Card(top - 1));
  }
  ClearSelection();

  SolCardBox& box = view_.MovingBox();
  const uint32_t anim = table_.Options.AnimBits;
  // First flight.
  if (anim & abDragDrop) {
    // The card of a is on the box already (it was dragged).
    const int target = (anim & abPairToRemovals) ? b : rem;
    view_.Fly(table_, box, target, Speed(arClickToPair));
    box.SetVisible(false);
    ShowSlotTop(a);
    table_.Slot(target).Picture = static_cast<int16_t>(box.Value());
    view_.Repaint();
    view_.Pause(Drag(arClickToPair));
  } else if (anim & abClickToPair) {
    SizeBoxToSlot0(box);
    PlaceBoxOn(box, a);
    box.SetValue(cardA);
    box.SetTag(a);
    box.SetVisible(true);
    ShowSlotTop(a);
    view_.Repaint();
    view_.ProcessEvents();
    view_.Fly(table_, box, b, Speed(arClickToPair));
    table_.Slot(b).Picture = static_cast<int16_t>(box.Value());
    box.SetVisible(false);
    view_.Repaint();
    view_.Pause(Drag(arClickToPair));
  } else {
    ShowSlotTop(a);
    table_.Slot(rem).Picture = cardA;
    view_.Repaint();
    view_.Pause(Click(arClickToPair));
  }
  // Second flight.
  if (anim & abPairToRemovals) {
    SizeBoxToSlot0(box);
    PlaceBoxOn(box, b);
    box.SetValue(cardB);
    box.SetTag(b);
    box.SetVisible(true);
    ShowSlotTop(b);
    view_.Repaint();
    view_.ProcessEvents();
    view_.Fly(table_, box, rem, Speed(arClickToPair));
    box.SetVisible(false);
    table_.Slot(rem).Picture = static_cast<int16_t>(box.Value());
    view_.Repaint();
    view_.Pause(Drag(arPairToRemovals));
  } else {
    if (box.Visible()) box.SetVisible(false);
    table_.Slot(rem).Picture = cardB;
    ShowSlotTop(b);
    view_.Repaint();
    view_.Pause(Click(arPairToRemovals));
  }
}

void SolGame::MouseDown(int x, int y) {
  BusyScope busy(*this);
  if (!busy.Owner()) return;
  if (table_.SlotCount() == 0) return;
  int16_t hit = -1;
  const int16_t cls = table_.SlotAt(x, y, hit);
  if (cls == kcNone || hit < 0) return;
  current_ = hit;
  if (FindPairs(current_) <= 0) return;
  if (table_.Options.AnimBits & abDragDrop) {
    SolCardBox& box = view_.MovingBox();
    recSolSlt& s = table_.Slot(current_);
    SizeBoxToSlot0(box);
    PlaceBoxOn(box, current_);
    box.SetValue(s.Card(s.Top));
    box.SetTag(current_);
    box.SetVisible(true);
    if (IsOpen(s)) s.Picture = s.Top == 1 ? kCodeEmpty : kCodeBack;
    view_.Repaint();
    drag_ = true;
    lastX_ = x;
    lastY_ = y;
    busy.Keep();  // up to the end of the drop
    return;
  }
  if (partners_.size() > 1) {
    if (SelectedSlot() < 0) {
      Select(current_);
      view_.Repaint();
    }
  } else {
    RemovePair(current_, partners_[0], 0);
    EvaluateNow();
  }
  view_.ShowCounts();
}

void SolGame::MouseMove(int x, int y) {
  if (!drag_) return;
  SolCardBox& box = view_.MovingBox();
  const platform::Rect b = box.Bounds();
  // Widened so that a wild pointer position cannot overflow.
  const int64_t left = static_cast<int64_t>(b.left) + x - lastX_;
  const int64_t top = static_cast<int64_t>(b.top) + y - lastY_;
  box.MoveTo(static_cast<int>(std::clamp<int64_t>(left, INT32_MIN / 2, INT32_MAX / 2)),
             static_cast<int>(std::clamp<int64_t>(top, INT32_MIN / 2, INT32_MAX / 2)));
  lastX_ = x;
  lastY_ = y;
}

void SolGame::FlyBack() {
  SolCardBox& box = view_.MovingBox();
  if (current_ >= 0 && current_ < table_.SlotCount()) {
    view_.Fly(table_, box, current_, Speed(arClickToPair));
    ShowSlotTop(current_);
  }
  view_.Repaint();
  box.SetVisible(false);
  view_.Pause(Drag(arClickToPair));
}

void SolGame::MouseUp(int /*x*/, int /*y*/) {
  if (!drag_) return;
  drag_ = false;
  // The press kept the busy state; this scope ends it.
  busy_ = false;
  BusyScope busy(*this);
  SolCardBox& box = view_.MovingBox();
  const int from = box.Tag();
  if (table_.FindDropSlot(box) >= 0) {
    for (const recSolDrop& d : table_.DropCandidates()) {
      if (std::find(partners_.begin(), partners_.end(), d.Slot) == partners_.end()) continue;
      // The table may have changed since the press: the keys must still match.
      if (!IsPair(from, d.Slot)) break;
      RemovePair(from, d.Slot, 0);
      EvaluateNow();
      return;
    }
  }
  FlyBack();
}

void SolGame::CancelDrag() {
  if (!drag_) return;
  drag_ = false;
  busy_ = false;
  BusyScope busy(*this);
  FlyBack();
}

}  // namespace pellora

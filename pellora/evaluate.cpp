// Evaluating the board: dating, the wedding, the pairs left, opening omens
// and the end of the game.
#include <algorithm>
#include <vector>

#include "pellora/game.h"

namespace pellora {
namespace {

const SolOutcomeText kDating{kTxtDating, platform::RGBColor(128, 100, 40), platform::RGBColor(255, 255, 0)};
const SolOutcomeText kMarried{kTxtMarried, platform::RGBColor(40, 128, 24), platform::RGBColor(0, 255, 0)};
const SolOutcomeText kQuits{kTxtQuits, platform::RGBColor(128, 48, 0), platform::RGBColor(255, 160, 128)};
const SolOutcomeText kDivorce{kTxtDivorce, platform::RGBColor(128, 0, 0), platform::RGBColor(255, 128, 128)};

}  // namespace

void SolGame::OpenOmen(int slot) {
  recSolSlt& s = table_.Slot(slot);
  s.Top = s.Count;
  const int16_t card = s.Card(s.Top);
  s.PairKey = CardRank(card);
  s.Picture = card;
  view_.Repaint();
  view_.ShowCounts();
  view_.Pause(table_.Options.Entry(kAnimOmenPause));
}

SolPairCounts SolGame::ScanPairs(std::vector<uint8_t>& paired, std::vector<int>& closedList) const {
  SolPairCounts counts;
  closedList.clear();
  const int maxSlot = std::min<int>(table_.MaxSlot, table_.SlotCount() - 1);
  paired.assign(static_cast<size_t>(std::max(maxSlot + 1, 0)), 0);
  const bool baseOnlyWithOmen = table_.Options.Attrib & rbBaseWithOmenOnly;
  for (int i = 0; i <= maxSlot; ++i) {
    const recSolSlt& si = table_.Slot(i);
    if (si.Top < 1) continue;
    if (si.Count < si.Top) {  // a closed omen
      closedList.push_back(i);
      continue;
    }
    if (paired[static_cast<size_t>(i)]) continue;
    for (int j = i + 1; j <= maxSlot; ++j) {
      const recSolSlt& sj = table_.Slot(j);
      if (paired[static_cast<size_t>(j)] || sj.PairKey != si.PairKey) continue;
      if (baseOnlyWithOmen && i < kPersonSlots && j < kPersonSlots) continue;
      paired[static_cast<size_t>(i)] = 1;
      paired[static_cast<size_t>(j)] = 1;
      const int base = (i < kPersonSlots) + (j < kPersonSlots);
      if (base == 2)
        ++counts.baseBase;
      else if (base == 1)
        ++counts.baseOmen;
      else
        ++counts.omenOmen;
      ++counts.total;
      break;
    }
  }
  return counts;
}

SolPairCounts SolGame::CountPairs() const {
  std::vector<uint8_t> paired;
  std::vector<int> closedList;
  return ScanPairs(paired, closedList);
}

void SolGame::EvaluateNow() {
  if (table_.SlotCount() == 0) return;  // no board yet
  recSolOpt& opt = table_.Options;
  const int maxSlot = std::min<int>(table_.MaxSlot, table_.SlotCount() - 1);
  auto closed = [&](int i) {
    const recSolSlt& s = table_.Slot(i);
    return s.Top >= 1 && s.Count < s.Top;
  };
  // Each round opens one omen, so this ends after at most one round per omen.
  for (;;) {
    std::vector<int> closedList;

    if (!(opt.GameState & gsBaseCleared)) {
      bool cleared = true;
      for (int i = 0; i < kPersonSlots && i <= maxSlot; ++i) cleared = cleared && table_.Slot(i).Top < 1;
      if (cleared) {
        opt.GameState |= gsBaseCleared;
        RecordPhase(spBaseCleared);
        view_.ShowOutcome(SolOutcome::Engaged, kDating);
        if ((opt.Attrib & rbOpenAllAfterBase) && (opt.Attrib & rbCheckWeddings)) {
          view_.SetInfo(kTxtOpenAll);
          for (int i = kPersonSlots; i <= maxSlot; ++i)
            if (closed(i)) OpenOmen(i);
        }
      }
    }
    if ((opt.GameState & gsBaseCleared) && (opt.Attrib & rbCheckWeddings) && !(opt.GameState & gsMarried)) {
      bool empty = true;
      for (int i = kPersonSlots; i <= maxSlot; ++i) empty = empty && table_.Slot(i).Top < 1;
      if (empty) {
        opt.GameState |= gsMarried;
        view_.ShowOutcome(SolOutcome::Wedding, kMarried);
      }
    }
    std::vector<uint8_t> paired;
    pairs_ = ScanPairs(paired, closedList);
    for (int i = 0; i <= maxSlot; ++i) table_.Slot(i).Paired = paired[static_cast<size_t>(i)];

    if (pairs_.total > 0) {
      view_.SetInfo(pairs_.total == 1 ? std::string(kTxtOnePair)
                                      : "There are " + std::to_string(pairs_.total) + " pairs.");
      view_.ShowCounts();
      const bool untilBasePair = (opt.Attrib & rbOpenUntilBasePair) && !closedList.empty() &&
                                 pairs_.baseBase + pairs_.baseOmen == 0;
      if (!untilBasePair) return;
    }
    if (!closedList.empty()) {
      const size_t pick = (opt.Attrib & rbOpenSequential)
                              ? 0
                              : static_cast<size_t>(table_.Random(static_cast<int32_t>(closedList.size())));
      recSolSlt& s = table_.Slot(closedList[pick]);
      s.Top = s.Count;
      const int16_t card = s.Card(s.Top);
      s.PairKey = CardRank(card);
      s.Picture = card;
      view_.SetInfo(kTxtOpening);
      view_.Repaint();
      view_.ShowCounts();
      view_.Pause(opt.Entry(kAnimOmenPause));
      continue;
    }
    break;
  }

  view_.SetInfo(kTxtGameOver);
  view_.ShowOutcome(SolOutcome::Over, std::nullopt);
  if (!(opt.GameState & gsGameOver)) {
    opt.GameState |= gsGameOver;
    RecordPhase(spGameOver);
  }
  if (!(opt.GameState & gsBaseCleared)) view_.ShowOutcome(SolOutcome::Engaged, kQuits);
  if ((opt.Attrib & rbCheckWeddings) && !(opt.GameState & gsMarried)) view_.ShowOutcome(SolOutcome::Wedding, kDivorce);
  table_.ClearUndo();
  view_.ShowCounts();
}

}  // namespace pellora

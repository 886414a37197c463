// Building the board and dealing a game.
#include <algorithm>

#include "pellora/game.h"

namespace pellora {
namespace {

struct PersonSlotDef {
  int slot;
  const char* name;
  int x, y;
  const char* label;
  int labelY;
  const char* tip;
};

// In creation order: left to right across the table.
constexpr PersonSlotDef kPersons[kPersonSlots] = {
    {4, "brdPa", 124, 246, "Brides Pa", 350,
     "Father in law from Brides side. Traditionally pays the weddings, negotiates and gives dowry."},
    {2, "brdMo", 228, 246, "Brides Mo", 350, "Mother in law from Brides side"},
    {0, "Bride", 348, 267, "Bride", 246, "Wife to be for Groom. Female star of the weddings"},
    {1, "Groom", 452, 267, "Groom", 246, "Husband to be for Bride. Male star of the weddings"},
    {3, "grmMo", 572, 246, "Grooms Mo", 350, "Mother in law from Grooms side"},
    {5, "grmPa", 676, 246, "Grooms Pa", 350, "Father in law from Grooms side."},
};

struct OmenSlotDef {
  int x;
  const char* label;
  const char* tip;
};

constexpr OmenSlotDef kOmens[kMaxOmens] = {
    {4, "Fate", "Stars and Gods - Fate : Were you born to be together, or not ?"},
    {108, "Fortune", "Stars and Gods - Fortune : Is the realtionship blessed with luck and good things"},
    {212, "Mishap", "Stars and Gods - Mishap : Is there many bad things coming ?"},
    {332, "Love", "Our.Love : I will always love you ( or then not ), will you love me tomorow ?"},
    {436, "Team",
     "Our.Team : How do you two get along with each other. Relationship without much love and affection can work "
     "well. Relationship which is full of love, can be colored with quarrels and fights. Despite deep devotion, you "
     "have problems with practical things."},
    {540, "Kids",
     "Our.Kids : Prediction for kids and parenthood. What are they like, how are you in their eyes. Can you you "
     "handle kids. Do you have long lasting motivation for parenthood ?"},
    {644, "Strength",
     "Our.Strength : How the relation ship lasts when the things go bad : What happens, after it turns out that your "
     "spouse has a long term relationship with your best friend."},
    {748, "Length",
     "Our.Length : Predicts the length of the relation ship. Love is not always the reason for long / short "
     "relationship"},
    {4, "Family",
     "Family life : Prediction for the qualities of your family life. Do you and your family spend your evenings "
     "happily together. Or is your home a place where you and the others sleep ... sometimes also eat. And so on."},
    {108, "Social", "Social Life  : How well you and your matrimonial team does with with friends and neighbors."},
    {212, "Work", "Work Life : Your success at work / school. How do get along with your work-school mates"},
    {332, "Health", "Reality - Health : Gives a hint from health, serious diseases, accidents, life expectancy."},
    {436, "Money",
     "Reality - Money : How fortunate you are with money. Wages, salary, etc. How clever you are with your savings."},
    {540, "Home", "Reality - Home : What kind of home you'll get ?"},
    {644, "Vehicle", "Reality - Vehicle : Any luck with car dealers and cars ?"},
    {748, "Status", "Reality - Status : How others appreciate you ?"},
    {852, "T-Faith", "Triangle - Faith : First component in triangle"},
    {956, "T-Hope", "Triangle - Hope : Second component in triangle"},
    {1060, "T-Love", "Triangle - Love : Third component in triangle"},
};

// Omens 1 to 8 stand in the middle row, 9 to 19 in the top row.
constexpr int kOmensInMiddleRow = 8;
constexpr int kMiddleRowY = 125, kMiddleLabelY = 229;
constexpr int kTopRowY = 4, kTopLabelY = 108;
constexpr int kLabelWidth = 100, kLabelHeight = 13;
constexpr int kDeckX = 4, kDeckY = 262, kRemovalsX = 796, kRemovalsY = 262;
constexpr int kMinWidthPersons = 780, kMinWidthTopRow = 852, kMinWidthAll = 900;
constexpr int kOmenSpacing = 104;
constexpr int kTableHeight = 383;
constexpr const char* kBoardSection = "Base16";

int PersonCount(const recSolCounts& c, int slot) {
  if (slot == 0) return c.Bride;
  if (slot == 1) return c.Groom;
  return c.Parents;
}

}  // namespace

void SolGame::BuildBoardNow() {
  table_.ClearSlots();
  table_.ClearUndo();  // snapshots of another board cannot come back
  table_.MaxWidth = 1;
  table_.MaxHeight = 1;
  for (int i = 0; i < kPictureNumbers; ++i) table_.AddPicture(pictures_, i, i);
  table_.Selection.assign(1, -1);

  recSolCounts counts = record_.Counts();
  for (const PersonSlotDef& p : kPersons) {
    const int n = std::max(0, PersonCount(counts, p.slot));
    table_.AddSlot(p.slot, p.x, p.y, skPerson, n, 0, p.name, p.tip);
    table_.AddLabel(p.slot, p.x, p.labelY, kLabelWidth, kLabelHeight, 0, kLabelFlagCounter, p.name, p.label, "");
  }
  table_.MaxWidth = std::max(table_.MaxWidth, kMinWidthPersons);

  // An omen count outside 1..19 builds all 19, and the count built is the
  // one the game record keeps (the statistics key and figures rely on it).
  const int omens = counts.Omens >= 1 && counts.Omens <= kMaxOmens ? counts.Omens : kMaxOmens;
  for (int n = 1; n <= omens; ++n) {
    if (n == kOmensInMiddleRow + 1) table_.MaxWidth = std::max(table_.MaxWidth, kMinWidthTopRow);
    const OmenSlotDef& o = kOmens[n - 1];
    const bool middle = n <= kOmensInMiddleRow;
    const std::string name = "Omen" + std::to_string(n);
    const int slot = kPersonSlots - 1 + n;
    table_.AddSlot(slot, o.x, middle ? kMiddleRowY : kTopRowY, skOmen, 0, 0, name, o.tip);
    table_.AddLabel(slot, o.x, middle ? kMiddleLabelY : kTopLabelY, kLabelWidth, kLabelHeight, 0, kLabelFlagCounter,
                    name, o.label, "");
  }
  table_.MaxWidth = std::max(table_.MaxWidth, kOmens[omens - 1].x + kOmenSpacing);
  table_.MaxSlot = static_cast<int16_t>(kPersonSlots - 1 + omens);
  table_.MaxHeight = kTableHeight;
  counts.Omens = static_cast<int16_t>(omens);
  record_.SetCounts(counts);

  const int deck = table_.AddSlot(table_.MaxSlot + 1, kDeckX, kDeckY, skDeck, 0, 0, "Deck", "");
  const int rem = table_.AddSlot(table_.MaxSlot + 2, kRemovalsX, kRemovalsY, skRemovals, 0, 0, "Rem", "");
  table_.MaxWidth = std::max(table_.MaxWidth, kMinWidthAll);
  {
    recSolSlt& d = table_.Slot(deck);
    d.Picture = kCodeBack;
    d.Visible = 1;
    recSolSlt& r = table_.Slot(rem);
    r.Cards.assign(1, kCodeRemovals);
    r.Top = 0;
    r.Count = 0;
    r.PairKey = 0;
    r.Picture = kCodeRemovals;
    r.Visible = 1;
  }
  for (int i = 0; i <= table_.MaxSlot; ++i) {
    recSolSlt& s = table_.Slot(i);
    s.Top = 0;
    s.PairKey = 0;
    s.Paired = 0;
    s.Picture = kCodeEmpty;
    s.Visible = 1;
    table_.Label(i).Visible = 1;
  }
  table_.Options.GameState &= static_cast<uint16_t>(~gsRebuildBoard);
  table_.SaveBoard(0, kBoardSection, "");
  table_.DoLayout();
  view_.Repaint();
}

void SolGame::DealNow() {
  SolCardBox& box = view_.MovingBox();
  if (table_.SlotCount() == 0) BuildBoardNow();
  SizeBoxToSlot0(box);
  box.SetValue(kCodeBack);
  box.SetTag(kCodeBack);
  view_.HideOutcome(SolOutcome::Engaged);
  view_.HideOutcome(SolOutcome::Wedding);
  view_.HideOutcome(SolOutcome::Over);
  view_.SetInfo(kTxtDealing);
  record_.SetI8(SolGameRecord::kRound, 1);
  ClearSelection();
  // Snapshots of the game before cannot come back into this one: the game
  // state and the statistics figures are not part of them.
  table_.ClearUndo();
  DealRun run{box, table_.Options.AnimBits, table_.DeckInd, -1};

  ClearTable(run);
  if (table_.Options.GameState & gsRebuildBoard) {
    BuildBoardNow();
  } else {
    const recSolCounts counts = record_.Counts();
    for (int i = 0; i < kPersonSlots; ++i)
      table_.Slot(i).Count = static_cast<int16_t>(std::max(0, PersonCount(counts, i)));
  }
  run.deckSlot = table_.DeckInd;
  table_.Options.GameState = gsDealt;
  RecordPhase(spDeal);

  run.pos = ShuffleDeck();
  DealPersons(run);
  DealOmens(run);

  record_.SetI8(SolGameRecord::kTurn, 1);
  record_.SetI8(SolGameRecord::kRound, 1);
  record_.SetI8(SolGameRecord::kDealMark, -1);
  record_.SetI32(SolGameRecord::kDealWord, 0);
  view_.ShowCounts();
  OpenAfterDeal();
}

void SolGame::ClearTable(DealRun& run) {
  SolCardBox& box = run.box;
  const int remSlot = table_.RemInd;
  // Shows `picture` in slot i, the card that lay there flying back to the
  // deck when clearing is animated.
  const auto clearTo = [&](int i, int16_t picture) {
    recSolSlt& s = table_.Slot(i);
    if (run.anim & abClearScreen) {
      PlaceBoxOn(box, i);
      box.SetVisible(true);
      s.Picture = picture;
      view_.Repaint();
      view_.ProcessEvents();
      view_.Fly(table_, box, run.deckSlot, Speed(arDealPersons));
      box.SetVisible(false);
      view_.Pause(Drag(arClearScreen));
    } else {
      s.Picture = picture;
      view_.Repaint();
      view_.Pause(Click(arClearScreen));
    }
  };

  for (int i = 0; i <= table_.MaxSlot; ++i) {
    recSolSlt& s = table_.Slot(i);
    s.Top = 0;
    s.PairKey = 0;
    s.Paired = 0;
    s.Selected = 0;
    s.Visible = 1;
    if (s.Picture != kCodeEmpty) clearTo(i, kCodeEmpty);
  }
  recSolSlt& r = table_.Slot(remSlot);
  r.Cards.assign(1, kCodeRemovals);
  r.Count = 0;
  r.Top = 0;
  r.PairKey = 0;
  r.Visible = 1;
  if (r.Picture != kCodeRemovals) clearTo(remSlot, kCodeRemovals);
}

int SolGame::ShuffleDeck() {
  // 1 to 4 full decks.
  const int cards = table_.Options.CardCount;
  deck_.assign(static_cast<size_t>(cards), 0);
  for (int i = 0; i < cards; ++i) deck_[static_cast<size_t>(i)] = static_cast<int16_t>(i % 52 + 1);
  if (cards > 0) table_.ShuffleCards(deck_, cards - 1, 0);
  return cards - 1;
}

int16_t SolGame::TakeCard(int& pos) {
  const int16_t c = deck_[static_cast<size_t>(pos)];
  deck_[static_cast<size_t>(pos)] = -1;
  --pos;
  return c;
}

void SolGame::DealPersons(DealRun& run) {
  SolCardBox& box = run.box;
  // A deck smaller than the persons need deals only what it holds: the
  // slot's count is the number of cards it got.
  for (int i = 0; i < kPersonSlots; ++i) {
    recSolSlt& s = table_.Slot(i);
    const int want = s.Count;
    const int n = std::min(want, run.pos + 1);
    s.Count = static_cast<int16_t>(n);
    s.Cards.assign(static_cast<size_t>(n) + 2, 0);
    s.Cards[0] = kCodeEmpty;
    s.Top = 0;
    box.SetValue(kCodeBack);
    for (int k = 1; k <= n; ++k) {
      const int16_t card = TakeCard(run.pos);
      table_.Slot(i).Cards[static_cast<size_t>(k)] = card;
      const bool last = k == n;
      if (run.anim & abDealPersons) {
        if (last) box.SetValue(card);
        PlaceBoxOn(box, run.deckSlot);
        box.SetVisible(true);
        view_.Fly(table_, box, i, Speed(arDealPersons));
        box.SetVisible(false);
      }
      recSolSlt& t = table_.Slot(i);
      if (k == 1 && !last) t.Picture = kCodeBack;
      if (last) {
        t.Picture = card;
        t.Top = static_cast<int16_t>(n);
        t.PairKey = CardRank(card);
      }
      if (run.anim & abDealPersons) {
        view_.Repaint();
        view_.Pause(Drag(arDealPersons));
      } else if (last) {
        view_.Repaint();
        view_.Pause(Click(arDealPersons));
      }
    }
  }
}

void SolGame::DealOmens(DealRun& run) {
  SolCardBox& box = run.box;
  int& pos = run.pos;
  // The rest, one card at a time in slot order.
  const int first = kPersonSlots;
  const int omens = table_.MaxSlot - kPersonSlots + 1;
  const int rest = pos + 1;
  for (int k = 0; k < omens; ++k) {
    recSolSlt& s = table_.Slot(first + k);
    const int n = omens > 0 ? rest / omens + (k < rest % omens ? 1 : 0) : 0;
    s.Count = static_cast<int16_t>(n);
    s.Cards.assign(static_cast<size_t>(n) + 2, 0);
    s.Cards[0] = kCodeEmpty;
    s.Cards[static_cast<size_t>(n) + 1] = kCodeBack;
    // Closed, also without cards: the top is the list position of the back.
    s.Top = static_cast<int16_t>(n + 1);
    s.PairKey = 0;
  }
  box.SetValue(kCodeBack);
  for (int j = 1; pos >= 0; ++j) {
    for (int k = 0; k < omens && pos >= 0; ++k) {
      const int slot = first + k;
      if (table_.Slot(slot).Count < j) break;
      table_.Slot(slot).Cards[static_cast<size_t>(j)] = TakeCard(pos);
      if (run.anim & abDealOmens) {
        PlaceBoxOn(box, run.deckSlot);
        box.SetVisible(true);
        view_.Fly(table_, box, slot, Speed(arDealOmens));
        box.SetVisible(false);
      }
      if (j == 1) {
        recSolSlt& s = table_.Slot(slot);
        s.Picture = kCodeBack;
        s.Top = static_cast<int16_t>(s.Count + 1);
        s.PairKey = 0;
        view_.Repaint();
        view_.Pause((run.anim & abDealOmens) ? Drag(arDealOmens) : Click(arDealOmens));
      } else if (run.anim & abDealOmens) {
        view_.Repaint();
        view_.Pause(Drag(arDealOmens));
      }
    }
  }
}

void SolGame::OpenAfterDeal() {
  if (!(table_.Options.Attrib & rbOpenAllOnDeal)) {
    view_.SetInfo("");
    view_.Pause(table_.Options.Entry(kAnimDealPause));
    EvaluateNow();
    return;
  }
  view_.SetInfo(kTxtOpenAll);
  for (int i = kPersonSlots; i <= table_.MaxSlot; ++i) {
    const recSolSlt& s = table_.Slot(i);
    if (s.Top > s.Count) OpenOmen(i);
  }
}

}  // namespace pellora

// Pairs, moves, evaluation and the board's mouse.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "pellora/game.h"
#include "pellora/recording_view.h"

namespace pellora {
namespace {

// Card codes by rank and suit (suit 0..3).
int16_t Code(int rank, int suit = 0) { return static_cast<int16_t>(suit * 13 + rank); }

struct Fixture {
  TSolTbl table;
  RecordingView view;
  SolGame game{table, view, SharedCardPictures()};

  // A dealt game (statistics running) whose slots the test then sets.
  explicit Fixture(uint32_t rules, uint32_t anim = 0, int omens = 4) {
    table.Options.Attrib = rules | rbOpenAllOnDeal;  // the deal evaluates nothing
    table.Options.AnimBits = anim;
    table.SetBoardSize(900, 600);
    game.Record().SetCounts(recSolCounts{10, 10, 10, static_cast<int16_t>(omens)});
    game.Deal();
    table.Options.Attrib = rules;
    for (int i = 0; i <= table.MaxSlot; ++i) Pile(i, {});
    view.Forget();
  }
  // Puts the cards on the slot, the last on top; an omen may stay closed.
  void Pile(int slot, std::initializer_list<int16_t> cards, bool open = true) {
    recSolSlt& s = table.Slot(slot);
    const bool omen = slot >= kPersonSlots;
    s.Count = static_cast<int16_t>(cards.size());
    s.Cards.assign(1, kCodeEmpty);
    s.Cards.insert(s.Cards.end(), cards.begin(), cards.end());
    s.Cards.push_back(omen ? kCodeBack : 0);
    s.Top = open || !omen ? s.Count : static_cast<int16_t>(s.Count + 1);
    s.PairKey = open ? CardRank(s.Cards[static_cast<size_t>(s.Top)]) : 0;
    s.Picture = s.Cards[static_cast<size_t>(s.Top)];
  }
  platform::Rect Rect(int slot) const { return table.Slot(slot).Rect; }
  int CX(int slot) const { return (Rect(slot).left + Rect(slot).right) / 2; }
  int CY(int slot) const { return (Rect(slot).top + Rect(slot).bottom) / 2; }
  void Drag(int from, int to) {
    game.MouseDown(CX(from), CY(from));
    game.MouseMove(CX(to), CY(to));
    game.MouseUp(CX(to), CY(to));
  }
};

// --- Counting pairs ------------------------------------------------------------

TEST(Evaluate, PairTextsAndTheirSplitByKind) {
  {
    Fixture f(0);
    f.Pile(0, {Code(7)});
    f.Pile(1, {Code(7, 1)});
    f.game.Evaluate();
    EXPECT_EQ(f.view.LastInfo(), "There is a pair.");
    EXPECT_EQ(f.game.PairCounts().total, 1);
    EXPECT_EQ(f.game.PairCounts().baseBase, 1);
    EXPECT_TRUE(f.table.Slot(0).Paired && f.table.Slot(1).Paired);
  }
  {
    Fixture f(0);
    f.Pile(0, {Code(7)});
    f.Pile(1, {Code(7, 1)});
    f.Pile(6, {Code(7, 2)});
    f.Pile(7, {Code(7, 3)});
    f.game.Evaluate();
    EXPECT_EQ(f.view.LastInfo(), "There are 2 pairs.");
    EXPECT_EQ(f.game.PairCounts().baseBase, 1);
    EXPECT_EQ(f.game.PairCounts().omenOmen, 1);
    EXPECT_EQ(f.game.PairCounts().baseOmen, 0);
  }
  {
    // Persons never pair with each other under rule 64.
    Fixture f(rbBaseWithOmenOnly);
    f.Pile(0, {Code(7)});
    f.Pile(1, {Code(7, 1)});
    f.Pile(6, {Code(7, 2)});
    f.Pile(7, {Code(7, 3)});
    f.game.Evaluate();
    EXPECT_EQ(f.game.PairCounts().total, 2);
    EXPECT_EQ(f.game.PairCounts().baseOmen, 2);
    EXPECT_EQ(f.game.FindPairs(0), 2);  // the two omens, not slot 1
    EXPECT_EQ(f.game.Partners(), (std::vector<uint8_t>{6, 7}));
  }
  {
    // Three of a rank make one pair; the third is left over.
    Fixture f(0);
    f.Pile(0, {Code(9)});
    f.Pile(6, {Code(9, 1)});
    f.Pile(8, {Code(9, 2)});
    f.game.Evaluate();
    EXPECT_EQ(f.view.LastInfo(), "There is a pair.");
    EXPECT_EQ(f.game.PairCounts().baseOmen, 1);
    EXPECT_FALSE(f.table.Slot(8).Paired);
  }
}

TEST(FindPairs, RuleSixtyFourKeepsTwoPersonsApart) {
  Fixture f(rbBaseWithOmenOnly);
  f.Pile(0, {Code(7)});
  f.Pile(1, {Code(7, 1)});
  EXPECT_EQ(f.game.FindPairs(0), 0);
  f.game.Evaluate();
  EXPECT_EQ(f.game.PairCounts().total, 0);
  // A closed omen, the deck and empty slots never pair.
  Fixture g(0);
  g.Pile(0, {Code(7)});
  g.Pile(6, {Code(7, 1)}, false);
  EXPECT_EQ(g.game.FindPairs(0), 0);
  EXPECT_EQ(g.game.FindPairs(6), 0);
  EXPECT_EQ(g.game.FindPairs(g.table.DeckInd), 0);
  EXPECT_EQ(g.game.FindPairs(2), 0);
}

// --- Removing a pair -----------------------------------------------------------

TEST(RemovePair, MovesBothTopCardsToTheRemovalsWithASnapshot) {
  Fixture f(0);
  f.Pile(0, {Code(5), Code(7)});
  f.Pile(6, {Code(3), Code(7, 1)});
  f.Pile(7, {Code(2), Code(4)});
  f.Pile(8, {Code(4, 1)});
  const std::vector<recSolSlt> before = f.table.Slots();
  const int rem = f.table.RemInd;
  f.game.Record().SetI8(SolGameRecord::kTurn, 7);  // rides along in the snapshot
  f.game.RemovePair(0, 6, 0);
  f.game.Record().SetI8(SolGameRecord::kTurn, 9);
  const recSolSlt& r = f.table.Slot(rem);
  EXPECT_EQ(r.Top, 2);
  EXPECT_EQ(r.Cards[1], Code(7));
  EXPECT_EQ(r.Cards[2], Code(7, 1));
  EXPECT_EQ(r.CardCount(), 12);
  EXPECT_EQ(r.PairKey, 7);
  EXPECT_EQ(r.Picture, Code(7, 1));
  EXPECT_EQ(f.table.Slot(0).Top, 1);
  EXPECT_EQ(f.table.Slot(0).PairKey, 5);
  EXPECT_EQ(f.table.Slot(0).Picture, Code(5));
  EXPECT_EQ(f.table.Slot(6).Top, 1);
  EXPECT_EQ(f.table.Slot(6).PairKey, 3);
  // Without animations: one pause after each card.
  EXPECT_EQ(f.view.pauses, (std::vector<uint32_t>{f.table.Options.Click(arClickToPair),
                                                  f.table.Options.Click(arPairToRemovals)}));
  EXPECT_TRUE(f.table.CanUndo());

  // The second pair goes on top; the last card of a slot leaves it empty.
  f.game.RemovePair(7, 8, 0);
  EXPECT_EQ(r.Top, 4);
  EXPECT_EQ(r.Cards[3], Code(4));
  EXPECT_EQ(r.Cards[4], Code(4, 1));
  EXPECT_EQ(f.table.Slot(8).Top, 0);
  EXPECT_EQ(f.table.Slot(8).PairKey, 0);
  EXPECT_EQ(f.table.Slot(8).Picture, kCodeEmpty);

  // Two steps back give the table as it was.
  ASSERT_TRUE(f.game.Undo());
  ASSERT_TRUE(f.game.Undo());
  EXPECT_EQ(f.table.Slots(), before);
  EXPECT_EQ(f.game.Record().I8(SolGameRecord::kTurn), 7);
  EXPECT_EQ(f.game.Record().Counts().Omens, 4);
  EXPECT_EQ(f.view.LastInfo(), kTxtUndo);
  EXPECT_EQ(f.view.pauses.back(), 200u);
  EXPECT_FALSE(f.table.CanUndo());
  EXPECT_TRUE(f.table.CanRedo());

  // Flag 128 takes no snapshot.
  Fixture g(0);
  g.Pile(0, {Code(7)});
  g.Pile(6, {Code(7, 1)});
  g.game.RemovePair(0, 6, SolGame::kNoSnapshot);
  EXPECT_FALSE(g.table.CanUndo());
  EXPECT_EQ(g.table.Slot(g.table.RemInd).Top, 2);
}

TEST(RemovePair, FlightsFollowTheAnimationBits) {
  Fixture f(0, abClickToPair | abPairToRemovals);
  f.Pile(1, {Code(11)});
  f.Pile(9, {Code(11, 2)});
  f.game.RemovePair(1, 9, 0);
  ASSERT_EQ(f.view.flights.size(), 2u);
  EXPECT_EQ(f.view.flights[0].slot, 9);
  EXPECT_EQ(f.view.flights[0].value, Code(11));
  EXPECT_EQ(f.view.flights[1].slot, f.table.RemInd);
  EXPECT_EQ(f.view.flights[1].value, Code(11, 2));
  EXPECT_EQ(f.view.flights[0].speed, f.table.Options.Speed(arClickToPair));
  EXPECT_EQ(f.view.flights[1].speed, f.table.Options.Speed(arClickToPair));
  EXPECT_FALSE(f.view.box.visible);
  EXPECT_EQ(f.table.Slot(f.table.RemInd).Picture, Code(11, 2));
  EXPECT_EQ(f.table.Slot(9).Picture, kCodeEmpty);
  EXPECT_EQ(f.table.Slot(1).Picture, kCodeEmpty);
}

// --- Opening omens -------------------------------------------------------------

// The omens in the order the evaluation opens them.
std::vector<int> OpeningOrder(uint32_t rules, uint32_t seed, std::vector<int>* expectedRandom) {
  Fixture f(rules);
  f.table.SetSeed(seed);
  for (int i = 0; i < 6; ++i) f.Pile(i, {Code(i + 1)});
  for (int k = 0; k < 4; ++k) f.Pile(6 + k, {Code(7 + k)}, false);
  std::vector<int> order;
  f.view.onEvents = [&] {
    for (int i = 6; i <= 9; ++i)
      if (f.table.Slot(i).Top == 1 && std::find(order.begin(), order.end(), i) == order.end()) order.push_back(i);
  };
  f.game.Evaluate();
  if (expectedRandom) {
    TSolTbl draws;
    draws.SetSeed(seed);
    std::vector<int> closed{6, 7, 8, 9};
    while (!closed.empty()) {
      const int pick = draws.Random(static_cast<int32_t>(closed.size()));
      expectedRandom->push_back(closed[static_cast<size_t>(pick)]);
      closed.erase(closed.begin() + pick);
    }
  }
  EXPECT_EQ(f.view.LastInfo(), kTxtGameOver);
  return order;
}

TEST(Evaluate, OmensOpenInSlotOrderUnderRuleTwoElseByTheTablesGenerator) {
  EXPECT_EQ(OpeningOrder(rbOpenSequential, 12345, nullptr), (std::vector<int>{6, 7, 8, 9}));
  for (uint32_t seed : {1u, 777u, 0xDEADBEEFu}) {
    std::vector<int> expected;
    EXPECT_EQ(OpeningOrder(0, seed, &expected), expected) << seed;
  }
}

TEST(Evaluate, RuleSixteenOpensOmensUntilAPairInvolvesTheBase) {
  for (bool rule16 : {false, true}) {
    Fixture f(rule16 ? rbOpenUntilBasePair | rbOpenSequential : rbOpenSequential);
    f.Pile(0, {Code(5)});
    f.Pile(6, {Code(1)});
    f.Pile(7, {Code(1, 1)});       // an omen-omen pair
    f.Pile(8, {Code(5, 2)}, false);  // pairs with the bride once open
    f.Pile(9, {Code(12)}, false);
    f.game.Evaluate();
    EXPECT_EQ(f.table.Slot(8).Top, rule16 ? 1 : 2);
    EXPECT_EQ(f.table.Slot(9).Top, 2);  // no further than needed
    EXPECT_EQ(f.game.PairCounts().baseOmen, rule16 ? 1 : 0);
    EXPECT_EQ(f.game.PairCounts().omenOmen, 1);
  }
}

// --- The outcome ---------------------------------------------------------------

TEST(Evaluate, DatingMarriageAndTheEndAreRecordedOnce) {
  Fixture f(rbCheckWeddings);
  f.Pile(0, {Code(7)});
  f.Pile(1, {Code(7, 1)});
  f.Pile(6, {Code(2)});
  f.Pile(7, {Code(2, 3)});
  f.game.RemovePair(0, 1, 0);
  f.game.Evaluate();
  EXPECT_TRUE(f.table.Options.GameState & gsBaseCleared);
  EXPECT_TRUE(f.view.Visible(SolOutcome::Engaged));
  EXPECT_EQ(f.view.Text(SolOutcome::Engaged), kTxtDating);
  EXPECT_EQ(f.game.Stats().Figures().dated, 1);
  f.game.Evaluate();  // a second look records no second dating
  EXPECT_EQ(std::count(f.view.shown.begin(), f.view.shown.end(), kTxtDating), 1);
  EXPECT_TRUE(f.table.CanUndo());

  f.game.RemovePair(6, 7, 0);
  f.game.Evaluate();
  EXPECT_TRUE(f.table.Options.GameState & gsMarried);
  EXPECT_TRUE(f.table.Options.GameState & gsGameOver);
  EXPECT_EQ(f.view.Text(SolOutcome::Wedding), kTxtMarried);
  EXPECT_TRUE(f.view.Visible(SolOutcome::Over));
  EXPECT_EQ(f.view.LastInfo(), kTxtGameOver);
  EXPECT_EQ(std::count(f.view.shown.begin(), f.view.shown.end(), kTxtDivorce), 0);
  EXPECT_FALSE(f.table.CanUndo());  // the chain is gone at game over
  EXPECT_FALSE(f.table.CanRedo());
  ASSERT_EQ(f.game.Stats().Records().size(), 1u);
  const StatRecord& r = f.game.Stats().Records()[0];
  EXPECT_EQ(r.games, 1);
  EXPECT_EQ(r.dated, 1);
  EXPECT_EQ(r.married, 1);
  EXPECT_EQ(r.unmarried, 0);

  // Round after the end shows the end again and records nothing more.
  f.view.Forget();
  f.game.Evaluate();
  EXPECT_EQ(f.view.LastInfo(), kTxtGameOver);
  EXPECT_EQ(f.game.Stats().Records()[0].games, 1);
}

TEST(Evaluate, QuitsAndDivorceWhenTheGoalsAreMissed) {
  Fixture f(rbCheckWeddings);
  f.Pile(0, {Code(1)});
  f.Pile(1, {Code(2)});
  f.Pile(6, {Code(3)}, false);
  f.game.Evaluate();
  EXPECT_EQ(f.view.Text(SolOutcome::Engaged), kTxtQuits);
  EXPECT_EQ(f.view.Text(SolOutcome::Wedding), kTxtDivorce);
  EXPECT_EQ(f.view.LastInfo(), kTxtGameOver);
  ASSERT_EQ(f.game.Stats().Records().size(), 1u);
  EXPECT_EQ(f.game.Stats().Records()[0].notDated, 1);
  EXPECT_EQ(f.game.Stats().Records()[0].unmarried, 1);
  // Without the wedding rule there is no divorce.
  Fixture g(0);
  g.Pile(0, {Code(1)});
  g.game.Evaluate();
  EXPECT_EQ(g.view.Text(SolOutcome::Engaged), kTxtQuits);
  EXPECT_FALSE(g.view.Visible(SolOutcome::Wedding));
}

TEST(Evaluate, ClearingTheBaseOpensAllOmensUnderRulesOneAndFour) {
  Fixture f(rbCheckWeddings | rbOpenAllAfterBase);
  f.Pile(0, {Code(7)});
  f.Pile(6, {Code(7, 1)});
  f.Pile(7, {Code(9)}, false);
  f.Pile(8, {Code(9, 1)}, false);
  f.Pile(9, {Code(3)}, false);
  f.game.RemovePair(0, 6, 0);
  f.game.Evaluate();
  for (int i = 7; i <= 9; ++i) EXPECT_EQ(f.table.Slot(i).Top, 1);
  EXPECT_EQ(f.view.infos.front(), kTxtOpenAll);
  EXPECT_EQ(f.game.PairCounts().omenOmen, 1);
}

TEST(Evaluate, AGameIsFiledUnderTheSettingsItWasDealtWith) {
  // Dealt with 156 cards, rules 1 and 32, persons 10/10/10 and 4 omens.
  Fixture f(rbCheckWeddings);
  auto finish = [&] {
    for (int i = 0; i <= f.table.MaxSlot; ++i) f.Pile(i, {});
    f.game.Evaluate();
  };
  f.table.Options.CardCount = 52;  // changed after the deal: not this game's key
  finish();
  ASSERT_EQ(f.game.Stats().Records().size(), 1u);
  EXPECT_EQ(f.game.Stats().Records()[0].key, (StatKey{156, 1 | rbOpenAllOnDeal, 10, 10, 10, 4, 0, 0}));
  EXPECT_EQ(f.game.Stats().Records()[0].married, 1);
  // Only the animations changed: the same record.
  f.table.Options.CardCount = 156;
  f.table.Options.AnimBits = abDealPersons | abDealOmens;
  f.table.Options.Attrib = rbCheckWeddings | rbOpenAllOnDeal;
  f.game.Deal();
  f.table.Options.Attrib = rbCheckWeddings;
  finish();
  ASSERT_EQ(f.game.Stats().Records().size(), 1u);
  EXPECT_EQ(f.game.Stats().Records()[0].games, 2);
  // Another deck size: a record of its own.
  f.table.Options.CardCount = 104;
  f.table.Options.Attrib = rbCheckWeddings | rbOpenAllOnDeal;
  f.game.Deal();
  finish();
  ASSERT_EQ(f.game.Stats().Records().size(), 2u);
  EXPECT_EQ(f.game.Stats().Records()[1].key[0], 104);
  EXPECT_EQ(f.game.Stats().Records()[1].key[1], 1 | rbOpenAllOnDeal);
}

TEST(Evaluate, BeforeAnyDealNothingIsRecorded) {
  TSolTbl table;
  RecordingView view;
  SolGame game(table, view, SharedCardPictures());
  game.BuildBoard();
  game.Evaluate();
  EXPECT_EQ(view.Text(SolOutcome::Engaged), kTxtDating);
  EXPECT_EQ(view.LastInfo(), kTxtGameOver);
  EXPECT_TRUE(game.Stats().Records().empty());
}

// --- The mouse -----------------------------------------------------------------

TEST(Mouse, ADropOnANonPartnerFliesBack) {
  Fixture f(0, abDragDrop | abPairToRemovals);
  f.Pile(0, {Code(3), Code(7)});
  f.Pile(6, {Code(7, 1)});
  f.Pile(7, {Code(8)});
  const std::vector<recSolSlt> before = f.table.Slots();
  f.game.MouseDown(f.CX(0), f.CY(0));
  ASSERT_TRUE(f.game.Dragging());
  EXPECT_TRUE(f.game.Busy());
  EXPECT_TRUE(f.view.box.visible);
  EXPECT_EQ(f.view.box.value, Code(7));
  EXPECT_EQ(f.table.Slot(0).Picture, kCodeBack);  // a card is left below
  EXPECT_FALSE(f.game.Deal());                      // busy through the drag
  f.game.MouseMove(f.CX(7), f.CY(7));
  f.game.MouseUp(f.CX(7), f.CY(7));
  EXPECT_FALSE(f.game.Dragging());
  EXPECT_FALSE(f.game.Busy());
  ASSERT_EQ(f.view.flights.size(), 1u);
  EXPECT_EQ(f.view.flights[0].slot, 0);
  EXPECT_EQ(f.view.box.bounds.left, f.Rect(0).left);
  EXPECT_FALSE(f.view.box.visible);
  EXPECT_EQ(f.table.Slots(), before);  // shows its top card again, nothing removed
  EXPECT_FALSE(f.table.CanUndo());
}

TEST(Mouse, ADropOnAPartnerRemovesThePairAndItsSnapshotShowsTheTopCard) {
  Fixture f(0, abDragDrop | abPairToRemovals);
  f.Pile(0, {Code(3), Code(7)});
  f.Pile(6, {Code(7, 1)});
  f.Pile(7, {Code(3, 2)});
  const std::vector<recSolSlt> before = f.table.Slots();
  f.Drag(0, 6);
  EXPECT_EQ(f.table.Slot(f.table.RemInd).Top, 2);
  EXPECT_EQ(f.table.Slot(0).Top, 1);
  EXPECT_EQ(f.table.Slot(0).Picture, Code(3));
  EXPECT_EQ(f.view.LastInfo(), "There is a pair.");  // evaluated after the drop
  EXPECT_FALSE(f.game.Busy());
  f.game.Undo();
  EXPECT_EQ(f.table.Slots(), before);
  // A press on a card without partners starts no drag.
  f.game.MouseDown(f.CX(7), f.CY(7));
  f.game.MouseUp(f.CX(7), f.CY(7));
  EXPECT_FALSE(f.game.Busy());
  Fixture g(0, abDragDrop);
  g.Pile(0, {Code(4)});
  g.game.MouseDown(g.CX(0), g.CY(0));
  EXPECT_FALSE(g.game.Dragging());
  EXPECT_FALSE(g.game.Busy());
}

TEST(Mouse, ClickModePairsAtOnceOrSelectsFirst) {
  Fixture f(0);
  f.Pile(0, {Code(7)});
  f.Pile(6, {Code(7, 1)});
  f.game.MouseDown(f.CX(0), f.CY(0));  // one partner: removed at once
  EXPECT_EQ(f.table.Slot(f.table.RemInd).Top, 2);
  EXPECT_FALSE(f.game.Busy());

  Fixture g(0);
  g.Pile(0, {Code(9)});
  g.Pile(6, {Code(9, 1)});
  g.Pile(7, {Code(9, 2)});
  g.game.MouseDown(g.CX(0), g.CY(0));  // two partners: selected
  EXPECT_EQ(g.table.Selection[0], 0);
  EXPECT_TRUE(g.table.Slot(0).Selected);
  g.game.MouseDown(g.CX(0), g.CY(0));  // a second press lets go
  EXPECT_EQ(g.table.Selection[0], -1);
  EXPECT_FALSE(g.table.Slot(0).Selected);
  g.game.MouseDown(g.CX(0), g.CY(0));
  g.game.MouseDown(g.CX(7), g.CY(7));  // the partner completes the pair
  EXPECT_EQ(g.table.Selection[0], -1);
  EXPECT_EQ(g.table.Slot(0).Top, 0);
  EXPECT_EQ(g.table.Slot(7).Top, 0);
  EXPECT_EQ(g.table.Slot(6).Top, 1);
  const recSolSlt& r = g.table.Slot(g.table.RemInd);
  EXPECT_EQ(r.Cards[1], Code(9));  // the selected slot's card first
  EXPECT_EQ(r.Cards[2], Code(9, 2));
  // A press on empty table or the removals does nothing.
  g.game.MouseDown(-50, -50);
  g.game.MouseDown(g.CX(g.table.RemInd), g.CY(g.table.RemInd));
  EXPECT_EQ(r.Top, 2);
}

TEST(Mouse, PressesDuringTheFlightsOfAPairAreIgnored) {
  Fixture f(0, abClickToPair);
  f.Pile(0, {Code(7)});
  f.Pile(6, {Code(7, 1)});
  f.Pile(1, {Code(2)});
  f.Pile(7, {Code(2, 1)});
  int presses = 0;
  f.view.onEvents = [&] {
    ++presses;
    f.game.MouseDown(f.CX(1), f.CY(1));
  };
  f.game.MouseDown(f.CX(0), f.CY(0));
  EXPECT_GT(presses, 0);
  EXPECT_EQ(f.table.Slot(1).Top, 1);  // the second pair was not taken
  EXPECT_EQ(f.table.Slot(f.table.RemInd).Top, 2);
}

}  // namespace
}  // namespace pellora

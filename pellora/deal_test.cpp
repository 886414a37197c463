// Board building and dealing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

#include "pellora/game.h"
#include "pellora/recording_view.h"
#include "platform/test_support.h"

namespace pellora {
namespace {

// A pause length no default uses: the deal's pause before its evaluation.
constexpr uint16_t kMarkPause = 4321;

struct Fixture {
  TSolTbl table;
  RecordingView view;
  SolGame game{table, view, SharedCardPictures()};
  std::vector<recSolSlt> beforeEvaluation;  // the table as dealt

  Fixture() {
    table.Options.SetEntry(kAnimDealPause, kMarkPause);
    view.onEvents = [this] {
      if (!view.pauses.empty() && view.pauses.back() == kMarkPause && beforeEvaluation.empty())
        beforeEvaluation = table.Slots();
    };
  }
  void SetCounts(int bride, int groom, int parents, int omens) {
    game.Record().SetCounts(recSolCounts{static_cast<int16_t>(bride), static_cast<int16_t>(groom),
                                         static_cast<int16_t>(parents), static_cast<int16_t>(omens)});
  }
};

// Every card code of the piles' piles (persons and omens, dealt cards only).
std::map<int, int> DealtCodes(const std::vector<recSolSlt>& piles, int maxSlot) {
  std::map<int, int> codes;
  for (int i = 0; i <= maxSlot; ++i)
    for (int k = 1; k <= piles[static_cast<size_t>(i)].Count; ++k) ++codes[piles[static_cast<size_t>(i)].Cards[static_cast<size_t>(k)]];
  return codes;
}

// --- The board ---------------------------------------------------------------

TEST(BuildBoard, GeometryFollowsTheOmenCount) {
  struct Case {
    int omens, built, maxWidth;
  };
  for (const Case c : {Case{16, 16, 900}, Case{19, 19, 1164}, Case{0, 19, 1164}, Case{25, 19, 1164},
                       Case{8, 8, 900}, Case{-3, 19, 1164}, Case{9, 9, 900}, Case{17, 17, 956}}) {
    SCOPED_TRACE(c.omens);
    Fixture f;
    f.SetCounts(10, 10, 10, c.omens);
    ASSERT_TRUE(f.game.BuildBoard());
    EXPECT_EQ(f.table.MaxSlot, 5 + c.built);
    EXPECT_EQ(f.table.DeckInd, 6 + c.built);
    EXPECT_EQ(f.table.RemInd, 7 + c.built);
    EXPECT_EQ(f.table.SlotCount(), 8 + c.built);
    EXPECT_EQ(f.table.LabelCount(), 6 + c.built);
    EXPECT_EQ(f.table.MaxWidth, c.maxWidth);
    EXPECT_EQ(f.table.MaxHeight, 383);
    // The count built is the count the statistics key gets.
    EXPECT_EQ(f.game.Record().Counts().Omens, c.built);
    EXPECT_EQ(f.table.PictureSources().size(), 57u);
    EXPECT_EQ(f.table.Selection, std::vector<int16_t>{-1});
    for (int i = 0; i <= f.table.MaxSlot; ++i) {
      EXPECT_EQ(f.table.Slot(i).Picture, kCodeEmpty);
      EXPECT_TRUE(f.table.Slot(i).Visible && f.table.Label(i).Visible);
      EXPECT_EQ(f.table.Label(i).Flags, kLabelFlagCounter);
      EXPECT_EQ(f.table.Label(i).X, f.table.Slot(i).X);
    }
    EXPECT_EQ(f.table.Slot(f.table.DeckInd).Name, "Deck");
    EXPECT_EQ(f.table.Slot(f.table.DeckInd).Picture, kCodeBack);
    EXPECT_EQ(f.table.Slot(f.table.RemInd).Name, "Rem");
    EXPECT_EQ(f.table.Slot(f.table.RemInd).Picture, kCodeRemovals);
  }
}

TEST(BuildBoard, PlacesNamesAndTips) {
  Fixture f;
  f.SetCounts(7, 8, 9, 19);
  f.game.BuildBoard();
  const recSolSlt& brdPa = f.table.Slot(4);
  EXPECT_EQ(brdPa.Name, "brdPa");
  EXPECT_EQ(brdPa.X, 124);
  EXPECT_EQ(brdPa.Y, 246);
  EXPECT_EQ(brdPa.Kind, skPerson);
  EXPECT_EQ(f.table.Label(4).Caption, "Brides Pa");
  EXPECT_EQ(f.table.Label(4).Y, 350);
  EXPECT_EQ(f.table.Slot(0).Count, 7);
  EXPECT_EQ(f.table.Slot(1).Count, 8);
  EXPECT_EQ(f.table.Slot(5).Count, 9);
  EXPECT_EQ(f.table.Slot(1).Tip, "Husband to be for Bride. Male star of the weddings");
  EXPECT_EQ(f.table.Label(0).Y, 246);
  EXPECT_EQ(f.table.Slot(0).Y, 267);
  // Omen 1 "Fate" in the middle row, omen 9 "Family" in the top row.
  EXPECT_EQ(f.table.Slot(6).Name, "Omen1");
  EXPECT_EQ(f.table.Label(6).Caption, "Fate");
  EXPECT_EQ(f.table.Slot(6).Y, 125);
  EXPECT_EQ(f.table.Label(6).Y, 229);
  EXPECT_EQ(f.table.Slot(6).Kind, skOmen);
  EXPECT_EQ(f.table.Label(14).Caption, "Family");
  EXPECT_EQ(f.table.Slot(14).Y, 4);
  EXPECT_EQ(f.table.Label(14).Y, 108);
  EXPECT_EQ(f.table.Slot(24).Name, "Omen19");
  EXPECT_EQ(f.table.Slot(24).X, 1060);
  EXPECT_EQ(f.table.Slot(f.table.RemInd).X, 796);
}

TEST(BuildBoard, EveryBuildWritesTheBoardFile) {
  platform::testkit::TempDir dir("pellora_board");
  Fixture f;
  f.table.BoardFile = dir / "boPellora.Ini";
  f.game.BuildBoard();
  f.game.BuildBoard();
  const std::vector<uint8_t> bytes = platform::testkit::ReadFile(f.table.BoardFile);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("[Base16]"), 0u);
  EXPECT_EQ(text.find("[Base16]", 1), std::string::npos);
  const size_t entries = static_cast<size_t>(std::count(text.begin(), text.end(), '='));
  // The table writes the section afresh: one entry per slot and label.
  EXPECT_EQ(entries, static_cast<size_t>(f.table.SlotCount() + f.table.LabelCount()));
}

// --- Dealing -----------------------------------------------------------------

TEST(Deal, DefaultDealFillsEverySlotByTheConventions) {
  Fixture f;
  ASSERT_TRUE(f.game.Deal());  // builds the board itself the first time
  ASSERT_FALSE(f.beforeEvaluation.empty());
  const auto& piles = f.beforeEvaluation;
  for (int i = 0; i < 6; ++i) {
    const recSolSlt& s = piles[static_cast<size_t>(i)];
    EXPECT_EQ(s.Count, 10);
    EXPECT_EQ(s.Top, 10);
    ASSERT_EQ(s.Cards.size(), 12u);
    EXPECT_EQ(s.Cards[0], kCodeEmpty);
    EXPECT_EQ(s.PairKey, CardRank(s.Cards[10]));
    EXPECT_GT(s.PairKey, 0);
    EXPECT_EQ(s.Picture, s.Cards[10]);
  }
  for (int i = 6; i <= 21; ++i) {
    const recSolSlt& s = piles[static_cast<size_t>(i)];
    EXPECT_EQ(s.Count, 6);
    EXPECT_EQ(s.Top, 7);  // closed
    ASSERT_EQ(s.Cards.size(), 8u);
    EXPECT_EQ(s.Cards[0], kCodeEmpty);
    EXPECT_EQ(s.Cards[7], kCodeBack);
    EXPECT_EQ(s.PairKey, 0);
    EXPECT_EQ(s.Picture, kCodeBack);
  }
  const recSolSlt& rem = piles[23];
  EXPECT_EQ(rem.Top, 0);
  EXPECT_EQ(rem.Cards, std::vector<int16_t>{kCodeRemovals});
  const std::map<int, int> codes = DealtCodes(piles, 21);
  ASSERT_EQ(codes.size(), 52u);
  for (const auto& [code, n] : codes) {
    EXPECT_GE(code, 1);
    EXPECT_LE(code, 52);
    EXPECT_EQ(n, 3) << code;
  }
  for (int16_t c : f.game.Deck()) EXPECT_EQ(c, -1);
  // The evaluation that followed found no dating: the state is still 1.
  EXPECT_EQ(f.table.Options.GameState, gsDealt);
  EXPECT_EQ(f.game.Record().I8(SolGameRecord::kTurn), 1);
  EXPECT_EQ(f.game.Record().I8(SolGameRecord::kRound), 1);
  EXPECT_EQ(f.game.Record().I8(SolGameRecord::kDealMark), -1);
  EXPECT_FALSE(f.game.Busy());
  EXPECT_EQ(f.view.infos.front(), kTxtDealing);
}

TEST(Deal, TwoFreshStartsDealTheSameCards) {
  Fixture a, b;
  a.game.Deal();
  b.game.Deal();
  ASSERT_FALSE(a.beforeEvaluation.empty());
  EXPECT_EQ(a.beforeEvaluation, b.beforeEvaluation);
  EXPECT_EQ(a.table.Slots(), b.table.Slots());
  // A second deal goes on in the sequence: another game.
  a.beforeEvaluation.clear();
  a.game.Deal();
  ASSERT_FALSE(a.beforeEvaluation.empty());
  EXPECT_NE(DealtCodes(a.beforeEvaluation, 5), DealtCodes(b.beforeEvaluation, 5));
}

TEST(Deal, OneDeckSharesTheRestOverTheOmens) {
  Fixture f;
  f.table.Options.CardCount = 52;
  f.SetCounts(4, 4, 4, 16);
  f.game.Deal();
  ASSERT_FALSE(f.beforeEvaluation.empty());
  for (int i = 6; i <= 21; ++i) EXPECT_EQ(f.beforeEvaluation[static_cast<size_t>(i)].Count, i < 18 ? 2 : 1) << i;
  const std::map<int, int> codes = DealtCodes(f.beforeEvaluation, 21);
  EXPECT_EQ(codes.size(), 52u);
  for (const auto& [code, n] : codes) EXPECT_EQ(n, 1);
}

TEST(Deal, ADeckSmallerThanThePersonsNeedIsNeverDealtBelowItsStart) {
  Fixture f;
  f.table.Options.CardCount = 52;
  f.SetCounts(10, 10, 10, 16);
  ASSERT_TRUE(f.game.Deal());
  ASSERT_FALSE(f.beforeEvaluation.empty());
  const auto& s = f.beforeEvaluation;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s[static_cast<size_t>(i)].Count, 10);
  EXPECT_EQ(s[5].Count, 2);
  EXPECT_EQ(s[5].Top, 2);
  for (int i = 6; i <= 21; ++i) {
    EXPECT_EQ(s[static_cast<size_t>(i)].Count, 0);
    EXPECT_EQ(s[static_cast<size_t>(i)].Top, 1);  // closed: the list position of its back
  }
  EXPECT_EQ(DealtCodes(s, 21).size(), 52u);
  // Opening an omen without cards empties it.
  f.game.Evaluate();
  for (int i = 6; i <= 21; ++i) EXPECT_LE(f.table.Slot(i).Top, 1);
  while (f.table.Slot(6).Top == 1 && !(f.table.Options.GameState & gsGameOver)) {
    f.table.Options.Attrib = 0;
    for (int i = 0; i < 6; ++i) f.table.Slot(i).PairKey = static_cast<int16_t>(i + 1);  // no pairs left
    f.game.Evaluate();
  }
  for (int i = 6; i <= 21; ++i) {
    EXPECT_EQ(f.table.Slot(i).Top, 0);
    EXPECT_EQ(f.table.Slot(i).Picture, kCodeEmpty);
  }
}

TEST(Deal, OpenAllOmensOnDealOpensThemAndDoesNotEvaluate) {
  Fixture f;
  f.table.Options.Attrib = rbOpenAllOnDeal | rbCheckWeddings;
  f.game.Deal();
  EXPECT_TRUE(f.beforeEvaluation.empty());  // no pause before an evaluation
  EXPECT_EQ(f.view.LastInfo(), kTxtOpenAll);
  for (int i = 6; i <= 21; ++i) {
    const recSolSlt& s = f.table.Slot(i);
    EXPECT_EQ(s.Top, s.Count);
    EXPECT_EQ(s.Picture, s.Cards[static_cast<size_t>(s.Count)]);
    EXPECT_EQ(s.PairKey, CardRank(s.Picture));
  }
  EXPECT_EQ(f.game.PairCounts().total, 0);
  int omenPauses = 0;
  for (uint32_t p : f.view.pauses) omenPauses += p == f.table.Options.Entry(kAnimOmenPause);
  EXPECT_EQ(omenPauses, 16);
}

TEST(Deal, AnimationsFlyFromTheDeckAndClearingFliesBack) {
  Fixture f;
  f.table.Options.CardCount = 52;
  f.SetCounts(2, 2, 2, 4);
  f.table.Options.AnimBits = abDealPersons | abDealOmens | abClearScreen;
  f.game.Deal();
  const int deck = f.table.DeckInd;
  // 12 person cards, then 40 omen cards.
  ASSERT_EQ(f.view.flights.size(), 52u);
  for (size_t k = 0; k < 12; ++k) {
    EXPECT_EQ(f.view.flights[k].slot, static_cast<int>(k / 2));
    EXPECT_EQ(f.view.flights[k].speed, f.table.Options.Speed(arDealPersons));
    // The last card of a person flies face up, the others as backs.
    EXPECT_EQ(f.view.flights[k].value == kCodeBack, k % 2 == 0) << k;
  }
  for (size_t k = 12; k < 52; ++k) {
    EXPECT_EQ(f.view.flights[k].slot, 6 + static_cast<int>((k - 12) % 4));
    EXPECT_EQ(f.view.flights[k].speed, f.table.Options.Speed(arDealOmens));
    EXPECT_EQ(f.view.flights[k].value, kCodeBack);
  }
  // The next deal first flies every card on view back to the deck.
  f.view.Forget();
  f.game.Deal();
  int back = 0;
  for (const auto& fl : f.view.flights) back += fl.slot == deck;
  EXPECT_GE(back, 6);
  EXPECT_EQ(f.view.flights.front().slot, deck);
  EXPECT_FALSE(f.view.box.visible);
}

TEST(Deal, RebuildsTheBoardWhenTheOmenCountChanged) {
  Fixture f;
  f.game.Deal();
  f.SetCounts(10, 10, 10, 8);
  f.table.Options.GameState |= gsRebuildBoard;
  f.game.Deal();
  EXPECT_EQ(f.table.MaxSlot, 13);
  EXPECT_EQ(f.table.Options.GameState & gsRebuildBoard, 0);
  EXPECT_EQ(DealtCodes(f.table.Slots(), 13).size(), 52u);
}

TEST(Deal, IsIgnoredWhileBusyAndHoldsTheBusyStateThroughout) {
  Fixture f;
  int nested = 0, refused = 0;
  bool busyThroughout = true;
  f.view.onEvents = [&] {
    busyThroughout = busyThroughout && f.game.Busy();
    ++nested;
    refused += !f.game.Deal();
    refused += !f.game.Evaluate();
    refused += !f.game.Undo();
    refused += !f.game.Redo();
    refused += !f.game.BuildBoard();
    f.game.MouseDown(f.table.Slot(0).Rect.left + 1, f.table.Slot(0).Rect.top + 1);
  };
  f.table.SetBoardSize(900, 600);
  ASSERT_TRUE(f.game.Deal());
  EXPECT_TRUE(busyThroughout);
  EXPECT_GT(nested, 0);
  EXPECT_EQ(refused, 5 * nested);
  EXPECT_FALSE(f.game.Busy());
  EXPECT_FALSE(f.game.Dragging());
}

}  // namespace
}  // namespace pellora

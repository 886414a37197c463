// Whole games played by the mouse with random legal moves, checking after
// every move that each card is in exactly one place and that undo then redo
// gives the same table back.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "pellora/game.h"
#include "pellora/recording_view.h"

namespace pellora {
namespace {

constexpr int kGames = 1000;
constexpr int kGamesPerBoard = 25;  // games between omen-count changes

struct Move {
  int a, b;
};

// Every legal pair on the table now.
std::vector<Move> LegalMoves(const SolGame& game) {
  std::vector<Move> moves;
  for (int a = 0; a <= game.MaxSlot(); ++a)
    for (int b = a + 1; b <= game.MaxSlot(); ++b)
      if (game.IsPair(a, b)) moves.push_back({a, b});
  return moves;
}

// Each card code and how often it lies somewhere: the cards of the person and
// omen piles up to their top (a closed omen: all of them), the removals up to
// its top, and what is left in the deck. Also checks each slot's top and key.
::testing::AssertionResult EveryCardOnce(const SolGame& game, int cardCount) {
  const TSolTbl& t = game.Table();
  std::map<int, int> codes;
  for (int i = 0; i <= t.MaxSlot; ++i) {
    const recSolSlt& s = t.Slot(i);
    const bool omen = i >= kPersonSlots;
    if (s.Top < 0 || s.Top > s.Count + (omen ? 1 : 0))
      return ::testing::AssertionFailure() << "slot " << i << " top " << s.Top << " of " << s.Count;
    const bool closed = s.Top > s.Count;
    const int upTo = closed ? s.Count : s.Top;
    for (int k = 1; k <= upTo; ++k) ++codes[s.Card(k)];
    const int16_t key = closed ? 0 : CardRank(s.Card(s.Top));
    if (s.PairKey != key) return ::testing::AssertionFailure() << "slot " << i << " key " << s.PairKey;
    // A closed omen shows its back, or the empty picture when it got no card.
    const bool closedShows = closed && (s.Picture == kCodeBack || (s.Count == 0 && s.Picture == kCodeEmpty));
    if (s.Picture != s.Card(s.Top) && !closedShows)
      return ::testing::AssertionFailure() << "slot " << i << " shows " << s.Picture;
  }
  const recSolSlt& rem = t.Slot(t.RemInd);
  for (int k = 1; k <= rem.Top; ++k) ++codes[rem.Card(k)];
  for (int16_t c : game.Deck())
    if (c != -1) ++codes[c];
  const int decks = cardCount / 52;
  int total = 0;
  for (const auto& [code, n] : codes) {
    if (code < 1 || code > 52 || n != decks)
      return ::testing::AssertionFailure() << "code " << code << " lies in " << n << " places";
    total += n;
  }
  if (total != cardCount) return ::testing::AssertionFailure() << total << " cards of " << cardCount;
  return ::testing::AssertionSuccess();
}

platform::Rect RectOf(const SolGame& g, int slot) { return g.Table().Slot(slot).Rect; }
int CX(const SolGame& g, int slot) { return (RectOf(g, slot).left + RectOf(g, slot).right) / 2; }
int CY(const SolGame& g, int slot) { return (RectOf(g, slot).top + RectOf(g, slot).bottom) / 2; }

TEST(Play, ThousandSeededGamesWithRandomLegalMoves) {
  TSolTbl table;
  RecordingView view;
  // The games run on a board with a size, so that every deal and every undo
  // and redo step lays the table out as on screen.
  auto pictures = std::make_shared<SolImageList>();
  for (int i = 0; i < kPictureNumbers; ++i) {
    pictures->emplace_back(2, 2, platform::PixelFormat::Bit24);
    pictures->back().Fill(platform::RGBColor(i, 0, 0));
  }
  SolGame game(table, view, pictures);
  table.SetBoardSize(300, 150);
  std::mt19937 rng(20261209);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const uint32_t ruleBits[] = {rbCheckWeddings, rbOpenSequential, rbOpenAllAfterBase, rbOpenUntilBasePair,
                               rbOpenAllOnDeal, rbBaseWithOmenOnly};
  const uint32_t animBits[] = {abDragDrop, abDealPersons, abDealOmens, abClickToPair, abPairToRemovals, abClearScreen};
  int omens = 16, moves = 0, undoChecks = 0, married = 0, dated = 0, recorded = 0;

  for (int g = 0; g < kGames; ++g) {
    SCOPED_TRACE(g);
    recSolOpt& opt = table.Options;
    opt.CardCount = static_cast<uint16_t>(52 * (1 + pick(4)));
    opt.Attrib = 0;
    for (uint32_t bit : ruleBits) opt.Attrib |= pick(2) ? bit : 0;
    opt.AnimBits = 0;
    for (uint32_t bit : animBits) opt.AnimBits |= pick(2) ? bit : 0;
    if (g % kGamesPerBoard == 0) {
      omens = 1 + pick(kMaxOmens);
      opt.GameState |= gsRebuildBoard;
    }
    const int persons = opt.CardCount;
    game.Record().SetCounts(recSolCounts{static_cast<int16_t>(pick(persons / 6 + 2)),
                                         static_cast<int16_t>(pick(persons / 6 + 2)),
                                         static_cast<int16_t>(pick(persons / 6 + 2)), static_cast<int16_t>(omens)});
    table.SetSeed(static_cast<uint32_t>(g) * 2654435761u);
    const size_t gamesBefore = [&] {
      size_t n = 0;
      for (const StatRecord& r : game.Stats().Records()) n += static_cast<size_t>(r.games);
      return n;
    }();
    ASSERT_TRUE(game.Deal());
    ASSERT_GT(RectOf(game, 0).Width(), 0);
    ASSERT_TRUE(EveryCardOnce(game, opt.CardCount));

    for (int step = 0; !(opt.GameState & gsGameOver); ++step) {
      ASSERT_LT(step, 1000) << "the game does not end";
      const std::vector<Move> legal = LegalMoves(game);
      if (legal.empty()) {
        ASSERT_TRUE(game.Evaluate());  // the Round command
        ASSERT_TRUE(EveryCardOnce(game, opt.CardCount));
        continue;
      }
      Move m = legal[static_cast<size_t>(pick(static_cast<int>(legal.size())))];
      if (pick(2)) std::swap(m.a, m.b);
      const int removedBefore = table.Slot(table.RemInd).Top;
      if (opt.AnimBits & abDragDrop) {
        game.MouseDown(CX(game, m.a), CY(game, m.a));
        ASSERT_TRUE(game.Dragging());
        game.MouseMove(CX(game, m.b), CY(game, m.b));
        game.MouseUp(CX(game, m.b), CY(game, m.b));
      } else {
        game.MouseDown(CX(game, m.a), CY(game, m.a));
        if (table.Selection[0] == m.a) game.MouseDown(CX(game, m.b), CY(game, m.b));
      }
      ASSERT_FALSE(game.Busy());
      ASSERT_EQ(table.Slot(table.RemInd).Top, removedBefore + 2) << m.a << " " << m.b;
      ++moves;
      ASSERT_TRUE(EveryCardOnce(game, opt.CardCount));
      if (table.CanUndo()) {
        const std::vector<recSolSlt> after = table.Slots();
        const SolGameRecord record = game.Record();
        const uint64_t scalings = table.PictureScalings();
        ASSERT_TRUE(game.Undo());
        ASSERT_TRUE(EveryCardOnce(game, opt.CardCount));
        ASSERT_EQ(table.Slot(table.RemInd).Top, removedBefore);
        ASSERT_TRUE(game.Redo());
        ASSERT_EQ(table.Slots(), after);
        ASSERT_EQ(game.Record(), record);
        ASSERT_EQ(table.PictureScalings(), scalings);  // the slot size stays
        ++undoChecks;
      } else {
        ASSERT_TRUE(opt.GameState & gsGameOver);  // only the end drops the chain
      }
    }
    // At the end nothing pairs, nothing is closed, the chain is gone and the
    // game is filed once.
    ASSERT_TRUE(LegalMoves(game).empty());
    for (int i = kPersonSlots; i <= table.MaxSlot; ++i) ASSERT_LE(table.Slot(i).Top, table.Slot(i).Count);
    ASSERT_FALSE(table.CanUndo());
    size_t gamesAfter = 0;
    for (const StatRecord& r : game.Stats().Records()) gamesAfter += static_cast<size_t>(r.games);
    ASSERT_EQ(gamesAfter, gamesBefore + 1);
    ++recorded;
    married += (opt.GameState & gsMarried) != 0;
    dated += (opt.GameState & gsBaseCleared) != 0;
  }
  // The random games reach every outcome.
  EXPECT_EQ(recorded, kGames);
  EXPECT_GT(dated, 0);
  EXPECT_GT(married, 0);
  EXPECT_LT(dated, kGames);
  EXPECT_GT(undoChecks, kGames);
  RecordProperty("moves", moves);
}

}  // namespace
}  // namespace pellora

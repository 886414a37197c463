// The table's records, its generator and shuffle, the options and their
// defaults, and the temporary name.
#include "pellora/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <sstream>

#include "pellora-lib/test_support.h"

namespace pellora {
namespace {

TEST(SolTblSlots, AppendGrowAndFieldsOfAddSlot) {
  TSolTbl t;
  EXPECT_EQ(t.AddSlot(-1, 4, 125, skOmen, 3, 0, "Omen1", "tip"), 0);
  EXPECT_EQ(t.Slot(0).Ind, -1);
  EXPECT_EQ(t.Slot(0).Top, -1);
  EXPECT_EQ(t.Slot(0).Count, 3);
  EXPECT_EQ(t.Slot(0).Tip, "tip");
  EXPECT_TRUE(t.Slot(0).Cards.empty());
  t.AddSlot(-1, 0, 0, skPerson, 0, 0, "b", "");
  // Writing index 5 on a table of two grows it; the records between are zero.
  t.Slot(0).Visible = 1;
  t.Slot(0).Picture = 54;
  EXPECT_EQ(t.AddSlot(5, 1, 2, skPerson, 1, kSlotFlagOneCard, "A name much longer than fifteen", ""), 5);
  ASSERT_EQ(t.SlotCount(), 6);
  for (int i = 2; i <= 4; ++i) EXPECT_EQ(t.Slot(i), recSolSlt{}) << i;
  EXPECT_EQ(t.Slot(5).Name, "A name much lon");
  EXPECT_EQ(t.Slot(5).Ind, 5);
  EXPECT_EQ(t.Slot(5).Cards.size(), 1u);
  // Rewriting a slot keeps caption, visible, picture and rectangle.
  t.Slot(0).Rect = platform::MakeRect(1, 2, 3, 4);
  t.AddSlot(0, 9, 9, skPerson, 0, 0, "again", "");
  EXPECT_EQ(t.Slot(0).Visible, 1);
  EXPECT_EQ(t.Slot(0).Picture, 54);
  EXPECT_EQ(t.Slot(0).Rect, platform::MakeRect(1, 2, 3, 4));
  EXPECT_EQ(t.Slot(0).X, 9);
}

TEST(SolTblSlots, DeckAndRemovalsIndicesFollowTheLastSuchSlot) {
  TSolTbl t;
  t.AddSlot(-1, 0, 0, skPerson, 0, 0, "p", "");
  t.AddSlot(-1, 0, 0, skDeck, 0, 0, "Deck", "");
  EXPECT_EQ(t.DeckInd, 1);
  t.AddSlot(-1, 0, 0, skDeck, 0, 0, "Deck2", "");
  EXPECT_EQ(t.DeckInd, 2);
  t.AddSlot(-1, 0, 0, skRemovals, 0, 0, "Rem", "");
  EXPECT_EQ(t.RemInd, 3);
}

TEST(SolTblSlots, BadIndicesAndValuesAreErrorsNotMemory) {
  TSolTbl t;
  t.AddSlot(-1, 0, 0, skPerson, 0, 0, "p", "");
  EXPECT_THROW(t.Slot(1), SolTblError);
  EXPECT_THROW(t.Slot(-1), SolTblError);
  EXPECT_THROW(t.Label(0), SolTblError);
  EXPECT_THROW(t.AddSlot(-2, 0, 0, 1, 0, 0, "", ""), SolTblError);
  EXPECT_THROW(t.AddSlot(32767, 0, 0, 1, 0, 0, "", ""), SolTblError);
  EXPECT_THROW(t.AddSlot(0, 0, 0, 256, 0, 0, "", ""), SolTblError);
  EXPECT_THROW(t.AddLabel(0, 0, 0, 1, 1, 300, 0, "", "", ""), SolTblError);
  EXPECT_THROW(t.Slot(0).Card(0), SolTblError);
  t.Slot(0).SetCardCount(2);
  t.Slot(0).SetCard(1, 7);
  EXPECT_EQ(t.Slot(0).Card(1), 7);
  EXPECT_THROW(t.Slot(0).SetCard(2, 7), SolTblError);
  EXPECT_THROW(t.Slot(0).SetCardCount(-1), SolTblError);
  EXPECT_THROW(t.Picture(0), SolTblError);
  EXPECT_EQ(t.SlotCount(), 1);
}

TEST(SolTblSlots, LabelsClearSlotsAndPictureSources) {
  TSolTbl t;
  EXPECT_EQ(t.AddLabel(-1, 124, 350, 100, 13, 7, kLabelFlagCounter, "lbl", "Brides Pa", "x"), 0);
  const recSolSlt& l = t.Label(0);
  EXPECT_EQ(l.Caption, "Brides Pa");
  EXPECT_EQ(l.Extra, "x");
  EXPECT_EQ(l.W, 100);
  EXPECT_EQ(l.H, 13);
  EXPECT_EQ(l.Paired, 7);
  EXPECT_EQ(l.Ind, -1);
  t.AddSlot(-1, 0, 0, 1, 0, 0, "s", "");
  t.ClearSlots();
  EXPECT_EQ(t.SlotCount(), 0);
  EXPECT_EQ(t.LabelCount(), 0);

  auto list = std::make_shared<SolImageList>(3, platform::Bitmap(2, 2));
  EXPECT_EQ(t.AddPicture(list, 2, 4), 4);
  ASSERT_EQ(t.PictureSources().size(), 5u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.PictureSources()[static_cast<size_t>(i)].Number, i);
    EXPECT_EQ(t.PictureSources()[static_cast<size_t>(i)].List, nullptr);
    EXPECT_EQ(t.PictureSources()[static_cast<size_t>(i)].Index, -1);
  }
  EXPECT_EQ(t.PictureSources()[4].Index, 2);
  EXPECT_EQ(t.AddPicture(list, 0, -1), 5);
}

TEST(SolTblOptionWord, UseLblAddsAndSubtractsItsBitOnce) {
  TSolTbl t;
  EXPECT_FALSE(t.UseLbl());
  t.SetUseLbl(true);
  t.SetUseLbl(true);
  EXPECT_TRUE(t.UseLbl());
  EXPECT_FALSE(t.UseLblBit(8));
  t.SetUseLbl(false);
  t.SetUseLbl(false);
  EXPECT_FALSE(t.UseLbl());
}

TEST(SolTblRandom, FirstDrawsFromSeedZero) {
  // The seed moves on before the multiply: 0, 1, 44, 10, 14, 34, 16, 8.
  TSolTbl t;
  const int expected[] = {0, 1, 44, 10, 14, 34, 16, 8};
  for (int e : expected) EXPECT_EQ(t.Random(52), e);
  TSolTbl fresh;
  EXPECT_EQ(fresh.Seed(), 0u);  // every table, every start, the same game
}

// The shuffle as an independent program computes it (Python's exact
// integers, straight from the rule).
std::string PythonShuffle(int n) {
  const std::string script =
      "seed=0\n"
      "def rnd(n):\n"
      "  global seed\n"
      "  seed=(seed*134775813+1)%(1<<32)\n"
      "  return (seed*n)>>32\n"
      "n=" + std::to_string(n) + "\n"
      "c=[(i%52)+1 for i in range(n)]\n"
      "for k in range(n*1000+1):\n"
      "  i=rnd(n)\n"
      "  j=rnd(n)\n"
      "  while j==i: j=rnd(n)\n"
      "  c[i],c[j]=c[j],c[i]\n"
      "print(' '.join(map(str,c)))\n";
  testkit::TempDir dir("soltbl_py");
  testkit::WriteFile(dir / "s.py", script);
  const std::string cmd = "python3 " + (dir / "s.py") + " 2>/dev/null";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n2;
    while ((n2 = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n2);
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

TEST(SolTblShuffle, ThreeDecksShuffleAsTheRuleSaysAndStayAPermutation) {
  TSolTbl t;
  std::vector<int16_t> cards(156);
  for (size_t i = 0; i < cards.size(); ++i) cards[i] = static_cast<int16_t>(i % 52 + 1);
  t.ShuffleCards(cards, 155, 0);
  std::vector<int16_t> sorted = cards;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(sorted[i], static_cast<int16_t>(i / 3 + 1));
  std::ostringstream ours;
  for (size_t i = 0; i < cards.size(); ++i) ours << (i ? " " : "") << cards[i];
  const std::string oracle = PythonShuffle(156);
  if (oracle.empty()) GTEST_SKIP() << "no python3";
  EXPECT_EQ(ours.str(), oracle);
}

TEST(SolTblShuffle, TinyRangesAndRangesPastTheEnd) {
  TSolTbl t;
  std::vector<int16_t> one{5};
  t.ShuffleCards(one, 0, 0);
  EXPECT_EQ(one, std::vector<int16_t>{5});
  std::vector<int16_t> three{1, 2, 3};
  t.ShuffleCards(three, 2, 2);  // low equal to high
  EXPECT_EQ(three, (std::vector<int16_t>{1, 2, 3}));
  EXPECT_EQ(t.Seed(), 0u);      // returned at once, no draw taken
  EXPECT_THROW(t.ShuffleCards(three, 3, 0), SolTblError);
  EXPECT_EQ(three, (std::vector<int16_t>{1, 2, 3}));
  EXPECT_EQ(t.Seed(), 0u);
  t.ShuffleCards(three, 2, 1);  // only the last two move
  EXPECT_EQ(three[0], 1);
}

TEST(SolTblTempName, FirstFreeCandidateInTheTemporaryFolder) {
  testkit::TempDir dir("soltbl_tmp");
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", dir.Path().c_str(), 1);  // reported without a trailing slash
  const std::string base = dir.Path().string() + "/";
  EXPECT_EQ(TSolTbl::TempFileName(""), base + "~TmpFile.tmp");
  testkit::WriteFile(base + "~TmpFile.tmp", "");
  EXPECT_EQ(TSolTbl::TempFileName(""), base + "~TmpFile0.tmp");
  testkit::WriteFile(base + "~TmpFile0.tmp", "");
  EXPECT_EQ(TSolTbl::TempFileName(""), base + "~TmpFile1.tmp");
  EXPECT_EQ(TSolTbl::TempFileName("Pel"), base + "Pel.tmp");
  EXPECT_FALSE(std::filesystem::exists(base + "Pel.tmp"));  // nothing is created
  if (old) setenv("TMPDIR", saved.c_str(), 1);
  else unsetenv("TMPDIR");
}

TEST(SolOptions, DefaultsOfEveryOption) {
  recSolOpt o;
  recSolCounts c;
  SetDefaultOptions(kGameTypeTarot, o, c, dpAll);
  EXPECT_EQ(o.Title, "Tarot 3 decks, 16slots, [163AAA");
  EXPECT_EQ(o.Attrib, 17u);
  EXPECT_EQ(o.CardCount, 156);
  EXPECT_EQ(o.AnimBits, 105u);
  EXPECT_EQ(c.Bride, 10);
  EXPECT_EQ(c.Groom, 10);
  EXPECT_EQ(c.Parents, 10);
  EXPECT_EQ(c.Omens, 16);
  const int16_t speed[] = {720, 840, 720, 600, 600, 600, 600};
  const uint16_t click[] = {80, 60, 20, 20, 20, 20, 30};
  const uint16_t drag[] = {10, 10, 20, 20, 20, 20, 20};
  for (int r = 1; r <= 7; ++r) {
    EXPECT_EQ(o.Speed(r), speed[r - 1]);
    EXPECT_EQ(o.Click(r), click[r - 1]);
    EXPECT_EQ(o.Drag(r), drag[r - 1]);
    EXPECT_EQ(o.Entry(r), static_cast<uint16_t>(speed[r - 1]));
    EXPECT_EQ(o.Entry(8 + r), click[r - 1]);
    EXPECT_EQ(o.Entry(17 + r), drag[r - 1]);
  }
  EXPECT_EQ(o.Entry(16), 500);
  EXPECT_EQ(o.Entry(25), 200);
  for (int unused : {0, 8, 17, 26}) EXPECT_EQ(o.Entry(unused), 0);
  EXPECT_THROW(o.Speed(0), SolTblError);
  EXPECT_THROW(o.Drag(8), SolTblError);
  EXPECT_THROW(o.Entry(27), SolTblError);
  // A negative speed (a total time) reads back signed.
  o.SetSpeed(arClickToPair, -300);
  EXPECT_EQ(o.Speed(arClickToPair), -300);
  EXPECT_EQ(o.Entry(arClickToPair), 65236);
  TSolTbl t;
  EXPECT_EQ(t.FPS, 15);
  EXPECT_EQ(t.DefWidth, 100);
  EXPECT_EQ(t.PicWidth, 71);
  EXPECT_EQ(t.PicHeight, 96);
  EXPECT_EQ(t.MaxWidth, 1);
  EXPECT_FLOAT_EQ(t.PicAspect, 96.0f / 71.0f);
}

TEST(SolOptions, PartsFillOnlyTheirHalf) {
  recSolOpt o;
  recSolCounts c;
  SetDefaultOptions(kGameTypeTarot, o, c, dpAnimation);
  EXPECT_EQ(o.CardCount, 0);
  EXPECT_EQ(o.Attrib, 0u);
  EXPECT_EQ(o.Title, "");
  EXPECT_EQ(c.Omens, 0);
  EXPECT_EQ(o.AnimBits, 105u);
  recSolOpt g;
  SetDefaultOptions(kGameTypeTarot, g, c, dpGame);
  EXPECT_EQ(g.CardCount, 156);
  EXPECT_EQ(g.AnimBits, 0u);
  EXPECT_EQ(g.Entry(16), 0);
  g.SetTitle(std::string(40, 'x'));
  EXPECT_EQ(g.Title.size(), 31u);
}

TEST(SolOptions, CardRank) {
  const std::pair<int, int> cases[] = {{0, 0},   {1, 1},   {13, 13}, {14, 1},  {26, 13}, {27, 1}, {40, 1},
                                       {52, 13}, {53, 0},  {54, 0},  {55, 0},  {65535, 0}, {-1, 0}};
  for (auto [code, rank] : cases) EXPECT_EQ(CardRank(code), rank) << code;
}

}  // namespace
}  // namespace pellora

// Variant key, result line, ranking and the statistics sections of a variant.
#include <gtest/gtest.h>

#include <QDate>
#include <clocale>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "foundation/ini.h"
#include "gravlo/gravlo.h"
#include "gravlo/variantstats.h"

using namespace gravlo;
using foundation::StringList;

namespace {

double DateTime(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  const double days = static_cast<double>(QDate(y, mo, d).toJulianDay() - QDate(1899, 12, 30).toJulianDay());
  return days + (((h * 60.0 + mi) * 60.0 + s) * 1000.0 + ms) / 86400000.0;
}

// The game of the documented example line.
void AnnasGame(TGravlo& g) {
  g.Lines = 5;
  g.TimeUsed = 83456;
  g.StartTime = DateTime(2024, 3, 5, 14, 7, 9);
  g.Bonuses = 2;
  g.BonusesLeft = 1;
  g.TimerResets = 1;
  g.Interval = 995;
  g.Drops = 120;
  g.LinesRemoved = 0;
  g.LinesAdded = 0;
}

StringList Lines(std::initializer_list<const char*> lines) {
  StringList l;
  for (const char* s : lines) l.Add(s);
  return l;
}

std::vector<std::string> Texts(const StringList& l) {
  std::vector<std::string> out;
  for (int i = 0; i < l.Count(); ++i) out.push_back(l[i]);
  return out;
}

double ReadAverage(const StringList& ini, const std::string& section, const char* key) {
  return foundation::IniReadValue(&ini, section, key, foundation::Variant(-1.0), foundation::varDouble).AsDouble();
}

int ReadInt(const StringList& ini, const std::string& section, const char* key) {
  return foundation::IniReadValue(&ini, section, key, foundation::Variant(int32_t{-1}), foundation::varInteger).AsInt();
}

}  // namespace

TEST(VariantKey, DefaultsByteForByte) {
  TGravlo g;
  EXPECT_EQ(g.VariantKey("WS"), "WS_GW10_GH20_TN1000_DA-7_LA11_LX5_BM-1_BN1_BG1_BZ5_CT1_CR1_CL2_SS127");
  EXPECT_EQ(g.VariantKey("AV"), "AV_GW10_GH20_TN1000_DA-7_LA11_LX5_BM-1_BN1_BG1_BZ5_CT1_CR1_CL2_SS127");
}

TEST(VariantKey, EveryParameterInItsPlace) {
  TGravlo g;
  g.GameCols = 12;
  g.GameRows = -3;
  g.TimerNew = std::numeric_limits<int32_t>::min();
  g.DropAdd = 0;
  g.LineAdd = -11;
  g.LineAddEx = 2147483647;
  g.BonusMode = -32768;
  g.BonusNew = 7;
  g.BonusGain = 8;
  g.BonusZero = 9;
  g.CostOfTmr = -1;
  g.CostOfRem = -2;
  g.CostOfRow = 32767;
  g.SpriteSet = 0xFFFFFFFFu;  // unsigned
  EXPECT_EQ(g.VariantKey("X"),
            "X_GW12_GH-3_TN-2147483648_DA0_LA-11_LX2147483647_BM-32768_BN7_BG8_BZ9_CT-1_CR-2_CL32767_SS4294967295");
  // Mask 0 plays the seven pieces but is named as stored.
  g.SpriteSet = 0;
  g.GameCols = 10;
  g.GameRows = 20;
  g.TimerNew = 1000;
  g.NewGame();
  EXPECT_EQ(g.ActiveShapes().size(), 7u);
  const std::string key = g.VariantKey("WS");
  EXPECT_EQ(key.substr(key.size() - 4), "_SS0");
}

TEST(ResultLine, DocumentedExampleByteForByte) {
  TGravlo g;
  AnnasGame(g);
  EXPECT_EQ(g.ResultLine("Anna"), "L     5 T   1,23.456=Anna" + std::string(26, ' ') +
                                      " | 2024-03-05 14:07:09 |   2 |   995 |   120 |   1 |   1 |   0 |   0");
}

TEST(ResultLine, PlayerField) {
  TGravlo g;
  AnnasGame(g);
  auto player = [&](const std::string& name) {
    const std::string line = g.ResultLine(name);
    const size_t eq = line.find('=');
    return line.substr(eq + 1, line.find(" | ") - eq - 1);
  };
  const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
  EXPECT_EQ(player(thirty), thirty);
  EXPECT_EQ(player(thirty + "X"), thirty);
  EXPECT_EQ(player(""), "Anonymous" + std::string(21, ' '));
  // Field separators and line ends cannot come in through the name.
  EXPECT_EQ(player("a|b|c"), "a/b/c" + std::string(25, ' '));
  EXPECT_EQ(player("x\r\ny"), "x  y" + std::string(26, ' '));
  // Windows-1252 letters are single bytes and kept.
  EXPECT_EQ(player("J\xF6rg"), "J\xF6rg" + std::string(26, ' '));
  const std::string line = g.ResultLine("p|q");
  size_t bars = 0;
  for (char c : line) bars += c == '|';
  EXPECT_EQ(bars, 8u);
}

TEST(ResultLine, NumbersAndTimes) {
  TGravlo g;
  AnnasGame(g);
  g.Lines = 1234;
  EXPECT_EQ(g.ResultLine("a").substr(0, 9), "L 1 234 T");
  g.Lines = 12345;
  EXPECT_EQ(g.ResultLine("a").substr(0, 9), "L12 345 T");
  g.Lines = 1234567;  // never cut
  EXPECT_EQ(g.ResultLine("a").substr(0, 10), "L1234 567 ");
  g.Lines = 0;
  g.TimeUsed = 59999;
  EXPECT_EQ(g.ResultLine("a").substr(0, 21), "L     0 T     59.999=");
  g.TimeUsed = 0;
  EXPECT_EQ(g.ResultLine("a").substr(0, 21), "L     0 T           =");
  g.TimeUsed = 3723456;
  EXPECT_EQ(g.ResultLine("a").substr(0, 21), "L     0 T1,02,03.456=");
  g.TimeUsed = 36000000;  // ten hours: wider than the field, kept whole
  EXPECT_EQ(g.ResultLine("a").substr(0, 22), "L     0 T10,00,00.000=");

  g.Interval = 10000;
  g.Drops = 123456;
  g.Bonuses = -5;
  g.BonusesLeft = 3;  // more used than gained: negative
  g.TimerResets = 32767;
  g.LinesRemoved = 12;
  g.LinesAdded = 345;
  const std::string line = g.ResultLine("a");
  EXPECT_EQ(line.substr(line.find(" | 2024")),
            " | 2024-03-05 14:07:09 |  -5 |10 000 |123 456 |  -8 |32767 |  12 | 345");
}

TEST(ResultLine, StartTimeToTheSecond) {
  TGravlo g;
  AnnasGame(g);
  auto stamp = [&](double t) {
    g.StartTime = t;
    const std::string line = g.ResultLine("a");
    return line.substr(line.find(" | ") + 3, 19);
  };
  EXPECT_EQ(stamp(DateTime(2024, 3, 5, 14, 7, 9, 999)), "2024-03-05 14:07:09");
  EXPECT_EQ(stamp(DateTime(1999, 12, 31, 23, 59, 59, 999) + 0.9 / 86400000.0), "2000-01-01 00:00:00");
  EXPECT_EQ(stamp(DateTime(2000, 2, 29, 0, 0, 0)), "2000-02-29 00:00:00");
  // A value no clock gives is shown as day 0 instead of failing.
  EXPECT_EQ(stamp(std::numeric_limits<double>::quiet_NaN()), "1899-12-30 00:00:00");
  EXPECT_EQ(stamp(1e300), "1899-12-30 00:00:00");
}

TEST(Ranking, ByteOrderWithAsciiFoldingUnderAUtf8Locale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  bool set = false;
  for (const char* name : {"en_US.UTF-8", "de_DE.UTF-8", "C.UTF-8", "C.utf8"})
    if (std::setlocale(LC_ALL, name)) {
      set = true;
      break;
    }
  EXPECT_TRUE(set);

  StringList ini = Lines({"[Grv010]", "pGrv.GameCols=10"});
  const std::string ws = "WS_test";
  const std::string more = "L   100 T     10.000=zed" + std::string(27, ' ') + " | 2024-01-01 00:00:00";
  const std::string longer = "L    99 T   2,00.000=Ann" + std::string(27, ' ') + " | 2024-01-01 00:00:00";
  const std::string bert = "L    99 T   1,23.456=Bert" + std::string(26, ' ') + " | 2024-01-01 00:00:00";
  const std::string anna = "L    99 T   1,23.456=anna" + std::string(26, ' ') + " | 2024-01-01 00:00:00";
  // Where a real language locale is there (the test command installs one),
  // make sure it would order these lines unlike bytes: otherwise the check
  // below could not tell locale collation from byte order.
  const std::string active = std::setlocale(LC_ALL, nullptr);
  if (active.rfind("C", 0) != 0) {
    const bool bytesFirst = std::strcmp(more.c_str(), longer.c_str()) < 0;
    const bool localeFirst = std::strcoll(more.c_str(), longer.c_str()) < 0;
    EXPECT_NE(bytesFirst, localeFirst) << "locale " << active << " collates like bytes";
  }
  AddResultLine(ini, ws, anna, 100);
  AddResultLine(ini, ws, more, 100);
  AddResultLine(ini, ws, bert, 100);
  AddResultLine(ini, ws, longer, 100);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(Texts(ini), (std::vector<std::string>{"[Grv010]", "pGrv.GameCols=10", "[WS_test]", more, longer, bert, anna}));

  EXPECT_LT(CompareResultLines("L    99 T", "L   100 T"), 0);
  EXPECT_LT(CompareResultLines("L     1 T     59.999", "L     1 T   1,00.000"), 0);
  EXPECT_EQ(CompareResultLines("abc", "ABC"), 0);
  EXPECT_LT(CompareResultLines("ab", "abc"), 0);
  EXPECT_GT(CompareResultLines("\xE9", "z"), 0);  // bytes above 127 after ASCII
  EXPECT_GT(CompareResultLines("Z", "_"), 0);     // letters fold to lower case
}

TEST(ResultList, SectionIsRewrittenAtTheEndBestFirst) {
  StringList ini = Lines({"[AV_x]", "GamesStarted=3", "[WS_x]", "L     2 T     10.000=b", "", "L     7 T     10.000=a",
                          "[Grv010]", "Players=30", "", ""});
  AddResultLine(ini, "WS_x", "L     5 T     10.000=c", 100);
  EXPECT_EQ(Texts(ini), (std::vector<std::string>{"[AV_x]", "GamesStarted=3", "[Grv010]", "Players=30", "[WS_x]",
                                                  "L     7 T     10.000=a", "L     5 T     10.000=c",
                                                  "L     2 T     10.000=b", ""}));
  // A new variant gets its section at the end.
  AddResultLine(ini, "WS_y", "L     1 T      1.000=d", 100);
  EXPECT_EQ(ini[ini.Count() - 2], "[WS_y]");
  EXPECT_EQ(ini[ini.Count() - 1], "L     1 T      1.000=d");
  int headers = 0;
  for (const auto& t : Texts(ini)) headers += t == "[WS_x]";
  EXPECT_EQ(headers, 1);
}

TEST(ResultList, KeepsOneMoreLineThanTheLimit) {
  for (int32_t limit : {0, 2, -5, 100}) {
    StringList ini;
    for (int i = 0; i < 6; ++i)
      AddResultLine(ini, "WS_k", "L     " + std::to_string(i) + " T     10.000=p", limit);
    StringList section;
    const int n = foundation::IniReadSection(&ini, "WS_k", &section);
    const int want = limit < 0 ? 1 : std::min(6, limit + 1);
    EXPECT_EQ(n, want) << limit;
    // The best ones are kept, best first.
    for (int i = 0; i < section.Count(); ++i) EXPECT_EQ(section[i], "L     " + std::to_string(5 - i) + " T     10.000=p");
  }
}

TEST(Averages, RunningMeansOverFinishedGames) {
  StringList ini = Lines({"[Grv010]", "x=1"});
  const std::string av = "AV_m";
  GameSummary a;
  a.Lines = 10;
  a.TimeUsed = 60000;
  a.Interval = 900;
  a.Drops = 40;
  a.Bonuses = 3;
  a.BonusesUsed = 2;
  a.TimerResets = 1;
  a.LinesRemoved = 1;
  a.LinesAdded = 0;
  UpdateAverages(ini, av, a);
  EXPECT_EQ(ini[2], "[AV_m]");  // created with its header at the end
  EXPECT_EQ(ReadInt(ini, av, "GamesFinished"), 1);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "Lines"), 10);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "TimeUsed"), 60000);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "BonusesUsed"), 2);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "LinesAdded"), 0);

  GameSummary b = a;
  b.Lines = 20;
  b.TimeUsed = 30000;
  b.LinesAdded = 3;
  UpdateAverages(ini, av, b);
  GameSummary c = a;
  c.Lines = 0;
  c.Interval = 300;
  UpdateAverages(ini, av, c);
  EXPECT_EQ(ReadInt(ini, av, "GamesFinished"), 3);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "Lines"), 10);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "TimeUsed"), 50000);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "Interval"), 700);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "LinesAdded"), 1);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, av, "Drops"), 40);
  // Nine averages and the counter, nothing else.
  StringList section;
  EXPECT_EQ(foundation::IniReadSection(&ini, av, &section), 10);
  EXPECT_EQ(section[0], "GamesFinished=3");
  EXPECT_EQ(section[1].substr(0, 6), "Lines=");
}

TEST(Averages, DamagedOrMissingValuesCountAsZero) {
  StringList ini = Lines({"[AV_d]", "GamesFinished=abc", "Lines=12x", "Drops=NAN", "TimeUsed=7"});
  GameSummary g;
  g.Lines = 4;
  g.Drops = 6;
  g.TimeUsed = 9;
  UpdateAverages(ini, "AV_d", g);
  EXPECT_EQ(ReadInt(ini, "AV_d", "GamesFinished"), 1);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, "AV_d", "Lines"), 4);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, "AV_d", "Drops"), 6);
  EXPECT_DOUBLE_EQ(ReadAverage(ini, "AV_d", "TimeUsed"), 9);  // n = 0: the old value has no weight

  // A counter at its limit stays there; a negative one counts as 0.
  StringList full = Lines({"[AV_f]", "GamesFinished=2147483647", "GamesStarted=2147483647", "Lines=1"});
  UpdateAverages(full, "AV_f", g);
  CountGameStarted(full, "AV_f");
  EXPECT_EQ(ReadInt(full, "AV_f", "GamesFinished"), 2147483647);
  EXPECT_EQ(ReadInt(full, "AV_f", "GamesStarted"), 2147483647);
  EXPECT_NEAR(ReadAverage(full, "AV_f", "Lines"), 1.0, 1e-6);
  StringList negative = Lines({"[AV_n]", "GamesFinished=-1", "Lines=100"});
  UpdateAverages(negative, "AV_n", g);
  EXPECT_EQ(ReadInt(negative, "AV_n", "GamesFinished"), 1);
  EXPECT_DOUBLE_EQ(ReadAverage(negative, "AV_n", "Lines"), 4);
}

TEST(Averages, AGameIsFiledUnderTheVariantItStartedWith) {
  StringList ini;
  TGravlo g;
  g.TickCount = [] { return 10u; };
  g.LocalNow = [] { return 45000.25; };
  g.NewGame();
  const VariantSections started = VariantSectionsOf(g);
  EXPECT_EQ(started.av, g.VariantKey("AV"));
  EXPECT_EQ(started.ws, g.VariantKey("WS"));
  CountGameStarted(ini, started.av);
  CountGameStarted(ini, started.av);
  EXPECT_EQ(ReadInt(ini, started.av, "GamesStarted"), 2);
  g.DropAdd = -9;  // the settings window saves during the game
  ASSERT_NE(g.VariantKey("AV"), started.av);
  g.GameOver();
  RecordGameOver(ini, g, started, "Zoe", 100);
  EXPECT_EQ(ReadInt(ini, started.av, "GamesFinished"), 1);
  EXPECT_EQ(ReadInt(ini, started.av, "GamesStarted"), 2);
  // The settings the game ended with have no sections.
  int first = 0, end = 0, sep = 0;
  EXPECT_EQ(foundation::IniFindKey(&ini, g.VariantKey("AV"), "", 0, first, end, sep), -2);
  EXPECT_EQ(foundation::IniFindKey(&ini, g.VariantKey("WS"), "", 0, first, end, sep), -2);
  StringList ws;
  ASSERT_EQ(foundation::IniReadSection(&ini, started.ws, &ws), 1);
  EXPECT_EQ(ws[0], g.ResultLine("Zoe"));
  EXPECT_EQ(ini[ini.Count() - 2], "[" + started.ws + "]");
}

#include "pellora/stats.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "foundation/sysinit.h"
#include "foundation/test_support.h"
#include "pellora-lib/test_support.h"
#include "platform/msgbox.h"

namespace pellora {
namespace {

using testkit::ReadFile;
using testkit::TempDir;
using testkit::WriteFile;

using MessageLog = platform::testkit::MessageBoxRecorder;

constexpr uint16_t kDealt = 1;
constexpr uint16_t kDated = 2;
constexpr uint16_t kMarried = 4;
constexpr uint16_t kOver = 8;

// A table of the default configuration (156 cards, rules 17, persons 10/10/10,
// 16 omens: perSlot 0 to 21) whose perSlot the tests set.
struct Table {
  StatKeyValues key{156, 17, 10, 10, 10, 16};
  std::vector<StatSlot> perSlot = std::vector<StatSlot>(22);
  int32_t maxSlot = 21;
  uint16_t state = 0;

  Table() {
    for (int s = 0; s < 6; ++s) perSlot[s] = {10, 10};
    for (int s = 6; s <= 21; ++s) perSlot[s] = {6, 7};  // closed omens
  }
  StatTable View() const { return StatTable{state, key, maxSlot, perSlot}; }
};

uint32_t U32At(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return v;
}

float F32At(const std::string& b, size_t at) {
  const uint32_t v = U32At(b, at);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

// --- The record's bytes -----------------------------------------------------

TEST(StatRecord, PacksEveryFieldLittleEndianAtItsOffset) {
  StatRecord r;
  r.married = 0x01020304;
  r.dated = -2;
  r.notDated = 7;
  r.unmarried = 8;
  r.games = 0x7FFFFFFF;
  r.cardsLeft = {1.5f, 2.5f, 3.5f};
  r.omensOpen = {4.25f, 5.25f, 6.25f};
  for (int m = 0; m < 3; ++m)
    for (int s = 0; s < 26; ++s) r.tops[m][s] = static_cast<float>(m * 100 + s) + 0.5f;
  for (int s = 0; s < 26; ++s) r.slotCards[s] = static_cast<uint8_t>(200 + s % 50);
  r.key = {0x9C, 0x11, 0x0A, 0x0A, 0x0A, 0x10, 0x00, 0x00};

  const std::string b = PackStatRecord(r);
  ASSERT_EQ(b.size(), 390u);
  EXPECT_EQ(b.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(U32At(b, 4), 0xFFFFFFFEu);
  EXPECT_EQ(U32At(b, 8), 7u);
  EXPECT_EQ(U32At(b, 12), 8u);
  EXPECT_EQ(U32At(b, 16), 0x7FFFFFFFu);
  EXPECT_EQ(F32At(b, 20), 1.5f);
  EXPECT_EQ(F32At(b, 28), 3.5f);
  EXPECT_EQ(F32At(b, 32), 4.25f);
  EXPECT_EQ(F32At(b, 40), 6.25f);
  EXPECT_EQ(F32At(b, 44), 0.5f);
  EXPECT_EQ(F32At(b, 44 + 4 * 25), 25.5f);
  EXPECT_EQ(F32At(b, 148), 100.5f);
  EXPECT_EQ(F32At(b, 252 + 4 * 25), 225.5f);
  EXPECT_EQ(static_cast<unsigned char>(b[356]), 200);
  EXPECT_EQ(static_cast<unsigned char>(b[381]), 225);
  EXPECT_EQ(b.substr(382), std::string("\x9C\x11\x0A\x0A\x0A\x10\x00\x00", 8));

  const StatRecord back = UnpackStatRecord(b);
  EXPECT_EQ(PackStatRecord(back), b);
  EXPECT_EQ(back.dated, -2);
  EXPECT_EQ(back.tops[1][3], 103.5f);
}

TEST(StatKey, DefaultsAndValidation) {
  StatKey key{};
  ASSERT_TRUE(BuildStatKey(StatKeyValues{156, 17, 10, 10, 10, 16}, key));
  EXPECT_EQ(key, (StatKey{0x9C, 0x11, 0x0A, 0x0A, 0x0A, 0x10, 0x00, 0x00}));
  // Only the low byte of the rule bits counts.
  ASSERT_TRUE(BuildStatKey(StatKeyValues{208, 0x1F1, 0, 255, 1, 19}, key));
  EXPECT_EQ(key, (StatKey{208, 0xF1, 0, 255, 1, 19, 0, 0}));
  // A value that does not fit its byte leaves the key as it was.
  const StatKey before = key;
  EXPECT_FALSE(BuildStatKey(StatKeyValues{156, 17, 300, 10, 10, 16}, key));
  EXPECT_FALSE(BuildStatKey(StatKeyValues{156, 17, 10, 10, -1, 16}, key));
  EXPECT_FALSE(BuildStatKey(StatKeyValues{256, 17, 10, 10, 10, 16}, key));
  EXPECT_FALSE(BuildStatKey(StatKeyValues{156, 17, 10, 10, 10, 1000}, key));
  EXPECT_EQ(key, before);
}

// --- Recording games --------------------------------------------------------

TEST(RecordResult, FirstGameGivesItsOwnFiguresAndTheSecondTheMean) {
  Statistics st;
  Table t;
  // Game 1: dealt, base cleared with omens 6 and 7 open (tops 4 and 2) and
  // omen 8 empty, then game over.
  ASSERT_TRUE(st.RecordResult(spDeal, t.View()));
  EXPECT_EQ(st.Figures().omensOpen, (std::array<uint8_t, 3>{16, 16, 16}));
  EXPECT_EQ(st.Figures().wedding, swPending);
  t.state = kDealt;
  for (int s = 0; s < 6; ++s) t.perSlot[s].top = 0;
  t.perSlot[6].top = 4;
  t.perSlot[7].top = 2;
  t.perSlot[8].top = 0;
  t.state |= kDated;
  ASSERT_TRUE(st.RecordResult(spBaseCleared, t.View()));
  EXPECT_EQ(st.Figures().dated, 1);
  EXPECT_EQ(st.Figures().cardsLeft[smDating], 6);
  EXPECT_EQ(st.Figures().omensOpen[smDating], 3);  // 13 omens still closed
  t.perSlot[6].top = 1;
  t.state |= kOver;
  ASSERT_TRUE(st.RecordResult(spGameOver, t.View()));
  ASSERT_EQ(st.Records().size(), 1u);
  {
    const StatRecord& r = st.Records()[0];
    EXPECT_EQ(r.key, (StatKey{0x9C, 0x11, 0x0A, 0x0A, 0x0A, 0x10, 0x00, 0x00}));
    EXPECT_EQ(r.games, 1);
    EXPECT_EQ(r.dated, 1);
    EXPECT_EQ(r.notDated, 0);
    EXPECT_EQ(r.married, 0);
    EXPECT_EQ(r.unmarried, 1);  // rule 1 and not married
    EXPECT_FLOAT_EQ(r.cardsLeft[smDating], 6.0f);
    EXPECT_FLOAT_EQ(r.omensOpen[smDating], 3.0f);
    EXPECT_FLOAT_EQ(r.tops[smDating][6], 4.0f);
    EXPECT_FLOAT_EQ(r.tops[smDating][7], 2.0f);
    EXPECT_FLOAT_EQ(r.tops[smDating][9], 7.0f);
    // The unmarried end: taken at game over.
    EXPECT_FLOAT_EQ(r.cardsLeft[smUnmarried], 3.0f);
    EXPECT_FLOAT_EQ(r.tops[smUnmarried][6], 1.0f);
    EXPECT_FLOAT_EQ(r.omensOpen[smUnmarried], 3.0f);
    // The moment that did not happen keeps the omen count it was created with.
    EXPECT_FLOAT_EQ(r.omensOpen[smNoDating], 16.0f);
    EXPECT_FLOAT_EQ(r.cardsLeft[smNoDating], 0.0f);
    EXPECT_EQ(r.slotCards[0], 10);
    EXPECT_EQ(r.slotCards[21], 6);
    EXPECT_EQ(r.slotCards[22], 0);
  }

  // Game 2 of the same configuration: dated with 10 cards left on omen 6.
  t = Table();
  ASSERT_TRUE(st.RecordResult(spDeal, t.View()));
  t.state = kDealt | kDated;
  for (int s = 0; s < 6; ++s) t.perSlot[s].top = 0;
  t.perSlot[6] = {10, 10};
  ASSERT_TRUE(st.RecordResult(spBaseCleared, t.View()));
  t.state |= kOver | kMarried;
  ASSERT_TRUE(st.RecordResult(spGameOver, t.View()));
  ASSERT_EQ(st.Records().size(), 1u);
  const StatRecord& r = st.Records()[0];
  EXPECT_EQ(r.games, 2);
  EXPECT_EQ(r.dated, 2);
  EXPECT_EQ(r.married, 1);
  EXPECT_EQ(r.unmarried, 1);
  EXPECT_FLOAT_EQ(r.cardsLeft[smDating], 8.0f);   // (6 + 10) / 2
  EXPECT_FLOAT_EQ(r.omensOpen[smDating], 2.0f);   // (3 + 1) / 2
  EXPECT_FLOAT_EQ(r.tops[smDating][6], 7.0f);     // (4 + 10) / 2
  EXPECT_FLOAT_EQ(r.tops[smDating][7], 4.5f);     // (2 + 7) / 2
  EXPECT_FLOAT_EQ(r.cardsLeft[smUnmarried], 3.0f);  // a married game leaves it
}

TEST(RecordResult, WeddingRuleGameWithoutDatingCountsTwice) {
  Statistics st;
  Table t;
  st.RecordResult(spDeal, t.View());
  t.state = kDealt | kOver;
  t.perSlot[0] = {10, 3};
  t.perSlot[6] = {6, 2};
  ASSERT_TRUE(st.RecordResult(spGameOver, t.View()));
  const StatRecord& r = st.Records()[0];
  EXPECT_EQ(r.games, 1);
  EXPECT_EQ(r.notDated, 1);
  EXPECT_EQ(r.unmarried, 1);
  EXPECT_EQ(r.dated, 0);
  // Without dating: cards on open perSlot 3 + 10 x 5 (other persons) + 2.
  EXPECT_FLOAT_EQ(r.cardsLeft[smNoDating], 55.0f);
  EXPECT_FLOAT_EQ(r.omensOpen[smNoDating], 1.0f);
  EXPECT_FLOAT_EQ(r.tops[smNoDating][0], 3.0f);
  // The unmarried end was never reached: cards 0, tops 0, the omen count.
  EXPECT_FLOAT_EQ(r.cardsLeft[smUnmarried], 0.0f);
  EXPECT_FLOAT_EQ(r.tops[smUnmarried][0], 0.0f);
  EXPECT_FLOAT_EQ(r.omensOpen[smUnmarried], 16.0f);
  EXPECT_FLOAT_EQ(r.cardsLeft[smDating], 0.0f);
}

TEST(RecordResult, WithoutTheWeddingRuleNoGameIsUnmarried) {
  Statistics st;
  Table t;
  t.key.ruleBits = 16;
  st.RecordResult(spDeal, t.View());
  EXPECT_EQ(st.Figures().wedding, swNotInRules);
  t.state = kDealt | kDated | kOver;
  st.RecordResult(spBaseCleared, t.View());
  st.RecordResult(spGameOver, t.View());
  EXPECT_EQ(st.Records()[0].unmarried, 0);
  EXPECT_EQ(st.Records()[0].married, 0);
  EXPECT_EQ(st.Records()[0].dated, 1);
  EXPECT_EQ(st.Records()[0].key[1], 16);
}

TEST(RecordResult, TheKeyIsFixedAtTheDeal) {
  Statistics st;
  Table t;
  st.RecordResult(spDeal, t.View());
  // Settings changed during the game do not move it to another record.
  t.key.cardCount = 52;
  t.state = kDealt | kOver;
  st.RecordResult(spGameOver, t.View());
  ASSERT_EQ(st.Records().size(), 1u);
  EXPECT_EQ(st.Records()[0].key[0], 156);
  // The next deal uses the new deck size: a new record.
  st.RecordResult(spDeal, t.View());
  st.RecordResult(spGameOver, t.View());
  ASSERT_EQ(st.Records().size(), 2u);
  EXPECT_EQ(st.Records()[1].key[0], 52);
  // Back to 156: the first record again.
  t.key.cardCount = 156;
  st.RecordResult(spDeal, t.View());
  st.RecordResult(spGameOver, t.View());
  EXPECT_EQ(st.Records().size(), 2u);
  EXPECT_EQ(st.Records()[0].games, 2);
}

TEST(RecordResult, NothingIsRecordedOutsideADealtGame) {
  Statistics st;
  Table t;
  // Before any deal, even with the state bits of a game.
  t.state = kDealt | kDated | kOver;
  EXPECT_FALSE(st.RecordResult(spBaseCleared, t.View()));
  EXPECT_FALSE(st.RecordResult(spGameOver, t.View()));
  EXPECT_TRUE(st.Records().empty());
  // A deal whose state word lacks bit 1.
  st.RecordResult(spDeal, t.View());
  t.state = kOver;
  EXPECT_FALSE(st.RecordResult(spGameOver, t.View()));
  EXPECT_TRUE(st.Records().empty());
  // Recorded once, however often game over is evaluated.
  t.state = kDealt | kOver;
  EXPECT_TRUE(st.RecordResult(spGameOver, t.View()));
  EXPECT_FALSE(st.RecordResult(spGameOver, t.View()));
  EXPECT_EQ(st.Records()[0].games, 1);
  EXPECT_FALSE(st.RecordResult(7, t.View()));
  // Counts that do not fit the key: the game is dealt but never filed.
  t.key.brideCards = 300;
  st.RecordResult(spDeal, t.View());
  EXPECT_FALSE(st.Recording());
  EXPECT_FALSE(st.RecordResult(spGameOver, t.View()));
  EXPECT_EQ(st.Records().size(), 1u);
}

TEST(RecordResult, CountsAboveTheLastSlotAreZeroedAtTheDeal) {
  Statistics st;
  Table big;
  big.key.omenSlots = 19;
  big.maxSlot = 24;
  big.perSlot.assign(26, StatSlot{9, 9});  // a slot 25 beyond maxSlot is not read
  st.RecordResult(spDeal, big.View());
  EXPECT_EQ(st.Figures().slotCards[24], 9);
  EXPECT_EQ(st.Figures().slotCards[25], 0);
  Table small;
  small.key.omenSlots = 4;
  small.maxSlot = 9;
  small.perSlot.resize(10);
  st.RecordResult(spDeal, small.View());
  for (int s = 10; s < 26; ++s) EXPECT_EQ(st.Figures().slotCards[s], 0) << s;
  small.state = kDealt | kOver;
  st.RecordResult(spGameOver, small.View());
  EXPECT_EQ(st.Records()[0].slotCards[9], 6);
  EXPECT_EQ(st.Records()[0].slotCards[10], 0);
  EXPECT_EQ(st.Records()[0].slotCards[24], 0);
  // A span shorter than maxSlot + 1 counts the missing perSlot as empty, and
  // figures too large for their bytes are held at 255.
  Table odd;
  odd.maxSlot = 40;
  odd.perSlot = {StatSlot{1000, 900}};
  st.RecordResult(spDeal, odd.View());
  odd.state = kDealt;
  st.RecordResult(spBaseCleared, odd.View());
  EXPECT_EQ(st.Figures().slotCards[0], 255);
  EXPECT_EQ(st.Figures().tops[smDating][0], 255);
  EXPECT_EQ(st.Figures().cardsLeft[smDating], 255);
  EXPECT_EQ(st.Figures().tops[smDating][1], 0);
}

TEST(RecordResult, CountersStopAtTheirLargestValue) {
  Statistics st;
  StatRecord full;
  ASSERT_TRUE(BuildStatKey(StatKeyValues{156, 17, 10, 10, 10, 16}, full.key));
  full.games = std::numeric_limits<int32_t>::max();
  full.notDated = std::numeric_limits<int32_t>::max();
  full.unmarried = std::numeric_limits<int32_t>::max();
  full.cardsLeft[smNoDating] = 20.0f;
  st.Records().push_back(full);
  Table t;
  st.RecordResult(spDeal, t.View());
  t.state = kDealt | kOver;
  st.RecordResult(spGameOver, t.View());
  const StatRecord& r = st.Records()[0];
  EXPECT_EQ(r.games, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(r.notDated, std::numeric_limits<int32_t>::max());
  EXPECT_TRUE(std::isfinite(r.cardsLeft[smNoDating]));
  EXPECT_NEAR(r.cardsLeft[smNoDating], 20.0f, 0.01f);
}

// --- The file ---------------------------------------------------------------

StatRecord SampleRecord(uint8_t cards, int32_t games) {
  StatRecord r;
  BuildStatKey(StatKeyValues{cards, 17, 10, 10, 10, 16}, r.key);
  r.games = games;
  r.dated = games;
  r.cardsLeft[smDating] = 12.25f;
  r.tops[smDating][6] = 3.5f;
  r.slotCards[6] = 6;
  return r;
}

TEST(StatisticsFile, LoadsWholeRecordsAndSavesThemAgain) {
  TempDir dir;
  const std::string path = dir / "Sol040.Rnd";
  const std::string two = PackStatRecord(SampleRecord(156, 3)) + PackStatRecord(SampleRecord(52, 5));
  WriteFile(path, two + std::string(100, '\x7F'));  // a partial third record
  Statistics st;
  ASSERT_TRUE(st.LoadFile(path));
  ASSERT_EQ(st.Records().size(), 2u);
  EXPECT_EQ(st.Records()[0].games, 3);
  EXPECT_EQ(st.Records()[1].games, 5);
  EXPECT_EQ(st.Records()[1].key[0], 52);
  EXPECT_FLOAT_EQ(st.Records()[0].cardsLeft[smDating], 12.25f);
  // A game of the second configuration lands in its record.
  Table t;
  t.key.cardCount = 52;
  st.RecordResult(spDeal, t.View());
  t.state = kDealt | kOver;
  st.RecordResult(spGameOver, t.View());
  EXPECT_EQ(st.Records()[1].games, 6);
  ASSERT_TRUE(st.SaveFile(path));
  const std::string saved = ReadFile(path);
  ASSERT_EQ(saved.size(), 780u);  // whole records only
  EXPECT_EQ(saved.substr(0, 390), two.substr(0, 390));
  EXPECT_EQ(saved.substr(390), PackStatRecord(st.Records()[1]));
  Statistics again;
  ASSERT_TRUE(again.LoadFile(path));
  EXPECT_EQ(again.SaveBytes(), st.SaveBytes());
}

TEST(StatisticsFile, MissingEmptyAndNoRecordsLeaveFilesAlone) {
  TempDir dir;
  Statistics st;
  st.Records().push_back(SampleRecord(156, 1));
  ASSERT_TRUE(st.LoadFile(dir / "none.Rnd"));
  EXPECT_TRUE(st.Records().empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "none.Rnd"));
  WriteFile(dir / "empty.Rnd", "");
  st.Records().push_back(SampleRecord(156, 1));
  ASSERT_TRUE(st.LoadFile(dir / "empty.Rnd"));
  EXPECT_TRUE(st.Records().empty());
  // No records: nothing is written, an existing file stays byte for byte.
  const std::string old = PackStatRecord(SampleRecord(104, 9)) + "tail";
  WriteFile(dir / "old.Rnd", old);
  EXPECT_TRUE(st.SaveFile(dir / "old.Rnd"));
  EXPECT_EQ(ReadFile(dir / "old.Rnd"), old);
  EXPECT_TRUE(st.SaveFile(dir / "never.Rnd"));
  EXPECT_FALSE(std::filesystem::exists(dir / "never.Rnd"));
}

TEST(StatisticsFile, DamagedFiguresLoadSane) {
  StatRecord bad = SampleRecord(156, 4);
  bad.married = -5;
  bad.unmarried = std::numeric_limits<int32_t>::min();
  bad.cardsLeft[smDating] = std::numeric_limits<float>::quiet_NaN();
  bad.cardsLeft[smNoDating] = std::numeric_limits<float>::infinity();
  bad.omensOpen[smUnmarried] = -3.0f;
  bad.tops[smUnmarried][25] = 1e30f;
  bad.tops[smDating][6] = 3.5f;
  Statistics st;
  ASSERT_TRUE(st.LoadBytes(PackStatRecord(bad) + "xyz"));
  ASSERT_EQ(st.Records().size(), 1u);
  const StatRecord& r = st.Records()[0];
  EXPECT_EQ(r.married, 0);
  EXPECT_EQ(r.unmarried, 0);
  EXPECT_EQ(r.games, 4);
  EXPECT_EQ(r.cardsLeft[smDating], 0.0f);
  EXPECT_EQ(r.cardsLeft[smNoDating], 0.0f);
  EXPECT_EQ(r.omensOpen[smUnmarried], 0.0f);
  EXPECT_EQ(r.tops[smUnmarried][25], 255.0f);
  EXPECT_EQ(r.tops[smDating][6], 3.5f);
  // Means go on from sane values.
  Table t;
  st.RecordResult(spDeal, t.View());
  t.state = kDealt | kDated | kOver;
  for (int s = 0; s < 6; ++s) t.perSlot[s].top = 0;
  st.RecordResult(spBaseCleared, t.View());
  st.RecordResult(spGameOver, t.View());
  EXPECT_TRUE(std::isfinite(st.Records()[0].cardsLeft[smDating]));
  EXPECT_EQ(st.Records()[0].dated, 5);
}

TEST(StatisticsFile, UnreadableFilesAreReportedAndNeverOverwritten) {
  TempDir dir;
  const std::string path = dir / "Sol040.Rnd";
  const std::string old = PackStatRecord(SampleRecord(104, 9)) + PackStatRecord(SampleRecord(52, 2));
  WriteFile(path, old);
  Statistics st;
  st.Records().push_back(SampleRecord(156, 1));
  {
    MessageLog log;
    foundation::testkit::ScopedNoMoreFiles limit;
    ASSERT_TRUE(limit.Active());
    EXPECT_FALSE(st.LoadFile(path));
    EXPECT_EQ(log.texts.size(), 1u);
  }
  EXPECT_EQ(st.Records().size(), 1u);  // kept as they were
  {
    MessageLog log;
    EXPECT_FALSE(st.SaveFile(path));
    EXPECT_TRUE(log.texts.empty());  // said at load already
  }
  EXPECT_EQ(ReadFile(path), old);
  // A save to another file (the program folder, when an earlier version's
  // file could not be read) keeps this session's games.
  EXPECT_TRUE(st.SaveFile(dir / "own.Rnd"));
  EXPECT_EQ(ReadFile(dir / "own.Rnd"), PackStatRecord(SampleRecord(156, 1)));
  // A later load that works lets the records be saved again.
  ASSERT_TRUE(st.LoadFile(path));
  EXPECT_EQ(st.Records().size(), 2u);
  EXPECT_TRUE(st.SaveFile(path));

  // More records than any use gives: refused whole (a sparse file).
  const std::string huge = dir / "huge.Rnd";
  WriteFile(huge, "");
  std::filesystem::resize_file(huge, (kMaxStatRecords + 1) * kStatRecordSize);
  MessageLog log;
  Statistics big;
  EXPECT_FALSE(big.LoadFile(huge));
  EXPECT_EQ(log.texts.size(), 1u);
  EXPECT_FALSE(big.LoadBytes(std::string((kMaxStatRecords + 1) * kStatRecordSize, '\0')));
}

TEST(StatisticsFile, AFailedSaveIsReportedAndLeavesTheOldFile) {
  TempDir dir;
  Statistics st;
  st.Records().push_back(SampleRecord(156, 1));
  // A folder in the file's place.
  std::filesystem::create_directory(dir / "Sol040.Rnd");
  {
    MessageLog log;
    EXPECT_FALSE(st.SaveFile(dir / "Sol040.Rnd"));
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_NE(log.texts[0].find("could not be saved"), std::string::npos);
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Sol040.Rnd"));
  // A folder that does not exist.
  MessageLog log;
  EXPECT_FALSE(st.SaveFile(dir / "missing/Sol040.Rnd"));
  EXPECT_EQ(log.texts.size(), 1u);
}

TEST(StatisticsFile, AFailedSaveNamesTheFileAndTheSystemsReason) {
  TempDir dir;
  Statistics st;
  st.Records().push_back(SampleRecord(156, 1));
  const std::string path = dir / "Sol040.Rnd";
  ::chmod(dir.Path().c_str(), 0555);
  MessageLog log;
  EXPECT_FALSE(st.SaveFile(path));
  ::chmod(dir.Path().c_str(), 0755);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_NE(log.texts[0].find(path), std::string::npos) << log.texts[0];
  EXPECT_NE(log.texts[0].find("Permission denied"), std::string::npos) << log.texts[0];
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace pellora

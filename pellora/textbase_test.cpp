#include "pellora/textbase.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "foundation/ini.h"
#include "pellora-lib/test_support.h"
#include "platform/msgbox.h"

namespace pellora {
namespace {

using testkit::ReadFile;
using testkit::TempDir;
using testkit::WriteFile;

// Collects the message boxes a step shows.
using MessageLog = platform::testkit::MessageBoxRecorder;

std::vector<int> KindsOf(const TextBase& tb) {
  std::vector<int> kinds;
  for (const recEngTDB& p : tb.Persons()) kinds.push_back(p.kind);
  return kinds;
}

int CountKind(const TextBase& tb, int kind) {
  int n = 0;
  for (const recEngTDB& p : tb.Persons()) n += p.kind == kind;
  return n;
}

const recEngTDB* PersonById(const TextBase& tb, int kind, const std::string& id) {
  for (const recEngTDB& p : tb.Persons())
    if (p.kind == kind && p.id == id) return &p;
  return nullptr;
}

// --- Built-in lines ---------------------------------------------------------

TEST(DefaultTbLine, KeepsWindows1252BytesAndFollowsTheSlotNumbering) {
  const std::string bride = DefaultTbLine(0);
  EXPECT_EQ(bride, std::string("Bride ! Fianc\xE9") + "e - Wife to be for Groom. Female star of the weddings.");
  EXPECT_EQ(static_cast<unsigned char>(bride[13]), 0xE9);
  EXPECT_EQ(static_cast<unsigned char>(DefaultTbLine(1)[13]), 0xE9);
  const std::string love = DefaultTbLine(9);
  const size_t mark = love.find('\xA1');
  ASSERT_NE(mark, std::string::npos);
  EXPECT_EQ(love.substr(mark - 2, 4), std::string(") \xA1 "));
  // Slot 3 is the groom's mother, slot 4 the bride's father.
  EXPECT_EQ(DefaultTbLine(2).rfind("Brides Mo ~", 0), 0u);
  EXPECT_EQ(DefaultTbLine(3), "Grooms Mo ~ Grooms mother ! Mother in law from Grooms side.");
  EXPECT_EQ(DefaultTbLine(4).rfind("Brides Pa ~ Brides father ! Father in law from Brides side.", 0), 0u);
  EXPECT_EQ(DefaultTbLine(5).rfind("Grooms Pa ~", 0), 0u);
  EXPECT_EQ(DefaultTbLine(13), "Length   : We      ! Length - Predicts the length of the relationship. \xA1"
                               " Love is not always the reason for long / short relationship. ");
  EXPECT_EQ(DefaultTbLine(64).rfind("Omens.Triple    = ", 0), 0u);
  for (int n : {-1, 25, 49, 59, 65, 1000}) EXPECT_EQ(DefaultTbLine(n), "") << n;
}

// --- Slot definitions -------------------------------------------------------

TEST(ParseSlotDef, BuiltInLinesGiveTheirFields) {
  TextBase tb;
  EXPECT_EQ(tb.ParseSlotDef(0, DefaultTbLine(9), 9), 9);
  ASSERT_EQ(tb.SlotDefs().size(), 10u);
  const recEngTDB& love = tb.SlotDefs()[9];
  EXPECT_EQ(love.id, "Love");
  EXPECT_EQ(love.slotGroup, "We");
  EXPECT_EQ(love.tip, "Love - I will always love you ( or then not )");
  EXPECT_EQ(love.longText, "I will always love you, that's what they all say ... in the beginning. "
                           "But the question is. Will you love me tomorow ?");
  EXPECT_EQ(love.personGroup, "");
  EXPECT_EQ(love.displayText, "");

  // The first ":" gives the group; a later one stays in the tip, which then
  // reads as the board's tip of that omen.
  tb.ParseSlotDef(0, DefaultTbLine(6), 6);
  EXPECT_EQ(tb.SlotDefs()[6].id, "Fortune");
  EXPECT_EQ(tb.SlotDefs()[6].slotGroup, "Gods");
  EXPECT_EQ(tb.SlotDefs()[6].tip,
            "Stars and Gods - Fortune : Is the realtionship blessed with luck and good things");

  const char* ids[] = {"Fortune", "Fate",   "Mishap", "Love",   "Team",    "Kids",    "Strength",
                       "Length",  "Family", "Social", "Work",   "Health",  "Money",   "Home",
                       "Vehicle", "Status", "T-Faith", "T-Hope", "T-Love"};
  const char* groups[] = {"Gods", "Gods", "Gods", "We",   "We",   "We",   "We",     "We",     "Life",  "Life",
                          "Life", "Real", "Real", "Real", "Real", "Real", "Triple", "Triple", "Triple"};
  for (int n = 6; n <= 24; ++n) {
    EXPECT_EQ(tb.ParseSlotDef(0, "", n), n);
    EXPECT_EQ(tb.SlotDefs()[n].id, ids[n - 6]) << n;
    EXPECT_EQ(tb.SlotDefs()[n].slotGroup, groups[n - 6]) << n;
  }
  // An id is cut to 15 characters.
  tb.ParseSlotDef(2, "", 2);
  EXPECT_EQ(tb.SlotDefs()[2].id, "Brides Mo ~ Bri");
  EXPECT_EQ(tb.SlotDefs()[2].kind, 2);
}

TEST(ParseSlotDef, IndicesEmptyLinesAndBraces) {
  TextBase tb;
  // No built-in line for 30: the entry gets one blank, so an empty id.
  EXPECT_EQ(tb.ParseSlotDef(7, "", 30), 30);
  ASSERT_EQ(tb.SlotDefs().size(), 31u);
  EXPECT_EQ(tb.SlotDefs()[30].id, "");
  EXPECT_EQ(tb.SlotDefs()[30].kind, 7);
  EXPECT_EQ(tb.SlotDefs()[3].kind, 0);  // grown entries are empty
  EXPECT_EQ(tb.ParseSlotDef(1, "Extra ! appended", -1), 31);
  EXPECT_EQ(tb.SlotDefs()[31].tip, "appended");
  // A brace piece is dropped whole, with what follows it up to the next
  // separator: its "=" never replaces the id, its ":" is no group.
  EXPECT_EQ(tb.ParseSlotDef(0, "Anna {color=FF44DD : x} more ! the tip", 0), 0);
  EXPECT_EQ(tb.SlotDefs()[0].id, "Anna");
  EXPECT_EQ(tb.SlotDefs()[0].slotGroup, "");
  EXPECT_EQ(tb.SlotDefs()[0].tip, "the tip");
  // A group is cut to 7.
  tb.ParseSlotDef(0, "X : Longgroupname", 1);
  EXPECT_EQ(tb.SlotDefs()[1].slotGroup, "Longgro");
}

TEST(ParseSlotDef, AnIndexBeyondSixteenBitsIsAFaultyLine) {
  TextBase tb;
  MessageLog log;
  EXPECT_EQ(tb.ParseSlotDef(0, "Far ! away", 40000), -1);
  EXPECT_TRUE(tb.SlotDefs().empty());
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0], "Faulty line : Far ! away with index 40000");
}

// --- Persons ----------------------------------------------------------------

TEST(ParsePerson, StoresEveryKindOfPiece) {
  TextBase tb;
  // id, "=" word, "!" word, a word in braces, a further word, ":" word.
  EXPECT_EQ(tb.ParsePerson(0, "  Anna = Annie ! Fiancee {hair=red} dropped words : Family", -1), 0);
  const recEngTDB& a = tb.Persons()[0];
  EXPECT_EQ(a.kind, 0);
  EXPECT_EQ(a.id, "Anna");
  EXPECT_EQ(a.displayText, "Annie");
  EXPECT_EQ(a.tip, "Fiancee");
  EXPECT_EQ(a.braceText, "hair=red");
  EXPECT_EQ(a.personGroup, "Family");
  EXPECT_EQ(a.angleText, "");
  EXPECT_EQ(a.slotGroup, "");

  EXPECT_EQ(tb.ParsePerson(1, "Ben<tall : dark>ignored= Benjamin \xA1 A long story ! tip", -1), 1);
  const recEngTDB& b = tb.Persons()[1];
  EXPECT_EQ(b.id, "Ben");
  EXPECT_EQ(b.angleText, "tall : dark");
  EXPECT_EQ(b.displayText, "Benjamin");
  EXPECT_EQ(b.longText, "A long story");
  EXPECT_EQ(b.tip, "tip");
  EXPECT_EQ(b.personGroup, "");  // the ":" inside angle brackets is text

  // Omen lines of the text base: the key is the id.
  tb.ParsePerson(6, "Omen6 = " + DefaultTbLine(6), -1);
  const recEngTDB& o = tb.Persons()[2];
  EXPECT_EQ(o.id, "Omen6");
  EXPECT_EQ(o.displayText, "Fortune");
  EXPECT_EQ(o.personGroup, "Gods");
  EXPECT_EQ(o.tip, "Stars and Gods - Fortune : Is the realtionship blessed with luck and good things");

  // Cut to the field lengths; the first ":" wins.
  tb.ParsePerson(2, "Abcdefghijklmnopqrstuvwxyz : Averyveryverylonggroupname : second", 5);
  ASSERT_EQ(tb.Persons().size(), 6u);
  EXPECT_EQ(tb.Persons()[5].id, "Abcdefghijklmno");
  EXPECT_EQ(tb.Persons()[5].personGroup, "Averyveryverylo");
  EXPECT_EQ(tb.Persons()[5].kind, 2);

  // An empty line gives nothing.
  EXPECT_EQ(tb.ParsePerson(0, "", -1), 0);
  EXPECT_EQ(tb.Persons().size(), 6u);
  // A line that is only an id.
  EXPECT_EQ(tb.ParsePerson(0, "Solo", -1), 6);
  EXPECT_EQ(tb.Persons()[6].id, "Solo");
}

TEST(ParsePerson, UnclosedBracketsRunToTheEndOfTheLine) {
  TextBase tb;
  tb.ParsePerson(0, "Dora { open brace = no display ! no tip", -1);
  EXPECT_EQ(tb.Persons()[0].braceText, "open brace = no display ! no tip");
  EXPECT_EQ(tb.Persons()[0].displayText, "");
  EXPECT_EQ(tb.Persons()[0].tip, "");
  tb.ParsePerson(0, "Eve = Eva <open angle", -1);
  EXPECT_EQ(tb.Persons()[1].displayText, "Eva");
  EXPECT_EQ(tb.Persons()[1].angleText, "open angle");
  tb.ParsePerson(0, "Fay {", -1);
  EXPECT_EQ(tb.Persons()[2].id, "Fay");
  EXPECT_EQ(tb.Persons()[2].braceText, "");
  tb.ParsePerson(0, "Gil {a}}}} = x {b", -1);
  EXPECT_EQ(tb.Persons()[3].braceText, "b");
  EXPECT_EQ(tb.Persons()[3].displayText, "x");
}

TEST(FindPerson, MatchesGroupNumberAndIdWithoutCase) {
  TextBase tb;
  tb.ParsePerson(0, "Anna", -1);
  tb.ParsePerson(0, "\xC9lise", -1);  // capital E with acute accent
  tb.ParsePerson(1, "anna", -1);
  EXPECT_EQ(tb.FindPerson(0, "ANNA"), 0);
  EXPECT_EQ(tb.FindPerson(0, "\xE9LISE"), 1);
  EXPECT_EQ(tb.FindPerson(0, "Ann"), -1);
  EXPECT_EQ(tb.FindPerson(3, "Anna"), -1);
  tb.Persons()[0].groupNumber = 3;
  EXPECT_EQ(tb.FindPerson(3, "anna"), 0);
  EXPECT_EQ(tb.FindPerson(0, "anna"), 2);
}

// --- Loading ----------------------------------------------------------------

TEST(LoadTextbase, MissingFileGivesTheBuiltInDefinitions) {
  TempDir dir;
  TextBase tb;
  tb.ParsePerson(0, "Left over", -1);
  const std::string name = dir / "Sol040tb.Ini";
  tb.LoadTextbase(name);
  EXPECT_EQ(tb.FileName(), name);
  EXPECT_TRUE(tb.Persons().empty());
  EXPECT_TRUE(tb.BrideNames().empty());
  ASSERT_EQ(tb.SlotDefs().size(), 25u);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(tb.SlotDefs()[i].kind, 0) << i;
  EXPECT_EQ(tb.SlotDefs()[0].id, "Bride");
  EXPECT_EQ(tb.SlotDefs()[3].id, "Grooms Mo ~ Gro");
  EXPECT_EQ(tb.SlotDefs()[4].id, "Brides Pa ~ Bri");
  EXPECT_EQ(tb.SlotDefs()[24].id, "T-Love");
  EXPECT_EQ(tb.FindPerson(0, "Bride"), -1);
  // A folder of that name is no text base either.
  std::filesystem::create_directory(dir / "folder");
  tb.LoadTextbase(dir / "folder");
  EXPECT_TRUE(tb.Persons().empty());
}

TEST(LoadTextbase, OnlyBridesCompletesEverythingElse) {
  TempDir dir;
  const std::string name = dir / "tb.ini";
  const std::string content = "[Brides]\r\nAnna\r\nBeth\r\n";
  WriteFile(name, content);
  TextBase tb;
  tb.LoadTextbase(name);
  EXPECT_EQ(ReadFile(name), content);  // never written back
  // 14 group titles (line 59 is empty), 2 brides, 6 defaults, 19 omens.
  EXPECT_EQ(CountKind(tb, tbkGroup), 14);
  EXPECT_EQ(CountKind(tb, tbkBride), 2);
  EXPECT_EQ(CountKind(tb, tbkDefault), 6);
  EXPECT_EQ(CountKind(tb, tbkOmen), 19);
  EXPECT_EQ(tb.Persons().size(), 41u);
  // In the load order: groups, brides, defaults, omens.
  const std::vector<int> kinds = KindsOf(tb);
  EXPECT_EQ(kinds.front(), tbkGroup);
  EXPECT_EQ(kinds[14], tbkBride);
  EXPECT_EQ(kinds[16], tbkDefault);
  EXPECT_EQ(kinds.back(), tbkOmen);
  // The menu: the last bride first.
  EXPECT_EQ(tb.BrideNames(), (std::vector<std::string>{"Beth", "Anna"}));
  EXPECT_TRUE(tb.GroomNames().empty());
  std::string chosen;
  EXPECT_EQ(tb.MenuCommand(200, chosen), TbMenuTarget::Bride);
  EXPECT_EQ(chosen, "Beth");
  EXPECT_EQ(tb.MenuCommand(201, chosen), TbMenuTarget::Bride);
  EXPECT_EQ(chosen, "Anna");
  EXPECT_EQ(tb.MenuCommand(202, chosen), TbMenuTarget::None);
  EXPECT_EQ(tb.MenuCommand(300, chosen), TbMenuTarget::None);
  // Slot 0's text, byte for byte; each parent slot its own text.
  ASSERT_EQ(tb.SlotDefs().size(), 6u);
  EXPECT_EQ(tb.SlotDefs()[0].id, "Bride");
  EXPECT_EQ(tb.SlotDefs()[0].tip, std::string("Fianc\xE9") + "e - Wife to be for Groom. Female star of the weddings.");
  EXPECT_EQ(tb.SlotDefs()[3].tip, "Mother in law from Grooms side.");
  EXPECT_EQ(tb.SlotDefs()[4].tip.rfind("Father in law from Brides side.", 0), 0u);
  for (int s = 0; s < 6; ++s) EXPECT_EQ(tb.SlotDefs()[s].kind, s);
  // The groups' titles, each key once.
  const recEngTDB* brides = PersonById(tb, tbkGroup, "Brides");
  ASSERT_NE(brides, nullptr);
  EXPECT_EQ(brides->displayText, "Brides");
  EXPECT_EQ(brides->braceText, "color=FF44DD");
  EXPECT_NE(PersonById(tb, tbkGroup, "Omens.Triple"), nullptr);
  const recEngTDB* def = PersonById(tb, tbkDefault, "grmMo");
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->displayText, "Grooms Mo ~ Grooms mother");
  const recEngTDB* omen = PersonById(tb, tbkOmen, "Omen24");
  ASSERT_NE(omen, nullptr);
  EXPECT_EQ(omen->displayText, "T-Love");
  EXPECT_EQ(omen->personGroup, "Triple");
  // After a plain load only group number 0 finds entries.
  EXPECT_EQ(tb.FindPerson(0, "beth"), 15);
  EXPECT_EQ(tb.FindPerson(1, "beth"), -1);
}

TEST(LoadTextbase, PresentSectionsAreCompletedKeyByKey) {
  TempDir dir;
  const std::string name = dir / "tb.ini";
  WriteFile(name,
            "; my text base\n"
            "bride = Zoe ! The bride of the house\n"
            "[grmPas]\n"
            "Paul = Paul Senior\n"
            "\n"
            "; a comment line\n"
            "   ; an indented comment\n"
            "[Groups]\n"
            "Brides = My brides\n"
            "[Omens]\n"
            "Omen6 = Chance : Gods ! My own omen\n"
            "[DEFS]\n"
            "Groom = Tom ! Groom of the house\n"
            "[Grooms]\n"
            "Tom\n"
            "Tim\n"
            "[Brides]\n"
            "Zoe\n");
  TextBase tb;
  tb.LoadTextbase(name);
  // Groups: the file's title stays, the 13 missing ones come in, none doubled.
  EXPECT_EQ(CountKind(tb, tbkGroup), 14);
  const recEngTDB* brides = PersonById(tb, tbkGroup, "Brides");
  ASSERT_NE(brides, nullptr);
  EXPECT_EQ(brides->displayText, "My brides");
  const recEngTDB* grooms = PersonById(tb, tbkGroup, "Grooms");
  ASSERT_NE(grooms, nullptr);
  EXPECT_EQ(grooms->displayText, "Grooms");
  EXPECT_EQ(grooms->braceText, "color=FF44DD");
  for (const recEngTDB& p : tb.Persons()) EXPECT_EQ(p.displayText.find('='), std::string::npos) << p.id;
  // Omens: 6 from the file, 7 to 24 built in.
  EXPECT_EQ(CountKind(tb, tbkOmen), 19);
  EXPECT_EQ(PersonById(tb, tbkOmen, "Omen6")->displayText, "Chance");
  EXPECT_EQ(PersonById(tb, tbkOmen, "Omen7")->displayText, "Fate");
  // Defs: Groom from the file, the rest built in.
  EXPECT_EQ(CountKind(tb, tbkDefault), 6);
  EXPECT_EQ(PersonById(tb, tbkDefault, "Groom")->displayText, "Tom");
  EXPECT_EQ(PersonById(tb, tbkDefault, "brdPa")->displayText, "Brides Pa ~ Brides father");
  // Slot 0 from the key before the first header, slot 1 from Defs.
  EXPECT_EQ(tb.SlotDefs()[0].id, "Zoe");
  EXPECT_EQ(tb.SlotDefs()[0].tip, "The bride of the house");
  EXPECT_EQ(tb.SlotDefs()[1].id, "Tom");
  EXPECT_EQ(tb.SlotDefs()[5].id, "Grooms Pa ~ Gro");
  // Comments and blank lines give no persons; grmPas come after the brides
  // and grooms although the file has them first.
  EXPECT_EQ(CountKind(tb, tbkGroomFather), 1);
  const std::vector<int> kinds = KindsOf(tb);
  const std::vector<int> order = {tbkGroup, tbkBride, tbkGroom, tbkBrideMother, tbkGroomMother,
                                  tbkBrideFather, tbkGroomFather, tbkDefault, tbkOmen};
  size_t at = 0;
  for (int kind : kinds) {
    while (at < order.size() && order[at] != kind) ++at;
    ASSERT_LT(at, order.size()) << "kind " << kind << " out of order";
  }
  EXPECT_EQ(tb.GroomNames(), (std::vector<std::string>{"Tim", "Tom"}));
  EXPECT_EQ(tb.BrideNames(), (std::vector<std::string>{"Zoe"}));

  // The completed lines in memory: a missing key is written once, with the
  // built-in line's value only, inside its section.
  foundation::StringList lines;
  lines.SetText(ReadFile(name));
  TextBase again;
  again.LoadTextbaseLines(lines, name);
  EXPECT_EQ(lines.IndexOf("Brides = My brides"), 8);
  EXPECT_EQ(lines.IndexOf("Grooms=Grooms {color=FF44DD}"), 9);
  EXPECT_EQ(lines.IndexOf("Omens.Triple=Stars and Gods, Constellations, are they on your side {color=FF44DD}"), 21);
  EXPECT_EQ(lines.IndexOf("Omen7=" + DefaultTbLine(7)), 24);
  EXPECT_EQ(lines.IndexOf("brdPa=" + DefaultTbLine(4)), 47);
  EXPECT_EQ(lines.IndexOf("[Groups]"), 7);
  EXPECT_EQ(again.Persons().size(), tb.Persons().size());
}

TEST(LoadTextbase, ReloadReplacesPersonsAndClearsFlags) {
  TempDir dir;
  const std::string name = dir / "tb.ini";
  WriteFile(name, "[Brides]\nAnna\n");
  TextBase tb;
  tb.LoadTextbase(name);
  const size_t first = tb.Persons().size();
  for (recEngTDB& d : tb.SlotDefs()) d.flag = 1;
  tb.LoadTextbase(name);
  EXPECT_EQ(tb.Persons().size(), first);
  for (const recEngTDB& d : tb.SlotDefs()) EXPECT_EQ(d.flag, 0);
  EXPECT_EQ(tb.BrideNames().size(), 1u);
}

TEST(LoadTextbase, MenusHoldAHundredEachAndSayOnceWhatWasLeftOut) {
  TempDir dir;
  const std::string name = dir / "tb.ini";
  std::string text = "[Brides]\r\n";
  for (int i = 0; i < 150; ++i) text += "Bride" + std::to_string(i) + "\r\n";
  text += "[Grooms]\r\n";
  for (int i = 0; i < 120; ++i) text += "Groom" + std::to_string(i) + "\r\n";
  WriteFile(name, text);
  TextBase tb;
  MessageLog log;
  tb.LoadTextbase(name);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_NE(log.texts[0].find("50 were left out"), std::string::npos) << log.texts[0];
  EXPECT_NE(log.texts[0].find("20 were left out"), std::string::npos) << log.texts[0];
  EXPECT_EQ(CountKind(tb, tbkBride), 150);  // the entries stay for the editor
  ASSERT_EQ(tb.BrideNames().size(), 100u);
  ASSERT_EQ(tb.GroomNames().size(), 100u);
  EXPECT_EQ(tb.BrideNames().front(), "Bride149");
  EXPECT_EQ(tb.BrideNames().back(), "Bride50");
  // The last bride item never reaches into the groom commands.
  std::string chosen;
  EXPECT_EQ(tb.MenuCommand(299, chosen), TbMenuTarget::Bride);
  EXPECT_EQ(chosen, "Bride50");
  EXPECT_EQ(tb.MenuCommand(300, chosen), TbMenuTarget::Groom);
  EXPECT_EQ(chosen, "Groom119");
  EXPECT_EQ(tb.MenuCommand(399, chosen), TbMenuTarget::Groom);
  EXPECT_EQ(tb.MenuCommand(400, chosen), TbMenuTarget::None);
  EXPECT_EQ(tb.MenuCommand(199, chosen), TbMenuTarget::None);
}

TEST(LoadTextbase, AFileThatCannotBeReadIsReported) {
  TempDir dir;
  const std::string name = dir / "pipe.ini";
  ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
  TextBase tb;
  tb.ParsePerson(0, "Old", -1);
  MessageLog log;
  tb.LoadTextbase(name);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].rfind("TxLoad error", 0), 0u);
  EXPECT_TRUE(tb.Persons().empty());
  EXPECT_EQ(tb.FileName(), name);

  // A file beyond any text base's size is not read at all.
  const std::string huge = dir / "huge.ini";
  WriteFile(huge, "[Brides]\nAnna\n");
  std::filesystem::resize_file(huge, (65ull << 20));
  tb.LoadTextbase(huge);
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[1], "TxLoad error 0");
  EXPECT_TRUE(tb.Persons().empty());
}

// --- Damaged text bases -----------------------------------------------------

TEST(LoadTextbase, DamagedInputLoadsWithoutCrashOrHang) {
  TempDir dir;
  const std::string name = dir / "bad.ini";
  const auto started = std::chrono::steady_clock::now();

  // Not text: random bytes with NULs and every byte value.
  std::mt19937 rng(11);
  std::string noise;
  for (int i = 0; i < 200000; ++i) noise += static_cast<char>(rng() & 0xFF);
  WriteFile(name, noise);
  TextBase tb;
  tb.LoadTextbase(name);
  EXPECT_EQ(CountKind(tb, tbkOmen), 19);  // completed all the same

  // Lines of 100,000 characters full of brackets and separators, balanced
  // and not.
  std::string longLines = "[Brides]\n";
  for (const std::string& unit : std::vector<std::string>{"{", "<", "}", ">", "{a}", "<b>", "=:!", "\xA1", std::string(1, '\0')}) {
    std::string line = "Long";
    while (line.size() < 100000) line += unit;
    longLines += line + "\n";
  }
  longLines += "Anna {never closed\nBeth <never closed\nCora }}}>>> = x\n";
  WriteFile(name, longLines);
  tb.LoadTextbase(name);
  EXPECT_EQ(CountKind(tb, tbkBride), 12);
  EXPECT_EQ(PersonById(tb, tbkBride, "Anna")->braceText, "never closed");
  EXPECT_EQ(PersonById(tb, tbkBride, "Beth")->angleText, "never closed");
  EXPECT_EQ(PersonById(tb, tbkBride, "Cora }}}>>>")->displayText, "x");

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LT(seconds, 60.0);  // a hang, not a speed measurement
}

TEST(LoadTextbase, TenThousandPersonsLoadAndTooManyAreLeftOutOnce) {
  TempDir dir;
  const std::string name = dir / "many.ini";
  std::string text = "[Brides]\n";
  for (int i = 0; i < 10000; ++i) text += "B" + std::to_string(i) + " = Bride " + std::to_string(i) + "\n";
  WriteFile(name, text);
  TextBase tb;
  {
    MessageLog log;
    tb.LoadTextbase(name);
    EXPECT_EQ(log.texts.size(), 1u);
  }
  EXPECT_EQ(CountKind(tb, tbkBride), 10000);
  EXPECT_EQ(tb.BrideNames().size(), 100u);
  EXPECT_EQ(tb.FindPerson(0, "B9999"), 14 + 9999);

  // More lines than 16-bit indices number: the rest is left out, said once.
  text = "[Grooms]\n";
  for (int i = 0; i < 40000; ++i) text += "G" + std::to_string(i) + "\n";
  WriteFile(name, text);
  MessageLog log;
  tb.LoadTextbase(name);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_NE(log.texts[0].find("lines beyond the first 32767 entries were left out"), std::string::npos);
  EXPECT_EQ(tb.Persons().size(), static_cast<size_t>(kTbMaxPersons));
  // The last groom kept is the last line that fit after the 14 group titles.
  EXPECT_EQ(tb.GroomNames().front(), "G" + std::to_string(kTbMaxPersons - 14 - 1));
}

}  // namespace
}  // namespace pellora

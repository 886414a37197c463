#include "pellora/textbase.h"

#include <exception>
#include <string>

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/instrs.h"
#include "foundation/msgbox.h"
#include "foundation/variant.h"
#include "platform/text.h"

namespace pellora {
namespace {

struct BuiltInLine {
  int number;
  const char* text;
};

// Lines 0 to 5 follow the slot numbering (2 bride's mother, 3 groom's
// mother, 4 bride's father, 5 groom's father), so each slot gets its own text.
// "\xE9" is an e with acute accent, "\xA1" the long-text mark.
constexpr BuiltInLine kBuiltInLines[] = {
      {0, "Bride ! Fianc\xE9" "e - Wife to be for Groom. Female star of the weddings."},
      {1, "Groom ! Fianc\xE9" ", Husband to be for Bride. Male star of the weddings."},
      {2, "Brides Mo ~ Brides Mother ! Mother in law from Brides side."},
      {3, "Grooms Mo ~ Grooms mother ! Mother in law from Grooms side."},
      {4, "Brides Pa ~ Brides father ! Father in law from Brides side. Traditionally pays the weddings, negotiates and gives dowry."},
      {5, "Grooms Pa ~ Grooms father ! Father in law from Grooms side."},
      {6, "Fortune  : Gods    ! Stars and Gods - Fortune : Is the realtionship blessed with luck and good things"},
      {7, "Fate     : Gods    ! Stars and Gods - Fate : Were you born to be together, or not ?"},
      {8, "Mishap   : Gods    ! Stars and Gods - Mishap : Is there many bad things coming ?"},
      {9, "Love     : We      ! Love - I will always love you ( or then not ) \xA1" " I will always love you, that's what they all say ... in the beginning. But the question is. Will you love me tomorow ?"},
      {10, "Team     : We      ! Team - How do you two get along with each other. \xA1" " Relationship without much love and affection can work well. Relationship which is full of love, can be colored with quarrels and fights. Despite deep devotion, you have problems with practical things."},
      {11, "Kids     : We      ! Kids - Prediction for kids and parenthood. \xA1" " Kids. What are they like, how are you in their eyes. Can you you handle kids. Do you have long lasting motivation for parenthood ?"},
      {12, "Strength : We      ! Strength - How the relationship lasts, when the things go bad.  \xA1" " What happens, after it turns out that your spouse has a long term relationship with your best friend. What if you or your spouse gets handicapped, end into for example wheelchair ?"},
      {13, "Length   : We      ! Length - Predicts the length of the relationship. \xA1" " Love is not always the reason for long / short relationship. "},
      {14, "Family   : Life    ! Family life - Prediction for the qualities of your family life. \xA1" " Do you and your family spend your evenings happily together. Or is your home a place where you and the others sleep ... sometimes also eat. And so on."},
      {15, "Social   : Life    ! Social Life  - How well you and your matrimonial team does with with friends and neighbors."},
      {16, "Work     : Life    ! Work Life - Your success at work / school. \xA1" " How do you get along with your work-school mates"},
      {17, "Health   : Real    ! Health - Gives a hint from health. \xA1" " Serious diseases, accidents, life expectancy."},
      {18, "Money    : Real    ! Money - How fortunate you are with money. \xA1" " Wages, salary, etc. How clever you are with your savings."},
      {19, "Home     : Real    ! Home - What kind of a home you'll get ?"},
      {20, "Vehicle  : Real    ! Vehicle - Any luck with car dealers and cars ?"},
      {21, "Status   : Real    ! Status - How others appreciate you ?"},
      {22, "T-Faith  : Triple  ! Faith - First, top corner in triangle of life"},
      {23, "T-Hope   : Triple  ! Hope - Second corner in triangle of life"},
      {24, "T-Love   : Triple  ! Love - Third corner in triangle of life"},
      {50, "Brides    = Brides {color=FF44DD}"},
      {51, "Grooms    = Grooms {color=FF44DD}"},
      {52, "brdMos    = Brides mothers"},
      {53, "brdPas    = Brides fathers"},
      {54, "grmMos    = Grooms mothers"},
      {55, "grmPas    = Grooms fathers"},
      {56, "Omens     = Omens"},
      {57, "Defs      = Default entries"},
      {58, "Props     = Properties for Groom and Bride"},
      {60, "Omens.Gods      = Stars and Gods, Constellations, are they on your side {color=FF44DD}"},
      {61, "Omens.We        = Our realtionship, What is it like ?"},
      {62, "Omens.Life      = Life together. is it worth trying and living ?"},
      {63, "Omens.Real      = Reality, anything good or bad coming ?"},
      {64, "Omens.Triple    = Stars and Gods, Constellations, are they on your side {color=FF44DD}"},
};

// Text bases beyond this size are refused: no person list needs it, and the
// line numbering of the ini routines stays far inside 32 bits.
constexpr uint64_t kMaxTextbaseBytes = 64ull << 20;

std::string Trimmed(std::string_view s) { return std::string(platform::TrimBlanks(s)); }

using platform::SameTextLatin1;

// Position (0-based) of the first `close` at or after `from`, or the end of
// the line when there is none.
size_t FindClosing(std::string_view line, char close, size_t from) {
  if (from >= line.size()) return line.size();
  const char pattern[2] = {close, '\0'};
  if (line.size() < static_cast<size_t>(foundation::kInStrSToEnd)) {
    const int col = foundation::InStrS(pattern, foundation::InStrSData(line), static_cast<int>(from) + 1);
    return col > 0 ? static_cast<size_t>(col) - 1 : line.size();
  }
  const size_t at = line.find(close, from);
  return at == std::string_view::npos ? line.size() : at;
}

// The key and value of a built-in "key = value" line.
void SplitBuiltIn(const std::string& line, std::string& key, std::string& value) {
  const size_t eq = line.find('=');
  key = Trimmed(std::string_view(line).substr(0, eq));
  value = eq == std::string::npos ? std::string() : Trimmed(std::string_view(line).substr(eq + 1));
}

bool SectionPresent(const foundation::StringList& lines, std::string_view section, int& last) {
  int first = 0, end = 0, sep = 0;
  last = foundation::IniFindKey(&lines, section, std::string_view(), 0, first, end, sep);
  return last != -2;
}

bool KeyPresent(const foundation::StringList& lines, std::string_view section, std::string_view key, int& last) {
  int first = 0, end = 0, sep = 0;
  last = foundation::IniFindKey(&lines, section, key, 0, first, end, sep);
  return last >= 0;
}

std::string ReadText(const foundation::StringList& lines, std::string_view section, std::string_view key) {
  return foundation::IniReadValue(&lines, section, key, foundation::Variant(std::string()), foundation::varString)
      .AsString();
}

// The keys of the six person slots, in slot order.
constexpr const char* kSlotKeys[kTbPersonSlots] = {"Bride", "Groom", "brdMo", "grmMo", "brdPa", "grmPa"};

// Person sections in load order, with the kind of their lines.
struct PersonSection {
  const char* name;
  TbKind kind;
};
constexpr PersonSection kPersonSections[] = {
    {"Groups", tbkGroup},         {"Brides", tbkBride},         {"Grooms", tbkGroom},
    {"brdMos", tbkBrideMother},   {"grmMos", tbkGroomMother},   {"brdPas", tbkBrideFather},
    {"grmPas", tbkGroomFather},   {"Defs", tbkDefault},         {"Omens", tbkOmen},
};

constexpr int kFirstOmenLine = 6;
constexpr int kLastOmenLine = 24;
constexpr int kFirstGroupLine = 50;
constexpr int kLastGroupLine = 64;

}  // namespace

std::string TbCut(std::string s, size_t length) {
  if (s.size() > length) s.resize(length);
  return s;
}

std::string DefaultTbLine(int number) {
  for (const BuiltInLine& line : kBuiltInLines) {
    if (line.number == number) return line.text;
  }
  return std::string();
}

int TextBase::ParseSlotDef(int kind, std::string_view line, int index) {
  return Parse(Parser::SlotDef, kind, line, index);
}

int TextBase::ParsePerson(int kind, std::string_view line, int index) {
  return Parse(Parser::Person, kind, line, index);
}

int TextBase::Parse(Parser parser, int kind, std::string_view line, int index) {
  const bool person = parser == Parser::Person;
  std::string fallback;
  if (line.empty()) {
    if (person) return 0;
    fallback = DefaultTbLine(index);
    if (fallback.empty()) fallback = " ";
    line = fallback;
  }
  std::vector<recEngTDB>& table = person ? persons_ : slotDefs_;
  const int64_t at = index < 0 ? static_cast<int64_t>(table.size()) : index;
  if (at >= kTbMaxPersons) {
    foundation::MsgBox(foundation::Variant("Faulty line : " + std::string(line) + " with index " +
                                           std::to_string(index)));
    return -1;
  }
  if (table.size() <= static_cast<size_t>(at)) table.resize(static_cast<size_t>(at) + 1);
  recEngTDB& entry = table[static_cast<size_t>(at)];
  entry.kind = static_cast<int16_t>(kind);

  // Only the first ":" of a line separates; later ones belong to the text.
  bool groupSeen = false;
  auto isSeparator = [&](char c) {
    return c == '=' || c == '!' || (c == ':' && !groupSeen) || c == kTbLongTextMark || c == '{' ||
           (person && c == '<');
  };
  auto nextSeparator = [&](size_t from) {
    for (size_t i = from; i < line.size(); ++i) {
      if (isSeparator(line[i])) return i;
    }
    return line.size();
  };

  char separator = '=';  // a slot definition's first piece is its id
  size_t start = 0;
  if (person) {
    const size_t p = nextSeparator(0);
    entry.id = TbCut(Trimmed(line.substr(0, p)), kTbIdLength);
    if (p >= line.size()) return static_cast<int>(at);
    separator = line[p];
    start = p + 1;
  }
  for (;;) {
    size_t p;
    if (separator == '{' || separator == '<') {
      // A bracketed piece runs to its closing character (or the end of the
      // line); what follows the closing character up to the next separator
      // is dropped. Slot definitions drop brace pieces whole.
      const size_t close = FindClosing(line, separator == '{' ? '}' : '>', start);
      if (person) {
        std::string piece = Trimmed(line.substr(start, close - start));
        (separator == '{' ? entry.braceText : entry.angleText) = std::move(piece);
      }
      p = close >= line.size() ? line.size() : nextSeparator(close + 1);
    } else {
      if (separator == ':') groupSeen = true;
      p = nextSeparator(start);
      std::string piece = Trimmed(line.substr(start, p - start));
      switch (separator) {
        case '=':
          if (person)
            entry.displayText = std::move(piece);
          else
            entry.id = TbCut(std::move(piece), kTbIdLength);
          break;
        case '!':
          entry.tip = std::move(piece);
          break;
        case ':':
          if (person)
            entry.personGroup = TbCut(std::move(piece), kTbPersonGroupLength);
          else
            entry.slotGroup = TbCut(std::move(piece), kTbSlotGroupLength);
          break;
        default:  // the long-text mark
          entry.longText = std::move(piece);
          break;
      }
    }
    if (p >= line.size()) break;
    separator = line[p];
    start = p + 1;
  }
  return static_cast<int>(at);
}

int TextBase::FindPerson(int groupNumber, std::string_view id) const {
  for (size_t i = 0; i < persons_.size(); ++i) {
    if (persons_[i].groupNumber == groupNumber && SameTextLatin1(persons_[i].id, id)) return static_cast<int>(i);
  }
  return -1;
}

void TextBase::LoadTextbase(const std::string& fileName) {
  for (recEngTDB& def : slotDefs_) def.flag = 0;
  foundation::FindData info;
  if (!foundation::FindFileInfo(foundation::Variant(fileName), info, foundation::ffoNoDirectory)) {
    fileName_ = fileName;
    persons_.clear();
    brideNames_.clear();
    groomNames_.clear();
    for (int i = 0; i < kTbSlotDefs; ++i) ParseSlotDef(tbkBride, std::string_view(), i);
    return;
  }
  foundation::StringList lines;
  bool loaded = false;
  if (info.Size() <= kMaxTextbaseBytes) {
    try {
      lines.LoadFromFile(fileName);
      loaded = true;
    } catch (const std::exception&) {
    }
  }
  if (!loaded) {
    foundation::MsgBox(foundation::Variant("TxLoad error 0"));
    persons_.clear();
    FillMenus(0);
    fileName_ = fileName;
    return;
  }
  LoadTextbaseLines(lines, fileName);
}

void TextBase::LoadTextbaseLines(foundation::StringList& lines, const std::string& fileName) {
  for (recEngTDB& def : slotDefs_) def.flag = 0;
  persons_.clear();
  int last = 0;  // result of the last lookup: how far the load got
  int leftOut = 0;
  try {
    std::string key, value;
    // Group titles.
    if (SectionPresent(lines, "Groups", last)) {
      for (int n = kFirstGroupLine; n <= kLastGroupLine; ++n) {
        const std::string builtIn = DefaultTbLine(n);
        if (builtIn.empty()) continue;
        SplitBuiltIn(builtIn, key, value);
        if (!KeyPresent(lines, "Groups", key, last)) last = foundation::IniWriteValue(&lines, "Groups", key, value);
      }
    } else {
      lines.Add("[Groups]");
      for (int n = kFirstGroupLine; n <= kLastGroupLine; ++n) lines.Add(DefaultTbLine(n));
    }
    // Omen themes.
    if (SectionPresent(lines, "Omens", last)) {
      for (int n = kFirstOmenLine; n <= kLastOmenLine; ++n) {
        key = "Omen" + std::to_string(n);
        if (!KeyPresent(lines, "Omens", key, last))
          last = foundation::IniWriteValue(&lines, "Omens", key, DefaultTbLine(n));
      }
    } else {
      lines.Add("[Omens]");
      for (int n = kFirstOmenLine; n <= kLastOmenLine; ++n)
        lines.Add("Omen" + std::to_string(n) + " = " + DefaultTbLine(n));
    }
    // Default entries of the person slots.
    if (SectionPresent(lines, "Defs", last)) {
      for (int slot = 0; slot < kTbPersonSlots; ++slot) {
        if (!KeyPresent(lines, "Defs", kSlotKeys[slot], last))
          last = foundation::IniWriteValue(&lines, "Defs", kSlotKeys[slot], DefaultTbLine(slot));
      }
    } else {
      lines.Add("[Defs]");
      for (int slot = 0; slot < kTbPersonSlots; ++slot)
        lines.Add(std::string(kSlotKeys[slot]) + " = " + DefaultTbLine(slot));
    }
    // Slot definitions 0 to 5: a key before the first header wins over [Defs].
    for (int slot = 0; slot < kTbPersonSlots; ++slot) {
      std::string line = ReadText(lines, "", kSlotKeys[slot]);
      if (line.empty()) line = ReadText(lines, "Defs", kSlotKeys[slot]);
      last = slot;
      ParseSlotDef(slot, line, slot);
    }
    // Persons, section by section; blank and comment lines give nothing.
    foundation::StringList section;
    for (const PersonSection& s : kPersonSections) {
      last = foundation::IniReadSection(&lines, s.name, &section);
      for (const foundation::StringList::Line& l : section.Lines()) {
        const std::string text = Trimmed(l.text);
        if (text.empty() || text[0] == ';') continue;
        if (persons_.size() >= static_cast<size_t>(kTbMaxPersons)) {
          ++leftOut;
          continue;
        }
        ParsePerson(s.kind, l.text, -1);
      }
    }
  } catch (const std::exception&) {
    foundation::MsgBox(foundation::Variant("TxLoad error " + std::to_string(last)));
  }
  FillMenus(leftOut);
  fileName_ = fileName;
}

void TextBase::FillMenus(int personsLeftOut) {
  brideNames_.clear();
  groomNames_.clear();
  int bridesLeftOut = 0;
  int groomsLeftOut = 0;
  for (size_t i = persons_.size(); i-- > 0;) {
    const recEngTDB& p = persons_[i];
    if (p.kind == tbkBride) {
      if (brideNames_.size() < static_cast<size_t>(kTbMenuCapacity))
        brideNames_.push_back(p.id);
      else
        ++bridesLeftOut;
    } else if (p.kind == tbkGroom) {
      if (groomNames_.size() < static_cast<size_t>(kTbMenuCapacity))
        groomNames_.push_back(p.id);
      else
        ++groomsLeftOut;
    }
  }
  if (personsLeftOut == 0 && bridesLeftOut == 0 && groomsLeftOut == 0) return;
  std::string text = "The text base holds more than the game can offer:";
  if (personsLeftOut > 0)
    text += "\r\n- " + std::to_string(personsLeftOut) + " lines beyond the first " + std::to_string(kTbMaxPersons) +
            " entries were left out.";
  if (bridesLeftOut > 0)
    text += "\r\n- the bride menu shows the last " + std::to_string(kTbMenuCapacity) + " brides; " +
            std::to_string(bridesLeftOut) + " were left out.";
  if (groomsLeftOut > 0)
    text += "\r\n- the groom menu shows the last " + std::to_string(kTbMenuCapacity) + " grooms; " +
            std::to_string(groomsLeftOut) + " were left out.";
  foundation::MsgBox(foundation::Variant(text));
}

TbMenuTarget TextBase::MenuCommand(int command, std::string& name) const {
  if (command >= kTbBrideCommand && command < kTbBrideCommand + kTbMenuCapacity) {
    const size_t k = static_cast<size_t>(command - kTbBrideCommand);
    if (k >= brideNames_.size()) return TbMenuTarget::None;
    name = brideNames_[k];
    return TbMenuTarget::Bride;
  }
  if (command >= kTbGroomCommand && command < kTbGroomCommand + kTbMenuCapacity) {
    const size_t k = static_cast<size_t>(command - kTbGroomCommand);
    if (k >= groomNames_.size()) return TbMenuTarget::None;
    name = groomNames_[k];
    return TbMenuTarget::Groom;
  }
  return TbMenuTarget::None;
}

}  // namespace pellora

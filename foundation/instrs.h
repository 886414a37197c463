#pragma once
// InStrS: the library's wildcard search. It finds the first place where a
// pattern occurs in one string or in the lines of a string list.
//
// Pattern characters (Windows-1252; overridable through the search record):
//   "§"  a run of blank characters, possibly empty
//   "?"  any one character
//   "*"  any run of characters, possibly empty
//   "{a,bc}"  one of the alternatives (each may use "§", "?" and "*")
//   "{abc}"   one character of the set
// A "{" that no later "}" closes is an ordinary character, and so are "}" and
// "," outside a group; inside a group "{" is an ordinary character, so groups
// do not nest. "{}" stands for the two characters themselves. Every other
// character matches itself and, unless the search is case-sensitive, its
// other case in ISO 8859-1.
//
// The match is complete: every way a "*", a "§" or a group alternative can
// take its text is considered (a later failure never hides a match an earlier
// choice could have given), and the time is bounded by pattern length times
// text length, whatever the pattern.
//
// The match reported at a start column is the shortest one there, except
// that a "*" ending the pattern takes the rest of the range.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace foundation {

class StringList;

// Option bits.
enum InStrSOption : uint64_t {
  isoList = 1ull << 0,            // data is a string list
  isoNoSingle = 1ull << 2,        // with a single string: no search at all
  isoIgnoreRecord = 1ull << 3,    // ignore the record's sets and metacharacter overrides
  isoWholeWords = 1ull << 4,      // match only between word boundaries
  isoCaseSensitive = 1ull << 5,
  isoBackwards = 1ull << 6,
  isoWrap = 1ull << 7,            // list mode: wrap around at the end of the range
  isoFromFirstLine = 1ull << 8,   // list mode: start at the range's first line, not at line "to"
  isoNoGroups = 1ull << 9,        // "{", "}" and "," are ordinary characters
  isoClasses = 1ull << 10,        // the record's five character classes
  isoExtraBlanks = 1ull << 11,    // "§" also skips the record's extra blank set
  isoRecordRange = 1ull << 12,    // list mode: lines and columns from the record
  isoEndWithin = 1ull << 13,      // the match must also end within "to"
  isoNoTextEdges = 1ull << 15,    // whole words: start and end of the text are no boundaries
  isoCheck = 1ull << 24,          // check the arguments, reporting problems in a message box
  isoSkipDoubleQuoted = 1ull << 25,
  isoSkipSingleQuoted = 1ull << 26,
  isoSkipTags = 1ull << 27,       // skip text between "<" and ">"
  isoSkipTags2 = 1ull << 28,      // the same; together with isoSkipTags: no search
};

// A set of character codes, one bit per code (bit c % 8 of byte c / 8).
using CharBits = std::array<uint8_t, 32>;

// The optional search record: sets and limits going in, the place of the
// match coming out. Columns are 1-based, lines 0-based.
struct recInStrS {
  CharBits wordBoundaries{};    // empty: the default set
  CharBits extraBlanks{};       // with isoExtraBlanks
  uint8_t metaCount = 0;        // 0 to 6 overrides in use
  std::array<char, 6> meta{};   // "§", "?", "*", "{", "}", "," in this order; codes <= 32 do not override
  std::array<CharBits, 5> classes{};  // with isoClasses: characters of one class match each other
  // List mode with isoRecordRange.
  int32_t firstCol = 0;
  int32_t firstLine = 0;
  int32_t lastCol = 0;
  int32_t lastLine = 0;
  // Results.
  int32_t matchCol = 0;      // column where the match starts (the return value)
  int32_t matchEndLine = 0;  // line in which the match ends
  int32_t matchLastCol = 0;  // column of the match's last character (matchCol - 1 for an empty match)
  int32_t matchLine = 0;     // line in which the match starts
};

void SetCharBit(CharBits& bits, unsigned char c);
bool CharBit(const CharBits& bits, unsigned char c);

// What is searched: one string, a string list, or nothing.
class InStrSData {
 public:
  InStrSData() = default;
  InStrSData(std::string_view text) : kind_(Kind::Text), text_(text) {}
  InStrSData(const std::string& text) : kind_(Kind::Text), text_(text) {}
  InStrSData(const char* text) : kind_(text ? Kind::Text : Kind::None), text_(text ? text : "") {}
  InStrSData(const StringList* lines) : kind_(lines ? Kind::List : Kind::None), list_(lines) {}
  InStrSData(const StringList& lines) : kind_(Kind::List), list_(&lines) {}

  bool IsText() const { return kind_ == Kind::Text; }
  bool IsList() const { return kind_ == Kind::List; }
  std::string_view Text() const { return text_; }
  const StringList* List() const { return list_; }

 private:
  enum class Kind { None, Text, List };
  Kind kind_ = Kind::None;
  std::string_view text_;
  const StringList* list_ = nullptr;
};

constexpr int kInStrSToEnd = 2147483646;

// Returns the column (1-based) where the match starts, 0 when there is none.
//
// Single string: "from" is the first column at which a match may start
// (below 1: 1) and "to" the last (0, 2147483646, negative or beyond the text:
// its end); the match may run past "to" unless isoEndWithin. Backwards, the
// start columns run from "from" (0, negative or beyond the text: the end)
// down to "to" (0, negative or 2147483646: column 1), and with isoEndWithin
// the match must end within "from".
//
// List mode: the search starts in line "to" (2147483646: line 0) at column
// "from" and runs through the lines of the range (all lines, or with
// isoRecordRange the record's first line and column to its last line and
// column). A match lies within one line; the record receives its lines.
int InStrS(std::string_view pattern, const InStrSData& data, int from = 1, uint64_t options = 0, int to = 0,
           recInStrS* rec = nullptr);

}  // namespace foundation

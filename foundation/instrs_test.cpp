#include "foundation/instrs.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foundation/ini.h"
#include "platform/msgbox.h"

using namespace foundation;

namespace {

int find(std::string_view pattern, std::string_view text, int from = 1, uint64_t options = 0, int to = 0,
         recInStrS* rec = nullptr) {
  return InStrS(pattern, InStrSData(text), from, options, to, rec);
}

}  // namespace

TEST(InStrS, CasesTheCallersRelyOn) {
  EXPECT_EQ(find("lvSts#*=", "lvSts#3=1 | Tag | 80"), 1);
  EXPECT_EQ(find("lvSts#*=", "lvSts3=1"), 0);
  EXPECT_EQ(find("lvSts#*=", "xlvSts#12=1"), 2);
  EXPECT_EQ(find("*=", "ab=cd"), 1);
  EXPECT_EQ(find("b=", "ab=cd"), 2);
  EXPECT_EQ(find("}", "ab}c}d", 4), 5);
  EXPECT_EQ(find(">", "<a> <b>", 4), 7);
  EXPECT_EQ(find(">", "<a>", 4), 0);
  // Repeated searches with one pattern over different texts.
  EXPECT_EQ(find("ab", "xxab"), 3);
  EXPECT_EQ(find("ab", "ab"), 1);
  EXPECT_EQ(find("ab", "a"), 0);
  EXPECT_EQ(find("ab", "xab", 1, isoCaseSensitive), 2);
  EXPECT_EQ(find("ab", "xAB", 1, isoCaseSensitive), 0);
  EXPECT_EQ(find("ab", "xAB"), 2);
}

TEST(InStrS, SingleCharacterItems) {
  EXPECT_EQ(find("a?c", "abc"), 1);
  EXPECT_EQ(find("a?c", "aXc"), 1);
  EXPECT_EQ(find("a?c", "ac"), 0);
  EXPECT_EQ(find("{x,yz}1", "yz1"), 1);
  EXPECT_EQ(find("{xyz}1", "y1"), 1);
  EXPECT_EQ(find("{xyz}1", "Y1"), 1);
  EXPECT_EQ(find("{xyz}1", "Y1", 1, isoCaseSensitive), 0);
  EXPECT_EQ(find("{xyz}1", "a1"), 0);
  // Square brackets are ordinary characters.
  EXPECT_EQ(find("[ab]", "x[ab]"), 2);
  EXPECT_EQ(find("[ab]", "xa"), 0);
}

TEST(InStrS, LatinOneCaseFolding) {
  EXPECT_EQ(find("\xC9T\xC9", "\xE9t\xE9"), 1);  // ÉTÉ / été
  EXPECT_EQ(find("\xC9T\xC9", "\xE9t\xE9", 1, isoCaseSensitive), 0);
  EXPECT_EQ(find("\xC9T\xC9", "\xC9T\xC9", 1, isoCaseSensitive), 1);
  EXPECT_EQ(find("\xD8", "x\xF8"), 2);           // Ø / ø
  EXPECT_EQ(find("\xDE", "\xFE"), 1);            // Þ / þ
  EXPECT_EQ(find("\xD7", "\xF7"), 0);            // × and ÷ are no pair
  EXPECT_EQ(find("\xDF", "SS\xDF"), 3);          // ß has no partner
  EXPECT_EQ(find("\xFF", "\x9F"), 0);            // ÿ has none in Latin-1
  EXPECT_EQ(find("abc", "xABC"), 2);
  EXPECT_EQ(find("abc", "xABC", 1, isoCaseSensitive), 0);
}

TEST(InStrS, StarsAndGroupsBacktrack) {
  recInStrS rec;
  EXPECT_EQ(find("{a,ab}c", "abc", 1, 0, 0, &rec), 1);
  EXPECT_EQ(rec.matchLastCol, 3);
  EXPECT_EQ(find("a*b*c", "aXbYbc", 1, 0, 0, &rec), 1);
  EXPECT_EQ(rec.matchLastCol, 6);
  EXPECT_EQ(find("a*b*c", "aXbYb"), 0);
  EXPECT_EQ(find("a*bc", "abXbc"), 1);
  EXPECT_EQ(find("{a*,b}x", "a12x"), 1);
  EXPECT_EQ(find("{b,a?}{c,d}", "zzaxd"), 3);
  EXPECT_EQ(find("x{a,ab,abc}d", "xabcd"), 1);
  // A text shorter than the pattern still matches when the pattern has
  // items that may take nothing.
  EXPECT_EQ(find("ab*", "ab"), 1);
  EXPECT_EQ(find("ab\xA7", "ab"), 1);
  EXPECT_EQ(find("ab{,c}", "ab"), 1);
  EXPECT_EQ(find("abc?", "abc"), 0);
  // A closing star takes the rest; elsewhere the shortest run is reported.
  EXPECT_EQ(find("b*", "abcdef", 1, 0, 0, &rec), 2);
  EXPECT_EQ(rec.matchLastCol, 6);
  EXPECT_EQ(find("b*d", "abcdxd", 1, 0, 0, &rec), 2);
  EXPECT_EQ(rec.matchLastCol, 4);
  EXPECT_EQ(rec.matchCol, 2);
}

TEST(InStrS, BlankRuns) {
  EXPECT_EQ(find("a\xA7=", "a   =1"), 1);
  EXPECT_EQ(find("a\xA7=", "a=1"), 1);
  EXPECT_EQ(find("a\xA7=", "a\t =1"), 1);
  EXPECT_EQ(find("a\xA7=", "ab=1"), 0);
  // Backtracking inside the run: a blank after it in the pattern still fits.
  EXPECT_EQ(find("a\xA7 =", "a   ="), 1);
  // Codes 1 to 5 are blanks only inside a group alternative.
  EXPECT_EQ(find("a\xA7=", "a\x03="), 0);
  EXPECT_EQ(find("{a\xA7,q}=", "a\x03="), 1);
  // The record's extra blanks count with option 11.
  recInStrS rec;
  SetCharBit(rec.extraBlanks, '_');
  EXPECT_EQ(find("a\xA7=", "a__=", 1, 0, 0, &rec), 0);
  EXPECT_EQ(find("a\xA7=", "a__=", 1, isoExtraBlanks, 0, &rec), 1);
  EXPECT_EQ(find("a\xA7=", "a__=", 1, isoExtraBlanks | isoIgnoreRecord, 0, &rec), 0);
}

TEST(InStrS, BracesThatAreNoGroups) {
  EXPECT_EQ(find("{ab", "x{ab"), 2);  // never closed
  EXPECT_EQ(find("a}", "xa}"), 2);
  EXPECT_EQ(find("a,b", "a,b"), 1);
  EXPECT_EQ(find("{}", "x{}"), 2);
  // Groups do not nest: "{a,{b,c}}" is the alternatives a, {b and c, then "}".
  EXPECT_EQ(find("{a,{b,c}}", "c}"), 1);
  EXPECT_EQ(find("{a,{b,c}}", "{b}"), 1);
  EXPECT_EQ(find("{a,{b,c}}", "b}"), 0);
  // Option 9: no groups at all.
  EXPECT_EQ(find("{a,b}", "a", 1, isoNoGroups), 0);
  EXPECT_EQ(find("{a,b}", "x{a,b}", 1, isoNoGroups), 2);
}

TEST(InStrS, FromAndToLimitTheStart) {
  EXPECT_EQ(find("b", "abcb", 3), 4);
  EXPECT_EQ(find("b", "abcb", 5), 0);
  EXPECT_EQ(find("b", "abcb", -7), 2);
  EXPECT_EQ(find("c", "abcb", 1, 0, 2), 0);
  EXPECT_EQ(find("bc", "abc", 1, 0, 2), 2);  // may run past "to"
  EXPECT_EQ(find("bc", "abc", 1, isoEndWithin, 2), 0);
  EXPECT_EQ(find("bc", "abc", 1, isoEndWithin, 3), 2);
  EXPECT_EQ(find("c", "abc", 1, 0, kInStrSToEnd), 3);
  EXPECT_EQ(find("c", "abc", 1, 0, -5), 3);
  EXPECT_EQ(find("b*", "abcdef", 1, isoEndWithin, 4), 2);
  EXPECT_EQ(find("x", ""), 0);
  EXPECT_EQ(find("", "abc"), 0);
  EXPECT_EQ(find("a", "abc", 1, isoNoSingle), 0);
}

TEST(InStrS, WholeWords) {
  EXPECT_EQ(find("cat", "concat cat", 1, isoWholeWords), 8);
  EXPECT_EQ(find("cat", "cats cat.", 1, isoWholeWords), 6);
  EXPECT_EQ(find("cat", "cat", 1, isoWholeWords), 1);
  EXPECT_EQ(find("cat", "cat", 1, isoWholeWords | isoNoTextEdges), 0);
  EXPECT_EQ(find("cat", " cat ", 1, isoWholeWords | isoNoTextEdges), 2);
  EXPECT_EQ(find("c*t", "cut cutter", 1, isoWholeWords), 1);
  EXPECT_EQ(find("c*", "xc cab", 1, isoWholeWords), 4);
  // The record's own boundary set replaces the default.
  recInStrS rec;
  SetCharBit(rec.wordBoundaries, '-');
  EXPECT_EQ(find("cat", "a cat-cat", 1, isoWholeWords, 0, &rec), 7);
  EXPECT_EQ(find("cat", "a cat-cat", 1, isoWholeWords | isoIgnoreRecord, 0, &rec), 0);  // "-" is no default boundary
  EXPECT_EQ(find("cat", "a cat|cat", 1, isoWholeWords | isoIgnoreRecord, 0, &rec), 3);
}

TEST(InStrS, Backwards) {
  EXPECT_EQ(find("ab", "ab ab ab", 0, isoBackwards), 7);
  EXPECT_EQ(find("ab", "ab ab ab", 6, isoBackwards), 4);
  EXPECT_EQ(find("ab", "ab ab ab", 6, isoBackwards, 5), 0);
  EXPECT_EQ(find("ab", "ab ab ab", 7, isoBackwards | isoEndWithin), 4);
  EXPECT_EQ(find("a*b", "aab", 0, isoBackwards), 2);
  EXPECT_EQ(find("{x,yz}", "yz x", 0, isoBackwards), 4);
}

TEST(InStrS, QuotedTextAndTagsAreSkipped) {
  EXPECT_EQ(find("x", "\"x\" x", 1, isoSkipDoubleQuoted), 5);
  EXPECT_EQ(find("x", "'x' x", 1, isoSkipSingleQuoted), 5);
  EXPECT_EQ(find("x", "'x' x", 1, isoSkipDoubleQuoted), 2);
  EXPECT_EQ(find("b", "<b>b</b> b", 1, isoSkipTags), 4);
  EXPECT_EQ(find("b", "<b>b</b> b", 1, isoSkipTags2), 4);
  EXPECT_EQ(find("b", "<b>b</b> b", 1, isoSkipTags | isoSkipTags2), 0);
  EXPECT_EQ(find("b", "<b>b</b> b", 0, isoSkipTags | isoBackwards), 10);
  EXPECT_EQ(find("b", "<b>b</b>", 0, isoSkipTags | isoBackwards), 4);
  EXPECT_EQ(find("x", "\"never closed x", 1, isoSkipDoubleQuoted), 0);
}

TEST(InStrS, RecordOverridesAndClasses) {
  recInStrS rec;
  rec.metaCount = 3;
  rec.meta = {'~', '%', '#', '{', '}', ','};
  EXPECT_EQ(find("a#c", "xabbc", 1, 0, 0, &rec), 2);
  EXPECT_EQ(find("a%c", "abc", 1, 0, 0, &rec), 1);
  EXPECT_EQ(find("a*c", "abc", 1, 0, 0, &rec), 0);  // "*" is ordinary now
  EXPECT_EQ(find("a*c", "a*c", 1, 0, 0, &rec), 1);
  EXPECT_EQ(find("a#c", "abbc", 1, isoIgnoreRecord, 0, &rec), 0);
  // Overrides beyond the count, or of codes up to 32, do not apply.
  rec.metaCount = 2;
  EXPECT_EQ(find("a#c", "abbc", 1, 0, 0, &rec), 0);
  rec.metaCount = 6;
  rec.meta = {'~', ' ', '#', '(', ')', ';'};
  EXPECT_EQ(find("a?c(x;y)", "abcy", 1, 0, 0, &rec), 1);

  recInStrS cls;
  for (char c = '0'; c <= '9'; ++c) SetCharBit(cls.classes[0], static_cast<unsigned char>(c));
  EXPECT_EQ(find("a0", "xa7", 1, isoClasses, 0, &cls), 2);
  EXPECT_EQ(find("a0", "xa7", 1, 0, 0, &cls), 0);
  EXPECT_EQ(find("a0", "xa7", 1, isoClasses | isoIgnoreRecord, 0, &cls), 0);
}

TEST(InStrS, ListMode) {
  StringList lines;
  lines.SetText("alpha\r\nbeta gamma\r\n\r\ngamma delta\r\nend");
  recInStrS rec;
  EXPECT_EQ(InStrS("gamma", &lines, 1, isoList, 0, &rec), 6);
  EXPECT_EQ(rec.matchLine, 1);
  EXPECT_EQ(rec.matchEndLine, 1);
  EXPECT_EQ(rec.matchLastCol, 10);
  EXPECT_EQ(InStrS("gamma", &lines, 7, isoList, 1, &rec), 1);
  EXPECT_EQ(rec.matchLine, 3);
  EXPECT_EQ(InStrS("alpha", &lines, 1, isoList, 1, &rec), 0);
  EXPECT_EQ(InStrS("alpha", &lines, 1, isoList | isoWrap, 1, &rec), 1);
  EXPECT_EQ(rec.matchLine, 0);
  EXPECT_EQ(InStrS("gamma", &lines, 7, isoList | isoWrap, 1, &rec), 1);
  EXPECT_EQ(rec.matchLine, 3);
  EXPECT_EQ(InStrS("end", &lines, 1, isoList, 9, &rec), 0);  // start line beyond the list
  EXPECT_EQ(InStrS("end", &lines, 1, isoList | isoWrap, 9, &rec), 1);
  EXPECT_EQ(rec.matchLine, 4);
  EXPECT_EQ(InStrS("alpha", &lines, 1, isoList, kInStrSToEnd, &rec), 1);
  // Backwards from line 3.
  EXPECT_EQ(InStrS("a", &lines, 0, isoList | isoBackwards, 3, &rec), 11);
  EXPECT_EQ(rec.matchLine, 3);
  EXPECT_EQ(InStrS("gamma", &lines, 5, isoList | isoBackwards, 3, &rec), 1);
  EXPECT_EQ(rec.matchLine, 3);
  EXPECT_EQ(InStrS("gamma", &lines, 0, isoList | isoBackwards, 2, &rec), 6);
  EXPECT_EQ(rec.matchLine, 1);
  EXPECT_EQ(InStrS("end", &lines, 5, isoList | isoBackwards, 3, &rec), 0);
  EXPECT_EQ(InStrS("end", &lines, 5, isoList | isoBackwards | isoWrap, 3, &rec), 1);
  EXPECT_EQ(rec.matchLine, 4);
  // The record's range: lines 1 to 3, from column 3 of line 1 to column 4 of line 3.
  rec.firstLine = 1;
  rec.firstCol = 3;
  rec.lastLine = 3;
  rec.lastCol = 4;
  EXPECT_EQ(InStrS("beta", &lines, 1, isoList | isoRecordRange | isoFromFirstLine, 0, &rec), 0);
  EXPECT_EQ(InStrS("ta", &lines, 1, isoList | isoRecordRange | isoFromFirstLine, 0, &rec), 3);
  EXPECT_EQ(InStrS("ma d", &lines, 1, isoList | isoRecordRange | isoFromFirstLine, 0, &rec), 4);
  EXPECT_EQ(rec.matchLine, 3);
  EXPECT_EQ(InStrS("ma d", &lines, 1, isoList | isoRecordRange | isoFromFirstLine | isoEndWithin, 0, &rec), 0);
  EXPECT_EQ(InStrS("end", &lines, 1, isoList | isoRecordRange | isoFromFirstLine, 0, &rec), 0);
  // A range that starts beyond the list holds nothing, even wrapped.
  rec.firstLine = 9;
  rec.lastLine = -1;
  rec.firstCol = 1;
  rec.lastCol = 0;
  EXPECT_EQ(InStrS("end", &lines, 1, isoList | isoRecordRange | isoFromFirstLine, 0, &rec), 0);
  EXPECT_EQ(InStrS("end", &lines, 1, isoList | isoRecordRange | isoWrap, 4, &rec), 0);
  rec.firstLine = 4;
  EXPECT_EQ(InStrS("end", &lines, 1, isoList | isoRecordRange | isoFromFirstLine, 0, &rec), 1);

  // Extreme columns and lines are limits, not arithmetic.
  EXPECT_EQ(InStrS("alpha", &lines, INT32_MIN, isoList | isoWrap, 0, nullptr), 1);
  EXPECT_EQ(InStrS("alpha", &lines, INT32_MAX, isoList | isoWrap, 0, nullptr), 1);
  EXPECT_EQ(InStrS("end", &lines, INT32_MIN, isoList | isoBackwards | isoWrap, INT32_MIN, nullptr), 1);
  EXPECT_EQ(find("b", "abc", INT32_MIN, 0, INT32_MAX), 2);
  EXPECT_EQ(find("b", "abc", INT32_MAX, isoBackwards, INT32_MIN), 2);

  StringList empty;
  EXPECT_EQ(InStrS("a", &empty, 1, isoList, 0, nullptr), 0);
  // The wrong kind of data finds nothing.
  EXPECT_EQ(InStrS("a", &lines, 1, 0, 0, nullptr), 0);
  EXPECT_EQ(InStrS("a", InStrSData("abc"), 1, isoList, 0, nullptr), 0);
}

TEST(InStrS, ArgumentCheckReportsInABox) {
  std::vector<platform::MsgBoxRequest> boxes;
  platform::ScopedMsgBoxAnswerer answerer([&](const platform::MsgBoxRequest& r) {
    boxes.push_back(r);
    return static_cast<int>(platform::IdOk);
  });
  StringList lines;
  lines.Add("abc");
  recInStrS rec;
  EXPECT_EQ(InStrS("a", InStrSData("abc"), 1, isoList | isoCheck, 0, nullptr), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Missing fS-result record\r\nfDta doesn't point to TStrings");
  EXPECT_EQ(boxes[0].caption, "InStrS");
  EXPECT_EQ(boxes[0].flags & platform::MbIconError, platform::MbIconError);
  EXPECT_EQ(InStrS("a", &lines, 1, isoList | isoCheck, 0, nullptr), 0);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, "Missing fS-result record\r\n");
  EXPECT_EQ(InStrS("b", &lines, 1, isoList | isoCheck, 0, &rec), 2);
  EXPECT_EQ(InStrS("b", &lines, 1, isoCheck, 0, &rec), 0);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].text, "fDta doesn't point to a string");
  EXPECT_EQ(InStrS("b", InStrSData(), 1, isoCheck, 0, &rec), 0);
  EXPECT_EQ(boxes.size(), 4u);
  EXPECT_EQ(InStrS("b", "abc", 1, isoCheck, 0, &rec), 2);
  EXPECT_EQ(boxes.size(), 4u);
}

// ---------------------------------------------------------------------------
// Against a plain backtracking matcher on random small patterns.

namespace {

struct Item {
  enum Kind { Lit, Any, Star, Set, Group } kind;
  std::string chars;               // Lit: one character; Set: its members
  std::vector<std::string> alts;   // Group: alternatives of literals, "?" and "*"
};

bool matchAlt(const std::string& alt, size_t ai, std::string_view t, size_t ti,
              const std::function<bool(size_t)>& rest) {
  if (ai == alt.size()) return rest(ti);
  const char a = alt[ai];
  if (a == '*') {
    for (size_t k = ti; k <= t.size(); ++k)
      if (matchAlt(alt, ai + 1, t, k, rest)) return true;
    return false;
  }
  if (ti >= t.size()) return false;
  if (a != '?' && a != t[ti]) return false;
  return matchAlt(alt, ai + 1, t, ti + 1, rest);
}

bool matchItems(const std::vector<Item>& items, size_t i, std::string_view t, size_t ti) {
  if (i == items.size()) return true;
  const Item& it = items[i];
  switch (it.kind) {
    case Item::Star:
      for (size_t k = ti; k <= t.size(); ++k)
        if (matchItems(items, i + 1, t, k)) return true;
      return false;
    case Item::Group:
      for (const std::string& alt : it.alts)
        if (matchAlt(alt, 0, t, ti, [&](size_t k) { return matchItems(items, i + 1, t, k); })) return true;
      return false;
    default:
      if (ti >= t.size()) return false;
      if (it.kind == Item::Lit && t[ti] != it.chars[0]) return false;
      if (it.kind == Item::Set && it.chars.find(t[ti]) == std::string::npos) return false;
      return matchItems(items, i + 1, t, ti + 1);
  }
}

int reference(const std::vector<Item>& items, std::string_view t, bool backward) {
  for (size_t k = 0; k < t.size(); ++k) {
    const size_t s = backward ? t.size() - 1 - k : k;
    if (matchItems(items, 0, t, s)) return static_cast<int>(s) + 1;
  }
  return 0;
}

}  // namespace

TEST(InStrS, AgreesWithPlainBacktrackingOnRandomPatterns) {
  std::mt19937 rng(12345);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char letters[] = "abc";
  int matched = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<Item> items;
    std::string pattern;
    const int n = 1 + pick(5);
    for (int k = 0; k < n; ++k) {
      switch (pick(6)) {
        case 0: items.push_back({Item::Star, "", {}}); pattern += '*'; break;
        case 1: items.push_back({Item::Any, "", {}}); pattern += '?'; break;
        case 2: {
          std::string set;
          for (int m = 0; m < 2; ++m) set += letters[pick(3)];
          items.push_back({Item::Set, set, {}});
          pattern += "{" + set + "}";
          break;
        }
        case 3: {
          Item g{Item::Group, "", {}};
          pattern += "{";
          const int alts = 2 + pick(2);
          for (int a = 0; a < alts; ++a) {
            std::string alt;
            const int len = pick(3);
            for (int m = 0; m < len; ++m) alt += "ab?*"[pick(4)];
            g.alts.push_back(alt);
            pattern += (a ? "," : "") + alt;
          }
          pattern += "}";
          items.push_back(g);
          break;
        }
        default: {
          const char c = letters[pick(3)];
          items.push_back({Item::Lit, std::string(1, c), {}});
          pattern += c;
        }
      }
    }
    std::string text;
    const int len = 1 + pick(9);
    for (int m = 0; m < len; ++m) text += letters[pick(3)];
    const int want = reference(items, text, false);
    matched += want != 0;
    ASSERT_EQ(find(pattern, text, 1, isoCaseSensitive), want) << "pattern '" << pattern << "' text '" << text << "'";
    ASSERT_EQ(find(pattern, text, 0, isoCaseSensitive | isoBackwards), reference(items, text, true))
        << "backwards: pattern '" << pattern << "' text '" << text << "'";
  }
  EXPECT_GT(matched, 3000);  // the cases exercised both outcomes
  EXPECT_LT(matched, 19000);
}

TEST(InStrS, HostilePatternsFinishOnLargeText) {
  std::string text(100 * 1024, 'a');
  for (size_t i = 0; i < text.size(); i += 37) text[i] = 'b';
  text.back() = 'z';
  const std::string stars(5000, '*');
  EXPECT_EQ(find(stars + "z", text), 1);
  EXPECT_EQ(find(stars + "y", text), 0);
  std::string alternating;
  for (int i = 0; i < 3000; ++i) alternating += "*a";
  EXPECT_EQ(find(alternating + "z", text), 1);
  EXPECT_EQ(find(alternating + "y", text), 0);
  std::string ab;
  for (int i = 0; i < 500; ++i) ab += "a*b";
  EXPECT_EQ(find(ab + "*y", text), 0);
  EXPECT_EQ(find(std::string(5000, '{'), text), 0);
  EXPECT_EQ(find(std::string(5000, '{') + "}", text), 0);
  std::string nested;
  for (int i = 0; i < 2000; ++i) nested += "{a,*";
  EXPECT_EQ(find(nested + "}}}}", text), 0);
  // The first "}" closes the first "{": alternatives "a", "*{a" ... and "*".
  EXPECT_EQ(find(nested + "}", text), 1);
  // Stars inside alternatives keep many states alive at once: the work grows
  // with pattern length times text length, never beyond.
  std::string groups;
  for (int i = 0; i < 100; ++i) groups += "{*a,?}";
  EXPECT_EQ(find(groups + "y", text), 0);
  EXPECT_EQ(find(groups + "z", text), 1);
  EXPECT_EQ(find(std::string(3000, '\xA7') + "y", text), 0);
  EXPECT_EQ(find(stars + "y", text, 0, isoBackwards), 0);
  // Backwards: the last start from which 100 "a" still come before the "z".
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "*a";
  int count = 0, want = 0;
  for (int i = static_cast<int>(text.size()) - 2; i >= 0; --i) {
    if (text[static_cast<size_t>(i)] == 'a' && ++count == 100) {
      want = i + 1;
      break;
    }
  }
  EXPECT_EQ(find(hundred + "z", text, 0, isoBackwards), want);
}

TEST(InStrS, RandomArgumentsStayInBounds) {
  std::mt19937 rng(99);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string alphabet = "ab {},?*\xA7\"'<>|=\t";
  const int limits[] = {INT32_MIN, -3, -1, 0, 1, 2, 3, 5, 9, 40, kInStrSToEnd, INT32_MAX};
  const uint64_t bits[] = {isoWholeWords,  isoCaseSensitive,    isoBackwards,        isoWrap,
                           isoFromFirstLine, isoNoGroups,       isoClasses,          isoExtraBlanks,
                           isoRecordRange, isoEndWithin,        isoNoTextEdges,      isoSkipDoubleQuoted,
                           isoSkipSingleQuoted, isoSkipTags,    isoSkipTags2,        isoIgnoreRecord};
  StringList lines;
  for (int round = 0; round < 4000; ++round) {
    std::string pattern, text;
    for (int k = pick(8); k >= 0; --k) pattern += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
    for (int k = pick(12); k > 0; --k) text += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
    uint64_t options = 0;
    for (uint64_t b : bits)
      if (pick(4) == 0) options |= b;
    recInStrS rec;
    rec.metaCount = static_cast<uint8_t>(pick(8));
    rec.meta = {'\xA7', '?', '*', '{', '}', ','};
    if (pick(3) == 0) rec.meta[static_cast<size_t>(pick(6))] = 'a';
    SetCharBit(rec.classes[0], 'a');
    SetCharBit(rec.classes[0], 'b');
    SetCharBit(rec.extraBlanks, '|');
    rec.firstLine = limits[pick(12)];
    rec.lastLine = limits[pick(12)];
    rec.firstCol = limits[pick(12)];
    rec.lastCol = limits[pick(12)];
    const int from = limits[pick(12)], to = limits[pick(12)];
    recInStrS* r = pick(2) ? &rec : nullptr;
    const int single = InStrS(pattern, InStrSData(text), from, options, to, r);
    ASSERT_GE(single, 0);
    ASSERT_LE(single, static_cast<int>(text.size()));
    if (lines.Count() > 5) lines.Delete(0);
    lines.Add(text);
    const int listed = InStrS(pattern, &lines, from, options | isoList, to, r);
    ASSERT_GE(listed, 0);
    if (listed > 0 && r) {
      ASSERT_GE(r->matchLine, 0);
      ASSERT_LT(r->matchLine, lines.Count());
      ASSERT_LE(listed, static_cast<int>(lines[r->matchLine].size()));
      ASSERT_LE(r->matchLastCol, static_cast<int>(lines[r->matchLine].size()));
    }
  }
}

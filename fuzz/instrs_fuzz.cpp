// Pattern search: any pattern over any text finishes and answers a column
// within the text. For short patterns and texts, the column (forwards and
// backwards) and the end of the shortest match agree with a plain matcher
// that follows every choice of the pattern as a set of text positions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "foundation/instrs.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace {

using Positions = uint64_t;  // bit p: the match so far may end before text[p]

struct Item {
  enum Kind { Char, Any, Star, Blanks, Set, Group } kind = Char;
  bool top = true;
  std::string chars;               // Char: the character; Set: its members
  std::vector<std::vector<Item>> alts;  // Group
};

constexpr char kBlank = '\xA7';

bool IsBlank(unsigned char c, bool top) { return c == 0 || (c <= 32 && (!top || c >= 6)); }

bool SameChar(char p, char t, bool caseSensitive) {
  if (p == t) return true;
  if (caseSensitive) return false;
  const auto u = static_cast<unsigned char>(p);
  return static_cast<unsigned char>(t) == platform::latin1Upper(u) ||
         static_cast<unsigned char>(t) == platform::latin1Lower(u);
}

Item Single(char c, bool top) {
  Item it;
  it.top = top;
  it.kind = c == '*' ? Item::Star : c == '?' ? Item::Any : c == kBlank ? Item::Blanks : Item::Char;
  it.chars = std::string(1, c);
  return it;
}

std::vector<Item> Parse(std::string_view pattern, bool groups) {
  std::vector<Item> items;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (groups && pattern[i] == '{') {
      const size_t close = pattern.find('}', i + 1);
      if (close != std::string_view::npos && close > i + 1) {
        const std::string_view body = pattern.substr(i + 1, close - i - 1);
        Item it;
        if (body.find(',') == std::string_view::npos) {
          it.kind = Item::Set;
          it.chars = std::string(body);
        } else {
          it.kind = Item::Group;
          size_t from = 0;
          for (;;) {
            const size_t comma = body.find(',', from);
            const std::string_view alt = body.substr(from, comma == std::string_view::npos ? body.npos : comma - from);
            std::vector<Item> seq;
            for (char c : alt) seq.push_back(Single(c, false));
            it.alts.push_back(std::move(seq));
            if (comma == std::string_view::npos) break;
            from = comma + 1;
          }
        }
        items.push_back(std::move(it));
        i = close;
        continue;
      }
    }
    items.push_back(Single(pattern[i], true));
  }
  return items;
}

Positions Step(const std::vector<Item>& seq, Positions in, std::string_view t, bool cs) {
  const size_t n = t.size();
  Positions m = in;
  for (const Item& it : seq) {
    Positions out = 0;
    switch (it.kind) {
      case Item::Star:
        for (size_t p = 0; p <= n; ++p)
          if (m & (Positions{1} << p)) {
            for (size_t q = p; q <= n; ++q) out |= Positions{1} << q;
            break;
          }
        break;
      case Item::Blanks:
        for (size_t p = 0; p <= n; ++p) {
          if (!(m & (Positions{1} << p))) continue;
          out |= Positions{1} << p;
          for (size_t q = p; q < n && IsBlank(static_cast<unsigned char>(t[q]), it.top); ++q)
            out |= Positions{1} << (q + 1);
        }
        break;
      case Item::Group:
        for (const auto& alt : it.alts) out |= Step(alt, m, t, cs);
        break;
      default:
        for (size_t p = 0; p < n; ++p) {
          if (!(m & (Positions{1} << p))) continue;
          bool ok = it.kind == Item::Any;
          for (char c : it.chars) ok = ok || SameChar(c, t[p], cs);
          if (ok) out |= Positions{1} << (p + 1);
        }
    }
    m = out;
  }
  return m;
}

// 0-based start of the first match (from the end when backwards) and the end
// of its shortest match; -1 when none.
int Reference(const std::vector<Item>& items, std::string_view t, bool cs, bool backwards, int& end) {
  if (items.empty()) return -1;  // an empty pattern finds nothing
  const bool trailingStar = !items.empty() && items.back().kind == Item::Star && items.back().top;
  for (size_t k = 0; k < t.size(); ++k) {
    const size_t s = backwards ? t.size() - 1 - k : k;
    const Positions ends = Step(items, Positions{1} << s, t, cs);
    if (ends == 0) continue;
    end = trailingStar ? static_cast<int>(t.size()) : __builtin_ctzll(ends);
    return static_cast<int>(s);
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest&) { return static_cast<int>(platform::IdOk); });
  return 0;
}

// Input: an options byte, the pattern's length, the pattern, the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace foundation;
  if (size < 2) return 0;
  const uint8_t choice = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t split = std::min<size_t>(data[1], rest.size());
  const std::string_view pattern = rest.substr(0, split);
  const std::string_view text = rest.substr(split);
  const bool cs = choice & 1;
  const bool groups = !(choice & 2);
  const uint64_t base = (cs ? isoCaseSensitive : 0) | (groups ? 0 : isoNoGroups);
  const int n = static_cast<int>(text.size());

  recInStrS rec;
  const int forward = InStrS(pattern, text, 1, base, 0, &rec);
  const int backward = InStrS(pattern, text, 0, base | isoBackwards);
  FUZZ_REQUIRE(forward >= 0 && forward <= n && backward >= 0 && backward <= n);
  FUZZ_REQUIRE(n == 0 || (forward == 0) == (backward == 0));  // a match is found either way
  FUZZ_REQUIRE(backward >= forward);  // the last start is not before the first
  if (choice & 4) {
    // Other options must keep within the text too.
    const uint64_t more = base | isoWholeWords | ((choice & 8) ? isoEndWithin : 0) |
                          ((choice & 16) ? isoSkipDoubleQuoted : 0) | ((choice & 32) ? isoSkipTags : 0);
    const int from = 1 + (n > 0 ? data[1] % (n + 1) : 0);
    const int r = InStrS(pattern, text, from, more, 0);
    FUZZ_REQUIRE(r == 0 || (r >= from && r <= n));
  }

  if (pattern.size() > 10 || n == 0 || n > 20) return 0;
  const std::vector<Item> items = Parse(pattern, groups);
  int end = 0;
  const int want = Reference(items, text, cs, false, end) + 1;
  FUZZ_REQUIRE(forward == want);
  FUZZ_REQUIRE(want == 0 || rec.matchLastCol == end);
  int ignored = 0;
  FUZZ_REQUIRE(backward == Reference(items, text, cs, true, ignored) + 1);
  return 0;
}

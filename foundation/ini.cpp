#include "foundation/ini.h"

#include <algorithm>

#include "foundation/files.h"
#include "foundation/msgbox.h"
#include "platform/safesave.h"
#include "platform/text.h"

namespace foundation {
namespace {

using platform::AsciiUpper;
using platform::IsBlank;
constexpr auto TrimLeft = platform::TrimLeftBlanks;
constexpr auto TrimRight = platform::TrimRightBlanks;
constexpr auto Trim = platform::TrimBlanks;

// The line's trimmed text begins with "[".
inline bool StartsHeader(std::string_view s) {
  for (char c : s) {
    if (!IsBlank(c)) return c == '[';
  }
  return false;
}

// Equal ignoring ASCII letter case only; no other characters are folded.
bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// A value or name must never start a new line in the file.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

std::string Bracketed(std::string_view trimmedName) {
  std::string name;
  name.reserve(trimmedName.size() + 2);
  if (trimmedName.empty() || trimmedName.front() != '[') name.push_back('[');
  name.append(trimmedName);
  if (name.size() < 2 || name.back() != ']') name.push_back(']');
  return name;
}

constexpr const char* kBadType = "Input data type is not correct";

std::string ListKey(std::string_view key, long long n) {
  std::string k(key);
  k.push_back('#');
  k += std::to_string(n);
  return k;
}

// The key part of a key line as the key search sees it (right-trimmed, from
// the line's first character), and the 1-based position of its separator
// (left alone for a bare key). False for a line that is no key line.
bool KeyPartOf(std::string_view line, int flags, std::string_view& keyPart, int& separatorPos) {
  if (line.empty()) return false;
  const bool indented = (flags & ifkIndentedKeys) != 0;
  size_t start = 0;
  if (!indented) {
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start == line.size()) return false;
  }
  const bool colon = (flags & ifkColonSeparator) != 0;
  size_t sep = std::string_view::npos;
  for (size_t k = start + 1; k < line.size(); ++k) {
    if (line[k] == '=' || (colon && line[k] == ':')) {
      sep = k;
      break;
    }
  }
  if (sep != std::string_view::npos) {
    separatorPos = static_cast<int>(sep + 1);
    keyPart = line.substr(0, sep);
  } else if (flags & ifkBareKeys) {
    keyPart = line;
  } else {
    return false;
  }
  keyPart = TrimRight(keyPart);
  // With indented keys allowed the key begins at its first non-blank;
  // lines that start in the first column are unaffected.
  if (indented) keyPart = TrimLeft(keyPart);
  return true;
}

// The value of a key line: from the separator to the first ";" after it, or
// to the end of the line with whole-line values.
std::string_view ValueOf(std::string_view line, int separatorPos, int flags) {
  const size_t from = std::min(static_cast<size_t>(separatorPos), line.size());
  size_t to = line.size();
  if (!(flags & ivfWholeLine)) {
    const size_t semi = line.find(';', from);
    if (semi != std::string_view::npos) to = semi;
  }
  return line.substr(from, to - from);
}

// The key line with a new value after its separator; unless whole-line
// values are asked for, an old comment stays in its column.
std::string ReplacedValue(const std::string& line, int separatorPos, const std::string& text, int flags) {
  const size_t keep = std::min(static_cast<size_t>(separatorPos), line.size());
  std::string fresh = line.substr(0, keep);
  fresh += text;
  if (!(flags & ivfWholeLine)) {
    const size_t semi = line.find(';', keep);
    if (semi != std::string::npos) {
      if (fresh.size() < semi) fresh.append(semi - fresh.size(), ' ');
      fresh.append(line, semi, std::string::npos);
    }
  }
  return fresh;
}

// The entries key#0, key#1, ... of one section, found in one pass: for each
// entry number below the limit, the line of its first occurrence and its
// separator position. Reading or writing a list entry by entry would search
// the section once per entry.
struct ListEntries {
  int result = -3;  // as IniFindKey with an empty key
  int firstLine = 0;
  int endLine = 0;
  std::vector<int> line;  // -1: no such entry
  std::vector<int> separator;
};

ListEntries FindListEntries(const StringList& list, std::string_view section, std::string_view key,
                            size_t limit) {
  ListEntries found;
  int unused = 0;
  found.result = IniFindKey(&list, section, std::string_view(), 0, found.firstLine, found.endLine, unused, 0);
  found.line.assign(limit, -1);
  found.separator.assign(limit, 0);
  if (found.firstLine < 0) return found;
  // Entry n's key is Trim(key + "#" + n): the key's left-trimmed text, "#"
  // and n in plain decimal.
  std::string prefix(TrimLeft(key));
  prefix.push_back('#');
  const auto& lines = list.Lines();
  for (int i = found.firstLine; i < found.endLine; ++i) {
    std::string_view keyPart;
    int sep = 0;
    if (!KeyPartOf(lines[static_cast<size_t>(i)].text, 0, keyPart, sep)) continue;
    if (keyPart.size() <= prefix.size() || !SameTextAscii(keyPart.substr(0, prefix.size()), prefix)) continue;
    const std::string_view digits = keyPart.substr(prefix.size());
    // Only the number's own spelling: no sign, no leading zero, and short
    // enough that it cannot overflow.
    if (digits.size() > 18 || (digits.size() > 1 && digits[0] == '0')) continue;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    size_t n = 0;
    for (char c : digits) n = n * 10 + static_cast<size_t>(c - '0');
    if (n >= limit || found.line[n] >= 0) continue;
    found.line[n] = i;
    found.separator[n] = sep;
  }
  return found;
}

}  // namespace

// ---------------------------------------------------------------- StringList

int StringList::Add(std::string text, std::intptr_t object) {
  lines_.push_back(Line{std::move(text), object});
  return Count() - 1;
}

void StringList::Insert(int i, std::string text, std::intptr_t object) {
  const int at = std::clamp(i, 0, Count());
  lines_.insert(lines_.begin() + at, Line{std::move(text), object});
}

void StringList::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  lines_.erase(lines_.begin() + i);
}

void StringList::DeleteRange(int first, int count) {
  if (first < 0 || count <= 0 || first >= Count()) return;
  const int last = std::min(Count(), first + std::min(count, Count()));
  lines_.erase(lines_.begin() + first, lines_.begin() + last);
}

int StringList::IndexOf(std::string_view text) const {
  for (int i = 0; i < Count(); ++i)
    if (lines_[static_cast<size_t>(i)].text == text) return i;
  return -1;
}

void StringList::SetText(std::string_view text) {
  lines_.clear();
  size_t estimate = 0;
  for (char c : text)
    if (c == '\n') ++estimate;
  lines_.reserve(estimate + 1);
  size_t start = 0;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines_.push_back(Line{std::string(text.substr(start, i - start)), 0});
      if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < n) lines_.push_back(Line{std::string(text.substr(start)), 0});
}

std::string StringList::Text() const {
  size_t total = 0;
  for (const Line& l : lines_) total += l.text.size() + 2;
  std::string out;
  out.reserve(total);
  for (const Line& l : lines_) {
    out += l.text;
    out += "\r\n";
  }
  return out;
}

void StringList::LoadFromFile(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) throw IniFileError("Cannot open file \"" + path + "\"");
  SetText(bytes);
}

bool StringList::SaveToFile(const std::string& path) const {
  return platform::SaveFileAtomically(ToFsPath(path), Text());
}

// ---------------------------------------------------------------- routines

int IniFindKey(const StringList* list, std::string_view section, std::string_view key, int nth, int& firstLine,
               int& endLine, int& separatorPos, int flags) {
  if (list == nullptr) return -3;
  const std::vector<StringList::Line>& lines = list->Lines();
  const int count = list->Count();
  firstLine = 0;
  endLine = count;
  int result = -2;
  const std::string_view name = Trim(section);
  if (name.empty()) {
    for (int i = 0; i < count; ++i) {
      if (StartsHeader(lines[static_cast<size_t>(i)].text)) {
        endLine = i;
        result = -1;
        break;
      }
    }
  } else {
    const std::string wanted = Bracketed(name);
    firstLine = -1;
    for (int i = 0; i < count; ++i) {
      const std::string& line = lines[static_cast<size_t>(i)].text;
      // Most lines are rejected by their first non-blank character alone.
      if (StartsHeader(line) && SameTextAscii(Trim(line), wanted)) {
        result = -1;
        firstLine = i + 1;
        break;
      }
    }
    if (result != -1) return -2;
    const bool firstColumn = (flags & ifkHeaderFirstColumn) != 0;
    for (int i = firstLine; i < count; ++i) {
      const std::string& line = lines[static_cast<size_t>(i)].text;
      if (firstColumn ? (!line.empty() && line.front() == '[') : StartsHeader(line)) {
        endLine = i;
        break;
      }
    }
  }

  const std::string_view wantedKey = Trim(key);
  if (wantedKey.empty()) return result;
  for (int i = firstLine; i < endLine; ++i) {
    std::string_view keyPart;
    if (!KeyPartOf(lines[static_cast<size_t>(i)].text, flags, keyPart, separatorPos)) continue;
    if (!SameTextAscii(keyPart, wantedKey)) continue;
    if (nth > 1) {
      --nth;
      continue;
    }
    return i;
  }
  return result;
}

Variant IniReadValue(const StringList* list, std::string_view section, std::string_view key,
                     const Variant& defaultValue, int type, int flags, int nth) {
  int first = 0, end = 0, sep = 0;
  const int at = IniFindKey(list, section, key, nth, first, end, sep, 0);
  if (at < 0) return defaultValue;
  if (type < 0) type = defaultValue.type();
  const std::string_view value = ValueOf((*list)[at], sep, flags);
  switch (KindOf(type)) {
    case VarKind::Integer:
      return Variant(TextToInt(value));
    case VarKind::Float:
      return Variant(TextToFloat(value));
    case VarKind::Currency:
      return Variant::CurrencyScaled(TextToCurrencyScaled(value));
    case VarKind::Text:
      return Variant(std::string(Trim(value)));
    case VarKind::Boolean:
      // Trimmed, so a padded "0" written before a kept comment reads false.
      return Variant(Trim(value) != "0");
    default:
      MsgBox(kBadType);
      return Variant();
  }
}

namespace {

std::string ValueText(const Variant& value) {
  switch (KindOf(value.type())) {
    case VarKind::Empty:
      return std::string();
    case VarKind::Integer:
      return std::to_string(value.AsInt64());
    case VarKind::Float:
      return FloatToText(value.AsDouble());
    case VarKind::Currency:
      return CurrencyToText(value.AsCurrencyScaled());
    case VarKind::Text:
      return OneLine(value.AsString());
    case VarKind::Boolean:
      return value.AsBool() ? "1" : "0";
    default:
      MsgBox(kBadType);
      return std::string();
  }
}

}  // namespace

int IniWriteValue(StringList* list, std::string_view section, std::string_view key, const Variant& value, int flags,
                  int nth) {
  int first = 0, end = 0, sep = 0;
  const int at = IniFindKey(list, section, key, nth, first, end, sep, 0);
  if (at == -3) return -1;
  const std::string text = ValueText(value);
  if (at >= 0) {
    std::string& line = (*list)[at];
    line = ReplacedValue(line, sep, text, flags);
    return at;
  }
  // A blank key could never be found again: every write would add a line.
  if (Trim(key).empty()) return -1;
  std::string fresh = OneLine(Trim(key));
  fresh += '=';
  fresh += text;
  const std::string_view name = Trim(section);
  if (at == -2 && !name.empty()) {
    list->Add(OneLine(Bracketed(name)));
    return list->Add(std::move(fresh));
  }
  if (end >= list->Count()) return list->Add(std::move(fresh));
  list->Insert(end, std::move(fresh));
  return end;
}

int IniReadList(const StringList* list, std::string_view section, std::string_view key, StringList* dest,
                int flags) {
  if (list == nullptr || dest == nullptr) return 0;
  // A list without gaps cannot have more entries than its section has lines.
  const ListEntries entries = FindListEntries(*list, section, key, static_cast<size_t>(list->Count()) + 1);
  // Read everything first: dest may be the list itself.
  std::vector<StringList::Line> found;
  for (size_t n = 0; n < entries.line.size() && entries.line[n] >= 0; ++n) {
    std::string text(Trim(ValueOf((*list)[entries.line[n]], entries.separator[n], 0)));
    if (text.empty()) break;
    std::intptr_t number = 0;
    if (flags & ilfNumbers) {
      size_t p = text.rfind('\x1f');
      while (p != std::string::npos) {
        number = TextToInt(Trim(std::string_view(text).substr(p + 1)));
        text = std::string(Trim(std::string_view(text).substr(0, p)));
        p = text.rfind('\x1f');
      }
    }
    found.push_back(StringList::Line{std::move(text), number});
  }
  for (auto& l : found) dest->Add(std::move(l.text), l.object);
  return static_cast<int>(found.size());
}

void IniWriteList(StringList* list, std::string_view section, std::string_view key, const StringList* source,
                  int flags) {
  if (list == nullptr || source == nullptr) return;
  // The source may be the list itself; take its items before writing.
  const std::vector<StringList::Line> items = source->Lines();
  // Entries at or above the item count that are left over from a longer
  // list are deleted while they follow each other without a gap.
  const size_t limit = items.size() + static_cast<size_t>(list->Count()) + 1;
  const ListEntries entries = FindListEntries(*list, section, key, limit);
  std::vector<StringList::Line> missing;
  for (size_t i = 0; i < items.size(); ++i) {
    std::string value = items[i].text;
    if ((flags & ilfNumbers) && items[i].object != 0) {
      value.push_back('\x1f');
      value += std::to_string(static_cast<long long>(items[i].object));
    }
    const std::string text = ValueText(Variant(std::move(value)));
    if (entries.line[i] >= 0) {
      std::string& line = (*list)[entries.line[i]];
      line = ReplacedValue(line, entries.separator[i], text, 0);
    } else {
      missing.push_back(StringList::Line{OneLine(Trim(ListKey(key, static_cast<long long>(i)))) + "=" + text, 0});
    }
  }
  std::vector<bool> drop;
  if (!(flags & ilfKeepHigher)) {
    drop.assign(static_cast<size_t>(list->Count()), false);
    for (size_t n = items.size(); n < limit && n < 10000000 && entries.line[n] >= 0; ++n)
      drop[static_cast<size_t>(entries.line[n])] = true;
  }
  // New entries go where single writes would put them, in order: before the
  // header that ends the section, or at the end of the list (a missing
  // named section gets its header first).
  auto& lines = list->Lines();
  const bool newSection = entries.result == -2 && !Trim(section).empty();
  std::vector<StringList::Line> out;
  out.reserve(lines.size() + missing.size() + 1);
  const size_t insertAt = newSection ? lines.size() : static_cast<size_t>(std::max(entries.endLine, 0));
  for (size_t i = 0; i <= lines.size(); ++i) {
    if (i == insertAt && !missing.empty()) {
      if (newSection) out.push_back(StringList::Line{OneLine(Bracketed(Trim(section))), 0});
      for (auto& m : missing) out.push_back(std::move(m));
    }
    if (i == lines.size()) break;
    if (!drop.empty() && drop[i]) continue;
    out.push_back(std::move(lines[i]));
  }
  lines = std::move(out);
}

int IniReadSection(const StringList* list, std::string_view section, StringList* dest, int flags) {
  if (dest != nullptr && !(flags & isfKeepDestination) && dest != list) dest->Clear();
  int first = 0, end = 0, sep = 0;
  const int at = IniFindKey(list, section, std::string_view(), 0, first, end, sep, 0);
  if (at != -1) {
    if (dest != nullptr && dest == list && !(flags & isfKeepDestination)) dest->Clear();
    return -1;
  }
  const auto& lines = list->Lines();
  std::vector<StringList::Line> copy(lines.begin() + first, lines.begin() + end);
  if (dest != nullptr) {
    if (dest == list && !(flags & isfKeepDestination)) dest->Clear();
    auto& out = dest->Lines();
    out.insert(out.end(), std::make_move_iterator(copy.begin()), std::make_move_iterator(copy.end()));
  }
  return end - first;
}

bool IniEraseSection(StringList* list, std::string_view section, int flags) {
  if (section.empty()) return true;
  int first = 0, end = 0, sep = 0;
  const int at = IniFindKey(list, section, std::string_view(), 0, first, end, sep, 0);
  if (!((at == -1 || at == -2) && first >= 0)) return false;
  int last = first;
  while (last < list->Count()) {
    const std::string_view t = TrimLeft((*list)[last]);
    if (!t.empty() && t.front() == '[') break;
    ++last;
  }
  list->DeleteRange(first, last - first);
  if ((flags & isfEraseHeader) && first >= 1) list->Delete(first - 1);
  return true;
}

int IniReadSectionNames(const StringList* list, StringList* dest, int firstLine, int flags, int lastLine) {
  if (list == nullptr) return -1;
  const int count = list->Count();
  if (firstLine < 0) firstLine = 0;
  if (lastLine < 0 || lastLine >= count) lastLine = count - 1;
  std::vector<StringList::Line> names;
  for (int i = firstLine; i <= lastLine; ++i) {
    const std::string_view line = (*list)[i];
    bool inside = false;
    bool accepted = false;
    for (char c : line) {
      if (IsBlank(c)) continue;
      if (!inside) {
        if (c != '[') break;
        inside = true;
      } else if (c == '[') {
        break;
      } else if (c == ']') {
        accepted = true;
        break;
      }
    }
    if (!accepted) continue;
    std::string_view t = Trim(line);
    t = Trim(t.substr(1, t.size() - 2));
    const size_t close = t.find(']');
    if (close != std::string_view::npos) t = Trim(t.substr(0, close));
    names.push_back(StringList::Line{std::string(t), i});
  }
  if (dest != nullptr) {
    if (!(flags & isfKeepDestination)) dest->Clear();
    for (auto& n : names) dest->Add(std::move(n.text), n.object);
  }
  return static_cast<int>(names.size());
}

}  // namespace foundation

#pragma once
// Ini text kept as the lines of a string list, and the eight routines that
// find, read, write and erase keys, numbered lists and whole sections in it.
// Lines are Windows-1252 bytes. The list index of a line (from 0) is the
// handle the routines return.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/variant.h"

namespace foundation {

// Raised when an ini file cannot be read (load errors propagate to callers).
class IniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An ordered list of text lines, each with an optional integer object (0 =
// none). The object carries a number (list entries, line indices of section
// names) or whatever a window chooses to attach.
class StringList {
 public:
  struct Line {
    std::string text;
    std::intptr_t object = 0;
  };

  StringList() = default;

  int Count() const { return static_cast<int>(lines_.size()); }
  bool Empty() const { return lines_.empty(); }

  // Index access; out-of-range indices are a programming error (checked).
  const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)).text; }
  std::string& operator[](int i) { return lines_.at(static_cast<size_t>(i)).text; }
  std::intptr_t Object(int i) const { return lines_.at(static_cast<size_t>(i)).object; }
  void SetObject(int i, std::intptr_t object) { lines_.at(static_cast<size_t>(i)).object = object; }

  int Add(std::string text, std::intptr_t object = 0);
  // Inserts before index i; i == Count() appends. Out of range is clamped.
  void Insert(int i, std::string text, std::intptr_t object = 0);
  void Delete(int i);
  // Deletes count lines from first on, as one move of the rest.
  void DeleteRange(int first, int count);
  void Clear() { lines_.clear(); }
  // Index of the first line equal to text (exact bytes), or -1.
  int IndexOf(std::string_view text) const;

  const std::vector<Line>& Lines() const { return lines_; }
  std::vector<Line>& Lines() { return lines_; }

  // Splits text into lines at CR LF, LF or CR; a last line without line end
  // is a line of its own; NUL bytes are ordinary characters. Objects are 0.
  void SetText(std::string_view text);
  // Every line followed by CR LF (an empty list gives no bytes).
  std::string Text() const;

  // Replaces the content with the file's lines. A missing or unreadable file
  // raises IniFileError.
  void LoadFromFile(const std::string& path);
  // Writes Text() to the file through a temporary file renamed over it;
  // false when that fails (the old file is then left whole).
  bool SaveToFile(const std::string& path) const;

 private:
  std::vector<Line> lines_;
};

// Key-search flags of IniFindKey.
enum IniFindFlags : int {
  ifkColonSeparator = 1,  // ":" separates as well as "="
  ifkHeaderFirstColumn = 2,  // a header ends a section only when "[" is its first character
  ifkIndentedKeys = 4,  // keys may be indented with blanks
  ifkBareKeys = 8,  // a line without separator is a key line whose key is the whole line
};

enum IniValueFlags : int {
  ivfWholeLine = 1,  // read: the value runs to the end of the line; write: drop an old comment
};

enum IniListFlags : int {
  ilfNumbers = 64,  // entries carry text, character 31 and a number (the item's object)
  ilfKeepHigher = 128,  // writing: keep stored entries beyond the source's count
};

enum IniSectionFlags : int {
  isfKeepDestination = 4,  // reading a section or section names: do not clear the destination
  isfEraseHeader = 1,  // erasing: delete the header line too
};

// Result: line index of the Nth matching key line; -1 section found but key
// missing (or key empty); -2 section missing; -3 no list.
int IniFindKey(const StringList* list, std::string_view section, std::string_view key, int nth,
               int& firstLine, int& endLine, int& separatorPos, int flags = 0);

// Missing key, missing section or no list give the default unchanged. A
// present value that is no number raises ConvertError. type -1: default's type.
Variant IniReadValue(const StringList* list, std::string_view section, std::string_view key,
                     const Variant& defaultValue, int type = varAny, int flags = 0, int nth = 0);

// Returns the index of the line written, or -1 with no list.
int IniWriteValue(StringList* list, std::string_view section, std::string_view key, const Variant& value,
                  int flags = 0, int nth = 0);

// Appends key#0, key#1, ... to dest (not cleared); returns how many.
int IniReadList(const StringList* list, std::string_view section, std::string_view key, StringList* dest,
                int flags = 0);

void IniWriteList(StringList* list, std::string_view section, std::string_view key, const StringList* source,
                  int flags = 0);

// Copies the section's lines (with their objects); -1 when missing.
int IniReadSection(const StringList* list, std::string_view section, StringList* dest, int flags = 0);

bool IniEraseSection(StringList* list, std::string_view section, int flags = 0);

// Names of the sections between firstLine and lastLine, each with its line
// index as object; -1 with no list. Negative lastLine: up to the end.
int IniReadSectionNames(const StringList* list, StringList* dest, int firstLine = 0, int flags = 0,
                        int lastLine = -1);

}  // namespace foundation

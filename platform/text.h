#pragma once
// The system's strings are 8-bit Windows-1252 bytes held in std::string; Qt
// speaks UTF-16. These two helpers are the only place the two meet.
#include <QString>
#include <string>
#include <string_view>

namespace platform {

QString toQString(std::string_view cp1252);
std::string fromQString(const QString& text);  // unmappable characters become '?'

// Latin-1 case folding on one byte (the fixed table the games use for
// "locale" folding, never the process locale).
unsigned char latin1Upper(unsigned char c);
unsigned char latin1Lower(unsigned char c);
// Equal with Latin-1 letters folded as above.
bool SameTextLatin1(std::string_view a, std::string_view b);

// ASCII letters only (a..z, A..Z); every other byte stays as it is.
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A blank of the stored texts: space and every control character (byte <= 32).
constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// The text without blanks at the start, at the end, or at both ends.
constexpr std::string_view TrimLeftBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}
constexpr std::string_view TrimRightBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}
constexpr std::string_view TrimBlanks(std::string_view s) { return TrimRightBlanks(TrimLeftBlanks(s)); }

}  // namespace platform

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

}  // namespace platform

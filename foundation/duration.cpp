#include "foundation/duration.h"

#include <algorithm>

namespace foundation {
namespace {

std::string TwoDigits(int64_t v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

std::string DurationToStr(int msDigits, int style, char separator, int64_t ms, char decimalSeparator) {
  if (ms < 0) ms = 0;
  const int64_t hours = ms / 3600000;
  const int64_t minutes = ms / 60000 % 60;
  const int64_t seconds = ms / 1000 % 60;
  const int64_t millis = ms % 1000;
  std::string out;
  if (style != 1) {
    if (hours != 0) out += std::to_string(hours) + " h ";
    if (minutes != 0 || !out.empty()) out += std::to_string(minutes) + " m ";
    if (seconds != 0 || !out.empty()) out += std::to_string(seconds) + " s ";
    out += std::to_string(millis) + " ms";
    return out;
  }
  if (ms == 0) return out;
  std::string fraction;
  const int n = std::clamp(msDigits, 0, 3);
  if (n > 0) {
    std::string three = std::to_string(millis);
    three.insert(0, 3 - three.size(), '0');
    fraction = three.substr(0, static_cast<size_t>(n));
  }
  if (hours != 0) {
    out += std::to_string(hours);
    out += separator;
  }
  if (!out.empty()) {
    out += TwoDigits(minutes);
    out += separator;
  } else if (minutes != 0) {
    out += std::to_string(minutes);
    out += separator;
  }
  if (!out.empty())
    out += TwoDigits(seconds);
  else if (seconds != 0)
    out += std::to_string(seconds);
  if (!fraction.empty()) {
    if (!out.empty()) out += decimalSeparator;
    out += fraction;
  }
  return out;
}

}  // namespace foundation

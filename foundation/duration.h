#pragma once
// Text of a duration given in milliseconds.
#include <cstdint>
#include <string>

namespace foundation {

// style 1: clock form ("1:02:03.456", empty for 0) with msDigits fraction
// digits (0 to 3), separator between fields and decimalSeparator before the
// fraction. Any other style: unit words ("1 h 2 m 3 s 456 ms").
// A negative duration is shown as 0.
std::string DurationToStr(int msDigits, int style, char separator, int64_t ms, char decimalSeparator);

}  // namespace foundation

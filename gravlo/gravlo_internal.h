#pragma once
// Helpers shared by the engine's source files; not for callers.
#include <cstdint>

#include "gravlo/gravlo.h"

namespace gravlo::detail {

inline constexpr int32_t kIntervalMin = 5;
inline constexpr int32_t kIntervalMax = 10000;

// Saturating narrowings: counters stop at their type's limits instead of
// wrapping.
int16_t Sat16(int64_t v);
int32_t Sat32(int64_t v);
// The drop interval's range: above 10000 becomes 10000, then below 5 becomes 5.
int32_t ClampInterval(int64_t v);

// A stored date-time (days since 1899-12-30, time as fraction) split into its
// parts, with the time rounded to whole milliseconds.
struct DateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, msec = 0;
};
DateTimeParts DecodeDateTime(double dateTime);

// Calls fn(cx, cy) with the board position of every set cell of `shape`
// placed with its box's top-left cell at (x, y), column by column, until fn
// returns false. Returns false when fn stopped the walk. Positions are 64-bit:
// a piece set far outside cannot overflow them.
template <class Fn>
bool ForEachSetCell(const Mask& shape, int32_t x, int32_t y, Fn&& fn) {
  for (int dx = 0; dx < 4; ++dx) {
    for (int dy = 0; dy < 4; ++dy) {
      if (!shape[static_cast<size_t>(dx * 4 + dy)]) continue;
      if (!fn(static_cast<int64_t>(x) + dx, static_cast<int64_t>(y) + dy)) return false;
    }
  }
  return true;
}

}  // namespace gravlo::detail

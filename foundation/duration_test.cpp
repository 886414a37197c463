#include "foundation/duration.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using foundation::DurationToStr;

TEST(DurationToStr, ClockForm) {
  EXPECT_EQ(DurationToStr(3, 1, ':', 3723456, '.'), "1:02:03.456");
  EXPECT_EQ(DurationToStr(3, 1, ':', 123456, '.'), "2:03.456");
  EXPECT_EQ(DurationToStr(3, 1, ':', 3456, '.'), "3.456");
  EXPECT_EQ(DurationToStr(3, 1, ':', 456, '.'), "456");
  EXPECT_EQ(DurationToStr(3, 1, ':', 3600005, '.'), "1:00:00.005");
  EXPECT_EQ(DurationToStr(0, 1, ':', 456, '.'), "");
  EXPECT_EQ(DurationToStr(0, 1, ':', 0, '.'), "");
  EXPECT_EQ(DurationToStr(3, 1, ':', 0, '.'), "");
  EXPECT_EQ(DurationToStr(1, 1, ':', 456, '.'), "4");
  EXPECT_EQ(DurationToStr(3, 1, ':', 5, '.'), "005");
  EXPECT_EQ(DurationToStr(9, 1, '-', 65005, ','), "1-05,005");  // more than 3 digits means 3
  EXPECT_EQ(DurationToStr(0, 1, ':', 60000, '.'), "1:00");
  EXPECT_EQ(DurationToStr(2, 1, ':', 36000000, '.'), "10:00:00.00");
  EXPECT_EQ(DurationToStr(0, 1, ':', 3600000LL * 1000, '.'), "1000:00:00");
}

TEST(DurationToStr, UnitWords) {
  EXPECT_EQ(DurationToStr(3, 0, ':', 3723456, '.'), "1 h 2 m 3 s 456 ms");
  EXPECT_EQ(DurationToStr(3, 0, ':', 61000, '.'), "1 m 1 s 0 ms");
  EXPECT_EQ(DurationToStr(3, 0, ':', 3600000, '.'), "1 h 0 m 0 s 0 ms");
  EXPECT_EQ(DurationToStr(0, 2, ':', 0, '.'), "0 ms");
  EXPECT_EQ(DurationToStr(0, 2, ':', 5001, '.'), "5 s 1 ms");
}

TEST(DurationToStr, NegativeDurationShowsAsZero) {
  EXPECT_EQ(DurationToStr(3, 0, ':', -1, '.'), "0 ms");
  EXPECT_EQ(DurationToStr(3, 1, ':', -5000, '.'), "");
  EXPECT_EQ(DurationToStr(3, 0, ':', std::numeric_limits<int64_t>::min(), '.'), "0 ms");
  EXPECT_FALSE(DurationToStr(3, 1, ':', std::numeric_limits<int64_t>::max(), '.').empty());
}

}  // namespace

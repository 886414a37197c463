#include "foundation/random.h"

#include <gtest/gtest.h>

namespace {

TEST(Random, FirstDrawsFromSeedZeroFollowTheRecurrence) {
  foundation::SetRandSeed(0);
  // seed 1, then 1*134775813+1 = 134775814, then 134775814*134775813+1 mod 2^32.
  EXPECT_EQ(foundation::Random(100), 0);  // (1 * 100) >> 32
  EXPECT_EQ(foundation::RandSeed(), 1u);
  EXPECT_EQ(foundation::Random(100), static_cast<int32_t>((134775814ull * 100) >> 32));
  EXPECT_EQ(foundation::RandSeed(), 134775814u);
  const uint32_t third = 134775814u * 134775813u + 1u;
  EXPECT_EQ(foundation::Random(52), static_cast<int32_t>((static_cast<uint64_t>(third) * 52) >> 32));
  EXPECT_EQ(foundation::RandSeed(), third);
}

TEST(Random, DrawsStayInRangeAndNonPositiveRangeGivesZero) {
  foundation::SetRandSeed(12345);
  for (int i = 0; i < 10000; ++i) {
    const int32_t v = foundation::Random(7);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 7);
  }
  const uint32_t before = foundation::RandSeed();
  EXPECT_EQ(foundation::Random(0), 0);
  EXPECT_EQ(foundation::Random(-5), 0);
  EXPECT_NE(foundation::RandSeed(), before);
  foundation::SetRandSeed(0xFFFFFFFFu);
  EXPECT_LT(foundation::Random(0x7FFFFFFF), 0x7FFFFFFF);
}

}  // namespace

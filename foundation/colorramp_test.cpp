#include "foundation/colorramp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>
#include <utility>

namespace {

std::tuple<int, int, int, int> At(int i) {
  const auto& c = foundation::ColourRamp.at(static_cast<size_t>(i));
  return {c.red, c.green, c.blue, c.unused};
}

TEST(ColourRamp, KeyEntriesAndSize) {
  foundation::BuildColourRamp();
  ASSERT_EQ(foundation::ColourRamp.size(), 1530u);
  EXPECT_EQ(At(0), std::make_tuple(255, 0, 0, 0));
  EXPECT_EQ(At(255), std::make_tuple(255, 255, 0, 0));
  EXPECT_EQ(At(256), std::make_tuple(254, 255, 0, 0));
  EXPECT_EQ(At(510), std::make_tuple(0, 255, 0, 0));
  EXPECT_EQ(At(765), std::make_tuple(0, 255, 255, 0));
  EXPECT_EQ(At(1020), std::make_tuple(0, 0, 255, 0));
  EXPECT_EQ(At(1275), std::make_tuple(255, 0, 255, 0));
  EXPECT_EQ(At(1276), std::make_tuple(255, 0, 254, 0));
  EXPECT_EQ(At(1529), std::make_tuple(255, 0, 1, 0));
  const auto& k = foundation::ColourRampKeys;
  EXPECT_EQ(k.yellow, 255);
  EXPECT_EQ(k.cyan, 765);
  EXPECT_EQ(k.magenta, 1275);
  EXPECT_EQ(k.last, 1529);
  EXPECT_EQ(k.beforeRed, -1);
  EXPECT_EQ(k.beforeGreen, 509);
  // The pure colours lie at their keys, each key one past the one before it.
  const std::pair<int, int> keys[] = {{k.red, k.beforeRed},   {k.yellow, k.beforeYellow}, {k.green, k.beforeGreen},
                                      {k.cyan, k.beforeCyan}, {k.blue, k.beforeBlue},     {k.magenta, k.beforeMagenta},
                                      {k.last, k.beforeLast}};
  for (const auto& [key, before] : keys) EXPECT_EQ(before, key - 1) << key;
  EXPECT_EQ(At(k.green), std::make_tuple(0, 255, 0, 0));
  EXPECT_EQ(At(k.blue), std::make_tuple(0, 0, 255, 0));
  EXPECT_EQ(At(k.yellow), At(255));
  // Building again gives the same table.
  foundation::BuildColourRamp();
  EXPECT_EQ(foundation::ColourRamp.size(), 1530u);
}

TEST(ColourRamp, EveryEntryIsSaturatedDistinctAndOneStepFromItsNeighbour) {
  foundation::BuildColourRamp();
  std::set<std::tuple<int, int, int, int>> seen;
  for (int i = 0; i < 1530; ++i) {
    const auto [r, g, b, u] = At(i);
    EXPECT_EQ(std::max({r, g, b}), 255) << i;
    EXPECT_EQ(std::min({r, g, b}), 0) << i;
    seen.insert(At(i));
    const auto [r2, g2, b2, u2] = At((i + 1) % 1530);
    EXPECT_EQ(std::abs(r - r2) + std::abs(g - g2) + std::abs(b - b2), 1) << i;
  }
  EXPECT_EQ(seen.size(), 1530u);
}

}  // namespace

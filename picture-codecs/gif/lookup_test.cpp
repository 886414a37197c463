// Fixed palettes and colour lookups: the web cube and its rounding, the grey
// and black-and-white thresholds, the cached lookup's shared cells, tie rule
// and bounds, and the exact lookup against a search of the whole palette.
#include "picture-codecs/gif/lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "picture-codecs/gif/colour_types.h"
#include "picture-codecs/gif/palettes.h"

namespace gif {
namespace {

using platform::Color;
using platform::Palette;
using platform::RGBColor;

struct Mapped {
  int index;
  Color colour;
};

Mapped Map(TColorLookup& lookup, int r, int g, int b) {
  std::uint8_t orr, og, ob;
  const int index = lookup.MapColour(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                     static_cast<std::uint8_t>(b), orr, og, ob);
  return {index, RGBColor(orr, og, ob)};
}

TEST(Palettes, FixedContents) {
  const Palette web = WebSafePalette();
  ASSERT_EQ(web.size(), 216u);
  EXPECT_EQ(web[0], RGBColor(0, 0, 0));
  EXPECT_EQ(web[1], RGBColor(0, 0, 51));
  EXPECT_EQ(web[6], RGBColor(0, 51, 0));
  EXPECT_EQ(web[36], RGBColor(51, 0, 0));
  EXPECT_EQ(web[2 * 36 + 3 * 6 + 4], RGBColor(102, 153, 204));
  EXPECT_EQ(web[215], RGBColor(255, 255, 255));
  EXPECT_EQ(std::set<Color>(web.begin(), web.end()).size(), 216u);

  const Palette grey = GreyRampPalette();
  ASSERT_EQ(grey.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(grey[static_cast<std::size_t>(i)], RGBColor(i, i, i));
  EXPECT_EQ(FourGreyPalette(), (Palette{RGBColor(0, 0, 0), RGBColor(128, 128, 128), RGBColor(192, 192, 192),
                                        RGBColor(255, 255, 255)}));
  EXPECT_EQ(TwoTonePalette(), (Palette{RGBColor(0, 0, 0), RGBColor(255, 255, 255)}));

  const Palette system = SystemColorPalette();
  ASSERT_EQ(system.size(), static_cast<std::size_t>(kSystemColorCount));
  EXPECT_EQ(system.front(), RGBColor(0, 0, 0));
  EXPECT_EQ(system.back(), RGBColor(255, 255, 255));
  EXPECT_EQ(std::set<Color>(system.begin(), system.end()).size(), 20u);
}

TEST(Palettes, HalftoneHoldsSystemColoursAtBothEndsAndTheWebCube) {
  const Palette half = ScreenHalftonePalette();
  const Palette system = SystemColorPalette();
  ASSERT_EQ(half.size(), 256u);
  EXPECT_TRUE(std::equal(system.begin(), system.begin() + 10, half.begin()));
  EXPECT_TRUE(std::equal(system.begin() + 10, system.end(), half.end() - 10));
  const Palette web = WebSafePalette();
  EXPECT_TRUE(std::equal(web.begin(), web.end(), half.begin() + 10));
  // The twenty extra greys are greys, none of them a web-safe one.
  for (std::size_t i = 226; i < 246; ++i) {
    const Color c = half[i];
    EXPECT_EQ(platform::GetRValue(c), platform::GetGValue(c));
    EXPECT_EQ(platform::GetRValue(c), platform::GetBValue(c));
    EXPECT_NE(platform::GetRValue(c) % 51, 0) << i;
  }
}

TEST(NetscapeLookup, RoundsEachChannelToTheNearestLevel) {
  TNetscapeColorLookup lookup;
  EXPECT_EQ(lookup.ColourCount(), 216);
  // The boundary between two levels lies half way: 25 is nearer 0, 26
  // nearer 51. Rounding down would make every picture darker.
  EXPECT_EQ(Map(lookup, 25, 0, 0).index, 0);
  EXPECT_EQ(Map(lookup, 26, 0, 0).index, 36);
  EXPECT_EQ(Map(lookup, 47, 0, 0).index, 36);
  EXPECT_EQ(Map(lookup, 0, 230, 0).index, 5 * 6);
  EXPECT_EQ(Map(lookup, 0, 229, 0).index, 4 * 6);
  EXPECT_EQ(Map(lookup, 255, 255, 255).index, 215);
  EXPECT_EQ(Map(lookup, 255, 255, 255).colour, RGBColor(255, 255, 255));
  EXPECT_EQ(Map(lookup, 252, 0, 0).index, 5 * 36);

  // Every value: the level chosen is the nearest one, and the index names
  // that colour in the web palette.
  const Palette web = WebSafePalette();
  for (int v = 0; v < 256; ++v) {
    const Mapped m = Map(lookup, v, 255 - v, (v * 7) & 0xFF);
    ASSERT_LT(m.index, 216);
    EXPECT_EQ(web[static_cast<std::size_t>(m.index)], m.colour);
    EXPECT_LE(std::abs(platform::GetRValue(m.colour) - v), 25) << v;
    EXPECT_LE(std::abs(platform::GetGValue(m.colour) - (255 - v)), 25) << v;
  }
}

TEST(GreyAndMonochromeLookups, Thresholds) {
  TGrayScaleLookup grey;
  EXPECT_EQ(grey.ColourCount(), 256);
  EXPECT_EQ(Map(grey, 255, 255, 255).index, 255);
  EXPECT_EQ(Map(grey, 0, 0, 0).index, 0);
  // (255 * 77) >> 8 = 76; (255 * 150) >> 8 = 149; (255 * 29) >> 8 = 28.
  EXPECT_EQ(Map(grey, 255, 0, 0).index, 76);
  EXPECT_EQ(Map(grey, 0, 255, 0).index, 149);
  EXPECT_EQ(Map(grey, 0, 0, 255).index, 28);
  EXPECT_EQ(Map(grey, 0, 255, 0).colour, RGBColor(149, 149, 149));
  for (int v = 0; v < 256; ++v) EXPECT_EQ(Map(grey, v, v, v).index, v);

  TMonochromeLookup mono;
  EXPECT_EQ(mono.ColourCount(), 2);
  EXPECT_EQ(Map(mono, 127, 127, 127).index, 0);  // 32512: not above the threshold
  EXPECT_EQ(Map(mono, 127, 127, 127).colour, RGBColor(0, 0, 0));
  EXPECT_EQ(Map(mono, 128, 128, 128).index, 1);
  EXPECT_EQ(Map(mono, 128, 128, 128).colour, RGBColor(255, 255, 255));
  EXPECT_EQ(Map(mono, 255, 0, 0).index, 0);    // 19635
  EXPECT_EQ(Map(mono, 0, 255, 0).index, 1);    // 38250
  EXPECT_EQ(Map(mono, 255, 0, 255).index, 0);  // 27030
}

TEST(FastLookup, ColoursOfOneCellShareTheFirstAnswer) {
  const Palette palette{RGBColor(0, 0, 0), RGBColor(100, 100, 100)};
  // (48, 48, 48) and (55, 55, 55) lie in one 8 x 8 x 8 cell. On its own
  // (48, 48, 48) is nearer black (144 against 156) and (55, 55, 55) nearer
  // the grey (165 against 135): whichever comes first decides for both.
  {
    TFastColorLookup lookup(palette);
    EXPECT_EQ(Map(lookup, 55, 55, 55).index, 1);
    EXPECT_EQ(Map(lookup, 48, 48, 48).index, 1);
    EXPECT_EQ(Map(lookup, 48, 48, 48).colour, RGBColor(100, 100, 100));
  }
  {
    TFastColorLookup lookup(palette);
    EXPECT_EQ(Map(lookup, 48, 48, 48).index, 0);
    EXPECT_EQ(Map(lookup, 55, 55, 55).index, 0);
  }
  // Palette entries seed their own cells, the lowest index first.
  TFastColorLookup seeded({RGBColor(200, 200, 200), RGBColor(201, 201, 201), RGBColor(202, 0, 0)});
  EXPECT_EQ(Map(seeded, 201, 201, 201).index, 0);
  EXPECT_EQ(Map(seeded, 207, 207, 207).index, 0);
  EXPECT_EQ(Map(seeded, 203, 3, 5).index, 2);
  EXPECT_EQ(TFastColorLookup::CacheKey(8, 16, 24), 3 * 1024 + 2 * 32 + 1);
}

TEST(FastLookup, TiesGoToTheLowestIndex) {
  // (5, 5, 0) is 10 away from both entries under the sum of differences.
  TFastColorLookup a({RGBColor(10, 0, 0), RGBColor(0, 10, 0)});
  EXPECT_EQ(Map(a, 5, 5, 0).index, 0);
  EXPECT_EQ(Map(a, 5, 5, 0).colour, RGBColor(10, 0, 0));
  TFastColorLookup b({RGBColor(0, 10, 0), RGBColor(10, 0, 0)});
  EXPECT_EQ(Map(b, 5, 5, 0).index, 0);
  EXPECT_EQ(Map(b, 5, 5, 0).colour, RGBColor(0, 10, 0));
  // The sum of differences, not the squared distance: (0, 0, 0) is 90 from
  // (30, 30, 30) and 80 from (80, 0, 0); squared it would be the other way.
  TFastColorLookup c({RGBColor(30, 30, 30), RGBColor(80, 0, 0)});
  EXPECT_EQ(Map(c, 0, 0, 0).index, 1);
}

TEST(FastLookup, FirstVisitOfACellFindsTheNearestEntry) {
  std::mt19937 rng(99);
  Palette palette;
  for (int i = 0; i < 40; ++i) palette.push_back(rng() & 0xFFFFFF);
  TFastColorLookup lookup(palette);
  std::set<int> cells;
  for (const Color c : palette)
    cells.insert(TFastColorLookup::CacheKey(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c)));
  int checked = 0;
  for (int i = 0; i < 5000; ++i) {
    const Color c = rng() & 0xFFFFFF;
    const int r = platform::GetRValue(c), g = platform::GetGValue(c), b = platform::GetBValue(c);
    if (!cells.insert(TFastColorLookup::CacheKey(r, g, b)).second) continue;  // cell already answered
    int best = 0, bestDistance = 1 << 30;
    for (std::size_t k = 0; k < palette.size(); ++k) {
      const int d = std::abs(platform::GetRValue(palette[k]) - r) + std::abs(platform::GetGValue(palette[k]) - g) +
                    std::abs(platform::GetBValue(palette[k]) - b);
      if (d < bestDistance) {
        bestDistance = d;
        best = static_cast<int>(k);
      }
    }
    EXPECT_EQ(Map(lookup, r, g, b).index, best);
    ++checked;
  }
  EXPECT_GT(checked, 4000);
}

// What the exact lookup must answer: the whole palette searched for the
// smallest squared distance, the lowest index on a tie.
int BruteForceNearest(const Palette& palette, int r, int g, int b) {
  int best = 0, bestDistance = 1 << 30;
  for (std::size_t k = 0; k < std::min<std::size_t>(palette.size(), 256); ++k) {
    const int dr = platform::GetRValue(palette[k]) - r, dg = platform::GetGValue(palette[k]) - g,
              db = platform::GetBValue(palette[k]) - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(k);
    }
  }
  return best;
}

TEST(ExactLookup, AnswersAsASearchOfTheWholePalette) {
  std::mt19937 rng(31);
  std::vector<Palette> palettes;
  for (const int size : {1, 2, 3, 17, 100, 256}) {
    Palette p;
    for (int i = 0; i < size; ++i) p.push_back(rng() & 0xFFFFFF);
    palettes.push_back(p);
  }
  // Clustered colours (many candidates per cell), duplicates, and a grid
  // on which many colours lie at equal distances from several entries.
  Palette clustered;
  for (int i = 0; i < 256; ++i)
    clustered.push_back(RGBColor(100 + static_cast<int>(rng() % 24), 60 + static_cast<int>(rng() % 24),
                                 200 + static_cast<int>(rng() % 24)));
  palettes.push_back(clustered);
  Palette grid;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) grid.push_back(RGBColor(r * 50 + 2, g * 50 + 2, b * 50 + 2));
  grid.push_back(grid[7]);
  grid.insert(grid.begin(), grid[40]);
  palettes.push_back(grid);
  for (const Palette& palette : palettes) {
    TExactColorLookup lookup(palette);
    ASSERT_EQ(lookup.ColourCount(), static_cast<int>(palette.size()));
    auto check = [&](int r, int g, int b) {
      const Mapped m = Map(lookup, r, g, b);
      const int expected = BruteForceNearest(palette, r, g, b);
      ASSERT_EQ(m.index, expected) << palette.size() << " colours, (" << r << ", " << g << ", " << b << ")";
      ASSERT_EQ(m.colour, palette[static_cast<std::size_t>(expected)]);
    };
    for (int i = 0; i < 40000; ++i) {
      const Color c = rng() & 0xFFFFFF;
      check(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
    }
    // Every colour of some whole cells, corners and edges of the cube
    // among them.
    for (const int cell : {0, 31, 32767, 12345, 20000})
      for (int v = 0; v < 512; ++v)
        check((cell & 31) * 8 + (v & 7), ((cell >> 5) & 31) * 8 + ((v >> 3) & 7), (cell >> 10) * 8 + (v >> 6));
  }
  // The grid's ties: (27, 2, 2) lies 25 from both (2, 2, 2) and (52, 2, 2);
  // the lowest index wins, here the copy inserted at 0 comes first only for
  // its own colour.
  TExactColorLookup lookup(grid);
  EXPECT_EQ(Map(lookup, 27, 2, 2).index, BruteForceNearest(grid, 27, 2, 2));
  EXPECT_EQ(Map(lookup, 27, 2, 2).index, 1);
  EXPECT_EQ(Map(lookup, platform::GetRValue(grid[0]), platform::GetGValue(grid[0]), platform::GetBValue(grid[0])).index,
            0);
}

TEST(ExactLookup, ColoursOfOneCellAreAnsweredEachOnItsOwn) {
  // Where the fast lookup lets (48, 48, 48) and (55, 55, 55) share the
  // first answer of their cell, the exact one answers each: black for the
  // first, the grey for the second, in either order; the cell searches no
  // more entries than those two.
  const Palette palette{RGBColor(0, 0, 0), RGBColor(100, 100, 100), RGBColor(250, 250, 250)};
  for (const bool greyFirst : {false, true}) {
    TExactColorLookup lookup(palette);
    if (greyFirst) {
      EXPECT_EQ(Map(lookup, 55, 55, 55).index, 1);
    }
    EXPECT_EQ(Map(lookup, 48, 48, 48).index, 0);
    EXPECT_EQ(Map(lookup, 55, 55, 55).index, 1);
    EXPECT_EQ(lookup.CandidatesOf(50, 50, 50), (std::vector<int>{0, 1}));
  }
  // An entry beaten everywhere in a cell is not searched there: far from
  // the cell of (0..7, 0..7, 0..7), white never comes near black.
  TExactColorLookup lookup(palette);
  EXPECT_EQ(lookup.CandidatesOf(3, 3, 3), (std::vector<int>{0}));
  // Ties go to the lowest index: (5, 5, 0) lies 50 from both entries.
  TExactColorLookup a({RGBColor(10, 0, 0), RGBColor(0, 10, 0)});
  EXPECT_EQ(Map(a, 5, 5, 0).index, 0);
  TExactColorLookup b({RGBColor(0, 10, 0), RGBColor(10, 0, 0)});
  EXPECT_EQ(Map(b, 5, 5, 0).index, 0);
  EXPECT_EQ(Map(b, 5, 5, 0).colour, RGBColor(0, 10, 0));
}

// The palettes that can go wrong, for both lookups that keep a palette.
template <typename Lookup>
class CachedLookup : public ::testing::Test {};
using CachedLookups = ::testing::Types<TFastColorLookup, TExactColorLookup>;
TYPED_TEST_SUITE(CachedLookup, CachedLookups);

TYPED_TEST(CachedLookup, EmptyAndOversizedPalettes) {
  TypeParam empty(Palette{});
  EXPECT_EQ(empty.ColourCount(), 0);
  std::uint8_t r, g, b;
  try {
    empty.MapColour(1, 2, 3, r, g, b);
    FAIL() << "mapped with no colours";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Palette has no colours");
  }

  Palette big(300, RGBColor(1, 1, 1));
  big[299] = RGBColor(0, 0, 0);  // beyond the 256 entries taken
  TypeParam lookup(big);
  EXPECT_EQ(lookup.ColourCount(), 256);
  EXPECT_EQ(Map(lookup, 0, 0, 0).colour, RGBColor(1, 1, 1));
}

TYPED_TEST(CachedLookup, SmallPalettesNeverGiveAnIndexBeyondThem) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 200; ++round) {
    Palette palette;
    for (int i = 0; i < 3; ++i) palette.push_back(rng() & 0xFFFFFF);
    TypeParam lookup(palette);
    ASSERT_EQ(lookup.ColourCount(), 3);
    for (int i = 0; i < 300; ++i) {
      const Color c = rng() & 0xFFFFFF;
      const int r = platform::GetRValue(c), g = platform::GetGValue(c), b = platform::GetBValue(c);
      const Mapped m = Map(lookup, r, g, b);
      ASSERT_LT(m.index, 3);
      ASSERT_GE(m.index, 0);
      EXPECT_EQ(m.colour, palette[static_cast<std::size_t>(m.index)]);
    }
  }
}

}  // namespace
}  // namespace gif

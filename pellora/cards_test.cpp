#include "pellora/cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "pellora-lib/shrink.h"

using platform::Bitmap;
using platform::Color;
using platform::PixelFormat;

namespace {

constexpr Color kKey = platform::RGBColor(248, 248, 0);

const std::vector<Bitmap>& Pictures() {
  static const std::vector<Bitmap> pictures = pellora::MakeCardPictures();
  return pictures;
}

struct Rgb {
  int r, g, b;
};

Rgb At(const Bitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

bool IsRedInk(Rgb c) { return c.r > 150 && c.g < 90 && c.b < 110; }
bool IsBlackInk(Rgb c) { return c.r < 70 && c.g < 70 && c.b < 80; }

// Pixels of the given ink in the rectangle [x0, x1) x [y0, y1).
int CountInk(const Bitmap& b, int x0, int y0, int x1, int y1, bool (*ink)(Rgb)) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += ink(At(b, x, y)) ? 1 : 0;
  return n;
}

// Separate blobs of the ink inside the rectangle (8-connected).
int CountBlobs(const Bitmap& b, int x0, int y0, int x1, int y1, bool (*ink)(Rgb)) {
  const int w = x1 - x0, h = y1 - y0;
  std::vector<int> seen(static_cast<size_t>(w * h), 0);
  int blobs = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (seen[static_cast<size_t>(y * w + x)] || !ink(At(b, x0 + x, y0 + y))) continue;
      ++blobs;
      std::vector<std::pair<int, int>> stack{{x, y}};
      seen[static_cast<size_t>(y * w + x)] = 1;
      while (!stack.empty()) {
        const auto [cx, cy] = stack.back();
        stack.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = cx + dx, ny = cy + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || seen[static_cast<size_t>(ny * w + nx)]) continue;
            if (!ink(At(b, x0 + nx, y0 + ny))) continue;
            seen[static_cast<size_t>(ny * w + nx)] = 1;
            stack.push_back({nx, ny});
          }
      }
    }
  return blobs;
}

bool IsRedSuit(int code) {
  const int suit = (code - 1) / 13;  // clubs, diamonds, hearts, spades
  return suit == 1 || suit == 2;
}

}  // namespace

TEST(CardPictures, FiftySevenOpaquePicturesOfCardSize) {
  const auto& pictures = Pictures();
  ASSERT_EQ(pictures.size(), 57u);
  for (size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(pictures[i].Width(), 71);
    EXPECT_EQ(pictures[i].Height(), 96);
    EXPECT_EQ(pictures[i].GetPixelFormat(), PixelFormat::Bit24);
    // The corners outside the rounded outline are the table's colour, not a
    // see-through colour.
    for (auto [x, y] : {std::pair{0, 0}, {70, 0}, {0, 95}, {70, 95}})
      EXPECT_EQ(pictures[i].Pixel(x, y), pellora::kCardTableColour) << x << "," << y;
  }
}

TEST(CardPictures, NeverTheKeyColourNotEvenScaled) {
  const auto& pictures = Pictures();
  for (size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE(i);
    int lowestBlue = 255;
    for (int y = 0; y < 96; ++y)
      for (int x = 0; x < 71; ++x) {
        ASSERT_NE(pictures[i].Pixel(x, y), kKey) << x << "," << y;
        lowestBlue = std::min(lowestBlue, At(pictures[i], x, y).b);
      }
    // Area averages of pixels that all have some blue have some blue too.
    EXPECT_GE(lowestBlue, pellora::kCardMinBlue);
    for (auto [w, h] : {std::pair{55, 75}, {36, 49}, {150, 203}, {300, 400}}) {
      Bitmap scaled = pictures[i];
      pellora::ShrinkBitmap(scaled, w, h);
      ASSERT_EQ(scaled.Width(), w);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_NE(scaled.Pixel(x, y), kKey) << w << "x" << h << " " << x << "," << y;
    }
  }
}

TEST(CardPictures, EveryPictureDiffersAndEveryCallGivesTheSame) {
  const auto& pictures = Pictures();
  for (size_t a = 0; a < pictures.size(); ++a)
    for (size_t b = a + 1; b < pictures.size(); ++b)
      EXPECT_FALSE(SamePixels(pictures[a], pictures[b])) << a << " and " << b;
  // The removals slot is told from an empty slot at a glance: a good share of
  // its pixels differ.
  int differ = 0;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 71; ++x)
      differ += pictures[pellora::kPicEmptySlot].Pixel(x, y) != pictures[pellora::kPicEmptyRemovals].Pixel(x, y);
  EXPECT_GT(differ, 71 * 96 / 20);

  const std::vector<Bitmap> again = pellora::MakeCardPictures();
  ASSERT_EQ(again.size(), pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i) EXPECT_TRUE(SamePixels(again[i], pictures[i])) << i;
}

TEST(CardPictures, HeartsAndDiamondsRedSpadesAndClubsBlack) {
  const auto& pictures = Pictures();
  for (int code = 1; code <= 52; ++code) {
    SCOPED_TRACE(code);
    const Bitmap& card = pictures[static_cast<size_t>(code)];
    // The index in the top-left corner, left of a court card's frame.
    const int red = CountInk(card, 1, 2, 15, 28, IsRedInk);
    const int black = CountInk(card, 1, 2, 15, 28, IsBlackInk);
    if (IsRedSuit(code)) {
      EXPECT_GT(red, 40);
      EXPECT_EQ(black, 0);
    } else {
      EXPECT_GT(black, 40);
      EXPECT_EQ(red, 0);
    }
  }
  // The back, the slots, the empty card and the blank carry no suit ink.
  for (int code : {0, 54, 55, 56}) {
    EXPECT_EQ(CountInk(pictures[static_cast<size_t>(code)], 0, 0, 71, 96, IsRedInk), 0) << code;
    EXPECT_EQ(CountInk(pictures[static_cast<size_t>(code)], 0, 0, 71, 96, IsBlackInk), 0) << code;
  }
}

TEST(CardPictures, IndexRepeatsTurnedInTheOppositeCorner) {
  const auto& pictures = Pictures();
  for (int code = 1; code <= 52; ++code) {
    SCOPED_TRACE(code);
    const Bitmap& card = pictures[static_cast<size_t>(code)];
    int worst = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 15; ++x) {
        const Rgb a = At(card, x, y), b = At(card, 70 - x, 95 - y);
        worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      }
    EXPECT_LE(worst, 12);
  }
}

TEST(CardPictures, NumberCardsShowAsManyPipsAsTheirRank) {
  const auto& pictures = Pictures();
  for (int code = 1; code <= 52; ++code) {
    const int rank = (code - 1) % 13 + 1;
    if (rank < 2 || rank > 10) continue;
    // The pips stand between the two indices.
    EXPECT_EQ(CountBlobs(pictures[static_cast<size_t>(code)], 15, 6, 56, 90, IsRedSuit(code) ? IsRedInk : IsBlackInk),
              rank)
        << code;
  }
}

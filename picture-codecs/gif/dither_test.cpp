// Dithering engines: the serpentine walk, constant output for colours in the
// palette, the share of white that diffusion gives a grey through black and
// white, one engine followed by hand, the row walk against the pixel walk,
// and refused settings.
#include "picture-codecs/gif/dither.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "picture-codecs/gif/palettes.h"
#include "picture-codecs/gif/photo_sample.h"

namespace gif {
namespace {

using platform::RGBColor;

constexpr DitherMode kAllModes[] = {DitherMode::Nearest,    DitherMode::FloydSteinberg, DitherMode::Stucki,
                                    DitherMode::Sierra,     DitherMode::JaJuNi,         DitherMode::SteveArche,
                                    DitherMode::Burkes};
constexpr DitherMode kDiffusingModes[] = {DitherMode::FloydSteinberg, DitherMode::Stucki, DitherMode::Sierra,
                                          DitherMode::JaJuNi,         DitherMode::SteveArche, DitherMode::Burkes};

struct Rgb {
  std::uint8_t r, g, b;
};

// Drives an engine over a picture given as a function of (x, y), the way
// colour reduction does; the indices row by row.
template <typename Pixel>
std::vector<std::vector<int>> Drive(TDitherEngine& engine, int width, int height, Pixel pixel) {
  std::vector<std::vector<int>> out(static_cast<std::size_t>(height), std::vector<int>(static_cast<std::size_t>(width), -1));
  std::uint8_t r, g, b;
  for (int y = 0; y < height; ++y) {
    int visited = 0;
    while (engine.Position() >= 0 && engine.Position() < width) {
      const int x = engine.Position();
      const Rgb c = pixel(x, y);
      out[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = engine.DitherPixel(c.r, c.g, c.b, r, g, b);
      ++visited;
    }
    EXPECT_EQ(visited, width);
    engine.NextRow();
  }
  return out;
}

TEST(DitherEngines, SerpentineWalk) {
  TMonochromeLookup mono;
  for (const DitherMode mode : kAllModes) {
    auto engine = CreateDitherEngine(mode, 5, mono);
    EXPECT_EQ(engine->Step(), 1);
    EXPECT_EQ(engine->Position(), 0);
    EXPECT_EQ(engine->RowWidth(), 5);
    std::uint8_t r, g, b;
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
      seen.push_back(engine->Position());
      engine->DitherPixel(10, 10, 10, r, g, b);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
    engine->NextRow();
    EXPECT_EQ(engine->Step(), -1);
    EXPECT_EQ(engine->Position(), 4);
    seen.clear();
    for (int i = 0; i < 5; ++i) {
      seen.push_back(engine->Position());
      engine->DitherPixel(10, 10, 10, r, g, b);
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 3, 2, 1, 0}));
    engine->NextRow();
    EXPECT_EQ(engine->Step(), 1);
    EXPECT_EQ(engine->Position(), 0);
  }
}

TEST(DitherEngines, ColourInThePaletteStaysConstant) {
  TNetscapeColorLookup web;
  std::mt19937 rng(5);
  platform::Palette palette;
  for (int i = 0; i < 30; ++i) palette.push_back(rng() & 0xFFFFFF);
  const platform::Color chosen = palette[17];
  for (const DitherMode mode : kAllModes) {
    for (const int width : {1, 2, 7}) {
      auto a = CreateDitherEngine(mode, width, web);
      for (const auto& row : Drive(*a, width, 6, [](int, int) { return Rgb{51, 204, 153}; }))
        for (const int index : row) EXPECT_EQ(index, 1 * 36 + 4 * 6 + 3) << static_cast<int>(mode) << " " << width;

      TFastColorLookup fresh(palette);
      auto b = CreateDitherEngine(mode, width, fresh);
      const Rgb c{static_cast<std::uint8_t>(platform::GetRValue(chosen)),
                  static_cast<std::uint8_t>(platform::GetGValue(chosen)),
                  static_cast<std::uint8_t>(platform::GetBValue(chosen))};
      for (const auto& row : Drive(*b, width, 6, [&](int, int) { return c; }))
        for (const int index : row) EXPECT_EQ(index, 17) << static_cast<int>(mode) << " " << width;
    }
  }
}

double WhiteShare(DitherMode mode, int grey, int width, int height) {
  TMonochromeLookup mono;
  auto engine = CreateDitherEngine(mode, width, mono);
  const auto g = static_cast<std::uint8_t>(grey);
  long white = 0;
  for (const auto& row : Drive(*engine, width, height, [&](int, int) { return Rgb{g, g, g}; }))
    for (const int index : row) white += index;
  return static_cast<double>(white) / (static_cast<double>(width) * height);
}

TEST(DitherEngines, DiffusionKeepsTheMeanGrey) {
  // Grey 100 through black and white: 100 / 255 = 39.2 % white.
  for (const DitherMode mode : kDiffusingModes) {
    EXPECT_NEAR(WhiteShare(mode, 100, 64, 64), 100.0 / 255, 0.02) << static_cast<int>(mode);
    EXPECT_NEAR(WhiteShare(mode, 100, 301, 37), 100.0 / 255, 0.02) << static_cast<int>(mode);
    EXPECT_NEAR(WhiteShare(mode, 30, 64, 64), 30.0 / 255, 0.02) << static_cast<int>(mode);
    EXPECT_NEAR(WhiteShare(mode, 220, 64, 64), 220.0 / 255, 0.02) << static_cast<int>(mode);
  }
  // Without diffusion every pixel is black.
  EXPECT_EQ(WhiteShare(DitherMode::Nearest, 100, 64, 64), 0.0);
}

TEST(DitherEngines, DiffusionOfColoursKeepsTheMeanColour) {
  // A smooth colour ramp through the web cube: the mean of what comes out
  // stays within a level's fraction of the mean that went in.
  for (const DitherMode mode : kDiffusingModes) {
    TNetscapeColorLookup web;
    auto engine = CreateDitherEngine(mode, 128, web);
    double inSum[3] = {0, 0, 0}, outSum[3] = {0, 0, 0};
    std::uint8_t r, g, b;
    for (int y = 0; y < 64; ++y) {
      while (engine->Position() >= 0 && engine->Position() < 128) {
        const int x = engine->Position();
        const Rgb c{static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 4), static_cast<std::uint8_t>(77)};
        engine->DitherPixel(c.r, c.g, c.b, r, g, b);
        inSum[0] += c.r, inSum[1] += c.g, inSum[2] += c.b;
        outSum[0] += r, outSum[1] += g, outSum[2] += b;
      }
      engine->NextRow();
    }
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(outSum[k] / (128 * 64), inSum[k] / (128 * 64), 1.5) << k;
  }
}

TEST(DitherEngines, FloydSteinbergFollowedByHand) {
  // Grey 100 on 3 x 2 through black and white (divisor 16, the quotient
  // truncated toward zero, weights 7 ahead, 3 5 1 below):
  //  (0,0) 100 -> black, e 100: ahead 700; below 300 | 500 | 100
  //  (1,0) 100 + 700/16 = 143 -> white, e -112: ahead -784; below
  //        (0) 500 - 336 = 164, (1) 100 - 560 = -460, (2) -112
  //  (2,0) 100 + -784/16 = 51 -> black, e 51: below (1) -460 + 153
  //        = -307, (2) -112 + 255 = 143
  // Second row from the right, "ahead" is to the left:
  //  (2,1) 100 + 143/16 = 108 -> black, e 108: ahead (1) -307 + 756 = 449
  //  (1,1) 100 + 449/16 = 128 -> white, e -127: ahead (0) 164 - 889 = -725
  //  (0,1) 100 + -725/16 = 55 -> black
  // Spreading the second row's error to the right instead would leave
  // (1,1) at 100 + -307/16 = 81, black.
  TMonochromeLookup mono;
  TFloydSteinbergDitherer engine(3, mono);
  const auto out = Drive(engine, 3, 2, [](int, int) { return Rgb{100, 100, 100}; });
  EXPECT_EQ(out[0], (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(out[1], (std::vector<int>{0, 1, 0}));
}

// Answers one fixed grey and remembers the red inputs it was asked for.
class FixedGrey final : public TColorLookup {
 public:
  explicit FixedGrey(std::uint8_t grey) : TColorLookup(1), grey_(grey) {}
  std::uint8_t MapColour(std::uint8_t r, std::uint8_t, std::uint8_t, std::uint8_t& outR, std::uint8_t& outG,
                         std::uint8_t& outB) override {
    inputs.push_back(r);
    outR = outG = outB = grey_;
    return 0;
  }
  std::vector<int> inputs;

 private:
  std::uint8_t grey_;
};

TEST(DitherEngines, CorrectionTruncatesTowardZeroForEitherSign) {
  // 100 mapped to 113: error -13, 7 * -13 = -91 carried ahead; the next
  // pixel gets -91 / 16 = -5 (flooring would give -6). Mapped to 87
  // instead: +91 gives +5, the same size. (Adding half the divisor first
  // would give -5 and +6.)
  FixedGrey high(113);
  TFloydSteinbergDitherer a(2, high);
  std::uint8_t r, g, b;
  a.DitherPixel(100, 100, 100, r, g, b);
  a.DitherPixel(100, 100, 100, r, g, b);
  EXPECT_EQ(high.inputs, (std::vector<int>{100, 95}));
  FixedGrey low(87);
  TFloydSteinbergDitherer c(2, low);
  c.DitherPixel(100, 100, 100, r, g, b);
  c.DitherPixel(100, 100, 100, r, g, b);
  EXPECT_EQ(low.inputs, (std::vector<int>{100, 105}));
  // Stevenson-Arce: 32 of 200 two columns ahead: the error -13 gives -416,
  // -416 / 200 = -2 at column 2 and nothing at column 1.
  FixedGrey sa(113);
  TSteveArcheDitherer d(3, sa);
  for (int i = 0; i < 3; ++i) d.DitherPixel(100, 100, 100, r, g, b);
  EXPECT_EQ(sa.inputs[1], 100);
  // Column 1 (error -13 too) adds nothing to column 2: its +2 lies beyond.
  EXPECT_EQ(sa.inputs[2], 98);
}

TEST(DitherEngines, NearestFillsTheSecondRowBackwardsWithThePlainMapping) {
  TNetscapeColorLookup web;
  TDitherEngine engine(9, web);
  std::mt19937 rng(3);
  std::vector<Rgb> pixels(9 * 4);
  for (Rgb& p : pixels) p = Rgb{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
  const auto out = Drive(engine, 9, 4, [&](int x, int y) { return pixels[static_cast<std::size_t>(y * 9 + x)]; });
  std::uint8_t r, g, b;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) {
      const Rgb& p = pixels[static_cast<std::size_t>(y * 9 + x)];
      EXPECT_EQ(out[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)], web.MapColour(p.r, p.g, p.b, r, g, b));
    }
}

TEST(DitherEngines, ExtremeErrorsStayInRange) {
  // A palette of one mid grey: every error is as large as it gets, and the
  // corrected input is clamped, never wrapped (a wrap turns into a distant
  // colour the lookup would be asked for).
  class Recorder final : public TColorLookup {
   public:
    Recorder() : TColorLookup(1) {}
    std::uint8_t MapColour(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t& outR, std::uint8_t& outG,
                           std::uint8_t& outB) override {
      lowest = std::min({lowest, int{r}, int{g}, int{b}});
      highest = std::max({highest, int{r}, int{g}, int{b}});
      outR = outG = outB = 128;
      return 0;
    }
    int lowest = 255, highest = 0;
  };
  for (const DitherMode mode : kDiffusingModes) {
    Recorder recorder;
    auto engine = CreateDitherEngine(mode, 16, recorder);
    // White everywhere: errors are always positive, so inputs saturate at 255.
    Drive(*engine, 16, 16, [](int, int) { return Rgb{255, 255, 255}; });
    EXPECT_EQ(recorder.highest, 255);
    EXPECT_EQ(recorder.lowest, 255);
    Recorder dark;
    auto other = CreateDitherEngine(mode, 16, dark);
    Drive(*other, 16, 16, [](int, int) { return Rgb{0, 0, 0}; });
    EXPECT_EQ(dark.lowest, 0);
    EXPECT_EQ(dark.highest, 0);
  }
}

TEST(DitherEngines, SkippedPixelsSpreadNothing) {
  // Grey 100 through black and white: column 0 turns black and hands 7/16
  // of its error to column 1, which then turns white. Passing over column 1
  // drops that share with it: column 2 reads no error of column 0 and stays
  // black, and the walk goes on in step.
  TMonochromeLookup mono;
  std::uint8_t r, g, b;
  TFloydSteinbergDitherer plain(4, mono);
  EXPECT_EQ(plain.DitherPixel(100, 100, 100, r, g, b), 0);
  EXPECT_EQ(plain.DitherPixel(100, 100, 100, r, g, b), 1);

  TFloydSteinbergDitherer engine(4, mono);
  EXPECT_EQ(engine.DitherPixel(100, 100, 100, r, g, b), 0);
  engine.AdvanceColumn();
  EXPECT_EQ(engine.Position(), 2);
  EXPECT_EQ(engine.DitherPixel(100, 100, 100, r, g, b), 0);
  EXPECT_EQ(engine.Position(), 3);
}

TEST(DitherEngines, RowWalkOverTheExactLookupFollowsThePixelWalk) {
  // The row walk over the exact lookup keeps the shares for the pixels
  // ahead and the rows below in registers: it must give what the pixel walk
  // gives, also for a row begun pixel by pixel, and on rows of one pixel.
  std::mt19937 rng(8);
  platform::Palette palette;
  for (int i = 0; i < 90; ++i) palette.push_back(rng() & 0xFFFFFF);
  for (const int width : {1, 2, 57}) {
    const platform::Bitmap picture = sample::PhotoLikeBitmap(width, 23, 9);
    for (const DitherMode mode : kDiffusingModes) {
      TExactColorLookup byPixel(palette), byRow(palette);
      auto a = CreateDitherEngine(mode, width, byPixel);
      auto b = CreateDitherEngine(mode, width, byRow);
      std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));
      std::uint8_t r, g, bl;
      for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t* bgr = picture.ScanLine(y);
        for (int n = 0; n < y % 3 && b->Position() >= 0 && b->Position() < width; ++n) {
          const int x = b->Position();
          const std::uint8_t* px = bgr + 3 * x;
          indices[static_cast<std::size_t>(x)] = b->DitherPixel(px[2], px[1], px[0], r, g, bl);
        }
        b->DitherRow(bgr, indices.data());
        b->NextRow();
        for (; a->Position() >= 0 && a->Position() < width;) {
          const int x = a->Position();
          const std::uint8_t* px = bgr + 3 * x;
          ASSERT_EQ(a->DitherPixel(px[2], px[1], px[0], r, g, bl), indices[static_cast<std::size_t>(x)])
              << static_cast<int>(mode) << " width " << width << " at " << x << ", " << y;
        }
        a->NextRow();
      }
    }
  }
}

TEST(DitherEngines, RefusedSettings) {
  TMonochromeLookup mono;
  for (const DitherMode mode : kAllModes) {
    try {
      CreateDitherEngine(mode, 0, mono);
      FAIL() << "width 0 accepted";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Invalid image dimensions");
    }
  }
  try {
    CreateDitherEngine(static_cast<DitherMode>(7), 4, mono);
    FAIL() << "mode 7 accepted";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Invalid reduction method");
  }
  TFastColorLookup empty(platform::Palette{});
  EXPECT_THROW(TFloydSteinbergDitherer(4, empty), GIFException);
  // Driving past the row's end is refused, not read outside the rows.
  TStuckiDitherer engine(2, mono);
  std::uint8_t r, g, b;
  engine.DitherPixel(1, 1, 1, r, g, b);
  engine.DitherPixel(1, 1, 1, r, g, b);
  EXPECT_THROW(engine.DitherPixel(1, 1, 1, r, g, b), GIFException);
}

}  // namespace
}  // namespace gif

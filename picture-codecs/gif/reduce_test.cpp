// Colour reduction: every method's palette and mapping, the octree's bounds
// and sums, the system colours at both ends, the source left alone, refused
// settings, and the quality of an optimised palette against Pillow's.
#include "picture-codecs/gif/reduce.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

#include "picture-codecs/gif/dither.h"
#include "picture-codecs/gif/lookup.h"
#include "picture-codecs/gif/palettes.h"
#include "picture-codecs/gif/photo_sample.h"
#include "platform/test_support.h"

namespace gif {
namespace {

using platform::Bitmap;
using platform::Color;
using platform::Palette;
using platform::PixelFormat;
using platform::RGBColor;

constexpr DitherMode kAllModes[] = {DitherMode::Nearest,    DitherMode::FloydSteinberg, DitherMode::Stucki,
                                    DitherMode::Sierra,     DitherMode::JaJuNi,         DitherMode::SteveArche,
                                    DitherMode::Burkes};

// A picture of the given colours in random places.
Bitmap ColoursBitmap(const Palette& colours, int w, int h, unsigned seed, PixelFormat format = PixelFormat::Bit24) {
  std::mt19937 rng(seed);
  Bitmap b(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, colours[rng() % colours.size()]);
  return b;
}

double MeanSquaredError(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const Color p = a.Pixel(x, y), q = b.Pixel(x, y);
      const int dr = platform::GetRValue(p) - platform::GetRValue(q);
      const int dg = platform::GetGValue(p) - platform::GetGValue(q);
      const int db = platform::GetBValue(p) - platform::GetBValue(q);
      sum += dr * dr + dg * dg + db * db;
    }
  return sum / (3.0 * a.Width() * a.Height());
}

using platform::testkit::ErrorOf;

TEST(ReduceBitmapColours, NoReductionCopiesExactly) {
  const Bitmap b24 = platform::testkit::RandomBitmap(37, 11, PixelFormat::Bit24, 1);
  const Bitmap r24 = ReduceBitmapColours(b24, ColorReduction::None, DitherMode::FloydSteinberg, nullptr, 8);
  EXPECT_EQ(r24.GetPixelFormat(), PixelFormat::Bit24);
  EXPECT_TRUE(SamePixels(r24, b24));
  const Bitmap b32 = platform::testkit::RandomBitmap(5, 9, PixelFormat::Bit32, 2);
  const Bitmap r32 = ReduceBitmapColours(b32, ColorReduction::None, DitherMode::Nearest, nullptr, 8);
  EXPECT_EQ(r32.GetPixelFormat(), PixelFormat::Bit24);
  EXPECT_TRUE(SamePixels(r32, b32));
}

TEST(ReduceBitmapColours, FixedPalettesAndTheirMappings) {
  const Bitmap source = platform::testkit::RandomBitmap(23, 17, PixelFormat::Bit24, 3);
  const struct {
    ColorReduction method;
    Palette palette;
  } cases[] = {
      {ColorReduction::Windows20, SystemColorPalette()},   {ColorReduction::WindowsHalftone, ScreenHalftonePalette()},
      {ColorReduction::WindowsGray, FourGreyPalette()},    {ColorReduction::Monochrome, TwoTonePalette()},
      {ColorReduction::GrayScale, GreyRampPalette()},      {ColorReduction::Netscape, WebSafePalette()},
  };
  for (const auto& c : cases) {
    for (const DitherMode mode : kAllModes) {
      const Bitmap r = ReduceBitmapColours(source, c.method, mode, nullptr, 8);
      ASSERT_EQ(r.GetPixelFormat(), PixelFormat::Bit8);
      ASSERT_EQ(r.Width(), 23);
      ASSERT_EQ(r.Height(), 17);
      EXPECT_EQ(r.GetPalette(), c.palette) << static_cast<int>(c.method);
      for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x) ASSERT_LT(static_cast<std::size_t>(r.PixelIndex(x, y)), c.palette.size());
    }
  }
  // Without dithering each pixel is the lookup's own answer.
  const Bitmap web = ReduceBitmapColours(source, ColorReduction::Netscape, DitherMode::Nearest, nullptr, 8);
  const Bitmap grey = ReduceBitmapColours(source, ColorReduction::GrayScale, DitherMode::Nearest, nullptr, 8);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x) {
      const Color c = source.Pixel(x, y);
      const int r = platform::GetRValue(c), g = platform::GetGValue(c), b = platform::GetBValue(c);
      EXPECT_EQ(web.PixelIndex(x, y), (r + 25) / 51 * 36 + (g + 25) / 51 * 6 + (b + 25) / 51);
      EXPECT_EQ(grey.PixelIndex(x, y), (r * 77 + g * 150 + b * 29) >> 8);
    }
}

TEST(ReduceBitmapColours, OptimisedPaletteKeepsAFewColoursExactly) {
  const Palette five{RGBColor(200, 10, 10), RGBColor(10, 200, 10), RGBColor(10, 10, 200), RGBColor(250, 250, 250),
                     RGBColor(90, 60, 30)};
  const Bitmap source = ColoursBitmap(five, 40, 30, 4);
  for (const DitherMode mode : kAllModes) {
    const Bitmap r = ReduceBitmapColours(source, ColorReduction::Quantize, mode, nullptr, 8);
    EXPECT_EQ(r.GetPalette().size(), 256u);
    EXPECT_TRUE(SamePixels(r, source)) << static_cast<int>(mode);
    const Palette p = r.GetPalette();
    EXPECT_EQ(std::set<Color>(p.begin(), p.begin() + 5), std::set<Color>(five.begin(), five.end()));
    // The entries the picture does not need are black.
    for (std::size_t i = 5; i < p.size(); ++i) EXPECT_EQ(p[i], platform::clBlack);
  }
  // A smaller depth gives a smaller palette.
  for (int bits = kMinReductionBits; bits <= kMaxReductionBits; ++bits) {
    const Bitmap photo = sample::PhotoLikeBitmap(64, 48);
    const Bitmap r = ReduceBitmapColours(photo, ColorReduction::Quantize, DitherMode::FloydSteinberg, nullptr, bits);
    EXPECT_EQ(r.GetPalette().size(), std::size_t{1} << bits);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_LT(r.PixelIndex(x, y), 1 << bits);
  }
}

TEST(ReduceBitmapColours, SystemColoursAtBothEnds) {
  const Palette system = SystemColorPalette();
  const Bitmap photo = sample::PhotoLikeBitmap(120, 90);
  const Bitmap r = ReduceBitmapColours(photo, ColorReduction::QuantizeWindows, DitherMode::Nearest, nullptr, 8);
  const Palette p = r.GetPalette();
  ASSERT_EQ(p.size(), 256u);
  EXPECT_TRUE(std::equal(system.begin(), system.begin() + 10, p.begin()));
  EXPECT_TRUE(std::equal(system.begin() + 10, system.end(), p.begin() + 246));
  // The picture has thousands of colours: all 236 places between are used.
  EXPECT_GT(std::set<Color>(p.begin() + 10, p.begin() + 246).size(), 200u);

  // A picture of five colours keeps them; its palette lies from entry 10 on.
  const Palette five{RGBColor(201, 13, 17), RGBColor(19, 203, 11), RGBColor(9, 12, 207), RGBColor(250, 240, 230),
                     RGBColor(90, 60, 30)};
  const Bitmap small = ColoursBitmap(five, 20, 20, 5);
  const Bitmap rs = ReduceBitmapColours(small, ColorReduction::QuantizeWindows, DitherMode::Nearest, nullptr, 8);
  EXPECT_TRUE(SamePixels(rs, small));
  const Palette ps = rs.GetPalette();
  EXPECT_EQ(std::set<Color>(ps.begin() + 10, ps.begin() + 15), std::set<Color>(five.begin(), five.end()));
}

TEST(ReduceBitmapColours, CustomPalette) {
  const Palette mine{RGBColor(255, 0, 0), RGBColor(0, 0, 255), RGBColor(0, 255, 0)};
  const Bitmap source = platform::testkit::RandomBitmap(16, 16, PixelFormat::Bit24, 6);
  const Bitmap r = ReduceBitmapColours(source, ColorReduction::Palette, DitherMode::Sierra, &mine, 8);
  EXPECT_EQ(r.GetPalette(), mine);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_LT(r.PixelIndex(x, y), 3);
  const Palette empty;
  EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(source, ColorReduction::Palette, DitherMode::Nearest, &empty, 8); }),
            "Invalid reduction method");
  EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(source, ColorReduction::Palette, DitherMode::Nearest, nullptr, 8); }),
            "Invalid reduction method");
}

TEST(ReduceBitmapColours, IndexedSourcesAreReadThroughTheirPalettes) {
  // 1, 4 and 8 bits: bit and nibble order and the palette behind the
  // indices all show in the colours that come out.
  for (const PixelFormat format : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8}) {
    const Bitmap source = platform::testkit::RandomBitmap(13, 7, format, 7);
    const Bitmap r = ReduceBitmapColours(source, ColorReduction::Quantize, DitherMode::Nearest, nullptr, 8);
    EXPECT_TRUE(SamePixels(r, source)) << static_cast<int>(format);
  }
}

TEST(ReduceBitmapColours, SourceIsLeftAlone) {
  for (const PixelFormat format : {PixelFormat::Bit4, PixelFormat::Bit32, PixelFormat::Bit24}) {
    Bitmap source = platform::testkit::RandomBitmap(19, 5, format, 8);
    if (format == PixelFormat::Bit32)
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 19; ++x) source.ScanLine(y)[4 * x + 3] = static_cast<std::uint8_t>(x * 13);
    const Bitmap before = source;
    for (const ColorReduction method : {ColorReduction::Netscape, ColorReduction::Quantize,
                                        ColorReduction::QuantizeWindows, ColorReduction::None})
      ReduceBitmapColours(source, method, DitherMode::FloydSteinberg, nullptr, 8);
    EXPECT_EQ(source.GetPixelFormat(), format);
    EXPECT_EQ(source.GetPalette(), before.GetPalette());
    for (int y = 0; y < 5; ++y)
      EXPECT_EQ(0, std::memcmp(source.ScanLine(y), before.ScanLine(y), source.BytesPerLine()));
  }
}

TEST(ReduceBitmapColours, LargePicturesGiveTheSamePixelsRowForRow) {
  // Every row depends on the rows above it only: the top of a picture of
  // 600 000 pixels reduces as the same strip on its own.
  const Bitmap big = sample::PhotoLikeBitmap(1000, 600, 11);
  Bitmap strip(1000, 40, PixelFormat::Bit24);
  for (int y = 0; y < 40; ++y) std::memcpy(strip.ScanLine(y), big.ScanLine(y), big.BytesPerLine());
  const Bitmap a = ReduceBitmapColours(big, ColorReduction::Netscape, DitherMode::Stucki, nullptr, 8);
  const Bitmap b = ReduceBitmapColours(strip, ColorReduction::Netscape, DitherMode::Stucki, nullptr, 8);
  for (int y = 0; y < 40; ++y) ASSERT_EQ(0, std::memcmp(a.ScanLine(y), b.ScanLine(y), 1000)) << y;
}

TEST(ReduceBitmapColours, ExtremeShapes) {
  // The widest row the bitmap layer allows, a single column and a single
  // pixel, through every engine.
  const Bitmap wide = platform::testkit::RandomBitmap(platform::Bitmap::kMaxSide, 2, PixelFormat::Bit24, 12);
  const Bitmap tall = platform::testkit::RandomBitmap(1, 300, PixelFormat::Bit24, 13);
  const Bitmap dot = platform::testkit::RandomBitmap(1, 1, PixelFormat::Bit24, 14);
  for (const DitherMode mode : kAllModes)
    for (const Bitmap* b : {&wide, &tall, &dot}) {
      const Bitmap r = ReduceBitmapColours(*b, ColorReduction::Quantize, mode, nullptr, 4);
      EXPECT_EQ(r.Width(), b->Width());
      EXPECT_EQ(r.Height(), b->Height());
      for (int y = 0; y < r.Height(); y += 7)
        for (int x = 0; x < r.Width(); x += 97) ASSERT_LT(r.PixelIndex(x, y), 16);
    }
  // One pixel keeps its colour exactly.
  EXPECT_TRUE(SamePixels(ReduceBitmapColours(dot, ColorReduction::Quantize, DitherMode::Burkes, nullptr, 8), dot));
}

TEST(ReduceBitmapColours, RefusedSettings) {
  const Bitmap source = platform::testkit::RandomBitmap(4, 4, PixelFormat::Bit24, 9);
  EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(source, static_cast<ColorReduction>(10), DitherMode::Nearest, nullptr, 8); }),
            "Invalid reduction method");
  EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(source, static_cast<ColorReduction>(255), DitherMode::Nearest, nullptr, 8); }),
            "Invalid reduction method");
  EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(source, ColorReduction::Netscape, static_cast<DitherMode>(7), nullptr, 8); }),
            "Invalid reduction method");
  for (const int bits : {0, 9, -1, 1000})
    EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(source, ColorReduction::Quantize, DitherMode::Nearest, nullptr, bits); }),
              "Invalid reduction depth");
  const Bitmap empty;
  const Bitmap flat(0, 5, PixelFormat::Bit24);
  for (const Bitmap* b : {&empty, &flat})
    EXPECT_EQ(ErrorOf([&] { ReduceBitmapColours(*b, ColorReduction::Netscape, DitherMode::Nearest, nullptr, 8); }),
              "Invalid image dimensions");
}

TEST(ColorQuantizer, NeverMoreLeavesThanAsked) {
  std::mt19937 rng(10);
  std::set<Color> distinct;
  while (distinct.size() < 1000) distinct.insert(rng() & 0xFFFFFF);
  for (const int maxColours : {256, 17, 2, 1}) {
    TColorQuantizer q(maxColours, 8);
    for (const Color c : distinct) {
      q.AddColour(static_cast<std::uint8_t>(platform::GetRValue(c)), static_cast<std::uint8_t>(platform::GetGValue(c)),
                  static_cast<std::uint8_t>(platform::GetBValue(c)));
      ASSERT_LE(q.LeafCount(), q.ScanLeaves());
    }
    const Palette colours = q.CollectColours();
    EXPECT_EQ(colours.size(), static_cast<std::size_t>(q.LeafCount()));
    EXPECT_LE(q.LeafCount(), maxColours);
    // Far more colours than the tree keeps while scanning.
    TColorQuantizer many(maxColours, 8);
    for (int i = 0; i < 20000; ++i) {
      const Color c = rng() & 0xFFFFFF;
      many.AddColour(static_cast<std::uint8_t>(platform::GetRValue(c)), static_cast<std::uint8_t>(platform::GetGValue(c)),
                     static_cast<std::uint8_t>(platform::GetBValue(c)));
      ASSERT_LE(many.LeafCount(), many.ScanLeaves());
    }
    EXPECT_LE(many.CollectColours().size(), static_cast<std::size_t>(maxColours));
  }
}

TEST(ColorQuantizer, LeavesHoldTheMeanOfTheirPixels) {
  // One leaf for everything: the mean of all pixels, rounded down.
  TColorQuantizer one(1, 8);
  one.AddColour(10, 20, 30);
  one.AddColour(11, 21, 31);
  one.AddColour(13, 26, 200);
  EXPECT_EQ(one.CollectColours(), (Palette{RGBColor(11, 22, 87)}));
  // Fewer colours than allowed: exactly those, in octant order (red's top
  // bit counts most, then green's, then blue's).
  TColorQuantizer q(8, 8);
  for (const Color c : {RGBColor(200, 0, 0), RGBColor(0, 0, 200), RGBColor(0, 200, 0), RGBColor(0, 0, 200)})
    q.AddColour(static_cast<std::uint8_t>(platform::GetRValue(c)), static_cast<std::uint8_t>(platform::GetGValue(c)),
                static_cast<std::uint8_t>(platform::GetBValue(c)));
  EXPECT_EQ(q.CollectColours(), (Palette{RGBColor(0, 0, 200), RGBColor(0, 200, 0), RGBColor(200, 0, 0)}));
  // A shallow tree merges colours that share their top bits.
  TColorQuantizer shallow(256, 1);
  shallow.AddColour(0, 0, 0);
  shallow.AddColour(100, 100, 100);
  shallow.AddColour(200, 200, 200);
  EXPECT_EQ(shallow.CollectColours(), (Palette{RGBColor(50, 50, 50), RGBColor(200, 200, 200)}));
  EXPECT_THROW(TColorQuantizer(0, 8), GIFException);
  EXPECT_THROW(TColorQuantizer(4, 9), GIFException);
}

TEST(ColorQuantizer, OptimisedPaletteSizes) {
  const Bitmap photo = sample::PhotoLikeBitmap(50, 40);
  EXPECT_EQ(OptimisedPaletteOf(photo, 1, 8, false).size(), 1u);
  EXPECT_EQ(OptimisedPaletteOf(photo, 256, 8, false).size(), 256u);
  const Palette with = OptimisedPaletteOf(photo, 30, 8, true);
  ASSERT_EQ(with.size(), 30u);
  const Palette system = SystemColorPalette();
  EXPECT_TRUE(std::equal(system.begin(), system.begin() + 10, with.begin()));
  EXPECT_TRUE(std::equal(system.begin() + 10, system.end(), with.end() - 10));
  for (const int colours : {0, -5, 257})
    EXPECT_EQ(ErrorOf([&] { OptimisedPaletteOf(photo, colours, 8, false); }), "Invalid reduction depth") << colours;
  EXPECT_EQ(ErrorOf([&] { OptimisedPaletteOf(photo, 20, 8, true); }), "Invalid reduction depth");
  EXPECT_EQ(ErrorOf([&] { OptimisedPaletteOf(photo, 16, 0, false); }), "Invalid reduction depth");
  // A picture without pixels gives black entries only.
  const Bitmap none;
  EXPECT_EQ(OptimisedPaletteOf(none, 4, 8, false), Palette(4, platform::clBlack));
}

TEST(ColorQuantizer, SumsOfAVeryLargePictureDoNotOverflow) {
  // 9 000 000 pixels of 250 sum to 2 250 000 000 per channel, past the
  // 32-bit range.
  Bitmap big(3000, 3000, PixelFormat::Bit24);
  big.Fill(RGBColor(250, 240, 230));
  const Palette p = OptimisedPaletteOf(big, 16, 8, false);
  EXPECT_EQ(p[0], RGBColor(250, 240, 230));
}

TEST(ReduceBitmapColours, OctreeWithDiffusionIsNoWorseThanPillow) {
  // Pillow's fast octree: quantize(256, FASTOCTREE, FLOYDSTEINBERG). That
  // call maps every pixel to its octree colour whatever the dither argument
  // says (the script checks it), so its figure is an undithered one; ours
  // with Floyd-Steinberg diffusion must still not be worse, nor ours
  // without. Pillow's own diffusion over its palette is printed beside,
  // for the record.
  constexpr const char* kDebianPython = "/usr/bin/python3";
  if (std::system((std::string(kDebianPython) + " -c 'import PIL' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "no " << kDebianPython << " with PIL (Debian's python3-pil) to compare with";
  const Bitmap photo = sample::PhotoLikeBitmap(1000, 1000);
  const Bitmap nearest = ReduceBitmapColours(photo, ColorReduction::Quantize, DitherMode::Nearest, nullptr, 8);
  const Bitmap diffused = ReduceBitmapColours(photo, ColorReduction::Quantize, DitherMode::FloydSteinberg, nullptr, 8);
  EXPECT_LE(nearest.GetPalette().size(), 256u);
  EXPECT_LE(diffused.GetPalette().size(), 256u);

  platform::testkit::TempDir dir;
  Bitmap copy = photo;
  copy.SaveToFile(dir / "photo.bmp");
  const std::string script = R"(import sys
from PIL import Image
src = Image.open(sys.argv[1]).convert('RGB')
a = src.tobytes()
def mse(img):
    b = img.convert('RGB').tobytes()
    return sum((x - y) * (x - y) for x, y in zip(a, b)) / len(a)
fs = src.quantize(256, method=Image.Quantize.FASTOCTREE, dither=Image.Dither.FLOYDSTEINBERG)
plain = src.quantize(256, method=Image.Quantize.FASTOCTREE, dither=Image.Dither.NONE)
remapped = src.quantize(palette=fs, dither=Image.Dither.FLOYDSTEINBERG)
open(sys.argv[2], 'w').write('%r %r %r' % (mse(fs), mse(plain), mse(remapped)))
)";
  const std::string file = dir / "mse.py";
  std::ofstream(file) << script;
  ASSERT_EQ(std::system((std::string(kDebianPython) + " " + file + " " + (dir / "photo.bmp") + " " + (dir / "mse.txt")).c_str()), 0);
  double pillow = 0, pillowPlain = 0, pillowDiffused = 0;
  std::ifstream(dir / "mse.txt") >> pillow >> pillowPlain >> pillowDiffused;
  ASSERT_GT(pillow, 0);
  const double ours = MeanSquaredError(nearest, photo);
  const double oursDiffused = MeanSquaredError(diffused, photo);
  std::printf("mean squared error: ours %.3f (diffused %.3f); Pillow %.3f (without dither %.3f, its palette "
              "diffused %.3f)\n",
              ours, oursDiffused, pillow, pillowPlain, pillowDiffused);
  EXPECT_DOUBLE_EQ(pillow, pillowPlain);
  EXPECT_LE(oursDiffused, pillow);
  EXPECT_LE(ours, pillow);
}

}  // namespace
}  // namespace gif

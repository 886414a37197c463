// Bitmaps: the DIB row layout of every pixel format, QImage exchange, format
// conversion through the palette, resizing, pixels and masks.
#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include <QImage>
#include <random>

#include "platform/test_support.h"

namespace platform {
namespace {

using testkit::RandomBitmap;

TEST(Bitmap, RowLayoutOfEveryFormat) {
  // 24 bits: blue, green, red; rows padded to 4 bytes.
  Bitmap b24(3, 2, PixelFormat::Bit24);
  EXPECT_EQ(b24.BytesPerLine(), 12u);
  b24.SetPixel(1, 1, RGBColor(10, 20, 30));
  const std::uint8_t* row = b24.ScanLine(1);
  EXPECT_EQ(row[3], 30);
  EXPECT_EQ(row[4], 20);
  EXPECT_EQ(row[5], 10);
  EXPECT_EQ(b24.ScanLine(1) - b24.ScanLine(0), 12);

  // 32 bits: blue, green, red, fourth byte.
  Bitmap b32(1, 1, PixelFormat::Bit32);
  EXPECT_EQ(b32.BytesPerLine(), 4u);
  b32.ScanLine(0)[0] = 1;
  b32.ScanLine(0)[1] = 2;
  b32.ScanLine(0)[2] = 3;
  EXPECT_EQ(b32.Pixel(0, 0), RGBColor(3, 2, 1));

  // 1 bit: leftmost pixel in the high bit; a width of 10 uses two bytes.
  Bitmap b1(10, 1, PixelFormat::Bit1);
  EXPECT_EQ(b1.BytesPerLine(), 4u);
  b1.SetPixelIndex(0, 0, 1);
  b1.SetPixelIndex(9, 0, 1);
  EXPECT_EQ(b1.ScanLine(0)[0], 0x80);
  EXPECT_EQ(b1.ScanLine(0)[1], 0x40);
  b1.ScanLine(0)[0] = 0x01;
  EXPECT_EQ(b1.PixelIndex(7, 0), 1);
  EXPECT_EQ(b1.PixelIndex(0, 0), 0);

  // 4 bits: leftmost pixel in the high nibble.
  Bitmap b4(3, 1, PixelFormat::Bit4);
  b4.SetPixelIndex(0, 0, 0xA);
  b4.SetPixelIndex(1, 0, 0x5);
  b4.SetPixelIndex(2, 0, 0xF);
  EXPECT_EQ(b4.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(b4.ScanLine(0)[1], 0xF0);

  // Device is 32 bits.
  Bitmap dev(5, 1, PixelFormat::Device);
  EXPECT_EQ(dev.BitsPerPixel(), 32);
  EXPECT_EQ(dev.BytesPerLine(), 20u);
}

TEST(Bitmap, ScanLineOutsideRaises) {
  Bitmap b(2, 2, PixelFormat::Bit8);
  EXPECT_THROW(b.ScanLine(2), GraphicError);
  EXPECT_THROW(b.ScanLine(-1), GraphicError);
  try {
    b.ScanLine(5);
  } catch (const GraphicError& e) {
    EXPECT_STREQ(e.what(), "Scan line index out of range");
  }
  EXPECT_EQ(b.Pixel(2, 0), clNone);
  b.SetPixel(-1, 0, clWhite);  // ignored, no write outside
  EXPECT_THROW(Bitmap(-1, 2), GraphicError);
  EXPECT_THROW(Bitmap(Bitmap::kMaxSide + 1, 1), GraphicError);
  EXPECT_THROW(Bitmap(40000, 40000, PixelFormat::Bit32), GraphicError);  // more than the memory cap
}

TEST(Bitmap, NewIndexedBitmapsHaveDefaultPalettes) {
  EXPECT_EQ(Bitmap(1, 1, PixelFormat::Bit1).GetPalette(), (Palette{clBlack, clWhite}));
  EXPECT_EQ(Bitmap(1, 1, PixelFormat::Bit4).GetPalette().size(), 16u);
  const Palette p8 = Bitmap(1, 1, PixelFormat::Bit8).GetPalette();
  EXPECT_EQ(p8.size(), 256u);
  EXPECT_EQ(NearestPaletteIndex(p8, RGBColor(255, 0, 0)) >= 0, true);
  EXPECT_EQ(p8[static_cast<std::size_t>(NearestPaletteIndex(p8, RGBColor(255, 0, 0)))], RGBColor(255, 0, 0));
  // Indices beyond a short palette read as black.
  Bitmap b(2, 1, PixelFormat::Bit8);
  b.SetPalette({clWhite});
  b.SetPixelIndex(1, 0, 7);
  EXPECT_EQ(b.Pixel(0, 0), clWhite);
  EXPECT_EQ(b.Pixel(1, 0), clBlack);
  // A palette longer than the format allows is cut.
  Bitmap b1(1, 1, PixelFormat::Bit1);
  b1.SetPalette(Palette(5, clWhite));
  EXPECT_EQ(b1.GetPalette().size(), 2u);
}

class QImageRoundTrip : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(QImageRoundTrip, EveryFormatComesBackWithItsPixels) {
  const PixelFormat format = GetParam();
  for (int w : {1, 5, 8, 13}) {
    const Bitmap original = RandomBitmap(w, 4, format, static_cast<unsigned>(w) * 3);
    const QImage image = original.ToQImage();
    ASSERT_EQ(image.width(), w);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < w; ++x) {
        const QRgb c = image.pixel(x, y);
        ASSERT_EQ(RGBColor(qRed(c), qGreen(c), qBlue(c)), original.Pixel(x, y)) << x << "," << y;
      }
    Bitmap back = Bitmap::FromQImage(image);
    if (back.GetPixelFormat() != format) back.SetPixelFormat(format);
    EXPECT_EQ(back.GetPixelFormat(), format);
    EXPECT_TRUE(SamePixels(original, back));
    if (IsIndexed(format)) {
      // Indices survive, not only colours.
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(back.PixelIndex(x, y), original.PixelIndex(x, y));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, QImageRoundTrip,
                         ::testing::Values(PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit24,
                                           PixelFormat::Bit32, PixelFormat::Device));

TEST(Bitmap, QImageFormatsChosen) {
  EXPECT_EQ(Bitmap(2, 2, PixelFormat::Bit1).ToQImage().format(), QImage::Format_Mono);
  EXPECT_EQ(Bitmap(2, 2, PixelFormat::Bit4).ToQImage().format(), QImage::Format_Indexed8);
  EXPECT_EQ(Bitmap(2, 2, PixelFormat::Bit24).ToQImage().format(), QImage::Format_RGB888);
  EXPECT_EQ(Bitmap(2, 2, PixelFormat::Bit32).ToQImage().format(), QImage::Format_RGB32);
  EXPECT_TRUE(Bitmap().ToQImage().isNull());

  QImage alpha(2, 1, QImage::Format_ARGB32);
  alpha.setPixel(0, 0, qRgba(10, 20, 30, 40));
  alpha.setPixel(1, 0, qRgba(1, 2, 3, 255));
  const Bitmap b = Bitmap::FromQImage(alpha);
  EXPECT_EQ(b.GetPixelFormat(), PixelFormat::Bit32);
  EXPECT_EQ(b.ScanLine(0)[3], 40);  // alpha kept in the fourth byte
  EXPECT_EQ(b.Pixel(1, 0), RGBColor(1, 2, 3));

  QImage grey(3, 1, QImage::Format_Grayscale8);
  grey.fill(100);
  const Bitmap g = Bitmap::FromQImage(grey);
  EXPECT_EQ(g.Pixel(2, 0), RGBColor(100, 100, 100));
}

TEST(Bitmap, TrueColourToIndexedThroughPalette) {
  Bitmap b(4, 1, PixelFormat::Bit24);
  b.SetPixel(0, 0, RGBColor(250, 5, 5));
  b.SetPixel(1, 0, RGBColor(5, 5, 5));
  b.SetPixel(2, 0, RGBColor(250, 250, 250));
  b.SetPixel(3, 0, RGBColor(0, 0, 200));
  b.SetPalette({clBlack, clWhite, RGBColor(255, 0, 0), RGBColor(0, 0, 255)});
  b.SetPixelFormat(PixelFormat::Bit4);
  EXPECT_EQ(b.PixelIndex(0, 0), 2);
  EXPECT_EQ(b.PixelIndex(1, 0), 0);
  EXPECT_EQ(b.PixelIndex(2, 0), 1);
  EXPECT_EQ(b.PixelIndex(3, 0), 3);
  b.SetPixelFormat(PixelFormat::Bit24);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(b.Pixel(3, 0), RGBColor(0, 0, 255));

  // Without a palette of its own, a true-colour bitmap takes the default one.
  Bitmap c(2, 1, PixelFormat::Bit32);
  c.SetPixel(0, 0, clWhite);
  c.SetPixel(1, 0, RGBColor(20, 20, 20));
  c.SetPixelFormat(PixelFormat::Bit1);
  EXPECT_EQ(c.PixelIndex(0, 0), 1);
  EXPECT_EQ(c.PixelIndex(1, 0), 0);
}

TEST(Bitmap, IndexedToIndexedKeepsIndicesOrRemaps) {
  Bitmap b(3, 1, PixelFormat::Bit8);
  b.SetPalette({RGBColor(1, 1, 1), RGBColor(2, 2, 2), RGBColor(250, 0, 0)});
  b.SetPixelIndex(0, 0, 2);
  b.SetPixelIndex(1, 0, 1);
  b.SetPixelFormat(PixelFormat::Bit4);  // every index fits
  EXPECT_EQ(b.PixelIndex(0, 0), 2);
  EXPECT_EQ(b.PixelIndex(1, 0), 1);
  EXPECT_EQ(b.GetPalette().size(), 3u);

  Bitmap wide(2, 1, PixelFormat::Bit8);  // index 200 does not fit 4 bits
  wide.SetPixelIndex(0, 0, 200);
  wide.SetPixelIndex(1, 0, 15);
  const Color c0 = wide.Pixel(0, 0), c1 = wide.Pixel(1, 0);
  wide.SetPixelFormat(PixelFormat::Bit4);
  EXPECT_EQ(wide.GetPalette().size(), 16u);
  EXPECT_EQ(wide.Pixel(1, 0), c1);  // white exists in both tables
  const Palette p = wide.GetPalette();
  EXPECT_EQ(wide.Pixel(0, 0), p[static_cast<std::size_t>(NearestPaletteIndex(p, c0))]);
}

TEST(Bitmap, ResizeKeepsCommonAreaAndClearsTheRest) {
  Bitmap b = RandomBitmap(10, 6, PixelFormat::Bit1, 9);
  const Bitmap before = b;
  b.SetSize(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.PixelIndex(x, y), before.PixelIndex(x, y));
  b.SetSize(10, 6);  // what was cut off does not come back
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) {
      if (x >= 3 || y >= 2) {
        EXPECT_EQ(b.PixelIndex(x, y), 0) << x << "," << y;
      }
    }
  b.SetWidth(0);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Height(), 6);
}

TEST(Bitmap, TransparencyAndMask) {
  Bitmap b(3, 2, PixelFormat::Bit24);
  b.Fill(RGBColor(0, 255, 0));
  b.SetPixel(1, 0, clWhite);
  // Default transparent colour: the bottom-left pixel.
  EXPECT_EQ(b.TransparentColor(), RGBColor(0, 255, 0));
  b.SetTransparentColor(clWhite);
  EXPECT_EQ(b.TransparentColor(), clWhite);
  const Bitmap mask = b.MaskBitmap();
  EXPECT_EQ(mask.GetPixelFormat(), PixelFormat::Bit1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(mask.PixelIndex(x, y), (x == 1 && y == 0) ? 1 : 0);
  b.SetTransparent(true);
  const QImage shown = b.ToQImageWithTransparency();
  EXPECT_EQ(qAlpha(shown.pixel(1, 0)), 0);
  EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 255);
}

TEST(Bitmap, SamePixelsComparesColoursWhateverTheLayout) {
  for (const PixelFormat format : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit24}) {
    const Bitmap a = RandomBitmap(7, 5, format, 3);
    Bitmap b = a;
    EXPECT_TRUE(SamePixels(a, b));
    // Padding bytes differ, the pixels do not.
    if (b.BytesPerLine() * 8 > static_cast<std::size_t>(7 * BitsPerPixel(format))) {
      b.ScanLine(2)[b.BytesPerLine() - 1] ^= 0x01;
      EXPECT_TRUE(SamePixels(a, b)) << BitsPerPixel(format);
      b = a;
    }
    // One pixel of the last row differs.
    if (IsIndexed(format))
      b.SetPixelIndex(6, 4, (a.PixelIndex(6, 4) + 1) % (1 << BitsPerPixel(format)));
    else
      b.SetPixel(6, 4, a.Pixel(6, 4) ^ 0x010101);
    EXPECT_FALSE(SamePixels(a, b)) << BitsPerPixel(format);
  }
  // The same colours in another format, and the same bytes under another
  // palette.
  Bitmap indexed(4, 2, PixelFormat::Bit8);
  indexed.SetPalette({clBlack, clWhite, RGBColor(10, 20, 30)});
  indexed.SetPixelIndex(1, 1, 2);
  Bitmap wide = indexed;
  wide.SetPixelFormat(PixelFormat::Bit24);
  EXPECT_TRUE(SamePixels(indexed, wide));
  Bitmap other = indexed;
  other.SetPalette({clBlack, clWhite, RGBColor(10, 20, 31)});
  EXPECT_FALSE(SamePixels(indexed, other));
}

TEST(Bitmap, CopiesAreIndependentAndAssignCopiesEverything) {
  Bitmap a = RandomBitmap(4, 4, PixelFormat::Bit8, 11);
  a.SetTransparent(true);
  a.SetTransparentColor(RGBColor(1, 2, 3));
  Bitmap b;
  b.Assign(a);
  EXPECT_TRUE(SamePixels(a, b));
  EXPECT_EQ(b.GetPalette(), a.GetPalette());
  EXPECT_TRUE(b.Transparent());
  EXPECT_EQ(b.TransparentColor(), RGBColor(1, 2, 3));
  b.SetPixelIndex(0, 0, (a.PixelIndex(0, 0) + 1) % 256);
  EXPECT_NE(a.PixelIndex(0, 0), b.PixelIndex(0, 0));
  Bitmap moved(std::move(b));
  EXPECT_EQ(moved.Width(), 4);
  // A canvas stays bound to its own bitmap after a copy into it.
  Bitmap target(1, 1);
  Canvas* canvas = &target.GetCanvas();
  target = a;
  EXPECT_EQ(&target.GetCanvas(), canvas);
}

TEST(Bitmap, ChangeNotification) {
  Bitmap b(2, 2);
  int changes = 0;
  b.SetOnChange([&](Graphic&) { ++changes; });
  b.SetSize(3, 3);
  b.SetSize(3, 3);  // no change
  b.SetPixelFormat(PixelFormat::Bit8);
  b.SetTransparent(true);
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(b.Modified());
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(Bitmap, CopiesAndLoadsKeepTheWatchersOfEachObject) {
  Bitmap source(2, 2);
  int sourceChanges = 0, targetChanges = 0;
  source.SetOnChange([&](Graphic&) { ++sourceChanges; });
  Bitmap copy(source);  // the copy is watched by nobody
  copy.SetSize(3, 3);
  EXPECT_EQ(sourceChanges, 0);

  Bitmap target(1, 1);
  target.SetOnChange([&](Graphic&) { ++targetChanges; });
  target.SetTransparent(true);
  target.SetTransparentColor(RGBColor(5, 5, 5));
  targetChanges = 0;
  target.Assign(source);
  EXPECT_EQ(targetChanges, 1);
  EXPECT_FALSE(target.Transparent());  // assigned from the source

  // Loading a file replaces the pixels only: watchers and transparency stay.
  target.SetTransparent(true);
  target.SetTransparentColor(RGBColor(5, 5, 5));
  MemoryStream file;
  Bitmap(4, 3, PixelFormat::Bit8).SaveToStream(file);
  file.SetPosition(0);
  targetChanges = 0;
  target.LoadFromStream(file);
  EXPECT_EQ(target.Width(), 4);
  EXPECT_EQ(target.GetPixelFormat(), PixelFormat::Bit8);
  EXPECT_EQ(targetChanges, 1);
  EXPECT_TRUE(target.Transparent());
  EXPECT_EQ(target.TransparentColor(), RGBColor(5, 5, 5));
  target.SetPixelFormat(PixelFormat::Bit24);
  EXPECT_EQ(targetChanges, 2);
}

}  // namespace
}  // namespace platform

// Drawing conventions the programs rely on: rectangles exclude their right and
// bottom edge, "no pen" draws no outline, lines leave out their end point, and
// drawing works the same on true-colour and indexed bitmaps.
#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "platform/bitmap.h"

namespace platform {
namespace {

constexpr Color kRed = RGBColor(255, 0, 0);
constexpr Color kBlue = RGBColor(0, 0, 255);
constexpr Color kGreen = RGBColor(0, 255, 0);

// The bounding box of pixels that differ from background.
Rect Covered(const Bitmap& b, Color background) {
  Rect r{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != background) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
      }
  return r;
}

class CanvasFormats : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(CanvasFormats, RectangleExcludesRightAndBottomEdge) {
  Bitmap b(20, 20, GetParam());
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.pen().color = kRed;
  c.brush().color = kBlue;
  c.Rectangle(3, 4, 10, 12);
  EXPECT_EQ(Covered(b, clBlack), (Rect{3, 4, 10, 12}));
  // Outline on the outer pixels, fill inside.
  EXPECT_EQ(b.Pixel(3, 4), kRed);
  EXPECT_EQ(b.Pixel(9, 11), kRed);
  EXPECT_EQ(b.Pixel(9, 7), kRed);
  EXPECT_EQ(b.Pixel(6, 11), kRed);
  EXPECT_EQ(b.Pixel(4, 5), kBlue);
  EXPECT_EQ(b.Pixel(8, 10), kBlue);
  EXPECT_EQ(b.Pixel(10, 7), clBlack);
  EXPECT_EQ(b.Pixel(6, 12), clBlack);
}

TEST_P(CanvasFormats, NoPenFillsTheWholeRectangleWithoutOutline) {
  Bitmap b(20, 20, GetParam());
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.pen().style = PenStyle::Clear;
  c.brush().color = kGreen;
  c.Rectangle(2, 2, 7, 5);
  EXPECT_EQ(Covered(b, clBlack), (Rect{2, 2, 7, 5}));
  for (int y = 2; y < 5; ++y)
    for (int x = 2; x < 7; ++x) EXPECT_EQ(b.Pixel(x, y), kGreen) << x << "," << y;
}

TEST_P(CanvasFormats, FillRectAndClearBrush) {
  Bitmap b(10, 10, GetParam());
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.brush().color = clWhite;
  c.FillRect(Rect{1, 1, 4, 3});
  EXPECT_EQ(Covered(b, clBlack), (Rect{1, 1, 4, 3}));
  c.brush().style = BrushStyle::Clear;
  c.FillRect(Rect{5, 5, 9, 9});
  c.pen().color = kRed;
  c.Rectangle(5, 5, 9, 9);  // outline only
  EXPECT_EQ(b.Pixel(5, 5), kRed);
  EXPECT_EQ(b.Pixel(6, 6), clBlack);
  EXPECT_EQ(b.Pixel(8, 8), kRed);
  EXPECT_EQ(b.Pixel(9, 9), clBlack);
}

INSTANTIATE_TEST_SUITE_P(Formats, CanvasFormats,
                         ::testing::Values(PixelFormat::Bit24, PixelFormat::Bit32, PixelFormat::Device,
                                           PixelFormat::Bit8, PixelFormat::Bit4));

TEST(Canvas, LineLeavesOutEndPoint) {
  Bitmap b(10, 10, PixelFormat::Bit24);
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.pen().color = clWhite;
  c.MoveTo(1, 2);
  c.LineTo(6, 2);
  EXPECT_EQ(Covered(b, clBlack), (Rect{1, 2, 6, 3}));
  c.LineTo(6, 7);  // continues from the previous end point
  EXPECT_EQ(b.Pixel(6, 2), clWhite);
  EXPECT_EQ(b.Pixel(6, 6), clWhite);
  EXPECT_EQ(b.Pixel(6, 7), clBlack);
  EXPECT_EQ(c.PenPos(), (Point{6, 7}));
}

// Text picture of a bitmap: '.' background, 'R' pen, '#' brush.
std::string Picture(const Bitmap& b) {
  std::string out;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      const Color c = b.Pixel(x, y);
      out += c == clBlack ? '.' : c == kRed ? 'R' : c == clWhite ? '#' : '?';
    }
    out += '\n';
  }
  return out;
}

TEST(Canvas, RoundRectWithSmallCornersLeavesOutTheCornerPixels) {
  Bitmap b(8, 6, PixelFormat::Bit24);
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.pen().color = kRed;
  c.brush().color = clWhite;
  c.RoundRect(1, 1, 7, 5, 2, 2);
  EXPECT_EQ(Picture(b),
            "........\n"
            "..RRRR..\n"
            ".R####R.\n"
            ".R####R.\n"
            "..RRRR..\n"
            "........\n");
  b.Fill(clBlack);
  c.pen().style = PenStyle::Clear;
  c.RoundRect(1, 1, 7, 5, 2, 2);
  EXPECT_EQ(Picture(b),
            "........\n"
            "..####..\n"
            ".######.\n"
            ".######.\n"
            "..####..\n"
            "........\n");
}

TEST(Canvas, RoundRectIsSymmetricAndStaysInside) {
  for (int corner : {0, 3, 4, 7, 12, 40}) {
    for (int penWidth : {0, 1, 2}) {
      Bitmap b(24, 17, PixelFormat::Bit32);
      b.Fill(clBlack);
      Canvas& c = b.GetCanvas();
      c.pen().style = penWidth ? PenStyle::Solid : PenStyle::Clear;
      c.pen().width = penWidth;
      c.pen().color = kRed;
      c.brush().color = clWhite;
      c.RoundRect(2, 3, 21, 15, corner, corner);
      const Rect covered = Covered(b, clBlack);
      if (corner <= 12) {
        EXPECT_EQ(covered, (Rect{2, 3, 21, 15})) << corner;
      } else {  // an ellipse: inside its rectangle, touching at least two sides
        EXPECT_GE(covered.left, 2);
        EXPECT_GE(covered.top, 3);
        EXPECT_LE(covered.right, 21);
        EXPECT_LE(covered.bottom, 15);
        EXPECT_TRUE(covered.left == 2 || covered.top == 3);
      }
      for (int y = 1; y < 17; ++y)
        for (int x = 0; x < 23; ++x) {
          const Color p = b.Pixel(x, y);
          ASSERT_EQ(p, b.Pixel(22 - x, y)) << corner << " mirrored left-right at " << x << "," << y;
          ASSERT_EQ(p, b.Pixel(x, 17 - y)) << corner << " mirrored top-bottom at " << x << "," << y;
        }
      if (penWidth == 2) {
        EXPECT_EQ(b.Pixel(11, 3), kRed);
        EXPECT_EQ(b.Pixel(11, 4), kRed);
        EXPECT_EQ(b.Pixel(11, 5), clWhite);
      }
    }
  }
}

TEST(Canvas, HugeShapesOnlyWalkTheVisibleRows) {
  Bitmap b(10, 10, PixelFormat::Bit24);
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.pen().color = kRed;
  c.brush().color = clWhite;
  c.RoundRect(-2000000000, -2000000000, 2000000000, 2000000000, 2, 2);
  EXPECT_EQ(b.Pixel(5, 5), clWhite);
  c.Rectangle(-5, -5, 3, 3);
  EXPECT_EQ(b.Pixel(2, 2), kRed);
  EXPECT_EQ(b.Pixel(1, 1), clWhite);
}

TEST(Canvas, TextOutPaintsInFontColourOnBrushBackground) {
  Bitmap b(120, 40, PixelFormat::Bit32);
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.brush().color = kBlue;
  c.font().color = clWhite;
  c.font().height = 16;
  const int w = c.TextWidth("Hello"), h = c.TextHeight("Hello");
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  c.TextOut(4, 6, "Hello");
  EXPECT_EQ(Covered(b, clBlack), (Rect{4, 6, 4 + w, 6 + h}));
  int white = 0;
  for (int y = 6; y < 6 + h; ++y)
    for (int x = 4; x < 4 + w; ++x) white += b.Pixel(x, y) == clWhite;
  EXPECT_GT(white, 10);
  // A clear brush leaves the background alone.
  Bitmap t(120, 40, PixelFormat::Bit32);
  t.Fill(clBlack);
  t.GetCanvas().brush().style = BrushStyle::Clear;
  t.GetCanvas().font().color = clWhite;
  t.GetCanvas().TextOut(4, 6, "Hello");
  for (int y = 0; y < t.Height(); ++y)
    for (int x = 0; x < t.Width(); ++x) EXPECT_NE(t.Pixel(x, y), kBlue);
}

TEST(Canvas, DrawAndStretchDrawBitmap) {
  Bitmap src(2, 2, PixelFormat::Bit24);
  src.SetPixel(0, 0, kRed);
  src.SetPixel(1, 0, kGreen);
  src.SetPixel(0, 1, kBlue);
  src.SetPixel(1, 1, clWhite);
  Bitmap dst(10, 10, PixelFormat::Bit24);
  dst.Fill(clBlack);
  dst.GetCanvas().Draw(3, 4, src);
  EXPECT_EQ(dst.Pixel(3, 4), kRed);
  EXPECT_EQ(dst.Pixel(4, 4), kGreen);
  EXPECT_EQ(dst.Pixel(3, 5), kBlue);
  EXPECT_EQ(dst.Pixel(4, 5), clWhite);
  EXPECT_EQ(Covered(dst, clBlack), (Rect{3, 4, 5, 6}));

  dst.Fill(clBlack);
  dst.GetCanvas().StretchDraw(Rect{0, 0, 8, 6}, src);
  EXPECT_EQ(dst.Pixel(0, 0), kRed);
  EXPECT_EQ(dst.Pixel(3, 2), kRed);
  EXPECT_EQ(dst.Pixel(4, 0), kGreen);
  EXPECT_EQ(dst.Pixel(7, 5), clWhite);
  EXPECT_EQ(dst.Pixel(0, 5), kBlue);
  EXPECT_EQ(Covered(dst, clBlack), (Rect{0, 0, 8, 6}));
}

TEST(Canvas, TransparentBitmapLeavesItsKeyColourUnpainted) {
  Bitmap src(3, 1, PixelFormat::Bit24);
  src.SetPixel(0, 0, kRed);
  src.SetPixel(1, 0, kGreen);
  src.SetPixel(2, 0, kRed);
  src.SetTransparentColor(kRed);
  src.SetTransparent(true);
  Bitmap dst(3, 1, PixelFormat::Bit24);
  dst.Fill(kBlue);
  dst.GetCanvas().Draw(0, 0, src);
  EXPECT_EQ(dst.Pixel(0, 0), kBlue);
  EXPECT_EQ(dst.Pixel(1, 0), kGreen);
  EXPECT_EQ(dst.Pixel(2, 0), kBlue);
}

TEST(Canvas, PainterCanvasOnQImage) {
  QImage image(10, 10, QImage::Format_RGB32);
  image.fill(Qt::black);
  {
    QPainter painter(&image);
    Canvas c(&painter, Rect{0, 0, 10, 10});
    EXPECT_EQ(c.ClipRect(), (Rect{0, 0, 10, 10}));
    c.pen().style = PenStyle::Clear;
    c.brush().color = kRed;
    c.Rectangle(2, 2, 5, 5);
    c.SetPixel(8, 8, kGreen);
    EXPECT_EQ(c.Pixel(3, 3), kRed);
  }
  EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(4, 4), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(5, 5), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(8, 8), qRgb(0, 255, 0));
}

TEST(Canvas, IndexedBitmapKeepsUntouchedIndices) {
  // A palette holding one colour twice: drawing elsewhere must not move
  // pixels from one entry to the other.
  Bitmap b(4, 1, PixelFormat::Bit8);
  b.SetPalette({clBlack, clWhite, clBlack});
  b.SetPixelIndex(0, 0, 2);
  b.GetCanvas().brush().color = clWhite;
  b.GetCanvas().FillRect(Rect{3, 0, 4, 1});
  EXPECT_EQ(b.PixelIndex(0, 0), 2);
  EXPECT_EQ(b.PixelIndex(3, 0), 1);
}

TEST(Canvas, UnboundOrEmptyTargetsDrawNothing) {
  Canvas c;
  EXPECT_FALSE(c.IsBound());
  c.Rectangle(0, 0, 5, 5);
  c.TextOut(0, 0, "x");
  EXPECT_EQ(c.Pixel(0, 0), clNone);
  Bitmap empty;
  empty.GetCanvas().Rectangle(0, 0, 5, 5);
  EXPECT_TRUE(empty.Empty());
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

// The fourth byte of 32-bit pixels is no alpha: whatever it holds, the
// picture shows opaque on any surface.
TEST(Canvas, FourthByteOfThirtyTwoBitPixelsIsNotAlpha) {
  Bitmap src(2, 1, PixelFormat::Bit32);
  src.SetPixel(0, 0, RGBColor(200, 100, 50));
  src.SetPixel(1, 0, RGBColor(10, 20, 30));
  src.ScanLine(0)[3] = 0;
  src.ScanLine(0)[7] = 77;
  for (QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32, QImage::Format_RGB32}) {
    QImage image(2, 1, format);
    image.fill(Qt::black);
    {
      QPainter painter(&image);
      Canvas c(&painter, Rect{0, 0, 2, 1});
      c.Draw(0, 0, src);
    }
    EXPECT_EQ(image.pixel(0, 0), qRgb(200, 100, 50)) << format;
    EXPECT_EQ(image.pixel(1, 0), qRgb(10, 20, 30)) << format;
  }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(Canvas, DrawingOnABitmapRaisesItsChangeNotification) {
  for (PixelFormat f : {PixelFormat::Bit24, PixelFormat::Bit8}) {
    Bitmap b(4, 4, f);
    int changes = 0;
    b.SetOnChange([&](Graphic&) { ++changes; });
    b.GetCanvas().FillRect(Rect{0, 0, 2, 2});
    b.GetCanvas().SetPixel(3, 3, clWhite);
    EXPECT_EQ(changes, 2);
  }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(Canvas, StretchDrawFarBeyondTheSurfaceShowsTheRightPart) {
  Bitmap src(2, 1, PixelFormat::Bit24);
  src.SetPixel(0, 0, kRed);
  src.SetPixel(1, 0, kGreen);
  Bitmap dst(4, 4, PixelFormat::Bit24);
  dst.Fill(clBlack);
  // The left half of this enormous rectangle is red, the right half green.
  dst.GetCanvas().StretchDraw(Rect{-2000000000, -2000000000, 2000000002, 2000000000}, src);
  EXPECT_EQ(dst.Pixel(0, 0), kRed);
  EXPECT_EQ(dst.Pixel(3, 3), kGreen);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(Canvas, TextRectClipsToItsRectangle) {
  Bitmap b(100, 30, PixelFormat::Bit24);
  b.Fill(clBlack);
  Canvas& c = b.GetCanvas();
  c.brush().color = kBlue;
  c.font().color = clWhite;
  c.font().height = 14;
  c.TextRect(Rect{10, 0, 20, 30}, 5, 5, "WWWWWW");
  const Rect covered = Covered(b, clBlack);
  EXPECT_GE(covered.left, 10);
  EXPECT_LE(covered.right, 20);
  EXPECT_FALSE(covered.IsEmpty() || covered.right <= covered.left);
  b.Fill(clBlack);
  c.TextRect(Rect{10, 10, 10, 20}, 5, 5, "WWWWWW");  // an empty rectangle shows nothing
  EXPECT_EQ(b.Pixel(12, 12), clBlack);
  EXPECT_EQ(Covered(b, clBlack).right, 0);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

// Combined colours need not be in a palette: true-colour targets only.
TEST(Canvas, CopyModesCombineBitsWithTheCanvas) {
  const Color base = RGBColor(0xF0, 0x0F, 0x55), ink = RGBColor(0x3C, 0xFF, 0x0F);
  Bitmap source(2, 2, PixelFormat::Bit24);
  source.Fill(ink);
  struct Case {
    CopyMode mode;
    Color expected;
  };
  const Case cases[] = {{CopyMode::SrcCopy, ink}, {CopyMode::SrcAnd, base & ink}, {CopyMode::SrcPaint, base | ink},
                        {CopyMode::SrcInvert, base ^ ink}};
  for (PixelFormat format : {PixelFormat::Bit24, PixelFormat::Bit32, PixelFormat::Device}) {
    for (const Case& c : cases) {
      Bitmap b(4, 4, format);
      b.Fill(base);
      Canvas& canvas = b.GetCanvas();
      canvas.SetCopyMode(c.mode);
      canvas.Draw(1, 1, source);
      const std::string what = "mode " + std::to_string(static_cast<int>(c.mode)) + ", " +
                               std::to_string(b.BitsPerPixel()) + " bits";
      EXPECT_EQ(b.Pixel(1, 1), c.expected) << what;
      EXPECT_EQ(b.Pixel(2, 2), c.expected) << what;
      EXPECT_EQ(b.Pixel(3, 3), base) << what;
      EXPECT_EQ(b.Pixel(0, 0), base) << what;
    }
  }
}

TEST(Canvas, BitmapDrawnOntoItself) {
  for (PixelFormat f : {PixelFormat::Bit24, PixelFormat::Bit32}) {
    Bitmap b(4, 1, f);
    b.SetPixel(0, 0, kRed);
    b.SetPixel(1, 0, kRed);
    b.SetPixel(2, 0, kGreen);
    b.SetPixel(3, 0, kGreen);
    b.GetCanvas().StretchDraw(Rect{2, 0, 4, 1}, b);  // the whole picture, halved, into its right half
    EXPECT_EQ(b.Pixel(0, 0), kRed);
    EXPECT_EQ(b.Pixel(2, 0), kRed);
    EXPECT_EQ(b.Pixel(3, 0), kGreen);
  }
}

}  // namespace
}  // namespace platform

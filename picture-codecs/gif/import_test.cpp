// Frames made from bitmaps and other pictures, drawn scaled, tiled and
// through their masks, cropped and merged; the dithered decode.
#include "picture-codecs/gif/import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/lookup.h"
#include "picture-codecs/gif/palettes.h"
#include "picture-codecs/gif/stream_util.h"
#include "platform/canvas.h"
#include "platform/test_support.h"

namespace {

using gif::TGIFImage;
using gif::TGIFSubImage;
using platform::Bitmap;
using platform::Color;
using platform::PixelFormat;
using platform::RGBColor;

using platform::testkit::ErrorOf;

Color MapColour(TGIFSubImage& frame, int index) {
  const auto* e = frame.ActiveMap().Entries() + index * 3;
  return RGBColor(e[0], e[1], e[2]);
}

// The colour a viewer sees at (x, y) of the frame.
Color Shown(TGIFSubImage& frame, int x, int y) { return MapColour(frame, frame.PixelAt(x, y)); }

// ---- import of indexed bitmaps -------------------------------------------

TEST(FrameImport, OneBitWidthTenTakesBitsHighFirstAndIgnoresThePadding) {
  Bitmap b(10, 3, PixelFormat::Bit1);
  b.SetPalette({RGBColor(200, 10, 20), RGBColor(5, 6, 250)});
  std::mt19937 rng(7);
  std::vector<int> want(30);
  for (int y = 0; y < 3; ++y) {
    // The unused low bits of the second byte hold garbage on purpose.
    b.ScanLine(y)[1] = 0xFF;
    b.ScanLine(y)[2] = 0xFF;
    for (int x = 0; x < 10; ++x) {
      want[y * 10 + x] = static_cast<int>(rng() & 1);
      b.SetPixelIndex(x, y, want[y * 10 + x]);
    }
  }
  TGIFImage image;
  TGIFSubImage frame(&image);
  frame.Assign(b);
  ASSERT_EQ(frame.Width(), 10);
  ASSERT_EQ(frame.Height(), 3);
  EXPECT_EQ(frame.LocalMap().EntryCount(), 2);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(frame.PixelAt(x, y), want[y * 10 + x]) << x << "," << y;
      EXPECT_EQ(Shown(frame, x, y), b.Pixel(x, y));
    }
  EXPECT_FALSE(frame.HasTransparency());
}

TEST(FrameImport, FourBitsTakeTheHighNibbleFirst) {
  Bitmap b(5, 2, PixelFormat::Bit4);
  platform::Palette pal;
  for (int i = 0; i < 16; ++i) pal.push_back(RGBColor(i * 16, 255 - i * 16, i));
  b.SetPalette(pal);
  const std::uint8_t rows[2][3] = {{0x12, 0x34, 0x5F}, {0xFE, 0xDC, 0xB0}};
  for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, b.ScanLine(y));
  TGIFSubImage frame(nullptr);
  frame.Assign(b);
  const int want[2][5] = {{1, 2, 3, 4, 5}, {15, 14, 13, 12, 11}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(frame.PixelAt(x, y), want[y][x]);
  EXPECT_EQ(frame.LocalMap().EntryCount(), 16);
  EXPECT_EQ(MapColour(frame, 13), pal[13]);
}

TEST(FrameImport, EightBitIndicesPastTheTableGetBlackEntries) {
  Bitmap b(3, 1, PixelFormat::Bit8);
  b.SetPalette({RGBColor(1, 2, 3), RGBColor(4, 5, 6)});
  b.ScanLine(0)[0] = 1;
  b.ScanLine(0)[1] = 9;
  b.ScanLine(0)[2] = 0;
  TGIFSubImage frame(nullptr);
  frame.Assign(b);
  ASSERT_EQ(frame.LocalMap().EntryCount(), 10);
  EXPECT_EQ(frame.PixelAt(1, 0), 9);
  EXPECT_EQ(Shown(frame, 1, 0), platform::clBlack);
  EXPECT_EQ(Shown(frame, 0, 0), RGBColor(4, 5, 6));
  // The frame writes and reads back as a picture other readers accept.
  TGIFImage image;
  image.Assign(b);
  platform::MemoryStream s;
  image.SaveToStream(s);
  s.SetPosition(0);
  TGIFImage back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Frame(0)->PixelAt(1, 0), 9);
}

// ---- import of true-colour bitmaps ----------------------------------------

TEST(FrameImport, TrueColourWithoutReductionKeepsColoursInFirstAppearanceOrder) {
  std::mt19937 rng(3);
  std::vector<Color> colours(256);
  for (auto& c : colours) c = rng() & 0xFFFFFF;
  Bitmap b(64, 40, PixelFormat::Bit24);
  std::vector<Color> order;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) {
      const Color c = colours[rng() % colours.size()];
      b.SetPixel(x, y, c);
      if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
    }
  const Bitmap before(b);
  TGIFImage image;
  image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::None);
  TGIFSubImage frame(&image);
  frame.Assign(b);
  ASSERT_EQ(frame.LocalMap().EntryCount(), static_cast<int>(order.size()));
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(MapColour(frame, static_cast<int>(i)), order[i]) << i;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(Shown(frame, x, y), b.Pixel(x, y));
  EXPECT_TRUE(platform::SamePixels(before, b));
}

TEST(FrameImport, TwoHundredFiftySevenColoursLeaveTheFrameEmpty) {
  Bitmap b(257, 2, PixelFormat::Bit32);
  for (int x = 0; x < 257; ++x) {
    b.SetPixel(x, 0, RGBColor(x % 256, x / 256, 7));
    b.SetPixel(x, 1, RGBColor(0, 0, 7));
  }
  TGIFImage image;
  image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::None);
  TGIFSubImage frame(&image);
  std::vector<std::pair<platform::ProgressStage, int>> reports;
  image.SetOnProgress([&](platform::Graphic&, platform::ProgressStage stage, int percent, bool, const platform::Rect&,
                          const std::string&) { reports.emplace_back(stage, percent); });
  EXPECT_EQ(ErrorOf([&] { frame.Assign(b); }), gif::msg::kTableOverflow);
  EXPECT_TRUE(frame.FrameEmpty());
  EXPECT_EQ(frame.Width(), 0);
  EXPECT_EQ(frame.LocalMap().EntryCount(), 0);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().first, platform::ProgressStage::Ending);
  EXPECT_EQ(reports.back().second, 0);
  // The image's own import fails the same way and keeps no frame.
  EXPECT_EQ(ErrorOf([&] { image.Assign(b); }), gif::msg::kTableOverflow);
  EXPECT_EQ(image.FrameCount(), 0);
}

TEST(FrameImport, TrueColourIsReducedByTheImagesSettings) {
  Bitmap b(30, 20, PixelFormat::Bit24);
  std::mt19937 rng(11);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) b.SetPixel(x, y, rng() & 0xFFFFFF);
  {
    TGIFImage image;  // the web palette, nearest colour
    image.Assign(b);
    ASSERT_EQ(image.FrameCount(), 1);
    TGIFSubImage& f = *image.Frame(0);
    EXPECT_EQ(image.Width(), 30);
    EXPECT_EQ(f.LocalMap().EntryCount(), 216);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        const Color c = b.Pixel(x, y);
        auto level = [](int v) { return ((v + 25) / 51) * 51; };
        ASSERT_EQ(Shown(f, x, y), RGBColor(level(platform::GetRValue(c)), level(platform::GetGValue(c)),
                                           level(platform::GetBValue(c))));
      }
  }
  {
    TGIFImage image;
    image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::GrayScale);
    image.Assign(b);
    TGIFSubImage& f = *image.Frame(0);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        const Color c = Shown(f, x, y);
        ASSERT_EQ(platform::GetRValue(c), platform::GetGValue(c));
        ASSERT_EQ(platform::GetRValue(c), platform::GetBValue(c));
      }
  }
  {
    TGIFImage image;
    image.ReductionMethod = 77;
    EXPECT_EQ(ErrorOf([&] { image.Assign(b); }), "Invalid reduction method");
    EXPECT_EQ(image.FrameCount(), 0);
  }
}

TEST(FrameImport, TransparentColourBecomesTheAppendedBlackEntry) {
  Bitmap b(6, 4, PixelFormat::Bit24);
  const Color key = RGBColor(255, 0, 255);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) b.SetPixel(x, y, (x + y) % 3 == 0 ? key : RGBColor(0, 51 * x, 102));
  b.SetTransparent(true);
  b.SetTransparentColor(key);
  TGIFImage image;
  image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::None);
  image.Assign(b);
  TGIFSubImage& f = *image.Frame(0);
  ASSERT_TRUE(f.HasTransparency());
  const int t = f.TransparentIndex();
  EXPECT_EQ(t, f.LocalMap().EntryCount() - 1);
  EXPECT_EQ(MapColour(f, t), platform::clBlack);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      if ((x + y) % 3 == 0)
        EXPECT_EQ(f.PixelAt(x, y), t);
      else
        EXPECT_EQ(Shown(f, x, y), b.Pixel(x, y));
    }
  // The mask of the decoded frame marks exactly those pixels.
  ASSERT_TRUE(f.HasMask());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ((f.Mask()[y * f.MaskRowBytes() + x / 8] & (0x80 >> (x % 8))) != 0, (x + y) % 3 == 0);
}

TEST(FrameImport, AlphaBelowHalfBecomesTransparent) {
  Bitmap b(5, 3, PixelFormat::Bit32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      std::uint8_t* p = b.ScanLine(y) + x * 4;
      p[0] = static_cast<std::uint8_t>(x * 51);
      p[1] = 102;
      p[2] = 0;
      p[3] = static_cast<std::uint8_t>(x == 2 ? 127 : (x == 4 ? 128 : (y == 1 ? 0 : 255)));
    }
  TGIFImage image;
  image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::None);
  image.Assign(b);
  TGIFSubImage& f = *image.Frame(0);
  ASSERT_TRUE(f.HasTransparency());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool clear = x == 2 || (y == 1 && x != 4);
      EXPECT_EQ(f.PixelAt(x, y) == f.TransparentIndex(), clear) << x << "," << y;
      if (!clear) {
        EXPECT_EQ(Shown(f, x, y), RGBColor(0, 102, x * 51));
      }
    }
  // Without alpha (every fourth byte 0) nothing is transparent.
  Bitmap opaque(4, 2, PixelFormat::Bit32);
  opaque.Fill(RGBColor(0, 51, 0));
  image.Assign(opaque);
  EXPECT_FALSE(image.Frame(0)->HasTransparency());
}

TEST(FrameImport, FullMapOrUnusedKeyGivesNoTransparency) {
  Bitmap full(256, 1, PixelFormat::Bit8);
  platform::Palette pal;
  for (int i = 0; i < 256; ++i) pal.push_back(RGBColor(i, 255 - i, 3));
  full.SetPalette(pal);
  for (int x = 0; x < 256; ++x) full.ScanLine(0)[x] = static_cast<std::uint8_t>(x);
  full.SetTransparent(true);
  full.SetTransparentColor(pal[5]);
  TGIFSubImage frame(nullptr);
  frame.Assign(full);
  EXPECT_FALSE(frame.HasTransparency());
  EXPECT_EQ(frame.LocalMap().EntryCount(), 256);

  Bitmap some(4, 1, PixelFormat::Bit8);
  some.SetPalette({RGBColor(9, 9, 9), RGBColor(1, 1, 1)});
  some.SetTransparent(true);
  some.SetTransparentColor(RGBColor(200, 200, 200));  // no pixel has it
  frame.Assign(some);
  EXPECT_FALSE(frame.HasTransparency());
  EXPECT_EQ(frame.LocalMap().EntryCount(), 2);
}

TEST(FrameImport, SizesAndOtherPictures) {
  TGIFSubImage frame(nullptr);
  EXPECT_EQ(ErrorOf([&] { frame.Assign(Bitmap(65536, 1, PixelFormat::Bit8)); }), gif::msg::kBadDimensions);
  EXPECT_TRUE(frame.FrameEmpty());
  frame.Assign(Bitmap(65535, 1, PixelFormat::Bit8));
  EXPECT_EQ(frame.Width(), 65535);
  frame.Assign(Bitmap());
  EXPECT_TRUE(frame.FrameEmpty());

  // A GIF picture converts itself; its frame comes back colour for colour.
  Bitmap b(7, 5, PixelFormat::Bit4);
  b.SetPalette(platform::DefaultPalette(PixelFormat::Bit4));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) b.SetPixelIndex(x, y, (x * 3 + y) % 16);
  TGIFImage source;
  source.Assign(b);
  TGIFImage image;
  image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::None);
  TGIFSubImage copy(&image);
  copy.Assign(static_cast<const platform::Graphic&>(source));
  ASSERT_EQ(copy.Width(), 7);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(Shown(copy, x, y), b.Pixel(x, y));
}

// A picture that can only draw itself.
class DrawnOnly : public platform::Graphic {
 public:
  std::string ClassName() const override { return "TDrawnOnly"; }
  void LoadFromStream(platform::Stream&) override {}
  void SaveToStream(platform::Stream&) override {}
  void Draw(platform::Canvas& canvas, const platform::Rect& rect) override {
    canvas.SetBrush({RGBColor(0, 102, 255)});
    canvas.FillRect(rect);
    canvas.SetPixel(rect.left + 1, rect.top + 2, RGBColor(255, 255, 0));
  }
  int Width() const override { return 5; }
  int Height() const override { return 4; }
  bool Empty() const override { return false; }
};

TEST(FrameImport, PicturesThatOnlyDrawAreRenderedOnABitmap) {
  DrawnOnly pic;
  TGIFImage image;
  image.Assign(pic);
  ASSERT_EQ(image.FrameCount(), 1);
  TGIFSubImage& f = *image.Frame(0);
  EXPECT_EQ(f.Width(), 5);
  EXPECT_EQ(f.Height(), 4);
  EXPECT_EQ(Shown(f, 0, 0), RGBColor(0, 102, 255));
  EXPECT_EQ(Shown(f, 1, 2), RGBColor(255, 255, 0));
}

// ---- drawing ------------------------------------------------------------------

// An image of screenW x screenH with one frame of w x h at (left, top);
// index 0 red, 1 green, 2 the transparent black.
struct Framed {
  TGIFImage image;
  TGIFSubImage* frame;
  Framed(int screenW, int screenH, int left, int top, int w, int h) {
    image.SetScreenSize(screenW, screenH);
    auto f = std::make_unique<TGIFSubImage>(&image);
    f->SetFrameBounds(left, top, w, h);
    f->LocalMap().AddColour(RGBColor(255, 0, 0));
    f->LocalMap().AddColour(RGBColor(0, 255, 0));
    f->LocalMap().AddColour(platform::clBlack);
    frame = f.get();
    image.AddFrame(f.release());
  }
  void MakeTransparent(int index) {
    auto* ext = new gif::TGIFGraphicControlExtension(frame);
    frame->Extensions().AddItem(ext);
    ext->SetTransparency(true);
    ext->SetTransparentIndex(index);
  }
};

// Where the frame's mask is set, row by row.
std::vector<std::string> MaskRows(TGIFSubImage& frame) {
  std::vector<std::string> rows;
  if (!frame.HasMask()) return rows;
  for (int y = 0; y < frame.Height(); ++y) {
    std::string row;
    for (int x = 0; x < frame.Width(); ++x)
      row += (frame.Mask()[static_cast<std::size_t>(y * frame.MaskRowBytes() + x / 8)] & (0x80 >> (x % 8))) ? 'x' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(FramePaint, TransparencyChangedAfterDecodingMakesTheMaskAgain) {
  Framed f(3, 2, 0, 0, 3, 2);
  const std::uint8_t pixels[2][3] = {{0, 1, 2}, {2, 1, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) f.frame->PixelAt(x, y) = pixels[y][x];
  // Decoded and drawn opaque first: no mask.
  ASSERT_NE(f.frame->DecodedBitmap(), nullptr);
  EXPECT_FALSE(f.frame->HasMask());
  f.MakeTransparent(2);
  EXPECT_EQ(MaskRows(*f.frame), (std::vector<std::string>{"..x", "x.."}));
  Bitmap canvas(3, 2, PixelFormat::Bit24);
  canvas.Fill(RGBColor(9, 9, 9));
  f.frame->PaintInto(canvas.GetCanvas(), {0, 0, 3, 2}, false, true);
  EXPECT_EQ(canvas.Pixel(2, 0), RGBColor(9, 9, 9));
  EXPECT_EQ(canvas.Pixel(1, 0), RGBColor(0, 255, 0));
  // Another transparent index, then none.
  f.frame->ControlExtension()->SetTransparentIndex(1);
  EXPECT_EQ(MaskRows(*f.frame), (std::vector<std::string>{".x.", ".x."}));
  f.frame->ControlExtension()->SetTransparency(false);
  EXPECT_FALSE(f.frame->HasMask());
  canvas.Fill(RGBColor(9, 9, 9));
  f.frame->PaintInto(canvas.GetCanvas(), {0, 0, 3, 2}, false, true);
  EXPECT_EQ(canvas.Pixel(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(canvas.Pixel(2, 0), platform::clBlack);

  // The same through the web-palette decode.
  f.image.PaintOptions = gif::dpDither;
  f.frame->FreeFrameBitmap();
  ASSERT_NE(f.frame->DecodedBitmap(), nullptr);
  EXPECT_FALSE(f.frame->HasMask());
  f.frame->ControlExtension()->SetTransparency(true);
  f.frame->ControlExtension()->SetTransparentIndex(0);
  EXPECT_EQ(MaskRows(*f.frame), (std::vector<std::string>{"x..", "..x"}));
}

TEST(ImageDraw, AStillIsPaintedTiledAndTransparent) {
  // One frame of 2 x 2 at (1, 1) on a 3 x 3 screen, index 2 transparent,
  // drawn into (1, 1)-(8, 8) with the image's options.
  Framed f(3, 3, 1, 1, 2, 2);
  f.frame->PixelAt(0, 0) = 0;
  f.frame->PixelAt(1, 0) = 1;
  f.frame->PixelAt(0, 1) = 2;
  f.frame->PixelAt(1, 1) = 0;
  f.MakeTransparent(2);
  const Color backdrop = RGBColor(40, 50, 60);
  const Color red = RGBColor(255, 0, 0), green = RGBColor(0, 255, 0);
  const platform::Rect target{1, 1, 8, 8};
  for (const std::uint16_t options : {std::uint16_t{0}, std::uint16_t{gif::dpTiled},
                                      std::uint16_t{gif::dpTransparent},
                                      std::uint16_t{gif::dpTiled | gif::dpTransparent}}) {
    f.image.PaintOptions = options;
    Bitmap canvas(10, 10, PixelFormat::Bit24);
    canvas.Fill(backdrop);
    f.image.Draw(canvas.GetCanvas(), target);
    const bool tiled = (options & gif::dpTiled) != 0, transparent = (options & gif::dpTransparent) != 0;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        Color want = backdrop;
        int fx = -1, fy = -1;
        if (tiled && target.Contains(x, y)) {
          // Tiles of the screen's size from the target's corner, the frame
          // at its offset in each, cut at the target's edges.
          fx = (x - target.left) % 3 - 1;
          fy = (y - target.top) % 3 - 1;
        } else if (!tiled) {
          // Stretched: the 3 x 3 screen onto 7 x 7, the frame at
          // (1 + 7/3, 1 + 7/3) to (1 + 7, 1 + 7), rounded.
          const platform::Rect scaled = f.frame->ScaledFrameRect(target);
          if (scaled.Contains(x, y)) {
            fx = (x - scaled.left) * 2 / scaled.Width();
            fy = (y - scaled.top) * 2 / scaled.Height();
          }
        }
        if (fx >= 0 && fy >= 0) {
          const int index = f.frame->PixelAt(fx, fy);
          want = index == 0 ? red : index == 1 ? green : transparent ? backdrop : platform::clBlack;
        }
        ASSERT_EQ(canvas.Pixel(x, y), want) << x << "," << y << " options " << options;
      }
  }
}

TEST(FramePaint, ScaledFrameRect) {
  Framed f(100, 100, 10, 10, 30, 25);
  EXPECT_EQ(f.frame->ScaledFrameRect({0, 0, 200, 200}), (platform::Rect{20, 20, 80, 70}));
  EXPECT_EQ(f.frame->ScaledFrameRect({5, 7, 55, 57}), (platform::Rect{10, 12, 25, 25}));
  // Thirds round to the nearest pixel.
  Framed g(3, 3, 1, 1, 1, 1);
  EXPECT_EQ(g.frame->ScaledFrameRect({0, 0, 10, 10}), (platform::Rect{3, 3, 7, 7}));
}

TEST(FramePaint, TransparentPaintLeavesTheCanvasColour) {
  Framed f(4, 4, 0, 0, 4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) f.frame->PixelAt(x, y) = static_cast<std::uint8_t>(x < 2 ? 2 : (y % 2));
  f.MakeTransparent(2);
  for (bool transparent : {true, false}) {
    Bitmap canvas(8, 8, PixelFormat::Bit24);
    canvas.Fill(RGBColor(10, 20, 200));
    f.frame->PaintInto(canvas.GetCanvas(), {0, 0, 8, 8}, false, transparent);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const int fx = x / 2;
        const int fy = y / 2;
        Color want = fy % 2 ? RGBColor(0, 255, 0) : RGBColor(255, 0, 0);
        if (fx < 2) want = transparent ? RGBColor(10, 20, 200) : platform::clBlack;
        ASSERT_EQ(canvas.Pixel(x, y), want) << x << "," << y << " transparent " << transparent;
      }
  }
}

TEST(FramePaint, TilesAreClippedToTheTarget) {
  Framed f(4, 3, 1, 0, 3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) f.frame->PixelAt(x, y) = static_cast<std::uint8_t>((x + y) % 3);
  for (bool transparent : {false, true}) {
    if (transparent) f.MakeTransparent(2);
    Bitmap canvas(20, 20, PixelFormat::Bit24);
    const Color white = RGBColor(255, 255, 255);
    canvas.Fill(white);
    const platform::Rect target{2, 3, 13, 12};
    f.frame->PaintInto(canvas.GetCanvas(), target, true, transparent);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        Color want = white;
        if (target.Contains(x, y)) {
          const int sx = (x - target.left) % 4;  // screen pixel in the 4 x 3 tile
          const int sy = (y - target.top) % 3;
          if (sx >= 1) {
            const int v = (sx - 1 + sy) % 3;
            want = v == 0 ? RGBColor(255, 0, 0) : v == 1 ? RGBColor(0, 255, 0) : platform::clBlack;
            if (v == 2 && transparent) want = white;
          }
        }
        ASSERT_EQ(canvas.Pixel(x, y), want) << x << "," << y << " transparent " << transparent;
      }
  }
}

TEST(FramePaint, TransparentStretchRefusesRectanglesOutsideItsBitmaps) {
  Bitmap src(4, 4, PixelFormat::Bit24);
  Bitmap dst(4, 4, PixelFormat::Bit24);
  std::vector<std::uint8_t> mask(8, 0);
  EXPECT_EQ(ErrorOf([&] { gif::TransparentStretch(dst.GetCanvas(), {0, 0, 4, 4}, src, {0, 0, 5, 4}, mask, 2, 0, 0); }),
            gif::msg::kBadCoordinates);
  EXPECT_EQ(ErrorOf([&] { gif::TransparentStretch(dst.GetCanvas(), {0, 0, 4, 4}, src, {0, 0, 4, 4}, mask, 2, 0, 1); }),
            gif::msg::kBadCoordinates);
}

// ---- cropping and merging ------------------------------------------------------

TEST(FrameTrim, CropsToTheVisiblePixels) {
  {
    Framed f(20, 20, 5, 7, 6, 5);
    f.MakeTransparent(2);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) f.frame->PixelAt(x, y) = 2;
    f.frame->TrimTransparent();
    EXPECT_TRUE(f.frame->FrameEmpty());
  }
  {
    Framed f(20, 20, 5, 7, 6, 5);
    f.MakeTransparent(2);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) f.frame->PixelAt(x, y) = 2;
    f.frame->PixelAt(3, 2) = 1;
    f.frame->TrimTransparent();
    EXPECT_EQ(f.frame->BoundsRect(), (platform::Rect{8, 9, 9, 10}));
    EXPECT_EQ(f.frame->PixelAt(0, 0), 1);
  }
  {
    Framed f(20, 20, 0, 0, 6, 5);
    f.MakeTransparent(2);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) f.frame->PixelAt(x, y) = 2;
    f.frame->PixelAt(1, 1) = 0;
    f.frame->PixelAt(4, 3) = 1;
    f.frame->TrimTransparent();
    EXPECT_EQ(f.frame->BoundsRect(), (platform::Rect{1, 1, 5, 4}));
    EXPECT_EQ(f.frame->PixelAt(0, 0), 0);
    EXPECT_EQ(f.frame->PixelAt(3, 2), 1);
    EXPECT_EQ(f.frame->PixelAt(1, 1), 2);
  }
  {
    Framed f(20, 20, 0, 0, 3, 3);  // opaque frames are left alone
    f.frame->TrimTransparent();
    EXPECT_EQ(f.frame->BoundsRect(), (platform::Rect{0, 0, 3, 3}));
  }
}

// Two frames of one image on the global map (red, green, blue).
struct TwoFrames {
  TGIFImage image;
  TGIFSubImage* a;
  TGIFSubImage* b;
  TwoFrames() {
    image.SetScreenSize(4, 4);
    image.GlobalMapOf().AddColour(RGBColor(255, 0, 0));
    image.GlobalMapOf().AddColour(RGBColor(0, 255, 0));
    image.GlobalMapOf().AddColour(RGBColor(0, 0, 255));
    for (TGIFSubImage** f : {&a, &b}) {
      auto made = std::make_unique<TGIFSubImage>(&image);
      made->SetFrameBounds(0, 0, 4, 4);
      for (int i = 0; i < 16; ++i) made->Pixels()[i] = static_cast<std::uint8_t>(i % 3);
      *f = made.get();
      image.AddFrame(made.release());
    }
  }
};

TEST(FrameMerge, IdenticalOpaqueFramesBecomeAllTransparent) {
  TwoFrames t;
  t.b->MaskUnchanged(t.a);
  ASSERT_TRUE(t.b->HasTransparency());
  EXPECT_EQ(t.image.GlobalMapOf().EntryCount(), 4);
  EXPECT_EQ(t.b->TransparentIndex(), 3);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t.b->Pixels()[i], 3);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t.a->Pixels()[i], i % 3);
}

TEST(FrameMerge, OnlyPixelsShowingTheSameColourChange) {
  TwoFrames t;
  // b has a map of its own with the same colours in another order.
  t.b->LocalMap().AddColour(RGBColor(0, 0, 255));
  t.b->LocalMap().AddColour(RGBColor(255, 0, 0));
  t.b->LocalMap().AddColour(RGBColor(0, 255, 0));
  for (int i = 0; i < 16; ++i) t.b->Pixels()[i] = static_cast<std::uint8_t>(i % 3);  // blue, red, green...
  t.b->Pixels()[4] = 2;  // green over a's green at 4? a[4] = 1 (green): unchanged
  t.b->MaskUnchanged(t.a);
  ASSERT_TRUE(t.b->HasTransparency());
  const int tr = t.b->TransparentIndex();
  EXPECT_EQ(tr, 3);
  EXPECT_EQ(t.image.GlobalMapOf().EntryCount(), 3);
  for (int i = 0; i < 16; ++i) {
    const bool same = i == 4;
    EXPECT_EQ(t.b->Pixels()[i] == tr, same) << i;
  }
}

TEST(FrameMerge, RestoringDisposalsAndForeignTransparentPixelsAreLeft) {
  for (int disposal : {2, 3}) {
    TwoFrames t;
    auto* ext = new gif::TGIFGraphicControlExtension(t.a);
    t.a->Extensions().AddItem(ext);
    ext->SetDisposalMethod(disposal);
    t.b->MaskUnchanged(t.a);
    EXPECT_FALSE(t.b->HasTransparency());
    EXPECT_EQ(t.image.GlobalMapOf().EntryCount(), 3);
  }
  // Pixels where the previous frame showed through are no match.
  TwoFrames t;
  auto* ext = new gif::TGIFGraphicControlExtension(t.a);
  t.a->Extensions().AddItem(ext);
  ext->SetTransparency(true);
  ext->SetTransparentIndex(0);
  t.b->MaskUnchanged(t.a);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t.b->Pixels()[i] == t.b->TransparentIndex(), i % 3 != 0) << i;
}

TEST(FrameMerge, AnotherFramesTransparentIndexIsReusedOnlyWhenUnused) {
  {
    TwoFrames t;
    // a is transparent on 2 (blue); b uses the value 2 itself, so b may not
    // take it: black is appended.
    auto* ext = new gif::TGIFGraphicControlExtension(t.a);
    t.a->Extensions().AddItem(ext);
    ext->SetTransparency(true);
    ext->SetTransparentIndex(2);
    for (int i = 0; i < 16; ++i) t.a->Pixels()[i] = 1;
    for (int i = 0; i < 16; ++i) t.b->Pixels()[i] = static_cast<std::uint8_t>(i % 2 ? 1 : 2);
    t.b->MaskUnchanged(t.a);
    ASSERT_TRUE(t.b->HasTransparency());
    EXPECT_EQ(t.b->TransparentIndex(), 3);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t.b->Pixels()[i], i % 2 ? 3 : 2) << i;
  }
  {
    TwoFrames t;
    auto* ext = new gif::TGIFGraphicControlExtension(t.a);
    t.a->Extensions().AddItem(ext);
    ext->SetTransparency(true);
    ext->SetTransparentIndex(2);
    for (int i = 0; i < 16; ++i) t.a->Pixels()[i] = 1;
    for (int i = 0; i < 16; ++i) t.b->Pixels()[i] = static_cast<std::uint8_t>(i % 2);
    t.b->MaskUnchanged(t.a);
    ASSERT_TRUE(t.b->HasTransparency());
    EXPECT_EQ(t.b->TransparentIndex(), 2);
    EXPECT_EQ(t.image.GlobalMapOf().EntryCount(), 3);
  }
}

// ---- dithered decoding ------------------------------------------------------------

TEST(FrameDither, WebPaletteDecodeKeepsWebColoursAndMeanGrey) {
  TGIFImage image;
  image.PaintOptions = gif::dpDither;  // web palette on every display
  ASSERT_TRUE(image.UseWebPalette());
  image.SetScreenSize(40, 100);
  auto made = std::make_unique<TGIFSubImage>(&image);
  TGIFSubImage* f = made.get();
  image.AddFrame(made.release());
  f->SetFrameBounds(0, 0, 40, 100);
  f->LocalMap().AddColour(RGBColor(51, 102, 153));
  f->LocalMap().AddColour(RGBColor(100, 100, 100));
  f->LocalMap().AddColour(RGBColor(1, 2, 3));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 40; ++x) f->PixelAt(x, y) = static_cast<std::uint8_t>(x < 20 ? 0 : (y < 50 ? 1 : 2));
  auto* ext = new gif::TGIFGraphicControlExtension(f);
  f->Extensions().AddItem(ext);
  ext->SetTransparency(true);
  ext->SetTransparentIndex(2);
  std::vector<int> rows;
  image.SetOnProgress([&](platform::Graphic&, platform::ProgressStage stage, int percent, bool,
                          const platform::Rect&, const std::string&) {
    if (stage == platform::ProgressStage::Running) rows.push_back(percent);
  });
  platform::Bitmap* bmp = f->DecodedBitmap();
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(rows, (std::vector<int>{0, 32, 64, 96}));
  const platform::Palette web = gif::WebSafePalette();
  const platform::Palette pal = bmp->GetPalette();
  ASSERT_GE(pal.size(), web.size());
  EXPECT_TRUE(std::equal(web.begin(), web.end(), pal.begin()));
  gif::TNetscapeColorLookup lookup;
  std::uint8_t r, g, b;
  const int background = lookup.MapColour(1, 2, 3, r, g, b);
  double sum = 0;
  int n = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 40; ++x) {
      const Color c = bmp->Pixel(x, y);
      if (x < 20) {
        ASSERT_EQ(c, RGBColor(51, 102, 153)) << x << "," << y;
      } else if (y < 50) {
        sum += platform::GetRValue(c) + platform::GetGValue(c) + platform::GetBValue(c);
        n += 3;
      } else {
        ASSERT_EQ(bmp->PixelIndex(x, y), background);
      }
    }
  EXPECT_NEAR(sum / n, 100.0, 3.0);
  ASSERT_TRUE(f->HasMask());
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ((f->Mask()[y * f->MaskRowBytes() + x / 8] & (0x80 >> (x % 8))) != 0, x >= 20 && y >= 50);
}

TEST(FrameDither, FramesWithoutColoursAreRefused) {
  TGIFImage image;
  image.PaintOptions = gif::dpDither;
  image.SetScreenSize(2, 2);
  auto made = std::make_unique<TGIFSubImage>(&image);
  TGIFSubImage* f = made.get();
  image.AddFrame(made.release());
  f->SetFrameBounds(0, 0, 2, 2);
  EXPECT_EQ(ErrorOf([&] { f->DecodedBitmap(); }), gif::msg::kNoColourTable);
  // Pixels past the map draw black; nothing is read past the entries.
  f->LocalMap().AddColour(RGBColor(255, 255, 255));
  f->PixelAt(1, 1) = 200;
  platform::Bitmap* bmp = f->DecodedBitmap();
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(bmp->Pixel(1, 1), platform::clBlack);
  EXPECT_EQ(bmp->Pixel(0, 0), RGBColor(255, 255, 255));
}

// ---- row access ---------------------------------------------------------------------

TEST(DIBRows, WriterAndReaderRefuseBadFormatsSizesAndRows) {
  Bitmap target;
  EXPECT_EQ(ErrorOf([&] { gif::TDIBWriter w(target, {}, 2, 2, PixelFormat::Bit4); }), gif::kUnsupportedPixelFormat);
  EXPECT_EQ(ErrorOf([&] { gif::TDIBWriter w(target, {}, 0, 2, PixelFormat::Bit8); }), gif::msg::kBadDimensions);
  EXPECT_EQ(ErrorOf([&] { gif::TDIBWriter w(target, {}, 2, -1, PixelFormat::Bit24); }), gif::msg::kBadDimensions);
  {
    gif::TDIBWriter w(target, {RGBColor(1, 2, 3)}, 2, 3, PixelFormat::Bit8);
    EXPECT_EQ(ErrorOf([&] { w.RowAddress(2); }), gif::kScanLineOutOfRange);
    EXPECT_EQ(ErrorOf([&] { w.RowAddress(-1); }), gif::kScanLineOutOfRange);
    w.RowAddress(1)[2] = 0;
    w.RowAddress(0)[0] = 7;
  }
  ASSERT_EQ(target.Width(), 3);
  EXPECT_EQ(target.GetPalette().size(), 256u);
  EXPECT_EQ(target.Pixel(1, 1), RGBColor(1, 2, 3));
  EXPECT_EQ(target.Pixel(0, 0), platform::clBlack);

  Bitmap src(3, 2, PixelFormat::Bit24);
  src.SetPixel(2, 1, RGBColor(9, 8, 7));
  const Bitmap before(src);
  gif::TDIBReader reader(src, PixelFormat::Bit8);
  EXPECT_EQ(src.GetPixelFormat(), PixelFormat::Bit24);
  EXPECT_TRUE(platform::SamePixels(before, src));
  EXPECT_EQ(ErrorOf([&] { reader.RowAddress(2); }), gif::kScanLineOutOfRange);
  EXPECT_EQ(ErrorOf([&] { gif::TDIBReader r(src, PixelFormat::Bit32); }), gif::kUnsupportedPixelFormat);
}

}  // namespace

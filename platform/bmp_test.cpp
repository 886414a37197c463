// BMP files: our own round trips in every pixel format, exchange with an
// independent reader and writer (Pillow, ImageMagick), the less common
// variants (top-down, run-length, bit fields, core header) and damaged files.
#include "platform/bmp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/bitmap.h"
#include "platform/stream.h"
#include "platform/test_support.h"

namespace platform {
namespace {

using testkit::HavePillow;
using testkit::RandomBitmap;
using testkit::ReadFile;
using testkit::RunPython;
using testkit::TempDir;

std::vector<std::uint8_t> ToBmp(const Bitmap& b) {
  MemoryStream s;
  WriteBmp(s, b);
  return s.Bytes();
}

Bitmap FromBmp(const std::vector<std::uint8_t>& bytes) {
  MemoryStream s(bytes);
  Bitmap b;
  ReadBmp(s, b);
  return b;
}

void ExpectSame(const Bitmap& expected, const Bitmap& actual) {
  ASSERT_EQ(expected.Width(), actual.Width());
  ASSERT_EQ(expected.Height(), actual.Height());
  int bad = 0;
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x)
      if (expected.Pixel(x, y) != actual.Pixel(x, y) && ++bad < 5)
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << expected.Pixel(x, y) << " vs "
                      << actual.Pixel(x, y);
  EXPECT_EQ(bad, 0);
}

class BmpFormats : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(BmpFormats, RoundTripKeepsFormatPaletteAndPixels) {
  for (int w : {1, 3, 7, 9, 33}) {
    const Bitmap original = RandomBitmap(w, 5, GetParam(), static_cast<unsigned>(w));
    const Bitmap loaded = FromBmp(ToBmp(original));
    EXPECT_EQ(loaded.BitsPerPixel(), original.BitsPerPixel());
    if (IsIndexed(GetParam())) {
      EXPECT_EQ(loaded.GetPalette(), original.GetPalette());
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(loaded.PixelIndex(x, y), original.PixelIndex(x, y));
    }
    ExpectSame(original, loaded);
  }
}

TEST_P(BmpFormats, FileRoundTripThroughGraphicInterface) {
  const Bitmap original = RandomBitmap(13, 4, GetParam(), 99);
  const TempDir dir("veltrano_bmp");
  Bitmap copy(original);
  copy.SaveToFile(dir / "round.bmp");
  Bitmap loaded;
  loaded.LoadFromFile(dir / "round.bmp");
  ExpectSame(original, loaded);
}

INSTANTIATE_TEST_SUITE_P(All, BmpFormats,
                         ::testing::Values(PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit24,
                                           PixelFormat::Bit32, PixelFormat::Device));

TEST(Bmp, WrittenHeaderIsThePlainWindowsLayout) {
  Bitmap b = RandomBitmap(3, 2, PixelFormat::Bit8, 1);
  b.SetPalette({clBlack, clWhite, RGBColor(1, 2, 3)});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) b.SetPixelIndex(x, y, (x + y) % 3);
  const auto bytes = ToBmp(b);
  ASSERT_EQ(bytes.size(), 14u + 40 + 3 * 4 + 2 * 4);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[2], bytes.size());  // file size, low byte
  EXPECT_EQ(bytes[10], 14 + 40 + 12);  // pixel offset
  EXPECT_EQ(bytes[28], 8);             // bits per pixel
  EXPECT_EQ(bytes[46], 3);             // colours used
  // Palette entries blue, green, red, 0; the third is (1, 2, 3).
  EXPECT_EQ(bytes[54 + 8], 3);
  EXPECT_EQ(bytes[54 + 9], 2);
  EXPECT_EQ(bytes[54 + 10], 1);
  // Bottom-up: the first stored row is the picture's last.
  EXPECT_EQ(bytes[66], b.PixelIndex(0, 1));
  EXPECT_EQ(bytes[67], b.PixelIndex(1, 1));
  EXPECT_EQ(bytes[70], b.PixelIndex(0, 0));
}

// --- variants written by hand ---

struct Writer {
  std::vector<std::uint8_t> b;
  void u8(int v) { b.push_back(static_cast<std::uint8_t>(v)); }
  void u16(int v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
  void u32(std::int64_t v) { u16(static_cast<int>(v & 0xFFFF)); u16(static_cast<int>((v >> 16) & 0xFFFF)); }
  void header(int offset) { u8('B'); u8('M'); u32(0); u32(0); u32(offset); }
  void info(int w, int h, int bits, int compression, int colours) {
    u32(40); u32(w); u32(h); u16(1); u16(bits); u32(compression); u32(0); u32(0); u32(0); u32(colours); u32(0);
  }
};

TEST(Bmp, ShortColourTableIsWrittenFullOnlyWhenAPixelReachesPastIt) {
  // Offset of the pixels = 54 + 4 x written table entries.
  const auto tableEntries = [](const std::vector<std::uint8_t>& f) {
    const std::uint32_t offset = f[10] | f[11] << 8 | f[12] << 16 | static_cast<std::uint32_t>(f[13]) << 24;
    return (offset - 54) / 4;
  };
  for (const PixelFormat format : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8}) {
    const int bits = BitsPerPixel(format);
    const int width = 13;  // a partial last byte in 1 and 4 bits
    Bitmap b(width, 3, format);
    b.SetPalette({clBlack, clWhite});
    EXPECT_EQ(tableEntries(ToBmp(b)), 2u) << bits;
    if (bits == 1) continue;  // two entries are its whole table
    // The last pixel of the middle row reaches past the table.
    b.SetPixelIndex(width - 1, 1, 3);
    const auto file = ToBmp(b);
    EXPECT_EQ(tableEntries(file), 1u << bits) << bits;
    const Bitmap back = FromBmp(file);
    EXPECT_EQ(back.PixelIndex(width - 1, 1), 3) << bits;
    EXPECT_EQ(back.Pixel(width - 1, 1), clBlack) << bits;
    EXPECT_EQ(back.Pixel(0, 1), clBlack) << bits;
  }
}

TEST(Bmp, TopDownRowsReadInOrder) {
  Writer w;
  w.header(54);
  w.info(2, -2, 24, 0, 0);
  for (int v : {255, 0, 0, 0, 255, 0, 0, 0}) w.u8(v);  // top row: blue, green, padding
  for (int v : {0, 0, 255, 255, 255, 255, 0, 0}) w.u8(v);  // bottom row: red, white
  const Bitmap b = FromBmp(w.b);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(0, 0, 255));
  EXPECT_EQ(b.Pixel(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(b.Pixel(0, 1), RGBColor(255, 0, 0));
  EXPECT_EQ(b.Pixel(1, 1), clWhite);
}

TEST(Bmp, RunLengthEightBits) {
  Writer w;
  w.header(54 + 8);
  w.info(6, 2, 8, 1, 2);
  w.u32(0x000000); w.u32(0xFFFFFF);  // black, white
  // Bottom row: 3 x white, literal (0, 1, 0), end of line.
  for (int v : {3, 1, 0, 3, 0, 1, 0, 0, 0, 0}) w.u8(v);  // literal of 3 is padded to 4 bytes
  // Top row: move right by 4, one white pixel, end of picture.
  for (int v : {0, 2, 4, 0, 1, 1, 0, 1}) w.u8(v);
  const Bitmap b = FromBmp(w.b);
  ASSERT_EQ(b.GetPixelFormat(), PixelFormat::Bit8);
  const int bottom[6] = {1, 1, 1, 0, 1, 0};
  const int top[6] = {0, 0, 0, 0, 1, 0};
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(b.PixelIndex(x, 1), bottom[x]) << x;
    EXPECT_EQ(b.PixelIndex(x, 0), top[x]) << x;
  }
}

TEST(Bmp, RunLengthFourBits) {
  Writer w;
  w.header(54 + 64);
  w.info(6, 1, 4, 2, 16);
  for (int i = 0; i < 16; ++i) w.u32(i * 0x111111);
  // Run of 3 alternating 1 and 2; literal of 3 pixels (3, 4, 5); end.
  for (int v : {3, 0x12, 0, 3, 0x34, 0x50, 0, 1}) w.u8(v);
  const Bitmap b = FromBmp(w.b);
  const int expected[6] = {1, 2, 1, 3, 4, 5};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(b.PixelIndex(x, 0), expected[x]) << x;
}

TEST(Bmp, RunLengthBeyondThePictureIsCut) {
  Writer w;
  w.header(54 + 8);
  w.info(2, 1, 8, 1, 2);
  w.u32(0); w.u32(0xFFFFFF);
  for (int v : {255, 1, 0, 2, 200, 200, 5, 1, 0, 0, 0, 0, 0, 1}) w.u8(v);
  const Bitmap b = FromBmp(w.b);
  EXPECT_EQ(b.PixelIndex(0, 0), 1);
  EXPECT_EQ(b.PixelIndex(1, 0), 1);
}

TEST(Bmp, SixteenBitsDefaultAndBitFields) {
  Writer w;  // 5-5-5 without masks
  w.header(54);
  w.info(2, 1, 16, 0, 0);
  w.u16(0x7C00); w.u16(0x001F);
  Bitmap b = FromBmp(w.b);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(b.Pixel(1, 0), RGBColor(0, 0, 255));

  Writer v;  // 5-6-5 with masks after the header
  v.header(54 + 12);
  v.info(2, 1, 16, 3, 0);
  v.u32(0xF800); v.u32(0x07E0); v.u32(0x001F);
  v.u16(0x07E0); v.u16(0xFFFF);
  b = FromBmp(v.b);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(b.Pixel(1, 0), clWhite);
}

TEST(Bmp, CoreHeaderWithThreeBytePalette) {
  Writer w;
  w.header(14 + 12 + 6);
  w.u32(12); w.u16(3); w.u16(1); w.u16(1); w.u16(1);
  w.u8(0); w.u8(0); w.u8(255);  // red
  w.u8(255); w.u8(0); w.u8(0);  // blue
  w.u8(0xA0); w.u8(0); w.u8(0); w.u8(0);  // 1, 0, 1
  const Bitmap b = FromBmp(w.b);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(0, 0, 255));
  EXPECT_EQ(b.Pixel(1, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(b.Pixel(2, 0), RGBColor(0, 0, 255));
}

TEST(Bmp, EmptyBitmapsRoundTrip) {
  for (const Bitmap& empty : {Bitmap(), Bitmap(0, 5, PixelFormat::Bit8), Bitmap(7, 0, PixelFormat::Bit24)}) {
    const Bitmap back = FromBmp(ToBmp(empty));
    EXPECT_TRUE(back.Empty());
    EXPECT_EQ(back.Width(), empty.Width());
    EXPECT_EQ(back.Height(), empty.Height());
    EXPECT_EQ(back.BitsPerPixel(), empty.BitsPerPixel());
  }
}

TEST(Bmp, ReadsFromTheStreamPosition) {
  const Bitmap original = RandomBitmap(4, 3, PixelFormat::Bit24, 5);
  MemoryStream s;
  s.WriteU32LE(0xDEADBEEF);
  WriteBmp(s, original);
  s.SetPosition(4);
  Bitmap loaded;
  ReadBmp(s, loaded);
  ExpectSame(original, loaded);
}

// --- damaged files ---

void ExpectDamaged(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  Bitmap b = RandomBitmap(2, 2, PixelFormat::Bit24, 3);
  const Bitmap before = b;
  MemoryStream s(bytes);
  EXPECT_THROW(ReadBmp(s, b), GraphicError) << what;
  ExpectSame(before, b);  // untouched
}

TEST(Bmp, EveryTruncationRaisesOurError) {
  for (PixelFormat f : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit24, PixelFormat::Bit32}) {
    const Bitmap original = RandomBitmap(9, 4, f, 7);
    const auto bytes = ToBmp(original);
    // The last row's padding may be missing; anything shorter is damaged.
    const std::size_t rowBytes = (9 * static_cast<std::size_t>(original.BitsPerPixel()) + 7) / 8;
    const std::size_t complete = bytes.size() - original.BytesPerLine() + rowBytes;
    for (std::size_t n = 0; n < complete; ++n)
      ExpectDamaged(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)),
                    "length " + std::to_string(n));
    ExpectSame(original, FromBmp(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(complete))));
  }
}

TEST(Bmp, TruncatedRunLengthDataRaisesOurError) {
  Writer w;
  w.header(54 + 8);
  w.info(6, 2, 8, 1, 2);
  w.u32(0x000000); w.u32(0xFFFFFF);
  for (int v : {3, 1, 0, 3, 0, 1, 0, 0, 0, 0}) w.u8(v);
  for (int v : {0, 2, 4, 0, 1, 1, 0, 1}) w.u8(v);
  ASSERT_NO_THROW(FromBmp(w.b));
  // Any cut inside the pixel data loses the end-of-picture code.
  for (std::size_t n = 54 + 8; n < w.b.size(); ++n)
    ExpectDamaged(std::vector<std::uint8_t>(w.b.begin(), w.b.begin() + static_cast<std::ptrdiff_t>(n)),
                  "length " + std::to_string(n));
  // The last row's end of line without an end-of-picture code is complete.
  Writer eol;
  eol.header(54 + 8);
  eol.info(2, 2, 8, 1, 2);
  eol.u32(0x000000); eol.u32(0xFFFFFF);
  for (int v : {2, 1, 0, 0, 1, 0, 1, 1, 0, 0}) eol.u8(v);
  const Bitmap b = FromBmp(eol.b);
  EXPECT_EQ(b.PixelIndex(0, 1), 1);
  EXPECT_EQ(b.PixelIndex(0, 0), 0);
  EXPECT_EQ(b.PixelIndex(1, 0), 1);
}

TEST(Bmp, RunLengthFileCannotClaimAHugePictureItLeavesOut) {
  // A kilobyte whose data ends the picture at once would declare a gigabyte.
  auto sparse = [](int width, int height, std::size_t dataBytes) {
    Writer w;
    w.header(54 + 8);
    w.info(width, height, 8, 1, 2);
    w.u32(0x000000); w.u32(0xFFFFFF);
    for (std::size_t k = 0; k + 2 < dataBytes; k += 2) {  // end-of-line codes, then the end
      w.u8(0); w.u8(0);
    }
    w.u8(0); w.u8(1);
    return w.b;
  };
  ExpectDamaged(sparse(65535, 16384, 1024), "1 KiB for 65535 x 16384");
  ExpectDamaged(sparse(8192, 8192, 2), "end of picture alone for 8192 x 8192");
  // Small sparse pictures (an icon left mostly blank) still load, and a
  // large one whose data is in proportion does too.
  const Bitmap icon = FromBmp(sparse(256, 256, 2));
  EXPECT_EQ(icon.Width(), 256);
  EXPECT_EQ(icon.PixelIndex(100, 100), 0);
  const Bitmap big = FromBmp(sparse(4096, 4352, (std::size_t{4096} * 4352) / 256 + 2));
  EXPECT_EQ(big.Height(), 4352);
}

TEST(Bmp, ImpossibleHeadersRaiseOurError) {
  auto base = [] {
    Writer w;
    w.header(54);
    return w;
  };
  {
    Writer w = base();
    w.info(70000, 1, 24, 0, 0);
    ExpectDamaged(w.b, "width above the limit");
  }
  {
    Writer w = base();
    w.info(60000, 60000, 32, 0, 0);  // 14 GB of pixels promised by a 54-byte file
    ExpectDamaged(w.b, "size not in the file");
  }
  {
    Writer w = base();
    w.info(-4, 5, 24, 0, 0);
    ExpectDamaged(w.b, "negative width");
  }
  {
    Writer w = base();
    w.info(1, INT32_MIN, 24, 0, 0);
    ExpectDamaged(w.b, "smallest height");
  }
  {
    Writer w = base();
    w.info(1, 1, 7, 0, 0);
    w.u32(0);
    ExpectDamaged(w.b, "bit count");
  }
  {
    Writer w = base();
    w.info(1, 1, 8, 0, 100000);
    ExpectDamaged(w.b, "huge colour table");
  }
  {
    Writer w = base();
    w.info(1, 1, 24, 1, 0);
    w.u32(0);
    ExpectDamaged(w.b, "run-length on 24 bits");
  }
  {
    Writer w;
    w.header(-1);
    w.info(1, 1, 24, 0, 0);
    w.u32(0);
    ExpectDamaged(w.b, "offset beyond the file");
  }
  {
    Writer w;
    w.header(54);
    w.u32(1000);  // header size
    ExpectDamaged(w.b, "header size");
  }
  ExpectDamaged({'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}, "signature");
}

TEST(Bmp, RandomlyDamagedFilesNeverCrash) {
  std::mt19937 rng(42);
  std::vector<std::vector<std::uint8_t>> seeds = {ToBmp(RandomBitmap(7, 5, PixelFormat::Bit4, 1)),
                                                  ToBmp(RandomBitmap(7, 5, PixelFormat::Bit8, 2)),
                                                  ToBmp(RandomBitmap(7, 5, PixelFormat::Bit24, 3))};
  // A run-length file as well, so its decoder meets garbage.
  Writer rle;
  rle.header(54 + 8);
  rle.info(6, 4, 8, 1, 2);
  rle.u32(0); rle.u32(0xFFFFFF);
  for (int i = 0; i < 40; ++i) rle.u8(static_cast<int>(rng() & 0xFF));
  seeds.push_back(rle.b);
  int loaded = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes = seeds[static_cast<std::size_t>(round) % seeds.size()];
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
    if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
    MemoryStream s(bytes);
    Bitmap b;
    try {
      ReadBmp(s, b);
      ++loaded;
      for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) (void)b.Pixel(x, y);
    } catch (const GraphicError&) {
      ++refused;
    }
  }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

// --- an independent reader and writer ---

// Debian's ImageMagick, else whichever convert the path offers.
const std::string& Convert() {
  static const std::string convert = [] {
    for (const char* candidate : {"/usr/bin/convert", "convert"})
      if (std::system((std::string(candidate) + " -version >/dev/null 2>&1").c_str()) == 0) return std::string(candidate);
    return std::string();
  }();
  return convert;
}

bool HaveImageMagick() { return !Convert().empty(); }

// RGB bytes of a picture file as Pillow decodes it.
std::vector<std::uint8_t> PillowRgb(const TempDir& dir, const std::string& picture) {
  const std::string out = dir / "pillow.rgb";
  EXPECT_EQ(RunPython(dir, "import sys\nfrom PIL import Image\n"
                           "open(sys.argv[2],'wb').write(Image.open(sys.argv[1]).convert('RGB').tobytes())\n",
                      picture + " " + out),
            0);
  return ReadFile(out);
}

void ExpectRgbEquals(const Bitmap& b, const std::vector<std::uint8_t>& rgb) {
  ASSERT_EQ(rgb.size(), static_cast<std::size_t>(b.Width()) * static_cast<std::size_t>(b.Height()) * 3);
  int bad = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(b.Width()) + static_cast<std::size_t>(x)) * 3;
      if (b.Pixel(x, y) != RGBColor(rgb[i], rgb[i + 1], rgb[i + 2]) && ++bad < 5)
        ADD_FAILURE() << "pixel " << x << "," << y;
    }
  EXPECT_EQ(bad, 0);
}

TEST_P(BmpFormats, IndependentReaderSeesOurPixels) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  TempDir dir;
  const Bitmap b = RandomBitmap(37, 11, GetParam(), 1234);
  Bitmap copy(b);
  copy.SaveToFile(dir / "ours.bmp");
  ExpectRgbEquals(b, PillowRgb(dir, dir / "ours.bmp"));
}

struct Foreign {
  const char* name;
  int bits;
  int compression;
};

class ForeignBmp : public ::testing::TestWithParam<Foreign> {};

// Pictures written by Pillow (1, 8, 24 bits) and ImageMagick (4 bits, and 8
// bits run-length coded) are read with the pixels Pillow reads.
TEST_P(ForeignBmp, WeReadTheirPixels) {
  const Foreign f = GetParam();
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  if (f.bits == 4 || f.compression) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  }
  TempDir dir;
  const std::string bmp = dir / "theirs.bmp";
  // A picture with diagonal stripes of 12 colours, at an odd width, with a
  // few random pixels so rows differ.
  const std::string make =
      "import sys, random\nfrom PIL import Image\n"
      "random.seed(7)\n"
      "cols=[(random.randrange(256),random.randrange(256),random.randrange(256)) for i in range(12)]\n"
      "im=Image.new('RGB',(29,13))\n"
      "for y in range(13):\n"
      "  for x in range(29):\n"
      "    im.putpixel((x,y), cols[(x+2*y)%12] if random.random()>0.1 else cols[random.randrange(12)])\n"
      "mode=sys.argv[2]\n"
      "if mode=='1': im=im.convert('1')\n"
      "elif mode=='P': im=im.quantize(12)\n"
      "if mode=='ppm': im.save(sys.argv[1][:-4]+'.ppm')\n"
      "else: im.save(sys.argv[1])\n";
  if (std::string(f.name) == "imagemagick-4") {
    ASSERT_EQ(RunPython(dir, make, bmp + " ppm"), 0);
    ASSERT_EQ(std::system((Convert() + " " + dir / "theirs.ppm" + " -type Palette BMP3:" + bmp).c_str()), 0);
  } else if (std::string(f.name) == "imagemagick-rle8") {
    ASSERT_EQ(RunPython(dir, make, bmp + " ppm"), 0);
    ASSERT_EQ(std::system((Convert() + " " + dir / "theirs.ppm" + " -type Palette -colors 200 -compress RLE BMP3:" + bmp).c_str()), 0);
  } else {
    ASSERT_EQ(RunPython(dir, make, bmp + " " + (f.bits == 1 ? "1" : f.bits == 8 ? "P" : "RGB")), 0);
  }
  const auto bytes = ReadFile(bmp);
  ASSERT_GT(bytes.size(), 54u);
  ASSERT_EQ(bytes[28], f.bits) << "the tool wrote another depth than this case is about";
  ASSERT_EQ(bytes[30], f.compression);
  Bitmap ours;
  ours.LoadFromFile(bmp);
  EXPECT_EQ(ours.BitsPerPixel(), f.bits);
  ExpectRgbEquals(ours, PillowRgb(dir, bmp));
}

INSTANTIATE_TEST_SUITE_P(Tools, ForeignBmp,
                         ::testing::Values(Foreign{"pillow-1", 1, 0}, Foreign{"imagemagick-4", 4, 0},
                                           Foreign{"pillow-8", 8, 0}, Foreign{"pillow-24", 24, 0},
                                           Foreign{"imagemagick-rle8", 8, 1}),
                         [](const auto& instance) {
                           std::string n = instance.param.name;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

}  // namespace
}  // namespace platform

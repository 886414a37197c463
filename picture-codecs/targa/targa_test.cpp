// Targa codec: pictures of Pillow, ImageMagick and hand-written kinds against
// Pillow's decode (testdata/make_fixtures.py), the header and packet bytes
// of the format, what is saved after each kind of load, damaged files, the
// file, clipboard and property forms, and our files read by Pillow and
// ImageMagick through the conversion tool.
#include "picture-codecs/targa/targa.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "picture-codecs/codecs.h"
#include "picture-codecs/png/png.h"
#include "picture-codecs/targa/rle.h"
#include "picture-codecs/test_support.h"
#include "platform/bmp.h"
#include "platform/canvas.h"
#include "platform/picture.h"
#include "platform/test_support.h"

namespace codecs {
namespace {

const std::string kData = std::string(VELTRANO_SOURCE_DIR) + "/picture-codecs/targa/testdata/";

// Colours of a bitmap against a PNM file of an independent tool, each
// channel within tolerance.
int Mismatches(const Pnm& expected, const Bitmap& b, int tolerance, const std::string& what) {
  std::string report;
  const int bad = platform::testkit::PnmMismatches(expected, b, tolerance, report);
  if (bad > 0) ADD_FAILURE() << what << ":" << report;
  return bad;
}

std::unique_ptr<TTarga> Load(const std::vector<std::uint8_t>& bytes) {
  auto t = std::make_unique<TTarga>();
  MemoryStream s(bytes);
  t->LoadFromStream(s);
  return t;
}

std::vector<std::uint8_t> Save(TTarga& t) {
  MemoryStream s;
  t.SaveToStream(s);
  return s.Bytes();
}

std::vector<std::uint8_t> Header(int type, int w, int h, int depth, int descriptor, int mapType = 0, int mapStart = 0,
                                 int mapLength = 0, int mapSize = 0, int idLength = 0) {
  return {static_cast<std::uint8_t>(idLength), static_cast<std::uint8_t>(mapType), static_cast<std::uint8_t>(type),
          static_cast<std::uint8_t>(mapStart), static_cast<std::uint8_t>(mapStart >> 8),
          static_cast<std::uint8_t>(mapLength), static_cast<std::uint8_t>(mapLength >> 8),
          static_cast<std::uint8_t>(mapSize), 0, 0, 0, 0, static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
          static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(depth),
          static_cast<std::uint8_t>(descriptor)};
}

std::vector<std::uint8_t> Cat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// --- pictures of the independent tools ---

TEST(TargaFixtures, EveryTypeDepthAndDescriptorGivesPillowsPixels) {
  int checked = 0;
  for (const auto& e : fs::directory_iterator(kData)) {
    if (e.path().extension() != ".tga") continue;
    const std::string name = e.path().filename().string();
    const std::string stem = e.path().stem().string();
    TTarga t;
    t.LoadFromFile(e.path().string());
    // 5-bit channels are multiples of 8 here; Pillow spreads them to 255.
    const bool fiveBits = name.find("16") != std::string::npos || name.find("15") != std::string::npos;
    EXPECT_EQ(Mismatches(ReadPnm(kData + stem + ".ppm"), t.ImageBitmap, fiveBits ? 7 : 0, name), 0);
    EXPECT_EQ(t.ImageBitmap.GetPixelFormat(), PixelFormat::Bit32);
    EXPECT_EQ(t.AlphaBitmap.GetPixelFormat(), PixelFormat::Bit32);
    if (fs::exists(kData + stem + ".alpha.pgm")) {
      EXPECT_EQ(Mismatches(ReadPnm(kData + stem + ".alpha.pgm"), t.AlphaBitmap, 0, name + " alpha"), 0);
      EXPECT_EQ(t.DepthCode, TTarga::kDepth32) << name;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 21);
}

TEST(TargaFixtures, FieldsOfTheLoadedHeader) {
  TTarga t;
  t.LoadFromFile(kData + "hand_cmap16_start10.tga");
  EXPECT_EQ(t.IdLength, 18);
  EXPECT_EQ(t.ColourMapType, 1);
  EXPECT_EQ(t.ImageType, 1);
  EXPECT_EQ(t.ColourMapStart, 10);
  EXPECT_EQ(t.ColourMapLength, 200);
  EXPECT_EQ(t.ColourMapEntrySize, 16);
  EXPECT_EQ(t.ImageWidth, 17);
  EXPECT_EQ(t.ImageHeight, 13);
  EXPECT_EQ(t.ImageFormat, TTarga::kColourMapped);
  EXPECT_EQ(t.DepthCode, TTarga::kDepth8);
  EXPECT_FALSE(t.TopToBottom);
  // Entry 1 as stored: red 37, green 96, blue 254 in 5 bits each.
  EXPECT_EQ(t.ColourMap[1][0], 32);
  EXPECT_EQ(t.ColourMap[1][1], 96);
  EXPECT_EQ(t.ColourMap[1][2], 248);
  t.LoadFromFile(kData + "hand_rgb15_desc16.tga");
  EXPECT_TRUE(t.RightToLeft);
  EXPECT_EQ(t.DepthCode, TTarga::kDepth16);
  t.LoadFromFile(kData + "pil_rgb24_topdown.tga");
  EXPECT_TRUE(t.TopToBottom);
}

// --- the format's byte vectors ---

TEST(TargaBytes, HeaderOfAThreeByTwoPictureAndItsRowsBottomUp) {
  Bitmap b(3, 2, PixelFormat::Bit24);
  for (int x = 0; x < 3; ++x) {
    b.SetPixel(x, 0, RGBColor(10 + x, 20, 30));
    b.SetPixel(x, 1, RGBColor(40 + x, 50, 60));
  }
  TTarga t;
  t.Assign(b);
  EXPECT_EQ(t.Width(), 3);
  EXPECT_EQ(t.Height(), 2);
  const auto bytes = Save(t);
  const std::vector<std::uint8_t> header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
  ASSERT_EQ(bytes.size(), 18u + 3 * 2 * 3);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
  // The bottom row first, blue, green, red.
  EXPECT_EQ(bytes[18], 60);
  EXPECT_EQ(bytes[19], 50);
  EXPECT_EQ(bytes[20], 40);
  EXPECT_EQ(bytes[27], 30);
  EXPECT_EQ(bytes[29], 10);
}

TEST(TargaBytes, FiveFiveFiveReadAndWritten) {
  // 0x7FFF reads as 248 in every channel; bit 15 changes nothing.
  auto t = Load(Cat(Header(2, 3, 1, 16, 0), {0xFF, 0x7F, 0xFF, 0xFF, 0x1F, 0x7C}));
  EXPECT_EQ(t->ImageBitmap.Pixel(0, 0), RGBColor(248, 248, 248));
  EXPECT_EQ(t->ImageBitmap.Pixel(1, 0), RGBColor(248, 248, 248));
  EXPECT_EQ(t->ImageBitmap.Pixel(2, 0), RGBColor(248, 0, 248));
  // White saved as a 16-bit picture writes 0x7FFF.
  t->ImageBitmap.SetPixel(0, 0, platform::clWhite);
  const auto bytes = Save(*t);
  EXPECT_EQ(bytes[2], 2);
  EXPECT_EQ(bytes[16], 16);
  EXPECT_EQ(bytes[18], 0xFF);
  EXPECT_EQ(bytes[19], 0x7F);
  EXPECT_EQ(bytes[22], 0x1F);
  EXPECT_EQ(bytes[23], 0x7C);
}

std::vector<std::uint8_t> RleRow(const std::vector<platform::Color>& row) {
  Bitmap b(static_cast<int>(row.size()), 1, PixelFormat::Bit24);
  for (std::size_t x = 0; x < row.size(); ++x) b.SetPixel(static_cast<int>(x), 0, row[x]);
  TTarga t;
  t.Assign(b);
  t.ImageFormat = TTarga::kRleTrueColour;
  const auto bytes = Save(t);
  EXPECT_EQ(bytes[2], 10);
  EXPECT_EQ(bytes[16], 24);
  return std::vector<std::uint8_t>(bytes.begin() + 18, bytes.end());
}

TEST(TargaBytes, RunLengthPacketsOfTheFormat) {
  const platform::Color x = RGBColor(1, 2, 3);
  // 129 equal pixels: a repeat packet of 128 and a raw packet of 1.
  EXPECT_EQ(RleRow(std::vector<platform::Color>(129, x)), (std::vector<std::uint8_t>{0xFF, 3, 2, 1, 0x00, 3, 2, 1}));
  // 130 different pixels: raw packets of 128 and 2.
  std::vector<platform::Color> distinct;
  for (int i = 0; i < 130; ++i) distinct.push_back(RGBColor(i, 0, 0));
  const auto d = RleRow(distinct);
  ASSERT_EQ(d.size(), 1 + 128 * 3 + 1 + 2 * 3u);
  EXPECT_EQ(d[0], 0x7F);
  EXPECT_EQ(d[1 + 127 * 3 + 2], 127);
  EXPECT_EQ(d[1 + 128 * 3], 0x01);
  EXPECT_EQ(d[1 + 128 * 3 + 1 + 3 + 2], 129);
  // A B C C: the open raw packet goes out before the run, in order.
  const platform::Color a = RGBColor(10, 0, 0), b = RGBColor(20, 0, 0), c = RGBColor(30, 0, 0);
  EXPECT_EQ(RleRow({a, b, c, c}), (std::vector<std::uint8_t>{0x01, 0, 0, 10, 0, 0, 20, 0x81, 0, 0, 30}));
  // Two equal neighbours are always a run; a lone last pixel a raw packet.
  EXPECT_EQ(RleRow({a, a, b}), (std::vector<std::uint8_t>{0x81, 0, 0, 10, 0x00, 0, 0, 20}));
}

TEST(TargaBytes, EncoderAndDecoderAgreeOnAnyRow) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 300; ++trial) {
    const std::size_t n = 1 + rng() % 400;
    std::vector<std::uint8_t> row(n * 3);
    std::vector<std::uint32_t> values(n);
    const unsigned colours = 1 + rng() % 4;  // few colours: long and short runs
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t v = static_cast<std::uint8_t>(rng() % colours);
      row[i * 3] = v;
      row[i * 3 + 1] = static_cast<std::uint8_t>(v * 2);
      row[i * 3 + 2] = 7;
      values[i] = std::uint32_t{v} | std::uint32_t{row[i * 3 + 1]} << 8 | std::uint32_t{7} << 16;
    }
    std::vector<std::uint8_t> packets(TargaRleBound(n));
    packets.resize(EncodeTargaRleValues(values.data(), n, packets.data()));
    std::vector<std::uint8_t> back(row.size());
    ASSERT_EQ(DecodeTargaRle(packets.data(), packets.size(), 3, back.data(), back.size()), packets.size());
    ASSERT_EQ(back, row) << trial;
    // No packet longer than 128 pixels, no two raw neighbours left equal.
    for (std::size_t i = 0; i < packets.size();) {
      const std::size_t count = (packets[i] & 0x7F) + 1u;
      ASSERT_LE(count, 128u);
      i += 1 + (packets[i] & 0x80 ? 3 : count * 3);
    }
  }
}

// --- loads ---

TEST(TargaLoad, RunLengthPacketsCrossRowsAndAreCutAtThePicture) {
  // 3 x 2 grey, top-down: one repeat packet of 4 crosses the first row's end,
  // then a raw packet of 4 of which two pixels lie past the picture.
  const auto file = Cat(Header(11, 3, 2, 8, 32), {0x83, 50, 0x03, 60, 70, 80, 90});
  auto t = Load(file);
  EXPECT_EQ(t->ImageBitmap.Pixel(0, 0), RGBColor(50, 50, 50));
  EXPECT_EQ(t->ImageBitmap.Pixel(2, 0), RGBColor(50, 50, 50));
  EXPECT_EQ(t->ImageBitmap.Pixel(0, 1), RGBColor(50, 50, 50));
  EXPECT_EQ(t->ImageBitmap.Pixel(1, 1), RGBColor(60, 60, 60));
  EXPECT_EQ(t->ImageBitmap.Pixel(2, 1), RGBColor(70, 70, 70));
  // A repeat packet of 128 for a picture of 6 pixels.
  auto big = Load(Cat(Header(11, 3, 2, 8, 0), {0xFF, 9}));
  EXPECT_EQ(big->ImageBitmap.Pixel(2, 1), RGBColor(9, 9, 9));
  // The stream is left right after the packets used.
  MemoryStream s(Cat(Cat(Header(10, 2, 1, 24, 0), {0x81, 1, 2, 3}), {0xAB}));
  TTarga p;
  p.LoadFromStream(s);
  EXPECT_EQ(s.Position(), 22);
}

TEST(TargaLoad, ColourMapIndicesCountFromTheFirstEntry) {
  // Map of 2 entries starting at 5; index 4 and 7 are not stored: black.
  const auto file = Cat(Header(1, 4, 1, 8, 0, 1, 5, 2, 24), {0, 0, 200, 0, 200, 0, 4, 5, 6, 7});
  auto t = Load(file);
  EXPECT_EQ(t->ImageBitmap.Pixel(0, 0), platform::clBlack);
  EXPECT_EQ(t->ImageBitmap.Pixel(1, 0), RGBColor(200, 0, 0));
  EXPECT_EQ(t->ImageBitmap.Pixel(2, 0), RGBColor(0, 200, 0));
  EXPECT_EQ(t->ImageBitmap.Pixel(3, 0), platform::clBlack);
  // Entries of another size (8 bits) are passed over by their bytes, black.
  auto odd = Load(Cat(Header(1, 2, 1, 8, 0, 1, 0, 3, 8), {11, 22, 33, 0, 2}));
  EXPECT_EQ(odd->ImageBitmap.Pixel(0, 0), platform::clBlack);
  // A map longer than the 1000 entries held is refused.
  EXPECT_THROW(Load(Cat(Header(1, 1, 1, 8, 0, 1, 0, 1001, 24), std::vector<std::uint8_t>(3004, 0))),
               platform::GraphicError);
}

TEST(TargaLoad, DamageAndUnknownKindsFailAndKeepThePicture) {
  TTarga t;
  t.LoadFromFile(kData + "pil_rgb24_rle.tga");
  const Bitmap before = t.ImageBitmap;
  for (const char* name : {"pil_rgb24_rle.tga", "pil_rgba32.tga", "hand_cmap32_start10.tga", "hand_rgb16_rle.tga",
                           "pil_grey8_rle.tga"}) {
    const auto file = ReadFile(kData + name);
    const auto whole = Load(file);
    std::size_t failures = 0;
    for (std::size_t n = 0; n < file.size(); ++n) {
      try {
        t.LoadFromStream(*std::make_unique<MemoryStream>(file.data(), n));
        // Only bytes after the pixels (a footer) may be missing unnoticed.
        EXPECT_TRUE(platform::SamePixels(t.ImageBitmap, whole->ImageBitmap)) << name << " cut at " << n;
        t.LoadFromFile(kData + "pil_rgb24_rle.tga");
      } catch (const platform::GraphicError&) {
        ++failures;
        ASSERT_TRUE(platform::SamePixels(t.ImageBitmap, before)) << name << " cut at " << n;
      }
    }
    EXPECT_GE(failures, file.size() - 30) << name;  // Pillow adds no footer; ImageMagick would
  }
  // Kinds not read: a colour-mapped picture of 16-bit indices, 8-bit true
  // colour, 16-bit grey, type 32.
  for (const auto& header : {Header(1, 1, 1, 16, 0), Header(2, 1, 1, 8, 0), Header(3, 1, 1, 16, 0), Header(32, 1, 1, 8, 0)})
    EXPECT_THROW(Load(Cat(header, {0, 0, 0, 0})), platform::GraphicError);
  // A small file cannot claim a big picture.
  EXPECT_THROW(Load(Cat(Header(2, 60000, 60000, 24, 0), {1, 2, 3})), platform::GraphicError);
  EXPECT_THROW(Load(Cat(Header(10, 60000, 60000, 24, 0), {0xFF, 1, 2, 3})), platform::GraphicError);
  // Type 0: no pixels and no picture, whatever size the header gives.
  auto none = Load(Header(0, 60000, 60000, 0, 0));
  EXPECT_TRUE(none->Empty());
  EXPECT_EQ(none->Width(), 0);
  EXPECT_EQ(none->ImageWidth, 60000);
  EXPECT_EQ(none->ImageFormat, TTarga::kNoImage);
}

// --- saves ---

TEST(TargaSave, TypeAndDepthFollowTheLoadedPicture) {
  struct Case {
    const char* file;
    int type, depth, descriptor;
  } cases[] = {
      {"pil_rgb24_rle.tga", 10, 24, 0},  {"im_rgb24_rle.tga", 10, 24, 0},   {"pil_rgb24.tga", 2, 24, 0},
      {"pil_rgba32.tga", 2, 32, 8},      {"pil_rgba32_rle.tga", 10, 24, 0}, {"hand_rgb16.tga", 2, 16, 0},
      {"hand_rgb16_rle.tga", 10, 24, 0}, {"pil_grey8.tga", 2, 24, 0},       {"pil_grey8_rle.tga", 2, 24, 0},
      {"pil_pal8_rle.tga", 2, 24, 0},    {"pil_rgb24_topdown.tga", 2, 24, 0},
  };
  for (const Case& c : cases) {
    TTarga t;
    t.LoadFromFile(kData + c.file);
    const auto bytes = Save(t);
    EXPECT_EQ(bytes[2], c.type) << c.file;
    EXPECT_EQ(bytes[16], c.depth) << c.file;
    EXPECT_EQ(bytes[17], c.descriptor) << c.file;
    EXPECT_EQ(bytes[1], 0) << c.file;
    // What is saved reads back as the same picture and alpha.
    const auto back = Load(bytes);
    EXPECT_TRUE(platform::SamePixels(back->ImageBitmap, t.ImageBitmap)) << c.file;
    if (c.depth == 32) {
      EXPECT_TRUE(platform::SamePixels(back->AlphaBitmap, t.AlphaBitmap)) << c.file;
    }
  }
}

// The file a picture should give, written byte by byte from the format's
// description: header, rows bottom-up, and packets by the pending-pixel
// rules, independent of the encoder's word-wise and block-wise code.
std::vector<std::uint8_t> ReferenceFile(const Bitmap& image, const Bitmap& alpha, bool rle, int bytesPerPixel) {
  const int w = image.Width(), h = image.Height();
  if (rle) bytesPerPixel = 3;
  std::vector<std::uint8_t> out = Header(rle ? 10 : 2, w, h, bytesPerPixel * 8, bytesPerPixel == 4 ? 8 : 0);
  const auto put = [&out](std::uint32_t v) {
    for (int k = 0; k < 3; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
  };
  for (int y = h - 1; y >= 0; --y) {
    std::vector<std::uint32_t> px;
    for (int x = 0; x < w; ++x) {
      const platform::Color c = image.Pixel(x, y);
      px.push_back(static_cast<std::uint32_t>(platform::GetBValue(c) | platform::GetGValue(c) << 8 |
                                              platform::GetRValue(c) << 16));
    }
    if (!rle) {
      for (int x = 0; x < w; ++x) {
        const std::uint32_t v = px[static_cast<std::size_t>(x)];
        if (bytesPerPixel == 2) {
          const unsigned b = v & 0xFF, g = v >> 8 & 0xFF, r = v >> 16;
          const unsigned word = (r / 8) * 1024 + (g / 8) * 32 + b / 8;
          out.push_back(static_cast<std::uint8_t>(word & 0xFF));
          out.push_back(static_cast<std::uint8_t>(word >> 8));
        } else {
          put(v);
          if (bytesPerPixel == 4) out.push_back(alpha.ScanLine(y)[4 * x]);
        }
      }
      continue;
    }
    std::vector<std::uint32_t> raw;
    const auto flushRaw = [&] {
      if (raw.empty()) return;
      out.push_back(static_cast<std::uint8_t>(raw.size() - 1));
      for (std::uint32_t v : raw) put(v);
      raw.clear();
    };
    const auto repeat = [&](std::size_t n, std::uint32_t v) {
      out.push_back(static_cast<std::uint8_t>(0x80 + n - 1));
      put(v);
    };
    std::uint32_t pending = px[0];
    bool havePending = true;
    std::size_t run = 0;  // pixels of the open run, the pending one included
    for (std::size_t k = 1; k < px.size(); ++k) {
      const std::uint32_t x = px[k];
      if (!havePending) {
        pending = x;
        havePending = true;
      } else if (x == pending) {
        if (run == 0) {
          flushRaw();
          run = 1;
        }
        if (++run == 128) {
          repeat(run, pending);
          run = 0;
          havePending = false;
        }
      } else if (run > 0) {
        repeat(run, pending);
        run = 0;
        pending = x;
      } else {
        raw.push_back(pending);
        pending = x;
        if (raw.size() == 128) flushRaw();
      }
    }
    if (havePending && run > 0) repeat(run, pending);
    if (havePending && run == 0) raw.push_back(pending);
    flushRaw();
  }
  return out;
}

TEST(TargaSave, EveryKindGivesTheBytesOfTheFormatsDescription) {
  // Pictures: the PNG suite's (every size from 1 to 32 pixels wide), our
  // fixtures, and rows of runs around the packet limit of 128 pixels.
  std::vector<std::pair<std::string, Bitmap>> pictures;
  const std::string suite = std::string(VELTRANO_SOURCE_DIR) + "/picture-codecs/png/testdata/pngsuite/";
  for (const auto& e : fs::directory_iterator(suite)) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".png" || name[0] == 'x') continue;
    TPNGImage png;
    png.LoadFromFile(e.path().string());
    Bitmap b;
    b.Assign(png);
    pictures.emplace_back(name, b);
  }
  for (const auto& e : fs::directory_iterator(kData)) {
    if (e.path().extension() != ".tga") continue;
    TTarga t;
    t.LoadFromFile(e.path().string());
    pictures.emplace_back(e.path().filename().string(), t.ImageBitmap);
  }
  std::mt19937 rng(11);
  for (int width : {1, 2, 3, 4, 5, 7, 127, 128, 129, 130, 257, 300}) {
    Bitmap b(width, 6, PixelFormat::Bit24);
    for (int y = 0; y < 6; ++y) {
      int x = 0;
      while (x < width) {
        const int length = std::min(width - x, static_cast<int>(rng() % 4 == 0 ? 100 + rng() % 200 : 1 + rng() % 4));
        const platform::Color c = RGBColor(static_cast<int>(rng() % 3), static_cast<int>(rng() % 256), 9);
        for (int k = 0; k < length; ++k) b.SetPixel(x++, y, c);
      }
    }
    pictures.emplace_back("runs " + std::to_string(width), b);
  }
  ASSERT_GT(pictures.size(), 170u);
  for (const auto& [name, picture] : pictures) {
    TTarga t;
    t.Assign(picture);
    // Alpha: a pattern of its own, so that no byte of it equals the colour's.
    t.AlphaBitmap.SetSize(t.Width(), t.Height());
    for (int y = 0; y < t.Height(); ++y)
      for (int x = 0; x < t.Width(); ++x)
        t.AlphaBitmap.SetPixel(x, y, RGBColor((x * 37 + y * 11) & 255, 0, 0));
    for (const auto& [format, depth] : {std::pair{TTarga::kTrueColour, TTarga::kDepth16},
                                        {TTarga::kTrueColour, TTarga::kDepth24},
                                        {TTarga::kTrueColour, TTarga::kDepth32},
                                        {TTarga::kRleTrueColour, TTarga::kDepth24}}) {
      t.ImageFormat = format;
      t.DepthCode = depth;
      const bool rle = format == TTarga::kRleTrueColour;
      const int bytes = depth == TTarga::kDepth16 ? 2 : depth == TTarga::kDepth32 ? 4 : 3;
      const auto expected = ReferenceFile(t.ImageBitmap, t.AlphaBitmap, rle, bytes);
      ASSERT_EQ(Save(t), expected) << name << " at " << bytes * 8 << (rle ? " bits, run-length" : " bits");
      // The same bytes straight from a 24-bit bitmap of the picture.
      Bitmap narrow(t.ImageBitmap);
      narrow.SetPixelFormat(PixelFormat::Bit24);
      MemoryStream direct;
      WriteTarga(direct, narrow, &t.AlphaBitmap, rle, static_cast<std::size_t>(bytes));
      ASSERT_EQ(direct.Bytes(), expected) << name << " from 24 bits";
    }
  }
}

TEST(TargaSave, AssignDrawAndTheSizeOfThePictureHeld) {
  TTarga a;
  a.LoadFromFile(kData + "pil_rgba32.tga");
  TTarga b;
  b.Assign(a);
  EXPECT_EQ(b.Width(), 17);
  EXPECT_EQ(b.Height(), 13);
  EXPECT_TRUE(platform::SamePixels(b.AlphaBitmap, a.AlphaBitmap));
  // A picture built in memory reports its own size, not header fields.
  TTarga built;
  built.ImageBitmap.SetSize(5, 4);
  EXPECT_EQ(built.Width(), 5);
  EXPECT_EQ(built.Height(), 4);
  EXPECT_EQ(Save(built)[12], 5);
  EXPECT_FALSE(built.Empty());
  // Any bitmap format given to the image stays 32 bits.
  built.ImageBitmap.SetPixelFormat(PixelFormat::Bit8);
  EXPECT_EQ(built.ImageBitmap.GetPixelFormat(), PixelFormat::Bit32);
  // To a bitmap and drawn: the same pixels.
  Bitmap bitmap;
  bitmap.Assign(a);
  EXPECT_TRUE(platform::SamePixels(bitmap, a.ImageBitmap));
  Bitmap canvas(17, 13, PixelFormat::Bit24);
  a.Draw(canvas.GetCanvas(), platform::Rect{0, 0, 17, 13});
  EXPECT_TRUE(platform::SamePixels(canvas, a.ImageBitmap));
}

TEST(TargaSave, FilesGoThroughATemporaryFileAndBmpByName) {
  TempDir dir("targa_save");
  TTarga t;
  t.LoadFromFile(kData + "pil_rgb24.tga");
  const std::string path = dir / "picture.tga";
  std::ofstream(path) << "old content";
  t.SaveToFile(path);
  EXPECT_EQ(ReadFile(path), Save(t));
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.Path())) ++files, (void)e;
  EXPECT_EQ(files, 1);  // no temporary file left
  // ".BMP" in any case: a Windows bitmap of the image.
  t.SaveToFile(dir / "picture.Bmp");
  const auto bmp = ReadFile(dir / "picture.Bmp");
  ASSERT_GT(bmp.size(), 2u);
  EXPECT_EQ(bmp[0], 'B');
  Bitmap read;
  read.LoadFromFile(dir / "picture.Bmp");
  EXPECT_TRUE(platform::SamePixels(read, t.ImageBitmap));
  // A folder that cannot be written: an error, the old file untouched.
  fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  if (access(dir.Path().c_str(), W_OK) != 0) {
    EXPECT_THROW(t.SaveToFile(path), platform::StreamError);
    EXPECT_EQ(ReadFile(path), Save(t));
  }
  fs::permissions(dir.Path(), fs::perms::owner_all);
}

TEST(TargaSave, SidesPastTheHeaderAreRefusedBeforeWriting) {
  TempDir dir("targa_wide");
  const std::string path = dir / "wide.tga";
  std::ofstream(path) << "old content";
  for (const auto& [w, h] : {std::pair{TTarga::kMaxSide + 1, 1}, std::pair{1, TTarga::kMaxSide + 1}}) {
    TTarga t;
    t.ImageBitmap.SetSize(w, h);
    platform::MemoryStream out;
    EXPECT_THROW(t.SaveToStream(out), platform::GraphicError) << w << " x " << h;
    EXPECT_EQ(out.Size(), 0);
    EXPECT_THROW(t.SaveToFile(path), platform::GraphicError);
    EXPECT_EQ(ReadFile(path), std::vector<std::uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
  }
  // The largest side the header holds is written and read back.
  TTarga t;
  t.ImageBitmap.SetSize(TTarga::kMaxSide, 1);
  t.ImageBitmap.SetPixel(TTarga::kMaxSide - 1, 0, platform::RGBColor(1, 2, 3));
  TTarga back;
  platform::MemoryStream in(Save(t));
  back.LoadFromStream(in);
  EXPECT_EQ(back.Width(), TTarga::kMaxSide);
  EXPECT_EQ(back.ImageBitmap.Pixel(TTarga::kMaxSide - 1, 0), platform::RGBColor(1, 2, 3));
}

TEST(TargaSave, ClipboardAndPropertyForms) {
  TTarga t;
  t.LoadFromFile(kData + "pil_rgba32_rle.tga");
  QMimeData mime;
  t.SaveToClipboardFormat(mime);
  const QByteArray block = platform::ClipboardFormatData(mime, TTarga::kClipboardFormat);
  const auto bytes = Save(t);
  ASSERT_EQ(static_cast<std::size_t>(block.size()), bytes.size() + 4);
  EXPECT_EQ(static_cast<std::uint8_t>(block[0]), bytes.size() & 0xFF);
  EXPECT_EQ(static_cast<std::uint8_t>(block[1]), bytes.size() >> 8);
  EXPECT_EQ(platform::ClipboardFormatMimeType(TTarga::kClipboardFormat).rfind("application/", 0), 0u);
  TTarga pasted;
  pasted.LoadFromClipboardFormat(TTarga::kClipboardFormat, mime);
  EXPECT_TRUE(platform::SamePixels(pasted.ImageBitmap, t.ImageBitmap));
  EXPECT_THROW(pasted.LoadFromClipboardFormat(platform::kClipboardBitmap, mime), platform::GraphicError);
  // A length beyond the block is damage.
  QMimeData cut;
  platform::SetClipboardFormatData(cut, TTarga::kClipboardFormat, block.left(block.size() - 1));
  EXPECT_THROW(pasted.LoadFromClipboardFormat(TTarga::kClipboardFormat, cut), platform::GraphicError);

  // Property data: class name, then 32-bit uncompressed Targa; a Windows
  // bitmap in its place is read too.
  MemoryStream property;
  t.WriteData(property);
  EXPECT_EQ(property.Bytes()[0], 6);
  EXPECT_EQ(std::string(property.Bytes().begin() + 1, property.Bytes().begin() + 7), "TTarga");
  EXPECT_EQ(property.Bytes()[7 + 2], 2);
  EXPECT_EQ(property.Bytes()[7 + 16], 32);
  property.SetPosition(0);
  TTarga fromProperty;
  fromProperty.ReadData(property);
  EXPECT_TRUE(platform::SamePixels(fromProperty.ImageBitmap, t.ImageBitmap));
  EXPECT_TRUE(platform::SamePixels(fromProperty.AlphaBitmap, t.AlphaBitmap));
  MemoryStream asBmp;
  asBmp.WriteU8(6);
  asBmp.WriteBuffer("TTarga", 6);
  platform::WriteBmp(asBmp, platform::testkit::RandomBitmap(3, 2, PixelFormat::Bit24, 4));
  asBmp.SetPosition(0);
  fromProperty.ReadData(asBmp);
  EXPECT_TRUE(platform::SamePixels(fromProperty.ImageBitmap, platform::testkit::RandomBitmap(3, 2, PixelFormat::Bit24, 4)));
}

// The picture kept as a stored property of the picture layer: "Data" in the
// property form above, written when the picture is not empty or differs
// from the ancestor's.
TEST(TargaSave, DataPropertyThroughTheStoredProperties) {
  TTarga t;
  t.ImageBitmap = platform::testkit::RandomBitmap(5, 3, PixelFormat::Bit32, 7);
  t.AlphaBitmap = Bitmap(5, 3, PixelFormat::Bit32);
  for (int i = 0; i < 15; ++i) t.AlphaBitmap.SetPixel(i % 5, i / 5, RGBColor(17 * i, 17 * i, 17 * i));  // grey
  MemoryStream stored;
  platform::WriteProperties(t, stored);
  MemoryStream data;
  t.WriteData(data);
  // Name, byte count, the property form; then the end.
  ASSERT_EQ(stored.Size(), 1 + 4 + 4 + data.Size() + 1);
  EXPECT_EQ(std::string(stored.Bytes().begin() + 1, stored.Bytes().begin() + 5), "Data");
  EXPECT_TRUE(std::equal(data.Bytes().begin(), data.Bytes().end(), stored.Bytes().begin() + 9));
  stored.SetPosition(0);
  TTarga back;
  platform::ReadProperties(back, stored);
  EXPECT_EQ(stored.Position(), stored.Size());
  EXPECT_TRUE(platform::SamePixels(back.ImageBitmap, t.ImageBitmap));
  EXPECT_TRUE(platform::SamePixels(back.AlphaBitmap, t.AlphaBitmap));

  // Nothing to store: an empty picture, or one equal to the ancestor's.
  TTarga empty;
  MemoryStream none;
  platform::WriteProperties(empty, none);
  EXPECT_EQ(none.Bytes(), std::vector<std::uint8_t>{0});
  none.Clear();
  platform::WriteProperties(t, none, &back);
  EXPECT_EQ(none.Bytes(), std::vector<std::uint8_t>{0});
  back.ImageBitmap.SetPixel(0, 0, RGBColor(1, 2, 3));
  MemoryStream differs;
  platform::WriteProperties(t, differs, &back);
  EXPECT_EQ(differs.Size(), stored.Size());

  // A property cut short is refused.
  stored.SetSize(stored.Size() - 2);
  stored.SetPosition(0);
  EXPECT_THROW(platform::ReadProperties(back, stored), platform::GraphicError);
}

// --- exchange with independent readers ---

TEST(TargaExchange, RegisteredAndOurFilesReadByPillowAndImageMagick) {
  RegisterPictureCodecs();
  const auto format = platform::FindFileFormat("TGA");
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->extension, "tga");
  EXPECT_EQ(format->description, "Targa image");
  EXPECT_TRUE(platform::SupportsClipboardFormat(TTarga::kClipboardFormat));

  TempDir dir("targa_exchange");
  Bitmap source = platform::testkit::RandomBitmap(19, 11, PixelFormat::Bit24, 8);
  source.SaveToFile(dir / "in.bmp");
  auto picconv = [](const std::string& in, const std::string& out) {
    const int status = std::system((std::string(VELTRANO_PICCONV) + " " + in + " " + out).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(picconv(dir / "in.bmp", dir / "ours.tga"), 0);
  // A run-length file of ours, 16- and 32-bit ones, written straight.
  TTarga rle;
  rle.LoadFromFile(kData + "pil_rgb24_rle.tga");
  rle.SaveToFile(dir / "rle.tga");
  TTarga alpha;
  alpha.LoadFromFile(kData + "pil_rgba32.tga");
  alpha.SaveToFile(dir / "alpha.tga");
  // And back through the tool into a bitmap.
  ASSERT_EQ(picconv(dir / "ours.tga", dir / "back.bmp"), 0);
  Bitmap back;
  back.LoadFromFile(dir / "back.bmp");
  EXPECT_TRUE(platform::SamePixels(back, source));

  if (!platform::testkit::HavePillow()) GTEST_SKIP() << "no Pillow";
  const std::string script =
      "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\nrgb=im.convert('RGB')\n"
      "open(sys.argv[2],'wb').write(b'P6\\n%d %d\\n255\\n' % rgb.size + rgb.tobytes())\n"
      "if im.mode=='RGBA':\n a=im.getchannel('A')\n open(sys.argv[2]+'.a','wb').write(b'P5\\n%d %d\\n255\\n' % a.size + a.tobytes())\n";
  struct Pair {
    std::string file;
    const Bitmap* image;
    const Bitmap* alpha;
  } pairs[] = {{dir / "ours.tga", &source, nullptr}, {dir / "rle.tga", &rle.ImageBitmap, nullptr},
               {dir / "alpha.tga", &alpha.ImageBitmap, &alpha.AlphaBitmap}};
  for (const Pair& p : pairs) {
    ASSERT_EQ(platform::testkit::RunPython(dir, script, p.file + " " + p.file + ".ppm"), 0) << p.file;
    EXPECT_EQ(Mismatches(ReadPnm(p.file + ".ppm"), *p.image, 0, p.file + " by Pillow"), 0);
    if (p.alpha) {
      EXPECT_EQ(Mismatches(ReadPnm(p.file + ".ppm.a"), *p.alpha, 0, p.file + " alpha by Pillow"), 0);
    }
    // ImageMagick keeps a bottom-up file's row order as a property unless
    // asked to turn the picture upright.
    if (std::system("/usr/bin/convert -version >/dev/null 2>&1") == 0) {
      ASSERT_EQ(std::system(("/usr/bin/convert " + p.file + " -auto-orient -alpha off -depth 8 " + p.file + ".im.ppm").c_str()), 0);
      EXPECT_EQ(Mismatches(ReadPnm(p.file + ".im.ppm"), *p.image, 0, p.file + " by ImageMagick"), 0);
    }
  }
}

}  // namespace
}  // namespace codecs

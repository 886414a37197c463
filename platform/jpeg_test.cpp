// JPEG pictures: coding within a small error, exchange with an independent
// coder (Pillow), damaged and truncated data, quality and saving unchanged.
#include "platform/jpeg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

// libjpeg needs FILE and size_t declared first.
#include <jpeglib.h>

#include "platform/picture.h"
#include "platform/test_support.h"

namespace platform {
namespace {


// A photo-like picture: smooth gradients and a few soft shapes (JPEG is made
// for these; random noise would only measure the quantiser).
Bitmap SmoothPicture(int w, int h) {
  Bitmap b(w, h, PixelFormat::Bit24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
      const int r = static_cast<int>(255 * fx);
      const int g = static_cast<int>(255 * fy);
      const int bl = static_cast<int>(127.5 + 127.5 * std::sin(6.0 * (fx + fy)));
      b.SetPixel(x, y, RGBColor(r, g, bl));
    }
  return b;
}

struct Error {
  double mean = 0;
  int max = 0;
};

Error Compare(const Bitmap& a, const Bitmap& b) {
  Error e;
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  if (a.Width() != b.Width() || a.Height() != b.Height()) return Error{1e9, 255};
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const Color p = a.Pixel(x, y), q = b.Pixel(x, y);
      for (int d : {GetRValue(p) - GetRValue(q), GetGValue(p) - GetGValue(q), GetBValue(p) - GetBValue(q)}) {
        sum += std::abs(d);
        e.max = std::max(e.max, std::abs(d));
      }
    }
  e.mean = sum / (3.0 * a.Width() * a.Height());
  return e;
}

std::vector<std::uint8_t> Encoded(const Bitmap& b, int quality) { return JpegImage::Encode(b, quality); }

TEST(Jpeg, EncodeDecodeStaysCloseToTheSource) {
  const Bitmap source = SmoothPicture(97, 61);  // sizes that are no multiple of the 8 x 8 blocks
  const Bitmap decoded = JpegImage::Decode(Encoded(source, 95).data(), Encoded(source, 95).size());
  EXPECT_EQ(decoded.GetPixelFormat(), PixelFormat::Bit24);
  const Error e = Compare(source, decoded);
  EXPECT_LT(e.mean, 2.0);
  EXPECT_LT(e.max, 40);
}

TEST(Jpeg, QualityTradesSizeForError) {
  const Bitmap source = SmoothPicture(128, 128);
  const auto low = Encoded(source, 10), high = Encoded(source, 100);
  EXPECT_LT(low.size(), high.size());
  const Error eLow = Compare(source, JpegImage::Decode(low.data(), low.size()));
  const Error eHigh = Compare(source, JpegImage::Decode(high.data(), high.size()));
  EXPECT_LT(eHigh.mean, eLow.mean);
  // Out-of-range qualities are clamped, not refused.
  EXPECT_EQ(Encoded(source, 0), Encoded(source, 1));
  EXPECT_EQ(Encoded(source, 1000), Encoded(source, 100));
  JpegImage image;
  image.SetCompressionQuality(-5);
  EXPECT_EQ(image.CompressionQuality(), 1);
}

TEST(Jpeg, EveryFormatOfBitmapEncodes) {
  for (PixelFormat f : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit32}) {
    Bitmap b = SmoothPicture(20, 10);
    b.SetPixelFormat(f);
    JpegImage image;
    image.Assign(b);
    EXPECT_EQ(image.Width(), 20);
    MemoryStream s;
    image.SaveToStream(s);
    s.SetPosition(0);
    JpegImage back;
    back.LoadFromStream(s);
    // The same file as from the picture's true-colour form.
    Bitmap truecolour(b);
    truecolour.SetPixelFormat(PixelFormat::Bit24);
    EXPECT_EQ(image.Data(), Encoded(truecolour, JpegImage::kDefaultQuality));
    EXPECT_LT(Compare(b, back.GetBitmap()).mean, 25.0);
  }
}

TEST(Jpeg, LoadedPictureSavesItsOwnBytesUntilChanged) {
  const auto bytes = Encoded(SmoothPicture(40, 30), 75);
  MemoryStream in(bytes);
  JpegImage image;
  image.LoadFromStream(in);
  MemoryStream out;
  image.SaveToStream(out);
  EXPECT_EQ(out.Bytes(), bytes);
  image.SetCompressionQuality(20);
  MemoryStream again;
  image.SaveToStream(again);
  EXPECT_NE(again.Bytes(), bytes);
  EXPECT_LT(again.Bytes().size(), bytes.size());
}

TEST(Jpeg, AssignToBitmapAndPictureHolder) {
  JpegImage image;
  image.Assign(SmoothPicture(16, 8));
  Bitmap b;
  b.Assign(image);  // the JPEG picture gives its pixels
  EXPECT_EQ(b.Width(), 16);
  EXPECT_EQ(b.GetPixelFormat(), PixelFormat::Bit24);
  EXPECT_TRUE(SamePixels(b, image.GetBitmap()));
  JpegImage copy;
  copy.Assign(image);
  EXPECT_TRUE(SamePixels(copy.GetBitmap(), image.GetBitmap()));
  EXPECT_EQ(copy.Data(), image.Data());
}

TEST(Jpeg, ProgressReportsLoading) {
  const auto bytes = Encoded(SmoothPicture(8, 8), 75);
  JpegImage image;
  std::vector<std::pair<ProgressStage, int>> seen;
  image.SetOnProgress([&](Graphic&, ProgressStage stage, int percent, bool, const Rect&, const std::string& msg) {
    seen.emplace_back(stage, percent);
    EXPECT_EQ(msg, "Loading...");
  });
  MemoryStream s(bytes);
  image.LoadFromStream(s);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, ProgressStage::Starting);
  EXPECT_EQ(seen[1].first, ProgressStage::Ending);
  EXPECT_EQ(seen[1].second, 100);
}

void ExpectRefused(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  JpegImage image;
  image.Assign(SmoothPicture(3, 3));
  const Bitmap before = image.GetBitmap();
  MemoryStream s(bytes);
  EXPECT_THROW(image.LoadFromStream(s), GraphicError) << what;
  EXPECT_TRUE(SamePixels(before, image.GetBitmap())) << what;
}

TEST(Jpeg, TruncatedDataRaisesOurError) {
  const auto bytes = Encoded(SmoothPicture(64, 48), 90);
  // Every cut before the end-of-image marker is a damaged file.
  for (std::size_t n = 0; n + 2 < bytes.size(); n += (n < 700 ? 1 : 37))
    ExpectRefused(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)),
                  "cut at " + std::to_string(n));
  try {
    MemoryStream s(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2)));
    JpegImage image;
    image.LoadFromStream(s);
    ADD_FAILURE() << "half a file loaded";
  } catch (const GraphicError& e) {
    EXPECT_NE(std::string(e.what()).find("JPEG error: "), std::string::npos) << e.what();
  }
}

// A small progressive file (three full-resolution components), written with
// libjpeg itself.
std::vector<std::uint8_t> ProgressiveFile(int w, int h) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
  jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  const Bitmap source = SmoothPicture(w, h);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(source.ScanLine(static_cast<int>(c.next_scanline)));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return bytes;
}

TEST(Jpeg, ProgressiveFileClaimingAHugeFrameIsRefusedBeforeItsBuffers) {
  auto bytes = ProgressiveFile(16, 16);
  const Bitmap small = JpegImage::Decode(bytes.data(), bytes.size());
  EXPECT_LT(Compare(SmoothPicture(16, 16), small).mean, 3.0);
  // The same scans under a frame header of 16000 x 16000 pixels: within the
  // bitmap's bounds, but its coefficients alone would take 1.5 GB.
  bool patched = false;
  for (std::size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) {
      bytes[i + 5] = bytes[i + 7] = 16000 >> 8;
      bytes[i + 6] = bytes[i + 8] = 16000 & 0xFF;
      patched = true;
      break;
    }
  ASSERT_TRUE(patched);
  try {
    (void)JpegImage::Decode(bytes.data(), bytes.size());
    ADD_FAILURE() << "a file of " << bytes.size() << " bytes loaded as 16000 x 16000 pixels";
  } catch (const GraphicError& e) {
    // Refused by the memory bound, or before that by the sparse-data rule.
    const std::string what = e.what();
    EXPECT_TRUE(what == "JPEG error: picture too large (16000 x 16000)" ||
                what == "JPEG error: " + std::to_string(bytes.size()) + " bytes cannot hold a picture of 16000 x 16000")
        << what;
  }
}

TEST(Jpeg, SmallFileCannotClaimAHugePicture) {
  // 132 bytes of arithmetic-coded CMYK declaring 64950 x 1539 pixels: the
  // decoder reads zeros past the data, and took seconds and 300 MB for it.
  const std::vector<std::uint8_t> sparse = {
      0xff, 0xd8, 0xfd, 0xee, 0x00, 0x0e, 0x41, 0x64, 0x6f, 0x62, 0x65, 0x00, 0x64, 0x00, 0x00, 0x00,
      0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x06, 0x04, 0x05, 0x50, 0x40, 0x01, 0x00, 0x20, 0x60,
      0x00, 0x00, 0x06, 0x05, 0x0b, 0x00, 0x00, 0x14, 0x16, 0x16, 0x1a, 0x1d, 0x1f, 0x25, 0x0e, 0x0f,
      0x0c, 0x10, 0x17, 0x14, 0x18, 0x18, 0x17, 0x16, 0x14, 0x16, 0x1a, 0x1d, 0x1f, 0x25, 0x1a, 0x1b,
      0x23, 0x1c, 0x16, 0x16, 0x20, 0x2c, 0x20, 0x23, 0x26, 0x27, 0x29, 0xab, 0xcb, 0x3d, 0x40, 0xff,
      0x7f, 0x00, 0x00, 0x30, 0x25, 0x28, 0x29, 0x28, 0xff, 0xc9, 0x00, 0x14, 0x08, 0x06, 0x03, 0xfd,
      0xb6, 0x04, 0x43, 0x11, 0x00, 0x4d, 0x11, 0x00, 0x59, 0x11, 0x00, 0x4b, 0x11, 0x00, 0xb8, 0xf9,
      0xfa, 0xff, 0xda, 0x00, 0x0e, 0x04, 0x43, 0x00, 0x4d, 0x00, 0x59, 0x00, 0x4b, 0x00, 0x00, 0x3f,
      0x00, 0xe0, 0xff, 0xd9,
  };
  try {
    (void)JpegImage::Decode(sparse.data(), sparse.size());
    ADD_FAILURE() << "132 bytes loaded as 64950 x 1539 pixels";
  } catch (const GraphicError& e) {
    EXPECT_STREQ(e.what(), "JPEG error: 132 bytes cannot hold a picture of 64950 x 1539");
  }
  // The same frame header, small enough not to be sparse, is decoded (and
  // found damaged only by what it holds, not by the rule).
  std::vector<std::uint8_t> small = sparse;
  for (std::size_t i = 0; i + 9 < small.size(); ++i)
    if (small[i] == 0xFF && small[i + 1] == 0xC9) {
      small[i + 5] = 0; small[i + 6] = 16;  // height
      small[i + 7] = 0; small[i + 8] = 16;  // width
      break;
    }
  try {
    const Bitmap b = JpegImage::Decode(small.data(), small.size());
    EXPECT_EQ(b.Width(), 16);
  } catch (const GraphicError& e) {
    EXPECT_EQ(std::string(e.what()).find("cannot hold"), std::string::npos) << e.what();
  }
}

TEST(Jpeg, ScanDataShorterThanTheFrameRaisesOurError) {
  // A complete file whose frame header claims more pixels than its scan
  // codes: the coded data ends at the end-of-image marker, long before the
  // picture does.
  auto bytes = Encoded(SmoothPicture(16, 16), 90);
  bool patched = false;
  for (std::size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 6] = bytes[i + 8] = 200;  // 200 x 200
      patched = true;
      break;
    }
  ASSERT_TRUE(patched);
  ExpectRefused(bytes, "short scan");
  // Stray bytes between segments are harmless: the picture still loads.
  auto stray = Encoded(SmoothPicture(16, 16), 90);
  for (std::size_t i = 2; i + 1 < stray.size(); ++i)
    if (stray[i] == 0xFF && stray[i + 1] == 0xDB) {
      stray.insert(stray.begin() + static_cast<std::ptrdiff_t>(i), {0x12, 0x34});
      break;
    }
  const auto clean = Encoded(SmoothPicture(16, 16), 90);
  ASSERT_EQ(stray.size(), clean.size() + 2);
  EXPECT_TRUE(SamePixels(JpegImage::Decode(stray.data(), stray.size()), JpegImage::Decode(clean.data(), clean.size())));
}

TEST(Jpeg, GarbageAndHugeHeadersRaiseOurError) {
  ExpectRefused({}, "empty");
  ExpectRefused({'B', 'M', 0, 0}, "a bitmap");
  ExpectRefused({0xFF, 0xD8, 0xFF, 0xD9}, "no frame");
  // A valid file whose frame header claims 65000 x 65000 pixels.
  auto bytes = Encoded(SmoothPicture(16, 16), 90);
  bool patched = false;
  for (std::size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = 0xFD;
      bytes[i + 6] = 0xE8;
      bytes[i + 7] = 0xFD;
      bytes[i + 8] = 0xE8;
      patched = true;
      break;
    }
  ASSERT_TRUE(patched);
  ExpectRefused(bytes, "huge frame");
}

TEST(Jpeg, RandomlyDamagedDataNeverCrashes) {
  const auto good = Encoded(SmoothPicture(40, 24), 80);
  std::mt19937 rng(4);
  int loaded = 0, refused = 0;
  for (int round = 0; round < 400; ++round) {
    auto bytes = good;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) bytes[2 + rng() % (bytes.size() - 2)] = static_cast<std::uint8_t>(rng());
    try {
      const Bitmap b = JpegImage::Decode(bytes.data(), bytes.size());
      EXPECT_FALSE(b.Empty());
      ++loaded;
    } catch (const GraphicError&) {
      ++refused;
    }
  }
  EXPECT_GT(loaded + refused, 0);
  EXPECT_GT(refused, 0);
}

// --- the independent coder ---

using testkit::HavePillow;
using testkit::ReadFile;
using testkit::RunPython;
using testkit::TempDir;

// Pillow's decoding of a picture file, as a bitmap.
Bitmap PillowDecode(const TempDir& dir, const std::string& picture) {
  const std::string out = dir / "decoded.rgb";
  EXPECT_EQ(RunPython(dir,
                      "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1]).convert('RGB')\n"
                      "open(sys.argv[2],'wb').write(bytes([im.width>>8,im.width&255,im.height>>8,im.height&255])+im.tobytes())\n",
                      picture + " " + out),
            0);
  const auto rgb = ReadFile(out);
  if (rgb.size() < 4) return Bitmap();
  const int w = rgb[0] << 8 | rgb[1], h = rgb[2] << 8 | rgb[3];
  EXPECT_EQ(rgb.size(), 4 + static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  Bitmap b(w, h, PixelFormat::Bit24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = 4 + (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 3;
      if (i + 2 < rgb.size()) b.SetPixel(x, y, RGBColor(rgb[i], rgb[i + 1], rgb[i + 2]));
    }
  return b;
}

TEST(JpegExchange, IndependentDecoderReadsOurFile) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  TempDir dir;
  const Bitmap source = SmoothPicture(83, 45);
  JpegImage image;
  image.Assign(source);
  image.SetCompressionQuality(92);
  image.SaveToFile(dir / "ours.jpg");
  const Bitmap theirs = PillowDecode(dir, dir / "ours.jpg");
  const Error e = Compare(source, theirs);
  EXPECT_LT(e.mean, 2.0);
  EXPECT_LT(e.max, 40);
}

TEST(JpegExchange, WeDecodeTheirFileAsTheyDo) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  TempDir dir;
  const std::string script =
      "import sys, math\nfrom PIL import Image\n"
      "w,h=101,67\nim=Image.new('RGB',(w,h))\n"
      "im.putdata([(x*255//w, y*255//h, int(127+127*math.sin((x+y)/9))) for y in range(h) for x in range(w)])\n"
      "im.save(sys.argv[1], quality=85)\n"
      "im.convert('L').save(sys.argv[2], quality=85)\n"
      "im.save(sys.argv[3], quality=85, progressive=True, subsampling=0)\n"
      "im.convert('CMYK').save(sys.argv[4], quality=95)\n";
  ASSERT_EQ(RunPython(dir, script,
                      dir / "colour.jpg" + " " + dir / "grey.jpg" + " " + dir / "progressive.jpg" + " " + dir / "cmyk.jpg"),
            0);
  for (const char* name : {"colour.jpg", "grey.jpg", "progressive.jpg", "cmyk.jpg"}) {
    Picture ours;
    ours.LoadFromFile(dir / name);
    ASSERT_NE(dynamic_cast<JpegImage*>(ours.GetGraphic()), nullptr);
    const Bitmap& mine = static_cast<JpegImage*>(ours.GetGraphic())->GetBitmap();
    const Error e = Compare(PillowDecode(dir, dir / name), mine);
    EXPECT_LE(e.max, 2) << name;
    EXPECT_LT(e.mean, 0.5) << name;
  }
}

}  // namespace
}  // namespace platform

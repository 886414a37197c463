// TIFF reader: pictures made by Pillow, tiffcp and ImageMagick against
// Pillow's decode (testdata/make_fixtures.py), files built here byte by byte
// for the field types, byte orders, strip layouts and damage that the tools
// never write, and the LZW decoder against an encoder of the test's own.
#include "picture-codecs/tiff/tiff.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <random>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "picture-codecs/tiff/lzw.h"
#include "picture-codecs/test_support.h"
#include "platform/msgbox.h"
#include "platform/picture.h"
#include "platform/test_support.h"

namespace codecs {
namespace {

const std::string kData = std::string(VELTRANO_SOURCE_DIR) + "/picture-codecs/tiff/testdata/";

// Every message box the reader shows, answered with OK.
struct Boxes : platform::testkit::MessageBoxRecorder {
  // A "Picture reading failed!" box: that text on the first line, the
  // reason below it.
  bool Failed() const { return !Reason().empty(); }
  std::string Reason() const {
    const std::string first = std::string(TTIFFBitMap::kReadFailedText) + "\n";
    for (const auto& r : shown)
      if (r.caption == TTIFFBitMap::kReadFailedCaption && r.text.rfind(first, 0) == 0 && r.text.size() > first.size())
        return r.text.substr(first.size());
    return {};
  }
};

// A binary PPM as width, height and RGB bytes.
void ExpectPixels(const platform::testkit::Pnm& expected, const Bitmap& b, const std::string& what) {
  std::string report;
  EXPECT_EQ(platform::testkit::PnmMismatches(expected, b, 0, report), 0) << what << ":" << report;
}

Bitmap LoadBytes(const std::vector<std::uint8_t>& bytes, Boxes& /*boxes*/) {
  MemoryStream s(bytes);
  TTIFFBitMap t;
  t.LoadFromStream(s);
  return t;
}

std::vector<std::string> Fixtures(const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kData)) {
    const std::string n = e.path().filename().string();
    if (e.path().extension() == ".tif" && n.rfind(prefix, 0) == 0) names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// --- pictures of the independent tools ---

TEST(TiffFixtures, EveryLayoutBothEntryPointsGivePillowsPixels) {
  int checked = 0;
  for (const std::string& name : Fixtures("")) {
    if (name.rfind("bad_", 0) == 0) continue;
    const Pnm expected = ReadPnm(kData + fs::path(name).stem().string() + ".ppm");
    {
      Boxes boxes;
      TTIFFBitMap t;
      t.LoadFromFile(kData + name);
      EXPECT_TRUE(boxes.shown.empty()) << name << ": " << boxes.shown[0].text;
      ExpectPixels(expected, t, name + " (file)");
      // Grey pictures keep their depth; colour-mapped and RGB ones are 24 bits.
      const bool grey = name.find("grey") != std::string::npos;
      if (!grey) {
        EXPECT_EQ(t.GetPixelFormat(), PixelFormat::Bit24) << name;
      } else if (name.find("grey8") != std::string::npos) {
        EXPECT_EQ(t.GetPixelFormat(), PixelFormat::Bit8) << name;
      }
    }
    {
      Boxes boxes;
      // From a stream that holds something before the file: offsets count
      // from where the picture starts.
      std::vector<std::uint8_t> bytes(5, 0xEE);
      const auto file = ReadFile(kData + name);
      bytes.insert(bytes.end(), file.begin(), file.end());
      MemoryStream s(bytes);
      s.SetPosition(5);
      TTIFFBitMap t;
      t.LoadFromStream(s);
      EXPECT_TRUE(boxes.shown.empty()) << name;
      ExpectPixels(expected, t, name + " (stream)");
    }
    ++checked;
  }
  EXPECT_EQ(checked, 51);
}

TEST(TiffFixtures, UnsupportedLayoutsAreFailuresNotPictures) {
  // 16 bits a sample (RGB and grey), CMYK, separate planes, PackBits, JPEG.
  // Each says what it is that is not read.
  const auto bad = Fixtures("bad_");
  ASSERT_EQ(bad.size(), 6u);
  std::set<std::string> reasons;
  for (const std::string& name : bad) {
    Boxes boxes;
    TTIFFBitMap t;
    t.LoadFromFile(kData + name);
    EXPECT_TRUE(boxes.Failed()) << name;
    EXPECT_EQ(boxes.shown.size(), 1u) << name;
    EXPECT_EQ(t.Width(), 1) << name;
    EXPECT_EQ(t.Height(), 1) << name;
    reasons.insert(boxes.Reason());
  }
  EXPECT_GE(reasons.size(), 5u) << "CMYK, 16-bit grey, separate planes and two compressions differ";
}

TEST(TiffFixtures, TruncatedAtEveryLengthIsReportedOrComplete) {
  for (const char* name : {"rgb24_lzw2_r7.tif", "pal8_be_lzw2.tif", "grey8_none.tif", "im_grey4_miniswhite_lzw.tif"}) {
    const auto file = ReadFile(kData + name);
    Boxes full;
    const Bitmap whole = LoadBytes(file, full);
    ASSERT_FALSE(full.Failed());
    for (std::size_t n = 0; n < file.size(); ++n) {
      Boxes boxes;
      const std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
      const Bitmap b = LoadBytes(cut, boxes);
      // Only bytes nobody reads (a trailing text field) may go unnoticed.
      if (!boxes.Failed()) {
        EXPECT_TRUE(platform::SamePixels(b, whole)) << name << " cut at " << n;
      }
      if (n < 8) {
        EXPECT_TRUE(boxes.Failed()) << name << " cut at " << n;
      }
    }
  }
}

TEST(TiffFixtures, RegisteredAsTaggedBitmapAndConvertedByTheTool) {
  RegisterPictureCodecs();
  const auto format = platform::FindFileFormat("tif");
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->description, "Tagged Bitmap");
  EXPECT_EQ(format->extension, "TIF");

  TempDir dir("tiff_tool");
  platform::Picture picture;
  fs::copy_file(kData + "rgb24_lzw2.tif", dir / "copy.TIF");
  picture.LoadFromFile(dir / "copy.TIF");
  EXPECT_NE(dynamic_cast<TTIFFBitMap*>(picture.GetGraphic()), nullptr);

  // A damaged file: the tool fails with the reader's message, never waits
  // for someone to close a box.
  const std::string command = std::string(VELTRANO_PICCONV) + " " + kData + "bad_cmyk.tif " + (dir / "x.bmp") + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  const int raw = pclose(pipe);
  EXPECT_TRUE(got);
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(std::string(line).find("bad_cmyk.tif: Picture reading failed!"), std::string::npos) << line;
  EXPECT_FALSE(fs::exists(dir / "x.bmp"));

  if (!platform::testkit::HavePillow()) GTEST_SKIP() << "no Pillow";
  for (const std::string file : {"pal8_lzw2.tif", "noise_rgb24_lzw.tif", "im_grey4_miniswhite_none.tif", "grey8_be_none.tif"}) {
    for (const char* ext : {"bmp", "png"}) {
      const std::string out = dir / (fs::path(file).stem().string() + "." + ext);
      const int status = std::system((std::string(VELTRANO_PICCONV) + " " + kData + file + " " + out + " 2>/dev/null").c_str());
      if (std::string(ext) == "png" && WEXITSTATUS(status) == 2) continue;  // no PNG class in this build
      ASSERT_EQ(WEXITSTATUS(status), 0) << file << " to " << ext;
      ASSERT_EQ(platform::testkit::RunPython(dir,
                                             "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1]).convert('RGB')\n"
                                             "open(sys.argv[2],'wb').write(b'P6\\n%d %d\\n255\\n' % im.size + im.tobytes())\n",
                                             out + " " + out + ".ppm"),
                0);
      const Pnm written = ReadPnm(out + ".ppm");
      const Pnm expected = ReadPnm(kData + fs::path(file).stem().string() + ".ppm");
      EXPECT_EQ(written.w, expected.w);
      EXPECT_EQ(written.h, expected.h);
      EXPECT_TRUE(written.bytes == expected.bytes) << file << " as " << ext;
    }
  }
}

// --- files built byte by byte ---

// A TIFF of one directory; values that do not fit in 4 bytes go after it.
struct TiffBuilder {
  bool big = false;
  struct Field {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> bytes;  // the values in file byte order
  };
  std::vector<Field> fields;
  std::vector<std::uint8_t> data;  // strip bytes, at offset 8

  void Put(std::vector<std::uint8_t>& out, std::uint64_t v, int size) const {
    for (int i = 0; i < size; ++i) {
      const int shift = big ? 8 * (size - 1 - i) : 8 * i;
      out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  }
  void Add(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
    Field f{tag, type, static_cast<std::uint32_t>(values.size()), {}};
    const int size = type == 3 ? 2 : type == 4 ? 4 : 1;
    for (std::uint32_t v : values) Put(f.bytes, v, size);
    fields.push_back(f);
  }
  void Short(std::uint16_t tag, std::vector<std::uint32_t> v) { Add(tag, 3, std::move(v)); }
  void Long(std::uint16_t tag, std::vector<std::uint32_t> v) { Add(tag, 4, std::move(v)); }
  std::uint32_t DataOffset() const { return 8; }

  std::vector<std::uint8_t> Build() const {
    std::vector<std::uint8_t> out;
    out.push_back(big ? 'M' : 'I');
    out.push_back(big ? 'M' : 'I');
    Put(out, 42, 2);
    const std::uint32_t ifd = static_cast<std::uint32_t>(8 + data.size() + (data.size() & 1));
    Put(out, ifd, 4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    std::vector<Field> sorted = fields;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
    Put(out, sorted.size(), 2);
    std::uint32_t extra = static_cast<std::uint32_t>(ifd + 2 + 12 * sorted.size() + 4);
    std::vector<std::uint8_t> tail;
    for (const Field& f : sorted) {
      Put(out, f.tag, 2);
      Put(out, f.type, 2);
      Put(out, f.count, 4);
      if (f.bytes.size() <= 4) {
        out.insert(out.end(), f.bytes.begin(), f.bytes.end());
        for (std::size_t i = f.bytes.size(); i < 4; ++i) out.push_back(0);
      } else {
        Put(out, extra + tail.size(), 4);
        tail.insert(tail.end(), f.bytes.begin(), f.bytes.end());
      }
    }
    Put(out, 0, 4);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  }
};

// An 8-bit grey picture w x h with the pixel bytes given, in strips of rps rows.
TiffBuilder Grey8(int w, int h, const std::vector<std::uint8_t>& pixels, int rps, bool big = false) {
  TiffBuilder b;
  b.big = big;
  b.data = pixels;
  b.Short(256, {static_cast<std::uint32_t>(w)});
  b.Short(257, {static_cast<std::uint32_t>(h)});
  b.Short(258, {8});
  b.Short(259, {1});
  b.Short(262, {1});
  b.Short(277, {1});
  b.Long(278, {static_cast<std::uint32_t>(rps)});
  std::vector<std::uint32_t> offsets, counts;
  for (int y = 0; y < h; y += rps) {
    offsets.push_back(8 + static_cast<std::uint32_t>(y * w));
    counts.push_back(static_cast<std::uint32_t>(std::min(rps, h - y) * w));
  }
  b.Long(273, offsets);
  b.Long(279, counts);
  return b;
}

void Replace(TiffBuilder& b, std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
  b.fields.erase(std::remove_if(b.fields.begin(), b.fields.end(), [tag](const auto& f) { return f.tag == tag; }),
                 b.fields.end());
  if (type) b.Add(tag, type, std::move(values));
}

std::vector<std::uint8_t> Ramp(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return v;
}

void ExpectGrey(const Bitmap& b, int w, int h, const std::vector<std::uint8_t>& pixels, int rows) {
  ASSERT_EQ(b.Width(), w);
  ASSERT_EQ(b.Height(), h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = y < rows ? pixels[static_cast<std::size_t>(y * w + x)] : 0;
      ASSERT_EQ(b.Pixel(x, y), RGBColor(v, v, v)) << x << "," << y;
    }
}

TEST(TiffFields, BothByteOrdersAndShortStripArraysInTheValueField) {
  const auto px = Ramp(3 * 4);
  for (bool big : {false, true}) {
    // Two strips whose SHORT offsets and counts sit as a pair in the value fields.
    TiffBuilder b = Grey8(3, 4, px, 2, big);
    Replace(b, 273, 3, {8, 14});
    Replace(b, 279, 3, {6, 6});
    Replace(b, 278, 3, {2});
    Boxes boxes;
    ExpectGrey(LoadBytes(b.Build(), boxes), 3, 4, px, 4);
    EXPECT_TRUE(boxes.shown.empty()) << big;

    // One strip: offset and count are the value fields themselves (LONG).
    TiffBuilder one = Grey8(3, 4, px, 4, big);
    Boxes oneBoxes;
    ExpectGrey(LoadBytes(one.Build(), oneBoxes), 3, 4, px, 4);
    EXPECT_TRUE(oneBoxes.shown.empty());

    // Width as LONG, height and bits as BYTE.
    TiffBuilder types = Grey8(3, 4, px, 4, big);
    Replace(types, 256, 4, {3});
    Replace(types, 257, 1, {4});
    Replace(types, 258, 1, {8});
    Boxes typeBoxes;
    ExpectGrey(LoadBytes(types.Build(), typeBoxes), 3, 4, px, 4);
    EXPECT_TRUE(typeBoxes.shown.empty());
  }
}

TEST(TiffFields, RgbBitsPerSampleArrayAndShortStripArrayAtAnOffset) {
  // 2 x 3 RGB in three strips of one row; offsets SHORT x 3 lie after the directory.
  const std::vector<std::uint8_t> px = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 180};
  TiffBuilder b;
  b.big = true;
  b.data = px;
  b.Short(256, {2});
  b.Short(257, {3});
  b.Short(258, {8, 8, 8});
  b.Short(259, {1});
  b.Short(262, {2});
  b.Short(277, {3});
  b.Short(278, {1});
  b.Short(273, {8, 14, 20});
  b.Short(279, {6, 6, 6});
  Boxes boxes;
  const Bitmap t = LoadBytes(b.Build(), boxes);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(t.Pixel(0, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(t.Pixel(1, 0), RGBColor(40, 50, 60));
  EXPECT_EQ(t.Pixel(1, 2), RGBColor(160, 170, 180));

  // Samples of different depths are not drawn as something else.
  Replace(b, 258, 3, {8, 8, 4});
  Boxes mixed;
  LoadBytes(b.Build(), mixed);
  EXPECT_TRUE(mixed.Failed());
}

TEST(TiffFields, RowsPerStripBeyondTheHeightIsOneStrip) {
  const auto px = Ramp(5 * 3);
  for (std::uint32_t rps : {3u, 4u, 1000u, 0xFFFFFFFFu}) {
    TiffBuilder b = Grey8(5, 3, px, 3);
    Replace(b, 278, 4, {rps});
    Boxes boxes;
    ExpectGrey(LoadBytes(b.Build(), boxes), 5, 3, px, 3);
    EXPECT_TRUE(boxes.shown.empty()) << rps;
  }
  // Missing: one strip as well.
  TiffBuilder b = Grey8(5, 3, px, 3);
  Replace(b, 278, 0, {});
  Boxes boxes;
  ExpectGrey(LoadBytes(b.Build(), boxes), 5, 3, px, 3);
  EXPECT_TRUE(boxes.shown.empty());
  // Zero rows a strip makes no strips at all.
  Replace(b, 278, 4, {0});
  Boxes zero;
  LoadBytes(b.Build(), zero);
  EXPECT_TRUE(zero.Failed());
}

TEST(TiffFields, ShortLastStripAndMissingStrips) {
  const auto px = Ramp(4 * 7);
  TiffBuilder b = Grey8(4, 7, px, 3);  // strips of 3, 3 and 1 rows
  Boxes boxes;
  ExpectGrey(LoadBytes(b.Build(), boxes), 4, 7, px, 7);
  EXPECT_TRUE(boxes.shown.empty());
  // Only two strip offsets: the last row is black and the failure reported.
  Replace(b, 273, 4, {8, 20});
  Boxes missing;
  ExpectGrey(LoadBytes(b.Build(), missing), 4, 7, px, 6);
  EXPECT_TRUE(missing.Failed());
  // No strip offsets at all.
  Replace(b, 273, 0, {});
  Boxes none;
  ExpectGrey(LoadBytes(b.Build(), none), 4, 7, px, 0);
  EXPECT_TRUE(none.Failed());
}

TEST(TiffFields, HeaderAndDirectoryDamageIsACleanFailure) {
  const auto px = Ramp(3 * 2);
  const auto good = Grey8(3, 2, px, 2).Build();
  auto expectFailure = [](std::vector<std::uint8_t> bytes, const char* what) {
    Boxes boxes;
    const Bitmap b = LoadBytes(bytes, boxes);
    EXPECT_TRUE(boxes.Failed()) << what;
    EXPECT_EQ(boxes.shown.size(), 1u) << what;
    EXPECT_EQ(b.Width(), 1) << what;
  };
  auto bytes = good;
  bytes[0] = bytes[1] = 'X';
  expectFailure(bytes, "byte order");
  bytes = good;
  bytes[0] = 'M';  // "MI"
  expectFailure(bytes, "mixed byte order");
  bytes = good;
  bytes[2] = 43;
  expectFailure(bytes, "not 42");
  bytes = good;
  bytes[4] = 0xF0;
  bytes[7] = 0x7F;
  expectFailure(bytes, "directory outside");
  bytes = good;
  bytes[4] = 2;  // a directory inside the header, counting 42 entries that are not there
  bytes[5] = bytes[6] = bytes[7] = 0;
  expectFailure(bytes, "directory overlapping the header");
  expectFailure({'I', 'I', 42, 0, 8, 0, 0}, "7 bytes");
  expectFailure({}, "empty");
  // A directory of no entries.
  expectFailure({'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "no entries");

  // A colour map shorter than three channels of 256, or none at all.
  TiffBuilder pal = Grey8(3, 2, px, 2);
  Replace(pal, 262, 3, {3});
  expectFailure(pal.Build(), "no colour map");
  pal.Short(320, std::vector<std::uint32_t>(3 * 255, 1000));
  expectFailure(pal.Build(), "short colour map");
  // Zero or absurd sizes.
  TiffBuilder size = Grey8(3, 2, px, 2);
  Replace(size, 256, 4, {0});
  expectFailure(size.Build(), "zero width");
  Replace(size, 256, 4, {100000});
  expectFailure(size.Build(), "width beyond the bitmap's side");
  Replace(size, 256, 4, {65536});
  Replace(size, 257, 4, {65536});
  expectFailure(size.Build(), "picture beyond the bitmap's bytes");
  // Strip arrays that claim far more entries than the file holds: only the
  // entries the picture's rows need are read.
  TiffBuilder strips = Grey8(3, 2, px, 1);
  for (auto& f : strips.fields)
    if (f.tag == 273 || f.tag == 279) f.count = 0x40000000;
  Boxes stripBoxes;
  ExpectGrey(LoadBytes(strips.Build(), stripBoxes), 3, 2, px, 2);
  EXPECT_TRUE(stripBoxes.shown.empty());
  // A big picture whose strips cannot hold it is refused before the bitmap
  // is made.
  TiffBuilder big = Grey8(3, 2, px, 2);
  Replace(big, 256, 4, {30000});
  Replace(big, 257, 4, {30000});
  Replace(big, 278, 4, {30000});
  expectFailure(big.Build(), "900 MB picture in a small file");
}

TEST(TiffFields, ColourMapIsScaledLinearly) {
  // 4 x 1 colour-mapped picture of the indices 0..3.
  TiffBuilder b = Grey8(4, 1, {0, 1, 2, 3}, 1);
  Replace(b, 262, 3, {3});
  std::vector<std::uint32_t> map(768, 0);
  const std::uint32_t red[4] = {0, 32768, 65535, 257 * 77};
  for (int i = 0; i < 4; ++i) {
    map[static_cast<std::size_t>(i)] = red[i];
    map[256 + static_cast<std::size_t>(i)] = 65535 - red[i];
    map[512 + static_cast<std::size_t>(i)] = 128;  // 0.5 rounds down
  }
  b.Short(320, map);
  Boxes boxes;
  const Bitmap t = LoadBytes(b.Build(), boxes);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(t.GetPixelFormat(), PixelFormat::Bit24);
  EXPECT_EQ(t.Pixel(0, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(t.Pixel(1, 0), RGBColor(128, 127, 0));
  EXPECT_EQ(t.Pixel(2, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(t.Pixel(3, 0), RGBColor(77, 178, 0));
}

// A colour-mapped picture of 1 or 4 bits: its map (2^bits values a channel,
// each a multiple of 257 so that every reader scales it the same) and the
// picture as RGB through that map.
TEST(TiffFields, OneAndFourBitColourMapsGiveTheirColours) {
  TempDir dir("tiff_small_maps");
  for (int bits : {1, 4}) {
    const int n = 1 << bits;
    const int w = 16, h = 2;
    std::vector<std::uint32_t> map(static_cast<std::size_t>(3 * n));
    for (int i = 0; i < n; ++i) {
      map[static_cast<std::size_t>(i)] = 257u * static_cast<std::uint32_t>(255 - i * 13);               // red
      map[static_cast<std::size_t>(n + i)] = 257u * static_cast<std::uint32_t>(i * 17);                 // green
      map[static_cast<std::size_t>(2 * n + i)] = 257u * static_cast<std::uint32_t>((i * 101) % 256);    // blue
    }
    // Pixel (x, y) has index (x + 3y) mod n.
    const std::size_t rowBytes = static_cast<std::size_t>(w * bits / 8);
    std::vector<std::uint8_t> px(rowBytes * h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int v = (x + 3 * y) % n;
        const int bit = x * bits;
        px[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(bit / 8)] |=
            static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
      }
    TiffBuilder b = Grey8(w, h, px, h);
    Replace(b, 258, 3, {static_cast<std::uint32_t>(bits)});
    Replace(b, 262, 3, {3});
    Replace(b, 279, 4, {static_cast<std::uint32_t>(px.size())});
    b.Short(320, map);
    const auto bytes = b.Build();
    Boxes boxes;
    const Bitmap t = LoadBytes(bytes, boxes);
    EXPECT_TRUE(boxes.shown.empty()) << bits;
    EXPECT_EQ(t.GetPixelFormat(), PixelFormat::Bit24) << bits;
    ASSERT_EQ(t.Width(), w);
    ASSERT_EQ(t.Height(), h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t v = static_cast<std::size_t>((x + 3 * y) % n);
        EXPECT_EQ(t.Pixel(x, y), RGBColor(static_cast<int>(map[v] / 257), static_cast<int>(map[n + v] / 257),
                                          static_cast<int>(map[2 * n + v] / 257)))
            << bits << " bits at " << x << "," << y;
      }
    // A map without a colour for every index is refused.
    Replace(b, 320, 3, std::vector<std::uint32_t>(map.begin(), map.end() - 3));
    Boxes shortBoxes;
    LoadBytes(b.Build(), shortBoxes);
    EXPECT_TRUE(shortBoxes.Failed()) << bits;

    if (!platform::testkit::HavePillow()) continue;
    const std::string file = dir / ("map" + std::to_string(bits) + ".tif");
    MemoryStream(bytes).SaveToFile(file);
    ASSERT_EQ(platform::testkit::RunPython(dir,
                                           "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1]).convert('RGB')\n"
                                           "open(sys.argv[2],'wb').write(b'P6\\n%d %d\\n255\\n' % im.size + im.tobytes())\n",
                                           file + " " + file + ".ppm"),
              0);
    ExpectPixels(ReadPnm(file + ".ppm"), t, file + " against Pillow");
  }
}

// A tiled picture whose writer put the tile offsets and sizes under the
// strip tags: 32 x 32 grey in 2 x 2 tiles of 16 x 16. Read as strips it
// would draw the tiles' rows as noise; it is refused and nothing is drawn.
TEST(TiffFields, TiledPicturesAreRefused) {
  const int side = 32, tile = 16;
  std::vector<std::uint8_t> tiles;
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < tile * tile; ++i) tiles.push_back(static_cast<std::uint8_t>(t * 60 + i % tile));
  for (bool underStripTags : {true, false}) {
    TiffBuilder b = Grey8(side, side, tiles, tile);
    Replace(b, 273, 0, {});
    Replace(b, 279, 0, {});
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t t = 0; t < 4; ++t) {
      offsets.push_back(b.DataOffset() + t * tile * tile);
      counts.push_back(tile * tile);
    }
    b.Short(322, {static_cast<std::uint32_t>(tile)});
    b.Short(323, {static_cast<std::uint32_t>(tile)});
    b.Long(underStripTags ? 273 : 324, offsets);
    b.Long(underStripTags ? 279 : 325, counts);
    Boxes boxes;
    const Bitmap t = LoadBytes(b.Build(), boxes);
    EXPECT_TRUE(boxes.Failed()) << underStripTags;
    EXPECT_NE(boxes.Reason().find("tiles"), std::string::npos) << boxes.Reason();
    EXPECT_EQ(t.Width(), 1) << underStripTags;
    EXPECT_EQ(t.Height(), 1) << underStripTags;
  }
}

TEST(TiffFields, GreyLevelsOfEveryDepthAndPhotometric) {
  for (int photometric : {0, 1}) {
    // 4 bits: the 16 levels 0..15 in one row of 8 bytes.
    TiffBuilder b = Grey8(16, 1, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, 1);
    Replace(b, 258, 3, {4});
    Replace(b, 262, 3, {static_cast<std::uint32_t>(photometric)});
    Replace(b, 279, 4, {8});
    Boxes boxes;
    const Bitmap t = LoadBytes(b.Build(), boxes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(t.GetPixelFormat(), PixelFormat::Bit4);
    for (int v = 0; v < 16; ++v) {
      const int g = photometric == 0 ? 255 - v * 17 : v * 17;
      EXPECT_EQ(t.Pixel(v, 0), RGBColor(g, g, g)) << v;
    }
    // 1 bit: 0 and 1.
    TiffBuilder m = Grey8(8, 1, {0x0F}, 1);
    Replace(m, 258, 3, {1});
    Replace(m, 262, 3, {static_cast<std::uint32_t>(photometric)});
    Replace(m, 279, 4, {1});
    Boxes mb;
    const Bitmap one = LoadBytes(m.Build(), mb);
    EXPECT_EQ(one.GetPixelFormat(), PixelFormat::Bit1);
    EXPECT_EQ(one.Pixel(0, 0), photometric == 0 ? platform::clWhite : platform::clBlack);
    EXPECT_EQ(one.Pixel(7, 0), photometric == 0 ? platform::clBlack : platform::clWhite);
    // A 3-pixel row of a byte with all bits set: made wider, the new pixels
    // have index 0, not the file's stray bits.
    TiffBuilder narrow = Grey8(3, 1, {0xFF}, 1);
    Replace(narrow, 258, 3, {1});
    Replace(narrow, 262, 3, {static_cast<std::uint32_t>(photometric)});
    Replace(narrow, 279, 4, {1});
    Boxes nb;
    Bitmap wider = LoadBytes(narrow.Build(), nb);
    EXPECT_EQ(wider.PixelIndex(2, 0), 1);
    wider.SetSize(8, 1);
    EXPECT_EQ(wider.PixelIndex(3, 0), 0);
    EXPECT_EQ(wider.PixelIndex(7, 0), 0);
    // 8 bits.
    TiffBuilder g = Grey8(2, 1, {0, 200}, 1);
    Replace(g, 262, 3, {static_cast<std::uint32_t>(photometric)});
    Boxes gb;
    const Bitmap eight = LoadBytes(g.Build(), gb);
    EXPECT_EQ(eight.Pixel(0, 0), photometric == 0 ? platform::clWhite : platform::clBlack);
    EXPECT_EQ(eight.Pixel(1, 0), photometric == 0 ? RGBColor(55, 55, 55) : RGBColor(200, 200, 200));
  }
}

TEST(TiffFields, StripsPastTheEndAreReportedAndNotRead) {
  const auto px = Ramp(4 * 4);
  TiffBuilder b = Grey8(4, 4, px, 2);
  // The second strip starts far beyond the file.
  Replace(b, 273, 4, {8, 0xFFFFFF00});
  Boxes boxes;
  ExpectGrey(LoadBytes(b.Build(), boxes), 4, 4, px, 2);
  EXPECT_TRUE(boxes.Failed());
  // Cut inside the first strip: a partial row is not drawn.
  auto bytes = Grey8(4, 4, px, 4).Build();
  TiffBuilder cut = Grey8(4, 4, px, 4);
  Replace(cut, 273, 4, {static_cast<std::uint32_t>(bytes.size() - 6)});  // 6 bytes left: one row and a half
  Boxes cutBoxes;
  const Bitmap partial = LoadBytes(cut.Build(), cutBoxes);
  EXPECT_TRUE(cutBoxes.Failed());
  EXPECT_EQ(partial.Height(), 4);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(partial.Pixel(x, 1), platform::clBlack);
}

TEST(TiffFields, AStaleSystemErrorDoesNotFailALoad) {
  const auto px = Ramp(2 * 2);
  const auto bytes = Grey8(2, 2, px, 2).Build();
  TempDir dir("tiff_errno");
  MemoryStream(bytes).SaveToFile(dir / "a.tif");
  Boxes boxes;
  errno = EIO;
  TTIFFBitMap t;
  t.LoadFromFile(dir / "a.tif");
  EXPECT_TRUE(boxes.shown.empty());
  ExpectGrey(t, 2, 2, px, 2);
  // A file that cannot be opened is the caller's error.
  EXPECT_THROW(t.LoadFromFile(dir / "none.tif"), platform::StreamError);
}

// --- LZW ---

// An LZW encoder as TIFF writers work: Clear first, the width one step early,
// a Clear when the table has 4094 entries (or never, with clearWhenFull off).
std::vector<std::uint8_t> LzwEncode(const std::vector<std::uint8_t>& in, bool clearWhenFull = true, bool end = true) {
  std::vector<std::uint8_t> out;
  std::uint32_t acc = 0;
  int bits = 0;
  int width = 9;
  auto put = [&](int code) {
    acc = acc << width | static_cast<std::uint32_t>(code);
    bits += width;
    while (bits >= 8) {
      out.push_back(static_cast<std::uint8_t>(acc >> (bits - 8)));
      bits -= 8;
    }
  };
  std::map<std::uint32_t, int> table;
  int next = 258;
  put(256);
  auto added = [&] {
    if (next < 4096) ++next;
    if (clearWhenFull && next == 4094) {
      put(256);
      table.clear();
      next = 258;
      width = 9;
    } else if (next == (1 << width) && width < 12) {
      ++width;
    }
  };
  int prefix = -1;
  for (std::uint8_t c : in) {
    if (prefix < 0) {
      prefix = c;
      continue;
    }
    const std::uint32_t key = static_cast<std::uint32_t>(prefix) << 8 | c;
    auto it = table.find(key);
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    put(prefix);
    if (next < 4096) table[key] = next;
    added();
    prefix = c;
  }
  if (prefix >= 0) {
    put(prefix);
    added();
  }
  if (end) put(257);
  if (bits > 0) out.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
  return out;
}

TEST(TiffLzw, DecodesWhatAnEncoderWritesAtEveryCodeWidth) {
  std::mt19937 rng(5);
  TLZW lzw;
  for (std::size_t size : {0u, 1u, 2u, 300u, 5000u, 100000u}) {
    for (int kind = 0; kind < 3; ++kind) {
      std::vector<std::uint8_t> in(size);
      for (auto& v : in) v = static_cast<std::uint8_t>(kind == 0 ? rng() : kind == 1 ? rng() % 3 : 'a');
      for (bool clear : {true, false}) {
        const auto code = LzwEncode(in, clear);
        std::vector<std::uint8_t> out(size + 1, 0xCC);
        const std::size_t n = lzw.Decode(code.data(), code.size(), out.data(), size);
        ASSERT_EQ(n, size) << size << " kind " << kind << " clear " << clear;
        EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << size << " kind " << kind;
        EXPECT_EQ(out[size], 0xCC);  // nothing written past the room given
        // With room to spare the data still ends at the end code.
        std::vector<std::uint8_t> roomy(size + 100);
        EXPECT_EQ(lzw.Decode(code.data(), code.size(), roomy.data(), roomy.size()), size);
      }
    }
  }
}

TEST(TiffLzw, StopsAtTheEndOfInputOutputOrTable) {
  std::vector<std::uint8_t> in(2000);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * i % 251);
  TLZW lzw;
  // No end code: the data runs out and everything before is there.
  const auto noEnd = LzwEncode(in, true, false);
  std::vector<std::uint8_t> out(in.size());
  EXPECT_EQ(lzw.Decode(noEnd.data(), noEnd.size(), out.data(), out.size()), in.size());
  EXPECT_EQ(out, in);
  // Output full: cut in the middle of a string, nothing beyond.
  const auto code = LzwEncode(in);
  for (std::size_t room : {0u, 1u, 777u, 1999u}) {
    std::vector<std::uint8_t> small(room + 1, 0xCC);
    EXPECT_EQ(lzw.Decode(code.data(), code.size(), small.data(), room), room);
    EXPECT_TRUE(std::equal(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(room), in.begin()));
    EXPECT_EQ(small[room], 0xCC);
  }
  // Every cut of the input gives a prefix of the data.
  for (std::size_t n = 0; n < code.size(); n += 7) {
    std::vector<std::uint8_t> part(in.size(), 0);
    const std::size_t got = lzw.Decode(code.data(), n, part.data(), part.size());
    ASSERT_LE(got, in.size());
    EXPECT_TRUE(std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(got), in.begin())) << n;
  }
  // A code beyond the next free one ends the data: Clear, 'A', then 300.
  auto pack = [](std::vector<int> codes) {
    std::vector<std::uint8_t> bytes;
    std::uint32_t acc = 0;
    int bits = 0;
    for (int c : codes) {
      acc = acc << 9 | static_cast<std::uint32_t>(c);
      for (bits += 9; bits >= 8; bits -= 8) bytes.push_back(static_cast<std::uint8_t>(acc >> (bits - 8)));
    }
    if (bits) bytes.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
    return bytes;
  };
  const auto bad = pack({256, 'A', 300, 'B'});
  std::vector<std::uint8_t> two(4, 0);
  EXPECT_EQ(lzw.Decode(bad.data(), bad.size(), two.data(), two.size()), 1u);
  EXPECT_EQ(two[0], 'A');
  // A string code right after a Clear is damage too.
  const auto afterClear = pack({256, 258, 'A'});
  EXPECT_EQ(lzw.Decode(afterClear.data(), afterClear.size(), two.data(), two.size()), 0u);
}

TEST(TiffLzw, RowsTheDataDidNotProduceAreBlackAndReported) {
  const auto px = Ramp(6 * 5);
  TiffBuilder b = Grey8(6, 5, px, 5);
  Replace(b, 259, 3, {5});
  // Only the first 14 bytes are coded: two whole rows and two bytes.
  const std::vector<std::uint8_t> part(px.begin(), px.begin() + 14);
  b.data = LzwEncode(part);
  Replace(b, 279, 4, {static_cast<std::uint32_t>(b.data.size())});
  Boxes boxes;
  ExpectGrey(LoadBytes(b.Build(), boxes), 6, 5, px, 2);
  EXPECT_TRUE(boxes.Failed());

  // Predictor on a 4-bit picture is refused, not read past the row.
  TiffBuilder p = Grey8(6, 5, px, 5);
  Replace(p, 258, 3, {4});
  Replace(p, 259, 3, {5});
  Replace(p, 317, 3, {2});
  p.data = LzwEncode(std::vector<std::uint8_t>(15, 0x11));
  Replace(p, 279, 4, {static_cast<std::uint32_t>(p.data.size())});
  Boxes pb;
  LoadBytes(p.Build(), pb);
  EXPECT_TRUE(pb.Failed());
  // On 8 bits it is undone.
  Replace(p, 258, 3, {8});
  std::vector<std::uint8_t> diff = px;
  for (int y = 0; y < 5; ++y)
    for (int x = 5; x > 0; --x) diff[static_cast<std::size_t>(y * 6 + x)] = static_cast<std::uint8_t>(px[static_cast<std::size_t>(y * 6 + x)] - px[static_cast<std::size_t>(y * 6 + x - 1)]);
  p.data = LzwEncode(diff);
  Replace(p, 279, 4, {static_cast<std::uint32_t>(p.data.size())});
  Boxes eight;
  ExpectGrey(LoadBytes(p.Build(), eight), 6, 5, px, 5);
  EXPECT_TRUE(eight.shown.empty());
}

}  // namespace
}  // namespace codecs

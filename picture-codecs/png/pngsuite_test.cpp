// The PNG suite: every decodable picture against the suite's pixel oracle,
// every damaged one rejected; our saves checked by pngcheck and read back by
// Pillow; the suite's files cut short at every length and with bad CRCs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "picture-codecs/png/png.h"
#include "platform/test_support.h"

namespace {

using codecs::TPNGImage;
using platform::PixelFormat;
using Bytes = std::vector<std::uint8_t>;

const std::string kSuite = std::string(VELTRANO_SOURCE_DIR) + "/picture-codecs/png/testdata/pngsuite";

std::vector<std::string> SuiteNames() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(kSuite))
    if (e.path().extension() == ".png") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<int> ReadOracle(const std::string& name) {
  std::ifstream in(kSuite + "/oracle/" + name + ".json");
  std::vector<int> values;
  std::string text((std::istreambuf_iterator<char>(in)), {});
  int v = 0;
  bool inNumber = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      v = v * 10 + (c - '0');
      inNumber = true;
    } else if (inNumber) {
      values.push_back(v);
      v = 0;
      inNumber = false;
    }
  }
  return values;
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// What the file says, read by a walk of the test's own.
struct FileFacts {
  std::uint32_t width = 0, height = 0;
  int depth = 0, colorType = 0;
  std::uint32_t gamma = 0;  // of a gAMA chunk before the first IDAT
  std::vector<std::size_t> chunkEnds;
  std::vector<std::pair<std::size_t, std::size_t>> idats;  // where the data of each IDAT chunk starts, its length
};

FileFacts Facts(const Bytes& f) {
  FileFacts facts;
  bool seenData = false;
  for (std::size_t at = 8; at + 12 <= f.size();) {
    const std::uint32_t n = Get32(f, at);
    const std::string type(f.begin() + at + 4, f.begin() + at + 8);
    if (type == "IHDR") {
      facts.width = Get32(f, at + 8);
      facts.height = Get32(f, at + 12);
      facts.depth = f[at + 16];
      facts.colorType = f[at + 17];
    } else if (type == "gAMA" && !seenData && facts.gamma == 0) {
      facts.gamma = Get32(f, at + 8);
    } else if (type == "IDAT") {
      seenData = true;
      facts.idats.emplace_back(at + 8, n);
    }
    at += 12 + n;
    facts.chunkEnds.push_back(at);
  }
  return facts;
}

PixelFormat ExpectedFormat(const FileFacts& f) {
  if (f.colorType == 2 || f.colorType == 6) return PixelFormat::Bit24;
  return f.depth == 1 ? PixelFormat::Bit1 : f.depth <= 4 ? PixelFormat::Bit4 : PixelFormat::Bit8;
}

// The oracle's colour of a pixel as our reader must give it: 16-bit samples
// by their high byte, then through gamma when the file has it.
platform::Color Want(const std::vector<int>& oracle, const FileFacts& f, std::size_t pixel) {
  int rgb[3];
  for (int c = 0; c < 3; ++c) {
    int v = oracle[pixel * 4 + static_cast<std::size_t>(c)];
    if (f.depth == 16) v >>= 8;
    if (f.gamma != 0)
      v = static_cast<int>(std::nearbyint(255.0 * std::pow(v / 255.0, 1.0 / (f.gamma / 100000.0 * 2.2))));
    rgb[c] = v;
  }
  return platform::RGBColor(rgb[0], rgb[1], rgb[2]);
}

// The bytes that zlib inflates from the data of the IDAT chunks that end
// within the first n bytes of the file.
std::size_t InflatedBefore(const Bytes& f, const FileFacts& facts, std::size_t n) {
  Bytes data;
  for (auto [start, length] : facts.idats)
    if (start + length + 4 <= n) data.insert(data.end(), f.begin() + static_cast<std::ptrdiff_t>(start),
                                             f.begin() + static_cast<std::ptrdiff_t>(start + length));
  z_stream z{};
  inflateInit(&z);
  Bytef out[4096];
  z.next_in = data.data();
  z.avail_in = static_cast<uInt>(data.size());
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = out;
    z.avail_out = sizeof out;
    result = inflate(&z, Z_NO_FLUSH);
    if (z.avail_out == sizeof out) break;  // nothing more to be had
  }
  const std::size_t produced = z.total_out;
  inflateEnd(&z);
  return produced;
}

Bytes Read(const std::string& name) { return platform::testkit::ReadFile(kSuite + "/" + name + ".png"); }

int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[512];
  std::string out;
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  const int raw = pclose(pipe);
  if (output) *output = out;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(PngSuite, EveryDecodableFileMatchesTheOracleAndEveryDamagedOneIsRejected) {
  int decoded = 0, rejected = 0, files = 0;
  for (const std::string& name : SuiteNames()) {
    ++files;
    const Bytes bytes = Read(name);
    TPNGImage image;
    platform::MemoryStream in(bytes);
    if (name[0] == 'x') {
      EXPECT_THROW(image.LoadFromStream(in), platform::GraphicError) << name;
      rejected += image.Width() == 0;
      continue;
    }
    try {
      image.LoadFromStream(in);
    } catch (const std::exception& e) {
      ADD_FAILURE() << name << ": " << e.what();
      continue;
    }
    const FileFacts facts = Facts(bytes);
    const std::vector<int> oracle = ReadOracle(name);
    ASSERT_EQ(oracle.size(), std::size_t{facts.width} * facts.height * 4) << name;
    EXPECT_EQ(image.GetPixelFormat(), ExpectedFormat(facts)) << name;
    int wrong = 0;
    for (std::uint32_t y = 0; y < facts.height; ++y)
      for (std::uint32_t x = 0; x < facts.width; ++x) {
        const platform::Color want = Want(oracle, facts, std::size_t{y} * facts.width + x);
        const platform::Color got = image.Pixel(static_cast<int>(x), static_cast<int>(y));
        if (got != want && wrong++ < 3) ADD_FAILURE() << name << " (" << x << "," << y << ") " << std::hex << got << " != " << want;
      }
    decoded += wrong == 0;
  }
  std::printf("PNG suite: %d of %d files decoded as the oracle, %d damaged files rejected\n", decoded, files, rejected);
  EXPECT_EQ(decoded + rejected, files);
  EXPECT_EQ(rejected, 14);
}

// Pixels of a picture as raw RGB rows.
Bytes Rgb(const platform::Bitmap& b) {
  Bytes out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const platform::Color c = b.Pixel(x, y);
      out.insert(out.end(), {static_cast<std::uint8_t>(platform::GetRValue(c)), static_cast<std::uint8_t>(platform::GetGValue(c)),
                             static_cast<std::uint8_t>(platform::GetBValue(c))});
    }
  return out;
}

const char* kCompareScript = R"(
import sys
from PIL import Image
bad = 0
for line in open(sys.argv[1]):
    picture, raw = line.split()
    image = Image.open(picture)
    got = image.convert('RGB').tobytes()
    # Pillow hands out the samples as stored; a file with gamma is shown
    # through the table of its gamma value.
    gamma = image.info.get('gamma')
    if gamma:
        table = [round(255 * (i / 255) ** (1 / (gamma * 2.2))) for i in range(256)]
        got = bytes(table[v] for v in got)
    if got != open(raw, 'rb').read():
        print('differs:', picture)
        bad += 1
sys.exit(1 if bad else 0)
)";

TEST(PngSuite, SavesPassPngcheckAndPillowReadsOurPixels) {
  if (!platform::testkit::HavePillow()) GTEST_SKIP() << "no Python with Pillow";
  platform::testkit::TempDir dir("pngsuite_out");
  std::ofstream pillowList(dir / "pairs.txt");
  int saved = 0, bmps = 0;
  for (const std::string& name : SuiteNames()) {
    if (name[0] == 'x') continue;
    const std::string in = kSuite + "/" + name + ".png", out = dir / (name + ".png");
    std::string errors;
    ASSERT_EQ(Shell(std::string(VELTRANO_PICCONV) + " " + in + " " + out, &errors), 0) << name << errors;
    std::string report;
    EXPECT_EQ(Shell("pngcheck " + out, &report), 0) << report;
    EXPECT_EQ(report.find("OK:"), 0u) << report;
    EXPECT_EQ(report.find("arning"), std::string::npos) << report;
    // Our reader's pixels of our own file.
    TPNGImage ours;
    ours.LoadFromFile(out);
    std::ofstream(dir / (name + ".rgb"), std::ios::binary).write(reinterpret_cast<const char*>(Rgb(ours).data()),
                                                                   static_cast<std::streamsize>(ours.Width() * ours.Height() * 3));
    pillowList << out << " " << (dir / (name + ".rgb")) << "\n";
    ++saved;
    // A BMP from the PNG against Pillow's own decode of the PNG, where
    // Pillow's decode means the same pixels: not for 16-bit grey, which
    // Pillow keeps as 16-bit numbers.
    const FileFacts facts = Facts(Read(name));
    if (!(facts.depth == 16 && (facts.colorType == 0 || facts.colorType == 4))) {
      const std::string bmp = dir / (name + ".bmp");
      ASSERT_EQ(Shell(std::string(VELTRANO_PICCONV) + " " + in + " " + bmp), 0) << name;
      platform::Bitmap fromBmp;
      fromBmp.LoadFromFile(bmp);
      std::ofstream(dir / (name + ".bmp.rgb"), std::ios::binary)
          .write(reinterpret_cast<const char*>(Rgb(fromBmp).data()), static_cast<std::streamsize>(fromBmp.Width() * fromBmp.Height() * 3));
      pillowList << in << " " << (dir / (name + ".bmp.rgb")) << "\n";
      ++bmps;
    }
  }
  pillowList.close();
  std::printf("PNG suite: %d re-saved files checked by pngcheck and Pillow, %d BMPs against Pillow\n", saved, bmps);
  EXPECT_EQ(platform::testkit::RunPython(dir, kCompareScript, dir / "pairs.txt"), 0);
  EXPECT_GT(bmps, 130);
}

TEST(PngSuite, CutShortAtEveryLengthAndBadCrcs) {
  for (const std::string name : {"basn2c08", "basi3p04", "basn0g16", "oi9n2c16", "tbrn2c08", "g25n3p04"}) {
    const Bytes whole = Read(name);
    const FileFacts facts = Facts(whole);
    TPNGImage full;
    {
      platform::MemoryStream in(whole);
      full.LoadFromStream(in);
    }
    for (std::size_t n = 0; n < whole.size(); ++n) {
      TPNGImage image;
      platform::MemoryStream in(whole.data(), n);
      bool loaded = true;
      try {
        image.LoadFromStream(in);
      } catch (const platform::GraphicError&) {
        loaded = false;
      }
      // A cut where a chunk ends leaves a whole picture when the image data
      // before it gives every row (only the end of the zlib stream may be
      // missing); every other cut is an error.
      const bool whole_picture = std::find(facts.chunkEnds.begin(), facts.chunkEnds.end(), n) != facts.chunkEnds.end() &&
                                 InflatedBefore(whole, facts, n) >= InflatedBefore(whole, facts, whole.size());
      EXPECT_EQ(loaded, whole_picture) << name << " cut at " << n;
      if (loaded) {
        EXPECT_TRUE(platform::SamePixels(image, full)) << name << " " << n;
      }
    }
    // A wrong CRC on any chunk.
    std::size_t start = 8;
    for (std::size_t end : facts.chunkEnds) {
      Bytes bad = whole;
      bad[end - 1] ^= 0x40;
      TPNGImage image;
      platform::MemoryStream in(bad);
      try {
        image.LoadFromStream(in);
        ADD_FAILURE() << name << " chunk at " << start << " loaded with a bad CRC";
      } catch (const codecs::EPNGImageException& e) {
        EXPECT_EQ(e.Text(), codecs::png_text::kCorrupted);
      }
      start = end;
    }
  }
}

}  // namespace

#include "pellora-lib/shrink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

using platform::Bitmap;
using platform::PixelFormat;
using pellora::ShrinkBitmap;

namespace {

// Bytes in the bitmap's own order: blue, green, red.
void SetBgr(Bitmap& b, int x, int y, int blue, int green, int red) {
  uint8_t* p = b.ScanLine(y) + 3 * x;
  p[0] = static_cast<uint8_t>(blue);
  p[1] = static_cast<uint8_t>(green);
  p[2] = static_cast<uint8_t>(red);
}

int Channel(const Bitmap& b, int x, int y, int c) { return b.ScanLine(y)[3 * x + c]; }

Bitmap Noise(int w, int h, unsigned seed) {
  Bitmap b(w, h, PixelFormat::Bit24);
  std::mt19937 gen(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      SetBgr(b, x, y, static_cast<int>(gen() % 256), (x * 7 + y * 3) % 256, static_cast<int>((x * y + gen() % 32) % 256));
  return b;
}

}  // namespace

TEST(ShrinkBitmap, HalvingAveragesBlocks) {
  Bitmap b = Noise(4, 4, 1);
  const Bitmap source = b;
  ShrinkBitmap(b, 2, 2);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.GetPixelFormat(), PixelFormat::Bit24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      for (int c = 0; c < 3; ++c) {
        const double mean = (Channel(source, 2 * x, 2 * y, c) + Channel(source, 2 * x + 1, 2 * y, c) +
                             Channel(source, 2 * x, 2 * y + 1, c) + Channel(source, 2 * x + 1, 2 * y + 1, c)) /
                            4.0;
        EXPECT_EQ(Channel(b, x, y, c), static_cast<int>(std::nearbyint(mean))) << x << "," << y << "," << c;
      }
}

TEST(ShrinkBitmap, ThreeColumnsToTwoSplitsTheMiddleOne) {
  Bitmap b(3, 1, PixelFormat::Bit24);
  SetBgr(b, 0, 0, 0, 0, 3);
  SetBgr(b, 1, 0, 90, 90, 3);
  SetBgr(b, 2, 0, 180, 255, 3);
  ShrinkBitmap(b, 2, 1);
  ASSERT_EQ(b.Width(), 2);
  EXPECT_EQ(Channel(b, 0, 0, 0), 30);   // 2/3 * 0 + 1/3 * 90
  EXPECT_EQ(Channel(b, 1, 0, 0), 150);  // 1/3 * 90 + 2/3 * 180
  EXPECT_EQ(Channel(b, 1, 0, 1), 200);
  EXPECT_EQ(Channel(b, 0, 0, 2), 3);
}

TEST(ShrinkBitmap, WhiteStaysWhiteAndEnlargingRepeats) {
  Bitmap white(97, 31, PixelFormat::Bit24);
  white.Fill(0xFFFFFF);
  ShrinkBitmap(white, 13, 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(Channel(white, x, y, c), 255);
  Bitmap small(2, 1, PixelFormat::Bit24);
  SetBgr(small, 0, 0, 10, 20, 30);
  SetBgr(small, 1, 0, 200, 100, 50);
  ShrinkBitmap(small, 4, 3);
  ASSERT_EQ(small.Width(), 4);
  ASSERT_EQ(small.Height(), 3);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(Channel(small, 0, y, 0), 10);
    EXPECT_EQ(Channel(small, 1, y, 1), 20);
    EXPECT_EQ(Channel(small, 2, y, 2), 50);
    EXPECT_EQ(Channel(small, 3, y, 0), 200);
  }
}

TEST(ShrinkBitmap, NothingChangesForEmptySourcesOrSizesBelowOne) {
  Bitmap b = Noise(5, 4, 2);
  const Bitmap before = b;
  ShrinkBitmap(b, 0, 3);
  ShrinkBitmap(b, 3, 0);
  ShrinkBitmap(b, -2, 3);
  ShrinkBitmap(b, 3, -1);
  EXPECT_TRUE(platform::SamePixels(b, before));
  Bitmap empty;
  ShrinkBitmap(empty, 10, 10);
  EXPECT_TRUE(empty.Empty());
  Bitmap noRows(5, 0, PixelFormat::Bit24);
  ShrinkBitmap(noRows, 2, 2);
  EXPECT_EQ(noRows.Width(), 5);
}

TEST(ShrinkBitmap, OtherFormatsAreTakenAsTrueColour) {
  Bitmap b(4, 2, PixelFormat::Bit32);
  b.Fill(0x00204080);  // red 0x80, green 0x40, blue 0x20
  ShrinkBitmap(b, 2, 1);
  EXPECT_EQ(b.GetPixelFormat(), PixelFormat::Bit24);
  EXPECT_EQ(b.Pixel(1, 0), 0x00204080u);
}

namespace {

void WritePpm(const Bitmap& b, const std::string& name) {
  std::ofstream out(name, std::ios::binary);
  out << "P6\n" << b.Width() << " " << b.Height() << "\n255\n";
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const uint8_t* p = b.ScanLine(y) + 3 * x;
      const char rgb[3] = {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
      out.write(rgb, 3);
    }
}

// A binary PPM as ImageMagick writes it (no comments), read without our code.
bool ReadPpm(const std::string& name, int& w, int& h, std::string& rgb) {
  std::ifstream in(name, std::ios::binary);
  std::string magic;
  int maxval = 0;
  if (!(in >> magic >> w >> h >> maxval) || magic != "P6" || maxval != 255) return false;
  in.get();
  rgb.resize(static_cast<size_t>(w) * h * 3);
  in.read(rgb.data(), static_cast<std::streamsize>(rgb.size()));
  return in.gcount() == static_cast<std::streamsize>(rgb.size());
}

}  // namespace

// Debian's ImageMagick, else whichever convert the path offers.
std::string Convert() {
  for (const char* candidate : {"/usr/bin/convert", "convert"})
    if (std::system((std::string(candidate) + " -version > /dev/null 2>&1").c_str()) == 0) return candidate;
  return std::string();
}

TEST(ShrinkBitmap, MatchesImageMagickScaleWithinOneLevel) {
  const std::string convert = Convert();
  if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  char dir[] = "/tmp/shrinkXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string in = std::string(dir) + "/in.ppm";
  const std::string out = std::string(dir) + "/out.ppm";
  struct Case {
    int w, h, nw, nh;
  };
  for (const Case& k : {Case{300, 200, 71, 96}, Case{257, 131, 100, 50}, Case{120, 90, 37, 29}, Case{64, 64, 32, 16}}) {
    Bitmap b = Noise(k.w, k.h, static_cast<unsigned>(k.w));
    WritePpm(b, in);
    const std::string cmd = convert + " " + in + " -scale " + std::to_string(k.nw) + "x" + std::to_string(k.nh) +
                            "! -depth 8 " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    int w = 0, h = 0;
    std::string rgb;
    ASSERT_TRUE(ReadPpm(out, w, h, rgb));
    ASSERT_EQ(w, k.nw);
    ASSERT_EQ(h, k.nh);
    ShrinkBitmap(b, k.nw, k.nh);
    int worst = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          const int theirs = static_cast<unsigned char>(rgb[(static_cast<size_t>(y) * w + x) * 3 + c]);
          const int ours = Channel(b, x, y, 2 - c);
          worst = std::max(worst, std::abs(theirs - ours));
        }
    EXPECT_LE(worst, 1) << k.w << "x" << k.h << " to " << k.nw << "x" << k.nh;
  }
  std::filesystem::remove_all(dir);
}

TEST(ResampleFilters, TableAndKernelValues) {
  using namespace pellora;
  const char* names[] = {"Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell"};
  const float supports[] = {0.5f, 1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 2.0f};
  for (size_t i = 0; i < kResampleFilters.size(); ++i) {
    EXPECT_STREQ(kResampleFilters[i].name, names[i]);
    EXPECT_EQ(kResampleFilters[i].support, supports[i]);
    // Every kernel is symmetric and ends at its support.
    const ResampleFilter& f = kResampleFilters[i];
    if (i != 0) {
      for (float x : {0.1f, 0.3f, 0.7f, 1.2f, 1.7f, 2.5f}) EXPECT_FLOAT_EQ(f.kernel(x), f.kernel(-x)) << f.name;
    }
    EXPECT_EQ(f.kernel(f.support + 0.01f), 0.0f) << f.name;
  }
  EXPECT_EQ(BoxFilter(0.5f), 1.0f);
  EXPECT_EQ(BoxFilter(-0.5f), 0.0f);
  EXPECT_EQ(Lanczos3Filter(0.0f), 1.0f);
  EXPECT_FLOAT_EQ(MitchellFilter(0.0f), 8.0f / 9.0f);
  EXPECT_FLOAT_EQ(BSplineFilter(0.0f), 2.0f / 3.0f);
  EXPECT_FLOAT_EQ(TriangleFilter(0.25f), 0.75f);
  EXPECT_FLOAT_EQ(HermiteFilter(0.5f), 0.5f);
  EXPECT_FLOAT_EQ(BellFilter(1.0f), 0.125f);
  EXPECT_FLOAT_EQ(BSplineFilter(1.5f), 0.125f / 6.0f);
  EXPECT_NEAR(Lanczos3Filter(1.0f), 0.0f, 1e-6f);
  EXPECT_NEAR(Lanczos3Filter(0.5f), 0.6079271f, 1e-5f);
  EXPECT_NEAR(MitchellFilter(1.0f), 1.0f / 18.0f, 1e-6f);
  // Mitchell with B = C = 1/3 sums to 1 over integer offsets.
  EXPECT_NEAR(MitchellFilter(0.3f) + MitchellFilter(1.3f) + MitchellFilter(0.7f) + MitchellFilter(1.7f), 1.0f, 1e-5f);
}

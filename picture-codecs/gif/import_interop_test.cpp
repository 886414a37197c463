// Pictures saved as GIF by the conversion tool, with every reduction and
// dithering choice, read by independent readers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/photo_sample.h"
#include "platform/bitmap.h"
#include "platform/test_support.h"

namespace {

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

// Writes the picture's colour count, size and RGB pixels as Pillow sees it.
constexpr const char* kPillowScript = R"(import sys
from PIL import Image
im = Image.open(sys.argv[1])
assert im.format == 'GIF', im.format
colours = im.getcolors(1 << 24)
rgb = im.convert('RGB')
open(sys.argv[2], 'w').write('%d %d %d\n' % (len(colours), im.size[0], im.size[1]))
open(sys.argv[3], 'wb').write(rgb.tobytes())
)";

TEST(PicconvGIF, PhotosBecomeGIFsThatOtherReadersShowAsWeDo) {
  if (!platform::testkit::HavePillow()) GTEST_SKIP() << "no Python with Pillow";
  platform::testkit::TempDir dir("picconv_gif");
  platform::Bitmap photo = gif::sample::PhotoLikeBitmap(320, 200, 5);
  const std::string in = dir / "photo.bmp";
  photo.SaveToFile(in);
  // The plain command line of a photo in PNG, written by Pillow.
  const std::string png = dir / "photo.png";
  ASSERT_EQ(platform::testkit::RunPython(dir, "import sys\nfrom PIL import Image\nImage.open(sys.argv[1]).save(sys.argv[2])\n",
                                         in + " " + png),
            0);
  const std::vector<std::string> options = {png,
                                            "",
                                            "--reduce quantize --dither floydsteinberg",
                                            "--reduce quantizewindows --dither stucki",
                                            "--reduce grayscale --dither burkes",
                                            "--reduce monochrome --dither sierra",
                                            "--reduce 2 --dither 4",
                                            "--reduce windows20 --dither stevearche"};
  for (const std::string& option : options) {
    SCOPED_TRACE(option);
    const std::string out = dir / "out.gif";
    std::filesystem::remove(out);
    const bool fromPng = option == png;
    ASSERT_EQ(Shell(std::string(VELTRANO_PICCONV) + " " + (fromPng ? png : option + " " + in) + " " + out), 0);
    const std::string counted = dir / "counted.txt";
    const std::string pixels = dir / "pixels.rgb";
    ASSERT_EQ(platform::testkit::RunPython(dir, kPillowScript, out + " " + counted + " " + pixels), 0);
    int colours = 0, w = 0, h = 0;
    std::ifstream(counted) >> colours >> w >> h;
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_GE(colours, 2);
    EXPECT_LE(colours, 256);
    // ImageMagick reads it too, at most 256 colours.
    const std::string identified = Output("/usr/bin/convert " + out + " -format '%k %w %h' info: 2>/dev/null");
    int kColours = 0, kw = 0, kh = 0;
    ASSERT_EQ(std::sscanf(identified.c_str(), "%d %d %d", &kColours, &kw, &kh), 3) << identified;
    EXPECT_EQ(kw, 320);
    EXPECT_EQ(kh, 200);
    EXPECT_LE(kColours, 256);
    // Pillow's pixels are ours.
    gif::TGIFImage ours;
    ours.LoadFromFile(out);
    platform::Bitmap* shown = ours.RenderBitmap();
    ASSERT_NE(shown, nullptr);
    const std::vector<std::uint8_t> rgb = platform::testkit::ReadFile(pixels);
    ASSERT_EQ(rgb.size(), 320u * 200u * 3u);
    int differing = 0;
    double error = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 320; ++x) {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * 320 + x) * 3];
        const platform::Color c = shown->Pixel(x, y);
        if (c != platform::RGBColor(p[0], p[1], p[2])) ++differing;
        const platform::Color o = photo.Pixel(x, y);
        const int dr = platform::GetRValue(o) - p[0];
        error += dr * dr;
      }
    EXPECT_EQ(differing, 0);
    // The picture is still the photo: an optimised palette stays close to it.
    if (option.find("quantize") != std::string::npos) {
      EXPECT_LT(error / (320.0 * 200.0), 200.0);
    }
  }
}

TEST(PicconvGIF, ReductionOptionsAreCheckedAndOnlyForGIF) {
  platform::testkit::TempDir dir("picconv_gif_opts");
  const std::string in = dir / "in.bmp";
  gif::sample::PhotoLikeBitmap(40, 40, 1).SaveToFile(in);
  const std::string tool = VELTRANO_PICCONV;
  EXPECT_EQ(Shell(tool + " --reduce palette " + in + " " + (dir / "a.gif")), 2 << 8);
  EXPECT_EQ(Shell(tool + " --reduce 9 " + in + " " + (dir / "a.gif")), 2 << 8);
  EXPECT_EQ(Shell(tool + " --dither 7 " + in + " " + (dir / "a.gif")), 2 << 8);
  EXPECT_EQ(Shell(tool + " " + in + " " + (dir / "a.gif") + " --dither"), 2 << 8);
  EXPECT_EQ(Shell(tool + " --dither stucki " + in + " " + (dir / "a.bmp")), 2 << 8);
  EXPECT_FALSE(std::filesystem::exists(dir / "a.gif"));
  // Without reduction a photo of more than 256 colours cannot be a GIF.
  EXPECT_EQ(Shell(tool + " --reduce none " + in + " " + (dir / "a.gif")), 1 << 8);
  ASSERT_EQ(Shell(tool + " --reduce grayscale " + in + " " + (dir / "a.gif")), 0);
  gif::TGIFImage image;
  image.LoadFromFile(dir / "a.gif");
  EXPECT_EQ(image.Frame(0)->LocalMap().EntryCount(), 256);
}

}  // namespace

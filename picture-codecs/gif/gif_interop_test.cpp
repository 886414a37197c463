// Our GIF files against independent readers, and theirs against ours:
// Pillow gives back the indices we wrote with either encoder, giftext reads
// every file without complaint, and the GIFs that ImageMagick and Pillow
// write decode here to the indices Pillow reads from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "platform/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::testkit::TempDir;

// Indices of the first frame as Pillow reads them, one byte per pixel.
const char* kIndicesScript = R"(
import sys
from PIL import Image
for name in sys.argv[1:]:
    im = Image.open(name)
    im.load()
    if im.mode != 'P':
        raise SystemExit(name + ': mode ' + im.mode)
    with open(name + '.idx', 'wb') as f:
        f.write(bytes(im.getdata()))
)";

Bytes MakePixels(int w, int h, int colours, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes px(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < px.size();) {
    // runs of random length, so both encoders meet runs and noise
    const std::size_t run = std::min<std::size_t>(px.size() - i, 1 + rng() % (rng() % 4 == 0 ? 200 : 3));
    const auto v = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colours));
    std::fill(px.begin() + static_cast<long>(i), px.begin() + static_cast<long>(i + run), v);
    i += run;
  }
  return px;
}

TEST(GifInterop, PillowAndGiftextReadOurFiles) {
  if (!platform::testkit::HavePillow()) GTEST_SKIP() << "no Python with Pillow";
  TempDir dir("gif_interop");
  struct Case {
    std::string file;
    Bytes pixels;
  };
  std::vector<Case> cases;
  const int sizes[][2] = {{1, 1}, {7, 3}, {64, 64}, {640, 480}};
  unsigned seed = 1;
  for (auto [w, h] : sizes)
    for (int colours : {2, 4, 16, 256})
      for (bool interlaced : {false, true})
        for (auto encoder : {gif::EncoderKind::LZW, gif::EncoderKind::RunLength}) {
          gif::TGIFImage image;
          image.Encoder = static_cast<std::uint8_t>(encoder);
          std::mt19937 rng(seed);
          // Colours all different, so Pillow keeps the palette as it is.
          for (int c = 0; c < colours; ++c)
            image.GlobalMapOf().AddColour(platform::RGBColor(c, static_cast<int>(rng() % 256), 255 - c));
          auto* frame = new gif::TGIFSubImage(&image);
          image.AddFrame(frame);
          frame->SetFrameBounds(0, 0, w, h);
          frame->SetInterlaced(interlaced);
          const Bytes px = MakePixels(w, h, colours, seed++);
          std::copy(px.begin(), px.end(), frame->Pixels());
          const std::string file = dir / ("c" + std::to_string(cases.size()) + ".gif");
          image.SaveToFile(file);
          cases.push_back({file, px});
        }
  std::string args;
  for (const auto& c : cases) args += " " + c.file;
  ASSERT_EQ(platform::testkit::RunPython(dir, kIndicesScript, args), 0);
  for (const auto& c : cases) {
    EXPECT_EQ(platform::testkit::ReadFile(c.file + ".idx"), c.pixels) << c.file;
    EXPECT_EQ(std::system(("giftext " + c.file + " >/dev/null 2>&1").c_str()), 0) << c.file;
    gif::TGIFImage back;
    back.LoadFromFile(c.file);
    EXPECT_EQ(Bytes(back.Frame(0)->Pixels(), back.Frame(0)->Pixels() + c.pixels.size()), c.pixels) << c.file;
  }
}

TEST(GifInterop, FilesOfOtherWritersDecodeToPillowsIndices) {
  if (!platform::testkit::HavePillow()) GTEST_SKIP() << "no Python with Pillow";
  TempDir dir("gif_others");
  // Pillow: random palette pictures, plain and interlaced, several sizes.
  const char* pillowWriter = R"(
import sys, random
from PIL import Image
random.seed(7)
folder = sys.argv[1]
n = 0
for (w, h) in [(1, 1), (3, 5), (33, 17), (200, 150)]:
    for colours in (2, 16, 256):
        im = Image.new('P', (w, h))
        im.putpalette([random.randrange(256) for _ in range(colours * 3)])
        im.putdata([random.randrange(colours) if random.random() < 0.7 else 0 for _ in range(w * h)])
        for interlace in (0, 1):
            im.save('%s/pil%d.gif' % (folder, n), interlace=interlace, optimize=False)
            n += 1
)";
  ASSERT_EQ(platform::testkit::RunPython(dir, pillowWriter, dir.Path().string()), 0);
  // ImageMagick: a gradient, a plasma of 200 colours, an interlaced
  // checkerboard, a two-frame animation.
  const std::string convert = "/usr/bin/convert";
  const std::vector<std::string> magick = {
      "-size 120x80 gradient:red-blue -colors 64 " + (dir / "im0.gif"),
      "-size 97x61 plasma:fractal -seed 3 -colors 200 " + (dir / "im1.gif"),
      "-size 64x48 pattern:checkerboard -interlace GIF " + (dir / "im2.gif"),
      "-size 30x20 xc:red xc:blue -loop 0 " + (dir / "im3.gif"),
  };
  for (const auto& args : magick)
    ASSERT_EQ(std::system((convert + " " + args + " >/dev/null 2>&1").c_str()), 0) << args;
  std::vector<std::string> files;
  for (int i = 0; i < 24; ++i) files.push_back(dir / ("pil" + std::to_string(i) + ".gif"));
  for (int i = 0; i < 4; ++i) files.push_back(dir / ("im" + std::to_string(i) + ".gif"));
  std::string args;
  for (const auto& f : files) args += " " + f;
  ASSERT_EQ(platform::testkit::RunPython(dir, kIndicesScript, args), 0);
  for (const auto& f : files) {
    gif::TGIFImage image;
    std::vector<std::string> warnings;
    image.SetOnWarning([&](const gif::GIFObject*, int, const std::string& m) { warnings.push_back(m); });
    image.LoadFromFile(f);
    ASSERT_GE(image.FrameCount(), 1) << f;
    const gif::TGIFSubImage* frame = image.Frame(0);
    const Bytes expect = platform::testkit::ReadFile(f + ".idx");
    // Pillow reads the first frame at its place on the screen.
    ASSERT_EQ(expect.size(), static_cast<std::size_t>(image.Width()) * image.Height()) << f;
    for (int y = 0; y < frame->Height(); ++y)
      for (int x = 0; x < frame->Width(); ++x)
        ASSERT_EQ(frame->Pixels()[y * frame->Width() + x],
                  expect[static_cast<std::size_t>(frame->Top() + y) * image.Width() + frame->Left() + x])
            << f << " at " << x << "," << y;
    EXPECT_TRUE(warnings.empty()) << f << ": " << warnings.front();
  }
}

}  // namespace

// Composition of animations: the GIF suite's animated cases frame by frame,
// and a hand-made animation against ImageMagick's coalesced frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "picture-codecs/gif/compose.h"
#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/painter.h"
#include "picture-codecs/gif/suite_test_support.h"
#include "platform/test_support.h"

namespace {

using platform::Color;
using platform::RGBColor;

const char* kConvert = "/usr/bin/convert";

using gif::testkit::ReadConf;
using gif::testkit::Section;
using gif::testkit::Split;
using gif::testkit::kSuite;

// Expected RGBA pixels flattened onto the backdrop.
std::vector<Color> Flatten(const std::vector<std::uint8_t>& rgba, Color backdrop) {
  std::vector<Color> out;
  for (std::size_t i = 0; i + 3 < rgba.size(); i += 4)
    out.push_back(rgba[i + 3] == 0 ? backdrop : RGBColor(rgba[i], rgba[i + 1], rgba[i + 2]));
  return out;
}

int Delay(const gif::TGIFSubImage& frame) {
  return frame.ControlExtension() ? frame.ControlExtension()->DelayTime() : 0;
}

// Every multi-frame case of the suite: the screen after each shown frame
// (images without a delay belong to the frame that the next delayed image
// ends, unless the case asks for each image to count) equals the expected
// pixels on the backdrop; the frame's delay is the expected one.
TEST(GifCompose, SuiteAnimationsFrameByFrame) {
  std::ifstream list(kSuite + "TESTS");
  std::string name;
  int cases = 0, passed = 0;
  const Color backdrop = RGBColor(1, 2, 3);
  while (std::getline(list, name)) {
    if (name.empty()) continue;
    auto conf = ReadConf(kSuite + name + ".conf");
    const auto frames = Split(conf["config"]["frames"]);
    if (frames.size() < 2) continue;
    ++cases;
    const bool eachImage = conf["config"]["force-animation"] == "yes";
    gif::TGIFImage image;
    ASSERT_NO_THROW(image.LoadFromFile(kSuite + conf["config"]["input"])) << name;
    gif::FrameComposer composer(image, gif::dpTransparent, backdrop);
    std::size_t shown = 0;
    bool same = true;
    for (int i = 0; i < image.FrameCount() && shown < frames.size(); ++i) {
      composer.ShowFrame(i);
      const bool ends = eachImage || Delay(*image.Frame(i)) > 0 || i + 1 == image.FrameCount();
      if (!ends) continue;
      Section& f = conf[frames[shown]];
      const auto expected = Flatten(platform::testkit::ReadFile(kSuite + f["pixels"]), backdrop);
      if (composer.Visible().pixels != expected) {
        ADD_FAILURE() << name << ": frame " << shown << " differs";
        same = false;
      }
      if (f.count("delay") && std::stoi(f["delay"]) != Delay(*image.Frame(i))) {
        ADD_FAILURE() << name << ": frame " << shown << " delay " << Delay(*image.Frame(i));
        same = false;
      }
      ++shown;
    }
    EXPECT_EQ(shown, frames.size()) << name;
    if (same && shown == frames.size()) ++passed;
  }
  std::cout << "GIF suite animations: " << passed << " of " << cases << " cases composed as expected\n";
  EXPECT_EQ(cases, 11);
}

class StillClock : public gif::PainterClock {
 public:
  std::int64_t NowMs() override { return now; }
  void SleepMs(int ms) override { now += ms; }
  std::int64_t now = 0;
};

// The loop count each animated case asks for, as a timer-driven painter
// plays it: "infinite" keeps repeating, a number is the plays in all.
TEST(GifCompose, SuiteLoopCountsPlayed) {
  const std::map<std::string, std::string> known = {
      {"gif87a-animation", "no looping extension: played once"}};
  std::ifstream list(kSuite + "TESTS");
  std::string name;
  int cases = 0, passed = 0;
  while (std::getline(list, name)) {
    if (name.empty()) continue;
    auto conf = ReadConf(kSuite + name + ".conf");
    if (Split(conf["config"]["frames"]).size() < 2) continue;
    ++cases;
    gif::TGIFImage image;
    image.LoadFromFile(kSuite + conf["config"]["input"]);
    StillClock clock;
    gif::TGIFPainter painter(image, gif::dpThreaded | gif::dpAnimate | gif::dpRepeat, platform::Rect{0, 0, 2, 2},
                             nullptr, nullptr, nullptr, clock);
    int plays = 1;
    painter.OnRepeat = [&](gif::TGIFPainter&) { ++plays; };
    int steps = 0;
    for (int wait = 0; wait != gif::TGIFPainter::kFinished && steps < 1000; ++steps) {
      wait = painter.Advance();
      if (wait > 0) clock.now += wait;
    }
    const std::string want = conf["config"]["loop-count"];
    const bool ok = want == "infinite" ? !painter.Finished() && plays > 10 : painter.Finished() && std::to_string(plays) == want;
    if (ok) {
      ++passed;
    } else if (!known.count(name)) {
      ADD_FAILURE() << name << ": " << plays << " plays, finished " << painter.Finished() << ", want " << want;
    }
  }
  std::cout << "GIF suite loop counts: " << passed << " of " << cases << " cases played as expected\n";
  EXPECT_GE(passed, cases - static_cast<int>(known.size()));
}

// ---- a hand-made animation against ImageMagick -----------------------------

gif::TGIFSubImage* AddFrame(gif::TGIFImage& image, int l, int t, int w, int h, int disposal, int delay,
                            int transparent, const std::function<int(int, int)>& pixel) {
  auto* frame = new gif::TGIFSubImage(&image);
  frame->SetFrameBounds(l, t, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) frame->PixelAt(x, y) = static_cast<std::uint8_t>(pixel(x, y));
  auto* control = new gif::TGIFGraphicControlExtension(frame);
  frame->Extensions().AddItem(control);
  control->SetDisposalMethod(disposal);
  control->SetDelayTime(delay);
  if (transparent >= 0) {
    control->SetTransparentIndex(transparent);
    control->SetTransparency(true);
  }
  image.AddFrame(frame);
  return frame;
}

// 32 x 32, four frames with disposals 1, 2, 3, 1; the third and fourth
// frames have transparent pixels; the first leaves a strip of the screen
// uncovered.
std::unique_ptr<gif::TGIFImage> FourFrames() {
  auto image = std::make_unique<gif::TGIFImage>();
  image->SetScreenSize(32, 32);
  for (Color c : {RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255), RGBColor(255, 255, 0)})
    image->GlobalMapOf().AddColour(c);
  AddFrame(*image, 0, 0, 28, 32, 1, 10, -1, [](int x, int y) { return (x / 4 + y / 4) % 2; });
  AddFrame(*image, 4, 4, 16, 16, 2, 10, -1, [](int, int) { return 2; });
  AddFrame(*image, 12, 12, 16, 16, 3, 10, 0, [](int x, int y) { return (x + y) % 3 == 0 ? 0 : 3; });
  AddFrame(*image, 20, 2, 10, 10, 1, 10, 1, [](int x, int) { return x < 5 ? 1 : 2; });
  return image;
}

// A binary PPM as colours, rows top to bottom.
std::vector<Color> ReadPPM(const std::string& path, int& w, int& h) {
  const platform::testkit::Pnm pnm = platform::testkit::ReadPnm(path);
  w = pnm.w;
  h = pnm.h;
  std::vector<Color> out;
  for (int y = 0; y < pnm.h; ++y)
    for (int x = 0; x < pnm.w; ++x) out.push_back(pnm.ColourAt(x, y));
  return out;
}

TEST(GifCompose, DisposalsEqualImageMagickCoalesced) {
  if (std::system((std::string(kConvert) + " -version >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "no ImageMagick";
  platform::testkit::TempDir dir;
  auto image = FourFrames();
  image->ScreenHeader().BackgroundIndex = 3;
  image->SaveToFile(dir / "x.gif");
  // Composed on the file's background colour (yellow, index 3);
  // ImageMagick's cleared pixels are transparent and flattening puts them on
  // the same colour.
  const Color backdrop = RGBColor(255, 255, 0);
  const std::string cmd = std::string(kConvert) + " " + (dir / "x.gif") +
                          " -coalesce -background '#ffff00' -alpha remove -alpha off " + (dir / "im-%d.ppm");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  gif::TGIFImage loaded;
  loaded.LoadFromFile(dir / "x.gif");
  gif::FrameComposer composer(loaded, gif::dpTransparent, backdrop);
  for (int i = 0; i < 4; ++i) {
    composer.ShowFrame(i);
    int w = 0, h = 0;
    const auto expected = ReadPPM(dir / ("im-" + std::to_string(i) + ".ppm"), w, h);
    ASSERT_EQ(w, 32);
    ASSERT_EQ(h, 32);
    EXPECT_EQ(composer.Visible().pixels, expected) << "frame " << i;
  }
  // The tool writes the same screens.
  const std::string tool = std::string(VELTRANO_PICCONV) + " --frames " + (dir / "x.gif") + " " +
                           (dir / "ours-%d.bmp");
  ASSERT_EQ(std::system(tool.c_str()), 0);
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_EQ(std::system((std::string(kConvert) + " " + (dir / ("ours-" + n + ".bmp")) + " " +
                           (dir / ("ours-" + n + ".ppm"))).c_str()),
              0);
    int w = 0, h = 0, w2 = 0, h2 = 0;
    EXPECT_EQ(ReadPPM(dir / ("ours-" + n + ".ppm"), w, h), ReadPPM(dir / ("im-" + n + ".ppm"), w2, h2)) << n;
  }
}

// The background the painter clears to, and what disposals do with it when
// frames draw without their masks.
TEST(GifCompose, BackgroundColourAndReservedDisposals) {
  auto image = FourFrames();
  image->ScreenHeader().BackgroundIndex = 2;
  EXPECT_EQ(gif::PainterBackground(*image), RGBColor(0, 0, 255));
  image->ScreenHeader().BackgroundIndex = 9;  // outside the map of 4
  EXPECT_EQ(gif::PainterBackground(*image), gif::kWindowColour);
  image->BackdropColour = RGBColor(7, 8, 9);
  EXPECT_EQ(gif::PainterBackground(*image), RGBColor(7, 8, 9));
  image->BackdropColour = platform::clNone;
  gif::TGIFImage empty;
  EXPECT_EQ(gif::PainterBackground(empty), gif::kWindowColour);

  // Without dpTransparent a cleared area gets the background colour (here
  // the window colour), never the "no colour" value.
  gif::FrameComposer opaque(*image, 0, RGBColor(0x20, 0x40, 0x60));
  opaque.ShowFrame(0);
  opaque.ShowFrame(1);
  EXPECT_EQ(opaque.Visible().At(4, 4), RGBColor(0, 0, 255));
  opaque.ShowFrame(2);  // frame 1's area was cleared to the background
  EXPECT_EQ(opaque.Visible().At(5, 5), gif::kWindowColour);
  EXPECT_EQ(opaque.Visible().At(30, 30), RGBColor(0x20, 0x40, 0x60));  // never covered

  // Reserved methods 4..7 keep the frame like method 1.
  for (int method = 4; method <= 7; ++method) {
    image->Frame(1)->ControlExtension()->SetDisposalMethod(method);
    EXPECT_EQ(gif::FrameDisposal(*image->Frame(1)), gif::kDisposeKeep);
    gif::FrameComposer c(*image, gif::dpTransparent, RGBColor(0, 0, 0));
    for (int i = 0; i < 3; ++i) c.ShowFrame(i);
    EXPECT_EQ(c.Visible().At(5, 5), RGBColor(0, 0, 255)) << method;
  }
}

TEST(GifCompose, FramesOutsideANarrowScreenDrawNothing) {
  // A screen of no width (as a damaged file may give) and a frame lying
  // wholly right of a narrow one: nothing is drawn, nothing read or written
  // outside the buffers.
  for (const int screenWidth : {0, 3}) {
    gif::TGIFImage image;
    image.GlobalMapOf().AddColour(RGBColor(255, 0, 0));
    image.GlobalMapOf().AddColour(RGBColor(0, 255, 0));
    AddFrame(image, 4, 0, 4, 4, 2, 10, -1, [](int, int) { return 1; });
    AddFrame(image, 0, 2, 4, 4, 3, 10, 0, [](int x, int) { return x % 2; });
    // Adding frames grows the screen; a damaged header states it smaller.
    image.SetScreenSize(screenWidth, 8);
    ASSERT_EQ(image.Width(), screenWidth);
    for (const std::uint16_t options : {std::uint16_t{0}, std::uint16_t{gif::dpTransparent | gif::dpClearOnRepeat}}) {
      gif::FrameComposer c(image, options, RGBColor(1, 2, 3));
      for (int i = 0; i < image.FrameCount(); ++i) c.ShowFrame(i);
      const auto& shown = c.Visible();
      ASSERT_EQ(shown.width, image.Width());
      for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
          // Only frame 1 reaches the narrow screen, on its rows 2..5; its
          // odd columns are green, the even ones transparent or red.
          const bool covered = y >= 2 && y < 6;
          if (!covered) {
            EXPECT_NE(shown.At(x, y), RGBColor(0, 255, 0));
          } else if (x % 2 == 1) {
            EXPECT_EQ(shown.At(x, y), RGBColor(0, 255, 0)) << x << "," << y;
          }
        }
    }
  }
}

TEST(GifCompose, DelayUnitsAndLimits) {
  auto image = FourFrames();
  gif::TGIFSubImage& f = *image->Frame(0);
  const std::vector<std::pair<int, int>> sync = {{0, 10}, {1, 3}, {2, 3}, {3, 3}, {50, 50}, {1000, 1000}, {5000, 1000}, {65535, 1000}};
  for (auto [delay, units] : sync) {
    f.ControlExtension()->SetDelayTime(delay);
    EXPECT_EQ(gif::FrameDelayUnits(f, false), units) << delay;
  }
  f.ControlExtension()->SetDelayTime(5000);
  EXPECT_EQ(gif::FrameDelayUnits(f, true), 5000);
  EXPECT_EQ(gif::kDelayUnitMs, 10);
}

}  // namespace

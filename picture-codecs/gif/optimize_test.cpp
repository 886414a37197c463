// Optimisation: every pass and every mix of them leaves what a viewer shows
// (the screens of the animation and how long each stays) and the loop count
// as they were.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "platform/test_support.h"

namespace {

using gif::TGIFImage;
using gif::TGIFSubImage;

// A pixel of the screen that no frame has drawn.
constexpr std::uint32_t kUnset = 0xFF000000u;

struct Shown {
  std::vector<std::uint32_t> screen;
  int delay;
  friend bool operator==(const Shown&, const Shown&) = default;
};

// The screens a viewer shows, by the painter's rules: each frame drawn over
// the screen the previous one left (its transparent pixels show through),
// then disposed of (2 clears its rectangle, 3 restores the screen from
// before it). Consecutive equal screens are one, their times added.
std::vector<Shown> Timeline(TGIFImage& image) {
  const int w = image.Width();
  const int h = image.Height();
  std::vector<std::uint32_t> screen(static_cast<std::size_t>(w) * h, kUnset);
  std::vector<Shown> out{{screen, 0}};
  for (int i = 0; i < image.FrameCount(); ++i) {
    TGIFSubImage& f = *image.Frame(i);
    const auto* gce = f.ControlExtension();
    const int disposal = gce ? gce->DisposalMethod() : 0;
    const int delay = gce ? gce->DelayTime() : 0;
    const std::vector<std::uint32_t> saved = screen;
    if (!f.FrameEmpty()) {
      gif::TGIFColorMap& map = f.ActiveMap();
      for (int y = 0; y < f.Height(); ++y)
        for (int x = 0; x < f.Width(); ++x) {
          const int v = f.PixelAt(x, y);
          if (f.HasTransparency() && v == f.TransparentIndex()) continue;
          const int sx = f.Left() + x;
          const int sy = f.Top() + y;
          if (sx >= w || sy >= h) continue;
          std::uint32_t c = 0;
          if (v < map.EntryCount()) {
            const std::uint8_t* e = map.Entries() + v * 3;
            c = platform::RGBColor(e[0], e[1], e[2]);
          }
          screen[static_cast<std::size_t>(sy) * w + sx] = c;
        }
    }
    if (out.back().screen == screen)
      out.back().delay += delay;
    else
      out.push_back({screen, delay});
    if (disposal == 2) {
      for (int y = f.Top(); y < std::min(h, f.Top() + f.Height()); ++y)
        for (int x = f.Left(); x < std::min(w, f.Left() + f.Width()); ++x)
          screen[static_cast<std::size_t>(y) * w + x] = kUnset;
    } else if (disposal == 3) {
      screen = saved;
    }
  }
  return out;
}

int LoopCount(TGIFImage& image) {
  for (int i = 0; i < image.FrameCount(); ++i)
    for (int e = 0; e < image.Frame(i)->Extensions().ItemCount(); ++e)
      if (auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(image.Frame(i)->Extensions().Extension(e)))
        return i == 0 ? loop->LoopCount : -1000 - i;
  return -1;
}

gif::TGIFGraphicControlExtension* Control(TGIFSubImage& f) {
  if (f.ControlExtension()) return f.ControlExtension();
  auto* ext = new gif::TGIFGraphicControlExtension(&f);
  f.Extensions().AddItem(ext);
  return ext;
}

// Random animations on a 12 x 9 screen: frames that repeat much of the one
// before, offsets, local maps that repeat global colours, transparency,
// every disposal, invisible and empty frames, comments and a loop count.
void MakeAnimation(TGIFImage& image, unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  image.SetScreenSize(12, 9);
  const std::uint32_t colours[6] = {platform::RGBColor(255, 0, 0), platform::RGBColor(0, 255, 0),
                                    platform::RGBColor(0, 0, 255), platform::RGBColor(255, 255, 0),
                                    platform::RGBColor(0, 0, 0),   platform::RGBColor(255, 255, 255)};
  for (std::uint32_t c : colours) image.GlobalMapOf().AddColour(c);
  const int frames = 2 + pick(6);
  std::vector<std::uint8_t> last(12 * 9, 0);
  for (int i = 0; i < frames; ++i) {
    auto made = std::make_unique<TGIFSubImage>(&image);
    TGIFSubImage& f = *made;
    image.AddFrame(made.release());
    if (i == 0) {
      auto* loop = new gif::TGIFAppExtNSLoop(&f);
      loop->LoopCount = static_cast<std::uint16_t>(3 + pick(5));
      f.Extensions().AddItem(loop);
    }
    if (pick(4) == 0) {
      auto* comment = new gif::TGIFCommentExtension(&f);
      comment->CommentLines = {"frame " + std::to_string(i)};
      f.Extensions().AddItem(comment);
    }
    if (pick(10) == 0) {  // extensions only
      Control(f)->SetDelayTime(pick(3) * 10);
      continue;
    }
    const int left = pick(4), top = pick(3);
    const int w = 1 + pick(12 - left), h = 1 + pick(9 - top);
    f.SetFrameBounds(left, top, w, h);
    const bool local = pick(3) == 0;
    if (local)  // the same colours in another order, and one more
      for (int k : {2, 0, 1, 5, 4, 3}) f.LocalMap().AddColour(colours[k]);
    const int count = local ? 6 : 6;
    const bool invisible = pick(6) == 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t v = static_cast<std::uint8_t>(pick(count));
        if (!local && pick(3) != 0) v = last[static_cast<std::size_t>(top + y) * 12 + left + x];
        f.PixelAt(x, y) = v;
      }
    if (pick(2) == 0 || invisible) {
      const int t = f.PixelAt(0, 0);
      Control(f)->SetTransparency(true);
      Control(f)->SetTransparentIndex(t);
      if (invisible)
        for (int k = 0; k < w * h; ++k) f.Pixels()[k] = static_cast<std::uint8_t>(t);
    }
    if (pick(2) == 0) Control(f)->SetDisposalMethod(pick(4));
    if (pick(2) == 0) Control(f)->SetDelayTime(pick(4) * 10);
    if (!local)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) last[static_cast<std::size_t>(top + y) * 12 + left + x] = f.PixelAt(x, y);
  }
}

TEST(Optimize, EveryOptionMixLeavesWhatAViewerShows) {
  int changedSomething = 0;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    for (int options = 0; options < 32; ++options) {
      TGIFImage image;
      MakeAnimation(image, seed);
      const std::vector<Shown> before = Timeline(image);
      const int loops = LoopCount(image);
      // A frame of extensions alone joins the next frame in the stream; only
      // pictures without one read back frame for frame.
      bool streamable = true;
      for (int i = 0; i < image.FrameCount(); ++i) streamable = streamable && !image.Frame(i)->FrameEmpty();
      platform::MemoryStream original;
      image.SaveToStream(original);
      image.Optimize(static_cast<std::uint8_t>(options), 0);
      ASSERT_EQ(Timeline(image), before) << "seed " << seed << " options " << options;
      ASSERT_EQ(LoopCount(image), loops) << "seed " << seed << " options " << options;
      // It still writes, and reads back the same.
      platform::MemoryStream s;
      image.SaveToStream(s);
      if (s.Size() < original.Size()) ++changedSomething;
      if (!streamable) continue;
      s.SetPosition(0);
      TGIFImage back;
      back.LoadFromStream(s);
      ASSERT_EQ(Timeline(back), before) << "seed " << seed << " options " << options;
    }
  }
  // The passes do make pictures smaller.
  EXPECT_GT(changedSomething, 150 * 8);
}

TEST(Optimize, PassesOnTheirOwn) {
  {  // unused transparency goes
    TGIFImage image;
    MakeAnimation(image, 3);
    TGIFSubImage& f = *image.Frame(0);
    f.SetFrameBounds(0, 0, 2, 2);
    for (int k = 0; k < 4; ++k) f.Pixels()[k] = 1;
    Control(f)->SetTransparency(true);
    Control(f)->SetTransparentIndex(4);
    image.Optimize(gif::opCleanup, 0);
    EXPECT_FALSE(image.Frame(0)->HasTransparency());
  }
  auto twoFrames = [](TGIFImage& image, platform::Rect second, int secondDisposal) {
    image.SetScreenSize(10, 10);
    image.GlobalMapOf().AddColour(platform::RGBColor(1, 2, 3));
    image.GlobalMapOf().AddColour(platform::RGBColor(4, 5, 6));
    for (int i = 0; i < 2; ++i) {
      auto f = std::make_unique<TGIFSubImage>(&image);
      if (i == 0) f->SetFrameBounds(2, 2, 4, 4);
      else f->SetFrameBounds(second.left, second.top, second.Width(), second.Height());
      for (int k = 0; k < f->PixelCount(); ++k) f->Pixels()[k] = static_cast<std::uint8_t>(i);
      Control(*f)->SetDelayTime(10);
      Control(*f)->SetDisposalMethod(i == 0 ? 2 : secondDisposal);
      image.AddFrame(f.release());
    }
  };
  {
    TGIFImage image;
    twoFrames(image, {1, 1, 7, 7}, 0);
    image.Optimize(gif::opCleanup, 0);
    EXPECT_EQ(image.Frame(0)->ControlExtension()->DisposalMethod(), 0);
  }
  {
    TGIFImage image;
    twoFrames(image, {3, 3, 5, 5}, 0);  // inside and smaller
    image.Optimize(gif::opCleanup, 0);
    EXPECT_EQ(image.Frame(0)->ControlExtension()->DisposalMethod(), 2);
  }
  {
    TGIFImage image;
    twoFrames(image, {1, 1, 7, 7}, 3);  // the next frame restores: keep clearing
    image.Optimize(gif::opCleanup, 0);
    EXPECT_EQ(image.Frame(0)->ControlExtension()->DisposalMethod(), 2);
  }
  {  // an invisible frame goes and its delay with the frame before
    TGIFImage image;
    twoFrames(image, {0, 0, 3, 3}, 0);
    Control(*image.Frame(0))->SetDisposalMethod(1);
    Control(*image.Frame(0))->SetDelayTime(20);
    TGIFSubImage& f = *image.Frame(1);
    Control(f)->SetDelayTime(30);
    Control(f)->SetTransparency(true);
    Control(f)->SetTransparentIndex(1);
    image.Optimize(gif::opCropFrames, 0);
    ASSERT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.Frame(0)->ControlExtension()->DelayTime(), 50);
  }
  {  // the sum saturates
    TGIFImage image;
    twoFrames(image, {0, 0, 3, 3}, 0);
    Control(*image.Frame(0))->SetDisposalMethod(0);
    Control(*image.Frame(0))->SetDelayTime(65000);
    Control(*image.Frame(1))->SetDelayTime(1000);
    Control(*image.Frame(1))->SetTransparency(true);
    Control(*image.Frame(1))->SetTransparentIndex(1);
    image.Optimize(gif::opCropFrames, 0);
    ASSERT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.Frame(0)->ControlExtension()->DelayTime(), 65535);
  }
  {  // loop extensions: one frame loses it, frames after the first lose theirs
    TGIFImage image;
    MakeAnimation(image, 9);
    while (image.FrameCount() < 3) image.AddFrame(new TGIFSubImage(&image));
    for (int i = 1; i < 3; ++i) image.Frame(i)->Extensions().AddItem(new gif::TGIFAppExtNSLoop(image.Frame(i)));
    image.Optimize(gif::opCleanup, 0);
    EXPECT_GE(LoopCount(image), 0);
  }
  {
    TGIFImage image;
    image.SetScreenSize(2, 2);
    image.GlobalMapOf().AddColour(0);
    auto f = std::make_unique<TGIFSubImage>(&image);
    f->SetFrameBounds(0, 0, 2, 2);
    f->Extensions().AddItem(new gif::TGIFAppExtNSLoop(f.get()));
    Control(*f)->SetDelayTime(40);
    image.AddFrame(f.release());
    image.Optimize(gif::opCleanup, 0);
    EXPECT_EQ(image.Frame(0)->Extensions().ItemCount(), 0);
  }
}

TEST(Optimize, EmptyImagesAndThePaletteMethod) {
  TGIFImage empty;
  int reports = 0;
  empty.SetOnProgress([&](platform::Graphic&, platform::ProgressStage, int, bool, const platform::Rect&,
                          const std::string&) { ++reports; });
  empty.Optimize(0x1F, 9);
  EXPECT_EQ(reports, 0);
  TGIFImage image;
  MakeAnimation(image, 4);
  std::string error;
  try {
    image.Optimize(gif::opReduceColours, 9);
  } catch (const gif::GIFException& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Invalid reduction method");
  EXPECT_NO_THROW(image.Optimize(gif::opReduceColours | gif::opCleanup, 9));
}

// Three screens, each the one before with a small change, and a comment.
void MakeThreeScreens(TGIFImage& image) {
  image.SetScreenSize(16, 16);
  for (int c = 0; c < 4; ++c) image.GlobalMapOf().AddColour(platform::RGBColor(60 * c, 255 - 60 * c, 30));
  for (int i = 0; i < 3; ++i) {
    auto f = std::make_unique<TGIFSubImage>(&image);
    f->SetFrameBounds(0, 0, 16, 16);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) f->PixelAt(x, y) = static_cast<std::uint8_t>((x * 7 + y * y * 3 + x * y) % 4);
    for (int k = 0; k < i; ++k) f->PixelAt(3 + 5 * k, 4 + 4 * k) = static_cast<std::uint8_t>(f->PixelAt(3 + 5 * k, 4 + 4 * k) ^ 1);
    Control(*f)->SetDelayTime(10 + i);
    if (i == 0) {
      auto* comment = new gif::TGIFCommentExtension(f.get());
      comment->CommentLines = {"made for the test"};
      f->Extensions().AddItem(comment);
    }
    image.AddFrame(f.release());
  }
}

// A picture stored as a property is optimised first when the unit setting
// says so.
TEST(Optimize, OptimizeOnWriteStoresASmallerPictureShowingTheSame) {
  struct Restore {
    ~Restore() { gif::OptimizeOnWrite = false; }
  } restore;
  TGIFImage plain;
  MakeThreeScreens(plain);
  platform::MemoryStream plainData;
  plain.WriteData(plainData);
  gif::OptimizeOnWrite = true;
  TGIFImage optimised;
  MakeThreeScreens(optimised);
  platform::MemoryStream optimisedData;
  optimised.WriteData(optimisedData);
  EXPECT_LT(optimisedData.Size(), plainData.Size());
  TGIFImage plainBack;
  TGIFImage optimisedBack;
  plainData.SetPosition(0);
  plainBack.ReadData(plainData);
  optimisedData.SetPosition(0);
  optimisedBack.ReadData(optimisedData);
  EXPECT_EQ(Timeline(optimisedBack), Timeline(plainBack));
  EXPECT_EQ(Timeline(plainBack).size(), 4u);  // the empty screen and three
}

// With the unit setting on, every frame is decoded as soon as it is read.
TEST(Optimize, DecodeOnLoadLeavesEveryFrameDecoded) {
  struct Restore {
    ~Restore() { gif::DecodeOnLoad = false; }
  } restore;
  TGIFImage made;
  MakeThreeScreens(made);
  platform::MemoryStream data;
  made.WriteData(data);
  for (const bool decode : {false, true}) {
    gif::DecodeOnLoad = decode;
    TGIFImage back;
    data.SetPosition(0);
    back.ReadData(data);
    ASSERT_EQ(back.FrameCount(), 3);
    for (int i = 0; i < back.FrameCount(); ++i) EXPECT_EQ(back.Frame(i)->HasBitmap(), decode) << i;
  }
}

// ---- animations made and shown by ImageMagick -------------------------------------

const char* const kConvert = "/usr/bin/convert";

// The screens ImageMagick composes for the file (coalesced), collapsed as
// Timeline does; transparent screen pixels are kUnset.
std::vector<Shown> MagickTimeline(const platform::testkit::TempDir& dir, const std::string& path, int w, int h) {
  const std::string raw = dir / "coalesced.rgba";
  const std::string delays = dir / "delays.txt";
  std::vector<Shown> out;
  if (std::system((std::string(kConvert) + " " + path + " -coalesce -depth 8 rgba:" + raw + " 2>/dev/null").c_str()) != 0 ||
      std::system((std::string(kConvert) + " " + path + " -format '%T\\n' info: > " + delays + " 2>/dev/null").c_str()) != 0)
    return out;
  const std::vector<std::uint8_t> bytes = platform::testkit::ReadFile(raw);
  std::vector<int> times;
  FILE* f = std::fopen(delays.c_str(), "r");
  for (int t; f && std::fscanf(f, "%d", &t) == 1;) times.push_back(t);
  if (f) std::fclose(f);
  const std::size_t frameBytes = static_cast<std::size_t>(w) * h * 4;
  if (bytes.size() != frameBytes * times.size()) return out;
  out.push_back({std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, kUnset), 0});
  for (std::size_t i = 0; i < times.size(); ++i) {
    std::vector<std::uint32_t> screen(static_cast<std::size_t>(w) * h);
    for (std::size_t k = 0; k < screen.size(); ++k) {
      const std::uint8_t* p = &bytes[i * frameBytes + k * 4];
      screen[k] = p[3] == 0 ? kUnset : platform::RGBColor(p[0], p[1], p[2]);
    }
    if (out.back().screen == screen)
      out.back().delay += times[i];
    else
      out.push_back({screen, times[i]});
  }
  return out;
}

TEST(Optimize, MagickAnimationsShowTheSameAfterEveryPass) {
  if (std::system((std::string(kConvert) + " -version >/dev/null 2>&1").c_str()) != 0) GTEST_SKIP() << "no ImageMagick";
  platform::testkit::TempDir dir("optimize_magick");
  const std::string anim = dir / "anim.gif";
  // Disposals 1, 2, 3, offsets, transparent frames, an invisible frame and
  // a loop count; the last frames repeat much of the ones before.
  const std::string make =
      std::string(kConvert) +
      " -loop 4 -dispose none -delay 10 -size 16x12 xc:red"
      " -dispose background -delay 20 -page 16x12+2+3 -size 6x5 xc:blue"
      " -dispose previous -delay 0 -page +4+1 \\( -size 8x8 xc:none -fill yellow -draw 'rectangle 2,2,5,5' \\)"
      " -dispose none -delay 15 -page +0+0 \\( -size 16x12 xc:red -fill green -draw 'rectangle 0,0,3,3' \\)"
      " -dispose none -delay 5 -page +1+1 \\( -size 4x4 xc:none \\)"
      " -dispose none -delay 7 -page +0+0 \\( -size 16x12 xc:red -fill green -draw 'rectangle 0,0,2,3' \\) " +
      anim + " 2>/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  TGIFImage original;
  original.LoadFromFile(anim);
  ASSERT_EQ(original.FrameCount(), 6);
  const std::vector<Shown> before = Timeline(original);
  // Our composition is ImageMagick's.
  ASSERT_EQ(MagickTimeline(dir, anim, 16, 12), before);
  // ImageMagick's -loop 4 (plays) is stored as 3 repeats.
  ASSERT_EQ(LoopCount(original), 3);
  for (int options = 1; options < 32; ++options) {
    TGIFImage image;
    image.LoadFromFile(anim);
    image.Optimize(static_cast<std::uint8_t>(options), 0);
    ASSERT_EQ(Timeline(image), before) << options;
    ASSERT_EQ(LoopCount(image), 3) << options;
    const std::string out = dir / "optimised.gif";
    image.SaveToFile(out);
    ASSERT_EQ(MagickTimeline(dir, out, 16, 12), before) << options;
  }
}

}  // namespace

// The GIF decoder test suite (testdata/gif-suite, CC-BY-SA, see its
// README.md): every file loads or is refused without harm; screen size, loop
// count, buffer size and comment as its .conf says; the first frame of every
// single-frame case drawn on a clear screen equals the expected RGBA pixels.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/suite_test_support.h"
#include "platform/test_support.h"

namespace {

using gif::testkit::ReadConf;
using gif::testkit::Section;
using gif::testkit::Split;
using gif::testkit::kSuite;

// What the suite's readers make of the looping extension.
std::string LoopCount(gif::TGIFImage& image) {
  for (int i = 0; i < image.FrameCount(); ++i)
    for (int e = 0; e < image.Frame(i)->Extensions().ItemCount(); ++e)
      if (auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(image.Frame(i)->Extensions().Extension(e)))
        return loop->LoopCount == 0 ? "infinite" : std::to_string(loop->LoopCount);
  return "0";
}

std::string BufferSize(gif::TGIFImage& image) {
  for (int i = 0; i < image.FrameCount(); ++i)
    for (int e = 0; e < image.Frame(i)->Extensions().ItemCount(); ++e)
      if (auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(image.Frame(i)->Extensions().Extension(e)))
        return std::to_string(loop->BufferSize);
  return "0";
}

std::string Comment(gif::TGIFImage& image) {
  for (int i = 0; i < image.FrameCount(); ++i)
    for (int e = 0; e < image.Frame(i)->Extensions().ItemCount(); ++e)
      if (auto* c = dynamic_cast<gif::TGIFCommentExtension*>(image.Frame(i)->Extensions().Extension(e))) {
        std::string text;
        for (const auto& l : c->CommentLines) text += l;
        return text;
      }
  return "";
}

// Frame 0 on a clear screen: its decoded colours where the mask leaves it
// visible, nothing elsewhere. The result is RGBA, 4 bytes per pixel.
std::vector<std::uint8_t> FirstFrameOnScreen(gif::TGIFImage& image) {
  const int w = image.Width(), h = image.Height();
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 4, 0);
  gif::TGIFSubImage* frame = image.Frame(0);
  platform::Bitmap* bitmap = frame->DecodedBitmap();
  if (!bitmap) return out;
  const bool masked = frame->HasTransparency() && frame->HasMask();
  for (int y = 0; y < frame->Height(); ++y)
    for (int x = 0; x < frame->Width(); ++x) {
      const int sx = frame->Left() + x, sy = frame->Top() + y;
      if (sx >= w || sy >= h) continue;
      if (masked && (frame->Mask()[static_cast<std::size_t>(y * frame->MaskRowBytes() + x / 8)] & (0x80 >> (x % 8))))
        continue;
      const platform::Color c = bitmap->Pixel(x, y);
      std::uint8_t* p = &out[(static_cast<std::size_t>(sy) * w + sx) * 4];
      p[0] = static_cast<std::uint8_t>(platform::GetRValue(c));
      p[1] = static_cast<std::uint8_t>(platform::GetGValue(c));
      p[2] = static_cast<std::uint8_t>(platform::GetBValue(c));
      p[3] = 255;
    }
  return out;
}

bool SamePicture(const std::vector<std::uint8_t>& ours, const std::vector<std::uint8_t>& expected) {
  if (ours.size() != expected.size()) return false;
  for (std::size_t i = 0; i < ours.size(); i += 4) {
    if (expected[i + 3] == 0 && ours[i + 3] == 0) continue;
    if (ours[i + 3] != expected[i + 3] || ours[i] != expected[i] || ours[i + 1] != expected[i + 1] ||
        ours[i + 2] != expected[i + 2])
      return false;
  }
  return true;
}

// Cases where this decoder knowingly differs from the suite's reference
// reader, with the reason.
const std::map<std::string, std::string> kKnownDifferences = {
    {"image-zero-width", "a zero-width descriptor with no data: the byte after it is no code size, refused"},
    {"image-zero-height", "a zero-height descriptor whose colour table is missing: refused as cut short"},
    {"image-zero-size", "a zero-size descriptor whose colour table is missing: refused as cut short"},
    {"images-combine", "images without delays shown as one picture: composing frames is the painter's"},
    {"images-overlap", "images without delays shown as one picture: composing frames is the painter's"},
    {"high-color", "images without delays shown as one picture: composing frames is the painter's"},
    {"nul-comment", "a comment sub-block is cut at its first zero byte"},
    {"gif87a-animation", "no looping extension: the loop count is the painter's default"},
};

TEST(GifSuite, EveryCaseAsItsConfSays) {
  std::ifstream list(kSuite + "TESTS");
  std::string name;
  int cases = 0, passed = 0;
  std::vector<std::string> failures;
  while (std::getline(list, name)) {
    if (name.empty()) continue;
    ++cases;
    auto conf = ReadConf(kSuite + name + ".conf");
    Section& c = conf["config"];
    gif::TGIFImage image;
    std::string error;
    try {
      image.LoadFromFile(kSuite + c["input"]);
    } catch (const std::exception& e) {
      error = e.what();
    }
    std::vector<std::string> why;
    if (image.Width() != std::stoi(c["width"]) || image.Height() != std::stoi(c["height"]))
      why.push_back("screen " + std::to_string(image.Width()) + "x" + std::to_string(image.Height()));
    if (c.count("loop-count") && LoopCount(image) != c["loop-count"]) why.push_back("loop " + LoopCount(image));
    if (c.count("buffer-size") && BufferSize(image) != c["buffer-size"]) why.push_back("buffer " + BufferSize(image));
    if (c.count("comment")) {
      const std::string want = c["comment"].substr(1, c["comment"].size() - 2);
      if (Comment(image) != want) why.push_back("comment '" + Comment(image) + "'");
    }
    const auto frames = Split(c["frames"]);
    if (frames.size() == 1) {
      Section& f = conf[frames[0]];
      if (f.count("pixels")) {
        const auto expected = platform::testkit::ReadFile(kSuite + f["pixels"]);
        // No frame draws nothing: a clear screen.
        const auto ours = image.FrameCount() == 0
                              ? std::vector<std::uint8_t>(static_cast<std::size_t>(image.Width()) * image.Height() * 4, 0)
                              : FirstFrameOnScreen(image);
        if (!SamePicture(ours, expected))
          why.push_back("first frame differs");
      }
    }
    if (why.empty()) {
      ++passed;
    } else {
      std::string text = name + ":";
      for (const auto& w : why) text += " " + w;
      if (!error.empty()) text += " [" + error + "]";
      failures.push_back(text);
      if (!kKnownDifferences.count(name)) ADD_FAILURE() << text;
    }
  }
  std::cout << "GIF suite: " << passed << " of " << cases << " cases as expected\n";
  for (const auto& f : failures) std::cout << "  " << f << "\n";
  EXPECT_GT(cases, 80);
}

}  // namespace

// The conversion tool as the tests of every codec use it: exit status and the
// one-line error naming the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "picture-codecs/targa/targa.h"
#include "platform/bitmap.h"
#include "platform/picture.h"
#include "platform/stream.h"
#include "platform/test_support.h"

namespace {

struct ToolRun {
  int status;
  std::string errors;
};

ToolRun Picconv(const std::string& args) {
  const std::string command = std::string(VELTRANO_PICCONV) + " " + args + " 2>&1 >/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ToolRun run{-1, {}};
  if (!pipe) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) run.errors += buffer;
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

// GIF files built byte by byte: a header with a global table of 4 colours,
// and the blocks of frames.
struct GifBytes {
  std::string bytes;
  void U8(int v) { bytes += static_cast<char>(v & 0xFF); }
  void U16(int v) {
    U8(v);
    U8(v >> 8);
  }
  GifBytes(int screenWidth, int screenHeight) {
    bytes = "GIF89a";
    U16(screenWidth);
    U16(screenHeight);
    U8(0x91);  // global table of 4 entries
    U8(0);
    U8(0);
    for (int c : {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00}) {
      U8(c >> 16);
      U8(c >> 8);
      U8(c);
    }
  }
  // A graphic control extension: disposal method, transparent index, delay.
  void Control(int disposal, int transparent, int delay) {
    bytes += "\x21\xF9\x04";
    U8(disposal << 2 | 1);
    U16(delay);
    U8(transparent);
    U8(0);
  }
  // An image descriptor at (0, 0) and its data at code size 2: the clear
  // code, the values (single-value codes, at most two) and the end code.
  void Image(int width, int height, std::initializer_list<int> values) {
    U8(0x2C);
    U16(0);
    U16(0);
    U16(width);
    U16(height);
    U8(0);
    std::uint32_t codes = 4;
    int bits = 3;
    for (int v : values) {
      codes |= static_cast<std::uint32_t>(v) << bits;
      bits += 3;
    }
    codes |= 5u << bits;
    bits += 3;
    U8(2);
    U8((bits + 7) / 8);
    for (int i = 0; i < bits; i += 8) U8(static_cast<int>(codes >> i));
    U8(0);
  }
  void Save(const std::string& path) const { std::ofstream(path, std::ios::binary) << bytes << ';'; }
};

TEST(Picconv, ConvertsBetweenClassesAndReportsFailuresByFile) {
  platform::testkit::TempDir dir("picconv");
  platform::Bitmap bitmap = platform::testkit::RandomBitmap(5, 3, platform::PixelFormat::Bit24, 7);
  const std::string bmp = dir / "in.BMP";
  bitmap.SaveToFile(bmp);

  // Another class: through a bitmap; the extension's case does not matter.
  const ToolRun toJpeg = Picconv(bmp + " " + (dir / "out.Jpg"));
  EXPECT_EQ(toJpeg.status, 0) << toJpeg.errors;
  EXPECT_TRUE(std::filesystem::file_size((dir / "out.Jpg")) > 0);
  // Same class: saved as it is.
  const ToolRun same = Picconv(bmp + " " + (dir / "copy.bmp"));
  ASSERT_EQ(same.status, 0) << same.errors;
  platform::Bitmap back;
  back.LoadFromFile((dir / "copy.bmp"));
  ASSERT_EQ(back.Width(), 5);
  ASSERT_EQ(back.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(back.Pixel(x, y), bitmap.Pixel(x, y)) << x << "," << y;

  const ToolRun missing = Picconv((dir / "none.bmp") + " " + (dir / "x.bmp"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.errors.find("none.bmp"), std::string::npos) << missing.errors;
  EXPECT_EQ(missing.errors.find('\n'), missing.errors.size() - 1) << "one line: " << missing.errors;

  const ToolRun unwritable = Picconv(bmp + " " + (dir / "no/such/folder/x.bmp"));
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.errors.find("x.bmp"), std::string::npos) << unwritable.errors;

  EXPECT_EQ(Picconv(bmp).status, 2);
  EXPECT_EQ(Picconv(bmp + " " + (dir / "out.nosuchformat")).status, 2);
}

// Damaged files of every codec that throws fail with one error type, the
// picture layer's, carrying the codec's own message: the tool (and any
// caller) needs one handler for all of them.
TEST(Picconv, EveryCodecFailsWithThePictureLayersErrorAndItsMessage) {
  codecs::RegisterPictureCodecs();
  platform::testkit::TempDir dir("picconv_errors");
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> damaged = {
      {"cut.gif", {'G', 'I', 'F', '8', '9', 'a', 4, 0}},
      {"cut.png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}},
      {"cut.tga", {0, 0, 2, 0, 0}},
  };
  for (const auto& [name, bytes] : damaged) {
    platform::MemoryStream(bytes).SaveToFile(dir / name);
    platform::Picture picture;
    std::string message;
    try {
      picture.LoadFromFile(dir / name);
    } catch (const platform::GraphicError& e) {
      message = e.what();
    }
    EXPECT_FALSE(message.empty()) << name;
    const ToolRun run = Picconv((dir / name) + " " + (dir / "out.bmp"));
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.errors.find(name + ": "), std::string::npos) << run.errors;
  }
}

// A 23 KB file whose logical screen is 65535 x 65535, with 1000 frames of
// one pixel: the composed screen would take gigabytes. The file is refused
// as too large, reported by name with a failed exit.
TEST(Picconv, AScreenTooLargeToComposeIsReported) {
  platform::testkit::TempDir dir("picconv");
  GifBytes gif(65535, 65535);
  for (int i = 0; i < 1000; ++i) {
    gif.Control(3, 0, 10);
    gif.Image(1, 1, {i % 4});
  }
  const std::string in = dir / "screen.gif";
  gif.Save(in);
  ASSERT_EQ(std::filesystem::file_size(in), 23026u);
  const ToolRun run = Picconv("--frames " + in + " " + (dir / "frame-%d.png"));
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_NE(run.errors.find("screen.gif"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("too large"), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
  EXPECT_FALSE(std::filesystem::exists(dir / "frame-0.png"));
}

// A 22 KB file of 1000 frames of 2048 x 2048, each restoring to the
// background with a transparent index and data of only a clear and an end
// code: every frame is held at full size, filled with the transparent
// index. The frames together pass what a picture may hold, so the file is
// refused as too large (long before it has taken gigabytes).
TEST(Picconv, FramesPastThePictureBudgetAreReported) {
  platform::testkit::TempDir dir("picconv");
  GifBytes gif(2048, 2048);
  for (int i = 0; i < 1000; ++i) {
    gif.Control(2, 1, 10);
    gif.Image(2048, 2048, {});
  }
  const std::string in = dir / "frames.gif";
  gif.Save(in);
  ASSERT_EQ(std::filesystem::file_size(in), 22026u);
  const ToolRun run = Picconv(in + " " + (dir / "out.bmp"));
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_NE(run.errors.find("frames.gif"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("too large"), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
}

// A picture large enough that the tool hands its pixels on (and gives the
// memory of copied rows back) instead of copying it whole: every pixel and
// every byte of the file come out as through the picture classes.
TEST(Picconv, LargePicturesKeepEveryPixelAndByte) {
  platform::testkit::TempDir dir("picconv_large");
  platform::Bitmap picture = platform::testkit::RandomBitmap(2100, 2000, platform::PixelFormat::Bit24, 3);
  picture.SaveToFile(dir / "in.bmp");
  // The rows are streamed into the file through the one safe save: a
  // picture named through a link replaces the link's target, and the link
  // stays a link.
  platform::MemoryStream({1, 2, 3}).SaveToFile(dir / "real.tga");
  std::filesystem::create_symlink("real.tga", dir / "a.tga");
  const ToolRun toTarga = Picconv((dir / "in.bmp") + " " + (dir / "a.tga"));
  ASSERT_EQ(toTarga.status, 0) << toTarga.errors;
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "a.tga"));
  codecs::TTarga assigned;
  assigned.Assign(picture);
  platform::MemoryStream expected;
  assigned.SaveToStream(expected);
  EXPECT_EQ(platform::testkit::ReadFile(dir / "real.tga"), expected.Bytes());

  const ToolRun toPng = Picconv((dir / "a.tga") + " " + (dir / "b.png"));
  ASSERT_EQ(toPng.status, 0) << toPng.errors;
  const ToolRun toBmp = Picconv((dir / "b.png") + " " + (dir / "c.bmp"));
  ASSERT_EQ(toBmp.status, 0) << toBmp.errors;
  platform::Bitmap back;
  back.LoadFromFile(dir / "c.bmp");
  EXPECT_EQ(back.GetPixelFormat(), platform::PixelFormat::Bit24);
  EXPECT_TRUE(platform::SamePixels(back, picture));
}

}  // namespace

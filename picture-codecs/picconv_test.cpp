// The conversion tool as the tests of every codec use it: exit status and the
// one-line error naming the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "picture-codecs/targa/targa.h"
#include "platform/bitmap.h"
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

// A picture large enough that the tool hands its pixels on (and gives the
// memory of copied rows back) instead of copying it whole: every pixel and
// every byte of the file come out as through the picture classes.
TEST(Picconv, LargePicturesKeepEveryPixelAndByte) {
  platform::testkit::TempDir dir("picconv_large");
  platform::Bitmap picture = platform::testkit::RandomBitmap(2100, 2000, platform::PixelFormat::Bit24, 3);
  picture.SaveToFile(dir / "in.bmp");
  const ToolRun toTarga = Picconv((dir / "in.bmp") + " " + (dir / "a.tga"));
  ASSERT_EQ(toTarga.status, 0) << toTarga.errors;
  codecs::TTarga assigned;
  assigned.Assign(picture);
  platform::MemoryStream expected;
  assigned.SaveToStream(expected);
  EXPECT_EQ(platform::testkit::ReadFile(dir / "a.tga"), expected.Bytes());

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

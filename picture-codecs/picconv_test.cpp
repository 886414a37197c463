// The conversion tool as the tests of every codec use it: exit status and the
// one-line error naming the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "platform/bitmap.h"
#include "platform/picture.h"
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

}  // namespace

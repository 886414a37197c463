// Every picture saver goes through the one safe save: an existing file keeps
// its mode, a link the user names stays a link and its target gets the
// picture, a device is refused, an encoder that fails half way leaves the old
// bytes, and no temporary file stays behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "picture-codecs/gif/image.h"
#include "picture-codecs/png/png.h"
#include "picture-codecs/targa/targa.h"
#include "platform/bitmap.h"
#include "platform/jpeg.h"
#include "platform/stream.h"
#include "platform/test_support.h"

namespace {

namespace fs = std::filesystem;

template <class G>
struct Saver;
template <>
struct Saver<gif::TGIFImage> {
  static constexpr const char* kExtension = ".gif";
};
template <>
struct Saver<codecs::TPNGImage> {
  static constexpr const char* kExtension = ".png";
};
template <>
struct Saver<codecs::TTarga> {
  static constexpr const char* kExtension = ".tga";
};
template <>
struct Saver<platform::Bitmap> {
  static constexpr const char* kExtension = ".bmp";
};
template <>
struct Saver<platform::JpegImage> {
  static constexpr const char* kExtension = ".jpg";
};

// The picture class with an encoder that gives up after writing a part.
template <class G>
class FailingEncoder : public G {
 public:
  void SaveToStream(platform::Stream& stream) override {
    const std::vector<std::uint8_t> part(64, 0xA5);
    stream.WriteBuffer(part.data(), part.size());
    throw platform::GraphicError("the encoder gave up");
  }
};

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class G>
class PictureSave : public ::testing::Test {};

using Savers = ::testing::Types<gif::TGIFImage, codecs::TPNGImage, codecs::TTarga, platform::Bitmap, platform::JpegImage>;
TYPED_TEST_SUITE(PictureSave, Savers);

TYPED_TEST(PictureSave, ReplacesSafelyKeepsModeAndLinksRefusesDevices) {
  const std::string ext = Saver<TypeParam>::kExtension;
  platform::testkit::TempDir dir("picture_save");
  TypeParam picture;
  picture.Assign(platform::testkit::RandomBitmap(12, 9, platform::PixelFormat::Bit8, 5));
  platform::MemoryStream encoded;
  picture.SaveToStream(encoded);
  const std::string expected(encoded.Bytes().begin(), encoded.Bytes().end());
  ASSERT_FALSE(expected.empty());

  // A private picture stays private.
  const std::string privateFile = dir / ("private" + ext);
  std::ofstream(privateFile) << "old";
  ASSERT_EQ(::chmod(privateFile.c_str(), 0600), 0);
  picture.SaveToFile(privateFile);
  EXPECT_EQ(Bytes(privateFile), expected);
  EXPECT_EQ(fs::status(privateFile).permissions(), fs::perms(0600));

  // Named through a link: the link stays, the file it points at holds the
  // picture.
  const std::string real = dir / ("real" + ext);
  const std::string link = dir / ("link" + ext);
  std::ofstream(real) << "old";
  fs::create_symlink("real" + ext, link);
  picture.SaveToFile(link);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), fs::path("real" + ext));
  EXPECT_EQ(Bytes(real), expected);

  // A device (a private node of the null device) or a pipe is refused and
  // stays what it was.
  const std::string node = dir / ("node" + ext);
  const bool device = ::geteuid() == 0 && ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  if (!device) {
    ASSERT_EQ(::mkfifo(node.c_str(), 0666), 0);
  }
  EXPECT_THROW(picture.SaveToFile(node), platform::StreamError);
  struct stat st {};
  ASSERT_EQ(::lstat(node.c_str(), &st), 0);
  EXPECT_TRUE(device ? S_ISCHR(st.st_mode) : S_ISFIFO(st.st_mode));

  // An encoder that fails half way: the old picture is untouched.
  FailingEncoder<TypeParam> failing;
  EXPECT_THROW(failing.SaveToFile(privateFile), platform::GraphicError);
  EXPECT_EQ(Bytes(privateFile), expected);

  // Nothing else is left in the folder.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"private" + ext, "real" + ext, "link" + ext, "node" + ext}));
}

}  // namespace

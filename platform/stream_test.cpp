// Streams: short reads at the end, exact reads that throw, seeking, sizes and
// copying, for memory and file streams alike.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace platform {
namespace {

namespace fs = std::filesystem;

class Streams : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("veltrano_stream_" + std::to_string(getpid()) + ".bin")).string();
    if (GetParam())
      stream_ = std::make_unique<FileStream>(path_, FileStream::Mode::Create);
    else
      stream_ = std::make_unique<MemoryStream>();
  }
  void TearDown() override {
    stream_.reset();
    fs::remove(path_);
  }
  std::string path_;
  std::unique_ptr<Stream> stream_;
};

TEST_P(Streams, ShortReadsAtTheEnd) {
  Stream& s = *stream_;
  s.WriteBuffer("abcdef", 6);
  EXPECT_EQ(s.Position(), 6);
  EXPECT_EQ(s.Size(), 6);
  s.SetPosition(4);
  char buf[10] = {};
  EXPECT_EQ(s.Read(buf, 10), 2u);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(s.Read(buf, 10), 0u);
  s.SetPosition(3);
  EXPECT_THROW(s.ReadBuffer(buf, 4), StreamError);
  s.SetPosition(3);
  s.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "def");
  try {
    s.ReadBuffer(buf, 1);
  } catch (const StreamError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
}

TEST_P(Streams, SeekingAndOverwriting) {
  Stream& s = *stream_;
  s.WriteBuffer("0123456789", 10);
  EXPECT_EQ(s.Seek(-3, SeekOrigin::End), 7);
  EXPECT_EQ(s.Seek(1, SeekOrigin::Current), 8);
  EXPECT_EQ(s.Seek(2, SeekOrigin::Begin), 2);
  s.WriteBuffer("xy", 2);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_EQ(s.Remaining(), 6);
  EXPECT_THROW(s.Seek(-1, SeekOrigin::Begin), StreamError);
  // A write past the end extends the stream.
  s.Seek(12, SeekOrigin::Begin);
  s.WriteU8('!');
  EXPECT_EQ(s.Size(), 13);
  s.SetPosition(0);
  const auto all = s.ReadAll();
  ASSERT_EQ(all.size(), 13u);
  EXPECT_EQ(std::string(all.begin(), all.begin() + 10), "01xy456789");
  EXPECT_EQ(all[12], '!');
  s.SetSize(3);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_LE(s.Position(), 3);
}

TEST_P(Streams, LittleEndianHelpers) {
  Stream& s = *stream_;
  s.WriteU16LE(0x1234);
  s.WriteU32LE(0xA1B2C3D4);
  s.WriteU8(7);
  s.SetPosition(0);
  EXPECT_EQ(s.ReadU8(), 0x34);
  EXPECT_EQ(s.ReadU8(), 0x12);
  EXPECT_EQ(s.ReadU32LE(), 0xA1B2C3D4u);
  EXPECT_EQ(s.ReadU8(), 7);
  EXPECT_THROW(s.ReadU16LE(), StreamError);
}

TEST_P(Streams, CopyFrom) {
  MemoryStream source(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
  Stream& s = *stream_;
  source.SetPosition(1);
  EXPECT_EQ(s.CopyFrom(source, 3), 3);
  EXPECT_EQ(source.Position(), 4);
  EXPECT_THROW(s.CopyFrom(source, 5), StreamError);
  EXPECT_EQ(s.CopyFrom(source, 0), 5);  // 0: all of it, from the start
  s.SetPosition(0);
  EXPECT_EQ(s.ReadAll(), (std::vector<std::uint8_t>{2, 3, 4, 1, 2, 3, 4, 5}));
}

INSTANTIATE_TEST_SUITE_P(MemoryAndFile, Streams, ::testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "File" : "Memory"; });

TEST(FileStream, OpenErrorsNameTheFile) {
  const std::string missing = (fs::temp_directory_path() / "veltrano_no_such_dir" / "x.bin").string();
  try {
    FileStream f(missing, FileStream::Mode::Read);
    FAIL() << "opened";
  } catch (const StreamError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
  }
  EXPECT_THROW(FileStream(missing, FileStream::Mode::Create), StreamError);
  EXPECT_THROW(FileStream(missing, FileStream::Mode::ReadWrite), StreamError);
}

TEST(FileStream, AFolderIsNoFile) {
  const std::string folder = (fs::temp_directory_path() / ("veltrano_stream_dir_" + std::to_string(getpid()))).string();
  fs::create_directories(folder);
  for (FileStream::Mode mode : {FileStream::Mode::Read, FileStream::Mode::ReadWrite, FileStream::Mode::Create}) {
    try {
      FileStream f(folder, mode);
      ADD_FAILURE() << "opened a folder";
    } catch (const StreamError& e) {
      EXPECT_NE(std::string(e.what()).find(folder), std::string::npos) << e.what();
    }
  }
  MemoryStream m;
  EXPECT_THROW(m.LoadFromFile(folder), StreamError);
  fs::remove_all(folder);
}

TEST(FileStream, ReadWriteModeKeepsContentAndReadOnlyRefusesWrites) {
  const std::string path = (fs::temp_directory_path() / ("veltrano_stream_rw_" + std::to_string(getpid()))).string();
  {
    MemoryStream m(std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'});
    m.SaveToFile(path);
  }
  {
    FileStream f(path, FileStream::Mode::ReadWrite);
    EXPECT_EQ(f.Size(), 5);
    char c;
    f.ReadBuffer(&c, 1);
    f.WriteBuffer("E", 1);  // switching from reading to writing in place
    f.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'l');
  }
  {
    FileStream f(path, FileStream::Mode::Read);
    EXPECT_THROW(f.WriteBuffer("x", 1), StreamError);
  }
  MemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "hEllo");
  fs::remove(path);
}

}  // namespace
}  // namespace platform

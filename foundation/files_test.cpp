#include "foundation/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/safesave.h"
#include "platform/test_support.h"

namespace {

namespace fs = std::filesystem;
using foundation::FileExistsVar;
using foundation::FindData;
using foundation::FindFileInfo;
using foundation::Variant;

using FilesTest = platform::testkit::ScratchFolderTest;

TEST_F(FilesTest, FileExistsVarAnswersForFilesOnly) {
  const std::string empty = Make("empty.ini", "");
  const std::string full = Make("full.ini", "x");
  EXPECT_TRUE(FileExistsVar(Variant(empty), 0));
  EXPECT_FALSE(FileExistsVar(Variant(empty), 1));
  EXPECT_TRUE(FileExistsVar(Variant(full), 1));
  EXPECT_TRUE(FileExistsVar(Variant::WideString(full), 1));
  EXPECT_FALSE(FileExistsVar(Variant(Dir()), 0));
  EXPECT_FALSE(FileExistsVar(Variant(Dir() + "/"), 0));
  EXPECT_FALSE(FileExistsVar(Variant(Dir() + "/missing"), 0));
  EXPECT_FALSE(FileExistsVar(Variant(""), 0));
  EXPECT_FALSE(FileExistsVar(Variant(5), 0));
  EXPECT_FALSE(FileExistsVar(Variant(" " + full), 0));  // the path is used as it stands
  // A Windows-1252 name is found under its name on disk.
  const std::string latin = Dir() + "/caf\xE9.ini";
  ASSERT_TRUE(platform::SaveFileAtomically(foundation::ToFsPath(latin), "1"));
  EXPECT_TRUE(fs::exists(fs::path(Dir()) / "caf\xC3\xA9.ini"));
  EXPECT_TRUE(FileExistsVar(Variant(latin), 1));
}

TEST_F(FilesTest, FindFileInfoOfRootDirectoriesAndFiles) {
  FindData d;
  EXPECT_TRUE(FindFileInfo(Variant("/"), d));
  EXPECT_EQ(d.attributes & 24u, 24u);
  EXPECT_FALSE(FindFileInfo(Variant("/"), d, foundation::ffoNoDirectory));

  FindData dir;
  fs::create_directory(Dir() + "/Sub");
  EXPECT_TRUE(FindFileInfo(Variant(Dir() + "/Sub/"), dir));
  EXPECT_EQ(dir.attributes & foundation::faDirectory, static_cast<uint32_t>(foundation::faDirectory));
  EXPECT_EQ(dir.fileName, "Sub");
  EXPECT_TRUE(FindFileInfo(Variant(Dir() + "/Sub"), dir, foundation::ffoOnlyDirectory));
  EXPECT_FALSE(FindFileInfo(Variant(Dir() + "/Sub"), dir, foundation::ffoNoDirectory));
  EXPECT_FALSE(FindFileInfo(Variant(Dir() + "/Sub"), dir, foundation::ffoNoEmptyDirectory));

  const std::string file = Make("five.txt", "12345");
  FindData f;
  EXPECT_TRUE(FindFileInfo(Variant("  " + file + "  "), f));
  EXPECT_EQ(f.sizeHigh, 5u);  // words swapped: the record reads as one 64-bit size
  EXPECT_EQ(f.sizeLow, 0u);
  EXPECT_EQ(f.Size(), 5u);
  EXPECT_EQ(f.fileName, "five.txt");
  EXPECT_EQ(f.attributes & foundation::faDirectory, 0u);
  FindData natural;
  EXPECT_TRUE(FindFileInfo(Variant(file), natural, foundation::ffoNoSwap));
  EXPECT_EQ(natural.sizeLow, 5u);
  EXPECT_EQ(natural.Size(false), 5u);
  FindData cleared;
  EXPECT_FALSE(FindFileInfo(Variant(file), cleared, foundation::ffoOnlyDirectory));
  EXPECT_EQ(cleared.sizeHigh, 5u);  // swapped even when the options cleared the answer
  EXPECT_TRUE(FindFileInfo(Variant(file + "/"), f));  // retried without the "/"

  FindData none;
  EXPECT_FALSE(FindFileInfo(Variant(Dir() + "/missing"), none));
  EXPECT_FALSE(FindFileInfo(Variant("   "), none));
  EXPECT_FALSE(FindFileInfo(Variant(3), none));
}

TEST_F(FilesTest, ReadWholeFileAndShellExecFailures) {
  std::string bytes = "stale";
  EXPECT_FALSE(foundation::ReadWholeFile(Dir() + "/missing", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(foundation::ReadWholeFile(Dir(), bytes));
  const std::string fifo = Dir() + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(foundation::ReadWholeFile(fifo, bytes));  // returns at once instead of waiting for a writer
  fs::remove(fifo);
  EXPECT_FALSE(foundation::ShellExec("open", Dir() + "/missing.htm", "", ""));
  EXPECT_FALSE(foundation::ShellExec("open", "missing.htm", Dir(), ""));
  EXPECT_FALSE(foundation::ShellExec("open", "", Dir(), ""));
  EXPECT_FALSE(foundation::ShellExec("frobnicate", Make("a.htm", "x"), "", ""));
}

}  // namespace

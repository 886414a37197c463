#include "foundation/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/test_support.h"

namespace {

namespace fs = std::filesystem;
using foundation::FileExistsVar;
using foundation::FindData;
using foundation::FindFileInfo;
using foundation::Variant;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.isValid()); }
  std::string Dir() const { return tmp_.path().toStdString(); }
  std::string Make(const std::string& name, const std::string& bytes) {
    const std::string p = Dir() + "/" + name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  size_t EntriesIn(const std::string& dir) const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
  }
  QTemporaryDir tmp_;
};

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
  ASSERT_TRUE(foundation::SaveFileAtomically(latin, "1"));
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

TEST_F(FilesTest, SaveFileAtomicallyReplacesKeepsModeAndLeavesNoTemporaries) {
  const std::string p = Dir() + "/data.ini";
  ASSERT_TRUE(foundation::SaveFileAtomically(p, "first\r\n"));
  ::chmod(p.c_str(), 0640);
  ASSERT_TRUE(foundation::SaveFileAtomically(p, std::string("second\0x", 8)));
  std::string bytes;
  ASSERT_TRUE(foundation::ReadWholeFile(p, bytes));
  EXPECT_EQ(bytes, std::string("second\0x", 8));
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(EntriesIn(Dir()), 1u);
  // Through a link, the linked file is replaced and the link stays.
  const std::string link = Dir() + "/link.ini";
  fs::create_symlink(p, link);
  ASSERT_TRUE(foundation::SaveFileAtomically(link, "third"));
  EXPECT_TRUE(fs::is_symlink(link));
  ASSERT_TRUE(foundation::ReadWholeFile(p, bytes));
  EXPECT_EQ(bytes, "third");
}

TEST_F(FilesTest, FailedSaveLeavesTheOldFileWhole) {
  const std::string p = Make("old.ini", "hello");
  EXPECT_FALSE(foundation::SaveFileAtomically(Dir() + "/no/such/folder/x.ini", "x"));
  EXPECT_FALSE(foundation::SaveFileAtomically(Dir(), "x"));
  EXPECT_FALSE(foundation::SaveFileAtomically(std::string(), "x"));
  // A disk that fills up while writing: the write fails half way.
  bool saved = true;
  {
    foundation::testkit::ScopedFileSizeLimit full(16);
    ASSERT_TRUE(full.Active());
    saved = foundation::SaveFileAtomically(p, std::string(4096, 'z'));
  }
  EXPECT_FALSE(saved);
  std::string bytes;
  ASSERT_TRUE(foundation::ReadWholeFile(p, bytes));
  EXPECT_EQ(bytes, "hello");
  EXPECT_EQ(EntriesIn(Dir()), 1u);
}

std::string Content(const std::string& path) {
  std::string bytes;
  return foundation::ReadWholeFile(path, bytes) ? bytes : "<unreadable>";
}

TEST_F(FilesTest, SaveRefusesWhatItMustNotReplace) {
  // A write-protected file stays, for the superuser too.
  const std::string locked = Make("locked.ini", "keep");
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  EXPECT_FALSE(foundation::SaveFileAtomically(locked, "new"));
  EXPECT_EQ(Content(locked), "keep");

  // A pipe (or device) in place of the file, directly or through a link:
  // nothing replaces the node.
  const std::string fifo = Dir() + "/fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(foundation::SaveFileAtomically(fifo, "x"));
  const std::string toFifo = Dir() + "/to-fifo.ini";
  fs::create_symlink(fifo, toFifo);
  EXPECT_FALSE(foundation::SaveFileAtomically(toFifo, "x"));
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_symlink(toFifo));

  // A link to nothing is not followed, and not replaced by a file.
  const std::string dangling = Dir() + "/dangling.ini";
  fs::create_symlink(Dir() + "/nowhere.ini", dangling);
  EXPECT_FALSE(foundation::SaveFileAtomically(dangling, "x"));
  EXPECT_FALSE(fs::exists(Dir() + "/nowhere.ini"));
  EXPECT_TRUE(fs::is_symlink(dangling));

  // A link in a folder that everybody may write to (a shared temporary
  // folder) may have been planted there: the file it points at stays.
  const std::string victim = Make("victim.txt", "precious");
  const std::string shared = Dir() + "/shared";
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  fs::create_symlink(victim, shared + "/Pellora20.Ini");
  EXPECT_FALSE(foundation::SaveFileAtomically(shared + "/Pellora20.Ini", "settings"));
  EXPECT_EQ(Content(victim), "precious");
  // A plain new file in such a folder is no link and is written.
  EXPECT_TRUE(foundation::SaveFileAtomically(shared + "/fresh.ini", "ok"));
  // Our own link to a link that sits there is no safer: the chain is not
  // followed.
  const std::string mine = Dir() + "/Gravlo.Ini";
  fs::create_symlink(shared + "/Pellora20.Ini", mine);
  EXPECT_FALSE(foundation::SaveFileAtomically(mine, "settings"));
  EXPECT_EQ(Content(victim), "precious");
  EXPECT_TRUE(fs::is_symlink(mine));
  // A chain of our own links in our own folders is followed to its end,
  // relative links from the folder they sit in.
  fs::create_directory(Dir() + "/sub");
  const std::string end = Make("sub/end.ini", "old");
  fs::create_symlink("end.ini", Dir() + "/sub/middle.ini");
  fs::create_symlink("sub/middle.ini", Dir() + "/first.ini");
  ASSERT_TRUE(foundation::SaveFileAtomically(Dir() + "/first.ini", "new"));
  EXPECT_EQ(Content(end), "new");
  EXPECT_TRUE(fs::is_symlink(Dir() + "/first.ini"));
  EXPECT_TRUE(fs::is_symlink(Dir() + "/sub/middle.ini"));
  // A loop of links ends in a refusal.
  fs::create_symlink("loop-b.ini", Dir() + "/loop-a.ini");
  fs::create_symlink("loop-a.ini", Dir() + "/loop-b.ini");
  EXPECT_FALSE(foundation::SaveFileAtomically(Dir() + "/loop-a.ini", "x"));
}

TEST_F(FilesTest, LinksAndFilesOfAnotherUserAreNeverFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to give files to another user";
  constexpr uid_t kOther = 65534;  // nobody
  // Another user's link in a folder of ours.
  const std::string victim = Make("victim.txt", "precious");
  const std::string link = Dir() + "/theirs.ini";
  fs::create_symlink(victim, link);
  ASSERT_EQ(::lchown(link.c_str(), kOther, kOther), 0);
  EXPECT_FALSE(foundation::SaveFileAtomically(link, "settings"));
  EXPECT_EQ(Content(victim), "precious");
  // Our own link to another user's file.
  const std::string foreign = Make("foreign.txt", "theirs");
  ASSERT_EQ(::chown(foreign.c_str(), kOther, kOther), 0);
  const std::string mine = Dir() + "/mine.ini";
  fs::create_symlink(foreign, mine);
  EXPECT_FALSE(foundation::SaveFileAtomically(mine, "settings"));
  EXPECT_EQ(Content(foreign), "theirs");
}

TEST_F(FilesTest, TemporaryFilesOfKilledSavesAreRemovedByTheNextSave) {
  const std::string p = Make("data.ini", "old");
  // A writer killed in the middle of its save leaves its temporary file.
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    foundation::SaveFileAtomicallyWith(fs::path(p), [](int fd) {
      foundation::WriteAll(fd, std::string(5000, 'x'));
      ::raise(SIGKILL);
      return true;
    });
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(Dir())) left.push_back(e.path().filename().string());
  ASSERT_EQ(left.size(), 2u) << "the killed save leaves its temporary file";
  const std::string stale = left[0] == "data.ini" ? left[1] : left[0];
  EXPECT_EQ(Content(p), "old");

  // A save in progress in another (live) process, and files that only look
  // alike, are left alone.
  const pid_t live = ::fork();
  ASSERT_GE(live, 0);
  if (live == 0) {
    ::pause();
    ::_exit(0);
  }
  const std::string liveTemp = Make(".data.ini.tmp" + std::to_string(live) + "_0_1", "in progress");
  const std::string deadPrefix = stale.substr(0, stale.find('_'));
  const std::vector<std::string> unrelated = {Make(".data.ini.tmpnotes", "a"), Make(deadPrefix + "_x_1", "b"),
                                              Make(".other.ini" + deadPrefix.substr(9) + "_0_1", "c"),
                                              Make(deadPrefix.substr(1) + "_0_1", "d")};
  ASSERT_TRUE(foundation::SaveFileAtomically(p, "new"));
  EXPECT_EQ(Content(p), "new");
  EXPECT_FALSE(fs::exists(Dir() + "/" + stale));
  EXPECT_TRUE(fs::exists(liveTemp));
  for (const std::string& u : unrelated) EXPECT_TRUE(fs::exists(u)) << u;
  ::kill(live, SIGKILL);
  ::waitpid(live, &status, 0);
}

// A process that has ended: its number names no running process.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST_F(FilesTest, StartRemovesTemporaryFilesOfKilledSavesToAnyFile) {
  const std::string dead = std::to_string(EndedProcess());
  const pid_t live = ::fork();
  ASSERT_GE(live, 0);
  if (live == 0) {
    ::pause();
    ::_exit(0);
  }
  const std::string victim = Make("victim.txt", "precious");
  const std::vector<std::string> stale = {Make(".Gravlo.Ini.tmp" + dead + "_0_17", "half"),
                                          Make(".Veltrano.Ini.tmp" + dead + "_3_999999", "half"),
                                          Make(".a.tmp.b.tmp" + dead + "_1_2", "half")};
  const std::vector<std::string> kept = {
      Make(".Gravlo.Ini.tmp" + std::to_string(live) + "_0_1", "being written"),
      Make("Gravlo.Ini.tmp" + dead + "_0_1", "not hidden"),
      Make(".Gravlo.Ini.tmp" + dead + "_0", "two parts"),
      Make(".Gravlo.Ini.tmp" + dead + "_0_1x", "not digits"),
      Make(".tmp" + dead + "_0_1", "no file name"),
      Make(".Gravlo.Ini.tmp", "no writer"),
      Make("Gravlo.Ini", "settings")};
  const std::string folder = Dir() + "/.Folder.tmp" + dead + "_0_1";
  fs::create_directory(folder);
  const std::string link = Dir() + "/.Link.tmp" + dead + "_0_1";
  fs::create_symlink(victim, link);

  foundation::RemoveStaleSaveFiles(fs::path(Dir()));
  for (const std::string& f : stale) EXPECT_FALSE(fs::exists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Content(victim), "precious");
  int status = 0;
  ::kill(live, SIGKILL);
  ::waitpid(live, &status, 0);
}

TEST_F(FilesTest, TemporaryFilesOfAnotherUserStay) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to give a file to another user";
  const std::string theirs = Make(".Gravlo.Ini.tmp" + std::to_string(EndedProcess()) + "_0_1", "theirs");
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  foundation::RemoveStaleSaveFiles(fs::path(Dir()));
  ASSERT_TRUE(foundation::SaveFileAtomically(Dir() + "/Gravlo.Ini", "x"));
  EXPECT_EQ(Content(theirs), "theirs");
}

TEST_F(FilesTest, SaveThroughALinkToADeviceIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to make a device node";
  // A private node of the null device, never the system's own.
  const std::string node = Dir() + "/null";
  ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  const std::string link = Dir() + "/Gravlo.Ini";
  fs::create_symlink(node, link);
  EXPECT_FALSE(foundation::SaveFileAtomically(link, "settings"));
  EXPECT_FALSE(foundation::SaveFileAtomically(node, "settings"));
  struct stat st {};
  ASSERT_EQ(::lstat(node.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(st.st_rdev, makedev(1, 3));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(EntriesIn(Dir()), 2u);
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
  // A name near the file system's limit still saves.
  const std::string longName = Dir() + "/" + std::string(250, 'n') + ".ini";
  EXPECT_TRUE(foundation::SaveFileAtomically(longName, "x"));
  EXPECT_TRUE(foundation::ReadWholeFile(longName, bytes));
  EXPECT_EQ(bytes, "x");
  EXPECT_FALSE(foundation::ShellExec("open", Dir() + "/missing.htm", "", ""));
  EXPECT_FALSE(foundation::ShellExec("open", "missing.htm", Dir(), ""));
  EXPECT_FALSE(foundation::ShellExec("open", "", Dir(), ""));
  EXPECT_FALSE(foundation::ShellExec("frobnicate", Make("a.htm", "x"), "", ""));
}

}  // namespace

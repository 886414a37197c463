#include "platform/safesave.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "platform/test_support.h"

namespace {

namespace fs = std::filesystem;

class SafeSaveTest : public platform::testkit::ScratchFolderTest {
 protected:
  size_t EntriesIn(const std::string& dir) const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
  }
};

std::string Content(const std::string& path) {
  if (!fs::is_regular_file(path)) return "<unreadable>";
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(SafeSaveTest, SaveFileAtomicallyReplacesKeepsModeAndLeavesNoTemporaries) {
  const std::string p = Dir() + "/data.ini";
  ASSERT_TRUE(platform::SaveFileAtomically(p, "first\r\n"));
  ::chmod(p.c_str(), 0640);
  ASSERT_TRUE(platform::SaveFileAtomically(p, std::string("second\0x", 8)));
  EXPECT_EQ(Content(p), std::string("second\0x", 8));
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(EntriesIn(Dir()), 1u);
  // Through a link, the linked file is replaced and the link stays.
  const std::string link = Dir() + "/link.ini";
  fs::create_symlink(p, link);
  ASSERT_TRUE(platform::SaveFileAtomically(link, "third"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Content(p), "third");
}

TEST_F(SafeSaveTest, FailedSaveLeavesTheOldFileWhole) {
  const std::string p = Make("old.ini", "hello");
  EXPECT_FALSE(platform::SaveFileAtomically(Dir() + "/no/such/folder/x.ini", "x"));
  EXPECT_FALSE(platform::SaveFileAtomically(Dir(), "x"));
  EXPECT_FALSE(platform::SaveFileAtomically(std::string(), "x"));
  // A name near the file system's limit still saves.
  const std::string longName = Dir() + "/" + std::string(250, 'n') + ".ini";
  EXPECT_TRUE(platform::SaveFileAtomically(longName, "x"));
  EXPECT_EQ(Content(longName), "x");
  fs::remove(longName);
  // A disk that fills up while writing: the write fails half way.
  bool saved = true;
  {
    platform::testkit::ScopedFileSizeLimit full(16);
    ASSERT_TRUE(full.Active());
    saved = platform::SaveFileAtomically(p, std::string(4096, 'z'));
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(Content(p), "hello");
  EXPECT_EQ(EntriesIn(Dir()), 1u);
  // A picture whose writes fail is reported with its name and the reason.
  std::string error;
  {
    platform::testkit::ScopedFileSizeLimit full(16);
    try {
      platform::SavePictureFile(p, std::string(4096, 'z').data(), 4096);
    } catch (const platform::StreamError& e) {
      error = e.what();
    }
  }
  EXPECT_NE(error.find("Cannot create file \"" + p + "\": "), std::string::npos) << error;
  EXPECT_EQ(Content(p), "hello");
  EXPECT_EQ(EntriesIn(Dir()), 1u);
}

TEST_F(SafeSaveTest, SaveRefusesWhatItMustNotReplace) {
  // A write-protected file stays, for the superuser too.
  const std::string locked = Make("locked.ini", "keep");
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  EXPECT_FALSE(platform::SaveFileAtomically(locked, "new"));
  EXPECT_EQ(Content(locked), "keep");

  // A pipe (or device) in place of the file, directly or through a link:
  // nothing replaces the node.
  const std::string fifo = Dir() + "/fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(platform::SaveFileAtomically(fifo, "x"));
  const std::string toFifo = Dir() + "/to-fifo.ini";
  fs::create_symlink(fifo, toFifo);
  EXPECT_FALSE(platform::SaveFileAtomically(toFifo, "x"));
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_symlink(toFifo));

  // A link to nothing is not followed, and not replaced by a file.
  const std::string dangling = Dir() + "/dangling.ini";
  fs::create_symlink(Dir() + "/nowhere.ini", dangling);
  EXPECT_FALSE(platform::SaveFileAtomically(dangling, "x"));
  EXPECT_FALSE(fs::exists(Dir() + "/nowhere.ini"));
  EXPECT_TRUE(fs::is_symlink(dangling));

  // A link in a folder that everybody may write to (a shared temporary
  // folder) may have been planted there: the file it points at stays.
  const std::string victim = Make("victim.txt", "precious");
  const std::string shared = Dir() + "/shared";
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  fs::create_symlink(victim, shared + "/Pellora20.Ini");
  EXPECT_FALSE(platform::SaveFileAtomically(shared + "/Pellora20.Ini", "settings"));
  EXPECT_EQ(Content(victim), "precious");
  // A plain new file in such a folder is no link and is written.
  EXPECT_TRUE(platform::SaveFileAtomically(shared + "/fresh.ini", "ok"));
  // Our own link to a link that sits there is no safer: the chain is not
  // followed.
  const std::string mine = Dir() + "/Gravlo.Ini";
  fs::create_symlink(shared + "/Pellora20.Ini", mine);
  EXPECT_FALSE(platform::SaveFileAtomically(mine, "settings"));
  EXPECT_EQ(Content(victim), "precious");
  EXPECT_TRUE(fs::is_symlink(mine));
  // A chain of our own links in our own folders is followed to its end,
  // relative links from the folder they sit in.
  fs::create_directory(Dir() + "/sub");
  const std::string end = Make("sub/end.ini", "old");
  fs::create_symlink("end.ini", Dir() + "/sub/middle.ini");
  fs::create_symlink("sub/middle.ini", Dir() + "/first.ini");
  ASSERT_TRUE(platform::SaveFileAtomically(Dir() + "/first.ini", "new"));
  EXPECT_EQ(Content(end), "new");
  EXPECT_TRUE(fs::is_symlink(Dir() + "/first.ini"));
  EXPECT_TRUE(fs::is_symlink(Dir() + "/sub/middle.ini"));
  // A loop of links ends in a refusal.
  fs::create_symlink("loop-b.ini", Dir() + "/loop-a.ini");
  fs::create_symlink("loop-a.ini", Dir() + "/loop-b.ini");
  EXPECT_FALSE(platform::SaveFileAtomically(Dir() + "/loop-a.ini", "x"));
}

TEST_F(SafeSaveTest, LinksAndFilesOfAnotherUserAreNeverFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to give files to another user";
  constexpr uid_t kOther = 65534;  // nobody
  // Another user's link in a folder of ours.
  const std::string victim = Make("victim.txt", "precious");
  const std::string link = Dir() + "/theirs.ini";
  fs::create_symlink(victim, link);
  ASSERT_EQ(::lchown(link.c_str(), kOther, kOther), 0);
  EXPECT_FALSE(platform::SaveFileAtomically(link, "settings"));
  EXPECT_EQ(Content(victim), "precious");
  // Our own link to another user's file.
  const std::string foreign = Make("foreign.txt", "theirs");
  ASSERT_EQ(::chown(foreign.c_str(), kOther, kOther), 0);
  const std::string mine = Dir() + "/mine.ini";
  fs::create_symlink(foreign, mine);
  EXPECT_FALSE(platform::SaveFileAtomically(mine, "settings"));
  EXPECT_EQ(Content(foreign), "theirs");
}

TEST_F(SafeSaveTest, TemporaryFilesOfKilledSavesAreRemovedByTheNextSave) {
  const std::string p = Make("data.ini", "old");
  // A writer killed in the middle of its save leaves its temporary file.
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    platform::SaveFileAtomicallyWith(fs::path(p), [](int fd) {
      platform::WriteAll(fd, std::string(5000, 'x'));
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
  ASSERT_TRUE(platform::SaveFileAtomically(p, "new"));
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

TEST_F(SafeSaveTest, StartRemovesTemporaryFilesOfKilledSavesToAnyFile) {
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

  platform::RemoveStaleSaveFiles(fs::path(Dir()));
  for (const std::string& f : stale) EXPECT_FALSE(fs::exists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Content(victim), "precious");
  int status = 0;
  ::kill(live, SIGKILL);
  ::waitpid(live, &status, 0);
}

TEST_F(SafeSaveTest, TemporaryFilesOfAnotherUserStay) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to give a file to another user";
  const std::string theirs = Make(".Gravlo.Ini.tmp" + std::to_string(EndedProcess()) + "_0_1", "theirs");
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  platform::RemoveStaleSaveFiles(fs::path(Dir()));
  ASSERT_TRUE(platform::SaveFileAtomically(Dir() + "/Gravlo.Ini", "x"));
  EXPECT_EQ(Content(theirs), "theirs");
}

TEST_F(SafeSaveTest, SaveThroughALinkToADeviceIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to make a device node";
  // A private node of the null device, never the system's own.
  const std::string node = Dir() + "/null";
  ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  const std::string link = Dir() + "/Gravlo.Ini";
  fs::create_symlink(node, link);
  EXPECT_FALSE(platform::SaveFileAtomically(link, "settings"));
  EXPECT_FALSE(platform::SaveFileAtomically(node, "settings"));
  struct stat st {};
  ASSERT_EQ(::lstat(node.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(st.st_rdev, makedev(1, 3));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(EntriesIn(Dir()), 2u);
}

TEST_F(SafeSaveTest, NewFilesTakeTheUmaskOldFilesKeepModeAndOwnerPicturesFollowLinks) {
  // A new file: 0666 less the umask, which the save leaves as it was.
  const mode_t before = ::umask(027);
  const bool saved = platform::SaveFileAtomically(Dir() + "/new.ini", "x");
  const mode_t during = ::umask(before);
  ASSERT_TRUE(saved);
  EXPECT_EQ(during, 027u);
  EXPECT_EQ(fs::status(Dir() + "/new.ini").permissions(), fs::perms(0640));
  // An existing file keeps its owner where the process may give it.
  if (::geteuid() == 0) {
    const std::string theirs = Make("theirs.bmp", "old");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0604), 0);
    ASSERT_TRUE(platform::SaveFileSafely(theirs, "new", platform::SaveLinks::Follow));
    struct stat st {};
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(Content(theirs), "new");
  }
  // A picture named through a link in a shared folder is the user's choice:
  // written at the link's end, the link kept.
  const std::string picture = Make("picture.gif", "old");
  const std::string shared = Dir() + "/shared";
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  fs::create_symlink(picture, shared + "/link.gif");
  platform::SavePictureFile(shared + "/link.gif", "new", 3);
  EXPECT_TRUE(fs::is_symlink(shared + "/link.gif"));
  EXPECT_EQ(Content(picture), "new");
  // A link to nothing is refused, with the reason in the message; nothing is
  // made where it points.
  fs::create_symlink(Dir() + "/nowhere.gif", Dir() + "/dangling.gif");
  try {
    platform::SavePictureFile(Dir() + "/dangling.gif", "x", 1);
    ADD_FAILURE() << "a link to nothing was saved through";
  } catch (const platform::StreamError& e) {
    EXPECT_NE(std::string(e.what()).find("points at nothing"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(Dir() + "/nowhere.gif"));
  const std::string fifo = Dir() + "/pipe.gif";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const platform::SaveResult refused = platform::SaveFileSafely(fifo, "x", platform::SaveLinks::Follow);
  EXPECT_FALSE(refused);
  EXPECT_NE(refused.Reason().find("not a regular file"), std::string::npos) << refused.Reason();
}

}  // namespace

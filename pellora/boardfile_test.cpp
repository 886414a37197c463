// The board file: its section holds one entry per slot and label, is
// rewritten (not grown) by every build, and a failing save is reported once.
#include <gtest/gtest.h>

#include "foundation/sysinit.h"
#include "pellora-lib/test_support.h"
#include "pellora/table.h"
#include "platform/msgbox.h"

namespace pellora {
namespace {

std::string Read(const std::string& path) { return testkit::ReadFile(path); }

void Build(TSolTbl& t, int count) {
  t.ClearSlots();
  for (int i = 0; i < count; ++i) {
    t.AddSlot(-1, 0, 0, 1, 0, 0, "s", "");
    t.AddLabel(-1, 0, 0, 10, 10, 0, 1, "l", "L", "");
  }
}

TEST(SolBoardFile, NewFileGetsTheSectionAndOneEntryPerSlotAndLabel) {
  testkit::TempDir dir("solboard");
  TSolTbl t;
  t.BoardFile = dir / "boPellora.Ini";
  Build(t, 2);
  EXPECT_TRUE(t.SaveBoard(0, "Base16", ""));
  EXPECT_EQ(Read(t.BoardFile), "[Base16]\r\n=\r\n=\r\n=\r\n=\r\n");
  EXPECT_EQ(t.BoardName, "Base16");
}

TEST(SolBoardFile, EveryBuildRewritesItsSectionAndKeepsTheOthers) {
  testkit::TempDir dir("solboard");
  const std::string path = dir / "boPellora.Ini";
  testkit::WriteFile(path, "[Other]\r\nk=v\r\n[Base16]\r\n=\r\n=\r\n=\r\n=\r\n=\r\n=\r\n[Tail]\r\nx=1\r\n");
  TSolTbl t;
  t.BoardFile = path;
  Build(t, 3);
  ASSERT_TRUE(t.SaveBoard(0, "Base16", ""));
  const std::string once = Read(path);
  ASSERT_TRUE(t.SaveBoard(0, "Base16", ""));
  EXPECT_EQ(Read(path), once);
  EXPECT_NE(once.find("[Other]\r\nk=v\r\n"), std::string::npos);
  EXPECT_NE(once.find("[Tail]\r\nx=1\r\n"), std::string::npos);
  EXPECT_NE(once.find("[Base16]\r\n=\r\n=\r\n=\r\n=\r\n=\r\n=\r\n"), std::string::npos);
  EXPECT_EQ(once.find("[Base16]\r\n=\r\n=\r\n=\r\n=\r\n=\r\n=\r\n="), std::string::npos);
  // Fewer slots: fewer lines.
  Build(t, 1);
  ASSERT_TRUE(t.SaveBoard(0, "", ""));  // the names used last time
  EXPECT_LT(Read(path).size(), once.size());
}

// A program folder that cannot be written keeps its files in the user's data
// folder; the board file shipped beside the program starts the user's copy,
// with the lines the game does not own.
TEST(SolBoardFile, TheFileBesideAReadOnlyProgramStartsTheUsersCopy) {
  testkit::TempDir program("solprogram");
  testkit::TempDir data("soldata");
  testkit::WriteFile(program / "boPellora.Ini", "[Foreign]\r\nBoardKeep=1\r\n[Base16]\r\n=\r\n");
  const std::string oldApp = foundation::AppDir, oldProgram = foundation::ProgramDir;
  foundation::ProgramDir = program.Path().string() + "/";
  foundation::AppDir = data.Path().string() + "/";
  TSolTbl t;
  t.BoardFile = data / "boPellora.Ini";
  Build(t, 1);
  const bool saved = t.SaveBoard(0, "Base16", "");
  foundation::AppDir = oldApp;
  foundation::ProgramDir = oldProgram;
  ASSERT_TRUE(saved);
  EXPECT_EQ(Read(data / "boPellora.Ini"), "[Foreign]\r\nBoardKeep=1\r\n[Base16]\r\n=\r\n=\r\n");
  EXPECT_EQ(Read(program / "boPellora.Ini"), "[Foreign]\r\nBoardKeep=1\r\n[Base16]\r\n=\r\n");
}

TEST(SolBoardFile, NoNameWritesNothing) {
  TSolTbl t;
  Build(t, 1);
  EXPECT_TRUE(t.SaveBoard(0, "Base16", ""));
  EXPECT_TRUE(t.BoardName.empty());
}

TEST(SolBoardFile, AFailingSaveIsReportedOnceAndNeverRaises) {
  testkit::TempDir dir("solboard");
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  int boxes = 0;
  auto old = platform::SetMessageBoxAnswerer([&](const platform::MsgBoxRequest&) {
    ++boxes;
    return static_cast<int>(platform::IdOk);
  });
  TSolTbl t;
  t.BoardFile = dir / "boPellora.Ini";
  Build(t, 2);
  EXPECT_FALSE(t.SaveBoard(0, "Base16", ""));
  EXPECT_FALSE(t.SaveBoard(0, "Base16", ""));
  EXPECT_EQ(boxes, 1);
  EXPECT_FALSE(std::filesystem::exists(t.BoardFile));
  platform::SetMessageBoxAnswerer(old);
}

}  // namespace
}  // namespace pellora

#include "pellora-lib/memblock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pellora-lib/sysmsg.h"
#include "platform/msgbox.h"

using namespace pellora;

TEST(MemBlock, AllocFillsAndSizesInPages) {
  const int64_t page = sysconf(_SC_PAGESIZE);
  void* zero = MemAlloc(-1, 100);
  ASSERT_NE(zero, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(static_cast<unsigned char*>(zero)[i], 0);
  EXPECT_EQ(MemSize(zero), page);
  void* full = MemAlloc(0x1FF, 100);  // the low byte only
  ASSERT_NE(full, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(static_cast<unsigned char*>(full)[i], 255);
  void* big = MemAlloc(0, 3 * page + 1);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(MemSize(big), 4 * page);
  EXPECT_EQ(MemSize(static_cast<char*>(big) + page + 5), 3 * page);
  EXPECT_EQ(MemSize(nullptr), 0);
  int local = 0;
  EXPECT_EQ(MemSize(&local), 0);

  EXPECT_TRUE(MemFree(zero, -1));
  EXPECT_EQ(zero, nullptr);
  EXPECT_TRUE(MemFree(full, 0));
  // A pointer inside a block is not its start: refused, block kept.
  void* inside = static_cast<char*>(big) + 10;
  EXPECT_FALSE(MemFree(inside, 0));
  EXPECT_EQ(inside, nullptr);
  EXPECT_EQ(MemSize(big), 4 * page);
  EXPECT_TRUE(MemFree(big, 1LL << 40));  // more than the block: the block
  EXPECT_EQ(MemSize(big), 0);
  void* none = nullptr;
  EXPECT_TRUE(MemFree(none, 5));
}

TEST(MemBlock, ZeroOrNegativeSizeGivesNothingSilently) {
  EXPECT_EQ(MemAlloc(5, 0), nullptr);
  EXPECT_EQ(MemAlloc(5, -10), nullptr);
}

TEST(MemBlock, RefusedSizeShowsTheSystemErrorBox) {
  std::vector<platform::MsgBoxRequest> boxes;
  platform::ScopedMsgBoxAnswerer answer([&](const platform::MsgBoxRequest& r) {
    boxes.push_back(r);
    return platform::IdOk;
  });
  // Far beyond any address space: refused, never cut to a smaller block.
  EXPECT_EQ(MemAlloc(0, INT64_MAX), nullptr);
  EXPECT_EQ(MemAlloc(0, (1LL << 62) + 4096), nullptr);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "System error");
  EXPECT_EQ(boxes[0].text, "12 - " + SystemErrorText(12));
}

TEST(MemBlock, AvailableMemoryShare) {
  EXPECT_EQ(AvailMemShare(1000, 0), AvailMemShare(1000, 10));
  EXPECT_EQ(AvailMemShare(1000, 10), 100);
  EXPECT_EQ(AvailMemShare(1000, 250), 1000);
  EXPECT_EQ(AvailMemShare(12345, 100), 12345);
  EXPECT_EQ(AvailMemShare(50, 1), 0);   // 0.5 rounds to even
  EXPECT_EQ(AvailMemShare(150, 1), 2);  // 1.5 rounds to even
  EXPECT_EQ(AvailMemShare(7, 50), 4);   // 3.5 rounds to even
  const uint64_t avail = AvailablePhysicalMemory();
  ASSERT_GT(avail, 0u);
  const int64_t all = AvailMemPercent(250);
  const int64_t tenth = AvailMemPercent(0);
  // Free memory moves while other programs run: compare loosely.
  EXPECT_NEAR(static_cast<double>(all), static_cast<double>(avail), static_cast<double>(avail) * 0.25);
  EXPECT_NEAR(static_cast<double>(tenth) * 10, static_cast<double>(all), static_cast<double>(all) * 0.25);
}

TEST(SysMsg, SystemErrorAndCaptionedBoxes) {
  std::vector<platform::MsgBoxRequest> boxes;
  platform::ScopedMsgBoxAnswerer answer([&](const platform::MsgBoxRequest& r) {
    boxes.push_back(r);
    return platform::IdOk;
  });
  EXPECT_EQ(ShowSystemError(5), platform::IdOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "System error");
  EXPECT_EQ(boxes[0].text, "5 - " + std::string(strerror(5)));
  errno = ENOENT;
  ShowSystemError(-1);
  EXPECT_EQ(boxes[1].text, "2 - " + std::string(strerror(ENOENT)));
  ShowSystemError(987654);
  EXPECT_EQ(boxes[2].text, "987654 - Unknown error");
  MsgBoxCap("body", "Title");
  EXPECT_EQ(boxes[3].text, "body");
  EXPECT_EQ(boxes[3].caption, "Title");
  EXPECT_EQ(boxes[3].flags & 0xFF, 0);
  MsgBoxCap(42, "N");
  EXPECT_EQ(boxes[4].text, "42");
}

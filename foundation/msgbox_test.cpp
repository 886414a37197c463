#include "foundation/msgbox.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/msgbox.h"

namespace {

TEST(FoundationMsgBox, TextsAreVariantsAndBoxesAreTaskModal) {
  std::vector<platform::MsgBoxRequest> seen;
  int next = platform::IdYes;
  platform::ScopedMsgBoxAnswerer answer([&](const platform::MsgBoxRequest& r) {
    seen.push_back(r);
    return next;
  });
  EXPECT_EQ(foundation::ShowMsgBox(foundation::Variant(42), foundation::Variant(2.5), 35), platform::IdYes);
  next = platform::IdOk;
  EXPECT_EQ(foundation::MsgBox(foundation::Variant("plain")), platform::IdOk);
  next = platform::IdCancel;
  EXPECT_EQ(foundation::MsgBoxEx(foundation::Variant("q"), foundation::Variant("Cap"), 3), platform::IdCancel);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].text, "42");
  EXPECT_EQ(seen[0].caption, "2.5");
  EXPECT_EQ(seen[0].flags, 35 + 8192);
  EXPECT_EQ(seen[1].text, "plain");
  EXPECT_EQ(seen[1].caption, "");
  EXPECT_EQ(seen[1].flags, 8192);
  EXPECT_EQ(seen[2].caption, "Cap");
  EXPECT_EQ(seen[2].flags, 3 + 8192);
}

}  // namespace

#include "platform/msgbox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

TEST(MsgBox, AnswererSeesTheRequestAndNestsScoped) {
  std::vector<platform::MsgBoxRequest> seen;
  {
    platform::ScopedMsgBoxAnswerer outer([&](const platform::MsgBoxRequest& r) {
      seen.push_back(r);
      return static_cast<int>(platform::IdYes);
    });
    EXPECT_EQ(platform::ShowMessageBox("text", "cap", 35), platform::IdYes);
    {
      platform::ScopedMsgBoxAnswerer inner([](const platform::MsgBoxRequest&) { return static_cast<int>(platform::IdNo); });
      EXPECT_EQ(platform::ShowMessageBox("x", "y", 4), platform::IdNo);
    }
    EXPECT_EQ(platform::ShowMessageBox("again", "", 0), platform::IdYes);
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "text");
  EXPECT_EQ(seen[0].caption, "cap");
  EXPECT_EQ(seen[0].flags, 35);
}

// With no answerer the real box is shown; pressing its buttons gives the
// platform's numbers.
TEST(MsgBox, RealBoxReturnsThePlatformNumbers) {
  const platform::MsgBoxAnswerer saved = platform::SetMessageBoxAnswerer({});
  struct Case { int flags; QMessageBox::StandardButton press; int expected; };
  for (const Case c : {Case{35, QMessageBox::Yes, platform::IdYes}, Case{35, QMessageBox::No, platform::IdNo},
                       Case{35, QMessageBox::Cancel, platform::IdCancel}, Case{0, QMessageBox::Ok, platform::IdOk}}) {
    QTimer::singleShot(0, [press = c.press] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
          if (QAbstractButton* b = box->button(press)) b->click();
        }
      }
    });
    EXPECT_EQ(platform::ShowMessageBox("Question", "Caption \x80", c.flags), c.expected);
  }
  platform::SetMessageBoxAnswerer(saved);
}

}  // namespace

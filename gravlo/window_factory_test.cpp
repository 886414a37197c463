// The window factory and the life cycle shared by the secondary windows.
#include "gravlo/window_factory.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "gravlo/about_window.h"
#include "gravlo/main_window.h"
#include "gravlo/settings_window.h"
#include "gravlo/stats_window.h"
#include "gravlo/test_support.h"

namespace gravlo {
namespace {

// The factory's windows open beside a main window, as in the program.
using WindowFactoryTest = testsupport::MainWindowOpenTest;

TEST_F(WindowFactoryTest, EachWindowExistsOnceAndComesBackAfterClosing) {
  struct Case {
    int id;
    const char* name;
    const char* caption;
  };
  for (const Case& c : {Case{1000, "Grv000", "Oru Gravlo"}, Case{1016, "Grv016", "Statistics - Gravlo"},
                        Case{1018, "Grv018", "Settings - Gravlo"}}) {
    SCOPED_TRACE(c.name);
    QWidget* first = ShowFormById(c.id);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->objectName(), c.name);
    EXPECT_EQ(first->windowTitle(), c.caption);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(ShowFormById(c.id), first);
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) count += w->objectName() == c.name ? 1 : 0;
    EXPECT_EQ(count, 1);
    first->close();
    FlushDeletes();
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_NE(w->objectName(), c.name);
    QWidget* again = ShowFormById(c.id);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->isVisible());
  }
  EXPECT_NE(Grv000, nullptr);
  EXPECT_NE(Grv016, nullptr);
  EXPECT_NE(Grv018, nullptr);
  FreeSecondaryForms();
  EXPECT_EQ(Grv000, nullptr);
  EXPECT_EQ(Grv016, nullptr);
  EXPECT_EQ(Grv018, nullptr);
}

TEST_F(WindowFactoryTest, MainWindowAndUnknownIds) {
  EXPECT_EQ(ShowFormById(1010), main_.get());
  EXPECT_TRUE(main_->isVisible());
  EXPECT_EQ(ShowFormById(1001), nullptr);
  EXPECT_EQ(ShowFormById(999), nullptr);
  EXPECT_EQ(ShowFormById(2000), nullptr);
  // The main window's commands reach the factory only inside 1000..1999.
  main_->Command(1018);
  EXPECT_NE(Grv018, nullptr);
}

TEST_F(WindowFactoryTest, AMinimisedWindowIsBroughtBack) {
  QWidget* settings = ShowFormById(1018);
  settings->showMinimized();
  ASSERT_TRUE(settings->isMinimized());
  EXPECT_EQ(ShowFormById(1018), settings);
  EXPECT_FALSE(settings->isMinimized());
  EXPECT_TRUE(settings->isVisible());
}

TEST_F(WindowFactoryTest, PlacementOfEveryWindowSurvivesCloseAndReopen) {
  for (int id : {1000, 1016, 1018}) {
    SCOPED_TRACE(id);
    QWidget* w = ShowFormById(id);
    w->move(130 + id % 7, 140);
    w->resize(520, 330);
    QApplication::processEvents();
    const QPoint pos = w->pos();
    const QSize size = w->size();
    w->close();
    FlushDeletes();
    QWidget* again = ShowFormById(id);
    EXPECT_EQ(again->pos(), pos);
    EXPECT_EQ(again->size(), size);
  }
  // The main window too, across a new start of the program.
  main_->show();
  main_->move(200, 100);
  main_->resize(500, 700);
  QApplication::processEvents();
  const QPoint pos = main_->pos();
  FreeSecondaryForms();
  main_.reset();
  OpenMain();
  main_->show();
  EXPECT_EQ(main_->pos(), pos);
  EXPECT_EQ(main_->size(), QSize(500, 700));
}

TEST_F(WindowFactoryTest, AFirstOpenedWindowStandsBesideTheMainWindowAStoredPlacementWins) {
  foundation::SetPlacementDesktopOverride(QSize(1920, 1080));
  main_->move(40, 30);
  main_->resize(440, 640);
  main_->show();
  QApplication::processEvents();
  const QRect board = main_->frameGeometry();
  for (int id : {kAboutFormId, kStatsFormId, kSettingsFormId}) {
    SCOPED_TRACE(id);
    QWidget* w = ShowFormById(id);
    ASSERT_NE(w, nullptr);
    QApplication::processEvents();
    EXPECT_FALSE(w->frameGeometry().intersects(board)) << w->x() << "," << w->y();
    EXPECT_EQ(w->y(), board.top());
    EXPECT_GE(w->x(), 10);
    EXPECT_LE(w->x() + w->width(), 1920 - 10);
  }
  // The main window at the desktop's right edge: the window opens on its left.
  FreeSecondaryForms();
  WriteIni("");
  main_->move(1920 - 10 - main_->frameGeometry().width(), 30);
  QApplication::processEvents();
  QWidget* settings = ShowFormById(kSettingsFormId);
  QApplication::processEvents();
  EXPECT_FALSE(settings->frameGeometry().intersects(main_->frameGeometry()));
  EXPECT_LT(settings->x(), main_->x());
  // A desktop too narrow for both at their size: the statistics narrowed to
  // the room beside the board as far as their least size allows; the
  // settings, whose least size does not fit there, on the side with more room.
  // Both inside the desktop.
  settings->close();
  FlushDeletes();
  WriteIni("");
  foundation::SetPlacementDesktopOverride(QSize(800, 700));
  main_->move(60, 30);
  QApplication::processEvents();
  QWidget* stats = ShowFormById(kStatsFormId);
  QApplication::processEvents();
  EXPECT_FALSE(stats->frameGeometry().intersects(main_->frameGeometry())) << stats->x() << "," << stats->width();
  EXPECT_GE(stats->width(), stats->minimumSizeHint().width());
  settings = ShowFormById(kSettingsFormId);
  QApplication::processEvents();
  EXPECT_GT(settings->x(), main_->x());
  for (QWidget* w : {stats, settings}) {
    EXPECT_GE(w->x(), 10);
    EXPECT_LE(w->x() + w->width(), 800 - 10);
  }
  settings = ShowFormById(kSettingsFormId);
  settings->close();
  FlushDeletes();
  WriteIni("");
  foundation::SetPlacementDesktopOverride(QSize(1920, 1080));
  settings = ShowFormById(kSettingsFormId);
  // Once stored, the placement the player chose is restored as it was.
  settings->move(300, 200);
  QApplication::processEvents();
  const QPoint chosen = settings->pos();
  settings->close();
  FlushDeletes();
  EXPECT_EQ(ShowFormById(kSettingsFormId)->pos(), chosen);
}

}  // namespace
}  // namespace gravlo

// The window factory, the about window and the life cycle shared by the
// secondary windows.
#include "gravlo/grv000.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTextBrowser>
#include <memory>

#include "gravlo/grv010.h"
#include "gravlo/grv016.h"
#include "gravlo/grv018.h"
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
  main_ = std::make_unique<TGrv010>();
  main_->show();
  EXPECT_EQ(main_->pos(), pos);
  EXPECT_EQ(main_->size(), QSize(500, 700));
}

TEST_F(WindowFactoryTest, AboutWindowShowsTheHelpPage) {
  QFile page(dir_.filePath("gravlo.htm"));
  ASSERT_TRUE(page.open(QIODevice::WriteOnly));
  page.write("<html><body><h1>How to play</h1><p>Press F2.</p></body></html>");
  page.close();
  ShowFormById(1000);
  ASSERT_NE(Grv000, nullptr);
  EXPECT_EQ(TGrv000::PagePath(), dir_.filePath("gravlo.htm").toStdString());
  EXPECT_TRUE(Grv000->Browser()->toPlainText().contains("How to play"));
  EXPECT_EQ(Grv000->size(), QSize(617, 349));
}

TEST_F(WindowFactoryTest, AboutPageShippedBesideTheProgramServesAMovedApplicationFolder) {
  // The application folder (here the temporary one) has no page; the copy
  // next to the executable is shown.
  const QString beside = QCoreApplication::applicationDirPath() + "/gravlo.htm";
  if (QFile::exists(beside)) GTEST_SKIP() << "a page already lies next to the test program";
  QFile page(beside);
  ASSERT_TRUE(page.open(QIODevice::WriteOnly));
  page.write("<html><body><p>Shipped with the program.</p></body></html>");
  page.close();
  EXPECT_EQ(TGrv000::PagePath(), beside.toStdString());
  ShowFormById(1000);
  const bool shown = Grv000 != nullptr && Grv000->Browser()->toPlainText().contains("Shipped with the program");
  QFile::remove(beside);
  EXPECT_TRUE(shown);
}

TEST_F(WindowFactoryTest, AboutWindowWithoutThePageSaysSo) {
  ShowFormById(1000);
  ASSERT_NE(Grv000, nullptr);
  EXPECT_TRUE(Grv000->Browser()->toPlainText().contains("was not found"));
}

TEST_F(WindowFactoryTest, ThePageShippedWithTheProgramIsWellFormed) {
  QFile page(QString(VELTRANO_SOURCE_DIR) + "/gravlo/gravlo.htm");
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(page.readAll());
  QTextBrowser browser;
  browser.setHtml(text);
  const QString shown = browser.toPlainText();
  for (const char* topic : {"F2", "F3", "F5", "F6", "F7", "Wheel", "bonus", "Statistics", "Settings"}) {
    EXPECT_TRUE(shown.contains(topic)) << topic;
  }
}

}  // namespace
}  // namespace gravlo

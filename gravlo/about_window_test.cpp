// The about window and the help page it shows.
#include "gravlo/about_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTextBrowser>

#include "gravlo/test_support.h"
#include "gravlo/window_factory.h"

namespace gravlo {
namespace {

using AboutWindowTest = testsupport::MainWindowOpenTest;

TEST_F(AboutWindowTest, AboutWindowShowsTheHelpPage) {
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

TEST_F(AboutWindowTest, AboutPageShippedBesideTheProgramServesAMovedApplicationFolder) {
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

TEST_F(AboutWindowTest, AboutWindowWithoutThePageSaysSo) {
  ShowFormById(1000);
  ASSERT_NE(Grv000, nullptr);
  EXPECT_TRUE(Grv000->Browser()->toPlainText().contains("was not found"));
}

TEST_F(AboutWindowTest, ThePageShippedWithTheProgramIsWellFormed) {
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

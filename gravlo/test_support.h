#pragma once
// Shared fixtures of the window tests. Every test runs in a fresh temporary
// application folder (its own Gravlo.Ini) on a desktop of fixed size, so that
// stored placements neither leak between tests nor depend on the screen of
// the machine that runs them. Whatever windows a test opened are gone again
// when it ends, the secondary ones first, as at the end of the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSize>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "foundation/ini.h"
#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "gravlo/window_factory.h"
#include "gravlo/main_window.h"

namespace gravlo::testsupport {

// A temporary application folder; the main window is opened by the test
// (OpenMain) so that it can prepare the ini first.
class AppFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    foundation::SetAppLocation(dir_.path().toStdString(), "Gravlo");
    foundation::SetPlacementDesktopOverride(QSize(1280, 1024));
    foundation::LoadAppIni();
  }
  void TearDown() override {
    FreeSecondaryForms();
    main_.reset();
    foundation::SetPlacementDesktopOverride(QSize());
  }

  // A new main window in place of the one open before.
  TGrv010& OpenMain() {
    main_.reset();
    main_ = std::make_unique<TGrv010>();
    Grv010 = main_.get();  // as the program's start sets it
    return *main_;
  }

  // Writes the application ini file and reads it back into memory, as a
  // start of the program would.
  void WriteIni(const std::string& text) {
    foundation::StringList lines;
    lines.SetText(text);
    ASSERT_TRUE(lines.SaveToFile(foundation::AppIniFile));
    foundation::LoadAppIni();
  }

  // The application ini as it is on disk now.
  static foundation::StringList IniOnDisk() {
    foundation::StringList lines;
    lines.LoadFromFile(foundation::AppIniFile);
    return lines;
  }

  // Runs the deletions that closed windows asked for.
  static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  QTemporaryDir dir_;
  std::unique_ptr<TGrv010> main_;
};

// The same with the main window open from the start, for the tests of the
// windows it opens.
class MainWindowOpenTest : public AppFolderTest {
 protected:
  void SetUp() override {
    AppFolderTest::SetUp();
    if (!HasFatalFailure()) OpenMain();
  }
};

}  // namespace gravlo::testsupport

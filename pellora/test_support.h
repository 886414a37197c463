#pragma once
// The fixture of the card game's window tests: a scratch program folder that
// is also the current directory (where earlier versions kept statistics), message
// boxes answered with OK and recorded, a fixed desktop, and a main window on
// a clock that never waits.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSize>
#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ini.h"
#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "pellora/main_window.h"
#include "platform/msgbox.h"

namespace pellora::testkit {

class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    oldCwd_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    foundation::SetAppLocation(dir_.path().toStdString(), "Pellora20");
    foundation::SetPlacementDesktopOverride(QSize(1280, 1024));
    foundation::LoadAppIni();
    old_ = platform::SetMessageBoxAnswerer([this](const platform::MsgBoxRequest& r) {
      messages_.push_back(r.text);
      captions_.push_back(r.caption);
      return 1;
    });
  }
  void TearDown() override {
    main_.reset();
    platform::SetMessageBoxAnswerer(old_);
    foundation::SetPlacementDesktopOverride(QSize());
    QDir::setCurrent(oldCwd_);
  }

  void WriteIni(const std::string& text) {
    foundation::StringList lines;
    lines.SetText(text);
    ASSERT_TRUE(lines.SaveToFile(foundation::AppIniFile));
    foundation::LoadAppIni();
  }
  // A file of the program folder, byte for byte.
  void WriteFile(const char* name, const std::string& bytes) {
    std::ofstream f(dir_.filePath(name).toStdString(), std::ios::binary | std::ios::trunc);
    f << bytes;
  }
  static std::string IniValue(const char* section, const char* key) {
    foundation::StringList lines;
    lines.LoadFromFile(foundation::AppIniFile);
    return foundation::IniReadValue(&lines, section, key, foundation::Variant("<none>")).AsString();
  }
  static bool IniHasKey(const char* section, const char* key) {
    foundation::StringList lines;
    lines.LoadFromFile(foundation::AppIniFile);
    int first = 0, end = 0, sep = 0;
    return foundation::IniFindKey(&lines, section, key, 0, first, end, sep) >= 0;
  }

  // The main window on the fake clock, animations off unless asked for, and
  // activated (shown on a fixed size first when `show`).
  TSol040& OpenMain(bool animations = false, bool show = true) {
    main_ = std::make_unique<TSol040>();
    TSol040& w = *main_;
    w.Table().Timing.NowMs = [this] { return now_; };
    w.Table().Timing.SleepMs = [this](uint32_t ms) {
      now_ += ms;
      if (onSleep_) onSleep_();
    };
    if (!animations) w.Table().Options.AnimBits = 0;
    if (show) {
      w.resize(1024, 720);
      w.show();
      QCoreApplication::processEvents();
    }
    if (w.Activation() == saNone) w.FormActivate();
    return w;
  }

  QTemporaryDir dir_;
  QString oldCwd_;
  platform::MsgBoxAnswerer old_;
  std::vector<std::string> messages_;
  std::vector<std::string> captions_;
  uint64_t now_ = 1000;
  std::function<void()> onSleep_;
  std::unique_ptr<TSol040> main_;
};

}  // namespace pellora::testkit

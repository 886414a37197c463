// The program's start and exit routine around the main window.
#include "pellora/program.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "foundation/ini.h"
#include "foundation/sysinit.h"
#include "pellora/main_window.h"
#include "platform/msgbox.h"

namespace pellora {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(ProgramTest, EachRunWritesTheVolumesPlacesToTheBaseFileAndKeepsTheUsersLines) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString() + "/";
  const QString oldCwd = QDir::currentPath();
  QDir::setCurrent(dir.path());
  {
    std::ofstream base(folder + "Veltrano.Ini", std::ios::binary);
    base << "; my own notes\r\n[Mine]\r\nKeep=1\r\n";
  }
  foundation::ResetSysGlobals();
  foundation::SetExecutablePathOverride(folder + "Pellora20");
  std::vector<std::string> messages;
  platform::ScopedMsgBoxAnswerer answerer([&](const platform::MsgBoxRequest& r) {
    messages.push_back(r.text);
    return 1;
  });

  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(foundation::BaseIniFile, folder + "Veltrano.Ini");
    auto window = std::make_unique<TSol040>();
    window->show();
    QCoreApplication::processEvents();
    window->close();
    window.reset();
    EndProgram();
  }

  foundation::StringList lines;
  lines.LoadFromFile(folder + "Veltrano.Ini");
  int first = 0, end = 0, sep = 0;
  EXPECT_GE(foundation::IniFindKey(&lines, "Vols", "VsPath", 0, first, end, sep), 0);
  EXPECT_GE(foundation::IniFindKey(&lines, "Vols", "VsBase", 0, first, end, sep), 0);
  EXPECT_EQ(foundation::IniReadValue(&lines, "Vols", "VsPath", foundation::Variant("")).AsString(), "E:\\xdDisk\\");
  EXPECT_EQ(foundation::IniReadValue(&lines, "Vols", "VsBase", foundation::Variant("")).AsString(), "xdVols.Ini");
  EXPECT_EQ(foundation::IniReadValue(&lines, "Mine", "Keep", foundation::Variant("")).AsString(), "1");
  const std::string text = ReadFile(folder + "Veltrano.Ini");
  EXPECT_NE(text.find("; my own notes"), std::string::npos);
  // Two runs give one section, not two.
  EXPECT_EQ(text.find("[Vols]"), text.rfind("[Vols]"));
  // The drive-letter default names no place here: nothing lands beside the
  // program under a name made of it.
  for (const auto& e : std::filesystem::directory_iterator(folder))
    EXPECT_EQ(e.path().filename().string().find("xdDisk"), std::string::npos) << e.path();
  EXPECT_TRUE(messages.empty()) << messages.front();

  foundation::SetExecutablePathOverride("");
  foundation::ResetSysGlobals();
  QDir::setCurrent(oldCwd);
}

}  // namespace
}  // namespace pellora

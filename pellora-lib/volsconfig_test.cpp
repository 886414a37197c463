#include "pellora-lib/volsconfig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/ini.h"
#include "foundation/sysinit.h"
#include "pellora-lib/test_support.h"

namespace fs = std::filesystem;
using namespace pellora;

namespace {

using testkit::ReadFile;
using testkit::WriteFile;

class VolsConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vols_XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    dir_ += "/";
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);  // a path taken literally would land here
    foundation::BaseIniFile = dir_ + "Veltrano.Ini";
    foundation::VolsPath.clear();
    foundation::VolsBase.clear();
  }
  void TearDown() override {
    fs::current_path(oldCwd_);
    VolsExt.reset();
    fs::remove_all(dir_);
    foundation::BaseIniFile.clear();
    foundation::VolsPath.clear();
    foundation::VolsBase.clear();
  }
  int FilesInDir() const {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir_)) n += e.is_regular_file() ? 1 : 0;
    return n;
  }
  std::string dir_;
  fs::path oldCwd_;
};

}  // namespace

TEST_F(VolsConfigTest, DefaultsWithoutFiles) {
  recVsSys config;
  config.hoursToGo = 99;
  LoadVolsConfig(config);
  EXPECT_EQ(foundation::VolsPath, "E:\\xdDisk\\");
  EXPECT_EQ(foundation::VolsBase, "xdVols.Ini");
  EXPECT_EQ(config.systemPath, "zzSys\\");
  EXPECT_EQ(config.extensions, "xdExt.Ini");
  EXPECT_EQ(config.programs, "xdPgm.Ini");
  EXPECT_EQ(config.icons16, "xdIcons16.Bmp");
  EXPECT_EQ(config.icons32, "xdIcons32.Bmp");
  EXPECT_EQ(config.dataExt, ".Tvd");
  EXPECT_EQ(config.textExt, ".Tvt");
  EXPECT_EQ(config.hdBase, "HdBase\\");
  EXPECT_EQ(config.pcBase, "PcBase\\");
  EXPECT_EQ(config.sdBase, "SdBase\\");
  EXPECT_EQ(config.cdBase, "CdBase\\");
  EXPECT_EQ(config.osBase, "OSBase\\");
  EXPECT_EQ(config.floppy, "E:\\xdFloppy\\");
  EXPECT_EQ(config.backUp, "E:\\xdDisk\\xxBack\\");
  EXPECT_EQ(config.excludeFromTotals, "thumbs.db;zzTmb.*");
  EXPECT_EQ(config.daysToGo, 0);
  EXPECT_EQ(config.hoursToGo, 0);
  EXPECT_EQ(config.minutesToGo, 10);
  EXPECT_EQ(config.winDif, "");
  ASSERT_NE(VolsExt, nullptr);
  EXPECT_EQ(VolsExt->list1.StorageKind(), HdOwnFile);
  EXPECT_EQ(VolsExt->number1, -1);
  EXPECT_EQ(VolsExt->icons32.width, 32);
  EXPECT_EQ(VolumesFile(), "");  // a drive letter is no place here
}

TEST_F(VolsConfigTest, SavingWithTheDriveLetterDefaultWritesOnlyTheBaseFile) {
  recVsSys config;
  LoadVolsConfig(config);
  EXPECT_TRUE(SaveVolsConfig(config));
  EXPECT_EQ(FilesInDir(), 1);  // no "E:\xdDisk\xdVols.Ini" anywhere here
  foundation::StringList base;
  base.LoadFromFile(foundation::BaseIniFile);
  EXPECT_EQ(foundation::IniReadValue(&base, "Vols", "VsPath", foundation::Variant("")).AsString(), "E:\\xdDisk\\");
  EXPECT_EQ(foundation::IniReadValue(&base, "Vols", "VsBase", foundation::Variant("")).AsString(), "xdVols.Ini");
  // What was saved is what the next start reads.
  recVsSys again;
  LoadVolsConfig(again);
  EXPECT_EQ(foundation::VolsPath, "E:\\xdDisk\\");
  EXPECT_EQ(foundation::VolsBase, "xdVols.Ini");
}

TEST_F(VolsConfigTest, RoundTripThroughAVolumesFolder) {
  const std::string vols = dir_ + "vols/";
  fs::create_directory(vols);
  WriteFile(foundation::BaseIniFile, "[Vols]\r\nVsPath=" + vols + "\r\nVsBase=My.Ini\r\n");
  recVsSys config;
  LoadVolsConfig(config);
  EXPECT_EQ(VolumesFile(), vols + "My.Ini");
  EXPECT_EQ(config.backUp, vols + "xxBack\\");
  config.hdBase = "/disks/hd/";
  config.hoursToGo = 300;
  config.daysToGo = 123456;
  config.minutesToGo = -4;
  config.winDif = "diff";
  ASSERT_TRUE(SaveVolsConfig(config));

  foundation::StringList file;
  file.LoadFromFile(vols + "My.Ini");
  const char* keys[] = {"SystemPath", "Extensions", "Programs", "Icons16", "Icons32", "HdBase",
                        "PcBase", "SdBase", "CdBase", "OsBase", "Floppy", "BackUp",
                        "DaysToGo.Days", "DaysToGo.Hours", "DaysToGo.Minutes", "ExcludeFromTotals", "WinDif"};
  for (const char* key : keys) {
    int first = 0, end = 0, sep = 0;
    EXPECT_GE(foundation::IniFindKey(&file, "Vols", key, 0, first, end, sep), 0) << key;
  }
  recVsSys back;
  LoadVolsConfig(back);
  EXPECT_EQ(back.hdBase, "/disks/hd/");
  EXPECT_EQ(back.hoursToGo, 300);
  EXPECT_EQ(back.daysToGo, 123456);
  EXPECT_EQ(back.minutesToGo, -4);
  EXPECT_EQ(back.winDif, "diff");
  EXPECT_EQ(back.excludeFromTotals, "thumbs.db;zzTmb.*");
  EXPECT_EQ(back.floppy, config.floppy);
  EXPECT_EQ(back.backUp, config.backUp);
  // A second save changes nothing.
  const std::string first = ReadFile(vols + "My.Ini");
  ASSERT_TRUE(SaveVolsConfig(back));
  EXPECT_EQ(ReadFile(vols + "My.Ini"), first);
}

TEST_F(VolsConfigTest, MalformedNumbersAndKeysAboveTheFirstSection) {
  const std::string vols = dir_ + "v/";
  fs::create_directory(vols);
  // Earlier versions wrote VsPath above the first section and read
  // ExcludeFromTotals from there.
  WriteFile(foundation::BaseIniFile, "VsPath=" + vols + "\r\n[Other]\r\nx=1\r\n");
  WriteFile(vols + "xdVols.Ini",
            "ExcludeFromTotals=*.tmp;*.bak\r\n[Vols]\r\nDaysToGo.Hours=lots\r\nDaysToGo.Days=99999999999\r\n"
            "DaysToGo.Minutes=7\r\nSystemPath=Sys/\r\n");
  recVsSys config;
  LoadVolsConfig(config);
  EXPECT_EQ(foundation::VolsPath, vols);
  EXPECT_EQ(config.excludeFromTotals, "*.tmp;*.bak");
  EXPECT_EQ(config.hoursToGo, 0);
  EXPECT_EQ(config.daysToGo, 0);
  EXPECT_EQ(config.minutesToGo, 7);
  EXPECT_EQ(config.systemPath, "Sys/");
  // Saved into the section, which then wins over the old line at the top.
  config.excludeFromTotals = "only;this";
  ASSERT_TRUE(SaveVolsConfig(config));
  recVsSys back;
  LoadVolsConfig(back);
  EXPECT_EQ(back.excludeFromTotals, "only;this");
  EXPECT_EQ(foundation::VolsPath, vols);
  foundation::StringList base;
  base.LoadFromFile(foundation::BaseIniFile);
  EXPECT_EQ(foundation::IniReadValue(&base, "Other", "x", foundation::Variant(0)).AsInt(), 1);
}

TEST_F(VolsConfigTest, SaveErrorsNeverStopTheExit) {
  WriteFile(foundation::BaseIniFile, "[Vols]\r\nVsPath=" + dir_ + "missing/folder/\r\n");
  InitVolsConfig();
  InitVolsConfig();  // nested: only the first start loads
  ASSERT_NE(VolsExt, nullptr);
  VolsConfig.hoursToGo = 5;
  FinishVolsConfig();
  EXPECT_NE(VolsExt, nullptr);
  EXPECT_EQ(VolsConfig.hoursToGo, 5);
  FinishVolsConfig();  // the last end saves (and fails quietly) and frees
  EXPECT_EQ(VolsExt, nullptr);
  EXPECT_FALSE(fs::exists(dir_ + "missing"));
  FinishVolsConfig();  // one too many does nothing
  recVsSys config;
  foundation::BaseIniFile = dir_ + "no/such/dir/Veltrano.Ini";
  LoadVolsConfig(config);
  EXPECT_FALSE(SaveVolsConfig(config));
}

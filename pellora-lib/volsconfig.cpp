#include "pellora-lib/volsconfig.h"

#include <exception>

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/sysinit.h"

namespace pellora {

recVsSys VolsConfig;
std::unique_ptr<TW32Ext> VolsExt;

namespace {

const char* const kSection = "Vols";
int initCount = 0;

// Reads the file's lines when it exists and holds something; a file that
// cannot be read counts as absent.
void LoadIfPresent(foundation::StringList& list, const std::string& path) {
  list.Clear();
  if (path.empty() || !foundation::FileExistsVar(foundation::Variant(path), 1)) return;
  try {
    list.LoadFromFile(path);
  } catch (const std::exception&) {
    list.Clear();
  }
}

bool HasKey(const foundation::StringList& list, std::string_view section, std::string_view key) {
  int first = 0, end = 0, sep = 0;
  return foundation::IniFindKey(&list, section, key, 0, first, end, sep) >= 0;
}

// Files of the originals hold some keys in the section and some above the
// first header; the section is read first.
std::string ReadText(const foundation::StringList& list, std::string_view key, const std::string& fallback,
                     int flags = 0) {
  const std::string_view section = HasKey(list, kSection, key) ? kSection : std::string_view();
  try {
    return foundation::IniReadValue(&list, section, key, foundation::Variant(fallback), foundation::varAny, flags)
        .AsString();
  } catch (const std::exception&) {
    return fallback;
  }
}

int32_t ReadNumber(const foundation::StringList& list, std::string_view key, int32_t fallback) {
  try {
    return foundation::IniReadValue(&list, kSection, key, foundation::Variant(fallback)).AsInt();
  } catch (const std::exception&) {
    return fallback;  // malformed: the default, the start goes on
  }
}

}  // namespace

TW32Ext::TW32Ext() {
  list1.SetStorage(0, HdOwnFile);
  list2.SetStorage(0, HdOwnFile);
  for (auto& b : bitmaps) b = platform::Bitmap();
  icons16 = TIconList{16, 16, true, {}};
  icons32 = TIconList{32, 32, true, {}};
}

TW32Ext::~TW32Ext() = default;

bool IsUsablePlace(const std::string& path) {
  return !path.empty() && path.front() == '/' && path.find('\\') == std::string::npos;
}

std::string VolumesFile() {
  if (!IsUsablePlace(foundation::VolsPath)) return std::string();
  std::string dir = foundation::VolsPath;
  if (dir.back() != '/') dir += '/';
  return dir + foundation::VolsBase;
}

void LoadVolsConfig(recVsSys& config) {
  config.dataExt = ".Tvd";
  config.textExt = ".Tvt";
  foundation::StringList list;
  LoadIfPresent(list, foundation::BaseIniFile);
  foundation::VolsPath = ReadText(list, "VsPath", "E:\\xdDisk\\");
  foundation::VolsBase = ReadText(list, "VsBase", "xdVols.Ini");

  LoadIfPresent(list, VolumesFile());
  config.systemPath = ReadText(list, "SystemPath", "zzSys\\");
  config.extensions = ReadText(list, "Extensions", "xdExt.Ini");
  config.programs = ReadText(list, "Programs", "xdPgm.Ini");
  config.icons16 = ReadText(list, "Icons16", "xdIcons16.Bmp");
  config.icons32 = ReadText(list, "Icons32", "xdIcons32.Bmp");
  config.hdBase = ReadText(list, "HdBase", "HdBase\\");
  config.pcBase = ReadText(list, "PcBase", "PcBase\\");
  config.sdBase = ReadText(list, "SdBase", "SdBase\\");
  config.cdBase = ReadText(list, "CdBase", "CdBase\\");
  config.osBase = ReadText(list, "OsBase", "OSBase\\");
  config.floppy = ReadText(list, "Floppy", "E:\\xdFloppy\\");
  config.backUp = ReadText(list, "BackUp", foundation::VolsPath + "xxBack\\");
  config.daysToGo = ReadNumber(list, "DaysToGo.Days", 0);
  config.hoursToGo = ReadNumber(list, "DaysToGo.Hours", 0);
  config.minutesToGo = ReadNumber(list, "DaysToGo.Minutes", 10);
  config.winDif = ReadText(list, "WinDif", "");
  // The default holds a ";", so the value is the whole line.
  config.excludeFromTotals = ReadText(list, "ExcludeFromTotals", "thumbs.db;zzTmb.*", foundation::ivfWholeLine);
  VolsExt = std::make_unique<TW32Ext>();
}

bool SaveVolsConfig(const recVsSys& config) {
  bool ok = true;
  try {
    if (foundation::VolsPath.empty()) {
      recVsSys scratch = config;
      LoadVolsConfig(scratch);
    }
    const std::string volumes = VolumesFile();
    if (!volumes.empty()) {
      foundation::StringList list;
      LoadIfPresent(list, volumes);
      using foundation::Variant;
      auto text = [&](const char* key, const std::string& value, int flags = 0) {
        foundation::IniWriteValue(&list, kSection, key, Variant(value), flags);
      };
      text("SystemPath", config.systemPath);
      text("Extensions", config.extensions);
      text("Programs", config.programs);
      text("Icons16", config.icons16);
      text("Icons32", config.icons32);
      text("HdBase", config.hdBase);
      text("PcBase", config.pcBase);
      text("SdBase", config.sdBase);
      text("CdBase", config.cdBase);
      text("OsBase", config.osBase);
      text("Floppy", config.floppy);
      text("BackUp", config.backUp);
      foundation::IniWriteValue(&list, kSection, "DaysToGo.Days", Variant(config.daysToGo));
      foundation::IniWriteValue(&list, kSection, "DaysToGo.Hours", Variant(config.hoursToGo));
      foundation::IniWriteValue(&list, kSection, "DaysToGo.Minutes", Variant(config.minutesToGo));
      text("ExcludeFromTotals", config.excludeFromTotals, foundation::ivfWholeLine);
      text("WinDif", config.winDif);
      ok = list.SaveToFile(volumes) && ok;
    }
    if (foundation::BaseIniFile.empty()) foundation::InitSysPaths();
    if (!foundation::BaseIniFile.empty()) {
      foundation::StringList list;
      LoadIfPresent(list, foundation::BaseIniFile);
      foundation::IniWriteValue(&list, kSection, "VsPath", foundation::Variant(foundation::VolsPath));
      foundation::IniWriteValue(&list, kSection, "VsBase", foundation::Variant(foundation::VolsBase));
      ok = list.SaveToFile(foundation::BaseIniFile) && ok;
    } else {
      ok = false;
    }
  } catch (const std::exception&) {
    ok = false;  // the program's exit goes on
  }
  return ok;
}

void InitVolsConfig() {
  if (initCount++ == 0) LoadVolsConfig(VolsConfig);
}

void FinishVolsConfig() {
  if (initCount <= 0) return;
  if (--initCount == 0) {
    SaveVolsConfig(VolsConfig);
    VolsExt.reset();
    VolsConfig = recVsSys{};
  }
}

}  // namespace pellora

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

// Files written by earlier versions hold some keys in the section and some above the
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

// The keys of the volumes file, in the order a new file gets them. A text
// key has a field of text, a number key a field of number; BackUp's default
// lies under the volumes folder.
struct VolsKey {
  const char* key;
  std::string recVsSys::*text;
  int32_t recVsSys::*number;
  const char* textDefault;
  int32_t numberDefault;
  int flags;
  bool underVolsPath;
};

constexpr VolsKey Text(const char* key, std::string recVsSys::*field, const char* fallback, int flags = 0,
                       bool underVolsPath = false) {
  return {key, field, nullptr, fallback, 0, flags, underVolsPath};
}
constexpr VolsKey Number(const char* key, int32_t recVsSys::*field, int32_t fallback) {
  return {key, nullptr, field, nullptr, fallback, 0, false};
}

const VolsKey kVolsKeys[] = {
    Text("SystemPath", &recVsSys::systemPath, "zzSys\\"),
    Text("Extensions", &recVsSys::extensions, "xdExt.Ini"),
    Text("Programs", &recVsSys::programs, "xdPgm.Ini"),
    Text("Icons16", &recVsSys::icons16, "xdIcons16.Bmp"),
    Text("Icons32", &recVsSys::icons32, "xdIcons32.Bmp"),
    Text("HdBase", &recVsSys::hdBase, "HdBase\\"),
    Text("PcBase", &recVsSys::pcBase, "PcBase\\"),
    Text("SdBase", &recVsSys::sdBase, "SdBase\\"),
    Text("CdBase", &recVsSys::cdBase, "CdBase\\"),
    Text("OsBase", &recVsSys::osBase, "OSBase\\"),
    Text("Floppy", &recVsSys::floppy, "E:\\xdFloppy\\"),
    Text("BackUp", &recVsSys::backUp, "xxBack\\", 0, true),
    Number("DaysToGo.Days", &recVsSys::daysToGo, 0),
    Number("DaysToGo.Hours", &recVsSys::hoursToGo, 0),
    Number("DaysToGo.Minutes", &recVsSys::minutesToGo, 10),
    // The default holds a ";", so the value is the whole line.
    Text("ExcludeFromTotals", &recVsSys::excludeFromTotals, "thumbs.db;zzTmb.*", foundation::ivfWholeLine),
    Text("WinDif", &recVsSys::winDif, ""),
};

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
  for (const VolsKey& k : kVolsKeys) {
    if (k.text != nullptr) {
      const std::string fallback = k.underVolsPath ? foundation::VolsPath + k.textDefault : k.textDefault;
      config.*k.text = ReadText(list, k.key, fallback, k.flags);
    } else {
      config.*k.number = ReadNumber(list, k.key, k.numberDefault);
    }
  }
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
      for (const VolsKey& k : kVolsKeys) {
        const foundation::Variant value =
            k.text != nullptr ? foundation::Variant(config.*k.text) : foundation::Variant(config.*k.number);
        foundation::IniWriteValue(&list, kSection, k.key, value, k.flags);
      }
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

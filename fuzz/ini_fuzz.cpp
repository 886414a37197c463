// Ini string list: any bytes load as lines; every key of the first sections
// reads as every value type (a number that is none raises the conversion
// error, nothing else); a value or a list written reads back as written; an
// erased section is empty; the lines save to a file and load back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "foundation/ini.h"
#include "foundation/variant.h"
#include "platform/msgbox.h"

namespace {

std::string gFile;

// Text a value can carry through a line: trimmed, one line, no comment, no
// number mark.
std::string Clean(std::string_view s) {
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 32 && c != ';' && c != '\x1f') out.push_back(c);
  }
  const size_t b = out.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  return out.substr(b, out.find_last_not_of(' ') - b + 1);
}

// A section or key name as the lines could hold it.
std::string CleanName(std::string_view s) {
  std::string out;
  for (char c : Clean(s))
    if (c != '=' && c != ':' && c != '[' && c != ']' && c != '#' && c != ' ') out.push_back(c);
  return out.substr(0, 24);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest&) { return static_cast<int>(platform::IdOk); });
  const char* shm = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  gFile = std::string(shm) + "/veltrano-ini-fuzz-" + std::to_string(::getpid()) + ".ini";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace foundation;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  StringList ini;
  ini.SetText(text);

  StringList sections;
  FUZZ_REQUIRE(IniReadSectionNames(&ini, &sections) >= 0);
  static const int kTypes[] = {varString, varInteger, varSmallint, varByte, varDouble,
                               varSingle, varCurrency, varDate,    varBoolean};
  for (int s = 0; s < sections.Count() && s < 6; ++s) {
    const std::string section = sections[s];
    StringList lines;
    if (IniReadSection(&ini, section, &lines) < 0) continue;
    for (int l = 0; l < lines.Count() && l < 12; ++l) {
      const std::string& line = lines[l];
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key(line.substr(0, eq));
      for (int type : kTypes) {
        try {
          IniReadValue(&ini, section, key, Variant::OfType(type), type);
        } catch (const ConvertError&) {
        }
      }
    }
  }

  // A value written reads back, in a section of the input or a new one.
  const std::string section =
      sections.Count() > 0 ? CleanName(sections[static_cast<int>(size % sections.Count())]) : "Fuzz";
  const std::string where = section.empty() ? "Fuzz" : section;
  const std::string value = Clean(text.substr(0, 40));
  IniWriteValue(&ini, where, "FuzzText", Variant(value));
  FUZZ_REQUIRE(IniReadValue(&ini, where, "FuzzText", Variant("?")).AsString() == value);
  const int32_t number = static_cast<int32_t>(size * 2654435761u);
  IniWriteValue(&ini, where, "FuzzNumber", Variant(number));
  FUZZ_REQUIRE(IniReadValue(&ini, where, "FuzzNumber", Variant(0), varInteger).AsInt64() == number);

  // A list written reads back entry by entry, with its numbers; a shorter
  // one written over it leaves none of the longer one's tail.
  StringList list;
  for (int i = 0; i < ini.Count() && list.Count() < 40; ++i) {
    std::string entry = Clean(ini[i]);
    if (!entry.empty()) list.Add(std::move(entry), static_cast<std::intptr_t>(i + 1) * (i % 3 == 0 ? -7 : 3));
  }
  for (int flags : {0, static_cast<int>(ilfNumbers)}) {
    IniWriteList(&ini, where, "FuzzList", &list, flags);
    StringList back;
    FUZZ_REQUIRE(IniReadList(&ini, where, "FuzzList", &back, flags) == list.Count());
    for (int i = 0; i < list.Count(); ++i) {
      FUZZ_REQUIRE(back[i] == list[i]);
      FUZZ_REQUIRE(!(flags & ilfNumbers) || back.Object(i) == list.Object(i));
    }
  }
  StringList shorter;
  for (int i = 0; i < list.Count() / 2; ++i) shorter.Add(list[i]);
  IniWriteList(&ini, where, "FuzzList", &shorter);
  StringList back;
  FUZZ_REQUIRE(IniReadList(&ini, where, "FuzzList", &back) == shorter.Count());

  // The lines save and load back as they are.
  FUZZ_REQUIRE(ini.SaveToFile(gFile));
  StringList loaded;
  loaded.LoadFromFile(gFile);
  FUZZ_REQUIRE(loaded.Count() == ini.Count());
  for (int i = 0; i < ini.Count(); ++i)
    FUZZ_REQUIRE(loaded[i] == ini[i]);
  ::unlink(gFile.c_str());

  // An erased section keeps no line.
  if (IniEraseSection(&ini, where)) {
    StringList rest;
    FUZZ_REQUIRE(IniReadSection(&ini, where, &rest) == 0);
  }
  return 0;
}

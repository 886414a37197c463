#pragma once
// The GIF conformance suite's description files, shared by the tests that
// run its cases: "[section]" lines, "key = value" lines (a bare "key ="
// gives an empty value), "#" comments; lists inside values are separated by
// commas.
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace gif::testkit {

inline const std::string kSuite = std::string(VELTRANO_SOURCE_DIR) + "/picture-codecs/gif/testdata/gif-suite/";

using Section = std::map<std::string, std::string>;

inline std::map<std::string, Section> ReadConf(const std::string& path) {
  std::map<std::string, Section> conf;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const auto eq = line.find(" = ");
    if (eq == std::string::npos) {
      const auto bare = line.find(" =");
      if (bare != std::string::npos) conf[section][line.substr(0, bare)] = "";
      continue;
    }
    conf[section][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return conf;
}

inline std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ','))
    if (!item.empty()) out.push_back(item);
  return out;
}

}  // namespace gif::testkit

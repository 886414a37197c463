// Speed of the ini store on a large application ini: 200 sections of 100
// lines (20,000 lines): load, reads and writes at the end of the file, erase
// and rewrite of one section, save; and the whole sequence in one go.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "foundation/ini.h"
#include "platform/safesave.h"

namespace {

using foundation::StringList;
using foundation::Variant;

constexpr int kSections = 200;
constexpr int kLinesPerSection = 100;  // header + 99 keys

std::string MakeIniText() {
  std::string text;
  for (int s = 0; s < kSections; ++s) {
    text += "[Section" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < kLinesPerSection - 1; ++k)
      text += "Key" + std::to_string(k) + "=value " + std::to_string(s * 1000 + k) + "      ;comment\r\n";
  }
  return text;
}

const std::string& IniPath() {
  static const std::string path = [] {
    const auto p = std::filesystem::temp_directory_path() / "bench_ini_20000.ini";
    platform::SaveFileAtomically(p, MakeIniText());
    return p.string();
  }();
  return path;
}

const std::string kLast = "Section" + std::to_string(kSections - 1);
const std::string kMiddle = "Section" + std::to_string(kSections / 2);

void ReadsAndWritesAtTheEnd(StringList& l) {
  for (int i = 0; i < 20; ++i) {
    const std::string key = "Key" + std::to_string(kLinesPerSection - 2 - i);
    const int v = foundation::IniReadValue(&l, kLast, key, Variant(""), foundation::varString).AsString().size();
    foundation::IniWriteValue(&l, kLast, key, Variant(v + i));
  }
}

void EraseAndRewrite(StringList& l) {
  foundation::IniEraseSection(&l, kMiddle);
  for (int k = 0; k < kLinesPerSection - 1; ++k)
    foundation::IniWriteValue(&l, kMiddle, "Key" + std::to_string(k), Variant(k));
}

void BM_Load(benchmark::State& state) {
  const std::string& path = IniPath();
  for (auto _ : state) {
    StringList l;
    l.LoadFromFile(path);
    benchmark::DoNotOptimize(l.Count());
  }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMicrosecond);

void BM_TwentyReadsAndWritesAtTheEnd(benchmark::State& state) {
  StringList l;
  l.LoadFromFile(IniPath());
  for (auto _ : state) ReadsAndWritesAtTheEnd(l);
}
BENCHMARK(BM_TwentyReadsAndWritesAtTheEnd)->Unit(benchmark::kMicrosecond);

void BM_EraseAndRewriteOneSection(benchmark::State& state) {
  StringList l;
  l.LoadFromFile(IniPath());
  for (auto _ : state) EraseAndRewrite(l);
}
BENCHMARK(BM_EraseAndRewriteOneSection)->Unit(benchmark::kMicrosecond);

void BM_Save(benchmark::State& state) {
  StringList l;
  l.LoadFromFile(IniPath());
  const auto out = std::filesystem::temp_directory_path() / "bench_ini_save.ini";
  for (auto _ : state) benchmark::DoNotOptimize(l.SaveToFile(out.string()));
  std::filesystem::remove(out);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMicrosecond);

void BM_WholeSequence(benchmark::State& state) {
  const std::string& path = IniPath();
  const auto out = std::filesystem::temp_directory_path() / "bench_ini_sequence.ini";
  for (auto _ : state) {
    StringList l;
    l.LoadFromFile(path);
    ReadsAndWritesAtTheEnd(l);
    EraseAndRewrite(l);
    benchmark::DoNotOptimize(l.SaveToFile(out.string()));
  }
  std::filesystem::remove(out);
}
BENCHMARK(BM_WholeSequence)->Unit(benchmark::kMillisecond);

// A recent-entries list of 60,000 names in the main window's section, read
// at start and written back at exit.
StringList RecentList() {
  StringList names;
  for (int i = 0; i < 60000; ++i) names.Add("Player " + std::to_string(i));
  return names;
}

void BM_ReadList60000(benchmark::State& state) {
  StringList ini;
  ini.LoadFromFile(IniPath());
  const StringList names = RecentList();
  foundation::IniWriteList(&ini, kMiddle, "cPlr", &names);
  for (auto _ : state) {
    StringList back;
    benchmark::DoNotOptimize(foundation::IniReadList(&ini, kMiddle, "cPlr", &back));
  }
}
BENCHMARK(BM_ReadList60000)->Unit(benchmark::kMillisecond);

void BM_WriteList60000(benchmark::State& state) {
  StringList ini;
  ini.LoadFromFile(IniPath());
  const StringList names = RecentList();
  foundation::IniWriteList(&ini, kMiddle, "cPlr", &names);
  for (auto _ : state) foundation::IniWriteList(&ini, kMiddle, "cPlr", &names);
}
BENCHMARK(BM_WriteList60000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

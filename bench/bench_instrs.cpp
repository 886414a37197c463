// InStrS over a text of 10,000 lines of 80 characters with the pattern the
// report list uses to find its stored column lines.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "foundation/ini.h"
#include "foundation/instrs.h"

namespace {

foundation::StringList makeLines() {
  std::mt19937 rng(7);
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 =#|.,;";
  foundation::StringList lines;
  for (int i = 0; i < 10000; ++i) {
    std::string line;
    if (i % 50 == 0) line = "lvSts" + std::to_string(i) + "=";  // near misses: no "#"
    while (line.size() < 80) line += alphabet[rng() % alphabet.size()];
    lines.Add(line);
  }
  return lines;
}

// One call per line, as the report list deletes its stored lines.
void BM_InStrS_PerLine(benchmark::State& state) {
  const foundation::StringList lines = makeLines();
  for (auto _ : state) {
    int hits = 0;
    for (int i = 0; i < lines.Count(); ++i) hits += foundation::InStrS("lvSts#*=", lines[i]) > 0;
    benchmark::DoNotOptimize(hits);
  }
}
BENCHMARK(BM_InStrS_PerLine)->Unit(benchmark::kMillisecond);

// One call over the whole list (no line matches: every line is searched).
void BM_InStrS_ListMode(benchmark::State& state) {
  const foundation::StringList lines = makeLines();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        foundation::InStrS("lvSts#*=", &lines, 1, foundation::isoList, 0, nullptr));
  }
}
BENCHMARK(BM_InStrS_ListMode)->Unit(benchmark::kMillisecond);

// The same 800,000 characters as one string.
void BM_InStrS_OneString(benchmark::State& state) {
  const foundation::StringList lines = makeLines();
  std::string text;
  for (int i = 0; i < lines.Count(); ++i) text += lines[i];
  for (auto _ : state) benchmark::DoNotOptimize(foundation::InStrS("lvSts#*=", text));
}
BENCHMARK(BM_InStrS_OneString)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

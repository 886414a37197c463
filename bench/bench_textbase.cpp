// Speed of the card game's text base and statistics file: loading a text base
// of 5,000 lines (target: under 50 ms), parsing one line of 100,000
// characters full of brackets, and loading and saving 1,000 statistics
// records through their file (target: under 10 ms together).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "pellora/stats.h"
#include "pellora/textbase.h"
#include "platform/msgbox.h"
#include "platform/safesave.h"

namespace {

// The menus overflow on purpose; their message is answered at once.
const bool kQuietBoxes = [] {
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest&) { return static_cast<int>(platform::IdOk); });
  return true;
}();

std::string MakeTextbase(int lines) {
  static const char* sections[] = {"Brides", "Grooms", "brdMos", "grmMos", "brdPas", "grmPas"};
  std::string text = "; a text base of many persons\r\nbride = Anna ! The bride\r\n";
  int n = 2;
  text += "[Groups]\r\nBrides = Brides {color=FF44DD}\r\n";
  n += 2;
  for (int s = 0; n < lines; s = (s + 1) % 6) {
    text += std::string("[") + sections[s] + "]\r\n";
    ++n;
    for (int k = 0; k < 200 && n < lines; ++k, ++n) {
      text += "P" + std::to_string(n) + " = Person " + std::to_string(n) + " ! A tip for person " +
              std::to_string(n) + " {hair=red; eyes=blue} <tall> : Family" + std::to_string(k % 7) +
              " \xA1 A longer story about this person and the family.\r\n";
    }
  }
  return text;
}

std::string TempFile(const std::string& name, const std::string& content) {
  const auto p = std::filesystem::temp_directory_path() / name;
  platform::SaveFileAtomically(p, content);
  return p.string();
}

void BM_LoadTextbase5000Lines(benchmark::State& state) {
  static const std::string path = TempFile("bench_textbase_5000.ini", MakeTextbase(5000));
  for (auto _ : state) {
    pellora::TextBase tb;
    tb.LoadTextbase(path);
    benchmark::DoNotOptimize(tb.Persons().data());
  }
}
BENCHMARK(BM_LoadTextbase5000Lines)->Unit(benchmark::kMillisecond);

void BM_ParsePersonLongLine(benchmark::State& state) {
  std::string line = "Long";
  while (line.size() < 100000) line += "{a=b}<c:d>x";
  for (auto _ : state) {
    pellora::TextBase tb;
    tb.ParsePerson(0, line, -1);
    benchmark::DoNotOptimize(tb.Persons().data());
  }
}
BENCHMARK(BM_ParsePersonLongLine)->Unit(benchmark::kMillisecond);

pellora::Statistics ThousandRecords() {
  pellora::Statistics st;
  for (int i = 0; i < 1000; ++i) {
    pellora::StatRecord r;
    pellora::BuildStatKey(pellora::StatKeyValues{52 + 52 * (i % 4), static_cast<uint32_t>(i / 4), 10, 10, 10, 16},
                          r.key);
    r.games = i;
    r.cardsLeft[0] = static_cast<float>(i % 50);
    st.Records().push_back(r);
  }
  return st;
}

void BM_SaveAndLoadStatistics1000(benchmark::State& state) {
  const auto path = (std::filesystem::temp_directory_path() / "bench_Sol040.Rnd").string();
  const pellora::Statistics source = ThousandRecords();
  for (auto _ : state) {
    source.SaveFile(path);
    pellora::Statistics loaded;
    loaded.LoadFile(path);
    benchmark::DoNotOptimize(loaded.Records().data());
  }
}
BENCHMARK(BM_SaveAndLoadStatistics1000)->Unit(benchmark::kMillisecond);

void BM_LoadStatistics1000(benchmark::State& state) {
  const auto path = (std::filesystem::temp_directory_path() / "bench_Sol040_load.Rnd").string();
  ThousandRecords().SaveFile(path);
  for (auto _ : state) {
    pellora::Statistics loaded;
    loaded.LoadFile(path);
    benchmark::DoNotOptimize(loaded.Records().data());
  }
}
BENCHMARK(BM_LoadStatistics1000)->Unit(benchmark::kMillisecond);

void BM_RecordResultGame(benchmark::State& state) {
  pellora::Statistics st = ThousandRecords();
  std::vector<pellora::StatSlot> slots(22, pellora::StatSlot{6, 3});
  pellora::StatTable table{1, pellora::StatKeyValues{208, 249, 10, 10, 10, 16}, 21, slots};
  for (auto _ : state) {
    table.gameState = 1;
    st.RecordResult(pellora::spDeal, table);
    table.gameState = 1 | 2;
    st.RecordResult(pellora::spBaseCleared, table);
    table.gameState = 1 | 2 | 8;
    st.RecordResult(pellora::spGameOver, table);
  }
}
BENCHMARK(BM_RecordResultGame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

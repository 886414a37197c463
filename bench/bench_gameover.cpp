// What a finished game costs the main window: reload the application ini,
// update the running averages, rank the result line into its variant's list
// and save the file, on an ini of 50 variants with 100 results each.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "foundation/ini.h"
#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "gravlo/window_factory.h"
#include "gravlo/main_window.h"
#include "gravlo/variantstats.h"
#include "bench/qt_bench.h"

namespace {

// 50 variants (the first is the engine's default one), each with its
// counters and averages and 100 result lines.
std::string BigIni(const std::string& defaultKey) {
  std::string text = "[Grv010]\r\npGrv.GameCols=10\r\n";
  for (int v = 0; v < 50; ++v) {
    const std::string key = v == 0 ? defaultKey : defaultKey + "_V" + std::to_string(v);
    text += "[AV" + key + "]\r\nGamesStarted=120\r\nGamesFinished=100\r\n";
    for (const char* name : {"Lines", "TimeUsed", "Interval", "Drops", "Bonuses", "BonusesUsed", "TimerResets",
                             "LinesRemoved", "LinesAdded"}) {
      text += std::string(name) + "=12.5\r\n";
    }
    text += "[WS" + key + "]\r\n";
    for (int r = 0; r < 100; ++r) {
      char line[200];
      std::snprintf(line, sizeof line,
                    "L%6d T%11s=Player %-23d | 2024-03-05 14:%02d:%02d |   2 |   995 |   120 |   1 |   1 |   0 |   0",
                    1000 - r * 7, "1,23.456", r % 20, r % 60, (r * 7) % 60);
      text += std::string(line) + "\r\n";
    }
  }
  return text;
}

void WriteIni(const std::string& text) {
  foundation::StringList lines;
  lines.SetText(text);
  lines.SaveToFile(foundation::AppIniFile);
}

// The whole update as the main window runs it at a game over, file included.
void BM_GameOverInWindow(benchmark::State& state) {
  QTemporaryDir dir;
  foundation::SetAppLocation(dir.path().toStdString(), "Gravlo");
  gravlo::TGrv010 window;
  gravlo::TGravlo& engine = window.Engine();
  WriteIni(BigIni(engine.VariantKey("")));
  window.Command(2);
  engine.Tick();
  for (auto _ : state) {
    engine.State = gravlo::StateFalling;
    engine.GameOver();  // the window files the game
  }
  foundation::LoadAppIni();
  state.counters["ini_lines"] = foundation::AppIni->Count();
}
BENCHMARK(BM_GameOverInWindow)->Unit(benchmark::kMillisecond);

// The same update on the lines in memory only.
void BM_GameOverInMemory(benchmark::State& state) {
  gravlo::TGravlo engine;
  engine.NewGame();
  engine.Tick();
  engine.GameOver();
  foundation::StringList ini;
  ini.SetText(BigIni(engine.VariantKey("")));
  const std::string av = engine.VariantKey("AV");
  const std::string ws = engine.VariantKey("WS");
  for (auto _ : state) {
    gravlo::UpdateAverages(ini, av, gravlo::SummaryOf(engine));
    gravlo::AddResultLine(ini, ws, engine.ResultLine("Bench"), 100);
  }
  state.counters["ini_lines"] = ini.Count();
}
BENCHMARK(BM_GameOverInMemory)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithQt(argc, argv, [] { gravlo::FreeSecondaryForms(); }); }

#pragma once
// The main routine of a benchmark that needs a Qt application: off screen
// unless the caller chose a platform, then every registered benchmark.
#include <benchmark/benchmark.h>

#include <QApplication>

namespace bench {

// Runs the benchmarks inside a QApplication; `atExit` runs before the
// application goes (for windows that must be freed while it exists).
template <class AtExit>
int RunWithQt(int argc, char** argv, AtExit atExit) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  atExit();
  return 0;
}

inline int RunWithQt(int argc, char** argv) {
  return RunWithQt(argc, argv, [] {});
}

}  // namespace bench

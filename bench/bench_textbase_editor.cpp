// Filling the text-base editor's tree with 5,000 entries of six kinds
// (target: under 100 ms), as Fill tree does at creation and after Copy.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <string>

#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "pellora/textbase.h"
#include "pellora/textbase_editor.h"
#include "bench/qt_bench.h"

namespace {

void BM_FillEditorTree5000(benchmark::State& state) {
  QTemporaryDir dir;
  foundation::SetAppLocation(dir.path().toStdString(), "Pellora20");
  foundation::LoadAppIni();
  pellora::TextBase tb;
  for (int i = 0; i < 5000; ++i) {
    const std::string n = std::to_string(i);
    tb.ParsePerson(i / 200 % 6, "P" + n + " = Person " + n + " ! A tip for person " + n + " {hair=red} <tall>", -1);
  }
  auto editor = std::make_unique<pellora::TSol048>(tb);
  editor->resize(760, 560);
  editor->show();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    editor->RunCommand(pellora::ecFillTree);
    // The tree as the screen gets it.
    editor->Tree()->repaint();
  }
  state.counters["nodes"] = editor->Tree()->topLevelItemCount();
  editor.reset();
}
BENCHMARK(BM_FillEditorTree5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithQt(argc, argv); }

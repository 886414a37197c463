// Sorting a report list of 10,000 rows by a right-aligned (numeric) column.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <random>
#include <string>

#include "foundation/listview.h"
#include "bench/qt_bench.h"

namespace {

void BM_ListViewSortNumeric(benchmark::State& state) {
  foundation::TListViewRx view;
  for (int tag : {1, 2, 3}) view.AddColumn()->SetTag(tag);
  view.Column(2)->SetAlignment(foundation::TAlignment::RightJustify);
  std::mt19937 rng(3);
  for (int i = 0; i < 10000; ++i) {
    const unsigned ms = rng() % 36000000u;
    const std::string time = std::to_string(ms / 3600000) + "," + std::to_string(ms / 60000 % 60 + 100).substr(1) +
                             "," + std::to_string(ms / 1000 % 60 + 100).substr(1) + "." +
                             std::to_string(ms % 1000 + 1000).substr(1);
    view.AddItem("Player " + std::to_string(rng() % 1000), {std::to_string(rng() % 100000), time});
  }
  for (auto _ : state) {
    view.ColumnClick(2);  // alternately ascending and descending: a full reorder each time
    benchmark::DoNotOptimize(view.Item(0));
  }
}
BENCHMARK(BM_ListViewSortNumeric)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithQt(argc, argv); }

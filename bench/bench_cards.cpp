// Drawing the 57 card pictures, which the card game does at every start.
#include <benchmark/benchmark.h>

#include "pellora/cards.h"

static void BM_MakeCardPictures(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<platform::Bitmap> pictures = pellora::MakeCardPictures();
    benchmark::DoNotOptimize(pictures.data());
  }
}
BENCHMARK(BM_MakeCardPictures)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

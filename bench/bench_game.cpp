// Speed of the card game's play without a window and without animations: a
// deal with its first evaluation (target: under 1 ms), a pair removal with
// its snapshot and evaluation, and one undo and redo step.
#include <benchmark/benchmark.h>

#include "pellora/game.h"
#include "pellora/recording_view.h"

namespace {

using namespace pellora;

struct Headless {
  TSolTbl table;
  RecordingView view;
  SolGame game{table, view, SharedCardPictures()};
  explicit Headless(uint16_t cards = 156) {
    table.Options.AnimBits = 0;
    table.Options.CardCount = cards;
    game.BuildBoard();
  }
  int FirstPair(int& b) const {
    for (int a = 0; a <= game.MaxSlot(); ++a)
      for (b = a + 1; b <= game.MaxSlot(); ++b)
        if (game.IsPair(a, b)) return a;
    return -1;
  }
};

void BM_DealAndEvaluate(benchmark::State& state) {
  Headless h(static_cast<uint16_t>(state.range(0)));
  for (auto _ : state) {
    h.game.Deal();
    h.view.Forget();
    benchmark::DoNotOptimize(h.table.Slot(0).Top);
  }
}
BENCHMARK(BM_DealAndEvaluate)->Arg(52)->Arg(156)->Arg(208)->Unit(benchmark::kMicrosecond);

void BM_RemovePairAndEvaluate(benchmark::State& state) {
  Headless h;
  h.table.Options.Attrib = rbOpenAllOnDeal;  // every omen open: many pairs
  h.game.Deal();
  for (auto _ : state) {
    int b = 0;
    const int a = h.FirstPair(b);
    if (a < 0) {
      state.PauseTiming();
      h.game.Deal();
      state.ResumeTiming();
      continue;
    }
    h.game.RemovePair(a, b, 0);
    h.game.Evaluate();
    h.view.Forget();
  }
}
BENCHMARK(BM_RemovePairAndEvaluate)->Unit(benchmark::kMicrosecond);

// Argument 1: on a board of 900 x 600 pixels, where every step lays the
// table out again (the pictures keep their size); 0: a board without a size.
void BM_UndoRedo(benchmark::State& state) {
  Headless h;
  if (state.range(0)) h.table.SetBoardSize(900, 600);
  h.table.Options.Attrib = rbOpenAllOnDeal;
  h.game.Deal();
  int b = 0;
  const int a = h.FirstPair(b);
  if (a >= 0) h.game.RemovePair(a, b, 0);
  for (auto _ : state) {
    h.game.Undo();
    h.game.Redo();
    h.view.Forget();
  }
}
BENCHMARK(BM_UndoRedo)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

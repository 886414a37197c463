// The card table: a resize (layout and the 57 pictures scaled), a full paint
// of the default board, a shuffle of four decks, and an undo snapshot and
// restore of the default table.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include "pellora/cards.h"
#include "pellora/table.h"

namespace {

using pellora::TSolTbl;

// The default board: six persons, sixteen omens, deck and removals, each
// with its label, the card pictures registered, cards dealt.
void DefaultBoard(TSolTbl& t) {
  static const auto cards = std::make_shared<pellora::SolImageList>(pellora::MakeCardPictures());
  t.ClearSlots();
  for (int i = 0; i < pellora::kCardPictureCount; ++i) t.AddPicture(cards, i, i);
  const int px[] = {348, 452, 228, 572, 124, 676};
  const int py[] = {267, 267, 246, 246, 246, 246};
  for (int i = 0; i < 6; ++i) {
    t.AddSlot(i, px[i], py[i], pellora::skPerson, 10, 0, "p" + std::to_string(i), "tip");
    t.AddLabel(i, px[i], py[i] == 267 ? 246 : 350, 100, 13, 0, 1, "l", "Person", "");
  }
  const int ox[] = {4, 108, 212, 332, 436, 540, 644, 748};
  for (int n = 1; n <= 16; ++n) {
    const int x = ox[(n - 1) % 8];
    const int y = n <= 8 ? 125 : 4;
    t.AddSlot(5 + n, x, y, pellora::skOmen, 0, 0, "Omen" + std::to_string(n), "a longer tip text of an omen");
    t.AddLabel(5 + n, x, y + 104, 100, 13, 0, 1, "l", "Omen", "");
  }
  t.MaxSlot = 21;
  t.AddSlot(22, 4, 262, pellora::skDeck, 0, 0, "Deck", "");
  t.AddSlot(23, 796, 262, pellora::skRemovals, 0, 0, "Rem", "");
  t.MaxWidth = 900;
  t.MaxHeight = 383;
  for (int i = 0; i < t.SlotCount(); ++i) {
    auto& s = t.Slot(i);
    s.Visible = 1;
    s.Cards.assign(12, 0);
    for (int k = 0; k < 12; ++k) s.Cards[static_cast<size_t>(k)] = static_cast<int16_t>((i * 12 + k) % 52 + 1);
    s.Top = 6;
    s.Picture = static_cast<int16_t>(i + 1);
    if (i < t.LabelCount()) t.Label(i).Visible = 1;
  }
}

void BM_Resize(benchmark::State& state) {
  TSolTbl t;
  DefaultBoard(t);
  const int w = static_cast<int>(state.range(0));
  const int h = static_cast<int>(state.range(1));
  // Each round one real change of size: the width alternates by a pixel.
  bool narrow = false;
  for (auto _ : state) {
    narrow = !narrow;
    t.SetBoardSize(narrow ? w - 1 : w, h);
  }
  state.SetLabel("per iteration: one DoLayout + ScalePictures");
}
BENCHMARK(BM_Resize)->Args({900, 600})->Args({2560, 1440})->Unit(benchmark::kMillisecond);

void BM_PaintTable(benchmark::State& state) {
  TSolTbl t;
  DefaultBoard(t);
  t.SetBoardSize(1920, 1080);
  platform::Bitmap screen(1920, 1080, platform::PixelFormat::Bit24);
  for (auto _ : state) {
    t.PaintTable(screen.GetCanvas());
    benchmark::DoNotOptimize(screen.Bits());
  }
}
BENCHMARK(BM_PaintTable)->Unit(benchmark::kMillisecond);

void BM_ShuffleCards208(benchmark::State& state) {
  TSolTbl t;
  std::vector<int16_t> deck(208);
  for (size_t i = 0; i < deck.size(); ++i) deck[i] = static_cast<int16_t>(i % 52 + 1);
  for (auto _ : state) {
    t.ShuffleCards(deck, 207, 0);
    benchmark::DoNotOptimize(deck.data());
  }
}
BENCHMARK(BM_ShuffleCards208)->Unit(benchmark::kMillisecond);

struct UndoTable {
  TSolTbl t;
  std::vector<uint8_t> record = std::vector<uint8_t>(945, 7);
  UndoTable() {
    DefaultBoard(t);
    t.OnSave = [this](TSolTbl& s, int8_t&) { s.UndoStream()->WriteBuffer(record.data(), record.size()); };
    t.OnLoad = [this](TSolTbl& s, int8_t&) { s.UndoStream()->ReadBuffer(record.data(), record.size()); };
    t.InitUndo(nullptr);
  }
};

void BM_SaveUndo(benchmark::State& state) {
  UndoTable u;
  for (auto _ : state) {
    u.t.SaveUndo();
    state.PauseTiming();
    if (u.t.UndoPos() > (1 << 20)) u.t.ClearUndo();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SaveUndo)->Unit(benchmark::kMicrosecond);

void BM_RestoreUndo(benchmark::State& state) {
  UndoTable u;
  u.t.SaveUndo();
  u.t.SaveUndo();
  u.t.StepUndo(true);  // now between two snapshots: each step restores one
  bool back = true;
  for (auto _ : state) {
    u.t.StepUndo(back);
    back = !back;
  }
}
BENCHMARK(BM_RestoreUndo)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // label texts need the fonts
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Speed of the falling-block engine's drawing: the whole board picture of a
// 100 x 100 board on a 1920 x 1080 panel, and one paint of the panel.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "foundation/random.h"
#include "gravlo/gravlo.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "bench/qt_bench.h"

namespace {

struct BigBoard {
  std::unique_ptr<gravlo::TGravlo> g;
  BigBoard() {
    g = std::make_unique<gravlo::TGravlo>();
    g->SetClientSize(1920, 1080);
    g->GameCols = 100;
    g->GameRows = 100;
    foundation::SetRandSeed(0x1234567u);
    g->NewGame();
    g->Tick();
    // About half the cells set, in the piece colours.
    for (int y = 30; y < g->RowCount(); ++y)
      for (int x = 0; x < g->PlayCols(); ++x)
        if (foundation::Random(2)) g->SetCell(x, y, gravlo::PieceColours()[static_cast<size_t>(foundation::Random(18))]);
  }
};

BigBoard& Board() {
  static BigBoard board;
  return board;
}

void BM_RenderBoard100x100At1920x1080(benchmark::State& state) {
  BigBoard& b = Board();
  for (auto _ : state) {
    b.g->RenderBoard();
    benchmark::DoNotOptimize(b.g->BoardBitmap().Bits());
  }
}
BENCHMARK(BM_RenderBoard100x100At1920x1080)->Unit(benchmark::kMillisecond);

void BM_PaintOntoBitmap(benchmark::State& state) {
  BigBoard& b = Board();
  platform::Bitmap target(1920, 1080, platform::PixelFormat::Bit32);
  platform::Canvas canvas(&target);
  for (auto _ : state) {
    b.g->Paint(canvas);
    benchmark::DoNotOptimize(target.Bits());
  }
}
BENCHMARK(BM_PaintOntoBitmap)->Unit(benchmark::kMillisecond);

// As in the window's paint event: a painter on a 32-bit backing image.
void BM_PaintThroughPainter(benchmark::State& state) {
  BigBoard& b = Board();
  QImage backing(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&backing);
    platform::Canvas canvas(&painter, platform::Rect{0, 0, 1920, 1080});
    b.g->Paint(canvas);
    benchmark::DoNotOptimize(backing.constBits());
  }
}
BENCHMARK(BM_PaintThroughPainter)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithQt(argc, argv); }

// One frame of a card flight on the main window's board at 1920 x 1080: the
// moving box is moved and the board repainted from its back image. Measured
// over whole flights across the board (no sleeps), reported per frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cmath>

#include "foundation/placement.h"
#include "foundation/sysinit.h"
#include "pellora/main_window.h"
#include "bench/qt_bench.h"

namespace {

void BM_FlightFrame1920(benchmark::State& state) {
  QTemporaryDir dir;
  foundation::SetAppLocation(dir.path().toStdString(), "Pellora20");
  foundation::SetPlacementDesktopOverride(QSize(1920, 1080));
  foundation::LoadAppIni();
  auto w = std::make_unique<pellora::TSol040>();
  uint64_t now = 0;
  w->Table().Timing.NowMs = [&now] { return now; };
  w->Table().Timing.SleepMs = [&now](uint32_t ms) { now += ms; };
  w->Table().Options.AnimBits = 0;
  w->resize(1920, 1080);
  w->show();
  QCoreApplication::processEvents();
  w->FormActivate();
  w->RunCommand(pellora::cmDeal);
  pellora::TSolTbl& t = w->Table();
  pellora::SolCardBox& box = w->MovingBox();
  box.SetVisible(true);
  const int from = 0, to = t.RemInd;
  const int speed = 150;  // pixels per second at 15 fps: 10 px a frame
  int64_t frames = 0;
  for (auto _ : state) {
    const platform::Rect r = t.Slot(from).Rect;
    box.SetBounds(r);
    const platform::Rect target = t.Slot(to).Rect;
    const double dx = target.left - r.left, dy = target.top - r.top;
    frames += static_cast<int64_t>(std::sqrt(dx * dx + dy * dy) / (speed / 15.0));
    t.AnimateMove(box, to, speed);
  }
  state.counters["frames"] = static_cast<double>(frames);
  state.counters["ms_per_frame"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["board_w"] = t.BoardWidth();
  state.counters["board_h"] = t.BoardHeight();
  w.reset();
  foundation::SetPlacementDesktopOverride(QSize());
}
BENCHMARK(BM_FlightFrame1920)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithQt(argc, argv); }

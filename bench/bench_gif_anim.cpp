// The animation painter: one 640 x 480 frame composed and shown into the
// cached bitmap; and, on the real clock and event loop, how well 50 frames
// of 5 units keep time and how much processor time a 640 x 480 animation of
// 2-unit frames takes while it plays (counters: elapsed_ms, cpu_percent).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <ctime>
#include <memory>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/painter.h"

namespace {

std::unique_ptr<gif::TGIFImage> Animation(int w, int h, int frames, int delay, int loops) {
  auto image = std::make_unique<gif::TGIFImage>();
  image->SetScreenSize(w, h);
  for (int c = 0; c < 256; ++c) image->GlobalMapOf().AddColour(platform::RGBColor(c, 255 - c, (c * 7) & 255));
  for (int f = 0; f < frames; ++f) {
    auto* frame = new gif::TGIFSubImage(image.get());
    frame->SetFrameBounds(0, 0, w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) frame->PixelAt(x, y) = static_cast<std::uint8_t>((x + y + f * 8) & 255);
    auto* control = new gif::TGIFGraphicControlExtension(frame);
    frame->Extensions().AddItem(control);
    control->SetDelayTime(delay);
    control->SetDisposalMethod(f % 2 ? 2 : 1);
    if (f == 0 && loops >= 0) {
      auto* loop = new gif::TGIFAppExtNSLoop(frame);
      loop->LoopCount = static_cast<std::uint16_t>(loops);
      frame->Extensions().AddItem(loop);
    }
    image->AddFrame(frame);
  }
  return image;
}

class FreeClock : public gif::PainterClock {
 public:
  std::int64_t NowMs() override { return now; }
  void SleepMs(int ms) override { now += ms; }
  std::int64_t now = 0;
};

void BM_ComposeAndShow640x480(benchmark::State& state) {
  auto image = Animation(640, 480, 4, 2, 0);
  platform::Bitmap target(640, 480);
  FreeClock clock;
  gif::TGIFPainter painter(*image, gif::dpThreaded | gif::dpAnimate | gif::dpRepeat | gif::dpTransparent,
                           platform::Rect{0, 0, 640, 480}, nullptr, &target, nullptr, clock);
  int frames = 0;
  painter.OnFramePainted = [&](gif::TGIFPainter&) { ++frames; };
  for (auto _ : state) {
    const int before = frames;
    while (frames == before) clock.now += std::max(0, painter.Advance());
  }
  state.SetItemsProcessed(frames);
}
BENCHMARK(BM_ComposeAndShow640x480)->Unit(benchmark::kMillisecond);

// Plays on the event loop until the painter ends or seconds pass.
void Play(gif::TGIFImage& image, double seconds, double& elapsedMs, double& cpuPercent) {
  int argc = 1;
  char name[] = "bench";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  platform::Bitmap target(image.Width(), image.Height());
  gif::TGIFPainter* ref = nullptr;
  gif::TGIFPainter* painter = image.NewPainter(&ref, nullptr, gif::dpThreaded | gif::dpAnimate | gif::dpRepeat,
                                               platform::Rect{0, 0, image.Width(), image.Height()}, &target);
  QElapsedTimer timer;
  const std::clock_t cpu0 = std::clock();
  timer.start();
  painter->StartPainter();
  while (!painter->Finished() && timer.elapsed() < seconds * 1000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  elapsedMs = static_cast<double>(timer.elapsed());
  cpuPercent = 100.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC / (elapsedMs / 1000.0);
  image.StopPainters();
}

void BM_TimingOf50FramesOf5Units(benchmark::State& state) {
  auto image = Animation(16, 16, 50, 5, 1);
  double ms = 0, cpu = 0;
  for (auto _ : state) Play(*image, 10, ms, cpu);
  state.counters["elapsed_ms"] = ms;
  state.counters["cpu_percent"] = cpu;
}
BENCHMARK(BM_TimingOf50FramesOf5Units)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_CpuOf640x480At2Units(benchmark::State& state) {
  auto image = Animation(640, 480, 8, 2, 0);
  double ms = 0, cpu = 0;
  for (auto _ : state) Play(*image, 10, ms, cpu);
  state.counters["elapsed_ms"] = ms;
  state.counters["cpu_percent"] = cpu;
}
BENCHMARK(BM_CpuOf640x480At2Units)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

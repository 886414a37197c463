// Frames made from 1920 x 1080 bitmaps of at most 256 colours: a 24-bit
// picture imported without reduction (each colour found through the
// colour-to-index table) and an 8-bit one taken index for index. Optimize
// of an animation of 200 frames of 640 x 480 with every pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "platform/bitmap.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Runs of 1 to 16 pixels of 256 random colours, as in a picture already
// reduced.
platform::Bitmap MakeSource(platform::PixelFormat format) {
  std::mt19937 rng(17);
  platform::Palette colours(256);
  for (auto& c : colours) c = rng() & 0xFFFFFF;
  platform::Bitmap b(kWidth, kHeight, format);
  if (format == platform::PixelFormat::Bit8) b.SetPalette(colours);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < kWidth;) {
      const int run = 1 + static_cast<int>(rng() % 16);
      const int index = static_cast<int>(rng() % 256);
      for (int k = 0; k < run && x < kWidth; ++k, ++x) {
        if (format == platform::PixelFormat::Bit8) {
          row[x] = static_cast<std::uint8_t>(index);
        } else {
          const platform::Color c = colours[static_cast<std::size_t>(index)];
          row[x * 3] = static_cast<std::uint8_t>(platform::GetBValue(c));
          row[x * 3 + 1] = static_cast<std::uint8_t>(platform::GetGValue(c));
          row[x * 3 + 2] = static_cast<std::uint8_t>(platform::GetRValue(c));
        }
      }
    }
  }
  return b;
}

void BM_Import24BitOf256Colours(benchmark::State& state) {
  const platform::Bitmap source = MakeSource(platform::PixelFormat::Bit24);
  gif::TGIFImage image;
  image.ReductionMethod = static_cast<std::uint8_t>(gif::ColorReduction::None);
  for (auto _ : state) {
    gif::TGIFSubImage frame(&image);
    frame.Assign(source);
    benchmark::DoNotOptimize(frame.Pixels());
  }
}
BENCHMARK(BM_Import24BitOf256Colours)->Unit(benchmark::kMillisecond);

void BM_Import8Bit(benchmark::State& state) {
  const platform::Bitmap source = MakeSource(platform::PixelFormat::Bit8);
  gif::TGIFImage image;
  for (auto _ : state) {
    gif::TGIFSubImage frame(&image);
    frame.Assign(source);
    benchmark::DoNotOptimize(frame.Pixels());
  }
}
BENCHMARK(BM_Import8Bit)->Unit(benchmark::kMillisecond);

// 200 full-screen frames on a global map of 256 colours; each repeats the
// one before but for a moving square, the way screen recordings look.
void MakeAnimation(gif::TGIFImage& image) {
  constexpr int w = 640;
  constexpr int h = 480;
  image.SetScreenSize(w, h);
  std::mt19937 rng(5);
  for (int i = 0; i < 256; ++i) image.GlobalMapOf().AddColour(rng() & 0xFFFFFF);
  std::vector<std::uint8_t> screen(static_cast<std::size_t>(w) * h);
  for (auto& v : screen) v = static_cast<std::uint8_t>(rng() % 200);
  for (int f = 0; f < 200; ++f) {
    const int x0 = (f * 13) % (w - 64);
    const int y0 = (f * 7) % (h - 64);
    for (int y = y0; y < y0 + 64; ++y)
      for (int x = x0; x < x0 + 64; ++x) screen[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(f);
    auto frame = std::make_unique<gif::TGIFSubImage>(&image);
    frame->SetFrameBounds(0, 0, w, h);
    std::copy(screen.begin(), screen.end(), frame->Pixels());
    auto* control = new gif::TGIFGraphicControlExtension(frame.get());
    frame->Extensions().AddItem(control);
    control->SetDelayTime(4);
    image.AddFrame(frame.release());
  }
}

void BM_Optimize200Frames640x480(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto image = std::make_unique<gif::TGIFImage>();
    MakeAnimation(*image);
    state.ResumeTiming();
    image->Optimize(gif::opCropFrames | gif::opMergeFrames | gif::opCleanup | gif::opSortColourMaps, 0);
    benchmark::DoNotOptimize(image->FrameCount());
    state.PauseTiming();
    image.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Optimize200Frames640x480)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
BENCHMARK_MAIN();

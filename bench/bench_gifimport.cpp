// Frames made from 1920 x 1080 bitmaps of at most 256 colours: a 24-bit
// picture imported without reduction (each colour found through the
// colour-to-index table) and an 8-bit one taken index for index.
#include <benchmark/benchmark.h>

#include <random>

#include "picture-codecs/gif/gif.h"
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

}  // namespace
BENCHMARK_MAIN();

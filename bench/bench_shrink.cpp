// ShrinkBitmap of a 4000 x 3000 picture to card size and to half size,
// against ImageMagick's area-averaging -scale of the same picture (run as a
// program, so its time includes reading and writing the PPM; the plain
// convert without -scale is measured too, to show that part).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "pellora-lib/shrink.h"

namespace {

const platform::Bitmap& Source() {
  static const platform::Bitmap source = [] {
    platform::Bitmap b(4000, 3000, platform::PixelFormat::Bit24);
    std::mt19937 gen(2);
    for (int y = 0; y < b.Height(); ++y) {
      uint8_t* p = b.ScanLine(y);
      for (int x = 0; x < b.Width() * 3; ++x) p[x] = static_cast<uint8_t>((x / 3 + y) ^ (gen() & 31));
    }
    return b;
  }();
  return source;
}

std::string Dir() {
  static const std::string dir = [] {
    std::string d = (std::filesystem::temp_directory_path() / ("bench_shrink_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(d);
    const platform::Bitmap& b = Source();
    std::ofstream out(d + "/in.ppm", std::ios::binary);
    out << "P6\n" << b.Width() << " " << b.Height() << "\n255\n";
    std::string row(static_cast<size_t>(b.Width()) * 3, '\0');
    for (int y = 0; y < b.Height(); ++y) {
      const uint8_t* p = b.ScanLine(y);
      for (int x = 0; x < b.Width(); ++x) {
        row[3 * x] = static_cast<char>(p[3 * x + 2]);
        row[3 * x + 1] = static_cast<char>(p[3 * x + 1]);
        row[3 * x + 2] = static_cast<char>(p[3 * x]);
      }
      out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return d;
  }();
  return dir;
}

void BM_ShrinkBitmap(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0));
  const int h = static_cast<int>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    platform::Bitmap b = Source();
    state.ResumeTiming();
    pellora::ShrinkBitmap(b, w, h);
    benchmark::DoNotOptimize(b.Bits());
  }
}
BENCHMARK(BM_ShrinkBitmap)->Args({71, 96})->Args({2000, 1500})->Unit(benchmark::kMillisecond);

// Debian's ImageMagick, else whichever convert the path offers.
const std::string& Convert() {
  static const std::string convert = [] {
    for (const char* candidate : {"/usr/bin/convert", "convert"})
      if (std::system((std::string(candidate) + " -version > /dev/null 2>&1").c_str()) == 0) return std::string(candidate);
    return std::string();
  }();
  return convert;
}

bool dirMade = false;

void BM_ImageMagickScale(benchmark::State& state) {
  if (Convert().empty()) {
    state.SkipWithError("ImageMagick is not installed");
    return;
  }
  const std::string dir = Dir();
  dirMade = true;
  std::string cmd = Convert() + " " + dir + "/in.ppm ";
  if (state.range(0) > 0) cmd += "-scale " + std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)) + "! ";
  cmd += dir + "/out.ppm";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("convert failed");
      return;
    }
  }
}
BENCHMARK(BM_ImageMagickScale)->Args({71, 96})->Args({2000, 1500})->Args({0, 0})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Source();  // made once, before anything is timed
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  if (dirMade) std::filesystem::remove_all(Dir(), ec);  // never made just to be removed
  return 0;
}

// Colour reduction of photo-like pictures of 1 and 12 megapixels to 256
// colours: our octree with error diffusion (and other methods) against
// Pillow's diffusing path on the same picture, a FASTOCTREE palette and then
// quantize(palette=..., dither=FLOYDSTEINBERG), run by gifcolour_pillow.py
// beside this program. Pillow's time is measured inside its own process
// around those two calls alone (no start-up, no file reading), a few runs
// once per size. Both sides run on one thread; ours_over_theirs is the
// median of our runs' processor time over the median of Pillow's, which
// other work on a shared machine disturbs far less than wall time (their
// ratio is wall_ours_over_theirs). mse_ours and mse_pillow are the mean
// squared channel errors of the two reduced pictures against the source.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench/compare.h"
#include "picture-codecs/gif/photo_sample.h"
#include "picture-codecs/gif/reduce.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPillowRuns = 5;

const platform::Bitmap& Source(int megapixels) {
  static std::map<int, platform::Bitmap> cache;
  auto it = cache.find(megapixels);
  if (it == cache.end()) {
    const int w = megapixels == 1 ? 1000 : 4000;
    const int h = megapixels == 1 ? 1000 : 3000;
    it = cache.emplace(megapixels, gif::sample::PhotoLikeBitmap(w, h)).first;
  }
  return it->second;
}

const fs::path& Dir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("veltrano_bench_gifcolour_" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// The mean squared channel error of a reduced picture against the source;
// colourOf(x, y, rgb) gives the reduced pixel's red, green and blue.
template <typename ColourOf>
double MeanSquaredError(const platform::Bitmap& source, ColourOf colourOf) {
  double sum = 0;
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* bgr = source.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x, bgr += 3) {
      std::uint8_t rgb[3];
      colourOf(x, y, rgb);
      const int dr = rgb[0] - bgr[2], dg = rgb[1] - bgr[1], db = rgb[2] - bgr[0];
      sum += dr * dr + dg * dg + db * db;
    }
  }
  return sum / (3.0 * source.Width() * source.Height());
}

double MeanSquaredErrorOfReduced(const platform::Bitmap& source, const platform::Bitmap& reduced) {
  const platform::Palette palette = reduced.GetPalette();
  return MeanSquaredError(source, [&](int x, int y, std::uint8_t* rgb) {
    const platform::Color c = palette[reduced.ScanLine(y)[x]];
    rgb[0] = static_cast<std::uint8_t>(platform::GetRValue(c));
    rgb[1] = static_cast<std::uint8_t>(platform::GetGValue(c));
    rgb[2] = static_cast<std::uint8_t>(platform::GetBValue(c));
  });
}

// Pillow's runs on one picture size, made once per program run.
struct PillowResult {
  std::vector<double> seconds;  // processor time
  std::vector<double> wall;
  double mse = 0;
  std::string error;
};

const PillowResult& Pillow(int megapixels) {
  static std::map<int, PillowResult> cache;
  auto it = cache.find(megapixels);
  if (it != cache.end()) return it->second;
  PillowResult& result = cache[megapixels];
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) {
    result.error = "no /usr/bin/python3 with Pillow";
    return result;
  }
  const std::string tag = std::to_string(megapixels);
  const fs::path picture = Dir() / ("photo" + tag + ".bmp");
  const fs::path times = Dir() / ("pillow_seconds" + tag + ".txt");
  const fs::path reduced = Dir() / ("pillow" + tag + ".rgb");
  platform::Bitmap copy = Source(megapixels);
  copy.SaveToFile(picture.string());
  const std::string command = "/usr/bin/python3 '" VELTRANO_GIFCOLOUR_PILLOW "' '" + picture.string() + "' " +
                              std::to_string(kPillowRuns) + " '" + times.string() + "' '" + reduced.string() + "'";
  if (std::system(command.c_str()) != 0) {
    result.error = "Pillow failed";
    return result;
  }
  std::ifstream in(times);
  for (double s, w; in >> s >> w;) {
    result.seconds.push_back(s);
    result.wall.push_back(w);
  }
  std::ifstream raw(reduced, std::ios::binary);
  const std::vector<char> rgb{std::istreambuf_iterator<char>(raw), std::istreambuf_iterator<char>()};
  const platform::Bitmap& source = Source(megapixels);
  const std::size_t width = static_cast<std::size_t>(source.Width());
  if (result.seconds.size() != kPillowRuns || rgb.size() != width * static_cast<std::size_t>(source.Height()) * 3) {
    result.error = "Pillow's output unreadable";
    return result;
  }
  result.mse = MeanSquaredError(source, [&](int x, int y, std::uint8_t* out) {
    const char* p = rgb.data() + (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 3;
    for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(p[c]);
  });
  return result;
}

void Reduce(benchmark::State& state, gif::ColorReduction method, gif::DitherMode dither) {
  const platform::Bitmap& source = Source(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    platform::Bitmap reduced = gif::ReduceBitmapColours(source, method, dither, nullptr, 8);
    benchmark::DoNotOptimize(reduced.Bits());
  }
}

// Ours with Floyd-Steinberg diffusion, beside Pillow's diffusing path.
void BM_OctreeFloydSteinberg(benchmark::State& state) {
  const int megapixels = static_cast<int>(state.range(0));
  const platform::Bitmap& source = Source(megapixels);
  const PillowResult& pillow = Pillow(megapixels);
  std::vector<double> ours, oursWall;
  platform::Bitmap reduced;
  for (auto _ : state) {
    reduced = platform::Bitmap();
    const double start = bench::ThreadSeconds();
    const auto wall = std::chrono::steady_clock::now();
    reduced = gif::ReduceBitmapColours(source, gif::ColorReduction::Quantize, gif::DitherMode::FloydSteinberg,
                                       nullptr, 8);
    ours.push_back(bench::ThreadSeconds() - start);
    oursWall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
    benchmark::DoNotOptimize(reduced.Bits());
  }
  state.counters["mse_ours"] = MeanSquaredErrorOfReduced(source, reduced);
  if (pillow.error.empty()) {
    state.counters["ours_over_theirs"] = bench::Median(ours) / bench::Median(pillow.seconds);
    state.counters["wall_ours_over_theirs"] = bench::Median(oursWall) / bench::Median(pillow.wall);
    state.counters["mse_pillow"] = pillow.mse;
  }
}
void BM_OctreeNearest(benchmark::State& state) {
  Reduce(state, gif::ColorReduction::Quantize, gif::DitherMode::Nearest);
}
void BM_OctreeStucki(benchmark::State& state) { Reduce(state, gif::ColorReduction::Quantize, gif::DitherMode::Stucki); }
void BM_WebFloydSteinberg(benchmark::State& state) {
  Reduce(state, gif::ColorReduction::Netscape, gif::DitherMode::FloydSteinberg);
}

// Pillow's runs of the comparison above, one an iteration, by processor time.
void BM_PillowFloydSteinberg(benchmark::State& state) {
  const PillowResult& pillow = Pillow(static_cast<int>(state.range(0)));
  if (!pillow.error.empty()) {
    state.SkipWithError(pillow.error.c_str());
    return;
  }
  std::size_t run = 0;
  for (auto _ : state) state.SetIterationTime(pillow.seconds[run++ % pillow.seconds.size()]);
  state.counters["mse_pillow"] = pillow.mse;
}

BENCHMARK(BM_OctreeFloydSteinberg)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PillowFloydSteinberg)
    ->Arg(1)
    ->Arg(12)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kPillowRuns);
BENCHMARK(BM_OctreeNearest)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OctreeStucki)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebFloydSteinberg)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(Dir(), ignored);
  return 0;
}

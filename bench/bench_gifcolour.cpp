// Colour reduction of photo-like pictures of 1 and 12 megapixels to 256
// colours: our octree with error diffusion (and other methods) against
// Pillow's quantize(256, FASTOCTREE, FLOYDSTEINBERG) of the same picture.
// Pillow's time is measured inside its own process around the quantize
// call alone (no start-up, no file reading).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "picture-codecs/gif/reduce.h"
#include "picture-codecs/gif/photo_sample.h"

namespace {

namespace fs = std::filesystem;

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

void Reduce(benchmark::State& state, gif::ColorReduction method, gif::DitherMode dither) {
  const platform::Bitmap& source = Source(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    platform::Bitmap reduced = gif::ReduceBitmapColours(source, method, dither, nullptr, 8);
    benchmark::DoNotOptimize(reduced.Bits());
  }
}

void BM_OctreeFloydSteinberg(benchmark::State& state) {
  Reduce(state, gif::ColorReduction::Quantize, gif::DitherMode::FloydSteinberg);
}
void BM_OctreeNearest(benchmark::State& state) {
  Reduce(state, gif::ColorReduction::Quantize, gif::DitherMode::Nearest);
}
void BM_OctreeStucki(benchmark::State& state) { Reduce(state, gif::ColorReduction::Quantize, gif::DitherMode::Stucki); }
void BM_WebFloydSteinberg(benchmark::State& state) {
  Reduce(state, gif::ColorReduction::Netscape, gif::DitherMode::FloydSteinberg);
}

void BM_PillowFastOctree(benchmark::State& state) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) {
    state.SkipWithError("no Python with Pillow");
    return;
  }
  const int mp = static_cast<int>(state.range(0));
  const std::string picture = (Dir() / ("photo" + std::to_string(mp) + ".bmp")).string();
  if (!fs::exists(picture)) {
    platform::Bitmap copy = Source(mp);
    copy.SaveToFile(picture);
  }
  const std::string script = (Dir() / "time.py").string();
  std::ofstream(script) << "import sys, time\n"
                           "from PIL import Image\n"
                           "src = Image.open(sys.argv[1]).convert('RGB')\n"
                           "t = time.perf_counter()\n"
                           "src.quantize(256, method=Image.Quantize.FASTOCTREE, dither=Image.Dither.FLOYDSTEINBERG)\n"
                           "open(sys.argv[2], 'w').write(repr(time.perf_counter() - t))\n";
  const std::string out = (Dir() / "seconds.txt").string();
  const std::string command = "/usr/bin/python3 " + script + " " + picture + " " + out;
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("Pillow failed");
      return;
    }
    double seconds = 0;
    std::ifstream(out) >> seconds;
    state.SetIterationTime(seconds);
  }
}

BENCHMARK(BM_OctreeFloydSteinberg)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OctreeNearest)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OctreeStucki)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebFloydSteinberg)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PillowFastOctree)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(Dir(), ignored);
  return 0;
}

// Targa reading and writing of 4096 x 4096 24-bit pictures, noise and flat,
// plain and run-length. The files stay in VELTRANO_BENCH_TARGA_DIR (default:
// the temporary folder's veltrano_bench_targa/) so that Pillow's
// Image.open(f).load() can be timed on the same files outside this program
// (bench/targa_pillow.py).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "picture-codecs/targa/targa.h"
#include "platform/stream.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSide = 4096;

enum Content { kNoise = 0, kFlat = 1 };

fs::path Dir() {
  const char* env = std::getenv("VELTRANO_BENCH_TARGA_DIR");
  const fs::path dir = env ? fs::path(env) : fs::temp_directory_path() / "veltrano_bench_targa";
  fs::create_directories(dir);
  return dir;
}

codecs::TTarga& Picture(Content content) {
  static codecs::TTarga pictures[2];
  codecs::TTarga& t = pictures[content];
  if (t.Empty()) {
    t.ImageBitmap.SetSize(kSide, kSide);
    std::mt19937 rng(7);
    for (int y = 0; y < kSide; ++y) {
      std::uint8_t* p = t.ImageBitmap.ScanLine(y);
      for (int x = 0; x < kSide; ++x, p += 4) {
        const std::uint32_t v = content == kNoise ? rng() : 0x336699;
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
      }
    }
  }
  return t;
}

std::string File(Content content, bool rle) {
  const std::string path =
      (Dir() / (std::string(content == kNoise ? "noise" : "flat") + (rle ? "_rle" : "_plain") + ".tga")).string();
  if (!fs::exists(path)) {
    codecs::TTarga& t = Picture(content);
    t.ImageFormat = rle ? codecs::TTarga::kRleTrueColour : codecs::TTarga::kTrueColour;
    t.DepthCode = codecs::TTarga::kDepth24;
    t.SaveToFile(path);
  }
  return path;
}

void BM_Ours_Load(benchmark::State& state) {
  const std::string path = File(static_cast<Content>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    codecs::TTarga t;
    t.LoadFromFile(path);
    benchmark::DoNotOptimize(t.ImageBitmap.ScanLine(0)[0]);
  }
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 3);
}

void BM_Ours_Save(benchmark::State& state) {
  codecs::TTarga& t = Picture(static_cast<Content>(state.range(0)));
  t.ImageFormat = state.range(1) ? codecs::TTarga::kRleTrueColour : codecs::TTarga::kTrueColour;
  t.DepthCode = codecs::TTarga::kDepth24;
  for (auto _ : state) {
    platform::MemoryStream out;
    t.SaveToStream(out);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 3);
}

// Arguments: content (0 noise, 1 flat), run-length (0, 1).
BENCHMARK(BM_Ours_Load)->ArgsProduct({{kNoise, kFlat}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Save)->ArgsProduct({{kNoise, kFlat}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

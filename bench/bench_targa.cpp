// Targa coding of a 4000 x 3000 photo-like picture (a quarter of it one flat
// colour, so that run-length packets of both kinds occur) against Pillow,
// in memory: ours and Pillow's Image.open(BytesIO).load() / save(BytesIO)
// alternate on one core (bench/targa_pillow.py runs beside this program),
// each in CPU time. The files stay in VELTRANO_BENCH_TARGA_DIR (default: the
// temporary folder's veltrano_bench_targa/).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/compare.h"
#include "picture-codecs/gif/photo_sample.h"
#include "picture-codecs/targa/targa.h"
#include "platform/stream.h"

#ifndef VELTRANO_BENCH_DIR
#define VELTRANO_BENCH_DIR "bench"
#endif

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 4000, kHeight = 3000;

fs::path Dir() {
  const char* env = std::getenv("VELTRANO_BENCH_TARGA_DIR");
  const fs::path dir = env ? fs::path(env) : fs::temp_directory_path() / "veltrano_bench_targa";
  fs::create_directories(dir);
  return dir;
}

// The picture with alpha (a ramp across) or without.
codecs::TTarga& Picture(bool alpha) {
  static codecs::TTarga pictures[2];
  codecs::TTarga& t = pictures[alpha];
  if (t.Empty()) {
    const platform::Bitmap photo = gif::sample::PhotoLikeBitmap(kWidth, kHeight);
    t.ImageBitmap.SetSize(kWidth, kHeight);
    t.AlphaBitmap.SetSize(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* s = photo.ScanLine(y);
      std::uint8_t* p = t.ImageBitmap.ScanLine(y);
      std::uint8_t* a = t.AlphaBitmap.ScanLine(y);
      for (int x = 0; x < kWidth; ++x, s += 3, p += 4, a += 4) {
        const bool flat = x < kWidth / 2 && y >= kHeight / 2;
        p[0] = flat ? 0x33 : s[0];
        p[1] = flat ? 0x66 : s[1];
        p[2] = flat ? 0x99 : s[2];
        if (alpha) a[0] = a[1] = a[2] = static_cast<std::uint8_t>(x * 255 / (kWidth - 1));
      }
    }
  }
  return t;
}

void SetKind(codecs::TTarga& t, bool rle, bool alpha) {
  t.ImageFormat = rle ? codecs::TTarga::kRleTrueColour : codecs::TTarga::kTrueColour;
  t.DepthCode = alpha ? codecs::TTarga::kDepth32 : codecs::TTarga::kDepth24;
}

std::string Name(bool rle, bool alpha) {
  return std::string(alpha ? "rgba32" : "rgb24") + (rle ? "_rle" : "_raw") + ".tga";
}

// The file of a kind, written by us once.
std::string File(bool rle, bool alpha) {
  const std::string path = (Dir() / Name(rle, alpha)).string();
  if (!fs::exists(path)) {
    codecs::TTarga& t = Picture(alpha);
    SetKind(t, rle, alpha);
    platform::MemoryStream bytes;
    t.SaveToStream(bytes);
    bytes.SaveToFile(path);
  }
  return path;
}

bench::PythonHelper& Pillow() {
  static bench::PythonHelper helper(VELTRANO_BENCH_DIR "/targa_pillow.py");
  return helper;
}

void Compare(benchmark::State& state, const std::string& command, auto&& ours) {
  if (!Pillow().Ok()) {
    state.SkipWithError("no /usr/bin/python3 with Pillow");
    return;
  }
  if (Pillow().Seconds(command) < 0) {  // also reads the file once
    state.SkipWithError(("Pillow failed: " + Pillow().Ask(command)).c_str());
    return;
  }
  bench::Alternate(state, ours, [&](bench::Comparison& c) { c.TheirsTook(Pillow().Seconds(command)); });
  state.SetBytesProcessed(state.iterations() * kWidth * kHeight * (state.range(1) ? 4 : 3));
}

// Arguments: run-length (0, 1), alpha (0: 24 bits, 1: 32 bits).
void BM_EncodeVsPillow(benchmark::State& state) {
  const bool rle = state.range(0) != 0, alpha = state.range(1) != 0;
  const std::string path = File(rle, alpha);
  codecs::TTarga& t = Picture(alpha);
  SetKind(t, rle, alpha);
  Compare(state, "encode " + path + (rle ? " 1" : " 0"), [&] {
    platform::MemoryStream out;
    t.SaveToStream(out);
    benchmark::DoNotOptimize(out.Bytes().data());
  });
}

void BM_DecodeVsPillow(benchmark::State& state) {
  const bool rle = state.range(0) != 0, alpha = state.range(1) != 0;
  const std::string path = File(rle, alpha);
  platform::MemoryStream in;
  in.LoadFromFile(path);
  Compare(state, "decode " + path, [&] {
    in.SetPosition(0);
    codecs::TTarga t;
    t.LoadFromStream(in);
    benchmark::DoNotOptimize(t.ImageBitmap.ScanLine(0)[0]);
  });
}

constexpr int kRounds = 9;
BENCHMARK(BM_EncodeVsPillow)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Iterations(kRounds)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeVsPillow)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(kRounds)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// JPEG coding of a 4000 x 3000 photo-like picture: our picture class against
// djpeg and cjpeg of the same libjpeg, file to file (the tools' times include
// starting the process and writing their output to /dev/null).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/jpeg.h"
#include "platform/stream.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 4000, kHeight = 3000, kQuality = 90;

const platform::Bitmap& Source() {
  static const platform::Bitmap bitmap = [] {
    platform::Bitmap b(kWidth, kHeight, platform::PixelFormat::Bit24);
    std::mt19937 rng(1);
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* p = b.ScanLine(y);
      for (int x = 0; x < kWidth; ++x, p += 3) {
        const int noise = static_cast<int>(rng() % 17) - 8;
        p[0] = static_cast<std::uint8_t>(std::clamp(128 + static_cast<int>(100 * std::sin(x / 97.0 + y / 53.0)) + noise, 0, 255));
        p[1] = static_cast<std::uint8_t>(std::clamp(y * 255 / kHeight + noise, 0, 255));
        p[2] = static_cast<std::uint8_t>(std::clamp(x * 255 / kWidth + noise, 0, 255));
      }
    }
    return b;
  }();
  return bitmap;
}

const fs::path& Dir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("veltrano_bench_jpeg_" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::string JpegFile() {
  static const std::string path = [] {
    const std::string p = (Dir() / "picture.jpg").string();
    const auto bytes = platform::JpegImage::Encode(Source(), kQuality);
    platform::MemoryStream(bytes).SaveToFile(p);
    return p;
  }();
  return path;
}

std::string PpmFile() {
  static const std::string path = [] {
    const std::string p = (Dir() / "picture.ppm").string();
    platform::FileStream f(p, platform::FileStream::Mode::Create);
    const std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    f.WriteBuffer(header.data(), header.size());
    std::vector<std::uint8_t> row(static_cast<std::size_t>(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* line = Source().ScanLine(y);
      for (int x = 0; x < kWidth * 3; x += 3) {
        row[static_cast<std::size_t>(x)] = line[x + 2];
        row[static_cast<std::size_t>(x) + 1] = line[x + 1];
        row[static_cast<std::size_t>(x) + 2] = line[x];
      }
      f.WriteBuffer(row.data(), row.size());
    }
    return p;
  }();
  return path;
}

void BM_DecodeOurs(benchmark::State& state) {
  const std::string file = JpegFile();
  for (auto _ : state) {
    platform::JpegImage image;
    image.LoadFromFile(file);
    benchmark::DoNotOptimize(image.GetBitmap().Bits());
  }
}

void BM_DecodeDjpeg(benchmark::State& state) {
  const std::string command = "djpeg -outfile /dev/null " + JpegFile();
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg failed or is missing");
}

void BM_EncodeOurs(benchmark::State& state) {
  const std::string out = (Dir() / "ours.jpg").string();
  platform::JpegImage image;
  image.Assign(Source());
  image.SetCompressionQuality(kQuality);
  for (auto _ : state) {
    image.SetCompressionQuality(kQuality == 1 ? 2 : 1);  // forget the last encoding
    image.SetCompressionQuality(kQuality);
    image.SaveToFile(out);
  }
}

void BM_EncodeCjpeg(benchmark::State& state) {
  const std::string command = "cjpeg -quality " + std::to_string(kQuality) + " -outfile /dev/null " + PpmFile();
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("cjpeg failed or is missing");
}

BENCHMARK(BM_DecodeOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DecodeDjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_EncodeOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_EncodeCjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  JpegFile();
  PpmFile();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(Dir(), ignored);
  return 0;
}

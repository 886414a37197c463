// TIFF reading of a 4096 x 4096 RGB picture, LZW with the horizontal
// predictor, as one strip and as strips of 64 rows: our reader (from a file
// image and from a seeking stream) against a loop of libtiff's
// TIFFReadEncodedStrip over the same file. libtiff is linked here only, as
// the comparator; it also writes the files. Ours and libtiff alternate on
// one core, each timed in CPU time (ours_over_theirs: the ratio of the
// medians).
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/compare.h"
#include "picture-codecs/tiff/tiff.h"
#include "platform/msgbox.h"
#include "platform/stream.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSide = 4096;

const std::vector<std::uint8_t>& Pixels() {
  // Photo-like: smooth waves with a little noise, RGB order.
  static const std::vector<std::uint8_t> rgb = [] {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(kSide) * kSide * 3);
    std::mt19937 rng(1);
    std::size_t i = 0;
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        const int noise = static_cast<int>(rng() % 9) - 4;
        p[i++] = static_cast<std::uint8_t>(std::clamp(x * 255 / kSide + noise, 0, 255));
        p[i++] = static_cast<std::uint8_t>(std::clamp(y * 255 / kSide + noise, 0, 255));
        p[i++] = static_cast<std::uint8_t>(std::clamp(128 + static_cast<int>(100 * std::sin(x / 97.0 + y / 53.0)) + noise, 0, 255));
      }
    return p;
  }();
  return rgb;
}

std::string File(int rowsPerStrip) {
  const fs::path dir = fs::temp_directory_path() / ("veltrano_bench_tiff_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / ("rgb_lzw2_r" + std::to_string(rowsPerStrip) + ".tif")).string();
  if (fs::exists(path)) return path;
  TIFF* t = TIFFOpen(path.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSide);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSide);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  const std::size_t row = static_cast<std::size_t>(kSide) * 3;
  for (int s = 0; s * rowsPerStrip < kSide; ++s) {
    const int rows = std::min(rowsPerStrip, kSide - s * rowsPerStrip);
    std::vector<std::uint8_t> strip(Pixels().begin() + static_cast<std::ptrdiff_t>(row * s * rowsPerStrip),
                                    Pixels().begin() + static_cast<std::ptrdiff_t>(row * (s * rowsPerStrip + rows)));
    TIFFWriteEncodedStrip(t, static_cast<tstrip_t>(s), strip.data(), static_cast<tmsize_t>(strip.size()));
  }
  TIFFClose(t);
  return path;
}

int Quiet(const platform::MsgBoxRequest&) { return platform::IdOk; }

void LibtiffReadOnce(const std::string& path, std::vector<std::uint8_t>& picture) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  const tstrip_t strips = TIFFNumberOfStrips(t);
  const tmsize_t stripSize = TIFFStripSize(t);
  std::uint8_t* at = picture.data();
  for (tstrip_t s = 0; s < strips; ++s) {
    const tmsize_t n = TIFFReadEncodedStrip(t, s, at, stripSize);
    at += n;
  }
  TIFFClose(t);
  benchmark::DoNotOptimize(picture[picture.size() - 1]);
}

// Ours from the file (fromStream: through a seeking file stream, else as a
// file image) against libtiff's strips into new memory.
void ReadVsLibtiff(benchmark::State& state, bool fromStream) {
  const std::string path = File(static_cast<int>(state.range(0)));
  platform::ScopedMsgBoxAnswerer quiet(Quiet);
  bench::Alternate(
      state,
      [&] {
        codecs::TTIFFBitMap t;
        if (fromStream) {
          platform::FileStream file(path, platform::FileStream::Mode::Read);
          t.LoadFromStream(file);
        } else {
          t.LoadFromFile(path);
        }
        benchmark::DoNotOptimize(t.ScanLine(kSide - 1)[0]);
      },
      [&](bench::Comparison& c) {
        c.Theirs([&] {
          std::vector<std::uint8_t> picture(static_cast<std::size_t>(kSide) * kSide * 3);
          LibtiffReadOnce(path, picture);
        });
      });
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 3);
}

void BM_FileImageVsLibtiff(benchmark::State& state) { ReadVsLibtiff(state, false); }
void BM_StreamVsLibtiff(benchmark::State& state) { ReadVsLibtiff(state, true); }

constexpr int kRounds = 9;
BENCHMARK(BM_FileImageVsLibtiff)->Arg(kSide)->Arg(64)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamVsLibtiff)->Arg(kSide)->Arg(64)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

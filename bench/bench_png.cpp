// PNG coding of 4096 x 4096 pictures: our picture class against libpng's
// simplified read API (and its writer with the same filters and level), in
// process, from and to memory; and our inflate stream against zlib's
// uncompress on the same compressed data.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "picture-codecs/png/png.h"
#include "platform/stream.h"

#ifdef VELTRANO_HAVE_LIBPNG
#include <png.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kSide = 4096;

// Smooth shapes, edges and sensor noise: compresses like a photograph.
const platform::Bitmap& Photo() {
  static const platform::Bitmap bitmap = [] {
    platform::Bitmap b(kSide, kSide, platform::PixelFormat::Bit24);
    std::mt19937 rng(1);
    for (int y = 0; y < kSide; ++y) {
      std::uint8_t* p = b.ScanLine(y);
      for (int x = 0; x < kSide; ++x, p += 3) {
        const int noise = static_cast<int>(rng() % 9) - 4;
        const int edge = ((x / 512 + y / 384) % 2) * 40;
        p[0] = static_cast<std::uint8_t>(std::clamp(110 + edge + static_cast<int>(90 * std::sin(x / 197.0 + y / 153.0)) + noise, 0, 255));
        p[1] = static_cast<std::uint8_t>(std::clamp(y * 200 / kSide + edge / 2 + noise, 0, 255));
        p[2] = static_cast<std::uint8_t>(std::clamp(x * 220 / kSide + 20 + noise, 0, 255));
      }
    }
    return b;
  }();
  return bitmap;
}

const platform::Bitmap& Palette4() {
  static const platform::Bitmap bitmap = [] {
    platform::Bitmap b(kSide, kSide, platform::PixelFormat::Bit4);
    platform::Palette p;
    for (int i = 0; i < 16; ++i) p.push_back(platform::RGBColor(i * 17, 255 - i * 13, (i * 71) % 256));
    b.SetPalette(p);
    std::mt19937 rng(2);
    for (int y = 0; y < kSide; ++y) {
      std::uint8_t* row = b.ScanLine(y);
      for (int x = 0; x < kSide; x += 2) {
        const int a = ((x / 64) + (y / 48) + (rng() % 23 == 0)) % 16, c = ((x / 64) + (y / 48)) % 16;
        row[x / 2] = static_cast<std::uint8_t>(a << 4 | c);
      }
    }
    return b;
  }();
  return bitmap;
}

Bytes Encode(const platform::Bitmap& b) {
  codecs::TPNGImage image;
  image.Assign(b);
  platform::MemoryStream out;
  image.SaveToStream(out);
  return out.Bytes();
}

const Bytes& PhotoFile() {
  static const Bytes f = Encode(Photo());
  return f;
}
const Bytes& PaletteFile() {
  static const Bytes f = Encode(Palette4());
  return f;
}

// The joined IDAT data of a file.
Bytes ImageData(const Bytes& f) {
  Bytes z;
  for (std::size_t at = 8; at + 12 <= f.size();) {
    const std::uint32_t n = (std::uint32_t{f[at]} << 24) | (f[at + 1] << 16) | (f[at + 2] << 8) | f[at + 3];
    if (std::memcmp(&f[at + 4], "IDAT", 4) == 0) z.insert(z.end(), f.begin() + at + 8, f.begin() + at + 8 + n);
    at += 12 + n;
  }
  return z;
}

#ifdef VELTRANO_HAVE_LIBPNG
void WriteToVector(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

// libpng's writer: RGB 8-bit, the given interlace, filters and zlib level.
Bytes LibpngWrite(const platform::Bitmap& b, int interlace, int filters) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, WriteToVector, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(b.Width()), static_cast<png_uint_32>(b.Height()), 8, PNG_COLOR_TYPE_RGB,
               interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
  png_set_compression_level(png, Z_DEFAULT_COMPRESSION);
  png_write_info(png, info);
  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < b.Height(); ++y) png_write_row(png, const_cast<png_bytep>(b.ScanLine(y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

const Bytes& AdamFile() {
  static const Bytes f = LibpngWrite(Photo(), PNG_INTERLACE_ADAM7, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_AVG | PNG_FILTER_PAETH);
  return f;
}

void LibpngRead(benchmark::State& state, const Bytes& f, png_uint_32 format) {
  std::vector<png_byte> pixels, colormap(256 * 3);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, f.data(), f.size())) state.SkipWithError("libpng refused the file");
    image.format = format;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, format & PNG_FORMAT_FLAG_COLORMAP ? colormap.data() : nullptr))
      state.SkipWithError(image.message);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide * 3);
}

void BM_LibpngDecodePhoto(benchmark::State& s) { LibpngRead(s, PhotoFile(), PNG_FORMAT_RGB); }
void BM_LibpngDecodeAdam7(benchmark::State& s) { LibpngRead(s, AdamFile(), PNG_FORMAT_RGB); }
void BM_LibpngDecodePalette4(benchmark::State& s) { LibpngRead(s, PaletteFile(), PNG_FORMAT_RGB_COLORMAP); }
BENCHMARK(BM_LibpngDecodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngDecodeAdam7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngDecodePalette4)->Unit(benchmark::kMillisecond);

void BM_LibpngEncodePhoto(benchmark::State& state) {
  std::size_t size = 0;
  for (auto _ : state) size = LibpngWrite(Photo(), PNG_INTERLACE_NONE, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_AVG | PNG_FILTER_PAETH).size();
  state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_LibpngEncodePhoto)->Unit(benchmark::kMillisecond);
#endif

void OursRead(benchmark::State& state, const Bytes& f) {
  for (auto _ : state) {
    platform::MemoryStream in(f.data(), f.size());
    codecs::TPNGImage image;
    image.LoadFromStream(in);
    benchmark::DoNotOptimize(image.Bits());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide * 3);
}

void BM_OursDecodePhoto(benchmark::State& s) { OursRead(s, PhotoFile()); }
void BM_OursDecodePalette4(benchmark::State& s) { OursRead(s, PaletteFile()); }
BENCHMARK(BM_OursDecodePhoto)->Unit(benchmark::kMillisecond);
#ifdef VELTRANO_HAVE_LIBPNG
void BM_OursDecodeAdam7(benchmark::State& s) { OursRead(s, AdamFile()); }
BENCHMARK(BM_OursDecodeAdam7)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_OursDecodePalette4)->Unit(benchmark::kMillisecond);

void BM_OursEncodePhoto(benchmark::State& state) {
  codecs::TPNGImage image;
  image.Assign(Photo());
  std::size_t size = 0;
  for (auto _ : state) {
    platform::MemoryStream out;
    image.SaveToStream(out);
    size = out.Bytes().size();
  }
  state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_OursEncodePhoto)->Unit(benchmark::kMillisecond);

// Inflating the photo's image data: the stream in one read, the stream row
// by row as the decoder reads it, and zlib's uncompress.
const Bytes& PhotoData() {
  static const Bytes z = ImageData(PhotoFile());
  return z;
}
constexpr std::size_t kRaw = std::size_t{kSide} * (kSide * 3 + 1);

void BM_InflateStreamWhole(benchmark::State& state) {
  Bytes out(kRaw);
  for (auto _ : state) {
    platform::MemoryStream in(PhotoData().data(), PhotoData().size());
    codecs::TZDecompressionStream z(in);
    if (z.Read(out.data(), out.size()) != kRaw) state.SkipWithError("short");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRaw));
}
void BM_InflateStreamRows(benchmark::State& state) {
  Bytes out(kRaw);
  const std::size_t row = kSide * 3 + 1;
  for (auto _ : state) {
    platform::MemoryStream in(PhotoData().data(), PhotoData().size());
    codecs::TZDecompressionStream z(in);
    for (std::size_t at = 0; at < kRaw; at += row) z.ReadBuffer(out.data() + at, row);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRaw));
}
void BM_InflateZlibUncompress(benchmark::State& state) {
  Bytes out(kRaw);
  for (auto _ : state) {
    uLongf n = out.size();
    if (uncompress(out.data(), &n, PhotoData().data(), PhotoData().size()) != Z_OK) state.SkipWithError("zlib");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRaw));
}
BENCHMARK(BM_InflateStreamWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateStreamRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateZlibUncompress)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

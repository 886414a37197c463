// PNG coding of 4096 x 4096 pictures and of a 1920 x 1080 screenshot with
// flat areas: our picture class against libpng's simplified read API (and
// its writer with the same filters and level), in process, from and to
// memory; and our inflate stream against zlib's uncompress on the same
// compressed data. Ours and the comparator alternate on one core, each timed
// in CPU time; ours_over_theirs is the ratio of the medians.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bench/compare.h"
#include "picture-codecs/png/png.h"
#include "platform/stream.h"

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

// A desktop of 1920 x 1080: a flat background, windows with title bars,
// borders, buttons and lines of dark text on white, and a photo in one of
// them; as our encoder writes it, so the rows carry its choice of filters.
const platform::Bitmap& Screenshot() {
  static const platform::Bitmap bitmap = [] {
    constexpr int w = 1920, h = 1080;
    platform::Bitmap b(w, h, platform::PixelFormat::Bit24);
    const auto fill = [&b](int x0, int y0, int x1, int y1, int r, int g, int bl) {
      for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = b.ScanLine(y) + 3 * x0;
        for (int x = x0; x < x1; ++x, p += 3) {
          p[0] = static_cast<std::uint8_t>(bl);
          p[1] = static_cast<std::uint8_t>(g);
          p[2] = static_cast<std::uint8_t>(r);
        }
      }
    };
    fill(0, 0, w, h, 0, 128, 128);
    std::mt19937 rng(4);
    const int windows[3][4] = {{60, 40, 1100, 760}, {700, 200, 1800, 1000}, {150, 600, 900, 1040}};
    for (const auto& win : windows) {
      const int x0 = win[0], y0 = win[1], x1 = win[2], y1 = win[3];
      fill(x0, y0, x1, y1, 192, 192, 192);
      for (int y = y0 + 3; y < y0 + 24; ++y)  // title bar: a blue ramp
        for (int x = x0 + 3; x < x1 - 3; ++x) {
          std::uint8_t* p = b.ScanLine(y) + 3 * x;
          p[0] = static_cast<std::uint8_t>(128 + 127 * (x - x0) / (x1 - x0));
          p[1] = static_cast<std::uint8_t>(16 * (x - x0) / (x1 - x0));
          p[2] = 0;
        }
      fill(x0 + 6, y0 + 56, x1 - 6, y1 - 6, 255, 255, 255);
      for (int k = 0; k < 6; ++k) fill(x0 + 8 + 80 * k, y0 + 28, x0 + 80 + 80 * k, y0 + 50, 212, 208, 200);
      // Text: lines of glyph-sized strokes of dark grey.
      for (int line = y0 + 64; line + 12 < y1 - 10; line += 18) {
        int x = x0 + 12;
        while (x < x1 - 80) {
          const int word = 3 + static_cast<int>(rng() % 8);
          for (int c = 0; c < word && x < x1 - 20; ++c, x += 7)
            for (int y = line; y < line + 11; ++y)
              for (int dx = 0; dx < 6; ++dx)
                if (rng() % 3 == 0) {
                  std::uint8_t* p = b.ScanLine(y) + 3 * (x + dx);
                  p[0] = p[1] = p[2] = 32;
                }
          x += 7;
        }
      }
    }
    for (int y = 260; y < 700; ++y) {  // the photo
      std::uint8_t* p = b.ScanLine(y) + 3 * 760;
      for (int x = 760; x < 1400; ++x, p += 3) {
        const int noise = static_cast<int>(rng() % 7) - 3;
        p[0] = static_cast<std::uint8_t>(std::clamp(120 + static_cast<int>(80 * std::sin(x / 61.0 + y / 47.0)) + noise, 0, 255));
        p[1] = static_cast<std::uint8_t>(std::clamp(60 + (y - 260) / 3 + noise, 0, 255));
        p[2] = static_cast<std::uint8_t>(std::clamp(90 + (x - 760) / 5 + noise, 0, 255));
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
const Bytes& ScreenshotFile() {
  static const Bytes f = Encode(Screenshot());
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

// One read of libpng's simplified API into new pixel memory (as ours
// makes a new bitmap).
bool LibpngReadOnce(const Bytes& f, png_uint_32 format) {
  std::vector<png_byte> pixels, colormap;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, f.data(), f.size())) return false;
  image.format = format;
  pixels.resize(PNG_IMAGE_SIZE(image));
  colormap.resize(256 * 3);
  const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0,
                                        format & PNG_FORMAT_FLAG_COLORMAP ? colormap.data() : nullptr) != 0;
  benchmark::DoNotOptimize(pixels.data());
  return ok;
}

void OursReadOnce(platform::MemoryStream& in) {
  in.SetPosition(0);
  codecs::TPNGImage image;
  image.LoadFromStream(in);
  benchmark::DoNotOptimize(image.Bits());
}

constexpr int kRounds = 9;

// Our decode and libpng's of the same file, alternating.
void DecodeVsLibpng(benchmark::State& state, const Bytes& f, png_uint_32 format, std::int64_t pixels) {
  platform::MemoryStream in(f.data(), f.size());
  if (!LibpngReadOnce(f, format)) {
    state.SkipWithError("libpng refused the file");
    return;
  }
  bench::Alternate(state, [&] { OursReadOnce(in); },
                   [&](bench::Comparison& c) { c.Theirs([&] { LibpngReadOnce(f, format); }); });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * pixels * 3);
}

void BM_DecodePhotoVsLibpng(benchmark::State& s) { DecodeVsLibpng(s, PhotoFile(), PNG_FORMAT_RGB, std::int64_t{kSide} * kSide); }
void BM_DecodeAdam7VsLibpng(benchmark::State& s) { DecodeVsLibpng(s, AdamFile(), PNG_FORMAT_RGB, std::int64_t{kSide} * kSide); }
void BM_DecodePalette4VsLibpng(benchmark::State& s) {
  DecodeVsLibpng(s, PaletteFile(), PNG_FORMAT_RGB_COLORMAP, std::int64_t{kSide} * kSide);
}
void BM_DecodeScreenshotVsLibpng(benchmark::State& s) {
  DecodeVsLibpng(s, ScreenshotFile(), PNG_FORMAT_RGB, std::int64_t{1920} * 1080);
}
BENCHMARK(BM_DecodeScreenshotVsLibpng)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePhotoVsLibpng)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAdam7VsLibpng)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePalette4VsLibpng)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_EncodePhotoVsLibpng(benchmark::State& state) {
  codecs::TPNGImage image;
  image.Assign(Photo());
  std::size_t ours = 0, theirs = 0;
  bench::Alternate(
      state,
      [&] {
        platform::MemoryStream out;
        image.SaveToStream(out);
        ours = out.Bytes().size();
      },
      [&](bench::Comparison& c) {
        c.Theirs([&] {
          theirs = LibpngWrite(Photo(), PNG_INTERLACE_NONE, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_AVG | PNG_FILTER_PAETH).size();
        });
      });
  state.counters["file_bytes"] = static_cast<double>(ours);
  state.counters["their_file_bytes"] = static_cast<double>(theirs);
}
BENCHMARK(BM_EncodePhotoVsLibpng)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Inflating the photo's image data: our stream in one read and row by row
// as the decoder reads it, each against zlib's uncompress.
const Bytes& PhotoData() {
  static const Bytes z = ImageData(PhotoFile());
  return z;
}
constexpr std::size_t kRaw = std::size_t{kSide} * (kSide * 3 + 1);

void InflateZlib(benchmark::State& state, Bytes& out) {
  uLongf n = out.size();
  if (uncompress(out.data(), &n, PhotoData().data(), PhotoData().size()) != Z_OK) state.SkipWithError("zlib");
}

void BM_InflateStreamWholeVsZlib(benchmark::State& state) {
  Bytes out(kRaw);
  bench::Alternate(
      state,
      [&] {
        platform::MemoryStream in(PhotoData().data(), PhotoData().size());
        codecs::TZDecompressionStream z(in);
        if (z.Read(out.data(), out.size()) != kRaw) state.SkipWithError("short");
      },
      [&](bench::Comparison& c) { c.Theirs([&] { InflateZlib(state, out); }); });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRaw));
}
void BM_InflateStreamRowsVsZlib(benchmark::State& state) {
  Bytes out(kRaw);
  const std::size_t row = kSide * 3 + 1;
  bench::Alternate(
      state,
      [&] {
        platform::MemoryStream in(PhotoData().data(), PhotoData().size());
        codecs::TZDecompressionStream z(in);
        for (std::size_t at = 0; at < kRaw; at += row) z.ReadBuffer(out.data() + at, row);
      },
      [&](bench::Comparison& c) { c.Theirs([&] { InflateZlib(state, out); }); });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRaw));
}
BENCHMARK(BM_InflateStreamWholeVsZlib)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateStreamRowsVsZlib)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// GIF coding against giflib on the same bytes, in memory, one thread: a
// 4096 x 4096 frame of 256 colours and a 500-frame 320 x 240 animation
// decoded to indices (giflib: DGifSlurp), and the big frame encoded (giflib:
// EGifPutLine) with both of our encoders. File sizes are the counters.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "platform/stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kBig = 4096;
constexpr int kAnimW = 320, kAnimH = 240, kAnimFrames = 500;

// Photo-like indices: smooth shapes with some noise, as a reduced photo has.
Bytes BigPixels() {
  Bytes px(static_cast<std::size_t>(kBig) * kBig);
  std::mt19937 rng(5);
  for (int y = 0; y < kBig; ++y)
    for (int x = 0; x < kBig; ++x) {
      const double v = 128 + 60 * std::sin(x / 211.0) * std::cos(y / 157.0) + 50 * std::sin((x + y) / 97.0);
      px[static_cast<std::size_t>(y) * kBig + x] = static_cast<std::uint8_t>(static_cast<int>(v) + (rng() % 5 == 0 ? rng() % 3 : 0));
    }
  return px;
}

std::unique_ptr<gif::TGIFImage> MakeImage(int w, int h, int frames, const Bytes* pixels) {
  auto image = std::make_unique<gif::TGIFImage>();
  for (int c = 0; c < 256; ++c) image->GlobalMapOf().AddColour(platform::RGBColor(c, 255 - c, (c * 7) & 255));
  for (int f = 0; f < frames; ++f) {
    auto* frame = new gif::TGIFSubImage(image.get());
    image->AddFrame(frame);
    frame->SetFrameBounds(0, 0, w, h);
    if (pixels) {
      std::memcpy(frame->Pixels(), pixels->data(), pixels->size());
    } else {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          frame->Pixels()[y * w + x] = static_cast<std::uint8_t>(((x + f * 3) / 8 + (y / 8) * 5 + ((x * y + f) % 7 == 0)) & 255);
    }
  }
  return image;
}

const Bytes& Encoded(bool animation) {
  static const Bytes big = [] {
    const Bytes px = BigPixels();
    platform::MemoryStream out;
    MakeImage(kBig, kBig, 1, &px)->SaveToStream(out);
    return out.Bytes();
  }();
  static const Bytes anim = [] {
    platform::MemoryStream out;
    MakeImage(kAnimW, kAnimH, kAnimFrames, nullptr)->SaveToStream(out);
    return out.Bytes();
  }();
  return animation ? anim : big;
}

struct Reader {
  const Bytes* data;
  std::size_t pos;
};

int ReadMemory(GifFileType* file, GifByteType* buffer, int count) {
  auto* r = static_cast<Reader*>(file->UserData);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), r->data->size() - r->pos);
  std::memcpy(buffer, r->data->data() + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

int WriteMemory(GifFileType* file, const GifByteType* buffer, int count) {
  auto* out = static_cast<Bytes*>(file->UserData);
  out->insert(out->end(), buffer, buffer + count);
  return count;
}

void OursDecode(benchmark::State& state, bool animation) {
  const Bytes& data = Encoded(animation);
  for (auto _ : state) {
    platform::MemoryStream in(data.data(), data.size());
    gif::TGIFImage image;
    image.LoadFromStream(in);
    benchmark::DoNotOptimize(image.Frame(0)->Pixels()[0]);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
  state.counters["file_bytes"] = static_cast<double>(data.size());
}

void GiflibDecode(benchmark::State& state, bool animation) {
  const Bytes& data = Encoded(animation);
  for (auto _ : state) {
    Reader r{&data, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&r, ReadMemory, &error);
    if (!file || DGifSlurp(file) != GIF_OK) state.SkipWithError("giflib could not read the file");
    benchmark::DoNotOptimize(file->SavedImages[0].RasterBits[0]);
    DGifCloseFile(file, &error);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void BM_DecodeBigOurs(benchmark::State& s) { OursDecode(s, false); }
void BM_DecodeBigGiflib(benchmark::State& s) { GiflibDecode(s, false); }
void BM_DecodeAnimationOurs(benchmark::State& s) { OursDecode(s, true); }
void BM_DecodeAnimationGiflib(benchmark::State& s) { GiflibDecode(s, true); }

void OursEncode(benchmark::State& state, gif::EncoderKind kind) {
  const Bytes px = BigPixels();
  auto image = MakeImage(kBig, kBig, 1, &px);
  image->Encoder = static_cast<std::uint8_t>(kind);
  std::size_t size = 0;
  for (auto _ : state) {
    platform::MemoryStream out;
    image->SaveToStream(out);
    size = out.Bytes().size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig);
  state.counters["file_bytes"] = static_cast<double>(size);
}

void BM_EncodeBigOursLZW(benchmark::State& s) { OursEncode(s, gif::EncoderKind::LZW); }
void BM_EncodeBigOursRunLength(benchmark::State& s) { OursEncode(s, gif::EncoderKind::RunLength); }

void BM_EncodeBigGiflib(benchmark::State& state) {
  Bytes px = BigPixels();
  GifColorType colours[256];
  for (int c = 0; c < 256; ++c)
    colours[c] = GifColorType{static_cast<GifByteType>(c), static_cast<GifByteType>(255 - c),
                              static_cast<GifByteType>((c * 7) & 255)};
  std::size_t size = 0;
  for (auto _ : state) {
    Bytes out;
    int error = 0;
    GifFileType* file = EGifOpen(&out, WriteMemory, &error);
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(file, kBig, kBig, 8, 0, map);
    EGifPutImageDesc(file, 0, 0, kBig, kBig, false, nullptr);
    for (int y = 0; y < kBig; ++y) EGifPutLine(file, px.data() + static_cast<std::size_t>(y) * kBig, kBig);
    EGifCloseFile(file, &error);
    GifFreeMapObject(map);
    size = out.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig);
  state.counters["file_bytes"] = static_cast<double>(size);
}

BENCHMARK(BM_DecodeBigOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBigGiflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAnimationOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAnimationGiflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBigOursLZW)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBigOursRunLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBigGiflib)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

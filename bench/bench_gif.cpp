// GIF coding against giflib on the same bytes, in memory, one thread: a
// 4096 x 4096 frame of 256 colours and a 500-frame 320 x 240 animation
// decoded to indices (giflib: DGifSlurp), and the big frame encoded (giflib:
// EGifPutLine) with both of our encoders. Ours and giflib alternate on one
// core, each timed in CPU time (ours_over_theirs: the ratio of the medians);
// file sizes are counters too.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bench/compare.h"
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

void OursDecodeOnce(const Bytes& data) {
  platform::MemoryStream in(data.data(), data.size());
  gif::TGIFImage image;
  image.LoadFromStream(in);
  benchmark::DoNotOptimize(image.Frame(0)->Pixels()[0]);
}

bool GiflibDecodeOnce(const Bytes& data) {
  Reader r{&data, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&r, ReadMemory, &error);
  if (!file) return false;
  const bool ok = DGifSlurp(file) == GIF_OK;
  if (ok) benchmark::DoNotOptimize(file->SavedImages[0].RasterBits[0]);
  DGifCloseFile(file, &error);
  return ok;
}

void DecodeVsGiflib(benchmark::State& state, bool animation) {
  const Bytes& data = Encoded(animation);
  if (!GiflibDecodeOnce(data)) {
    state.SkipWithError("giflib could not read the file");
    return;
  }
  bench::Alternate(state, [&] { OursDecodeOnce(data); },
                   [&](bench::Comparison& c) { c.Theirs([&] { GiflibDecodeOnce(data); }); });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
  state.counters["file_bytes"] = static_cast<double>(data.size());
}

void BM_DecodeBigVsGiflib(benchmark::State& s) { DecodeVsGiflib(s, false); }
void BM_DecodeAnimationVsGiflib(benchmark::State& s) { DecodeVsGiflib(s, true); }

std::size_t GiflibEncodeOnce(Bytes& px, const GifColorType* colours) {
  Bytes out;
  int error = 0;
  GifFileType* file = EGifOpen(&out, WriteMemory, &error);
  ColorMapObject* map = GifMakeMapObject(256, colours);
  EGifPutScreenDesc(file, kBig, kBig, 8, 0, map);
  EGifPutImageDesc(file, 0, 0, kBig, kBig, false, nullptr);
  for (int y = 0; y < kBig; ++y) EGifPutLine(file, px.data() + static_cast<std::size_t>(y) * kBig, kBig);
  EGifCloseFile(file, &error);
  GifFreeMapObject(map);
  return out.size();
}

void EncodeVsGiflib(benchmark::State& state, gif::EncoderKind kind) {
  Bytes px = BigPixels();
  auto image = MakeImage(kBig, kBig, 1, &px);
  image->Encoder = static_cast<std::uint8_t>(kind);
  GifColorType colours[256];
  for (int c = 0; c < 256; ++c)
    colours[c] = GifColorType{static_cast<GifByteType>(c), static_cast<GifByteType>(255 - c),
                              static_cast<GifByteType>((c * 7) & 255)};
  std::size_t ours = 0, theirs = 0;
  bench::Alternate(
      state,
      [&] {
        platform::MemoryStream out;
        image->SaveToStream(out);
        ours = out.Bytes().size();
      },
      [&](bench::Comparison& c) { c.Theirs([&] { theirs = GiflibEncodeOnce(px, colours); }); });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig);
  state.counters["file_bytes"] = static_cast<double>(ours);
  state.counters["their_file_bytes"] = static_cast<double>(theirs);
}

void BM_EncodeBigLZWVsGiflib(benchmark::State& s) { EncodeVsGiflib(s, gif::EncoderKind::LZW); }
void BM_EncodeBigRunLengthVsGiflib(benchmark::State& s) { EncodeVsGiflib(s, gif::EncoderKind::RunLength); }

constexpr int kRounds = 9;
BENCHMARK(BM_DecodeBigVsGiflib)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAnimationVsGiflib)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBigLZWVsGiflib)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBigRunLengthVsGiflib)->Iterations(kRounds)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

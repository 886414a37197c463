// The image data of a PNG picture: inflate, de-filter, de-interlace and store
// into bitmap rows; and back: rows filtered and deflated into the IDAT chunk.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "picture-codecs/png/png_coding.h"

#if VELTRANO_PNG_WIDE_UNFILTER
#include <emmintrin.h>
#endif

namespace codecs {

namespace png_coding {

namespace {

constexpr std::uint32_t kMaxDimension = 0x7FFFFFFF;
constexpr int kPasses = 7;
// Inflated image data is de-filtered in blocks of about this size.
constexpr std::size_t kBlockBytes = 256 * 1024;

struct Pass {
  std::uint32_t firstRow, firstColumn, rowStep, columnStep;
  std::uint8_t columnMask;
};
constexpr Pass kAdam7[kPasses] = {
    {0, 0, 8, 8, 0x80}, {0, 4, 8, 8, 0x08}, {4, 0, 8, 4, 0x88}, {0, 2, 4, 4, 0x22},
    {2, 0, 4, 2, 0xAA}, {0, 1, 2, 2, 0x55}, {1, 0, 2, 1, 0xFF},
};

// Rounded a * b / c, as the platform's MulDiv.
int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0) return 0;
  const std::int64_t p = a * b;
  return static_cast<int>(p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c));
}

bool DepthFits(int colorType, int depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

// --- de-filtering, one loop per type and pixel size ---

template <std::size_t B>
void UnfilterSub(std::uint8_t* row, std::size_t n) {
  for (std::size_t i = B; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - B]);
}

void UnfilterUp(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
}

template <std::size_t B>
void UnfilterAverage(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  const std::size_t head = std::min(B, n);
  for (std::size_t i = 0; i < head; ++i) row[i] = static_cast<std::uint8_t>(row[i] + (prior[i] >> 1));
  for (std::size_t i = B; i < n; ++i)
    row[i] = static_cast<std::uint8_t>(row[i] + ((unsigned{row[i - B]} + prior[i]) >> 1));
}

inline unsigned Paeth(unsigned a, unsigned b, unsigned c) {
  const int pa = std::abs(static_cast<int>(b) - static_cast<int>(c));
  const int pb = std::abs(static_cast<int>(a) - static_cast<int>(c));
  const int pc = std::abs(static_cast<int>(a) + static_cast<int>(b) - 2 * static_cast<int>(c));
  const unsigned bc = pb <= pc ? b : c;
  return (pa <= pb && pa <= pc) ? a : bc;
}

template <std::size_t B>
void UnfilterPaeth(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  const std::size_t head = std::min(B, n);
  for (std::size_t i = 0; i < head; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
  for (std::size_t i = B; i < n; ++i)
    row[i] = static_cast<std::uint8_t>(row[i] + Paeth(row[i - B], prior[i], prior[i - B]));
}

template <std::size_t B>
void UnfilterWith(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  switch (type) {
    case ftNone: return;
    case ftSub: UnfilterSub<B>(row, n); return;
    case ftUp: UnfilterUp(row, prior, n); return;
    case ftAverage: UnfilterAverage<B>(row, prior, n); return;
    case ftPaeth: UnfilterPaeth<B>(row, prior, n); return;
    default: throw EPNGImageException(png_text::kUnknownFilter);
  }
}

#if VELTRANO_PNG_WIDE_UNFILTER
// A whole pixel at a time: Sub, Average and Paeth depend on the pixel to the
// left, so the bytes of one pixel are the work that can go side by side
// (each byte in a 16-bit lane where sums and differences need the room).
// Pixels are moved through a general register, built from loads of their
// own sizes: a pixel put together in memory from pieces and read back whole
// would wait for the pieces to land.
template <class T>
T LoadAs(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <std::size_t B>
__m128i LoadPixel(const std::uint8_t* p) {
  static_assert(B == 3 || B == 4 || B == 6 || B == 8);
  if constexpr (B == 3) return _mm_cvtsi32_si128(static_cast<int>(LoadAs<std::uint16_t>(p) | std::uint32_t{p[2]} << 16));
  if constexpr (B == 4) return _mm_cvtsi32_si128(static_cast<int>(LoadAs<std::uint32_t>(p)));
  if constexpr (B == 6)
    return _mm_cvtsi64_si128(
        static_cast<long long>(LoadAs<std::uint32_t>(p) | std::uint64_t{LoadAs<std::uint16_t>(p + 4)} << 32));
  if constexpr (B == 8) return _mm_cvtsi64_si128(static_cast<long long>(LoadAs<std::uint64_t>(p)));
}
template <std::size_t B>
void StorePixel(std::uint8_t* p, __m128i v) {
  const auto word = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
  if constexpr (B == 3 || B == 4) {
    const auto low = static_cast<std::uint32_t>(word);
    if constexpr (B == 4) {
      std::memcpy(p, &low, 4);
    } else {
      const auto pair = static_cast<std::uint16_t>(low);
      std::memcpy(p, &pair, 2);
      p[2] = static_cast<std::uint8_t>(low >> 16);
    }
  } else if constexpr (B == 6) {
    const auto low = static_cast<std::uint32_t>(word);
    const auto high = static_cast<std::uint16_t>(word >> 32);
    std::memcpy(p, &low, 4);
    std::memcpy(p + 4, &high, 2);
  } else {
    std::memcpy(p, &word, 8);
  }
}

// The bytes after the last whole pixel (none in rows of whole pixels).
template <std::size_t B>
void FinishBytes(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t from, std::size_t n) {
  for (std::size_t i = from; i < n; ++i) {
    const unsigned a = i >= B ? row[i - B] : 0;
    unsigned add = a;
    if (type != ftSub) {
      const unsigned b = prior[i], c = i >= B ? prior[i - B] : 0;
      add = type == ftAverage ? (a + b) >> 1 : Paeth(a, b, c);
    }
    row[i] = static_cast<std::uint8_t>(row[i] + add);
  }
}

template <std::size_t B>
void WideSub(std::uint8_t* row, std::size_t n) {
  __m128i a = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + B <= n; i += B) {
    a = _mm_add_epi8(LoadPixel<B>(row + i), a);
    StorePixel<B>(row + i, a);
  }
  FinishBytes<B>(ftSub, row, nullptr, i, n);
}

template <std::size_t B>
void WideAverage(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  const __m128i one = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + B <= n; i += B) {
    const __m128i b = LoadPixel<B>(prior + i);
    // The rounded-up mean less the carry of an odd sum: (a + b) >> 1.
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
    a = _mm_add_epi8(LoadPixel<B>(row + i), mean);
    StorePixel<B>(row + i, a);
  }
  FinishBytes<B>(ftAverage, row, prior, i, n);
}

__m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }
__m128i Choose(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <std::size_t B>
void WidePaeth(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero, c = zero;  // left and upper-left, as 16-bit lanes
  std::size_t i = 0;
  for (; i + B <= n; i += B) {
    const __m128i b = _mm_unpacklo_epi8(LoadPixel<B>(prior + i), zero);
    // p = a + b - c: |p - a| = |b - c|, |p - b| = |a - c|, |p - c| = |both summed|.
    const __m128i toA = _mm_sub_epi16(b, c), toB = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(toA), pb = Abs16(toB), pc = Abs16(_mm_add_epi16(toA, toB));
    const __m128i least = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    // Ties go to a, then b, then c.
    const __m128i predictor =
        Choose(_mm_cmpeq_epi16(least, pa), a, Choose(_mm_cmpeq_epi16(least, pb), b, c));
    const __m128i d = _mm_add_epi8(LoadPixel<B>(row + i), _mm_packus_epi16(predictor, predictor));
    StorePixel<B>(row + i, d);
    a = _mm_unpacklo_epi8(d, zero);
    c = b;
  }
  FinishBytes<B>(ftPaeth, row, prior, i, n);
}

// Sub, Average and Paeth of pixels of 3 to 8 bytes side by side; the rest
// as the plain loops.
template <std::size_t B>
void WideUnfilterWith(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  switch (type) {
    case ftSub: WideSub<B>(row, n); return;
    case ftAverage: WideAverage<B>(row, prior, n); return;
    case ftPaeth: WidePaeth<B>(row, prior, n); return;
    default: UnfilterWith<B>(type, row, prior, n); return;
  }
}
#endif

// --- storing rows into the bitmap ---

struct RowTarget {
  const Layout& layout;
  const std::uint8_t* gamma;  // null: samples unchanged
  std::uint32_t width;        // of the bitmap
};

// Bits of the last byte of a packed row beyond the width are cleared, so
// they never turn into pixels.
void ClearTail(std::uint8_t* dst, std::uint32_t width, int bits) {
  const std::uint64_t used = std::uint64_t{width} * static_cast<unsigned>(bits);
  if (used % 8 != 0) dst[used / 8] &= static_cast<std::uint8_t>(0xFF00u >> (used % 8));
}

void PutPacked(std::uint8_t* dst, std::uint32_t x, int bits, unsigned value) {
  const std::uint64_t bit = std::uint64_t{x} * static_cast<unsigned>(bits);
  const unsigned shift = 8 - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
  const auto mask = static_cast<std::uint8_t>(((1u << bits) - 1) << shift);
  std::uint8_t& b = dst[bit / 8];
  b = static_cast<std::uint8_t>((b & ~mask) | ((value << shift) & mask));
}

// Depth 1, 2 and 4: walk the bitmap columns; each column the mask selects
// takes the next sample of the source, scaled to the bitmap's depth.
void StorePackedMasked(const RowTarget& t, const std::uint8_t* src, std::uint8_t* dst, std::uint8_t mask) {
  const int sd = t.layout.depth;
  const int bd = sd == 1 ? 1 : 4;
  const unsigned smax = (1u << sd) - 1, bmax = (1u << bd) - 1;
  std::uint64_t bit = 0;
  for (std::uint32_t x = 0; x < t.width; ++x) {
    if (!(mask & (0x80u >> (x % 8)))) continue;
    const unsigned shift = 8 - static_cast<unsigned>(sd) - static_cast<unsigned>(bit % 8);
    const unsigned s = (src[bit / 8] >> shift) & smax;
    bit += static_cast<unsigned>(sd);
    PutPacked(dst, x, bd, static_cast<unsigned>(MulDiv(s, bmax, smax)));
  }
}

// Depth 8 and 16, every colour type: count pixels of the source go to the
// columns first, first + step, ...
void StoreBytes(const RowTarget& t, const std::uint8_t* src, std::uint8_t* dst, std::uint32_t count,
                std::uint32_t first, std::uint32_t step) {
  const Layout& L = t.layout;
  const std::size_t o = static_cast<std::size_t>(L.depth / 8);  // bytes per sample
  const std::size_t ps = o * static_cast<std::size_t>(L.channels);
  if (L.format == platform::PixelFormat::Bit8) {
    std::uint8_t* d = dst + first;
    if (ps == 1 && step == 1) {
      std::memcpy(d, src, count);
      return;
    }
    for (std::uint32_t k = 0; k < count; ++k, src += ps, d += step) *d = *src;
    return;
  }
  // Colour: red, green, blue (high bytes), through gamma, as blue, green, red.
  std::uint8_t* d = dst + std::size_t{first} * 3;
  const std::size_t ds = std::size_t{step} * 3;
  if (t.gamma) {
    const std::uint8_t* g = t.gamma;
    for (std::uint32_t k = 0; k < count; ++k, src += ps, d += ds) {
      d[0] = g[src[2 * o]];
      d[1] = g[src[o]];
      d[2] = g[src[0]];
    }
  } else if (ps == 3 && step == 1) {
    for (std::uint32_t k = 0; k < count; ++k, src += 3, d += 3) {
      const std::uint8_t r = src[0], gr = src[1], b = src[2];
      d[0] = b;
      d[1] = gr;
      d[2] = r;
    }
  } else {
    for (std::uint32_t k = 0; k < count; ++k, src += ps, d += ds) {
      d[0] = src[2 * o];
      d[1] = src[o];
      d[2] = src[0];
    }
  }
}

void StoreRow(const RowTarget& t, const std::uint8_t* src, std::uint8_t* dst, std::uint32_t count, const Pass* pass) {
  const Layout& L = t.layout;
  if (L.depth < 8) {
    if (!pass && L.depth != 2) {
      std::memcpy(dst, src, L.RowBytes(t.width));
      ClearTail(dst, t.width, L.depth);
    } else {
      StorePackedMasked(t, src, dst, pass ? pass->columnMask : 0xFF);
    }
    return;
  }
  StoreBytes(t, src, dst, count, pass ? pass->firstColumn : 0, pass ? pass->columnStep : 1);
}

// Reads up to count bytes; fewer only where the data ends.
std::size_t ReadFull(TZDecompressionStream& z, std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const std::size_t n = z.Read(buffer + done, count - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

platform::Palette MakePalette(const TChunk& idat, const Layout& L, const std::uint8_t* gamma) {
  platform::Palette palette;
  const auto through = [gamma](unsigned v) { return gamma ? gamma[v] : v; };
  if (L.colorType == 0 || L.colorType == 4) {
    const int n = L.depth == 16 ? 256 : 1 << L.depth;
    for (int k = 0; k < n; ++k) {
      const unsigned v = through(static_cast<unsigned>(MulDiv(k, 255, n - 1)));
      palette.push_back(platform::RGBColor(static_cast<int>(v), static_cast<int>(v), static_cast<int>(v)));
    }
  } else if (L.colorType == 3) {
    TChunkPLTE* plte = idat.Owner->First<TChunkPLTE>();
    if (!plte) throw EPNGImageException(png_text::kNoPalette);
    const auto& d = plte->Data.Bytes();
    if (d.empty() || d.size() % 3 != 0 || d.size() > 3 * 256) throw EPNGImageException(png_text::kInvalidPalette);
    for (std::size_t i = 0; i + 2 < d.size(); i += 3)
      palette.push_back(platform::RGBColor(static_cast<int>(through(d[i])), static_cast<int>(through(d[i + 1])),
                                           static_cast<int>(through(d[i + 2]))));
    plte->Palette = palette;
  } else {
    return palette;
  }
  if (L.depth == 2) {
    // 2-bit samples are widened to 0, 5, 10, 15: each group of four entries
    // repeats the first four.
    palette.resize(4, platform::clBlack);
    for (int i = 4; i < 16; ++i) palette.push_back(palette[static_cast<std::size_t>(i % 4)]);
    if (L.colorType == 3) idat.Owner->First<TChunkPLTE>()->Palette = palette;
  }
  return palette;
}

}  // namespace

std::size_t Layout::RowBytes(std::uint64_t w) const {
  return static_cast<std::size_t>((w * static_cast<unsigned>(channels) * static_cast<unsigned>(depth) + 7) / 8);
}

Layout CheckHeader(const TChunkIHDR& header) {
  if (header.Data.Bytes().size() != TChunkIHDR::kSize) throw EPNGImageException(png_text::kInvalidIHDR);
  Layout L;
  L.width = header.Width();
  L.height = header.Height();
  L.depth = header.BitDepth();
  L.colorType = header.ColorType();
  L.interlace = header.Interlace();
  if (L.width == 0 || L.height == 0 || L.width > kMaxDimension || L.height > kMaxDimension)
    throw EPNGImageException(png_text::kInvalidSize);
  switch (L.colorType) {
    case 0:
    case 3: L.channels = 1; break;
    case 2: L.channels = 3; break;
    case 4: L.channels = 2; break;
    case 6: L.channels = 4; break;
    default: throw EPNGImageException(png_text::kUnknownColorType);
  }
  if (!DepthFits(L.colorType, L.depth)) throw EPNGImageException(png_text::kInvalidDepth);
  if (L.interlace != 0 && L.interlace != 1) throw EPNGImageException(png_text::kUnknownInterlace);
  L.bpp = std::max<std::size_t>(1, static_cast<std::size_t>(L.channels * L.depth / 8));
  if (L.colorType == 2 || L.colorType == 6)
    L.format = platform::PixelFormat::Bit24;
  else
    L.format = L.depth == 1 ? platform::PixelFormat::Bit1 : L.depth <= 4 ? platform::PixelFormat::Bit4 : platform::PixelFormat::Bit8;
  if (L.width > static_cast<std::uint32_t>(platform::Bitmap::kMaxSide) ||
      L.height > static_cast<std::uint32_t>(platform::Bitmap::kMaxSide))
    throw EPNGImageException(png_text::kTooLarge);
  const std::uint64_t stride = platform::Bitmap::BytesPerLine(static_cast<int>(L.width), L.format);
  if (stride * L.height > platform::Bitmap::kMaxBytes) throw EPNGImageException(png_text::kTooLarge);
  return L;
}

void BuildGammaTables(std::uint32_t value, std::uint8_t gamma[256], std::uint8_t inverse[256]) {
  const double g = value / 100000.0;
  const double exponent = 1.0 / (g * 2.2);
  for (int i = 0; i < 256; ++i) {
    // Halves to even: the default rounding of the floating-point unit.
    const double v = std::nearbyint(255.0 * std::pow(i / 255.0, exponent));
    gamma[i] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
  }
  // Each value goes back to the sample that gives it (the last of several);
  // values no sample gives go to the sample that comes nearest, so a colour
  // drawn into the picture keeps its brightness through a save.
  for (int v = 0; v < 256; ++v) {
    int best = 0, bestDistance = 256;
    for (int i = 0; i < 256; ++i) {
      const int d = std::abs(gamma[i] - v);
      if (d <= bestDistance) {
        best = i;
        bestDistance = d;
      }
    }
    inverse[v] = static_cast<std::uint8_t>(best);
  }
}

void Unfilter(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t bpp) {
#if VELTRANO_PNG_WIDE_UNFILTER
  switch (bpp) {
    case 3: WideUnfilterWith<3>(type, row, prior, n); return;
    case 4: WideUnfilterWith<4>(type, row, prior, n); return;
    case 6: WideUnfilterWith<6>(type, row, prior, n); return;
    case 8: WideUnfilterWith<8>(type, row, prior, n); return;
    default: break;
  }
#endif
  UnfilterPlain(type, row, prior, n, bpp);
}

void UnfilterPlain(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t bpp) {
  switch (bpp) {
    case 1: UnfilterWith<1>(type, row, prior, n); break;
    case 2: UnfilterWith<2>(type, row, prior, n); break;
    case 3: UnfilterWith<3>(type, row, prior, n); break;
    case 4: UnfilterWith<4>(type, row, prior, n); break;
    case 6: UnfilterWith<6>(type, row, prior, n); break;
    case 8: UnfilterWith<8>(type, row, prior, n); break;
    default: throw EPNGImageException(png_text::kUnknownColorType);
  }
}

void Filter(int type, const std::uint8_t* raw, const std::uint8_t* prior, std::uint8_t* out, std::size_t n,
            std::size_t bpp) {
  const auto left = [&](std::size_t i) -> unsigned { return i >= bpp ? raw[i - bpp] : 0; };
  const auto upLeft = [&](std::size_t i) -> unsigned { return i >= bpp ? prior[i - bpp] : 0; };
  switch (type) {
    case ftNone: std::memcpy(out, raw, n); break;
    case ftSub:
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - left(i));
      break;
    case ftUp:
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - prior[i]);
      break;
    case ftAverage:
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - ((left(i) + prior[i]) >> 1));
      break;
    case ftPaeth:
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - Paeth(left(i), prior[i], upLeft(i)));
      break;
    default: throw EPNGImageException(png_text::kUnknownFilter);
  }
}

int ChooseFilter(TFilterSet filters, const std::uint8_t* const candidates[5], std::size_t n) {
  if (filters == FilterBit(ftNone)) return ftNone;
  int best = ftNone;
  std::size_t bestCount = 0;
  for (int t = 0; t < 5; ++t) {
    if (!(filters & (1u << t)) || !candidates[t]) continue;
    const std::uint8_t* f = candidates[t];
    // Places whose byte equals the four before it.
    std::size_t count = 0, run = 0;
    for (std::size_t k = 1; k < n; ++k) {
      run = f[k] == f[k - 1] ? run + 1 : 0;
      count += run >= 4;
    }
    if (count > bestCount) {
      best = t;
      bestCount = count;
    }
  }
  return best;
}

}  // namespace png_coding

using png_coding::Layout;

// --- decoding ---

void TChunkIDAT::Apply() {
  TPNGImage& image = Image();
  const Layout L = png_coding::CheckHeader(Header());
  const TChunkGAMA* gammaChunk = GammaChunk();
  const std::uint8_t* gamma = gammaChunk ? gammaChunk->GammaTable.data() : nullptr;
  const bool progress = static_cast<bool>(image.OnProgress());
  const platform::Palette palette = png_coding::MakePalette(*this, L, gamma);

  platform::Bitmap fresh(static_cast<int>(L.width), static_cast<int>(L.height), L.format);
  fresh.SetPalette(palette);
  const std::size_t full = L.RowBytes(L.width);
  // Rows are inflated a block at a time (zlib runs fastest on large pieces)
  // and de-filtered in place, each against the row before it; the last row
  // of a block is kept as the prior row of the next block.
  const std::size_t blockRows = std::max<std::size_t>(1, png_coding::kBlockBytes / (full + 1));
  std::vector<std::uint8_t> block(blockRows * (full + 1)), zeros(full + 1, 0), kept(full + 1, 0);
  const png_coding::RowTarget target{L, gamma, L.width};

  Data.SetPosition(0);
  TZDecompressionStream z(Data);
  // The picture takes what was decoded, also when the data breaks off.
  const auto commit = [&] { static_cast<platform::Bitmap&>(image) = std::move(fresh); };
  const auto guarded = [&](auto&& step) {
    try {
      return step();
    } catch (...) {
      commit();
      throw;
    }
  };
  // The rows of one pass (or of the whole picture): pixels w wide, bitmap
  // rows first, first + step, ...
  const auto pass = [&](std::uint32_t w, std::uint32_t first, std::uint32_t stepRows, const png_coding::Pass* adam) {
    const std::size_t n = L.RowBytes(w), stride = n + 1;
    const std::uint8_t* prior = zeros.data();
    std::uint32_t y = first;
    while (y < L.height) {
      const std::size_t left = (L.height - 1 - y) / stepRows + 1;
      const std::size_t k = std::min(blockRows, left);
      const std::size_t got = guarded([&] { return png_coding::ReadFull(z, block.data(), k * stride); });
      const std::size_t rows = got / stride;
      for (std::size_t i = 0; i < rows; ++i, y += stepRows) {
        std::uint8_t* row = block.data() + i * stride;
        guarded([&] { png_coding::Unfilter(row[0], row + 1, prior + 1, n, L.bpp); });
        png_coding::StoreRow(target, row + 1, fresh.ScanLine(static_cast<int>(y)), w, adam);
        prior = row;
        if (progress && !adam)
          image.Progress(platform::ProgressStage::Running, png_coding::MulDiv(y, 100, L.height), true,
                         platform::MakeRect(0, static_cast<int>(y) - 1, static_cast<int>(L.width), static_cast<int>(y)),
                         "Drawing...");
      }
      if (rows < k) {
        commit();
        throw EPNGImageException(png_text::kShortData);
      }
      std::memcpy(kept.data(), prior, stride);
      prior = kept.data();
    }
  };

  if (L.interlace == 1) {
    for (int p = 0; p < png_coding::kPasses; ++p) {
      const png_coding::Pass& adam = png_coding::kAdam7[p];
      const std::uint64_t wp = (std::uint64_t{L.width} + adam.columnStep - adam.firstColumn - 1) / adam.columnStep;
      if (wp > 0) pass(static_cast<std::uint32_t>(wp), adam.firstRow, adam.rowStep, &adam);
      if (progress)
        image.Progress(platform::ProgressStage::Running, png_coding::MulDiv(100, p, 6), true,
                       platform::Bounds(0, 0, static_cast<int>(L.width), static_cast<int>(L.height)), "Drawing...");
    }
  } else {
    pass(L.width, 0, 1, nullptr);
  }
  // Only the rows of the picture are read: data beyond them, bytes after the
  // zlib stream and a stream whose checksum is missing are files that other
  // readers show, so they are not examined.
  commit();
}

// --- encoding ---

void TChunkIDAT::WriteChunk(platform::Stream& stream) {
  TPNGImage& image = Image();
  const TChunkIHDR& header = Header();
  const int colorType = header.ColorType();
  const int depth = header.BitDepth();
  const auto width = static_cast<std::uint32_t>(image.Width());
  const bool indexed = colorType == 3;
  const std::size_t n = indexed ? (std::size_t{width} * static_cast<unsigned>(depth) + 7) / 8 : std::size_t{width} * 3;
  const std::size_t bpp = indexed ? 1 : 3;
  const TChunkGAMA* gammaChunk = GammaChunk();
  const std::uint8_t* inverse = gammaChunk ? gammaChunk->InverseTable.data() : nullptr;
  const TFilterSet filters = image.Filters();

  Data.Clear();
  {
    TZCompressionStream z(Data, TCompressionLevel::clDefault);
    // raw: the row as the file holds it; prior: the row before (zeros first);
    // filtered[t]: the row filtered with type t, behind its type byte.
    std::vector<std::uint8_t> raw(n), prior(n, 0);
    std::vector<std::uint8_t> filtered[5];
    const std::uint8_t* candidates[5] = {};
    for (int t = 1; t < 5; ++t)
      if (filters & (1u << t)) filtered[t].resize(n + 1);
    std::vector<std::uint8_t> noneRow(n + 1);
    for (int y = 0; y < image.Height(); ++y) {
      const std::uint8_t* line = image.ScanLine(y);
      if (indexed) {
        std::memcpy(raw.data(), line, n);
        png_coding::ClearTail(raw.data(), width, depth);
      } else {
        const std::size_t step = image.BitsPerPixel() / 8;
        std::uint8_t* r = raw.data();
        for (std::uint32_t x = 0; x < width; ++x, line += step, r += 3) {
          r[0] = line[2];
          r[1] = line[1];
          r[2] = line[0];
        }
        if (inverse)
          for (std::uint8_t& v : raw) v = inverse[v];
      }
      for (int t = 1; t < 5; ++t)
        if (!filtered[t].empty()) {
          png_coding::Filter(t, raw.data(), prior.data(), filtered[t].data() + 1, n, bpp);
          candidates[t] = filtered[t].data() + 1;
        }
      std::memcpy(noneRow.data() + 1, raw.data(), n);
      candidates[0] = noneRow.data() + 1;
      const int type = png_coding::ChooseFilter(filters, candidates, n);
      std::uint8_t* out = type == ftNone ? noneRow.data() : filtered[type].data();
      out[0] = static_cast<std::uint8_t>(type);
      z.WriteBuffer(out, n + 1);
      std::swap(prior, raw);
    }
    z.Finish();
  }
  WriteRaw(stream);
}

}  // namespace codecs

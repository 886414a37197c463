#include "pellora-lib/shrink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pellora {
namespace {

struct Contribution {
  int dest;
  int source;
  double weight;
};

// The walk over one axis: each destination cell takes the parts of the
// source cells it covers, weighted by the covered share of its own size.
std::vector<Contribution> Contributions(int sourceSize, int destSize) {
  std::vector<Contribution> list;
  list.reserve(static_cast<size_t>(sourceSize) + static_cast<size_t>(destSize) + 1);
  const double scale = static_cast<double>(sourceSize) / destSize;
  double s = 1.0;
  double need = scale;
  int i = 0;
  int x = 0;
  while (i < destSize) {
    if (s >= need) {
      list.push_back({i, x, need / scale});
      s -= need;
      if (s == 0.0) {
        s = 1.0;
        ++x;
      }
      need = scale;
      ++i;
    } else {
      list.push_back({i, x, s / scale});
      need -= s;
      if (need == 0.0) {
        need = scale;
        ++i;
      }
      s = 1.0;
      if (x + 1 >= sourceSize) break;
      ++x;
    }
  }
  // Rounding can leave the last source step one past the end with a weight
  // of (nearly) nothing; such a step reads no pixel.
  while (!list.empty() && list.back().source >= sourceSize) list.pop_back();
  return list;
}

// One channel value to a byte: below 0 gives 0, 255 and above give 255,
// anything between goes to the nearest integer, a half to the even one.
uint8_t ToByte(double sum) {
  if (sum >= 255.0) return 255;
  if (sum <= 0.0) return 0;
  return static_cast<uint8_t>(std::nearbyint(sum));
}

// The steps of one axis for each destination cell: steps[first[d]] up to
// steps[first[d + 1]] all have dest d (the list is ordered by dest).
std::vector<size_t> FirstSteps(const std::vector<Contribution>& steps, int destSize) {
  std::vector<size_t> first(static_cast<size_t>(destSize) + 1, steps.size());
  for (size_t k = steps.size(); k-- > 0;) first[static_cast<size_t>(steps[k].dest)] = k;
  // A cell without steps starts where the next one does, so its range is
  // empty.
  for (size_t d = static_cast<size_t>(destSize); d-- > 0;) first[d] = std::min(first[d], first[d + 1]);
  return first;
}

// out[i] = in[i]
void ToDoubles(double* out, const uint8_t* in, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  auto two = [](double* at, __m128i four) {
    _mm_storeu_pd(at, _mm_cvtepi32_pd(four));
    _mm_storeu_pd(at + 2, _mm_cvtepi32_pd(_mm_srli_si128(four, 8)));
  };
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
    const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
    two(out + i, _mm_unpacklo_epi16(lo, zero));
    two(out + i + 4, _mm_unpackhi_epi16(lo, zero));
    two(out + i + 8, _mm_unpacklo_epi16(hi, zero));
    two(out + i + 12, _mm_unpackhi_epi16(hi, zero));
  }
#endif
  for (; i < n; ++i) out[i] = in[i];
}

// The sums below are sums of products with every value at least 0, so the
// first product of a sum is stored instead of added to 0.0: the same double,
// bit for bit. Each element keeps its own order of additions; the vector
// forms only do two elements side by side, with separate multiply and add
// (no fused operation, which would round differently).

// One source row resampled across: row[3 d + c] is the weighted sum of the
// channel c of the source pixels that destination column d covers, added in
// the order of the steps. `wide` holds the row's bytes as doubles.
void ResampleRow(const uint8_t* in, const std::vector<Contribution>& across, const std::vector<size_t>& firstAcross,
                 std::vector<double>& wide, double* row) {
  ToDoubles(wide.data(), in, wide.size());
  const double* from = wide.data();
  const Contribution* steps = across.data();
  for (size_t d = 0; d + 1 < firstAcross.size(); ++d) {
    size_t k = firstAcross[d];
    const size_t end = firstAcross[d + 1];
    if (k == end) continue;  // stays 0
    const double* px = from + static_cast<size_t>(steps[k].source) * 3;
    double w = steps[k].weight;
#if defined(__SSE2__)
    __m128d a01 = _mm_mul_pd(_mm_loadu_pd(px), _mm_set1_pd(w));
    double a2 = px[2] * w;
    for (++k; k < end; ++k) {
      px = from + static_cast<size_t>(steps[k].source) * 3;
      w = steps[k].weight;
      a01 = _mm_add_pd(a01, _mm_mul_pd(_mm_loadu_pd(px), _mm_set1_pd(w)));
      a2 += px[2] * w;
    }
    _mm_storeu_pd(row + d * 3, a01);
    row[d * 3 + 2] = a2;
#else
    double a0 = px[0] * w, a1 = px[1] * w, a2 = px[2] * w;
    for (++k; k < end; ++k) {
      px = from + static_cast<size_t>(steps[k].source) * 3;
      w = steps[k].weight;
      a0 += px[0] * w;
      a1 += px[1] * w;
      a2 += px[2] * w;
    }
    row[d * 3] = a0;
    row[d * 3 + 1] = a1;
    row[d * 3 + 2] = a2;
#endif
  }
}

// row[k] = in[k] * w
void Scale(double* row, const double* in, double w, size_t n) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128d wv = _mm_set1_pd(w);
  for (; k + 2 <= n; k += 2) _mm_storeu_pd(row + k, _mm_mul_pd(_mm_loadu_pd(in + k), wv));
#endif
  for (; k < n; ++k) row[k] = in[k] * w;
}

// row[k] += in[k] * w
void AddScaled(double* row, const double* in, double w, size_t n) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128d wv = _mm_set1_pd(w);
  for (; k + 2 <= n; k += 2)
    _mm_storeu_pd(row + k, _mm_add_pd(_mm_loadu_pd(row + k), _mm_mul_pd(_mm_loadu_pd(in + k), wv)));
#endif
  for (; k < n; ++k) row[k] += in[k] * w;
}

// out[k] = ToByte(row[k])
void ToBytes(uint8_t* out, const double* row, size_t n) {
  size_t k = 0;
#if defined(__SSE2__)
  // Clamped into [0, 255] first, then converted in the default rounding
  // mode (to nearest, a half to even), as nearbyint does.
  const __m128d lo = _mm_setzero_pd();
  const __m128d hi = _mm_set1_pd(255.0);
  auto four = [&](const double* at) {
    const __m128i a = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(at), lo), hi));
    const __m128i b = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(at + 2), lo), hi));
    return _mm_unpacklo_epi64(a, b);
  };
  for (; k + 16 <= n; k += 16) {
    const __m128i words = _mm_packs_epi32(four(row + k), four(row + k + 4));
    const __m128i words2 = _mm_packs_epi32(four(row + k + 8), four(row + k + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words2));
  }
#endif
  for (; k < n; ++k) out[k] = ToByte(row[k]);
}

float Sinc(float x) {
  if (x == 0.0f) return 1.0f;
  const float px = std::numbers::pi_v<float> * x;
  return std::sin(px) / px;
}

}  // namespace

void ShrinkBitmap(platform::Bitmap& bitmap, int newWidth, int newHeight) {
  if (newWidth <= 0 || newHeight <= 0 || bitmap.Empty()) return;
  if (newWidth > platform::Bitmap::kMaxSide || newHeight > platform::Bitmap::kMaxSide) return;
  if (bitmap.GetPixelFormat() != platform::PixelFormat::Bit24) bitmap.SetPixelFormat(platform::PixelFormat::Bit24);
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const std::vector<Contribution> across = Contributions(width, newWidth);
  const std::vector<Contribution> down = Contributions(height, newHeight);

  platform::Bitmap result;
  try {
    result = platform::Bitmap(newWidth, newHeight, platform::PixelFormat::Bit24);
  } catch (const std::exception&) {
    return;  // larger than any bitmap may be: left as it is
  }
  result.SetPalette(bitmap.GetPalette());
  // Each source row that contributes is resampled across once, into
  // rowAcross, and added into the sum of every destination row it covers;
  // destination rows are summed one at a time. Rows and columns that no step
  // reaches stay 0.
  const size_t n = static_cast<size_t>(newWidth) * 3;
  const std::vector<size_t> firstAcross = FirstSteps(across, newWidth);
  const std::vector<size_t> firstDown = FirstSteps(down, newHeight);
  std::vector<double> rowAcross(n, 0.0);
  std::vector<double> sum(n, 0.0);
  std::vector<double> wide(static_cast<size_t>(width) * 3);
  int acrossRow = -1;
  auto resampleAcross = [&](int source) {
    if (source == acrossRow) return;
    ResampleRow(bitmap.ScanLine(source), across, firstAcross, wide, rowAcross.data());
    acrossRow = source;
  };
  // The destination row last made from one whole source row alone, and that
  // source row: when enlarging, the next rows are often the same.
  int copyRow = -1, copySource = -1;
  for (int r = 0; r < newHeight; ++r) {
    const size_t begin = firstDown[static_cast<size_t>(r)];
    const size_t end = firstDown[static_cast<size_t>(r) + 1];
    if (begin == end) continue;  // stays 0
    uint8_t* out = result.ScanLine(r);
    const Contribution& first = down[begin];
    if (end - begin == 1 && first.weight == 1.0) {
      // The sum would be 0.0 + row * 1.0, which is the row itself.
      if (first.source == copySource) {
        std::memcpy(out, result.ScanLine(copyRow), n);
      } else {
        resampleAcross(first.source);
        ToBytes(out, rowAcross.data(), n);
      }
      copyRow = r;
      copySource = first.source;
      continue;
    }
    resampleAcross(first.source);
    Scale(sum.data(), rowAcross.data(), first.weight, n);
    for (size_t k = begin + 1; k < end; ++k) {
      resampleAcross(down[k].source);
      AddScaled(sum.data(), rowAcross.data(), down[k].weight, n);
    }
    ToBytes(out, sum.data(), n);
  }
  result.SetTransparent(bitmap.Transparent());
  result.SetTransparentColor(bitmap.TransparentColorSetting());
  bitmap = std::move(result);
}

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

float TriangleFilter(float x) {
  const float t = std::fabs(x);
  return t < 1.0f ? 1.0f - t : 0.0f;
}

float HermiteFilter(float x) {
  const float t = std::fabs(x);
  return t < 1.0f ? (2.0f * t - 3.0f) * t * t + 1.0f : 0.0f;
}

float BellFilter(float x) {
  const float t = std::fabs(x);
  if (t < 0.5f) return 0.75f - t * t;
  if (t < 1.5f) {
    const float d = t - 1.5f;
    return 0.5f * d * d;
  }
  return 0.0f;
}

float BSplineFilter(float x) {
  const float t = std::fabs(x);
  if (t < 1.0f) return 0.5f * t * t * t - t * t + 2.0f / 3.0f;
  if (t < 2.0f) {
    const float d = 2.0f - t;
    return d * d * d / 6.0f;
  }
  return 0.0f;
}

float Lanczos3Filter(float x) {
  const float t = std::fabs(x);
  return t < 3.0f ? Sinc(t) * Sinc(t / 3.0f) : 0.0f;
}

float MitchellFilter(float x) {
  const float t = std::fabs(x);
  const float t2 = t * t;
  if (t < 1.0f) return (7.0f * t * t2 - 12.0f * t2 + 16.0f / 3.0f) / 6.0f;
  if (t < 2.0f) return (-7.0f / 3.0f * t * t2 + 12.0f * t2 - 20.0f * t + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

const std::array<ResampleFilter, 7> kResampleFilters = {{
    {"Box", BoxFilter, 0.5f},
    {"Triangle", TriangleFilter, 1.0f},
    {"Hermite", HermiteFilter, 1.0f},
    {"Bell", BellFilter, 1.5f},
    {"B-Spline", BSplineFilter, 2.0f},
    {"Lanczos3", Lanczos3Filter, 3.0f},
    {"Mitchell", MitchellFilter, 2.0f},
}};

}  // namespace pellora

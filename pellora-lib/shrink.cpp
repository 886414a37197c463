#include "pellora-lib/shrink.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

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

uint8_t ToByte(double sum) {
  if (sum >= 255.0) return 255;
  if (sum <= 0.0) return 0;
  return static_cast<uint8_t>(std::nearbyint(sum));
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
  // One source row resampled across, reused by every destination row that
  // row contributes to; one destination row summed at a time.
  std::vector<double> rowAcross(static_cast<size_t>(newWidth) * 3);
  std::vector<double> sum(static_cast<size_t>(newWidth) * 3, 0.0);
  int acrossRow = -1;
  auto flush = [&](int r) {
    uint8_t* out = result.ScanLine(r);
    for (size_t k = 0; k < sum.size(); ++k) out[k] = ToByte(sum[k]);
    std::fill(sum.begin(), sum.end(), 0.0);
  };
  int currentRow = down.empty() ? 0 : down.front().dest;
  for (const Contribution& v : down) {
    if (v.dest != currentRow) {
      flush(currentRow);
      currentRow = v.dest;
    }
    if (v.source != acrossRow) {
      std::fill(rowAcross.begin(), rowAcross.end(), 0.0);
      const uint8_t* in = bitmap.ScanLine(v.source);
      for (const Contribution& h : across) {
        const uint8_t* px = in + static_cast<size_t>(h.source) * 3;
        double* acc = rowAcross.data() + static_cast<size_t>(h.dest) * 3;
        acc[0] += px[0] * h.weight;
        acc[1] += px[1] * h.weight;
        acc[2] += px[2] * h.weight;
      }
      acrossRow = v.source;
    }
    for (size_t k = 0; k < sum.size(); ++k) sum[k] += rowAcross[k] * v.weight;
  }
  if (!down.empty()) flush(currentRow);
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

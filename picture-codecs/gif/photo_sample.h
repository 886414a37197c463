#pragma once
// A photo-like picture for the colour-reduction tests and benchmarks: smooth
// gradients of many hues, soft shading, hard-edged shapes and grain, so that
// no small palette holds it and every quantiser has to choose.
#include <cmath>
#include <cstdint>
#include <random>

#include "platform/bitmap.h"

namespace gif::sample {

inline platform::Bitmap PhotoLikeBitmap(int width, int height, unsigned seed = 7) {
  platform::Bitmap b(width, height, platform::PixelFormat::Bit24);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> grain(-6, 6);
  const double w = width, h = height;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const double u = x / w, v = y / h;
      // Sky to ground, a sun, and waves of hue across.
      double r = 90 + 120 * v + 40 * std::sin(6.0 * u + 2.0 * v);
      double g = 120 + 60 * std::sin(3.0 * u) * std::cos(4.0 * v) + 30 * v;
      double bl = 210 - 150 * v + 35 * std::cos(5.0 * u - 3.0 * v);
      const double du = u - 0.7, dv = v - 0.25;
      const double sun = std::exp(-(du * du + dv * dv) * 40.0);
      r += 120 * sun;
      g += 100 * sun;
      bl -= 60 * sun;
      // A dark disc and a bright bar with hard edges.
      const double cu = u - 0.3, cv = v - 0.65;
      if (cu * cu + cv * cv < 0.02) {
        r = 40 + 60 * u;
        g = 70 + 50 * v;
        bl = 30;
      }
      if (v > 0.45 && v < 0.5 && u > 0.1 && u < 0.9) {
        r = 230;
        g = 200 + 40 * u;
        bl = 120;
      }
      auto channel = [&](double c) {
        const int n = static_cast<int>(std::lround(c)) + grain(rng);
        return static_cast<std::uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
      };
      row[3 * x + 2] = channel(r);
      row[3 * x + 1] = channel(g);
      row[3 * x + 0] = channel(bl);
    }
  }
  return b;
}

}  // namespace gif::sample

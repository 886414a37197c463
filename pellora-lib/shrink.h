#pragma once
// Area-average resizing of 24-bit bitmaps (the card pictures follow the table
// size with it) and the table of resampling filter kernels.
#include <array>

#include "platform/bitmap.h"

namespace pellora {

// Resizes the bitmap in place to newWidth x newHeight; every new pixel is the
// area-weighted mean of the source pixels under it. An empty bitmap or a size
// of 0 or below changes nothing. A bitmap of another format is first
// converted to 24 bits.
void ShrinkBitmap(platform::Bitmap& bitmap, int newWidth, int newHeight);

using FilterKernel = float (*)(float);

struct ResampleFilter {
  const char* name;
  FilterKernel kernel;
  float support;
};

float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float BSplineFilter(float x);
float Lanczos3Filter(float x);
float MitchellFilter(float x);

// "Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell".
extern const std::array<ResampleFilter, 7> kResampleFilters;

}  // namespace pellora

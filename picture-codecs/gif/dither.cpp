#include "picture-codecs/gif/dither.h"

#include <algorithm>

namespace gif {

namespace {

constexpr KernelWeight kFloydSteinberg[] = {
    {0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1},
};

constexpr KernelWeight kStucki[] = {
    {0, 1, 8},  {0, 2, 4},                                             //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},          //
    {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1},          //
};

constexpr KernelWeight kSierra[] = {
    {0, 1, 5},  {0, 2, 3},                                             //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},          //
    {2, -1, 2}, {2, 0, 3},  {2, 1, 2},                                 //
};

constexpr KernelWeight kJaJuNi[] = {
    {0, 1, 7},  {0, 2, 5},                                             //
    {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},          //
    {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1},          //
};

constexpr KernelWeight kSteveArche[] = {
    {0, 2, 32},                                                        //
    {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},                  //
    {2, -2, 12}, {2, 0, 26},  {2, 2, 12},                              //
    {3, -3, 5},  {3, -1, 12}, {3, 1, 12}, {3, 3, 5},                   //
};

constexpr KernelWeight kBurkes[] = {
    {0, 1, 8},  {0, 2, 4},                                             //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},          //
};

// Rounded to the nearest, halves up, for either sign.
template <int Divisor>
[[gnu::always_inline]] inline int RoundedQuotient(std::int32_t error) {
  const std::int32_t n = error + Divisor / 2;
  return n >= 0 ? n / Divisor : -((-n + Divisor - 1) / Divisor);
}

template <int Divisor>
[[gnu::always_inline]] inline std::uint8_t Corrected(std::uint8_t value, std::int32_t error) {
  const int v = value + RoundedQuotient<Divisor>(error);
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

TDitherEngine::TDitherEngine(int width, TColorLookup& lookup) : mapper_(lookup), rowWidth_(width) {
  if (width < 1) throw GIFException("Invalid image dimensions");
  if (lookup.ColourCount() < 1) throw GIFException("Palette has no colours");
}

std::uint8_t TDitherEngine::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                        std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  const std::uint8_t index = MapNearest(red, green, blue, outRed, outGreen, outBlue);
  AdvanceColumn();
  return index;
}

void TDitherEngine::NextRow() {
  step_ = -step_;
  position_ = step_ > 0 ? 0 : rowWidth_ - 1;
}

TDiffusionDitherer::TDiffusionDitherer(int width, TColorLookup& lookup, std::span<const KernelWeight> kernel,
                                       int divisor)
    : TDitherEngine(width, lookup), divisor_(divisor), margin_(0), rows_(1) {
  for (const KernelWeight& w : kernel) {
    margin_ = std::max(margin_, std::abs(w.offset));
    rows_ = std::max(rows_, w.row + 1);
  }
  // Width is at most the bitmap layer's side; the margins cannot overflow.
  const std::size_t columns = static_cast<std::size_t>(width) + 2 * static_cast<std::size_t>(margin_);
  errors_.assign(static_cast<std::size_t>(rows_), std::vector<std::int32_t>(columns * 3, 0));
  for (std::vector<std::int32_t>& row : errors_) rowStart_.push_back(row.data());
}

template <int Divisor, const auto& Kernel>
std::uint8_t TDiffusionDitherer::Diffuse(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                         std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  if (Position() < 0 || Position() >= RowWidth()) throw GIFException("Scan line index out of range");
  const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(Position() + margin_) * 3;
  const std::int32_t* current = rowStart_[0] + column;
  const std::uint8_t r = Corrected<Divisor>(red, current[0]);
  const std::uint8_t g = Corrected<Divisor>(green, current[1]);
  const std::uint8_t b = Corrected<Divisor>(blue, current[2]);
  const std::uint8_t index = MapNearest(r, g, b, outRed, outGreen, outBlue);
  const int er = r - outRed, eg = g - outGreen, eb = b - outBlue;
  if ((er | eg | eb) != 0) {
    const std::ptrdiff_t step = Step() * 3;
#pragma GCC unroll 16
    for (const KernelWeight& w : Kernel) {
      std::int32_t* cell = rowStart_[static_cast<std::size_t>(w.row)] + column + w.offset * step;
      cell[0] += er * w.weight;
      cell[1] += eg * w.weight;
      cell[2] += eb * w.weight;
    }
  }
  AdvanceColumn();
  return index;
}

void TDiffusionDitherer::NextRow() {
  std::fill(errors_[static_cast<std::size_t>(first_)].begin(), errors_[static_cast<std::size_t>(first_)].end(), 0);
  first_ = (first_ + 1) % rows_;
  for (int k = 0; k < rows_; ++k)
    rowStart_[static_cast<std::size_t>(k)] = errors_[static_cast<std::size_t>((first_ + k) % rows_)].data();
  TDitherEngine::NextRow();
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup)
    : TDiffusionDitherer(width, lookup, kFloydSteinberg, 16) {}
TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, kStucki, 42) {}
TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, kSierra, 32) {}
TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, kJaJuNi, 48) {}
TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : TDiffusionDitherer(width, lookup, kSteveArche, 200) {}
TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : TDiffusionDitherer(width, lookup, kBurkes, 32) {}

std::uint8_t TFloydSteinbergDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                             std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Diffuse<16, kFloydSteinberg>(red, green, blue, outRed, outGreen, outBlue);
}

std::uint8_t TStuckiDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                             std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Diffuse<42, kStucki>(red, green, blue, outRed, outGreen, outBlue);
}

std::uint8_t TSierraDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                             std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Diffuse<32, kSierra>(red, green, blue, outRed, outGreen, outBlue);
}

std::uint8_t TJaJuNiDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                             std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Diffuse<48, kJaJuNi>(red, green, blue, outRed, outGreen, outBlue);
}

std::uint8_t TSteveArcheDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                             std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Diffuse<200, kSteveArche>(red, green, blue, outRed, outGreen, outBlue);
}

std::uint8_t TBurkesDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                             std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Diffuse<32, kBurkes>(red, green, blue, outRed, outGreen, outBlue);
}

std::unique_ptr<TDitherEngine> CreateDitherEngine(DitherMode mode, int width, TColorLookup& lookup) {
  switch (mode) {
    case DitherMode::Nearest: return std::make_unique<TDitherEngine>(width, lookup);
    case DitherMode::FloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case DitherMode::Stucki: return std::make_unique<TStuckiDitherer>(width, lookup);
    case DitherMode::Sierra: return std::make_unique<TSierraDitherer>(width, lookup);
    case DitherMode::JaJuNi: return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case DitherMode::SteveArche: return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case DitherMode::Burkes: return std::make_unique<TBurkesDitherer>(width, lookup);
  }
  throw GIFException("Invalid reduction method");
}

}  // namespace gif

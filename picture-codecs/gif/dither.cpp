#include "picture-codecs/gif/dither.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <type_traits>

namespace gif {

namespace {

// Truncated toward zero for either sign, so that a positive and a negative
// error of one size correct alike. Rounding to the nearest with negative
// errors floored (or truncating after adding half the divisor) leans the
// correction one way and lets the carried error grow: on a photo reduced
// to 256 colours with Floyd-Steinberg the mean squared error rose from 26.2
// to 31.0 (27.5).
template <int Divisor>
[[gnu::always_inline]] inline std::uint8_t Corrected(std::uint8_t value, std::int32_t error) {
  const int v = value + error / Divisor;
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

void TDitherEngine::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
  std::uint8_t r, g, b;
  for (int x = Position(); x >= 0 && x < RowWidth(); x = Position()) {
    const std::uint8_t* px = bgr + static_cast<std::ptrdiff_t>(x) * 3;
    indices[x] = DitherPixel(px[2], px[1], px[0], r, g, b);
  }
}

void TDitherEngine::NextRow() {
  step_ = -step_;
  position_ = step_ > 0 ? 0 : rowWidth_ - 1;
}

TDiffusionDitherer::TDiffusionDitherer(int width, TColorLookup& lookup, std::span<const KernelWeight> kernel,
                                       int divisor)
    : TDitherEngine(width, lookup),
      lookup_(lookup),
      exact_(dynamic_cast<TExactColorLookup*>(&lookup)),
      divisor_(divisor),
      margin_(0),
      rows_(1) {
  for (const KernelWeight& w : kernel) {
    margin_ = std::max(margin_, std::abs(w.offset));
    rows_ = std::max(rows_, w.row + 1);
  }
  // Width is at most the bitmap layer's side; the margins cannot overflow.
  const std::size_t columns = static_cast<std::size_t>(width) + 2 * static_cast<std::size_t>(margin_);
  errors_.assign(static_cast<std::size_t>(rows_), std::vector<std::int32_t>(columns * kLanes, 0));
  for (std::vector<std::int32_t>& row : errors_) rowStart_.push_back(row.data());
}

template <int Divisor, const auto& Kernel>
std::uint8_t TDiffusionDitherer::Diffuse(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                         std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  if (exact_) return DiffuseThrough<Divisor, Kernel>(*exact_, red, green, blue, outRed, outGreen, outBlue);
  return DiffuseThrough<Divisor, Kernel>(lookup_, red, green, blue, outRed, outGreen, outBlue);
}

template <int Divisor, const auto& Kernel, typename Lookup>
std::uint8_t TDiffusionDitherer::DiffuseThrough(Lookup& lookup, std::uint8_t red, std::uint8_t green,
                                                std::uint8_t blue, std::uint8_t& outRed, std::uint8_t& outGreen,
                                                std::uint8_t& outBlue) {
  if (Position() < 0 || Position() >= RowWidth()) throw GIFException("Scan line index out of range");
  const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(Position() + margin_) * kLanes;
  const std::int32_t* current = rowStart_[0] + column;
  const std::uint8_t b = Corrected<Divisor>(blue, current[0]);
  const std::uint8_t g = Corrected<Divisor>(green, current[1]);
  const std::uint8_t r = Corrected<Divisor>(red, current[2]);
  std::uint8_t index;
  if constexpr (std::is_same_v<Lookup, TExactColorLookup>)
    index = lookup.Nearest(r, g, b, outRed, outGreen, outBlue);
  else
    index = lookup.MapColour(r, g, b, outRed, outGreen, outBlue);
  const int er = r - outRed, eg = g - outGreen, eb = b - outBlue;
  if ((er | eg | eb) != 0) {
    const std::ptrdiff_t step = Step() * kLanes;
#pragma GCC unroll 16
    for (const KernelWeight& w : Kernel) {
      std::int32_t* cell = rowStart_[static_cast<std::size_t>(w.row)] + column + w.offset * step;
      cell[0] += eb * w.weight;
      cell[1] += eg * w.weight;
      cell[2] += er * w.weight;
    }
  }
  AdvanceColumn();
  return index;
}

template <int Divisor, const auto& Kernel>
void TDiffusionDitherer::DiffuseRow(const std::uint8_t* bgr, std::uint8_t* indices) {
#if defined(__SSE2__)
  if (exact_) {
    DiffuseRowExact<Divisor, Kernel>(*exact_, bgr, indices);
    return;
  }
#endif
  DiffuseRowThrough<Divisor, Kernel>(lookup_, bgr, indices);
}

// The pixel step of DiffuseThrough over a whole row, the position and the
// error columns kept in registers.
template <int Divisor, const auto& Kernel, typename Lookup>
void TDiffusionDitherer::DiffuseRowThrough(Lookup& lookup, const std::uint8_t* bgr, std::uint8_t* indices) {
  const int width = RowWidth();
  const int step = Step();
  const std::ptrdiff_t stride = step * kLanes;
  std::int32_t* rows[std::size(Kernel)];
  for (std::size_t k = 0; k < std::size(Kernel); ++k) rows[k] = rowStart_[static_cast<std::size_t>(Kernel[k].row)];
  std::int32_t* const current = rowStart_[0];
  int x = Position();
  for (; x >= 0 && x < width; x += step) {
    const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(x + margin_) * kLanes;
    const std::uint8_t* px = bgr + static_cast<std::ptrdiff_t>(x) * 3;
    const std::int32_t* error = current + column;
    const std::uint8_t b = Corrected<Divisor>(px[0], error[0]);
    const std::uint8_t g = Corrected<Divisor>(px[1], error[1]);
    const std::uint8_t r = Corrected<Divisor>(px[2], error[2]);
    std::uint8_t outRed, outGreen, outBlue;
    std::uint8_t index;
    if constexpr (std::is_same_v<Lookup, TExactColorLookup>)
      index = lookup.Nearest(r, g, b, outRed, outGreen, outBlue);
    else
      index = lookup.MapColour(r, g, b, outRed, outGreen, outBlue);
    indices[x] = index;
    const int er = r - outRed, eg = g - outGreen, eb = b - outBlue;
    if ((er | eg | eb) != 0) {
      for (std::size_t k = 0; k < std::size(Kernel); ++k) {
        std::int32_t* cell = rows[k] + column + Kernel[k].offset * stride;
        cell[0] += eb * Kernel[k].weight;
        cell[1] += eg * Kernel[k].weight;
        cell[2] += er * Kernel[k].weight;
      }
    }
  }
  SetPosition(x);
}

#if defined(__SSE2__)
namespace {

// The quotient of each lane by Divisor, truncated toward zero as Corrected
// truncates, for the errors a row can hold (at most 255 times the sum of
// the weights, which is the divisor or less).
template <int Divisor>
[[gnu::always_inline]] inline __m128i QuotientOf(__m128i t) {
  if constexpr (std::has_single_bit(static_cast<unsigned>(Divisor))) {
    constexpr int kShift = std::countr_zero(static_cast<unsigned>(Divisor));
    // Negative values are raised by Divisor - 1 first.
    const __m128i bias = _mm_srli_epi32(_mm_srai_epi32(t, 31), 32 - kShift);
    return _mm_srai_epi32(_mm_add_epi32(t, bias), kShift);
  } else {
    // Exact: such values and the divisor are exact in float, and a quotient
    // that is not whole lies at least 1 / Divisor from the nearest whole
    // number, far more than the division's rounding.
    return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(t), _mm_set1_ps(static_cast<float>(Divisor))));
  }
}

// The kernel's current row reaches AheadReach() columns ahead with the
// weights AheadWeights() (from 1 column ahead; 0 where it has none); the
// rows below reach BelowReach() columns either way with BelowWeights()
// (row 1 first, from BelowReach() columns behind).
template <const auto& Kernel>
constexpr int AheadReach() {
  int reach = 0;
  for (const KernelWeight& w : Kernel)
    if (w.row == 0) reach = std::max(reach, w.offset);
  return reach;
}

template <const auto& Kernel>
constexpr auto AheadWeights() {
  std::array<int, AheadReach<Kernel>()> weights{};
  for (const KernelWeight& w : Kernel)
    if (w.row == 0) weights[static_cast<std::size_t>(w.offset - 1)] = w.weight;
  return weights;
}

template <const auto& Kernel>
constexpr int RowsBelow() {
  int rows = 0;
  for (const KernelWeight& w : Kernel) rows = std::max(rows, w.row);
  return rows;
}

template <const auto& Kernel>
constexpr int BelowReach() {
  int reach = 0;
  for (const KernelWeight& w : Kernel)
    if (w.row > 0) reach = std::max(reach, w.offset < 0 ? -w.offset : w.offset);
  return reach;
}

template <const auto& Kernel>
constexpr auto BelowWeights() {
  constexpr int kReach = BelowReach<Kernel>();
  std::array<std::array<int, 2 * kReach + 1>, RowsBelow<Kernel>()> weights{};
  for (const KernelWeight& w : Kernel)
    if (w.row > 0) weights[static_cast<std::size_t>(w.row - 1)][static_cast<std::size_t>(w.offset + kReach)] = w.weight;
  return weights;
}

// Only pixels not yet visited take a share.
template <const auto& Kernel>
constexpr bool OnlyAhead() {
  for (const KernelWeight& w : Kernel)
    if (w.row == 0 && w.offset <= 0) return false;
  return AheadReach<Kernel>() >= 1 && RowsBelow<Kernel>() >= 1;
}

}  // namespace

template <int Divisor, const auto& Kernel>
void TDiffusionDitherer::DiffuseRowExact(TExactColorLookup& lookup, const std::uint8_t* bgr, std::uint8_t* indices) {
  static_assert(OnlyAhead<Kernel>());
  // The pixel next in the row takes the weight kNext of the error, colour
  // less entry: the first part is known before the search ends, the second
  // comes from nextShare_. ahead[k] holds what the pixels done so far give
  // the pixel k + 2 columns ahead, below[r][k] what they give the column
  // k - kBelow columns from the current pixel in row r + 1; the rows' memory
  // holds the rest. A column of a row below takes its last share from the
  // pixel kBelow columns past it, and is written then.
  constexpr auto kAheadWeights = AheadWeights<Kernel>();
  constexpr int kNext = kAheadWeights[0];
  constexpr int kAhead = AheadReach<Kernel>() - 1;
  constexpr int kRows = RowsBelow<Kernel>();
  constexpr int kBelow = BelowReach<Kernel>();
  constexpr auto kBelowWeights = BelowWeights<Kernel>();
  constexpr int kPending = 2 * kBelow;
  const TExactColorLookup::Searcher search(lookup);
  if (kNext != 0 && nextShare_.empty()) {
    nextShare_.resize(256);
    for (int i = 0; i < 256; ++i)
      _mm_store_si128(reinterpret_cast<__m128i*>(nextShare_[static_cast<std::size_t>(i)].lane),
                       _mm_madd_epi16(search.EntryOf(static_cast<std::uint8_t>(i)), _mm_set1_epi32(kNext)));
  }
  const __m128i* const nextShare = reinterpret_cast<const __m128i*>(nextShare_.data());
  const int width = RowWidth();
  const int step = Step();
  const std::ptrdiff_t stride = step * kLanes;
  const std::ptrdiff_t margin = static_cast<std::ptrdiff_t>(margin_) * kLanes;
  const std::int32_t* const current = rowStart_[0] + margin;
  std::int32_t* rows[kRows];
  for (int r = 0; r < kRows; ++r) rows[r] = rowStart_[static_cast<std::size_t>(r + 1)] + margin;
  const __m128i zero = _mm_setzero_si128();
  __m128i ahead[kAhead + 1];
  for (__m128i& a : ahead) a = zero;
  __m128i below[kRows][kPending];
  for (auto& row : below)
    for (__m128i& b : row) b = zero;
  auto load = [](const std::int32_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  auto addTo = [](std::int32_t* at, __m128i value) {
    __m128i* cell = reinterpret_cast<__m128i*>(at);
    _mm_storeu_si128(cell, _mm_add_epi32(_mm_loadu_si128(cell), value));
  };
  auto inputAt = [&](int column) {
    const std::uint8_t* px = bgr + static_cast<std::ptrdiff_t>(column) * 3;
    return _mm_setr_epi32(px[0], px[1], px[2], 0);
  };
  // Each lane times a weight: the value in the lane's low 16 bits times
  // the weight plus the high 16 bits times 0.
  auto times = [&](__m128i lanes, int weight) {
    return weight == 0 ? zero : _mm_madd_epi16(lanes, _mm_set1_epi32(weight));
  };
  int x = Position();
  // The current pixel's colour corrected by its error, not yet clamped.
  __m128i wide = zero;
  if (x >= 0 && x < width)
    wide = _mm_add_epi32(inputAt(x), QuotientOf<Divisor>(load(current + static_cast<std::ptrdiff_t>(x) * kLanes)));
  for (; x >= 0 && x < width; x += step) {
    const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(x) * kLanes;
    // Blue, green and red clamped to 0..255: bytes for the cell, 16-bit
    // lanes for the search, 32-bit lanes for the error.
    const __m128i packed = _mm_packs_epi32(wide, wide);
    const __m128i clamped = _mm_packus_epi16(packed, packed);
    const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(clamped));
    const int key = static_cast<int>((bytes >> 3 & 31) << 10 | (bytes >> 11 & 31) << 5 | (bytes >> 19 & 31));
    const __m128i corrected = _mm_unpacklo_epi8(clamped, zero);
    const __m128i colour = _mm_unpacklo_epi16(corrected, zero);
    const __m128i next = _mm_add_epi32(_mm_add_epi32(load(current + column + stride), ahead[0]), times(colour, kNext));
    const int nextX = x + step;
    const __m128i nextInput = nextX >= 0 && nextX < width ? inputAt(nextX) : zero;
    const std::uint8_t index = search.Nearest(corrected, key);
    indices[x] = index;
    // The next pixel's colour: its input plus (next - share) / Divisor,
    // truncated toward zero. With a divisor of 2^s that is
    // (Divisor * input + next - share + (share > next ? Divisor - 1 : 0))
    // >> s, whose sign test does not wait for the subtraction.
    if constexpr (kNext != 0 && std::has_single_bit(static_cast<unsigned>(Divisor))) {
      constexpr int kShift = std::countr_zero(static_cast<unsigned>(Divisor));
      const __m128i share = nextShare[index];
      const __m128i base = _mm_add_epi32(next, _mm_slli_epi32(nextInput, kShift));
      const __m128i bias = _mm_and_si128(_mm_cmpgt_epi32(share, next), _mm_set1_epi32(Divisor - 1));
      wide = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(base, share), bias), kShift);
    } else if constexpr (kNext != 0) {
      wide = _mm_add_epi32(nextInput, QuotientOf<Divisor>(_mm_sub_epi32(next, nextShare[index])));
    } else {
      wide = _mm_add_epi32(nextInput, QuotientOf<Divisor>(next));
    }
    const __m128i error = _mm_sub_epi32(colour, search.EntryOf(index));
    for (int k = 0; k + 1 < kAhead; ++k)
      ahead[k] = _mm_add_epi32(ahead[k + 1], times(error, kAheadWeights[static_cast<std::size_t>(k + 1)]));
    if constexpr (kAhead > 0) ahead[kAhead - 1] = times(error, kAheadWeights[kAhead]);
    for (int r = 0; r < kRows; ++r) {
      const auto& w = kBelowWeights[static_cast<std::size_t>(r)];
      addTo(rows[r] + column - kBelow * stride, _mm_add_epi32(below[r][0], times(error, w[0])));
      for (int k = 0; k + 1 < kPending; ++k)
        below[r][k] = _mm_add_epi32(below[r][k + 1], times(error, w[static_cast<std::size_t>(k + 1)]));
      below[r][kPending - 1] = times(error, w[static_cast<std::size_t>(kPending)]);
    }
  }
  // The columns still owed their shares, kBelow behind x on.
  const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(x) * kLanes;
  for (int r = 0; r < kRows; ++r)
    for (int k = 0; k < kPending; ++k) addTo(rows[r] + column + (k - kBelow) * stride, below[r][k]);
  SetPosition(x);
}
#endif

void TDiffusionDitherer::NextRow() {
  std::fill(errors_[static_cast<std::size_t>(first_)].begin(), errors_[static_cast<std::size_t>(first_)].end(), 0);
  first_ = (first_ + 1) % rows_;
  for (int k = 0; k < rows_; ++k)
    rowStart_[static_cast<std::size_t>(k)] = errors_[static_cast<std::size_t>((first_ + k) % rows_)].data();
  TDitherEngine::NextRow();
}

template <const auto& Kernel, int KernelDivisor, typename Base>
std::uint8_t TKernelDitherer<Kernel, KernelDivisor, Base>::DitherPixel(std::uint8_t red, std::uint8_t green,
                                                                      std::uint8_t blue, std::uint8_t& outRed,
                                                                      std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return this->template Diffuse<KernelDivisor, Kernel>(red, green, blue, outRed, outGreen, outBlue);
}

template <const auto& Kernel, int KernelDivisor, typename Base>
void TKernelDitherer<Kernel, KernelDivisor, Base>::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
  this->template DiffuseRow<KernelDivisor, Kernel>(bgr, indices);
}

template class TKernelDitherer<kFloydSteinbergKernel, 16>;
template class TKernelDitherer<kStuckiKernel, 42, T5by3Ditherer>;
template class TKernelDitherer<kSierraKernel, 32, T5by3Ditherer>;
template class TKernelDitherer<kJaJuNiKernel, 48, T5by3Ditherer>;
template class TKernelDitherer<kSteveArcheKernel, 200>;
template class TKernelDitherer<kBurkesKernel, 32>;

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

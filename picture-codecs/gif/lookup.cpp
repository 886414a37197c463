#include "picture-codecs/gif/lookup.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "picture-codecs/gif/colour_types.h"

namespace gif {

namespace {

int PaletteSize(const platform::Palette& palette) { return static_cast<int>(std::min<std::size_t>(palette.size(), 256)); }

}  // namespace

TFastColorLookup::TFastColorLookup(const platform::Palette& palette) : TColorLookup(PaletteSize(palette)) {
  cache_.fill(-1);
  for (int i = 0; i < ColourCount(); ++i) {
    const platform::Color c = palette[static_cast<std::size_t>(i)];
    Entry& e = paletteCopy_[static_cast<std::size_t>(i)];
    e.red = static_cast<std::uint8_t>(platform::GetRValue(c));
    e.green = static_cast<std::uint8_t>(platform::GetGValue(c));
    e.blue = static_cast<std::uint8_t>(platform::GetBValue(c));
    std::int16_t& slot = cache_[static_cast<std::size_t>(CacheKey(e.red, e.green, e.blue))];
    if (slot < 0) slot = static_cast<std::int16_t>(i);
  }
}

std::uint8_t TFastColorLookup::MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                         std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  std::int16_t& slot = cache_[static_cast<std::size_t>(CacheKey(red, green, blue))];
  if (slot < 0) {
    if (ColourCount() == 0) throw GIFException("Palette has no colours");
    int best = 0x30000;
    int found = 0;
    for (int i = 0; i < ColourCount(); ++i) {
      const Entry& e = paletteCopy_[static_cast<std::size_t>(i)];
      const int d = std::abs(e.red - red) + std::abs(e.green - green) + std::abs(e.blue - blue);
      if (d < best) {
        best = d;
        found = i;
      }
    }
    slot = static_cast<std::int16_t>(found);
  }
  const Entry& e = paletteCopy_[static_cast<std::size_t>(slot)];
  outRed = e.red;
  outGreen = e.green;
  outBlue = e.blue;
  return static_cast<std::uint8_t>(slot);
}

// ---- the exact lookup ----------------------------------------------------

namespace {

constexpr int kCellSide = 8;
constexpr int kCellCount = 32768;

}  // namespace

TExactColorLookup::TExactColorLookup(const platform::Palette& palette)
    : TColorLookup(PaletteSize(palette)),
      state_(kCellCount, CellState::Unbuilt),
      cellBlocks_(std::make_unique_for_overwrite<CellBlocks[]>(kCellCount)) {
  for (int level = 0; level < kBoxLevels; ++level) {
    const std::size_t perSide = static_cast<std::size_t>(256 / kBoxSides[level]);
    boxes_[static_cast<std::size_t>(level)].resize(perSide * perSide * perSide);
  }
  for (int i = 0; i < ColourCount(); ++i) {
    const platform::Color c = palette[static_cast<std::size_t>(i)];
    const Entry e{static_cast<std::uint8_t>(platform::GetRValue(c)), static_cast<std::uint8_t>(platform::GetGValue(c)),
                  static_cast<std::uint8_t>(platform::GetBValue(c))};
    paletteCopy_[static_cast<std::size_t>(i)] = e;
    entryLanes_[static_cast<std::size_t>(i)] = Lanes{{e.blue, e.green, e.red, 0}};
  }
}

int TExactColorLookup::Reachable(const std::uint8_t* from, int count, const int (&lo)[3], int side,
                                 std::uint8_t* out) const {
  // The nearest and the farthest squared distance of each entry from the
  // box; no entry farther from all of the box than another entry is from
  // any of it can be the nearest anywhere in it.
  const Entry* const palette = paletteCopy_.data();
  const int hi[3] = {lo[0] + side - 1, lo[1] + side - 1, lo[2] + side - 1};
  int nearest[256];
  int bound = std::numeric_limits<int>::max();
  int leader = from[0];
#if defined(__SSE2__)
  // Both at once: the channels (blue, green, red, 0) twice in 16-bit lanes,
  // the differences from the box's nearest point in the first four, from
  // its farthest in the last four.
  const __m128i low = _mm_setr_epi16(static_cast<std::int16_t>(lo[2]), static_cast<std::int16_t>(lo[1]),
                                     static_cast<std::int16_t>(lo[0]), 0, static_cast<std::int16_t>(lo[2]),
                                     static_cast<std::int16_t>(lo[1]), static_cast<std::int16_t>(lo[0]), 0);
  const __m128i high = _mm_setr_epi16(static_cast<std::int16_t>(hi[2]), static_cast<std::int16_t>(hi[1]),
                                      static_cast<std::int16_t>(hi[0]), 0, static_cast<std::int16_t>(hi[2]),
                                      static_cast<std::int16_t>(hi[1]), static_cast<std::int16_t>(hi[0]), 0);
  const __m128i firstHalf = _mm_setr_epi16(-1, -1, -1, -1, 0, 0, 0, 0);
#endif
  for (int j = 0; j < count; ++j) {
#if defined(__SSE2__)
    const __m128i entry = _mm_load_si128(reinterpret_cast<const __m128i*>(entryLanes_[from[j]].data()));
    const __m128i c = _mm_packs_epi32(entry, entry);
    const __m128i below = _mm_sub_epi16(low, c), above = _mm_sub_epi16(c, high);
    const __m128i dn = _mm_max_epi16(_mm_max_epi16(below, above), _mm_setzero_si128());
    const __m128i df = _mm_max_epi16(_mm_sub_epi16(c, low), _mm_sub_epi16(high, c));
    const __m128i both = _mm_or_si128(_mm_and_si128(firstHalf, dn), _mm_andnot_si128(firstHalf, df));
    const __m128i squares = _mm_madd_epi16(both, both);
    const __m128i sums = _mm_add_epi32(squares, _mm_shuffle_epi32(squares, _MM_SHUFFLE(2, 3, 0, 1)));
    const int near = _mm_cvtsi128_si32(sums), far = _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
#else
    const Entry& e = palette[from[j]];
    const int c[3] = {e.red, e.green, e.blue};
    int near = 0, far = 0;
    for (int k = 0; k < 3; ++k) {
      const int below = lo[k] - c[k], above = c[k] - hi[k];
      const int dn = std::max(std::max(below, above), 0);
      const int df = -std::min(below, above);
      near += dn * dn;
      far += df * df;
    }
#endif
    nearest[j] = near;
    if (far < bound) {
      bound = far;
      leader = from[j];
    }
  }
  // d(p, a) - d(p, b) is linear in p, so its largest value over the box
  // lies at a corner: the sum of each channel's larger end. An entry that
  // the leader beats there (or ties with a lower index) is beaten
  // everywhere in the box.
  const Entry& a = palette[leader];
  const int ca[3] = {a.red, a.green, a.blue};
  int chosen = 0;
  for (int j = 0; j < count; ++j) {
    if (nearest[j] > bound) continue;
    const Entry& e = palette[from[j]];
    const int cb[3] = {e.red, e.green, e.blue};
    int most = 0;
    for (int k = 0; k < 3; ++k) {
      const int w = cb[k] - ca[k], sum = ca[k] + cb[k];
      most += std::max(w * (2 * lo[k] - sum), w * (2 * hi[k] - sum));
    }
    const bool beaten = from[j] != leader && (leader < from[j] ? most <= 0 : most < 0);
    if (!beaten) out[chosen++] = from[j];
  }
  return chosen;
}

std::span<const std::uint8_t> TExactColorLookup::BoxEntries(int level, int red, int green, int blue) {
  const int side = kBoxSides[level];
  const int perSide = 256 / side;
  const std::size_t box = static_cast<std::size_t>(((blue / side) * perSide + green / side) * perSide + red / side);
  std::vector<std::uint8_t>& list = boxes_[static_cast<std::size_t>(level)][box];
  if (list.empty()) {
    std::array<std::uint8_t, 256> all{};
    std::span<const std::uint8_t> parent;
    if (level == 0) {
      for (int i = 0; i < ColourCount(); ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
      parent = std::span<const std::uint8_t>(all.data(), static_cast<std::size_t>(ColourCount()));
    } else {
      parent = BoxEntries(level - 1, red, green, blue);
    }
    const int lo[3] = {red / side * side, green / side * side, blue / side * side};
    std::uint8_t chosen[256];
    const int n = Reachable(parent.data(), static_cast<int>(parent.size()), lo, side, chosen);
    list.assign(chosen, chosen + n);
  }
  return list;
}

void TExactColorLookup::BuildCell(int key) {
  if (ColourCount() == 0) throw GIFException("Palette has no colours");
  // Each box of colours keeps the entries that can be the nearest somewhere
  // in it, chosen from those of the box around it: an entry that cannot be
  // the nearest anywhere in a box cannot be in any part of it either.
  const int r = (key & 31) * kCellSide, g = ((key >> 5) & 31) * kCellSide, b = (key >> 10) * kCellSide;
  const std::span<const std::uint8_t> shared = BoxEntries(kBoxLevels - 1, r, g, b);
  const int lo[3] = {r, g, b};
  std::uint8_t picked[256];
  const std::size_t count =
      static_cast<std::size_t>(Reachable(shared.data(), static_cast<int>(shared.size()), lo, kCellSide, picked));
  const std::span<const std::uint8_t> chosen(picked, count);

  auto fill = [&](Block& block, std::size_t at) {
    for (int lane = 0; lane < kBlockLanes; ++lane) {
      const std::size_t from = at + static_cast<std::size_t>(lane);
      const std::uint8_t index = from < chosen.size() ? chosen[from] : chosen[0];
      const Entry& e = paletteCopy_[index];
      block.blueGreen[2 * lane] = static_cast<std::int16_t>(e.blue * kScale);
      block.blueGreen[2 * lane + 1] = static_cast<std::int16_t>(e.green * kScale);
      block.redIndex[2 * lane] = static_cast<std::int16_t>(e.red * kScale);
      block.redIndex[2 * lane + 1] = index;
    }
  };
  CellBlocks& own = cellBlocks_[static_cast<std::size_t>(key)];
  for (int i = 0; i < kCellBlocks; ++i) fill(own.block[i], static_cast<std::size_t>(i * kBlockLanes));
  constexpr std::size_t kInlineLanes = kCellBlocks * kBlockLanes;
  if (chosen.size() <= kInlineLanes) {
    state_[static_cast<std::size_t>(key)] = CellState::Inline;
    return;
  }
  if (spills_.empty()) spills_.resize(kCellCount);
  Spill& spill = spills_[static_cast<std::size_t>(key)];
  spill.first = static_cast<std::uint32_t>(spilled_.size());
  for (std::size_t at = kInlineLanes; at < chosen.size(); at += kBlockLanes) {
    spilled_.emplace_back();
    fill(spilled_.back(), at);
    ++spill.blocks;
  }
  state_[static_cast<std::size_t>(key)] = CellState::Spilled;
}

#if defined(__SSE2__)
std::uint8_t TExactColorLookup::NearestSlow(int key, __m128i scaled) {
  const std::size_t cell = static_cast<std::size_t>(key);
  if (state_[cell] == CellState::Unbuilt) BuildCell(key);
  const __m128i blueGreen = _mm_shuffle_epi32(scaled, _MM_SHUFFLE(0, 0, 0, 0));
  const __m128i redZero = _mm_shuffle_epi32(scaled, _MM_SHUFFLE(1, 1, 1, 1));
  const Block* own = cellBlocks_[cell].block;
  static_assert(kCellBlocks == 2);
  __m128 best = _mm_min_ps(Ranked(own[0], blueGreen, redZero), Ranked(own[1], blueGreen, redZero));
  if (state_[cell] == CellState::Spilled) {
    const Spill& spill = spills_[cell];
    for (std::uint32_t b = 0; b < spill.blocks; ++b)
      best = _mm_min_ps(best, Ranked(spilled_[spill.first + b], blueGreen, redZero));
  }
  return IndexOfLeast(best);
}
#else
std::int32_t TExactColorLookup::LaneKey(const Block& block, int lane, const std::int32_t (&query)[3]) {
  const std::int32_t db = block.blueGreen[2 * lane] - query[0], dg = block.blueGreen[2 * lane + 1] - query[1];
  const std::int32_t dr = block.redIndex[2 * lane] - query[2];
  return db * db + dg * dg + dr * dr + block.redIndex[2 * lane + 1];
}

std::uint8_t TExactColorLookup::NearestSlow(int key, const std::int32_t (&query)[3]) {
  const std::size_t cell = static_cast<std::size_t>(key);
  if (state_[cell] == CellState::Unbuilt) BuildCell(key);
  std::int32_t found = std::numeric_limits<std::int32_t>::max();
  auto search = [&](const Block* block, std::size_t count) {
    for (std::size_t b = 0; b < count; ++b)
      for (int lane = 0; lane < kBlockLanes; ++lane) found = std::min(found, LaneKey(block[b], lane, query));
  };
  search(cellBlocks_[cell].block, kCellBlocks);
  if (state_[cell] == CellState::Spilled) search(spilled_.data() + spills_[cell].first, spills_[cell].blocks);
  return static_cast<std::uint8_t>(found & ((1 << kIndexBits) - 1));
}
#endif

std::uint8_t TExactColorLookup::Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                        std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  const int key = TFastColorLookup::CacheKey(red, green, blue);
#if defined(__SSE2__)
  const std::uint8_t index = Searcher(*this).Nearest(_mm_setr_epi16(blue, green, red, 0, 0, 0, 0, 0), key);
#else
  const std::int32_t query[3] = {blue * kScale, green * kScale, red * kScale};
  const std::uint8_t index = NearestSlow(key, query);
#endif
  const Entry& e = paletteCopy_[index];
  outRed = e.red;
  outGreen = e.green;
  outBlue = e.blue;
  return index;
}

std::vector<int> TExactColorLookup::CandidatesOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const int key = TFastColorLookup::CacheKey(red, green, blue);
  const std::size_t cell = static_cast<std::size_t>(key);
  if (state_[cell] == CellState::Unbuilt) BuildCell(key);
  std::vector<int> out;
  auto collect = [&](const Block* block, std::size_t count) {
    for (std::size_t b = 0; b < count; ++b)
      for (int lane = 0; lane < kBlockLanes; ++lane) {
        const int index = block[b].redIndex[2 * lane + 1];
        if (out.empty() || index > out.back()) out.push_back(index);
      }
  };
  collect(cellBlocks_[cell].block, kCellBlocks);
  if (state_[cell] == CellState::Spilled) collect(spilled_.data() + spills_[cell].first, spills_[cell].blocks);
  return out;
}

std::uint8_t TExactColorLookup::MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                          std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  return Nearest(red, green, blue, outRed, outGreen, outBlue);
}

std::uint8_t TNetscapeColorLookup::MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                             std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  const int r = Level(red), g = Level(green), b = Level(blue);
  outRed = static_cast<std::uint8_t>(r * 51);
  outGreen = static_cast<std::uint8_t>(g * 51);
  outBlue = static_cast<std::uint8_t>(b * 51);
  return static_cast<std::uint8_t>(r * 36 + g * 6 + b);
}

std::uint8_t TGrayScaleLookup::MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                         std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  const auto grey = static_cast<std::uint8_t>((red * 77 + green * 150 + blue * 29) >> 8);
  outRed = outGreen = outBlue = grey;
  return grey;
}

std::uint8_t TMonochromeLookup::MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                          std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  const bool white = red * 77 + green * 150 + blue * 29 > kWhiteAbove;
  outRed = outGreen = outBlue = white ? 255 : 0;
  return white ? 1 : 0;
}

}  // namespace gif

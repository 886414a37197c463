#pragma once
// Colour lookups: each maps a 24-bit colour to an index of one palette and
// gives back the colour of that entry, so that a dithering engine can carry
// the difference on to the neighbours.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/graphic.h"

namespace gif {

class TColorLookup {
 public:
  virtual ~TColorLookup() = default;
  TColorLookup(const TColorLookup&) = delete;
  TColorLookup& operator=(const TColorLookup&) = delete;

  // How many palette entries MapColour can give (0: the lookup is unusable).
  int ColourCount() const { return colourCount_; }

  // The index for (red, green, blue), below ColourCount(); out* receive the
  // colour of that entry. GIFException when ColourCount() is 0.
  virtual std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                                 std::uint8_t& outGreen, std::uint8_t& outBlue) = 0;

 protected:
  explicit TColorLookup(int colourCount) : colourCount_(colourCount) {}

 private:
  int colourCount_;
};

// Any palette of up to 256 entries (more are ignored). Colours are grouped in
// cells of 8 x 8 x 8 (5 bits per channel); every colour of a cell gets the
// index found for the first colour of that cell that was looked up, or the
// lowest palette entry lying in the cell. A search takes the entry of the
// smallest sum of channel differences, the lowest index on a tie.
class TFastColorLookup final : public TColorLookup {
 public:
  explicit TFastColorLookup(const platform::Palette& palette);

  std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                         std::uint8_t& outGreen, std::uint8_t& outBlue) override;

  // The cell of a colour: (blue / 8) * 1024 + (green / 8) * 32 + red / 8.
  static int CacheKey(int red, int green, int blue) { return (blue >> 3) << 10 | (green >> 3) << 5 | (red >> 3); }

 private:
  struct Entry {
    std::uint8_t red, green, blue;
  };
  std::array<Entry, 256> paletteCopy_{};
  std::array<std::int16_t, 32768> cache_;
};

// Any palette of up to 256 entries (more are ignored), answered exactly:
// the entry of the smallest squared distance (red, green and blue
// differences squared and summed), the lowest index on a tie, the same as a
// search of the whole palette. For the diffusing engines, whose carried
// error grows when a cell of colours shares one answer. Each 8 x 8 x 8 cell
// of colours keeps, from its first visit on, the few entries that can be the
// nearest somewhere in it (an entry whose nearest point of the cell lies
// farther than the farthest point lies from another entry cannot, nor can
// one that another entry beats at every corner of the cell), and a lookup
// searches only those.
class TExactColorLookup final : public TColorLookup {
 public:
  explicit TExactColorLookup(const platform::Palette& palette);

  std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                         std::uint8_t& outGreen, std::uint8_t& outBlue) override;

  // MapColour, for callers that know the class (the diffusing engines).
  std::uint8_t Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                       std::uint8_t& outGreen, std::uint8_t& outBlue);

  // The entries searched for colours of the cell of (red, green, blue),
  // in index order: for the tests.
  std::vector<int> CandidatesOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

  // Up to four candidates with their colours, laid out for a search of
  // all four at once: red and green as pairs of 16 bits, blue beside a
  // zero, and the palette index. Lanes past the cell's last candidate
  // repeat its first one.
  struct alignas(16) Block {
    std::int16_t redGreen[8];
    std::int16_t blueZero[8];
    std::int32_t index[4];
  };

 private:
  struct Cell {
    std::uint32_t first = 0;
    std::uint32_t blocks = 0;  // 0: not built yet
  };
  static constexpr int kBlockLanes = 4;
  // What a lookup compares: the squared distance shifted past the index,
  // so that the smallest key is the nearest entry of the lowest index.
  static constexpr int kIndexBits = 8;
  const Cell& NewCell(int key);
  void BuildCell(Cell& cell, int key);
  // Of the entries from[0..count), those that can be the nearest somewhere
  // in the box of the given side from lo, in their order; with prune, also
  // without those another entry beats everywhere in it.
  std::vector<std::uint8_t> Reachable(const std::uint8_t* from, int count, const int (&lo)[3], int side,
                                      bool prune) const;

  struct Entry {
    std::uint8_t red, green, blue;
  };
  std::array<Entry, 256> paletteCopy_{};
  std::vector<Cell> cells_;
  std::vector<std::vector<std::uint8_t>> regions_;
  std::vector<Block> blocks_;
};

inline std::uint8_t TExactColorLookup::Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                               std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue) {
  const int key = TFastColorLookup::CacheKey(red, green, blue);
  const Cell* cell = &cells_[static_cast<std::size_t>(key)];
  if (cell->blocks == 0) [[unlikely]]
    cell = &NewCell(key);
  const Block* block = blocks_.data() + cell->first;
  const Block* const end = block + cell->blocks;
#if defined(__SSE2__)
  // SSE2 has no lane-wise minimum of 32 bits.
  auto smaller = [](__m128i a, __m128i b) {
    const __m128i less = _mm_cmplt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(less, a), _mm_andnot_si128(less, b));
  };
  const __m128i rg = _mm_set1_epi32(static_cast<int>(green) << 16 | red);
  const __m128i b0 = _mm_set1_epi32(blue);
  __m128i best = _mm_set1_epi32(std::numeric_limits<std::int32_t>::max());
  for (; block != end; ++block) {
    const __m128i d1 = _mm_sub_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block->redGreen)), rg);
    const __m128i d2 = _mm_sub_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block->blueZero)), b0);
    const __m128i distance = _mm_add_epi32(_mm_madd_epi16(d1, d1), _mm_madd_epi16(d2, d2));
    const __m128i ranked = _mm_add_epi32(_mm_slli_epi32(distance, kIndexBits),
                                         _mm_load_si128(reinterpret_cast<const __m128i*>(block->index)));
    best = smaller(ranked, best);
  }
  best = smaller(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(1, 0, 3, 2)));
  best = smaller(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(2, 3, 0, 1)));
  const std::int32_t found = _mm_cvtsi128_si32(best);
#else
  std::int32_t found = std::numeric_limits<std::int32_t>::max();
  for (; block != end; ++block)
    for (int lane = 0; lane < kBlockLanes; ++lane) {
      const int dr = block->redGreen[2 * lane] - red, dg = block->redGreen[2 * lane + 1] - green;
      const int db = block->blueZero[2 * lane] - blue;
      found = std::min(found, (dr * dr + dg * dg + db * db) << kIndexBits | block->index[lane]);
    }
#endif
  const auto index = static_cast<std::uint8_t>(found & ((1 << kIndexBits) - 1));
  const Entry& e = paletteCopy_[index];
  outRed = e.red;
  outGreen = e.green;
  outBlue = e.blue;
  return index;
}

// The web-safe palette: each channel goes to the nearest of the levels
// 0, 51, ..., 255 ((value + 25) / 51); index red * 36 + green * 6 + blue.
class TNetscapeColorLookup final : public TColorLookup {
 public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                         std::uint8_t& outGreen, std::uint8_t& outBlue) override;
  static int Level(int value) { return (value + 25) / 51; }
};

// The grey ramp: grey = (red * 77 + green * 150 + blue * 29) >> 8 is both
// the index and the colour.
class TGrayScaleLookup final : public TColorLookup {
 public:
  TGrayScaleLookup() : TColorLookup(256) {}
  std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                         std::uint8_t& outGreen, std::uint8_t& outBlue) override;
};

// Black (0) and white (1): white when red * 77 + green * 150 + blue * 29
// exceeds 32512, the weighted sum of the grey 127.
class TMonochromeLookup final : public TColorLookup {
 public:
  TMonochromeLookup() : TColorLookup(2) {}
  std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                         std::uint8_t& outGreen, std::uint8_t& outBlue) override;
  static constexpr int kWhiteAbove = 0x7F00;
};

}  // namespace gif

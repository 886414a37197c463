#pragma once
// Colour lookups: each maps a 24-bit colour to an index of one palette and
// gives back the colour of that entry, so that a dithering engine can carry
// the difference on to the neighbours.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
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
  // A cell is searched from its blocks alone (Inline), from those and more
  // kept beside (Spilled), or not yet built.
  enum class CellState : std::uint8_t { Unbuilt, Inline, Spilled };
  struct alignas(16) Lanes : std::array<std::int32_t, 4> {};
  struct CellBlocks;

 public:
  explicit TExactColorLookup(const platform::Palette& palette);

  std::uint8_t MapColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                         std::uint8_t& outGreen, std::uint8_t& outBlue) override;

  // MapColour, for callers that know the class.
  std::uint8_t Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                       std::uint8_t& outGreen, std::uint8_t& outBlue);

#if defined(__SSE2__)
  // The searches of the diffusing engines, with the lookup's tables at hand
  // for a whole row; they hold a colour as 16-bit lanes (blue, green, red,
  // 0, ...), each 0..255.
  class Searcher {
   public:
    explicit Searcher(TExactColorLookup& lookup)
        : lookup_(lookup),
          state_(lookup.state_.data()),
          cells_(lookup.cellBlocks_.get()),
          entries_(lookup.entryLanes_.data()) {}
    // The index of the nearest entry; key is the colour's cell,
    // TFastColorLookup::CacheKey.
    std::uint8_t Nearest(__m128i blueGreenRed, int key) const;
    // An entry's colour as 32-bit lanes (blue, green, red, 0).
    __m128i EntryOf(std::uint8_t index) const {
      return _mm_load_si128(reinterpret_cast<const __m128i*>(entries_[index].data()));
    }

   private:
    TExactColorLookup& lookup_;
    const CellState* state_;
    const CellBlocks* cells_;
    const Lanes* entries_;
  };
#endif

  // The entries searched for colours of the cell of (red, green, blue),
  // in index order: for the tests.
  std::vector<int> CandidatesOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

  // Up to four candidates laid out for a search of all four at once, each
  // channel times 16 in 16 bits: blue and green as a pair, red beside the
  // palette index. A pair of differences squared and summed (_mm_madd_epi16)
  // then gives 256 times the squared distance, the red pair (difference,
  // index) against (difference, 1) adds the index below it, so that the
  // smallest sum is the nearest entry of the lowest index. Lanes past the
  // cell's last candidate repeat its first one.
  struct alignas(32) Block {
    std::int16_t blueGreen[8];
    std::int16_t redIndex[8];
  };

 private:
  // The first blocks of a cell, searched without a loop: they hold every
  // candidate of most cells of a picture.
  static constexpr int kCellBlocks = 2;
  struct alignas(64) CellBlocks {
    Block block[kCellBlocks];
  };
  static constexpr int kBlockLanes = 4;
  static constexpr int kIndexBits = 8;
  static constexpr int kScaleShift = 4;
  static constexpr int kScale = 1 << kScaleShift;
  struct Spill {
    std::uint32_t first = 0;
    std::uint32_t blocks = 0;
  };
#if defined(__SSE2__)
  // The search of a cell not yet built or of more candidates than its
  // blocks hold; scaled is the colour's lanes times 16.
  std::uint8_t NearestSlow(int key, __m128i scaled);
  // A block's search keys for a colour's (blue, green) and (red, 0) lanes
  // times 16, as floats that order as the keys do, and the index of the
  // least of four.
  static __m128 Ranked(const Block& block, __m128i blueGreen, __m128i redZero);
  static std::uint8_t IndexOfLeast(__m128 keys);
#else
  std::uint8_t NearestSlow(int key, const std::int32_t (&query)[3]);
  // The search key of a block's lane for the colour (blue, green, red)
  // times 16.
  static std::int32_t LaneKey(const Block& block, int lane, const std::int32_t (&query)[3]);
#endif
  void BuildCell(int key);
  // Of the entries from[0..count), those that can be the nearest somewhere
  // in the box of the given side from lo (red, green, blue), in their
  // order, into out; how many.
  int Reachable(const std::uint8_t* from, int count, const int (&lo)[3], int side, std::uint8_t* out) const;
  // The sides of the boxes that keep such entries for the smaller boxes in
  // them, from the largest; each box's entries are chosen from those of the
  // box around it, the cells' from those of the last.
  static constexpr int kBoxLevels = 3;
  static constexpr int kBoxSides[kBoxLevels] = {64, 32, 16};
  // The entries of the box of the given level around a colour, chosen when
  // first asked for.
  std::span<const std::uint8_t> BoxEntries(int level, int red, int green, int blue);

  struct Entry {
    std::uint8_t red, green, blue;
  };
  std::array<Entry, 256> paletteCopy_{};
  std::array<Lanes, 256> entryLanes_{};
  std::vector<CellState> state_;
  // Read only where state_ says a cell is built.
  std::unique_ptr<CellBlocks[]> cellBlocks_;
  std::vector<Spill> spills_;
  std::vector<Block> spilled_;
  std::array<std::vector<std::vector<std::uint8_t>>, kBoxLevels> boxes_;
};

#if defined(__SSE2__)
[[gnu::always_inline]] inline __m128 TExactColorLookup::Ranked(const Block& block, __m128i blueGreen,
                                                              __m128i redZero) {
  const __m128i low = _mm_set1_epi32(0xFFFF);
  const __m128i one = _mm_set1_epi32(0x10000);
  // The keys are below 2^26; raised by 2^23 their bits are those of
  // positive normal floats, which order as the keys do, so that a float
  // minimum compares them in one step.
  const __m128i normal = _mm_set1_epi32(1 << 23);
  const __m128i d1 = _mm_sub_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block.blueGreen)), blueGreen);
  const __m128i d2 = _mm_sub_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block.redIndex)), redZero);
  const __m128i m2 = _mm_or_si128(_mm_and_si128(d2, low), one);
  return _mm_castsi128_ps(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(d1, d1), normal), _mm_madd_epi16(d2, m2)));
}

[[gnu::always_inline]] inline std::uint8_t TExactColorLookup::IndexOfLeast(__m128 keys) {
  keys = _mm_min_ps(keys, _mm_shuffle_ps(keys, keys, _MM_SHUFFLE(1, 0, 3, 2)));
  keys = _mm_min_ps(keys, _mm_shuffle_ps(keys, keys, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint8_t>(_mm_cvtsi128_si32(_mm_castps_si128(keys)));
}

[[gnu::always_inline]] inline std::uint8_t TExactColorLookup::Searcher::Nearest(__m128i blueGreenRed, int key) const {
  // key has 15 bits: within both tables.
  const std::size_t cell = static_cast<std::size_t>(key);
  const __m128i scaled = _mm_slli_epi16(blueGreenRed, kScaleShift);
  if (state_[cell] != CellState::Inline) [[unlikely]]
    return lookup_.NearestSlow(key, scaled);
  const __m128i blueGreen = _mm_shuffle_epi32(scaled, _MM_SHUFFLE(0, 0, 0, 0));
  const __m128i redZero = _mm_shuffle_epi32(scaled, _MM_SHUFFLE(1, 1, 1, 1));
  const Block* block = cells_[cell].block;
  static_assert(kCellBlocks == 2);
  return IndexOfLeast(_mm_min_ps(Ranked(block[0], blueGreen, redZero), Ranked(block[1], blueGreen, redZero)));
}
#endif

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

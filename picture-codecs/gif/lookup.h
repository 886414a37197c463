#pragma once
// Colour lookups: each maps a 24-bit colour to an index of one palette and
// gives back the colour of that entry, so that a dithering engine can carry
// the difference on to the neighbours.
#include <array>
#include <cstdint>

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

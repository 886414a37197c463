#include "picture-codecs/gif/lookup.h"

#include <algorithm>
#include <cstdlib>

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

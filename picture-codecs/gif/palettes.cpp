#include "picture-codecs/gif/palettes.h"

namespace gif {

using platform::Palette;
using platform::RGBColor;

Palette WebSafePalette() {
  Palette p;
  p.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) p.push_back(RGBColor(r * 51, g * 51, b * 51));
  return p;
}

Palette GreyRampPalette() {
  Palette p;
  p.reserve(256);
  for (int i = 0; i < 256; ++i) p.push_back(RGBColor(i, i, i));
  return p;
}

Palette FourGreyPalette() {
  return {RGBColor(0, 0, 0), RGBColor(128, 128, 128), RGBColor(192, 192, 192), RGBColor(255, 255, 255)};
}

Palette TwoTonePalette() { return {RGBColor(0, 0, 0), RGBColor(255, 255, 255)}; }

Palette SystemColorPalette() {
  return {
      RGBColor(0x00, 0x00, 0x00), RGBColor(0x80, 0x00, 0x00), RGBColor(0x00, 0x80, 0x00),
      RGBColor(0x80, 0x80, 0x00), RGBColor(0x00, 0x00, 0x80), RGBColor(0x80, 0x00, 0x80),
      RGBColor(0x00, 0x80, 0x80), RGBColor(0xC0, 0xC0, 0xC0), RGBColor(0xC0, 0xDC, 0xC0),
      RGBColor(0xA6, 0xCA, 0xF0),  // the first ten
      RGBColor(0xFF, 0xFB, 0xF0), RGBColor(0xA0, 0xA0, 0xA4), RGBColor(0x80, 0x80, 0x80),
      RGBColor(0xFF, 0x00, 0x00), RGBColor(0x00, 0xFF, 0x00), RGBColor(0xFF, 0xFF, 0x00),
      RGBColor(0x00, 0x00, 0xFF), RGBColor(0xFF, 0x00, 0xFF), RGBColor(0x00, 0xFF, 0xFF),
      RGBColor(0xFF, 0xFF, 0xFF),  // the last ten
  };
}

Palette ScreenHalftonePalette() {
  const Palette system = SystemColorPalette();
  Palette p(system.begin(), system.begin() + 10);
  const Palette web = WebSafePalette();
  p.insert(p.end(), web.begin(), web.end());
  int greys = 0;
  for (int level = 9; greys < 20; level += 12) {
    if (level % 51 == 0) continue;
    p.push_back(RGBColor(level, level, level));
    ++greys;
  }
  p.insert(p.end(), system.begin() + 10, system.end());
  return p;
}

}  // namespace gif

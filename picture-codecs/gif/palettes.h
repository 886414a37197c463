#pragma once
// Fixed palettes of colour reduction and of the frames' dithered decoding.
// Each call returns a new table; the caller owns it.
#include "platform/graphic.h"

namespace gif {

// 216 entries: index r * 36 + g * 6 + b for r, g, b = 0..5 has the colour
// (r * 51, g * 51, b * 51).
platform::Palette WebSafePalette();
// 256 entries: index i is the grey (i, i, i).
platform::Palette GreyRampPalette();
// 4 entries: the greys 0, 128, 192 and 255.
platform::Palette FourGreyPalette();
// 2 entries: black and white.
platform::Palette TwoTonePalette();
// The 20 static system colours of a palette display, in their usual order:
// ten dark ones (black first), then ten light ones (white last).
platform::Palette SystemColorPalette();
constexpr int kSystemColorCount = 20;
// Our halftone palette of 256 entries, the same on every display: the first
// ten system colours, the 216 web-safe colours in their order, twenty greys
// between the web-safe greys (levels 12 * k + 9 for k = 0..20 that are no
// multiple of 51, the first twenty of them), and the last ten system colours.
platform::Palette ScreenHalftonePalette();

}  // namespace gif

#include "foundation/colorramp.h"

#include <cstddef>

namespace foundation {

std::vector<RampColour> ColourRamp;
RampKeys ColourRampKeys;

void BuildColourRamp() {
  // Sized generously first, then cut to the 6 x 255 steps of the wheel.
  ColourRamp.assign(3000, RampColour{});
  auto put = [](int i, int r, int g, int b) {
    ColourRamp[static_cast<std::size_t>(i)] =
        RampColour{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 0};
  };
  for (int i = 0; i <= 255; ++i) put(i, 255, i, 0);
  for (int i = 256; i <= 510; ++i) put(i, 510 - i, 255, 0);
  for (int i = 511; i <= 765; ++i) put(i, 0, 255, i - 510);
  for (int i = 766; i <= 1020; ++i) put(i, 0, 1020 - i, 255);
  for (int i = 1021; i <= 1275; ++i) put(i, i - 1020, 0, 255);
  for (int i = 1276; i <= 1529; ++i) put(i, 255, 0, 1530 - i);
  ColourRamp.resize(1530);
  ColourRamp.shrink_to_fit();

  // Each pure colour, and the end of the segment before it.
  ColourRampKeys = RampKeys{.red = 0, .yellow = 255, .green = 510, .cyan = 765, .blue = 1020, .magenta = 1275,
                            .last = 1529, .beforeRed = -1, .beforeYellow = 254, .beforeGreen = 509,
                            .beforeCyan = 764, .beforeBlue = 1019, .beforeMagenta = 1274, .beforeLast = 1528};
}

}  // namespace foundation

#pragma once
// A table of 1530 fully saturated colours walking once around the hue wheel
// (red, yellow, green, cyan, blue, magenta, back towards red), built at start.
#include <cstdint>
#include <vector>

namespace foundation {

struct RampColour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t unused = 0;
};

extern std::vector<RampColour> ColourRamp;

// Indices of the pure colours, and of the entry just before each (the end of
// the previous segment; -1 before red).
struct RampKeys {
  int16_t red = 0, yellow = 0, green = 0, cyan = 0, blue = 0, magenta = 0, last = 0;
  int16_t beforeRed = 0, beforeYellow = 0, beforeGreen = 0, beforeCyan = 0, beforeBlue = 0, beforeMagenta = 0,
          beforeLast = 0;
};
extern RampKeys ColourRampKeys;

void BuildColourRamp();

}  // namespace foundation

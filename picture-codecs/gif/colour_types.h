#pragma once
// Settings of colour reduction: how a picture of more than 256 colours (or of
// a format a GIF frame cannot hold) becomes an 8-bit picture. The image keeps
// them as bytes (ReductionMethod, DitherKind) and a bit count
// (ReductionDepth); values outside the named ones can be stored, and
// reduction refuses them with "Invalid reduction method".
#include <cstdint>
#include <string>

#include "platform/stream.h"

namespace gif {

// The error class of the GIF codec: every failure of reading, writing,
// colour reduction and frame conversion carries its message in one. A
// picture layer error, as those of every other codec.
class GIFException : public platform::GraphicError {
 public:
  explicit GIFException(const std::string& message) : platform::GraphicError(message) {}
};

// Which palette the reduced picture gets.
enum class ColorReduction : std::uint8_t {
  None = 0,             // no reduction: a 24-bit copy of the source
  Windows20 = 1,        // the 20 system colours
  WindowsHalftone = 2,  // the screen's halftone palette
  WindowsGray = 3,      // four greys: 0, 128, 192, 255
  Monochrome = 4,       // black and white
  GrayScale = 5,        // 256 greys
  Netscape = 6,         // the 216 web-safe colours
  Quantize = 7,         // an optimised palette of 2^ReductionDepth colours
  QuantizeWindows = 8,  // 236 optimised colours between the 20 system colours
  Palette = 9,          // a palette the caller gives
};
constexpr std::uint8_t kLastColorReduction = static_cast<std::uint8_t>(ColorReduction::Palette);

// How pixels are mapped onto the chosen palette.
enum class DitherMode : std::uint8_t {
  Nearest = 0,         // nearest colour, no error diffusion
  FloydSteinberg = 1,  // Floyd-Steinberg, divisor 16
  Stucki = 2,          // Stucki, divisor 42
  Sierra = 3,          // Sierra, divisor 32
  JaJuNi = 4,          // Jarvis-Judice-Ninke, divisor 48
  SteveArche = 5,      // Stevenson-Arce, divisor 200
  Burkes = 6,          // Burkes, divisor 32
};
constexpr std::uint8_t kLastDitherMode = static_cast<std::uint8_t>(DitherMode::Burkes);

// Bits per channel of the octree (the leaf level) and the range of
// ReductionDepth: an optimised palette of ColorReduction::Quantize has
// 2^ReductionDepth colours.
constexpr int kMinReductionBits = 1;
constexpr int kMaxReductionBits = 8;

// Defaults of a new image.
constexpr ColorReduction kDefaultColorReduction = ColorReduction::Netscape;
constexpr DitherMode kDefaultDitherMode = DitherMode::Nearest;
constexpr int kDefaultReductionBits = 8;

}  // namespace gif

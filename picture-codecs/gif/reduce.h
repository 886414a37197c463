#pragma once
// Colour reduction: any bitmap becomes an 8-bit bitmap whose palette the
// reduction method chooses and whose pixels the dither mode maps onto it;
// the octree quantiser behind the optimised palettes.
#include <array>
#include <cstdint>
#include <vector>

#include "picture-codecs/gif/colour_types.h"
#include "platform/bitmap.h"

namespace gif {

// The reduced copy of source (left unchanged; it is read as 24-bit colour,
// an alpha channel ignored):
//   None             a 24-bit copy, nothing mapped
//   Windows20        SystemColorPalette, nearest-cell lookup
//   WindowsHalftone  ScreenHalftonePalette, nearest-cell lookup
//   WindowsGray      FourGreyPalette, nearest-cell lookup
//   Monochrome       TwoTonePalette, TMonochromeLookup
//   GrayScale        GreyRampPalette, TGrayScaleLookup
//   Netscape         WebSafePalette, TNetscapeColorLookup
//   Quantize         OptimisedPalette of 2^reductionBits colours
//   QuantizeWindows  OptimisedPalette of 236 colours between the 20 system
//                    colours (entries 0-9 and 246-255)
//   Palette          customPalette (up to 256 entries taken)
// Otherwise an 8-bit bitmap of the source's size with that palette.
// GIFException: "Invalid reduction method" for a method or dither mode
// outside the enums, or a Palette method without a palette of at least one
// colour; "Invalid reduction depth" for reductionBits outside
// kMinReductionBits..kMaxReductionBits; "Invalid image dimensions" for an
// empty source.
platform::Bitmap ReduceBitmapColours(const platform::Bitmap& source, ColorReduction reduction, DitherMode ditherMode,
                                     const platform::Palette* customPalette, int reductionBits);

// Reads a bitmap of any format row by row as 24-bit colour (blue, green,
// red per pixel), without changing it.
class TDIBRowReader {
 public:
  explicit TDIBRowReader(const platform::Bitmap& bitmap);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Row y (0 <= y < Height()), valid until the next call.
  const std::uint8_t* Row(int y);

 private:
  const platform::Bitmap& bitmap_;
  int width_;
  int height_;
  std::vector<std::uint8_t> row_;
  platform::Palette palette_;
};

// The octree colour quantiser: every pixel's colour goes down the tree to a
// leaf at level ColourBits (the octant at level d from the bit 0x80 >> d of
// red, green and blue). While scanning, the tree is kept to at most
// ScanLeaves() leaves: past that the most recently made node of the deepest
// level that has children is merged into one leaf. Collecting then merges,
// while there are more than MaxColours leaves, the node of the fewest pixels
// among those whose children are all leaves, so that the colours end where
// the picture's pixels are, and refines the merged colours by a few rounds
// of k-means over the leaves of the scan: each leaf's mean colour goes to
// the nearest merged colour, weighted by the square root of its pixels
// (plain pixel counts crowd the colours into the large smooth areas and
// leave the rare ones to diffusion), and each colour moves to the weighted
// mean of its leaves.
class TColorQuantizer {
 public:
  // maxColours >= 1; colourBits 1..8; GIFException
  // "Invalid reduction depth" otherwise.
  TColorQuantizer(int maxColours, int colourBits);

  void ScanImage(TDIBRowReader& reader);
  void AddColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  // Reduces the tree to at most MaxColours leaves and gives their colours,
  // depth first in octant order: each leaf's mean (sum / pixels, rounded
  // down) when the scan kept no more leaves than that, else the refined
  // colours (rounded to the nearest).
  platform::Palette CollectColours();
  int LeafCount() const { return leafCount_; }
  int ScanLeaves() const { return scanLeaves_; }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;
  // The links a pixel's way down the tree reads, kept small; the sums
  // beside them in a table of their own.
  struct TOctreeNode {
    std::uint32_t children[8] = {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    std::uint32_t nextReducible = kNone;
    std::uint32_t parent = kNone;
    bool isLeaf = false;
  };
  struct TOctreeSums {
    std::uint64_t pixelCount = 0;
    std::uint64_t redSum = 0, greenSum = 0, blueSum = 0;
  };

  struct WeightedColour {
    std::array<double, 3> colour;
    double weight;
  };
  static constexpr int kRefineRounds = 4;
  std::vector<WeightedColour> Leaves() const;
  void Refine(platform::Palette& colours, const std::vector<WeightedColour>& leaves) const;

  std::uint32_t NewNode(int level, std::uint32_t parent);
  void FreeNode(std::uint32_t node);
  // AddColour, compiled into the scan's loop; CellLevel and ColourBits
  // the quantizer's, or 0 for them to be read.
  template <int CellLevel = 0, int ColourBits = 0>
  void Insert(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  void AddFrom(std::uint32_t node, int level, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  void AddToLeaf(std::uint32_t leaf, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  void MergeDeepest();
  // Merges the children of node, of the given level (kUnknownLevel when
  // not known), into it.
  static constexpr int kUnknownLevel = -1;
  void Merge(std::uint32_t node, int level);
  std::uint64_t MergeCost(std::uint32_t node) const;
  bool ChildrenAreLeaves(std::uint32_t node) const;
  void ReduceToMaxColours();

  std::vector<TOctreeNode> nodes_;
  std::vector<TOctreeSums> sums_;
  std::vector<std::uint32_t> free_;
  std::uint32_t root_;
  int leafCount_ = 0;
  std::uint32_t reducible_[8];
  int maxColours_;
  int colourBits_;
  int scanLeaves_;
  // Where the way down from the root stands at level cellLevel_ (or the
  // leaf above it) for each combination of the channels' top bits, valid
  // while its generation is the tree's: a merge that frees such a node
  // starts a new one.
  struct CellWay {
    std::uint32_t node = 0;
    std::uint32_t generation = 0;
  };
  static constexpr int kCellLevel = 5;
  int cellLevel_ = kCellLevel;
  std::vector<CellWay> cells_;
  std::uint32_t generation_ = 1;
};

// An optimised palette of `colours` entries (1..256) for the picture:
// without system colours, the quantiser's colours from entry 0 and black
// after them; with system colours (colours 21..256), the first ten system
// colours, colours - 20 picture colours and the last ten system colours.
// GIFException "Invalid reduction depth" for colours or colourBits out of
// range.
platform::Palette OptimisedPalette(TDIBRowReader& reader, int colours, int colourBits, bool withSystemColours);
platform::Palette OptimisedPaletteOf(const platform::Bitmap& bitmap, int colours, int colourBits,
                                     bool withSystemColours);

}  // namespace gif

#include "picture-codecs/gif/reduce.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <cstring>
#include <functional>
#include <memory>
#include <queue>
#include <utility>

#include "picture-codecs/gif/dither.h"
#include "picture-codecs/gif/lookup.h"
#include "picture-codecs/gif/palettes.h"

namespace gif {

using platform::Bitmap;
using platform::Palette;
using platform::PixelFormat;

// ---- reading rows -------------------------------------------------------

TDIBRowReader::TDIBRowReader(const Bitmap& bitmap)
    : bitmap_(bitmap), width_(bitmap.Width()), height_(bitmap.Height()), palette_(bitmap.GetPalette()) {
  if (bitmap.GetPixelFormat() != PixelFormat::Bit24) row_.resize(static_cast<std::size_t>(width_) * 3);
  // Indices beyond the table read as black, as the bitmap draws them.
  if (platform::IsIndexed(bitmap.GetPixelFormat())) palette_.resize(256, platform::clBlack);
}

const std::uint8_t* TDIBRowReader::Row(int y) {
  const std::uint8_t* src = bitmap_.ScanLine(y);
  const PixelFormat format = bitmap_.GetPixelFormat();
  if (format == PixelFormat::Bit24) return src;
  std::uint8_t* out = row_.data();
  if (format == PixelFormat::Bit32 || format == PixelFormat::Device) {
    for (int x = 0; x < width_; ++x, src += 4, out += 3) {
      out[0] = src[0];
      out[1] = src[1];
      out[2] = src[2];
    }
    return row_.data();
  }
  const int bits = bitmap_.BitsPerPixel();
  for (int x = 0; x < width_; ++x, out += 3) {
    int index;
    if (bits == 8) {
      index = src[x];
    } else if (bits == 4) {
      index = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    } else {
      index = (src[x >> 3] >> (7 - (x & 7))) & 1;
    }
    const platform::Color c = palette_[static_cast<std::size_t>(index)];
    out[0] = static_cast<std::uint8_t>(platform::GetBValue(c));
    out[1] = static_cast<std::uint8_t>(platform::GetGValue(c));
    out[2] = static_cast<std::uint8_t>(platform::GetRValue(c));
  }
  return row_.data();
}

// ---- the octree ---------------------------------------------------------

namespace {

// Leaves kept while scanning: enough for the final merges to choose well,
// few enough that the tree stays small for any picture.
constexpr int kScanLeaves = 1024;

}  // namespace

TColorQuantizer::TColorQuantizer(int maxColours, int colourBits)
    : maxColours_(maxColours), colourBits_(colourBits), scanLeaves_(std::max(maxColours, kScanLeaves)) {
  if (maxColours < 1) throw GIFException("Invalid reduction depth");
  if (colourBits < kMinReductionBits || colourBits > kMaxReductionBits) throw GIFException("Invalid reduction depth");
  for (std::uint32_t& head : reducible_) head = kNone;
  cellLevel_ = std::min(colourBits_, kCellLevel);
  cells_.assign(std::size_t{1} << (3 * cellLevel_), CellWay{});
  root_ = NewNode(0, kNone);
}

std::uint32_t TColorQuantizer::NewNode(int level, std::uint32_t parent) {
  std::uint32_t node;
  if (!free_.empty()) {
    node = free_.back();
    free_.pop_back();
    nodes_[node] = TOctreeNode();
    sums_[node] = TOctreeSums();
  } else {
    node = static_cast<std::uint32_t>(nodes_.size());
    nodes_.emplace_back();
    sums_.emplace_back();
  }
  nodes_[node].parent = parent;
  if (level == colourBits_) {
    nodes_[node].isLeaf = true;
    ++leafCount_;
  } else {
    nodes_[node].nextReducible = reducible_[level];
    reducible_[level] = node;
  }
  return node;
}

void TColorQuantizer::FreeNode(std::uint32_t node) {
  for (int i = 7; i >= 0; --i)
    if (nodes_[node].children[i] != kNone) FreeNode(nodes_[node].children[i]);
  free_.push_back(node);
}

namespace {

// The octant of a colour below a node of the given level.
[[gnu::always_inline]] inline int OctantOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int level) {
  const int shift = 7 - level;
  return ((red >> shift) & 1) << 2 | ((green >> shift) & 1) << 1 | ((blue >> shift) & 1);
}

}  // namespace

[[gnu::always_inline]] inline void TColorQuantizer::AddToLeaf(std::uint32_t leaf, std::uint8_t red,
                                                              std::uint8_t green, std::uint8_t blue) {
  TOctreeSums& sums = sums_.data()[leaf];  // a node of the tree
  ++sums.pixelCount;
  sums.redSum += red;
  sums.greenSum += green;
  sums.blueSum += blue;
}

template <int CellLevel, int ColourBits>
[[gnu::always_inline]] inline void TColorQuantizer::Insert(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const int cellLevel = CellLevel != 0 ? CellLevel : cellLevel_;
  const int colourBits = ColourBits != 0 ? ColourBits : colourBits_;
  // The way down to the cell level is looked up by the colour's top bits;
  // a merge above that level makes every remembered way stale.
  const int shift = 8 - cellLevel;
  const std::size_t key = static_cast<std::size_t>((red >> shift) << (2 * cellLevel) |
                                                   (green >> shift) << cellLevel | (blue >> shift));
  const CellWay way = cells_.data()[key];  // 3 * cellLevel_ bits
  if (way.generation != generation_) [[unlikely]] {
    AddFrom(root_, 0, red, green, blue);
    return;
  }
  // From the cell's node (or the leaf above it) to the leaf.
  const TOctreeNode* const nodes = nodes_.data();
  std::uint32_t node = way.node;
  for (int level = cellLevel; level < colourBits && !nodes[node].isLeaf; ++level) {
    const std::uint32_t child = nodes[node].children[OctantOf(red, green, blue, level)];
    if (child == kNone) [[unlikely]] {
      AddFrom(node, level, red, green, blue);
      return;
    }
    node = child;
  }
  AddToLeaf(node, red, green, blue);
}

void TColorQuantizer::AddColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) { Insert(red, green, blue); }

void TColorQuantizer::AddFrom(std::uint32_t node, int level, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  auto descend = [&](int until) {
    for (; level < until && !nodes_[node].isLeaf; ++level) {
      const int octant = OctantOf(red, green, blue, level);
      std::uint32_t child = nodes_[node].children[octant];
      if (child == kNone) {
        child = NewNode(level + 1, node);  // may move nodes_
        nodes_[node].children[octant] = child;
      }
      node = child;
    }
  };
  if (level < cellLevel_) {
    descend(cellLevel_);
    const int shift = 8 - cellLevel_;
    const std::size_t key = static_cast<std::size_t>((red >> shift) << (2 * cellLevel_) |
                                                     (green >> shift) << cellLevel_ | (blue >> shift));
    cells_[key] = CellWay{node, generation_};
  }
  descend(colourBits_);
  AddToLeaf(node, red, green, blue);
  while (leafCount_ > scanLeaves_) MergeDeepest();
}

void TColorQuantizer::Merge(std::uint32_t node, int level) {
  int children = 0;
  for (std::uint32_t& child : nodes_[node].children) {
    if (child == kNone) continue;
    const TOctreeSums& c = sums_[child];
    TOctreeSums& merged = sums_[node];
    merged.pixelCount += c.pixelCount;
    merged.redSum += c.redSum;
    merged.greenSum += c.greenSum;
    merged.blueSum += c.blueSum;
    FreeNode(child);
    child = kNone;
    ++children;
  }
  nodes_[node].isLeaf = true;
  leafCount_ -= children - 1;
  // The ways lead to nodes of the cell level or leaves above it: only a
  // merge above that level frees any of them.
  if (level < cellLevel_ && ++generation_ == std::numeric_limits<std::uint32_t>::max()) {
    std::fill(cells_.begin(), cells_.end(), CellWay{});
    generation_ = 1;
  }
}

void TColorQuantizer::MergeDeepest() {
  int level = colourBits_ - 1;
  while (level > 0 && reducible_[level] == kNone) --level;
  std::uint32_t node = reducible_[level];
  if (node == kNone) return;  // the root alone, already a leaf
  reducible_[level] = nodes_[node].nextReducible;
  Merge(node, level);
}

bool TColorQuantizer::ChildrenAreLeaves(std::uint32_t node) const {
  for (const std::uint32_t child : nodes_[node].children)
    if (child != kNone && !nodes_[child].isLeaf) return false;
  return true;
}

std::uint64_t TColorQuantizer::MergeCost(std::uint32_t node) const {
  std::uint64_t n = 0;
  for (const std::uint32_t child : nodes_[node].children)
    if (child != kNone) n += sums_[child].pixelCount;
  return n;
}

void TColorQuantizer::ReduceToMaxColours() {
  if (leafCount_ <= maxColours_) return;
  using Candidate = std::pair<std::uint64_t, std::uint32_t>;
  std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> queue;
  std::vector<std::uint32_t> stack{root_};
  while (!stack.empty()) {
    const std::uint32_t id = stack.back();
    stack.pop_back();
    if (nodes_[id].isLeaf) continue;
    if (ChildrenAreLeaves(id)) queue.emplace(MergeCost(id), id);
    for (const std::uint32_t child : nodes_[id].children)
      if (child != kNone) stack.push_back(child);
  }
  while (leafCount_ > maxColours_ && !queue.empty()) {
    const std::uint32_t id = queue.top().second;
    queue.pop();
    Merge(id, kUnknownLevel);
    const std::uint32_t parent = nodes_[id].parent;
    if (parent != kNone && ChildrenAreLeaves(parent)) queue.emplace(MergeCost(parent), parent);
  }
  // The merges above freed listed nodes: list the remaining ones afresh, so
  // that colours added later merge as while scanning.
  for (std::uint32_t& head : reducible_) head = kNone;
  std::vector<std::pair<std::uint32_t, int>> walk{{root_, 0}};
  while (!walk.empty()) {
    const auto [id, level] = walk.back();
    walk.pop_back();
    if (nodes_[id].isLeaf) continue;
    nodes_[id].nextReducible = reducible_[level];
    reducible_[level] = id;
    for (const std::uint32_t child : nodes_[id].children)
      if (child != kNone) walk.emplace_back(child, level + 1);
  }
}

void TColorQuantizer::ScanImage(TDIBRowReader& reader) {
  for (int y = 0; y < reader.Height(); ++y) {
    const std::uint8_t* row = reader.Row(y);
    // The depths of every reduction, known to the compiler, or any other.
    if (cellLevel_ == kCellLevel && colourBits_ == kMaxReductionBits)
      for (int x = 0; x < reader.Width(); ++x, row += 3) Insert<kCellLevel, kMaxReductionBits>(row[2], row[1], row[0]);
    else
      for (int x = 0; x < reader.Width(); ++x, row += 3) Insert(row[2], row[1], row[0]);
  }
}

Palette TColorQuantizer::CollectColours() {
  // The leaves of the scan, each a colour with its weight, refine the
  // merged colours afterwards.
  std::vector<WeightedColour> scanned;
  if (leafCount_ > maxColours_) scanned = Leaves();
  ReduceToMaxColours();
  Palette colours;
  colours.reserve(static_cast<std::size_t>(leafCount_));
  // Depth first without recursion: the stack holds nodes still to visit,
  // octant 0 on top.
  std::vector<std::uint32_t> stack{root_};
  while (!stack.empty()) {
    const std::uint32_t id = stack.back();
    stack.pop_back();
    const TOctreeNode& node = nodes_[id];
    if (node.isLeaf) {
      const TOctreeSums& sums = sums_[id];
      if (sums.pixelCount == 0) {
        colours.push_back(platform::clBlack);
      } else {
        colours.push_back(platform::RGBColor(static_cast<int>(sums.redSum / sums.pixelCount),
                                             static_cast<int>(sums.greenSum / sums.pixelCount),
                                             static_cast<int>(sums.blueSum / sums.pixelCount)));
      }
      continue;
    }
    for (int i = 7; i >= 0; --i)
      if (node.children[i] != kNone) stack.push_back(node.children[i]);
  }
  if (!scanned.empty()) Refine(colours, scanned);
  return colours;
}

std::vector<TColorQuantizer::WeightedColour> TColorQuantizer::Leaves() const {
  std::vector<WeightedColour> leaves;
  leaves.reserve(static_cast<std::size_t>(leafCount_));
  std::vector<std::uint32_t> stack{root_};
  while (!stack.empty()) {
    const std::uint32_t id = stack.back();
    stack.pop_back();
    if (!nodes_[id].isLeaf) {
      for (const std::uint32_t child : nodes_[id].children)
        if (child != kNone) stack.push_back(child);
      continue;
    }
    const TOctreeSums& s = sums_[id];
    if (s.pixelCount == 0) continue;
    const double n = static_cast<double>(s.pixelCount);
    leaves.push_back(WeightedColour{{static_cast<double>(s.redSum) / n, static_cast<double>(s.greenSum) / n,
                                     static_cast<double>(s.blueSum) / n},
                                    std::sqrt(n)});
  }
  return leaves;
}

void TColorQuantizer::Refine(Palette& colours, const std::vector<WeightedColour>& leaves) const {
  const std::size_t k = colours.size();
  std::vector<std::array<double, 3>> centre(k);
  for (std::size_t i = 0; i < k; ++i)
    centre[i] = {static_cast<double>(platform::GetRValue(colours[i])),
                 static_cast<double>(platform::GetGValue(colours[i])),
                 static_cast<double>(platform::GetBValue(colours[i]))};
  std::vector<std::size_t> byRed(k);
  std::vector<double> reds(k);
  for (int round = 0; round < kRefineRounds; ++round) {
    // Each leaf goes to the first centre of the least squared distance.
    // The centres in order of red: a search from the leaf's red outwards
    // ends where the red difference alone exceeds the best distance, no
    // closer centre nor an equal one of a lower index lying beyond.
    for (std::size_t i = 0; i < k; ++i) byRed[i] = i;
    std::stable_sort(byRed.begin(), byRed.end(),
                     [&](std::size_t a, std::size_t b) { return centre[a][0] < centre[b][0]; });
    for (std::size_t i = 0; i < k; ++i) reds[i] = centre[byRed[i]][0];
    std::vector<std::array<double, 4>> sum(k, {0, 0, 0, 0});
    for (const WeightedColour& leaf : leaves) {
      std::size_t best = k;
      double bestDistance = std::numeric_limits<double>::max();
      auto consider = [&](std::size_t at) {
        const std::size_t i = byRed[at];
        const double dr = centre[i][0] - leaf.colour[0], dg = centre[i][1] - leaf.colour[1],
                     db = centre[i][2] - leaf.colour[2];
        const double d = dr * dr + dg * dg + db * db;
        if (d < bestDistance || (d == bestDistance && i < best)) {
          bestDistance = d;
          best = i;
        }
      };
      const auto start =
          static_cast<std::size_t>(std::lower_bound(reds.begin(), reds.end(), leaf.colour[0]) - reds.begin());
      for (std::size_t up = start, down = start; up < k || down > 0;) {
        if (up < k) {
          const double dr = reds[up] - leaf.colour[0];
          if (dr * dr > bestDistance)
            up = k;
          else
            consider(up++);
        }
        if (down > 0) {
          const double dr = reds[down - 1] - leaf.colour[0];
          if (dr * dr > bestDistance)
            down = 0;
          else
            consider(--down);
        }
      }
      for (int c = 0; c < 3; ++c) sum[best][static_cast<std::size_t>(c)] += leaf.weight * leaf.colour[static_cast<std::size_t>(c)];
      sum[best][3] += leaf.weight;
    }
    for (std::size_t i = 0; i < k; ++i)
      if (sum[i][3] > 0)
        for (int c = 0; c < 3; ++c) centre[i][static_cast<std::size_t>(c)] = sum[i][static_cast<std::size_t>(c)] / sum[i][3];
  }
  for (std::size_t i = 0; i < k; ++i)
    colours[i] = platform::RGBColor(static_cast<int>(std::lround(centre[i][0])), static_cast<int>(std::lround(centre[i][1])),
                                    static_cast<int>(std::lround(centre[i][2])));
}

// ---- palettes -----------------------------------------------------------

Palette OptimisedPalette(TDIBRowReader& reader, int colours, int colourBits, bool withSystemColours) {
  if (colours < (withSystemColours ? kSystemColorCount + 1 : 1) || colours > 256)
    throw GIFException("Invalid reduction depth");
  const int imageColours = withSystemColours ? colours - kSystemColorCount : colours;
  const int first = withSystemColours ? kSystemColorCount / 2 : 0;
  Palette palette(static_cast<std::size_t>(colours), platform::clBlack);
  if (withSystemColours) {
    const Palette system = SystemColorPalette();
    for (int i = 0; i < kSystemColorCount / 2; ++i) {
      palette[static_cast<std::size_t>(i)] = system[static_cast<std::size_t>(i)];
      palette[static_cast<std::size_t>(colours - kSystemColorCount / 2 + i)] =
          system[static_cast<std::size_t>(kSystemColorCount / 2 + i)];
    }
  }
  TColorQuantizer quantizer(imageColours, colourBits);
  quantizer.ScanImage(reader);
  const Palette found = quantizer.CollectColours();
  const std::size_t n = std::min(found.size(), static_cast<std::size_t>(imageColours));
  std::copy(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n),
            palette.begin() + first);
  return palette;
}

Palette OptimisedPaletteOf(const Bitmap& bitmap, int colours, int colourBits, bool withSystemColours) {
  TDIBRowReader reader(bitmap);
  return OptimisedPalette(reader, colours, colourBits, withSystemColours);
}

// ---- the driver ---------------------------------------------------------

namespace {

struct Choice {
  Palette palette;
  std::unique_ptr<TColorLookup> lookup;
};

Choice ChoosePalette(ColorReduction reduction, DitherMode ditherMode, TDIBRowReader& reader,
                     const Palette* customPalette, int reductionBits) {
  Choice c;
  switch (reduction) {
    case ColorReduction::Windows20: c.palette = SystemColorPalette(); break;
    case ColorReduction::WindowsHalftone: c.palette = ScreenHalftonePalette(); break;
    case ColorReduction::WindowsGray: c.palette = FourGreyPalette(); break;
    case ColorReduction::Monochrome:
      c.palette = TwoTonePalette();
      c.lookup = std::make_unique<TMonochromeLookup>();
      break;
    case ColorReduction::GrayScale:
      c.palette = GreyRampPalette();
      c.lookup = std::make_unique<TGrayScaleLookup>();
      break;
    case ColorReduction::Netscape:
      c.palette = WebSafePalette();
      c.lookup = std::make_unique<TNetscapeColorLookup>();
      break;
    case ColorReduction::Quantize:
      c.palette = OptimisedPalette(reader, 1 << reductionBits, 8, false);
      break;
    case ColorReduction::QuantizeWindows: c.palette = OptimisedPalette(reader, 256, 8, true); break;
    case ColorReduction::Palette:
      if (customPalette == nullptr || customPalette->empty()) throw GIFException("Invalid reduction method");
      c.palette.assign(customPalette->begin(),
                       customPalette->begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(customPalette->size(), 256)));
      break;
    default: throw GIFException("Invalid reduction method");
  }
  // The cells' shared answers of the fast lookup are close enough for a
  // plain mapping, but under diffusion the error carried from one pixel
  // to the next grows where a cell's answer is not the nearest colour.
  if (!c.lookup) {
    if (ditherMode == DitherMode::Nearest)
      c.lookup = std::make_unique<TFastColorLookup>(c.palette);
    else
      c.lookup = std::make_unique<TExactColorLookup>(c.palette);
  }
  return c;
}

}  // namespace

Bitmap ReduceBitmapColours(const Bitmap& source, ColorReduction reduction, DitherMode ditherMode,
                           const Palette* customPalette, int reductionBits) {
  if (static_cast<std::uint8_t>(reduction) > kLastColorReduction ||
      static_cast<std::uint8_t>(ditherMode) > kLastDitherMode)
    throw GIFException("Invalid reduction method");
  if (reductionBits < kMinReductionBits || reductionBits > kMaxReductionBits)
    throw GIFException("Invalid reduction depth");
  if (source.Empty()) throw GIFException("Invalid image dimensions");

  if (reduction == ColorReduction::None) {
    Bitmap copy(source);
    copy.SetPixelFormat(PixelFormat::Bit24);
    return copy;
  }

  TDIBRowReader reader(source);
  Choice choice = ChoosePalette(reduction, ditherMode, reader, customPalette, reductionBits);
  const int width = source.Width();
  std::unique_ptr<TDitherEngine> engine = CreateDitherEngine(ditherMode, width, *choice.lookup);

  Bitmap result(width, source.Height(), PixelFormat::Bit8);
  result.SetPalette(choice.palette);
  for (int y = 0; y < source.Height(); ++y) {
    engine->DitherRow(reader.Row(y), result.ScanLine(y));
    engine->NextRow();
  }
  return result;
}

}  // namespace gif

#include "picture-codecs/tiff/tiff.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "picture-codecs/tiff/lzw.h"
#include "platform/msgbox.h"

namespace codecs {

// Where the file's bytes come from: a file image in memory or a stream that
// is read by seeking. Every read names its bytes by offset and count and is
// refused when they do not all lie inside the data.
class TiffSource {
 public:
  explicit TiffSource(std::uint64_t size) : size_(size) {}
  virtual ~TiffSource() = default;
  std::uint64_t Size() const { return size_; }
  bool Contains(std::uint64_t offset, std::uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
  // Copies the bytes; false (nothing promised about dest) when they are not
  // all there.
  virtual bool Read(std::uint64_t offset, void* dest, std::size_t count) = 0;
  // The bytes in place, or nullptr when the source cannot lend them.
  virtual const std::uint8_t* Lend(std::uint64_t offset, std::size_t count) = 0;

 private:
  std::uint64_t size_;
};

namespace {

using platform::Bitmap;
using platform::PixelFormat;

class MemorySource final : public TiffSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size) : TiffSource(size), data_(data) {}
  bool Read(std::uint64_t offset, void* dest, std::size_t count) override {
    const std::uint8_t* p = Lend(offset, count);
    if (!p) return false;
    if (count > 0) std::memcpy(dest, p, count);
    return true;
  }
  const std::uint8_t* Lend(std::uint64_t offset, std::size_t count) override {
    return Contains(offset, count) ? data_ + offset : nullptr;
  }

 private:
  const std::uint8_t* data_;
};

class StreamSource final : public TiffSource {
 public:
  StreamSource(platform::Stream& stream, std::int64_t base, std::uint64_t size)
      : TiffSource(size), stream_(stream), base_(base) {}
  bool Read(std::uint64_t offset, void* dest, std::size_t count) override {
    if (!Contains(offset, count)) return false;
    if (count == 0) return true;
    stream_.SetPosition(base_ + static_cast<std::int64_t>(offset));
    return stream_.Read(dest, count) == count;
  }
  const std::uint8_t* Lend(std::uint64_t, std::size_t) override { return nullptr; }

 private:
  platform::Stream& stream_;
  std::int64_t base_;
};

// A file that cannot be read as a picture of ours, with the reason; caught
// by the load, which tells the user.
class TiffFailure : public platform::GraphicError {
 public:
  using platform::GraphicError::GraphicError;
};

[[noreturn]] void Fail(const std::string& reason) { throw TiffFailure(reason); }

std::string TagText(std::uint16_t tag) { return "tag " + std::to_string(tag); }

enum Tag : std::uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kPlanarConfig = 284,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
};

enum FieldType : std::uint16_t { kByte = 1, kShort = 3, kLong = 4 };

enum Compression : std::uint32_t { kCompressionNone = 1, kCompressionLzw = 5 };
enum Photometric : std::uint32_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRgb = 2, kPaletteColour = 3 };
enum PredictorKind : std::uint32_t { kPredictorNone = 1, kPredictorHorizontal = 2 };
enum PlanarKind : std::uint32_t { kChunky = 1 };

constexpr std::uint32_t kWholeImageRows = 0xFFFFFFFF;

// One directory entry as stored; the value field keeps its 4 raw bytes.
struct Entry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::uint8_t field[4] = {};
};

int ElementSize(std::uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                  // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4;  // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
  }
}

// The parsed first directory of a file (the fields this reader uses).
struct TIFD {
  bool bigEndian = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitsPerSample = 1;
  std::uint32_t samplesPerPixel = 1;
  std::uint32_t compression = kCompressionNone;
  std::uint32_t photometric = kWhiteIsZero;
  std::uint32_t rowsPerStrip = kWholeImageRows;
  std::uint32_t planarConfig = kChunky;
  std::uint32_t predictor = kPredictorNone;
  std::vector<std::uint32_t> stripOffsets;
  std::vector<std::uint32_t> stripByteCounts;
  bool hasStripByteCounts = false;
  std::vector<std::uint16_t> colorMap;  // red values, then green, then blue
  std::uint32_t colorMapCount = 0;      // values the file states for the map
};

class DirectoryReader {
 public:
  DirectoryReader(TiffSource& source, TIFD& ifd) : source_(source), ifd_(ifd) {}

  void Parse() {
    std::uint8_t header[8];
    if (!source_.Read(0, header, sizeof header)) Fail("The file is too short for a TIFF header.");
    if (header[0] == 'I' && header[1] == 'I')
      ifd_.bigEndian = false;
    else if (header[0] == 'M' && header[1] == 'M')
      ifd_.bigEndian = true;
    else
      Fail("The file does not start with a TIFF byte order.");
    if (U16(header + 2) != 42) Fail("The file's header does not hold the number 42.");
    const std::uint32_t offset = U32(header + 4);
    std::uint8_t countBytes[2];
    if (!source_.Read(offset, countBytes, 2)) Fail("The image file directory lies outside the file.");
    const std::uint16_t count = U16(countBytes);
    if (count == 0) Fail("The image file directory has no entries.");
    std::vector<std::uint8_t> raw(std::size_t{count} * 12);
    if (!source_.Read(std::uint64_t{offset} + 2, raw.data(), raw.size()))
      Fail("The image file directory lies outside the file.");
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* p = raw.data() + i * 12;
      entries[i].tag = U16(p);
      entries[i].type = U16(p + 2);
      entries[i].count = U32(p + 4);
      std::memcpy(entries[i].field, p + 8, 4);
    }
    // The offset of the next directory follows; only the first image is read.
    const Entry* offsets = nullptr;
    const Entry* byteCounts = nullptr;
    const Entry* colorMap = nullptr;
    const Entry* bitsPerSample = nullptr;
    bool tiled = false;
    for (const Entry& e : entries) {
      switch (e.tag) {
        case kImageWidth: ifd_.width = Single(e); break;
        case kImageLength: ifd_.height = Single(e); break;
        case kBitsPerSample: bitsPerSample = &e; break;
        case kCompression: ifd_.compression = Single(e); break;
        case kPhotometric: ifd_.photometric = Single(e); break;
        case kStripOffsets: offsets = &e; break;
        case kSamplesPerPixel: ifd_.samplesPerPixel = Single(e); break;
        case kRowsPerStrip: ifd_.rowsPerStrip = Single(e); break;
        case kStripByteCounts: byteCounts = &e; break;
        case kPlanarConfig: ifd_.planarConfig = Single(e); break;
        case kPredictor: ifd_.predictor = Single(e); break;
        case kColorMap: colorMap = &e; break;
        case kTileWidth: case kTileLength: case kTileOffsets: case kTileByteCounts: tiled = true; break;
        default: break;  // fill order and orientation change nothing here
      }
    }
    // Some writers put the tiles of a tiled picture under the strip tags: read
    // as strips, they would draw noise.
    if (tiled) Fail("The picture is stored in tiles, which this reader does not read.");
    if (bitsPerSample) {
      // One value per sample; every sample must have the same depth.
      const std::size_t n = std::min<std::size_t>(bitsPerSample->count, std::max<std::uint32_t>(ifd_.samplesPerPixel, 1));
      const std::vector<std::uint32_t> bits = Values(*bitsPerSample, n);
      if (bits.empty()) Fail("The bits per sample are missing.");
      for (std::uint32_t b : bits)
        if (b != bits[0]) Fail("The samples of a pixel differ in their bits per sample.");
      ifd_.bitsPerSample = bits[0];
    }
    if (ifd_.width == 0 || ifd_.height == 0) Fail("The picture has no width or no height.");
    if (ifd_.rowsPerStrip == 0) Fail("The rows per strip are 0.");
    // Rows per strip beyond the height (2^32 - 1 by convention) mean one strip.
    ifd_.rowsPerStrip = std::min(ifd_.rowsPerStrip, ifd_.height);
    const std::size_t strips = (std::size_t{ifd_.height} + ifd_.rowsPerStrip - 1) / ifd_.rowsPerStrip;
    if (offsets) ifd_.stripOffsets = Values(*offsets, std::min<std::size_t>(offsets->count, strips));
    if (byteCounts) {
      ifd_.stripByteCounts = Values(*byteCounts, std::min<std::size_t>(byteCounts->count, strips));
      ifd_.hasStripByteCounts = true;
    }
    if (colorMap) {
      if (colorMap->type != kShort) Fail("The colour map is not of 16-bit values.");
      // Three channels of 256 values are all any layout of ours looks at.
      const std::vector<std::uint32_t> values = Values(*colorMap, std::min<std::size_t>(colorMap->count, 3 * 256));
      ifd_.colorMap.assign(values.begin(), values.end());
      ifd_.colorMapCount = colorMap->count;
    }
  }

 private:
  std::uint16_t U16(const std::uint8_t* p) const {
    return ifd_.bigEndian ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  }
  std::uint32_t U32(const std::uint8_t* p) const {
    return ifd_.bigEndian ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3])
                          : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
  }

  // The first n values of an unsigned integer entry: in the value field when
  // they all fit in its 4 bytes, else at the offset it holds.
  std::vector<std::uint32_t> Values(const Entry& e, std::size_t n) {
    if (e.type != kByte && e.type != kShort && e.type != kLong)
      Fail("The values of " + TagText(e.tag) + " are not unsigned integers.");
    if (n > e.count) Fail("The entry of " + TagText(e.tag) + " holds fewer values than the picture needs.");
    const std::size_t size = static_cast<std::size_t>(ElementSize(e.type));
    const std::uint64_t total = std::uint64_t{e.count} * size;
    const std::uint8_t* p = e.field;
    std::vector<std::uint8_t> block;
    if (total > 4) {
      // Refused before anything is allocated when the values are not there.
      if (!source_.Contains(U32(e.field), std::uint64_t{n} * size))
        Fail("The values of " + TagText(e.tag) + " lie outside the file.");
      block.resize(n * size);
      if (!source_.Read(U32(e.field), block.data(), block.size()))
        Fail("The values of " + TagText(e.tag) + " could not be read.");
      p = block.data();
    }
    std::vector<std::uint32_t> values(n);
    for (std::size_t i = 0; i < n; ++i, p += size)
      values[i] = size == 1 ? *p : size == 2 ? U16(p) : U32(p);
    return values;
  }

  std::uint32_t Single(const Entry& e) {
    if (e.count < 1) Fail("The entry of " + TagText(e.tag) + " has no value.");
    return Values(e, 1)[0];
  }

  TiffSource& source_;
  TIFD& ifd_;
};

// The colour-map value scaled linearly to 0..255.
std::uint8_t ColourMapPart(std::uint16_t v) {
  return static_cast<std::uint8_t>((std::uint32_t{v} * 255 + 32767) / 65535);
}

enum class Layout { Grey1, Grey4, Grey8, Palette1, Palette4, Palette8, Rgb24, Rgba32 };

bool IsPalette(Layout layout) {
  return layout == Layout::Palette1 || layout == Layout::Palette4 || layout == Layout::Palette8;
}

// Values per channel in the colour map: 2^bits by the format, 256 at most
// (files of earlier versions hold 256 whatever the depth).
std::size_t ColourMapStride(const TIFD& ifd) { return std::min<std::size_t>(ifd.colorMapCount / 3, 256); }

constexpr const char* kPredictorNeedsBytes = "The horizontal predictor is read only for whole bytes a sample.";

Layout LayoutOf(const TIFD& ifd) {
  if (ifd.compression != kCompressionNone && ifd.compression != kCompressionLzw)
    Fail("Compression " + std::to_string(ifd.compression) + " is not read (only none and LZW).");
  if (ifd.predictor != kPredictorNone && ifd.predictor != kPredictorHorizontal)
    Fail("Predictor " + std::to_string(ifd.predictor) + " is not read.");
  if (ifd.planarConfig != kChunky && ifd.samplesPerPixel > 1) Fail("Pictures in separate planes are not read.");
  if (ifd.samplesPerPixel == 1) {
    const bool grey = ifd.photometric == kWhiteIsZero || ifd.photometric == kBlackIsZero;
    // Differencing works on whole bytes: meaningless below 8 bits a pixel.
    const bool predicted = ifd.compression == kCompressionLzw && ifd.predictor == kPredictorHorizontal;
    const bool mapped = ifd.photometric == kPaletteColour;
    // A colour map must give every value a pixel can have.
    if (mapped && (ifd.bitsPerSample == 1 || ifd.bitsPerSample == 4 || ifd.bitsPerSample == 8) &&
        ColourMapStride(ifd) < (std::size_t{1} << ifd.bitsPerSample))
      Fail("The colour map does not give a colour for every pixel value.");
    const std::string layout = std::to_string(ifd.bitsPerSample) + "-bit pictures of photometric interpretation " +
                               std::to_string(ifd.photometric) + " are not read.";
    switch (ifd.bitsPerSample) {
      case 1:
        if (predicted) Fail(kPredictorNeedsBytes);
        return mapped ? Layout::Palette1 : Layout::Grey1;
      case 4:
        if (predicted) Fail(kPredictorNeedsBytes);
        if (mapped) return Layout::Palette4;
        if (!grey) Fail(layout);
        return Layout::Grey4;
      case 8:
        if (grey) return Layout::Grey8;
        if (!mapped) Fail(layout);
        return Layout::Palette8;
      default: Fail(std::to_string(ifd.bitsPerSample) + " bits per sample are not read.");
    }
  }
  const std::string layout = std::to_string(ifd.samplesPerPixel) + " samples of " + std::to_string(ifd.bitsPerSample) +
                             " bits with photometric interpretation " + std::to_string(ifd.photometric) + " are not read.";
  if (ifd.bitsPerSample != 8 || ifd.photometric != kRgb) Fail(layout);
  if (ifd.samplesPerPixel == 3) return Layout::Rgb24;
  if (ifd.samplesPerPixel == 4) return Layout::Rgba32;
  Fail(layout);
}

int BitsOf(Layout layout) {
  switch (layout) {
    case Layout::Grey1: case Layout::Palette1: return 1;
    case Layout::Grey4: case Layout::Palette4: return 4;
    case Layout::Grey8: case Layout::Palette8: return 8;
    case Layout::Rgb24: return 24;
    case Layout::Rgba32: return 32;
  }
  return 8;
}

PixelFormat FormatOf(Layout layout) {
  switch (layout) {
    case Layout::Grey1: return PixelFormat::Bit1;
    case Layout::Grey4: return PixelFormat::Bit4;
    case Layout::Grey8: return PixelFormat::Bit8;
    default: return PixelFormat::Bit24;
  }
}

platform::Palette GreyPalette(Layout layout, bool whiteIsZero) {
  const int levels = 1 << BitsOf(layout);
  const int step = 255 / (levels - 1);
  platform::Palette p(static_cast<std::size_t>(levels));
  for (int v = 0; v < levels; ++v) {
    const int g = whiteIsZero ? 255 - v * step : v * step;
    p[static_cast<std::size_t>(v)] = platform::RGBColor(g, g, g);
  }
  return p;
}

// Undoes horizontal differencing of one row of bytes, sample by sample.
void UndoPredictor(std::uint8_t* row, std::size_t rowBytes, std::size_t bytesPerPixel) {
  for (std::size_t i = bytesPerPixel; i < rowBytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bytesPerPixel]);
}

// Draws the strips of the directory into the bitmap; returns the rows read.
class StripReader {
 public:
  StripReader(TiffSource& source, const TIFD& ifd, Layout layout, Bitmap& bitmap)
      : source_(source), ifd_(ifd), layout_(layout), bitmap_(bitmap) {
    rowBytes_ = (std::size_t{ifd.width} * static_cast<std::size_t>(BitsOf(layout)) + 7) / 8;
    predicted_ = ifd.compression == kCompressionLzw && ifd.predictor == kPredictorHorizontal;
    // Rows that already have the bitmap's layout are decoded in place.
    inPlace_ = bitmap.BytesPerLine() == rowBytes_ && !IsPalette(layout) && layout != Layout::Rgba32;
    if (IsPalette(layout)) {
      const auto& cm = ifd.colorMap;
      const std::size_t stride = ColourMapStride(ifd);
      for (std::size_t i = 0; i < (std::size_t{1} << BitsOf(layout)); ++i) {
        palette_[i][0] = ColourMapPart(cm[2 * stride + i]);  // blue
        palette_[i][1] = ColourMapPart(cm[stride + i]);      // green
        palette_[i][2] = ColourMapPart(cm[i]);               // red
      }
    }
  }

  std::uint32_t ReadAll() {
    std::uint32_t drawn = 0;
    const std::size_t strips = ifd_.stripOffsets.size();
    for (std::size_t s = 0; s < strips; ++s) {
      const std::uint32_t first = static_cast<std::uint32_t>(s * ifd_.rowsPerStrip);
      const std::uint32_t rows = std::min(ifd_.rowsPerStrip, ifd_.height - first);
      drawn += ReadStrip(s, first, rows);
    }
    return drawn;
  }

 private:
  std::uint32_t ReadStrip(std::size_t s, std::uint32_t first, std::uint32_t rows) {
    const std::size_t rawSize = rows * rowBytes_;
    std::uint8_t* target;
    if (inPlace_) {
      target = bitmap_.ScanLine(static_cast<int>(first));
    } else {
      buffer_.resize(rawSize);
      target = buffer_.data();
    }
    const std::uint64_t offset = ifd_.stripOffsets[s];
    const std::uint64_t available = offset < source_.Size() ? source_.Size() - offset : 0;
    std::size_t produced = 0;
    const std::uint8_t* rowsFrom = target;
    if (ifd_.compression == kCompressionNone) {
      produced = static_cast<std::size_t>(std::min<std::uint64_t>(rawSize, available));
      if (const std::uint8_t* lent = inPlace_ ? nullptr : source_.Lend(offset, produced)) {
        rowsFrom = lent;  // converted straight from the file image
      } else if (!source_.Read(offset, target, produced)) {
        produced = 0;
      }
    } else {
      // A strip's bytes end where its count says, or at the end of the file.
      std::uint64_t count = s < ifd_.stripByteCounts.size() ? ifd_.stripByteCounts[s] : available;
      count = std::min(count, available);
      const std::uint8_t* code = source_.Lend(offset, static_cast<std::size_t>(count));
      if (!code) {
        codeBuffer_.resize(static_cast<std::size_t>(count));
        if (!source_.Read(offset, codeBuffer_.data(), codeBuffer_.size())) codeBuffer_.clear();
        code = codeBuffer_.data();
        count = codeBuffer_.size();
      }
      if (!lzw_) lzw_ = std::make_unique<TLZW>();
      if (!inPlace_) std::memset(target, 0, rawSize);
      produced = lzw_->Decode(code, static_cast<std::size_t>(count), target, rawSize);
      // The decoder may write a few bytes past its output: they go back to black.
      std::memset(target + produced, 0, std::min<std::size_t>(rawSize - produced, 8));
    }
    const std::uint32_t whole = static_cast<std::uint32_t>(produced / rowBytes_);
    if (inPlace_ && whole < rows) {
      // A row cut short is left black, as the rows never reached.
      std::memset(target + std::size_t{whole} * rowBytes_, 0, produced - std::size_t{whole} * rowBytes_);
    }
    for (std::uint32_t r = 0; r < whole; ++r)
      ConvertRow(const_cast<std::uint8_t*>(rowsFrom) + r * rowBytes_, static_cast<int>(first + r));
    return whole;
  }

  // Turns one row of file bytes into the bitmap's row y. Rows lent from the
  // file image are only read (no predictor runs on uncompressed strips).
  void ConvertRow(std::uint8_t* row, int y) {
    std::uint8_t* dest = bitmap_.ScanLine(y);
    const std::size_t w = ifd_.width;
    switch (layout_) {
      case Layout::Grey1:
      case Layout::Grey4: {
        if (dest != row) std::memcpy(dest, row, rowBytes_);
        // Bits past the last pixel are cleared: they would show as pixels if
        // the bitmap were made wider.
        const unsigned used = static_cast<unsigned>((w * static_cast<std::size_t>(BitsOf(layout_))) % 8);
        if (used != 0) dest[rowBytes_ - 1] = static_cast<std::uint8_t>(dest[rowBytes_ - 1] & (0xFF00u >> used));
        break;
      }
      case Layout::Grey8:
        if (predicted_) UndoPredictor(row, rowBytes_, 1);
        if (dest != row) std::memcpy(dest, row, rowBytes_);
        break;
      case Layout::Palette1:
        for (std::size_t x = 0; x < w; ++x, dest += 3) std::memcpy(dest, palette_[(row[x / 8] >> (7 - x % 8)) & 1], 3);
        break;
      case Layout::Palette4:
        for (std::size_t x = 0; x < w; ++x, dest += 3) std::memcpy(dest, palette_[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F], 3);
        break;
      case Layout::Palette8:
        if (predicted_) UndoPredictor(row, rowBytes_, 1);
        for (std::size_t x = 0; x < w; ++x, dest += 3) std::memcpy(dest, palette_[row[x]], 3);
        break;
      case Layout::Rgb24:
        if (predicted_) {
          std::uint8_t r = 0, g = 0, b = 0;
          for (std::size_t x = 0; x < w; ++x, row += 3, dest += 3) {
            r = static_cast<std::uint8_t>(r + row[0]);
            g = static_cast<std::uint8_t>(g + row[1]);
            b = static_cast<std::uint8_t>(b + row[2]);
            dest[0] = b;
            dest[1] = g;
            dest[2] = r;
          }
        } else {
          for (std::size_t x = 0; x < w; ++x, row += 3, dest += 3) {
            const std::uint8_t r = row[0];
            dest[1] = row[1];
            dest[0] = row[2];
            dest[2] = r;
          }
        }
        break;
      case Layout::Rgba32:
        if (predicted_) UndoPredictor(row, rowBytes_, 4);
        for (std::size_t x = 0; x < w; ++x, row += 4, dest += 3) {
          dest[0] = row[2];
          dest[1] = row[1];
          dest[2] = row[0];
        }
        break;
    }
  }

  TiffSource& source_;
  const TIFD& ifd_;
  Layout layout_;
  Bitmap& bitmap_;
  std::size_t rowBytes_ = 0;
  bool predicted_ = false;
  bool inPlace_ = false;
  std::uint8_t palette_[256][3] = {};
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> codeBuffer_;
  std::unique_ptr<TLZW> lzw_;
};

// Pictures beyond this many bytes are made only when the file's strips can
// fill them: a small file cannot claim a big picture.
constexpr std::uint64_t kBigPicture = std::uint64_t{1} << 20;

// Whether the strips in the file can give the picture's bytes. An LZW code adds at most one byte to the longest
// string so far, and no string is longer than the table.
bool StripsCanFill(const TiffSource& source, const TIFD& ifd, std::uint64_t rowBytes) {
  std::uint64_t most = 0;
  for (std::size_t s = 0; s < ifd.stripOffsets.size(); ++s) {
    const std::uint64_t offset = ifd.stripOffsets[s];
    const std::uint64_t available = offset < source.Size() ? source.Size() - offset : 0;
    if (ifd.compression == kCompressionNone) {
      most += available;
    } else {
      const std::uint64_t count = s < ifd.stripByteCounts.size() ? std::min<std::uint64_t>(ifd.stripByteCounts[s], available) : available;
      const std::uint64_t codes = count * 8 / TLZW::kMinBits;
      most += codes * std::min<std::uint64_t>(codes, TLZW::kTableSize);
    }
    if (most >= rowBytes * ifd.height) return true;
  }
  return false;
}

// The user is told that reading failed, and below it why.
void ReportFailure(const std::string& reason) {
  platform::ShowMessageBox(std::string(TTIFFBitMap::kReadFailedText) + "\n" + reason, TTIFFBitMap::kReadFailedCaption,
                           platform::MbOk);
}

std::string SizeText(const TIFD& ifd) { return std::to_string(ifd.width) + " x " + std::to_string(ifd.height); }

}  // namespace

TTIFFBitMap::TTIFFBitMap() : Bitmap(0, 0, PixelFormat::Bit24) {}

void TTIFFBitMap::LoadFromFile(const std::string& path) {
  platform::FileStream file(path, platform::FileStream::Mode::Read);
  const std::int64_t size = file.Size();
  if (static_cast<std::uint64_t>(size) > SIZE_MAX) throw platform::StreamError("File too large: " + path);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(size));
  std::size_t got = 0;
  while (got < image.size()) {
    const std::size_t n = file.Read(image.data() + got, image.size() - got);
    if (n == 0) break;
    got += n;
  }
  if (got < image.size()) {
    platform::ShowMessageBox(kShortReadText, kShortReadCaption, platform::MbOk);
    image.resize(got);
  }
  MemorySource source(image.data(), image.size());
  Load(source);
}

void TTIFFBitMap::LoadFromStream(platform::Stream& stream) {
  const std::int64_t base = stream.Position();
  StreamSource source(stream, base, static_cast<std::uint64_t>(stream.Remaining()));
  Load(source);
}

void TTIFFBitMap::Load(TiffSource& source) {
  // Until the directory is read the picture is 1 x 1.
  Bitmap::operator=(Bitmap(1, 1, PixelFormat::Bit24));
  bool complete = false;
  std::string reason;
  try {
    TIFD ifd;
    DirectoryReader(source, ifd).Parse();
    const Layout layout = LayoutOf(ifd);
    const PixelFormat format = FormatOf(layout);
    if (ifd.width > static_cast<std::uint32_t>(kMaxSide) || ifd.height > static_cast<std::uint32_t>(kMaxSide) ||
        BytesPerLine(static_cast<int>(ifd.width), format) > kMaxBytes / ifd.height)
      Fail("The picture is too large (" + SizeText(ifd) + ").");
    const std::uint64_t rowBytes = (std::uint64_t{ifd.width} * static_cast<std::uint64_t>(BitsOf(layout)) + 7) / 8;
    if (rowBytes * ifd.height > kBigPicture && !StripsCanFill(source, ifd, rowBytes))
      Fail("The strips in the file cannot hold a picture of " + SizeText(ifd) + ".");
    Bitmap picture(static_cast<int>(ifd.width), static_cast<int>(ifd.height), format);
    if (layout == Layout::Grey1 || layout == Layout::Grey4 || layout == Layout::Grey8)
      picture.SetPalette(GreyPalette(layout, ifd.photometric == kWhiteIsZero));
    std::uint32_t drawn;
    try {
      drawn = StripReader(source, ifd, layout, picture).ReadAll();
    } catch (const platform::StreamError& e) {
      drawn = 0;  // the stream failed under the reader: keep what was drawn
      reason = e.what();
    }
    Bitmap::operator=(std::move(picture));
    complete = drawn >= ifd.height;
    if (!complete && reason.empty())
      reason = "The image data gives " + std::to_string(drawn) + " of the picture's " + std::to_string(ifd.height) + " rows.";
  } catch (const TiffFailure& e) {
    reason = e.what();
  } catch (const platform::StreamError& e) {
    reason = e.what();
  }
  Changed();
  if (!complete) ReportFailure(reason);
}

}  // namespace codecs

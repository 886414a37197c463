#include "platform/bmp.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;

// Run-length data can leave most of a picture out (a move, or the
// end-of-picture code), so a file of a few bytes may declare a picture of a
// gigabyte. Two bytes of runs fill at most 255 pixels; a picture that needs
// more than 256 pixels per byte of data is taken as damaged once it is
// larger than a picture anyone stores that sparsely (16 million pixels).
constexpr std::uint64_t kRlePixelsPerByte = 256;
constexpr std::uint64_t kRleSparsePixels = std::uint64_t{1} << 24;

[[noreturn]] void Damaged(const std::string& why) { throw GraphicError("Invalid or damaged bitmap: " + why); }

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// One channel of a bit-field pixel, scaled to 0..255.
struct Channel {
  int shift = 0;
  int bits = 0;
  explicit Channel(std::uint32_t mask) {
    if (mask == 0) return;
    while (!(mask & 1u)) {
      mask >>= 1;
      ++shift;
    }
    while (mask & 1u) {
      mask >>= 1;
      ++bits;
    }
  }
  std::uint8_t Get(std::uint32_t v) const {
    if (bits == 0) return 0;
    const std::uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    const std::uint32_t raw = (v >> shift) & max;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(raw) * 255 + max / 2) / max);
  }
};

void PutIndex(std::uint8_t* row, int x, int bits, int index) {
  if (bits == 8) {
    row[x] = static_cast<std::uint8_t>(index);
  } else if (bits == 4) {
    if (x & 1) row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
    else row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
  }
}

// Run-length data of 4 or 8 bits per pixel into the bottom-up rows of out.
// Runs that leave the picture are cut at its edge; the data's end is never
// overrun.
void DecodeRle(const std::vector<std::uint8_t>& data, int bits, Bitmap& out, bool bottomUp) {
  const int w = out.Width(), h = out.Height();
  int x = 0, line = 0;  // line counted in file order (bottom-up: 0 = bottom)
  std::size_t i = 0;
  auto row = [&](int l) { return out.ScanLine(bottomUp ? h - 1 - l : l); };
  auto put = [&](int index) {
    if (line < h && x < w) {
      PutIndex(row(line), x, bits, index);
      ++x;
    }
  };
  while (i + 1 < data.size() && line < h) {
    const int count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count && x < w; ++k)
        put(bits == 8 ? value : ((k & 1) ? (value & 0x0F) : (value >> 4)));
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++line;
    } else if (value == 1) {  // end of picture
      return;
    } else if (value == 2) {  // delta
      if (i + 1 >= data.size()) Damaged("run-length data ends inside a move");
      x = std::min(x + data[i], w);
      line = std::min(line + data[i + 1], h);
      i += 2;
    } else {  // literal run of value pixels, padded to 16 bits
      const std::size_t bytes = bits == 8 ? static_cast<std::size_t>(value) : (static_cast<std::size_t>(value) + 1) / 2;
      if (i + bytes > data.size()) Damaged("run-length data ends inside a literal run");
      for (int k = 0; k < value; ++k) {
        const std::uint8_t b = data[i + (bits == 8 ? static_cast<std::size_t>(k) : static_cast<std::size_t>(k / 2))];
        put(bits == 8 ? b : ((k & 1) ? (b & 0x0F) : (b >> 4)));
      }
      i += (bytes + 1) & ~std::size_t{1};
    }
  }
  // Every writer ends the data with the end-of-picture code (or the last
  // row's end of line); data that stops short of both is a truncated file.
  if (line < h) Damaged("run-length data ends before the end of the picture");
}

// What the headers and the colour table say, read and checked before any
// pixel is allocated.
struct BmpHeader {
  std::uint32_t dataOffset = 0;  // of the pixels, from the file's start
  std::uint32_t infoSize = 0;    // 12 (the old core header) or 40 to 124
  std::int64_t width = 0;
  std::int64_t height = 0;  // made positive; bottomUp keeps the row order
  bool bottomUp = true;
  int bits = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t colorsUsed = 0;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue of 16- and 32-bit pixels
  Palette palette;
};

// The file header and the information header, up to 124 bytes of which
// the bit-field masks of the larger headers are taken.
BmpHeader ReadHeaders(Stream& stream, std::uint8_t (&info)[124]) {
  BmpHeader hd;
  std::uint8_t fileHeader[14];
  if (stream.Read(fileHeader, sizeof fileHeader) != sizeof fileHeader) Damaged("the file is too short");
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') Damaged("no bitmap file signature");
  hd.dataOffset = Get32(fileHeader + 10);

  if (stream.Read(info, 4) != 4) Damaged("the header is truncated");
  hd.infoSize = Get32(info);
  if (hd.infoSize != 12 && (hd.infoSize < 40 || hd.infoSize > 124))
    Damaged("unknown header size " + std::to_string(hd.infoSize));
  if (stream.Read(info + 4, hd.infoSize - 4) != hd.infoSize - 4) Damaged("the header is truncated");

  if (hd.infoSize == 12) {
    hd.width = Get16(info + 4);
    hd.height = static_cast<std::int16_t>(Get16(info + 6));
    if (Get16(info + 8) != 1) Damaged("plane count is not 1");
    hd.bits = Get16(info + 10);
  } else {
    hd.width = static_cast<std::int32_t>(Get32(info + 4));
    hd.height = static_cast<std::int32_t>(Get32(info + 8));
    if (Get16(info + 12) != 1) Damaged("plane count is not 1");
    hd.bits = Get16(info + 14);
    hd.compression = Get32(info + 16);
    hd.colorsUsed = Get32(info + 32);
  }
  hd.bottomUp = hd.height > 0;
  if (hd.height < 0) hd.height = -hd.height;
  return hd;
}

// Sizes, depth and coding that this reader can draw.
void CheckLayout(const BmpHeader& hd) {
  const int bits = hd.bits;
  const std::uint32_t compression = hd.compression;
  if (hd.width < 0) Damaged("negative width");
  if (hd.width > Bitmap::kMaxSide || hd.height > Bitmap::kMaxSide)
    throw GraphicError("Bitmap too large: " + std::to_string(hd.width) + " x " + std::to_string(hd.height));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Damaged("unsupported bit count " + std::to_string(bits));
  if (compression == kRle8 && bits != 8) Damaged("8-bit run-length coding on " + std::to_string(bits) + " bits");
  if (compression == kRle4 && bits != 4) Damaged("4-bit run-length coding on " + std::to_string(bits) + " bits");
  if (compression == kBitFields && bits != 16 && bits != 32) Damaged("bit fields on " + std::to_string(bits) + " bits");
  if (compression > kBitFields) Damaged("unsupported compression " + std::to_string(compression));
  if (!hd.bottomUp && (compression == kRle4 || compression == kRle8)) Damaged("run-length coding in a top-down bitmap");
}

// The channel masks: the defaults of the depth, or the bit fields, which
// follow a 40-byte header and lie inside larger ones.
void ReadMasks(Stream& stream, const std::uint8_t (&info)[124], BmpHeader& hd) {
  if (hd.bits == 16) {
    hd.masks[0] = 0x7C00;
    hd.masks[1] = 0x03E0;
    hd.masks[2] = 0x001F;
  } else if (hd.bits == 32) {
    hd.masks[0] = 0x00FF0000;
    hd.masks[1] = 0x0000FF00;
    hd.masks[2] = 0x000000FF;
  }
  if (hd.compression != kBitFields) return;
  if (hd.infoSize == 40) {
    std::uint8_t m[12];
    if (stream.Read(m, 12) != 12) Damaged("the colour masks are truncated");
    for (int k = 0; k < 3; ++k) hd.masks[k] = Get32(m + 4 * k);
  } else {
    for (int k = 0; k < 3; ++k) hd.masks[k] = Get32(info + 40 + 4 * k);
  }
}

// The colour table of an indexed picture (3-byte entries after the core
// header, 4-byte ones otherwise).
void ReadColourTable(Stream& stream, BmpHeader& hd) {
  if (hd.bits > 8) return;
  const std::uint32_t maxEntries = 1u << hd.bits;
  const std::uint32_t entries = hd.colorsUsed == 0 ? maxEntries : hd.colorsUsed;
  // More entries than indices: the surplus can never be used, but it
  // occupies the file; read up to 256 and keep the usable ones.
  if (entries > maxEntries && entries > 256) Damaged("colour table of " + std::to_string(entries) + " entries");
  const std::size_t entrySize = hd.infoSize == 12 ? 3 : 4;
  std::vector<std::uint8_t> table(entries * entrySize);
  if (stream.Read(table.data(), table.size()) != table.size()) Damaged("the colour table is truncated");
  for (std::uint32_t k = 0; k < std::min(entries, maxEntries); ++k) {
    const std::uint8_t* e = table.data() + k * entrySize;
    hd.palette.push_back(RGBColor(e[2], e[1], e[0]));
  }
}

// A small file cannot claim a big picture: every plain row (the last may
// lack its padding), or enough run-length data for the picture's size, must
// be there before the bitmap is made.
void RequirePixelData(const BmpHeader& hd, std::int64_t dataSize, std::size_t fileStride) {
  const auto width = static_cast<std::uint64_t>(hd.width), height = static_cast<std::uint64_t>(hd.height);
  const auto bits = static_cast<std::uint64_t>(hd.bits);
  if (hd.compression == kRgb || hd.compression == kBitFields) {
    const std::uint64_t needed = static_cast<std::uint64_t>(fileStride) * (height - 1) + (width * bits + 7) / 8;
    if (needed > static_cast<std::uint64_t>(dataSize)) Damaged("the pixel data is truncated");
  } else if (width * height > kRleSparsePixels && width * height > static_cast<std::uint64_t>(dataSize) * kRlePixelsPerByte) {
    Damaged("run-length data of " + std::to_string(dataSize) + " bytes for a picture of " + std::to_string(hd.width) +
            " x " + std::to_string(hd.height));
  }
}

// The rows of a plain or bit-field picture, in file order, into out.
void ReadPlainRows(Stream& stream, const BmpHeader& hd, std::size_t fileStride, Bitmap& out) {
  const std::int64_t width = hd.width, height = hd.height;
  const int bits = hd.bits;
  std::vector<std::uint8_t> line(fileStride, 0);
  const Channel red(hd.masks[0]), green(hd.masks[1]), blue(hd.masks[2]);
  for (std::int64_t l = 0; l < height; ++l) {
    const std::size_t n = stream.Read(line.data(), fileStride);
    if (n < fileStride) std::fill(line.begin() + static_cast<std::ptrdiff_t>(n), line.end(), 0);  // missing padding
    std::uint8_t* dst = out.ScanLine(static_cast<int>(hd.bottomUp ? height - 1 - l : l));
    if (bits <= 8 || (bits == 24) || (bits == 32 && hd.compression == kRgb)) {
      std::memcpy(dst, line.data(), std::min(fileStride, out.BytesPerLine()));
      if (bits == 1 || bits == 4) {
        // Bits past the width stay clear.
        const std::size_t used = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 7) / 8;
        const int rest = static_cast<int>(used * 8 - static_cast<std::size_t>(width) * static_cast<std::size_t>(bits));
        if (rest > 0) dst[used - 1] = static_cast<std::uint8_t>(dst[used - 1] & (0xFF << rest));
        std::fill(dst + used, dst + out.BytesPerLine(), 0);
      }
    } else if (bits == 16) {
      for (std::int64_t x = 0; x < width; ++x) {
        const std::uint32_t v = Get16(line.data() + 2 * x);
        dst[3 * x] = blue.Get(v);
        dst[3 * x + 1] = green.Get(v);
        dst[3 * x + 2] = red.Get(v);
      }
    } else {  // 32 bits with bit fields
      for (std::int64_t x = 0; x < width; ++x) {
        const std::uint32_t v = Get32(line.data() + 4 * x);
        dst[4 * x] = blue.Get(v);
        dst[4 * x + 1] = green.Get(v);
        dst[4 * x + 2] = red.Get(v);
        dst[4 * x + 3] = 0;
      }
    }
  }
}

}  // namespace

void ReadBmp(Stream& stream, Bitmap& bitmap) {
  const std::int64_t start = stream.Position();
  const std::int64_t available = stream.Size() - start;
  std::uint8_t info[124] = {};
  BmpHeader hd = ReadHeaders(stream, info);
  CheckLayout(hd);
  ReadMasks(stream, info, hd);
  ReadColourTable(stream, hd);
  if (hd.dataOffset < 14 + hd.infoSize || static_cast<std::int64_t>(hd.dataOffset) > available)
    Damaged("pixel data offset out of range");
  const std::int64_t dataSize = available - hd.dataOffset;

  const PixelFormat format = hd.bits == 16 ? PixelFormat::Bit24 : PixelFormatFromBits(hd.bits);
  const int width = static_cast<int>(hd.width), height = static_cast<int>(hd.height);
  if (width == 0 || height == 0) {  // an empty picture, as an empty bitmap is saved
    Bitmap empty(width, height, format);
    if (hd.bits <= 8 && !hd.palette.empty()) empty.SetPalette(hd.palette);
    empty.SetModified(false);
    bitmap = std::move(empty);
    return;
  }
  const std::size_t fileStride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(hd.bits) + 31) / 32 * 4;
  RequirePixelData(hd, dataSize, fileStride);

  Bitmap out(width, height, format);
  if (hd.bits <= 8) out.SetPalette(hd.palette.empty() ? DefaultPalette(format) : hd.palette);
  stream.SetPosition(start + hd.dataOffset);
  if (hd.compression == kRle4 || hd.compression == kRle8) {
    if (static_cast<std::uint64_t>(dataSize) > Bitmap::kMaxBytes) Damaged("run-length data too large");
    std::vector<std::uint8_t> data(static_cast<std::size_t>(dataSize));
    stream.ReadBuffer(data.data(), data.size());
    DecodeRle(data, hd.bits, out, true);
  } else {
    ReadPlainRows(stream, hd, fileStride, out);
  }
  out.SetModified(false);
  bitmap = std::move(out);
}

void WriteBmp(Stream& stream, const Bitmap& bitmap) {
  const int bits = bitmap.BitsPerPixel();
  const std::size_t stride = bitmap.BytesPerLine();
  Palette palette;
  if (bits <= 8) {
    palette = bitmap.GetPalette();
    const std::size_t max = std::size_t{1} << bits;
    if (palette.size() > max) palette.resize(max);
    // A table shorter than an index in use would make the reader guess;
    // write the full table then.
    // A full table needs no look at the pixels; otherwise the rows are read
    // as bytes (a call per pixel is slow on pictures of millions).
    bool shortTable = palette.empty();
    for (int y = 0; y < bitmap.Height() && !shortTable && palette.size() < max; ++y) {
      const std::uint8_t* row = bitmap.ScanLine(y);
      for (int x = 0; x < bitmap.Width(); ++x) {
        const int index = bits == 8   ? row[x]
                          : bits == 4 ? (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F
                                      : (row[x >> 3] >> (7 - (x & 7))) & 1;
        if (static_cast<std::size_t>(index) >= palette.size()) {
          shortTable = true;
          break;
        }
      }
    }
    if (shortTable) palette.resize(max, clBlack);
  }
  const std::uint64_t imageSize = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(bitmap.Height());
  const std::uint64_t offset = 14 + 40 + 4 * static_cast<std::uint64_t>(palette.size());
  if (imageSize + offset > 0xFFFFFFFFu) throw GraphicError("Bitmap too large for a BMP file");

  stream.Reserve(static_cast<std::int64_t>(offset + imageSize));
  stream.WriteU8('B');
  stream.WriteU8('M');
  stream.WriteU32LE(static_cast<std::uint32_t>(offset + imageSize));
  stream.WriteU32LE(0);
  stream.WriteU32LE(static_cast<std::uint32_t>(offset));
  stream.WriteU32LE(40);
  stream.WriteU32LE(static_cast<std::uint32_t>(bitmap.Width()));
  stream.WriteU32LE(static_cast<std::uint32_t>(bitmap.Height()));
  stream.WriteU16LE(1);
  stream.WriteU16LE(static_cast<std::uint16_t>(bits));
  stream.WriteU32LE(kRgb);
  stream.WriteU32LE(static_cast<std::uint32_t>(imageSize));
  stream.WriteU32LE(3780);  // 96 dots per inch
  stream.WriteU32LE(3780);
  stream.WriteU32LE(static_cast<std::uint32_t>(palette.size()));
  stream.WriteU32LE(0);
  for (Color c : palette) {
    const std::uint8_t e[4] = {static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
                               static_cast<std::uint8_t>(GetRValue(c)), 0};
    stream.WriteBuffer(e, 4);
  }
  for (int y = bitmap.Height() - 1; y >= 0; --y) stream.WriteBuffer(bitmap.ScanLine(y), stride);
}

}  // namespace platform

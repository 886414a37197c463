#include "picture-codecs/targa/targa.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "picture-codecs/targa/rle.h"
#include "platform/bmp.h"
#include "platform/canvas.h"
#include "platform/safesave.h"

namespace codecs {

namespace {

using platform::Bitmap;
using platform::GraphicError;
using platform::PixelFormat;

enum TargaImageType : std::uint8_t {
  kTypeNone = 0,
  kTypeColourMapped = 1,
  kTypeTrueColour = 2,
  kTypeGrey = 3,
  kTypeRleColourMapped = 9,
  kTypeRleTrueColour = 10,
  kTypeRleGrey = 11,
};

constexpr std::uint8_t kAlphaBits32 = 8;  // descriptor of 32-bit pictures we write

[[noreturn]] void Truncated() { throw GraphicError("Targa image is truncated"); }

void ReadExact(platform::Stream& stream, void* dest, std::size_t count) {
  if (stream.Read(dest, count) != count) Truncated();
}

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// A 5-5-5 value (bit 15 ignored) as blue, green, red, each channel x 8.
void From555(std::uint16_t v, std::uint8_t* bgr) {
  bgr[0] = static_cast<std::uint8_t>((v & 0x1F) << 3);
  bgr[1] = static_cast<std::uint8_t>(((v >> 5) & 0x1F) << 3);
  bgr[2] = static_cast<std::uint8_t>(((v >> 10) & 0x1F) << 3);
}

// The parts of the header the load decides by, before anything is kept.
struct Header {
  std::uint8_t idLength, colourMapType, imageType;
  std::int16_t colourMapStart;
  std::uint16_t colourMapLength;
  std::uint8_t colourMapEntrySize;
  std::int16_t xOrigin, yOrigin;
  std::uint16_t width, height;
  std::uint8_t pixelDepth, descriptor;
};

Header ParseHeader(const std::uint8_t* h) {
  Header hd;
  hd.idLength = h[0];
  hd.colourMapType = h[1];
  hd.imageType = h[2];
  hd.colourMapStart = static_cast<std::int16_t>(U16(h + 3));
  hd.colourMapLength = U16(h + 5);
  hd.colourMapEntrySize = h[7];
  hd.xOrigin = static_cast<std::int16_t>(U16(h + 8));
  hd.yOrigin = static_cast<std::int16_t>(U16(h + 10));
  hd.width = U16(h + 12);
  hd.height = U16(h + 14);
  hd.pixelDepth = h[16];
  hd.descriptor = h[17];
  return hd;
}

// The pixel kind of a header: format, depth code and bytes per stored pixel;
// GraphicError for the kinds not read.
struct PixelKind {
  std::uint8_t format;
  std::uint8_t depthCode;
  std::size_t bytes;
  bool rle;
};

PixelKind KindOf(const Header& hd) {
  const bool rle = hd.imageType >= kTypeRleColourMapped;
  switch (hd.imageType) {
    case kTypeNone: return {TTarga::kNoImage, TTarga::kDepth8, 0, false};
    case kTypeColourMapped:
    case kTypeRleColourMapped:
      if (hd.pixelDepth != 8) break;
      return {rle ? TTarga::kRleColourMapped : TTarga::kColourMapped, TTarga::kDepth8, 1, rle};
    case kTypeGrey:
    case kTypeRleGrey:
      if (hd.pixelDepth != 8) break;
      return {rle ? TTarga::kRleGrey : TTarga::kGrey, TTarga::kDepth8, 1, rle};
    case kTypeTrueColour:
    case kTypeRleTrueColour: {
      const std::uint8_t format = rle ? TTarga::kRleTrueColour : TTarga::kTrueColour;
      switch (hd.pixelDepth) {
        case 15:
        case 16: return {format, TTarga::kDepth16, 2, rle};
        case 24: return {format, TTarga::kDepth24, 3, rle};
        case 32: return {format, TTarga::kDepth32, 4, rle};
        default: break;
      }
      break;
    }
    default: break;
  }
  throw GraphicError("Unsupported Targa image: type " + std::to_string(hd.imageType) + ", " +
                     std::to_string(hd.pixelDepth) + " bits per pixel");
}

using ColourMapEntries = std::array<std::array<std::uint8_t, 4>, TTarga::kColourMapCapacity>;

// The header, checked for a kind that is read; the image ID after it is
// passed over.
Header ReadHeader(platform::Stream& stream) {
  std::uint8_t raw[TTarga::kHeaderSize];
  ReadExact(stream, raw, sizeof raw);
  const Header hd = ParseHeader(raw);
  KindOf(hd);
  if (stream.Remaining() < hd.idLength) Truncated();
  stream.Seek(hd.idLength, platform::SeekOrigin::Current);
  return hd;
}

// The colour map's entries (none when the header has no map): red, green,
// blue, alpha.
ColourMapEntries ReadColourMap(platform::Stream& stream, const Header& hd) {
  ColourMapEntries map{};
  if (hd.colourMapType != 1) return map;
  if (hd.colourMapLength > TTarga::kColourMapCapacity)
    throw GraphicError("Targa colour map too long: " + std::to_string(hd.colourMapLength) + " entries");
  const std::size_t entryBytes = (std::size_t{hd.colourMapEntrySize} + 7) / 8;
  std::vector<std::uint8_t> entries(hd.colourMapLength * entryBytes);
  ReadExact(stream, entries.data(), entries.size());
  const std::uint8_t* p = entries.data();
  for (std::size_t i = 0; i < hd.colourMapLength; ++i, p += entryBytes) {
    auto& e = map[i];
    std::uint8_t bgr[3];
    switch (hd.colourMapEntrySize) {
      case 15:
      case 16:
        From555(U16(p), bgr);
        e = {bgr[2], bgr[1], bgr[0], 0};
        break;
      case 24: e = {p[2], p[1], p[0], 0}; break;
      case 32: e = {p[2], p[1], p[0], p[3]}; break;
      default: break;  // entries of other sizes are passed over, black
    }
  }
  return map;
}

// A small file cannot claim a big picture: the least data the picture needs
// must be there before the bitmaps are made.
void RequirePixelData(platform::Stream& stream, const Header& hd, const PixelKind& kind) {
  const std::size_t pixels = std::size_t{hd.width} * hd.height;
  std::size_t least = pixels * kind.bytes;
  if (kind.rle) least = (pixels + TTarga::kMaxPacket - 1) / TTarga::kMaxPacket * (1 + kind.bytes);
  if (static_cast<std::uint64_t>(stream.Remaining()) < least) Truncated();
}

// --- stored rows into 32-bit bitmap rows (blue, green, red, 0) ---

static_assert(std::endian::native == std::endian::little, "pixels are moved as little-endian words");

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void Store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

void MappedRow(const std::uint8_t* src, std::uint8_t* dst, std::size_t w, const ColourMapEntries& map,
               std::int16_t start, std::size_t mapLength) {
  for (std::size_t x = 0; x < w; ++x, dst += 4) {
    // Indices count from the map's first stored entry.
    const long index = long{src[x]} - start;
    if (index >= 0 && static_cast<std::size_t>(index) < mapLength) {
      const auto& e = map[static_cast<std::size_t>(index)];
      dst[0] = e[2];
      dst[1] = e[1];
      dst[2] = e[0];
    }
  }
}

void GreyRow(const std::uint8_t* src, std::uint8_t* dst, std::size_t w) {
  for (std::size_t x = 0; x < w; ++x, dst += 4) Store32(dst, src[x] * 0x010101u);
}

void Row555(const std::uint8_t* src, std::uint8_t* dst, std::size_t w) {
  for (std::size_t x = 0; x < w; ++x, dst += 4, src += 2) From555(U16(src), dst);
}

// Four pixels (12 bytes) at a time as three words.
void Row24(const std::uint8_t* src, std::uint8_t* dst, std::size_t w) {
  std::size_t x = 0;
  for (; x + 4 <= w; x += 4, src += 12, dst += 16) {
    const std::uint32_t a = Load32(src), b = Load32(src + 4), c = Load32(src + 8);
    Store32(dst, a & 0xFFFFFF);
    Store32(dst + 4, a >> 24 | (b & 0xFFFF) << 8);
    Store32(dst + 8, b >> 16 | (c & 0xFF) << 16);
    Store32(dst + 12, c >> 8);
  }
  for (; x < w; ++x, src += 3, dst += 4)
    Store32(dst, std::uint32_t{src[0]} | std::uint32_t{src[1]} << 8 | std::uint32_t{src[2]} << 16);
}

// Colour into the image, the fourth byte as grey into the alpha bitmap.
void Row32(const std::uint8_t* src, std::uint8_t* dst, std::uint8_t* alpha, std::size_t w) {
  std::size_t x = 0;
#if defined(__SSE2__)
  // Four pixels at a time (the three rows may overlap for all the compiler
  // knows, so it does not do this by itself).
  const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
  for (; x + 4 <= w; x += 4, src += 16, dst += 16, alpha += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_and_si128(v, colourMask));
    const __m128i a = _mm_srli_epi32(v, 24);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(alpha),
                     _mm_or_si128(a, _mm_or_si128(_mm_slli_epi32(a, 8), _mm_slli_epi32(a, 16))));
  }
#endif
  for (; x < w; ++x, src += 4, dst += 4, alpha += 4) {
    const std::uint32_t v = Load32(src);
    Store32(dst, v & 0xFFFFFF);
    Store32(alpha, (v >> 24) * 0x010101u);
  }
}

// Stored data is read in blocks of about this size (whole rows), small
// enough to stay in the cache while its rows are spread.
constexpr std::size_t kReadBlock = std::size_t{256} << 10;

// The pixel rows, in file order, into the bitmaps (of the header's size).
void ReadRows(platform::Stream& stream, const Header& hd, const PixelKind& kind, const ColourMapEntries& map,
              Bitmap& image, Bitmap& alpha) {
  const std::size_t w = hd.width, h = hd.height;
  if (kind.bytes == 0 || w == 0 || h == 0) return;
  // Rows come one at a time: from packets read in blocks as they are
  // needed, or from blocks of plain rows.
  const std::size_t rowBytes = w * kind.bytes;
  // A memory stream's bytes are read where they are, without a copy.
  auto* memory = dynamic_cast<platform::MemoryStream*>(&stream);
  const std::int64_t start = stream.Position();
  const std::uint8_t* inPlace = nullptr;
  if (memory) inPlace = memory->Bytes().data() + start;
  std::unique_ptr<TargaRleDecoder> decoder;
  if (kind.rle && inPlace)
    decoder = std::make_unique<TargaRleDecoder>(inPlace, static_cast<std::size_t>(stream.Remaining()), kind.bytes);
  else if (kind.rle)
    decoder = std::make_unique<TargaRleDecoder>(stream, kind.bytes);
  const std::size_t blockRows = std::max<std::size_t>(1, kReadBlock / rowBytes);
  std::vector<std::uint8_t> block(kind.rle ? rowBytes : inPlace ? 0 : std::min(h, blockRows) * rowBytes);
  const bool topToBottom = (hd.descriptor & TTarga::kTopToBottomBit) != 0;
  const std::size_t mapLength = hd.colourMapType == 1 ? hd.colourMapLength : 0;
  for (std::size_t r = 0; r < h; ++r) {
    const std::uint8_t* src;
    if (kind.rle) {
      if (!decoder->Next(block.data(), w)) Truncated();
      src = block.data();
    } else if (inPlace) {
      // RequirePixelData has seen every row's bytes there.
      src = inPlace + r * rowBytes;
    } else {
      const std::size_t inBlock = r % blockRows;
      if (inBlock == 0) ReadExact(stream, block.data(), std::min(blockRows, h - r) * rowBytes);
      src = block.data() + inBlock * rowBytes;
    }
    const int y = static_cast<int>(topToBottom ? r : h - 1 - r);
    std::uint8_t* dst = image.ScanLine(y);
    switch (kind.format) {
      case TTarga::kColourMapped:
      case TTarga::kRleColourMapped: MappedRow(src, dst, w, map, hd.colourMapStart, mapLength); break;
      case TTarga::kGrey:
      case TTarga::kRleGrey: GreyRow(src, dst, w); break;
      default:
        switch (kind.depthCode) {
          case TTarga::kDepth16: Row555(src, dst, w); break;
          case TTarga::kDepth24: Row24(src, dst, w); break;
          default: Row32(src, dst, alpha.ScanLine(y), w); break;
        }
        break;
    }
  }
  if (decoder) {
    const std::size_t used = decoder->Finish();
    if (inPlace) stream.SetPosition(start + static_cast<std::int64_t>(used));
  } else if (inPlace) {
    stream.SetPosition(start + static_cast<std::int64_t>(h * rowBytes));
  }
}

// --- bitmap rows into stored pixels ---

// A row of 24- or 32-bit bitmap pixels as pixel values (blue, green, red).
void RowValues(const std::uint8_t* src, std::size_t srcBytes, std::uint32_t* out, std::size_t w) {
  if (srcBytes == 4) {
    for (std::size_t x = 0; x < w; ++x, src += 4) out[x] = Load32(src) & 0xFFFFFF;
  } else {
    for (std::size_t x = 0; x < w; ++x, src += 3)
      out[x] = std::uint32_t{src[0]} | std::uint32_t{src[1]} << 8 | std::uint32_t{src[2]} << 16;
  }
}

void Pack24(const std::uint8_t* src, std::size_t srcBytes, std::uint8_t* dst, std::size_t w) {
  if (srcBytes == 3) {
    std::memcpy(dst, src, w * 3);
    return;
  }
  // Four pixels (16 bytes) at a time into three words.
  std::size_t x = 0;
  for (; x + 4 <= w; x += 4, src += 16, dst += 12) {
    const std::uint32_t a = Load32(src), b = Load32(src + 4), c = Load32(src + 8), d = Load32(src + 12);
    Store32(dst, (a & 0xFFFFFF) | b << 24);
    Store32(dst + 4, (b >> 8 & 0xFFFF) | c << 16);
    Store32(dst + 8, (c >> 16 & 0xFF) | d << 8);
  }
  for (; x < w; ++x, src += 4, dst += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

// Colour and, as the fourth byte, the blue byte of the alpha bitmap's pixel.
void Pack32(const std::uint8_t* src, std::size_t srcBytes, const std::uint8_t* alpha, std::uint8_t* dst,
            std::size_t w) {
  if (srcBytes == 4) {
    for (std::size_t x = 0; x < w; ++x, src += 4, alpha += 4, dst += 4)
      Store32(dst, (Load32(src) & 0xFFFFFF) | Load32(alpha) << 24);
    return;
  }
  for (std::size_t x = 0; x < w; ++x, src += 3, alpha += 4, dst += 4)
    Store32(dst, std::uint32_t{src[0]} | std::uint32_t{src[1]} << 8 | std::uint32_t{src[2]} << 16 |
                     std::uint32_t{alpha[0]} << 24);
}

void Pack16(const std::uint8_t* src, std::size_t srcBytes, std::uint8_t* dst, std::size_t w) {
  for (std::size_t x = 0; x < w; ++x, src += srcBytes, dst += 2) {
    const unsigned v = (src[2] >> 3) << 10 | (src[1] >> 3) << 5 | (src[0] >> 3);
    dst[0] = static_cast<std::uint8_t>(v & 0xFF);
    dst[1] = static_cast<std::uint8_t>(v >> 8);
  }
}

// Bytes gathered in a buffer and handed to the stream a block at a time.
class BlockWriter {
 public:
  BlockWriter(platform::Stream& stream, std::size_t largestPiece)
      : stream_(stream), buffer_(std::max(kBlock, largestPiece)) {}
  // Room for n bytes (at most largestPiece); Commit says how many were used.
  std::uint8_t* Room(std::size_t n) {
    if (buffer_.size() - used_ < n) Flush();
    return buffer_.data() + used_;
  }
  void Commit(std::size_t n) { used_ += n; }
  void Flush() {
    stream_.WriteBuffer(buffer_.data(), used_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{256} << 10;
  platform::Stream& stream_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
};

}  // namespace

TTarga::TTarga() : ImageBitmap(0, 0, PixelFormat::Bit32), AlphaBitmap(0, 0, PixelFormat::Bit32) {
  ImageBitmap.SetOnChange([this](platform::Graphic&) { KeepBitmapsAt32Bits(); });
  AlphaBitmap.SetOnChange([this](platform::Graphic&) { KeepBitmapsAt32Bits(); });
}

TTarga::~TTarga() = default;

void TTarga::KeepBitmapsAt32Bits() {
  if (keeping_) return;
  keeping_ = true;
  try {
    if (ImageBitmap.GetPixelFormat() != PixelFormat::Bit32) ImageBitmap.SetPixelFormat(PixelFormat::Bit32);
    if (AlphaBitmap.GetPixelFormat() != PixelFormat::Bit32) AlphaBitmap.SetPixelFormat(PixelFormat::Bit32);
  } catch (...) {
    keeping_ = false;
    throw;
  }
  keeping_ = false;
}

void TTarga::LoadFromStream(platform::Stream& stream) {
  const Header hd = ReadHeader(stream);
  const PixelKind kind = KindOf(hd);
  const ColourMapEntries map = ReadColourMap(stream, hd);
  RequirePixelData(stream, hd, kind);
  // A file of type 0 holds no pixels, so it holds no picture either: the
  // header's size alone would let 18 bytes claim two gigabytes of bitmaps.
  const int bitmapWidth = kind.bytes > 0 ? hd.width : 0;
  const int bitmapHeight = kind.bytes > 0 ? hd.height : 0;
  Bitmap image(bitmapWidth, bitmapHeight, PixelFormat::Bit32);
  Bitmap alpha(bitmapWidth, bitmapHeight, PixelFormat::Bit32);
  ReadRows(stream, hd, kind, map, image, alpha);

  // Everything read: the picture and its header fields change now.
  IdLength = hd.idLength;
  ColourMapType = hd.colourMapType;
  ImageType = hd.imageType;
  ColourMapStart = hd.colourMapStart;
  ColourMapLength = hd.colourMapLength;
  ColourMapEntrySize = hd.colourMapEntrySize;
  XOrigin = hd.xOrigin;
  YOrigin = hd.yOrigin;
  ImageWidth = hd.width;
  ImageHeight = hd.height;
  PixelDepth = hd.pixelDepth;
  AlphaBits = hd.descriptor & kAlphaBitsMask;
  TopToBottom = (hd.descriptor & kTopToBottomBit) != 0;
  RightToLeft = (hd.descriptor & kRightToLeftBit) != 0;
  ImageFormat = kind.format;
  DepthCode = kind.depthCode;
  ColourMap = map;
  ImageBitmap = std::move(image);
  AlphaBitmap = std::move(alpha);
  Changed();
}

void WriteTarga(platform::Stream& stream, const Bitmap& image, const Bitmap* alpha, bool rle,
                std::size_t bytesPerPixel) {
  const int w = image.Width(), h = image.Height();
  // The header holds each side in 16 bits: a larger picture cannot be
  // written, and is refused before a byte is.
  if (w > TTarga::kMaxSide || h > TTarga::kMaxSide)
    throw GraphicError("Targa pictures are at most " + std::to_string(TTarga::kMaxSide) + " pixels wide and high");
  if (rle) bytesPerPixel = 3;
  if (bytesPerPixel == 4 && (!alpha || alpha->Width() != w || alpha->Height() != h))
    throw GraphicError("Targa alpha does not match the picture");
  // Rows are taken as 24- or 32-bit pixels; a bitmap of another format is
  // read through a 32-bit copy.
  const Bitmap* source = &image;
  Bitmap converted;
  if (image.GetPixelFormat() != PixelFormat::Bit24 && image.GetPixelFormat() != PixelFormat::Bit32 && !image.Empty()) {
    converted = image;
    converted.SetPixelFormat(PixelFormat::Bit32);
    source = &converted;
  }
  const std::size_t srcBytes = source->GetPixelFormat() == PixelFormat::Bit24 ? 3 : 4;

  std::uint8_t header[TTarga::kHeaderSize] = {};
  header[2] = rle ? kTypeRleTrueColour : kTypeTrueColour;
  header[12] = static_cast<std::uint8_t>(w & 0xFF);
  header[13] = static_cast<std::uint8_t>(w >> 8);
  header[14] = static_cast<std::uint8_t>(h & 0xFF);
  header[15] = static_cast<std::uint8_t>(h >> 8);
  header[16] = static_cast<std::uint8_t>(bytesPerPixel * 8);
  // Rows bottom-up, left to right; 32-bit pixels carry 8 alpha bits, so
  // that other readers keep the alpha.
  header[17] = bytesPerPixel == 4 ? kAlphaBits32 : 0;

  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t rowBytes = rle ? TargaRleBound(width) : width * bytesPerPixel;
  // Run-length rows take at most about the plain size (a raw packet adds
  // one byte to 128 pixels), and a memory stream holds it without moving.
  stream.Reserve(static_cast<std::int64_t>(sizeof header + width * bytesPerPixel * static_cast<std::size_t>(h)));
  BlockWriter out(stream, std::max(rowBytes, sizeof header));
  std::memcpy(out.Room(sizeof header), header, sizeof header);
  out.Commit(sizeof header);
  std::vector<std::uint32_t> values(rle ? width : 0);
  for (int y = h - 1; y >= 0; --y) {
    const std::uint8_t* src = source->ScanLine(y);
    std::uint8_t* dst = out.Room(rowBytes);
    if (rle) {
      RowValues(src, srcBytes, values.data(), width);
      out.Commit(EncodeTargaRleValues(values.data(), width, dst));
      continue;
    }
    switch (bytesPerPixel) {
      case 2: Pack16(src, srcBytes, dst, width); break;
      case 3: Pack24(src, srcBytes, dst, width); break;
      default: Pack32(src, srcBytes, alpha->ScanLine(y), dst, width); break;
    }
    out.Commit(rowBytes);
  }
  out.Flush();
}

void TTarga::SaveToStream(platform::Stream& stream) {
  const int w = ImageBitmap.Width(), h = ImageBitmap.Height();
  if (w > kMaxSide || h > kMaxSide)
    throw GraphicError("Targa pictures are at most " + std::to_string(kMaxSide) + " pixels wide and high");
  const bool rle = ImageFormat == kRleTrueColour;
  std::size_t bytesPerPixel = 3;
  if (!rle) {
    if (AlphaBitmap.Width() != w || AlphaBitmap.Height() != h) AlphaBitmap.SetSize(w, h);
    if (DepthCode == kDepth16) bytesPerPixel = 2;
    if (DepthCode == kDepth32) bytesPerPixel = 4;
  }
  WriteTarga(stream, ImageBitmap, &AlphaBitmap, rle, bytesPerPixel);
}

void TTarga::SaveToFile(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  // The rows go straight into the new file, never held whole in memory.
  platform::SavePictureFileWith(path, [&](platform::Stream& file) {
    if (extension == ".BMP")
      platform::WriteBmp(file, ImageBitmap);
    else
      SaveToStream(file);
  });
}

void TTarga::Draw(platform::Canvas& canvas, const platform::Rect& rect) { ImageBitmap.Draw(canvas, rect); }

void TTarga::Assign(const platform::Graphic& source) {
  if (&source == this) return;
  if (const auto* other = dynamic_cast<const TTarga*>(&source)) {
    ImageBitmap = other->ImageBitmap;
    AlphaBitmap = other->AlphaBitmap;
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const Bitmap*>(&source)) {
    Bitmap image(*bitmap);
    image.SetPixelFormat(PixelFormat::Bit32);
    Bitmap alpha(image.Width(), image.Height(), PixelFormat::Bit32);
    ImageBitmap = std::move(image);
    AlphaBitmap = std::move(alpha);
    Changed();
    return;
  }
  Graphic::Assign(source);
}

void TTarga::AssignTo(platform::Graphic& target) const {
  if (auto* bitmap = dynamic_cast<Bitmap*>(&target)) {
    Bitmap image(ImageBitmap);
    image.SetPixelFormat(PixelFormat::Bit24);
    bitmap->Assign(image);
    return;
  }
  Graphic::AssignTo(target);
}

void TTarga::SaveToClipboardFormat(QMimeData& mime) {
  platform::MemoryStream data;
  SaveToStream(data);
  const std::uint32_t length = static_cast<std::uint32_t>(data.Bytes().size());
  QByteArray block;
  block.reserve(static_cast<qsizetype>(length) + 4);
  for (int i = 0; i < 4; ++i) block.append(static_cast<char>((length >> (8 * i)) & 0xFF));
  block.append(reinterpret_cast<const char*>(data.Bytes().data()), static_cast<qsizetype>(length));
  platform::SetClipboardFormatData(mime, kClipboardFormat, block);
}

void TTarga::LoadFromClipboardFormat(int format, const QMimeData& mime) {
  if (format != kClipboardFormat) throw GraphicError("Unsupported clipboard format");
  const QByteArray block = platform::ClipboardFormatData(mime, format);
  if (block.size() < 4) throw GraphicError("Unsupported clipboard format");
  const auto* p = reinterpret_cast<const std::uint8_t*>(block.constData());
  const std::uint32_t length = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                               std::uint32_t{p[3]} << 24;
  if (length > static_cast<std::uint64_t>(block.size()) - 4) Truncated();
  platform::MemoryStream stream(p + 4, length);
  LoadFromStream(stream);
}

void TTarga::ReadData(platform::Stream& stream) {
  const std::uint8_t nameLength = stream.ReadU8();
  std::string name(nameLength, '\0');
  stream.ReadBuffer(name.data(), name.size());
  const std::int64_t at = stream.Position();
  char magic[2] = {};
  const std::size_t got = stream.Read(magic, 2);
  stream.SetPosition(at);
  if (got == 2 && magic[0] == 'B' && magic[1] == 'M') {
    ImageBitmap.LoadFromStream(stream);
    return;
  }
  LoadFromStream(stream);
}

void TTarga::WriteData(platform::Stream& stream) {
  const std::string name = ClassName().substr(0, 63);
  stream.WriteU8(static_cast<std::uint8_t>(name.size()));
  stream.WriteBuffer(name.data(), name.size());
  ImageFormat = kTrueColour;
  DepthCode = kDepth32;
  SaveToStream(stream);
}

}  // namespace codecs

#include "picture-codecs/targa/targa.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

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
  std::uint8_t raw[kHeaderSize];
  ReadExact(stream, raw, sizeof raw);
  const Header hd = ParseHeader(raw);
  const PixelKind kind = KindOf(hd);
  if (stream.Remaining() < hd.idLength) Truncated();
  stream.Seek(hd.idLength, platform::SeekOrigin::Current);

  std::array<std::array<std::uint8_t, 4>, kColourMapCapacity> map{};
  if (hd.colourMapType == 1) {
    if (hd.colourMapLength > kColourMapCapacity)
      throw GraphicError("Targa colour map too long: " + std::to_string(hd.colourMapLength) + " entries");
    const std::size_t entryBytes = (std::size_t{hd.colourMapEntrySize} + 7) / 8;
    std::vector<std::uint8_t> entries(hd.colourMapLength * entryBytes);
    ReadExact(stream, entries.data(), entries.size());
    const std::uint8_t* p = entries.data();
    for (std::size_t i = 0; i < hd.colourMapLength; ++i, p += entryBytes) {
      auto& e = map[i];  // red, green, blue, alpha
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
  }

  const std::size_t w = hd.width, h = hd.height;
  const std::size_t pixels = w * h;
  const std::size_t dataBytes = pixels * kind.bytes;
  // A small file cannot claim a big picture: the least data the picture
  // needs must be there before the bitmaps are made.
  std::size_t least = dataBytes;
  if (kind.rle) least = (pixels + kMaxPacket - 1) / kMaxPacket * (1 + kind.bytes);
  if (static_cast<std::uint64_t>(stream.Remaining()) < least) Truncated();
  // A file of type 0 holds no pixels, so it holds no picture either: the
  // header's size alone would let 18 bytes claim two gigabytes of bitmaps.
  const int bitmapWidth = kind.bytes > 0 ? static_cast<int>(w) : 0;
  const int bitmapHeight = kind.bytes > 0 ? static_cast<int>(h) : 0;
  Bitmap image(bitmapWidth, bitmapHeight, PixelFormat::Bit32);
  Bitmap alpha(bitmapWidth, bitmapHeight, PixelFormat::Bit32);

  // Rows come one at a time: from packets read in blocks as they are
  // needed, or from blocks of plain rows.
  const std::size_t rowBytes = w * kind.bytes;
  std::unique_ptr<TargaRleDecoder> decoder;
  if (kind.rle && pixels > 0) decoder = std::make_unique<TargaRleDecoder>(stream, kind.bytes);
  const std::size_t blockRows = rowBytes == 0 ? 1 : std::max<std::size_t>(1, (std::size_t{1} << 20) / rowBytes);
  std::vector<std::uint8_t> block(kind.rle ? rowBytes : std::min(h, blockRows) * rowBytes);
  const bool topToBottom = (hd.descriptor & kTopToBottomBit) != 0;
  const std::size_t mapLength = hd.colourMapType == 1 ? hd.colourMapLength : 0;
  for (std::size_t r = 0; r < h && kind.bytes > 0 && w > 0; ++r) {
    const std::uint8_t* src;
    if (kind.rle) {
      if (!decoder->Next(block.data(), w)) Truncated();
      src = block.data();
    } else {
      const std::size_t inBlock = r % blockRows;
      if (inBlock == 0) ReadExact(stream, block.data(), std::min(blockRows, h - r) * rowBytes);
      src = block.data() + inBlock * rowBytes;
    }
    const int y = static_cast<int>(topToBottom ? r : h - 1 - r);
    std::uint8_t* dst = image.ScanLine(y);
    switch (kind.format) {
      case kColourMapped:
      case kRleColourMapped:
        for (std::size_t x = 0; x < w; ++x, dst += 4) {
          // Indices count from the map's first stored entry.
          const long index = long{src[x]} - hd.colourMapStart;
          if (index >= 0 && static_cast<std::size_t>(index) < mapLength) {
            const auto& e = map[static_cast<std::size_t>(index)];
            dst[0] = e[2];
            dst[1] = e[1];
            dst[2] = e[0];
          }
        }
        break;
      case kGrey:
      case kRleGrey:
        for (std::size_t x = 0; x < w; ++x, dst += 4) dst[0] = dst[1] = dst[2] = src[x];
        break;
      default:
        switch (kind.depthCode) {
          case kDepth16:
            for (std::size_t x = 0; x < w; ++x, dst += 4, src += 2) From555(U16(src), dst);
            break;
          case kDepth24:
            // Whole 4-byte pixels; the fourth byte of a new bitmap is 0 anyway.
            for (std::size_t x = 0; x < w; ++x, dst += 4, src += 3) {
              const std::uint32_t v = std::uint32_t{src[0]} | std::uint32_t{src[1]} << 8 | std::uint32_t{src[2]} << 16;
              std::memcpy(dst, &v, 4);
            }
            break;
          default: {
            std::uint8_t* a = alpha.ScanLine(y);
            for (std::size_t x = 0; x < w; ++x, dst += 4, a += 4, src += 4) {
              dst[0] = src[0];
              dst[1] = src[1];
              dst[2] = src[2];
              a[0] = a[1] = a[2] = src[3];
            }
            break;
          }
        }
        break;
    }
  }
  if (decoder) decoder->Finish();

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
  TopToBottom = topToBottom;
  RightToLeft = (hd.descriptor & kRightToLeftBit) != 0;
  ImageFormat = kind.format;
  DepthCode = kind.depthCode;
  ColourMap = map;
  ImageBitmap = std::move(image);
  AlphaBitmap = std::move(alpha);
  Changed();
}

void TTarga::SaveToStream(platform::Stream& stream) {
  const int w = ImageBitmap.Width(), h = ImageBitmap.Height();
  // The header holds each side in 16 bits: a larger picture cannot be
  // written, and is refused before a byte is.
  if (w > kMaxSide || h > kMaxSide)
    throw GraphicError("Targa pictures are at most " + std::to_string(kMaxSide) + " pixels wide and high");
  const bool rle = ImageFormat == kRleTrueColour;
  std::size_t bytesPerPixel = 3;
  if (!rle) {
    if (AlphaBitmap.Width() != w || AlphaBitmap.Height() != h) AlphaBitmap.SetSize(w, h);
    if (DepthCode == kDepth16) bytesPerPixel = 2;
    if (DepthCode == kDepth32) bytesPerPixel = 4;
  }
  std::vector<std::uint8_t> out(kHeaderSize, 0);
  out[2] = rle ? kTypeRleTrueColour : kTypeTrueColour;
  out[12] = static_cast<std::uint8_t>(w & 0xFF);
  out[13] = static_cast<std::uint8_t>(w >> 8);
  out[14] = static_cast<std::uint8_t>(h & 0xFF);
  out[15] = static_cast<std::uint8_t>(h >> 8);
  out[16] = static_cast<std::uint8_t>(bytesPerPixel * 8);
  // Rows bottom-up, left to right; 32-bit pixels carry 8 alpha bits, so
  // that other readers keep the alpha.
  out[17] = bytesPerPixel == 4 ? kAlphaBits32 : 0;
  const std::size_t rowBytes = static_cast<std::size_t>(w) * bytesPerPixel;
  std::vector<std::uint8_t> row(rowBytes);
  if (!rle) out.reserve(kHeaderSize + rowBytes * static_cast<std::size_t>(h));
  for (int y = h - 1; y >= 0; --y) {
    const std::uint8_t* src = ImageBitmap.ScanLine(y);
    std::uint8_t* dst = row.data();
    if (bytesPerPixel == 2) {
      for (int x = 0; x < w; ++x, src += 4, dst += 2) {
        const unsigned v = (src[2] >> 3) << 10 | (src[1] >> 3) << 5 | (src[0] >> 3);
        dst[0] = static_cast<std::uint8_t>(v & 0xFF);
        dst[1] = static_cast<std::uint8_t>(v >> 8);
      }
    } else if (bytesPerPixel == 3) {
      for (int x = 0; x < w; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
    } else {
      const std::uint8_t* a = AlphaBitmap.ScanLine(y);
      for (int x = 0; x < w; ++x, src += 4, a += 4, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = a[0];
      }
    }
    if (rle)
      EncodeTargaRleRow(row.data(), static_cast<std::size_t>(w), out);
    else
      out.insert(out.end(), row.begin(), row.end());
  }
  stream.WriteBuffer(out.data(), out.size());
}

void TTarga::SaveToFile(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  platform::MemoryStream bytes;
  if (extension == ".BMP")
    platform::WriteBmp(bytes, ImageBitmap);
  else
    SaveToStream(bytes);
  platform::SavePictureFile(path, bytes.Bytes().data(), bytes.Bytes().size());
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

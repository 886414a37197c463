#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include <QMimeData>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

#include "platform/bmp.h"
#include "platform/canvas.h"

namespace platform {

int BitsPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::Bit1: return 1;
    case PixelFormat::Bit4: return 4;
    case PixelFormat::Bit8: return 8;
    case PixelFormat::Bit24: return 24;
    case PixelFormat::Bit32:
    case PixelFormat::Device: return 32;
  }
  return 32;
}

bool IsIndexed(PixelFormat format) {
  return format == PixelFormat::Bit1 || format == PixelFormat::Bit4 || format == PixelFormat::Bit8;
}

PixelFormat PixelFormatFromBits(int bits) {
  switch (bits) {
    case 1: return PixelFormat::Bit1;
    case 4: return PixelFormat::Bit4;
    case 8: return PixelFormat::Bit8;
    case 24: return PixelFormat::Bit24;
    case 32: return PixelFormat::Bit32;
    default: throw GraphicError("Unsupported pixel format: " + std::to_string(bits) + " bits per pixel");
  }
}

Palette DefaultPalette(PixelFormat format) {
  static const Color vga[16] = {
      RGBColor(0, 0, 0),       RGBColor(128, 0, 0),   RGBColor(0, 128, 0),   RGBColor(128, 128, 0),
      RGBColor(0, 0, 128),     RGBColor(128, 0, 128), RGBColor(0, 128, 128), RGBColor(192, 192, 192),
      RGBColor(128, 128, 128), RGBColor(255, 0, 0),   RGBColor(0, 255, 0),   RGBColor(255, 255, 0),
      RGBColor(0, 0, 255),     RGBColor(255, 0, 255), RGBColor(0, 255, 255), RGBColor(255, 255, 255)};
  switch (format) {
    case PixelFormat::Bit1: return {clBlack, clWhite};
    case PixelFormat::Bit4: return Palette(std::begin(vga), std::end(vga));
    case PixelFormat::Bit8: {
      Palette p(std::begin(vga), std::end(vga));
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b) p.push_back(RGBColor(r * 51, g * 51, b * 51));
      // 24 greys between the cube's steps.
      for (int i = 1; i <= 24; ++i) p.push_back(RGBColor(i * 255 / 25, i * 255 / 25, i * 255 / 25));
      return p;
    }
    default: return {};
  }
}

int NearestPaletteIndex(const Palette& palette, Color colour) {
  int best = -1;
  long bestDistance = 0;
  const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const long dr = r - GetRValue(palette[i]), dg = g - GetGValue(palette[i]), db = b - GetBValue(palette[i]);
    const long d = dr * dr + dg * dg + db * db;
    if (best < 0 || d < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = d;
      if (d == 0) break;
    }
  }
  return best;
}

namespace {

// Nearest-entry lookups repeat for the same colours; remember them.
class PaletteMapper {
 public:
  explicit PaletteMapper(const Palette& palette) : palette_(palette) {}
  int Index(Color colour) {
    colour &= 0xFFFFFF;
    auto it = cache_.find(colour);
    if (it != cache_.end()) return it->second;
    const int index = std::max(0, NearestPaletteIndex(palette_, colour));
    cache_.emplace(colour, index);
    return index;
  }

 private:
  const Palette& palette_;
  std::unordered_map<Color, int> cache_;
};

inline int GetIndex(const std::uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return row[x];
  }
}

inline void PutIndex(std::uint8_t* row, int x, int bits, int index) {
  switch (bits) {
    case 1: {
      const int shift = 7 - (x & 7);
      row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~(1 << shift)) | ((index & 1) << shift));
      break;
    }
    case 4:
      if (x & 1)
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
      else
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
      break;
    default: row[x] = static_cast<std::uint8_t>(index); break;
  }
}

inline Color PaletteColour(const Palette& palette, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < palette.size() ? (palette[static_cast<std::size_t>(index)] & 0xFFFFFF)
                                                                         : clBlack;
}

}  // namespace

// --- pixel memory ---

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#if defined(__SANITIZE_ADDRESS__)
// The address checker watches heap blocks only: keep every picture there.
constexpr std::size_t kMapFrom = ~std::size_t{0};
#else
constexpr std::size_t kMapFrom = std::size_t{4} << 20;
#endif
}  // namespace

PixelBuffer::PixelBuffer(std::size_t size) {
  if (size == 0) return;
  if (size >= kMapFrom) {
    // Over-allocate to place the block on a huge-page boundary.
    const std::size_t length = size + kHugePage;
    void* m = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m != MAP_FAILED) {
      const auto base = reinterpret_cast<std::uintptr_t>(m);
      const std::uintptr_t aligned = (base + kHugePage - 1) & ~(kHugePage - 1);
      madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
      mapping_ = m;
      mappingSize_ = length;
      data_ = reinterpret_cast<std::uint8_t*>(aligned);
      size_ = size;
      return;
    }
  }
  data_ = static_cast<std::uint8_t*>(std::calloc(size, 1));
  if (!data_) throw std::bad_alloc();
  size_ = size;
}

PixelBuffer::PixelBuffer(const PixelBuffer& other) : PixelBuffer(other.size_) {
  if (size_ > 0) std::memcpy(data_, other.data_, size_);
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other) {
  if (this != &other) {
    PixelBuffer copy(other);
    swap(copy);
  }
  return *this;
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept { swap(other); }

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept {
  if (this != &other) {
    PixelBuffer old(std::move(*this));
    swap(other);
  }
  return *this;
}

PixelBuffer::~PixelBuffer() { clear(); }

void PixelBuffer::clear() {
  if (mapping_)
    munmap(mapping_, mappingSize_);
  else
    std::free(data_);
  data_ = nullptr;
  size_ = 0;
  mapping_ = nullptr;
  mappingSize_ = 0;
}

void PixelBuffer::swap(PixelBuffer& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(mapping_, other.mapping_);
  std::swap(mappingSize_, other.mappingSize_);
}

// --- construction ---

Bitmap::Bitmap() = default;

Bitmap::Bitmap(int width, int height, PixelFormat format) {
  Reallocate(width, height, format, false);
  if (IsIndexed(format)) palette_ = DefaultPalette(format);
}

Bitmap::Bitmap(const Bitmap& other)
    : Graphic(other),
      width_(other.width_),
      height_(other.height_),
      format_(other.format_),
      stride_(other.stride_),
      pixels_(other.pixels_),
      palette_(other.palette_),
      transparentColor_(other.transparentColor_) {}

Bitmap& Bitmap::operator=(const Bitmap& other) {
  // Copy first: a failed allocation leaves this bitmap as it was.
  if (this != &other) *this = Bitmap(other);
  return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept : Graphic(other) { TakePixels(other); }

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
  if (this == &other) return *this;
  Graphic::operator=(other);
  TakePixels(other);
  // The canvas stays bound to this bitmap; it holds no pixels of its own.
  return *this;
}

void Bitmap::TakePixels(Bitmap& other) noexcept {
  width_ = other.width_;
  height_ = other.height_;
  format_ = other.format_;
  stride_ = other.stride_;
  pixels_ = std::move(other.pixels_);
  palette_ = std::move(other.palette_);
  transparentColor_ = other.transparentColor_;
  other.width_ = other.height_ = 0;
  other.stride_ = 0;
  other.pixels_.clear();
  other.palette_.clear();
}

Bitmap::~Bitmap() = default;

std::size_t Bitmap::BytesPerLine(int width, PixelFormat format) {
  if (width < 0 || width > kMaxSide) throw GraphicError("Invalid bitmap width: " + std::to_string(width));
  const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(platform::BitsPerPixel(format));
  return (bits + 31) / 32 * 4;
}

void Bitmap::Reallocate(int width, int height, PixelFormat format, bool keep) {
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide)
    throw GraphicError("Invalid bitmap size: " + std::to_string(width) + " x " + std::to_string(height));
  const std::size_t stride = BytesPerLine(width, format);
  if (height > 0 && stride > kMaxBytes / static_cast<std::size_t>(height))
    throw GraphicError("Bitmap too large: " + std::to_string(width) + " x " + std::to_string(height));
  PixelBuffer fresh(stride * static_cast<std::size_t>(height));
  if (keep && format == format_) {
    const int rows = std::min(height, height_);
    const std::size_t bytes = std::min(stride, stride_);
    for (int y = 0; y < rows && bytes > 0; ++y)
      std::memcpy(fresh.data() + static_cast<std::size_t>(y) * stride, pixels_.data() + static_cast<std::size_t>(y) * stride_, bytes);
    // Bits of the old row beyond the new width must not show as pixels later
    // when the bitmap grows again: clear the tail of the last partial byte.
    if (width < width_ && platform::BitsPerPixel(format) < 8) {
      const int bits = platform::BitsPerPixel(format);
      for (int y = 0; y < rows; ++y) {
        std::uint8_t* row = fresh.data() + static_cast<std::size_t>(y) * stride;
        for (int x = width; x < static_cast<int>(stride * 8 / static_cast<std::size_t>(bits)); ++x) PutIndex(row, x, bits, 0);
      }
    }
  }
  pixels_ = std::move(fresh);
  width_ = width;
  height_ = height;
  format_ = format;
  stride_ = stride;
}

void Bitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  Reallocate(width, height, format_, true);
  Changed();
}

void Bitmap::CheckLine(int y) const {
  if (y < 0 || y >= height_) throw GraphicError("Scan line index out of range");
}

std::uint8_t* Bitmap::ScanLine(int y) {
  CheckLine(y);
  return pixels_.data() + static_cast<std::size_t>(y) * stride_;
}

const std::uint8_t* Bitmap::ScanLine(int y) const {
  CheckLine(y);
  return pixels_.data() + static_cast<std::size_t>(y) * stride_;
}

void Bitmap::SetPalette(const Palette& palette) {
  Palette p = palette;
  if (IsIndexed(format_) && p.size() > (std::size_t{1} << BitsPerPixel()))
    p.resize(std::size_t{1} << BitsPerPixel());
  for (Color& c : p) c &= 0xFFFFFF;
  palette_ = std::move(p);
  Changed();
}

// --- pixels ---

Color Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clNone;
  const std::uint8_t* row = pixels_.data() + static_cast<std::size_t>(y) * stride_;
  const int bits = BitsPerPixel();
  if (bits <= 8) return PaletteColour(palette_, GetIndex(row, x, bits));
  const std::uint8_t* p = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
  return RGBColor(p[2], p[1], p[0]);
}

void Bitmap::SetPixel(int x, int y, Color colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  std::uint8_t* row = pixels_.data() + static_cast<std::size_t>(y) * stride_;
  const int bits = BitsPerPixel();
  if (bits <= 8) {
    PutIndex(row, x, bits, std::max(0, NearestPaletteIndex(palette_, colour)));
  } else {
    std::uint8_t* p = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
    p[0] = static_cast<std::uint8_t>(GetBValue(colour));
    p[1] = static_cast<std::uint8_t>(GetGValue(colour));
    p[2] = static_cast<std::uint8_t>(GetRValue(colour));
  }
}

int Bitmap::PixelIndex(int x, int y) const {
  if (!IsIndexed(format_) || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return GetIndex(pixels_.data() + static_cast<std::size_t>(y) * stride_, x, BitsPerPixel());
}

void Bitmap::SetPixelIndex(int x, int y, int index) {
  if (!IsIndexed(format_) || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  PutIndex(pixels_.data() + static_cast<std::size_t>(y) * stride_, x, BitsPerPixel(), index);
}

void Bitmap::Fill(Color colour) {
  if (Empty()) return;
  if (IsIndexed(format_)) {
    const int index = std::max(0, NearestPaletteIndex(palette_, colour));
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* row = ScanLine(y);
      for (int x = 0; x < width_; ++x) PutIndex(row, x, BitsPerPixel(), index);
    }
  } else {
    const std::size_t bpp = static_cast<std::size_t>(BitsPerPixel() / 8);
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* p = ScanLine(y);
      for (int x = 0; x < width_; ++x, p += bpp) {
        p[0] = static_cast<std::uint8_t>(GetBValue(colour));
        p[1] = static_cast<std::uint8_t>(GetGValue(colour));
        p[2] = static_cast<std::uint8_t>(GetRValue(colour));
      }
    }
  }
  Changed();
}

Color Bitmap::TransparentColor() const {
  if (transparentColor_ != clDefault) return transparentColor_;
  return Empty() ? clBlack : Pixel(0, height_ - 1);
}

void Bitmap::SetTransparentColor(Color colour) {
  if (colour == transparentColor_) return;
  transparentColor_ = colour;
  Changed();
}

// --- conversion ---

void Bitmap::SetPixelFormat(PixelFormat format) {
  if (format == format_) return;
  const int oldBits = BitsPerPixel();
  const int newBits = platform::BitsPerPixel(format);
  if (oldBits == newBits) {  // Device and 32 bits share their layout
    format_ = format;
    Changed();
    return;
  }
  Bitmap old(std::move(*this));
  *this = Bitmap();
  Graphic::operator=(old);
  transparentColor_ = old.transparentColor_;
  Reallocate(old.width_, old.height_, format, false);

  if (!IsIndexed(format)) {
    palette_ = old.palette_;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) SetPixel(x, y, old.Pixel(x, y));
    Changed();
    return;
  }

  const std::size_t capacity = std::size_t{1} << newBits;
  if (IsIndexed(old.format_)) {
    bool fits = old.palette_.size() <= capacity;
    for (int y = 0; fits && y < height_; ++y) {
      const std::uint8_t* row = old.ScanLine(y);
      for (int x = 0; x < width_; ++x)
        if (static_cast<std::size_t>(GetIndex(row, x, oldBits)) >= capacity) {
          fits = false;
          break;
        }
    }
    if (fits) {
      palette_ = old.palette_;
      for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = old.ScanLine(y);
        std::uint8_t* dst = ScanLine(y);
        for (int x = 0; x < width_; ++x) PutIndex(dst, x, newBits, GetIndex(src, x, oldBits));
      }
      Changed();
      return;
    }
    palette_ = old.palette_.size() <= capacity ? old.palette_ : DefaultPalette(format);
  } else {
    palette_ = (!old.palette_.empty() && old.palette_.size() <= capacity) ? old.palette_ : DefaultPalette(format);
  }
  PaletteMapper mapper(palette_);
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* dst = ScanLine(y);
    for (int x = 0; x < width_; ++x) PutIndex(dst, x, newBits, mapper.Index(old.Pixel(x, y)));
  }
  Changed();
}

QImage Bitmap::ToQImage() const {
  if (Empty()) return QImage();
  const int bits = BitsPerPixel();
  if (bits <= 8) {
    QImage image(width_, height_, bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
    QList<QRgb> table;
    const std::size_t entries = std::size_t{1} << bits;
    for (std::size_t i = 0; i < entries; ++i) {
      if (i >= palette_.size() && i >= 2) break;
      const Color c = PaletteColour(palette_, static_cast<int>(i));
      table.push_back(qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
    }
    // Indices beyond the table read as black, as Pixel() says.
    const int tableSize = static_cast<int>(table.size());
    bool overflow = false;
    for (int y = 0; y < height_ && !overflow; ++y)
      for (int x = 0; x < width_; ++x)
        if (GetIndex(ScanLine(y), x, bits) >= tableSize) {
          overflow = true;
          break;
        }
    if (overflow) {
      while (table.size() < static_cast<qsizetype>(entries)) table.push_back(qRgb(0, 0, 0));
    }
    image.setColorTable(table);
    for (int y = 0; y < height_; ++y) {
      const std::uint8_t* src = ScanLine(y);
      uchar* dst = image.scanLine(y);
      if (bits == 1) {
        std::memcpy(dst, src, static_cast<std::size_t>((width_ + 7) / 8));
      } else if (bits == 8) {
        std::memcpy(dst, src, static_cast<std::size_t>(width_));
      } else {
        for (int x = 0; x < width_; ++x) dst[x] = static_cast<uchar>(GetIndex(src, x, 4));
      }
    }
    return image;
  }
  if (bits == 24) {
    QImage image(width_, height_, QImage::Format_RGB888);
    for (int y = 0; y < height_; ++y) {
      const std::uint8_t* src = ScanLine(y);
      uchar* dst = image.scanLine(y);
      for (int x = 0; x < width_; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
    return image;
  }
  QImage image(width_, height_, QImage::Format_RGB32);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* src = ScanLine(y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width_; ++x, src += 4) dst[x] = qRgb(src[2], src[1], src[0]);
  }
  return image;
}

QImage Bitmap::ToQImageWithTransparency() const {
  QImage image = ToQImage().convertToFormat(QImage::Format_ARGB32);
  if (!Transparent() || image.isNull()) return image;
  const Color key = TransparentColor() & 0xFFFFFF;
  for (int y = 0; y < height_; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width_; ++x)
      if ((RGBColor(qRed(row[x]), qGreen(row[x]), qBlue(row[x]))) == key) row[x] = 0;
  }
  return image;
}

void Bitmap::AssignQImage(const QImage& source) {
  if (source.isNull()) {
    Reallocate(0, 0, format_, false);
    Changed();
    return;
  }
  if (source.width() > kMaxSide || source.height() > kMaxSide)
    throw GraphicError("Bitmap too large: " + std::to_string(source.width()) + " x " + std::to_string(source.height()));
  const int w = source.width(), h = source.height();
  switch (source.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
      const QImage image = source.convertToFormat(QImage::Format_Mono);
      Reallocate(w, h, PixelFormat::Bit1, false);
      palette_.clear();
      for (QRgb c : image.colorTable()) palette_.push_back(RGBColor(qRed(c), qGreen(c), qBlue(c)));
      if (palette_.size() > 2) palette_.resize(2);
      for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = ScanLine(y);
        std::memcpy(dst, image.constScanLine(y), static_cast<std::size_t>((w + 7) / 8));
        // Clear the bits past the width so they never turn into pixels.
        for (int x = w; x < static_cast<int>(stride_ * 8); ++x) PutIndex(dst, x, 1, 0);
      }
      break;
    }
    case QImage::Format_Indexed8: {
      Reallocate(w, h, PixelFormat::Bit8, false);
      palette_.clear();
      for (QRgb c : source.colorTable()) palette_.push_back(RGBColor(qRed(c), qGreen(c), qBlue(c)));
      if (palette_.size() > 256) palette_.resize(256);
      for (int y = 0; y < h; ++y) std::memcpy(ScanLine(y), source.constScanLine(y), static_cast<std::size_t>(w));
      break;
    }
    case QImage::Format_RGB888:
    case QImage::Format_BGR888: {
      const QImage image = source.convertToFormat(QImage::Format_RGB888);
      Reallocate(w, h, PixelFormat::Bit24, false);
      for (int y = 0; y < h; ++y) {
        const uchar* src = image.constScanLine(y);
        std::uint8_t* dst = ScanLine(y);
        for (int x = 0; x < w; ++x, src += 3, dst += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
      }
      break;
    }
    default: {
      const bool alpha = source.hasAlphaChannel();
      const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
      Reallocate(w, h, PixelFormat::Bit32, false);
      for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* dst = ScanLine(y);
        for (int x = 0; x < w; ++x, dst += 4) {
          dst[0] = static_cast<std::uint8_t>(qBlue(src[x]));
          dst[1] = static_cast<std::uint8_t>(qGreen(src[x]));
          dst[2] = static_cast<std::uint8_t>(qRed(src[x]));
          dst[3] = static_cast<std::uint8_t>(alpha ? qAlpha(src[x]) : 0);
        }
      }
      break;
    }
  }
  Changed();
}

Bitmap Bitmap::FromQImage(const QImage& image) {
  Bitmap bitmap;
  bitmap.AssignQImage(image);
  bitmap.SetModified(false);
  return bitmap;
}

QImage Bitmap::WrapQImage() {
  if (Empty()) return QImage();
  if (BitsPerPixel() == 24)
    return QImage(pixels_.data(), width_, height_, static_cast<qsizetype>(stride_), QImage::Format_BGR888);
  if (BitsPerPixel() == 32)
    return QImage(pixels_.data(), width_, height_, static_cast<qsizetype>(stride_), QImage::Format_RGB32);
  throw GraphicError("An indexed bitmap cannot be painted in place");
}

// --- graphic ---

void Bitmap::LoadFromStream(Stream& stream) {
  Bitmap loaded;
  ReadBmp(stream, loaded);  // leaves this bitmap untouched when the file is damaged
  // Only the pixels come from the file; transparency settings stay.
  const Color transparent = transparentColor_;
  TakePixels(loaded);
  transparentColor_ = transparent;
  Changed();
}

void Bitmap::SaveToStream(Stream& stream) { WriteBmp(stream, *this); }

void Bitmap::Draw(Canvas& canvas, const Rect& rect) {
  if (Empty() || rect.IsEmpty()) return;
  const Rect source{0, 0, width_, height_};
  if (Transparent()) {
    canvas.DrawImage(rect, ToQImageWithTransparency(), source);
  } else if (BitsPerPixel() == 24) {
    // Three bytes a pixel carry no alpha: the rows can be shown in place.
    canvas.DrawImage(rect, WrapQImage(), source);
  } else {
    // A copy: the fourth byte of 32-bit rows must not act as alpha.
    canvas.DrawImage(rect, ToQImage(), source);
  }
}

void Bitmap::Assign(const Graphic& source) {
  if (const auto* other = dynamic_cast<const Bitmap*>(&source)) {
    if (other != this) *this = *other;
    Changed();
    return;
  }
  Graphic::Assign(source);
}

Bitmap Bitmap::MaskBitmap(Color transparent) const {
  Bitmap mask(width_, height_, PixelFormat::Bit1);
  mask.palette_ = {clBlack, clWhite};
  transparent &= 0xFFFFFF;
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = mask.ScanLine(y);
    for (int x = 0; x < width_; ++x)
      if (Pixel(x, y) == transparent) PutIndex(row, x, 1, 1);
  }
  mask.SetModified(false);
  return mask;
}

void Bitmap::SaveToClipboardFormat(QMimeData& mime) {
  if (Empty()) return;
  MemoryStream bytes;
  WriteBmp(bytes, *this);
  SetClipboardFormatData(mime, kClipboardBitmap,
                         QByteArray(reinterpret_cast<const char*>(bytes.Bytes().data()), static_cast<qsizetype>(bytes.Bytes().size())));
  mime.setImageData(ToQImage());
}

void Bitmap::LoadFromClipboardFormat(int format, const QMimeData& mime) {
  if (format != kClipboardBitmap) throw GraphicError("Unsupported clipboard format");
  const QByteArray bytes = ClipboardFormatData(mime, format);
  if (!bytes.isEmpty()) {
    MemoryStream stream(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    LoadFromStream(stream);
    return;
  }
  const QImage image = qvariant_cast<QImage>(mime.imageData());
  if (image.isNull()) throw GraphicError("Unsupported clipboard format");
  AssignQImage(image);
}

Canvas& Bitmap::GetCanvas() {
  if (!canvas_) canvas_ = std::make_unique<Canvas>(this);
  return *canvas_;
}

void Bitmap::Changed() { Graphic::Changed(); }

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  // Rows whose bytes are equal in the same layout hold the same colours;
  // only the others are compared pixel by pixel (a large picture would
  // otherwise take a call per pixel).
  const bool sameLayout = a.format_ == b.format_ && a.palette_ == b.palette_ && a.stride_ == b.stride_;
  for (int y = 0; y < a.Height(); ++y) {
    if (sameLayout && a.stride_ > 0 && std::memcmp(a.ScanLine(y), b.ScanLine(y), a.stride_) == 0) continue;
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  }
  return true;
}

}  // namespace platform

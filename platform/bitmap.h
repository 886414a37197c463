#pragma once
// A device-independent bitmap: the pixel formats the programs and codecs use,
// rows in the Windows DIB byte layout, a palette for the indexed formats and
// the transparency settings. Converted to QImage only to be shown.
//
// Row layout of ScanLine(y) (y counted from the top, each row padded to a
// multiple of 4 bytes):
//   1 bit:  8 palette indices per byte, the leftmost pixel in the high bit
//   4 bits: 2 palette indices per byte, the leftmost pixel in the high nibble
//   8 bits: 1 palette index per byte
//   24 bits: blue, green, red per pixel
//   32 bits (and Device): blue, green, red and a fourth byte per pixel
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphic.h"

namespace platform {

// Zero-filled pixel memory. Large blocks come straight from the system
// (already zero, in huge pages where the system offers them), so a big
// picture costs no separate clearing pass.
class PixelBuffer {
 public:
  PixelBuffer() = default;
  explicit PixelBuffer(std::size_t size);
  PixelBuffer(const PixelBuffer& other);
  PixelBuffer& operator=(const PixelBuffer& other);
  PixelBuffer(PixelBuffer&& other) noexcept;
  PixelBuffer& operator=(PixelBuffer&& other) noexcept;
  ~PixelBuffer();

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  void clear();

 private:
  void swap(PixelBuffer& other) noexcept;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* mapping_ = nullptr;  // the whole system mapping behind data_, when mapped
  std::size_t mappingSize_ = 0;
};

enum class PixelFormat { Device, Bit1, Bit4, Bit8, Bit24, Bit32 };

int BitsPerPixel(PixelFormat format);
bool IsIndexed(PixelFormat format);
// The format with that many bits per pixel; GraphicError for other counts.
PixelFormat PixelFormatFromBits(int bits);

// Default colour tables for new indexed bitmaps: black and white; the 16
// standard colours; the 16 standard colours, a 6x6x6 colour cube and a grey
// ramp.
Palette DefaultPalette(PixelFormat format);
// Index of the palette entry closest to colour (squared RGB distance; the
// first of equals). -1 for an empty palette.
int NearestPaletteIndex(const Palette& palette, Color colour);

class Bitmap : public Graphic {
 public:
  // The largest side and the largest pixel buffer a bitmap accepts; sizes
  // from files beyond them are refused before anything is allocated.
  static constexpr int kMaxSide = 1 << 16;
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

  Bitmap();
  Bitmap(int width, int height, PixelFormat format = PixelFormat::Bit24);
  Bitmap(const Bitmap& other);
  Bitmap& operator=(const Bitmap& other);
  Bitmap(Bitmap&& other) noexcept;
  Bitmap& operator=(Bitmap&& other) noexcept;
  ~Bitmap() override;

  std::string ClassName() const override { return "TBitmap"; }

  // Windows BMP files.
  void LoadFromStream(Stream& stream) override;
  void SaveToStream(Stream& stream) override;

  void Draw(Canvas& canvas, const Rect& rect) override;

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Resizing keeps the pixels of the common area; new pixels are 0 (black,
  // or palette index 0).
  void SetWidth(int width) override { SetSize(width, height_); }
  void SetHeight(int height) override { SetSize(width_, height); }
  void SetSize(int width, int height);
  bool Empty() const override { return width_ == 0 || height_ == 0; }

  PixelFormat GetPixelFormat() const { return format_; }
  // Converts the pixels: indexed to true colour through the palette; true
  // colour to indexed through the nearest palette entry (the current palette
  // when it comes from an indexed format, else the default palette); between
  // indexed formats indices are kept when they all fit.
  void SetPixelFormat(PixelFormat format);
  int BitsPerPixel() const { return platform::BitsPerPixel(format_); }
  // Bytes per row, padded to a multiple of 4.
  std::size_t BytesPerLine() const { return stride_; }
  static std::size_t BytesPerLine(int width, PixelFormat format);

  // Row y from the top (0 <= y < Height(); GraphicError otherwise).
  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  // All rows, top row first.
  std::uint8_t* Bits() { return pixels_.data(); }
  const std::uint8_t* Bits() const { return pixels_.data(); }

  // Colour table of an indexed bitmap (up to 2^bits entries). Indices beyond
  // the table read as black. True-colour bitmaps keep a table too (used when
  // they are converted to an indexed format).
  Palette GetPalette() const override { return palette_; }
  void SetPalette(const Palette& palette) override;

  // Colour of a pixel; (x, y) outside gives clNone for reading and is
  // ignored for writing. Writing an indexed bitmap stores the nearest entry.
  Color Pixel(int x, int y) const;
  void SetPixel(int x, int y, Color colour);
  // Palette index of a pixel of an indexed bitmap (0 for true colour).
  int PixelIndex(int x, int y) const;
  void SetPixelIndex(int x, int y, int index);

  // The colour drawn as see-through when Transparent() is set; clDefault
  // (the default) means the colour of the bottom-left pixel.
  Color TransparentColor() const;
  void SetTransparentColor(Color colour);
  Color TransparentColorSetting() const { return transparentColor_; }

  // A 1-bit mask of the bitmap's size: index 1 (white) where the pixel has
  // the colour, index 0 (black) elsewhere.
  Bitmap MaskBitmap(Color transparent) const;
  Bitmap MaskBitmap() const { return MaskBitmap(TransparentColor()); }

  // Fills every pixel with a colour.
  void Fill(Color colour);

  // The canvas drawing on this bitmap (created on first use, owned by it).
  Canvas& GetCanvas();

  // Another bitmap is copied (pixels, size, format, palette, transparency);
  // other pictures are asked to assign themselves (AssignTo).
  void Assign(const Graphic& source) override;

  // The clipboard's bitmap format, as BMP bytes and as the clipboard image.
  void SaveToClipboardFormat(QMimeData& mime) override;
  void LoadFromClipboardFormat(int format, const QMimeData& mime) override;

  // QImage exchange: 1 bit gives Format_Mono, 4 and 8 bits Format_Indexed8,
  // 24 bits Format_RGB888, 32 bits and Device Format_RGB32 (transparency
  // not applied). FromQImage picks the matching format (Mono and Indexed8
  // give 1 and 8 bits; images with alpha keep it in the fourth byte of 32
  // bits; others become 24 or 32 bits).
  QImage ToQImage() const;
  // As ToQImage, with the transparent colour (when Transparent()) cleared
  // to alpha 0; always Format_ARGB32.
  QImage ToQImageWithTransparency() const;
  static Bitmap FromQImage(const QImage& image);
  void AssignQImage(const QImage& image);

  // A QImage sharing this bitmap's memory (24 and 32 bits only), valid until
  // the bitmap is resized or converted. Used by the canvas to paint in place.
  QImage WrapQImage();

  friend bool SamePixels(const Bitmap& a, const Bitmap& b);
  friend class Canvas;  // drawing on the bitmap raises its change notification

 protected:
  void Changed() override;

 private:
  void Reallocate(int width, int height, PixelFormat format, bool keep);
  // Moves other's size, format, pixels, palette and transparent colour here
  // and leaves other empty.
  void TakePixels(Bitmap& other) noexcept;
  void CheckLine(int y) const;

  int width_ = 0;
  int height_ = 0;
  PixelFormat format_ = PixelFormat::Device;
  std::size_t stride_ = 0;
  PixelBuffer pixels_;
  Palette palette_;
  Color transparentColor_ = clDefault;
  std::unique_ptr<Canvas> canvas_;
};

// True when both bitmaps have the same size and every pixel the same colour
// (formats and palettes may differ).
bool SamePixels(const Bitmap& a, const Bitmap& b);

}  // namespace platform

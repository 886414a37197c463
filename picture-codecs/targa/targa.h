#pragma once
// Targa (TGA) pictures, read and written. Read: image types 0 (no image),
// 1 and 9 (colour-mapped, 8-bit indices), 2 and 10 (true colour, 15, 16, 24
// or 32 bits), 3 and 11 (grey, 8 bits); 9 to 11 are the run-length kinds.
// Rows run bottom-up unless the descriptor's bit 5 says top-down. Written:
// type 10 at 24 bits for a picture that came from a run-length true-colour
// file, else type 2 at 16, 24 or 32 bits as the loaded picture had (24 for
// colour-mapped and grey ones), always bottom-up, no colour map.
//
// The picture is held in two 32-bit bitmaps: the image (blue, green, red; the
// fourth byte unused) and the alpha of each pixel as a grey picture. A
// damaged or truncated file, or a type or depth not listed, throws
// GraphicError and leaves the picture as it was.
#include <QMimeData>
#include <array>
#include <cstdint>
#include <string>

#include "platform/bitmap.h"
#include "platform/graphic.h"
#include "platform/stream.h"

namespace codecs {

class TTarga : public platform::Graphic {
 public:
  // Clipboard format of the Targa bytes: a 4-byte little-endian length, then
  // the file bytes as SaveToStream writes them.
  static constexpr int kClipboardFormat = 20;
  static constexpr int kColourMapCapacity = 1000;
  static constexpr int kHeaderSize = 18;
  // The largest side the header can state.
  static constexpr int kMaxSide = 0xFFFF;
  // The largest run-length packet, in pixels.
  static constexpr int kMaxPacket = 128;

  enum ImageFormatKind : std::uint8_t {
    kNoImage = 0,
    kColourMapped = 1,
    kTrueColour = 2,
    kGrey = 3,
    kRleColourMapped = 4,
    kRleTrueColour = 5,
    kRleGrey = 6,
  };
  enum DepthCodeKind : std::uint8_t { kDepth8 = 0, kDepth16 = 1, kDepth24 = 2, kDepth32 = 3 };
  // Descriptor bits.
  static constexpr std::uint8_t kAlphaBitsMask = 0x0F;
  static constexpr std::uint8_t kRightToLeftBit = 0x10;
  static constexpr std::uint8_t kTopToBottomBit = 0x20;

  TTarga();
  TTarga(const TTarga&) = delete;
  TTarga& operator=(const TTarga&) = delete;
  ~TTarga() override;

  std::string ClassName() const override { return "TTarga"; }

  void LoadFromStream(platform::Stream& stream) override;
  void SaveToStream(platform::Stream& stream) override;
  // Through a temporary file in the same folder, renamed over the target
  // when complete. A name ending in ".bmp" (any case) gets the image as a
  // Windows bitmap, any other name Targa bytes.
  void SaveToFile(const std::string& path) override;

  // Stretches the image into rect; the alpha takes no part.
  void Draw(platform::Canvas& canvas, const platform::Rect& rect) override;
  // The size of the picture held.
  int Width() const override { return ImageBitmap.Width(); }
  int Height() const override { return ImageBitmap.Height(); }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  bool Empty() const override { return ImageBitmap.Empty(); }

  // Another TTarga: both bitmaps. A bitmap: its pixels, with an alpha
  // bitmap of zeros. Others are asked to assign themselves.
  void Assign(const platform::Graphic& source) override;
  // To a bitmap: the image as 24 bits.
  void AssignTo(platform::Graphic& target) const override;

  void SaveToClipboardFormat(QMimeData& mime) override;
  void LoadFromClipboardFormat(int format, const QMimeData& mime) override;

  // The stored property form ("Data", see platform::Graphic::
  // DefineProperties): a length byte and the class name, then a Windows
  // bitmap (starting "BM") or Targa bytes. Written always as uncompressed
  // 32-bit Targa.
  void ReadData(platform::Stream& stream) override;
  void WriteData(platform::Stream& stream) override;

  // Header fields as last read from a file.
  std::uint8_t IdLength = 0;
  std::uint8_t ColourMapType = 0;
  std::uint8_t ImageType = 0;
  std::int16_t ColourMapStart = 0;
  std::uint16_t ColourMapLength = 0;
  std::uint8_t ColourMapEntrySize = 0;
  std::int16_t XOrigin = 0;
  std::int16_t YOrigin = 0;
  std::uint16_t ImageWidth = 0;
  std::uint16_t ImageHeight = 0;
  std::uint8_t PixelDepth = 0;
  std::uint8_t AlphaBits = 0;
  bool TopToBottom = false;
  bool RightToLeft = false;  // read, not applied
  // What the picture came from, and so how it is saved.
  std::uint8_t ImageFormat = kNoImage;
  std::uint8_t DepthCode = kDepth8;
  // Entries counted from the first stored one: red, green, blue, alpha.
  std::array<std::array<std::uint8_t, 4>, kColourMapCapacity> ColourMap{};

  platform::Bitmap ImageBitmap;
  platform::Bitmap AlphaBitmap;

 private:
  void KeepBitmapsAt32Bits();
  bool keeping_ = false;
};

// Targa bytes of a picture as SaveToStream writes them, from a bitmap of any
// format (24 and 32 bits are read as they are): type 10 at 24 bits when rle,
// else type 2 with bytesPerPixel 2, 3 or 4; at 4 the alpha of each pixel is
// the blue byte of alpha's pixel (a 32-bit bitmap of the picture's size).
// Written to the stream a block at a time, so no copy of the file is made.
void WriteTarga(platform::Stream& stream, const platform::Bitmap& image, const platform::Bitmap* alpha, bool rle,
                std::size_t bytesPerPixel);

}  // namespace codecs

#pragma once
// Row access to bitmaps for the frame import and rendering, and the drawing
// helpers that frames paint through.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace gif {

inline constexpr const char* kUnsupportedPixelFormat = "Unsupported PixelFormat";
inline constexpr const char* kScanLineOutOfRange = "Scan line index out of range";
inline constexpr const char* kConverting = "Converting...";

// Reads the rows of a bitmap in one pixel format (1, 4, 8 or 24 bits). A
// bitmap of another format is read from a converted copy: the caller's
// bitmap is never changed.
class TDIBReader {
 public:
  TDIBReader(const platform::Bitmap& bitmap, platform::PixelFormat format);
  int Width() const { return source_->Width(); }
  int Height() const { return source_->Height(); }
  const platform::Bitmap& Source() const { return *source_; }
  // Row 0 is the top row; GIFException "Scan line index out of range"
  // outside the bitmap.
  const std::uint8_t* RowAddress(int row) const;

 private:
  std::optional<platform::Bitmap> converted_;
  const platform::Bitmap* source_;
};

// Builds an 8- or 24-bit bitmap row by row and hands it to the target when
// it goes (the target is left alone when the writer is dropped by an error
// passing).
class TDIBWriter {
 public:
  // format Bit8 or Bit24 (GIFException "Unsupported PixelFormat"); width and
  // height 1..Bitmap::kMaxSide (GIFException "Invalid image dimensions").
  // An 8-bit bitmap takes up to 256 palette entries; the rest are black.
  TDIBWriter(platform::Bitmap& target, const platform::Palette& palette, int height, int width,
             platform::PixelFormat format);
  ~TDIBWriter();
  TDIBWriter(const TDIBWriter&) = delete;
  TDIBWriter& operator=(const TDIBWriter&) = delete;
  std::uint8_t* RowAddress(int row);
  // Hands the pixels to the target now.
  void WriteBack();

 private:
  platform::Bitmap& target_;
  platform::Bitmap dib_;
  bool pending_ = true;
  int uncaught_;
};

// Draws srcRect of source into destRect of dest, stretched, leaving dest
// unchanged where the mask's bit is set (one bit per source pixel, rows of
// maskStride bytes, leftmost pixel in the high bit; (maskX, maskY) is the
// mask pixel of srcRect's top-left corner).
void TransparentStretch(platform::Canvas& dest, const platform::Rect& destRect, const platform::Bitmap& source,
                        const platform::Rect& srcRect, const std::vector<std::uint8_t>& mask, int maskStride,
                        int maskX, int maskY);

// Sizes bitmap to the graphic, makes it 24 bits per pixel and draws the
// graphic at (0, 0).
void RenderGraphic(platform::Bitmap& bitmap, platform::Graphic& graphic);

}  // namespace gif

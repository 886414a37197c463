#pragma once
// JPEG pictures over libjpeg. A loaded picture keeps its file bytes, so that
// saving it unchanged writes them back as they were; the pixels are decoded
// once, at load. Changing the pixels (Assign) or the quality makes the next
// save encode anew.
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/graphic.h"

namespace platform {

class JpegImage : public Graphic {
 public:
  static constexpr int kDefaultQuality = 90;

  JpegImage() = default;
  std::string ClassName() const override { return "TJPEGImage"; }

  // Reads a JPEG file from the stream's position to its end. Damaged or
  // truncated data throws GraphicError and leaves the picture unchanged. A
  // picture of more than 16 million pixels must carry at least one byte of
  // file per 1024 pixels: a small file cannot claim a huge picture.
  void LoadFromStream(Stream& stream) override;
  void SaveToStream(Stream& stream) override;

  void Draw(Canvas& canvas, const Rect& rect) override;
  int Width() const override { return bitmap_.Width(); }
  int Height() const override { return bitmap_.Height(); }
  bool Empty() const override { return bitmap_.Empty(); }

  // Another JpegImage is copied; a Bitmap becomes the picture's pixels
  // (encoded at the next save); others are asked to assign themselves.
  void Assign(const Graphic& source) override;
  // To a Bitmap: the decoded pixels (24 bits).
  void AssignTo(Graphic& target) const override;

  // Quality 1..100 for encoding (values outside are clamped).
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int quality);

  // The decoded pixels, 24 bits per pixel.
  const Bitmap& GetBitmap() const { return bitmap_; }
  // The file bytes a save would write now (encodes when needed).
  const std::vector<std::uint8_t>& Data();

  // Direct coding, for callers that hold the bytes themselves.
  static Bitmap Decode(const std::uint8_t* data, std::size_t size);
  static std::vector<std::uint8_t> Encode(const Bitmap& bitmap, int quality);

 private:
  Bitmap bitmap_;
  std::vector<std::uint8_t> data_;  // empty: encode at the next save
  int quality_ = kDefaultQuality;
};

}  // namespace platform

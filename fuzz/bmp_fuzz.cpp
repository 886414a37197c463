// BMP reader: any bytes either load or raise the picture error; a picture that
// loads saves and loads again to the same pixels.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryStream in(data, size);
  platform::Bitmap bitmap;
  try {
    bitmap.LoadFromStream(in);
  } catch (const platform::GraphicError&) {
    return 0;
  }
  platform::MemoryStream saved;
  bitmap.SaveToStream(saved);
  saved.SetPosition(0);
  platform::Bitmap again;
  again.LoadFromStream(saved);
  if (again.Width() != bitmap.Width() || again.Height() != bitmap.Height()) std::abort();
  // A picture in the same format and palette compares row bytes (pixel by
  // pixel, a sparse run-length picture of millions of pixels would make each
  // run take seconds); the pixels of a row's last partial byte, and pictures
  // in another format, compare by colour.
  const bool sameLayout = again.GetPixelFormat() == bitmap.GetPixelFormat() &&
                          again.GetPalette() == bitmap.GetPalette() && bitmap.BitsPerPixel() > 0;
  const int bits = bitmap.BitsPerPixel();
  const int wholeBytePixels = sameLayout ? bitmap.Width() / (8 / std::min(bits, 8)) * (8 / std::min(bits, 8)) : 0;
  const std::size_t wholeBytes = static_cast<std::size_t>(wholeBytePixels) * static_cast<std::size_t>(bits) / 8;
  for (int y = 0; y < bitmap.Height(); ++y) {
    if (wholeBytes > 0 &&
        std::memcmp(again.ScanLine(y), bitmap.ScanLine(y), wholeBytes) != 0)
      std::abort();
    for (int x = wholeBytePixels; x < bitmap.Width(); ++x)
      if (again.Pixel(x, y) != bitmap.Pixel(x, y)) std::abort();
  }
  return 0;
}

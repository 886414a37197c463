// JPEG reader: any bytes either load or raise the picture error. A picture
// that loads saves back exactly the bytes it was loaded from, and those load
// again to the same pixels; encoded anew (lossy) it keeps its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/bitmap.h"
#include "platform/jpeg.h"
#include "platform/stream.h"

namespace {

// Decoded pictures are 24 bits per pixel: their rows compare as bytes.
bool PixelsAlike(const platform::Bitmap& a, const platform::Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.GetPixelFormat() != b.GetPixelFormat()) return false;
  const std::size_t row = static_cast<std::size_t>(a.Width()) * static_cast<std::size_t>(a.BitsPerPixel()) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (row > 0 && std::memcmp(a.ScanLine(y), b.ScanLine(y), row) != 0) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryStream in(data, size);
  platform::JpegImage jpeg;
  try {
    jpeg.LoadFromStream(in);
  } catch (const platform::GraphicError&) {
    FUZZ_REQUIRE(jpeg.Empty());  // a failed load leaves the picture as it was
    return 0;
  }
  FUZZ_REQUIRE(jpeg.Width() > 0 && jpeg.Height() > 0);

  // Unchanged, the picture saves its file bytes as they were.
  platform::MemoryStream saved;
  jpeg.SaveToStream(saved);
  FUZZ_REQUIRE(saved.Bytes().size() == size && std::memcmp(saved.Bytes().data(), data, size) == 0);
  saved.SetPosition(0);
  platform::JpegImage again;
  again.LoadFromStream(saved);
  FUZZ_REQUIRE(PixelsAlike(again.GetBitmap(), jpeg.GetBitmap()));

  // Encoded anew from its pixels (small pictures only: the encoder is not
  // the reader under test).
  if (static_cast<std::int64_t>(jpeg.Width()) * jpeg.Height() <= 256 * 256) {
    const std::vector<std::uint8_t> encoded = platform::JpegImage::Encode(jpeg.GetBitmap(), 75);
    const platform::Bitmap decoded = platform::JpegImage::Decode(encoded.data(), encoded.size());
    FUZZ_REQUIRE(decoded.Width() == jpeg.Width() && decoded.Height() == jpeg.Height());
  }
  return 0;
}

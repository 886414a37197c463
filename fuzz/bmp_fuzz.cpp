// BMP reader: any bytes either load or raise the picture error; a picture that
// loads saves and loads again to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x)
      if (again.Pixel(x, y) != bitmap.Pixel(x, y)) std::abort();
  return 0;
}

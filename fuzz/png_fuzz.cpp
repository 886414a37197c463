// PNG reader: any bytes either load or raise the picture error; a picture that
// loads (without gamma, whose tables need not be exact both ways) saves and
// loads again to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "picture-codecs/png/png.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Huge pictures are legal but only slow the search down.
  if (size >= 24) {
    const auto be32 = [&](std::size_t at) {
      return (std::uint64_t{data[at]} << 24) | (std::uint64_t{data[at + 1]} << 16) | (std::uint64_t{data[at + 2]} << 8) |
             data[at + 3];
    };
    if (be32(16) * be32(20) > (std::uint64_t{1} << 22)) return 0;
  }
  platform::MemoryStream in(data, size);
  codecs::TPNGImage image;
  try {
    image.LoadFromStream(in);
  } catch (const platform::GraphicError&) {
    return 0;
  }
  if (image.Chunks().First<codecs::TChunkGAMA>()) return 0;
  platform::MemoryStream saved;
  image.SaveToStream(saved);
  saved.SetPosition(0);
  codecs::TPNGImage again;
  again.LoadFromStream(saved);
  if (again.Width() != image.Width() || again.Height() != image.Height()) std::abort();
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x)
      if (again.Pixel(x, y) != image.Pixel(x, y)) std::abort();
  return 0;
}

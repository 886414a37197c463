// Targa reader: any bytes either load or raise the picture error; a picture
// that loads saves and loads again to the same pixels (16-bit pictures lose
// nothing more, as their channels are already multiples of 8).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "picture-codecs/targa/targa.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryStream in(data, size);
  codecs::TTarga targa;
  try {
    targa.LoadFromStream(in);
  } catch (const platform::GraphicError&) {
    return 0;
  }
  platform::MemoryStream saved;
  targa.SaveToStream(saved);
  saved.SetPosition(0);
  codecs::TTarga again;
  again.LoadFromStream(saved);
  if (!platform::SamePixels(again.ImageBitmap, targa.ImageBitmap)) std::abort();
  return 0;
}

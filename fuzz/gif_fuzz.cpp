// The GIF reader on arbitrary bytes: loading must end in a picture or a
// GIFException/stream error, never a crash, a hang or a read outside a
// buffer. Whatever loads is also rendered and written back.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "picture-codecs/gif/gif.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryStream stream(data, size);
  gif::TGIFImage image;
  try {
    image.LoadFromStream(stream);
  } catch (const std::exception&) {
  }
  // Rendering and writing back huge frames only costs time; the reader has
  // met them already.
  constexpr std::int64_t kMaxRenderedPixels = 1 << 20;
  for (int i = 0; i < image.FrameCount(); ++i)
    if (image.Frame(i)->PixelCount() > kMaxRenderedPixels) return 0;
  try {
    for (int i = 0; i < image.FrameCount(); ++i) image.Frame(i)->DecodedBitmap();
    if (!image.Empty()) {
      platform::MemoryStream out;
      image.SaveToStream(out);
      gif::TGIFImage again;
      out.SetPosition(0);
      again.LoadFromStream(out);
    }
  } catch (const std::exception&) {
  }
  return 0;
}

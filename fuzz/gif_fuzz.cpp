// The GIF reader on arbitrary bytes: loading must end in a picture or a
// GIFException/stream error, never a crash, a hang or a read outside a
// buffer. Whatever loads is also rendered, composed and written back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "picture-codecs/gif/compose.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
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
    // Every frame composed as a viewer shows it, with and without the
    // transparency and clear options: frames may lie anywhere on the screen.
    // A screen past the composer's cap is composed too: it must be refused
    // before anything is allocated.
    const std::int64_t screen = static_cast<std::int64_t>(image.Width()) * image.Height();
    const bool refused = screen * static_cast<std::int64_t>(sizeof(platform::Color)) > gif::kMaxScreenBytes;
    if (screen <= kMaxRenderedPixels || refused) {
      try {
        for (const std::uint16_t options : {std::uint16_t{0}, std::uint16_t{gif::dpTransparent | gif::dpClearOnRepeat}}) {
          gif::FrameComposer composer(image, options, platform::clBlack);
          for (int i = 0; i < image.FrameCount(); ++i) composer.ShowFrame(i);
        }
        if (refused && image.FrameCount() > 0) std::abort();  // a screen past the cap was composed
      } catch (const std::exception&) {
      }
    }
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

// A frame decoded onto the web palette with error diffusion, for screens
// that show no more than 256 colours at once.
#include <cstring>

#include "picture-codecs/gif/dither.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/import.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/lookup.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

std::unique_ptr<platform::Bitmap> TGIFSubImage::RenderDithered() {
  const int w = Width();
  const int h = Height();
  auto bitmap = std::make_unique<platform::Bitmap>();
  TGIFColorMap& map = ActiveMap();
  // Without colours there is nothing to diffuse from.
  if (map.EntryCount() == 0) RaiseGIFError(msg::kNoColourTable);
  const int colours = map.EntryCount();
  const std::uint8_t* entries = map.Entries();
  TNetscapeColorLookup lookup;
  TFloydSteinbergDitherer engine(w, lookup);
  TDIBWriter writer(*bitmap, FramePalette(), h, w, platform::PixelFormat::Bit8);
  const bool buildMask = maskPending_ && HasTransparency() && mask_.empty();
  const int t = TransparentIndex();
  const int maskStride = MaskRowBytes();
  std::vector<std::uint8_t> mask;
  std::uint8_t background = 0;
  if (buildMask) {
    mask.assign(static_cast<std::size_t>(maskStride) * static_cast<std::size_t>(h), 0);
    std::uint8_t r = 0, g = 0, b = 0, or_ = 0, og = 0, ob = 0;
    if (t < colours) {
      r = entries[t * 3];
      g = entries[t * 3 + 1];
      b = entries[t * 3 + 2];
    }
    background = lookup.MapColour(r, g, b, or_, og, ob);
  }
  bool anySet = false;
  for (int y = 0; y < h; ++y) {
    if (y % 32 == 0 && ownerImage_)
      ownerImage_->Progress(platform::ProgressStage::Running, MulDiv(y, 100, h), false, platform::Rect{},
                            msg::kRendering);
    const std::uint8_t* src = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    std::uint8_t* out = writer.RowAddress(y);
    std::uint8_t* m = buildMask ? mask.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(maskStride)
                                : nullptr;
    if (buildMask) std::memset(out, background, static_cast<std::size_t>(w));
    while (engine.Position() >= 0 && engine.Position() < w) {
      const int x = engine.Position();
      const int p = src[x];
      if (buildMask && p == t) {
        m[x / 8] = static_cast<std::uint8_t>(m[x / 8] | (0x80 >> (x % 8)));
        anySet = true;
        engine.AdvanceColumn();
        continue;
      }
      // Indices past the map draw black, as in the frame's own colours.
      std::uint8_t r = 0, g = 0, b = 0, or_, og, ob;
      if (p < colours) {
        r = entries[p * 3];
        g = entries[p * 3 + 1];
        b = entries[p * 3 + 2];
      }
      out[x] = engine.DitherPixel(r, g, b, or_, og, ob);
    }
    engine.NextRow();
  }
  writer.WriteBack();
  if (buildMask && anySet) mask_ = std::move(mask);
  if (buildMask || !HasTransparency()) maskPending_ = false;
  return bitmap;
}

}  // namespace gif

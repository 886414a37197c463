// Drawing a frame (scaled, tiled, through its mask), cropping a transparent
// frame to what it shows, and making unchanged pixels transparent.
#include <QImage>
#include <algorithm>
#include <cstring>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/import.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

namespace {

platform::Rect Intersect(const platform::Rect& a, const platform::Rect& b) {
  return platform::Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                        std::min(a.bottom, b.bottom)};
}

bool MaskBit(const std::vector<std::uint8_t>& mask, int stride, int x, int y) {
  return (mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x / 8)] &
          (0x80 >> (x % 8))) != 0;
}

}  // namespace

void TransparentStretch(platform::Canvas& dest, const platform::Rect& destRect, const platform::Bitmap& source,
                        const platform::Rect& srcRect, const std::vector<std::uint8_t>& mask, int maskStride,
                        int maskX, int maskY) {
  if (destRect.IsEmpty() || srcRect.IsEmpty()) return;
  const platform::Rect inside = Intersect(srcRect, platform::Rect{0, 0, source.Width(), source.Height()});
  if (inside != srcRect) RaiseGIFError(msg::kBadCoordinates);
  const int w = srcRect.Width();
  const int h = srcRect.Height();
  if (maskX < 0 || maskY < 0 || maskStride < (maskX + w + 7) / 8 ||
      mask.size() < static_cast<std::size_t>(maskStride) * static_cast<std::size_t>(maskY + h))
    RaiseGIFError(msg::kBadCoordinates);
  QImage image = source.ToQImage().copy(srcRect.left, srcRect.top, w, h).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x)
      if (MaskBit(mask, maskStride, maskX + x, maskY + y)) line[x] = 0;
  }
  dest.DrawImage(destRect, image, platform::Rect{0, 0, w, h});
}

platform::Rect TGIFSubImage::ScaledFrameRect(const platform::Rect& rect) const {
  // An image without a screen size is drawn at the frame's own extent.
  const int sw = ownerImage_ && ownerImage_->Width() > 0 ? ownerImage_->Width() : std::max(1, Left() + Width());
  const int sh = ownerImage_ && ownerImage_->Height() > 0 ? ownerImage_->Height() : std::max(1, Top() + Height());
  const int w = rect.Width();
  const int h = rect.Height();
  return platform::Rect{rect.left + MulDiv(Left(), w, sw), rect.top + MulDiv(Top(), h, sh),
                        rect.left + MulDiv(Left() + Width(), w, sw), rect.top + MulDiv(Top() + Height(), h, sh)};
}

void TGIFSubImage::PaintInto(platform::Canvas& canvas, const platform::Rect& rect, bool tiled, bool transparent) {
  PaintStretched(canvas, tiled ? rect : ScaledFrameRect(rect), tiled, transparent);
}

void TGIFSubImage::PaintStretched(platform::Canvas& canvas, const platform::Rect& rect, bool tiled,
                                  bool transparent) {
  const bool masked = transparent && HasTransparency() && HasMask();
  platform::Bitmap* bitmap = DecodedBitmap();
  if (!bitmap || rect.IsEmpty()) return;
  const int w = Width();
  const int h = Height();
  if (!tiled) {
    if (masked)
      TransparentStretch(canvas, rect, *bitmap, platform::Rect{0, 0, w, h}, mask_, MaskRowBytes(), 0, 0);
    else
      canvas.StretchDraw(rect, *bitmap);
    return;
  }
  // Tiles of the frame at its natural size, one per screen of the image,
  // each cut to the target rectangle.
  const int stepX = std::max(1, ownerImage_ && ownerImage_->Width() > 0 ? ownerImage_->Width() : w);
  const int stepY = std::max(1, ownerImage_ && ownerImage_->Height() > 0 ? ownerImage_->Height() : h);
  const QImage plain = masked ? QImage() : bitmap->ToQImage();
  for (long long ty = static_cast<long long>(rect.top) + Top(); ty < rect.bottom; ty += stepY)
    for (long long tx = static_cast<long long>(rect.left) + Left(); tx < rect.right; tx += stepX) {
      const platform::Rect tile{static_cast<int>(tx), static_cast<int>(ty), static_cast<int>(tx) + w,
                                static_cast<int>(ty) + h};
      const platform::Rect dest = Intersect(tile, rect);
      if (dest.IsEmpty()) continue;
      const platform::Rect src{dest.left - tile.left, dest.top - tile.top, dest.right - tile.left,
                               dest.bottom - tile.top};
      if (masked)
        TransparentStretch(canvas, dest, *bitmap, src, mask_, MaskRowBytes(), src.left, src.top);
      else
        canvas.DrawImage(dest, plain, src);
    }
}

void TGIFSubImage::TrimTransparent() {
  if (FrameEmpty() || !HasTransparency()) return;
  const std::uint8_t t = static_cast<std::uint8_t>(TransparentIndex());
  const int w = Width();
  const int h = Height();
  const std::uint8_t* p = pixels_.data();
  auto at = [&](int x, int y) { return p[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x]; };
  auto columnShows = [&](int x) {
    for (int y = 0; y < h; ++y)
      if (at(x, y) != t) return true;
    return false;
  };
  int x0 = 0;
  while (x0 < w && !columnShows(x0)) ++x0;
  if (x0 == w) {
    ClearFrame();
    return;
  }
  int x1 = w - 1;
  while (!columnShows(x1)) --x1;
  auto rowShows = [&](int y) {
    for (int x = x0; x <= x1; ++x)
      if (at(x, y) != t) return true;
    return false;
  };
  int y0 = 0;
  while (!rowShows(y0)) ++y0;
  int y1 = h - 1;
  while (!rowShows(y1)) --y1;
  const int nw = x1 - x0 + 1;
  const int nh = y1 - y0 + 1;
  std::vector<std::uint8_t> kept(static_cast<std::size_t>(nw) * static_cast<std::size_t>(nh));
  for (int y = 0; y < nh; ++y)
    std::memcpy(kept.data() + static_cast<std::size_t>(y) * nw,
                p + static_cast<std::size_t>(y0 + y) * static_cast<std::size_t>(w) + x0, static_cast<std::size_t>(nw));
  SetFrameBounds(Left() + x0, Top() + y0, nw, nh);
  NewPixels();
  std::memcpy(pixels_.data(), kept.data(), kept.size());
  FreeFrameBitmap();
  FreeMask();
}

int TGIFSubImage::NewTransparentIndex() {
  if (localMap_->EntryCount() == 0 && ownerImage_) {
    // A transparent index another frame of the same colours already uses
    // is taken when this frame shows no pixel of that value.
    for (int i = 0; i < ownerImage_->FrameCount(); ++i) {
      TGIFSubImage* other = ownerImage_->Frame(i);
      if (other == this || !other->HasTransparency() || other->localMap_->EntryCount() != 0) continue;
      const std::uint8_t candidate = static_cast<std::uint8_t>(other->TransparentIndex());
      const std::uint8_t* p = pixels_.data();
      if (std::find(p, p + pixelCount_, candidate) == p + pixelCount_) return candidate;
    }
  }
  if (localMap_->EntryCount() > 0 || !ownerImage_) return localMap_->AddColour(platform::clBlack);
  return ownerImage_->GlobalMapOf().AddColour(platform::clBlack);
}

void TGIFSubImage::MaskUnchanged(TGIFSubImage* previous) {
  if (FrameEmpty() || !previous || previous == this || previous->FrameEmpty()) return;
  if (const TGIFGraphicControlExtension* gce = previous->ControlExtension()) {
    const int disposal = gce->DisposalMethod();
    if (disposal == 2 || disposal == 3) return;
  }
  const platform::Rect r = Intersect(BoundsRect(), previous->BoundsRect());
  if (r.IsEmpty()) return;
  const bool hadTransparency = HasTransparency();
  bool haveIndex = hadTransparency;
  int t = haveIndex ? TransparentIndex() : -1;
  if (!haveIndex) {
    const int local = localMap_->EntryCount();
    const int global = ownerImage_ ? ownerImage_->GlobalMapOf().EntryCount() : 0;
    const bool room = local > 0 ? local <= 255 : (global >= 1 && global <= 255);
    if (!room) return;
  }
  const int pt = previous->HasTransparency() ? previous->TransparentIndex() : -1;
  bool changed = false;
  for (int y = r.top; y < r.bottom; ++y) {
    std::uint8_t* mine = PixelRow(y - Top());
    const std::uint8_t* theirs = previous->PixelRow(y - previous->Top());
    for (int x = r.left; x < r.right; ++x) {
      std::uint8_t& p = mine[x - Left()];
      const int q = theirs[x - previous->Left()];
      if (haveIndex && p == t) continue;
      if (q == pt) continue;
      // The maps are asked each time: choosing the index may add an entry.
      TGIFColorMap& myMap = ActiveMap();
      TGIFColorMap& theirMap = previous->ActiveMap();
      bool same;
      if (&myMap == &theirMap) {
        same = p == q;
      } else {
        same = p < myMap.EntryCount() && q < theirMap.EntryCount() &&
               std::memcmp(myMap.Entries() + p * 3, theirMap.Entries() + q * 3, 3) == 0;
      }
      if (!same) continue;
      if (!haveIndex) {
        t = NewTransparentIndex();
        haveIndex = true;
      }
      p = static_cast<std::uint8_t>(t);
      changed = true;
    }
  }
  if (haveIndex && !hadTransparency) {
    TGIFGraphicControlExtension* ext = control_;
    if (!ext) {
      auto made = std::make_unique<TGIFGraphicControlExtension>(this);
      ext = made.get();
      extensions_->AddItem(made.release());
    }
    ext->SetTransparency(true);
    ext->SetTransparentIndex(t);
  }
  if (changed || haveIndex) {
    FreeFrameBitmap();
    FreeMask();
  }
}

}  // namespace gif

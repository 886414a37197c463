// The image's side of drawing: the cached picture, tiling, and the painters
// that animate it. Painters run on the GUI thread (timer-driven) or inside
// the drawing call, so stopping one never waits for another thread.
#include <algorithm>

#include "picture-codecs/gif/compose.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/painter.h"
#include "picture-codecs/gif/stream_util.h"
#include "platform/canvas.h"

namespace gif {

platform::Bitmap* TGIFImage::BlankBitmap() {
  if (cachedBitmap_) return cachedBitmap_.get();
  auto bitmap = std::make_unique<platform::Bitmap>(std::max(1, Width()), std::max(1, Height()),
                                                   platform::PixelFormat::Bit24);
  bitmap->Fill(PainterBackground(*this));
  cachedBitmap_ = std::move(bitmap);
  return cachedBitmap_.get();
}

void TGIFImage::DropBitmap() {
  if (mainPainter_) RemovePainter(mainPainter_);
  cachedBitmap_.reset();
}

void TGIFImage::TileBitmap(platform::Canvas& canvas, const platform::Rect& rect, platform::Bitmap& bitmap) {
  if (!(PaintOptions & dpTiled) || Width() <= 0 || Height() <= 0) {
    canvas.StretchDraw(rect, bitmap);
    return;
  }
  // Tiles past the rectangle's right and bottom edges are cut there.
  for (int x = rect.left; x < rect.right; x += Width())
    for (int y = rect.top; y < rect.bottom; y += Height()) {
      const int w = std::min(Width(), rect.right - x), h = std::min(Height(), rect.bottom - y);
      QImage part = bitmap.ToQImage();
      canvas.DrawImage(platform::Rect{x, y, x + w, y + h}, part,
                       platform::Rect{0, 0, MulDiv(w, bitmap.Width(), Width()), MulDiv(h, bitmap.Height(), Height())});
    }
}

void TGIFImage::RemovePainter(TGIFPainter* painter) {
  const auto it = std::find_if(painters_.begin(), painters_.end(), [&](const auto& p) { return p.get() == painter; });
  if (it == painters_.end()) return;
  std::unique_ptr<TGIFPainter> owned = std::move(*it);
  painters_.erase(it);
  owned->StopPainter();
  owned->ReleasePainter();
  if (mainPainter_ == painter) mainPainter_ = nullptr;
  // A painter whose own event handler got here frees itself when its step
  // returns; a synchronous one waiting between frames (an event it served
  // got here) when its run returns.
  if (owned->inAdvance_ || owned->inExecute_) owned.release()->deleteWhenIdle_ = true;
}

TGIFPainter* TGIFImage::NewPainter(TGIFPainter** painterRef, platform::Canvas* canvas, std::uint16_t options,
                                   const platform::Rect& rect, platform::Bitmap* bitmap) {
  if (Empty() || rect.left >= rect.right || rect.top >= rect.bottom) {
    if (painterRef) *painterRef = nullptr;
    return nullptr;
  }
  if (FrameCount() == 1) options &= static_cast<std::uint16_t>(~(dpThreaded | dpAnimate));
  auto owned = std::make_unique<TGIFPainter>(*this, options, rect, canvas, bitmap, painterRef,
                                             painterClock_ ? *painterClock_ : SystemClock());
  TGIFPainter* painter = owned.get();
  painters_.push_back(std::move(owned));
  painter->OnPaintBegin = OnPaintBegin;
  painter->OnFramePaint = OnFramePaint;
  painter->OnFramePainted = OnFramePainted;
  painter->OnRepeat = OnRepeat;
  painter->OnPaintEnd = OnPaintEnd;
  if (options & dpThreaded) return painter;
  // Released while it ran, the painter has freed itself.
  if (painter->Run()) RemovePainter(painter);
  if (painterRef) *painterRef = nullptr;
  return nullptr;
}

void TGIFImage::StopMainPainter() { DropBitmap(); }

void TGIFImage::StopPainters() {
  while (!painters_.empty()) RemovePainter(painters_.back().get());
  DropBitmap();
}

void TGIFImage::KillPainters() { StopPainters(); }

void TGIFImage::Draw(platform::Canvas& canvas, const platform::Rect& rect) {
  if (inDraw_ || FrameCount() == 0 || rect.left >= rect.right || rect.top >= rect.bottom) return;
  inDraw_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{inDraw_};
  // Painters that ended are freed here (they cannot free themselves while
  // their timer runs them).
  for (std::size_t i = painters_.size(); i-- > 0;)
    if (painters_[i]->Finished() && !painters_[i]->inAdvance_ && painters_[i].get() != mainPainter_)
      RemovePainter(painters_[i].get());
  if (FrameCount() == 1 || !(PaintOptions & dpAnimate)) {
    Frame(0)->PaintInto(canvas, rect, (PaintOptions & dpTiled) != 0, (PaintOptions & dpTransparent) != 0);
    return;
  }
  const bool direct = (PaintOptions & dpDirect) != 0;
  if (cachedBitmap_ && !direct) {
    TileBitmap(canvas, rect, *cachedBitmap_);
    return;
  }
  if (direct && mainPainter_ && mainPainter_->Canvas() == &canvas && mainPainter_->TargetRect() == rect) return;
  StopMainPainter();
  TGIFPainter* painter;
  if (direct) {
    painter = NewPainter(&mainPainter_, &canvas, PaintOptions, rect);
  } else {
    platform::Bitmap* target = BlankBitmap();
    painter = NewPainter(&mainPainter_, nullptr, PaintOptions, platform::Rect{0, 0, target->Width(), target->Height()},
                         target);
  }
  if (painter) painter->StartPainter();
  if (!direct && cachedBitmap_) TileBitmap(canvas, rect, *cachedBitmap_);
}

}  // namespace gif

// Making a GIF smaller without changing what a viewer shows: colour maps
// sorted by use, needless transparency, disposals, extensions and frames
// dropped, unchanged pixels made transparent, transparent frames cropped.
#include <algorithm>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

namespace {

constexpr int kDisposalNone = 0;
constexpr int kDisposalKeep = 1;
constexpr int kDisposalBackground = 2;
constexpr int kDisposalPrevious = 3;
constexpr int kMaxDelay = 0xFFFF;

int DisposalOf(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.ControlExtension();
  return gce ? gce->DisposalMethod() : kDisposalNone;
}

int DelayOf(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.ControlExtension();
  return gce ? gce->DelayTime() : 0;
}

bool WaitsForInput(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.ControlExtension();
  return gce && gce->WaitsForInput();
}

// Cropping or removing a frame changes nothing only when the frame leaves
// its pixels in place afterwards and no viewer waits on it.
bool MayCropOrDelete(const TGIFSubImage& frame) {
  const int disposal = DisposalOf(frame);
  return (disposal == kDisposalNone || disposal == kDisposalKeep) && !WaitsForInput(frame);
}

bool Overlap(const platform::Rect& a, const platform::Rect& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

bool Covers(const platform::Rect& outer, const platform::Rect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

bool UsesValue(const TGIFSubImage& frame, int value) {
  const std::uint8_t* p = frame.Pixels();
  if (!p) return false;
  return std::find(p, p + frame.PixelCount(), static_cast<std::uint8_t>(value)) != p + frame.PixelCount();
}

}  // namespace

// Frame index goes; its display time goes to the frame before it, and a
// first frame's looping extensions to the frame that becomes the first.
void TGIFImage::DeleteFrameKeepingTime(int index) {
  TGIFSubImage* frame = Frame(index);
  const int delay = DelayOf(*frame);
  if (index > 0 && delay > 0) {
    TGIFSubImage* before = Frame(index - 1);
    TGIFGraphicControlExtension* gce = before->ControlExtension();
    if (!gce) {
      auto made = std::make_unique<TGIFGraphicControlExtension>(before);
      gce = made.get();
      before->Extensions().AddItem(made.release());
    }
    gce->SetDelayTime(std::min(kMaxDelay, gce->DelayTime() + delay));
  }
  if (index == 0 && FrameCount() > 1) {
    TGIFSubImage* next = Frame(1);
    auto& from = frame->Extensions().items_;
    auto& to = next->Extensions().items_;
    for (std::size_t i = from.size(); i-- > 0;) {
      if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(from[i])) {
        from.erase(from.begin() + static_cast<std::ptrdiff_t>(i));
        loop->ownerFrame_ = next;
        to.insert(to.begin(), loop);
      }
    }
  }
  frames_->DeleteItem(index);
}

// The progress of Optimize: one step per frame and pass, six passes.
struct TGIFImage::OptimizeProgress {
  TGIFImage& image;
  int total;
  int done = 0;
  void Step() { ++done; }
  void Skip(int steps) { done += steps; }
  void Report() {
    image.Progress(platform::ProgressStage::Running, MulDiv(std::min(done, total), 100, total), false,
                   platform::Rect{}, kOptimizing);
  }
};

void TGIFImage::Optimize(std::uint8_t options, std::uint8_t reduction) {
  if (FrameCount() == 0) return;
  // A running animation walks the frame list that the passes below change.
  StopPainters();
  OptimizeProgress progress{*this, 6 * FrameCount()};
  Progress(platform::ProgressStage::Starting, 0, false, platform::Rect{}, kOptimizing);
  try {
    if (options & opSortColourMaps) SortColourMaps(progress);
    const int count = FrameCount();
    if (options & opCleanup) {
      DropUnusedTransparency(progress);
      DropNeedlessDisposals(progress);
    } else {
      progress.Skip(2 * count);
    }
    if (options & opMergeFrames)
      MergeFrames(progress);
    else
      progress.Skip(count);
    if (options & opCropFrames)
      CropFrames(progress);
    else
      progress.Skip(count);
    progress.Skip(count);
    if (options & opCleanup)
      CleanupExtensionsAndFrames(progress);
    else if ((options & opReduceColours) && reduction == static_cast<std::uint8_t>(ColorReduction::Palette))
      RaiseGIFError("Invalid reduction method");
  } catch (...) {
    DropBitmap();
    Progress(platform::ProgressStage::Ending, 0, false, platform::Rect{}, kOptimizing);
    throw;
  }
  DropBitmap();
  Changed();
  Progress(platform::ProgressStage::Ending, 100, false, platform::Rect{}, kOptimizing);
}

// Every colour map sorted by use (colours no pixel uses go).
void TGIFImage::SortColourMaps(OptimizeProgress& progress) {
  if (GlobalMapOf().EntryCount() > 0) GlobalMapOf().Optimise();
  for (int i = 0; i < FrameCount(); ++i) {
    progress.Step();
    if (Frame(i)->LocalMap().EntryCount() > 0) {
      Frame(i)->LocalMap().Optimise();
      progress.Report();
    }
  }
}

// Transparency that no pixel uses.
void TGIFImage::DropUnusedTransparency(OptimizeProgress& progress) {
  for (int i = 0; i < FrameCount(); ++i) {
    progress.Step();
    TGIFSubImage* f = Frame(i);
    if (f->HasTransparency() && !UsesValue(*f, f->TransparentIndex())) {
      f->ControlExtension()->SetTransparency(false);
      f->FreeFrameBitmap();
      f->FreeMask();
      progress.Report();
    }
  }
}

// Clearing a frame that the next, opaque frame covers completely.
void TGIFImage::DropNeedlessDisposals(OptimizeProgress& progress) {
  for (int i = 0; i + 1 < FrameCount(); ++i) {
    progress.Step();
    TGIFSubImage* f = Frame(i);
    TGIFSubImage* next = Frame(i + 1);
    const int disposal = DisposalOf(*f);
    if ((disposal != kDisposalBackground && disposal != kDisposalPrevious) || next->HasTransparency()) continue;
    if (next->FrameEmpty() || !Overlap(f->BoundsRect(), next->BoundsRect())) continue;
    // A next frame that restores what was before it would bring this
    // frame back if it were no longer cleared.
    if (Covers(next->BoundsRect(), f->BoundsRect()) && DisposalOf(*next) != kDisposalPrevious)
      f->ControlExtension()->SetDisposalMethod(kDisposalNone);
    progress.Report();
  }
}

// Pixels that show what the screen already shows become transparent.
void TGIFImage::MergeFrames(OptimizeProgress& progress) {
  for (int c = FrameCount() - 1; c >= 1; --c) {
    progress.Step();
    int earlier = c - 1;
    while (earlier > 0 && DisposalOf(*Frame(earlier)) == kDisposalPrevious) --earlier;
    Frame(c)->MaskUnchanged(Frame(earlier));
    progress.Report();
  }
}

// Transparent frames cropped to what they show; invisible ones go.
void TGIFImage::CropFrames(OptimizeProgress& progress) {
  for (int c = FrameCount() - 1; c >= 0; --c) {
    progress.Step();
    TGIFSubImage* f = Frame(c);
    if (f->FrameEmpty() || !f->HasTransparency() || !MayCropOrDelete(*f)) continue;
    const int t = f->TransparentIndex();
    const std::uint8_t* p = f->Pixels();
    const bool invisible = std::all_of(p, p + f->PixelCount(), [t](std::uint8_t v) { return v == t; });
    // A frame that shows nothing goes when its time can go to the frame
    // before, which must then stay on the screen meanwhile.
    // (A first frame shows the empty screen the picture starts with.)
    const bool timeKept = c > 0 ? MayCropOrDelete(*Frame(c - 1)) : DelayOf(*f) == 0;
    if (invisible && timeKept && FrameCount() > 1)
      DeleteFrameKeepingTime(c);
    else if (!invisible)
      f->TrimTransparent();
    progress.Report();
  }
}

// Comments, text, unknown application data, extra loop extensions,
// control extensions that change nothing, and empty frames.
void TGIFImage::CleanupExtensionsAndFrames(OptimizeProgress& progress) {
  for (int n = FrameCount() - 1; n >= 0; --n) {
    TGIFSubImage* f = Frame(n);
    TGIFExtensionList& list = f->Extensions();
    for (int e = list.ItemCount() - 1; e >= 0; --e) {
      TGIFExtension* ext = list.Extension(e);
      const bool loop = dynamic_cast<TGIFAppExtNSLoop*>(ext) != nullptr;
      const bool drop = dynamic_cast<TGIFCommentExtension*>(ext) || dynamic_cast<TGIFTextExtension*>(ext) ||
                        dynamic_cast<TGIFUnknownAppExtension*>(ext) || (loop && !(n == 0 && FrameCount() > 1));
      if (drop) list.DeleteItem(e);
    }
    if (const TGIFGraphicControlExtension* gce = f->ControlExtension()) {
      const bool single = FrameCount() == 1;
      if ((gce->DelayTime() == 0 || single) && !gce->IsTransparent() && !gce->WaitsForInput() &&
          (gce->DisposalMethod() < kDisposalBackground || single)) {
        for (int e = list.ItemCount() - 1; e >= 0; --e)
          if (list.Extension(e) == gce) {
            list.DeleteItem(e);
            break;
          }
      }
    }
    // An empty frame still shows the screen as the frame before it left
    // it; it goes only when that frame leaves its pixels in place.
    if (f->FrameEmpty() && list.ItemCount() == 0 && FrameCount() > 1 && (n == 0 || MayCropOrDelete(*Frame(n - 1))))
      frames_->DeleteItem(n);
  }
  progress.Report();
}

}  // namespace gif

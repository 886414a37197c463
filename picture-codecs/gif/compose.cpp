#include "picture-codecs/gif/compose.h"

#include <algorithm>
#include <string>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

int FrameDisposal(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* control = frame.ControlExtension();
  if (!control) return kDisposeKeep;
  const int method = control->DisposalMethod();
  return method > kDisposePrevious ? kDisposeKeep : method;
}

int FrameDelayUnits(const TGIFSubImage& frame, bool threaded) {
  const TGIFGraphicControlExtension* control = frame.ControlExtension();
  int delay = control && control->DelayTime() != 0 ? control->DelayTime() : kDefaultDelayUnits;
  delay = std::max(delay, kMinDelayUnits);
  if (!threaded) delay = std::min(delay, kMaxSyncDelayUnits);
  return delay;
}

platform::Color PainterBackground(TGIFImage& image) {
  if (image.BackdropColour != platform::clNone) return image.BackdropColour;
  const TGIFGlobalColorMap& map = image.GlobalMapOf();
  if (map.EntryCount() == 0 || image.ScreenHeader().BackgroundIndex >= map.EntryCount()) return kWindowColour;
  return image.BackgroundColour();
}

namespace {

bool UsesDisposal(TGIFImage& image, std::uint16_t options, int method) {
  if (method == kDisposeBackground && (options & dpClearOnRepeat)) return true;
  for (int i = 0; i < image.FrameCount(); ++i)
    if (FrameDisposal(*image.Frame(i)) == method) return true;
  return false;
}

}  // namespace

FrameComposer::FrameComposer(TGIFImage& image, std::uint16_t options, platform::Color canvas)
    : image_(image), options_(options), canvas_(canvas), background_(PainterBackground(image)) {}

void FrameComposer::Restart() {
  const int w = image_.Width(), h = image_.Height();
  const std::int64_t bytes =
      static_cast<std::int64_t>(w) * static_cast<std::int64_t>(h) * static_cast<std::int64_t>(sizeof(platform::Color));
  if (bytes > kMaxScreenBytes)
    RaiseGIFError(std::string(msg::kScreenTooLarge) + ": " + std::to_string(w) + " x " + std::to_string(h));
  compose_ = ScreenBuffer{};
  restore_ = ScreenBuffer{};
  visible_.Reset(w, h, canvas_);
  oldDisposal_ = kDisposeKeep;
  started_ = true;
}

void FrameComposer::DrawFrame(TGIFSubImage& frame, ScreenBuffer& target) const {
  if (frame.FrameEmpty() || frame.PixelCount() == 0) return;
  platform::Palette palette = frame.FramePalette();
  palette.resize(TGIFColorMap::kMaxEntries, platform::clBlack);
  const bool masked = (options_ & dpTransparent) && frame.HasTransparency();
  const int transparent = masked ? frame.TransparentIndex() : -1;
  const int fw = frame.Width();
  const int x0 = frame.Left(), y0 = frame.Top();
  const int x1 = std::min(x0 + fw, target.width);
  const int y1 = std::min(y0 + frame.Height(), target.height);
  // A frame wholly right of the screen (or a screen of no width) has no row
  // to draw into.
  if (x0 >= x1) return;
  const std::uint8_t* pixels = frame.Pixels();
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* row = pixels + static_cast<std::size_t>(y - y0) * static_cast<std::size_t>(fw);
    platform::Color* out = &target.At(0, y);
    for (int x = x0; x < x1; ++x) {
      const int index = row[x - x0];
      if (index != transparent) out[x] = palette[static_cast<std::size_t>(index)];
    }
  }
}

// Clears in buffer coordinates: the buffers cover the picture alone, so the
// frame's own rectangle is the area to restore wherever the picture is shown.
void FrameComposer::ClearFrameArea(const TGIFSubImage& frame) {
  const platform::Color fill = (options_ & dpTransparent) ? canvas_ : background_;
  const int x1 = std::min(frame.Left() + frame.Width(), compose_.width);
  const int y1 = std::min(frame.Top() + frame.Height(), compose_.height);
  for (int y = frame.Top(); y < y1; ++y)
    for (int x = frame.Left(); x < x1; ++x) compose_.At(x, y) = fill;
}

void FrameComposer::ShowFrame(int index) {
  if (!started_) Restart();
  TGIFSubImage* frame = image_.Frame(index);
  if (!frame) return;
  const int disposal = FrameDisposal(*frame);
  const bool buffered =
      UsesDisposal(image_, options_, kDisposeBackground) || UsesDisposal(image_, options_, kDisposePrevious);
  if (!buffered) {
    DrawFrame(*frame, visible_);
    oldDisposal_ = disposal;
    return;
  }
  if (compose_.width != visible_.width || compose_.height != visible_.height)
    compose_.Reset(visible_.width, visible_.height, canvas_);
  const bool clearFirst = (options_ & dpClearOnRepeat) && index == 0;
  if (clearFirst) ClearFrameArea(*frame);
  if (disposal == kDisposePrevious) {
    if (oldDisposal_ == kDisposeBackground || oldDisposal_ == kDisposePrevious) {
      restore_ = compose_;
      DrawFrame(*frame, restore_);
      visible_ = restore_;
    } else {
      // Shown over what is on screen; the composed picture stays as it was.
      DrawFrame(*frame, visible_);
    }
  } else {
    DrawFrame(*frame, compose_);
    visible_ = compose_;
    if (disposal == kDisposeBackground) ClearFrameArea(*frame);
  }
  oldDisposal_ = disposal;
}

}  // namespace gif

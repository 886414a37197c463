#pragma once
// The screen of an animation as it is shown frame after frame: each frame
// drawn by its disposal method onto what earlier frames left, at the logical
// screen's own size. No window is involved; the painter shows the result on
// a canvas and picconv writes it to files.
#include <cstdint>
#include <vector>

#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"

namespace gif {

// GIF delays count hundredths of a second.
inline constexpr int kDelayUnitMs = 10;
// A frame without a delay shows this long; shorter delays are raised to the
// minimum, longer ones lowered to the maximum unless the painter runs on its
// own timer.
inline constexpr int kDefaultDelayUnits = 10;
inline constexpr int kMinDelayUnits = 3;
inline constexpr int kMaxSyncDelayUnits = 1000;
// The colour of an empty window, used when the file names no usable
// background colour.
inline constexpr platform::Color kWindowColour = platform::clWhite;

// Disposal methods of the graphic control extension.
enum Disposal : int {
  kDisposeNone = 0,
  kDisposeKeep = 1,
  kDisposeBackground = 2,
  kDisposePrevious = 3,
};
// The method of a frame (1 without a control extension); reserved values
// 4-7 act as 1, as viewers do.
int FrameDisposal(const TGIFSubImage& frame);
// The frame's delay in units as the painter uses it (default and limits
// applied; threaded painters are not capped above).
int FrameDelayUnits(const TGIFSubImage& frame, bool threaded);

// The painter's background colour: the image's BackdropColour when set;
// otherwise the colour of the header's background index, or the window
// colour when there is no global map or the index lies outside it.
platform::Color PainterBackground(TGIFImage& image);

// Colours of a rectangle of pixels, rows top to bottom.
struct ScreenBuffer {
  int width = 0;
  int height = 0;
  std::vector<platform::Color> pixels;
  void Reset(int w, int h, platform::Color colour) {
    width = w;
    height = h;
    pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), colour);
  }
  platform::Color& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
  platform::Color At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

// The largest logical screen the composer draws, in bytes of one screen
// buffer: the cap of any picture. A 16-bit screen may claim far more than
// its frames need, so the size is checked before anything is allocated.
inline constexpr std::int64_t kMaxScreenBytes = static_cast<std::int64_t>(platform::Bitmap::kMaxBytes);

// Composes the frames of one image. The screen starts as `canvas` (what lay
// under the picture: one colour here); with dpTransparent, transparent pixels
// leave what is under them and clearing restores the canvas, otherwise
// clearing fills with the background colour.
class FrameComposer {
 public:
  FrameComposer(TGIFImage& image, std::uint16_t options, platform::Color canvas);

  // Draws frame `index` by its disposal method and the method of the frame
  // shown before; Visible() then holds what the screen shows. The first
  // call starts the screen (see Restart).
  void ShowFrame(int index);
  const ScreenBuffer& Visible() const { return visible_; }
  platform::Color Background() const { return background_; }
  // Starts again from the canvas (a new painting run). A screen above
  // kMaxScreenBytes raises a GIFException saying it is too large.
  void Restart();

 private:
  void DrawFrame(TGIFSubImage& frame, ScreenBuffer& target) const;
  void ClearFrameArea(const TGIFSubImage& frame);

  TGIFImage& image_;
  std::uint16_t options_;
  platform::Color canvas_;
  platform::Color background_;
  int oldDisposal_ = kDisposeKeep;
  bool started_ = false;
  // What earlier frames left, made only for images whose frames restore
  // (disposal 2 or 3); a copy of it is made for a frame that restores to
  // previous over a restored screen.
  ScreenBuffer compose_;
  ScreenBuffer restore_;
  ScreenBuffer visible_;
};

}  // namespace gif

#pragma once
// The GIF picture class: a header and a list of frames, drawn directly or by
// animation painters, read and written as a stream, and the unit's settings
// and registration (image.cpp, image_draw.cpp, optimize.cpp).
//
// Errors are GIFException; warnings go to the image's WarningEvent.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture-codecs/gif/colour_types.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/items.h"
#include "platform/bitmap.h"
#include "platform/graphic.h"
#include "platform/stream.h"

namespace gif {

class TGIFPainter;
class PainterClock;

// Drawing options (PaintOptions bits).
enum PaintOption : std::uint16_t {
  dpThreaded = 0x0001,
  dpTransparent = 0x0002,
  dpAnimate = 0x0004,
  dpRepeat = 0x0008,
  dpRepeatForever = 0x0010,
  dpCheckCanvas = 0x0020,
  dpDirect = 0x0040,
  dpClearOnRepeat = 0x0080,
  dpTiled = 0x0100,
  dpDither = 0x0200,
  dpAutoDither = 0x0400,
};

// Passes of TGIFImage::Optimize (optimize.cpp).
enum OptimizeOption : std::uint8_t {
  opCropFrames = 0x01,
  opMergeFrames = 0x02,
  opCleanup = 0x04,
  opSortColourMaps = 0x08,
  opReduceColours = 0x10,
};
inline constexpr const char* kOptimizing = "Optimizing...";

// Encoders (EncoderKind).
enum class EncoderKind : std::uint8_t { LZW = 0, RunLength = 1 };

// Unit-wide settings: a frame decodes its bitmap right after it is read; a
// picture stored as a property is optimised first (TGIFImage::WriteData);
// both off unless changed. The screen shows at most 256 colours (set at
// registration).
extern bool DecodeOnLoad;
extern bool OptimizeOnWrite;
extern bool PaletteDisplay;

class TGIFImage : public platform::Graphic, public GIFObject {
 public:
  using WarningHandler = std::function<void(const GIFObject* sender, int severity, const std::string& message)>;

  // Defaults of a new image.
  static constexpr std::uint16_t kDefaultPaintOptions =
      dpThreaded | dpTransparent | dpAnimate | dpRepeat | dpDither | dpAutoDither;

  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  std::string ClassName() const override { return "TGIFImage"; }

  void ClearImage();
  bool Empty() const override { return frames_->ItemCount() == 0; }
  int Width() const override { return header_->ScreenWidth; }
  int Height() const override { return header_->ScreenHeight; }
  void SetWidth(int width) override;
  void SetHeight(int height) override;
  int ImageVersion() const;
  int MaxResolution() const;
  int MaxBits() const;
  platform::Color BackgroundColour() { return header_->BackgroundColour(); }
  TGIFGlobalColorMap& GlobalMapOf() { return header_->GlobalMap(); }
  bool UseWebPalette() const;

  platform::Palette GetPalette() const override;
  void SetPalette(const platform::Palette& palette) override;
  // A frame of another image is moved here; answers the frame's index.
  int AddFrame(TGIFSubImage* frame);
  // A new frame made from the picture as the frame import makes it
  // (TGIFSubImage::Assign), appended; answers its index. On an error of the
  // import no frame is added.
  int AddFrame(const platform::Graphic& source);
  // A frame is taken as AddFrame(TGIFSubImage*), a picture imported;
  // GIFException "Object type not supported for operation" for anything
  // else (extensions, colour maps, headers, none).
  int AddFrame(GIFObject* source);
  void Assign(const platform::Graphic& source) override;
  void AssignTo(platform::Graphic& target) const override;
  // Only the same image: comparing stored data would write (and, with
  // OptimizeOnWrite, optimise) both pictures.
  bool Equals(platform::Graphic& other) override { return &other == this; }
  // With OptimizeOnWrite, first Optimize with every pass and no colour
  // reduction; then the stream form.
  void WriteData(Stream& stream) override;

  void LoadFromStream(Stream& stream) override;
  void SaveToStream(Stream& stream) override;

  // One frame, or dpAnimate clear: frame 0. Otherwise an animation painter
  // shows the frames: into the cached bitmap, which is drawn here and on
  // every later call (the image signals a change for each frame), or with
  // dpDirect straight onto this canvas.
  void Draw(platform::Canvas& canvas, const platform::Rect& rect) override;
  // The whole picture as one bitmap (frame 0 on the logical screen); none
  // for an empty image.
  platform::Bitmap* RenderBitmap();
  // The cached bitmap, made blank (the background colour) when there is none.
  platform::Bitmap* BlankBitmap();
  // Stops the main painter, then drops the cached bitmap.
  void DropBitmap();
  // The bitmap stretched into rect, or with dpTiled copies of the image's
  // size from rect's corner on, clipped to rect.
  void TileBitmap(platform::Canvas& canvas, const platform::Rect& rect, platform::Bitmap& bitmap);

  // Painters. NewPainter answers a timer-driven painter (the caller starts
  // it), or runs a synchronous one to its end and answers none; none also
  // for an empty image or rectangle. canvas none paints into bitmap.
  TGIFPainter* NewPainter(TGIFPainter** painterRef, platform::Canvas* canvas, std::uint16_t options,
                          const platform::Rect& rect, platform::Bitmap* bitmap = nullptr);
  void StopMainPainter();
  // Stops and frees every painter (before clearing, destroying, optimising).
  void StopPainters();
  // Painters cannot be killed: this stops and frees them like StopPainters.
  void KillPainters();
  TGIFPainter* MainPainter() const { return mainPainter_; }
  int PainterCount() const { return static_cast<int>(painters_.size()); }
  // The clock of new painters (tests use a fake one); none: the system's.
  void SetPainterClock(PainterClock* clock) { painterClock_ = clock; }
  using PaintEvent = std::function<void(TGIFPainter& sender)>;
  PaintEvent OnPaintBegin, OnFramePaint, OnFramePainted, OnRepeat, OnPaintEnd;
  // Makes the picture smaller without changing what a viewer shows: the
  // OptimizeOption passes (optimize.cpp). reduction is a ColorReduction
  // value; no pass reduces colours.
  void Optimize(std::uint8_t options, std::uint8_t reduction);

  void SaveToClipboardFormat(QMimeData& mime) override;
  void LoadFromClipboardFormat(int format, const QMimeData& mime) override;

  void Warning(const GIFObject* sender, int severity, const std::string& message);
  void SetOnWarning(WarningHandler handler) { warningEvent_ = std::move(handler); }
  // Lets items raise the change notification.
  void SignalChange() { Changed(); }

  TGIFImageList& Frames() { return *frames_; }
  const TGIFImageList& Frames() const { return *frames_; }
  TGIFSubImage* Frame(int index) const { return frames_->Frame(index); }
  int FrameCount() const { return frames_->ItemCount(); }
  TGIFHeader& ScreenHeader() { return *header_; }
  const TGIFHeader& ScreenHeader() const { return *header_; }
  // Sets the logical screen size without the frame checks (frames that grow
  // past the screen enlarge it).
  void SetScreenSize(int width, int height);
  // While frames are read: adds a frame's pixel bytes to what the frames
  // read since the image was cleared hold, before they are allocated; past
  // kMaxPicturePixelBytes the picture is refused as too large.
  void ChargeLoadedPixels(std::int64_t bytes);

  std::uint16_t PaintOptions = kDefaultPaintOptions;
  std::uint8_t ReductionMethod = static_cast<std::uint8_t>(kDefaultColorReduction);
  int ReductionDepth = kDefaultReductionBits;
  std::uint8_t DitherKind = static_cast<std::uint8_t>(kDefaultDitherMode);
  std::uint8_t Encoder = static_cast<std::uint8_t>(EncoderKind::LZW);
  int SpeedPercent = 100;
  platform::Color BackdropColour = platform::clNone;

 private:
  std::unique_ptr<TGIFImageList> frames_;
  std::unique_ptr<TGIFHeader> header_;
  mutable std::optional<platform::Palette> globalPalette_;
  mutable bool inPaletteQuery_ = false;
  void RemovePainter(TGIFPainter* painter);
  bool inDraw_ = false;
  std::int64_t loadedPixelBytes_ = 0;  // of the frames read since the image was cleared
  void AssignPicture(const platform::Graphic& source);  // import.cpp's frames
  // optimize.cpp: the passes of Optimize, each advancing the progress count.
  struct OptimizeProgress;
  void SortColourMaps(OptimizeProgress& progress);
  void DropUnusedTransparency(OptimizeProgress& progress);
  void DropNeedlessDisposals(OptimizeProgress& progress);
  void MergeFrames(OptimizeProgress& progress);
  void CropFrames(OptimizeProgress& progress);
  void CleanupExtensionsAndFrames(OptimizeProgress& progress);
  void DeleteFrameKeepingTime(int index);

  std::unique_ptr<platform::Bitmap> cachedBitmap_;
  std::vector<std::unique_ptr<TGIFPainter>> painters_;
  TGIFPainter* mainPainter_ = nullptr;
  PainterClock* painterClock_ = nullptr;
  WarningHandler warningEvent_;
};

// The clipboard format number of "GIF Image" (registered on first use).
int GIFClipboardFormat();
// Registers TGIFImage for "GIF" ("GIF Image") and its clipboard format.
void RegisterGIF();
void UnregisterGIF();

}  // namespace gif

#pragma once
// A frame of a GIF picture: its image descriptor, local colour map,
// extensions and pixels (one colour index per byte, rows top to bottom), and
// the list of an image's frames (frame.cpp, import.cpp, paint.cpp).
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/items.h"
#include "platform/bitmap.h"
#include "platform/graphic.h"
#include "platform/stream.h"

namespace gif {

// The frames of an image, in stream order.
class TGIFImageList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  TGIFSubImage* Frame(int index) const;
  void LoadItems(Stream& stream, GIFObject* parent) override;
  void SaveItems(Stream& stream) override;
};

class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* owner);
  ~TGIFSubImage() override;

  void ClearFrame();
  bool FrameEmpty() const;
  int BoundsValue(int index) const;
  void SetBoundsValue(int index, int value);
  int Left() const { return Field16(1); }
  int Top() const { return Field16(3); }
  int Width() const { return Field16(5); }
  int Height() const { return Field16(7); }
  platform::Rect BoundsRect() const;
  void SetFrameBounds(int left, int top, int width, int height);
  bool Interlaced() const { return (Descriptor[9] & 0x40) != 0; }
  void SetInterlaced(bool on);
  int FrameBits() const { return localMap_->EntryBits(); }
  int FrameResolution() const { return FrameBits() - 1; }
  TGIFColorMap& ActiveMap();
  int RequiredVersion() const override;

  void NewPixels();
  void FreePixels();
  void NeedPixels();
  std::uint8_t* PixelRow(int y);
  std::uint8_t& PixelAt(int x, int y);
  std::uint8_t* Pixels() { return pixels_.data(); }
  const std::uint8_t* Pixels() const { return pixels_.data(); }
  std::int64_t PixelCount() const { return pixelCount_; }

  bool HasBitmap() const { return frameBitmap_ != nullptr; }
  void FreeFrameBitmap() { frameBitmap_.reset(); }
  void FreeMask();
  bool HasMask();
  // One bit per pixel, set where the pixel is transparent; rows padded to
  // 16 bits, leftmost pixel in the high bit. Empty when no mask is built.
  const std::vector<std::uint8_t>& Mask() const { return mask_; }
  bool MaskPending() const { return maskPending_; }
  int MaskRowBytes() const { return ((Width() + 15) / 16) * 2; }

  // Transparency comes from the frame's control extension alone.
  bool HasTransparency() const;
  TGIFGraphicControlExtension* ControlExtension() const { return control_; }
  int TransparentIndex() const;

  platform::Palette FramePalette();
  void SetFramePalette(const platform::Palette& palette);
  // The frame as an 8-bit bitmap, made on first use (none for an empty
  // frame or when a progress handler aborted the render).
  platform::Bitmap* DecodedBitmap();
  // Takes another frame's descriptor, pixels, local map and extensions
  // (copied through their stream form).
  void Assign(const TGIFSubImage& source);

  void PrepareDescriptor();
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;
  void DecodeRaster(Stream& stream);
  void EncodeRaster(Stream& stream);

  // ---- import from other pictures, drawing, cropping, merging --------
  // (import.cpp, paint.cpp)
  // A bitmap of 1, 4 or 8 bits is taken index for index with its palette;
  // any other is first reduced by the owning image's ReductionMethod,
  // DitherKind and ReductionDepth (defaults without an owner). Other
  // pictures are drawn on a 24-bit bitmap first. A bitmap's transparent
  // colour becomes the frame's transparency. On any error the frame is
  // left empty.
  void Assign(const platform::Graphic& source);
  // Pixels where mask (a bitmap of the frame's size) is not 0 become a new
  // black entry, the transparent index, when the local map has room.
  void ImportMask(const platform::Bitmap& mask);
  // The frame's part of rect when the whole image is drawn into rect.
  platform::Rect ScaledFrameRect(const platform::Rect& rect) const;
  void PaintInto(platform::Canvas& canvas, const platform::Rect& rect, bool tiled, bool transparent);
  void PaintStretched(platform::Canvas& canvas, const platform::Rect& rect, bool tiled, bool transparent);
  // Crops a transparent frame to its visible pixels (empties an invisible
  // one).
  void TrimTransparent();
  // Pixels showing what previous showed there become transparent.
  void MaskUnchanged(TGIFSubImage* previous);

  TGIFLocalColorMap& LocalMap() { return *localMap_; }
  const TGIFLocalColorMap& LocalMap() const { return *localMap_; }
  TGIFExtensionList& Extensions() { return *extensions_; }
  const TGIFExtensionList& Extensions() const { return *extensions_; }

  std::array<std::uint8_t, 10> Descriptor{kImageSeparator, 0, 0, 0, 0, 0, 0, 0, 0, 0};

 private:
  friend class TGIFGraphicControlExtension;
  friend class TGIFImage;
  int Field16(int offset) const { return Descriptor[offset] | (Descriptor[offset + 1] << 8); }
  void SetField16(int offset, int value);
  std::unique_ptr<platform::Bitmap> RenderDirect();
  // The frame on the web palette, diffused (frame_dither.cpp).
  std::unique_ptr<platform::Bitmap> RenderDithered();
  void ImportBitmap(const platform::Bitmap& source);
  int NewTransparentIndex();

  // The transparent index the decoded bitmap and the mask were made for
  // (-1: none); a change of the control extension's transparency since
  // makes them again.
  int TransparencyKey() const { return HasTransparency() ? TransparentIndex() : -1; }
  void DropIfTransparencyChanged();

  std::unique_ptr<platform::Bitmap> frameBitmap_;
  std::vector<std::uint8_t> mask_;
  bool maskPending_ = true;
  int renderedTransparency_ = -1;
  std::optional<platform::Palette> paletteHandle_;
  platform::PixelBuffer pixels_;
  std::int64_t pixelCount_ = 0;
  std::unique_ptr<TGIFLocalColorMap> localMap_;
  std::unique_ptr<TGIFExtensionList> extensions_;
  TGIFGraphicControlExtension* control_ = nullptr;
};

}  // namespace gif

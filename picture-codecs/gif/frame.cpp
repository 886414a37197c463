// One frame of a GIF: descriptor, local map, extensions and pixels; its
// part of the stream; and its decoded bitmap with the transparency mask.
#include <algorithm>
#include <cstring>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/lzw.h"
#include "picture-codecs/gif/palettes.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

namespace {

// Frames whose pixel buffer would pass the bitmap layer's cap are refused
// before anything is allocated.
constexpr std::int64_t kMaxFramePixels = static_cast<std::int64_t>(platform::Bitmap::kMaxBytes);
constexpr int kMaxCoordinate = 0xFFFF;

}  // namespace

TGIFSubImage::TGIFSubImage(TGIFImage* owner)
    : TGIFItem(owner),
      localMap_(std::make_unique<TGIFLocalColorMap>(this)),
      extensions_(std::make_unique<TGIFExtensionList>(owner)) {}

TGIFSubImage::~TGIFSubImage() {
  if (ownerImage_) ownerImage_->Frames().RemoveItem(this);
  extensions_->ClearItems();
  control_ = nullptr;
}

void TGIFSubImage::ClearFrame() {
  extensions_->ClearItems();
  localMap_->ClearEntries();
  FreePixels();
  SetField16(7, 0);
  SetField16(5, 0);
  control_ = nullptr;
  FreeFrameBitmap();
  FreeMask();
}

bool TGIFSubImage::FrameEmpty() const { return pixels_.data() == nullptr || pixelCount_ == 0 || Height() == 0 || Width() == 0; }

void TGIFSubImage::SetField16(int offset, int value) {
  Descriptor[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value & 0xFF);
  Descriptor[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

int TGIFSubImage::BoundsValue(int index) const {
  switch (index) {
    case 1: return Left();
    case 2: return Top();
    case 3: return Width();
    case 4: return Height();
    default: return 0;
  }
}

void TGIFSubImage::SetBoundsValue(int index, int value) {
  switch (index) {
    case 1: SetFrameBounds(value, Top(), Width(), Height()); break;
    case 2: SetFrameBounds(Left(), value, Width(), Height()); break;
    case 3: SetFrameBounds(Left(), Top(), value, Height()); break;
    case 4: SetFrameBounds(Left(), Top(), Width(), value); break;
    default: break;
  }
}

platform::Rect TGIFSubImage::BoundsRect() const { return platform::Bounds(Left(), Top(), Width(), Height()); }

void TGIFSubImage::SetFrameBounds(int left, int top, int width, int height) {
  for (int v : {left, top, width, height})
    if (v < 0 || v > kMaxCoordinate) RaiseGIFError(msg::kBadDimensions);
  // The logical screen is 16 bits wide: a frame reaching past it cannot be
  // shown on any screen this format can describe.
  if (left + width > kMaxCoordinate || top + height > kMaxCoordinate) RaiseGIFError(msg::kExceedsScreen);
  const bool resized = width != Width() || height != Height();
  SetField16(1, left);
  SetField16(3, top);
  SetField16(5, width);
  SetField16(7, height);
  if (resized) {
    FreeFrameBitmap();
    FreeMask();
    FreePixels();
    NewPixels();
  }
  if (!ownerImage_) return;
  bool warned = false;
  if (ownerImage_->Width() < left + width) {
    if (ownerImage_->Width() > 0) {
      Warning(kSeverityWarning, msg::kWidthTooSmall);
      warned = true;
    }
    ownerImage_->SetScreenSize(left + width, ownerImage_->Height());
  }
  if (ownerImage_->Height() < top + height) {
    if (ownerImage_->Height() > 0) {
      Warning(kSeverityWarning, msg::kHeightTooSmall);
      warned = true;
    }
    ownerImage_->SetScreenSize(ownerImage_->Width(), top + height);
  }
  if (warned) Warning(kSeverityWarning, msg::kExceedsScreen);
}

void TGIFSubImage::SetInterlaced(bool on) {
  Descriptor[9] = static_cast<std::uint8_t>(on ? (Descriptor[9] | 0x40) : (Descriptor[9] & ~0x40));
}

TGIFColorMap& TGIFSubImage::ActiveMap() {
  if (localMap_->EntryCount() > 0) return *localMap_;
  if (ownerImage_ && ownerImage_->GlobalMapOf().EntryCount() > 0) return ownerImage_->GlobalMapOf();
  return *localMap_;
}

int TGIFSubImage::RequiredVersion() const {
  if (localMap_->Sorted()) return kVersion89a;
  int version = kVersion87a;
  for (int i = 0; i < extensions_->ItemCount() && version < kVersion89a; ++i)
    version = std::max(version, extensions_->ItemAt(i)->RequiredVersion());
  return version;
}

void TGIFSubImage::NewPixels() {
  FreePixels();
  const std::int64_t size = static_cast<std::int64_t>(Width()) * Height();
  if (size > kMaxFramePixels) RaiseGIFError(msg::kBadDimensions);
  if (size > 0) pixels_ = platform::PixelBuffer(static_cast<std::size_t>(size));
  pixelCount_ = size;
}

void TGIFSubImage::FreePixels() {
  pixels_ = platform::PixelBuffer();
  pixelCount_ = 0;
}

void TGIFSubImage::NeedPixels() {
  if (pixels_.data() == nullptr) NewPixels();
  if (pixelCount_ == 0) RaiseGIFError(msg::kImageEmpty);
}

std::uint8_t* TGIFSubImage::PixelRow(int y) {
  if (y < 0 || y >= Height()) RaiseGIFError(msg::kBadCoordinates);
  NeedPixels();
  return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width());
}

std::uint8_t& TGIFSubImage::PixelAt(int x, int y) {
  if (x < 0 || x >= Width()) RaiseGIFError(msg::kBadCoordinates);
  return PixelRow(y)[x];
}

void TGIFSubImage::FreeMask() {
  mask_.clear();
  maskPending_ = true;
}

void TGIFSubImage::DropIfTransparencyChanged() {
  if (TransparencyKey() == renderedTransparency_) return;
  if (frameBitmap_ || !mask_.empty() || !maskPending_) {
    FreeFrameBitmap();
    FreeMask();
  }
  renderedTransparency_ = TransparencyKey();
}

bool TGIFSubImage::HasMask() {
  DropIfTransparencyChanged();
  if (maskPending_ && HasTransparency()) {
    FreeFrameBitmap();
    DecodedBitmap();
  }
  return !mask_.empty();
}

bool TGIFSubImage::HasTransparency() const { return control_ != nullptr && control_->IsTransparent(); }

int TGIFSubImage::TransparentIndex() const { return control_ ? control_->TransparentIndex() : 0; }

platform::Palette TGIFSubImage::FramePalette() {
  if (frameBitmap_ && !frameBitmap_->GetPalette().empty()) return frameBitmap_->GetPalette();
  if (paletteHandle_) return *paletteHandle_;
  if (ownerImage_ && ownerImage_->UseWebPalette()) {
    paletteHandle_ = WebSafePalette();
    return *paletteHandle_;
  }
  if (localMap_->EntryCount() == 0) return ownerImage_ ? ownerImage_->GetPalette() : platform::Palette{};
  paletteHandle_ = localMap_->MakePalette();
  return *paletteHandle_;
}

void TGIFSubImage::SetFramePalette(const platform::Palette& palette) {
  const bool same = paletteHandle_ ? *paletteHandle_ == palette : palette.empty();
  if (same) return;
  if (palette.empty())
    paletteHandle_.reset();
  else
    paletteHandle_ = palette;
  if (frameBitmap_ && frameBitmap_->GetPalette() != palette) {
    FreeFrameBitmap();
    if (ownerImage_) {
      ownerImage_->SetPaletteModified(true);
      ownerImage_->SignalChange();
    }
  }
}

platform::Bitmap* TGIFSubImage::DecodedBitmap() {
  DropIfTransparencyChanged();
  if (frameBitmap_ || FrameEmpty()) return frameBitmap_.get();
  TGIFImage* image = ownerImage_;
  auto progress = [&](platform::ProgressStage stage, int percent) {
    if (image) image->Progress(stage, percent, stage == platform::ProgressStage::Ending && image->PaletteModified(),
                               platform::Rect{}, msg::kRendering);
  };
  progress(platform::ProgressStage::Starting, 0);
  try {
    frameBitmap_ = image && image->UseWebPalette() ? RenderDithered() : RenderDirect();
  } catch (...) {
    progress(platform::ProgressStage::Ending, 0);
    throw;
  }
  progress(platform::ProgressStage::Ending, 100);
  if (image && image->PaletteModified()) image->SignalChange();
  return frameBitmap_.get();
}

std::unique_ptr<platform::Bitmap> TGIFSubImage::RenderDirect() {
  const int w = Width();
  const int h = Height();
  auto bitmap = std::make_unique<platform::Bitmap>(w, h, platform::PixelFormat::Bit8);
  // Indices beyond the colour table draw black, in whatever shows the
  // bitmap.
  platform::Palette palette = FramePalette();
  palette.resize(256, platform::clBlack);
  bitmap->SetPalette(palette);
  const bool buildMask = maskPending_ && HasTransparency() && mask_.empty();
  const int t = TransparentIndex();
  const int maskStride = MaskRowBytes();
  std::vector<std::uint8_t> mask;
  if (buildMask) mask.assign(static_cast<std::size_t>(maskStride) * static_cast<std::size_t>(h), 0);
  bool anySet = false;
  for (int y = 0; y < h; ++y) {
    if (y % 32 == 0 && ownerImage_)
      ownerImage_->Progress(platform::ProgressStage::Running, MulDiv(y, 100, h), false, platform::Rect{},
                            msg::kRendering);
    const std::uint8_t* src = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    std::memcpy(bitmap->ScanLine(y), src, static_cast<std::size_t>(w));
    if (buildMask) {
      std::uint8_t* m = mask.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(maskStride);
      for (int x = 0; x < w; ++x)
        if (src[x] == t) {
          m[x / 8] = static_cast<std::uint8_t>(m[x / 8] | (0x80 >> (x % 8)));
          anySet = true;
        }
    }
  }
  // The mask is settled only once the whole frame was rendered; a render
  // cut short leaves it pending for the next one.
  if (buildMask && anySet) mask_ = std::move(mask);
  if (buildMask || !HasTransparency()) maskPending_ = false;
  return bitmap;
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
  if (&source == this) return;
  ClearFrame();
  if (source.FrameEmpty() && source.extensions_->ItemCount() == 0) return;
  Descriptor = source.Descriptor;
  if (!source.FrameEmpty()) {
    NewPixels();
    std::memcpy(pixels_.data(), source.pixels_.data(), static_cast<std::size_t>(pixelCount_));
  }
  localMap_->Assign(*source.localMap_);
  platform::MemoryStream copy;
  source.extensions_->SaveItems(copy);
  WriteByte(copy, kImageSeparator);
  copy.SetPosition(0);
  extensions_->LoadItems(copy, this);
  if (source.frameBitmap_) frameBitmap_ = std::make_unique<platform::Bitmap>(*source.frameBitmap_);
}

void TGIFSubImage::PrepareDescriptor() {
  if (localMap_->EntryCount() > 0) {
    std::uint8_t flags = 0x80;
    if (localMap_->Sorted()) flags |= 0x20;
    flags |= static_cast<std::uint8_t>(FrameResolution() & 7);
    Descriptor[9] = flags;
  } else {
    Descriptor[9] &= 0x58;
  }
}

void TGIFSubImage::SaveToStream(Stream& stream) {
  extensions_->SaveItems(stream);
  if (FrameEmpty()) return;
  PrepareDescriptor();
  stream.WriteBuffer(Descriptor.data(), Descriptor.size());
  localMap_->WriteEntries(stream);
  EncodeRaster(stream);
}

void TGIFSubImage::LoadFromStream(Stream& stream) {
  ClearFrame();
  extensions_->LoadItems(stream, this);
  const auto b = ReadByte(stream);
  if (!b) return;
  stream.Seek(-1, platform::SeekOrigin::Current);
  // Only an image separator starts an image; anything else after the
  // extensions is left to the block loop.
  if (*b != kImageSeparator) return;
  ReadExact(stream, Descriptor.data(), Descriptor.size());
  if (Width() == 0 || Height() == 0) {
    const int w = ownerImage_ ? ownerImage_->Width() : 0;
    const int h = ownerImage_ ? ownerImage_->Height() : 0;
    SetField16(7, h);
    SetField16(5, w);
    Warning(kSeverityWarning, msg::kExceedsScreen);
  }
  if (Descriptor[9] & 0x80) localMap_->ReadEntries(stream, 1 << ((Descriptor[9] & 7) + 1));
  DecodeRaster(stream);
  if (DecodeOnLoad) DecodedBitmap();
}

void TGIFSubImage::DecodeRaster(Stream& stream) {
  // Every frame of a file is held at its full size, whatever its data
  // reaches: the picture's total is checked before the pixels are taken (a
  // frame too large by itself is refused as such by NewPixels).
  const std::int64_t size = static_cast<std::int64_t>(Width()) * Height();
  if (ownerImage_ && size <= kMaxFramePixels) ownerImage_->ChargeLoadedPixels(size);
  NewPixels();
  const std::uint8_t fill = HasTransparency() ? static_cast<std::uint8_t>(TransparentIndex()) : 0;
  DecodeLZW(stream, pixels_.data(), Width(), Height(), Interlaced(), fill,
            [this](int severity, const std::string& message) { Warning(severity, message); });
}

void TGIFSubImage::EncodeRaster(Stream& stream) {
  int pixelBits;
  int colourCount;
  if (localMap_->EntryCount() == 0) {
    pixelBits = ownerImage_ ? ownerImage_->MaxBits() : 8;
    if (pixelBits == 0) pixelBits = 8;  // no colours anywhere: every byte value passes
    colourCount = 1 << pixelBits;
  } else {
    pixelBits = localMap_->EntryBits();
    colourCount = localMap_->EntryCount();
  }
  std::unique_ptr<TGIFEncoder> encoder;
  if (ownerImage_ && ownerImage_->Encoder == static_cast<std::uint8_t>(EncoderKind::RunLength))
    encoder = std::make_unique<TRLEEncoder>();
  else
    encoder = std::make_unique<TLZWEncoder>();
  encoder->WarningHandler = [this](int severity, const std::string& message) { Warning(severity, message); };
  encoder->EncodeFrame(stream, pixelBits, colourCount, pixels_.data(), Interlaced(), Height(), Width());
}

}  // namespace gif

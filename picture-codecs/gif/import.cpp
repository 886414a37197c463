// Frames made from other pictures: bitmaps of every format, their
// transparency, and any picture that can draw itself on a bitmap.
#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <optional>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/import.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/reduce.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

// ---- row access ----------------------------------------------------------------

TDIBReader::TDIBReader(const platform::Bitmap& bitmap, platform::PixelFormat format) : source_(&bitmap) {
  using platform::PixelFormat;
  if (format != PixelFormat::Bit1 && format != PixelFormat::Bit4 && format != PixelFormat::Bit8 &&
      format != PixelFormat::Bit24)
    RaiseGIFError(kUnsupportedPixelFormat);
  if (bitmap.GetPixelFormat() != format) {
    converted_.emplace(bitmap);
    converted_->SetPixelFormat(format);
    source_ = &*converted_;
  }
}

const std::uint8_t* TDIBReader::RowAddress(int row) const {
  if (row < 0 || row >= source_->Height()) RaiseGIFError(kScanLineOutOfRange);
  return source_->ScanLine(row);
}

TDIBWriter::TDIBWriter(platform::Bitmap& target, const platform::Palette& palette, int height, int width,
                       platform::PixelFormat format)
    : target_(target), uncaught_(std::uncaught_exceptions()) {
  if (format != platform::PixelFormat::Bit8 && format != platform::PixelFormat::Bit24)
    RaiseGIFError(kUnsupportedPixelFormat);
  if (width <= 0 || height <= 0 || width > platform::Bitmap::kMaxSide || height > platform::Bitmap::kMaxSide)
    RaiseGIFError(msg::kBadDimensions);
  dib_ = platform::Bitmap(width, height, format);
  if (format == platform::PixelFormat::Bit8) {
    platform::Palette table(palette.begin(), palette.begin() + std::min<std::size_t>(palette.size(), 256));
    table.resize(256, platform::clBlack);
    dib_.SetPalette(table);
  }
}

TDIBWriter::~TDIBWriter() {
  if (pending_ && std::uncaught_exceptions() == uncaught_) WriteBack();
}

std::uint8_t* TDIBWriter::RowAddress(int row) {
  if (!pending_) RaiseGIFError("Image has no DIB");
  if (row < 0 || row >= dib_.Height()) RaiseGIFError(kScanLineOutOfRange);
  return dib_.ScanLine(row);
}

void TDIBWriter::WriteBack() {
  if (!pending_) return;
  pending_ = false;
  target_ = std::move(dib_);
}

// ---- import ------------------------------------------------------------------------

namespace {

// Colour to index for 24-bit imports: open addressing over twice the
// largest map, so a picture of 256 colours costs one probe or two a pixel.
class ColourIndexTable {
 public:
  static constexpr int kSlots = 1024;
  // The index of colour (0x00BBGGRR), or -1.
  int Find(std::uint32_t colour, std::size_t& slot) const {
    slot = Hash(colour);
    while (keys_[slot] != 0) {
      if (keys_[slot] == colour + 1) return values_[slot];
      slot = (slot + 1) & (kSlots - 1);
    }
    return -1;
  }
  void Insert(std::size_t slot, std::uint32_t colour, int index) {
    keys_[slot] = colour + 1;
    values_[slot] = static_cast<std::uint8_t>(index);
  }

 private:
  static std::size_t Hash(std::uint32_t colour) { return (colour * 2654435761u) >> 22; }
  std::array<std::uint32_t, kSlots> keys_{};
  std::array<std::uint8_t, kSlots> values_{};
};

// The mask of a 32-bit picture that carries alpha (icons and the like):
// pixels less than half opaque are transparent. Pictures without alpha hold
// 0 in every fourth byte and have none.
std::optional<platform::Bitmap> AlphaMask(const platform::Bitmap& source) {
  if (source.GetPixelFormat() != platform::PixelFormat::Bit32) return std::nullopt;
  bool anyClear = false;
  bool anyAlpha = false;
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      anyClear = anyClear || row[x * 4 + 3] < 128;
      anyAlpha = anyAlpha || row[x * 4 + 3] != 0;
    }
  }
  if (!anyClear || !anyAlpha) return std::nullopt;
  platform::Bitmap mask(source.Width(), source.Height(), platform::PixelFormat::Bit8);
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    std::uint8_t* out = mask.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) out[x] = row[x * 4 + 3] < 128 ? 1 : 0;
  }
  return mask;
}

}  // namespace

void TGIFSubImage::Assign(const platform::Graphic& source) {
  if (const auto* bitmap = dynamic_cast<const platform::Bitmap*>(&source)) {
    ImportBitmap(*bitmap);
    return;
  }
  ClearFrame();
  if (source.Empty()) return;
  // Pictures that convert themselves to a bitmap do so; the others draw
  // themselves on one.
  platform::Bitmap bitmap;
  try {
    bitmap.Assign(source);
  } catch (const platform::GraphicError&) {
    RenderGraphic(bitmap, const_cast<platform::Graphic&>(source));
  }
  ImportBitmap(bitmap);
}

void TGIFSubImage::ImportBitmap(const platform::Bitmap& source) {
  ClearFrame();
  if (source.Empty()) return;
  if (source.Width() > 0xFFFF || source.Height() > 0xFFFF) RaiseGIFError(msg::kBadDimensions);
  TGIFImage* image = ownerImage_;
  auto progress = [&](platform::ProgressStage stage, int percent) {
    if (image) image->Progress(stage, percent, false, platform::Rect{}, kConverting);
  };
  bool started = false;
  try {
    SetFrameBounds(Left(), Top(), source.Width(), source.Height());
    const int bits = source.BitsPerPixel();
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    // The reduced copy is only read here; the frame's bitmap is made again
    // from the pixels when it is drawn, so it always shows them.
    std::optional<platform::Bitmap> reduced;
    if (!indexed) {
      const auto method = static_cast<ColorReduction>(image ? image->ReductionMethod
                                                            : static_cast<std::uint8_t>(kDefaultColorReduction));
      const auto dither = static_cast<DitherMode>(image ? image->DitherKind
                                                        : static_cast<std::uint8_t>(kDefaultDitherMode));
      const int depth = image ? image->ReductionDepth : kDefaultReductionBits;
      reduced.emplace(ReduceBitmapColours(source, method, dither, nullptr, depth));
    }
    const platform::Bitmap& from = reduced ? *reduced : source;
    NewPixels();
    progress(platform::ProgressStage::Starting, 0);
    started = true;
    const int w = Width();
    const int h = Height();
    const int fromBits = from.BitsPerPixel();
    const platform::PixelFormat format = (fromBits == 1 || fromBits == 4 || fromBits == 8)
                                             ? from.GetPixelFormat()
                                             : platform::PixelFormat::Bit24;
    TDIBReader reader(from, format);
    ColourIndexTable table;
    int highest = -1;  // the largest index an indexed row holds
    for (int y = 0; y < h; ++y) {
      if (y % 32 == 0) progress(platform::ProgressStage::Running, MulDiv(y, 100, h));
      const std::uint8_t* row = reader.RowAddress(y);
      std::uint8_t* out = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      switch (format) {
        case platform::PixelFormat::Bit8:
          std::memcpy(out, row, static_cast<std::size_t>(w));
          for (int x = 0; x < w; ++x) highest = std::max<int>(highest, out[x]);
          break;
        case platform::PixelFormat::Bit4:
          for (int x = 0; x < w; ++x) {
            out[x] = static_cast<std::uint8_t>((x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F));
            highest = std::max<int>(highest, out[x]);
          }
          break;
        case platform::PixelFormat::Bit1:
          for (int x = 0; x < w; ++x) {
            out[x] = static_cast<std::uint8_t>((row[x / 8] >> (7 - x % 8)) & 1);
            highest = std::max<int>(highest, out[x]);
          }
          break;
        default: {
          std::uint32_t last = 0xFFFFFFFF;
          std::uint8_t lastIndex = 0;
          for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
            const std::uint32_t colour = platform::RGBColor(p[2], p[1], p[0]);
            if (colour != last) {
              std::size_t slot;
              int index = table.Find(colour, slot);
              if (index < 0) {
                index = localMap_->AddColour(colour);  // "Color table overflow" past 256
                table.Insert(slot, colour, index);
              }
              last = colour;
              lastIndex = static_cast<std::uint8_t>(index);
            }
            out[x] = lastIndex;
          }
          break;
        }
      }
    }
    if (format != platform::PixelFormat::Bit24) {
      localMap_->FromPalette(from.GetPalette());
      // The bitmap shows indices past its colour table as black; so does
      // the frame, whose map must hold every index its pixels use.
      while (localMap_->EntryCount() <= highest) localMap_->AddColour(platform::clBlack);
    }
    if (source.Transparent()) {
      ImportMask(source.MaskBitmap());
    } else if (std::optional<platform::Bitmap> alphaMask = AlphaMask(source)) {
      ImportMask(*alphaMask);
    }
    FreeFrameBitmap();
    FreeMask();
  } catch (...) {
    // A frame half made from a picture is no use to anyone.
    ClearFrame();
    if (started) progress(platform::ProgressStage::Ending, 0);
    throw;
  }
  progress(platform::ProgressStage::Ending, 100);
}

void TGIFSubImage::ImportMask(const platform::Bitmap& mask) {
  if (FrameEmpty()) return;
  if (mask.Width() != Width() || mask.Height() != Height()) RaiseGIFError(msg::kBadDimensions);
  localMap_->Optimise();
  const int count = localMap_->EntryCount();
  if (count < 1 || count > 255) return;
  const int index = localMap_->AddColour(platform::clBlack);
  TDIBReader reader(mask, platform::PixelFormat::Bit8);
  bool any = false;
  const int w = Width();
  for (int y = 0; y < Height(); ++y) {
    const std::uint8_t* m = reader.RowAddress(y);
    std::uint8_t* out = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    for (int x = 0; x < w; ++x)
      if (m[x] != 0) {
        out[x] = static_cast<std::uint8_t>(index);
        any = true;
      }
  }
  if (!any) {
    localMap_->DeleteEntry(index);
    return;
  }
  auto control = std::make_unique<TGIFGraphicControlExtension>(this);
  TGIFGraphicControlExtension* ext = control.get();
  extensions_->AddItem(control.release());
  ext->SetTransparency(true);
  ext->SetTransparentIndex(index);
  FreeFrameBitmap();
  FreeMask();
}

void RenderGraphic(platform::Bitmap& bitmap, platform::Graphic& graphic) {
  bitmap = platform::Bitmap(graphic.Width(), graphic.Height(), platform::PixelFormat::Bit24);
  bitmap.GetCanvas().Draw(0, 0, graphic);
}

}  // namespace gif

#pragma once
// GIF pictures (87a and 89a) held as a tree of objects that mirrors the
// stream: the image owns a header (logical screen and global colour map) and
// a list of frames; each frame owns its image descriptor, local colour map,
// extensions and pixels (one colour index per byte, rows top to bottom).
// Every item and list reads and writes its own bytes.
//
// Errors are GIFException with the messages below. Problems that do not stop
// reading are warnings, passed to the owning image's WarningEvent with the
// object that found them as sender; reading then goes on.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture-codecs/gif/colour_types.h"
#include "platform/bitmap.h"
#include "platform/graphic.h"
#include "platform/stream.h"

namespace gif {

using platform::Stream;

// The messages of the codec, as users and callers see them.
namespace msg {
inline constexpr const char* kPrematureEnd = "Premature end of data";
inline constexpr const char* kBadSignature = "Invalid GIF signature";
inline constexpr const char* kBadVersion = "Unsupported GIF version";
inline constexpr const char* kUnknownBlock = "Unknown GIF block type";
inline constexpr const char* kBadTrailer = "Invalid Image trailer";
inline constexpr const char* kBadIntroducer = "Invalid extension introducer";
inline constexpr const char* kUnknownExtension = "Unknown extension type";
inline constexpr const char* kExtensionMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* kBadAppBlockSize = "Unsupported Application Extension block size";
inline constexpr const char* kBadData = "Invalid GIF data";
inline constexpr const char* kBadColourIndex = "Invalid color index";
inline constexpr const char* kTableOverflow = "Color table overflow";
inline constexpr const char* kTableEmpty = "Color table is empty";
inline constexpr const char* kWidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* kHeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* kExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* kBadCoordinates = "Invalid pixel coordinates";
inline constexpr const char* kImageEmpty = "Image is empty";
inline constexpr const char* kNoColourTable = "No global or local color table defined";
inline constexpr const char* kNotSupported = "Object type not supported for operation";
inline constexpr const char* kClipboardFailed = "Failed to store GIF on clipboard";
inline constexpr const char* kUnderrun = "Decoder bit buffer under-run";
inline constexpr const char* kCircular = "Circular decoder table entry";
inline constexpr const char* kColourNotInTable = "Color not in color table";
inline constexpr const char* kBadDimensions = "Invalid image dimensions";
inline constexpr const char* kScreenTooLarge = "Logical screen too large to show";
inline constexpr const char* kFramesTooLarge = "Image too large: its frames hold more pixels than can be loaded";
inline constexpr const char* kBadStreamOp = "Invalid stream operation";
inline constexpr const char* kLoading = "Loading...";
inline constexpr const char* kSaving = "Saving...";
inline constexpr const char* kRendering = "Rendering...";
inline constexpr const char* kCopying = "Copying...";
}  // namespace msg

// Version codes: what an item needs, and what a stream is written as.
enum GIFVersion : int { kVersionNone = 0, kVersion87a = 1, kVersion89a = 2 };

// Bytes of the stream.
inline constexpr std::uint8_t kExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kImageSeparator = 0x2C;
inline constexpr std::uint8_t kTrailer = 0x3B;
inline constexpr std::uint8_t kLabelText = 0x01;
inline constexpr std::uint8_t kLabelGraphicControl = 0xF9;
inline constexpr std::uint8_t kLabelComment = 0xFE;
inline constexpr std::uint8_t kLabelApplication = 0xFF;
inline constexpr int kSeverityWarning = 1;
// The pixel bytes (one per pixel) that the frames of one picture read from a
// stream may hold together: 512 MB, far above any real animation (a
// thousand full frames of 720 x 720), and a bound on what a small damaged or
// hostile file can make us allocate and fill.
inline constexpr std::int64_t kMaxPicturePixelBytes = std::int64_t{1} << 29;

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

// ---- small stream routines shared by the codec ----------------------------

[[noreturn]] void RaiseGIFError(const std::string& message);
void WriteByte(Stream& stream, std::uint8_t value);
// The next byte, or nothing at the end of the stream.
std::optional<std::uint8_t> ReadByte(Stream& stream);
// count bytes, or GIFException "Premature end of data".
void ReadExact(Stream& stream, void* buffer, std::size_t count);
// Each line as sub-blocks of at most 255 bytes (an empty line writes
// nothing), then one terminator 0.
void WriteStringBlocks(Stream& stream, const std::vector<std::string>& lines);
// Every sub-block becomes one line, cut at its first zero byte; stops at the
// terminator or the end of the stream.
void ReadStringBlocks(Stream& stream, std::vector<std::string>& lines);
// Reads sub-blocks up to and including the terminator (or the end of the
// stream) without keeping them.
void SkipSubBlocks(Stream& stream);
// 0 for 0; else the smallest b >= 1 with 2^b >= count.
int BitsForColours(int count);
// Bytes of a row of width pixels at bitsPerPixel, padded to alignment bits.
int RowBytes(int width, int bitsPerPixel, int alignment);
// a * b / c rounded to the nearest integer (c != 0).
int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c);

class TGIFImage;
class TGIFSubImage;
class TGIFPainter;
class PainterClock;
class TGIFHeader;

// Whoever reports a warning (an item, a list or a colour map).
class GIFObject {
 public:
  virtual ~GIFObject() = default;
};

// ---- colour maps -----------------------------------------------------------

// A colour table of up to 256 entries (red, green, blue).
class TGIFColorMap : public GIFObject {
 public:
  static constexpr int kMaxEntries = 256;
  TGIFColorMap() = default;
  ~TGIFColorMap() override = default;  // no notification: the owner is going
  TGIFColorMap(const TGIFColorMap&) = delete;
  TGIFColorMap& operator=(const TGIFColorMap&) = delete;

  static void SplitColour(platform::Color colour, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b);
  static platform::Color JoinColour(int r, int g, int b);

  void ClearEntries();
  void Reserve(int n);
  void ReadEntries(Stream& stream, int n);
  void WriteEntries(Stream& stream) const;
  int EntryBits() const { return BitsForColours(count_); }
  int FindColour(platform::Color colour) const;
  int AddColour(platform::Color colour);
  int AddUniqueColour(platform::Color colour);
  void DeleteEntry(int index);
  platform::Color ColourAt(int index);
  void FromPalette(const platform::Palette& palette);
  void FromQuads(const std::uint8_t* quads, int n);
  platform::Palette MakePalette() const;
  bool SortByUse();
  void Assign(const TGIFColorMap& source);

  int EntryCount() const { return count_; }
  int EntryCapacity() const { return capacity_; }
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted) { sorted_ = sorted; }
  const std::uint8_t* Entries() const { return entries_.data(); }

  // Pairs (use count, entry index) for all 256 values: entry i starts at
  // (0, i); every pixel of value p adds 1 to pair p.
  using Histogram = std::vector<std::pair<std::int64_t, int>>;
  virtual void Warning(int severity, const std::string& message) = 0;
  virtual void CountUse(Histogram& histogram) = 0;
  virtual void RemapPixels(const std::uint8_t table[256]) = 0;
  virtual bool Optimise() = 0;
  virtual void EntriesChanged() = 0;

 protected:
  std::vector<std::uint8_t> entries_;  // capacity_ x 3 bytes
  int count_ = 0;
  int capacity_ = 0;
  bool sorted_ = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* owner) : owner_(owner) {}
  void Warning(int severity, const std::string& message) override;
  void CountUse(Histogram& histogram) override;
  void RemapPixels(const std::uint8_t table[256]) override;
  bool Optimise() override;
  void EntriesChanged() override;
  TGIFHeader* OwnerHeader() const { return owner_; }

 private:
  TGIFHeader* owner_;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* owner) : owner_(owner) {}
  void Warning(int severity, const std::string& message) override;
  void CountUse(Histogram& histogram) override;
  void RemapPixels(const std::uint8_t table[256]) override;
  bool Optimise() override;
  void EntriesChanged() override;
  TGIFSubImage* OwnerFrame() const { return owner_; }

 private:
  TGIFSubImage* owner_;
};

// ---- items and lists ------------------------------------------------------

class TGIFItem : public GIFObject {
 public:
  explicit TGIFItem(TGIFImage* owner) : ownerImage_(owner) {}
  ~TGIFItem() override = default;
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;

  virtual int RequiredVersion() const { return kVersion87a; }
  virtual void Warning(int severity, const std::string& message);
  virtual void SaveToStream(Stream& stream) = 0;
  virtual void LoadFromStream(Stream& stream) = 0;
  void SaveToFileName(const std::string& path);
  void LoadFromFileName(const std::string& path);

  TGIFImage* OwnerImage() const { return ownerImage_; }

 protected:
  friend class TGIFImage;
  TGIFImage* ownerImage_;
};

// An ordered list of items that it owns.
class TGIFList : public GIFObject {
 public:
  explicit TGIFList(TGIFImage* owner) : ownerImage_(owner) {}
  ~TGIFList() override;
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;

  virtual void Warning(int severity, const std::string& message);
  virtual void SaveItems(Stream& stream);
  virtual void LoadItems(Stream& stream, GIFObject* parent) = 0;

  TGIFItem* ItemAt(int index) const;
  int ItemCount() const { return static_cast<int>(items_.size()); }
  int AddItem(TGIFItem* item);  // takes ownership
  void DeleteItem(int index);
  void RemoveItem(TGIFItem* item);  // gives up ownership
  void ClearItems();
  TGIFImage* OwnerImage() const { return ownerImage_; }

 protected:
  friend class TGIFImage;
  std::vector<TGIFItem*> items_;
  TGIFImage* ownerImage_;
};

class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* owner);
  ~TGIFHeader() override;

  void ClearHeader();
  void Assign(const TGIFHeader& source);
  void Assign(const TGIFColorMap& source);
  platform::Color BackgroundColour();
  int GlobalBits() const { return globalMap_->EntryBits(); }
  int GlobalResolution() const { return GlobalBits() - 1; }
  void PackScreenFlags();
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;

  TGIFGlobalColorMap& GlobalMap() { return *globalMap_; }
  const TGIFGlobalColorMap& GlobalMap() const { return *globalMap_; }

  std::uint16_t ScreenWidth = 0;
  std::uint16_t ScreenHeight = 0;
  std::uint8_t ScreenFlags = 0;
  std::uint8_t BackgroundIndex = 0;
  std::uint8_t AspectRatio = 0;

 private:
  std::unique_ptr<TGIFGlobalColorMap> globalMap_;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(Stream& stream) override { WriteByte(stream, kTrailer); }
  void LoadFromStream(Stream& stream) override;
};

// The frames of an image, in stream order.
class TGIFImageList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  TGIFSubImage* Frame(int index) const;
  void LoadItems(Stream& stream, GIFObject* parent) override;
  void SaveItems(Stream& stream) override;
};

// ---- extensions ------------------------------------------------------------

class TGIFExtension;

// A class of extension as the registries know it: how to make one, and how
// it picks a more specific class from the bytes after the label.
struct ExtensionClass {
  const char* name;
  std::function<std::unique_ptr<TGIFExtension>(TGIFSubImage*)> create;
  // Reads on from the stream; answers this class, another, or none.
  std::function<const ExtensionClass*(Stream&)> resolve;
};

class TExtensionList {
 public:
  void RegisterLabel(std::uint8_t label, const ExtensionClass* cls) { entries_.push_back({label, cls}); }
  // Newest registration first.
  const ExtensionClass* FindLabel(std::uint8_t label) const;

 private:
  std::vector<std::pair<std::uint8_t, const ExtensionClass*>> entries_;
};

using AppIdentifier = std::array<std::uint8_t, 11>;
AppIdentifier MakeIdentifier(const char* text);  // 11 characters

class TAppExtensionList {
 public:
  void RegisterIdentifier(const AppIdentifier& id, const ExtensionClass* cls) { entries_.push_back({id, cls}); }
  const ExtensionClass* FindIdentifier(const AppIdentifier& id) const;

 private:
  std::vector<std::pair<AppIdentifier, const ExtensionClass*>> entries_;
};

TExtensionList& ExtensionRegistry();
TAppExtensionList& AppExtensionRegistry();
// Stream just after an introducer: the class for the block, or none. The
// stream is put back where it was.
const ExtensionClass* FindExtensionClass(Stream& stream);

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* frame);
  ~TGIFExtension() override;
  int RequiredVersion() const override { return kVersion89a; }
  virtual std::uint8_t ExtensionLabel() const = 0;
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;
  static std::uint8_t ReadExtensionHeader(Stream& stream);
  TGIFSubImage* OwnerFrame() const { return ownerFrame_; }

 protected:
  friend class TGIFSubImage;
  friend class TGIFImage;
  TGIFSubImage* ownerFrame_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  static const ExtensionClass& Class();
  explicit TGIFGraphicControlExtension(TGIFSubImage* frame);
  ~TGIFGraphicControlExtension() override;
  std::uint8_t ExtensionLabel() const override { return kLabelGraphicControl; }
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;

  bool IsTransparent() const { return (data_[1] & 1) != 0; }
  void SetTransparency(bool on);
  int TransparentIndex() const { return data_[4]; }
  void SetTransparentIndex(int index);
  int DelayTime() const { return data_[2] | (data_[3] << 8); }
  void SetDelayTime(int delay);
  bool WaitsForInput() const { return (data_[1] & 2) != 0; }
  int DisposalMethod() const { return (data_[1] >> 2) & 7; }
  void SetDisposalMethod(int method);
  const std::array<std::uint8_t, 6>& Data() const { return data_; }

 private:
  std::array<std::uint8_t, 6> data_{4, 0, 0, 0, 0, 0};
};

class TGIFTextExtension : public TGIFExtension {
 public:
  static const ExtensionClass& Class();
  explicit TGIFTextExtension(TGIFSubImage* frame);
  std::uint8_t ExtensionLabel() const override { return kLabelText; }
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;
  std::vector<std::string> TextLines;
  std::array<std::uint8_t, 13> Data{};
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  static const ExtensionClass& Class();
  using TGIFExtension::TGIFExtension;
  std::uint8_t ExtensionLabel() const override { return kLabelComment; }
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;
  std::vector<std::string> CommentLines;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  // The label's class: it only resolves; blocks are made as one of the
  // classes below.
  static const ExtensionClass& Class();
  using TGIFExtension::TGIFExtension;
  std::uint8_t ExtensionLabel() const override { return kLabelApplication; }
  void SaveToStream(Stream& stream) override;
  void LoadFromStream(Stream& stream) override;
  virtual void WriteAppData(Stream& stream) = 0;
  virtual void ReadAppData(Stream& stream) = 0;
  AppIdentifier Identifier{};
};

struct TGIFBlock {
  explicit TGIFBlock(std::uint8_t size) : BlockSize(size), BlockData(size, 0) {}
  std::uint8_t BlockSize;
  std::vector<std::uint8_t> BlockData;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  static const ExtensionClass& Class();
  using TGIFApplicationExtension::TGIFApplicationExtension;
  void WriteAppData(Stream& stream) override;
  void ReadAppData(Stream& stream) override;
  std::vector<TGIFBlock> Blocks;
};

// The looping extension ("NETSCAPE2.0", "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  static const ExtensionClass& Class();
  explicit TGIFAppExtNSLoop(TGIFSubImage* frame);
  void WriteAppData(Stream& stream) override;
  void ReadAppData(Stream& stream) override;
  std::uint16_t LoopCount = 0;
  std::uint32_t BufferSize = 0;
};

class TGIFExtensionList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  TGIFExtension* Extension(int index) const { return static_cast<TGIFExtension*>(ItemAt(index)); }
  void LoadItems(Stream& stream, GIFObject* parent) override;
};

// ---- frames ------------------------------------------------------------------

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

// ---- the picture class ----------------------------------------------------

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
  // Encodes first; the file is replaced only when the whole picture is
  // written (temporary file in the same folder, then renamed).
  void SaveToFile(const std::string& path) override;

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
  int PainterPriority = 3;
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

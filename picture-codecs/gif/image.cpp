// The GIF picture class: loading and saving, assignment, palette and size,
// the clipboard, warnings, and the registration with the picture registry.
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/painter.h"
#include "picture-codecs/gif/palettes.h"
#include "picture-codecs/gif/stream_util.h"
#include "platform/canvas.h"
#include "platform/picture.h"

namespace gif {

bool DecodeOnLoad = false;
bool OptimizeOnWrite = false;
bool PaletteDisplay = false;

namespace {

// The MIME type other programs exchange GIF pictures under; the registered
// format carries the same bytes.
constexpr const char* kGifMimeType = "image/gif";
constexpr const char* kClipboardFormatName = "GIF Image";

}  // namespace

TGIFImage::TGIFImage()
    : frames_(std::make_unique<TGIFImageList>(this)), header_(std::make_unique<TGIFHeader>(this)) {
  ClearImage();
}

TGIFImage::~TGIFImage() {
  StopPainters();
  // Frames reach back into the frame list and the header while they go.
  frames_->ClearItems();
}

void TGIFImage::ClearImage() {
  StopPainters();
  frames_->ClearItems();
  header_->GlobalMap().ClearEntries();
  header_->ScreenWidth = 0;
  header_->ScreenHeight = 0;
  header_->PackScreenFlags();
  SetPalette({});
  loadedPixelBytes_ = 0;
}

void TGIFImage::SetScreenSize(int width, int height) {
  header_->ScreenWidth = static_cast<std::uint16_t>(std::clamp(width, 0, 0xFFFF));
  header_->ScreenHeight = static_cast<std::uint16_t>(std::clamp(height, 0, 0xFFFF));
  DropBitmap();
}

void TGIFImage::ChargeLoadedPixels(std::int64_t bytes) {
  if (bytes > kMaxPicturePixelBytes - loadedPixelBytes_) RaiseGIFError(msg::kFramesTooLarge);
  loadedPixelBytes_ += bytes;
}

void TGIFImage::SetWidth(int width) {
  for (int i = 0; i < FrameCount(); ++i)
    if (Frame(i)->Left() + Frame(i)->Width() > width) RaiseGIFError(msg::kWidthTooSmall);
  if (width > 0xFFFF) RaiseGIFError(msg::kBadDimensions);
  if (width == header_->ScreenWidth) return;
  header_->ScreenWidth = static_cast<std::uint16_t>(width);
  DropBitmap();
  Changed();
}

void TGIFImage::SetHeight(int height) {
  for (int i = 0; i < FrameCount(); ++i)
    if (Frame(i)->Top() + Frame(i)->Height() > height) RaiseGIFError(msg::kHeightTooSmall);
  if (height > 0xFFFF) RaiseGIFError(msg::kBadDimensions);
  if (height == header_->ScreenHeight) return;
  header_->ScreenHeight = static_cast<std::uint16_t>(height);
  DropBitmap();
  Changed();
}

int TGIFImage::ImageVersion() const {
  int version = kVersionNone;
  for (int i = 0; i < FrameCount() && version < kVersion89a; ++i) version = std::max(version, Frame(i)->RequiredVersion());
  return version;
}

int TGIFImage::MaxResolution() const {
  int r = header_->GlobalResolution();
  for (int i = 0; i < FrameCount(); ++i) r = std::max(r, Frame(i)->FrameResolution());
  return r;
}

int TGIFImage::MaxBits() const {
  int b = header_->GlobalBits();
  for (int i = 0; i < FrameCount(); ++i) b = std::max(b, Frame(i)->FrameBits());
  return b;
}

bool TGIFImage::UseWebPalette() const {
  return (PaintOptions & dpDither) != 0 && ((PaintOptions & dpAutoDither) == 0 || PaletteDisplay);
}

platform::Palette TGIFImage::GetPalette() const {
  if (inPaletteQuery_) RaiseGIFError(msg::kNoColourTable);
  inPaletteQuery_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{inPaletteQuery_};
  if (cachedBitmap_ && !cachedBitmap_->GetPalette().empty()) return cachedBitmap_->GetPalette();
  if (globalPalette_) return *globalPalette_;
  // Frames decoded to the web palette are shown in it.
  if (UseWebPalette()) {
    globalPalette_ = WebSafePalette();
    return *globalPalette_;
  }
  if (header_->GlobalMap().EntryCount() > 0) {
    globalPalette_ = header_->GlobalMap().MakePalette();
    return *globalPalette_;
  }
  if (FrameCount() > 0) return Frame(0)->FramePalette();
  return {};
}

void TGIFImage::SetPalette(const platform::Palette& palette) {
  const bool same = globalPalette_ ? *globalPalette_ == palette : palette.empty();
  if (same) return;
  if (palette.empty())
    globalPalette_.reset();
  else
    globalPalette_ = palette;
  if (cachedBitmap_ && cachedBitmap_->GetPalette() != palette) {
    DropBitmap();
    SetPaletteModified(true);
    Changed();
  }
}

int TGIFImage::AddFrame(TGIFSubImage* frame) {
  if (!frame) RaiseGIFError(msg::kNotSupported);
  for (int i = 0; i < FrameCount(); ++i)
    if (Frame(i) == frame) return i;
  // A frame belongs to one image: one of another image moves here.
  if (frame->ownerImage_ && frame->ownerImage_ != this) {
    frame->ownerImage_->Frames().RemoveItem(frame);
    frame->ownerImage_->DropBitmap();
  }
  frame->ownerImage_ = this;
  frame->extensions_->ownerImage_ = this;
  for (TGIFItem* item : frame->extensions_->items_) item->ownerImage_ = this;
  const int index = frames_->AddItem(frame);
  DropBitmap();
  Changed();
  return index;
}

int TGIFImage::AddFrame(const platform::Graphic& source) {
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(source);
  return AddFrame(frame.release());
}

int TGIFImage::AddFrame(GIFObject* source) {
  if (auto* frame = dynamic_cast<TGIFSubImage*>(source)) return AddFrame(frame);
  if (const auto* picture = dynamic_cast<const platform::Graphic*>(source)) return AddFrame(*picture);
  RaiseGIFError(msg::kNotSupported);
}

void TGIFImage::WriteData(Stream& stream) {
  if (OptimizeOnWrite)
    Optimize(opCropFrames | opMergeFrames | opCleanup | opSortColourMaps | opReduceColours,
             static_cast<std::uint8_t>(ColorReduction::None));
  platform::Graphic::WriteData(stream);
}

void TGIFImage::Assign(const platform::Graphic& source) {
  if (&source == this) return;
  const auto* other = dynamic_cast<const TGIFImage*>(&source);
  if (!other) {
    AssignPicture(source);
    return;
  }
  ClearImage();
  // The handlers stay this image's own: whoever watches it keeps seeing
  // its progress and warnings.
  Progress(platform::ProgressStage::Starting, 0, false, platform::Rect{}, msg::kCopying);
  try {
    header_->Assign(other->ScreenHeader());
    BackdropColour = other->BackdropColour;
    PaintOptions = other->PaintOptions;
    ReductionMethod = other->ReductionMethod;
    DitherKind = other->DitherKind;
    const int count = other->FrameCount();
    for (int i = 0; i < count; ++i) {
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->Assign(*other->Frame(i));
      AddFrame(frame.release());
      Progress(platform::ProgressStage::Running, MulDiv(i + 1, 100, count), false, platform::Rect{}, msg::kCopying);
    }
  } catch (...) {
    Progress(platform::ProgressStage::Ending, 0, false, platform::Rect{}, msg::kCopying);
    throw;
  }
  Progress(platform::ProgressStage::Ending, 100, false, platform::Rect{}, msg::kCopying);
}

void TGIFImage::AssignTo(platform::Graphic& target) const {
  if (auto* bitmap = dynamic_cast<platform::Bitmap*>(&target)) {
    platform::Bitmap* rendered = const_cast<TGIFImage*>(this)->RenderBitmap();
    if (rendered)
      bitmap->Assign(*rendered);
    else
      bitmap->Assign(platform::Bitmap());
    return;
  }
  platform::Graphic::AssignTo(target);
}

void TGIFImage::LoadFromStream(Stream& stream) {
  Progress(platform::ProgressStage::Starting, 0, false, platform::Rect{}, msg::kLoading);
  ClearImage();
  const std::int64_t start = stream.Position();
  try {
    header_->LoadFromStream(stream);
    frames_->LoadItems(stream, this);
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(stream);
  } catch (...) {
    stream.SetPosition(start);
    Progress(platform::ProgressStage::Ending, 0, true, platform::Rect{}, msg::kLoading);
    throw;
  }
  Progress(platform::ProgressStage::Ending, 100, true, platform::Rect{}, msg::kLoading);
}

void TGIFImage::SaveToStream(Stream& stream) {
  Progress(platform::ProgressStage::Starting, 0, false, platform::Rect{}, msg::kSaving);
  try {
    header_->SaveToStream(stream);
    frames_->SaveItems(stream);
    TGIFTrailer trailer(this);
    trailer.SaveToStream(stream);
  } catch (...) {
    Progress(platform::ProgressStage::Ending, 0, true, platform::Rect{}, msg::kSaving);
    throw;
  }
  Progress(platform::ProgressStage::Ending, 100, true, platform::Rect{}, msg::kSaving);
}

platform::Bitmap* TGIFImage::RenderBitmap() {
  if (FrameCount() == 0) return nullptr;
  if (cachedBitmap_) return cachedBitmap_.get();
  TGIFSubImage* frame = Frame(0);
  if (frame->Left() == 0 && frame->Top() == 0 && frame->Width() == Width() && frame->Height() == Height() &&
      frame->DecodedBitmap()) {
    cachedBitmap_ = std::make_unique<platform::Bitmap>(*frame->DecodedBitmap());
    return cachedBitmap_.get();
  }
  // Frame 0 on the logical screen; the rest of the screen in the first
  // colour of the image's palette.
  auto bitmap = std::make_unique<platform::Bitmap>(Width(), Height(), platform::PixelFormat::Bit24);
  platform::Palette screen;
  try {
    screen = GetPalette();
  } catch (const GIFException&) {
  }
  bitmap->Fill(screen.empty() ? platform::clBlack : screen[0]);
  if (!frame->FrameEmpty()) {
    platform::Palette colours = frame->FramePalette();
    colours.resize(256, platform::clBlack);
    for (int y = 0; y < frame->Height() && frame->Top() + y < Height(); ++y) {
      const std::uint8_t* src = frame->PixelRow(y);
      for (int x = 0; x < frame->Width() && frame->Left() + x < Width(); ++x)
        bitmap->SetPixel(frame->Left() + x, frame->Top() + y, colours[src[x]]);
    }
  }
  cachedBitmap_ = std::move(bitmap);
  return cachedBitmap_.get();
}

void TGIFImage::SaveToClipboardFormat(QMimeData& mime) {
  if (Empty()) return;
  RenderBitmap()->SaveToClipboardFormat(mime);
  platform::MemoryStream stream;
  SaveToStream(stream);
  const QByteArray bytes(reinterpret_cast<const char*>(stream.Bytes().data()),
                         static_cast<qsizetype>(stream.Bytes().size()));
  platform::SetClipboardFormatData(mime, GIFClipboardFormat(), bytes);
  mime.setData(kGifMimeType, bytes);
}

void TGIFImage::LoadFromClipboardFormat(int format, const QMimeData& mime) {
  if (format == GIFClipboardFormat()) {
    QByteArray bytes = platform::ClipboardFormatData(mime, format);
    if (bytes.isEmpty()) bytes = mime.data(kGifMimeType);
    if (bytes.isEmpty()) throw platform::GraphicError("Unsupported clipboard format");
    platform::MemoryStream stream(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    LoadFromStream(stream);
    return;
  }
  if (format == platform::kClipboardBitmap) {
    platform::Bitmap bitmap;
    bitmap.LoadFromClipboardFormat(format, mime);
    Assign(bitmap);
    return;
  }
  throw platform::GraphicError("Unsupported clipboard format");
}

void TGIFImage::Warning(const GIFObject* sender, int severity, const std::string& message) {
  if (warningEvent_) warningEvent_(sender, severity, message);
}

int GIFClipboardFormat() {
  static const int format = platform::RegisterClipboardFormat(kClipboardFormatName);
  return format;
}

void RegisterGIF() {
  platform::RegisterFileFormat<TGIFImage>("GIF", "GIF Image");
  platform::RegisterClipboardFormat<TGIFImage>(GIFClipboardFormat());
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    if (QScreen* screen = app->primaryScreen()) PaletteDisplay = screen->depth() < 9;
  ExtensionRegistry();
  AppExtensionRegistry();
}

void UnregisterGIF() { platform::UnregisterGraphicClass<TGIFImage>(); }

// Any other picture becomes the one frame of the image, imported with the
// image's reduction settings.
void TGIFImage::AssignPicture(const platform::Graphic& source) {
  ClearImage();
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(source);
  if (frame->FrameEmpty()) return;
  AddFrame(frame.release());
}

}  // namespace gif

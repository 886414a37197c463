// The item and list bases, the logical screen header, the block loop that
// reads the frame sequence, and the trailer.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"
#include "platform/safesave.h"

namespace gif {

void TGIFItem::Warning(int severity, const std::string& message) {
  if (ownerImage_) ownerImage_->Warning(this, severity, message);
}

void TGIFItem::SaveToFileName(const std::string& path) {
  platform::SavePictureFileWith(path, [this](Stream& file) { SaveToStream(file); });
}

void TGIFItem::LoadFromFileName(const std::string& path) {
  platform::FileStream file(path, platform::FileStream::Mode::Read);
  LoadFromStream(file);
}

// ---- lists ----------------------------------------------------------------------

TGIFList::~TGIFList() { ClearItems(); }

void TGIFList::Warning(int severity, const std::string& message) {
  if (ownerImage_) ownerImage_->Warning(this, severity, message);
}

void TGIFList::SaveItems(Stream& stream) {
  for (TGIFItem* item : items_) item->SaveToStream(stream);
}

TGIFItem* TGIFList::ItemAt(int index) const {
  if (index < 0 || index >= ItemCount()) throw std::out_of_range("GIF list index out of range");
  return items_[static_cast<std::size_t>(index)];
}

int TGIFList::AddItem(TGIFItem* item) {
  items_.push_back(item);
  return ItemCount() - 1;
}

void TGIFList::DeleteItem(int index) {
  TGIFItem* item = ItemAt(index);
  items_.erase(items_.begin() + index);
  delete item;
}

void TGIFList::RemoveItem(TGIFItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it != items_.end()) items_.erase(it);
}

void TGIFList::ClearItems() {
  while (!items_.empty()) DeleteItem(0);
}

// ---- header ------------------------------------------------------------------------

TGIFHeader::TGIFHeader(TGIFImage* owner) : TGIFItem(owner), globalMap_(std::make_unique<TGIFGlobalColorMap>(this)) {
  ClearHeader();
}

TGIFHeader::~TGIFHeader() = default;

void TGIFHeader::ClearHeader() {
  globalMap_->ClearEntries();
  ScreenWidth = 0;
  ScreenHeight = 0;
  ScreenFlags = 0;
  BackgroundIndex = 0;
  AspectRatio = 0;
}

void TGIFHeader::Assign(const TGIFHeader& source) {
  if (&source == this) return;
  globalMap_->Assign(source.GlobalMap());
  ScreenWidth = source.ScreenWidth;
  ScreenHeight = source.ScreenHeight;
  ScreenFlags = source.ScreenFlags;
  BackgroundIndex = source.BackgroundIndex;
  AspectRatio = source.AspectRatio;
}

void TGIFHeader::Assign(const TGIFColorMap& source) {
  ClearHeader();
  globalMap_->Assign(source);
}

platform::Color TGIFHeader::BackgroundColour() { return globalMap_->ColourAt(BackgroundIndex); }

void TGIFHeader::PackScreenFlags() {
  int resolution = globalMap_->EntryCount() > 0 ? GlobalResolution() : -1;
  if (ownerImage_) {
    for (int i = 0; i < ownerImage_->FrameCount(); ++i) {
      const TGIFSubImage* frame = ownerImage_->Frame(i);
      resolution = std::max(resolution, frame->LocalMap().EntryCount() > 0 ? frame->FrameResolution() : -1);
    }
  }
  std::uint8_t flags = 0;
  if (globalMap_->EntryCount() > 0) {
    flags |= 0x80;
    if (globalMap_->Sorted()) flags |= 0x08;
  }
  flags |= static_cast<std::uint8_t>((resolution * 16) & 0x70);
  flags |= static_cast<std::uint8_t>((GlobalBits() - 1) & 7);
  ScreenFlags = flags;
}

void TGIFHeader::SaveToStream(Stream& stream) {
  const int version = ownerImage_ ? ownerImage_->ImageVersion() : kVersionNone;
  if (version != kVersion87a && version != kVersion89a) RaiseGIFError(msg::kBadVersion);
  PackScreenFlags();
  std::uint8_t bytes[13];
  std::memcpy(bytes, version == kVersion87a ? "GIF87a" : "GIF89a", 6);
  bytes[6] = static_cast<std::uint8_t>(ScreenWidth & 0xFF);
  bytes[7] = static_cast<std::uint8_t>(ScreenWidth >> 8);
  bytes[8] = static_cast<std::uint8_t>(ScreenHeight & 0xFF);
  bytes[9] = static_cast<std::uint8_t>(ScreenHeight >> 8);
  bytes[10] = ScreenFlags;
  bytes[11] = BackgroundIndex;
  bytes[12] = AspectRatio;
  stream.WriteBuffer(bytes, sizeof bytes);
  if (ScreenFlags & 0x80) globalMap_->WriteEntries(stream);
}

namespace {

bool IsSignature(const std::uint8_t* b) {
  return std::toupper(b[0]) == 'G' && std::toupper(b[1]) == 'I' && std::toupper(b[2]) == 'F';
}

}  // namespace

void TGIFHeader::LoadFromStream(Stream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t sig[6];
  ReadExact(stream, sig, 6);
  if (!IsSignature(sig)) {
    // Some writers put four bytes of their own before the signature.
    stream.SetPosition(start + 4);
    ReadExact(stream, sig, 6);
    if (!IsSignature(sig)) RaiseGIFError(msg::kBadSignature);
  }
  std::uint8_t d[7];
  ReadExact(stream, d, 7);
  ScreenWidth = static_cast<std::uint16_t>(d[0] | (d[1] << 8));
  ScreenHeight = static_cast<std::uint16_t>(d[2] | (d[3] << 8));
  ScreenFlags = d[4];
  BackgroundIndex = d[5];
  AspectRatio = d[6];
  if (ScreenFlags & 0x80)
    globalMap_->ReadEntries(stream, 1 << ((ScreenFlags & 7) + 1));
  else
    globalMap_->ClearEntries();
}

// ---- trailer and the block loop ---------------------------------------------------

void TGIFTrailer::LoadFromStream(Stream& stream) {
  const auto b = ReadByte(stream);
  if (b && *b != kTrailer) Warning(kSeverityWarning, msg::kBadTrailer);
}

TGIFSubImage* TGIFImageList::Frame(int index) const { return static_cast<TGIFSubImage*>(ItemAt(index)); }

namespace {

// The next byte that is not 0, or nothing at the end of the stream.
std::optional<std::uint8_t> NextBlockByte(Stream& stream) {
  for (;;) {
    const auto b = ReadByte(stream);
    if (!b || *b != 0) return b;
  }
}

}  // namespace

void TGIFImageList::LoadItems(Stream& stream, GIFObject* parent) {
  auto* image = dynamic_cast<TGIFImage*>(parent);
  if (!image) throw std::bad_cast();
  auto b = NextBlockByte(stream);
  while (b && *b != kTrailer) {
    stream.Seek(-1, platform::SeekOrigin::Current);
    if (*b != kExtensionIntroducer && *b != kImageSeparator) {
      Warning(kSeverityWarning, msg::kUnknownBlock);
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(image);
    frame->LoadFromStream(stream);
    AddItem(frame.release());
    const std::int64_t size = stream.Size();
    image->Progress(platform::ProgressStage::Running, size > 0 ? MulDiv(stream.Position(), 100, size) : 100,
                    DecodeOnLoad, platform::Rect{}, msg::kLoading);
    b = NextBlockByte(stream);
  }
  if (b) stream.Seek(-1, platform::SeekOrigin::Current);
}

void TGIFImageList::SaveItems(Stream& stream) {
  const int count = ItemCount();
  for (int i = 0; i < count; ++i) {
    Frame(i)->SaveToStream(stream);
    if (ownerImage_)
      ownerImage_->Progress(platform::ProgressStage::Running, MulDiv(i + 1, 100, count), false, platform::Rect{},
                            msg::kSaving);
  }
}

}  // namespace gif

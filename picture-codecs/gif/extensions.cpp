// GIF extension blocks and the two registries that pick their classes: one
// by label byte, one by application identifier.
#include <cstring>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

AppIdentifier MakeIdentifier(const char* text) {
  AppIdentifier id{};
  std::memcpy(id.data(), text, std::min<std::size_t>(id.size(), std::strlen(text)));
  return id;
}

const ExtensionClass* TExtensionList::FindLabel(std::uint8_t label) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->first == label) return it->second;
  return nullptr;
}

const ExtensionClass* TAppExtensionList::FindIdentifier(const AppIdentifier& id) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->first == id) return it->second;
  return nullptr;
}

TExtensionList& ExtensionRegistry() {
  static TExtensionList registry = [] {
    TExtensionList r;
    r.RegisterLabel(kLabelText, &TGIFTextExtension::Class());
    r.RegisterLabel(kLabelGraphicControl, &TGIFGraphicControlExtension::Class());
    r.RegisterLabel(kLabelComment, &TGIFCommentExtension::Class());
    r.RegisterLabel(kLabelApplication, &TGIFApplicationExtension::Class());
    return r;
  }();
  return registry;
}

TAppExtensionList& AppExtensionRegistry() {
  static TAppExtensionList registry = [] {
    TAppExtensionList r;
    r.RegisterIdentifier(MakeIdentifier("NETSCAPE2.0"), &TGIFAppExtNSLoop::Class());
    r.RegisterIdentifier(MakeIdentifier("ANIMEXTS1.0"), &TGIFAppExtNSLoop::Class());
    return r;
  }();
  return registry;
}

const ExtensionClass* FindExtensionClass(Stream& stream) {
  const std::int64_t start = stream.Position();
  const auto label = ReadByte(stream);
  const ExtensionClass* cls = label ? ExtensionRegistry().FindLabel(*label) : nullptr;
  while (cls) {
    const ExtensionClass* next = cls->resolve ? cls->resolve(stream) : cls;
    if (next == cls) break;
    cls = next;
  }
  stream.SetPosition(start);
  return cls;
}

// ---- base --------------------------------------------------------------------------

TGIFExtension::TGIFExtension(TGIFSubImage* frame)
    : TGIFItem(frame ? frame->OwnerImage() : nullptr), ownerFrame_(frame) {}

TGIFExtension::~TGIFExtension() {
  if (ownerFrame_) ownerFrame_->Extensions().RemoveItem(this);
}

void TGIFExtension::SaveToStream(Stream& stream) {
  const std::uint8_t header[2] = {kExtensionIntroducer, ExtensionLabel()};
  stream.WriteBuffer(header, 2);
}

std::uint8_t TGIFExtension::ReadExtensionHeader(Stream& stream) {
  std::uint8_t header[2];
  ReadExact(stream, header, 2);
  if (header[0] != kExtensionIntroducer) RaiseGIFError(msg::kBadIntroducer);
  return header[1];
}

void TGIFExtension::LoadFromStream(Stream& stream) {
  if (ReadExtensionHeader(stream) != ExtensionLabel()) RaiseGIFError(msg::kExtensionMismatch);
}

template <class T>
static std::function<std::unique_ptr<TGIFExtension>(TGIFSubImage*)> Maker() {
  return [](TGIFSubImage* frame) { return std::unique_ptr<TGIFExtension>(new T(frame)); };
}

// ---- graphic control ------------------------------------------------------------

const ExtensionClass& TGIFGraphicControlExtension::Class() {
  static const ExtensionClass cls{"TGIFGraphicControlExtension", Maker<TGIFGraphicControlExtension>(), nullptr};
  return cls;
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* frame) : TGIFExtension(frame) {
  if (frame && !frame->control_) frame->control_ = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (ownerFrame_ && ownerFrame_->control_ == this) ownerFrame_->control_ = nullptr;
}

void TGIFGraphicControlExtension::SetTransparency(bool on) {
  data_[1] = static_cast<std::uint8_t>(on ? (data_[1] | 1) : (data_[1] & ~1));
}

void TGIFGraphicControlExtension::SetTransparentIndex(int index) {
  if (ownerFrame_) {
    const TGIFColorMap& map = ownerFrame_->ActiveMap();
    if (map.EntryCount() > 0 && index >= map.EntryCount()) {
      Warning(kSeverityWarning, msg::kBadColourIndex);
      index = 0;
    }
  }
  data_[4] = static_cast<std::uint8_t>(index);
}

void TGIFGraphicControlExtension::SetDelayTime(int delay) {
  data_[2] = static_cast<std::uint8_t>(delay & 0xFF);
  data_[3] = static_cast<std::uint8_t>((delay >> 8) & 0xFF);
}

void TGIFGraphicControlExtension::SetDisposalMethod(int method) {
  data_[1] = static_cast<std::uint8_t>((data_[1] & 0xE3) | ((method * 4) & 0x1C));
}

void TGIFGraphicControlExtension::SaveToStream(Stream& stream) {
  TGIFExtension::SaveToStream(stream);
  stream.WriteBuffer(data_.data(), data_.size());
}

void TGIFGraphicControlExtension::LoadFromStream(Stream& stream) {
  TGIFExtension::LoadFromStream(stream);
  std::array<std::uint8_t, 6> bytes{};
  if (stream.Read(bytes.data(), bytes.size()) != bytes.size()) {
    Warning(kSeverityWarning, msg::kPrematureEnd);
    return;
  }
  data_ = bytes;
}

// ---- plain text and comment ----------------------------------------------------

const ExtensionClass& TGIFTextExtension::Class() {
  static const ExtensionClass cls{"TGIFTextExtension", Maker<TGIFTextExtension>(), nullptr};
  return cls;
}

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* frame) : TGIFExtension(frame) { Data[0] = 12; }

void TGIFTextExtension::SaveToStream(Stream& stream) {
  TGIFExtension::SaveToStream(stream);
  stream.WriteBuffer(Data.data(), Data.size());
  WriteStringBlocks(stream, TextLines);
}

void TGIFTextExtension::LoadFromStream(Stream& stream) {
  TGIFExtension::LoadFromStream(stream);
  ReadExact(stream, Data.data(), Data.size());
  ReadStringBlocks(stream, TextLines);
}

const ExtensionClass& TGIFCommentExtension::Class() {
  static const ExtensionClass cls{"TGIFCommentExtension", Maker<TGIFCommentExtension>(), nullptr};
  return cls;
}

void TGIFCommentExtension::SaveToStream(Stream& stream) {
  TGIFExtension::SaveToStream(stream);
  WriteStringBlocks(stream, CommentLines);
}

void TGIFCommentExtension::LoadFromStream(Stream& stream) {
  TGIFExtension::LoadFromStream(stream);
  ReadStringBlocks(stream, CommentLines);
}

// ---- application extensions ------------------------------------------------------

// Identifier size as written, and the short form some writers used.
constexpr std::uint8_t kAppBlockSize = 11;
constexpr std::uint8_t kShortAppBlockSize = 10;

const ExtensionClass& TGIFApplicationExtension::Class() {
  // Stream after the label. Every block becomes a concrete class: blocks of
  // 11 bytes or more by their first 11 identifier bytes, all others (and
  // identifiers nobody registered) as unknown data, whose reading refuses
  // sizes below 10.
  static const ExtensionClass cls{
      "TGIFApplicationExtension", nullptr, [](Stream& stream) -> const ExtensionClass* {
        const auto size = ReadByte(stream);
        if (!size) return nullptr;
        if (*size == kShortAppBlockSize) {
          std::uint8_t id[kShortAppBlockSize];
          if (stream.Read(id, sizeof id) != sizeof id) return nullptr;
          return &TGIFUnknownAppExtension::Class();
        }
        if (*size > kAppBlockSize - 1) {
          AppIdentifier id{};
          if (stream.Read(id.data(), id.size()) != id.size()) return &TGIFUnknownAppExtension::Class();
          const ExtensionClass* found = AppExtensionRegistry().FindIdentifier(id);
          return found ? found : &TGIFUnknownAppExtension::Class();
        }
        return &TGIFUnknownAppExtension::Class();
      }};
  return cls;
}

void TGIFApplicationExtension::SaveToStream(Stream& stream) {
  TGIFExtension::SaveToStream(stream);
  WriteByte(stream, kAppBlockSize);
  stream.WriteBuffer(Identifier.data(), Identifier.size());
  WriteAppData(stream);
}

void TGIFApplicationExtension::LoadFromStream(Stream& stream) {
  TGIFExtension::LoadFromStream(stream);
  std::uint8_t size;
  ReadExact(stream, &size, 1);
  if (size < kShortAppBlockSize) RaiseGIFError(msg::kBadAppBlockSize);
  Identifier.fill(0);
  // A short block holds 10 identifier bytes; the eleventh stays 0. Bytes
  // beyond the eleventh of a longer block are not kept.
  ReadExact(stream, Identifier.data(), size == kShortAppBlockSize ? kShortAppBlockSize : kAppBlockSize);
  if (size > kAppBlockSize) {
    const std::int64_t extra = size - kAppBlockSize;
    if (stream.Remaining() < extra) RaiseGIFError(msg::kPrematureEnd);
    stream.Seek(extra, platform::SeekOrigin::Current);
  }
  ReadAppData(stream);
}

const ExtensionClass& TGIFUnknownAppExtension::Class() {
  static const ExtensionClass cls{"TGIFUnknownAppExtension", Maker<TGIFUnknownAppExtension>(),
                                  [](Stream&) { return &TGIFUnknownAppExtension::Class(); }};
  return cls;
}

void TGIFUnknownAppExtension::WriteAppData(Stream& stream) {
  for (const TGIFBlock& block : Blocks) {
    WriteByte(stream, block.BlockSize);
    stream.WriteBuffer(block.BlockData.data(), block.BlockData.size());
  }
  WriteByte(stream, 0);
}

void TGIFUnknownAppExtension::ReadAppData(Stream& stream) {
  Blocks.clear();
  for (;;) {
    const auto size = ReadByte(stream);
    if (!size || *size == 0) return;
    TGIFBlock block(*size);
    ReadExact(stream, block.BlockData.data(), block.BlockData.size());
    Blocks.push_back(std::move(block));
  }
}

const ExtensionClass& TGIFAppExtNSLoop::Class() {
  static const ExtensionClass cls{"TGIFAppExtNSLoop", Maker<TGIFAppExtNSLoop>(),
                                  [](Stream&) { return &TGIFAppExtNSLoop::Class(); }};
  return cls;
}

// Sub-block ids of the looping extension (the low three bits count).
constexpr int kLoopId = 1;
constexpr int kBufferId = 2;

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
  Identifier = MakeIdentifier("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::WriteAppData(Stream& stream) {
  const std::uint8_t loop[4] = {3, kLoopId, static_cast<std::uint8_t>(LoopCount & 0xFF),
                                static_cast<std::uint8_t>(LoopCount >> 8)};
  stream.WriteBuffer(loop, sizeof loop);
  if (BufferSize != 0) {
    const std::uint8_t buffer[6] = {5,
                                    kBufferId,
                                    static_cast<std::uint8_t>(BufferSize & 0xFF),
                                    static_cast<std::uint8_t>((BufferSize >> 8) & 0xFF),
                                    static_cast<std::uint8_t>((BufferSize >> 16) & 0xFF),
                                    static_cast<std::uint8_t>(BufferSize >> 24)};
    stream.WriteBuffer(buffer, sizeof buffer);
  }
  WriteByte(stream, 0);
}

void TGIFAppExtNSLoop::ReadAppData(Stream& stream) {
  for (;;) {
    const auto size = ReadByte(stream);
    if (!size || *size == 0) return;
    std::uint8_t block[255];
    ReadExact(stream, block, *size);
    switch (block[0] & 7) {
      case kLoopId:
        if (*size < 3) RaiseGIFError(msg::kBadData);
        LoopCount = static_cast<std::uint16_t>(block[1] | (block[2] << 8));
        break;
      case kBufferId:
        if (*size < 5) RaiseGIFError(msg::kBadData);
        BufferSize = static_cast<std::uint32_t>(block[1]) | (static_cast<std::uint32_t>(block[2]) << 8) |
                     (static_cast<std::uint32_t>(block[3]) << 16) | (static_cast<std::uint32_t>(block[4]) << 24);
        break;
      default:
        break;
    }
  }
}

// ---- a frame's extensions ----------------------------------------------------------

void TGIFExtensionList::LoadItems(Stream& stream, GIFObject* parent) {
  auto* frame = dynamic_cast<TGIFSubImage*>(parent);
  if (!frame) throw std::bad_cast();
  auto b = ReadByte(stream);
  if (!b) return;
  while (*b != kImageSeparator && *b != kTrailer) {
    if (*b != kExtensionIntroducer) {
      Warning(kSeverityWarning, msg::kBadIntroducer);
      break;
    }
    const ExtensionClass* cls = FindExtensionClass(stream);
    if (!cls || !cls->create) {
      // A block nobody knows: its sub-blocks are passed over and the frame
      // reads on.
      Warning(kSeverityWarning, msg::kUnknownExtension);
      ReadByte(stream);  // the label
      SkipSubBlocks(stream);
    } else {
      stream.Seek(-1, platform::SeekOrigin::Current);
      std::unique_ptr<TGIFExtension> extension = cls->create(frame);
      extension->LoadFromStream(stream);
      AddItem(extension.release());
    }
    b = ReadByte(stream);
    if (!b) return;
  }
  stream.Seek(-1, platform::SeekOrigin::Current);
}

}  // namespace gif

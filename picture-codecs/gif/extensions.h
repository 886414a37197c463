#pragma once
// The extensions of a frame (89a): graphic control, plain text, comment and
// application blocks, the registries that pick a class for a block read from
// a stream, and a frame's list of them (extensions.cpp).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "picture-codecs/gif/items.h"
#include "platform/stream.h"

namespace gif {

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


}  // namespace gif

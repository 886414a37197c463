#pragma once
// GIF pictures (87a and 89a) are held as a tree of objects that mirrors the
// stream: the image owns a header (logical screen and global colour map) and
// a list of frames; each frame owns its image descriptor, local colour map,
// extensions and pixels (one colour index per byte, rows top to bottom).
// Errors are GIFException with the messages of stream_util.h.
//
// The items of a GIF stream and what they share: the owner of warnings, the
// colour maps, the item and list base classes, the header (logical screen
// and global colour map) and the trailer (items.cpp, colormap.cpp).
// Every item and list reads and writes its own bytes.
//
// Problems that do not stop reading are warnings, passed to the owning
// image's WarningEvent with the object that found them as sender; reading
// then goes on.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "picture-codecs/gif/stream_util.h"
#include "platform/graphic.h"
#include "platform/stream.h"

namespace gif {

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
// The pixel bytes (one per pixel) that the frames of one picture read from a
// stream may hold together: 1 GiB, far above any real animation (a
// thousand full frames of 1024 x 1024), and a bound on what a small damaged
// or hostile file can make us allocate and fill.
inline constexpr std::int64_t kMaxPicturePixelBytes = std::int64_t{1} << 30;

class TGIFImage;
class TGIFSubImage;
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

}  // namespace gif

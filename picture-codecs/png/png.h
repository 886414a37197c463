#pragma once
// PNG pictures. TPNGImage is a bitmap whose file is held beside the pixels as
// an ordered list of chunk objects: loading reads the chunks and lets each act
// on the bitmap; saving brings the list in line with the bitmap and lets each
// chunk write itself.
//
// Pixel formats after a load: 1-bit samples give 1 bit per pixel; 2- and 4-bit
// samples 4 bits (2-bit samples widened to 0, 5, 10, 15); 8- and 16-bit grey
// or palette samples 8 bits (the high byte of 16); colour 24 bits. Alpha never
// reaches the bitmap. A gAMA chunk before the image data passes every colour
// through its gamma table; saving passes them back through the inverse table.
//
// Errors are EPNGImageException ("Portable Network Graphics format handler
// error", an empty line and the text); damaged compressed data raises
// EZDecompressionError with zlib's text. A failed load leaves the picture as
// it was, except that image data that breaks off or is damaged leaves the rows
// decoded so far (the rest zero) before the error is raised. Only the rows
// of the picture are read from the image data: more data, bytes after the
// zlib stream or a stream without its checksum are not errors.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "picture-codecs/png/zstream.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace codecs {

class EPNGImageException : public platform::GraphicError {
 public:
  explicit EPNGImageException(const std::string& text);
  // The error text alone, without the handler's heading.
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// The error texts.
namespace png_text {
inline constexpr const char* kInvalidHeader = "Invalid Portable Graphics Network image, it has an invalid file header.";
inline constexpr const char* kUnknownCritical =
    "The currently being loaded image contains critical(s) chunk(s) not reconized by the decoder.";
inline constexpr const char* kCorrupted = "Can't read the PNG image, it has corrupted data. ";
inline constexpr const char* kNoIHDR =
    "This PNG image is invalid, the IHDR chunk is either not present or it isn't the first chunk.";
inline constexpr const char* kNoData = "The current image being loaded has no data and could not be loaded.";
inline constexpr const char* kChunkIndex = "The chunk index especified is out of the range.";
inline constexpr const char* kChunkNotInList =
    "The especified chunk is not inside the chunk list containing the method being used. The funcion could not be "
    "completed.";
inline constexpr const char* kClassIndex = "The chunk class index especified is  out of range.";
inline constexpr const char* kUnknownColorType = "Could not read the image because it has an unknown color type.";
inline constexpr const char* kUnknownInterlace = "The image has an unknown interlace method.";
inline constexpr const char* kUnknownFilter =
    "The image could not be loaded because it uses an unknown set of filter types.";
inline constexpr const char* kNoPalette = "The current image requeries a palette but it is not avaliable.";
inline constexpr const char* kInvalidPalette = "The current image being loaded has an invalid palette!";
// Texts of checks that protect the reader and the files it writes.
inline constexpr const char* kInvalidIHDR = "The IHDR chunk of this PNG image is damaged.";
inline constexpr const char* kInvalidSize = "The image has an invalid width or height.";
inline constexpr const char* kTooLarge = "The image is too large to be loaded.";
inline constexpr const char* kInvalidDepth = "The image has a bit depth that does not fit its color type.";
inline constexpr const char* kShortData = "The image data ends before the last row of the image.";
inline constexpr const char* kEmptySave = "An image of width or height 0 cannot be saved.";
}  // namespace png_text

using TChunkType = std::array<std::uint8_t, 4>;
TChunkType ChunkTypeOf(const char (&name)[5]);
std::string ChunkTypeName(const TChunkType& type);
// Bit 5 of the first byte clear: a reader must understand the chunk.
inline bool IsCritical(const TChunkType& type) { return (type[0] & 0x20) == 0; }
// Bit 5 of the fourth byte set: the chunk stays valid when the pixels change.
inline bool IsSafeToCopy(const TChunkType& type) { return (type[3] & 0x20) != 0; }

// CRC-32 of the PNG format over bytes, continuing from crc (start with 0).
std::uint32_t UpdateCRC(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count);

class TChunk;
class TChunkList;
class TChunkIHDR;
class TChunkGAMA;
class TPNGImage;

// A chunk class as the registry holds it: its exact type and how to make one.
class TChunkClass {
 public:
  template <class T>
  static TChunkClass Of() {
    return TChunkClass(typeid(T), [](TChunkList* owner) -> std::unique_ptr<TChunk> { return std::make_unique<T>(owner); });
  }
  std::type_index Type() const { return type_; }
  std::unique_ptr<TChunk> Create(TChunkList* owner) const { return create_(owner); }
  friend bool operator==(const TChunkClass& a, const TChunkClass& b) { return a.type_ == b.type_; }

 private:
  using Factory = std::unique_ptr<TChunk> (*)(TChunkList*);
  TChunkClass(std::type_index type, Factory create) : type_(type), create_(create) {}
  std::type_index type_;
  Factory create_;
};

class TChunk {
 public:
  explicit TChunk(TChunkList* owner);
  virtual ~TChunk() = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  // Runs once for every chunk after a file was read, in list order.
  virtual void Apply() {}
  // Takes the source's data and type.
  virtual void AssignChunk(const TChunk& source);
  // Writes length, type, data and CRC.
  virtual void WriteChunk(platform::Stream& stream);

  TPNGImage& Image() const;
  // Chunk 0 of the owner's list, which must be the header.
  TChunkIHDR& Header() const;
  // The gAMA chunk whose tables the picture's colours go through (none when
  // there is none or its value is 0).
  TChunkGAMA* GammaChunk() const;

  TChunkList* Owner;
  platform::MemoryStream Data;
  TChunkType ChunkType{};

 protected:
  TChunk(TChunkList* owner, std::type_index exactClass);
  void WriteRaw(platform::Stream& stream);
};

class TChunkIHDR : public TChunk {
 public:
  static constexpr std::size_t kSize = 13;
  enum Field { kBitDepth = 0, kColorType = 1, kCompression = 2, kFilter = 3, kInterlace = 4 };
  explicit TChunkIHDR(TChunkList* owner);

  std::uint32_t Width() const;
  std::uint32_t Height() const;
  // Stores the value and, when it differs from the picture's, resizes it.
  void SetWidth(std::uint32_t value);
  void SetHeight(std::uint32_t value);
  int GetValue(int index) const;
  void SetValue(int index, int value);
  int BitDepth() const { return GetValue(kBitDepth); }
  int ColorType() const { return GetValue(kColorType); }
  int Interlace() const { return GetValue(kInterlace); }

  void WriteChunk(platform::Stream& stream) override;

 private:
  std::uint32_t Get32(std::size_t at) const;
  void Set32(std::size_t at, std::uint32_t value);
};

class TChunkIDAT : public TChunk {
 public:
  explicit TChunkIDAT(TChunkList* owner) : TChunk(owner, typeid(TChunkIDAT)) {}
  // Decodes the data into the picture.
  void Apply() override;
  // Encodes the picture into the data, then writes the chunk.
  void WriteChunk(platform::Stream& stream) override;
};

class TChunkPLTE : public TChunk {
 public:
  explicit TChunkPLTE(TChunkList* owner) : TChunk(owner, typeid(TChunkPLTE)) {}
  // A picture whose palette is this chunk's loses it with the chunk.
  ~TChunkPLTE() override;
  void WriteChunk(platform::Stream& stream) override;
  // Made from the data when the image data is decoded.
  std::optional<platform::Palette> Palette;
};

class TChunkIEND : public TChunk {
 public:
  explicit TChunkIEND(TChunkList* owner) : TChunk(owner, typeid(TChunkIEND)) {}
};

class TChunkGAMA : public TChunk {
 public:
  explicit TChunkGAMA(TChunkList* owner);
  // Gamma times 100000 (0 when the data is not 4 bytes).
  std::uint32_t Value() const;
  void SetValue(std::uint32_t value);
  // Builds both tables.
  void Apply() override;
  void AssignChunk(const TChunk& source) override;
  // A value of 0 means no gamma: nothing is written then.
  void WriteChunk(platform::Stream& stream) override;
  std::array<std::uint8_t, 256> GammaTable{};
  std::array<std::uint8_t, 256> InverseTable{};
};

class TChunkTEXT : public TChunk {
 public:
  explicit TChunkTEXT(TChunkList* owner);
};

class TChunkTRNS : public TChunk {
 public:
  explicit TChunkTRNS(TChunkList* owner) : TChunk(owner, typeid(TChunkTRNS)) {}
  // True colour: 00 R 00 G 00 B of the transparent colour; other pictures:
  // nothing.
  void WriteChunk(platform::Stream& stream) override;
};

// The registry of chunk types.
class TChunkClasses {
 public:
  struct Entry {
    TChunkType type;
    TChunkClass cls;
  };
  // Appends an entry (doubles are not checked).
  void Register(const TChunkType& type, const TChunkClass& cls);
  int Count() const { return static_cast<int>(entries_.size()); }
  const Entry& Get(int index) const;
  int IndexOfType(const TChunkType& type) const;
  int IndexOfClass(std::type_index cls) const;

 private:
  std::vector<Entry> entries_;
};
// The one registry, with the codec's chunk types registered.
TChunkClasses& ChunkClasses();

class TChunkList {
 public:
  explicit TChunkList(TPNGImage* image) : image_(image) {}
  ~TChunkList() { Clear(); }
  TChunkList(const TChunkList&) = delete;
  TChunkList& operator=(const TChunkList&) = delete;

  int Count() const { return static_cast<int>(chunks_.size()); }
  TChunk& Items(int index) const;
  TChunk& Add(std::unique_ptr<TChunk> chunk);
  TChunk& AddNew(const TChunkClass& cls);
  template <class T>
  T& AddNew() {
    return static_cast<T&>(AddNew(TChunkClass::Of<T>()));
  }
  void Remove(TChunk& chunk);
  void Move(int curIndex, int newIndex);
  int IndexOf(const TChunk& chunk) const;
  int IndexOfClass(std::type_index cls) const;
  template <class T>
  int IndexOfClass() const {
    return IndexOfClass(typeid(T));
  }
  template <class T>
  T* First() const {
    const int i = IndexOfClass<T>();
    return i < 0 ? nullptr : static_cast<T*>(chunks_[static_cast<std::size_t>(i)].get());
  }
  void Clear();
  // Reads one chunk; a further IDAT is joined to the first one, which is
  // returned then.
  TChunk& ReadChunk(platform::Stream& stream);

  TPNGImage& Image() const { return *image_; }
  // Takes over other's chunks (its list is empty then).
  void TakeChunks(TChunkList& other);

 private:
  TPNGImage* image_;
  std::vector<std::unique_ptr<TChunk>> chunks_;
};

// Filter types of a row.
enum TFilterType : std::uint8_t { ftNone = 0, ftSub = 1, ftUp = 2, ftAverage = 3, ftPaeth = 4 };
// A set of filter types: bit n for type n.
using TFilterSet = std::uint8_t;
constexpr TFilterSet FilterBit(TFilterType type) { return static_cast<TFilterSet>(1u << type); }
constexpr TFilterSet kDefaultFilters = FilterBit(ftNone) | FilterBit(ftSub) | FilterBit(ftAverage) | FilterBit(ftPaeth);

class TPNGImage : public platform::Bitmap {
 public:
  TPNGImage();
  ~TPNGImage() override;
  TPNGImage(const TPNGImage&) = delete;
  TPNGImage& operator=(const TPNGImage&) = delete;

  std::string ClassName() const override { return "TPNGImage"; }

  void LoadFromStream(platform::Stream& stream) override;
  void SaveToStream(platform::Stream& stream) override;
  // A PNG picture's chunks and filters come along; every picture's pixels.
  void Assign(const platform::Graphic& source) override;

  TFilterSet Filters() const { return filters_; }
  // None is always added.
  void SetFilters(TFilterSet value);
  // The default chunk list: IHDR (0 by 0), IDAT, IEND; no palette.
  void ResetChunks();

  TChunkList& Chunks() { return *chunks_; }
  const TChunkList& Chunks() const { return *chunks_; }

  // For the chunks: raise the change notification after a load.
  void NotifyChanged() { Changed(); }

 private:
  std::unique_ptr<TChunkList> chunks_;
  TFilterSet filters_ = kDefaultFilters;
};

// Registers "PNG" with the picture registry.
void RegisterPNG();

}  // namespace codecs

#include "picture-codecs/png/png.h"

#include <algorithm>

#include "picture-codecs/png/png_coding.h"
#include "platform/picture.h"

namespace codecs {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
// Chunk lengths above this are not PNG.
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

std::uint32_t GetBE32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void PutBE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Eight tables for eight bytes per step; the first is the one byte-wise
// table of the format (polynomial EDB88320, reflected).
struct CRCTables {
  std::uint32_t t[8][256];
  CRCTables() {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
      for (std::uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  }
};

const CRCTables& Tables() {
  static const CRCTables tables;
  return tables;
}

bool IsIEND(const TChunk& c) { return dynamic_cast<const TChunkIEND*>(&c) != nullptr; }

template <class T>
bool IsExactly(const TChunk& c) {
  return std::type_index(typeid(c)) == std::type_index(typeid(T));
}

}  // namespace

// --- errors, types, CRC ---

EPNGImageException::EPNGImageException(const std::string& text)
    : platform::GraphicError("Portable Network Graphics format handler error\r\n\r\n" + text), text_(text) {}

TChunkType ChunkTypeOf(const char (&name)[5]) {
  return {static_cast<std::uint8_t>(name[0]), static_cast<std::uint8_t>(name[1]), static_cast<std::uint8_t>(name[2]),
          static_cast<std::uint8_t>(name[3])};
}

std::string ChunkTypeName(const TChunkType& type) { return std::string(type.begin(), type.end()); }

std::uint32_t UpdateCRC(std::uint32_t crc, const std::uint8_t* p, std::size_t count) {
  const auto& t = Tables().t;
  std::uint32_t c = ~crc;
  while (count >= 8) {
    const std::uint32_t lo = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                  std::uint32_t{p[3]} << 24);
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][p[4]] ^
        t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    count -= 8;
  }
  while (count-- > 0) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

// --- registry ---

void TChunkClasses::Register(const TChunkType& type, const TChunkClass& cls) { entries_.push_back({type, cls}); }

const TChunkClasses::Entry& TChunkClasses::Get(int index) const {
  if (index < 0 || index >= Count()) throw EPNGImageException(png_text::kClassIndex);
  return entries_[static_cast<std::size_t>(index)];
}

int TChunkClasses::IndexOfType(const TChunkType& type) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].type == type) return static_cast<int>(i);
  return -1;
}

int TChunkClasses::IndexOfClass(std::type_index cls) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].cls.Type() == cls) return static_cast<int>(i);
  return -1;
}

TChunkClasses& ChunkClasses() {
  static TChunkClasses classes = [] {
    TChunkClasses c;
    c.Register(ChunkTypeOf("IEND"), TChunkClass::Of<TChunkIEND>());
    c.Register(ChunkTypeOf("IHDR"), TChunkClass::Of<TChunkIHDR>());
    c.Register(ChunkTypeOf("gAMA"), TChunkClass::Of<TChunkGAMA>());
    c.Register(ChunkTypeOf("IDAT"), TChunkClass::Of<TChunkIDAT>());
    c.Register(ChunkTypeOf("PLTE"), TChunkClass::Of<TChunkPLTE>());
    c.Register(ChunkTypeOf("tEXt"), TChunkClass::Of<TChunkTEXT>());
    c.Register(ChunkTypeOf("tRNS"), TChunkClass::Of<TChunkTRNS>());
    // Held as read, not interpreted.
    c.Register(ChunkTypeOf("tIME"), TChunkClass::Of<TChunk>());
    return c;
  }();
  return classes;
}

// --- chunks ---

TChunk::TChunk(TChunkList* owner) : TChunk(owner, typeid(TChunk)) {}

TChunk::TChunk(TChunkList* owner, std::type_index exactClass) : Owner(owner) {
  const int i = ChunkClasses().IndexOfClass(exactClass);
  if (i >= 0) ChunkType = ChunkClasses().Get(i).type;
}

void TChunk::AssignChunk(const TChunk& source) {
  Data.Bytes() = source.Data.Bytes();
  Data.SetPosition(0);
  ChunkType = source.ChunkType;
}

void TChunk::WriteRaw(platform::Stream& stream) {
  const std::vector<std::uint8_t>& data = Data.Bytes();
  if (data.size() > kMaxChunkLength) throw EPNGImageException(png_text::kCorrupted);
  std::uint8_t head[8];
  PutBE32(head, static_cast<std::uint32_t>(data.size()));
  std::copy(ChunkType.begin(), ChunkType.end(), head + 4);
  stream.WriteBuffer(head, sizeof head);
  if (!data.empty()) stream.WriteBuffer(data.data(), data.size());
  std::uint8_t crc[4];
  PutBE32(crc, UpdateCRC(UpdateCRC(0, ChunkType.data(), 4), data.data(), data.size()));
  stream.WriteBuffer(crc, sizeof crc);
}

void TChunk::WriteChunk(platform::Stream& stream) { WriteRaw(stream); }

TPNGImage& TChunk::Image() const { return Owner->Image(); }

TChunkIHDR& TChunk::Header() const {
  auto* header = Owner->Count() > 0 ? dynamic_cast<TChunkIHDR*>(&Owner->Items(0)) : nullptr;
  if (!header) throw EPNGImageException(png_text::kNoIHDR);
  return *header;
}

TChunkGAMA* TChunk::GammaChunk() const {
  auto* gamma = Owner->First<TChunkGAMA>();
  return gamma && gamma->Value() != 0 ? gamma : nullptr;
}

// IHDR

TChunkIHDR::TChunkIHDR(TChunkList* owner) : TChunk(owner, typeid(TChunkIHDR)) { Data.Bytes().assign(kSize, 0); }

std::uint32_t TChunkIHDR::Get32(std::size_t at) const {
  const auto& d = Data.Bytes();
  return d.size() >= at + 4 ? GetBE32(d.data() + at) : 0;
}

void TChunkIHDR::Set32(std::size_t at, std::uint32_t value) {
  auto& d = Data.Bytes();
  if (d.size() < kSize) d.resize(kSize, 0);
  PutBE32(d.data() + at, value);
}

std::uint32_t TChunkIHDR::Width() const { return Get32(0); }
std::uint32_t TChunkIHDR::Height() const { return Get32(4); }

void TChunkIHDR::SetWidth(std::uint32_t value) {
  Set32(0, value);
  if (static_cast<std::int64_t>(value) != Image().Width()) Image().SetWidth(static_cast<int>(value));
}

void TChunkIHDR::SetHeight(std::uint32_t value) {
  Set32(4, value);
  if (static_cast<std::int64_t>(value) != Image().Height()) Image().SetHeight(static_cast<int>(value));
}

int TChunkIHDR::GetValue(int index) const {
  const auto& d = Data.Bytes();
  if (index < 0 || index > 4 || d.size() <= static_cast<std::size_t>(8 + index)) return 0;
  return d[static_cast<std::size_t>(8 + index)];
}

void TChunkIHDR::SetValue(int index, int value) {
  if (index < 0 || index > 4) return;
  auto& d = Data.Bytes();
  if (d.size() < kSize) d.resize(kSize, 0);
  d[static_cast<std::size_t>(8 + index)] = static_cast<std::uint8_t>(value);
}

void TChunkIHDR::WriteChunk(platform::Stream& stream) {
  TPNGImage& image = Image();
  Data.Bytes().resize(kSize);
  SetValue(kCompression, 0);
  SetValue(kFilter, 0);
  SetValue(kInterlace, 0);
  switch (image.GetPixelFormat()) {
    case platform::PixelFormat::Bit1: SetValue(kColorType, 3), SetValue(kBitDepth, 1); break;
    case platform::PixelFormat::Bit4: SetValue(kColorType, 3), SetValue(kBitDepth, 4); break;
    case platform::PixelFormat::Bit8: SetValue(kColorType, 3), SetValue(kBitDepth, 8); break;
    default:
      image.SetPixelFormat(platform::PixelFormat::Bit24);
      SetValue(kColorType, 2);
      SetValue(kBitDepth, 8);
      break;
  }
  SetWidth(static_cast<std::uint32_t>(image.Width()));
  SetHeight(static_cast<std::uint32_t>(image.Height()));
  WriteRaw(stream);
}

// PLTE

TChunkPLTE::~TChunkPLTE() {
  if (Palette && Owner && Image().GetPalette() == *Palette) Image().SetPalette({});
}

void TChunkPLTE::WriteChunk(platform::Stream& stream) {
  auto& data = Data.Bytes();
  data.clear();
  // True-colour files carry no palette here, so nothing ever stands between
  // the header and a tRNS chunk that must follow a palette.
  if (Header().ColorType() != 3) return;
  TPNGImage& image = Image();
  const int depth = Header().BitDepth();
  const std::size_t capacity = std::size_t{1} << depth;
  platform::Palette palette = image.GetPalette();
  if (palette.empty()) {
    // A palette picture without colours: a grey ramp, so the file is valid.
    for (std::size_t k = 0; k < capacity; ++k) {
      const int v = static_cast<int>(k * 255 / (capacity - 1));
      palette.push_back(platform::RGBColor(v, v, v));
    }
  }
  if (palette.size() > capacity) palette.resize(capacity);
  if (palette.size() < capacity) {
    // Every index the pixels use needs an entry (missing ones read as black).
    std::size_t used = 0;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) used = std::max(used, static_cast<std::size_t>(image.PixelIndex(x, y)) + 1);
    if (used > palette.size()) palette.resize(used, platform::clBlack);
  }
  const TChunkGAMA* gamma = GammaChunk();
  for (platform::Color c : palette) {
    std::uint8_t rgb[3] = {static_cast<std::uint8_t>(platform::GetRValue(c)),
                           static_cast<std::uint8_t>(platform::GetGValue(c)),
                           static_cast<std::uint8_t>(platform::GetBValue(c))};
    for (std::uint8_t& v : rgb) {
      if (gamma) v = gamma->InverseTable[v];
      data.push_back(v);
    }
  }
  WriteRaw(stream);
}

// gAMA

TChunkGAMA::TChunkGAMA(TChunkList* owner) : TChunk(owner, typeid(TChunkGAMA)) { SetValue(1); }

std::uint32_t TChunkGAMA::Value() const {
  const auto& d = Data.Bytes();
  return d.size() == 4 ? GetBE32(d.data()) : 0;
}

void TChunkGAMA::SetValue(std::uint32_t value) {
  Data.Bytes().assign(4, 0);
  PutBE32(Data.Bytes().data(), value);
}

void TChunkGAMA::Apply() {
  if (Value() != 0) png_coding::BuildGammaTables(Value(), GammaTable.data(), InverseTable.data());
}

void TChunkGAMA::AssignChunk(const TChunk& source) {
  TChunk::AssignChunk(source);
  if (const auto* other = dynamic_cast<const TChunkGAMA*>(&source)) {
    GammaTable = other->GammaTable;
    InverseTable = other->InverseTable;
  }
}

void TChunkGAMA::WriteChunk(platform::Stream& stream) {
  if (Value() != 0) WriteRaw(stream);
}

// tEXt

TChunkTEXT::TChunkTEXT(TChunkList* owner) : TChunk(owner, typeid(TChunkTEXT)) {
  ChunkType = ChunkTypeOf("tEXt");
  Data.Bytes().assign(2, 0);
}

// tRNS

void TChunkTRNS::WriteChunk(platform::Stream& stream) {
  auto& data = Data.Bytes();
  data.clear();
  if (Header().ColorType() != 2) return;
  const platform::Color c = Image().TransparentColor();
  const TChunkGAMA* gamma = GammaChunk();
  for (int v : {platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c)}) {
    data.push_back(0);
    data.push_back(gamma ? gamma->InverseTable[static_cast<std::size_t>(v)] : static_cast<std::uint8_t>(v));
  }
  WriteRaw(stream);
}

// --- chunk list ---

TChunk& TChunkList::Items(int index) const {
  if (index < 0 || index >= Count()) throw EPNGImageException(png_text::kChunkIndex);
  return *chunks_[static_cast<std::size_t>(index)];
}

TChunk& TChunkList::Add(std::unique_ptr<TChunk> chunk) {
  chunk->Owner = this;
  chunks_.push_back(std::move(chunk));
  return *chunks_.back();
}

TChunk& TChunkList::AddNew(const TChunkClass& cls) { return Add(cls.Create(this)); }

void TChunkList::Remove(TChunk& chunk) {
  const int i = IndexOf(chunk);
  if (chunk.Owner != this || i < 0) throw EPNGImageException(png_text::kChunkNotInList);
  std::unique_ptr<TChunk> gone = std::move(chunks_[static_cast<std::size_t>(i)]);
  chunks_.erase(chunks_.begin() + i);
}

void TChunkList::Move(int curIndex, int newIndex) {
  if (curIndex < 0 || curIndex >= Count()) throw EPNGImageException(png_text::kChunkIndex);
  newIndex = std::clamp(newIndex, 0, Count() - 1);
  std::unique_ptr<TChunk> c = std::move(chunks_[static_cast<std::size_t>(curIndex)]);
  chunks_.erase(chunks_.begin() + curIndex);
  chunks_.insert(chunks_.begin() + newIndex, std::move(c));
}

int TChunkList::IndexOf(const TChunk& chunk) const {
  for (std::size_t i = 0; i < chunks_.size(); ++i)
    if (chunks_[i].get() == &chunk) return static_cast<int>(i);
  return -1;
}

int TChunkList::IndexOfClass(std::type_index cls) const {
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    const TChunk& chunk = *chunks_[i];
    if (std::type_index(typeid(chunk)) == cls) return static_cast<int>(i);
  }
  return -1;
}

void TChunkList::Clear() {
  while (!chunks_.empty()) chunks_.pop_back();
}

void TChunkList::TakeChunks(TChunkList& other) {
  Clear();
  chunks_ = std::move(other.chunks_);
  other.chunks_.clear();
  for (auto& c : chunks_) c->Owner = this;
}

TChunk& TChunkList::ReadChunk(platform::Stream& stream) {
  // Length and type, and later the CRC, must be there: a stream that ends
  // inside a chunk is damaged.
  const std::int64_t remaining = stream.Remaining();
  if (remaining < 12) throw EPNGImageException(png_text::kCorrupted);
  std::uint8_t head[8];
  stream.ReadBuffer(head, sizeof head);
  const std::uint32_t length = GetBE32(head);
  if (length > kMaxChunkLength || std::int64_t{length} > remaining - 12)
    throw EPNGImageException(png_text::kCorrupted);
  TChunkType type;
  std::copy(head + 4, head + 8, type.begin());

  const int index = ChunkClasses().IndexOfType(type);
  if (index < 0 && IsCritical(type)) throw EPNGImageException(png_text::kUnknownCritical);
  std::unique_ptr<TChunk> chunk =
      index >= 0 ? ChunkClasses().Get(index).cls.Create(this) : std::make_unique<TChunk>(this);
  chunk->ChunkType = type;
  // The data field is exactly the bytes read; nothing of a constructor's
  // default stays behind them.
  std::vector<std::uint8_t>& data = chunk->Data.Bytes();
  data.resize(length);
  if (length > 0) stream.ReadBuffer(data.data(), length);
  std::uint8_t crcBytes[4];
  stream.ReadBuffer(crcBytes, sizeof crcBytes);
  if (GetBE32(crcBytes) != UpdateCRC(UpdateCRC(0, type.data(), 4), data.data(), data.size()))
    throw EPNGImageException(png_text::kCorrupted);

  if (IsExactly<TChunkIDAT>(*chunk)) {
    if (TChunkIDAT* first = First<TChunkIDAT>()) {
      auto& joined = first->Data.Bytes();
      joined.insert(joined.end(), data.begin(), data.end());
      return *first;
    }
  }
  if (IsExactly<TChunkGAMA>(*chunk) && (First<TChunkIDAT>() || First<TChunkGAMA>())) {
    // Gamma counts only once and only before the image data: a later one
    // would change how a save writes colours that were read without it.
    // It is dropped; the returned chunk is the last one kept.
    return *chunks_.back();
  }
  return Add(std::move(chunk));
}

// --- the picture ---

TPNGImage::TPNGImage() : chunks_(std::make_unique<TChunkList>(this)) {
  SetFilters(kDefaultFilters);
  ResetChunks();
}

TPNGImage::~TPNGImage() {
  // Chunks may reach the picture while they go.
  chunks_->Clear();
}

void TPNGImage::SetFilters(TFilterSet value) { filters_ = static_cast<TFilterSet>((value & 0x1F) | FilterBit(ftNone)); }

void TPNGImage::ResetChunks() {
  chunks_->Clear();
  auto& header = chunks_->AddNew<TChunkIHDR>();
  header.SetWidth(0);
  header.SetHeight(0);
  header.SetValue(TChunkIHDR::kBitDepth, 2);
  header.SetValue(TChunkIHDR::kColorType, 3);
  header.SetValue(TChunkIHDR::kCompression, 0);
  header.SetValue(TChunkIHDR::kFilter, 0);
  header.SetValue(TChunkIHDR::kInterlace, 0);
  SetPalette({});
  chunks_->AddNew<TChunkIDAT>();
  chunks_->AddNew<TChunkIEND>();
}

void TPNGImage::LoadFromStream(platform::Stream& stream) {
  // The file is read and checked in a list of its own: until its image data
  // is decoded, a failure leaves this picture as it was.
  TChunkList list(this);
  std::uint8_t signature[8] = {};
  if (stream.Read(signature, sizeof signature) != sizeof signature ||
      !std::equal(signature, signature + 8, kSignature))
    throw EPNGImageException(png_text::kInvalidHeader);
  for (;;) {
    const TChunk& c = list.ReadChunk(stream);
    if (IsIEND(c) && &c == &list.Items(list.Count() - 1)) break;
    if (stream.Position() >= stream.Size()) break;
  }
  if (list.Count() == 0 || !IsExactly<TChunkIHDR>(list.Items(0)) ||
      list.IndexOfClass<TChunkIHDR>() != 0 || [&] {
        for (int i = 1; i < list.Count(); ++i)
          if (IsExactly<TChunkIHDR>(list.Items(i))) return true;
        return false;
      }())
    throw EPNGImageException(png_text::kNoIHDR);
  if (list.IndexOfClass<TChunkIDAT>() < 0) throw EPNGImageException(png_text::kNoData);
  const png_coding::Layout layout = png_coding::CheckHeader(static_cast<TChunkIHDR&>(list.Items(0)));
  if (layout.colorType == 3) {
    const TChunkPLTE* plte = list.First<TChunkPLTE>();
    if (!plte) throw EPNGImageException(png_text::kNoPalette);
    const std::size_t n = plte->Data.Bytes().size();
    if (n == 0 || n % 3 != 0 || n > 3 * 256) throw EPNGImageException(png_text::kInvalidPalette);
  }

  chunks_->TakeChunks(list);
  for (int i = 0; i < chunks_->Count(); ++i) chunks_->Items(i).Apply();

  // Transparency of true colour and grey pictures: the colour of the tRNS
  // samples as the bitmap holds them.
  if (const TChunkTRNS* trns = chunks_->First<TChunkTRNS>()) {
    const auto& d = trns->Data.Bytes();
    const TChunkGAMA* gamma = trns->GammaChunk();
    const auto through = [&](int v) { return gamma ? gamma->GammaTable[static_cast<std::size_t>(v)] : v; };
    std::optional<platform::Color> colour;
    if (layout.colorType == 2) {
      if (d.size() >= 6) {
        const std::size_t low = layout.depth == 16 ? 0 : 1;
        if (layout.depth == 16 || (d[0] == 0 && d[2] == 0 && d[4] == 0))
          colour = platform::RGBColor(through(d[low]), through(d[2 + low]), through(d[4 + low]));
      } else if (d.size() == 3) {
        // Files written by earlier versions of this codec: one byte each.
        colour = platform::RGBColor(through(d[0]), through(d[1]), through(d[2]));
      }
    } else if (layout.colorType == 0 && d.size() >= 2) {
      const unsigned sample = (unsigned{d[0]} << 8) | d[1];
      const platform::Palette& palette = GetPalette();
      unsigned index = layout.depth == 16 ? sample >> 8 : layout.depth == 2 ? sample * 5 : sample;
      if ((layout.depth == 16 || sample < (1u << layout.depth)) && index < palette.size()) colour = palette[index];
    }
    if (colour) {
      SetTransparentColor(*colour);
      SetTransparent(true);
    }
  }
  NotifyChanged();
}

void TPNGImage::SaveToStream(platform::Stream& stream) {
  if (Empty()) throw EPNGImageException(png_text::kEmptySave);
  TChunkList& list = *chunks_;
  if (list.Count() == 0) ResetChunks();
  if (!IsExactly<TChunkIHDR>(list.Items(0))) {
    list.AddNew<TChunkIHDR>();
    list.Move(list.Count() - 1, 0);
  }
  if (platform::IsIndexed(GetPixelFormat()) && list.IndexOfClass<TChunkPLTE>() < 0) {
    list.AddNew<TChunkPLTE>();
    // After the header and a gamma chunk, which must come before a palette.
    const int gamma = list.IndexOfClass<TChunkGAMA>();
    const int data = list.IndexOfClass<TChunkIDAT>();
    list.Move(list.Count() - 1, gamma > 0 && (data < 0 || gamma < data) ? gamma + 1 : 1);
  }
  if (Transparent()) {
    if (list.IndexOfClass<TChunkTRNS>() < 0) {
      list.AddNew<TChunkTRNS>();
      list.Move(list.Count() - 1, 1);
    }
  } else {
    for (int i; (i = list.IndexOfClass<TChunkTRNS>()) >= 0;) list.Remove(list.Items(i));
  }
  if (list.IndexOfClass<TChunkIEND>() < 0) list.AddNew<TChunkIEND>();
  if (list.IndexOfClass<TChunkIDAT>() < 0) {
    // Before the end, behind every chunk that must precede the image data.
    list.AddNew<TChunkIDAT>();
    list.Move(list.Count() - 1, list.IndexOfClass<TChunkIEND>());
  }
  stream.WriteBuffer(kSignature, sizeof kSignature);
  for (int i = 0; i < list.Count(); ++i) {
    TChunk& c = list.Items(i);
    // Chunks this codec does not know are kept only when they say that they
    // stay valid whatever happened to the pixels.
    if (IsExactly<TChunk>(c) && (IsCritical(c.ChunkType) || !IsSafeToCopy(c.ChunkType))) continue;
    c.WriteChunk(stream);
  }
}

void TPNGImage::Assign(const platform::Graphic& source) {
  if (&source == this) return;
  if (const auto* other = dynamic_cast<const TPNGImage*>(&source)) {
    chunks_->Clear();
    for (int i = 0; i < other->Chunks().Count(); ++i) {
      const TChunk& from = other->Chunks().Items(i);
      const int index = ChunkClasses().IndexOfType(from.ChunkType);
      TChunk& to = index >= 0 ? chunks_->AddNew(ChunkClasses().Get(index).cls) : chunks_->Add(std::make_unique<TChunk>(chunks_.get()));
      to.AssignChunk(from);
    }
    SetFilters(other->Filters());
  }
  platform::Bitmap::Assign(source);
}

void RegisterPNG() { platform::RegisterFileFormat<TPNGImage>("PNG", "Portable Network Graphics"); }

}  // namespace codecs

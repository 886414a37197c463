// GIF colour tables: reading and writing, lookup, growth, and the reordering
// by use that renumbers the pixels of the frames using the table.
#include <algorithm>
#include <cstring>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

using platform::Color;

void TGIFColorMap::SplitColour(Color colour, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
  r = static_cast<std::uint8_t>(colour & 0xFF);
  g = static_cast<std::uint8_t>((colour >> 8) & 0xFF);
  b = static_cast<std::uint8_t>((colour >> 16) & 0xFF);
}

Color TGIFColorMap::JoinColour(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

void TGIFColorMap::ClearEntries() {
  entries_.clear();
  entries_.shrink_to_fit();
  count_ = 0;
  capacity_ = 0;
  sorted_ = false;
}

void TGIFColorMap::Reserve(int n) {
  if (n < capacity_) return;
  int capacity = n <= 16 ? 16 : (n + 31) / 32 * 32;
  capacity = std::min(capacity, kMaxEntries);
  capacity_ = capacity;
  entries_.resize(static_cast<std::size_t>(capacity) * 3, 0);
}

void TGIFColorMap::ReadEntries(Stream& stream, int n) {
  ClearEntries();
  n = std::clamp(n, 0, kMaxEntries);
  Reserve(n);
  ReadExact(stream, entries_.data(), static_cast<std::size_t>(n) * 3);
  count_ = n;
}

void TGIFColorMap::WriteEntries(Stream& stream) const {
  if (count_ == 0) return;
  stream.WriteBuffer(entries_.data(), static_cast<std::size_t>(count_) * 3);
  const int padded = 1 << EntryBits();
  static constexpr std::uint8_t kZero[3] = {0, 0, 0};
  for (int i = count_; i < padded; ++i) stream.WriteBuffer(kZero, 3);
}

int TGIFColorMap::FindColour(Color colour) const {
  std::uint8_t r, g, b;
  SplitColour(colour, r, g, b);
  auto match = [&](int i) {
    const std::uint8_t* e = &entries_[static_cast<std::size_t>(i) * 3];
    return e[0] == r && e[1] == g && e[2] == b;
  };
  if (sorted_) {
    for (int i = 0; i < count_; ++i)
      if (match(i)) return i;
  } else {
    for (int i = count_ - 1; i >= 0; --i)
      if (match(i)) return i;
  }
  return -1;
}

int TGIFColorMap::AddColour(Color colour) {
  if (count_ >= kMaxEntries) RaiseGIFError(msg::kTableOverflow);
  if (count_ >= capacity_) Reserve(count_ + 1);
  std::uint8_t* e = &entries_[static_cast<std::size_t>(count_) * 3];
  SplitColour(colour, e[0], e[1], e[2]);
  const int index = count_++;
  sorted_ = false;
  EntriesChanged();
  return index;
}

int TGIFColorMap::AddUniqueColour(Color colour) {
  const int found = FindColour(colour);
  return found >= 0 ? found : AddColour(colour);
}

void TGIFColorMap::DeleteEntry(int index) {
  if (index < 0 || index >= count_) RaiseGIFError(msg::kBadColourIndex);
  std::memmove(&entries_[static_cast<std::size_t>(index) * 3], &entries_[static_cast<std::size_t>(index + 1) * 3],
               static_cast<std::size_t>(count_ - index - 1) * 3);
  --count_;
  sorted_ = false;
  EntriesChanged();
}

Color TGIFColorMap::ColourAt(int index) {
  if (index < 0 || index >= count_) {
    Warning(kSeverityWarning, msg::kBadColourIndex);
    if (count_ == 0) RaiseGIFError(msg::kTableEmpty);
    index = 0;
  }
  const std::uint8_t* e = &entries_[static_cast<std::size_t>(index) * 3];
  return JoinColour(e[0], e[1], e[2]);
}

void TGIFColorMap::FromPalette(const platform::Palette& palette) {
  ClearEntries();
  const int n = std::min<int>(static_cast<int>(palette.size()), kMaxEntries);
  if (n == 0) return;
  Reserve(n);
  for (int i = 0; i < n; ++i) SplitColour(palette[i], entries_[i * 3], entries_[i * 3 + 1], entries_[i * 3 + 2]);
  count_ = n;
  EntriesChanged();
}

void TGIFColorMap::FromQuads(const std::uint8_t* quads, int n) {
  ClearEntries();
  n = std::clamp(n, 0, kMaxEntries);
  if (n == 0) return;
  Reserve(n);
  for (int i = 0; i < n; ++i) {
    entries_[i * 3] = quads[i * 4 + 2];
    entries_[i * 3 + 1] = quads[i * 4 + 1];
    entries_[i * 3 + 2] = quads[i * 4];
  }
  count_ = n;
  EntriesChanged();
}

platform::Palette TGIFColorMap::MakePalette() const {
  platform::Palette palette;
  palette.reserve(static_cast<std::size_t>(count_));
  for (int i = 0; i < count_; ++i) palette.push_back(JoinColour(entries_[i * 3], entries_[i * 3 + 1], entries_[i * 3 + 2]));
  return palette;
}

namespace {

// Largest count first. Equal counts end in the order this partitioning
// leaves them; files sorted by earlier versions depend on it.
void SortPairs(TGIFColorMap::Histogram& pairs, int low, int high) {
  int i;
  do {
    i = low;
    int j = high;
    const std::int64_t pivot = pairs[static_cast<std::size_t>((low + high) / 2)].first;
    do {
      while (pairs[static_cast<std::size_t>(i)].first > pivot) ++i;
      while (pairs[static_cast<std::size_t>(j)].first < pivot) --j;
      if (i <= j) {
        std::swap(pairs[static_cast<std::size_t>(i)], pairs[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (low < j) SortPairs(pairs, low, j);
    low = i;
  } while (i < high);
}

}  // namespace

bool TGIFColorMap::SortByUse() {
  if (count_ <= 1) return false;
  sorted_ = true;
  Histogram pairs(kMaxEntries);
  CountUse(pairs);
  SortPairs(pairs, 0, count_ - 1);
  bool inOrder = true;
  for (int k = 0; k < count_; ++k)
    if (pairs[static_cast<std::size_t>(k)].second != k) inOrder = false;
  if (inOrder) return true;
  std::uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(i);
  for (int k = 0; k < count_; ++k) table[pairs[static_cast<std::size_t>(k)].second] = static_cast<std::uint8_t>(k);
  RemapPixels(table);
  const std::vector<std::uint8_t> old = entries_;
  for (int i = 0; i < count_; ++i) std::memcpy(&entries_[table[i] * 3u], &old[i * 3u], 3);
  int used = count_;
  for (int k = 0; k < count_; ++k)
    if (pairs[static_cast<std::size_t>(k)].first == 0) {
      used = k;
      break;
    }
  count_ = used;
  EntriesChanged();
  return true;
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  if (&source == this) return;
  ClearEntries();
  capacity_ = source.capacity_;
  count_ = source.count_;
  sorted_ = source.sorted_;
  entries_.assign(static_cast<std::size_t>(capacity_) * 3, 0);
  if (count_ > 0) std::memcpy(entries_.data(), source.entries_.data(), static_cast<std::size_t>(count_) * 3);
  EntriesChanged();
}

// ---- the global map: every frame that has no colours of its own ----------

namespace {

void CountPixels(const TGIFSubImage& frame, TGIFColorMap::Histogram& histogram) {
  std::int64_t counts[256] = {};
  const std::uint8_t* p = frame.Pixels();
  for (std::int64_t i = 0, n = p ? frame.PixelCount() : 0; i < n; ++i) ++counts[p[i]];
  for (int v = 0; v < 256; ++v) histogram[static_cast<std::size_t>(v)].first += counts[v];
}

void RemapFrame(TGIFSubImage& frame, const std::uint8_t table[256]) {
  std::uint8_t* p = frame.Pixels();
  for (std::int64_t i = 0, n = p ? frame.PixelCount() : 0; i < n; ++i) p[i] = table[p[i]];
  if (frame.HasTransparency()) frame.ControlExtension()->SetTransparentIndex(table[frame.TransparentIndex()]);
  frame.FreeFrameBitmap();
  frame.FreeMask();
}

void StartHistogram(TGIFColorMap::Histogram& histogram) {
  histogram.assign(TGIFColorMap::kMaxEntries, {0, 0});
  for (int i = 0; i < TGIFColorMap::kMaxEntries; ++i) histogram[static_cast<std::size_t>(i)] = {0, i};
}

}  // namespace

void TGIFGlobalColorMap::Warning(int severity, const std::string& message) {
  if (owner_ && owner_->OwnerImage()) owner_->OwnerImage()->Warning(this, severity, message);
}

void TGIFGlobalColorMap::CountUse(Histogram& histogram) {
  StartHistogram(histogram);
  TGIFImage* image = owner_ ? owner_->OwnerImage() : nullptr;
  if (!image) return;
  // The background is drawn in its colour: it counts as a use, so sorting
  // never drops it.
  ++histogram[owner_->BackgroundIndex].first;
  for (int i = 0; i < image->FrameCount(); ++i) {
    TGIFSubImage* frame = image->Frame(i);
    if (&frame->ActiveMap() == this) CountPixels(*frame, histogram);
  }
}

void TGIFGlobalColorMap::RemapPixels(const std::uint8_t table[256]) {
  TGIFImage* image = owner_ ? owner_->OwnerImage() : nullptr;
  if (!image) return;
  owner_->BackgroundIndex = table[owner_->BackgroundIndex];
  for (int i = 0; i < image->FrameCount(); ++i) {
    TGIFSubImage* frame = image->Frame(i);
    if (&frame->ActiveMap() == this) RemapFrame(*frame, table);
  }
}

bool TGIFGlobalColorMap::Optimise() {
  TGIFImage* image = owner_ ? owner_->OwnerImage() : nullptr;
  if (!image || image->FrameCount() == 0) return false;
  return SortByUse();
}

void TGIFGlobalColorMap::EntriesChanged() {
  if (owner_ && owner_->OwnerImage()) owner_->OwnerImage()->SetPalette({});
}

// ---- a frame's local map ------------------------------------------------------

void TGIFLocalColorMap::Warning(int severity, const std::string& message) {
  if (owner_) owner_->Warning(severity, message);
}

void TGIFLocalColorMap::CountUse(Histogram& histogram) {
  StartHistogram(histogram);
  if (owner_) CountPixels(*owner_, histogram);
}

void TGIFLocalColorMap::RemapPixels(const std::uint8_t table[256]) {
  if (owner_) RemapFrame(*owner_, table);
}

bool TGIFLocalColorMap::Optimise() { return SortByUse(); }

void TGIFLocalColorMap::EntriesChanged() {
  if (owner_) owner_->SetFramePalette({});
}

}  // namespace gif

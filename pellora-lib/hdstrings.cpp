#include "pellora-lib/hdstrings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "foundation/files.h"
#include "foundation/msgbox.h"
#include "pellora-lib/hdstorage.h"
#include "pellora-lib/memblock.h"
#include "pellora-lib/sysmsg.h"
#include "platform/msgbox.h"
#include "platform/safesave.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace pellora {
namespace {

int MsgBox(const std::string& text) { return foundation::MsgBox(foundation::Variant(text)); }

int SaveBox(const std::string& text, const std::string& caption, int flags = platform::MbOk) {
  return foundation::MsgBoxEx(foundation::Variant(text), foundation::Variant(caption), flags);
}

// Letters of Windows-1252 with their base letter, for comparisons that ignore
// accents.
unsigned char BaseLetter(unsigned char c) {
  static const char* const upper = "AAAAAAACEEEEIIIIDNOOOOO*OUUUUYTs";  // 0xC0..0xDF
  static const char* const lower = "aaaaaaaceeeeiiiidnooooo/ouuuuyty";  // 0xE0..0xFF
  if (c >= 0xC0 && c != 0xD7 && c != 0xF7 && c != 0xC6 && c != 0xE6 && c != 0xDE && c != 0xFE && c != 0xDF &&
      c != 0xD0 && c != 0xF0) {
    return static_cast<unsigned char>(c >= 0xE0 ? lower[c - 0xE0] : upper[c - 0xC0]);
  }
  switch (c) {
    case 0x8A: return 'S';
    case 0x9A: return 's';
    case 0x8E: return 'Z';
    case 0x9E: return 'z';
    case 0x9F: return 'Y';
    default: return c;
  }
}

bool IsSymbol(unsigned char c) {
  if (c < 0x80) return !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
  if (c >= 0xC0) return c == 0xD7 || c == 0xF7;
  switch (c) {
    case 0x83: case 0x8A: case 0x8C: case 0x8E: case 0x9A: case 0x9C: case 0x9E: case 0x9F:
    case 0xAA: case 0xB5: case 0xBA:
      return false;
    default:
      return true;
  }
}

std::string NormaliseForCompare(const std::string& s, uint32_t flags) {
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if ((flags & HdIgnoreSymbols) && IsSymbol(c)) continue;
    if (flags & HdIgnoreNonSpace) c = BaseLetter(c);
    if (flags & HdIgnoreCase) c = platform::latin1Lower(c);
    out.push_back(static_cast<char>(c));
  }
  return out;
}

bool StatFile(const std::string& name, struct stat& st) {
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void PutLe32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetLe32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return v;
}

const char* kMoveRefused =
    "Auch. Your request is too big for internal buffers. You can\r\n"
    "- change / add / delete data in smaller pieces.\r\n"
    "- quit other programs for releasing more memory for buffers.\r\n"
    "- increase maximum buffer size ( if the setting has been made available for you )";

}  // namespace

int CompareLatin1(const std::string& s1, const std::string& s2, uint32_t flags) {
  if (s1.empty() || s2.empty()) {
    if (s1.empty() && s2.empty()) return 0;
    return s1.empty() ? -1 : 1;
  }
  const size_t n = std::min(s1.size(), s2.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(s1[i]);
    unsigned char b = static_cast<unsigned char>(s2[i]);
    if (!(flags & 0x20)) {
      // Both sides folded to lower case, so letters sort with their other
      // case and the order stays consistent around the signs between the
      // letter ranges.
      a = platform::latin1Lower(a);
      b = platform::latin1Lower(b);
    }
    if (a != b) return a < b ? -1 : 1;
  }
  if (s1.size() == s2.size()) return 0;
  return s1.size() < s2.size() ? -1 : 1;
}

THdStrings::THdStrings() {
  std::error_code ec;
  tempDir_ = std::filesystem::temp_directory_path(ec).string();
  if (ec || tempDir_.empty()) tempDir_ = "/tmp";
  if (tempDir_.back() != '/') tempDir_ += '/';
  if (tempDir_.size() > 513) tempDir_.resize(513);
  Clear();
}

THdStrings::~THdStrings() {
  if (storage_ && storage_->Kind() == HdOwnFile) {
    // Only ever cut: growing here would pad the user's file with zeros.
    if (storage_->Size() > used_) storage_->SetSize(used_);
    // Edits made within the tick of the index's time leave both times
    // equal, which would pass an outdated index as current.
    struct stat text {}, idx {};
    if (storage_->Path() == fileName_ && StatFile(fileName_, text) && StatFile(IndexFileName(fileName_), idx) &&
        SameTime(text.st_mtim, idx.st_mtim)) {
      SaveIndex(true);
    }
  }
}

int32_t THdStrings::ActiveStorageKind() const { return storage_ ? storage_->Kind() : -1; }

int64_t THdStrings::StorageSize() const { return storage_ ? storage_->Size() : 0; }

void THdStrings::Clear() {
  std::vector<char>().swap(moveBuf_);
  if (ActiveStorageKind() == HdOwnFile) return;  // the entries are the user's file
  high_ = -1;
  used_ = 0;
  error_ = false;
  inSync_ = false;
  if (storage_) storage_->SetSize(0);
}

std::string THdStrings::Get(int index) {
  if (index < 0 || index > high_ || !storage_) return std::string();
  const IndexRecord& rec = index_[static_cast<size_t>(index)];
  const int64_t start = EntryStart(index);
  const int64_t len = rec.end - start - ((rec.flags & 1) ? 0 : sepLen_);
  if (len <= 0) return std::string();
  // The buffer grows to the longest entry read and is reused after that.
  if (static_cast<int64_t>(readBuf_.size()) < len) {
    std::string().swap(readBuf_);
    try {
      readBuf_.assign(static_cast<size_t>(len), '\0');
    } catch (const std::exception&) {  // out of memory, or longer than any string
      MsgBox("Memory Allocation failure with entry " + std::to_string(index));
      return std::string();
    }
  } else {
    std::fill_n(readBuf_.begin(), len, '\0');
  }
  const int64_t got = storage_->Read(start, readBuf_.data(), len);
  if (got != len) error_ = true;
  // The entry ends at its first zero byte, as a text does.
  return std::string(readBuf_.data(), strnlen(readBuf_.data(), static_cast<size_t>(std::clamp<int64_t>(got, 0, len))));
}

void THdStrings::Put(int index, const std::string& s) {
  if (index < 0 || index > high_ || !storage_) return;
  IndexRecord& rec = index_[static_cast<size_t>(index)];
  const int64_t start = EntryStart(index);
  const int64_t oldLen = rec.end - start;
  const int64_t newLen = static_cast<int64_t>(s.size()) + sepLen_;
  if (!MoveTail(rec.end, index, newLen - oldLen)) return;
  std::string bytes = s + separator_;
  if (!WriteAt(start, bytes.data(), static_cast<int64_t>(bytes.size()))) return;
  index_[static_cast<size_t>(index)].flags &= static_cast<uint8_t>(~1u);
}

void* THdStrings::GetObject(int index) const {
  if (index < 0 || index > high_) return nullptr;
  return index_[static_cast<size_t>(index)].object;
}

void THdStrings::PutObject(int index, void* object) {
  if (index < 0 || index > high_) return;
  index_[static_cast<size_t>(index)].object = object;
}

int THdStrings::InsertItem(int index, const std::string& s, void* object) {
  if (high_ >= kMaxHigh) return -1;
  const int newHigh = high_ + 1;
  if (index < 0 || index > newHigh) index = newHigh;
  error_ = false;
  if (!EnsureStorage()) {
    error_ = true;
    return -1;
  }
  const int64_t len = static_cast<int64_t>(s.size()) + sepLen_;
  std::string bytes = s + separator_;
  if (static_cast<size_t>(newHigh) + 1 > index_.size()) index_.resize(static_cast<size_t>(newHigh) + 50);

  if (index <= high_) {
    // Before the end: open a gap at the entry's start, then fill it.
    const int64_t start = EntryStart(index);
    if (!MoveTail(start, index, len)) return -1;  // list unchanged
    std::copy_backward(index_.begin() + index, index_.begin() + newHigh, index_.begin() + newHigh + 1);
    index_[static_cast<size_t>(index)] = IndexRecord{start + len, 0, object};
    high_ = newHigh;
    if (!WriteAt(start, bytes.data(), len)) {
      // The gap holds stale bytes: it goes again, so that the list says what
      // the file holds; the error flag stays set.
      Delete(index);
      error_ = true;
      return -1;
    }
    return index;
  }

  // Appending: a last line without line end first gets its separator.
  int64_t pos = used_;
  bool closePrevious = high_ >= 0 && (index_[static_cast<size_t>(high_)].flags & 1);
  if (closePrevious) bytes = separator_ + bytes;
  GrowStorage(static_cast<int64_t>(bytes.size()));
  if (!WriteAt(pos, bytes.data(), static_cast<int64_t>(bytes.size()))) {
    // A short write may have left a part behind; the list keeps what it had.
    if (storage_->Kind() == HdOwnFile) storage_->SetSize(used_);
    return -1;
  }
  if (closePrevious) {
    index_[static_cast<size_t>(high_)].flags = 0;
    index_[static_cast<size_t>(high_)].end += sepLen_;
  }
  used_ = pos + static_cast<int64_t>(bytes.size());
  index_[static_cast<size_t>(newHigh)] = IndexRecord{used_, 0, object};
  high_ = newHigh;
  return index;
}

void THdStrings::Delete(int index) {
  if (index < 0 || index > high_ || !storage_) return;
  const int64_t start = EntryStart(index);
  const int64_t end = index_[static_cast<size_t>(index)].end;
  if (!MoveTail(end, index, -(end - start))) return;
  std::copy(index_.begin() + index + 1, index_.begin() + high_ + 1, index_.begin() + index);
  index_[static_cast<size_t>(high_)] = IndexRecord{};
  --high_;
}

void THdStrings::LoadFromText(const std::string& s) {
  Clear();
  if (!s.empty()) AppendBuffer(s.data(), static_cast<int64_t>(s.size()));
}

void THdStrings::LoadFromBytes(const char* data, int64_t length) {
  if (!data || length <= 0) return;
  Clear();
  AppendBuffer(data, length);
}

void THdStrings::LoadFromStream(platform::Stream& stream) {
  try {
    if (stream.Size() <= 0 || stream.Remaining() <= 0) return;
    if (auto* memory = dynamic_cast<platform::MemoryStream*>(&stream)) {
      const auto& bytes = memory->Bytes();
      LoadFromBytes(reinterpret_cast<const char*>(bytes.data()), static_cast<int64_t>(bytes.size()));
      return;
    }
    stream.SetPosition(0);
    const std::vector<uint8_t> bytes = stream.ReadAll();
    LoadFromBytes(reinterpret_cast<const char*>(bytes.data()), static_cast<int64_t>(bytes.size()));
  } catch (const std::exception&) {
    error_ = true;
  }
}

void THdStrings::SaveToStream(platform::Stream& stream) {
  if (used_ <= 0 || !storage_) return;
  try {
    const std::string bytes = SaveToString();
    stream.WriteBuffer(bytes.data(), bytes.size());
  } catch (const std::exception&) {
    error_ = true;
  }
}

bool THdStrings::LoadFromFile(const std::string& fileName) {
  return OpenFile(fileName.empty() ? fileName_ : fileName, false);
}

std::string THdStrings::SaveToString() const {
  std::string out;
  if (!storage_ || used_ <= 0) return out;
  out.resize(static_cast<size_t>(used_));
  const int64_t got = storage_->Read(0, out.data(), used_);
  out.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  return out;
}

int THdStrings::AppendBuffer(const char* p, int64_t len) {
  if (!p || len <= 0) return -1;
  if (!EnsureStorage()) {
    error_ = true;
    return -1;
  }
  if (used_ > INT64_MAX - len - 16) {
    error_ = true;
    return -1;
  }
  GrowStorage(len);
  if (WriteAt(used_, p, len)) {
    used_ += len;
  } else if (storage_->Kind() == HdOwnFile) {
    storage_->SetSize(used_);
  }
  inSync_ = inSync_ && storage_->Kind() == HdOwnFile;
  BuildIndex(high_);
  return -1;
}

void THdStrings::GrowStorage(int64_t n) {
  if (!storage_ || !storage_->PreGrows()) return;
  const int64_t size = storage_->Size();
  if (n + used_ + 16 < size) return;
  const int64_t step = n > growthStep_ ? n : growthStep_;
  if (!storage_->SetSize(std::max(size + step, used_ + n + 16))) error_ = true;
}

bool THdStrings::WriteAt(int64_t pos, const char* p, int64_t n) {
  if (n <= 0) return true;
  if (!storage_ || storage_->Write(pos, p, n) != n) {
    error_ = true;
    return false;
  }
  if (storage_->Kind() != HdOwnFile) inSync_ = false;
  return true;
}

bool THdStrings::MoveTail(int64_t from, int firstShifted, int64_t delta) {
  if (delta == 0) return true;
  if (!storage_) return false;
  const int64_t tail = used_ - from;
  int64_t maximum = AvailMemPercent(moveShare_);
  if (moveLimit_ > 0) maximum = std::min(maximum, moveLimit_);
  const int64_t magnitude = delta < 0 ? -delta : delta;
  if (magnitude > maximum || tail < 0 || (delta < 0 && from + delta < 0)) {
    MsgBoxCap(kMoveRefused, "HdStrings - SetStorage");
    return false;
  }
  if (!storage_->PreGrows()) {
    // Files move through the bounded buffer; memory moves in place.
    const size_t want = static_cast<size_t>(std::max<int64_t>(1, std::min(tail, maximum)));
    if (moveBuf_.size() < want) {
      try {
        moveBuf_.resize(want);
      } catch (const std::exception&) {
        error_ = true;
        return false;
      }
    }
  }
  if (delta > 0) GrowStorage(delta);
  // A file first gets the room it grows into: a full disk then refuses the
  // edit before any byte of the text has moved.
  if (delta > 0 && !storage_->PreGrows() && !storage_->Extend(used_ + delta)) {
    error_ = true;
    return false;
  }
  if (!storage_->Move(from, from + delta, tail, moveBuf_)) {
    error_ = true;
    return false;
  }
  // A file gives the freed tail back; when it cannot be cut (a read-only
  // file) and nothing was moved, the list stays as the file is.
  if (delta < 0 && !storage_->PreGrows() && !storage_->SetSize(used_ + delta)) {
    error_ = true;
    if (tail == 0) return false;
  }
  for (int i = firstShifted; i <= high_; ++i) index_[static_cast<size_t>(i)].end += delta;
  used_ += delta;
  if (storage_->Kind() != HdOwnFile) inSync_ = false;
  return true;
}

void THdStrings::ShrinkIndexTo(size_t n) {
  index_.resize(n);
}

bool THdStrings::BuildIndex(int from) {
  try {
    return ScanIndex(from);
  } catch (const std::exception&) {
    // Out of memory, or more lines than an index can count: the entries
    // found so far stay, the rest is not indexed.
    high_ = static_cast<int32_t>(std::min<int64_t>(high_, static_cast<int64_t>(index_.size()) - 1));
    error_ = true;
    MsgBox("I/O fault whilst creating index, cancelling");
    return false;
  }
}

bool THdStrings::ScanIndex(int from) {
  if (from > high_) from = -1;
  int64_t scanPos = 0;
  if (from < 1) {
    high_ = -1;
  } else {
    // A last entry without separator is open: what follows continues it.
    if (index_[static_cast<size_t>(from)].flags & 1) --from;
    high_ = from;
    scanPos = from >= 0 ? index_[static_cast<size_t>(from)].end : 0;
  }
  if (used_ <= 0 || !storage_ || scanPos >= used_) {
    ShrinkIndexTo(static_cast<size_t>(high_) + 100);
    return true;
  }
  const int64_t remaining = used_ - scanPos;
  int64_t chunk = scanChunk_ > 0 ? scanChunk_ : std::max<int64_t>(AvailMemPercent(20), 65536);
  chunk = std::min(std::max<int64_t>(chunk, sepLen_), remaining);
  // Memory is scanned where it lies; a file through a buffer of one chunk.
  const char* direct = storage_->Data();
  std::unique_ptr<char[]> buffer;
  if (!direct) {
    buffer.reset(new (std::nothrow) char[static_cast<size_t>(chunk)]);
    if (!buffer) {
      MsgBox("I/O fault whilst creating index, cancelling");
      return false;
    }
  }
  const int64_t chunks = remaining / chunk + (remaining % chunk ? 1 : 0);
  int64_t chunksRead = 0;
  const char first = separator_[0];
  const std::string_view rest(separator_.data() + 1, separator_.size() - 1);
  // A guess at the line count, so the index grows in few steps.
  index_.resize(static_cast<size_t>(high_ + 1));
  try {
    index_.reserve(static_cast<size_t>(high_ + 1) + static_cast<size_t>(remaining / 32) + 16);
  } catch (const std::exception&) {
    // Only a guess: the index grows as it must.
  }
  int64_t chunkStart = scanPos;
  for (;;) {
    if (onProgress_) {
      progress_ = static_cast<uint8_t>(std::min<int64_t>(100, chunksRead * 100 / std::max<int64_t>(chunks, 1)));
      onProgress_(*this);
    }
    const int64_t chunkEnd = std::min(used_, chunkStart + chunk);
    const int64_t n = chunkEnd - chunkStart;
    if (!direct && storage_->Read(chunkStart, buffer.get(), n) != n) {
      MsgBox("I/O fault whilst creating index, cancelling");
      return false;
    }
    ++chunksRead;
    const char* base = direct ? direct + chunkStart : buffer.get();
    // Separators that start at or after scanPos and lie wholly in the chunk.
    int64_t at = std::max<int64_t>(0, scanPos - chunkStart);
    const int64_t lastStart = n - sepLen_;
    while (at <= lastStart) {
      const void* hit = std::memchr(base + at, first, static_cast<size_t>(lastStart - at + 1));
      if (!hit) break;
      const int64_t p = static_cast<const char*>(hit) - base;
      if (std::string_view(base + p + 1, rest.size()) == rest) {
        if (high_ >= kMaxHigh) throw std::length_error("too many lines");
        ++high_;
        index_.push_back(IndexRecord{chunkStart + p + sepLen_, 0, nullptr});
        at = p + sepLen_;
        scanPos = chunkStart + at;
      } else {
        at = p + 1;
      }
    }
    if (chunkEnd >= used_) break;
    // The next chunk overlaps by what could be the start of a separator.
    chunkStart = std::max(scanPos, chunkEnd - (sepLen_ - 1));
  }
  if (scanPos < used_) {
    if (high_ >= kMaxHigh) throw std::length_error("too many lines");
    ++high_;
    index_.push_back(IndexRecord{used_, 1, nullptr});
  }
  ShrinkIndexTo(static_cast<size_t>(high_) + 100);
  return true;
}

void THdStrings::TrimStorage() {
  if (storage_ && storage_->Size() > used_) storage_->SetSize(used_);
}

std::unique_ptr<HdStorage> THdStrings::MakeTempStorage() {
  // Created exclusively: an existing file of that name is never reused.
  for (int n = 0; n < 10000; ++n) {
    const std::string name =
        tempDir_ + (n == 0 ? std::string("xoStr31.Txt") : "xoStr31_" + std::to_string(n) + ".Txt");
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      tempFile_ = name;
      return std::make_unique<HdFileStorage>(fd, name, HdTempFile, true);
    }
    if (errno != EEXIST) break;
  }
  return nullptr;
}

std::unique_ptr<HdStorage> THdStrings::MakeStorage(int32_t kind) {
  if (kind == HdTempFile) return MakeTempStorage();
  if (kind == HdOwnFile) {
    if (fileName_.empty()) return nullptr;
    const int fd = ::open(fileName_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<HdFileStorage>(fd, fileName_, HdOwnFile, false);
  }
  return std::make_unique<HdMemoryStorage>();
}

void THdStrings::AttachStorage(std::unique_ptr<HdStorage> fresh) {
  const bool empty = high_ < 0 && used_ == 0;
  if (fresh->Kind() == HdOwnFile && empty) {
    // An empty list taking up an existing file reads it instead of cutting it.
    storage_ = std::move(fresh);
    used_ = storage_->Size();
    high_ = -1;
    inSync_ = true;
    if (used_ > 0 && !LoadIndex(fileName_)) BuildIndex(-1);
    return;
  }
  if (storage_ && used_ > 0) {
    std::vector<char> copy(static_cast<size_t>(used_));
    if (storage_->Read(0, copy.data(), used_) != used_ || fresh->Write(0, copy.data(), used_) != used_) error_ = true;
  }
  if (!fresh->PreGrows()) fresh->SetSize(used_);
  inSync_ = fresh->Kind() == HdOwnFile;
  storage_ = std::move(fresh);
}

bool THdStrings::SetStorageKind(int32_t kind) {
  if (kind < HdMemory || kind > HdOwnFile) return false;
  if (storage_ && storage_->Kind() == kind) {
    kind_ = kind;
    return true;
  }
  kind_ = kind;
  std::unique_ptr<HdStorage> fresh = MakeStorage(kind);
  if (!fresh) {
    // No usable file yet: the list keeps working in memory until one is
    // opened.
    if (!storage_) storage_ = std::make_unique<HdMemoryStorage>();
    return false;
  }
  AttachStorage(std::move(fresh));
  return true;
}

bool THdStrings::EnsureStorage() {
  if (storage_) return true;
  SetStorageKind(kind_);
  return storage_ != nullptr;
}

bool THdStrings::OpenFile(const std::string& fileName, bool readOnly) {
  struct stat st {};
  bool exists = StatFile(fileName, st);
  if (!exists && kind_ != HdMemory) {
    // Only a missing file is made; a folder, pipe or device of that name is
    // no text (and opening a pipe would wait for a writer).
    struct stat other {};
    if (!fileName.empty() && ::lstat(fileName.c_str(), &other) == 0) return false;
    const int fd =
        fileName.empty() ? -1 : ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    exists = StatFile(fileName, st);
    if (!exists) return false;
  }
  int fd = -1;
  if (exists) {
    const bool ro = readOnly || !(st.st_mode & S_IWUSR);
    fd = ::open(fileName.c_str(), (ro ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) return false;
  }
  // Start over, whatever the kind.
  storage_.reset();
  high_ = -1;
  used_ = 0;
  error_ = false;
  inSync_ = false;
  std::vector<char>().swap(moveBuf_);

  bool loaded = false;
  if (kind_ == HdOwnFile) {
    storage_ = std::make_unique<HdFileStorage>(fd, fileName, HdOwnFile, false);
    used_ = storage_->Size();
    loaded = true;
  } else {
    std::unique_ptr<HdStorage> target =
        kind_ == HdTempFile ? MakeTempStorage() : std::unique_ptr<HdStorage>(std::make_unique<HdMemoryStorage>());
    if (!target) target = std::make_unique<HdMemoryStorage>();
    if (fd >= 0) {
      HdFileStorage source(fd, fileName, HdOwnFile, false);
      const int64_t size = source.Size();
      bool ok = true;
      if (auto* memory = dynamic_cast<HdMemoryStorage*>(target.get()); memory && size > 0) {
        // Straight from the file into the storage's memory.
        char* bytes = memory->Allocate(size);
        ok = bytes && source.Read(0, bytes, size) == size;
      } else if (size > 0) {
        std::vector<char> piece(static_cast<size_t>(std::min<int64_t>(size, 1 << 24)));
        for (int64_t done = 0; ok && done < size;) {
          const int64_t n = std::min<int64_t>(static_cast<int64_t>(piece.size()), size - done);
          ok = source.Read(done, piece.data(), n) == n && target->Write(done, piece.data(), n) == n;
          done += n;
        }
      }
      storage_ = std::move(target);
      if (!ok) {
        error_ = true;
        storage_->SetSize(0);
        return false;
      }
      used_ = size;
      loaded = true;
    } else {
      storage_ = std::move(target);
    }
  }
  if (!loaded) return false;
  fileName_ = fileName;
  inSync_ = true;
  if (!LoadIndex(fileName)) return BuildIndex(-1);
  return true;
}


std::string THdStrings::IndexFileName(const std::string& textFile) const {
  std::filesystem::path p(textFile);
  p.replace_extension(".Rni");
  if (!indexDir_.empty()) return (std::filesystem::path(indexDir_) / p.filename()).string();
  return p.string();
}

bool THdStrings::LoadIndex(const std::string& name) {
  const std::string textName = name.empty() ? fileName_ : name;
  struct stat text {}, idx {};
  const std::string idxName = IndexFileName(textName);
  if (!StatFile(textName, text) || !StatFile(idxName, idx)) return false;
  if (!SameTime(text.st_mtim, idx.st_mtim)) return false;
  // The index must describe this very text as the list holds it.
  if (text.st_size != used_) return false;
  const int64_t size = idx.st_size;
  if (size < kIndexHeaderSize || (size - kIndexHeaderSize) % kIndexRecordSize != 0) return false;
  const int64_t records = (size - kIndexHeaderSize) / kIndexRecordSize;
  if (records > INT32_MAX - 100) return false;
  const int fd = ::open(idxName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  HdFileStorage file(fd, idxName, HdOwnFile, false);
  std::vector<char> data;
  try {
    data.resize(static_cast<size_t>(size));
  } catch (const std::exception&) {
    return false;
  }
  if (file.Read(0, data.data(), size) != size) return false;
  if (std::memcmp(data.data(), "VsInd\0", 6) != 0) return false;
  const int32_t high = static_cast<int32_t>(GetLe32(data.data() + 6));
  if (high < -1 || static_cast<int64_t>(high) + 1 != records) return false;
  std::vector<IndexRecord> loaded(static_cast<size_t>(records) + 100);
  int64_t previous = 0;
  for (int64_t i = 0; i < records; ++i) {
    const char* r = data.data() + kIndexHeaderSize + i * kIndexRecordSize;
    const int64_t end = static_cast<int32_t>(GetLe32(r));
    const uint8_t flags = static_cast<uint8_t>(r[4]);
    const bool last = i == records - 1;
    if ((flags & 1) && !last) return false;
    const int64_t minimum = (flags & 1) ? 1 : sepLen_;
    if (end - previous < minimum || end > used_) return false;
    loaded[static_cast<size_t>(i)] = IndexRecord{end, static_cast<uint8_t>(flags & 1), nullptr};
    previous = end;
  }
  if (previous != used_) return false;
  index_ = std::move(loaded);
  high_ = high;
  return true;
}

bool THdStrings::SaveIndex(bool onlyIfPresent) {
  struct stat text {}, idx {};
  if (!StatFile(fileName_, text)) return false;
  const std::string idxName = IndexFileName(fileName_);
  const bool present = StatFile(idxName, idx);
  if (onlyIfPresent && !present) return true;
  // An index is only worth keeping for the text as it lies on disk.
  if (!inSync_ || !storage_ || text.st_size != used_ || used_ > INT32_MAX) return false;
  std::string data(static_cast<size_t>(kIndexHeaderSize) + static_cast<size_t>(high_ + 1) * kIndexRecordSize, '\0');
  std::memcpy(data.data(), "VsInd\0", 6);
  PutLe32(data.data() + 6, static_cast<uint32_t>(high_));
  for (int i = 0; i <= high_; ++i) {
    char* r = data.data() + kIndexHeaderSize + static_cast<size_t>(i) * kIndexRecordSize;
    PutLe32(r, static_cast<uint32_t>(index_[static_cast<size_t>(i)].end));
    r[4] = static_cast<char>(index_[static_cast<size_t>(i)].flags & 1);
    // Objects are addresses of this run: they stay 0 in the file.
  }
  // Equal times alone do not prove the index current: file times are coarse,
  // so a text changed within the same tick keeps its time.
  std::string onDisk;
  if (present && SameTime(idx.st_mtim, text.st_mtim) &&
      foundation::ReadWholeFile(std::filesystem::path(idxName), onDisk) && onDisk == data)
    return true;
  if (!platform::SaveFileAtomicallyWith(std::filesystem::path(idxName),
                                        [&](int fd) { return platform::WriteAll(fd, data); }))
    return false;
  const struct timespec times[2] = {text.st_atim, text.st_mtim};
  if (utimensat(AT_FDCWD, idxName.c_str(), times, 0) != 0) ShowSystemError(-1);
  return true;
}

bool THdStrings::SaveFile(const std::string& name) {
  if (!storage_) return false;
  if (name.empty() && storage_->Kind() == HdOwnFile) return true;
  const std::string target = name.empty() ? fileName_ : name;
  struct stat st {}, own {};
  const bool exists = StatFile(target, st);
  if (exists && !(st.st_mode & S_IWUSR)) {
    SaveBox("File [" + target + "] is write protected, can't save.", "HdStrings - Save");
    return false;
  }
  if (exists) {
    const bool isOwn = StatFile(fileName_, own) && own.st_dev == st.st_dev && own.st_ino == st.st_ino;
    if (!isOwn) {
      if (SaveBox("File [" + target + "] exists, overwrite ?", "HdStrings - Save As",
                  platform::MbOkCancel | platform::MbIconWarning) == platform::IdCancel) {
        return false;
      }
    } else if (storage_->Kind() == HdOwnFile) {
      return true;
    }
  }
  if (target.empty()) {
    SaveBox("Failed to open file " + target, "HdStrings - Save");
    return false;
  }
  bool copyFailed = false;
  const bool saved = platform::SaveFileAtomicallyWith(std::filesystem::path(target), [&](int fd) {
    std::vector<char> piece(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(used_, 1), 1 << 24)));
    for (int64_t done = 0; done < used_;) {
      const int64_t n = std::min<int64_t>(static_cast<int64_t>(piece.size()), used_ - done);
      if (storage_->Read(done, piece.data(), n) != n ||
          !platform::WriteAll(fd, std::string_view(piece.data(), static_cast<size_t>(n)))) {
        copyFailed = true;
        return false;
      }
      done += n;
    }
    return true;
  });
  if (!saved) {
    SaveBox(copyFailed ? "Copy to" + target + "failed" : "Failed to open file " + target, "HdStrings - Save");
    return false;
  }
  if (kind_ == HdOwnFile) {
    // The saved file becomes the storage (also for a list that had to stay
    // in memory for want of a file).
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return true;  // saved; the list stays on its old file
    storage_ = std::make_unique<HdFileStorage>(fd, target, HdOwnFile, false);
  }
  fileName_ = target;
  inSync_ = true;
  SaveIndex(true);
  return true;
}

int THdStrings::FindText(const std::string& s, int lastIndex, int firstIndex) {
  return FindVariant(s, lastIndex, firstIndex, compareFlags_);
}

int THdStrings::FindVariant(const std::string& s, int lastIndex, int firstIndex, uint32_t compareFlags) {
  if (s.empty()) return -1;
  if (lastIndex < 0) lastIndex = high_;
  if (firstIndex < 0) firstIndex = 0;
  const std::string wanted = NormaliseForCompare(s, compareFlags);
  int i = firstIndex;
  do {
    if (i > high_) break;
    if (NormaliseForCompare(Get(i), compareFlags) == wanted) return i;
  } while (++i <= lastIndex);
  return -1;
}

void THdStrings::BuildSortIndex(const std::string&) {
  samples_.clear();
  sortOrder_.clear();
  const int n = high_ + 1;
  int j = 0;
  try {
    std::vector<std::string> texts;
    texts.reserve(static_cast<size_t>(n));
    for (j = 0; j < n; ++j) texts.push_back(Get(j));
    // Empty entries each go to the front as they come, the others after
    // every equal one: a stable sort with empties first, latest first.
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      const std::string& sa = texts[static_cast<size_t>(a)];
      const std::string& sb = texts[static_cast<size_t>(b)];
      if (sa.empty() || sb.empty()) return sa.empty() && (!sb.empty() || a > b);
      return CompareLatin1(sa, sb, 0) < 0;
    });
    std::vector<int> rank(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) rank[static_cast<size_t>(order[static_cast<size_t>(r)])] = r;
    // Place at insertion time: how many earlier entries sort before this one.
    std::vector<int> tree(static_cast<size_t>(n) + 1, 0);
    std::vector<int32_t> inserted(static_cast<size_t>(n));
    for (j = 0; j < n; ++j) {
      int count = 0;
      for (int k = rank[static_cast<size_t>(j)]; k > 0; k -= k & -k) count += tree[static_cast<size_t>(k)];
      inserted[static_cast<size_t>(j)] = count;
      for (int k = rank[static_cast<size_t>(j)] + 1; k <= n; k += k & -k) ++tree[static_cast<size_t>(k)];
    }
    sortOrder_.resize(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
      const int e = order[static_cast<size_t>(r)];
      int sample = -1;
      if (e % 50 == 0) sample = e / 50;
      sortOrder_[static_cast<size_t>(r)] = SortRecord{e, sample, inserted[static_cast<size_t>(e)]};
    }
    for (j = 0; j < n; j += 50) samples_.emplace_back(texts[static_cast<size_t>(j)], j);
  } catch (const std::exception&) {
    MsgBox("Rec : " + std::to_string(j));
  }
}

bool THdStrings::GetOption(int index) const {
  switch (index) {
    case 0: return option0_;
    case 1: return option1_;
    case 10: return compareFlags_ & HdIgnoreCase;
    case 11: return compareFlags_ & HdIgnoreNonSpace;
    case 12: return compareFlags_ & HdIgnoreSymbols;
    case 13: return compareFlags_ & HdIgnoreKanaType;
    case 14: return compareFlags_ & HdIgnoreWidth;
    default: return false;
  }
}

void THdStrings::SetOption(int index, bool flag) {
  uint32_t bit = 0;
  switch (index) {
    case 0: option0_ = flag; return;
    case 1: option1_ = flag; return;
    case 10: bit = HdIgnoreCase; break;
    case 11: bit = HdIgnoreNonSpace; break;
    case 12: bit = HdIgnoreSymbols; break;
    case 13: bit = HdIgnoreKanaType; break;
    case 14: bit = HdIgnoreWidth; break;
    default: return;
  }
  if (flag) compareFlags_ |= bit;
  else compareFlags_ &= ~bit;
}

void THdStrings::SetStorage(int index, int32_t value) {
  if (index == 1) reserve_ = value;
  else if (index == 0 && (value != kind_ || !storage_ || storage_->Kind() != value)) SetStorageKind(value);
}

std::string THdStrings::GetPath(int index) const {
  switch (index) {
    case 0: return fileName_;
    case 1: return tempDir_;
    case 2: return tempFile_;
    default: return std::string();
  }
}

void THdStrings::SetPath(int index, const std::string& value) {
  switch (index) {
    case 0:
      if (value != fileName_) inSync_ = inSync_ && ActiveStorageKind() == HdOwnFile;
      fileName_ = value;
      break;
    case 1: tempDir_ = value.empty() || value.back() == '/' ? value : value + '/'; break;
    case 2: tempFile_ = value; break;
    default: break;
  }
}

}  // namespace pellora

#pragma once
// A string list for very large texts: all entries lie back to back, each
// followed by the separator, in one storage (memory, a temporary file or the
// list's own text file). A compact index holds each entry's end offset, so
// edits move the rest of the text instead of copying strings, and the index
// can be kept beside the text file (".Rni") so a big file opens without a
// rescan while it is unchanged.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class Stream;
}

namespace pellora {

class HdStorage;  // memory or file behind the list

// Compare flags (the system comparison's values).
enum HdCompareFlags : uint32_t {
  HdIgnoreCase = 0x1,
  HdIgnoreNonSpace = 0x2,
  HdIgnoreSymbols = 0x4,
  HdIgnoreKanaType = 0x10000,
  HdIgnoreWidth = 0x20000,
};

// Storage kinds.
enum HdStorageKind : int32_t { HdMemory = 0, HdTempFile = 1, HdOwnFile = 2 };

// -1, 0 or 1. Empty strings order first. Flags bit 0x20 compares bytes as
// unsigned numbers; otherwise Latin-1 letters compare without case.
int CompareLatin1(const std::string& s1, const std::string& s2, uint32_t flags);

class THdStrings {
 public:
  struct IndexRecord {
    int64_t end = 0;        // just past the entry's separator (or its text)
    uint8_t flags = 0;      // bit 0: no separator follows (last entry only)
    void* object = nullptr; // the caller's object; never stored in files
  };
  struct SortRecord {
    int32_t entry = 0;
    int32_t sample = -1;    // position in the sample list, -1 when none
    int32_t insertedAt = 0; // place at the time the entry was sorted in
  };
  static constexpr int kIndexHeaderSize = 10;
  static constexpr int kIndexRecordSize = 14;

  THdStrings();
  ~THdStrings();
  THdStrings(const THdStrings&) = delete;
  THdStrings& operator=(const THdStrings&) = delete;

  // --- the string-list interface
  int Count() const { return high_ + 1; }
  int Capacity() const { return static_cast<int>(index_.size()) - 1; }
  std::string Get(int index);
  void Put(int index, const std::string& s);
  void* GetObject(int index) const;
  void PutObject(int index, void* object);
  int Add(const std::string& s) { return InsertItem(-1, s, nullptr); }
  int AddObject(const std::string& s, void* object) { return InsertItem(-1, s, object); }
  void Insert(int index, const std::string& s) { InsertItem(index, s, nullptr); }
  int InsertItem(int index, const std::string& s, void* object);
  void Delete(int index);
  void Clear();

  void LoadFromText(const std::string& s);
  bool LoadFromFile(const std::string& fileName);
  void LoadFromBytes(const char* data, int64_t length);  // a stream's whole content
  // The stream's whole content from its start; nothing for an empty stream
  // or one positioned at its end.
  void LoadFromStream(platform::Stream& stream);
  // Exactly the used bytes, written at the stream's position.
  void SaveToStream(platform::Stream& stream);
  bool SaveToFile(const std::string& fileName) { return SaveFile(fileName); }
  std::string SaveToString() const;                      // exactly the used bytes
  int AppendBuffer(const char* p, int64_t len);

  bool OpenFile(const std::string& fileName, bool readOnly);
  bool SaveFile(const std::string& fileName);
  void TrimStorage();

  // --- index file
  std::string IndexFileName(const std::string& textFile) const;
  bool LoadIndex(const std::string& fileName);
  bool SaveIndex(bool onlyIfPresent);

  // --- searching and sorting
  int FindText(const std::string& s, int lastIndex, int firstIndex);
  int FindVariant(const std::string& s, int lastIndex, int firstIndex, uint32_t compareFlags);
  void BuildSortIndexAll() { BuildSortIndex(std::string()); }
  void BuildSortIndex(const std::string& key);
  const std::vector<SortRecord>& SortOrder() const { return sortOrder_; }
  const std::vector<std::pair<std::string, int>>& Samples() const { return samples_; }

  // --- options, storage and paths
  bool GetOption(int index) const;
  void SetOption(int index, bool flag);
  void SetStorage(int index, int32_t value);
  int32_t StorageKind() const { return kind_; }
  // The kind of the storage actually in use (memory stands in while a file
  // kind has no usable file yet); -1 without storage.
  int32_t ActiveStorageKind() const;
  std::string GetPath(int index) const;
  void SetPath(int index, const std::string& value);
  void SetIndexDir(const std::string& dir) { indexDir_ = dir; }
  uint32_t CompareFlags() const { return compareFlags_; }

  // --- state
  bool ErrorFlag() const { return error_; }
  int64_t Used() const { return used_; }
  int64_t StorageSize() const;
  int32_t GrowthStep() const { return growthStep_; }
  void SetGrowthStep(int32_t step) { growthStep_ = step > 0 ? step : 1; }
  uint8_t MoveBufferShare() const { return moveShare_; }
  void SetMoveBufferShare(uint8_t percent) { moveShare_ = percent; }
  int64_t ReadBufferSize() const { return static_cast<int64_t>(readBuf_.size()); }
  size_t MoveBufferSize() const { return moveBuf_.size(); }
  const IndexRecord& Record(int index) const { return index_.at(static_cast<size_t>(index)); }
  int64_t EntryStart(int index) const { return index > 0 ? index_[static_cast<size_t>(index - 1)].end : 0; }

  // Progress while the index is built.
  uint8_t ProgressPercent() const { return progress_; }
  void SetOnProgress(std::function<void(THdStrings&)> handler) { onProgress_ = std::move(handler); }
  // Size of the pieces the index is built in (0: a share of free memory).
  void SetScanChunk(int64_t bytes) { scanChunk_ = bytes; }
  // Caps the bytes one edit may shift below the memory share (0: no cap).
  void SetMoveLimit(int64_t bytes) { moveLimit_ = bytes; }

 private:
  bool SetStorageKind(int32_t kind);
  std::unique_ptr<HdStorage> MakeStorage(int32_t kind);
  std::unique_ptr<HdStorage> MakeTempStorage();
  bool EnsureStorage();
  void AttachStorage(std::unique_ptr<HdStorage> storage);
  bool BuildIndex(int from);
  bool ScanIndex(int from);
  // Room for the spare slots the index keeps behind its last entry.
  static constexpr int32_t kMaxHigh = INT32_MAX - 101;
  bool MoveTail(int64_t from, int firstShifted, int64_t delta);
  void GrowStorage(int64_t n);
  bool WriteAt(int64_t pos, const char* p, int64_t n);
  void ShrinkIndexTo(size_t n);

  std::unique_ptr<HdStorage> storage_;
  int32_t growthStep_ = 0x100000;
  bool error_ = false;
  std::string fileName_;
  std::string indexDir_;
  std::string tempDir_;
  std::string tempFile_;
  int32_t reserve_ = 0;
  int32_t kind_ = HdMemory;
  uint8_t sepLen_ = 2;
  bool option1_ = false;
  bool option0_ = false;
  uint32_t compareFlags_ = 0;
  std::string readBuf_;  // Get's buffer
  uint8_t moveShare_ = 15;
  std::vector<char> moveBuf_;
  uint8_t progress_ = 0;
  std::function<void(THdStrings&)> onProgress_;
  std::vector<SortRecord> sortOrder_;
  std::vector<std::pair<std::string, int>> samples_;
  std::vector<IndexRecord> index_;
  std::string separator_ = "\r\n";
  int32_t high_ = -1;
  int64_t used_ = 0;
  int64_t scanChunk_ = 0;
  int64_t moveLimit_ = 0;
  // The list holds exactly what its text file holds (so an index written now
  // describes that file).
  bool inSync_ = false;
};

}  // namespace pellora

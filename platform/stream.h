#pragma once
// Byte streams that pictures are read from and written to: an abstract stream
// with memory and file implementations. Read and Write report how many bytes
// they moved (short reads are normal at the end); ReadBuffer and WriteBuffer
// demand the full count and throw otherwise.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

// The error of the whole picture layer (bitmaps, streams, graphics and every
// picture codec), carrying its message as plain English text for the user.
// The codecs' own error classes derive from it, so one handler catches the
// failure of any picture class.
class GraphicError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A stream could not deliver or take the bytes asked for (truncated file,
// full disk, file not found). A GraphicError, so a damaged picture file gives
// one kind of error whatever the reader was doing.
class StreamError : public GraphicError {
 public:
  using GraphicError::GraphicError;
};

enum class SeekOrigin { Begin, Current, End };

class Stream {
 public:
  virtual ~Stream() = default;

  // Moves up to count bytes; returns the number moved (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Returns the new position. A position before the start throws StreamError;
  // one past the end is allowed (a later write extends the stream).
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size) = 0;
  // A hint before about count bytes are written from the position: a
  // memory stream makes room for them at once, instead of growing (and
  // copying) as they come. Other streams ignore it.
  virtual void Reserve(std::int64_t count) { (void)count; }

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }
  // Bytes between the position and the end (0 when past the end).
  std::int64_t Remaining();

  // Read exactly count bytes or throw StreamError (the position is then
  // undefined).
  void ReadBuffer(void* buffer, std::size_t count);
  void WriteBuffer(const void* buffer, std::size_t count);
  // Copies count bytes from source's position (count 0: the whole source from
  // its start, as the class library did). Returns the bytes copied.
  std::int64_t CopyFrom(Stream& source, std::int64_t count);
  // The bytes from the position to the end.
  std::vector<std::uint8_t> ReadAll();

  // Small helpers for little-endian file formats.
  std::uint8_t ReadU8();
  std::uint16_t ReadU16LE();
  std::uint32_t ReadU32LE();
  void WriteU8(std::uint8_t v);
  void WriteU16LE(std::uint16_t v);
  void WriteU32LE(std::uint32_t v);
};

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}
  MemoryStream(const void* bytes, std::size_t count);

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;
  void Reserve(std::int64_t count) override;

  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  std::vector<std::uint8_t>& Bytes() { return data_; }
  void Clear() { data_.clear(); position_ = 0; }
  void LoadFromFile(const std::string& path);
  // Through SavePictureFile (platform/safesave.h).
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
};

class FileStream : public Stream {
 public:
  enum class Mode {
    Read,       // existing file, read only
    Create,     // new or emptied file, read and write
    ReadWrite,  // existing file, read and write
  };
  // Throws StreamError with the file name when the file cannot be opened.
  FileStream(const std::string& path, Mode mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override;
  void SetSize(std::int64_t size) override;
  // Flushes written bytes; throws StreamError when the system refuses them.
  void Flush();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  bool lastWasWrite_ = false;
  bool lastWasRead_ = false;
};

}  // namespace platform

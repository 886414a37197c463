#include "platform/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/safesave.h"

namespace platform {

std::int64_t Stream::Size() {
  const std::int64_t here = Seek(0, SeekOrigin::Current);
  const std::int64_t end = Seek(0, SeekOrigin::End);
  Seek(here, SeekOrigin::Begin);
  return end;
}

std::int64_t Stream::Remaining() {
  const std::int64_t rest = Size() - Position();
  return rest > 0 ? rest : 0;
}

void Stream::ReadBuffer(void* buffer, std::size_t count) {
  std::size_t done = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (done < count) {
    const std::size_t n = Read(out + done, count - done);
    if (n == 0) throw StreamError("Stream read error");
    done += n;
  }
}

void Stream::WriteBuffer(const void* buffer, std::size_t count) {
  std::size_t done = 0;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  while (done < count) {
    const std::size_t n = Write(in + done, count - done);
    if (n == 0) throw StreamError("Stream write error");
    done += n;
  }
}

std::int64_t Stream::CopyFrom(Stream& source, std::int64_t count) {
  if (count < 0) throw StreamError("Stream copy: negative count");
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 16)));
  std::int64_t left = count;
  while (left > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size())));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    left -= static_cast<std::int64_t>(n);
  }
  return count;
}

std::vector<std::uint8_t> Stream::ReadAll() {
  std::vector<std::uint8_t> out;
  const std::int64_t rest = Remaining();
  if (rest > 0) {
    if (static_cast<std::uint64_t>(rest) > std::numeric_limits<std::size_t>::max() / 2)
      throw StreamError("Stream too large to read into memory");
    out.resize(static_cast<std::size_t>(rest));
    out.resize(Read(out.data(), out.size()));
  }
  // A stream whose size is unknown or still growing: read the rest in chunks.
  std::uint8_t chunk[4096];
  for (std::size_t n; (n = Read(chunk, sizeof chunk)) > 0;) out.insert(out.end(), chunk, chunk + n);
  return out;
}

std::uint8_t Stream::ReadU8() {
  std::uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

std::uint16_t Stream::ReadU16LE() {
  std::uint8_t b[2];
  ReadBuffer(b, 2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t Stream::ReadU32LE() {
  std::uint8_t b[4];
  ReadBuffer(b, 4);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void Stream::WriteU8(std::uint8_t v) { WriteBuffer(&v, 1); }

void Stream::WriteU16LE(std::uint16_t v) {
  const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  WriteBuffer(b, 2);
}

void Stream::WriteU32LE(std::uint32_t v) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  WriteBuffer(b, 4);
}

// --- MemoryStream ---

MemoryStream::MemoryStream(const void* bytes, std::size_t count)
    : data_(static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + count) {}

std::size_t MemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size()) return 0;
  const std::size_t n = std::min(count, data_.size() - position_);
  if (n > 0) std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t MemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (count > std::numeric_limits<std::size_t>::max() - position_) throw StreamError("Stream write error: too large");
  const std::size_t end = position_ + count;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (position_ == data_.size()) {
    // Appending: no zero fill before the copy.
    data_.insert(data_.end(), bytes, bytes + count);
  } else {
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, bytes, count);
  }
  position_ = end;
  return count;
}

void MemoryStream::Reserve(std::int64_t count) {
  if (count <= 0) return;
  const auto want = static_cast<std::uint64_t>(count) + position_;
  if (want > data_.max_size()) throw StreamError("Stream write error: too large");
  if (want > data_.capacity()) data_.reserve(static_cast<std::size_t>(want));
}

std::int64_t MemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == SeekOrigin::Current) base = static_cast<std::int64_t>(position_);
  if (origin == SeekOrigin::End) base = static_cast<std::int64_t>(data_.size());
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && offset > std::numeric_limits<std::int64_t>::max() - base))
    throw StreamError("Stream seek error: position out of range");
  position_ = static_cast<std::size_t>(base + offset);
  return static_cast<std::int64_t>(position_);
}

void MemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw StreamError("Stream size error: negative size");
  data_.resize(static_cast<std::size_t>(size));
  if (position_ > data_.size()) position_ = data_.size();
}

void MemoryStream::LoadFromFile(const std::string& path) {
  FileStream file(path, FileStream::Mode::Read);
  data_ = file.ReadAll();
  position_ = 0;
}

void MemoryStream::SaveToFile(const std::string& path) const { SavePictureFile(path, data_.data(), data_.size()); }

// --- FileStream ---

FileStream::FileStream(const std::string& path, Mode mode) : path_(path) {
  const char* how = mode == Mode::Read ? "rb" : mode == Mode::Create ? "w+b" : "r+b";
  file_ = std::fopen(path.c_str(), how);
  if (!file_) {
    const char* reason = std::strerror(errno);
    throw StreamError((mode == Mode::Create ? "Cannot create file \"" : "Cannot open file \"") + path + "\": " + reason);
  }
  // The system opens a folder for reading, and then gives it an absurd size
  // and no bytes.
  struct stat info;
  if (fstat(fileno(file_), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file_);
    file_ = nullptr;
    throw StreamError("Cannot open file \"" + path + "\": " + std::strerror(EISDIR));
  }
}

FileStream::~FileStream() {
  if (file_) std::fclose(file_);
}

std::size_t FileStream::Read(void* buffer, std::size_t count) {
  // C streams need a positioning call between a write and a read.
  if (lastWasWrite_) std::fseek(file_, 0, SEEK_CUR);
  lastWasWrite_ = false;
  lastWasRead_ = true;
  return std::fread(buffer, 1, count, file_);
}

std::size_t FileStream::Write(const void* buffer, std::size_t count) {
  if (lastWasRead_) std::fseek(file_, 0, SEEK_CUR);
  lastWasRead_ = false;
  lastWasWrite_ = true;
  return std::fwrite(buffer, 1, count, file_);
}

std::int64_t FileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  if (offset != 0 || origin != SeekOrigin::Current) {
    if (fseeko(file_, static_cast<off_t>(offset), whence) != 0)
      throw StreamError("Stream seek error in \"" + path_ + "\"");
    lastWasRead_ = lastWasWrite_ = false;
  }
  const off_t here = ftello(file_);
  if (here < 0) throw StreamError("Stream seek error in \"" + path_ + "\"");
  return static_cast<std::int64_t>(here);
}

std::int64_t FileStream::Size() {
  std::fflush(file_);
  return Stream::Size();
}

void FileStream::SetSize(std::int64_t size) {
  if (size < 0) throw StreamError("Stream size error: negative size");
  std::fflush(file_);
  if (ftruncate(fileno(file_), static_cast<off_t>(size)) != 0)
    throw StreamError("Cannot change the size of \"" + path_ + "\"");
  if (Position() > size) Seek(size, SeekOrigin::Begin);
}

void FileStream::Flush() {
  if (std::fflush(file_) != 0) throw StreamError("Stream write error in \"" + path_ + "\"");
}

}  // namespace platform

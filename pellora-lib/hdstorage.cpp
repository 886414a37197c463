#include "pellora-lib/hdstorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace pellora {

const std::string& HdStorage::Path() const {
  static const std::string none;
  return none;
}

bool HdStorage::Move(int64_t src, int64_t dst, int64_t len, std::vector<char>& buffer) {
  if (len <= 0 || src == dst) return true;
  const int64_t piece = std::max<int64_t>(1, static_cast<int64_t>(buffer.size()));
  if (buffer.empty()) buffer.resize(1);
  if (dst < src) {
    // Towards the front: front to back, so no byte is overwritten before read.
    for (int64_t done = 0; done < len;) {
      const int64_t n = std::min(piece, len - done);
      if (Read(src + done, buffer.data(), n) != n) return false;
      if (Write(dst + done, buffer.data(), n) != n) return false;
      done += n;
    }
  } else {
    for (int64_t left = len; left > 0;) {
      const int64_t n = std::min(piece, left);
      left -= n;
      if (Read(src + left, buffer.data(), n) != n) return false;
      if (Write(dst + left, buffer.data(), n) != n) return false;
    }
  }
  return true;
}

bool HdMemoryStorage::Reserve(int64_t size) {
  if (size <= capacity_) return true;
  // Geometric growth keeps many small appends linear.
  int64_t capacity = capacity_ > INT64_MAX / 2 ? size : std::max(size, capacity_ + capacity_ / 2);
  std::unique_ptr<char[]> fresh(new (std::nothrow) char[static_cast<size_t>(capacity)]);
  if (!fresh && capacity > size) {
    capacity = size;
    fresh.reset(new (std::nothrow) char[static_cast<size_t>(capacity)]);
  }
  if (!fresh) return false;
  if (size_ > 0) std::memcpy(fresh.get(), data_.get(), static_cast<size_t>(size_));
  data_ = std::move(fresh);
  capacity_ = capacity;
  return true;
}

bool HdMemoryStorage::SetSize(int64_t size) {
  if (size < 0) return false;
  if (size == 0) {
    data_.reset();
    size_ = capacity_ = 0;
    return true;
  }
  if (!Reserve(size)) return false;
  // Bytes that come into use are defined, whatever was there before.
  if (size > size_) std::memset(data_.get() + size_, 0, static_cast<size_t>(size - size_));
  size_ = size;
  return true;
}

char* HdMemoryStorage::Allocate(int64_t size) {
  if (size <= 0 || !Reserve(size)) return nullptr;
  size_ = size;
  return data_.get();
}

int64_t HdMemoryStorage::Read(int64_t pos, char* p, int64_t n) {
  if (pos < 0 || n <= 0 || pos >= size_) return 0;
  const int64_t count = std::min(n, size_ - pos);
  std::memcpy(p, data_.get() + pos, static_cast<size_t>(count));
  return count;
}

int64_t HdMemoryStorage::Write(int64_t pos, const char* p, int64_t n) {
  if (pos < 0 || n <= 0) return 0;
  if (pos > INT64_MAX - n) return 0;
  if (pos + n > size_) {
    if (!Reserve(pos + n)) return 0;
    if (pos > size_) std::memset(data_.get() + size_, 0, static_cast<size_t>(pos - size_));
    std::memcpy(data_.get() + pos, p, static_cast<size_t>(n));
    size_ = pos + n;
    return n;
  }
  std::memcpy(data_.get() + pos, p, static_cast<size_t>(n));
  return n;
}

bool HdMemoryStorage::Move(int64_t src, int64_t dst, int64_t len, std::vector<char>&) {
  if (len <= 0 || src == dst) return true;
  if (src < 0 || dst < 0 || src + len > size_) return false;
  if (dst + len > size_ && !SetSize(dst + len)) return false;
  std::memmove(data_.get() + dst, data_.get() + src, static_cast<size_t>(len));
  return true;
}

HdFileStorage::HdFileStorage(int fd, std::string path, int32_t kind, bool removeOnClose)
    : fd_(fd), path_(std::move(path)), kind_(kind), removeOnClose_(removeOnClose) {}

HdFileStorage::~HdFileStorage() {
  if (fd_ >= 0) ::close(fd_);
  if (removeOnClose_) ::unlink(path_.c_str());
}

int64_t HdFileStorage::Size() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

bool HdFileStorage::SetSize(int64_t size) {
  return size >= 0 && ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool HdFileStorage::Extend(int64_t size) {
  const int64_t now = Size();
  if (size <= now) return true;
  const int err = posix_fallocate(fd_, static_cast<off_t>(now), static_cast<off_t>(size - now));
  if (err == 0) return true;
  errno = err;
  SetSize(now);  // a partial reservation is given back
  return false;
}

int64_t HdFileStorage::Read(int64_t pos, char* p, int64_t n) {
  int64_t done = 0;
  while (done < n) {
    const ssize_t r = pread(fd_, p + done, static_cast<size_t>(n - done), static_cast<off_t>(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += r;
  }
  return done;
}

int64_t HdFileStorage::Write(int64_t pos, const char* p, int64_t n) {
  int64_t done = 0;
  while (done < n) {
    const ssize_t r = pwrite(fd_, p + done, static_cast<size_t>(n - done), static_cast<off_t>(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += r;
  }
  return done;
}

}  // namespace pellora

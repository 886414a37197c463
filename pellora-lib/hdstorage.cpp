#include "pellora-lib/hdstorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

bool HdMemoryStorage::SetSize(int64_t size) {
  if (size < 0) return false;
  try {
    data_.resize(static_cast<size_t>(size));
    if (size == 0) data_.shrink_to_fit();
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

int64_t HdMemoryStorage::Read(int64_t pos, char* p, int64_t n) {
  if (pos < 0 || n <= 0 || pos >= Size()) return 0;
  const int64_t count = std::min(n, Size() - pos);
  std::memcpy(p, data_.data() + pos, static_cast<size_t>(count));
  return count;
}

int64_t HdMemoryStorage::Write(int64_t pos, const char* p, int64_t n) {
  if (pos < 0 || n <= 0) return 0;
  if (pos > INT64_MAX - n) return 0;
  if (pos + n > Size() && !SetSize(pos + n)) return 0;
  std::memcpy(data_.data() + pos, p, static_cast<size_t>(n));
  return n;
}

bool HdMemoryStorage::Move(int64_t src, int64_t dst, int64_t len, std::vector<char>&) {
  if (len <= 0 || src == dst) return true;
  if (src < 0 || dst < 0 || src + len > Size()) return false;
  if (dst + len > Size() && !SetSize(dst + len)) return false;
  std::memmove(data_.data() + dst, data_.data() + src, static_cast<size_t>(len));
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

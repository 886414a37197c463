#include "platform/safesave.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <variant>
#include <vector>

#include "platform/stream.h"

namespace platform {

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;  // a write that takes nothing would spin for ever
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

// The name of a save's temporary file: hidden, beside the target, and
// carrying the writer's process number so that a later save can tell a file
// whose writer was killed from one that is still being written.
constexpr const char* kTempInfix = ".tmp";

std::string TempPrefix(const std::filesystem::path& target) {
  // Kept within the file system's name limit.
  return "." + target.filename().native().substr(0, 100) + kTempInfix;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

bool WritableByOthers(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

bool MayWrite(const std::filesystem::path& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return ::access(path.c_str(), W_OK) == 0;
}

std::string SystemReason(int error) { return std::strerror(error); }

// Where a save to path writes: path itself, or the file a chain of links
// there ends at; else why the save must not happen.
std::variant<std::filesystem::path, std::string> SaveTarget(const std::filesystem::path& path, SaveLinks links) {
  constexpr int kMaxLinks = 40;  // as the system itself follows
  const bool guarded = links == SaveLinks::OwnOnly;
  std::filesystem::path target = path;
  struct stat st {};
  int steps = 0;
  for (;; ++steps) {
    if (::lstat(target.c_str(), &st) != 0) {
      const int error = errno;
      if (error == ENOENT && steps == 0) return path;  // a new file
      if (error == ENOENT) return std::string("the symbolic link points at nothing");
      return SystemReason(error);
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (steps == kMaxLinks) return SystemReason(ELOOP);
    const std::filesystem::path dir = FolderOf(target);
    if (guarded) {
      // A link of another user, or one in a folder others may write to, may
      // have been planted there (one safe link to a planted one is no safer).
      struct stat dirSt {};
      if (::stat(dir.c_str(), &dirSt) != 0 || WritableByOthers(dirSt) || st.st_uid != ::geteuid())
        return std::string("a symbolic link that another user may have placed is not followed");
    }
    std::error_code ec;
    const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
    if (ec || next.empty()) return ec ? ec.message() : std::string("unreadable symbolic link");
    target = next.is_absolute() ? next : dir / next;
  }
  if (guarded && steps > 0 && st.st_uid != ::geteuid())
    return std::string("a symbolic link to another user's file is not followed");
  if (S_ISDIR(st.st_mode)) return std::string("it is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return std::string("it is not a regular file (a device or a pipe)");
  if (!MayWrite(target, st)) return std::string("the file is write-protected");
  return target;
}

// The writer's process number from what follows kTempInfix in a temporary
// file's name (<pid>_<counter>_<stamp>, digits only); 0 when the name is not
// of that form.
pid_t WriterOf(std::string_view rest) {
  int parts = 1;
  for (char c : rest) {
    if (c == '_') {
      ++parts;
    } else if (c < '0' || c > '9') {
      return 0;
    }
  }
  const size_t pidEnd = rest.find('_');
  if (parts != 3 || pidEnd == 0 || pidEnd > 9 || rest.back() == '_' || rest.find("__") != rest.npos) return 0;
  return static_cast<pid_t>(std::stol(std::string(rest.substr(0, pidEnd))));
}

// Removes the temporary files in dir whose writer is gone (killed in the
// middle of a save): names of our own pattern only, of one target when
// prefix is given (TempPrefix) or of any, only regular files of this user,
// never a file whose writer still runs.
void RemoveStale(const std::filesystem::path& dir, const std::string& prefix) {
  DIR* folder = ::opendir(dir.c_str());
  if (folder == nullptr) return;
  while (const struct dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    size_t restAt = 0;
    if (!prefix.empty()) {
      if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
      restAt = prefix.size();
    } else {
      // "." + the target's name (at least one character) + kTempInfix.
      const size_t infix = name.rfind(kTempInfix);
      if (name.size() < 2 || name[0] != '.' || infix == std::string_view::npos || infix < 2) continue;
      restAt = infix + std::string_view(kTempInfix).size();
      if (restAt >= name.size()) continue;
    }
    const pid_t pid = WriterOf(name.substr(restAt));
    if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    const std::filesystem::path file = dir / std::string(name);
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    ::unlink(file.c_str());
  }
  ::closedir(folder);
}

// Gives the temporary file the old file's owner, group and permission bits.
// The owner first: changing it clears the set-id bits that the mode then
// restores. An owner or group the process may not give is left as it is; the
// permission bits must take, or a private file would become readable.
bool TakeOver(int fd, const struct stat& old) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

}  // namespace

void RemoveStaleSaveFiles(const std::filesystem::path& dir) {
  if (!dir.empty()) RemoveStale(dir, std::string());
}

bool MayWritePath(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && MayWrite(path, st);
}

SaveResult SaveFileSafely(const std::filesystem::path& path, const SaveFill& fill, SaveLinks links) {
  if (path.empty()) return SaveResult::Failed("no file name");
  const auto resolved = SaveTarget(path, links);
  if (const auto* why = std::get_if<std::string>(&resolved)) return SaveResult::Failed(*why);
  const std::filesystem::path& target = std::get<std::filesystem::path>(resolved);
  const std::filesystem::path dir = FolderOf(target);
  // A folder that nobody may write to is read-only on purpose, also for the
  // superuser.
  struct stat dirSt {};
  if (::stat(dir.c_str(), &dirSt) != 0) return SaveResult::Failed(SystemReason(errno));
  if (!S_ISDIR(dirSt.st_mode)) return SaveResult::Failed(SystemReason(ENOTDIR));
  if (!MayWrite(dir, dirSt)) return SaveResult::Failed(SystemReason(EACCES) + " (its folder is write-protected)");
  RemoveStale(dir, TempPrefix(target));
  static std::atomic<unsigned> counter{0};
  const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  int fd = -1;
  std::filesystem::path temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir / (TempPrefix(target) + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1)) + "_" +
                  std::to_string((stamp + attempt) % 1000000));
    // 0666: the kernel takes the umask off for a new file.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return SaveResult::Failed(SystemReason(errno));
  }
  if (fd < 0) return SaveResult::Failed(SystemReason(EEXIST));
  int error = 0;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && !TakeOver(fd, old)) error = errno;
  if (error == 0) {
    errno = 0;
    if (!fill(fd)) error = errno != 0 ? errno : EIO;
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return SaveResult::Failed(SystemReason(error));
  }
  // Make the rename itself durable; a failure here no longer risks the data.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return SaveResult::Saved();
}

SaveResult SaveFileSafely(const std::filesystem::path& path, std::string_view bytes, SaveLinks links) {
  return SaveFileSafely(path, [bytes](int fd) { return WriteAll(fd, bytes); }, links);
}

bool SaveFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  return SaveFileSafely(path, bytes, SaveLinks::OwnOnly).Ok();
}

bool SaveFileAtomicallyWith(const std::filesystem::path& path, const SaveFill& fill) {
  return SaveFileSafely(path, fill, SaveLinks::OwnOnly).Ok();
}

namespace {

// A write to the temporary file failed; the system's reason, kept from errno.
struct WriteFailed {
  int error;
};

// The temporary file of a save as a stream that is written from start to
// end. Writes are gathered in a buffer, so encoders that write a byte or a
// field at a time cost no system call each; Flush writes what is left.
class SaveStream : public Stream {
 public:
  explicit SaveStream(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }
  std::size_t Read(void*, std::size_t) override { throw StreamError("A file being saved is not read"); }
  std::size_t Write(const void* data, std::size_t count) override {
    const auto* bytes = static_cast<const char*>(data);
    if (buffer_.size() + count > kBufferSize) Flush();
    if (count >= kBufferSize)
      Put(std::string_view(bytes, count));
    else
      buffer_.insert(buffer_.end(), bytes, bytes + count);
    position_ += static_cast<std::int64_t>(count);
    return count;
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    if (offset != 0 || origin != SeekOrigin::Current) throw StreamError("A file being saved is written in order");
    return position_;
  }
  std::int64_t Size() override { return position_; }
  void SetSize(std::int64_t) override { throw StreamError("A file being saved is written in order"); }
  void Flush() {
    Put(std::string_view(buffer_.data(), buffer_.size()));
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kBufferSize = std::size_t{64} << 10;
  void Put(std::string_view bytes) {
    if (!WriteAll(fd_, bytes)) throw WriteFailed{errno};
  }
  int fd_;
  std::int64_t position_ = 0;
  std::vector<char> buffer_;
};

}  // namespace

void SavePictureFileWith(const std::string& path, const std::function<void(Stream&)>& write) {
  std::exception_ptr failure;
  const SaveResult result = SaveFileSafely(
      std::filesystem::path(path),
      [&](int fd) {
        try {
          SaveStream stream(fd);
          write(stream);
          stream.Flush();
          return true;
        } catch (const WriteFailed& f) {
          errno = f.error;  // the save names the file and this reason
          return false;
        } catch (...) {
          failure = std::current_exception();
          return false;
        }
      },
      SaveLinks::Follow);
  if (failure) std::rethrow_exception(failure);
  if (!result) throw StreamError("Cannot create file \"" + path + "\": " + result.Reason());
}

void SavePictureFile(const std::string& path, const void* data, std::size_t size) {
  SavePictureFileWith(path, [&](Stream& file) { file.WriteBuffer(data, size); });
}

}  // namespace platform

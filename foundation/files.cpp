#include "foundation/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <system_error>

#include "platform/text.h"

namespace foundation {
namespace {

using platform::TrimBlanks;

bool IsPathType(int type) { return KindOf(type) == VarKind::Text; }

int64_t ToSeconds(const struct timespec& ts) { return static_cast<int64_t>(ts.tv_sec); }

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // a write that takes nothing would spin for ever
    done += static_cast<size_t>(n);
  }
  return true;
}

std::filesystem::path ToFsPath(const std::string& path) {
  return std::filesystem::path(platform::toQString(path).toStdString());
}

std::string FromFsPath(const std::filesystem::path& path) {
  return platform::fromQString(QString::fromStdString(path.native()));
}

bool FileExistsVar(const Variant& path, int nonEmpty) {
  try {
    if (!IsPathType(path.type())) return false;
    const std::string p = path.AsString();
    if (p.empty()) return false;
    std::error_code ec;
    const auto fs = ToFsPath(p);
    const auto st = std::filesystem::status(fs, ec);
    if (ec || !std::filesystem::exists(st) || std::filesystem::is_directory(st)) return false;
    if (nonEmpty == 1) {
      const auto size = std::filesystem::file_size(fs, ec);
      if (ec || size == 0) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool FindFileInfo(const Variant& path, FindData& data, int options) {
  if (!IsPathType(path.type())) return false;
  std::string p(TrimBlanks(path.AsString()));
  if (p.empty()) return false;
  struct stat st {};
  bool found = ::stat(ToFsPath(p).c_str(), &st) == 0;
  if (!found && p.size() > 1 && (p.back() == '/' || p.back() == '\\')) {
    p.pop_back();
    found = ::stat(ToFsPath(p).c_str(), &st) == 0;
  }
  if (!found) return false;
  const bool isDir = S_ISDIR(st.st_mode);
  if (p == "/") {
    // The root of the file system stands where a bare drive stood: directory
    // and volume label, nothing else filled in.
    data.attributes = faDirectory | faVolumeLabel;
  } else {
    uint32_t attributes = 0;
    if (isDir) attributes |= faDirectory;
    if (::access(ToFsPath(p).c_str(), W_OK) != 0) attributes |= faReadOnly;
    if (attributes == 0) attributes = faNormal;
    data.attributes = attributes;
    data.creationTime = ToSeconds(st.st_ctim);
    data.accessTime = ToSeconds(st.st_atim);
    data.writeTime = ToSeconds(st.st_mtim);
    // Directories report no size, as the callers know them.
    const uint64_t size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
    data.sizeHigh = static_cast<uint32_t>(size >> 32);
    data.sizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
    std::string bare = p;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    data.fileName = FromFsPath(ToFsPath(bare).filename());
  }
  const bool dirBit = (data.attributes & faDirectory) != 0;
  bool result = true;
  if ((options & ffoNoDirectory) && dirBit) result = false;
  if ((options & ffoOnlyDirectory) && !dirBit) result = false;
  if ((options & ffoNoEmptyDirectory) && dirBit && static_cast<uint64_t>(data.sizeHigh) + data.sizeLow == 0)
    result = false;
  if (!(options & ffoNoSwap)) std::swap(data.sizeHigh, data.sizeLow);
  return result;
}

bool ShellExec(const std::string& verb, const std::string& file, const std::string& directory,
               const std::string& parameters) {
  if (file.empty()) return false;
  if (!verb.empty() && verb != "open") return false;
  const QString qfile = platform::toQString(file);
  if (qfile.contains(QStringLiteral("://")) || qfile.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive))
    return QDesktopServices::openUrl(QUrl(qfile));
  QFileInfo info(qfile);
  if (info.isRelative() && !directory.empty()) info = QFileInfo(QDir(platform::toQString(directory)), qfile);
  if (!info.exists()) return false;
  if (info.isFile() && info.isExecutable()) {
    const QString dir = directory.empty() ? info.absolutePath() : platform::toQString(directory);
    return QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(platform::toQString(parameters)),
                                   dir);
  }
  return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

bool SaveFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return false;
  return SaveFileAtomically(ToFsPath(path), bytes);
}

bool SaveFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  return SaveFileAtomicallyWith(path, [bytes](int fd) { return WriteAll(fd, bytes); });
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

bool WritableByOthers(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

bool MayWrite(const std::filesystem::path& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return ::access(path.c_str(), W_OK) == 0;
}

// Where a save to path may write: path itself, or the file a link there
// points at. Nothing when the save must not happen: a link that someone else
// planted, or that sits in a folder others may write to, at any step of a
// chain of links (one safe link to a planted one is no safer); a link to
// nothing or to a file of another user; anything but a regular file; a file
// the user may not write.
std::optional<std::filesystem::path> SaveTarget(const std::filesystem::path& path) {
  constexpr int kMaxLinks = 40;  // as the system itself follows
  std::filesystem::path target = path;
  struct stat st {};
  int links = 0;
  for (;; ++links) {
    if (::lstat(target.c_str(), &st) != 0) {
      if (errno == ENOENT && links == 0) return path;  // a new file
      return std::nullopt;  // a link to nothing has no owner to check
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (links == kMaxLinks) return std::nullopt;
    const std::filesystem::path dir =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    struct stat dirSt {};
    if (::stat(dir.c_str(), &dirSt) != 0 || WritableByOthers(dirSt) || st.st_uid != ::geteuid())
      return std::nullopt;
    std::error_code ec;
    const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
    if (ec || next.empty()) return std::nullopt;
    target = next.is_absolute() ? next : dir / next;
  }
  if (links > 0 && st.st_uid != ::geteuid()) return std::nullopt;
  if (!S_ISREG(st.st_mode) || !MayWrite(target, st)) return std::nullopt;
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

}  // namespace

void RemoveStaleSaveFiles(const std::filesystem::path& dir) {
  if (!dir.empty()) RemoveStale(dir, std::string());
}

bool MayWritePath(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && MayWrite(path, st);
}

bool SaveFileAtomicallyWith(const std::filesystem::path& path, const std::function<bool(int fd)>& fill) {
  // errno tells the caller why a save failed; a refusal of our own that
  // no system call explains counts as a denied permission.
  errno = 0;
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  const std::optional<std::filesystem::path> resolved = SaveTarget(path);
  if (!resolved) {
    if (errno == 0) errno = EACCES;
    return false;
  }
  const std::filesystem::path& target = *resolved;
  const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  // A folder that nobody may write to is read-only on purpose, also for the
  // superuser.
  errno = 0;  // a new file's lookup left ENOENT behind
  if (!MayWritePath(dir)) {
    if (errno == 0) errno = EACCES;
    return false;
  }
  RemoveStale(dir, TempPrefix(target));
  static std::atomic<unsigned> counter{0};
  const auto stamp = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  int fd = -1;
  std::filesystem::path temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir / (TempPrefix(target) + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1)) + "_" +
                  std::to_string((stamp + attempt) % 1000000));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  bool ok = fill(fd) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int reason = errno;
    ::unlink(temp.c_str());
    errno = reason;
    return false;
  }
  // Make the rename itself durable; a failure here no longer risks the data.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  if (path.empty()) return false;
  return ReadWholeFile(ToFsPath(path), bytes);
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  bytes.clear();
  if (path.empty()) return false;
  // Non-blocking open and a regular-file check: a pipe or device in place of
  // a data file must not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  char buf[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}

}  // namespace foundation

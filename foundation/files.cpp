#include "foundation/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <cerrno>
#include <system_error>

#include "platform/text.h"

namespace foundation {
namespace {

using platform::TrimBlanks;

bool IsPathType(int type) { return KindOf(type) == VarKind::Text; }

int64_t ToSeconds(const struct timespec& ts) { return static_cast<int64_t>(ts.tv_sec); }

}  // namespace

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

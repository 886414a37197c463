#pragma once
// File tests, shell "open" and reading whole files. Files are saved by
// platform/safesave.h.
#include <cstdint>
#include <filesystem>
#include <string>

#include "foundation/variant.h"

namespace foundation {

// The file system path of a Windows-1252 path string (file names on disk are
// UTF-8), and back.
std::filesystem::path ToFsPath(const std::string& path);
std::string FromFsPath(const std::filesystem::path& path);

// Attribute bits of FindData.
enum FileAttr : uint32_t { faReadOnly = 1, faDirectory = 16, faVolumeLabel = 8, faNormal = 128 };

// What FindFileInfo reports about an entry. Unless option 64, sizeLow/sizeHigh
// are stored swapped, as the callers expect (see FindFileInfo).
struct FindData {
  uint32_t attributes = 0;
  int64_t creationTime = 0;  // seconds since the epoch
  int64_t accessTime = 0;
  int64_t writeTime = 0;
  uint32_t sizeHigh = 0;
  uint32_t sizeLow = 0;
  std::string fileName;  // name without directory
  // The 64-bit size whatever the word order in the record.
  uint64_t Size(bool swapped = true) const {
    return swapped ? (static_cast<uint64_t>(sizeLow) << 32) | sizeHigh
                   : (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  }
};

enum FindFileOptions : int {
  ffoNoDirectory = 1,  // false for a directory
  ffoOnlyDirectory = 2,  // false for anything but a directory
  ffoNoEmptyDirectory = 4,  // false for a directory of size 0
  ffoNoSwap = 64,  // keep the size words in their natural order
};

// True when path (a string variant; any other type or empty gives false)
// names an existing entry that is not a directory, and, when nonEmpty is 1,
// that is not empty. Never raises.
bool FileExistsVar(const Variant& path, int nonEmpty = 0);

// Looks the path (trimmed) up and fills data. A trailing "/" is retried
// without it. Options narrow the answer (FindFileOptions).
bool FindFileInfo(const Variant& path, FindData& data, int options = 0);

// Opens file with the desktop's handler, or starts it with the parameters
// when it is an executable (verb "open" or empty); any other verb fails.
// True when the request was handed over.
bool ShellExec(const std::string& verb, const std::string& file, const std::string& directory,
               const std::string& parameters);

// Reads a whole regular file; false when it cannot be read (a pipe or device
// is refused at once instead of blocking).
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes);

}  // namespace foundation

#pragma once
// The one way every file of the system is saved: settings, data files and
// pictures alike.
//
// The whole new content goes to a temporary file in the target's own folder;
// it is flushed to disk and renamed over the target. A failure at any point
// (the content cannot be produced, the disk is full, the rename fails) leaves
// the old file as it was and removes the temporary file. Temporary files that
// an earlier save to the same file left when it was killed are removed by the
// next save (RemoveStaleSaveFiles cleans a whole folder).
//
// An existing target keeps its permission bits and, where the process may
// change it, its owner and group. A new file gets 0666 less the process's
// umask: the temporary file is created with that mode and the kernel applies
// the umask, which is never changed (changing it races with every thread that
// creates a file).
//
// Refused, with nothing created or replaced: a target that is not a regular
// file (a device, a pipe, a folder), a target or folder the user may not
// write (a write-protected file stays as it is, also for the superuser), and
// a path that cannot be saved by the link rule below.
//
// Symbolic links, by SaveLinks:
// - Follow (pictures the user names): the link is followed to its final
//   target, which is replaced atomically there; the link stays a link, as
//   editors do. A link to nothing or a loop of links is refused.
// - OwnOnly (the program's settings and data files): a link is followed only
//   when it is the user's own and sits in a folder nobody else may write to,
//   at every step of a chain, and ends at a file of the user's own. A link
//   that someone else may have planted in a shared folder is not followed.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

class Stream;

enum class SaveLinks { Follow, OwnOnly };

// Writes the new content to the open temporary file fd; false on failure
// (errno then tells why, where the failure was the system's).
using SaveFill = std::function<bool(int fd)>;

// The outcome of a save: success, or the reason in plain words for the user.
class SaveResult {
 public:
  static SaveResult Saved() { return SaveResult(); }
  static SaveResult Failed(std::string reason) {
    SaveResult r;
    r.reason_ = reason.empty() ? "failed" : std::move(reason);
    return r;
  }
  bool Ok() const { return reason_.empty(); }
  explicit operator bool() const { return Ok(); }
  // Empty on success.
  const std::string& Reason() const { return reason_; }

 private:
  SaveResult() = default;
  std::string reason_;
};

SaveResult SaveFileSafely(const std::filesystem::path& path, const SaveFill& fill, SaveLinks links);
SaveResult SaveFileSafely(const std::filesystem::path& path, std::string_view bytes, SaveLinks links);

// The program's own settings and data files (SaveLinks::OwnOnly); false on
// any failure.
bool SaveFileAtomically(const std::filesystem::path& path, std::string_view bytes);
bool SaveFileAtomicallyWith(const std::filesystem::path& path, const SaveFill& fill);

// A picture file the user named (SaveLinks::Follow). Throws StreamError
// ("Cannot create file "<path>": <reason>") on any failure.
void SavePictureFile(const std::string& path, const void* data, std::size_t size);
// The same for a picture too large to hold twice: write streams the file's
// bytes in order (no seeking back) into the temporary file. An exception
// from write leaves the old file as it was and passes on.
void SavePictureFileWith(const std::string& path, const std::function<void(Stream&)>& write);

// Removes the temporary files that saves to any file in dir left behind when
// they were killed (a program's start calls it for its data folders). Only
// names a save gives its temporary file, only regular files of this user
// whose writer no longer runs; everything else stays.
void RemoveStaleSaveFiles(const std::filesystem::path& dir);

// Writes all of bytes to fd, going on after interrupted writes.
bool WriteAll(int fd, std::string_view bytes);

// Whether the user may write path (a file or a folder) by its permission
// bits. The superuser may write anything, but a file or folder that nobody
// may write was protected on purpose and counts as not writable.
bool MayWritePath(const std::filesystem::path& path);

}  // namespace platform

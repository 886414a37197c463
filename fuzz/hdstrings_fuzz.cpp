// Buffer-backed string list with its index file: a text file and an index
// file of the same time, the index damaged in any way. The list never claims
// more bytes than the file holds, its entries and their separators add up to
// the file, edits keep entries where a plain list of strings keeps them, and
// the list saves back the file byte for byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "foundation/files.h"
#include "pellora-lib/hdstrings.h"
#include "platform/msgbox.h"
#include "platform/safesave.h"

namespace {

std::string gDir;

bool Write(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = platform::WriteAll(fd, bytes);
  return ::close(fd) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest&) { return static_cast<int>(platform::IdOk); });
  const char* shm = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  gDir = std::string(shm) + "/veltrano-hdstrings-fuzz-" + std::to_string(::getpid());
  ::mkdir(gDir.c_str(), 0700);
  return 0;
}

// Input: the text's length (2 bytes, little-endian), the text, the index file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t textLength = std::min<size_t>(data[0] | (data[1] << 8), rest.size());
  const std::string_view text = rest.substr(0, textLength);
  const std::string_view index = rest.substr(textLength);

  const std::string textFile = gDir + "/List.txt";
  const std::string copyFile = gDir + "/Copy.txt";
  pellora::THdStrings probe;
  const std::string indexFile = probe.IndexFileName(textFile);
  FUZZ_REQUIRE(Write(textFile, text) && Write(indexFile, index));
  struct stat st {};
  FUZZ_REQUIRE(::stat(textFile.c_str(), &st) == 0);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  FUZZ_REQUIRE(::utimensat(AT_FDCWD, indexFile.c_str(), times, 0) == 0);

  {
    pellora::THdStrings list;
    FUZZ_REQUIRE(list.OpenFile(textFile, true));
    const int64_t used = list.Used();
    FUZZ_REQUIRE(used == static_cast<int64_t>(text.size()));
    std::vector<std::string> model;
    int64_t total = 0;
    for (int i = 0; i < list.Count(); ++i) {
      const pellora::THdStrings::IndexRecord& r = list.Record(i);
      FUZZ_REQUIRE(r.end <= used && r.end >= list.EntryStart(i));
      // An entry reads as a C string: up to its first NUL.
      const int64_t length = r.end - list.EntryStart(i) - ((r.flags & 1) ? 0 : 2);
      model.push_back(list.Get(i));
      FUZZ_REQUIRE(static_cast<int64_t>(model.back().size()) <= std::max<int64_t>(length, 0));
      total += r.end - list.EntryStart(i);
    }
    FUZZ_REQUIRE(total == used);
    FUZZ_REQUIRE(list.Count() == 0 || list.Record(list.Count() - 1).end == used);
    FUZZ_REQUIRE(list.SaveToString() == text);

    ::unlink(copyFile.c_str());
    FUZZ_REQUIRE(list.SaveFile(copyFile));
    std::string copy;
    FUZZ_REQUIRE(foundation::ReadWholeFile(copyFile, copy) && copy == text);

    // A few edits, followed in a plain list.
    std::string fresh(text.substr(0, std::min<size_t>(text.size(), 5)));
    fresh.resize(std::strlen(fresh.c_str()));
    list.Add(fresh);
    model.push_back(fresh);
    if (!model.empty() && (size & 1)) {
      list.Delete(0);
      model.erase(model.begin());
    }
    if (model.size() > 1) {
      list.Put(1, "put");
      model[1] = "put";
    }
    FUZZ_REQUIRE(list.Count() == static_cast<int>(model.size()));
    for (int i = 0; i < list.Count(); ++i)
      FUZZ_REQUIRE(list.Get(i) == model[static_cast<size_t>(i)]);
  }
  ::unlink(copyFile.c_str());
  ::unlink(indexFile.c_str());
  ::unlink(textFile.c_str());
  return 0;
}

#pragma once
// Fixtures shared by the foundation tests.
#include <sys/resource.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/test_support.h"

namespace foundation::testkit {

// Lets this process open no further file while the object lives, the way a
// file that cannot be read fails even for root: every open() meanwhile fails
// with EMFILE.
class ScopedNoMoreFiles {
 public:
  ScopedNoMoreFiles() {
    haveOld_ = ::getrlimit(RLIMIT_NOFILE, &old_) == 0;
    // The lowest free descriptor: every one below it is taken.
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (!haveOld_ || probe < 0) return;
    ::close(probe);
    struct rlimit none = old_;
    none.rlim_cur = static_cast<rlim_t>(probe);
    ok_ = ::setrlimit(RLIMIT_NOFILE, &none) == 0;
  }
  ~ScopedNoMoreFiles() {
    if (ok_) ::setrlimit(RLIMIT_NOFILE, &old_);
  }
  ScopedNoMoreFiles(const ScopedNoMoreFiles&) = delete;
  ScopedNoMoreFiles& operator=(const ScopedNoMoreFiles&) = delete;

  bool Active() const { return ok_; }

 private:
  struct rlimit old_ {};
  bool haveOld_ = false;
  bool ok_ = false;
};

}  // namespace foundation::testkit

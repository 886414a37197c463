#pragma once
// Fixtures shared by the foundation tests.
#include <sys/resource.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace foundation::testkit {

// Lets no file of this process grow beyond maxBytes while the object lives,
// the way a full disk stops a write half way: writes beyond the limit fail
// (the signal that would end the process is ignored meanwhile).
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t maxBytes) {
    haveOld_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_;
    small.rlim_cur = maxBytes;
    ok_ = haveOld_ && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~ScopedFileSizeLimit() {
    if (haveOld_) ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previous_);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  // False when the limit could not be set (the test cannot go on).
  bool Active() const { return ok_; }

 private:
  struct rlimit old_ {};
  void (*previous_)(int) = SIG_DFL;
  bool haveOld_ = false;
  bool ok_ = false;
};

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

#pragma once
// Fixtures shared by the foundation tests.
#include <sys/resource.h>

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

}  // namespace foundation::testkit

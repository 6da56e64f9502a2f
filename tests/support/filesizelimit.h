// Lowers the process's file-size limit for one test, so that writes past it really fail (EFBIG) even for root.
#pragma once

#include <csignal>
#include <sys/resource.h>

class ScopedFileSizeLimit {
public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform::instance {

std::string LockFolder(const std::string& fallback) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  return fallback;
}

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& path, Result& result, std::string* error) {
  auto fail = [&](const char* what) -> std::unique_ptr<InstanceLock> {
    result = Result::kFailed;
    if (error != nullptr) *error = std::string(what) + " " + path + ": " + std::strerror(errno);
    return nullptr;
  };
  int fd = -1;
  do {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail("cannot open the lock file");
  int rc = 0;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int why = errno;
    close(fd);
    errno = why;
    if (why == EWOULDBLOCK) {
      result = Result::kHeldElsewhere;
      return nullptr;
    }
    return fail("cannot lock");
  }
  result = Result::kAcquired;
  return std::unique_ptr<InstanceLock>(new InstanceLock(fd, path));
}

InstanceLock::~InstanceLock() {
  flock(fd_, LOCK_UN);
  close(fd_);
}

}  // namespace platform::instance

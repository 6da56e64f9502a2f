// One running copy of a program: an exclusive advisory lock (flock) on a lock file, taken once and atomically, so
// that of two copies started together exactly one gets it. The lock belongs to the open file, which is closed on
// exec and by the kernel when the process ends in any way: a crashed copy never leaves a stale lock behind.
#pragma once

#include <memory>
#include <string>

namespace platform::instance {

// The folder for the lock file: $XDG_RUNTIME_DIR when it names an absolute folder, else `fallback`.
std::string LockFolder(const std::string& fallback);

class InstanceLock {
public:
  enum class Result { kAcquired, kHeldElsewhere, kFailed };

  // Opens (creating it when missing, mode 0600) and locks the file without waiting. kHeldElsewhere: another open
  // file of the same lock file holds it (another copy, or an earlier lock of this process). kFailed: the file
  // cannot be opened or locked; `error` says why.
  static std::unique_ptr<InstanceLock> Acquire(const std::string& path, Result& result, std::string* error = nullptr);
  ~InstanceLock();  // releases the lock and closes the file (the file stays)
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  const std::string& path() const { return path_; }

private:
  InstanceLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

}  // namespace platform::instance

#include "core/widefile.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/vxsys.h"
#include "platform/fs.h"

namespace {

bool IsDrive(const std::u16string& component) {
  return component.size() == 2 && component[1] == u':' &&
         ((component[0] >= u'A' && component[0] <= u'Z') || (component[0] >= u'a' && component[0] <= u'z'));
}

}  // namespace

bool CreateFolderTreeW(const VXWideStr& path) {
  std::u16string p = path.IsEmpty() ? std::u16string() : std::u16string(path.c_wstr(), path.Length());
  if (!p.empty() && p.back() == u'\\') p.pop_back();
  if (p.empty()) return false;

  std::u16string built = p[0] == u'\\' ? u"\\" : u"";
  size_t start = built.size();
  bool first = true;
  while (start <= p.size()) {
    size_t end = p.find(u'\\', start);
    if (end == std::u16string::npos) end = p.size();
    std::u16string component = p.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    if (!built.empty() && built.back() != u'\\') built += u'\\';
    built += component;
    if (first && IsDrive(component)) {
      first = false;
      continue;
    }
    first = false;
    if (VXFolderIsExistW(built.c_str())) continue;
    if (mkdir(platform::fs::ToHostPath(std::u16string_view(built)).c_str(), 0755) != 0) return false;
  }
  return true;
}

namespace {

// 100-nanosecond intervals since 1601 against the Unix epoch.
constexpr std::uint64_t kEpochSeconds = 11644473600ULL;
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;

bool WriteTimeOfHost(const std::string& hostPath, FILETIME* out) {
  if (out == nullptr) return false;
  int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  close(fd);
  if (!ok) return false;
  const std::uint64_t ticks = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + kEpochSeconds) * kTicksPerSecond +
                              static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
  out->dwLowDateTime = static_cast<std::uint32_t>(ticks);
  out->dwHighDateTime = static_cast<std::uint32_t>(ticks >> 32);
  return true;
}

}  // namespace

bool GetFileWriteTimeW(const char16_t* path, FILETIME* out) {
  return path != nullptr && WriteTimeOfHost(platform::fs::ToHostPath(std::u16string_view(path)), out);
}

bool GetFileWriteTimeA(const char* path, FILETIME* out) {
  return path != nullptr && WriteTimeOfHost(platform::fs::ToHostPath(std::string_view(path)), out);
}

bool SetFileWriteTimeA(const char* path, const FILETIME& time) {
  if (path == nullptr) return false;
  const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const std::int64_t seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond) - static_cast<std::int64_t>(kEpochSeconds);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time untouched
  times[1].tv_sec = seconds;
  times[1].tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
  return utimensat(AT_FDCWD, platform::fs::ToHostPath(std::string_view(path)).c_str(), times, 0) == 0;
}

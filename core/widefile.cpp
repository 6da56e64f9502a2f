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

bool GetFileWriteTimeW(const char16_t* path, FILETIME* out) {
  if (path == nullptr || out == nullptr) return false;
  int fd = open(platform::fs::ToHostPath(std::u16string_view(path)).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  close(fd);
  if (!ok) return false;
  // From the Unix epoch to intervals of 100 ns since 1601.
  const std::uint64_t ticks = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + 11644473600ULL) * 10000000ULL +
                              static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
  out->dwLowDateTime = static_cast<std::uint32_t>(ticks);
  out->dwHighDateTime = static_cast<std::uint32_t>(ticks >> 32);
  return true;
}

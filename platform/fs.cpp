#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"

namespace platform::fs {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string UpperAscii(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return u;
}

// Splits at either separator, keeping empty components out.
std::vector<std::string_view> Components(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      if (i > start) parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool HasDrive(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

// Cached scans: folder -> (upper-cased name -> names on the disk, sorted), valid while the folder's mtime holds.
struct Scan {
  timespec mtime{};
  std::multimap<std::string, std::string> byUpper;
};

struct Cache {
  std::mutex lock;
  std::map<std::string, Scan> scans;
};

Cache& TheCache() {
  static Cache c;
  return c;
}

bool ReadFolder(const std::string& folder, std::vector<std::string>& names) {
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return false;
  while (dirent* e = readdir(d)) {
    std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
  }
  closedir(d);
  return true;
}

// The name on the disk of `component` inside `folder`, found without regard to ASCII case; empty when absent.
std::string FindInFolder(const std::string& folder, const std::string& component) {
  struct stat st;
  if (stat((folder + "/" + component).c_str(), &st) == 0) return component;  // exact case exists
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};

  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  Scan& scan = cache.scans[folder];
  if (scan.mtime.tv_sec != st.st_mtim.tv_sec || scan.mtime.tv_nsec != st.st_mtim.tv_nsec || scan.byUpper.empty()) {
    std::vector<std::string> names;
    scan.byUpper.clear();
    scan.mtime = st.st_mtim;
    if (ReadFolder(folder, names)) {
      std::sort(names.begin(), names.end());
      for (auto& n : names) scan.byUpper.emplace(UpperAscii(n), n);
    }
  }
  auto it = scan.byUpper.find(UpperAscii(component));
  return it == scan.byUpper.end() ? std::string() : it->second;
}

std::string Resolve(std::string_view utf8Name) {
  const bool absolute = !utf8Name.empty() && IsSeparator(utf8Name[0]);
  std::string path = absolute ? "" : ".";
  std::string result = absolute ? "/" : "";
  bool found = true;  // while every component so far exists, keep matching
  for (std::string_view part : Components(utf8Name)) {
    std::string component(part);
    if (found && component != "." && component != "..") {
      std::string onDisk = FindInFolder(path.empty() ? "/" : path, component);
      if (onDisk.empty()) found = false;
      else component = onDisk;
    }
    path += "/" + component;
    if (!result.empty() && result.back() != '/') result += '/';
    result += component;
  }
  if (result.empty()) result = absolute ? "/" : ".";
  return result;
}

}  // namespace

std::string ToHostPath(std::string_view windowsName) { return Resolve(text::Cp932ToUtf8(windowsName)); }

std::string ToHostPath(std::u16string_view windowsName) { return Resolve(text::Utf16ToUtf8(windowsName)); }

std::string ToWindowsName(std::string_view hostPath) {
  std::u16string wide = text::Utf8ToUtf16(hostPath);
  for (char16_t& c : wide)
    if (c == u'/') c = u'\\';
  return text::Utf16ToCp932Lossy(wide);
}

bool IsSafeDataName(std::string_view windowsName) {
  if (windowsName.empty()) return false;
  if (IsSeparator(windowsName[0]) || HasDrive(windowsName)) return false;
  // Judged in the form the host sees: the second byte of a double-byte character may be 0x5C and is no separator.
  const std::string utf8 = text::Cp932ToUtf8(windowsName);
  for (std::string_view part : Components(utf8))
    if (part == "..") return false;
  return true;
}

std::vector<Entry> ListFolder(const std::string& hostFolder) {
  std::vector<std::string> names;
  std::vector<Entry> entries;
  if (!ReadFolder(hostFolder, names)) return entries;
  // The sort key of each entry is worked out once, not at every comparison (each is an iconv conversion).
  std::vector<std::pair<std::string, Entry>> keyed;
  for (auto& n : names) {
    struct stat st;
    if (stat((hostFolder + "/" + n).c_str(), &st) != 0) continue;
    // Upper-cased before the conversion: a trail byte of the CP932 form may look like a lower-case letter.
    const std::string upper = UpperAscii(n);
    std::string key = text::Utf8ToCp932(upper).value_or(upper);
    keyed.push_back({std::move(key), {n, S_ISDIR(st.st_mode), S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size)}});
  }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
  });
  entries.reserve(keyed.size());
  for (auto& k : keyed) entries.push_back(std::move(k.second));
  return entries;
}

void ClearCache() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  cache.scans.clear();
}

}  // namespace platform::fs

namespace platform::fs {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Makes the rename itself durable; a folder that cannot be synced does not undo the replacement.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& hostPath, std::string_view bytes) {
  const size_t slash = hostPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : hostPath.substr(0, slash);
  const std::string base = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
  if (base.empty()) return ReplaceResult::CannotCreate;
  std::string temp = folder + "/." + base + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return ReplaceResult::CannotCreate;

  struct stat old;
  mode_t mode = 0644;
  if (::stat(hostPath.c_str(), &old) == 0) mode = old.st_mode & 07777;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), hostPath.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return ReplaceResult::WriteFailed;
  }
  SyncFolder(folder);
  return ReplaceResult::Done;
}

}  // namespace platform::fs

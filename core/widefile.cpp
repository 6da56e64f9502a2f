#include "core/widefile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

#include "core/vxstream.h"
#include "core/vxstrlist.h"
#include "core/vxsys.h"
#include "platform/fs.h"
#include "platform/text.h"

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

bool SetWriteTimeOfHost(const std::string& hostPath, const FILETIME& time) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const std::int64_t seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond) - static_cast<std::int64_t>(kEpochSeconds);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time untouched
  times[1].tv_sec = seconds;
  times[1].tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
  return utimensat(AT_FDCWD, hostPath.c_str(), times, 0) == 0;
}

}  // namespace

bool GetFileWriteTimeW(const char16_t* path, FILETIME* out) {
  return path != nullptr && WriteTimeOfHost(platform::fs::ToHostPath(std::u16string_view(path)), out);
}

bool GetFileWriteTimeA(const char* path, FILETIME* out) {
  return path != nullptr && WriteTimeOfHost(platform::fs::ToHostPath(std::string_view(path)), out);
}

bool SetFileWriteTimeA(const char* path, const FILETIME& time) {
  return path != nullptr && SetWriteTimeOfHost(platform::fs::ToHostPath(std::string_view(path)), time);
}

bool SetFileWriteTimeW(const char16_t* path, const FILETIME& time) {
  return path != nullptr && SetWriteTimeOfHost(platform::fs::ToHostPath(std::u16string_view(path)), time);
}

bool FileTimeToLocalDosDateTime(const FILETIME& time, std::uint16_t* date, std::uint16_t* dosTime) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const std::time_t seconds =
      static_cast<std::time_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) - static_cast<std::int64_t>(kEpochSeconds));
  tzset();  // the zone as the environment names it now
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return false;
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return false;
  if (date != nullptr)
    *date = static_cast<std::uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  if (dosTime != nullptr)
    *dosTime = static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return true;
}

// ---- TFileStreamW

namespace {

struct OpenRule {
  int flags;
  bool truncate;  // after the lock is held, so that a refused open changes nothing
};

// Returns false for an access value that opens nothing.
bool RuleFor(std::uint16_t mode, OpenRule& rule, int& lock) {
  if (mode == fmCreate) {
    rule = {O_RDWR | O_CREAT, true};
    lock = LOCK_EX;
    return true;
  }
  static const OpenRule kAccess[] = {{O_RDONLY, false}, {O_WRONLY, true}, {O_RDWR, false}};
  const unsigned access = mode & 0x0F;
  if (access > 2) return false;
  rule = kAccess[access];
  const unsigned share = mode & 0xF0;
  const bool shared = share == fmShareCompat || share == fmShareDenyWrite || share == fmShareDenyRead ||
                      share == fmShareDenyNone;
  lock = shared ? LOCK_SH : LOCK_EX;
  return true;
}

int OpenFile(const char16_t* name, std::uint16_t mode) {
  OpenRule rule;
  int lock;
  if (name == nullptr || *name == u'\0' || !RuleFor(mode, rule, lock)) return -1;
  const std::string host = platform::fs::ToHostPath(std::u16string_view(name));
  const int fd = ::open(host.c_str(), rule.flags | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || flock(fd, lock | LOCK_NB) != 0 ||
      (rule.truncate && ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TFileStreamW::TFileStreamW(const VXWideStr& name, std::uint16_t mode) : TFileStreamW(name.c_wstr(), mode) {}

TFileStreamW::TFileStreamW(const char16_t* name, std::uint16_t mode) : fd_(OpenFile(name, mode)) {
  if (fd_ < 0)
    throw Classes::EFOpenError(platform::text::Utf16ToCp932Lossy(name == nullptr ? u"" : std::u16string_view(name)));
}

TFileStreamW::~TFileStreamW() {
  if (fd_ >= 0) ::close(fd_);
}

int TFileStreamW::Read(void* buffer, int count) {
  if (count <= 0) return 0;
  ssize_t n;
  do n = ::read(fd_, buffer, count);
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<int>(n);
}

int TFileStreamW::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  ssize_t n;
  do n = ::write(fd_, buffer, count);
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<int>(n);
}

std::int64_t TFileStreamW::Seek(std::int64_t offset, Classes::TSeekOrigin origin) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < Classes::soBeginning || origin > Classes::soEnd) return 0;
  const off_t r = ::lseek(fd_, offset, kWhence[origin]);
  return r < 0 ? 0 : r;
}

void TFileStreamW::SetSize(std::int64_t size) {
  if (size >= 0 && ::lseek(fd_, size, SEEK_SET) == size) (void)ftruncate(fd_, size);
}

// ---- TIniSection

namespace {

// The key of a line: the bytes before its first '='; false when there is none.
bool KeyOfLine(const VXString& line, VXString& key) {
  const int equals = line.Pos("=");
  if (equals == 0) return false;
  key = line.SubString(1, equals - 1);
  return true;
}

bool SameKey(const VXString& a, const VXString& b) {
  return a.Length() == b.Length() && a.UpperCase().GetConstStr() == b.UpperCase().GetConstStr();
}

// CR, LF or NUL (a NUL inside the string's length) would split or end a line of the file.
bool BreaksLine(const VXString& s) {
  const std::string_view bytes(s.c_str(), s.Length());
  return bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The section name of a header line "[name]": the line without its first character and its last one. A final ']'
// is taken as a byte, so that a name ending in a stray lead byte reads back as it was written.
bool SectionName(const VXString& line, VXString& name) {
  if (line.IsEmpty() || line[1] != '[') return false;
  if (line[line.Length()] == ']' && line.Length() >= 2) {
    name = line.SubString(2, line.Length() - 2);
    return true;
  }
  int last = 1;
  int characters = 0;
  for (int i = 1; i <= line.Length(); i += platform::text::IsCp932LeadByte(line[i]) ? 2 : 1) {
    last = i;
    ++characters;
  }
  if (characters < 2) return false;
  name = line.SubString(2, last - 2);
  return true;
}

}  // namespace

int TIniSection::Find(const VXString& key) const {
  for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
    VXString lineKey;
    if (KeyOfLine(lines_[i], lineKey) && SameKey(lineKey, key)) return i;
  }
  return -1;
}

bool TIniSection::GetValue(const VXString& key, VXString& value) const {
  const int i = Find(key);
  if (i < 0) return false;
  const VXString& line = lines_[i];
  const int equals = line.Pos("=");
  value = line.SubString(equals + 1, line.Length() - equals);
  return true;
}

void TIniSection::SetValue(const VXString& key, const VXString& value) {
  const int i = Find(key);
  if (value.IsEmpty()) {
    if (i >= 0) lines_.erase(lines_.begin() + i);
    return;
  }
  VXString line = key + "=" + value;
  if (i >= 0) lines_[i] = line;
  else lines_.push_back(line);
}

// ---- TIniFileW

TIniFileW::TIniFileW(const VXWideStr& path) : path_(path) {
  if (path.IsEmpty() || !VXFileIsExistW(path.c_wstr())) return;
  TFileStreamW stream(path, fmOpenRead | fmShareExclusive);
  Load(&stream);
}

TIniFileW::~TIniFileW() {
  if (!modified_ || path_.IsEmpty()) return;
  try {
    UpdateFile();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Settings not saved: %s\n", e.what());
  }
}

void TIniFileW::Load(Classes::TStream* stream) {
  sections_.clear();
  if (stream == nullptr) return;
  T2VXStream source(stream);
  VXStringList lines;
  lines.LoadFromStream(&source);
  TIniSection* current = nullptr;
  for (int i = 0; i < lines.GetCount(); ++i) {
    const VXString line = lines.GetString(i);
    if (line.IsEmpty()) continue;
    VXString name;
    if (SectionName(line, name)) {
      sections_.push_back(std::make_unique<TIniSection>(name));
      current = sections_.back().get();
    } else if (current != nullptr) {
      current->AddLine(line);
    }
  }
}

TIniSection* TIniFileW::FindSection(const VXString& name) const {
  for (const auto& section : sections_)
    if (section->GetName().GetConstStr() == name.GetConstStr()) return section.get();
  return nullptr;
}

VXString TIniFileW::ReadString(const VXString& section, const VXString& key, const VXString& def) const {
  const TIniSection* found = FindSection(section);
  VXString value;
  if (found == nullptr || !found->GetValue(key, value) || value.IsEmpty()) return def;
  return value;
}

bool TIniFileW::WriteString(const VXString& section, const VXString& key, const VXString& value) {
  if (BreaksLine(section) || BreaksLine(key) || BreaksLine(value) || key.Pos("=") != 0 ||
      (!key.IsEmpty() && key[1] == '['))
    return false;
  TIniSection* found = FindSection(section);
  if (found == nullptr) {
    sections_.push_back(std::make_unique<TIniSection>(section));
    found = sections_.back().get();
  }
  found->SetValue(key, value);
  modified_ = true;
  return true;
}

std::string TIniFileW::GetText() const {
  std::string text;
  for (const auto& section : sections_) {
    text.append("[").append(section->GetName().c_str(), section->GetName().Length()).append("]\r\n");
    for (const VXString& line : section->GetLines()) text.append(line.c_str(), line.Length()).append("\r\n");
  }
  return text;
}

void TIniFileW::UpdateFile() {
  const std::string name = platform::text::Utf16ToCp932Lossy(std::u16string_view(path_.c_wstr(), path_.Length()));
  if (path_.IsEmpty()) throw Classes::EFOpenError(name);
  switch (platform::fs::ReplaceFile(platform::fs::ToHostPath(std::u16string_view(path_.c_wstr())), GetText())) {
    case platform::fs::ReplaceResult::Done: modified_ = false; return;
    case platform::fs::ReplaceResult::CannotCreate: throw Classes::EFOpenError(name);
    case platform::fs::ReplaceResult::WriteFailed: throw Classes::EWriteError(name);
  }
}

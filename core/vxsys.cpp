#include "core/vxsys.h"

#include <algorithm>
#include <string>
#include <sys/stat.h>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

// What the path functions need to know of each string type.
template <class S>
struct Path;

template <>
struct Path<VXString> {
  using Ch = char;
  static bool IsSecondUnit(const VXString& s, int i) { return s.ByteType(i) == 2; }
  static VXString Of(const char* ascii) { return VXString(ascii); }
};

template <>
struct Path<VXWideStr> {
  using Ch = char16_t;
  static bool IsSecondUnit(const VXWideStr& s, int i) { return s.CodeType(i) == 2; }
  static VXWideStr Of(const char* ascii) {
    std::u16string w(ascii, ascii + std::char_traits<char>::length(ascii));
    return VXWideStr(w.c_str());
  }
};

// The constant texts of the path functions, built once per string type rather than on every call. Never destroyed,
// so that paths worked on during static destruction still find them.
template <class S>
struct PathTexts {
  const S backslash = Path<S>::Of("\\");
  const S separators = Path<S>::Of("\\:");
  const S extOrSeparators = Path<S>::Of(".\\:");
  const S parent = Path<S>::Of("..\\");
};

template <class S>
const PathTexts<S>& Texts() {
  static const auto* texts = new PathTexts<S>;
  return *texts;
}

template <class S>
bool IsLetter(const S& s, int i) {
  auto c = s[i];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

template <class S>
bool EndsWithBackslash(const S& s) {
  return s.Length() > 0 && s.IsPathDelimiter(s.Length());
}

// Length of the root that starts an absolute path: 3 for "X:\", 1 for the host root "\" (not "\\"), else 0.
template <class S>
int RootLength(const S& s) {
  if (s.Length() >= 3 && IsLetter(s, 1) && s[2] == ':' && s[3] == '\\') return 3;
  if (s.Length() >= 1 && s[1] == '\\' && (s.Length() == 1 || s[2] != '\\')) return 1;
  return 0;
}

template <class S>
S WithBackslash(S s) {
  if (s.Length() > 3 && !EndsWithBackslash(s)) s += Texts<S>().backslash;
  return s;
}

template <class S>
S ExtractFilePath(const S& path) {
  return path.SubString(1, path.LastDelimiter(Texts<S>().separators));
}

template <class S>
S ExtractFileDir(const S& path) {
  int i = path.LastDelimiter(Texts<S>().separators);
  if (i > 1 && path.IsDelimiter(Texts<S>().backslash, i)) {
    auto before = path[i - 1];
    bool keep = (before == '\\' || before == ':') && !Path<S>::IsSecondUnit(path, i - 1);
    if (!keep) --i;
  }
  return path.SubString(1, i);
}

template <class S>
S ExtractFileDrive(const S& path) {
  if (path.Length() >= 2 && path[2] == ':') return path.SubString(1, 2);
  if (path.Length() >= 2 && path[1] == '\\' && path[2] == '\\') {
    // \\server\share: up to the second backslash after the leading pair.
    int seen = 0, i = 3;
    for (; i <= path.Length(); ++i)
      if (path.IsPathDelimiter(i) && ++seen == 2) break;
    return path.SubString(1, i - 1);
  }
  return S();
}

template <class S>
S ExtractFileName(const S& path) {
  int i = path.LastDelimiter(Texts<S>().separators);
  return path.SubString(i + 1, path.Length() - i);
}

template <class S>
S ExtractFileExt(const S& path) {
  int i = path.LastDelimiter(Texts<S>().extOrSeparators);
  if (i > 0 && path[i] == '.') return path.SubString(i, path.Length() - i + 1);
  return S();
}

template <class S>
S ChangeFileExt(const S& path, const S& ext) {
  int i = path.LastDelimiter(Texts<S>().extOrSeparators);
  if (i == 0 || path[i] != '.') i = path.Length() + 1;
  return path.SubString(1, i - 1) + ext;
}

template <class S>
bool SameRoot(const S& a, const S& b, int root) {
  if (root == 1) return true;
  auto up = [](auto c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; };
  return up(a[1]) == up(b[1]);
}

template <class S>
S AbsToRelPath(const S& pathIn, const S& baseIn) {
  S path = WithBackslash(pathIn), base = WithBackslash(baseIn);
  const int root = RootLength(path);
  S result;
  if (root == 0 || RootLength(base) != root || (root == 3 && (path.Length() < 4 || base.Length() < 4)) ||
      !SameRoot(path, base, root)) {
    result = path;
  } else {
    int after = root + 1;  // just after the last backslash the two share
    const int shorter = std::min(path.Length(), base.Length());
    // Only real separators count: the second byte of a double-byte character may be 0x5C too.
    for (int i = root + 1; i <= shorter && path[i] == base[i]; ++i)
      if (path.IsPathDelimiter(i)) after = i + 1;
    for (int i = after; i <= base.Length(); ++i)
      if (base.IsPathDelimiter(i)) result += Texts<S>().parent;
    result += path.SubString(after, path.Length() - after + 1);
  }
  if (!result.IsEmpty() && !EndsWithBackslash(result)) result += Texts<S>().backslash;
  return result;
}

// A folder name without its final backslash; the backslash of a drive root ("C:\\") stays.
template <class S>
S WithoutFinalBackslash(const S& r) {
  const int n = r.Length();
  if (n > 0 && r[n] == '\\' && !(n > 1 && r[n - 1] == ':')) return r.SubString(1, n - 1);
  return r;
}

template <class S>
S AbsToRelDir(const S& path, const S& base) {
  return WithoutFinalBackslash(AbsToRelPath(path, base));
}

template <class S>
S RelToAbsPath(const S& relIn, const S& baseIn) {
  S rel = WithBackslash(relIn), base = WithBackslash(baseIn);
  S result;
  if (rel.IsEmpty()) {
    result = base;
  } else if (base.IsEmpty() || (rel.Length() >= 2 && IsLetter(rel, 1) && rel[2] == ':')) {
    result = rel;
  } else {
    // Leading ".." groups of rel, each after an optional backslash.
    int up = 0, i = 1;
    for (;;) {
      if (i <= rel.Length() && rel[i] == '\\') ++i;
      if (i + 1 <= rel.Length() && rel[i] == '.' && rel[i + 1] == '.') {
        ++up;
        i += 2;
      } else {
        break;
      }
    }
    const S rest = rel.SubString(i, rel.Length() - i + 1);

    const int root = RootLength(base);
    S start = base.SubString(1, root);
    int first = root + 1;  // the walk covers base[first .. end], a final backslash excluded
    int end = base.Length();
    if (end >= first && base[end] == '\\') --end;
    int keep = end;  // kept part is base[first .. keep]
    for (int k = end; up > 0 && k >= first; --k) {
      if (base.IsPathDelimiter(k) && --up == 0) keep = k - 1;
    }
    if (up > 0) {  // running past the start costs one more
      --up;
      keep = first - 1;
    }
    if (up > 0) {
      result = rel;
    } else {
      S kept = base.SubString(first, keep - first + 1);
      result = start + kept;
      if (!kept.IsEmpty()) result += Texts<S>().backslash;
      result += rest;
    }
  }
  if (!result.IsEmpty() && !EndsWithBackslash(result)) result += Texts<S>().backslash;
  return result;
}

bool StatHost(const std::string& host, bool wantFolder) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) == wantFolder;
}

std::uint32_t Clamp32(std::uint64_t v) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, UINT32_MAX)); }

VXWideStr WideOf(const std::string& utf8) { return VXWideStr(platform::text::Utf8ToUtf16(utf8).c_str()); }

VXWideStr WideWindowsName(const std::string& hostPath) {
  std::u16string w = platform::text::Utf8ToUtf16(hostPath);
  std::replace(w.begin(), w.end(), u'/', u'\\');
  return VXWideStr(w.c_str());
}

std::string HostOf(const VXWideStr& s) { return platform::fs::ToHostPath(std::u16string_view(s.c_wstr())); }
std::string HostOf(const VXString& s) { return platform::fs::ToHostPath(std::string_view(s.c_str(), s.Length())); }

}  // namespace

std::uint32_t VXTotalPhysicalMemory() { return Clamp32(platform::process::Memory().totalPhysical); }
std::uint32_t VXAvailPhysicalMemory() { return Clamp32(platform::process::Memory().availPhysical); }
std::uint32_t VXTotalVirtualMemory() { return Clamp32(platform::process::Memory().totalVirtual); }
std::uint32_t VXAvailVirtualMemory() { return Clamp32(platform::process::Memory().availVirtual); }

std::uintptr_t VXCallSiteOf(void* returnAddress) {
#if defined(__x86_64__) || defined(__i386__)
  return reinterpret_cast<std::uintptr_t>(returnAddress) - 5;  // a near call is five bytes
#else
  return reinterpret_cast<std::uintptr_t>(returnAddress);
#endif
}

VXString VXGetCurrentDirA() {
  std::string dir = platform::process::CurrentDirectory();
  return dir.empty() ? VXString() : VXString(platform::fs::ToWindowsName(dir).c_str());
}
VXWideStr VXGetCurrentDirW() { return WideWindowsName(platform::process::CurrentDirectory()); }
bool VXSetCurrentDirA(const VXString& dir) { return !dir.IsEmpty() && platform::process::SetCurrentDirectory(HostOf(dir)); }
bool VXSetCurrentDirW(const VXWideStr& dir) { return !dir.IsEmpty() && platform::process::SetCurrentDirectory(HostOf(dir)); }

int VXParamCount() { return std::max(0, static_cast<int>(platform::process::CommandLine().size()) - 1); }

VXString VXParamStrA(int n) {
  const auto& args = platform::process::CommandLine();
  if (n < 0 || n >= static_cast<int>(args.size())) return VXString();
  return VXString(platform::text::Utf16ToCp932Lossy(platform::text::Utf8ToUtf16(args[n])).c_str());
}

VXWideStr VXParamStrW(int n) {
  const auto& args = platform::process::CommandLine();
  if (n < 0 || n >= static_cast<int>(args.size())) return VXWideStr();
  return WideOf(args[n]);
}

VXString VXGetExePathA() {
  std::string exe = platform::process::ExecutablePath();
  return exe.empty() ? VXString() : VXString(platform::fs::ToWindowsName(exe).c_str());
}
VXWideStr VXGetExePathW() { return WideWindowsName(platform::process::ExecutablePath()); }

VXString VXExtractFilePathA(const VXString& p) { return ExtractFilePath(p); }
VXWideStr VXExtractFilePathW(const VXWideStr& p) { return ExtractFilePath(p); }
VXString VXExtractFileDirA(const VXString& p) { return ExtractFileDir(p); }
VXWideStr VXExtractFileDirW(const VXWideStr& p) { return ExtractFileDir(p); }
VXString VXExtractFileDriveA(const VXString& p) { return ExtractFileDrive(p); }
VXWideStr VXExtractFileDriveW(const VXWideStr& p) { return ExtractFileDrive(p); }
VXString VXExtractFileNameA(const VXString& p) { return ExtractFileName(p); }
VXWideStr VXExtractFileNameW(const VXWideStr& p) { return ExtractFileName(p); }
VXString VXExtractFileExtA(const VXString& p) { return ExtractFileExt(p); }
VXWideStr VXExtractFileExtW(const VXWideStr& p) { return ExtractFileExt(p); }
VXString VXChangeFileExtA(const VXString& p, const VXString& e) { return ChangeFileExt(p, e); }
VXWideStr VXChangeFileExtW(const VXWideStr& p, const VXWideStr& e) { return ChangeFileExt(p, e); }
VXString VXAbsToRelPathA(const VXString& p, const VXString& b) { return AbsToRelPath(p, b); }
VXWideStr VXAbsToRelPathW(const VXWideStr& p, const VXWideStr& b) { return AbsToRelPath(p, b); }
VXString VXAbsToRelDirA(const VXString& p, const VXString& b) { return AbsToRelDir(p, b); }
VXWideStr VXAbsToRelDirW(const VXWideStr& p, const VXWideStr& b) { return AbsToRelDir(p, b); }
VXString VXAbsToRelPathNameA(const VXString& p, const VXString& b) {
  return AbsToRelPath(ExtractFilePath(p), b) + ExtractFileName(p);
}
VXWideStr VXAbsToRelPathNameW(const VXWideStr& p, const VXWideStr& b) {
  return AbsToRelPath(ExtractFilePath(p), b) + ExtractFileName(p);
}
VXString VXRelToAbsPathA(const VXString& r, const VXString& b) { return RelToAbsPath(r, b); }
VXWideStr VXRelToAbsPathW(const VXWideStr& r, const VXWideStr& b) { return RelToAbsPath(r, b); }
VXString VXRelToAbsDirA(const VXString& r, const VXString& b) { return WithoutFinalBackslash(RelToAbsPath(r, b)); }
VXWideStr VXRelToAbsDirW(const VXWideStr& r, const VXWideStr& b) { return WithoutFinalBackslash(RelToAbsPath(r, b)); }
VXString VXRelToAbsPathNameA(const VXString& p, const VXString& b) {
  return RelToAbsPath(ExtractFilePath(p), b) + ExtractFileName(p);
}
VXWideStr VXRelToAbsPathNameW(const VXWideStr& p, const VXWideStr& b) {
  return RelToAbsPath(ExtractFilePath(p), b) + ExtractFileName(p);
}

bool VXFileIsExistA(const char* name) { return name != nullptr && *name && StatHost(platform::fs::ToHostPath(std::string_view(name)), false); }
bool VXFileIsExistW(const char16_t* name) {
  return name != nullptr && *name && StatHost(platform::fs::ToHostPath(std::u16string_view(name)), false);
}
bool VXFolderIsExistA(const char* name) { return name != nullptr && *name && StatHost(platform::fs::ToHostPath(std::string_view(name)), true); }
bool VXFolderIsExistW(const char16_t* name) {
  return name != nullptr && *name && StatHost(platform::fs::ToHostPath(std::u16string_view(name)), true);
}

bool VXFileExecA(void*, const VXString& file) {
  if (file.IsEmpty()) return false;
  return platform::process::OpenDocument(HostOf(file), HostOf(ExtractFileDir(file)));
}

bool VXFileExecW(void*, const VXWideStr& file) {
  if (file.IsEmpty()) return false;
  return platform::process::OpenDocument(HostOf(file), HostOf(ExtractFileDir(file)));
}

std::uint32_t DWORD2COLORREF(std::uint32_t v) { return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF); }
std::uint32_t COLORREF2DWORD(std::uint32_t v) { return DWORD2COLORREF(v); }

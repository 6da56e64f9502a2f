#include "core/vxtext.h"

#include <algorithm>
#include <cstdint>

namespace {

// This copier's own lead-byte ranges, narrower at the top than CP932's.
bool IsCopyLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }

bool StopsCopy(char c, bool stopAtComma) { return c == '\0' || c == '\r' || (stopAtComma && c == ','); }

}  // namespace

char* VXhstrncpy(char* dst, const char* src, unsigned int max, bool stopAtComma) {
  unsigned int n = 0;
  while (n < max && !StopsCopy(src[n], stopAtComma)) {
    if (IsCopyLeadByte(static_cast<unsigned char>(src[n]))) {
      // A lead byte cut off by the end of the text is dropped: never read past the terminating NUL.
      if (n + 2 > max || src[n + 1] == '\0') break;
      dst[n] = src[n];
      ++n;
    }
    dst[n] = src[n];
    ++n;
  }
  dst[n] = '\0';
  return dst;
}

void VXSeparateString(const VXString& text, VXString* parts, int count) {
  VXString rest = text;
  for (int i = 0; i < count; ++i) {
    parts[i].Clear();
    if (rest.IsEmpty()) continue;
    int at = rest.AnsiPos("\n");
    if (at == 0) {
      parts[i] = rest;
      rest.Clear();
    } else {
      parts[i] = rest.SubString(1, at - 1);
      rest = rest.SubString(at + 1, rest.Length() - at);
    }
  }
}

int VXHexToInt(const VXString& s) {
  VXString upper = s.UpperCase();
  std::uint32_t value = 0;
  for (int i = 1; i <= std::min(upper.Length(), 8); ++i) {
    char c = upper[i];
    value <<= 4;
    if (c >= '0' && c <= '9') value += c - '0';
    if (c >= 'A' && c <= 'F') value += c - 'A' + 10;
  }
  return static_cast<int>(value);
}

VXString VXDivideFront(const VXString& s, int n) {
  n = std::min(n, s.Length());
  return n >= 1 ? s.SubString(1, n) : VXString();
}

VXString VXDivideRear(const VXString& s, int n) {
  n = std::max(n, 1);
  return n <= s.Length() ? s.SubString(n, s.Length() - n + 1) : VXString();
}

namespace {

bool IsTrimmedByte(const VXString& s, int index) {
  return s.ByteType(index) == 0 && static_cast<unsigned char>(s[index]) <= 0x20;
}

VXString TrimControl(const VXString& s, bool front, bool back) {
  int first = 1;
  int last = s.Length();
  if (front)
    while (first <= last && IsTrimmedByte(s, first)) ++first;
  if (back)
    while (last >= first && IsTrimmedByte(s, last)) --last;
  return s.SubString(first, last - first + 1);
}

}  // namespace

VXString VXTrim(const VXString& s) { return TrimControl(s, true, true); }
VXString VXTrimLeft(const VXString& s) { return TrimControl(s, true, false); }
VXString VXTrimRight(const VXString& s) { return TrimControl(s, false, true); }

namespace {

using Byte = unsigned char;

bool IsPatternLead(Byte c) { return c >= 0x81 && c <= 0xFC && !(c >= 0xA0 && c <= 0xDF); }
bool IsPatternTrail(Byte c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }
Byte Fold(Byte c) { return c >= 'a' && c <= 'z' ? static_cast<Byte>(c - 'a' + 'A') : c; }

// Where a name may end for the pattern's end: its end, or a '.' that is its last byte.
bool AtNameEnd(const Byte* n) { return n[0] == 0 || (n[0] == '.' && n[1] == 0); }

// Matches one run of the pattern (up to a '*' or its end) at n; on success n is left after the match.
bool MatchRun(const Byte* p, const Byte*& n) {
  const Byte* name = n;
  while (*p && *p != '*') {
    if (*p == '?') {
      if (*name && *name != '.') ++name;
      ++p;
    } else if (IsPatternLead(p[0]) && IsPatternTrail(p[1])) {
      if (name[0] != p[0] || name[1] != p[1]) return false;
      p += 2;
      name += 2;
    } else {
      if (!*name || Fold(*name) != Fold(*p)) return false;
      ++p;
      ++name;
    }
  }
  n = name;
  return true;
}

}  // namespace

bool VXWildCardCmp(const char* pattern, const char* name) {
  auto p = reinterpret_cast<const Byte*>(pattern);
  auto n = reinterpret_cast<const Byte*>(name);
  bool afterStar = false;
  for (;;) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      afterStar = true;
      continue;
    }
    const Byte* runEnd = p;
    while (*runEnd && *runEnd != '*') ++runEnd;
    bool lastRun = *runEnd == 0;
    // After a star the run is tried at each position and the first match is taken; the last run must end the name.
    for (const Byte* start = n;; ++start) {
      const Byte* end = start;
      if (MatchRun(p, end) && (!lastRun || AtNameEnd(end))) {
        n = end;
        break;
      }
      if (!afterStar || !*start) return false;
    }
    if (lastRun) return true;
    p = runEnd;
  }
}

VXString VXIntToWideStr(int value, int digits) {
  // CP932 full-width minus (0x81 0x7C) and digits (0x82 0x4F ..).
  static constexpr char kMinus[] = "\x81\x7C";
  static constexpr Byte kDigitLead = 0x82, kZeroTrail = 0x4F;
  digits = std::clamp(digits, 1, 10);
  std::int64_t magnitude = value;  // 64 bits: the most negative int has no 32-bit magnitude
  VXString result;
  if (magnitude < 0) {
    result += kMinus;
    magnitude = -magnitude;
  }
  bool leading = true;
  std::int64_t scale = 1000000000;
  for (int place = 10; place >= 1; --place, scale /= 10) {
    int digit = static_cast<int>(magnitude / scale % 10);
    if (leading && digit == 0 && place > digits) continue;
    leading = false;
    const char full[] = {static_cast<char>(kDigitLead), static_cast<char>(kZeroTrail + digit), '\0'};
    result += full;
  }
  return result;
}

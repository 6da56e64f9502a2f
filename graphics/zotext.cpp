#include "graphics/zotext.h"

#include <vector>

#include "core/vxtext.h"

namespace {

VXString In(const std::string& s) { return VXString(s.data(), static_cast<unsigned>(s.size())); }
std::string Out(const VXString& s) { return std::string(s.c_str(), static_cast<std::size_t>(s.Length())); }

}  // namespace

char* hstrncpy(char* dst, const char* src, unsigned int max, bool stopAtComma) {
  return VXhstrncpy(dst, src, max, stopAtComma);
}

void SeparateString(const std::string& text, std::string* parts, int count) {
  if (parts == nullptr || count <= 0) return;
  std::vector<VXString> split(static_cast<std::size_t>(count));
  VXSeparateString(In(text), split.data(), count);
  for (int i = 0; i < count; ++i) parts[i] = Out(split[i]);
}

int HexToInt(const std::string& s) { return VXHexToInt(In(s)); }
std::string DivideFront(const std::string& s, int n) { return Out(VXDivideFront(In(s), n)); }
std::string DivideRear(const std::string& s, int n) { return Out(VXDivideRear(In(s), n)); }
std::string ZoTrim(const std::string& s) { return Out(VXTrim(In(s))); }
std::string ZoTrimLeft(const std::string& s) { return Out(VXTrimLeft(In(s))); }
std::string ZoTrimRight(const std::string& s) { return Out(VXTrimRight(In(s))); }
bool WildCardCmp(const char* pattern, const char* name) { return VXWildCardCmp(pattern, name); }
std::string IntToWideStr(int value, int digits) { return Out(VXIntToWideStr(value, digits)); }

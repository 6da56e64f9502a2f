// Text functions on arbitrary bytes: the CP932 helpers (bounded copying, splitting, cutting, trimming, wildcards) and
// the conversions between CP932, UTF-16 and UTF-8.
// Links: platform
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/vxtext.h"
#include "platform/text.h"

namespace {

void CheckConversions(std::string_view bytes) {
  using namespace platform::text;
  const std::u16string wide = Cp932ToUtf16(bytes);
  // Decoded text holds no unpaired surrogate: through UTF-8 and back it is the same.
  if (Utf8ToUtf16(Utf16ToUtf8(wide)) != wide) std::abort();
  Cp932ToUtf16(Utf16ToCp932Lossy(wide));
  if (const auto exact = Utf16ToCp932(wide)) {
    if (Cp932ToUtf16(*exact) != wide) std::abort();
  }
  // The bytes as UTF-8 and as UTF-16 (pairs of bytes).
  const std::u16string fromUtf8 = Utf8ToUtf16(bytes);
  Utf16ToUtf8(fromUtf8);
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  Utf16ToUtf8(units);
  Utf16ToCp932(units);
  Utf16ToCp932Lossy(units);
  Cp932ToUtf8(bytes);
  Utf8ToCp932(bytes);
}

void CheckHelpers(const std::string& text) {
  const VXString s(text.c_str());
  char buffer[40];
  for (unsigned max : {0u, 1u, 2u, 7u, 39u}) {
    for (bool comma : {false, true}) {
      std::memset(buffer, 'z', sizeof buffer);
      VXhstrncpy(buffer, text.c_str(), max, comma);
      if (std::strlen(buffer) > max) std::abort();
    }
  }
  VXString parts[3];
  VXSeparateString(s, parts, 3);
  VXHexToInt(s);
  const int n = text.empty() ? 0 : static_cast<unsigned char>(text[0]) % (text.size() + 2);
  VXDivideFront(s, n);
  VXDivideRear(s, n);
  const VXString trimmed = VXTrim(s);
  if (std::strlen(trimmed.c_str()) > std::strlen(s.c_str())) std::abort();
  VXTrimLeft(s);
  VXTrimRight(s);
  const std::size_t half = text.size() / 2;
  VXWildCardCmp(text.substr(0, half).c_str(), text.substr(half).c_str());
  VXWildCardCmp(text.c_str(), text.c_str());
  VXIntToWideStr(static_cast<int>(std::hash<std::string>{}(text)), 1 + static_cast<int>(text.size() % 10));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckConversions(bytes);
  CheckHelpers(std::string(bytes));  // cut at the first NUL, as a C string is
  return 0;
}

#include "platform/text.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace platform::text {
namespace {

// One iconv descriptor per thread and direction: descriptors keep state and are not shareable.
class Converter {
public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as possible; returns the errno of the stop (0 when all input was used).
  int Run(const char*& in, size_t& inLeft, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[1024];
    while (inLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &dst, &dstLeft);
      out.append(buffer, dst - buffer);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return errno;
    }
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
    return 0;
  }

private:
  iconv_t cd_;
};

Converter& FromCp932() {
  thread_local Converter c("UTF-16LE", "CP932");
  return c;
}
Converter& ToCp932() {
  thread_local Converter c("CP932", "UTF-16LE");
  return c;
}

std::u16string FromLE(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return s;
}

std::string ToLE(std::u16string_view s) {
  std::string bytes(s.size() * 2, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    bytes[2 * i] = static_cast<char>(s[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  return bytes;
}

}  // namespace

std::u16string Cp932ToUtf16(std::string_view cp932) {
  std::u16string result;
  const char* in = cp932.data();
  size_t left = cp932.size();
  while (left > 0) {
    std::string bytes;
    int err = FromCp932().Run(in, left, bytes);
    result += FromLE(bytes);
    if (err == 0) break;
    // Skip one undecodable character: a lead byte takes its trail byte with it when there is one.
    result += kReplacement;
    size_t skip = 1;
    if (IsCp932LeadByte(static_cast<unsigned char>(*in)) && left >= 2) {
      unsigned char trail = static_cast<unsigned char>(in[1]);
      if (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) skip = 2;
    }
    if (err == EINVAL) skip = left;  // cut at the end
    in += skip;
    left -= skip;
  }
  return result;
}

std::optional<std::string> Utf16ToCp932(std::u16string_view utf16) {
  for (size_t i = 0; i < utf16.size(); ++i) {
    if (IsSurrogatePairAt(utf16, i)) {
      ++i;
    } else if (IsHighSurrogate(utf16[i]) || IsLowSurrogate(utf16[i])) {
      return std::nullopt;
    }
  }
  std::string le = ToLE(utf16);
  const char* in = le.data();
  size_t left = le.size();
  std::string out;
  if (ToCp932().Run(in, left, out) != 0) return std::nullopt;
  return out;
}

std::string Utf16ToCp932Lossy(std::u16string_view utf16) {
  if (auto whole = Utf16ToCp932(utf16)) return *whole;
  static const std::string replacement = *Utf16ToCp932(std::u16string(1, kReplacement));
  std::string out;
  for (size_t i = 0; i < utf16.size(); ++i) {
    size_t n = IsSurrogatePairAt(utf16, i) ? 2 : 1;
    out += Utf16ToCp932(utf16.substr(i, n)).value_or(replacement);
    i += n - 1;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (IsSurrogatePairAt(s, i)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(s[i]) || IsLowSurrogate(s[i])) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + extra < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (t & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view cp932) { return Utf16ToUtf8(Cp932ToUtf16(cp932)); }

std::optional<std::string> Utf8ToCp932(std::string_view utf8) { return Utf16ToCp932(Utf8ToUtf16(utf8)); }

}  // namespace platform::text

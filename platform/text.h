// Text encodings at the platform boundary: CP932 (the game's narrow text), UTF-16 (char16_t) and UTF-8
// (the host's file names and terminal). Conversions run through iconv with one converter per thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform::text {

// The character that stands for bytes that cannot be decoded.
inline constexpr char16_t kReplacement = u'\u30FB';

// CP932 to UTF-16. Always has a result: undecodable or cut bytes become kReplacement.
std::u16string Cp932ToUtf16(std::string_view cp932);

// UTF-16 to CP932. Fails when a character has no CP932 form or a surrogate is unpaired.
std::optional<std::string> Utf16ToCp932(std::u16string_view utf16);

// UTF-16 to CP932, always with a result: characters without a CP932 form become kReplacement's bytes.
std::string Utf16ToCp932Lossy(std::u16string_view utf16);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// CP932 to UTF-8 (always has a result, as Cp932ToUtf16).
std::string Cp932ToUtf8(std::string_view cp932);

// UTF-8 to CP932; fails as Utf16ToCp932 does.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// Shift-JIS lead byte: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

constexpr bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Whether s[i] and s[i + 1] are one character written as a surrogate pair.
constexpr bool IsSurrogatePairAt(std::u16string_view s, std::size_t i) {
  return i + 1 < s.size() && IsHighSurrogate(s[i]) && IsLowSurrogate(s[i + 1]);
}

}  // namespace platform::text

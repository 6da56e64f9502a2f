#include "core/vxtext.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string Bytes(const VXString& s) { return s.GetConstStr(); }

TEST(VXhstrncpy, KeepsDoubleByteCharactersWhole) {
  struct Case {
    const char* src;
    unsigned int max;
    bool comma;
    const char* copied;
  } cases[] = {
      {"a\x82\xA0\x82\xA1", 3, false, "a\x82\xA0"},  // stops before the second character
      {"a\x82\xA0\x82\xA1", 2, false, "a"},
      {"ab\rcd", 10, false, "ab"},
      {"ab,cd", 10, true, "ab"},
      {"ab,cd", 10, false, "ab,cd"},
      {"a\nb", 10, false, "a\nb"},
      {"\x80\x2C" "x", 10, true, "\x80\x2C" "x"},  // 0x80 starts a pair here: its second byte is not a comma
      {"\xF0\x40", 1, false, "\xF0"},  // 0xF0 is a single byte for this copier
      {"abc", 0, false, ""},
  };
  for (const auto& c : cases) {
    char dst[16];
    std::memset(dst, '#', sizeof dst);
    EXPECT_EQ(VXhstrncpy(dst, c.src, c.max, c.comma), dst);
    EXPECT_STREQ(dst, c.copied) << c.src << " max " << c.max;
  }
}

TEST(VXhstrncpy, LeadByteBeforeTheEndDoesNotReadPastIt) {
  // The source ends exactly at its NUL in its own allocation: any read beyond it is caught by the sanitizer.
  std::unique_ptr<char[]> src(new char[3]{'a', '\x82', '\0'});
  char dst[16];
  VXhstrncpy(dst, src.get(), 10, false);
  EXPECT_STREQ(dst, "a");
}

TEST(VXSeparateString, SplitsAtLineFeeds) {
  struct Case {
    const char* text;
    int count;
    std::vector<std::string> parts;
  } cases[] = {
      {"a\n\nb", 4, {"a", "", "b", ""}},
      {"x\ny\nz", 2, {"x", "y"}},
      {"", 2, {"", ""}},
      {"abc\n", 2, {"abc", ""}},
      {"\nq", 2, {"", "q"}},
  };
  for (const auto& c : cases) {
    VXString parts[4] = {"old", "old", "old", "old"};
    VXSeparateString(c.text, parts, c.count);
    for (int i = 0; i < c.count; ++i) EXPECT_EQ(Bytes(parts[i]), c.parts[i]) << c.text << " part " << i;
    EXPECT_EQ(Bytes(parts[c.count < 4 ? c.count : 3]), c.count < 4 ? "old" : c.parts[3]);
  }
}

TEST(VXHexToInt, ReadsAtMostEightDigits) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {
      {"ff", 255}, {"123456789", 0x12345678}, {"1G", 0x10}, {"", 0}, {"FFFFFFFF", -1}, {"aB", 0xAB},
  };
  for (const auto& c : cases) EXPECT_EQ(VXHexToInt(c.text), c.value) << c.text;
}

TEST(VXDivide, BothHalvesHoldByteN) {
  struct Case {
    int n;
    const char *front, *rear;
  } cases[] = {{3, "abc", "cdef"}, {0, "", "abcdef"}, {7, "abcdef", ""}, {6, "abcdef", "f"}, {-2, "", "abcdef"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Bytes(VXDivideFront("abcdef", c.n)), c.front) << c.n;
    EXPECT_EQ(Bytes(VXDivideRear("abcdef", c.n)), c.rear) << c.n;
  }
  EXPECT_TRUE(VXDivideRear("", 1).IsEmpty());
}

TEST(VXTrim, RemovesSingleControlBytes) {
  struct Case {
    const char* text;
    const char *both, *left, *right;
  } cases[] = {
      {"ab\t\n", "ab", "ab\t\n", "ab"},
      {"\x01 \x82\xA0x\x82\xA0\x1F", "\x82\xA0x\x82\xA0", "\x82\xA0x\x82\xA0\x1F", "\x01 \x82\xA0x\x82\xA0"},
      {"\xB1 x \xB1", "\xB1 x \xB1", "\xB1 x \xB1", "\xB1 x \xB1"},  // half-width katakana stays
      {" \x01\x1f\r", "", "", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bytes(VXTrim(c.text)), c.both) << c.text;
    EXPECT_EQ(Bytes(VXTrimLeft(c.text)), c.left) << c.text;
    EXPECT_EQ(Bytes(VXTrimRight(c.text)), c.right) << c.text;
  }
}

TEST(VXWildCardCmp, MatchesFileNames) {
  struct Case {
    const char *pattern, *name;
    bool match;
  } cases[] = {
      {"*.OGG", "bgm01.ogg", true},
      {"*.ogg", "bgm01.wav", false},
      {"*.ogg", "a.ogg.ogg", true},
      {"x?z", "xyz", true},
      {"x?z", "x.z", false},
      {"abc?", "abc", true},
      {"a?.txt", "a.txt", true},
      {"*", "", true},
      {"*", "anything.at.all", true},
      {"**a", "ba", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
      {"bgm*", "BGM01.OGG", true},
      {"abc", "abcd", false},
      {"abc", "ab", false},
      {"abc", "abc.", true},
      {"abc", "abc.txt", false},
      {"", "", true},
      {"", "a", false},
      {"\x82\x61*", "\x82\x61.txt", true},
      {"\x82\x61*", "\x82\x41.txt", false},  // a trail byte compares exactly, not as a letter
  };
  for (const auto& c : cases) EXPECT_EQ(VXWildCardCmp(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

// Full-width CP932 form of an ASCII number: '-' as 0x81 0x7C, digits as 0x82 0x4F + d.
std::string FullWidth(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    if (c == '-')
      out += "\x81\x7C";
    else
      out += {'\x82', static_cast<char>(0x4F + (c - '0'))};
  }
  return out;
}

TEST(VXIntToWideStr, FullWidthDigits) {
  struct Case {
    int value, digits;
    const char* ascii;
  } cases[] = {
      {7, 3, "007"},          {-12, 1, "-12"},       {0, 0, "0"},
      {123, 11, "0000000123"}, {INT_MAX, 1, "2147483647"},
      {INT_MIN, 1, "-2147483648"},  // its magnitude does not fit an int
      {-5, 3, "-005"},
  };
  for (const auto& c : cases) EXPECT_EQ(Bytes(VXIntToWideStr(c.value, c.digits)), FullWidth(c.ascii)) << c.value;
}

}  // namespace

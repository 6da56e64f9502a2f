#include "graphics/zotext.h"

#include <gtest/gtest.h>

#include <string>

// The twins share their twins' code; these tests check that narrow strings go in and come out whole (NUL bytes,
// double-byte characters) and the cases the rules single out.

TEST(ZoText, CuttingAndTrimmingKeepBytesWhole) {
  EXPECT_EQ(DivideFront("abcdef", 3), "abc");
  EXPECT_EQ(DivideRear("abcdef", 3), "cdef");  // both halves hold byte n
  EXPECT_EQ(DivideRear("abcdef", 9), "");
  EXPECT_EQ(DivideFront(std::string("a\0b", 3), 3), std::string("a\0b", 3));
  EXPECT_EQ(ZoTrim("\xB1 x \xB1"), "\xB1 x \xB1");  // half-width katakana stays at both ends
  EXPECT_EQ(ZoTrim(" \x82\xA0\t"), "\x82\xA0");
  EXPECT_EQ(ZoTrimLeft("\x01 ab "), "ab ");
  EXPECT_EQ(ZoTrimRight("\x01 ab \r"), "\x01 ab");
}

TEST(ZoText, SplittingNumbersAndNames) {
  std::string parts[3] = {"old", "old", "old"};
  SeparateString("one\ntwo", parts, 3);
  EXPECT_EQ(parts[0], "one");
  EXPECT_EQ(parts[1], "two");
  EXPECT_EQ(parts[2], "");
  SeparateString("x", nullptr, 2);  // nothing to fill

  EXPECT_EQ(HexToInt("ff"), 255);
  EXPECT_EQ(HexToInt("123456789"), 0x12345678);
  EXPECT_EQ(IntToWideStr(-42, 3), "\x81\x7C\x82\x4F\x82\x53\x82\x51");  // －０４２
  EXPECT_TRUE(WildCardCmp("*.PNG", "title.png"));
  EXPECT_FALSE(WildCardCmp("a?c", "abbc"));

  char dst[8];
  EXPECT_EQ(hstrncpy(dst, "ab,\x82\xA0", 7, true), dst);
  EXPECT_STREQ(dst, "ab");
  hstrncpy(dst, "abc\x82\xA0", 4, false);  // the double-byte character does not fit whole
  EXPECT_STREQ(dst, "abc");
}

#include "platform/text.h"

#include <gtest/gtest.h>

using namespace platform::text;

TEST(Text, Cp932RoundTripsThroughUtf16) {
  const std::string sjis = "\x82\xa0\x83\x41\x5c\x7e" "abc\xb1";  // hiragana a, katakana a, \ ~ abc, half-width a
  std::u16string wide = Cp932ToUtf16(sjis);
  EXPECT_EQ(wide, u"\u3042\u30a2\\~abc\uff71");
  EXPECT_EQ(Utf16ToCp932(wide), sjis);
  EXPECT_EQ(Cp932ToUtf8(sjis), "\u3042\u30a2\\~abc\uff71");
  EXPECT_EQ(Utf8ToCp932("\u3042"), "\x82\xa0");
}

TEST(Text, UndecodableBytesBecomeTheReplacement) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"a\x82", u"a\u30fb"},             // cut lead byte
      {"\x85\x40z", u"\u30fbz"},         // unassigned double-byte code
      {"\xa0x", u"\u30fbx"},             // byte that is no character
      {"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(Cp932ToUtf16(c.in), c.out) << c.in;
}

TEST(Text, UnmappableWideTextFails) {
  EXPECT_FALSE(Utf16ToCp932(u"a\u00e9").has_value());   // e-acute has no CP932 form
  EXPECT_FALSE(Utf16ToCp932(u"\xd800x").has_value());   // unpaired surrogate
  EXPECT_FALSE(Utf16ToCp932(u"\U0001F600").has_value());
  EXPECT_EQ(Utf16ToCp932(u""), std::string());
}

TEST(Text, Utf8AndUtf16) {
  EXPECT_EQ(Utf8ToUtf16("\U0001F600a"), u"\U0001F600a");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600a"), "\U0001F600a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(Utf8ToUtf16("\xE3\x81"), u"\uFFFD\uFFFD");  // cut sequence
}

TEST(Text, LossyConversionKeepsWhatItCan) {
  EXPECT_EQ(Utf16ToCp932Lossy(u"a\u00e9\u3042\U0001F600"), "a\x81\x45\x82\xa0\x81\x45");
  EXPECT_EQ(Utf16ToCp932Lossy(u"abc"), "abc");
}

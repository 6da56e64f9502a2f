#include "core/vxcompstream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(CompStream, EveryKindRoundTripsWithTheReportedSize) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += static_cast<char>('a' + (i * 7 % 13));
  for (int kind : {0, 1, 2, 3, 9}) {  // 9: any value above picks the 1,024-byte blocks
    SCOPED_TRACE(kind);
    VXMemoryStream plain(text.data(), static_cast<int>(text.size()));
    VXMemoryStream packed;
    VXCompStream comp;
    int size = -1;
    ASSERT_TRUE(comp.EncodeBuffer(&plain, static_cast<int>(text.size()), &packed, &size, kind));
    EXPECT_EQ(size, packed.GetSize());
    EXPECT_LT(size, static_cast<int>(text.size()));
    packed.Seek(0, VXSeekBegin);
    VXMemoryStream back;
    ASSERT_TRUE(comp.DecodeBuffer(&packed, size, &back, static_cast<int>(text.size()), kind == VXCompMariel ? 0 : 1));
    std::string got(text.size(), '\0');
    back.Seek(0, VXSeekBegin);
    back.Read(got.data(), static_cast<int>(got.size()));
    EXPECT_EQ(got, text);
  }
  VXMemoryStream empty;
  int size = -1;
  VXCompStream comp;
  EXPECT_FALSE(comp.EncodeBuffer(&empty, 0, &empty, &size, 0));
  EXPECT_EQ(size, 0);
}

TEST(CompStream, CrcStreamChecksLengthAndMatchesKnownValue) {
  VXMemoryStream digits("123456789", 9);
  unsigned short crc = 0;
  ASSERT_TRUE(VXCrcStream(&digits, 9, &crc));
  EXPECT_EQ(crc, 0x6F91);
  digits.Seek(0, VXSeekBegin);
  crc = 7;
  EXPECT_FALSE(VXCrcStream(&digits, 10, &crc));
  EXPECT_EQ(crc, 7);
  EXPECT_TRUE(VXCrcStream(&digits, 0, &crc));
  EXPECT_EQ(crc, 0xFFFF);
}

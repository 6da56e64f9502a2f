#include "core/vxcompstream.h"

#include "support/seeds.h"

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
    const int n = static_cast<int>(text.size());
    SaveSeed("compstream_fuzz", ("kind" + std::to_string(kind)).c_str(),
             std::string{static_cast<char>(kind), static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16)} +
                 std::string(reinterpret_cast<const char*>(packed.GetMemory()), static_cast<std::size_t>(size)));
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

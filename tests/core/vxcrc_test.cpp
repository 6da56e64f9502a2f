#include "core/vxcrc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Bit-at-a-time reference, independent of the table.
unsigned short BitwiseCrc(const unsigned char* data, int length, unsigned poly) {
  unsigned c = 0xFFFF;
  for (int i = 0; i < length; ++i) {
    c ^= data[i];
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
  }
  return static_cast<unsigned short>(c);
}

const unsigned char* Bytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

}  // namespace

TEST(CrcCheck, KnownCheckValuesOfBothTypes) {
  struct Case {
    VXCrcType type;
    const char* text;
    unsigned short crc;
  };
  const Case cases[] = {
      {VXCRC_TYPE0, "123456789", 0x6F91},
      {VXCRC_TYPE0, "abc", 0x61DA},
      {VXCRC_TYPE1, "123456789", 0x7ABB},
      {VXCRC_TYPE1, "abc", 0x564E},
  };
  for (const Case& c : cases) {
    VXCrcCheck crc;
    crc.SetCrcType(c.type);
    const int n = static_cast<int>(std::strlen(c.text));
    EXPECT_EQ(BitwiseCrc(Bytes(c.text), n, c.type == VXCRC_TYPE1 ? 0xC001 : 0x8408), c.crc) << c.text;
    EXPECT_EQ(crc.Crc(Bytes(c.text), n), c.crc) << c.text << " type " << int(c.type);
  }
}

TEST(CrcCheck, DefaultsToTypeZeroAndRebuildsOnTypeChange) {
  VXCrcCheck crc;
  EXPECT_EQ(crc.GetCrcType(), VXCRC_TYPE0);
  crc.SetCrcType(VXCRC_TYPE1);
  crc.SetCrcType(VXCRC_TYPE0);
  EXPECT_EQ(crc.Crc(Bytes("123456789"), 9), 0x6F91);
  crc.SetCrcType(static_cast<VXCrcType>(7));  // anything but 1 is the pack polynomial
  EXPECT_EQ(crc.Crc(Bytes("123456789"), 9), 0x6F91);
}

TEST(CrcCheck, UpdatesInPiecesAndIgnoresEmptyInput) {
  std::vector<unsigned char> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
  VXCrcCheck crc;
  const unsigned short whole = crc.Crc(data.data(), 1000);
  EXPECT_EQ(whole, BitwiseCrc(data.data(), 1000, 0x8408));
  EXPECT_EQ(crc.UpDateCrc(crc.Crc(data.data(), 333), data.data() + 333, 667), whole);
  EXPECT_EQ(crc.Crc(data.data(), 0), 0xFFFF);
  EXPECT_EQ(crc.UpDateCrc(0x1234, data.data(), -5), 0x1234);
}

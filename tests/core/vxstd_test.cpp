#include "core/vxstd.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ByteOrder, ReadsAndWritesBothOrders) {
  const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(VXGetBE16(bytes), 0x1234);
  EXPECT_EQ(VXGetLE16(bytes), 0x3412);
  EXPECT_EQ(VXGetBE32(bytes), 0x12345678u);
  EXPECT_EQ(VXGetLE32(bytes), 0x78563412u);

  unsigned char out[4] = {};
  VXPutLE32(out, 1);
  EXPECT_EQ(std::vector<unsigned char>(out, out + 4), (std::vector<unsigned char>{1, 0, 0, 0}));
  VXPutBE32(out, 0xA1B2C3D4u);
  EXPECT_EQ(VXGetBE32(out), 0xA1B2C3D4u);
  VXPutLE16(out, 0xBEEF);
  EXPECT_EQ(VXGetLE16(out), 0xBEEF);
  VXPutBE16(out, 0xBEEF);
  EXPECT_EQ(out[0], 0xBE);
}

TEST(Counter, WrapsUpAndStopsDown) {
  VXCounter c(10);
  for (int i = 1; i <= 9; ++i) EXPECT_FALSE(c.IncVal()) << i;
  EXPECT_TRUE(c.IncVal());
  EXPECT_EQ(c.GetCount(), 0);
  EXPECT_TRUE(c.DecVal());
  EXPECT_EQ(c.GetCount(), 0);

  EXPECT_TRUE(c.AddVal(25));  // only one maximum is subtracted
  EXPECT_EQ(c.GetCount(), 15);
}

TEST(Counter, SettersKeepInvariants) {
  VXCounter d;
  EXPECT_EQ(d.GetMaxVal(), 9999);
  EXPECT_EQ(d.GetAddVal(), 1);

  VXCounter c(10, 30);
  EXPECT_EQ(c.GetAddVal(), 10);
  c.SetCount(7);
  c.SetMaxVal(5);
  EXPECT_EQ(c.GetCount(), 4);
  EXPECT_EQ(c.GetAddVal(), 5);
  c.SetMaxVal(-3);
  EXPECT_EQ(c.GetMaxVal(), 1);
  EXPECT_EQ(c.GetCount(), 0);
  c.SetAddVal(-2);
  EXPECT_EQ(c.GetAddVal(), 0);
  c.SetCount(-4);  // not clamped from below
  EXPECT_EQ(c.GetCount(), -4);
  EXPECT_EQ(VXCounter(0).GetMaxVal(), 1);
}

TEST(Random, FirstValuesFollowTheSeedTable) {
  VXRandom r;
  EXPECT_EQ(r.Rnd(), 41491);  // 51170 + 55857 (word 0 + word 7)
  // The second step adds word 31 (1) to word 6, F(27) = 196418 mod 65536 = 65346.
  EXPECT_EQ(r.Rnd(), (65346 + 1) % 65536);
  VXRandom copy = r;
  EXPECT_EQ(copy.Rnd(), r.Rnd());
}

TEST(Random, RangesAndSpecialCases) {
  VXRandom r, untouched;
  EXPECT_EQ(r.Random(1), 0);
  EXPECT_EQ(r.Random(0), -1);
  EXPECT_EQ(r.Rnd(), untouched.Rnd());  // neither drew a value

  for (int n : {2, 3, 7, 100, 65536, 100000}) {
    for (int i = 0; i < 200; ++i) {
      int v = r.Random(n);
      ASSERT_GE(v, 0);
      ASSERT_LT(v, std::min(n, 65536));
    }
  }
  for (int i = 0; i < 200; ++i) {
    int v = r.NormalDistribution(10);
    ASSERT_GE(v, -10);
    ASSERT_LE(v, 10);
  }
  EXPECT_EQ(r.NormalDistribution(0), 0);
  EXPECT_EQ(r.NormalDistribution(65537), 0);
}

TEST(Counter, LargeStepsDoNotOverflow) {
  struct Case {
    int max, count, add, sub;  // sub is applied after add
    int afterAdd, afterSub;
    bool wrapped, stopped;
  } cases[] = {
      {10, 9, INT_MAX, 0, INT_MAX - 1, INT_MAX - 1, true, false},
      {INT_MAX, INT_MAX - 1, INT_MAX, INT_MAX, INT_MAX - 1, 0, true, true},
      {10, 5, 0, INT_MIN, 5, INT_MAX, false, false},  // a negative step down only climbs, up to the int limit
  };
  for (const Case& c : cases) {
    VXCounter counter(c.max);
    counter.SetCount(c.count);
    EXPECT_EQ(counter.AddVal(c.add), c.wrapped);
    EXPECT_EQ(counter.GetCount(), c.afterAdd);
    EXPECT_EQ(counter.SubVal(c.sub), c.stopped);
    EXPECT_EQ(counter.GetCount(), c.afterSub);
  }
}

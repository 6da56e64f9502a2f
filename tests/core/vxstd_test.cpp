#include "core/vxstd.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

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

// The sequences below were worked out with a separate model of the generator, written from its description alone:
// seed words F(33 - i) mod 65536, x[j] += x[k] with j and k stepping down 7 apart, the mask the smallest 2^m - 1 not
// below n - 1, and the normal draw as Random(a + 1), Random(a + 1), Random(c + 1) in that order.
TEST(Random, RndFollowsTheLaggedFibonacciSequence) {
  const std::vector<int> first = {
      41491, 65347, 55669, 55480, 45613, 35557, 15634, 41512, 65381, 55724, 55569, 45757, 35790, 16011,
      42122, 832,   57321, 58153, 49938, 42555, 26957, 59833, 29489, 38153, 2106,  40259, 42365, 17088,
      49774, 9561,  8166,  17727, 16214, 42176, 7221,  39718, 55174, 43723, 33361, 57726};
  VXRandom r;
  std::vector<int> drawn;
  for (std::size_t i = 0; i < first.size(); ++i) drawn.push_back(r.Rnd());
  EXPECT_EQ(drawn, first);

  const struct {
    int draw, value;  // the draw-th value, counted from 1
  } later[] = {{100, 185}, {1000, 26164}, {10000, 24357}};
  int done = static_cast<int>(first.size());
  for (const auto& c : later) {
    for (; done < c.draw - 1; ++done) r.Rnd();
    EXPECT_EQ(r.Rnd(), c.value) << "draw " << c.draw;
    ++done;
  }
}

TEST(Random, RandomMasksAndRejectsAndNormalDistributionSumsThreeDraws) {
  using Draw = int (VXRandom::*)(int);
  const Draw uniform = &VXRandom::Random, normal = &VXRandom::NormalDistribution;
  const struct {
    Draw draw;
    int n;
    std::vector<int> values;  // the first twelve from a new generator
  } cases[] = {
      {uniform, 2, {1, 1, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1}},
      {uniform, 3, {1, 0, 1, 1, 2, 0, 1, 0, 1, 1, 2, 2}},  // mask 3: a 3 is drawn again
      {uniform, 8, {3, 3, 5, 0, 5, 5, 2, 0, 5, 4, 1, 5}},  // mask 7, nothing rejected
      {uniform, 9, {3, 3, 5, 8, 5, 2, 8, 5, 1, 0, 2, 1}},  // mask 15
      {uniform, 100, {19, 67, 56, 45, 18, 40, 44, 17, 61, 78, 11, 10}},
      {uniform, 65536, {41491, 65347, 55669, 55480, 45613, 35557, 15634, 41512, 65381, 55724, 55569, 45757}},
      {uniform, 100000, {41491, 65347, 55669, 55480, 45613, 35557, 15634, 41512, 65381, 55724, 55569, 45757}},
      {normal, 1, {0, -1, 0, 0, 1, -1, 0, -1, 0, 0, 1, 1}},  // a = 0: only the narrow draw takes a value
      {normal, 2, {1, 0, -1, 0, 1, 0, 0, 1, 0, -1, 1, 1}},
      {normal, 10, {1, 0, -3, -5, -6, -1, -4, 1, 1, 3, 2, 2}},
      {normal, 100, {20, 2, -11, 15, 34, 16, 91, -3, 59, -26, 13, 28}},
      {normal, 65536, {27146, 27777, 19973, 29063, 19194, -30721, 10581, 14764, 41631, 25606, -12578, -2774}},
  };
  for (const auto& c : cases) {
    VXRandom r;
    std::vector<int> drawn;
    for (std::size_t i = 0; i < c.values.size(); ++i) drawn.push_back((r.*c.draw)(c.n));
    EXPECT_EQ(drawn, c.values) << (c.draw == uniform ? "Random(" : "NormalDistribution(") << c.n << ")";
  }
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

#include "core/vxcallback.h"

#include <gtest/gtest.h>

namespace {

struct Target {
  int base = 0;
  int Add(int v) { return base += v; }
  int Twice(int v) { return 2 * v + base; }
  int Sum(int a, int b) const { return a + b + base; }
  void Ping() { ++base; }
};

}  // namespace

TEST(Callback, UnboundThrowsInvalidCallback) {
  VXBaseCallback1<int, int> cb;
  EXPECT_FALSE(cb.IsValid());
  try {
    cb.Invoke(1);
    FAIL();
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Invalid Callback");
  }
}

TEST(Callback, CopiesCallTheSameMemberOnTheSameObject) {
  Target t;
  VXBaseCallback1<int, int> cb = VXCallback1<Target, int, int>(&t, &Target::Add);
  VXBaseCallback1<int, int> copy = cb;
  EXPECT_EQ(cb.Invoke(2), 2);
  EXPECT_EQ(copy.Invoke(3), 5);
  EXPECT_EQ(t.base, 5);

  VXBaseCallback2<int, int, int> sum = VXCallback2<Target, int, int, int>(&t, &Target::Sum);
  EXPECT_EQ(sum.Invoke(1, 2), 8);
  VXBaseCallback0<void> ping = VXCallback0<Target, void>(&t, &Target::Ping);
  ping.Invoke();
  EXPECT_EQ(t.base, 6);

  cb.Clear();
  EXPECT_FALSE(cb.IsValid());
  EXPECT_THROW(cb.Invoke(1), std::logic_error);
}

TEST(Callback, EqualWhenSameObjectAndMember) {
  Target a, b;
  using Cb = VXBaseCallback1<int, int>;
  Cb a1 = VXCallback1<Target, int, int>(&a, &Target::Add);
  Cb a2 = VXCallback1<Target, int, int>(&a, &Target::Add);
  Cb aTwice = VXCallback1<Target, int, int>(&a, &Target::Twice);
  Cb b1 = VXCallback1<Target, int, int>(&b, &Target::Add);
  EXPECT_TRUE(a1 == a2);
  EXPECT_FALSE(a1 == aTwice);
  EXPECT_FALSE(a1 == b1);
  EXPECT_TRUE(Cb() == Cb());
}

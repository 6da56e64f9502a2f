// The shared random sequence: a reset starts it again from the first state of the generator, so a test can know
// the numbers that follow.
#include "core/vxsharedrandom.h"

#include <gtest/gtest.h>

#include "core/vxstd.h"

TEST(VXSharedRandom, ResetStartsTheSequenceOfAFreshGenerator) {
  for (int i = 0; i < 37; ++i) VXSharedRnd();
  VXSharedRandomReset();
  VXRandom fresh;
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(VXSharedRandom(640), fresh.Random(640)) << i;
    EXPECT_EQ(VXSharedRnd(), fresh.Rnd()) << i;
  }
  EXPECT_EQ(VXSharedRandom(0), -1);
}

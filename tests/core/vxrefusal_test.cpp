#include "core/vxrefusal.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(Refusal, OutermostReadClearsAndTheInnerReasonSurvives) {
  VXRefuse("from an earlier read");
  {
    VXRefusalScope outer;
    EXPECT_STREQ(VXRefusal(), "") << "a read starts without a reason";
    {
      VXRefusalScope inner;
      EXPECT_FALSE(VXRefuse("the decoder's reason"));
    }
    EXPECT_STREQ(VXRefusal(), "the decoder's reason") << "the inner read's end clears nothing";
    {
      VXRefusalScope again;
      EXPECT_STREQ(VXRefusal(), "the decoder's reason") << "only the outermost read clears";
    }
  }
  EXPECT_STREQ(VXRefusal(), "the decoder's reason") << "kept for the caller after the read";
  EXPECT_EQ(VXRefuseNull("null too"), nullptr);
  EXPECT_STREQ(VXRefusal(), "null too");
  VXClearRefusal();
  EXPECT_STREQ(VXRefusal(), "");
}

TEST(Refusal, ReasonsAreCopiedCutAndKeptPerThread) {
  std::string text(300, 'r');
  VXRefuse(text.c_str());
  text.assign(300, 'x');
  EXPECT_EQ(std::string(VXRefusal()), std::string(255, 'r'));
  VXRefuse(nullptr);
  EXPECT_STREQ(VXRefusal(), "");
  VXRefuse("this thread's");
  std::thread([] {
    EXPECT_STREQ(VXRefusal(), "");
    VXRefuse("the other thread's");
  }).join();
  EXPECT_STREQ(VXRefusal(), "this thread's");
}

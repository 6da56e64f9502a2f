#include "platform/askbox.h"

#include <gtest/gtest.h>

#include "support/environment.h"

TEST(AskBox, WithoutADisplayTheUnattendedAnswerIsTakenAndSaid) {
  Environment env;
  env.Set("SDL_VIDEODRIVER", "dummy");
  for (bool unattended : {true, false}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::askbox::Ask({platform::msgbox::Kind::kInformation, "題", "終了しますか？"}, unattended),
              unattended);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("題: 終了しますか？ [") + (unattended ? "OK" : "Cancel") + "]\n");
  }
}

TEST(AskBox, ASinkAnswersUntilRemoved) {
  int asked = 0;
  platform::askbox::SetSink([&](const platform::msgbox::Message& m) {
    ++asked;
    return m.text == "yes";
  });
  EXPECT_TRUE(platform::askbox::Ask({platform::msgbox::Kind::kInformation, "c", "yes"}, false));
  EXPECT_FALSE(platform::askbox::Ask({platform::msgbox::Kind::kInformation, "c", "no"}, true));
  platform::askbox::SetSink({});
  EXPECT_EQ(asked, 2);
}

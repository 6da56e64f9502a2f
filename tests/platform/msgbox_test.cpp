#include "platform/msgbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/environment.h"

TEST(MessageBox, DisplayIsNamedByTheEnvironment) {
  struct Case {
    const char *driver, *display, *wayland;
    bool expected;
  } cases[] = {{nullptr, nullptr, nullptr, false}, {nullptr, ":0", nullptr, true},
               {nullptr, nullptr, "wayland-0", true}, {"dummy", ":0", nullptr, false},
               {"offscreen", nullptr, nullptr, false}, {"x11", nullptr, nullptr, true},
               {"", "", "", false}};
  for (const auto& c : cases) {
    Environment env;
    env.Set("SDL_VIDEODRIVER", c.driver);
    env.Set("DISPLAY", c.display);
    env.Set("WAYLAND_DISPLAY", c.wayland);
    EXPECT_EQ(platform::msgbox::DisplayAvailable(), c.expected)
        << (c.driver ? c.driver : "-") << " " << (c.display ? c.display : "-");
  }
}

TEST(MessageBox, WithoutADisplayTheMessageGoesToStandardError) {
  Environment env;
  env.Set("SDL_VIDEODRIVER", nullptr);
  env.Set("DISPLAY", nullptr);
  env.Set("WAYLAND_DISPLAY", nullptr);
  testing::internal::CaptureStderr();
  platform::msgbox::Show({platform::msgbox::Kind::kError, "エラー", "見つかりませんでした。"});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "エラー: 見つかりませんでした。\n");
}

TEST(MessageBox, ASinkReceivesMessagesUntilRemoved) {
  std::vector<platform::msgbox::Message> seen;
  const auto old = platform::msgbox::SetSink([&](const platform::msgbox::Message& m) { seen.push_back(m); });
  EXPECT_FALSE(old);
  platform::msgbox::Show({platform::msgbox::Kind::kWarning, "c", "t"});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, platform::msgbox::Kind::kWarning);
  EXPECT_EQ(seen[0].caption, "c");
  EXPECT_TRUE(platform::msgbox::SetSink(nullptr));
}

#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/environment.h"

namespace {

using platform::clipboard::Picture;

// Each target is served its own encoding; names the picture is not offered as, and an encoding that is missing,
// are served nothing.
TEST(Clipboard, EachTargetIsServedItsEncoding) {
  const Picture picture{{1, 2, 3}, {4, 5}};
  struct Case {
    const char* target;
    const std::vector<std::uint8_t>* served;
  };
  const Case cases[] = {
      {"image/png", &picture.png},  {"image/bmp", &picture.bmp}, {"image/x-bmp", &picture.bmp},
      {"image/x-MS-bmp", &picture.bmp}, {"image/jpeg", nullptr},  {"IMAGE/PNG", nullptr},
      {"UTF8_STRING", nullptr},     {"", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::clipboard::ServedBytes(picture, c.target), c.served) << c.target;
  for (std::string_view target : platform::clipboard::PictureTargets())
    EXPECT_NE(platform::clipboard::ServedBytes(picture, target), nullptr) << target;
  EXPECT_EQ(platform::clipboard::ServedBytes(Picture{{1}, {}}, "image/bmp"), nullptr);
}

// A test replaces the game's clipboard and puts the desktop's back.
TEST(Clipboard, ATestReplacesTheClipboard) {
  platform::clipboard::MemoryClipboard fake;
  EXPECT_EQ(platform::clipboard::Replace(&fake), nullptr);
  EXPECT_TRUE(platform::clipboard::Current().SetText("ユーザー"));
  EXPECT_EQ(platform::clipboard::Current().GetText(), "ユーザー");
  EXPECT_TRUE(platform::clipboard::Current().SetPicture({{1}, {2}}));
  EXPECT_EQ(fake.pictures, 1);
  EXPECT_EQ(fake.picture.bmp, std::vector<std::uint8_t>{2});
  fake.refuse = true;
  EXPECT_FALSE(platform::clipboard::Current().SetPicture({{1}, {2}}));
  EXPECT_EQ(fake.pictures, 1);
  EXPECT_EQ(platform::clipboard::Replace(nullptr), &fake);
  EXPECT_NE(&platform::clipboard::Current(), &fake);
}

// Without an X display there is no owner, and the desktop's clipboard refuses pictures instead of failing later.
TEST(Clipboard, WithoutAnXDisplayPicturesAreRefused) {
  Environment env;
  for (const char* display : {static_cast<const char*>(nullptr), "", ":4711"}) {
    env.Set("DISPLAY", display);
    std::string error;
    EXPECT_EQ(platform::clipboard::X11PictureOwner::Open(&error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(platform::clipboard::Current().SetPicture({{1}, {2}}));
  }
}

}  // namespace

#include "device/deviceclasses.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "device/zoddraw.h"
#include "device/zodsound.h"
#include "platform/form.h"

using DirectX::TDDraw;
using DirectX::TDSound;

namespace {

// A window-like screen that places a display and a sound device, as the game window's form will.
struct TDeviceScreen : Classes::TComponent {
  TDeviceScreen() : Classes::TComponent(nullptr) {}
  TDDraw* Display = nullptr;
  TDSound* Sound = nullptr;
  std::vector<int> restoredPages;
};

void RegisterDeviceScreen() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDeviceClasses();
    platform::component::RegisterScreen<TDeviceScreen>("TDeviceScreen")
        .Handler<DirectX::TSpriteRestoreEvent>(
            "SpriteRestore", "TSpriteRestoreEvent",
            [](TDeviceScreen& s) {
              return DirectX::TSpriteRestoreEvent([&s](DirectX::TDSurface*, int n) { s.restoredPages.push_back(n); });
            })
        .Handler<Classes::TNotifyEvent>("Changed", "TNotifyEvent",
                                        [](TDeviceScreen&) { return Classes::TNotifyEvent([](Classes::TComponent*) {}); })
        .Field("Display", &TDeviceScreen::Display)
        .Field("Sound", &TDeviceScreen::Sound);
  });
}

std::string DeviceForm(const std::string& displayLines, const std::string& soundLines) {
  return "form Devices : TDeviceScreen\n"
         "  object Display : TDDraw\n" +
         displayLines +
         "  end\n"
         "  object Sound : TDSound\n" +
         soundLines +
         "  end\n"
         "end\n";
}

}  // namespace

// Mended: forms could not place the display or the sound device (their classes were not registered).
TEST(DeviceClasses, FormsPlaceTheDisplayAndTheSoundDeviceWithEveryPublishedProperty) {
  RegisterDeviceScreen();
  TDeviceScreen screen;
  platform::form::LoadForm(screen,
                           DeviceForm("    FullScreen = false\n"
                                      "    RefreshRate = 60\n"
                                      "    TripleBuffer = false\n"
                                      "    DoNotWait = true\n"
                                      "    NoVSync = true\n"
                                      "    Blt4Div = true\n"
                                      "    BackType = btSystem\n"
                                      "    BitDepth = bd32\n"
                                      "    ScreenSize = ss320x240\n"  // lowers the sprite size to the screen
                                      "    SpriteHeight = 100\n"
                                      "    SpritePage = 3\n"
                                      "    OnSpriteRestore = SpriteRestore\n",
                                      "    Channels = 1\n"
                                      "    SamplesPerSec = 22050\n"
                                      "    BitsPerSample = 8\n"
                                      "    Use3D = true\n"),
                           "Devices.form");
  ASSERT_NE(screen.Display, nullptr);
  ASSERT_NE(screen.Sound, nullptr);
  const TDDraw& d = *screen.Display;
  EXPECT_EQ(d.GetOwner(), &screen);
  EXPECT_FALSE(d.GetFullScreen());
  EXPECT_EQ(d.GetRefreshRate(), 60);
  EXPECT_FALSE(d.GetTripleBuffer());
  EXPECT_TRUE(d.DoNotWait);
  EXPECT_TRUE(d.NoVSync);
  EXPECT_TRUE(d.Blt4Div);
  EXPECT_EQ(d.GetBackType(), DirectX::btSystem);
  EXPECT_EQ(d.GetBitDepth(), bd32);
  EXPECT_EQ(d.GetScreenSize(), ss320x240);
  EXPECT_EQ(d.GetWidth(), 320);
  EXPECT_EQ(d.GetSpriteWidth(), 320);
  EXPECT_EQ(d.GetSpriteHeight(), 100);
  EXPECT_EQ(d.GetSpritePage(), 3);
  ASSERT_TRUE(d.OnSpriteRestore);
  d.OnSpriteRestore(nullptr, 2);
  EXPECT_EQ(screen.restoredPages, std::vector<int>{2});
  const TDSound& s = *screen.Sound;
  EXPECT_EQ(s.GetOwner(), &screen);
  EXPECT_EQ(s.GetChannels(), 1);
  EXPECT_EQ(s.GetSamplesPerSec(), 22050u);
  EXPECT_EQ(s.GetBitsPerSample(), 8);
  EXPECT_TRUE(s.GetUse3D());
  EXPECT_FALSE(s.GetEnabled()) << "a placed device is closed";
}

// What a form leaves unwritten keeps the defaults that the form data relies on.
TEST(DeviceClasses, UnwrittenPropertiesKeepTheirDefaults) {
  RegisterDeviceScreen();
  TDeviceScreen screen;
  platform::form::LoadForm(screen, DeviceForm("", ""), "Devices.form");
  const TDDraw& d = *screen.Display;
  EXPECT_TRUE(d.GetFullScreen());
  EXPECT_EQ(d.GetRefreshRate(), 0);
  EXPECT_TRUE(d.GetTripleBuffer());
  EXPECT_FALSE(d.DoNotWait || d.NoVSync || d.Blt4Div);
  EXPECT_EQ(d.GetBackType(), DirectX::btNone);
  EXPECT_EQ(d.GetBitDepth(), bd16);
  EXPECT_EQ(d.GetScreenSize(), ss640x480);
  EXPECT_EQ(d.GetSpriteWidth(), 640);
  EXPECT_EQ(d.GetSpriteHeight(), 480);
  EXPECT_EQ(d.GetSpritePage(), 0);
  EXPECT_FALSE(d.OnSpriteRestore);
  EXPECT_FALSE(d.GetEnabled());
  const TDSound& s = *screen.Sound;
  EXPECT_EQ(s.GetChannels(), 2);
  EXPECT_EQ(s.GetSamplesPerSec(), 44100u);
  EXPECT_EQ(s.GetBitsPerSample(), 16);
  EXPECT_FALSE(s.GetUse3D());
}

// Values the setters ignore are ignored as in code; values that are no value of the property stop the form at
// their line, with nothing created.
TEST(DeviceClasses, FormValuesAreCheckedOrIgnoredAsTheSettersRule) {
  RegisterDeviceScreen();
  {
    TDeviceScreen screen;
    platform::form::LoadForm(screen, DeviceForm("    BitDepth = bd8\n", "    Channels = 3\n    BitsPerSample = 24\n"),
                             "Devices.form");
    EXPECT_EQ(screen.Display->GetBitDepth(), bd16);
    EXPECT_EQ(screen.Sound->GetChannels(), 2);
    EXPECT_EQ(screen.Sound->GetBitsPerSample(), 16);
  }
  struct Case {
    std::string display, sound;
    int line;
    const char* error;
  };
  const Case cases[] = {
      {"    ScreenSize = ss640x400\n", "", 3, "unknown value ss640x400"},
      {"    BackType = btOverlay\n", "", 3, "unknown value btOverlay"},
      {"    Enabled = true\n", "", 3, "no property Enabled"},  // public, not published
      {"    OnSpriteRestore = Changed\n", "", 3, "TSpriteRestoreEvent"},
      {"", "    Channels = 65538\n", 5, "Channels 65538 is out of range"},  // not cut down to 2
      {"", "    SamplesPerSec = -1\n", 5, "SamplesPerSec -1 is out of range"},
      {"", "    BitsPerSample = 0x10010\n", 5, "out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display + c.sound);
    TDeviceScreen screen;
    try {
      platform::form::LoadForm(screen, DeviceForm(c.display, c.sound), "Devices.form");
      ADD_FAILURE() << "loaded";
    } catch (const platform::form::EFormError& e) {
      EXPECT_EQ(e.Line(), c.line);
      EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.what();
    }
    EXPECT_EQ(screen.GetComponentCount(), 0);
  }
}

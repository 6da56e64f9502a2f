// The configuration screen in the game window on the demo game, clicked with injected mouse input; what it changes
// is read back from the sound service, the user configuration and the settings file "QORM.ini".
// Label: threads
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/pconfigmenu.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

std::string SettingsFile() {
  std::ifstream in(GetSaveFolderHost() + "QORM.ini", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ConfigScreen : public ::testing::Test {
protected:
  void SetUp() override {
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    ResetUserConfig(&UserConfig);
    menu = std::make_unique<TConfigMenu>(nullptr);
    menu->SetCallback(VXCallback1<ConfigScreen, bool, int>(this, &ConfigScreen::Event));
    ASSERT_TRUE(menu->Open());
    w.form->AttachPanel(menu->ConfigPanel);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    w.Step(34);
  }
  void TearDown() override {
    w.form->DetachPanel(menu->ConfigPanel);
    menu.reset();
  }
  bool Event(int e) {
    events.push_back(e);
    return true;
  }
  // A click at (x, y) inside the panel.
  void Click(const TZoRGBPanel* panel, int x, int y) {
    int sx = x, sy = y;
    panel->ClientToScreen(sx, sy);
    w.Click(sx, sy);
    w.Step(34);
  }
  void Click(const TZoRGBPanel* panel) { Click(panel, panel->GetSizeX() / 2, panel->GetSizeY() / 2); }

  GameWindow w;
  std::unique_ptr<TConfigMenu> menu;
  std::vector<int> events;
};

TEST_F(ConfigScreen, SliderPressesSetTheirValueFromThePointer) {
  struct Case {
    const char* row;
    TZoRGBPanel* slider;
    int x;
    std::function<int()> value;
    int expected;
  };
  const auto bgm = [this] { return w.form->GetBgmVolume(); };
  const auto wait = [] { return static_cast<int>(UserConfig.AutoSkipWait); };
  const Case cases[] = {
      {"bgm", menu->BGMVSlider, 2, bgm, 0},       {"bgm", menu->BGMVSlider, 58, bgm, 50},
      {"bgm", menu->BGMVSlider, 112, bgm, 100},   {"bgm", menu->BGMVSlider, 30, bgm, 24},
      {"wait", menu->ASkipSlider, 2, wait, 0},    {"wait", menu->ASkipSlider, 58, wait, 2500},
      {"wait", menu->ASkipSlider, 116, wait, 5000},
      {"speed", menu->SpeedSlider, 14, [] { return static_cast<int>(UserConfig.UserTextSpeed); }, 91},
      {"transparency", menu->MesBoxSlider, 58, [] { return static_cast<int>(UserConfig.MesBoxTrans); }, 50},
      {"keys", menu->KeyVSlider, 4, [] { return static_cast<int>(UserConfig.VolumeKeyboard); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.row) + " at " + std::to_string(c.x));
    Click(c.slider, c.x, 7);
    EXPECT_EQ(c.value(), c.expected);
  }
  EXPECT_EQ(menu->BGMVNum->GetNumber(), 24);
  EXPECT_EQ(menu->ASkipNum->GetNumber(), 5000);
  // A drag with the button held follows the pointer.
  int x = 58, y = 7;
  menu->MainVSlider->ClientToScreen(x, y);
  w.input.MouseMoved(x, y);
  w.input.MouseButtonChanged(platform::input::MouseButton::Left, true, 1, x, y);
  w.input.MouseMoved(x - 27, y);
  w.input.MouseButtonChanged(platform::input::MouseButton::Left, false, 1, x - 27, y);
  w.RunMain();
  w.Step(34);
  EXPECT_EQ(UserConfig.VolumeMainPlay, 25);
}

TEST_F(ConfigScreen, LeftAndRightButtonsStepWithinTheRange) {
  struct Case {
    const char* what;
    std::function<void(int)> set;
    TZoRGBBtn* button;
    int before;
    std::function<int()> value;
    int after;
  };
  const auto setWait = [](int v) { UserConfig.AutoSkipWait = v; };
  const auto wait = [] { return static_cast<int>(UserConfig.AutoSkipWait); };
  const auto setSe = [this](int v) { w.form->SetSeVolume(v); };
  const auto se = [this] { return w.form->GetSeVolume(); };
  const auto setSpeed = [](int v) { UserConfig.UserTextSpeed = v; };
  const auto speed = [] { return static_cast<int>(UserConfig.UserTextSpeed); };
  const Case cases[] = {
      {"wait right", setWait, menu->ASkipBtnR, 2050, wait, 2100}, {"wait left", setWait, menu->ASkipBtnL, 2050, wait, 2000},
      {"wait left", setWait, menu->ASkipBtnL, 2000, wait, 1900},  {"wait left at 0", setWait, menu->ASkipBtnL, 0, wait, 0},
      {"wait right at the top", setWait, menu->ASkipBtnR, 5000, wait, 5000},
      {"wait right near the top", setWait, menu->ASkipBtnR, 4950, wait, 5000},
      {"se left", setSe, menu->SEVBtnL, 40, se, 39},              {"se right", setSe, menu->SEVBtnR, 40, se, 41},
      {"se left at 0", setSe, menu->SEVBtnL, 0, se, 0},           {"se right at 100", setSe, menu->SEVBtnR, 100, se, 100},
      {"speed left adds", setSpeed, menu->SpeedBtnL, 50, speed, 51},
      {"speed left below 100 only", setSpeed, menu->SpeedBtnL, 100, speed, 100},
      {"speed right takes", setSpeed, menu->SpeedBtnR, 1, speed, 0},
      {"speed right from 0", setSpeed, menu->SpeedBtnR, 0, speed, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.set(c.before);
    Click(c.button);
    EXPECT_EQ(c.value(), c.after);
  }
}

TEST_F(ConfigScreen, ChoiceButtonsSetTheirValueAndShowTheGroup) {
  struct Case {
    TZoRGBBtn* button;
    std::function<int()> value;
    int expected;
    std::vector<TZoRGBBtn*> others;
  };
  const Case cases[] = {
      {menu->RankHard, [] { return static_cast<int>(UserConfig.MusicRankMode); }, 1, {menu->RankEasy, menu->RankNormal}},
      {menu->RankEasy, [] { return static_cast<int>(UserConfig.MusicRankMode); }, 2, {menu->RankHard, menu->RankNormal}},
      {menu->WordOFF, [] { return static_cast<int>(UserConfig.MusicWordMode); }, 0, {menu->WordNormal, menu->WordHiQuality}},
      {menu->WordHiQuality, [] { return static_cast<int>(UserConfig.MusicWordMode); }, 2, {menu->WordNormal, menu->WordOFF}},
      {menu->EffectSimple, [] { return static_cast<int>(UserConfig.SimpleDisplay); }, 1, {menu->EffectNormal}},
      {menu->AutoFreeON, [] { return static_cast<int>(UserConfig.MusicAutoMode); }, 1, {menu->AutoFreeOFF}},
      {menu->AnimeOFF, [] { return static_cast<int>(UserConfig.MusicAnime); }, 0, {menu->AnimeON}},
      {menu->TimingTimer, [] { return static_cast<int>(UserConfig.MusicTimingMode); }, 0, {menu->TimingSound}},
  };
  EXPECT_TRUE(menu->RankNormal->GetSelected());
  EXPECT_TRUE(menu->WordNormal->GetSelected());
  for (const Case& c : cases) {
    Click(c.button);
    EXPECT_EQ(c.value(), c.expected);
    EXPECT_TRUE(c.button->GetSelected());
    for (TZoRGBBtn* other : c.others) EXPECT_FALSE(other->GetSelected());
  }
}

TEST_F(ConfigScreen, DefaultsResetTheirGroupOnly) {
  w.form->SetBgmVolume(5);
  w.form->SetRearVolume(5);
  UserConfig.MesBoxTrans = 80;
  UserConfig.VolumeKeyboard = 3;
  UserConfig.MusicWordMode = 0;
  Click(menu->AdvBtnNormalSet);
  EXPECT_EQ(UserConfig.MesBoxTrans, 25);
  EXPECT_EQ(UserConfig.VolumeKeyboard, 3);
  EXPECT_EQ(w.form->GetBgmVolume(), 5);
  Click(menu->MusicBtnNormalSet);
  EXPECT_EQ(UserConfig.VolumeKeyboard, 100);
  EXPECT_EQ(UserConfig.MusicWordMode, 1);
  EXPECT_TRUE(menu->WordNormal->GetSelected());
  Click(menu->Fps30Btn);
  Click(menu->SysBtnNormalSet);
  EXPECT_EQ(w.form->GetBgmVolume(), 70);
  EXPECT_EQ(w.form->GetRearVolume(), 90);
  EXPECT_EQ(w.form->GetFpsMode(), kFpsFull);
  EXPECT_EQ(menu->BGMVNum->GetNumber(), 70);
  EXPECT_TRUE(menu->FpsFullBtn->GetSelected());
}

TEST_F(ConfigScreen, TheDisplayButtonsAskOnlyForTheOtherMode) {
  ASSERT_EQ(WindowMode.load(), 1);
  EXPECT_TRUE(menu->DispWindowBtn->GetSelected());
  Click(menu->DispWindowBtn);
  EXPECT_EQ(w.tasks.Pending(), 0u) << "window mode is shown already: nothing is asked";
  if (!w.form->IsFullScreenAvailable()) GTEST_SKIP() << "no full screen here";
  Click(menu->DispFullBtn);
  EXPECT_EQ(w.tasks.Pending(), 1u);
  w.RunMain();
  EXPECT_EQ(WindowMode.load(), 0);
  w.Step(34);
  EXPECT_TRUE(menu->DispFullBtn->GetSelected()) << "the display group follows the window";
  EXPECT_FALSE(menu->DispWindowBtn->GetSelected());
}

// What the screen changes reaches the settings file: the pacing mode at once, the user configuration when the flow
// that opened the screen saves it on the closing event.
TEST_F(ConfigScreen, ChangedSettingsAreFoundInTheSettingsFile) {
  Click(menu->Fps30Btn);
  EXPECT_EQ(w.form->GetFpsMode(), kFps30);
  EXPECT_NE(SettingsFile().find("FPSMode=30fps"), std::string::npos) << SettingsFile();
  Click(menu->AutoAdvON);
  Click(menu->MesBoxSlider, 58, 7);
  Click(menu->BtnExit);
  ASSERT_EQ(events, std::vector<int>{TConfigMenu::kClosed});
  ASSERT_TRUE(SaveUserConfig(&UserConfig));
  const std::string ini = SettingsFile();
  EXPECT_NE(ini.find("AvgAutoMode=Auto"), std::string::npos) << ini;
  EXPECT_NE(ini.find("MesBoxTrans=50"), std::string::npos) << ini;
  TUserConfig read;
  LoadUserConfig(&read);
  EXPECT_EQ(read.AvgAutoMode, 1);
  EXPECT_EQ(read.MesBoxTrans, 50);
}

}  // namespace

namespace {

TEST_F(ConfigScreen, TheMessageWindowSampleIsDrawnAtTheTransparencyRate) {
  const int x = menu->MesBoxSample->GetOffsetX() + 60, y = menu->MesBoxSample->GetOffsetY() + 5;
  auto shown = [&](int trans, bool visible) {
    UserConfig.MesBoxTrans = trans;
    menu->MesBoxSample->SetVisible(visible);
    w.form->DrawFullFrame();
    return w.Pixel(x, y);
  };
  const std::uint32_t back = shown(0, false), plain = shown(0, true), none = shown(100, true), half = shown(50, true);
  EXPECT_NE(plain, back);
  EXPECT_EQ(none, back) << "a transparency of 100 draws nothing";
  for (int shift : {0, 8, 16}) {
    const int b = back >> shift & 0xFF, p = plain >> shift & 0xFF, h = half >> shift & 0xFF;
    EXPECT_GE(h, std::min(b, p) - 1);
    EXPECT_LE(h, std::max(b, p) + 1);
  }
  EXPECT_NE(half, plain);
}

}  // namespace

// Label: threads
#include "device/dinputu.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "support/tempdir.h"

namespace {

constexpr int kLeft = 203, kRight = 205, kUp = 200, kDown = 208;

class InputUnit : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(unit.Init(&input));
    ASSERT_TRUE(unit.SetKeyboardEnabled(true));
  }
  void Key(SDL_Scancode code, bool down) { input.KeyChanged(code, down, false); }

  platform::input::Input input;
  TDInputUnit unit;
};

}  // namespace

TEST_F(InputUnit, GameKeyRepeatFollowsDelayAndInterval) {
  Key(SDL_SCANCODE_Z, true);
  std::vector<int> states;
  for (int frame = 1; frame <= 20; ++frame) {
    unit.Update(1);
    states.push_back(unit.GetGameKeyRepeat(0));
  }
  const std::vector<int> want = {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 2, 3, 2};
  EXPECT_EQ(states, want);

  Key(SDL_SCANCODE_Z, false);
  unit.Update(1);
  EXPECT_EQ(unit.GetGameKeyRepeat(0), -1);
  Key(SDL_SCANCODE_Z, true);
  unit.Update(3);
  unit.Update(16);  // 16 frames: past the delay, one frame carried
  EXPECT_EQ(unit.GetGameKeyRepeat(0), 2);
  unit.Update(1);  // carried 1 + 1 reaches the interval
  EXPECT_EQ(unit.GetGameKeyRepeat(0), 2);
}

TEST_F(InputUnit, KeysOfEachGameKey) {
  const std::pair<SDL_Scancode, int> cases[] = {
      {SDL_SCANCODE_SPACE, 0}, {SDL_SCANCODE_RETURN, 0}, {SDL_SCANCODE_ESCAPE, 1}, {SDL_SCANCODE_A, 2},
      {SDL_SCANCODE_S, 3},     {SDL_SCANCODE_PAGEUP, 4}, {SDL_SCANCODE_F2, 5},     {SDL_SCANCODE_F3, 6},
      {SDL_SCANCODE_F12, 15},  {SDL_SCANCODE_SLASH, 16}};
  for (bool direct : {true, false}) {
    unit.SetKeyboardEnabled(direct);
    for (const auto& [code, gameKey] : cases) {
      Key(code, true);
      unit.Update(1);
      EXPECT_TRUE(unit.IsGameKeyDown(gameKey)) << code << (direct ? " scan codes" : " virtual keys");
      Key(code, false);
      unit.Update(1);
      EXPECT_FALSE(unit.IsGameKeyDown(gameKey));
    }
  }
}

TEST_F(InputUnit, Directions) {
  struct Case {
    std::vector<SDL_Scancode> keys;
    int direction;
  };
  const Case cases[] = {{{}, -1},
                        {{SDL_SCANCODE_UP}, 0},
                        {{SDL_SCANCODE_UP, SDL_SCANCODE_RIGHT}, 1},
                        {{SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT}, 6},
                        {{SDL_SCANCODE_UP, SDL_SCANCODE_DOWN}, 4},
                        {{SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_2}, 5},
                        {{SDL_SCANCODE_KP_9}, 1},
                        {{SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_3}, 7},
                        {{SDL_SCANCODE_KP_9, SDL_SCANCODE_LEFT}, 6}};
  for (bool direct : {true, false}) {
    unit.SetKeyboardEnabled(direct);
    for (const Case& c : cases) {
      for (auto k : c.keys) Key(k, true);
      unit.Update(1);
      EXPECT_EQ(unit.GetDirection(), c.direction) << c.keys.size() << (direct ? " scan codes" : " virtual keys");
      for (auto k : c.keys) Key(k, false);
    }
  }
}

TEST_F(InputUnit, JoypadOverridesTheKeyboardAndMapsButtons) {
  input.JoypadAttached();
  ASSERT_TRUE(unit.FindJoypad());
  ASSERT_TRUE(unit.SetJoypadEnabled(true));
  Key(SDL_SCANCODE_UP, true);
  input.JoypadAxis(0, 32767);
  input.JoypadAxis(1, 32767);
  input.JoypadButton(3, true);
  unit.Update(1);
  EXPECT_EQ(unit.GetDirection(), 3) << "down-right from the pad";
  EXPECT_EQ(unit.GetKeyboardDirection(), 0);
  EXPECT_TRUE(unit.IsButtonDown(3));
  EXPECT_TRUE(unit.IsGameKeyDown(3));

  input.JoypadDetached();
  unit.Update(1);
  EXPECT_FALSE(unit.IsJoypadEnabled()) << "a lost pad is disabled";
  EXPECT_EQ(unit.GetDirection(), 0);
}

// Mended: indexes out of range were read outside the state arrays, and so were button numbers above 31.
TEST_F(InputUnit, OutOfRangeIndexesAndButtons) {
  input.JoypadAttached();
  unit.SetJoypadEnabled(true);
  for (int b = 0; b < 32; ++b) input.JoypadButton(b, true);
  Key(SDL_SCANCODE_Z, true);
  unit.Update(1);
  for (int k : {-1, 256, 100000}) EXPECT_FALSE(unit.IsKeyDown(k)) << k;
  EXPECT_TRUE(unit.IsKeyDown(44));
  for (int b : {-1, 32, 1 << 30}) EXPECT_FALSE(unit.IsButtonDown(b)) << b;
  EXPECT_TRUE(unit.IsButtonDown(31));

  Key(SDL_SCANCODE_Z, false);
  for (int button : {32, 40, 2147483647, -5}) {
    unit.SetButtonMap(0, button);
    unit.Update(1);
    EXPECT_FALSE(unit.IsGameKeyDown(0)) << "button " << button << " presses nothing";
  }
  unit.SetButtonMap(17, 1);
  EXPECT_EQ(unit.GetButtonMap(17), -1);
}

TEST_F(InputUnit, ButtonConfigFromTheSettings) {
  TempDir dir;
  const std::string path = dir.path().string() + "/QORM.ini";
  std::ofstream(path) << "[Joypad]\r\nButton1=7\r\nButton3=abc\r\nButton4=\r\nButton10=31\r\nButton11=5\r\n";
  unit.SetButtonMap(2, 9);
  unit.SetButtonMap(3, 8);
  unit.LoadButtonConfig(VXWideStr(path.c_str()));
  EXPECT_EQ(unit.GetButtonMap(0), 7);
  EXPECT_EQ(unit.GetButtonMap(1), 1);
  EXPECT_EQ(unit.GetButtonMap(2), 2) << "not a number: the default";
  EXPECT_EQ(unit.GetButtonMap(3), 8) << "empty: unchanged";
  EXPECT_EQ(unit.GetButtonMap(9), 31);
  EXPECT_EQ(unit.GetButtonMap(10), -1) << "not configurable";
  unit.LoadButtonConfig(VXWideStr((dir.path().string() + "/missing.ini").c_str()));
  EXPECT_EQ(unit.GetButtonMap(0), 7);
}

TEST_F(InputUnit, KeyEventsAndFocus) {
  for (int i = 0; i < 40; ++i) {
    Key(SDL_SCANCODE_D, i % 2 == 0);
  }
  TDInputUnit::KeyEvent events[100];
  EXPECT_EQ(unit.GetKeyEvents(events, 100), 32);
  EXPECT_EQ(events[0].key, 32u);
  EXPECT_EQ(events[0].pressed, 1);
  EXPECT_EQ(events[1].pressed, 0);

  input.FocusChanged(false);
  Key(SDL_SCANCODE_D, true);
  EXPECT_EQ(unit.GetKeyEvents(events, 100), 0);
  unit.Update(1);
  EXPECT_FALSE(unit.IsKeyDown(32));
  input.FocusChanged(true);
  unit.Update(1);  // acquires again
  Key(SDL_SCANCODE_D, false);
  EXPECT_EQ(unit.GetKeyEvents(events, 100), 1);
  EXPECT_EQ(events[0].pressed, 0);

  TDInputUnit loose;
  EXPECT_FALSE(loose.Init(nullptr));
  EXPECT_EQ(loose.GetKeyEvents(events, 5), 0);
}

TEST_F(InputUnit, EventsFromTheMainThreadReadByTheGameThread) {
  std::thread main([&] {
    for (int i = 0; i < 2000; ++i) Key(SDL_SCANCODE_Z, i % 2 == 0);
  });
  int seen = 0;
  TDInputUnit::KeyEvent events[32];
  for (int i = 0; i < 2000; ++i) {
    unit.Update(1);
    seen += unit.GetKeyEvents(events, 32);
  }
  main.join();
  seen += unit.GetKeyEvents(events, 32);
  EXPECT_GT(seen, 0);
}

TEST_F(InputUnit, DirectionRepeatStartsAgainOnAChangeOfDirection) {
  Key(SDL_SCANCODE_UP, true);
  std::vector<int> states;
  for (int frame = 1; frame <= 17; ++frame) {
    unit.Update(1);
    states.push_back(unit.GetDirectionRepeat());
  }
  EXPECT_EQ(states, (std::vector<int>{0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 3}));
  Key(SDL_SCANCODE_RIGHT, true);
  unit.Update(1);
  EXPECT_EQ(unit.GetDirection(), 1);
  EXPECT_EQ(unit.GetPrevDirection(), 0);
  EXPECT_EQ(unit.GetDirectionRepeat(), 0) << "up-right is a new direction";
  Key(SDL_SCANCODE_UP, false);
  Key(SDL_SCANCODE_RIGHT, false);
  unit.Update(1);
  EXPECT_EQ(unit.GetDirectionRepeat(), -1);
}

TEST(InputUnitDevices, CreatedAndReleasedThroughTheBoundLayer) {
  platform::input::Input input;
  TDInputUnit unit;
  EXPECT_FALSE(unit.CreateKeyboard()) << "nothing bound yet";
  EXPECT_TRUE(unit.SetKeyboardEnabled(true)) << "the wish is kept until Init";
  EXPECT_FALSE(unit.IsKeyboardEnabled());
  ASSERT_TRUE(unit.Init(&input));
  EXPECT_TRUE(unit.IsKeyboardEnabled());
  EXPECT_TRUE(input.IsKeyboardAcquired());

  EXPECT_FALSE(unit.CreateJoypad()) << "no pad attached";
  input.JoypadAttached();
  EXPECT_TRUE(unit.CreateJoypad());
  EXPECT_TRUE(unit.IsJoypadEnabled());
  unit.ReleaseJoypad();
  EXPECT_FALSE(unit.IsJoypadEnabled());
  unit.ReleaseKeyboard();
  EXPECT_FALSE(unit.IsKeyboardEnabled());
  EXPECT_FALSE(input.IsKeyboardAcquired());

  ASSERT_TRUE(unit.CreateKeyboard());
  ASSERT_TRUE(unit.CreateJoypad());
  unit.ReleaseAll();
  EXPECT_FALSE(unit.IsKeyboardEnabled());
  EXPECT_FALSE(unit.IsJoypadEnabled());
  EXPECT_FALSE(input.IsKeyboardAcquired());
  EXPECT_FALSE(unit.CreateKeyboard()) << "released with the devices";
  ASSERT_TRUE(unit.Init(&input));
  EXPECT_TRUE(unit.SetKeyboardEnabled(true));
}

// Label: threads
#include "platform/input.h"

#include <gtest/gtest.h>

#include <SDL_joystick.h>
#include <SDL_keyboard.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>

using namespace platform::input;

namespace {

std::array<std::uint8_t, 256> KeyboardState(const Input& in) {
  std::array<std::uint8_t, 256> s{};
  in.ReadKeyboardState(s);
  return s;
}

std::array<std::uint8_t, 256> VirtualKeyState(const Input& in) {
  std::array<std::uint8_t, 256> s{};
  in.ReadVirtualKeyState(s);
  return s;
}

std::vector<KeyEvent> ReadAll(Input& in, ReadResult* result = nullptr) {
  std::vector<KeyEvent> out(256);
  int n = 0;
  ReadResult r = in.ReadKeyEvents(out, n);
  if (result != nullptr) *result = r;
  out.resize(n);
  return out;
}

void Tap(Input& in, SDL_Scancode sc) {
  in.KeyChanged(sc, true, false);
  in.KeyChanged(sc, false, false);
}

std::string Typed(const std::vector<Message>& ms) {
  std::string s;
  for (const Message& m : ms)
    if (m.kind == Message::Kind::Char) s += m.Text();
  return s;
}

}  // namespace

TEST(KeyTable, MapsScancodesToDirectInputAndVirtualKeys) {
  struct Case {
    SDL_Scancode sc;
    int dik, vk;
  };
  const Case cases[] = {
      {SDL_SCANCODE_UP, 200, 0x26},        {SDL_SCANCODE_DOWN, 208, 0x28},     {SDL_SCANCODE_LEFT, 203, 0x25},
      {SDL_SCANCODE_RIGHT, 205, 0x27},     {SDL_SCANCODE_PRINTSCREEN, 183, 0x2C},
      {SDL_SCANCODE_ESCAPE, 1, 0x1B},      {SDL_SCANCODE_1, 2, '1'},           {SDL_SCANCODE_9, 10, '9'},
      {SDL_SCANCODE_0, 11, '0'},           {SDL_SCANCODE_Q, 16, 'Q'},          {SDL_SCANCODE_P, 25, 'P'},
      {SDL_SCANCODE_A, 30, 'A'},           {SDL_SCANCODE_L, 38, 'L'},          {SDL_SCANCODE_SEMICOLON, 39, 0xBA},
      {SDL_SCANCODE_Z, 44, 'Z'},           {SDL_SCANCODE_M, 50, 'M'},          {SDL_SCANCODE_SLASH, 53, 0xBF},
      {SDL_SCANCODE_RETURN, 28, 0x0D},     {SDL_SCANCODE_SPACE, 57, 0x20},     {SDL_SCANCODE_BACKSPACE, 14, 0x08},
      {SDL_SCANCODE_TAB, 15, 0x09},        {SDL_SCANCODE_F1, 59, 0x70},        {SDL_SCANCODE_F2, 60, 0x71},
      {SDL_SCANCODE_F10, 68, 0x79},        {SDL_SCANCODE_F11, 87, 0x7A},       {SDL_SCANCODE_F12, 88, 0x7B},
      {SDL_SCANCODE_PAGEUP, 201, 0x21},    {SDL_SCANCODE_PAGEDOWN, 209, 0x22}, {SDL_SCANCODE_HOME, 199, 0x24},
      {SDL_SCANCODE_END, 207, 0x23},       {SDL_SCANCODE_INSERT, 210, 0x2D},   {SDL_SCANCODE_DELETE, 211, 0x2E},
      {SDL_SCANCODE_KP_0, 82, 0x60},       {SDL_SCANCODE_KP_1, 79, 0x61},      {SDL_SCANCODE_KP_2, 80, 0x62},
      {SDL_SCANCODE_KP_3, 81, 0x63},       {SDL_SCANCODE_KP_4, 75, 0x64},      {SDL_SCANCODE_KP_6, 77, 0x66},
      {SDL_SCANCODE_KP_7, 71, 0x67},       {SDL_SCANCODE_KP_8, 72, 0x68},      {SDL_SCANCODE_KP_9, 73, 0x69},
      {SDL_SCANCODE_KP_ENTER, 156, 0x0D},  {SDL_SCANCODE_KP_DIVIDE, 181, 0x6F}, {SDL_SCANCODE_KP_MULTIPLY, 55, 0x6A},
      {SDL_SCANCODE_KP_PERIOD, 83, 0x6E},  {SDL_SCANCODE_LSHIFT, 42, 0x10},    {SDL_SCANCODE_RSHIFT, 54, 0x10},
      {SDL_SCANCODE_LCTRL, 29, 0x11},      {SDL_SCANCODE_RCTRL, 157, 0x11},    {SDL_SCANCODE_LALT, 56, 0x12},
      {SDL_SCANCODE_RALT, 184, 0x12},
  };
  for (const Case& c : cases) {
    const KeyCodes* k = FindKey(c.sc);
    ASSERT_NE(k, nullptr) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(k->dik, c.dik) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(k->vk, c.vk) << SDL_GetScancodeName(c.sc);
  }
  EXPECT_EQ(FindKey(SDL_SCANCODE_F24), nullptr);
  EXPECT_EQ(FindKey(static_cast<SDL_Scancode>(-1)), nullptr);
  EXPECT_EQ(FindKey(static_cast<SDL_Scancode>(SDL_NUM_SCANCODES)), nullptr);
}

TEST(KeyTable, EachScancodeOnceAndEveryKeyOfTheThreePlayingRows) {
  std::set<int> scancodes, diks;
  for (const KeyCodes& k : KeyTable()) {
    EXPECT_TRUE(scancodes.insert(k.scancode).second) << "twice: " << SDL_GetScancodeName(k.scancode);
    diks.insert(k.dik);
  }
  for (int first : {16, 30, 44})
    for (int dik = first; dik < first + 10; ++dik) EXPECT_TRUE(diks.contains(dik)) << dik;
}

TEST(Input, KeyPressReachesScanCodeStateEventsVirtualKeysAndMessages) {
  Input in;
  ASSERT_TRUE(in.AcquireKeyboard());
  in.KeyChanged(SDL_SCANCODE_RSHIFT, true, false);
  in.KeyChanged(SDL_SCANCODE_UP, true, false);

  auto keys = KeyboardState(in);
  EXPECT_EQ(keys[54], 0x80);
  EXPECT_EQ(keys[200], 0x80);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), 0x80), 2);

  auto vks = VirtualKeyState(in);
  EXPECT_EQ(vks[vk::kShift], 0x80);
  EXPECT_EQ(vks[vk::kRShift], 0x80);
  EXPECT_EQ(vks[vk::kLShift], 0);
  EXPECT_EQ(vks[0x26], 0x80);

  in.KeyChanged(SDL_SCANCODE_UP, false, false);
  const auto events = ReadAll(in);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].dik, 54u);
  EXPECT_TRUE(events[0].pressed);
  EXPECT_EQ(events[1].dik, 200u);
  EXPECT_TRUE(events[1].pressed);
  EXPECT_EQ(events[2].dik, 200u);
  EXPECT_FALSE(events[2].pressed);
  EXPECT_EQ(KeyboardState(in)[200], 0);

  const auto ms = in.TakeMessages();
  ASSERT_EQ(ms.size(), 3u);
  EXPECT_EQ(ms[1].kind, Message::Kind::KeyDown);
  EXPECT_EQ(ms[1].vk, 0x26);
  EXPECT_EQ(ms[1].shift, shift::kShift);
  EXPECT_EQ(ms[2].kind, Message::Kind::KeyUp);
}

TEST(Input, ScanCodesAreReadOnlyWhileAcquired) {
  Input in;
  std::array<std::uint8_t, 256> s{};
  in.KeyChanged(SDL_SCANCODE_Z, true, false);
  EXPECT_FALSE(in.ReadKeyboardState(s));
  ReadResult r;
  EXPECT_TRUE(ReadAll(in, &r).empty());
  EXPECT_EQ(r, ReadResult::NotAcquired);
  EXPECT_EQ(VirtualKeyState(in)['Z'], 0x80) << "window messages and their state do not need the acquisition";

  // Acquiring shows what is held now, but no event from before.
  ASSERT_TRUE(in.AcquireKeyboard());
  EXPECT_EQ(KeyboardState(in)[44], 0x80);
  EXPECT_TRUE(ReadAll(in).empty());
}

TEST(Input, AutoRepeatIsAMessageButNoScanCodeEvent) {
  Input in;
  in.AcquireKeyboard();
  in.KeyChanged(SDL_SCANCODE_X, true, false);
  in.KeyChanged(SDL_SCANCODE_X, true, true);
  in.KeyChanged(SDL_SCANCODE_X, true, true);
  EXPECT_EQ(ReadAll(in).size(), 1u);
  const auto ms = in.TakeMessages();
  ASSERT_EQ(ms.size(), 3u);
  EXPECT_FALSE(ms[0].repeat);
  EXPECT_TRUE(ms[1].repeat);
  EXPECT_TRUE(ms[2].repeat);
}

TEST(Input, KeyBufferKeepsTheOldestAndReportsOverflowOnce) {
  Input in;
  in.AcquireKeyboard();
  for (int i = 0; i < 20; ++i) Tap(in, SDL_SCANCODE_SPACE);  // 40 events into 32 places

  std::vector<KeyEvent> out(100);
  int n = 0;
  EXPECT_EQ(in.ReadKeyEvents(std::span(out).first(10), n), ReadResult::Overflow);
  EXPECT_EQ(n, 10);
  EXPECT_TRUE(out[0].pressed);
  EXPECT_FALSE(out[1].pressed);
  EXPECT_EQ(in.ReadKeyEvents(out, n), ReadResult::Ok);
  EXPECT_EQ(n, 22);
}

TEST(Input, TypedTextBecomesCp932Characters) {
  Input in;
  in.TextTyped("a\xE3\x81\x82\xE6\xBC\xA2\xEF\xBD\xB1\xF0\x9F\x98\x80!");  // a あ 漢 ｱ (an emoji) !
  const auto ms = in.TakeMessages();
  ASSERT_EQ(ms.size(), 5u) << "a character without a CP932 form is not typed";
  EXPECT_EQ(ms[0].Text(), "a");
  EXPECT_EQ(ms[1].Text(), "\x82\xA0");
  EXPECT_EQ(ms[2].Text(), "\x8A\xBF");
  EXPECT_EQ(ms[3].Text(), "\xB1");
  EXPECT_EQ(ms[4].Text(), "!");
}

TEST(Input, EnterBackspaceEscAndTabTypeTheirCharacters) {
  const std::pair<SDL_Scancode, char> cases[] = {
      {SDL_SCANCODE_RETURN, '\r'}, {SDL_SCANCODE_KP_ENTER, '\r'}, {SDL_SCANCODE_BACKSPACE, '\b'},
      {SDL_SCANCODE_ESCAPE, '\x1B'}, {SDL_SCANCODE_TAB, '\t'}};
  for (const auto& [sc, ch] : cases) {
    Input in;
    in.KeyChanged(sc, true, false);
    in.KeyChanged(sc, true, true);
    in.KeyChanged(sc, false, false);
    const auto ms = in.TakeMessages();
    ASSERT_EQ(ms.size(), 5u) << SDL_GetScancodeName(sc);
    EXPECT_EQ(ms[0].kind, Message::Kind::KeyDown);
    EXPECT_EQ(ms[1].kind, Message::Kind::Char);
    EXPECT_EQ(ms[1].Text(), std::string(1, ch));
    EXPECT_EQ(ms[3].Text(), std::string(1, ch)) << "a repeat types again";
    EXPECT_EQ(ms[4].kind, Message::Kind::KeyUp);
  }

  Input in;
  in.KeyChanged(SDL_SCANCODE_A, true, false);
  in.KeyChanged(SDL_SCANCODE_LALT, true, false);
  in.KeyChanged(SDL_SCANCODE_RETURN, true, false);
  EXPECT_EQ(Typed(in.TakeMessages()), "") << "letters type through text input only; Alt+Enter types nothing";
}

TEST(Input, WheelNotchesAre120AtThePointer) {
  Input in;
  in.MouseMoved(100, 50);
  in.TakeMessages();
  in.MouseWheel(1);
  in.MouseWheel(-2);
  in.MouseWheel(0);
  const auto ms = in.TakeMessages();
  ASSERT_EQ(ms.size(), 2u);
  EXPECT_EQ(ms[0].kind, Message::Kind::MouseWheel);
  EXPECT_EQ(ms[0].wheelDelta, 120);
  EXPECT_EQ(ms[1].wheelDelta, -240);
  EXPECT_EQ(ms[1].x, 100);
  EXPECT_EQ(ms[1].y, 50);
}

TEST(Input, MousePositionsStayInsideTheLogicalPicture) {
  Input in;
  const struct {
    int x, y, wantX, wantY;
  } cases[] = {{10, 20, 10, 20}, {-5, 700, 0, 479}, {639, 479, 639, 479}, {640, -1, 639, 0}};
  for (const auto& c : cases) {
    in.MouseMoved(c.x, c.y);
    EXPECT_EQ(in.MouseX(), c.wantX);
    EXPECT_EQ(in.MouseY(), c.wantY);
  }
  in.TakeMessages();
  in.MouseMoved(700, -3);  // the same place again
  EXPECT_TRUE(in.TakeMessages().empty());

  Input small(320, 240);
  small.MouseMoved(400, 300);
  EXPECT_EQ(small.MouseX(), 319);
  EXPECT_EQ(small.MouseY(), 239);
}

TEST(Input, MouseButtonsCarryShiftStateAndDoubleClicks) {
  Input in;
  in.KeyChanged(SDL_SCANCODE_LCTRL, true, false);
  in.TakeMessages();
  in.MouseButtonChanged(MouseButton::Left, true, 1, 30, 40);
  EXPECT_EQ(VirtualKeyState(in)[vk::kLButton], 0x80);
  in.MouseButtonChanged(MouseButton::Left, false, 1, 30, 40);
  in.MouseButtonChanged(MouseButton::Left, false, 1, 30, 40);  // a release without a press
  in.MouseButtonChanged(MouseButton::Right, true, 2, 31, 41);

  const auto ms = in.TakeMessages();
  ASSERT_EQ(ms.size(), 3u);
  EXPECT_EQ(ms[0].kind, Message::Kind::MouseDown);
  EXPECT_EQ(ms[0].shift, shift::kCtrl | shift::kLeft);
  EXPECT_EQ(ms[0].x, 30);
  EXPECT_EQ(ms[1].kind, Message::Kind::MouseUp);
  EXPECT_EQ(ms[1].shift, shift::kCtrl);
  EXPECT_EQ(ms[2].button, MouseButton::Right);
  EXPECT_EQ(ms[2].shift, shift::kCtrl | shift::kRight | shift::kDouble);
}

TEST(Input, SetMousePosQueuesTheMoveAndMovesTheRealPointerOnce) {
  Input in;
  std::vector<std::pair<int, int>> warps;
  in.SetWarpHandler([&](int x, int y) { warps.emplace_back(x, y); });

  in.SetMousePos(320, 900);
  EXPECT_EQ(in.MouseY(), 479);
  Message m;
  ASSERT_TRUE(in.PollMessage(m));
  EXPECT_EQ(m.kind, Message::Kind::MouseMove);
  EXPECT_EQ(m.x, 320);
  EXPECT_EQ(m.y, 479);
  EXPECT_EQ(warps, (std::vector<std::pair<int, int>>{{320, 479}}));

  in.MouseMoved(320, 479);  // the real pointer's own motion event
  in.SetMousePos(320, 479);
  EXPECT_FALSE(in.PollMessage(m));
  EXPECT_EQ(warps.size(), 1u);
}

TEST(Input, LosingTheFocusReleasesEverythingAndUnacquires) {
  Input in;
  in.AcquireKeyboard();
  in.KeyChanged(SDL_SCANCODE_A, true, false);
  in.MouseButtonChanged(MouseButton::Left, true, 1, 0, 0);
  in.FocusChanged(false);

  EXPECT_FALSE(in.HasFocus());
  EXPECT_FALSE(in.IsKeyboardAcquired());
  EXPECT_FALSE(in.AcquireKeyboard());
  EXPECT_EQ(VirtualKeyState(in)['A'], 0);

  in.FocusChanged(true);
  ASSERT_TRUE(in.AcquireKeyboard());
  EXPECT_EQ(KeyboardState(in)[30], 0);
  EXPECT_TRUE(ReadAll(in).empty()) << "the buffer was dropped with the focus";
  in.TakeMessages();
  in.KeyChanged(SDL_SCANCODE_A, false, false);  // released after the focus came back
  EXPECT_TRUE(ReadAll(in).empty());
  EXPECT_TRUE(in.TakeMessages().empty());
}

TEST(Joypad, AxesHatsAndButtons) {
  const std::pair<int, int> axes[] = {{-32768, -100}, {32767, 100}, {0, 0}, {-40000, -100}, {16384, 50}};
  for (const auto& [raw, want] : axes) EXPECT_EQ(ScaleAxis(raw), want) << raw;

  const std::pair<std::uint8_t, std::uint32_t> hats[] = {
      {SDL_HAT_CENTERED, kPovCentred}, {SDL_HAT_UP, 0},          {SDL_HAT_RIGHTUP, 4500},
      {SDL_HAT_RIGHT, 9000},           {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000},
      {SDL_HAT_LEFTDOWN, 22500},       {SDL_HAT_LEFT, 27000},     {SDL_HAT_LEFTUP, 31500},
      {SDL_HAT_UP | SDL_HAT_DOWN, kPovCentred}, {0xFF, kPovCentred}};
  for (const auto& [hat, pov] : hats) EXPECT_EQ(PovFromHat(hat), pov) << int(hat);

  Input in;
  JoypadState s;
  EXPECT_FALSE(in.ReadJoypad(s));
  in.JoypadAxis(0, 32767);  // nothing attached: ignored
  in.JoypadAttached();
  in.JoypadAxis(1, -32768);
  in.JoypadAxis(kJoypadAxes, 100);
  in.JoypadButton(31, true);
  in.JoypadButton(32, true);
  in.JoypadButton(-1, true);
  in.JoypadHat(0, SDL_HAT_LEFT);
  ASSERT_TRUE(in.ReadJoypad(s));
  EXPECT_EQ(s.axes[0], 0);
  EXPECT_EQ(s.axes[1], -100);
  EXPECT_EQ(s.buttons[31], 0x80);
  EXPECT_EQ(std::count(s.buttons.begin(), s.buttons.end(), 0x80), 1);
  EXPECT_EQ(s.povs[0], 27000u);
  EXPECT_EQ(s.povs[1], kPovCentred);

  in.JoypadDetached();
  EXPECT_FALSE(in.ReadJoypad(s));
  EXPECT_EQ(s.buttons[31], 0);
}

TEST(Input, MainThreadWritesWhileTheGameThreadReads) {
  constexpr int kPairs = 1000;  // every message fits the window queue even if nothing is read meanwhile
  Input in;
  in.SetKeyBufferSize(2 * kPairs);
  in.AcquireKeyboard();

  std::thread main([&] {
    for (int i = 0; i < kPairs; ++i) {
      in.KeyChanged(SDL_SCANCODE_J, true, false);
      in.MouseMoved(i % 640, 0);
      in.KeyChanged(SDL_SCANCODE_J, false, false);
    }
  });
  std::vector<KeyEvent> events;
  int messages = 0;
  std::vector<KeyEvent> out(7);
  while (events.size() < 2u * kPairs) {
    int n = 0;
    ASSERT_EQ(in.ReadKeyEvents(out, n), ReadResult::Ok);
    events.insert(events.end(), out.begin(), out.begin() + n);
    std::array<std::uint8_t, 256> state{};
    in.ReadKeyboardState(state);
    messages += static_cast<int>(in.TakeMessages().size());
  }
  main.join();
  messages += static_cast<int>(in.TakeMessages().size());

  for (std::size_t i = 0; i < events.size(); ++i) {
    ASSERT_EQ(events[i].dik, 36u);
    ASSERT_EQ(events[i].pressed, i % 2 == 0) << i;
  }
  EXPECT_EQ(messages, 3 * kPairs - 1) << "every key message and every move except the one to (0, 0)";
}

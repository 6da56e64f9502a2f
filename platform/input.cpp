#include "platform/input.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/text.h"

namespace platform::input {
namespace {

// Key positions (SDL scan codes follow the USB usage of the key's place) with the DirectInput code of the same
// place and the virtual key that a US or Japanese layout gives it. A virtual key of 0: no window message.
constexpr KeyCodes kKeys[] = {
    {SDL_SCANCODE_ESCAPE, 0x01, 0x1B},
    {SDL_SCANCODE_1, 0x02, '1'}, {SDL_SCANCODE_2, 0x03, '2'}, {SDL_SCANCODE_3, 0x04, '3'},
    {SDL_SCANCODE_4, 0x05, '4'}, {SDL_SCANCODE_5, 0x06, '5'}, {SDL_SCANCODE_6, 0x07, '6'},
    {SDL_SCANCODE_7, 0x08, '7'}, {SDL_SCANCODE_8, 0x09, '8'}, {SDL_SCANCODE_9, 0x0A, '9'},
    {SDL_SCANCODE_0, 0x0B, '0'},
    {SDL_SCANCODE_MINUS, 0x0C, 0xBD}, {SDL_SCANCODE_EQUALS, 0x0D, 0xBB}, {SDL_SCANCODE_BACKSPACE, 0x0E, 0x08},
    {SDL_SCANCODE_TAB, 0x0F, 0x09},
    {SDL_SCANCODE_Q, 0x10, 'Q'}, {SDL_SCANCODE_W, 0x11, 'W'}, {SDL_SCANCODE_E, 0x12, 'E'},
    {SDL_SCANCODE_R, 0x13, 'R'}, {SDL_SCANCODE_T, 0x14, 'T'}, {SDL_SCANCODE_Y, 0x15, 'Y'},
    {SDL_SCANCODE_U, 0x16, 'U'}, {SDL_SCANCODE_I, 0x17, 'I'}, {SDL_SCANCODE_O, 0x18, 'O'},
    {SDL_SCANCODE_P, 0x19, 'P'},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, 0xDB}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B, 0xDD},
    {SDL_SCANCODE_RETURN, 0x1C, 0x0D}, {SDL_SCANCODE_LCTRL, 0x1D, 0x11},
    {SDL_SCANCODE_A, 0x1E, 'A'}, {SDL_SCANCODE_S, 0x1F, 'S'}, {SDL_SCANCODE_D, 0x20, 'D'},
    {SDL_SCANCODE_F, 0x21, 'F'}, {SDL_SCANCODE_G, 0x22, 'G'}, {SDL_SCANCODE_H, 0x23, 'H'},
    {SDL_SCANCODE_J, 0x24, 'J'}, {SDL_SCANCODE_K, 0x25, 'K'}, {SDL_SCANCODE_L, 0x26, 'L'},
    {SDL_SCANCODE_SEMICOLON, 0x27, 0xBA}, {SDL_SCANCODE_APOSTROPHE, 0x28, 0xDE}, {SDL_SCANCODE_GRAVE, 0x29, 0xC0},
    {SDL_SCANCODE_LSHIFT, 0x2A, 0x10}, {SDL_SCANCODE_BACKSLASH, 0x2B, 0xDC}, {SDL_SCANCODE_NONUSHASH, 0x2B, 0xDC},
    {SDL_SCANCODE_Z, 0x2C, 'Z'}, {SDL_SCANCODE_X, 0x2D, 'X'}, {SDL_SCANCODE_C, 0x2E, 'C'},
    {SDL_SCANCODE_V, 0x2F, 'V'}, {SDL_SCANCODE_B, 0x30, 'B'}, {SDL_SCANCODE_N, 0x31, 'N'},
    {SDL_SCANCODE_M, 0x32, 'M'},
    {SDL_SCANCODE_COMMA, 0x33, 0xBC}, {SDL_SCANCODE_PERIOD, 0x34, 0xBE}, {SDL_SCANCODE_SLASH, 0x35, 0xBF},
    {SDL_SCANCODE_RSHIFT, 0x36, 0x10}, {SDL_SCANCODE_KP_MULTIPLY, 0x37, 0x6A}, {SDL_SCANCODE_LALT, 0x38, 0x12},
    {SDL_SCANCODE_SPACE, 0x39, 0x20}, {SDL_SCANCODE_CAPSLOCK, 0x3A, 0x14},
    {SDL_SCANCODE_F1, 0x3B, 0x70}, {SDL_SCANCODE_F2, 0x3C, 0x71}, {SDL_SCANCODE_F3, 0x3D, 0x72},
    {SDL_SCANCODE_F4, 0x3E, 0x73}, {SDL_SCANCODE_F5, 0x3F, 0x74}, {SDL_SCANCODE_F6, 0x40, 0x75},
    {SDL_SCANCODE_F7, 0x41, 0x76}, {SDL_SCANCODE_F8, 0x42, 0x77}, {SDL_SCANCODE_F9, 0x43, 0x78},
    {SDL_SCANCODE_F10, 0x44, 0x79},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, 0x90}, {SDL_SCANCODE_SCROLLLOCK, 0x46, 0x91},
    {SDL_SCANCODE_KP_7, 0x47, 0x67}, {SDL_SCANCODE_KP_8, 0x48, 0x68}, {SDL_SCANCODE_KP_9, 0x49, 0x69},
    {SDL_SCANCODE_KP_MINUS, 0x4A, 0x6D},
    {SDL_SCANCODE_KP_4, 0x4B, 0x64}, {SDL_SCANCODE_KP_5, 0x4C, 0x65}, {SDL_SCANCODE_KP_6, 0x4D, 0x66},
    {SDL_SCANCODE_KP_PLUS, 0x4E, 0x6B},
    {SDL_SCANCODE_KP_1, 0x4F, 0x61}, {SDL_SCANCODE_KP_2, 0x50, 0x62}, {SDL_SCANCODE_KP_3, 0x51, 0x63},
    {SDL_SCANCODE_KP_0, 0x52, 0x60}, {SDL_SCANCODE_KP_PERIOD, 0x53, 0x6E},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, 0xE2},
    {SDL_SCANCODE_F11, 0x57, 0x7A}, {SDL_SCANCODE_F12, 0x58, 0x7B},
    {SDL_SCANCODE_F13, 0x64, 0x7C}, {SDL_SCANCODE_F14, 0x65, 0x7D}, {SDL_SCANCODE_F15, 0x66, 0x7E},
    // Japanese keys: katakana/hiragana, ro, henkan, muhenkan, yen.
    {SDL_SCANCODE_INTERNATIONAL2, 0x70, 0x15}, {SDL_SCANCODE_INTERNATIONAL1, 0x73, 0xE2},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79, 0x1C}, {SDL_SCANCODE_INTERNATIONAL5, 0x7B, 0x1D},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, 0xDC},
    {SDL_SCANCODE_KP_EQUALS, 0x8D, 0},
    {SDL_SCANCODE_AUDIOPREV, 0x90, 0xB1}, {SDL_SCANCODE_AUDIONEXT, 0x99, 0xB0},
    {SDL_SCANCODE_KP_ENTER, 0x9C, 0x0D}, {SDL_SCANCODE_RCTRL, 0x9D, 0x11},
    {SDL_SCANCODE_MUTE, 0xA0, 0xAD}, {SDL_SCANCODE_AUDIOMUTE, 0xA0, 0xAD}, {SDL_SCANCODE_AUDIOPLAY, 0xA2, 0xB3},
    {SDL_SCANCODE_AUDIOSTOP, 0xA4, 0xB2}, {SDL_SCANCODE_VOLUMEDOWN, 0xAE, 0xAE}, {SDL_SCANCODE_VOLUMEUP, 0xB0, 0xAF},
    {SDL_SCANCODE_KP_COMMA, 0xB3, 0x6C}, {SDL_SCANCODE_KP_DIVIDE, 0xB5, 0x6F},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7, 0x2C}, {SDL_SCANCODE_RALT, 0xB8, 0x12}, {SDL_SCANCODE_PAUSE, 0xC5, 0x13},
    {SDL_SCANCODE_HOME, 0xC7, 0x24}, {SDL_SCANCODE_UP, 0xC8, 0x26}, {SDL_SCANCODE_PAGEUP, 0xC9, 0x21},
    {SDL_SCANCODE_LEFT, 0xCB, 0x25}, {SDL_SCANCODE_RIGHT, 0xCD, 0x27}, {SDL_SCANCODE_END, 0xCF, 0x23},
    {SDL_SCANCODE_DOWN, 0xD0, 0x28}, {SDL_SCANCODE_PAGEDOWN, 0xD1, 0x22}, {SDL_SCANCODE_INSERT, 0xD2, 0x2D},
    {SDL_SCANCODE_DELETE, 0xD3, 0x2E},
    {SDL_SCANCODE_LGUI, 0xDB, 0x5B}, {SDL_SCANCODE_RGUI, 0xDC, 0x5C}, {SDL_SCANCODE_APPLICATION, 0xDD, 0x5D},
    {SDL_SCANCODE_POWER, 0xDE, 0}, {SDL_SCANCODE_SLEEP, 0xDF, 0x5F},
};

// The side-specific virtual keys that the held state carries beside the neutral ones.
struct SideKey {
  SDL_Scancode scancode;
  std::uint8_t vk;
};
constexpr SideKey kSideKeys[] = {
    {SDL_SCANCODE_LSHIFT, vk::kLShift}, {SDL_SCANCODE_RSHIFT, vk::kRShift},
    {SDL_SCANCODE_LCTRL, vk::kLControl}, {SDL_SCANCODE_RCTRL, vk::kRControl},
    {SDL_SCANCODE_LALT, vk::kLMenu}, {SDL_SCANCODE_RALT, vk::kRMenu},
};

// Keys whose press also types a character, as the window system's translation does.
struct TypedKey {
  SDL_Scancode scancode;
  char ch;
};
constexpr TypedKey kTypedKeys[] = {
    {SDL_SCANCODE_RETURN, '\r'}, {SDL_SCANCODE_KP_ENTER, '\r'}, {SDL_SCANCODE_BACKSPACE, '\b'},
    {SDL_SCANCODE_ESCAPE, '\x1B'}, {SDL_SCANCODE_TAB, '\t'},
};

struct Modifier {
  SDL_Scancode scancode;
  std::uint8_t bit;
};
constexpr Modifier kModifiers[] = {
    {SDL_SCANCODE_LSHIFT, shift::kShift}, {SDL_SCANCODE_RSHIFT, shift::kShift},
    {SDL_SCANCODE_LCTRL, shift::kCtrl},   {SDL_SCANCODE_RCTRL, shift::kCtrl},
    {SDL_SCANCODE_LALT, shift::kAlt},     {SDL_SCANCODE_RALT, shift::kAlt},
};

struct ButtonBits {
  std::uint8_t shift;
  std::uint8_t vk;
};
// Indexed by MouseButton.
constexpr ButtonBits kButtons[] = {
    {shift::kLeft, vk::kLButton}, {shift::kRight, vk::kRButton}, {shift::kMiddle, vk::kMButton}};

// Point-of-view angle of each SDL hat value (bit 0 up, 1 right, 2 down, 3 left); impossible pairs are centred.
constexpr std::uint32_t kHatPov[16] = {
    kPovCentred, 0,           9000,        4500,        18000,       kPovCentred, 13500,       kPovCentred,
    27000,       31500,       kPovCentred, kPovCentred, 22500,       kPovCentred, kPovCentred, kPovCentred,
};

// The characters of a UTF-16 string, one character (one or two units) at a time.
template <typename F>
void ForEachCharacter(std::u16string_view s, F&& f) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = text::IsSurrogatePairAt(s, i) ? 2 : 1;
    f(s.substr(i, n));
    i += n;
  }
}

}  // namespace

std::span<const KeyCodes> KeyTable() { return kKeys; }

const KeyCodes* FindKey(SDL_Scancode scancode) {
  static const auto index = [] {
    std::array<std::int16_t, SDL_NUM_SCANCODES> a;
    a.fill(-1);
    for (std::size_t i = 0; i < std::size(kKeys); ++i) a[kKeys[i].scancode] = static_cast<std::int16_t>(i);
    return a;
  }();
  if (scancode < 0 || scancode >= SDL_NUM_SCANCODES || index[scancode] < 0) return nullptr;
  return &kKeys[index[scancode]];
}

int ScaleAxis(int raw) {
  const long v = std::clamp(raw, -32768, 32767);
  return static_cast<int>((v + 32768) * 200 / 65535 - 100);
}

std::uint32_t PovFromHat(std::uint8_t hat) { return hat < 16 ? kHatPov[hat] : kPovCentred; }

Input::Input(int logicalWidth, int logicalHeight)
    : width_(std::max(logicalWidth, 1)), height_(std::max(logicalHeight, 1)) {}

std::uint8_t Input::ShiftLocked() const {
  std::uint8_t bits = 0;
  for (const Modifier& m : kModifiers)
    if (held_[m.scancode]) bits |= m.bit;
  for (std::size_t b = 0; b < buttons_.size(); ++b)
    if (buttons_[b]) bits |= kButtons[b].shift;
  return bits;
}

void Input::PushLocked(Message m) {
  if (messages_.size() >= kMaxMessages) return;  // a window that stops reading loses the newest, never memory
  messages_.push_back(m);
}

void Input::PushMouseLocked(Message::Kind kind) {
  Message m;
  m.kind = kind;
  m.x = mouseX_;
  m.y = mouseY_;
  m.shift = ShiftLocked();
  PushLocked(m);
}

void Input::KeyChanged(SDL_Scancode scancode, bool down, bool repeat) {
  const KeyCodes* key = FindKey(scancode);
  if (key == nullptr) return;
  std::lock_guard lock(mutex_);
  const bool wasHeld = held_[scancode];
  if (!down && !wasHeld) return;  // a release whose press went to someone else (or was dropped with the focus)
  if (down != wasHeld) {
    held_[scancode] = down;
    if (acquired_) {
      if (keyEvents_.size() < keyBufferSize_) {
        keyEvents_.push_back({key->dik, down});
      } else {
        overflow_ = true;
      }
    }
  }
  if (key->vk != 0) {
    Message m;
    m.kind = down ? Message::Kind::KeyDown : Message::Kind::KeyUp;
    m.vk = key->vk;
    m.repeat = down && wasHeld && repeat;
    m.shift = ShiftLocked();
    PushLocked(m);
  }
  if (!down || (ShiftLocked() & shift::kAlt) != 0) return;  // Alt turns these presses into system keys
  for (const TypedKey& t : kTypedKeys) {
    if (t.scancode != scancode) continue;
    Message m;
    m.kind = Message::Kind::Char;
    m.chars[0] = t.ch;
    m.charCount = 1;
    m.shift = ShiftLocked();
    PushLocked(m);
  }
}

void Input::TextTyped(std::string_view utf8) {
  const std::u16string text = platform::text::Utf8ToUtf16(utf8);
  std::lock_guard lock(mutex_);
  ForEachCharacter(text, [&](std::u16string_view ch) {
    const auto bytes = platform::text::Utf16ToCp932(ch);
    if (!bytes || bytes->empty() || bytes->size() > 2) return;  // no CP932 form: nothing can be typed
    Message m;
    m.kind = Message::Kind::Char;
    m.charCount = static_cast<std::uint8_t>(bytes->size());
    std::copy(bytes->begin(), bytes->end(), m.chars);
    m.shift = ShiftLocked();
    PushLocked(m);
  });
}

void Input::MouseMoved(int x, int y) {
  std::lock_guard lock(mutex_);
  x = std::clamp(x, 0, width_ - 1);
  y = std::clamp(y, 0, height_ - 1);
  if (x == mouseX_ && y == mouseY_) return;
  mouseX_ = x;
  mouseY_ = y;
  PushMouseLocked(Message::Kind::MouseMove);
}

void Input::MouseButtonChanged(MouseButton button, bool down, int clicks, int x, int y) {
  const auto b = static_cast<std::size_t>(button);
  if (b >= buttons_.size()) return;
  std::lock_guard lock(mutex_);
  if (buttons_[b] == down) return;
  buttons_[b] = down;
  mouseX_ = std::clamp(x, 0, width_ - 1);
  mouseY_ = std::clamp(y, 0, height_ - 1);
  Message m;
  m.kind = down ? Message::Kind::MouseDown : Message::Kind::MouseUp;
  m.button = button;
  m.x = mouseX_;
  m.y = mouseY_;
  m.shift = ShiftLocked();
  if (down && clicks >= 2 && clicks % 2 == 0) m.shift |= shift::kDouble;
  PushLocked(m);
}

void Input::MouseWheel(int notches) {
  if (notches == 0) return;
  std::lock_guard lock(mutex_);
  Message m;
  m.kind = Message::Kind::MouseWheel;
  m.wheelDelta = std::clamp(notches, -(INT_MAX / 120), INT_MAX / 120) * 120;
  m.x = mouseX_;
  m.y = mouseY_;
  m.shift = ShiftLocked();
  PushLocked(m);
}

void Input::ReleaseAllLocked() {
  held_.fill(false);
  buttons_.fill(false);
  acquired_ = false;
  keyEvents_.clear();
  overflow_ = false;
}

void Input::FocusChanged(bool focused) {
  std::lock_guard lock(mutex_);
  if (!focused) ReleaseAllLocked();
  focused_ = focused;
}

void Input::JoypadAttached() {
  std::lock_guard lock(mutex_);
  joypad_ = true;
  joy_ = JoypadState{};
}

void Input::JoypadDetached() {
  std::lock_guard lock(mutex_);
  joypad_ = false;
  joy_ = JoypadState{};
}

void Input::JoypadAxis(int axis, int raw) {
  std::lock_guard lock(mutex_);
  if (joypad_ && axis >= 0 && axis < kJoypadAxes) joy_.axes[axis] = ScaleAxis(raw);
}

void Input::JoypadButton(int button, bool down) {
  std::lock_guard lock(mutex_);
  if (joypad_ && button >= 0 && button < kJoypadButtons) joy_.buttons[button] = down ? 0x80 : 0;
}

void Input::JoypadHat(int hat, std::uint8_t value) {
  std::lock_guard lock(mutex_);
  if (joypad_ && hat >= 0 && hat < kJoypadPovs) joy_.povs[hat] = PovFromHat(value);
}

void Input::SetWarpHandler(std::function<void(int, int)> handler) {
  std::lock_guard lock(mutex_);
  warp_ = std::move(handler);
}

bool Input::HasFocus() const {
  std::lock_guard lock(mutex_);
  return focused_;
}

bool Input::AcquireKeyboard() {
  std::lock_guard lock(mutex_);
  if (!focused_) return false;
  acquired_ = true;
  return true;
}

void Input::UnacquireKeyboard() {
  std::lock_guard lock(mutex_);
  acquired_ = false;
  keyEvents_.clear();
  overflow_ = false;
}

bool Input::IsKeyboardAcquired() const {
  std::lock_guard lock(mutex_);
  return acquired_;
}

void Input::SetKeyBufferSize(int size) {
  std::lock_guard lock(mutex_);
  keyBufferSize_ = static_cast<std::size_t>(std::clamp(size, 1, 1 << 16));
  while (keyEvents_.size() > keyBufferSize_) keyEvents_.pop_back();
}

bool Input::ReadKeyboardState(std::span<std::uint8_t, 256> out) const {
  std::fill(out.begin(), out.end(), 0);
  std::lock_guard lock(mutex_);
  if (!acquired_) return false;
  for (const KeyCodes& k : kKeys)
    if (held_[k.scancode]) out[k.dik] = 0x80;
  return true;
}

ReadResult Input::ReadKeyEvents(std::span<KeyEvent> out, int& count) {
  count = 0;
  std::lock_guard lock(mutex_);
  if (!acquired_) return ReadResult::NotAcquired;
  const std::size_t n = std::min(out.size(), keyEvents_.size());
  std::copy_n(keyEvents_.begin(), n, out.begin());
  keyEvents_.erase(keyEvents_.begin(), keyEvents_.begin() + static_cast<std::ptrdiff_t>(n));
  count = static_cast<int>(n);
  return std::exchange(overflow_, false) ? ReadResult::Overflow : ReadResult::Ok;
}

void Input::ReadVirtualKeyState(std::span<std::uint8_t, 256> out) const {
  std::fill(out.begin(), out.end(), 0);
  std::lock_guard lock(mutex_);
  if (!focused_) return;
  for (const KeyCodes& k : kKeys)
    if (held_[k.scancode] && k.vk != 0) out[k.vk] = 0x80;
  for (const SideKey& s : kSideKeys)
    if (held_[s.scancode]) out[s.vk] = 0x80;
  for (std::size_t b = 0; b < buttons_.size(); ++b)
    if (buttons_[b]) out[kButtons[b].vk] = 0x80;
}

bool Input::PollMessage(Message& out) {
  std::lock_guard lock(mutex_);
  if (messages_.empty()) return false;
  out = messages_.front();
  messages_.pop_front();
  return true;
}

std::vector<Message> Input::TakeMessages() {
  std::lock_guard lock(mutex_);
  std::vector<Message> all(messages_.begin(), messages_.end());
  messages_.clear();
  return all;
}

int Input::MouseX() const {
  std::lock_guard lock(mutex_);
  return mouseX_;
}

int Input::MouseY() const {
  std::lock_guard lock(mutex_);
  return mouseY_;
}

void Input::SetMousePos(int x, int y) {
  std::function<void(int, int)> warp;
  {
    std::lock_guard lock(mutex_);
    x = std::clamp(x, 0, width_ - 1);
    y = std::clamp(y, 0, height_ - 1);
    if (x == mouseX_ && y == mouseY_) return;
    mouseX_ = x;
    mouseY_ = y;
    PushMouseLocked(Message::Kind::MouseMove);
    warp = warp_;
  }
  // The real pointer's own motion event then arrives at this position and is not queued a second time.
  if (warp) warp(x, y);
}

bool Input::IsJoypadAttached() const {
  std::lock_guard lock(mutex_);
  return joypad_;
}

bool Input::ReadJoypad(JoypadState& out) const {
  std::lock_guard lock(mutex_);
  out = joy_;
  return joypad_;
}

}  // namespace platform::input

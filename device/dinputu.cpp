#include "device/dinputu.h"

#include <sys/stat.h>

#include <algorithm>
#include <span>
#include <string>

#include "core/widefile.h"
#include "platform/fs.h"

namespace {

struct KeyToGame {
  std::uint8_t key;
  std::uint8_t gameKey;
};

constexpr KeyToGame kDikTable[] = {
    {44, 0}, {57, 0},  {28, 0},  {45, 1},  {1, 1},   {30, 2},  {31, 3},  {16, 4},  {201, 4}, {59, 4},
    {17, 5}, {209, 5}, {60, 5},  {61, 6},  {62, 7},  {63, 8},  {64, 9},  {65, 10}, {66, 11}, {67, 12},
    {68, 13}, {87, 14}, {88, 15}, {53, 16},
};
constexpr KeyToGame kVkTable[] = {
    {90, 0}, {32, 0},   {13, 0},   {88, 1},   {27, 1},   {65, 2},   {83, 3},   {81, 4},   {33, 4},
    {112, 4}, {87, 5},  {34, 5},   {113, 5},  {114, 6},  {115, 7},  {116, 8},  {117, 9},  {118, 10},
    {119, 11}, {120, 12}, {121, 13}, {122, 14}, {123, 15}, {191, 16},
};

// The keys that give directions, in one key code numbering.
struct DirectionKeys {
  std::uint8_t left, padLeft, right, padRight, up, padUp, down, padDown, pad7, pad9, pad1, pad3;
};
constexpr DirectionKeys kDikDirections{203, 75, 205, 77, 200, 72, 208, 80, 71, 73, 79, 81};
constexpr DirectionKeys kVkDirections{0x25, 0x64, 0x27, 0x66, 0x26, 0x68, 0x28, 0x62, 0x67, 0x69, 0x61, 0x63};

// Rows from the top (up, middle, down), columns from the left.
constexpr int kDirectionCells[3][3] = {{7, 0, 1}, {6, -1, 2}, {5, 4, 3}};

constexpr int kDefaultButtons[TDInputUnit::kGameKeys] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1, -1, -1, -1, -1, -1, -1};
constexpr int kConfigurableKeys = 10;

bool Held(const std::array<std::uint8_t, 256>& state, std::uint8_t key) { return (state[key] & 0x80) != 0; }

int KeyDirection(const std::array<std::uint8_t, 256>& s, const DirectionKeys& k) {
  const int column = Held(s, k.left) || Held(s, k.padLeft) ? 0 : Held(s, k.right) || Held(s, k.padRight) ? 2 : 1;
  const int row = Held(s, k.down) || Held(s, k.padDown) ? 2 : Held(s, k.up) || Held(s, k.padUp) ? 0 : 1;
  if (row != 1 || column != 1) return kDirectionCells[row][column];
  const std::pair<std::uint8_t, int> diagonals[] = {{k.pad7, 7}, {k.pad9, 1}, {k.pad1, 5}, {k.pad3, 3}};
  for (const auto& [key, direction] : diagonals)
    if (Held(s, key)) return direction;
  return -1;
}

int AxisDirection(int x, int y) {
  const int column = x < -10 ? 0 : x > 10 ? 2 : 1;
  const int row = y > 10 ? 2 : y >= -10 ? 1 : 0;
  return kDirectionCells[row][column];
}

bool ValidButton(int button) { return button >= 0 && button < TDInputUnit::kButtons; }
bool ValidGameKey(int key) { return key >= 0 && key < TDInputUnit::kGameKeys; }

bool IsFile(const VXWideStr& path) {
  struct stat st{};
  const std::string host = platform::fs::ToHostPath(std::u16string_view(path.c_wstr(), path.Length()));
  return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TDInputUnit::TDInputUnit() { std::copy(std::begin(kDefaultButtons), std::end(kDefaultButtons), buttonMap_.begin()); }

TDInputUnit::~TDInputUnit() { ReleaseAll(); }

void TDInputUnit::ReleaseAll() {
  std::lock_guard lock(mutex_);
  if (input_ == nullptr) return;
  ReleaseJoypadLocked();
  ReleaseKeyboardLocked();
  input_ = nullptr;
}

bool TDInputUnit::CreateKeyboard() {
  std::lock_guard lock(mutex_);
  return CreateKeyboardLocked();
}

void TDInputUnit::ReleaseKeyboard() {
  std::lock_guard lock(mutex_);
  ReleaseKeyboardLocked();
}

bool TDInputUnit::CreateJoypad() {
  std::lock_guard lock(mutex_);
  return CreateJoypadLocked();
}

void TDInputUnit::ReleaseJoypad() {
  std::lock_guard lock(mutex_);
  ReleaseJoypadLocked();
}

bool TDInputUnit::Init(platform::input::Input* input) {
  std::lock_guard lock(mutex_);
  if (input == nullptr) return false;
  input_ = input;
  if (keyboard_) {
    keyboard_ = false;
    if (!CreateKeyboardLocked()) {
      input_ = nullptr;
      return false;
    }
  }
  if (joypad_) {
    joypad_ = false;
    CreateJoypadLocked();
  }
  return true;
}

bool TDInputUnit::CreateKeyboardLocked() {
  if (input_ == nullptr) return false;
  if (keyboard_) return true;
  input_->SetKeyBufferSize(kMaxKeyEvents);
  input_->AcquireKeyboard();  // without the focus it is acquired later, when the window is active again
  keyboard_ = true;
  return true;
}

void TDInputUnit::ReleaseKeyboardLocked() {
  if (input_ != nullptr && keyboard_) input_->UnacquireKeyboard();
  keyboard_ = false;
}

bool TDInputUnit::CreateJoypadLocked() {
  if (input_ == nullptr) return false;
  if (joypad_) return true;
  if (!input_->IsJoypadAttached()) return false;
  joypad_ = true;
  return true;
}

void TDInputUnit::ReleaseJoypadLocked() { joypad_ = false; }

bool TDInputUnit::SetKeyboardEnabled(bool on) {
  std::lock_guard lock(mutex_);
  if (input_ == nullptr) {
    keyboard_ = on;
  } else if (on && !keyboard_) {
    CreateKeyboardLocked();
  } else if (!on && keyboard_) {
    ReleaseKeyboardLocked();
  }
  keyDirection_ = -1;
  keys_.fill(0);
  windowKeys_.fill(0);
  return keyboard_;
}

bool TDInputUnit::IsKeyboardEnabled() const {
  std::lock_guard lock(mutex_);
  return input_ != nullptr && keyboard_;
}

bool TDInputUnit::SetJoypadEnabledLocked(bool on) {
  if (input_ == nullptr) {
    joypad_ = on;
  } else if (on && !joypad_) {
    CreateJoypadLocked();
  } else if (!on && joypad_) {
    ReleaseJoypadLocked();
  }
  joyDirection_ = -1;
  buttons_.fill(0);
  return joypad_;
}

bool TDInputUnit::SetJoypadEnabled(bool on) {
  std::lock_guard lock(mutex_);
  return SetJoypadEnabledLocked(on);
}

bool TDInputUnit::IsJoypadEnabled() const {
  std::lock_guard lock(mutex_);
  return input_ != nullptr && joypad_;
}

bool TDInputUnit::FindJoypad() const {
  std::lock_guard lock(mutex_);
  return input_ != nullptr && input_->IsJoypadAttached();
}

void TDInputUnit::ReacquireIfActive() {
  if (input_->HasFocus()) input_->AcquireKeyboard();
}

int TDInputUnit::GetKeyEvents(KeyEvent* out, int max) {
  std::lock_guard lock(mutex_);
  if (input_ == nullptr || !keyboard_ || out == nullptr || max <= 0) return 0;
  std::array<platform::input::KeyEvent, kMaxKeyEvents> events;
  int count = 0;
  const auto result = input_->ReadKeyEvents(std::span(events.data(), std::min(max, kMaxKeyEvents)), count);
  if (result == platform::input::ReadResult::NotAcquired) {
    ReacquireIfActive();
    return 0;
  }
  for (int i = 0; i < count; ++i) out[i] = {events[i].dik, static_cast<std::uint8_t>(events[i].pressed ? 1 : 0)};
  return count;
}

void TDInputUnit::QueryKeyEvents() {
  // Asking for no events leaves the buffer as it is; kept for callers that poke the device before play.
}

bool TDInputUnit::IsKeyDown(int key) const {
  std::lock_guard lock(mutex_);
  return key >= 0 && key < 256 && (keys_[static_cast<std::size_t>(key)] & 0x80) != 0;
}

bool TDInputUnit::IsButtonDown(int button) const {
  std::lock_guard lock(mutex_);
  return ValidButton(button) && (buttons_[static_cast<std::size_t>(button)] & 0x80) != 0;
}

void TDInputUnit::SetButtonMap(int gameKey, int button) {
  std::lock_guard lock(mutex_);
  if (ValidGameKey(gameKey)) buttonMap_[static_cast<std::size_t>(gameKey)] = button;
}

int TDInputUnit::GetButtonMap(int gameKey) const {
  std::lock_guard lock(mutex_);
  return ValidGameKey(gameKey) ? buttonMap_[static_cast<std::size_t>(gameKey)] : -1;
}

void TDInputUnit::LoadButtonConfig(const VXWideStr& settingsPath) {
  if (settingsPath.IsEmpty() || !IsFile(settingsPath)) return;
  try {
    TIniFileW ini(settingsPath);
    for (int k = 0; k < kConfigurableKeys; ++k) {
      const VXString value = ini.ReadString("Joypad", VXString("Button") + VXString(k + 1), "");
      if (!value.IsEmpty()) SetButtonMap(k, value.ToIntDef(kDefaultButtons[k]));
    }
  } catch (const std::exception&) {
    // An unreadable file leaves the map as it was.
  }
}

void TDInputUnit::PollKeyboardLocked() {
  if (input_ != nullptr && keyboard_) {
    if (!input_->ReadKeyboardState(keys_)) {
      keys_.fill(0);
      ReacquireIfActive();
    }
    keyDirection_ = KeyDirection(keys_, kDikDirections);
    return;
  }
  if (input_ == nullptr || !input_->HasFocus())
    windowKeys_.fill(0);
  else
    input_->ReadVirtualKeyState(windowKeys_);
  keyDirection_ = KeyDirection(windowKeys_, kVkDirections);
}

void TDInputUnit::PollJoypadLocked() {
  if (input_ == nullptr || !joypad_) return;
  platform::input::JoypadState state;
  if (!input_->ReadJoypad(state)) {
    SetJoypadEnabledLocked(false);  // unplugged: the shell enables it again later
    return;
  }
  joyDirection_ = AxisDirection(state.axes[0], state.axes[1]);
  std::copy(state.buttons.begin(), state.buttons.end(), buttons_.begin());
}

void TDInputUnit::StepRepeat(Repeat& r, bool same, int elapsed) const {
  if (!same) {
    r = {0, 0};
    return;
  }
  r.time += elapsed;
  if (r.state == 0) r.state = 1;
  if (r.state == 2) r.state = 3;
  if (r.state == 1 && r.time >= repeatDelay_) {
    r.state = 2;
    r.time %= repeatDelay_;
  } else if (r.state == 3 && r.time >= repeatInterval_) {
    r.state = 2;
    r.time %= repeatInterval_;
  }
}

void TDInputUnit::Update(int elapsedFrames) {
  std::lock_guard lock(mutex_);
  PollKeyboardLocked();
  PollJoypadLocked();

  prevDirection_ = direction_;
  prevGameKeys_ = gameKeys_;
  gameKeys_.fill(0);
  direction_ = joypad_ && joyDirection_ != -1 ? joyDirection_ : keyDirection_;
  if (direction_ == -1)
    directionRepeat_.state = -1;
  else
    StepRepeat(directionRepeat_, direction_ == prevDirection_, elapsedFrames);

  if (input_ != nullptr && joypad_)
    for (int k = 0; k < kGameKeys; ++k) {
      const int button = buttonMap_[static_cast<std::size_t>(k)];
      if (ValidButton(button) && (buttons_[static_cast<std::size_t>(button)] & 0x80)) gameKeys_[k] = 0x80;
    }
  const bool direct = input_ != nullptr && keyboard_;
  const std::span<const KeyToGame> table = direct ? std::span<const KeyToGame>(kDikTable) : std::span<const KeyToGame>(kVkTable);
  const auto& state = direct ? keys_ : windowKeys_;
  for (const KeyToGame& e : table)
    if (Held(state, e.key)) gameKeys_[e.gameKey] = 0x80;

  for (int k = 0; k < kGameKeys; ++k) {
    Repeat& r = keyRepeat_[static_cast<std::size_t>(k)];
    if (!gameKeys_[k])
      r.state = -1;
    else
      StepRepeat(r, prevGameKeys_[k] != 0, elapsedFrames);
  }
}

int TDInputUnit::GetDirection() const {
  std::lock_guard lock(mutex_);
  return direction_;
}

int TDInputUnit::GetPrevDirection() const {
  std::lock_guard lock(mutex_);
  return prevDirection_;
}

int TDInputUnit::GetDirectionRepeat() const {
  std::lock_guard lock(mutex_);
  return directionRepeat_.state;
}

bool TDInputUnit::IsGameKeyDown(int gameKey) const {
  std::lock_guard lock(mutex_);
  return ValidGameKey(gameKey) && gameKeys_[static_cast<std::size_t>(gameKey)] != 0;
}

bool TDInputUnit::WasGameKeyDown(int gameKey) const {
  std::lock_guard lock(mutex_);
  return ValidGameKey(gameKey) && prevGameKeys_[static_cast<std::size_t>(gameKey)] != 0;
}

int TDInputUnit::GetGameKeyRepeat(int gameKey) const {
  std::lock_guard lock(mutex_);
  return ValidGameKey(gameKey) ? keyRepeat_[static_cast<std::size_t>(gameKey)].state : -1;
}

int TDInputUnit::GetKeyboardDirection() const {
  std::lock_guard lock(mutex_);
  return keyDirection_;
}

int TDInputUnit::GetJoypadDirection() const {
  std::lock_guard lock(mutex_);
  return joyDirection_;
}

void TDInputUnit::SetRepeatDelay(int frames) {
  std::lock_guard lock(mutex_);
  repeatDelay_ = std::max(frames, 1);
}

void TDInputUnit::SetRepeatInterval(int frames) {
  std::lock_guard lock(mutex_);
  repeatInterval_ = std::max(frames, 1);
}

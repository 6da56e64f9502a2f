// Keyboard and joypad for the game: a buffer of key strokes for the music game, the held state of every key,
// eight-way directions and 17 game keys with menu key repeat.
//
// The unit reads the platform input layer (SDL events fed in on the main thread); it has its own lock, so the frame
// tick and the music game may call it from different threads. Scan codes are DirectInput's. Without the keyboard
// device the game keys and directions come from the virtual-key state instead.
//
// Directions: 0 up, then clockwise to 7 up-left; -1 none. Repeat states: -1 not pressed, 0 pressed now for the first
// time, 1 held and waiting for the delay, 2 a repeat fires now, 3 held and waiting for the interval; callers act on 0
// and 2. Times are in frames, the unit of `Update`'s argument.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "core/vxstring.h"
#include "platform/input.h"

class TDInputUnit {
public:
  static constexpr int kGameKeys = 17;
  static constexpr int kButtons = 32;
  static constexpr int kMaxKeyEvents = 32;

  struct KeyEvent {
    std::uint32_t key = 0;    // DirectInput scan code
    std::uint8_t pressed = 0;  // 1 down, 0 up
  };

  TDInputUnit();
  ~TDInputUnit();
  TDInputUnit(const TDInputUnit&) = delete;
  TDInputUnit& operator=(const TDInputUnit&) = delete;

  // Binds the input layer (the window's); false for none. Devices enabled before are created now.
  bool Init(platform::input::Input* input);

  bool SetKeyboardEnabled(bool on);  // the keyboard flag afterwards
  bool IsKeyboardEnabled() const;
  bool SetJoypadEnabled(bool on);
  bool IsJoypadEnabled() const;
  bool FindJoypad() const;

  // The devices themselves; the enable setters call these. Creating needs the bound input layer (false without);
  // `ReleaseAll` releases the joypad, the keyboard and then the input layer's binding (Init binds it again).
  bool CreateKeyboard();
  void ReleaseKeyboard();
  bool CreateJoypad();
  void ReleaseJoypad();
  void ReleaseAll();

  // Takes up to `max` (at most 32) buffered key strokes, oldest first; 0 when the keyboard is not enabled or not
  // acquired (it is acquired again while the window has the focus).
  int GetKeyEvents(KeyEvent* out, int max);
  void QueryKeyEvents();

  bool IsKeyDown(int key) const;        // false outside 0 .. 255
  bool IsButtonDown(int button) const;  // false outside 0 .. 31

  // Game keys 0 .. 16; a button outside 0 .. 31 (or -1) presses nothing.
  void SetButtonMap(int gameKey, int button);
  int GetButtonMap(int gameKey) const;  // -1 outside 0 .. 16
  // "Button1" .. "Button10" of section "Joypad" for game keys 0 .. 9; a value that is not a number gives the game
  // key's default button; missing or empty values change nothing. Nothing happens when the file does not exist or
  // cannot be read.
  void LoadButtonConfig(const VXWideStr& settingsPath);

  void Update(int elapsedFrames);

  // What `Update` leaves for the game.
  int GetDirection() const;
  int GetPrevDirection() const;
  int GetDirectionRepeat() const;
  bool IsGameKeyDown(int gameKey) const;      // pressed in the last update
  bool WasGameKeyDown(int gameKey) const;     // pressed in the update before
  int GetGameKeyRepeat(int gameKey) const;    // -1 outside 0 .. 16
  int GetKeyboardDirection() const;
  int GetJoypadDirection() const;

  void SetRepeatDelay(int frames);
  void SetRepeatInterval(int frames);

private:
  struct Repeat {
    int time = 0;
    int state = -1;
  };

  bool CreateKeyboardLocked();
  void ReleaseKeyboardLocked();
  bool CreateJoypadLocked();
  void ReleaseJoypadLocked();
  bool SetJoypadEnabledLocked(bool on);
  void PollKeyboardLocked();
  void PollJoypadLocked();
  void StepRepeat(Repeat& r, bool same, int elapsed) const;
  void ReacquireIfActive();

  mutable std::mutex mutex_;
  platform::input::Input* input_ = nullptr;
  bool keyboard_ = false;
  bool joypad_ = false;
  int keyDirection_ = -1;
  std::array<std::uint8_t, 256> keys_{};
  std::array<std::uint8_t, 256> windowKeys_{};
  int joyDirection_ = -1;
  std::array<std::uint8_t, kButtons> buttons_{};
  int direction_ = -1;
  int prevDirection_ = -1;
  Repeat directionRepeat_;
  std::array<int, kGameKeys> buttonMap_{};
  std::array<std::uint8_t, kGameKeys> gameKeys_{};
  std::array<std::uint8_t, kGameKeys> prevGameKeys_{};
  std::array<Repeat, kGameKeys> keyRepeat_{};
  int repeatDelay_ = 15;
  int repeatInterval_ = 2;
};

// Keyboard, mouse and joypad at the platform boundary. SDL events arrive on the main thread (fed in by the
// window's pump, or by tests) and are read by the game thread; every call takes the layer's own lock.
//
// One key press becomes three things at once:
//  - a scan code in DirectInput's numbering (held state of 256 codes and a small buffer of press and release
//    events, both only while the keyboard is acquired; extended keys carry bit 7, e.g. Up 200, PrintScreen 183);
//  - a Windows virtual-key code (held state of 256 codes and KeyDown/KeyUp messages, auto-repeat included);
//  - typed characters: SDL's text input as CP932 Char messages, and Enter, Backspace, Esc and Tab synthesised as
//    the characters 13, 8, 27 and 9 when those keys go down (or repeat).
// Mouse positions are in the logical picture's coordinates (640 × 480 unless told otherwise).
#pragma once

#include <SDL_scancode.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

namespace platform::input {

// One row of the key table.
struct KeyCodes {
  SDL_Scancode scancode;
  std::uint8_t dik;  // DirectInput scan code
  std::uint8_t vk;   // Windows virtual-key code (the side-neutral one for Shift, Ctrl and Alt)
};

// Every key the layer knows, in no particular order.
std::span<const KeyCodes> KeyTable();
// The row of `scancode`, or null for a key the layer ignores.
const KeyCodes* FindKey(SDL_Scancode scancode);

// Virtual-key codes used by the layer and the screens.
namespace vk {
inline constexpr std::uint8_t kLButton = 0x01, kRButton = 0x02, kMButton = 0x04, kBack = 0x08, kTab = 0x09,
                              kReturn = 0x0D, kShift = 0x10, kControl = 0x11, kMenu = 0x12, kEscape = 0x1B,
                              kSpace = 0x20, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27,
                              kDown = 0x28, kDelete = 0x2E, k0 = 0x30, k9 = 0x39, kA = 0x41, kV = 0x56, kZ = 0x5A,
                              kNumpad0 = 0x60, kNumpad9 = 0x69, kLShift = 0xA0, kRShift = 0xA1, kLControl = 0xA2,
                              kRControl = 0xA3, kLMenu = 0xA4, kRMenu = 0xA5;
}

// Shift-state bits of key and mouse messages.
namespace shift {
inline constexpr std::uint8_t kShift = 1 << 0, kAlt = 1 << 1, kCtrl = 1 << 2, kLeft = 1 << 3, kRight = 1 << 4,
                              kMiddle = 1 << 5, kDouble = 1 << 6;
}

enum class MouseButton : std::uint8_t { Left, Right, Middle };

// What the game window receives, in the order it happened.
struct Message {
  enum class Kind : std::uint8_t { KeyDown, KeyUp, Char, MouseDown, MouseUp, MouseMove, MouseWheel };

  Kind kind = Kind::KeyDown;
  std::uint8_t vk = 0;          // KeyDown, KeyUp
  bool repeat = false;          // KeyDown: an auto-repeat of a held key
  char chars[2] = {0, 0};       // Char: one CP932 character of `charCount` (1 or 2) bytes
  std::uint8_t charCount = 0;
  MouseButton button = MouseButton::Left;  // MouseDown, MouseUp
  int x = 0, y = 0;             // mouse messages: the pointer in logical coordinates
  int wheelDelta = 0;           // MouseWheel: 120 per notch, positive away from the user
  std::uint8_t shift = 0;       // shift:: bits as they are after the event

  std::string_view Text() const { return {chars, charCount}; }
};

// DirectInput-style buffered keyboard datum.
struct KeyEvent {
  std::uint32_t dik = 0;
  bool pressed = false;
};

enum class ReadResult : std::uint8_t { Ok, Overflow, NotAcquired };

inline constexpr int kJoypadAxes = 6;     // X, Y, Z, rotation X, Y, Z
inline constexpr int kJoypadButtons = 32;
inline constexpr int kJoypadPovs = 4;
inline constexpr std::uint32_t kPovCentred = 0xFFFFFFFF;

struct JoypadState {
  std::array<int, kJoypadAxes> axes{};                // -100 .. 100
  std::array<std::uint8_t, kJoypadButtons> buttons{}; // bit 7 set: pressed
  std::array<std::uint32_t, kJoypadPovs> povs{kPovCentred, kPovCentred, kPovCentred, kPovCentred};  // hundredths of
                                                                                    // a degree clockwise from up
};

// An SDL axis value (-32768 .. 32767) on the -100 .. 100 range.
int ScaleAxis(int raw);
// An SDL hat value (SDL_HAT_*) as a point-of-view angle.
std::uint32_t PovFromHat(std::uint8_t hat);

class Input {
public:
  explicit Input(int logicalWidth = 640, int logicalHeight = 480);

  // --- fed from the main thread (SDL events) ---
  void KeyChanged(SDL_Scancode scancode, bool down, bool repeat);
  void TextTyped(std::string_view utf8);
  void MouseMoved(int x, int y);  // logical coordinates; clamped to the picture
  void MouseButtonChanged(MouseButton button, bool down, int clicks, int x, int y);
  void MouseWheel(int notches);  // positive away from the user
  void FocusChanged(bool focused);
  void JoypadAttached();
  void JoypadDetached();
  void JoypadAxis(int axis, int raw);
  void JoypadButton(int button, bool down);
  void JoypadHat(int hat, std::uint8_t value);

  // Called (outside the lock) when SetMousePos moves the pointer, so that the window can move the real one.
  void SetWarpHandler(std::function<void(int x, int y)> handler);

  // --- read by the game thread ---
  bool HasFocus() const;

  // Acquiring needs the focus (exclusive, foreground); losing the focus unacquires and drops buffered events.
  bool AcquireKeyboard();
  void UnacquireKeyboard();
  bool IsKeyboardAcquired() const;
  void SetKeyBufferSize(int size);  // at least 1; default 32

  // The held state of every DirectInput code (bit 7 set: held); false (all zero) when not acquired.
  bool ReadKeyboardState(std::span<std::uint8_t, 256> out) const;
  // Takes up to out.size() buffered events, oldest first. Overflow: events were dropped because the buffer was full.
  ReadResult ReadKeyEvents(std::span<KeyEvent> out, int& count);
  // The held state of every virtual-key code, mouse buttons included (bit 7 set: held); all zero without the focus.
  void ReadVirtualKeyState(std::span<std::uint8_t, 256> out) const;

  // Takes the oldest window message; false when there is none.
  bool PollMessage(Message& out);
  std::vector<Message> TakeMessages();

  int MouseX() const;
  int MouseY() const;
  // Moves the pointer (clamped) and queues the MouseMove that the move causes.
  void SetMousePos(int x, int y);

  bool IsJoypadAttached() const;
  // False when no joypad is attached.
  bool ReadJoypad(JoypadState& out) const;

private:
  std::uint8_t ShiftLocked() const;
  void PushLocked(Message m);
  void PushMouseLocked(Message::Kind kind);
  void ReleaseAllLocked();

  static constexpr std::size_t kMaxMessages = 4096;

  mutable std::mutex mutex_;
  const int width_, height_;
  bool focused_ = true;
  bool acquired_ = false;
  std::size_t keyBufferSize_ = 32;
  bool overflow_ = false;
  std::array<bool, SDL_NUM_SCANCODES> held_{};
  std::array<bool, 3> buttons_{};
  std::deque<KeyEvent> keyEvents_;
  std::deque<Message> messages_;
  int mouseX_ = 0, mouseY_ = 0;
  std::function<void(int, int)> warp_;
  bool joypad_ = false;
  JoypadState joy_;
};

}  // namespace platform::input

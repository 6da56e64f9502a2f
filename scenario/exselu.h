// The extra-select window: a pass-code dialog over the darkened adventure screen. The reader types a code of up to
// five characters (letters are kept in lower case, digits from both key rows); OK compares it with the game's access
// code and reports the result (1 right, 0 wrong; -1 until OK was pressed). The adventure owns the one window, hangs
// its root under its own panel (Attach), opens and closes it, steps it every frame and forwards keys to it while it
// is open; it hears the window through one callback.
//
// States: 1 idle (closed, or open and ready for typing), 2 fading in, 3 fading out, 4 asking to be closed. Fades take
// 16 frames: the scene behind darkens from 128 to 64 (in 128ths) and the dialog grows opaque, and back.
//
// Callback codes: 1 advance (left click on the darkened screen), 2 right-click action, 5 decided, 6 close. A callback
// may close or delete the window's owner: the handler that called it touches nothing afterwards.
//
// Pictures ("DlgF_Pass.png", "DlgClear.png", "DlgOk.png", from the form) are loaded when the dialog opens and
// released when it closes. Everything runs on the game thread under the game lock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "core/vxcallback.h"
#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoRGBBits;
class TZoRGBBtn;
class TZoRGBText;
class VXFileMan;

class TExSelUnit : public Classes::TComponent {
public:
  using TCallback = VXBaseCallback1<bool, int>;
  using TSystemSePlayer = std::function<void(int index)>;

  enum TCode : int { kAdvance = 1, kRightClick = 2, kDecided = 5, kClose = 6 };
  enum TState : std::uint8_t { esIdle = 1, esFadeIn = 2, esFadeOut = 3, esClosing = 4 };

  static constexpr int kFadeFrames = 16;
  static constexpr int kCodeLength = 5;
  static constexpr const char* kAccessCode = "vteq3";

  // Loads the form resource "ExSelUnit" (throws platform::form::EFormError when it cannot) and centres the dialog.
  explicit TExSelUnit(Classes::TComponent* owner);
  ~TExSelUnit() override;

  // Where the pictures come from (the game's data by default) and where the system sounds go.
  void SetFiles(VXFileMan* files) { files_ = files; }
  void SetSystemSePlayer(TSystemSePlayer player) { playSe_ = std::move(player); }
  void SetCallback(const TCallback& callback) { callback_ = callback; }
  // Hides the root and hangs it under the parent, or takes it off.
  void Attach(TZoRGBPanel* parent);
  void Detach();

  // Loads the pictures and shows the window with nothing typed and no result; immediate: ready at once, else the
  // dialog fades in. False (nothing shown) when a picture cannot be loaded.
  bool Open(bool immediate);
  // Immediate: pictures released and the window hidden at once; else it fades out first.
  void Close(bool immediate);
  bool IsOpen() const { return open_; }
  // Stored when not negative; what it selects is the caller's.
  void SetArgument(int argument);
  int GetArgument() const { return argument_; }
  int GetResult() const { return result_; }
  int GetState() const { return state_; }
  bool IsBusy() const { return state_ != esIdle; }
  bool IsClosing() const { return state_ == esClosing; }
  // The typed characters.
  VXString GetTyped() const;
  // One frame of a fade (skipping ends it at the next frame); in state 4 the close event is sent.
  void Update(int elapsed, bool skipping);
  // Typing, while open and ready: A-Z, 0-9 and the keypad's digits add a character, Backspace and Delete remove the
  // last one, Enter is OK. Other keys are ignored.
  void KeyDown(unsigned short key);
  // Asks to be closed: the close event goes out at the next Update.
  void RequestClose();

  // ---- Published components (filled by the form)
  TZoRGBPanel* ExSelWin = nullptr;
  TZoRGBPanel* DlgFrame = nullptr;
  TZoRGBBtn* DlgClear = nullptr;
  TZoRGBBtn* DlgOk = nullptr;
  TZoRGBText* DlgPass = nullptr;

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void ExSelWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  bool ExSelPanelDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool DlgDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void DlgClearClick(Classes::TComponent* sender);
  void DlgOkClick(Classes::TComponent* sender);
  void BtnMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void BtnMouseEnter(Classes::TComponent* sender);

  // What the drawing leaves of the scene (grey level, 128ths) and how opaque the dialog is (0-128) now.
  int Grey() const;
  int Opacity() const;

private:
  void Report(int code) const;
  void ShowTyped();
  void AddChar(char c);
  void PlaySystemSe(int index) const;

  bool open_ = false;
  bool loaded_ = false;  // the pictures are loaded (while open or fading out)
  std::uint8_t state_ = esIdle;
  int fade_ = 0;
  int argument_ = 0;
  int result_ = -1;
  std::array<char, kCodeLength> typed_{};
  int count_ = 0;
  VXFileMan* files_ = nullptr;
  TSystemSePlayer playSe_;
  TCallback callback_;
};

// The yes/no confirmation box of the game: a 208 x 108 frame centred on the screen with a yes and a no button,
// faded in and out over four frames. One instance (`DlgUnit`) lives as long as the game thread's body; a screen
// that needs it hangs its window under one of its own panels (SetParent), binds the callback, shows it, and hides it
// again on an answer: the dialog reports everything and decides nothing.
//
// Events sent to the callback (only while one is bound): 1, 2, 3 a mouse button (left, right, middle) pressed on
// the window or the frame, in any state; 12 yes, 13 no or Esc, only while steady; 6 closed (the fade-out ended, or
// an immediate hide).
//
// States: 0 before Init, 1 steady (shown or hidden), 2 fading in, 3 fading out. The frame is drawn at rate
// (5 - frames left) x 128 / 5 while fading in and frames left x 128 / 5 while fading out.
//
// Modes: 0 is the exit question, whose frame picture is "DlgF_Exit.png" and whose fades run by themselves: the
// dialog takes over the game thread's frame callback (only while the window shows panels or the adventure, and
// never twice) for the length of the fade and gives it back at its end. In other modes the caller loads its own
// frame picture into DlgFrame after ShowDialog and calls Step once a frame. An immediate show or hide gives a
// taken frame callback back at once.
//
// The parent. Hiding, ClearParent, a new parent, or the parent panel's destruction all leave the window hidden and
// detached; the destruction of the parent also drops the callback (it belonged to the parent's screen). A screen
// that is released while the dialog hangs under it calls Detach first.
//
// Game thread, under the game lock.
#pragma once

#include <cstdint>

#include "core/vxcallback.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "shell/gamef.h"

class TZoRGBBits;
class TZoRGBBtn;
class VXFileMan;

class TDlgUnit : public Classes::TComponent {
public:
  using TCallback = VXBaseCallback1<bool, int>;
  enum TEvent : int { kMouseLeft = 1, kMouseRight = 2, kMouseMiddle = 3, kClosed = 6, kYes = 12, kNo = 13 };
  enum TState : std::uint8_t { dsNone = 0, dsSteady = 1, dsFadeIn = 2, dsFadeOut = 3 };
  static constexpr int kFadeFrames = 4;
  static constexpr int kExitMode = 0;

  // Loads the form resource "DlgUnit" (throws platform::form::EFormError when it cannot), sizes the window to the
  // screen and centres the frame.
  explicit TDlgUnit(Classes::TComponent* owner);
  ~TDlgUnit() override;

  // Keeps the file manager of the pictures and creates the panels: state 1, hidden. False when that fails.
  bool Init(VXFileMan* files);
  // Pictures and panels released, state 0 (a taken frame callback is given back).
  void Release();

  void SetParent(TZoRGBPanel* parent);
  void ClearParent();
  TZoRGBPanel* GetParent() const { return parent_; }
  // Callback dropped, hidden at once without an event, detached.
  void Detach();
  void SetMode(int mode) { mode_ = mode; }
  int GetMode() const { return mode_; }
  void SetCallback(const TCallback& callback) { callback_ = callback; }
  const TCallback& GetCallback() const { return callback_; }

  bool IsFading() const { return state_ != dsSteady; }
  bool IsShown() const;
  // Return IsFading. A fade in mode 0 that cannot take the frame callback throws EGameErr.
  bool ShowDialog(bool immediate);
  bool HideDialog(bool immediate);
  // One fade frame.
  bool Step();

  std::uint8_t GetState() const { return state_; }
  // 1 yes, 0 no.
  int GetAnswer() const { return answer_; }
  bool IsCaptured() const { return captured_; }
  // The frame's draw rate now, 0..128.
  int Rate() const;

  // The picture named in the panel's Text, through the dialog's file manager, and its release.
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);

  // ---- Handlers the form binds
  void DlgWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void DlgWinKeyDown(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  bool DlgFrameDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void DlgYesClick(Classes::TComponent* sender);
  void DlgNoClick(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* DlgWin = nullptr;
  TZoRGBPanel* DlgFrame = nullptr;
  TZoRGBBtn* DlgYes = nullptr;
  TZoRGBBtn* DlgNo = nullptr;

  bool IsOpen() const { return state_ != dsNone; }

protected:
  void Notification(Classes::TComponent* component, Classes::TOperation operation) override;

private:
  void LoadPictures();
  void ReleasePictures();
  // Hidden at once: pictures released, frame callback given back, state 1.
  void HideNow();
  // The game thread's frame callback taken over by Step; false when refused.
  bool Capture();
  void ReleaseCapture();
  void CaptureOrThrow();
  void StepHook(int frames);
  void Report(int event);

  VXFileMan* files_ = nullptr;
  TZoRGBPanel* parent_ = nullptr;
  std::uint8_t state_ = dsNone;
  int frames_ = 0;
  std::uint8_t answer_ = 0;
  int mode_ = kExitMode;
  TCallback callback_;
  bool captured_ = false;
  TFrameHook savedFrame_;
};

// The one dialog of the game thread (null while there is none).
extern TDlgUnit* DlgUnit;

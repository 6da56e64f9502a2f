// The title screen: the title picture with its menu of ten buttons. A button hands its choice to the game thread
// (NotifyMainThread): 1 start, 2 load, 3 free play, 4 best scores, 5 internet ranking, 6 album, 7 sound room,
// 8 configuration, 10 exit, 11 extra; 9 comes from the idle counter after 900 frames (30 seconds) untouched.
//
// Buttons are indexed in form order (Start, Load, FreePlay, Score, Ranking, Album, Sound, Config, Exit, Extra), the
// index also in each button's Tag. Album, Sound and Extra are shown only once system flag 63 is set.
//
// Keys: Up and Down select a button (the first press selects Start) and move the pointer onto it, which highlights
// it; they step over hidden buttons and stay on the last shown one at either end. Space and Enter press the selected
// button when it is shown and enabled, as a click would.
//
// Exit asks first when the user setting ExitConfirm is on: the confirmation dialog (DlgUnit) hangs under the title
// picture, the idle count pauses; No closes it and restarts the count, Yes reports 10. A title that is released
// while its dialog is open takes the dialog off first.
//
// The caller (the title sequence) creates the screen, calls Init and Prepare, attaches TitleMenuPanel, and calls
// StartIdle before each wait and StopIdle after it.
//
// Game thread, under the game lock.
#pragma once

#include <array>

#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoRGBBtn;
class VXFileMan;

class TTitleMenu : public Classes::TComponent {
public:
  static constexpr int kButtons = 10;
  static constexpr int kIdleFrames = 900;
  static constexpr int kUnlockFlag = 63;
  enum TChoice : int {
    kStart = 1, kLoad = 2, kFreePlay = 3, kScore = 4, kRanking = 5, kAlbum = 6, kSound = 7, kConfig = 8,
    kIdle = 9, kExit = 10, kExtra = 11,
  };
  enum TIdle : int { kIdleStopped = -1, kIdlePaused = -2 };

  // Loads the form resource "TitleMenu" (throws platform::form::EFormError when it cannot).
  explicit TTitleMenu(Classes::TComponent* owner);
  ~TTitleMenu() override;

  // Keeps the file manager and creates every panel with its picture; false (released again) when a panel or a
  // picture cannot be made.
  bool Init(VXFileMan* files);
  void Release();
  bool IsOpen() const { return opened_; }
  // Nothing selected; the unlocked buttons shown.
  bool Prepare();

  void StartIdle() { idle_ = 0; }
  void StopIdle() { idle_ = kIdleStopped; }
  void PauseIdle();
  void ResumeIdle();
  int GetIdle() const { return idle_; }
  int GetHover() const { return hover_; }
  TZoRGBBtn* GetButton(int index) const;

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void TitleMenuPanelKeyDown(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  void TitleMenuPanelAnime(Classes::TComponent* sender);
  void BtnMouseEnter(Classes::TComponent* sender);
  void BtnMouseLeave(Classes::TComponent* sender);
  void BtnStartClick(Classes::TComponent* sender);
  void BtnLoadClick(Classes::TComponent* sender);
  void BtnFreePlayClick(Classes::TComponent* sender);
  void BtnScoreClick(Classes::TComponent* sender);
  void BtnRankingClick(Classes::TComponent* sender);
  void BtnAlbumClick(Classes::TComponent* sender);
  void BtnSoundClick(Classes::TComponent* sender);
  void BtnConfigClick(Classes::TComponent* sender);
  void BtnExitClick(Classes::TComponent* sender);
  void BtnExtraClick(Classes::TComponent* sender);
  // The exit question's answers (events of the confirmation dialog).
  bool DialogEvent(int event);

  // ---- Published components (filled by the form)
  TZoRGBPanel* TitleMenuPanel = nullptr;
  TZoRGBPanel* TitleMenu = nullptr;  // the title picture, parent of the buttons
  TZoRGBBtn* BtnStart = nullptr;
  TZoRGBBtn* BtnLoad = nullptr;
  TZoRGBBtn* BtnFreePlay = nullptr;
  TZoRGBBtn* BtnScore = nullptr;
  TZoRGBBtn* BtnRanking = nullptr;
  TZoRGBBtn* BtnAlbum = nullptr;
  TZoRGBBtn* BtnSound = nullptr;
  TZoRGBBtn* BtnConfig = nullptr;
  TZoRGBBtn* BtnExit = nullptr;
  TZoRGBBtn* BtnExtra = nullptr;

private:
  void Choose(int choice);
  // A button that keys may select and press.
  bool IsAvailable(int index) const;
  void MovePointerTo(const TZoRGBBtn* button);
  bool OwnsDialog() const;

  bool opened_ = false;
  bool picturesOk_ = true;
  VXFileMan* files_ = nullptr;
  std::array<TZoRGBBtn*, kButtons> buttons_{};
  int hover_ = -1;
  int idle_ = kIdleStopped;
};

// The title screen while the title sequence runs (null otherwise).
extern TTitleMenu* TitleMenu;

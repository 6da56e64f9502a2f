// The sound room: nine BGM tracks to select, play, stop, step through and repeat, with the track number and the
// playing time shown. The panels come from the form "SoundMenu"; the title flow attaches `SoundPanel` under the
// root panel, and the panel's animation step (`SoundPanelAnime`, once a frame while the screen is shown) keeps
// the music going: a track that ends is followed by the next one (play through, stopping after the last), by the
// next with entry 9 wrapping to 1 (repeat all), or by itself (repeat one); selecting another entry while a track
// plays switches to it on the next frame. Leaving (`BtnEnd`) stops the music at once, plays system sound 8 and
// reports 0 to the game thread.
//
// The music goes through a TBgmPlayer: the game window's sound service by default, a fake in tests. A track that
// does not start leaves the room stopped (Playing false), so the frame step does not try it again and again.
//
// Game thread, under the game lock.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "shell/screenform.h"

class TZoRGBBtn;
class TZoRGBNum;
class VXFileMan;

// What the sound room asks of the sound service.
class TBgmPlayer {
public:
  virtual ~TBgmPlayer() = default;
  virtual bool PlayBgm(int track, bool loop, bool fade) = 0;
  virtual void StopBgm(bool fade) = 0;
  virtual bool IsBgmPlaying() = 0;
  virtual int GetBgmTrack() = 0;
  virtual int GetBgmPosition() = 0;  // milliseconds
  virtual void PlaySystemSe(int index) = 0;
};

// The game window's sound service (nothing without a game window).
std::unique_ptr<TBgmPlayer> MakeGameBgmPlayer();

class TSoundMenu : public Classes::TComponent {
public:
  static constexpr int kTracks = 9;
  enum TMode : int { kPlayThrough = 0, kRepeatAll = 1, kRepeatOne = 2 };

  // Loads the form resource "SoundMenu" (throws platform::form::EFormError when it cannot).
  explicit TSoundMenu(Classes::TComponent* owner);
  ~TSoundMenu() override;

  // Where the music goes; the game window's sound service by default.
  void SetPlayer(std::unique_ptr<TBgmPlayer> player);

  // Keeps the file manager, places the select buttons, loads the digits ("SoundTimeNum.png" with its plane) for
  // the number panels, creates the panels and resets the room: entry 0, play through, the music stopped (with a
  // fade). False (released again) when a picture or a panel cannot be made.
  bool Init(VXFileMan* files);
  void Release();
  bool IsOpened() const { return opened_; }

  int GetSelected() const { return selected_; }
  int GetMode() const { return mode_; }
  bool IsPlaying() const { return playing_; }

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void SoundPanelAnime(Classes::TComponent* sender);
  void BtnSelBgmClick(Classes::TComponent* sender);
  void BtnIxBackClick(Classes::TComponent* sender);
  void BtnIxPlayClick(Classes::TComponent* sender);
  void BtnStopClick(Classes::TComponent* sender);
  void BtnIxFwdClick(Classes::TComponent* sender);
  void BtnRepeatClick(Classes::TComponent* sender);
  void BtnLoopClick(Classes::TComponent* sender);
  void BtnEndClick(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* SoundPanel = nullptr;
  TZoRGBPanel* NamesPanel = nullptr;
  TZoRGBPanel* LightPanel = nullptr;
  TZoRGBBtn* BtnSelBgm1 = nullptr;
  TZoRGBBtn* BtnSelBgm2 = nullptr;
  TZoRGBBtn* BtnSelBgm3 = nullptr;
  TZoRGBBtn* BtnSelBgm4 = nullptr;
  TZoRGBBtn* BtnSelBgm5 = nullptr;
  TZoRGBBtn* BtnSelBgm6 = nullptr;
  TZoRGBBtn* BtnSelBgm7 = nullptr;
  TZoRGBBtn* BtnSelBgm8 = nullptr;
  TZoRGBBtn* BtnSelBgm9 = nullptr;
  TZoRGBBtn* BtnIxBack = nullptr;
  TZoRGBBtn* BtnIxPlay = nullptr;
  TZoRGBBtn* BtnStop = nullptr;
  TZoRGBBtn* BtnIxFwd = nullptr;
  TZoRGBBtn* BtnRepeat = nullptr;
  TZoRGBBtn* BtnLoop = nullptr;
  TZoRGBBtn* BtnEnd = nullptr;
  TZoRGBNum* NumTrack10 = nullptr;
  TZoRGBNum* NumTrack1 = nullptr;
  TZoRGBNum* NumMin = nullptr;
  TZoRGBNum* NumSec = nullptr;

private:
  std::array<TZoRGBBtn*, kTracks> SelectButtons() const;
  std::vector<TZoRGBNum*> Numbers() const;
  void Select(int index);
  // Starts entry `index`'s track from its start; false when it does not start (the room is then stopped).
  bool PlayTrack(int index);
  void Stop();
  void ShowTime(int ms);
  void ShowTrack();

  bool opened_ = false;
  VXFileMan* files_ = nullptr;
  std::unique_ptr<TBgmPlayer> player_;
  int selected_ = 0;
  int mode_ = kPlayThrough;
  bool playing_ = false;
  screenform::TDigitPicture digits_;
};

extern TSoundMenu* SoundMenu;

// The configuration screen: one picture with three groups of settings — system (the sound service's volumes,
// window or full screen, frame pacing), adventure (text speed, message window transparency with a sample, the
// automatic advance wait, effects, place names) and music game (volumes, auto modes, difficulty, lyrics,
// animation, timing). Every control writes its setting at once; the flow that opened the screen saves the user
// configuration when the screen reports event 6 (closed, from `BtnExit`). The panels come from the form
// "ConfigMenu"; the controls' pictures are parts of "CfgParts.png" (shell/cfgparts.h), placed when the screen
// opens.
//
// Value rows: the left button takes one step off while above 0, the right one adds a step while below the row's
// maximum; a press on the slider, or a move with the left button held, sets max(min(x - 4, 108), 0) x maximum
// / 108 (x inside the slider). Volumes and the transparency step by 1 up to 100; the wait steps to the next lower
// or higher multiple of 100 up to 5000. The text-speed slider shows 100 - UserTextSpeed.
//
// Choice groups show the button of the current value selected; a click plays system sound 6 and sets the value.
// The pacing buttons set the window's pacing mode (which writes the settings file itself); the display buttons ask
// the game window for window or full screen, only when the other mode is shown (and full screen only where it is
// possible); the display group follows the window on every animation tick, so a switch by hot key shows at once.
// The defaults buttons (system sound 9) reset their group.
//
// Game thread, under the game lock.
#pragma once

#include <functional>
#include <vector>

#include "core/vxcallback.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoRGBBits;
class TZoRGBBtn;
class TZoRGBNum;
class TZoRGBParts;

class TConfigMenu : public Classes::TComponent {
public:
  using TCallback = VXBaseCallback1<bool, int>;
  static constexpr int kClosed = 6;
  static constexpr int kSliderTravel = 108;

  // One row of a value with its buttons, slider and number.
  struct TValueRow {
    TZoRGBBtn* left;
    TZoRGBPanel* slider;
    TZoRGBBtn* right;
    TZoRGBNum* number;  // may be null
    int columns;
    int maximum;
    int step;
    std::function<int()> get;  // in slider units
    std::function<void(int)> set;
  };
  // A group of choice buttons, each standing for a value.
  struct TChoiceGroup {
    std::vector<std::pair<TZoRGBBtn*, int>> buttons;
    std::function<int()> get;
    std::function<void(int)> set;
  };

  // Loads the form resource "ConfigMenu" (throws platform::form::EFormError when it cannot).
  explicit TConfigMenu(Classes::TComponent* owner);
  ~TConfigMenu() override;

  // Loads the parts sheet through the main data files, places every control, creates the panels and shows every
  // value; false (closed again) when the sheet or a panel cannot be made.
  bool Open(int param = 0);
  void Close();
  bool IsOpen() const { return created_; }
  void SetCallback(TCallback callback) { callback_ = callback; }
  // Every row and group shown again from the settings.
  void RefreshAll();

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void ConfigPanelAnime(Classes::TComponent* sender);
  void BtnLClick(Classes::TComponent* sender);
  void BtnRClick(Classes::TComponent* sender);
  void SliderMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void SliderMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  bool PercentSliderDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool TimeSliderDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool MesBoxSampleDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void ChoiceClick(Classes::TComponent* sender);
  void DispFullBtnClick(Classes::TComponent* sender);
  void DispWindowBtnClick(Classes::TComponent* sender);
  void SysBtnNormalSetClick(Classes::TComponent* sender);
  void AdvBtnNormalSetClick(Classes::TComponent* sender);
  void MusicBtnNormalSetClick(Classes::TComponent* sender);
  void BtnExitClick(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* ConfigPanel = nullptr;
  TZoRGBBtn* SysBtnNormalSet = nullptr;
  TZoRGBBtn* AdvBtnNormalSet = nullptr;
  TZoRGBBtn* MusicBtnNormalSet = nullptr;
  TZoRGBBtn* BGMVBtnL = nullptr;
  TZoRGBPanel* BGMVSlider = nullptr;
  TZoRGBBtn* BGMVBtnR = nullptr;
  TZoRGBNum* BGMVNum = nullptr;
  TZoRGBBtn* VoiceVBtnL = nullptr;
  TZoRGBPanel* VoiceVSlider = nullptr;
  TZoRGBBtn* VoiceVBtnR = nullptr;
  TZoRGBNum* VoiceVNum = nullptr;
  TZoRGBBtn* SEVBtnL = nullptr;
  TZoRGBPanel* SEVSlider = nullptr;
  TZoRGBBtn* SEVBtnR = nullptr;
  TZoRGBNum* SEVNum = nullptr;
  TZoRGBBtn* RearVBtnL = nullptr;
  TZoRGBPanel* RearVSlider = nullptr;
  TZoRGBBtn* RearVBtnR = nullptr;
  TZoRGBNum* RearVNum = nullptr;
  TZoRGBBtn* MainVBtnL = nullptr;
  TZoRGBPanel* MainVSlider = nullptr;
  TZoRGBBtn* MainVBtnR = nullptr;
  TZoRGBNum* MainVNum = nullptr;
  TZoRGBBtn* KeyVBtnL = nullptr;
  TZoRGBPanel* KeyVSlider = nullptr;
  TZoRGBBtn* KeyVBtnR = nullptr;
  TZoRGBNum* KeyVNum = nullptr;
  TZoRGBBtn* MesBoxBtnL = nullptr;
  TZoRGBPanel* MesBoxSlider = nullptr;
  TZoRGBBtn* MesBoxBtnR = nullptr;
  TZoRGBNum* MesBoxNum = nullptr;
  TZoRGBBtn* ASkipBtnL = nullptr;
  TZoRGBPanel* ASkipSlider = nullptr;
  TZoRGBBtn* ASkipBtnR = nullptr;
  TZoRGBNum* ASkipNum = nullptr;
  TZoRGBBtn* SpeedBtnL = nullptr;
  TZoRGBPanel* SpeedSlider = nullptr;
  TZoRGBBtn* SpeedBtnR = nullptr;
  TZoRGBPanel* MesBoxSample = nullptr;
  TZoRGBBtn* DispFullBtn = nullptr;
  TZoRGBBtn* DispWindowBtn = nullptr;
  TZoRGBBtn* FpsNoSyncBtn = nullptr;
  TZoRGBBtn* FpsFullBtn = nullptr;
  TZoRGBBtn* Fps30Btn = nullptr;
  TZoRGBBtn* EffectNormal = nullptr;
  TZoRGBBtn* EffectSimple = nullptr;
  TZoRGBBtn* PlaceON = nullptr;
  TZoRGBBtn* PlaceOFF = nullptr;
  TZoRGBBtn* AutoAdvON = nullptr;
  TZoRGBBtn* AutoAdvOFF = nullptr;
  TZoRGBBtn* AutoFreeON = nullptr;
  TZoRGBBtn* AutoFreeOFF = nullptr;
  TZoRGBBtn* RankEasy = nullptr;
  TZoRGBBtn* RankNormal = nullptr;
  TZoRGBBtn* RankHard = nullptr;
  TZoRGBBtn* WordNormal = nullptr;
  TZoRGBBtn* WordHiQuality = nullptr;
  TZoRGBBtn* WordOFF = nullptr;
  TZoRGBBtn* AnimeON = nullptr;
  TZoRGBBtn* AnimeOFF = nullptr;
  TZoRGBBtn* TimingSound = nullptr;
  TZoRGBBtn* TimingTimer = nullptr;
  TZoRGBBtn* BtnExit = nullptr;

private:
  void MakeTables();
  void PlaceControls();
  TValueRow* RowOf(const Classes::TComponent* control);
  void SetRowValue(TValueRow& row, int value);
  void ShowRow(const TValueRow& row);
  void ShowGroup(const TChoiceGroup& group);
  void ShowDisplay();
  bool DrawSlider(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);

  bool created_ = false;
  int param_ = 0;
  TCallback callback_;
  TZoRGBParts* parts_ = nullptr;
  std::vector<TValueRow> rows_;
  std::vector<TChoiceGroup> groups_;
};

extern TConfigMenu* ConfigMenu;

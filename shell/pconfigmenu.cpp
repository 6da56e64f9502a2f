#include "shell/pconfigmenu.h"

#include <algorithm>
#include <mutex>

#include "device/gameservices.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "graphics/zorgbparts.h"
#include "platform/form.h"
#include "shell/cfgparts.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TConfigMenu* ConfigMenu = nullptr;

namespace {

constexpr int kFullRate = 128;
constexpr int kSliderGrip = 4;  // where the knob's centre lies under the pointer
enum TSound : int { kSoundChoice = 6, kSoundDefaults = 9 };

void RegisterConfigMenu() {
  auto s = pc::RegisterScreen<TConfigMenu>("TConfigMenu");
  using U = TConfigMenu;
  using screenform::Bind;
  for (const auto& [name, handler] :
       {std::pair{"PanelCreate", &U::PanelCreate}, std::pair{"PanelRelease", &U::PanelRelease},
        std::pair{"ConfigPanelAnime", &U::ConfigPanelAnime}, std::pair{"BtnLClick", &U::BtnLClick},
        std::pair{"BtnRClick", &U::BtnRClick}, std::pair{"ChoiceClick", &U::ChoiceClick},
        std::pair{"DispFullBtnClick", &U::DispFullBtnClick}, std::pair{"DispWindowBtnClick", &U::DispWindowBtnClick},
        std::pair{"SysBtnNormalSetClick", &U::SysBtnNormalSetClick},
        std::pair{"AdvBtnNormalSetClick", &U::AdvBtnNormalSetClick},
        std::pair{"MusicBtnNormalSetClick", &U::MusicBtnNormalSetClick}, std::pair{"BtnExitClick", &U::BtnExitClick}})
    Bind<TNotifyEvent>(s, name, "TNotifyEvent", handler);
  Bind<TMouseEvent>(s, "SliderMouseDown", "TMouseEvent", &U::SliderMouseDown);
  Bind<TMouseMoveEvent>(s, "SliderMouseMove", "TMouseMoveEvent", &U::SliderMouseMove);
  for (const auto& [name, handler] : {std::pair{"PercentSliderDraw", &U::PercentSliderDraw},
                                      std::pair{"TimeSliderDraw", &U::TimeSliderDraw},
                                      std::pair{"MesBoxSampleDraw", &U::MesBoxSampleDraw}})
    Bind<TZoDrawEvent>(s, name, "TZoDrawEvent", handler);
  s
      .Field("ConfigPanel", &U::ConfigPanel)
      .Field("SysBtnNormalSet", &U::SysBtnNormalSet)
      .Field("AdvBtnNormalSet", &U::AdvBtnNormalSet)
      .Field("MusicBtnNormalSet", &U::MusicBtnNormalSet)
      .Field("BGMVBtnL", &U::BGMVBtnL)
      .Field("BGMVSlider", &U::BGMVSlider)
      .Field("BGMVBtnR", &U::BGMVBtnR)
      .Field("BGMVNum", &U::BGMVNum)
      .Field("VoiceVBtnL", &U::VoiceVBtnL)
      .Field("VoiceVSlider", &U::VoiceVSlider)
      .Field("VoiceVBtnR", &U::VoiceVBtnR)
      .Field("VoiceVNum", &U::VoiceVNum)
      .Field("SEVBtnL", &U::SEVBtnL)
      .Field("SEVSlider", &U::SEVSlider)
      .Field("SEVBtnR", &U::SEVBtnR)
      .Field("SEVNum", &U::SEVNum)
      .Field("RearVBtnL", &U::RearVBtnL)
      .Field("RearVSlider", &U::RearVSlider)
      .Field("RearVBtnR", &U::RearVBtnR)
      .Field("RearVNum", &U::RearVNum)
      .Field("MainVBtnL", &U::MainVBtnL)
      .Field("MainVSlider", &U::MainVSlider)
      .Field("MainVBtnR", &U::MainVBtnR)
      .Field("MainVNum", &U::MainVNum)
      .Field("KeyVBtnL", &U::KeyVBtnL)
      .Field("KeyVSlider", &U::KeyVSlider)
      .Field("KeyVBtnR", &U::KeyVBtnR)
      .Field("KeyVNum", &U::KeyVNum)
      .Field("MesBoxBtnL", &U::MesBoxBtnL)
      .Field("MesBoxSlider", &U::MesBoxSlider)
      .Field("MesBoxBtnR", &U::MesBoxBtnR)
      .Field("MesBoxNum", &U::MesBoxNum)
      .Field("ASkipBtnL", &U::ASkipBtnL)
      .Field("ASkipSlider", &U::ASkipSlider)
      .Field("ASkipBtnR", &U::ASkipBtnR)
      .Field("ASkipNum", &U::ASkipNum)
      .Field("SpeedBtnL", &U::SpeedBtnL)
      .Field("SpeedSlider", &U::SpeedSlider)
      .Field("SpeedBtnR", &U::SpeedBtnR)
      .Field("MesBoxSample", &U::MesBoxSample)
      .Field("DispFullBtn", &U::DispFullBtn)
      .Field("DispWindowBtn", &U::DispWindowBtn)
      .Field("FpsNoSyncBtn", &U::FpsNoSyncBtn)
      .Field("FpsFullBtn", &U::FpsFullBtn)
      .Field("Fps30Btn", &U::Fps30Btn)
      .Field("EffectNormal", &U::EffectNormal)
      .Field("EffectSimple", &U::EffectSimple)
      .Field("PlaceON", &U::PlaceON)
      .Field("PlaceOFF", &U::PlaceOFF)
      .Field("AutoAdvON", &U::AutoAdvON)
      .Field("AutoAdvOFF", &U::AutoAdvOFF)
      .Field("AutoFreeON", &U::AutoFreeON)
      .Field("AutoFreeOFF", &U::AutoFreeOFF)
      .Field("RankEasy", &U::RankEasy)
      .Field("RankNormal", &U::RankNormal)
      .Field("RankHard", &U::RankHard)
      .Field("WordNormal", &U::WordNormal)
      .Field("WordHiQuality", &U::WordHiQuality)
      .Field("WordOFF", &U::WordOFF)
      .Field("AnimeON", &U::AnimeON)
      .Field("AnimeOFF", &U::AnimeOFF)
      .Field("TimingSound", &U::TimingSound)
      .Field("TimingTimer", &U::TimingTimer)
      .Field("BtnExit", &U::BtnExit);
}

// The sound service's user volumes (nothing without a game window).
std::function<int()> Volume(int (TGameForm::*get)()) {
  return [get] { return GameForm != nullptr ? (GameForm->*get)() : 0; };
}
std::function<void(int)> SetVolume(void (TGameForm::*set)(int)) {
  return [set](int v) {
    if (GameForm != nullptr) (GameForm->*set)(v);
  };
}
template <class T>
std::function<int()> User(T TUserConfig::*field) {
  return [field] { return static_cast<int>(UserConfig.*field); };
}
template <class T>
std::function<void(int)> SetUser(T TUserConfig::*field) {
  return [field](int v) { UserConfig.*field = static_cast<T>(v); };
}

// The user configuration's fields given back their built-in values.
template <class... F>
void ResetUserFields(F... fields) {
  const TUserConfig defaults;
  ((UserConfig.*fields = defaults.*fields), ...);
}

}  // namespace

TConfigMenu::TConfigMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterConfigMenu);
  platform::form::LoadFormResource(*this, "ConfigMenu");
  MakeTables();
}

TConfigMenu::~TConfigMenu() {
  Close();
  DestroyComponents();
}

void TConfigMenu::MakeTables() {
  auto percent = [](TZoRGBBtn* l, TZoRGBPanel* s, TZoRGBBtn* r, TZoRGBNum* n, std::function<int()> get,
                    std::function<void(int)> set) { return TValueRow{l, s, r, n, 3, 100, 1, std::move(get), std::move(set)}; };
  rows_ = {
      percent(BGMVBtnL, BGMVSlider, BGMVBtnR, BGMVNum, Volume(&TGameForm::GetBgmVolume), SetVolume(&TGameForm::SetBgmVolume)),
      percent(VoiceVBtnL, VoiceVSlider, VoiceVBtnR, VoiceVNum, Volume(&TGameForm::GetVoiceVolume),
              SetVolume(&TGameForm::SetVoiceVolume)),
      percent(SEVBtnL, SEVSlider, SEVBtnR, SEVNum, Volume(&TGameForm::GetSeVolume), SetVolume(&TGameForm::SetSeVolume)),
      percent(RearVBtnL, RearVSlider, RearVBtnR, RearVNum, Volume(&TGameForm::GetRearVolume),
              SetVolume(&TGameForm::SetRearVolume)),
      percent(MainVBtnL, MainVSlider, MainVBtnR, MainVNum, User(&TUserConfig::VolumeMainPlay),
              SetUser(&TUserConfig::VolumeMainPlay)),
      percent(KeyVBtnL, KeyVSlider, KeyVBtnR, KeyVNum, User(&TUserConfig::VolumeKeyboard),
              SetUser(&TUserConfig::VolumeKeyboard)),
      percent(MesBoxBtnL, MesBoxSlider, MesBoxBtnR, MesBoxNum, User(&TUserConfig::MesBoxTrans),
              [this](int v) {
                UserConfig.MesBoxTrans = v;
                MesBoxSample->SetModify();
              }),
      percent(SpeedBtnL, SpeedSlider, SpeedBtnR, nullptr, [] { return 100 - UserConfig.UserTextSpeed; },
              [](int v) { UserConfig.UserTextSpeed = 100 - v; }),
      TValueRow{ASkipBtnL, ASkipSlider, ASkipBtnR, ASkipNum, 4, 5000, 100, User(&TUserConfig::AutoSkipWait),
                SetUser(&TUserConfig::AutoSkipWait)},
  };
  auto user = [](auto field, std::vector<std::pair<TZoRGBBtn*, int>> buttons) {
    return TChoiceGroup{std::move(buttons), User(field), SetUser(field)};
  };
  groups_ = {
      TChoiceGroup{{{FpsNoSyncBtn, kFpsNoSync}, {FpsFullBtn, kFpsFull}, {Fps30Btn, kFps30}},
                   [] { return GameForm != nullptr ? GameForm->GetFpsMode() : -1; },
                   [](int v) {
                     if (GameForm != nullptr) GameForm->SetFpsMode(static_cast<std::uint8_t>(v));
                   }},
      user(&TUserConfig::SimpleDisplay, {{EffectNormal, 0}, {EffectSimple, 1}}),
      user(&TUserConfig::ShowPlaceName, {{PlaceON, 1}, {PlaceOFF, 0}}),
      user(&TUserConfig::AvgAutoMode, {{AutoAdvON, 1}, {AutoAdvOFF, 0}}),
      user(&TUserConfig::MusicAutoMode, {{AutoFreeON, 1}, {AutoFreeOFF, 0}}),
      user(&TUserConfig::MusicRankMode, {{RankEasy, 2}, {RankNormal, 0}, {RankHard, 1}}),
      user(&TUserConfig::MusicWordMode, {{WordNormal, 1}, {WordHiQuality, 2}, {WordOFF, 0}}),
      user(&TUserConfig::MusicAnime, {{AnimeON, 1}, {AnimeOFF, 0}}),
      user(&TUserConfig::MusicTimingMode, {{TimingSound, 1}, {TimingTimer, 0}}),
  };
}

// Every control's part and place.
void TConfigMenu::PlaceControls() {
  using namespace cfgparts;
  struct Place {
    TZoRGBPanel* panel;
    TPartPos pos;
  };
  const Place places[] = {
      {SysBtnNormalSet, {kDefaults, 245, 45}},     {AdvBtnNormalSet, {kDefaults, 245, 257}},
      {MusicBtnNormalSet, {kDefaults, 565, 45}},   {DispFullBtn, {kChoiceFull, 137, 153}},
      {DispWindowBtn, {kChoiceWindow, 210, 153}},  {FpsNoSyncBtn, {kChoiceNoSync, 102, 181}},
      {FpsFullBtn, {kChoiceFull, 174, 181}},       {Fps30Btn, {kChoice30, 246, 181}},
      {EffectNormal, {kChoiceNormal, 138, 399}},   {EffectSimple, {kChoiceSimple, 210, 399}},
      {PlaceON, {kChoiceOn, 138, 427}},            {PlaceOFF, {kChoiceOff, 210, 427}},
      {AutoAdvON, {kChoiceOn, 458, 134}},          {AutoAdvOFF, {kChoiceOff, 530, 134}},
      {AutoFreeON, {kChoiceOn, 458, 162}},         {AutoFreeOFF, {kChoiceOff, 530, 162}},
      {RankEasy, {kChoiceEasy, 422, 220}},         {RankNormal, {kChoiceNormal, 494, 220}},
      {RankHard, {kChoiceHard, 566, 220}},         {WordNormal, {kChoiceNormal, 422, 279}},
      {WordHiQuality, {kChoiceHigh, 494, 279}},    {WordOFF, {kChoiceOff, 566, 279}},
      {AnimeON, {kChoiceOn, 458, 337}},            {AnimeOFF, {kChoiceOff, 530, 337}},
      {TimingSound, {kChoiceSound, 458, 365}},     {TimingTimer, {kChoiceTimer, 530, 365}},
      {BtnExit, {kExit, 564, 424}},
  };
  for (const Place& p : places) SetPanelPart(p.panel, parts_, &p.pos);
  // The rows: left button, slider, right button and number, each one pixel lower than the one before (the slider
  // one above the buttons).
  struct RowPlace {
    TZoRGBBtn* left;
    int x, y;  // of the left button
  };
  const RowPlace rowPlaces[] = {{BGMVBtnL, 135, 80},    {VoiceVBtnL, 135, 97},  {SEVBtnL, 135, 114},
                                {RearVBtnL, 135, 131},  {MainVBtnL, 455, 88},   {KeyVBtnL, 455, 106},
                                {MesBoxBtnL, 135, 347}, {SpeedBtnL, 135, 291},  {ASkipBtnL, 135, 378}};
  for (const RowPlace& rp : rowPlaces) {
    TValueRow& row = *RowOf(rp.left);
    const TPartPos left{kLeft, rp.x, rp.y}, slider{kSlider, rp.x + 12, rp.y - 1}, right{kRight, rp.x + 130, rp.y},
        number{kDigits, rp.x + 143, rp.y + 1};
    SetPanelPart(row.left, parts_, &left);
    SetPanelPart(row.slider, parts_, &slider);
    row.slider->SetNumBlock(parts_->GetPattern(kSlider));
    SetPanelPart(row.right, parts_, &right);
    if (row.number != nullptr) {
      SetPanelPart(row.number, parts_, &number);
      row.number->SetSizeX(row.number->GetSizeX() * row.columns);
      row.number->SetColumn(row.columns);
    }
  }
}

bool TConfigMenu::Open(int param) {
  Close();
  param_ = param;
  created_ = true;
  if (!LoadPartsFile(&parts_, FileMan, const_cast<TZoPartsData*>(cfgparts::kTable), "CfgParts.png")) {
    Close();
    return false;
  }
  PlaceControls();
  if (!ConfigPanel->AllCreate()) {
    Close();
    return false;
  }
  MesBoxSample->SetMaskMode(mmAlpha);
  RefreshAll();
  return true;
}

void TConfigMenu::Close() {
  if (!created_) return;
  ConfigPanel->AllRelease();
  if (parts_ != nullptr) {
    if (TGameServices* game = GameServices())
      game->GetMemMan().Delete(parts_);
    parts_ = nullptr;
  }
  created_ = false;
}

void TConfigMenu::RefreshAll() {
  for (const TValueRow& row : rows_) ShowRow(row);
  for (const TChoiceGroup& group : groups_) ShowGroup(group);
  ShowDisplay();
}

TConfigMenu::TValueRow* TConfigMenu::RowOf(const Classes::TComponent* control) {
  for (TValueRow& row : rows_)
    if (row.left == control || row.slider == control || row.right == control) return &row;
  return nullptr;
}

void TConfigMenu::SetRowValue(TValueRow& row, int value) {
  row.set(std::clamp(value, 0, row.maximum));
  ShowRow(row);
}

void TConfigMenu::ShowRow(const TValueRow& row) {
  row.slider->SetModify();
  if (row.number != nullptr) row.number->SetNumber(row.get());
}

void TConfigMenu::ShowGroup(const TChoiceGroup& group) {
  const int value = group.get();
  for (const auto& [button, v] : group.buttons) button->SetSelected(v == value);
}

void TConfigMenu::ShowDisplay() {
  const bool window = WindowMode.load() != 0;
  DispWindowBtn->SetSelected(window);
  DispFullBtn->SetSelected(!window);
  DispFullBtn->SetEnabled(GameForm != nullptr && GameForm->IsFullScreenAvailable());
}

void TConfigMenu::PanelCreate(Classes::TComponent* sender) { screenform::LoadTextPicture(sender, FileMan); }

void TConfigMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TConfigMenu::ConfigPanelAnime(Classes::TComponent*) {
  if (created_) ShowDisplay();
}

void TConfigMenu::BtnLClick(Classes::TComponent* sender) {
  TValueRow* row = created_ ? RowOf(sender) : nullptr;
  const int value = row != nullptr ? row->get() : 0;
  if (row != nullptr && value > 0) SetRowValue(*row, (value - 1) / row->step * row->step);
}

void TConfigMenu::BtnRClick(Classes::TComponent* sender) {
  TValueRow* row = created_ ? RowOf(sender) : nullptr;
  const int value = row != nullptr ? row->get() : 0;
  if (row != nullptr && value < row->maximum) SetRowValue(*row, (value + row->step) / row->step * row->step);
}

void TConfigMenu::SliderMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState, int x, int) {
  TValueRow* row = created_ && button == mbLeft ? RowOf(sender) : nullptr;
  if (row != nullptr) SetRowValue(*row, std::clamp(x - kSliderGrip, 0, kSliderTravel) * row->maximum / kSliderTravel);
}

void TConfigMenu::SliderMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y) {
  if (shift.Contains(ssLeft)) SliderMouseDown(sender, mbLeft, shift, x, y);
}

bool TConfigMenu::DrawSlider(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                             int dy) {
  const TValueRow* row = RowOf(sender);
  if (row == nullptr) return false;
  screenform::DrawPanelBlock(row->slider, 0, dest, x, y, sx, sy, dx, dy, kFullRate);
  const int knob = std::clamp(row->get(), 0, row->maximum) * kSliderTravel / row->maximum;
  const int left = std::max(knob, sx), right = std::min(knob + cfgparts::kKnobWidth, sx + dx);
  if (left < right) screenform::DrawPanelBlock(row->slider, 1, dest, x + left - sx, y, left - knob, sy, right - left, dy, kFullRate);
  return true;
}

bool TConfigMenu::PercentSliderDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                                    int dy) {
  return DrawSlider(sender, dest, x, y, sx, sy, dx, dy);
}

bool TConfigMenu::TimeSliderDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                                 int dy) {
  return DrawSlider(sender, dest, x, y, sx, sy, dx, dy);
}

bool TConfigMenu::MesBoxSampleDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  const int rate = (100 - std::clamp(UserConfig.MesBoxTrans, 0, 100)) * kFullRate / 100;
  screenform::DrawPanelImageRate(MesBoxSample, dest, x, y, sx, sy, dx, dy, rate);
  return true;
}

void TConfigMenu::ChoiceClick(Classes::TComponent* sender) {
  if (!created_) return;
  for (const TChoiceGroup& group : groups_)
    for (const auto& [button, value] : group.buttons)
      if (button == sender) {
        screenform::PlaySystemSe(kSoundChoice);
        group.set(value);
        ShowGroup(group);
        return;
      }
}

void TConfigMenu::DispFullBtnClick(Classes::TComponent*) {
  if (created_ && WindowMode.load() != 0 && GameForm != nullptr && GameForm->IsFullScreenAvailable())
    GameForm->RequestWindowMode(false);
}

void TConfigMenu::DispWindowBtnClick(Classes::TComponent*) {
  if (created_ && WindowMode.load() == 0 && GameForm != nullptr) GameForm->RequestWindowMode(true);
}

void TConfigMenu::SysBtnNormalSetClick(Classes::TComponent*) {
  if (!created_) return;
  screenform::PlaySystemSe(kSoundDefaults);
  const TDisplayConfig defaults;
  if (GameForm != nullptr) {
    GameForm->SetVoiceVolume(defaults.VolumeVoice);
    GameForm->SetBgmVolume(defaults.VolumeBGM);
    GameForm->SetSeVolume(defaults.VolumeSE);
    GameForm->SetRearVolume(defaults.VolumeRear);
    GameForm->SetFpsMode(defaults.FPSMode);
  }
  RefreshAll();
}

void TConfigMenu::AdvBtnNormalSetClick(Classes::TComponent*) {
  if (!created_) return;
  screenform::PlaySystemSe(kSoundDefaults);
  ResetUserFields(&TUserConfig::UserTextSpeed, &TUserConfig::MesBoxTrans, &TUserConfig::AutoSkipWait,
                  &TUserConfig::SimpleDisplay, &TUserConfig::ShowPlaceName);
  MesBoxSample->SetModify();
  RefreshAll();
}

void TConfigMenu::MusicBtnNormalSetClick(Classes::TComponent*) {
  if (!created_) return;
  screenform::PlaySystemSe(kSoundDefaults);
  ResetUserFields(&TUserConfig::VolumeMainPlay, &TUserConfig::VolumeKeyboard, &TUserConfig::AvgAutoMode,
                  &TUserConfig::MusicAutoMode, &TUserConfig::MusicRankMode, &TUserConfig::MusicWordMode,
                  &TUserConfig::MusicAnime, &TUserConfig::MusicTimingMode);
  RefreshAll();
}

void TConfigMenu::BtnExitClick(Classes::TComponent*) {
  if (!created_) return;
  screenform::PlaySystemSe(kSoundDefaults);
  if (callback_.IsValid()) callback_.Invoke(kClosed);
}

#include "shell/soundmenu.h"

#include <mutex>

#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "platform/form.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TSoundMenu* SoundMenu = nullptr;

namespace {

constexpr int kListX = 47, kListY = 79, kRowStep = 28;
constexpr int kLeaveSound = 8;

class TGameBgmPlayer : public TBgmPlayer {
public:
  bool PlayBgm(int track, bool loop, bool fade) override {
    return GameForm != nullptr && GameForm->PlayBgm(track, loop, fade);
  }
  void StopBgm(bool fade) override {
    if (GameForm != nullptr) GameForm->StopBgm(fade);
  }
  bool IsBgmPlaying() override { return GameForm != nullptr && GameForm->IsBgmPlaying(); }
  int GetBgmTrack() override { return GameForm != nullptr ? GameForm->GetBgmTrack() : 0; }
  int GetBgmPosition() override { return GameForm != nullptr ? GameForm->GetBgmPosition() : 0; }
  void PlaySystemSe(int index) override { screenform::PlaySystemSe(index); }
};

void RegisterSoundMenu() {
  auto s = pc::RegisterScreen<TSoundMenu>("TSoundMenu");
  using U = TSoundMenu;
  using screenform::Bind;
  for (const auto& [name, handler] :
       {std::pair{"PanelCreate", &U::PanelCreate}, std::pair{"PanelRelease", &U::PanelRelease},
        std::pair{"SoundPanelAnime", &U::SoundPanelAnime}, std::pair{"BtnSelBgmClick", &U::BtnSelBgmClick},
        std::pair{"BtnIxBackClick", &U::BtnIxBackClick}, std::pair{"BtnIxPlayClick", &U::BtnIxPlayClick},
        std::pair{"BtnStopClick", &U::BtnStopClick}, std::pair{"BtnIxFwdClick", &U::BtnIxFwdClick},
        std::pair{"BtnRepeatClick", &U::BtnRepeatClick}, std::pair{"BtnLoopClick", &U::BtnLoopClick},
        std::pair{"BtnEndClick", &U::BtnEndClick}})
    Bind<TNotifyEvent>(s, name, "TNotifyEvent", handler);
  s.Field("SoundPanel", &U::SoundPanel)
      .Field("NamesPanel", &U::NamesPanel)
      .Field("LightPanel", &U::LightPanel)
      .Field("BtnSelBgm1", &U::BtnSelBgm1)
      .Field("BtnSelBgm2", &U::BtnSelBgm2)
      .Field("BtnSelBgm3", &U::BtnSelBgm3)
      .Field("BtnSelBgm4", &U::BtnSelBgm4)
      .Field("BtnSelBgm5", &U::BtnSelBgm5)
      .Field("BtnSelBgm6", &U::BtnSelBgm6)
      .Field("BtnSelBgm7", &U::BtnSelBgm7)
      .Field("BtnSelBgm8", &U::BtnSelBgm8)
      .Field("BtnSelBgm9", &U::BtnSelBgm9)
      .Field("BtnIxBack", &U::BtnIxBack)
      .Field("BtnIxPlay", &U::BtnIxPlay)
      .Field("BtnStop", &U::BtnStop)
      .Field("BtnIxFwd", &U::BtnIxFwd)
      .Field("BtnRepeat", &U::BtnRepeat)
      .Field("BtnLoop", &U::BtnLoop)
      .Field("BtnEnd", &U::BtnEnd)
      .Field("NumTrack10", &U::NumTrack10)
      .Field("NumTrack1", &U::NumTrack1)
      .Field("NumMin", &U::NumMin)
      .Field("NumSec", &U::NumSec);
}

}  // namespace

std::unique_ptr<TBgmPlayer> MakeGameBgmPlayer() { return std::make_unique<TGameBgmPlayer>(); }

TSoundMenu::TSoundMenu(Classes::TComponent* owner) : Classes::TComponent(owner), player_(MakeGameBgmPlayer()) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterSoundMenu);
  platform::form::LoadFormResource(*this, "SoundMenu");
}

TSoundMenu::~TSoundMenu() {
  Release();
  DestroyComponents();
}

void TSoundMenu::SetPlayer(std::unique_ptr<TBgmPlayer> player) {
  if (player) player_ = std::move(player);
}

std::array<TZoRGBBtn*, TSoundMenu::kTracks> TSoundMenu::SelectButtons() const {
  return {BtnSelBgm1, BtnSelBgm2, BtnSelBgm3, BtnSelBgm4, BtnSelBgm5, BtnSelBgm6, BtnSelBgm7, BtnSelBgm8, BtnSelBgm9};
}

std::vector<TZoRGBNum*> TSoundMenu::Numbers() const { return {NumTrack10, NumTrack1, NumMin, NumSec}; }

bool TSoundMenu::Init(VXFileMan* files) {
  Release();
  files_ = files;
  NamesPanel->SetOffsetX(kListX);
  NamesPanel->SetOffsetY(kListY);
  const auto buttons = SelectButtons();
  for (int i = 0; i < kTracks; ++i) {
    buttons[i]->SetOffsetX(kListX);
    buttons[i]->SetOffsetY(kListY + kRowStep * i);
  }
  opened_ = true;
  if (!digits_.Load(files_, "SoundTimeNum.png", Numbers()) || !SoundPanel->AllCreate()) {
    Release();
    return false;
  }
  Select(0);
  mode_ = kPlayThrough;
  player_->StopBgm(true);
  playing_ = false;
  ShowTime(0);
  return true;
}

void TSoundMenu::Release() {
  if (!opened_) return;
  SoundPanel->AllRelease();
  digits_.Release(Numbers());
  opened_ = false;
}

void TSoundMenu::PanelCreate(Classes::TComponent* sender) { screenform::LoadTextPicture(sender, files_); }

void TSoundMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TSoundMenu::Select(int index) {
  selected_ = index;
  const TZoRGBBtn* button = SelectButtons()[static_cast<std::size_t>(index)];
  LightPanel->SetOffsetX(button->GetOffsetX());
  LightPanel->SetOffsetY(button->GetOffsetY());
  ShowTrack();  // at once: the room slides in with the picture it has before its first animation step
}

void TSoundMenu::ShowTrack() {
  NumTrack10->SetVisible(true);
  NumTrack1->SetVisible(true);
  NumTrack10->SetNumber((selected_ + 1) / 10);
  NumTrack1->SetNumber((selected_ + 1) % 10);
}

bool TSoundMenu::PlayTrack(int index) {
  player_->StopBgm(false);
  playing_ = player_->PlayBgm(index + 1, false, false);
  return playing_;
}

void TSoundMenu::Stop() {
  player_->StopBgm(false);
  playing_ = false;
}

void TSoundMenu::ShowTime(int ms) {
  NumMin->SetNumber(ms / 60000);
  NumSec->SetNumber(ms / 1000 % 60);
}

void TSoundMenu::BtnSelBgmClick(Classes::TComponent* sender) {
  if (!opened_) return;
  const auto buttons = SelectButtons();
  for (int i = 0; i < kTracks; ++i)
    if (buttons[i] == sender) Select(i);
}

void TSoundMenu::BtnIxBackClick(Classes::TComponent*) {
  if (opened_) Select((selected_ + kTracks - 1) % kTracks);
}

void TSoundMenu::BtnIxFwdClick(Classes::TComponent*) {
  if (opened_) Select((selected_ + 1) % kTracks);
}

void TSoundMenu::BtnIxPlayClick(Classes::TComponent*) {
  if (opened_) PlayTrack(selected_);
}

void TSoundMenu::BtnStopClick(Classes::TComponent*) {
  if (opened_) Stop();
}

void TSoundMenu::BtnLoopClick(Classes::TComponent*) {
  if (opened_) mode_ = BtnLoop->GetSelected() ? kPlayThrough : kRepeatAll;
}

void TSoundMenu::BtnRepeatClick(Classes::TComponent*) {
  if (opened_) mode_ = BtnRepeat->GetSelected() ? kPlayThrough : kRepeatOne;
}

void TSoundMenu::BtnEndClick(Classes::TComponent*) {
  if (!opened_) return;
  Stop();
  player_->PlaySystemSe(kLeaveSound);
  screenform::NotifyMainThread(0);
}

void TSoundMenu::SoundPanelAnime(Classes::TComponent*) {
  if (!opened_) return;
  ShowTrack();
  BtnLoop->SetSelected(mode_ == kRepeatAll);
  BtnRepeat->SetSelected(mode_ == kRepeatOne);
  if (player_->IsBgmPlaying()) {
    ShowTime(player_->GetBgmPosition());
    if (player_->GetBgmTrack() != selected_ + 1) PlayTrack(selected_);
  } else if (playing_) {
    ShowTime(0);
    switch (mode_) {
      case kPlayThrough:
        if (selected_ < kTracks - 1) {
          Select(selected_ + 1);
          PlayTrack(selected_);
        } else {
          Stop();
        }
        break;
      case kRepeatAll:
        Select((selected_ + 1) % kTracks);
        PlayTrack(selected_);
        break;
      default:
        PlayTrack(selected_);
        break;
    }
  }
  BtnIxPlay->SetSelected(playing_);
  BtnStop->SetSelected(!playing_);
}

#include "shell/ptitlemenu.h"

#include <mutex>
#include <utility>

#include "graphics/zorgbbtn.h"
#include "platform/form.h"
#include "platform/input.h"
#include "shell/dialogu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/screenform.h"
#include "shell/systemdata.h"

namespace pc = platform::component;

TTitleMenu* TitleMenu = nullptr;

namespace {

constexpr int kClickSound = 4;
constexpr int kFocusSound = 5;
constexpr int kDialogSound = 1;
namespace vk = platform::input::vk;
// Where a key-selected button is pointed at: this far in from its top-right corner.
constexpr int kPointerInset = 8;

void RegisterTitleMenu() {
  auto s = pc::RegisterScreen<TTitleMenu>("TTitleMenu");
  using U = TTitleMenu;
  // The pictures load while Init creates the panels, before the screen counts as open.
  screenform::Bind<TNotifyEvent>(s, "PanelCreate", "TNotifyEvent", &U::PanelCreate);
  screenform::Bind<TNotifyEvent>(s, "PanelRelease", "TNotifyEvent", &U::PanelRelease);
  s.OpenHandler<TKeyEvent>("TitleMenuPanelKeyDown", "TKeyEvent", &U::TitleMenuPanelKeyDown);
  for (const auto& [name, handler] :
       {std::pair{"TitleMenuPanelAnime", &U::TitleMenuPanelAnime}, std::pair{"BtnMouseEnter", &U::BtnMouseEnter},
        std::pair{"BtnMouseLeave", &U::BtnMouseLeave}, std::pair{"BtnStartClick", &U::BtnStartClick},
        std::pair{"BtnLoadClick", &U::BtnLoadClick}, std::pair{"BtnFreePlayClick", &U::BtnFreePlayClick},
        std::pair{"BtnScoreClick", &U::BtnScoreClick}, std::pair{"BtnRankingClick", &U::BtnRankingClick},
        std::pair{"BtnAlbumClick", &U::BtnAlbumClick}, std::pair{"BtnSoundClick", &U::BtnSoundClick},
        std::pair{"BtnConfigClick", &U::BtnConfigClick}, std::pair{"BtnExitClick", &U::BtnExitClick},
        std::pair{"BtnExtraClick", &U::BtnExtraClick}})
    s.OpenHandler<TNotifyEvent>(name, "TNotifyEvent", handler);
  s.Field("TitleMenuPanel", &U::TitleMenuPanel)
      .Field("TitleMenu", &U::TitleMenu)
      .Field("BtnStart", &U::BtnStart)
      .Field("BtnLoad", &U::BtnLoad)
      .Field("BtnFreePlay", &U::BtnFreePlay)
      .Field("BtnScore", &U::BtnScore)
      .Field("BtnRanking", &U::BtnRanking)
      .Field("BtnAlbum", &U::BtnAlbum)
      .Field("BtnSound", &U::BtnSound)
      .Field("BtnConfig", &U::BtnConfig)
      .Field("BtnExit", &U::BtnExit)
      .Field("BtnExtra", &U::BtnExtra);
}

}  // namespace

TTitleMenu::TTitleMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterTitleMenu);
  platform::form::LoadFormResource(*this, "TitleMenu");
}

TTitleMenu::~TTitleMenu() {
  Release();
  DestroyComponents();
}

bool TTitleMenu::Init(VXFileMan* files) {
  Release();
  files_ = files;
  picturesOk_ = true;
  const bool created = TitleMenuPanel->AllCreate();
  buttons_ = {BtnStart, BtnLoad, BtnFreePlay, BtnScore, BtnRanking, BtnAlbum, BtnSound, BtnConfig, BtnExit, BtnExtra};
  for (int i = 0; i < kButtons; ++i) buttons_[i]->SetTag(i);
  opened_ = true;
  if (!created || !picturesOk_) {
    Release();
    return false;
  }
  return true;
}

void TTitleMenu::Release() {
  if (!opened_) return;
  if (OwnsDialog()) DlgUnit->Detach();
  TitleMenuPanel->AllRelease();
  opened_ = false;
}

bool TTitleMenu::OwnsDialog() const {
  if (DlgUnit == nullptr) return false;
  const TZoRGBPanel* parent = DlgUnit->GetParent();
  return (parent != nullptr && parent->SearchPanelToParent(TitleMenuPanel)) ||
         DlgUnit->GetCallback() == VXCallback1<TTitleMenu, bool, int>(const_cast<TTitleMenu*>(this),
                                                                      &TTitleMenu::DialogEvent);
}

bool TTitleMenu::Prepare() {
  hover_ = -1;
  const bool unlocked = SystemData.GetFlag(kUnlockFlag);
  for (TZoRGBBtn* button : {BtnAlbum, BtnSound, BtnExtra}) button->SetVisible(unlocked);
  return true;
}

void TTitleMenu::PauseIdle() {
  if (idle_ >= 0) idle_ = kIdlePaused;
}

void TTitleMenu::ResumeIdle() {
  if (idle_ == kIdlePaused) idle_ = 0;
}

TZoRGBBtn* TTitleMenu::GetButton(int index) const {
  return index >= 0 && index < kButtons ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

bool TTitleMenu::IsAvailable(int index) const {
  const TZoRGBBtn* button = GetButton(index);
  return button != nullptr && button->GetVisible() && button->GetEnabled();
}

void TTitleMenu::Choose(int choice) {
  screenform::PlaySystemSe(kClickSound);
  screenform::NotifyMainThread(choice);
}

void TTitleMenu::MovePointerTo(const TZoRGBBtn* button) {
  int x = button->GetSizeX() - kPointerInset, y = kPointerInset;
  button->ClientToScreen(x, y);
  if (GameForm != nullptr) GameForm->SetMousePos(x, y);
}

// ---- Handlers ---------------------------------------------------------------------------------------------------

void TTitleMenu::PanelCreate(Classes::TComponent* sender) {
  if (!screenform::LoadTextPicture(sender, files_)) picturesOk_ = false;
}

void TTitleMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TTitleMenu::TitleMenuPanelKeyDown(Classes::TComponent*, unsigned short& key, TShiftState) {
  if (key == vk::kUp || key == vk::kDown) {
    if (hover_ < 0) {
      hover_ = 0;
    } else {
      // Only shown buttons are stepped onto: at either end the selection stays where it was.
      const int step = key == vk::kUp ? -1 : 1;
      for (int i = hover_ + step; i >= 0 && i < kButtons; i += step)
        if (IsAvailable(i)) {
          hover_ = i;
          break;
        }
    }
    if (const TZoRGBBtn* button = GetButton(hover_)) MovePointerTo(button);
  } else if (key == vk::kReturn || key == vk::kSpace) {
    if (IsAvailable(hover_)) GetButton(hover_)->CallOnClick();
  }
}

void TTitleMenu::TitleMenuPanelAnime(Classes::TComponent*) {
  if (idle_ < 0) return;
  if (++idle_ < kIdleFrames) return;
  StopIdle();
  screenform::NotifyMainThread(kIdle);
}

void TTitleMenu::BtnMouseEnter(Classes::TComponent* sender) {
  screenform::PlaySystemSe(kFocusSound);
  hover_ = sender->GetTag();
}

void TTitleMenu::BtnMouseLeave(Classes::TComponent*) { hover_ = -1; }

void TTitleMenu::BtnStartClick(Classes::TComponent*) { Choose(kStart); }
void TTitleMenu::BtnLoadClick(Classes::TComponent*) { Choose(kLoad); }
void TTitleMenu::BtnFreePlayClick(Classes::TComponent*) { Choose(kFreePlay); }
void TTitleMenu::BtnScoreClick(Classes::TComponent*) { Choose(kScore); }
void TTitleMenu::BtnRankingClick(Classes::TComponent*) { Choose(kRanking); }
void TTitleMenu::BtnAlbumClick(Classes::TComponent*) { Choose(kAlbum); }
void TTitleMenu::BtnSoundClick(Classes::TComponent*) { Choose(kSound); }
void TTitleMenu::BtnConfigClick(Classes::TComponent*) { Choose(kConfig); }
void TTitleMenu::BtnExtraClick(Classes::TComponent*) { Choose(kExtra); }

void TTitleMenu::BtnExitClick(Classes::TComponent*) {
  // Without the dialog there is nobody to ask: the exit goes ahead as with the question switched off.
  if (UserConfig.ExitConfirm == 0 || DlgUnit == nullptr) {
    screenform::NotifyMainThread(kExit);
    return;
  }
  if (DlgUnit->IsFading() || DlgUnit->IsShown()) return;
  PauseIdle();
  screenform::PlaySystemSe(kDialogSound);
  DlgUnit->SetMode(TDlgUnit::kExitMode);
  DlgUnit->SetCallback(VXCallback1<TTitleMenu, bool, int>(this, &TTitleMenu::DialogEvent));
  DlgUnit->SetParent(TitleMenu);
  DlgUnit->ShowDialog(true);
}

bool TTitleMenu::DialogEvent(int event) {
  if (event == TDlgUnit::kNo) {
    ResumeIdle();
    screenform::PlaySystemSe(kDialogSound);
    DlgUnit->HideDialog(true);
    DlgUnit->ClearParent();
    DlgUnit->SetCallback({});
  } else if (event == TDlgUnit::kYes) {
    screenform::NotifyMainThread(kExit);
  }
  return true;
}

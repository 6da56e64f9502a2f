#include "scenario/exselu.h"

#include <mutex>
#include <string>

#include "device/deviceclasses.h"
#include "device/gameservices.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/form.h"
#include "platform/input.h"
#include "scenario/subwinu.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"

namespace {

namespace pc = platform::component;

constexpr int kFullRate = 128;
constexpr int kShownGrey = 64;
constexpr int kDialogLeft = 216;
constexpr int kDialogTop = 186;
constexpr int kSeOk = 4;
constexpr int kSeFocus = 5;

namespace vk = platform::input::vk;

void PlayGameSystemSe(int index) {
  if (GameForm != nullptr) GameForm->PlaySystemSe(index);
}

void RegisterExSelUnit() {
  auto s = pc::RegisterScreen<TExSelUnit>("TExSelUnit");
  using U = TExSelUnit;
  s.OpenHandler<TNotifyEvent>("PanelCreate", "TNotifyEvent", &U::PanelCreate);
  s.OpenHandler<TNotifyEvent>("PanelRelease", "TNotifyEvent", &U::PanelRelease);
  s.OpenHandler<TNotifyEvent>("DlgClearClick", "TNotifyEvent", &U::DlgClearClick);
  s.OpenHandler<TNotifyEvent>("DlgOkClick", "TNotifyEvent", &U::DlgOkClick);
  s.OpenHandler<TNotifyEvent>("BtnMouseEnter", "TNotifyEvent", &U::BtnMouseEnter);
  s.OpenHandler<TZoDrawEvent>("ExSelPanelDraw", "TZoDrawEvent", &U::ExSelPanelDraw);
  s.OpenHandler<TZoDrawEvent>("DlgDraw", "TZoDrawEvent", &U::DlgDraw);
  s.OpenHandler<TMouseEvent>("ExSelWinMouseDown", "TMouseEvent", &U::ExSelWinMouseDown);
  s.OpenHandler<TMouseEvent>("BtnMouseDown", "TMouseEvent", &U::BtnMouseDown);
  s.Field("ExSelWin", &U::ExSelWin)
      .Field("DlgFrame", &U::DlgFrame)
      .Field("DlgClear", &U::DlgClear)
      .Field("DlgOk", &U::DlgOk)
      .Field("DlgPass", &U::DlgPass);
}

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDeviceClasses();
    RegisterExSelUnit();
  });
}

}  // namespace

TExSelUnit::TExSelUnit(Classes::TComponent* owner) : Classes::TComponent(owner), playSe_(PlayGameSystemSe) {
  RegisterClasses();
  platform::form::LoadFormResource(*this, "ExSelUnit");
  DlgFrame->SetOffsetX(kDialogLeft);
  DlgFrame->SetOffsetY(kDialogTop);
  ExSelWin->SetVisible(false);
}

TExSelUnit::~TExSelUnit() {
  Close(true);
  DestroyComponents();
}

void TExSelUnit::Attach(TZoRGBPanel* parent) {
  ExSelWin->SetVisible(false);
  ExSelWin->SetParent(parent);
}

void TExSelUnit::Detach() { ExSelWin->SetParent(nullptr); }

bool TExSelUnit::Open(bool immediate) {
  if (open_) Close(true);
  if (files_ == nullptr) files_ = FileMan;
  open_ = true;
  const TGameServices* services = GameServices();
  DlgPass->MakeBuffer(services == nullptr || services->GetWorkingBitDepth() == bd32 ? pf32_888 : pf24_888);
  ExSelWin->AllCreate();
  for (TZoRGBPanel* panel : {DlgFrame, static_cast<TZoRGBPanel*>(DlgClear), static_cast<TZoRGBPanel*>(DlgOk)})
    if (panel->GetImage() == nullptr) {
      Close(true);
      return false;
    }
  result_ = -1;
  count_ = 0;
  ShowTyped();
  ExSelWin->SetVisible(true);
  DlgPass->SetVisible(immediate);
  state_ = immediate ? esIdle : esFadeIn;
  fade_ = immediate ? 0 : kFadeFrames;
  ExSelWin->SetModify();
  return true;
}

void TExSelUnit::Close(bool immediate) {
  if (!open_) return;
  if (!immediate) {
    DlgPass->SetVisible(false);
    fade_ = kFadeFrames;
    state_ = esFadeOut;
    ExSelWin->SetModify();
    return;
  }
  ExSelWin->SetVisible(false);
  ExSelWin->AllRelease();
  DlgPass->ReleaseBuffer();
  state_ = esIdle;
  fade_ = 0;
  open_ = false;
}

void TExSelUnit::SetArgument(int argument) {
  if (argument >= 0) argument_ = argument;
}

VXString TExSelUnit::GetTyped() const { return VXString(typed_.data(), static_cast<unsigned int>(count_)); }

void TExSelUnit::Update(int elapsed, bool skipping) {
  if (!open_ || elapsed <= 0) return;
  if (state_ == esClosing) {
    Report(kClose);
    return;
  }
  if (state_ != esFadeIn && state_ != esFadeOut) return;
  if (skipping) fade_ = 1;
  --fade_;
  ExSelWin->SetModify();
  if (fade_ > 0) return;
  if (state_ == esFadeIn) {
    DlgPass->SetVisible(true);
    state_ = esIdle;
  } else {
    Close(true);
  }
}

void TExSelUnit::KeyDown(unsigned short key) {
  if (!open_ || state_ != esIdle) return;
  if (key >= vk::kA && key <= vk::kZ) AddChar(static_cast<char>('a' + (key - vk::kA)));
  else if (key >= vk::k0 && key <= vk::k9) AddChar(static_cast<char>('0' + (key - vk::k0)));
  else if (key >= vk::kNumpad0 && key <= vk::kNumpad9) AddChar(static_cast<char>('0' + (key - vk::kNumpad0)));
  else if (key == vk::kBack || key == vk::kDelete) {
    if (count_ > 0) {
      typed_[static_cast<std::size_t>(--count_)] = 0;
      ShowTyped();
    }
  } else if (key == vk::kReturn) {
    DlgOkClick(DlgOk);
  }
}

void TExSelUnit::RequestClose() {
  if (open_ && state_ == esIdle) state_ = esClosing;
}

void TExSelUnit::AddChar(char c) {
  if (count_ >= kCodeLength) return;
  typed_[static_cast<std::size_t>(count_++)] = c;
  ShowTyped();
}

void TExSelUnit::ShowTyped() {
  DlgPass->SetText(std::string(typed_.data(), static_cast<std::size_t>(count_)));
  DlgPass->SetModify();
}

int TExSelUnit::Grey() const {
  switch (state_) {
    case esFadeIn:
      return kFullRate - (kFadeFrames - fade_) * (kFullRate - kShownGrey) / kFadeFrames;
    case esFadeOut:
      return kFullRate - fade_ * (kFullRate - kShownGrey) / kFadeFrames;
  }
  return kShownGrey;
}

int TExSelUnit::Opacity() const {
  switch (state_) {
    case esFadeIn:
      return (kFadeFrames - fade_) * kFullRate / kFadeFrames;
    case esFadeOut:
      return fade_ * kFullRate / kFadeFrames;
  }
  return kFullRate;
}

void TExSelUnit::Report(int code) const {
  if (callback_.IsValid()) callback_.Invoke(code);
}

void TExSelUnit::PlaySystemSe(int index) const {
  if (playSe_) playSe_(index);
}

// ---- Handlers ---------------------------------------------------------------------------------------------------

void TExSelUnit::PanelCreate(Classes::TComponent* sender) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel != nullptr && !panel->GetText().empty()) LoadPanelImage(panel, files_, panel->GetText());
}

void TExSelUnit::PanelRelease(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) ReleasePanelImage(panel);
}

void TExSelUnit::ExSelWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  if (button == mbLeft) Report(kAdvance);
  else if (button == mbRight) Report(kRightClick);
}

bool TExSelUnit::ExSelPanelDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx, int dy) {
  return DarkenArea(dest, x, y, dx, dy, Grey());
}

bool TExSelUnit::DlgDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender))
    screenform::DrawPanelImageRate(panel, dest, x, y, sx, sy, dx, dy, Opacity());
  return true;
}

void TExSelUnit::DlgClearClick(Classes::TComponent*) {
  typed_.fill(0);
  count_ = 0;
  ShowTyped();
}

void TExSelUnit::DlgOkClick(Classes::TComponent*) {
  if (state_ != esIdle) return;
  PlaySystemSe(kSeOk);
  result_ = GetTyped() == VXString(kAccessCode) ? 1 : 0;
  Report(kDecided);
  // The host may have closed the window, or the adventure, on the decision: touch nothing of a closed unit.
  if (open_) Report(kClose);
}

void TExSelUnit::BtnMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  if (button == mbRight) Report(kRightClick);
  else if (button == mbLeft && state_ == esClosing) Report(kAdvance);
}

void TExSelUnit::BtnMouseEnter(Classes::TComponent* sender) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel != nullptr && panel->GetVisible() && state_ == esIdle) PlaySystemSe(kSeFocus);
}

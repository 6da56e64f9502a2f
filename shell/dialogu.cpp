#include "shell/dialogu.h"

#include <mutex>

#include "graphics/zorgbbtn.h"
#include "platform/form.h"
#include "platform/input.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/maint.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TDlgUnit* DlgUnit = nullptr;

namespace {

constexpr int kFullRate = 128;
constexpr int kRateSteps = 5;
namespace vk = platform::input::vk;
constexpr const char* kExitFrame = "DlgF_Exit.png";
// The loop states in which a fade may take the game thread's frame callback: panel screens and the adventure.
constexpr std::uint8_t kPanelState = 3, kAdventureState = 5;

void RegisterDlgUnit() {
  auto s = pc::RegisterScreen<TDlgUnit>("TDlgUnit");
  using U = TDlgUnit;
  s.OpenHandler<TMouseEvent>("DlgWinMouseDown", "TMouseEvent", &U::DlgWinMouseDown);
  s.OpenHandler<TKeyEvent>("DlgWinKeyDown", "TKeyEvent", &U::DlgWinKeyDown);
  s.OpenHandler<TZoDrawEvent>("DlgFrameDraw", "TZoDrawEvent", &U::DlgFrameDraw);
  s.OpenHandler<TNotifyEvent>("DlgYesClick", "TNotifyEvent", &U::DlgYesClick);
  s.OpenHandler<TNotifyEvent>("DlgNoClick", "TNotifyEvent", &U::DlgNoClick);
  s.Field("DlgWin", &U::DlgWin).Field("DlgFrame", &U::DlgFrame).Field("DlgYes", &U::DlgYes).Field("DlgNo", &U::DlgNo);
}

}  // namespace

TDlgUnit::TDlgUnit(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterDlgUnit);
  platform::form::LoadFormResource(*this, "DlgUnit");
  DlgWin->SetSizeX(TGameForm::kWidth);
  DlgWin->SetSizeY(TGameForm::kHeight);
  DlgFrame->SetOffsetX((TGameForm::kWidth - DlgFrame->GetSizeX()) / 2);
  DlgFrame->SetOffsetY((TGameForm::kHeight - DlgFrame->GetSizeY()) / 2);
}

TDlgUnit::~TDlgUnit() {
  if (state_ != dsNone) Release();
  ReleaseCapture();
  ClearParent();
  DestroyComponents();
}

bool TDlgUnit::Init(VXFileMan* files) {
  files_ = files;
  state_ = dsSteady;
  DlgWin->SetVisible(false);
  if (!DlgWin->AllCreate()) {
    Release();
    return false;
  }
  return true;
}

void TDlgUnit::Release() {
  ReleaseCapture();
  ReleasePictures();
  DlgWin->SetVisible(false);
  DlgWin->AllRelease();
  state_ = dsNone;
  frames_ = 0;
}

void TDlgUnit::SetParent(TZoRGBPanel* parent) {
  if (parent_ != nullptr && parent_ != parent) RemoveFreeNotification(parent_);
  parent_ = parent;
  if (parent != nullptr) FreeNotification(parent);
  DlgWin->SetParent(parent);
  // A parent's release takes its whole subtree down with it; a new parent gets the window ready again.
  if (state_ != dsNone && !DlgWin->GetCreated()) DlgWin->AllCreate();
}

void TDlgUnit::ClearParent() {
  if (parent_ != nullptr) RemoveFreeNotification(parent_);
  parent_ = nullptr;
  DlgWin->SetParent(nullptr);
}

void TDlgUnit::Detach() {
  callback_.Clear();
  if (state_ != dsNone) HideNow();
  ClearParent();
}

void TDlgUnit::Notification(Classes::TComponent* component, Classes::TOperation operation) {
  if (operation == Classes::opRemove && component != nullptr && component == parent_) {
    // The panel's destructor has already let go of the window; what is left is the screen's callback.
    parent_ = nullptr;
    callback_.Clear();
    if (state_ != dsNone) HideNow();
  }
  Classes::TComponent::Notification(component, operation);
}

bool TDlgUnit::IsShown() const { return DlgWin->GetVisible() && state_ != dsFadeOut; }

bool TDlgUnit::ShowDialog(bool immediate) {
  // A fade that cannot run shows nothing.
  if (immediate) ReleaseCapture();
  else if (mode_ == kExitMode) CaptureOrThrow();
  ReleasePictures();
  LoadPictures();
  DlgWin->SetVisible(true);
  if (immediate) {
    state_ = dsSteady;
    frames_ = 0;
    DlgWin->SetModify();
    return IsFading();
  }
  frames_ = kFadeFrames;
  state_ = dsFadeIn;
  DlgWin->SetModify();
  return IsFading();
}

bool TDlgUnit::HideDialog(bool immediate) {
  if (immediate) {
    HideNow();
    Report(kClosed);
    return IsFading();
  }
  if (mode_ == kExitMode) CaptureOrThrow();
  frames_ = kFadeFrames;
  state_ = dsFadeOut;
  DlgWin->SetModify();
  return IsFading();
}

bool TDlgUnit::Step() {
  if (state_ != dsFadeIn && state_ != dsFadeOut) return IsFading();
  if (frames_ > 0) {
    --frames_;
    DlgWin->SetModify();
  }
  if (frames_ > 0) return IsFading();
  ReleaseCapture();
  if (state_ == dsFadeIn) {
    state_ = dsSteady;
  } else {
    HideNow();
    Report(kClosed);
  }
  return IsFading();
}

void TDlgUnit::HideNow() {
  ReleaseCapture();
  ReleasePictures();
  DlgWin->SetVisible(false);
  state_ = dsSteady;
  frames_ = 0;
}

int TDlgUnit::Rate() const {
  switch (state_) {
    case dsFadeIn:
      return (kRateSteps - frames_) * kFullRate / kRateSteps;
    case dsFadeOut:
      return frames_ * kFullRate / kRateSteps;
    case dsSteady:
      return kFullRate;
  }
  return 0;
}

void TDlgUnit::LoadPictures() {
  if (mode_ == kExitMode) LoadPanelImage(DlgFrame, files_, kExitFrame);
  PanelCreate(DlgYes);
  PanelCreate(DlgNo);
}

void TDlgUnit::ReleasePictures() {
  for (TZoRGBPanel* panel : {DlgFrame, static_cast<TZoRGBPanel*>(DlgYes), static_cast<TZoRGBPanel*>(DlgNo)})
    PanelRelease(panel);
}

bool TDlgUnit::Capture() {
  if (captured_ || MainThread == nullptr) return false;
  const std::uint8_t state = MainThread->GetForm().GetState();
  if (state != kPanelState && state != kAdventureState) return false;
  savedFrame_ = MainThread->GetFrameProc();
  MainThread->SetFrameProc(VXCallback1<TDlgUnit, void, int>(this, &TDlgUnit::StepHook));
  MainThread->GetForm().ResetFrameClock();
  captured_ = true;
  return true;
}

void TDlgUnit::ReleaseCapture() {
  if (!captured_) return;
  captured_ = false;
  if (MainThread == nullptr) return;
  MainThread->SetFrameProc(savedFrame_);
  savedFrame_.Clear();
  MainThread->GetForm().ResetFrameClock();
}

void TDlgUnit::CaptureOrThrow() {
  if (!Capture()) throw EGameErr();
}

void TDlgUnit::StepHook(int) { Step(); }

void TDlgUnit::Report(int event) {
  if (callback_.IsValid()) callback_.Invoke(event);
}

// ---- Handlers ---------------------------------------------------------------------------------------------------

void TDlgUnit::PanelCreate(Classes::TComponent* sender) { screenform::LoadTextPicture(sender, files_); }

void TDlgUnit::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TDlgUnit::DlgWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  static constexpr int kEvents[] = {kMouseLeft, kMouseRight, kMouseMiddle};
  if (button <= mbMiddle) Report(kEvents[button]);
}

void TDlgUnit::DlgWinKeyDown(Classes::TComponent*, unsigned short& key, TShiftState) {
  if (key != vk::kEscape || state_ != dsSteady) return;
  answer_ = 0;
  Report(kNo);
}

bool TDlgUnit::DlgFrameDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                            int dy) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender))
    screenform::DrawPanelImageRate(panel, dest, x, y, sx, sy, dx, dy, Rate());
  return true;
}

void TDlgUnit::DlgYesClick(Classes::TComponent*) {
  if (state_ != dsSteady) return;
  answer_ = 1;
  Report(kYes);
}

void TDlgUnit::DlgNoClick(Classes::TComponent*) {
  if (state_ != dsSteady) return;
  answer_ = 0;
  Report(kNo);
}

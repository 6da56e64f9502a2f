#include "device/movieu.h"

#include "core/vxcallback.h"
#include "core/vxsys.h"
#include "device/deviceclasses.h"
#include "device/gameservices.h"
#include "device/zoddraw.h"
#include "platform/form.h"

TMovieUnit::TMovieUnit(Classes::TComponent* owner)
    : Classes::TComponent(owner), programFolder_(VXExtractFilePathA(VXGetExePathA())) {
  RegisterDeviceClasses();
  platform::form::LoadFormResource(*this, "MovieUnit");
}

TMovieUnit::~TMovieUnit() {
  if (playing_) Stop();
  if (open_) Close();
  // The player lets go of the panel before the owned panel is destroyed.
  player_.Close();
  DestroyComponents();
}

bool TMovieUnit::Open(VXFileMan* parts, bool embedded, int resultCode) {
  parts_ = parts, embedded_ = embedded, resultCode_ = resultCode;
  MoviePanel->AllCreate();
  TGameServices* services = GameServices();
  if (!embedded_ && services != nullptr)
    services->SetOnDrawSurface(VXCallback1<TMovieUnit, void, TZoRGBBits*>(this, &TMovieUnit::DrawSurface));
  open_ = true;
  return true;
}

void TMovieUnit::Close() {
  if (playing_) Stop();
  if (!open_) return;
  MoviePanel->AllRelease();
  if (TGameServices* services = GameServices(); !embedded_ && services != nullptr)
    services->SetOnDrawSurface(TDrawSurfaceHook());
  open_ = false;
}

bool TMovieUnit::Play(VXString name) {
  if (player_.IsOpen()) player_.Close();
  const VXString file = programFolder_ + "Movie\\" + name;
  if (embedded_) {
    player_.Open(MoviePanel, true, file);
  } else {
    player_.Open(true, file);
    // Clicks anywhere on the picture reach the panel.
    MoviePanel->SetSizeX(640);
    MoviePanel->SetSizeY(480);
  }
  if (player_.IsOpen()) {
    playing_ = true;
    started_ = ready_ = finished_ = false;
    startDelay_ = kStartDelay;
  }
  return true;
}

void TMovieUnit::Start() {
  player_.Start();
  started_ = true;
}

void TMovieUnit::Stop() {
  if (!playing_) return;
  if (TGameServices* services = GameServices()) services->PlayMuteSound();
  player_.Close();
  playing_ = started_ = ready_ = finished_ = false;
}

void TMovieUnit::Update(int elapsedFrames) {
  if (!IsPlaying() || !started_) return;
  if (startDelay_ > 0) {
    startDelay_ -= elapsedFrames;
    if (startDelay_ <= 0) ready_ = true;
  }
  if (!ready_) return;
  TGameServices* services = GameServices();
  if (services == nullptr) return;
  services->GetGameLock().Enter();
  services->GetDisplayLock().Enter();
  if (player_.CheckFrame()) {
    if (embedded_)
      player_.DrawToPanel();
    else
      services->DrawSurfaceFrame();
    player_.RequestFrame();
  }
  if (player_.IsEnded()) Finish();
  services->GetDisplayLock().Leave();
  services->GetGameLock().Leave();
}

void TMovieUnit::Finish() {
  player_.Stop();
  if (TGameServices* services = GameServices(); resultCode_ >= 0 && services != nullptr)
    services->NotifyMainThread(resultCode_);
  started_ = ready_ = false;
  finished_ = true;
}

void TMovieUnit::MoviePanelMouseDown(Classes::TComponent*, TMouseButton, TShiftState, int, int) {
  if (canSkip_ && ready_) Finish();
}

void TMovieUnit::PanelCreate(Classes::TComponent* sender) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  TGameServices* services = GameServices();
  if (panel != nullptr && services != nullptr)
    services->LoadPanelImage(panel, parts_, panel->GetText());
}

void TMovieUnit::PanelRelease(Classes::TComponent* sender) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  TGameServices* services = GameServices();
  if (panel != nullptr && services != nullptr) services->ReleasePanelImage(panel);
}

void TMovieUnit::DrawSurface(TZoRGBBits* surface) {
  // The last picture stays on screen after the end until the owner stops the movie.
  if (playing_ && player_.IsOpen()) player_.DrawTo(surface);
}

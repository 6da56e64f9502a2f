#include "device/gameservices.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>

#include "core/vxfileman.h"
#include "device/zoddraw.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"

namespace {
std::atomic<TGameServices*> installed{nullptr};

// Picture kinds by file extension, upper-cased. Only a PNG with an alpha channel fills the alpha plane (the reader
// would give other pictures a plane of 255, which would blend a picture that has nothing to blend).
bool DrawPicture(TZoRGBBits* image, TZoAlpha* alpha, VXStream* stream, const std::string& ext) {
  if (ext == ".PNG") {
    const bool hasAlpha = ChkChannelPng(stream) == 4;
    if (stream->Seek(0, VXSeekBegin) != 0) return false;
    return image->DrawPngStream(stream, 0, 0, hasAlpha ? alpha : nullptr);
  }
  if (ext == ".BMP") return image->DrawBmpStream(stream, 0, 0);
  if (ext == ".JPG" || ext == ".JPEG") return image->DrawJpegStream(stream, 0, 0);
  return false;
}

std::string UpperExtension(const VXString& name) {
  std::string s = name.c_str();
  const auto dot = s.find_last_of('.');
  std::string ext = dot == std::string::npos ? "" : s.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
  return ext;
}
}  // namespace

TGameServices* GameServices() { return installed.load(); }
void SetGameServices(TGameServices* services) { installed.store(services); }

TLocalGameServices::TLocalGameServices(DirectX::TDDraw* display, DirectX::TDSound* sound, VXBitDepth workingDepth)
    : display_(display), sound_(sound), depth_(workingDepth == bd24 ? bd24 : bd32) {}

TLocalGameServices::~TLocalGameServices() {
  if (GameServices() == this) SetGameServices(nullptr);
}

void TLocalGameServices::DrawSurfaceFrame() {
  gameLock_.Enter();
  displayLock_.Enter();
  ++surfaceFrames_;
  if (display_ != nullptr && display_->GetEnabled()) {
    if (hook_.IsValid()) hook_.Invoke(display_->GetBackSurface());
    display_->Flip();
  }
  displayLock_.Leave();
  gameLock_.Leave();
}

void TLocalGameServices::AddScreenChangeCallback(TScreenChangeCallback callback) {
  if (callback.IsValid()) screenCallbacks_.push_back(callback);
}

void TLocalGameServices::RemoveScreenChangeCallback(TScreenChangeCallback callback) {
  const auto it = std::find(screenCallbacks_.begin(), screenCallbacks_.end(), callback);
  if (it != screenCallbacks_.end()) screenCallbacks_.erase(it);
}

void TLocalGameServices::SwitchScreen() {
  if (display_ == nullptr) return;
  gameLock_.Enter();
  displayLock_.Enter();
  // A callback may remove itself: walk a copy.
  for (const auto callbacks = screenCallbacks_; const auto& cb : callbacks) cb.Invoke(display_, 1);
  display_->SetEnabled(false);
  display_->SetFullScreen(!display_->GetFullScreen());
  display_->SetEnabled(true);
  for (const auto callbacks = screenCallbacks_; const auto& cb : callbacks) cb.Invoke(display_, 0);
  displayLock_.Leave();
  gameLock_.Leave();
}

bool TLocalGameServices::LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString fileName) {
  if (panel == nullptr || files == nullptr) return false;
  VXStream* stream = files->Open(fileName);
  if (stream == nullptr) return false;
  TZoRGBBits* image = memMan_.CreateVCL<TZoRGBBits>(nullptr);
  TZoAlpha* alpha = memMan_.CreateVCL<TZoAlpha>(nullptr);
  bool ok = image != nullptr && alpha != nullptr;
  if (ok) {
    image->SetBitDepth(depth_);
    image->SetPixFormat(depth_ == bd24 ? pf24_888 : pf32_888);
    ok = DrawPicture(image, alpha, stream, UpperExtension(fileName));
  }
  files->Close(stream);
  if (!ok) {
    memMan_.Delete(image);
    memMan_.Delete(alpha);
    return false;
  }
  ReleasePanelImage(panel);
  if (!alpha->IsCreated()) memMan_.Delete(alpha);
  panel->SetImage(image);
  panel->SetAlpha(alpha);
  panel->SetMaskMode(alpha != nullptr ? mmAlpha : mmOpaque);
  return true;
}

void TLocalGameServices::ReleasePanelImage(TZoRGBPanel* panel) {
  if (panel == nullptr) return;
  TZoRGBBits* image = panel->GetImage();
  TZoAlpha* alpha = panel->GetAlpha();
  panel->SetImage(nullptr);
  panel->SetAlpha(nullptr);
  memMan_.Delete(image);
  memMan_.Delete(alpha);
}

#include "device/dshow.h"

#include <string_view>

#include "core/vxcallback.h"
#include "device/gameservices.h"
#include "device/zoddraw.h"
#include "device/zodsound.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "platform/fs.h"

using platform::movie::PixelLayout;

namespace {

struct LayoutFormat {
  PixelLayout layout;
  VXPixFormat format;
};
constexpr LayoutFormat kLayouts[] = {
    {PixelLayout::Bgrx32, pf32_888}, {PixelLayout::Bgr24, pf24_888}, {PixelLayout::Rgb565, pf16_565}};

VXPixFormat FormatOf(PixelLayout layout) {
  for (const auto& e : kLayouts)
    if (e.layout == layout) return e.format;
  return pfNone;
}

// A format without a layout of its own is decoded in 32 bits and converted when drawn.
PixelLayout LayoutOf(VXPixFormat format) {
  for (const auto& e : kLayouts)
    if (e.format == format) return e.layout;
  return PixelLayout::Bgrx32;
}

TScreenChangeCallback ScreenChangeOf(TDShowPlayer* player) {
  return VXCallback2<TDShowPlayer, void, DirectX::TDDraw*, int>(player, &TDShowPlayer::OnDisplayChange);
}

VXPixFormat WorkingFormat(VXBitDepth depth) { return depth == bd32 ? pf32_888 : pf24_888; }

// A movie shown in a panel is decoded at the working depth; one drawn by the caller in the back surface's format.
VXBitDepth DecodeDepth(const TZoRGBPanel* panel, TGameServices* services) {
  return panel == nullptr || services == nullptr ? bdNone : services->GetWorkingBitDepth();
}

}  // namespace

void TDShowPlayer::SurfaceWatch::Notification(Classes::TComponent* component, Classes::TOperation operation) {
  // The display deleted the surface (it was disabled): only the memory manager's record is left to strike.
  if (operation == Classes::opRemove && component != nullptr && component == player_.surface_) {
    if (TGameServices* services = GameServices())
      services->GetMemMan().DelPointerList({VXMemPointer::KindForeign, player_.surface_, 0, 0});
    player_.surface_ = nullptr;
  }
  Classes::TComponent::Notification(component, operation);
}

TDShowPlayer::TDShowPlayer() = default;

TDShowPlayer::~TDShowPlayer() {
  if (IsOpen() || suspended_) Close();
}

bool TDShowPlayer::OpenStream(VXBitDepth depth, const VXString& file) {
  TGameServices* services = GameServices();
  if (services == nullptr || services->GetDisplay() == nullptr) return false;
  if (depth != bdNone && depth != bd24 && depth != bd32) return false;
  PixelLayout layout = depth == bd32 ? PixelLayout::Bgrx32 : PixelLayout::Bgr24;
  if (depth == bdNone) {
    const DirectX::TDSurface* back = services->GetDisplay()->GetBackSurface();
    layout = back != nullptr ? LayoutOf(back->GetPixFormat()) : PixelLayout::Bgrx32;
  }
  platform::movie::Options options;
  options.layout = layout;
  options.clock = clock_;
  if (DirectX::TDSound* sound = services->GetSound(); sound != nullptr && sound->GetEnabled())
    options.mixer = sound->GetMixer();
  const std::string path = platform::fs::ToHostPath(std::string_view(file.c_str(), static_cast<std::size_t>(file.Length())));
  movie_ = platform::movie::Movie::Open(path, options);
  if (movie_ == nullptr) return false;
  width_ = movie_->Width(), height_ = movie_->Height();
  // A movie without a picture area has nothing to show.
  return width_ > 0 && height_ > 0;
}

void TDShowPlayer::CloseStream() {
  movie_.reset();
  completed_ = false;
}

bool TDShowPlayer::MakePictureSurface() {
  TGameServices* services = GameServices();
  const VXBitDepth depth = services->GetWorkingBitDepth() == bd32 ? bd32 : bd24;
  surface_ = services->GetDisplay()->CreateSurface(depth, WorkingFormat(depth), width_, height_, false);
  if (surface_ == nullptr) return false;
  services->GetMemMan().AddPtr(surface_);
  watch_.FreeNotification(surface_);
  panel_->SetImage(surface_);
  panel_->SetMaskMode(mmOpaque);
  return true;
}

void TDShowPlayer::DeletePictureSurface() {
  if (surface_ == nullptr) return;
  watch_.RemoveFreeNotification(surface_);
  if (panel_ != nullptr && panel_->GetImage() == surface_) panel_->SetImage(nullptr);
  if (TGameServices* services = GameServices()) services->GetMemMan().Delete(surface_);
  surface_ = nullptr;
}

bool TDShowPlayer::Open(TZoRGBPanel* panel, bool paused, VXString file) {
  if (IsOpen() || suspended_) Close();
  TGameServices* services = GameServices();
  if (!OpenStream(DecodeDepth(panel, services), file)) {
    CloseStream();
    return false;
  }
  fileName_ = file;
  panel_ = panel;
  if (panel_ != nullptr) {
    panel_->SetSizeX(width_);
    panel_->SetSizeY(height_);
    if (!MakePictureSurface()) {
      panel_ = nullptr;
      CloseStream();
      return false;
    }
  }
  services->AddScreenChangeCallback(ScreenChangeOf(this));
  playing_ = ended_ = suspended_ = false;
  if (!paused) Run(0);
  return true;
}

bool TDShowPlayer::Open(bool paused, VXString file) { return Open(nullptr, paused, file); }

void TDShowPlayer::Close() {
  if (TGameServices* services = GameServices()) services->RemoveScreenChangeCallback(ScreenChangeOf(this));
  if (panel_ != nullptr) {
    if (panel_->GetImage() == surface_) panel_->SetImage(nullptr);
    panel_->SetMaskMode(mmOpaque);
  }
  DeletePictureSurface();
  panel_ = nullptr;
  CloseStream();
  suspended_ = false;
}

void TDShowPlayer::Start() {
  if (IsOpen()) Run(0);
}

void TDShowPlayer::Stop() {
  if (!IsOpen()) return;
  movie_->Stop();
  playing_ = false;
}

void TDShowPlayer::End() {
  ended_ = true;
  Stop();
}

void TDShowPlayer::Run(std::int64_t position) {
  if (!IsOpen()) return;
  playing_ = true;
  ended_ = false;
  completed_ = false;
  // The picture at the position is there when the movie runs, unless the movie ended before it.
  if (!movie_->Run(position * 100) || movie_->FramesTaken() == 0) return End();
  completed_ = true;
  if (panel_ != nullptr) DrawToPanel();
}

bool TDShowPlayer::TakeFrame() {
  switch (movie_->TakeFrame()) {
    case platform::movie::Poll::Frame: completed_ = true; return true;
    case platform::movie::Poll::End: End(); return false;
    case platform::movie::Poll::Pending: return false;
  }
  return false;
}

bool TDShowPlayer::RequestFrame() {
  if (!IsOpen() || ended_) return false;
  completed_ = false;
  return TakeFrame();
}

bool TDShowPlayer::CheckFrame() {
  if (!IsOpen() || ended_) return false;
  return completed_ || TakeFrame();
}

const platform::movie::Frame* TDShowPlayer::GetFrame() const {
  return IsOpen() && movie_->FramesTaken() > 0 ? &movie_->Current() : nullptr;
}

bool TDShowPlayer::DrawTo(TZoRGBBits* target) {
  if (!IsOpen()) return false;
  const platform::movie::Frame* f = GetFrame();
  if (target == nullptr || f == nullptr || f->pixels.empty()) return true;
  const VXPixFormat format = FormatOf(movie_->Layout());
  if (target->GetPixFormat() == format)
    target->PutPatPitch(0, 0, f->width, f->height, f->pixels.data(), f->pitch);
  else
    target->ZoConvert(0, 0, f->width, f->height, f->pixels.data(), format, f->pitch);
  return true;
}

bool TDShowPlayer::DrawToPanel() {
  if (!IsOpen()) return false;
  if (panel_ == nullptr || surface_ == nullptr) return true;
  DrawTo(surface_);
  panel_->SetModify();
  return true;
}

void TDShowPlayer::OnDisplayChange(DirectX::TDDraw* display, int phase) {
  if (display == nullptr) return;
  if (phase == 1) {
    if (!IsOpen()) return;
    suspended_ = true;
    savedPosition_ = movie_->IsRunning() ? movie_->PositionNs() / 100 : -1;
    movie_->Stop();
    DeletePictureSurface();
    CloseStream();
    return;
  }
  if (phase != 0 || !suspended_) return;
  suspended_ = false;
  if (!OpenStream(DecodeDepth(panel_, GameServices()), fileName_)) return CloseStream();
  if (panel_ != nullptr && !MakePictureSurface()) return;
  if (savedPosition_ >= 0) Run(savedPosition_);
}

#include "shell/screenform.h"

#include <algorithm>

#include "device/deviceclasses.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbnum.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"

namespace screenform {

void RegisterScreenOnce(std::once_flag& once, void (*registerScreen)()) {
  std::call_once(once, [registerScreen] {
    RegisterDeviceClasses();
    registerScreen();
  });
}

bool LoadTextPicture(Classes::TComponent* sender, VXFileMan* files) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel == nullptr || panel->GetText().empty()) return true;
  return ::LoadPanelImage(panel, files, VXString(panel->GetText().c_str()));
}

void ReleaseTextPicture(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) ::ReleasePanelImage(panel);
}

void DrawPanelImageRate(TZoRGBPanel* panel, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h, int rate) {
  DrawPanelBlock(panel, panel->GetBlockIndex(), dest, x, y, sx, sy, w, h, rate);
}

void DrawPanelBlock(TZoRGBPanel* panel, int block, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h,
                    int rate) {
  constexpr int kFullRate = 128;
  TZoRGBBits* image = panel->GetImage();
  if (image == nullptr || !image->IsCreated() || rate <= 0) return;
  const int blocks = std::max(1, panel->GetNumBlock());
  const int blockHeight = image->GetHeight() / blocks;
  w = std::min(w, image->GetWidth() - sx);
  h = std::min(h, blockHeight - sy);
  if (w <= 0 || h <= 0 || sx < 0 || sy < 0) return;
  sy += blockHeight * std::clamp(block, 0, blocks - 1);
  const TZoAlpha* plane = panel->GetAlpha();
  if (rate >= kFullRate) {
    if (plane != nullptr)
      dest->DrawAlphaMask(x, y, image, sx, sy, w, h, plane);
    else
      dest->Draw(x, y, image, sx, sy, w, h);
  } else if (plane != nullptr) {
    dest->DrawDoubleAlphaMask(x, y, image, sx, sy, w, h, plane, rate);
  } else {
    dest->AlphaBlend(x, y, image, sx, sy, w, h, rate);
  }
}

bool TDigitPicture::Load(VXFileMan* files, const VXString& name, const std::vector<TZoRGBNum*>& panels) {
  Release(panels);
  if (!::LoadImageFile(&bits_, &plane_, files, name)) return false;
  for (TZoRGBNum* number : panels) {
    number->SetImage(bits_);
    number->SetAlpha(plane_);
    number->SetMaskMode(plane_ != nullptr ? mmAlpha : mmOpaque);
  }
  return true;
}

void TDigitPicture::Release(const std::vector<TZoRGBNum*>& panels) {
  for (TZoRGBNum* number : panels) {
    number->SetImage(nullptr);
    number->SetAlpha(nullptr);
  }
  if (TGameServices* game = GameServices()) {
    if (bits_ != nullptr) game->GetMemMan().Delete(bits_);
    if (plane_ != nullptr) game->GetMemMan().Delete(plane_);
  }
  bits_ = nullptr;
  plane_ = nullptr;
}

void PlaySystemSe(int index) {
  if (GameForm != nullptr) GameForm->PlaySystemSe(index);
}

void NotifyMainThread(int result) {
  if (GameForm != nullptr) GameForm->NotifyMainThread(result);
}

}  // namespace screenform

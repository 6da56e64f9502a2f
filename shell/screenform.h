// What the front-end screens share: binding a screen's member handlers to the names its form resource uses, the
// panels' picture handlers (the picture named in a panel's Text, loaded through the screen's file manager), and
// the game window's system sounds and result hand-off, which do nothing while no game window exists.
#pragma once

#include <mutex>
#include <vector>

#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoAlpha;
class TZoRGBBits;
class TZoRGBNum;
class VXFileMan;

namespace screenform {

// The member handler `handler` of the screen, bound under `name` for events of kind E.
template <class E, class S, class R, class... A>
void Bind(platform::component::ScreenBuilder<S>& screen, const char* name, const char* kind, R (S::*handler)(A...)) {
  screen.template Handler<E>(name, kind, [handler](S& s) {
    return E([&s, handler](A... args) -> R { return (s.*handler)(args...); });
  });
}

// The device layer's component classes, then the screen's own registration, once for each `once`.
void RegisterScreenOnce(std::once_flag& once, void (*registerScreen)());

// The panel's picture from the file named in its Text (nothing for an empty Text); false when it cannot be loaded.
bool LoadTextPicture(Classes::TComponent* sender, VXFileMan* files);
// Releases what LoadTextPicture loaded.
void ReleaseTextPicture(Classes::TComponent* sender);

// The area (sx, sy, w, h) of the panel's picture (its current block) at (x, y) of dest, at a rate of 0..128: 128
// copies it (through its plane when it has one), 1-127 blend it, 0 draws nothing. Areas beyond the picture are
// cut.
void DrawPanelImageRate(TZoRGBPanel* panel, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h, int rate);
// The same from block `block` of the panel's picture (of its NumBlock blocks).
void DrawPanelBlock(TZoRGBPanel* panel, int block, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h,
                    int rate);

// One digit picture (0 to 9 stacked) shared by a screen's number panels.
class TDigitPicture {
public:
  TDigitPicture() = default;
  TDigitPicture(const TDigitPicture&) = delete;
  TDigitPicture& operator=(const TDigitPicture&) = delete;
  // Loads the named picture (with its plane when it has one) and hands it to every panel: through the plane, or
  // opaque. False when it does not load.
  bool Load(VXFileMan* files, const VXString& name, const std::vector<TZoRGBNum*>& panels);
  // Takes it from the panels and deletes it.
  void Release(const std::vector<TZoRGBNum*>& panels);

private:
  TZoRGBBits* bits_ = nullptr;
  TZoAlpha* plane_ = nullptr;
};

// The game window's system sound 0..9 and NotifyMainThread.
void PlaySystemSe(int index);
void NotifyMainThread(int result);

}  // namespace screenform

#include "device/deviceclasses.h"

#include <cstdint>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>

#include "device/movieu.h"
#include "device/zoddraw.h"
#include "device/zodsound.h"
#include "graphics/vxrgbraw.h"
#include "graphics/zoclasses.h"
#include "platform/component.h"

namespace {

namespace pc = platform::component;
using DirectX::TDDraw;
using DirectX::TDSound;

// A form integer for a setter of a narrower unsigned type: refused (an error at the form's line) when it does not
// fit, so that no value is cut down to another one.
template <class U>
U Fits(const char* property, int value) {
  if (value < 0 || static_cast<unsigned>(value) > std::numeric_limits<U>::max())
    throw std::out_of_range(std::string(property) + " " + std::to_string(value) + " is out of range");
  return static_cast<U>(value);
}

// ss320x240 .. ss1920x1440, named by their sizes.
pc::NameTable ScreenSizeNames() {
  pc::NameTable names;
  for (int s = 0; s < kScreenSizeCount; ++s)
    names.emplace_back("ss" + std::to_string(_ScreenSizeTable[s][0]) + "x" + std::to_string(_ScreenSizeTable[s][1]),
                       s);
  return names;
}

void RegisterDisplay() {
  pc::RegisterClass<TDDraw>("TDDraw", "TComponent")
      .Bool("FullScreen", &TDDraw::SetFullScreen)
      .Integer("RefreshRate", &TDDraw::SetRefreshRate)
      .Bool("TripleBuffer", &TDDraw::SetTripleBuffer)
      .Bool("DoNotWait", [](TDDraw& d, bool on) { d.DoNotWait = on; })
      .Bool("NoVSync", [](TDDraw& d, bool on) { d.NoVSync = on; })
      .Bool("Blt4Div", [](TDDraw& d, bool on) { d.Blt4Div = on; })
      .Enum("BackType", {{"btNone", DirectX::btNone}, {"btSystem", DirectX::btSystem}, {"btVideo", DirectX::btVideo}},
            [](TDDraw& d, int v) { d.SetBackType(static_cast<DirectX::TBackType>(v)); })
      .Enum("BitDepth", BitDepthNames(), [](TDDraw& d, int v) { d.SetBitDepth(static_cast<VXBitDepth>(v)); })
      .Enum("ScreenSize", ScreenSizeNames(), [](TDDraw& d, int v) { d.SetScreenSize(static_cast<VXScreenSize>(v)); })
      .Integer("SpriteWidth", &TDDraw::SetSpWidth)
      .Integer("SpriteHeight", &TDDraw::SetSpHeight)
      .Integer("SpritePage", &TDDraw::SetSpritePage)
      .Event<DirectX::TSpriteRestoreEvent>(
          "OnSpriteRestore", "TSpriteRestoreEvent",
          [](TDDraw& d, DirectX::TSpriteRestoreEvent e) { d.OnSpriteRestore = std::move(e); });
}

void RegisterSound() {
  pc::RegisterClass<TDSound>("TDSound", "TComponent")
      .Integer("Channels", [](TDSound& s, int v) { s.SetChannels(Fits<std::uint16_t>("Channels", v)); })
      .Integer("SamplesPerSec", [](TDSound& s, int v) { s.SetSamplesPerSec(Fits<std::uint32_t>("SamplesPerSec", v)); })
      .Integer("BitsPerSample", [](TDSound& s, int v) { s.SetBitsPerSample(Fits<std::uint16_t>("BitsPerSample", v)); })
      .Bool("Use3D", &TDSound::SetUse3D);
}

void RegisterMovieUnit() {
  pc::RegisterScreen<TMovieUnit>("TMovieUnit")
      .Handler<TNotifyEvent>("PanelCreate", "TNotifyEvent",
                             [](TMovieUnit& u) {
                               return TNotifyEvent([&u](Classes::TComponent* sender) { u.PanelCreate(sender); });
                             })
      .Handler<TNotifyEvent>("PanelRelease", "TNotifyEvent",
                             [](TMovieUnit& u) {
                               return TNotifyEvent([&u](Classes::TComponent* sender) { u.PanelRelease(sender); });
                             })
      .Handler<TMouseEvent>("MoviePanelMouseDown", "TMouseEvent",
                            [](TMovieUnit& u) {
                              return TMouseEvent([&u](Classes::TComponent* sender, TMouseButton button,
                                                      TShiftState shift, int x, int y) {
                                u.MoviePanelMouseDown(sender, button, shift, x, y);
                              });
                            })
      .Field("MoviePanel", &TMovieUnit::MoviePanel);
}

void RegisterAll() {
  RegisterGraphicsClasses();
  RegisterDisplay();
  RegisterSound();
  RegisterMovieUnit();
}

}  // namespace

void RegisterDeviceClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

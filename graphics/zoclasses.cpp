#include "graphics/zoclasses.h"

#include <mutex>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbdib.h"
#include "platform/component.h"

namespace {

namespace pc = platform::component;

const pc::NameTable kBitDepths = {{"bdNone", bdNone}, {"bd8", bd8}, {"bd16", bd16}, {"bd24", bd24}, {"bd32", bd32}};

const pc::NameTable kPixFormats = {{"pfNone", pfNone},       {"pf16_565", pf16_565}, {"pf16_555", pf16_555},
                                   {"pf16_5551", pf16_5551}, {"pf16_4444", pf16_4444}, {"pf24_888", pf24_888},
                                   {"pf32_888", pf32_888},   {"pf32_8888", pf32_8888}};

const pc::NameTable kDirections = {{"ddTopDown", ddTopDown}, {"ddBottomUp", ddBottomUp}};

void RegisterBitmaps() {
  pc::RegisterClass<TZoRGBBits>("TZoRGBBits", "TComponent")
      .Integer("Width", &TZoRGBBits::SetWidth)
      .Integer("Height", &TZoRGBBits::SetHeight)
      .Enum("BitDepth", kBitDepths, [](TZoRGBBits& b, int v) { b.SetBitDepth(static_cast<VXBitDepth>(v)); })
      .Enum("PixFormat", kPixFormats, [](TZoRGBBits& b, int v) { b.SetPixFormat(static_cast<VXPixFormat>(v)); })
      .Bool("Reverse", &TZoRGBBits::SetReverse)
      .Event<Classes::TNotifyEvent>("OnChange", "TNotifyEvent",
                                    [](TZoRGBBits& b, Classes::TNotifyEvent e) { b.OnChange = std::move(e); });
  pc::RegisterClass<TZoAlpha>("TZoAlpha", "TComponent")
      .Integer("Width", &TZoAlpha::SetWidth)
      .Integer("Height", &TZoAlpha::SetHeight);
  pc::RegisterClass<TZoRGBDib>("TZoRGBDib", "TZoRGBBits")
      .Enum("Direction", kDirections, [](TZoRGBDib& b, int v) { b.SetDirection(static_cast<TDIBDirection>(v)); });
  pc::RegisterClass<TZoAlphaDib>("TZoAlphaDib", "TZoAlpha")
      .Enum("Direction", kDirections, [](TZoAlphaDib& a, int v) { a.SetDirection(static_cast<TDIBDirection>(v)); });
}

}  // namespace

void RegisterGraphicsClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterBitmaps);
}

#include "graphics/zoclasses.h"

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>

#include "graphics/zoalpha.h"
#include "graphics/zorgbanime.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbdib.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "graphics/zorgbpanel.h"
#include "graphics/zorgbparts.h"
#include "graphics/zorgbtext.h"
#include "platform/component.h"
#include "platform/font.h"
#include "platform/vclfont.h"

namespace {

namespace pc = platform::component;


const pc::NameTable kPixFormats = {{"pfNone", pfNone},       {"pf16_565", pf16_565}, {"pf16_555", pf16_555},
                                   {"pf16_5551", pf16_5551}, {"pf16_4444", pf16_4444}, {"pf24_888", pf24_888},
                                   {"pf32_888", pf32_888},   {"pf32_8888", pf32_8888}};

// The system colour of window text, as a framework colour value (a system colour index with the top bit set).
constexpr int kWindowTextColor = static_cast<int>(0x80000008u);

const pc::NameTable kDirections = {{"ddTopDown", ddTopDown}, {"ddBottomUp", ddBottomUp}};

void RegisterBitmaps() {
  pc::RegisterClass<TZoRGBBits>("TZoRGBBits", "TComponent")
      .Integer("Width", &TZoRGBBits::SetWidth)
      .Integer("Height", &TZoRGBBits::SetHeight)
      .Enum("BitDepth", BitDepthNames(), [](TZoRGBBits& b, int v) { b.SetBitDepth(static_cast<VXBitDepth>(v)); })
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

template <class E>
using PanelEvent = E TZoRGBPanel::*;

// Events of one kind: name and the member that receives the handler.
template <class E>
void PanelEvents(pc::ClassBuilder<TZoRGBPanel>& b, const char* kind,
                 std::initializer_list<std::pair<const char*, PanelEvent<E>>> events) {
  for (const auto& event : events) {
    PanelEvent<E> member = event.second;
    b.Event<E>(event.first, kind, [member](TZoRGBPanel& p, E e) { p.*member = std::move(e); });
  }
}

void RegisterPanel() {
  auto b = pc::RegisterClass<TZoRGBPanel>("TZoRGBPanel", "TComponent");
  b.Bool("Visible", &TZoRGBPanel::SetVisible)
      .Bool("KeyControl", &TZoRGBPanel::SetKeyControl)
      .Bool("MouseControl", &TZoRGBPanel::SetMouseControl)
      .Bool("MouseTrans", &TZoRGBPanel::SetMouseTrans)
      .Bool("AutoSize", &TZoRGBPanel::SetAutoSize)
      .Component<TZoRGBPanel>("Parent", &TZoRGBPanel::SetParent)
      .Integer("OffsetX", &TZoRGBPanel::SetOffsetX)
      .Integer("OffsetY", &TZoRGBPanel::SetOffsetY)
      .Integer("SizeX", &TZoRGBPanel::SetSizeX)
      .Integer("SizeY", &TZoRGBPanel::SetSizeY)
      .Integer("NumBlock", &TZoRGBPanel::SetNumBlock)
      .Integer("BlockIndex", &TZoRGBPanel::SetBlockIndex)
      .String("Text", &TZoRGBPanel::SetText)
      // Nesting in a form gives the parent; siblings are linked in document order, which is the z-order.
      .Parent<TZoRGBPanel>([](TZoRGBPanel& child, TZoRGBPanel& parent) { child.SetParent(&parent); });
  PanelEvents<TNotifyEvent>(b, "TNotifyEvent",
                            {{"OnClick", &TZoRGBPanel::OnClick},
                             {"OnCreate", &TZoRGBPanel::OnCreate},
                             {"OnRelease", &TZoRGBPanel::OnRelease},
                             {"OnShow", &TZoRGBPanel::OnShow},
                             {"OnHide", &TZoRGBPanel::OnHide},
                             {"OnMouseEnter", &TZoRGBPanel::OnMouseEnter},
                             {"OnMouseLeave", &TZoRGBPanel::OnMouseLeave},
                             {"OnChange", &TZoRGBPanel::OnChange},
                             {"OnActivate", &TZoRGBPanel::OnActivate},
                             {"OnDeactivate", &TZoRGBPanel::OnDeactivate},
                             {"OnAnime", &TZoRGBPanel::OnAnime}});
  PanelEvents<TMouseMoveEvent>(b, "TMouseMoveEvent", {{"OnMouseMove", &TZoRGBPanel::OnMouseMove}});
  PanelEvents<TMouseEvent>(b, "TMouseEvent",
                           {{"OnMouseDown", &TZoRGBPanel::OnMouseDown}, {"OnMouseUp", &TZoRGBPanel::OnMouseUp}});
  PanelEvents<TMouseWheelEvent>(b, "TMouseWheelEvent", {{"OnMouseWheel", &TZoRGBPanel::OnMouseWheel}});
  PanelEvents<TKeyEvent>(b, "TKeyEvent", {{"OnKeyDown", &TZoRGBPanel::OnKeyDown}, {"OnKeyUp", &TZoRGBPanel::OnKeyUp}});
  PanelEvents<TKeyPressEvent>(b, "TKeyPressEvent", {{"OnKeyPress", &TZoRGBPanel::OnKeyPress}});
  PanelEvents<TZoDrawEvent>(b, "TZoDrawEvent", {{"OnDraw", &TZoRGBPanel::OnDraw}});
}

void RegisterButtons() {
  pc::RegisterClass<TZoRGBBtn>("TZoRGBBtn", "TZoRGBPanel")
      .Bool("Enabled", &TZoRGBBtn::SetEnabled)
      .Bool("Selected", &TZoRGBBtn::SetSelected)
      .Integer("PatNormal", &TZoRGBBtn::SetPatNormal)
      .Integer("PatFocus", &TZoRGBBtn::SetPatFocus)
      .Integer("PatSelected", &TZoRGBBtn::SetPatSelected)
      .Integer("PatDown", &TZoRGBBtn::SetPatDown)
      .Integer("PatDisable", &TZoRGBBtn::SetPatDisable)
      .Integer("AnimeWait", &TZoRGBBtn::SetAnimeWait)
      .Bool("AutoFocus", &TZoRGBBtn::SetAutoFocus)
      .Enum("AnimeType", {{"batWraparound", batWraparound}, {"batRoundtrip", batRoundtrip}},
            [](TZoRGBBtn& b, int v) { b.SetAnimeType(static_cast<TBtnAnimeType>(v)); });
  pc::RegisterClass<TZoRGBNum>("TZoRGBNum", "TZoRGBPanel")
      .Integer("Column", &TZoRGBNum::SetColumn)
      .Integer("Number", &TZoRGBNum::SetNumber);
}

template <class B>
void ButtonStates(pc::ClassBuilder<B>& b) {
  b.Bool("Enabled", &B::SetEnabled).Bool("Selected", &B::SetSelected).Bool("AutoFocus", &B::SetAutoFocus);
}

void RegisterAnimated() {
  pc::RegisterClass<TZoRGBAnime>("TZoRGBAnime", "TZoRGBPanel").Integer("GroupIndex", &TZoRGBAnime::SetGroupIndex);
  auto simple = pc::RegisterClass<TZoRGBSimple>("TZoRGBSimple", "TZoRGBAnime");
  for (int g = 0; g < TZoRGBSimple::kGroups; ++g)
    simple.Integer("G" + std::to_string(g + 1) + "FrameNum", [g](TZoRGBSimple& s, int n) { s.SetFrameNum(g, n); });
  simple.Integer("AnimeWait", &TZoRGBSimple::SetAnimeWait)
      .Enum("AnimeType", {{"patLoop", patLoop}, {"patTurn", patTurn}, {"patStop", patStop}},
            [](TZoRGBSimple& s, int v) { s.SetAnimeType(static_cast<TPanelAnimeType>(v)); });
  auto sbtn = pc::RegisterClass<TZoRGBSBtn>("TZoRGBSBtn", "TZoRGBSimple");
  ButtonStates(sbtn);
  sbtn.Integer("PatNormal", &TZoRGBSBtn::SetPatNormal)
                   .Integer("PatFocus", &TZoRGBSBtn::SetPatFocus)
                   .Integer("PatSelected", &TZoRGBSBtn::SetPatSelected)
                   .Integer("PatDown", &TZoRGBSBtn::SetPatDown)
                   .Integer("PatDisable", &TZoRGBSBtn::SetPatDisable);
  pc::RegisterClass<TZoRGBProgram>("TZoRGBProgram", "TZoRGBAnime");
  auto pbtn = pc::RegisterClass<TZoRGBPBtn>("TZoRGBPBtn", "TZoRGBProgram");
  ButtonStates(pbtn);
}

void RegisterParts() {
  pc::RegisterClass<TZoRGBParts>("TZoRGBParts", "TComponent")
      .Enum("BitDepth", BitDepthNames(), [](TZoRGBParts& p, int v) { p.SetBitDepth(static_cast<VXBitDepth>(v)); })
      .Enum("PixFormat", kPixFormats, [](TZoRGBParts& p, int v) { p.SetPixFormat(static_cast<VXPixFormat>(v)); });
}

// The nested Font.* properties of a class with GetFont and SetFont. Each edits a copy of the font and hands it
// back, so that the class renders again what the change affects.
template <class T>
void FontProperties(pc::ClassBuilder<T>& b) {
  using Graphics::TFont;
  auto edit = [](auto change) {
    return [change](T& t, auto value) {
      TFont font = *t.GetFont();
      change(font, value);
      t.SetFont(&font);
    };
  };
  b.String("Font.Name", edit([](TFont& f, const std::string& v) { f.SetName(v); }))
      .Integer("Font.Height", edit([](TFont& f, int v) { f.SetHeight(v); }))
      .Integer("Font.Size", edit([](TFont& f, int v) { f.SetSize(v); }))
      .Enum("Font.Charset",
            {{"ANSI_CHARSET", platform::font::kAnsiCharset},
             {"DEFAULT_CHARSET", platform::font::kDefaultCharset},
             {"SHIFTJIS_CHARSET", platform::font::kShiftJisCharset}},
            edit([](TFont& f, int v) { f.SetCharset(static_cast<std::uint8_t>(v)); }))
      .Enum("Font.Color", {{"clBlack", 0x000000}, {"clWhite", 0xFFFFFF}, {"clWindowText", kWindowTextColor}},
            edit([](TFont& f, int v) { f.SetColor(static_cast<std::uint32_t>(v)); }))
      .Enum("Font.Pitch", {{"fpDefault", Graphics::fpDefault}, {"fpVariable", Graphics::fpVariable},
                           {"fpFixed", Graphics::fpFixed}},
            edit([](TFont& f, int v) { f.SetPitch(static_cast<Graphics::TFontPitch>(v)); }))
      .Set("Font.Style",
           {{"fsBold", Graphics::fsBold}, {"fsItalic", Graphics::fsItalic}, {"fsUnderline", Graphics::fsUnderline},
            {"fsStrikeOut", Graphics::fsStrikeOut}},
           edit([](TFont& f, std::uint32_t v) { f.SetStyle(Graphics::TFontStyles(v)); }));
}

void RegisterText() {
  auto b = pc::RegisterClass<TZoRGBText>("TZoRGBText", "TZoRGBPanel");
  b.Bool("AntiAliase", &TZoRGBText::SetAntiAliase)
      .Integer("TextColorRed", &TZoRGBText::SetTextColorRed)
      .Integer("TextColorGreen", &TZoRGBText::SetTextColorGreen)
      .Integer("TextColorBlue", &TZoRGBText::SetTextColorBlue)
      .Integer("FontSize", &TZoRGBText::SetFontSize)
      .Bool("Centering", &TZoRGBText::SetCentering)
      .Integer("AAShade", &TZoRGBText::SetAAShade);  // Text: the panel's, whose setter the class overrides
  FontProperties(b);
}

void RegisterAll() {
  RegisterBitmaps();
  RegisterPanel();
  RegisterButtons();
  RegisterAnimated();
  RegisterParts();
  RegisterText();
}

}  // namespace

const pc::NameTable& BitDepthNames() {
  static const pc::NameTable names = {{"bdNone", bdNone}, {"bd8", bd8}, {"bd16", bd16}, {"bd24", bd24}, {"bd32", bd32}};
  return names;
}

void RegisterGraphicsClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

#include "graphics/zoclasses.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "graphics/zoalpha.h"
#include "graphics/zorgbanime.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "graphics/zorgbtext.h"
#include "platform/form.h"

namespace {

struct PictureScreen : Classes::TComponent {
  PictureScreen() : Classes::TComponent(nullptr) {}
  TZoRGBBits* Back = nullptr;
  TZoAlpha* Mask = nullptr;
  int changes = 0;
  void BackChange(Classes::TComponent*) { ++changes; }
};

}  // namespace

TEST(GraphicsClasses, FormsPlaceBitmapsAndAlphaPlanes) {
  RegisterGraphicsClasses();
  RegisterGraphicsClasses();  // a second call does nothing
  platform::component::RegisterScreen<PictureScreen>("PictureScreen")
      .Handler<Classes::TNotifyEvent>("BackChange", "TNotifyEvent",
                                      [](PictureScreen& s) {
                                        return Classes::TNotifyEvent(
                                            [&s](Classes::TComponent* c) { s.BackChange(c); });
                                      })
      .Field("Back", &PictureScreen::Back)
      .Field("Mask", &PictureScreen::Mask);

  PictureScreen screen;
  platform::form::LoadForm(screen,
                           "form Pictures : PictureScreen\n"
                           "  object Back : TZoRGBBits\n"
                           "    Width = 320\n"
                           "    BitDepth = bd32\n"
                           "    PixFormat = pf32_888\n"
                           "    OnChange = BackChange\n"
                           "  end\n"
                           "  object Mask : TZoAlpha\n"
                           "    Height = 20\n"
                           "  end\n"
                           "end\n",
                           "Pictures.form");
  ASSERT_NE(screen.Back, nullptr);
  EXPECT_EQ(screen.Back->GetOwner(), &screen);
  EXPECT_EQ(screen.Back->GetWidth(), 320);
  EXPECT_EQ(screen.Back->GetHeight(), 480);  // not written: the constructor's value
  EXPECT_EQ(screen.Back->GetPixFormat(), pf32_888);
  ASSERT_TRUE(screen.Back->Create());
  screen.Back->Change();
  EXPECT_EQ(screen.changes, 1);
  EXPECT_EQ(screen.Mask->GetWidth(), 640);
  EXPECT_EQ(screen.Mask->GetHeight(), 20);
}

namespace {

struct TPanelScreen : Classes::TComponent {
  TPanelScreen() : Classes::TComponent(nullptr) {}
  TZoRGBPanel* Root = nullptr;
  TZoRGBBtn* BtnStart = nullptr;
  TZoRGBBtn* BtnEnd = nullptr;
  TZoRGBNum* Score = nullptr;
  TZoRGBSimple* Mark = nullptr;
  std::vector<std::string> clicks;
  int keys = 0;
  void BtnStartClick(Classes::TComponent* sender) { clicks.push_back(sender->GetName()); }
  void RootKeyDown(Classes::TComponent*, unsigned short& key, TShiftState) { keys += key; }
};

void RegisterPanelScreen() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterGraphicsClasses();
    platform::component::RegisterScreen<TPanelScreen>("TPanelScreen")
        .Handler<TNotifyEvent>("BtnStartClick", "TNotifyEvent",
                               [](TPanelScreen& s) {
                                 return TNotifyEvent([&s](Classes::TComponent* c) { s.BtnStartClick(c); });
                               })
        .Handler<TKeyEvent>("RootKeyDown", "TKeyEvent",
                            [](TPanelScreen& s) {
                              return TKeyEvent([&s](Classes::TComponent* c, unsigned short& k, TShiftState sh) {
                                s.RootKeyDown(c, k, sh);
                              });
                            })
        .Field("Root", &TPanelScreen::Root)
        .Field("BtnStart", &TPanelScreen::BtnStart)
        .Field("BtnEnd", &TPanelScreen::BtnEnd)
        .Field("Score", &TPanelScreen::Score)
        .Field("Mark", &TPanelScreen::Mark);
  });
}

}  // namespace

// The loader builds a screen from its embedded form, and a synthetic click reaches the screen's handler.
TEST(GraphicsClasses, FormBuildsAPanelScreenThatTakesAClick) {
  RegisterPanelScreen();
  TPanelScreen screen;
  platform::form::LoadFormResource(screen, "PanelScreen");
  ASSERT_NE(screen.Root, nullptr);
  EXPECT_EQ(screen.Root->GetSizeX(), 320);
  ASSERT_EQ(screen.Root->GetChildCount(), 4);
  EXPECT_EQ(screen.Root->GetChild(0), screen.Score);  // document order is z-order
  EXPECT_EQ(screen.Root->GetChild(1), screen.BtnStart);
  EXPECT_EQ(screen.Root->GetChild(2), screen.BtnEnd);
  EXPECT_EQ(screen.BtnStart->GetSizeX(), 98);  // not written: the constructor's size
  EXPECT_EQ(screen.BtnStart->GetNumBlock(), 3);
  EXPECT_EQ(screen.BtnStart->GetText(), "TitleStart.png");
  EXPECT_FALSE(screen.BtnEnd->GetVisible());
  EXPECT_EQ(screen.Score->GetNumber(), 1234);
  EXPECT_EQ(screen.Mark->GetNumBlock(), 7);
  EXPECT_EQ(screen.Mark->GetAnimeType(), patTurn);

  screen.Root->AllCreate();
  screen.Root->SetActive();
  screen.Root->MouseMove({}, 30, 50);
  screen.Root->MouseDown(mbLeft, {ssLeft}, 30, 50);
  EXPECT_EQ(screen.BtnStart->GetBlockIndex(), 2);
  screen.Root->MouseUp(mbLeft, {}, 30, 50);
  screen.Root->MouseDown(mbLeft, {ssLeft}, 30, 80);  // where the hidden button lies: nothing
  screen.Root->MouseUp(mbLeft, {}, 30, 80);
  EXPECT_EQ(screen.clicks, std::vector<std::string>{"BtnStart"});
  unsigned short key = 0x1B;
  screen.Root->KeyDown(key, {});
  EXPECT_EQ(screen.keys, 0x1B);
}

TEST(GraphicsClasses, PanelFormsRefuseWrongHandlersAndValues) {
  RegisterPanelScreen();
  struct Case {
    const char* line;
    const char* error;
  };
  const Case cases[] = {
      {"OnClick = RootKeyDown", "TKeyEvent"},    // a key handler on a notify event
      {"AnimeType = patLoop", "patLoop"},        // an animated panel's value on a button
      {"Parent = Nowhere", "Nowhere"},
      {"PatSoon = 2", "PatSoon"},
  };
  for (const Case& c : cases) {
    TPanelScreen screen;
    const std::string text = std::string("form F : TPanelScreen\n  object BtnStart : TZoRGBBtn\n    ") + c.line +
                             "\n  end\nend\n";
    try {
      platform::form::LoadForm(screen, text, "F.form");
      ADD_FAILURE() << c.line;
    } catch (const platform::form::EFormError& e) {
      EXPECT_EQ(e.Line(), 3) << c.line;
      EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.what();
    }
    EXPECT_EQ(screen.GetComponentCount(), 0);
  }
}

namespace {

struct TTextScreen : Classes::TComponent {
  TTextScreen() : Classes::TComponent(nullptr) {}
  TZoRGBPanel* Root = nullptr;
  TZoRGBText* Title = nullptr;
  TZoRGBText* Plain = nullptr;
};

void RegisterTextScreen() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterGraphicsClasses();
    platform::component::RegisterScreen<TTextScreen>("TTextScreen")
        .Field("Root", &TTextScreen::Root)
        .Field("Title", &TTextScreen::Title)
        .Field("Plain", &TTextScreen::Plain);
  });
}

}  // namespace

// A form places text panels with their own properties and the nested Font.* ones; the font reaches the text.
TEST(GraphicsClasses, FormPlacesTextPanelsWithTheirFonts) {
  RegisterTextScreen();
  TTextScreen screen;
  platform::form::LoadForm(screen,
                           "form Texts : TTextScreen\n"
                           "  object Root : TZoRGBPanel\n"
                           "    SizeX = 320\n"
                           "    SizeY = 100\n"
                           "    object Title : TZoRGBText\n"
                           "      OffsetY = 40\n"
                           "      SizeX = 300\n"
                           "      Text = \"吾輩は猫である\"\n"
                           "      AntiAliase = true\n"
                           "      TextColorRed = 255\n"
                           "      TextColorGreen = 128\n"
                           "      TextColorBlue = 0\n"
                           "      FontSize = 21\n"
                           "      Centering = true\n"
                           "      AAShade = 2\n"
                           "      Font.Charset = SHIFTJIS_CHARSET\n"
                           "      Font.Color = clWindowText\n"
                           "      Font.Height = -12\n"
                           "      Font.Name = \"ＭＳ 明朝\"\n"
                           "      Font.Pitch = fpVariable\n"
                           "      Font.Style = [fsBold]\n"
                           "    end\n"
                           "    object Plain : TZoRGBText\n"
                           "      FontSize = 16\n"
                           "    end\n"
                           "  end\n"
                           "end\n",
                           "Texts.form");
  ASSERT_NE(screen.Title, nullptr);
  TZoRGBText& title = *screen.Title;
  EXPECT_EQ(title.GetParent(), screen.Root);
  EXPECT_EQ(screen.Root->GetChild(1), screen.Plain);
  EXPECT_EQ(title.GetText(), "\x8c\xe1\x94\x79\x82\xcd\x94\x4c\x82\xc5\x82\xa0\x82\xe9");  // CP932
  EXPECT_TRUE(title.GetAntiAliase());
  EXPECT_EQ(title.GetTextColor(), 0xFF8000u);
  EXPECT_EQ(title.GetKeyColor(), 0x007FFFu);
  EXPECT_EQ(title.GetFontSize(), 20);
  EXPECT_TRUE(title.GetCentering());
  EXPECT_EQ(title.GetAAShade(), 2);
  EXPECT_EQ(title.GetSizeY(), 24);  // not written: the constructor's size
  const Graphics::TFont& font = *title.GetFont();
  EXPECT_EQ(font.GetCharset(), 128);
  EXPECT_EQ(font.GetColor(), 0x80000008u);
  EXPECT_EQ(font.GetPitch(), Graphics::fpVariable);
  EXPECT_TRUE(font.HasStyle(Graphics::fsBold));
  EXPECT_FALSE(font.HasStyle(Graphics::fsItalic));
  EXPECT_EQ(screen.Plain->GetFont()->GetName(), "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e");

  // The screen makes the buffers once the display's format is known: size and pitch come from the panel.
  screen.Root->AllCreate();
  ASSERT_TRUE(title.MakeBuffer(pf32_888));
  const VXFont& made = title.GetTextFont();
  ASSERT_TRUE(made.IsCreated()) << "the IPA fonts are needed: ./scripts/deps.sh installs them";
  EXPECT_EQ(made.GetHeight(), -40);
  EXPECT_EQ(made.GetPitch(), vfpFixed);
  EXPECT_TRUE(made.CheckStyle(vfsBold));
  EXPECT_EQ(made.GetCharset(), 128);
  EXPECT_EQ(made.GetHandle()->Face().family, "IPAMincho");
  ASSERT_NE(title.GetAlpha(), nullptr);
  EXPECT_EQ(title.GetAlpha()->GetWidth(), 300);
  EXPECT_EQ(title.TextX(), (300 - 14 * 10) / 2);
}

TEST(GraphicsClasses, TextPanelFormsRefuseUnknownFontValues) {
  RegisterTextScreen();
  struct Case {
    const char* line;
    const char* error;
  };
  const Case cases[] = {
      {"Font.Style = [fsHuge]", "fsHuge"},
      {"Font.Pitch = fpWide", "fpWide"},
      {"Font.Shape = 1", "Font.Shape"},
      {"Font.Charset = 128", "Font.Charset"},
      {"Centering = 2", "Centering"},
  };
  for (const Case& c : cases) {
    TTextScreen screen;
    const std::string text = std::string("form F : TTextScreen\n  object Root : TZoRGBPanel\n"
                                         "    object Title : TZoRGBText\n      ") +
                             c.line + "\n    end\n    object Plain : TZoRGBText\n    end\n  end\nend\n";
    try {
      platform::form::LoadForm(screen, text, "F.form");
      ADD_FAILURE() << c.line;
    } catch (const platform::form::EFormError& e) {
      EXPECT_EQ(e.Line(), 4) << c.line;
      EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.what();
    }
    EXPECT_EQ(screen.GetComponentCount(), 0);
  }
}

// Every published property and event of the graphics classes can be written by a form, with its kind; classes
// inherit what their bases publish.
TEST(GraphicsClasses, EveryPublishedNameIsRegistered) {
  RegisterGraphicsClasses();
  namespace pc = platform::component;
  using K = pc::PropertyKind;
  struct Published {
    const char* cls;
    std::vector<std::pair<const char*, K>> properties;
    std::vector<std::pair<const char*, const char*>> events;  // name, event kind
  };
  const std::vector<std::pair<const char*, const char*>> panelEvents = {
      {"OnClick", "TNotifyEvent"},         {"OnCreate", "TNotifyEvent"},     {"OnRelease", "TNotifyEvent"},
      {"OnShow", "TNotifyEvent"},          {"OnHide", "TNotifyEvent"},       {"OnMouseMove", "TMouseMoveEvent"},
      {"OnMouseDown", "TMouseEvent"},      {"OnMouseUp", "TMouseEvent"},     {"OnMouseEnter", "TNotifyEvent"},
      {"OnMouseLeave", "TNotifyEvent"},    {"OnMouseWheel", "TMouseWheelEvent"}, {"OnKeyDown", "TKeyEvent"},
      {"OnKeyUp", "TKeyEvent"},            {"OnKeyPress", "TKeyPressEvent"}, {"OnChange", "TNotifyEvent"},
      {"OnActivate", "TNotifyEvent"},      {"OnDeactivate", "TNotifyEvent"}, {"OnAnime", "TNotifyEvent"},
      {"OnDraw", "TZoDrawEvent"}};
  const std::vector<std::pair<const char*, K>> panelProperties = {
      {"Visible", K::Bool},      {"KeyControl", K::Bool},   {"MouseControl", K::Bool}, {"MouseTrans", K::Bool},
      {"AutoSize", K::Bool},     {"Parent", K::Component},  {"OffsetX", K::Integer},   {"OffsetY", K::Integer},
      {"SizeX", K::Integer},     {"SizeY", K::Integer},     {"NumBlock", K::Integer},  {"BlockIndex", K::Integer},
      {"Text", K::String}};
  const std::vector<std::pair<const char*, K>> buttonStates = {
      {"Enabled", K::Bool}, {"Selected", K::Bool}, {"AutoFocus", K::Bool}};
  const std::vector<std::pair<const char*, K>> patterns = {{"PatNormal", K::Integer},   {"PatFocus", K::Integer},
                                                           {"PatSelected", K::Integer}, {"PatDown", K::Integer},
                                                           {"PatDisable", K::Integer}};
  std::vector<std::pair<const char*, K>> simple = {{"AnimeWait", K::Integer}, {"AnimeType", K::Enum}};
  for (const char* g : {"G1FrameNum", "G2FrameNum", "G3FrameNum", "G4FrameNum", "G5FrameNum", "G6FrameNum",
                        "G7FrameNum", "G8FrameNum"})
    simple.emplace_back(g, K::Integer);
  auto join = [](std::vector<std::pair<const char*, K>> a, const std::vector<std::pair<const char*, K>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };

  const std::vector<Published> published = {
      {"TZoRGBBits",
       {{"Width", K::Integer}, {"Height", K::Integer}, {"BitDepth", K::Enum}, {"PixFormat", K::Enum},
        {"Reverse", K::Bool}},
       {{"OnChange", "TNotifyEvent"}}},
      {"TZoAlpha", {{"Width", K::Integer}, {"Height", K::Integer}}, {}},
      {"TZoRGBDib", {{"Direction", K::Enum}, {"PixFormat", K::Enum}}, {{"OnChange", "TNotifyEvent"}}},
      {"TZoAlphaDib", {{"Direction", K::Enum}, {"Width", K::Integer}}, {}},
      {"TZoRGBPanel", panelProperties, panelEvents},
      {"TZoRGBBtn",
       join(join(join(panelProperties, buttonStates), patterns),
            {{"AnimeWait", K::Integer}, {"AnimeType", K::Enum}}),
       panelEvents},
      {"TZoRGBNum", join(panelProperties, {{"Column", K::Integer}, {"Number", K::Integer}}), panelEvents},
      {"TZoRGBText",
       join(panelProperties,
            {{"AntiAliase", K::Bool}, {"TextColorRed", K::Integer}, {"TextColorGreen", K::Integer},
             {"TextColorBlue", K::Integer}, {"FontSize", K::Integer}, {"Centering", K::Bool},
             {"AAShade", K::Integer}, {"Font.Name", K::String}, {"Font.Height", K::Integer},
             {"Font.Charset", K::Enum}, {"Font.Pitch", K::Enum}, {"Font.Style", K::Set}}),
       panelEvents},
      {"TZoRGBParts", {{"BitDepth", K::Enum}, {"PixFormat", K::Enum}}, {}},
      {"TZoRGBAnime", join(panelProperties, {{"GroupIndex", K::Integer}}), panelEvents},
      {"TZoRGBSimple", join(join(panelProperties, simple), {{"GroupIndex", K::Integer}}), panelEvents},
      {"TZoRGBSBtn", join(join(join(panelProperties, simple), buttonStates), patterns), panelEvents},
      {"TZoRGBProgram", join(panelProperties, {{"GroupIndex", K::Integer}}), panelEvents},
      {"TZoRGBPBtn", join(join(panelProperties, buttonStates), {{"GroupIndex", K::Integer}}), panelEvents},
  };
  for (const Published& p : published) {
    SCOPED_TRACE(p.cls);
    const pc::ClassInfo* cls = pc::FindClass(p.cls);
    ASSERT_NE(cls, nullptr);
    for (const auto& [name, kind] : p.properties) {
      const pc::PropertyInfo* info = pc::FindProperty(*cls, name);
      ASSERT_NE(info, nullptr) << name;
      EXPECT_EQ(info->kind, kind) << name;
    }
    for (const auto& [name, kind] : p.events) {
      const pc::EventInfo* info = pc::FindEvent(*cls, name);
      ASSERT_NE(info, nullptr) << name;
      EXPECT_EQ(info->kind, kind) << name;
    }
  }
}

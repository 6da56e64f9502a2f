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

// Every form resource shipped in forms/ is embedded and loads against the class that owns it. Each screen with a
// form adds its row here; a form without a row fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/movieu.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "music/musicu.h"
#include "scenario/stageu.h"
#include "scenario/subwinu.h"
#include "platform/form.h"
#include "platform/resource.h"

namespace {

// The form's file name -> making its owner, which loads the form, and checking what the form gave it.
const std::map<std::string, std::function<void()>>& Owners() {
  static const std::map<std::string, std::function<void()>> owners = {
      {"MovieUnit.form",
       [] {
         TMovieUnit unit(nullptr);
         ASSERT_NE(unit.MoviePanel, nullptr);
         EXPECT_EQ(unit.MoviePanel->GetOwner(), &unit);
         EXPECT_EQ(unit.MoviePanel->GetSizeX(), 16);
         EXPECT_EQ(unit.MoviePanel->GetSizeY(), 16);
         EXPECT_TRUE(unit.MoviePanel->OnMouseDown);
         EXPECT_FALSE(unit.MoviePanel->IsLoading());
       }},
      {"SubWinUnit.form",
       [] {
         TSubWinUnit unit(nullptr);
         ASSERT_NE(unit.MesWin, nullptr);
         EXPECT_EQ(unit.MesText->GetParent(), unit.MesBack);
         EXPECT_EQ(unit.MesLook->GetParent(), unit.MesFrame);
         EXPECT_EQ(unit.LogPos->GetParent(), unit.LogBar);
         EXPECT_EQ(unit.MesWin->GetParent(), nullptr);  // the adventure hangs the roots under its panel
         EXPECT_EQ(unit.MenuBtn9->GetTag(), 8);
         EXPECT_EQ(unit.MesConfig->GetTag(), TSubWinUnit::kMesConfig);
         EXPECT_EQ(unit.MesTextMaker2->GetSizeX(), TSubWinUnit::kLineWidth);
         EXPECT_EQ(unit.MesTextMaker2->GetAAShade(), 1);
         EXPECT_TRUE(unit.SelText->OnMouseMove);
         EXPECT_FALSE(unit.Month2->GetMouseControl());
       }},
      {"StageUnit.form",
       [] {
         TStageUnit unit(nullptr);
         TZoRGBPanel* const panels[] = {unit.StagePanel,  unit.BGPanel,     unit.CharLeft,      unit.CharRight,
                                        unit.CharCenter,  unit.OutCharLeft, unit.OutCharCenter, unit.OutCharRight,
                                        unit.WeatherBack, unit.WeatherFront, unit.BGMaskTop,    unit.BGMaskBtm,
                                        unit.BGPanel2,    unit.CharLeft2,   unit.CharCenter2,   unit.CharRight2,
                                        unit.WeatherBack2, unit.WeatherFront2, unit.BGMaskTop2, unit.BGMaskBtm2};
         for (TZoRGBPanel* p : panels) {
           ASSERT_NE(p, nullptr);
           EXPECT_EQ(p->GetOwner(), &unit);
         }
         // The layer sets, children bottom to top; the stage picture stands alone.
         const auto children = [](TZoRGBPanel* p) {
           std::vector<TZoRGBPanel*> list;
           for (int i = 0; i < p->GetChildCount(); ++i) list.push_back(p->GetChild(i));
           return list;
         };
         EXPECT_EQ(children(unit.BGPanel),
                   (std::vector<TZoRGBPanel*>{unit.WeatherBack, unit.BGMaskTop, unit.BGMaskBtm, unit.OutCharRight,
                                              unit.OutCharLeft, unit.OutCharCenter, unit.CharRight, unit.CharLeft,
                                              unit.CharCenter, unit.WeatherFront}));
         EXPECT_EQ(children(unit.BGPanel2),
                   (std::vector<TZoRGBPanel*>{unit.WeatherBack2, unit.BGMaskTop2, unit.BGMaskBtm2, unit.CharRight2,
                                              unit.CharLeft2, unit.CharCenter2, unit.WeatherFront2}));
         EXPECT_EQ(unit.StagePanel->GetChildCount(), 0);
         for (TZoRGBPanel* p : {unit.StagePanel, unit.BGPanel, unit.BGPanel2}) {
           EXPECT_EQ(p->GetParent(), nullptr);
           EXPECT_EQ(p->GetSizeX(), 640);
           EXPECT_EQ(p->GetSizeY(), 480);
           EXPECT_TRUE(p->OnDraw);
         }
         EXPECT_TRUE(unit.StagePanel->OnMouseDown);
         for (TZoRGBPanel* p : {unit.CharLeft, unit.OutCharRight, unit.CharCenter2, unit.WeatherFront2})
           EXPECT_TRUE(p->OnDraw);
         for (TZoRGBPanel* p : {unit.BGMaskTop, unit.BGMaskBtm, unit.BGMaskTop2, unit.BGMaskBtm2}) {
           EXPECT_FALSE(p->GetVisible());
           EXPECT_TRUE(p->OnCreate);
         }
       }},
      {"MusicUnit.form",
       [] {
         TMusicUnit unit(nullptr);
         ASSERT_NE(unit.MusicPanel, nullptr);
         EXPECT_EQ(unit.MusicPanel->GetSizeX(), 640);
         EXPECT_EQ(unit.MusicPanel->GetSizeY(), 480);
         // The stage first, the clef and the prompts above everything: z-order from the bottom.
         EXPECT_EQ(unit.MusicPanel->GetChild(0), unit.BGPanel);
         EXPECT_EQ(unit.MusicPanel->GetChild(unit.MusicPanel->GetChildCount() - 1), unit.CaptionPanel);
         EXPECT_EQ(unit.MusicPanel->GetChildCount(), 1 + TMusicUnit::kCurtains + 13);
         EXPECT_EQ(unit.ScoreFrameP->GetChildCount(),
                   TMusicUnit::kPopBigs + TMusicUnit::kPopSmalls + TMusicUnit::kScoreDigits);
         EXPECT_TRUE(unit.BGPanel->OnDraw);
         EXPECT_TRUE(unit.SheetP->OnDraw);
         EXPECT_TRUE(unit.WordP->OnDraw);
         for (TZoRGBPanel* hidden : {unit.TitleP, unit.FrameBottom, unit.FrameLeft, unit.FrameRight, unit.FrameTop,
                                     unit.HitLamp, unit.WordP, unit.ContinueCount, unit.ContinueInfo,
                                     unit.CaptionPanel})
           EXPECT_FALSE(hidden->GetVisible()) << hidden->GetName();
         const auto* curtain = dynamic_cast<TZoRGBPanel*>(unit.FindComponent("Curtain18"));
         ASSERT_NE(curtain, nullptr);
         EXPECT_EQ(curtain->GetNumBlock(), 3);
         const auto* digit = dynamic_cast<TZoRGBPanel*>(unit.FindComponent("Score08"));
         ASSERT_NE(digit, nullptr);
         EXPECT_EQ(digit->GetOffsetX(), 123 - 13 * 8);
         EXPECT_FALSE(digit->GetVisible());
         EXPECT_FALSE(unit.GClef->GetMouseControl()) << "no panel of the music game takes the mouse";
       }},
  };
  return owners;
}

}  // namespace

TEST(ShippedForms, EveryFormLoadsAgainstItsOwner) {
  std::set<std::string> shipped;
  for (const auto& entry : std::filesystem::directory_iterator(QORM_FORMS_DIR))
    if (entry.path().extension() == ".form") shipped.insert(entry.path().filename().string());
  std::set<std::string> known;
  for (const auto& [name, load] : Owners()) known.insert(name);
  EXPECT_EQ(shipped, known) << "every shipped form has its owner here, and every owner's form is shipped";
  for (const auto& [name, load] : Owners()) {
    SCOPED_TRACE(name);
    const platform::Resource* embedded = platform::FindResource(platform::form::kResourceType, name);
    ASSERT_NE(embedded, nullptr) << "not embedded";
    std::ifstream file(std::filesystem::path(QORM_FORMS_DIR) / name, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(embedded->data), embedded->size), text);
    try {
      load();
    } catch (const platform::form::EFormError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

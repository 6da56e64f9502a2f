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
#include "graphics/zorgbnum.h"
#include "graphics/zorgbtext.h"
#include "music/musicu.h"
#include "music/psongselectmenu.h"
#include "music/pnameentrymenu.h"
#include "music/psongscoremenu.h"
#include "scenario/stageu.h"
#include "scenario/avgu.h"
#include "scenario/exselu.h"
#include "scenario/subwinu.h"
#include "ranking/internetrankmenu.h"
#include "shell/albummenu.h"
#include "shell/dialogu.h"
#include "shell/pconfigmenu.h"
#include "shell/psavemenu.h"
#include "shell/ptitlemenu.h"
#include "shell/soundmenu.h"
#include "platform/form.h"
#include "platform/resource.h"

namespace {

// The form's file name -> making its owner, which loads the form, and checking what the form gave it.
const std::map<std::string, std::function<void()>>& Owners() {
  static const std::map<std::string, std::function<void()>> owners = {
      {"AvgUnit.form",
       [] {
         TAvgUnit unit(nullptr);
         ASSERT_NE(unit.AvgPanel, nullptr);
         EXPECT_EQ(unit.AvgPanel->GetSizeX(), 640);
         EXPECT_TRUE(unit.AvgPanel->GetKeyControl());
         EXPECT_TRUE(unit.AvgPanel->OnKeyDown);
         EXPECT_TRUE(unit.AvgPanel->OnMouseWheel);
       }},
      {"ExSelUnit.form",
       [] {
         TExSelUnit unit(nullptr);
         ASSERT_NE(unit.ExSelWin, nullptr);
         EXPECT_EQ(unit.DlgFrame->GetParent(), unit.ExSelWin);
         EXPECT_EQ(unit.DlgPass->GetParent(), unit.DlgFrame);
         EXPECT_EQ(unit.DlgFrame->GetOffsetX(), 216);  // centred by the window
         EXPECT_EQ(unit.DlgOk->GetPatDown(), 1);
         EXPECT_TRUE(unit.DlgOk->OnClick);
         EXPECT_FALSE(unit.ExSelWin->GetVisible());
       }},
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
      {"AlbumMenu.form",
       [] {
         TAlbumMenu album(nullptr);
         ASSERT_NE(album.ThumbNail(19), nullptr);
         EXPECT_EQ(album.ThumbNail(19)->GetTag(), 19);
         EXPECT_EQ(album.ThumbNail(19)->GetOffsetX(), 39 + 114 * 4);
         EXPECT_EQ(album.ThumbNail(19)->GetOffsetY(), 73 + 88 * 3);
         EXPECT_EQ(album.PicturePanel->GetParent(), album.AlbumPanel);
         EXPECT_FALSE(album.PicturePanel->GetVisible());
         EXPECT_FALSE(album.PageBtn1->GetVisible());
         EXPECT_FALSE(album.LightPanel->GetMouseControl());
         EXPECT_TRUE(album.ThumbNail(0)->OnDraw);
       }},
      {"ConfigMenu.form",
       [] {
         TConfigMenu menu(nullptr);
         ASSERT_NE(menu.BtnExit, nullptr);
         EXPECT_EQ(menu.ASkipNum->GetParent(), menu.ConfigPanel);
         EXPECT_EQ(menu.ASkipNum->GetColumn(), 4);
         EXPECT_FALSE(menu.RearVSlider->GetVisible());
         EXPECT_FALSE(menu.PlaceOFF->GetVisible());
         EXPECT_EQ(menu.RankHard->GetPatSelected(), 1);
         EXPECT_TRUE(menu.ASkipSlider->OnDraw);
         EXPECT_TRUE(menu.ConfigPanel->OnAnime);
       }},
      {"InternetRankMenu.form",
       [] {
         TInternetRankMenu menu(nullptr);
         ASSERT_NE(menu.YourPoints, nullptr);
         EXPECT_EQ(menu.MessageWin->GetParent(), menu.DialogPanel);
         EXPECT_EQ(menu.Caret->GetParent(), menu.MessageWin);
         EXPECT_EQ(menu.MesText[2]->GetParent(), menu.MessageWin);
         EXPECT_TRUE(menu.MessageWin->GetKeyControl());
         EXPECT_TRUE(menu.MessageWin->OnKeyPress);
         EXPECT_EQ(menu.SongListArea[19]->GetTag(), 19);
         EXPECT_EQ(menu.SongListArea[10]->GetOffsetX(), 351);
         EXPECT_EQ(menu.RankName[9]->GetParent(), menu.InternetRankingPanel);
         EXPECT_EQ(menu.MesText[3]->GetFontSize(), 12);  // 6 pixels a byte: the caret's steps
         EXPECT_EQ(menu.BtnEasy->GetPatSelected(), 1);
         EXPECT_FALSE(menu.DialogPanel->GetVisible());
       }},
      {"SaveMenu.form",
       [] {
         TSaveMenu menu(nullptr);
         ASSERT_NE(menu.FileInfo10, nullptr);
         EXPECT_EQ(menu.FileInfo10->GetParent(), menu.SaveData10);
         EXPECT_EQ(menu.SaveData10->GetTag(), 9);
         EXPECT_EQ(menu.SaveInfo1->GetFontSize(), 16);
         EXPECT_EQ(menu.ScrollBar->GetParent(), menu.ScrollBack);
         EXPECT_FALSE(menu.SaveButton->GetVisible());
         EXPECT_FALSE(menu.MenuLight->GetVisible());
         EXPECT_TRUE(menu.SaveMenuWin->OnMouseWheel);
       }},
      {"SongSelectMenu.form",
       [] {
         TSongSelectMenu menu(nullptr);
         ASSERT_NE(menu.SongIDText, nullptr);
         EXPECT_EQ(menu.SongIDText->GetParent(), menu.SongIDBack);
         EXPECT_EQ(menu.SongIDText->GetFontSize(), 16);
         EXPECT_FALSE(menu.SongIDBack->GetVisible());
         EXPECT_TRUE(menu.SongIDBack->OnDraw);
         EXPECT_TRUE(menu.SongSelPanel->GetKeyControl());
         EXPECT_TRUE(menu.SongSelPanel->OnKeyDown);
         // The frame lies over the title; the level and auto buttons above it.
         EXPECT_EQ(menu.SongSelPanel->GetChild(0), menu.PanelSongTitle);
         EXPECT_EQ(menu.SongSelPanel->GetChild(6), menu.PanelSongFrame);
         EXPECT_EQ(menu.PanelSongTitle->GetOffsetX(), 34);
         EXPECT_EQ(menu.BtnHard->GetOffsetY(), 320);
         EXPECT_TRUE(menu.BtnNormal->GetSelected());
         EXPECT_TRUE(menu.BtnAutoOff->GetSelected());
         EXPECT_FALSE(menu.BtnEasy->GetSelected());
         EXPECT_EQ(menu.BtnEasy->GetPatSelected(), 1);
         EXPECT_EQ(menu.BtnExit->GetPatSelected(), 0);
         EXPECT_EQ(menu.BtnPlay->GetAnimeWait(), 4);
         EXPECT_TRUE(menu.BtnPlay->OnMouseEnter);
       }},
      {"TitleMenu.form",
       [] {
         TTitleMenu menu(nullptr);
         ASSERT_NE(menu.BtnExtra, nullptr);
         EXPECT_EQ(menu.TitleMenu->GetParent(), menu.TitleMenuPanel);
         EXPECT_EQ(menu.BtnStart->GetParent(), menu.TitleMenu);
         EXPECT_EQ(menu.BtnStart->GetOffsetY(), 202);
         EXPECT_EQ(menu.BtnExtra->GetOffsetY(), 172);
         EXPECT_FALSE(menu.BtnExtra->GetVisible());
         EXPECT_EQ(menu.BtnExit->GetPatDown(), 1);
         EXPECT_EQ(menu.BtnExit->GetAnimeWait(), 8);
         EXPECT_TRUE(menu.TitleMenuPanel->GetKeyControl());
         EXPECT_TRUE(menu.TitleMenuPanel->OnAnime);
         EXPECT_TRUE(menu.BtnSound->OnMouseEnter);
       }},
      {"DlgUnit.form",
       [] {
         TDlgUnit dialog(nullptr);
         ASSERT_NE(dialog.DlgNo, nullptr);
         EXPECT_EQ(dialog.DlgFrame->GetOffsetX(), 216);  // centred by the dialog
         EXPECT_EQ(dialog.DlgFrame->GetOffsetY(), 186);
         EXPECT_EQ(dialog.DlgYes->GetParent(), dialog.DlgFrame);
         EXPECT_EQ(dialog.DlgNo->GetOffsetX(), 136);
         EXPECT_FALSE(dialog.DlgWin->GetVisible());
         EXPECT_TRUE(dialog.DlgWin->GetKeyControl());
         EXPECT_TRUE(dialog.DlgFrame->OnDraw);
       }},
      {"NameEntryMenu.form",
       [] {
         TNameEntryMenu menu(nullptr);
         ASSERT_NE(menu.BtnAnime, nullptr);
         for (int i = 0; i < TNameEntryMenu::kChars; ++i) {
           ASSERT_NE(menu.CharButton(i), nullptr);
           EXPECT_EQ(menu.CharButton(i)->GetTag(), i);
           EXPECT_EQ(menu.CharButton(i)->GetOffsetX(), 200 + 50 * (i % 8));
           EXPECT_EQ(menu.CharButton(i)->GetOffsetY(), 69 + 50 * (i / 8));
           EXPECT_TRUE(menu.CharButton(i)->OnMouseMove);
         }
         EXPECT_EQ(menu.CharButton(45)->GetName(), "BtnSpc");
         EXPECT_EQ(menu.BtnEnd->GetOffsetX(), 550);
         EXPECT_EQ(menu.BtnBackSpace->GetOffsetX(), 500);
         EXPECT_FALSE(menu.BtnSelFrame->GetMouseControl());
         EXPECT_EQ(menu.NumScore->GetColumn(), 8);
         EXPECT_TRUE(menu.NameEntryPanel->OnKeyPress);
         EXPECT_TRUE(menu.NameEntryPanel->OnShow);
       }},
      {"SongScoreMenu.form",
       [] {
         TSongScoreMenu menu(nullptr);
         ASSERT_NE(menu.BtnExit, nullptr);
         for (int i = 0; i < TSongScoreMenu::kRows; ++i) {
           EXPECT_EQ(menu.PanelSong(i)->GetParent(), menu.PanelBase(i));
           EXPECT_EQ(menu.NumScore(i)->GetParent(), menu.PanelBase(i));
           EXPECT_EQ(menu.PanelBase(i)->GetOffsetY(), 66 + 36 * i);
         }
         EXPECT_EQ(menu.BtnHard->GetPatSelected(), 1);
         EXPECT_EQ(menu.NumMaxPg->GetColumn(), 2);
         EXPECT_EQ(menu.BtnExit->GetOffsetX(), 513);
       }},
      {"SoundMenu.form",
       [] {
         TSoundMenu menu(nullptr);
         ASSERT_NE(menu.BtnSelBgm9, nullptr);
         EXPECT_EQ(menu.BtnSelBgm9->GetParent(), menu.SoundPanel);
         EXPECT_EQ(menu.BtnSelBgm9->GetTag(), 8);
         EXPECT_EQ(menu.BtnEnd->GetPatSelected(), 0);
         EXPECT_EQ(menu.NumSec->GetColumn(), 2);
         EXPECT_TRUE(menu.SoundPanel->OnAnime);
         EXPECT_FALSE(menu.LightPanel->GetMouseControl());
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

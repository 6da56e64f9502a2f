// The best-score screen in the game window: its pictures from the demo game, its songs from a game folder made
// in the test (eleven songs whose title pictures each have a colour of their own) and, once, the demo game's songs;
// levels and pages browsed with the mouse.
// Label: threads
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "music/psongscoremenu.h"
#include "shell/gamef.h"
#include "shell/systemdata.h"
#include "songfiles.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

struct At {
  int x, y;
};
constexpr At kEasy{410, 38}, kNormal{500, 38}, kHard{590, 38}, kBack{54, 456}, kFwd{190, 456}, kExit{569, 455};
// A point of row i's title picture (the row at (40, 66 + 36 i), its title at (36, 3) inside it).
At SongPoint(int row) { return {40 + 36 + 100, 66 + 36 * row + 3 + 14}; }

TSongID Id(const char* text) { return {text[0], text[1], text[2], text[3]}; }
std::string Name(int n) {
  char id[8];
  std::snprintf(id, sizeof id, "QX%02d", n);
  return id;
}
std::uint32_t Colour(int n) { return static_cast<std::uint32_t>(0x102030 + n * 0x0A0000); }

class SongScores : public ::testing::Test {
protected:
  void SetUp() override {
    SystemData = TSystemData();
    for (int n = 1; n <= 11; ++n) {
      songs.Write("Song/" + Name(n) + "/song/SONG.ID", songfiles::SongId("Ver1.00", Name(n)));
      songs.Write("Song/" + Name(n) + "/song/songname.png", songfiles::Png(224, 28, 0xFF000000u | Colour(n)));
      SystemData.SetResult(0, 1000 * n, "ABCD", 0, Id(Name(n).c_str()));
    }
    SystemData.SetResult(2, 700, "ab", 0, Id("QX03"));
    SystemData.SetResult(2, 900, "Z", 0, Id("QX05"));
    SystemData.SetResult(0, 5000, "GONE", 0, Id("QX99"));  // a song whose data is not there
    SystemData.SetResult(1, 0, "NONE", 0, Id("QX01"));     // a result of 0 is no best
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int r) {
      results.push_back(r);
      w.form->SetResultPending(false);
    });
    menu = std::make_unique<TSongScoreMenu>(nullptr);
    ASSERT_TRUE(menu->Open());
    ASSERT_TRUE(menu->SetLevel(0));
    w.form->AttachPanel(menu->SongScorePanel);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    w.Step(34);
  }
  void TearDown() override {
    w.form->DetachPanel(menu->SongScorePanel);
    menu.reset();
    SystemData = TSystemData();
  }
  void Click(At a) {
    w.Click(a.x, a.y);
    w.Step(34);
  }
  std::vector<int> ShownScores() const {
    std::vector<int> scores;
    for (int i = 0; i < TSongScoreMenu::kRows; ++i)
      if (menu->PanelBase(i)->GetVisible()) scores.push_back(menu->NumScore(i)->GetNumber());
    return scores;
  }

  TempDir songs;
  songfiles::CurrentFolder current{songs.path()};
  GameWindow w;
  std::unique_ptr<TSongScoreMenu> menu;
  std::vector<int> results;
};

TEST_F(SongScores, ElevenSongsMakeTwoPagesAndThePageButtonsFollow) {
  EXPECT_EQ(menu->CountPages(), 2);
  EXPECT_EQ(ShownScores(), (std::vector<int>{1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000}));
  EXPECT_EQ(menu->NumCurPg->GetNumber(), 1);
  EXPECT_EQ(menu->NumMaxPg->GetNumber(), 2);
  EXPECT_FALSE(menu->BtnBack->GetEnabled());
  EXPECT_TRUE(menu->BtnFwd->GetEnabled());
  Click(kFwd);
  EXPECT_EQ(menu->GetPage(), 1);
  EXPECT_EQ(ShownScores(), std::vector<int>{11000});
  EXPECT_EQ(menu->NumCurPg->GetNumber(), 2);
  EXPECT_TRUE(menu->BtnBack->GetEnabled());
  EXPECT_FALSE(menu->BtnFwd->GetEnabled());
  Click(kFwd);
  EXPECT_EQ(menu->GetPage(), 1) << "no page beyond the last";
  Click(kBack);
  EXPECT_EQ(menu->GetPage(), 0);
  Click(kBack);
  EXPECT_EQ(menu->GetPage(), 0);
}

TEST_F(SongScores, TheRowsShowEachSongsTitlePictureAndName) {
  for (int row : {0, 4, 9}) EXPECT_EQ(w.Pixel(SongPoint(row).x, SongPoint(row).y), Colour(row + 1)) << row;
  EXPECT_EQ(menu->PanelName(0)->GetSizeX(), 4 * 17);
  Click(kFwd);
  EXPECT_EQ(w.Pixel(SongPoint(0).x, SongPoint(0).y), Colour(11));
  EXPECT_NE(w.Pixel(SongPoint(1).x, SongPoint(1).y), Colour(2)) << "the hidden rows are gone from the screen";
}

TEST_F(SongScores, LevelButtonsSwitchLevelsAndLevelsWithoutScoresAreDisabled) {
  EXPECT_TRUE(menu->BtnNormal->GetSelected());
  EXPECT_TRUE(menu->BtnEasy->GetEnabled());
  EXPECT_FALSE(menu->BtnHard->GetEnabled()) << "a result of 0 is no best score";
  Click(kEasy);
  EXPECT_EQ(menu->GetLevel(), 2);
  EXPECT_TRUE(menu->BtnEasy->GetSelected());
  EXPECT_FALSE(menu->BtnNormal->GetSelected());
  EXPECT_EQ(ShownScores(), (std::vector<int>{700, 900}));
  EXPECT_EQ(menu->GetPageCount(), 1);
  EXPECT_FALSE(menu->BtnFwd->GetEnabled());
  EXPECT_EQ(menu->PanelName(0)->GetSizeX(), 2 * 17) << "the stored name \"ab\" has no glyphs but takes its place";
  EXPECT_EQ(menu->PanelName(1)->GetSizeX(), 17);
  Click(kHard);
  EXPECT_EQ(menu->GetLevel(), 2) << "a disabled level cannot be chosen";
  // A level without scores shown all the same: no rows.
  ASSERT_TRUE(menu->SetLevel(1));
  EXPECT_TRUE(ShownScores().empty());
  EXPECT_EQ(menu->CountPages(), 0);
  EXPECT_FALSE(menu->BtnBack->GetEnabled());
  EXPECT_FALSE(menu->BtnFwd->GetEnabled());
  EXPECT_FALSE(menu->SetLevel(3));
}

TEST_F(SongScores, SongsWithoutTheirDataAreNotListed) {
  EXPECT_TRUE(menu->HasEntries(0));
  TSongScoreMenu::TEntries entries;
  ASSERT_TRUE(menu->GetPage(1, entries));
  EXPECT_EQ(entries[0].id, Id("QX11"));
  EXPECT_EQ(entries[1].score, -1) << "QX99 has a score but no data";
  EXPECT_FALSE(menu->GetPage(2, entries));
  EXPECT_FALSE(menu->ShowPage(2));
}

TEST_F(SongScores, ExitReportsZero) {
  Click(kExit);
  EXPECT_EQ(results, std::vector<int>{0});
}

TEST(SongScoresOfTheDemoGame, TheDemoSongsShowTheirTitles) {
  SystemData = TSystemData();
  SystemData.SetResult(0, 54321, "DEMO", 0, Id("QM01"));
  songfiles::CurrentFolder current{QORM_DEMO_GAME_DIR};
  GameWindow w;
  w.setup.gameFolder = QORM_DEMO_GAME_DIR;
  ASSERT_TRUE(w.Start());
  TSongScoreMenu menu(nullptr);
  ASSERT_TRUE(menu.Open());
  ASSERT_TRUE(menu.SetLevel(0));
  ASSERT_TRUE(menu.PanelBase(0)->GetVisible());
  ASSERT_NE(menu.PanelSong(0)->GetImage(), nullptr);
  EXPECT_EQ(menu.PanelSong(0)->GetImage()->GetWidth(), 224);
  EXPECT_FALSE(menu.PanelBase(1)->GetVisible());
  SystemData = TSystemData();
}

}  // namespace

// Label: threads
#include "shell/gamet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <iterator>
#include <string>

#include "shell/albummenu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/soundmenu.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

using gamethread::LoopWindow;
using gamewindow::GameWindow;

namespace {

GameWindow::Options WithGameThread() {
  GameWindow::Options o;
  o.gameThread = MakeGameThread;
  return o;
}

// Lets the game thread compose a frame: it paces "FULL" frames 3 ms apart on the test's clock.
void LetItRun(GameWindow& w) {
  const std::uint64_t before = w.form->GetComposedFrames();
  w.clock.WaitForSleepers(2);
  w.AdvanceMs(5, 2);
  ASSERT_TRUE(WaitFor([&] { return w.form->GetComposedFrames() > before; }));
}

std::string SettingsText(const GameWindow& w) {
  std::ifstream in(w.save.str() + "/BELVAR/QORM/QORM.ini");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// The close button asks in a window and Cancel keeps the game; OK ends the game thread, which saves the user's
// configuration and has the window close. The window waits for the thread with no lock held while the thread
// takes the game lock on its way out.
TEST(GameThread, KeepsTheFramesRunningAndEndsTheGameWhenAskedTo) {
  GameWindow w(WithGameThread());
  ASSERT_TRUE(w.Start());
  ASSERT_NE(w.form->GetGameThread(), nullptr);
  LetItRun(w);
  UserConfig.MesBoxTrans = 61;

  w.answer = false;
  w.form->Close();
  ASSERT_EQ(w.questions.size(), 1u);
  EXPECT_EQ(w.questions[0].text, "ゲームを終了しますか？");
  EXPECT_EQ(w.form->GetState(), 2);
  LetItRun(w);

  w.answer = true;
  WithinAMinute([&] {
    w.form->Close();
    w.AdvanceMs(5);
    ASSERT_TRUE(WaitFor([&] { return w.form->GetGameThread()->IsFinished(); }));
    w.RunMain();  // the close the thread asked for
  });
  EXPECT_TRUE(w.terminated);
  EXPECT_EQ(w.form->GetGameThread(), nullptr);
  EXPECT_NE(SettingsText(w).find("MesBoxTrans=61"), std::string::npos);
  EXPECT_TRUE(w.form->GetFatalError().empty());
  UserConfig = TUserConfig{};
}

// Full screen never asks; a quit request without a question (a termination signal) never asks either, also when
// it comes before the thread has begun.
TEST(GameThread, FullScreenAndTheSessionEndingNeverAsk) {
  for (bool fullScreen : {true, false}) {
    GameWindow w(WithGameThread());
    ASSERT_TRUE(w.Start());
    WithinAMinute([&] {
      if (fullScreen) {
        w.form->OnHotKey(2);
        w.form->Close();
      } else {
        w.form->RequestQuit(false);
      }
      w.AdvanceMs(5);
      ASSERT_TRUE(WaitFor([&] { return w.form->GetGameThread()->IsFinished(); }));
      w.RunMain();
    });
    EXPECT_TRUE(w.questions.empty());
    EXPECT_TRUE(w.terminated);
  }
}

// The window going away while the game thread still runs: the thread is told to end and waited for with no lock
// held, so it can take the game lock again on its way out.
TEST(GameThread, TheWindowWaitsForARunningGameThreadWithoutHoldingItsLock) {
  GameWindow w(WithGameThread());
  ASSERT_TRUE(w.Start());
  LetItRun(w);
  w.clock.WaitForSleepers(2);  // the thread waits in its frame, the game lock given up
  std::thread clockMover([&] {
    // Frames pace on the test's clock: keep it moving until the thread has gone.
    while (!w.terminated) w.clock.AdvanceMs(5);
  });
  WithinAMinute([&] { w.form.reset(); });
  clockMover.join();
  EXPECT_TRUE(w.terminated);
}

// An error in a frame drawn on the game thread ends the game; the locks the frame held are given back, so the
// window can close and keeps the error for the program's exit.
TEST(GameThread, AnErrorInAFrameOnTheGameThreadEndsTheGameAndTheWindowStillCloses) {
  GameWindow w(WithGameThread());
  ASSERT_TRUE(w.Start());
  struct Throwing {
    void Draw(TZoRGBBits*, VXRectSet*) { throw std::runtime_error("broken picture"); }
  } throwing;
  w.form->SetOnDrawUpdate(VXCallback2<Throwing, void, TZoRGBBits*, VXRectSet*>(&throwing, &Throwing::Draw));
  WithinAMinute([&] {
    w.clock.WaitForSleepers(2);
    w.AdvanceMs(5);
    ASSERT_TRUE(WaitFor([&] { return w.form->GetGameThread()->IsFinished(); }));
    w.RunMain();
  });
  EXPECT_TRUE(w.terminated);
  EXPECT_EQ(w.form->GetFatalError(), "broken picture");
}

// ---- The title loop -------------------------------------------------------------------------------------------

namespace {

bool SavedSystem(const LoopWindow& l) { return std::filesystem::exists(l.SaveFolder() + "/QMSys.sav"); }

// Leaves the title with the exit choice and waits for the game to end.
void ExitFromTitle(LoopWindow& l, int idle) {
  ASSERT_TRUE(l.AtTitle(idle));
  l.Choose(tcExit);
  ASSERT_TRUE(l.Finish());
  EXPECT_TRUE(l.w.terminated);
  EXPECT_TRUE(l.w.form->GetFatalError().empty()) << l.w.form->GetFatalError();
}

}  // namespace

// The album and the sound room open from the title and lead back to a new title screen, each published in its
// global while it is open; the exit choice ends the game with the system record written.
TEST(TitleLoop, OpensTheAlbumAndTheSoundRoomAndComesBackToTheTitle) {
  LoopWindow l(QORM_DEMO_GAME_DIR);
  ASSERT_TRUE(l.Start());
  ASSERT_TRUE(l.AtTitle(1));
  const std::uint32_t title = l.w.Pixel(320, 20);  // as the title screen is presented

  const struct {
    int choice;
    const char* panel;
    const char* exit;
    const void* (*global)();
  } visits[] = {{tcAlbum, "AlbumPanel", "ExitBtn", []() -> const void* { return AlbumMenu; }},
                {tcSoundRoom, "SoundPanel", "BtnEnd", []() -> const void* { return SoundMenu; }}};
  int idle = 1;
  EXPECT_FALSE(SavedSystem(l));
  for (const auto& v : visits) {
    SCOPED_TRACE(v.panel);
    l.Choose(v.choice);
    EXPECT_EQ(v.global(), nullptr);
    ASSERT_TRUE(l.Showing(v.panel));
    EXPECT_NE(v.global(), nullptr);
    EXPECT_TRUE(l.Until([&] { return l.w.Pixel(320, 20) != title; }));
    l.ClickOn(v.exit);
    ASSERT_TRUE(l.AtTitle(++idle));
    EXPECT_EQ(v.global(), nullptr);
    EXPECT_TRUE(l.Until([&] { return l.w.Pixel(320, 20) == title; }));
    EXPECT_TRUE(SavedSystem(l));  // after every choice
  }
  ExitFromTitle(l, idle);
  // One title screen for each visit of the title.
  EXPECT_EQ(l.s.journal.Text(), "title title release title title release title title release");
}

// The title left idle plays the opening movie of the game folder (not of the program's folder, which holds none
// here), and a click on it comes back to the title.
TEST(TitleLoop, TheIdleTitlePlaysTheOpeningMovieOfTheGameFolder) {
  LoopWindow l(QORM_DEMO_GAME_DIR);
  ASSERT_TRUE(l.Start());
  ASSERT_TRUE(l.AtTitle(1));
  l.Choose(tcIdle);
  ASSERT_TRUE(l.Until([&] { return l.Has("MoviePanel"); }));
  l.ClickOn("MoviePanel");
  ExitFromTitle(l, 2);
}

// A title that cannot open (its files missing from the game folder) ends the game as an error that names it, where
// a quiet end would tell the player nothing and report success.
TEST(TitleLoop, ATitleThatCannotOpenEndsTheGameAsAnError) {
  LoopWindow l(QORM_DEMO_GAME_DIR);
  l.s.titleOpens = false;
  ASSERT_TRUE(l.Start());
  ASSERT_TRUE(l.Finish());
  EXPECT_TRUE(l.w.terminated);
  EXPECT_EQ(l.w.form->GetFatalError(),
            "the title screen could not be opened: its files in the game folder are missing or damaged");
  EXPECT_EQ(l.s.titleIdles.load(), 0);
}

// The configuration screen opens inside the title sequence and comes back to the same title screen, with the
// settings file written on leaving it; the load screen left without loading comes back to it as well.
TEST(TitleLoop, ConfigurationAndLoadScreensComeBackToTheSameTitle) {
  LoopWindow l(QORM_DEMO_GAME_DIR);
  ASSERT_TRUE(l.Start());
  ASSERT_TRUE(l.AtTitle(1));
  const std::string settings = l.SaveFolder() + "/QORM.ini";
  std::filesystem::remove(settings);

  l.Choose(tcConfig);
  ASSERT_TRUE(l.Showing("ConfigPanel"));
  l.ClickOn("BtnExit");
  ASSERT_TRUE(l.AtTitle(2));
  EXPECT_TRUE(std::filesystem::exists(settings));

  l.Choose(tcLoad);
  ASSERT_TRUE(l.Showing("SaveMenuWin"));
  l.ClickOn("CloseButton");
  ASSERT_TRUE(l.AtTitle(3));

  EXPECT_EQ(l.s.journal.Count("title"), 1);  // still the first title screen
  ExitFromTitle(l, 3);
}

// Free play: the song select, the song, the unlock of the song's successor at 60 % of its reference score (only
// for a song played by hand and not stopped), and a name for a score above the level's best (only for a cleared
// song played by hand; an equal score changes nothing).
TEST(TitleLoop, FreePlayUnlocksSongsAndTakesNewBestScores) {
  const TSongID qm01{'Q', 'M', '0', '1'};
  const struct {
    const char* name;
    int score;
    bool autoPlay;
    int result;
    int best;  // stored before
    bool unlocked, named;
    int stored;
  } cases[] = {
      {"threshold", 52260, false, 0, 0, true, true, 52260},
      {"one short", 52259, false, 0, 0, false, true, 52259},
      {"auto-play", 60000, true, 0, 0, false, false, 0},
      {"stopped", 60000, false, 2, 0, false, false, 0},
      {"failed", 60000, false, 1, 0, false, false, 0},
      {"equal best", 52260, false, 0, 52260, true, false, 52260},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoopWindow l(QORM_DEMO_GAME_DIR);
    l.s.score = c.score;
    l.s.musicResult = c.result;
    const int best = c.best;
    const bool autoPlay = c.autoPlay;
    l.s.onTitleInit = [best, autoPlay, qm01] {
      SystemData = TSystemData{};
      if (best > 0) SystemData.SetResult(0, best, "OLD", 0x00FFFFFFu - best, qm01);
      UserConfig.MusicAutoMode = autoPlay ? 1 : 0;
      UserConfig.MusicRankMode = 0;
    };
    ASSERT_TRUE(l.Start());
    ASSERT_TRUE(l.AtTitle(1));
    l.Choose(tcFreePlay);
    ASSERT_TRUE(l.Showing("SelectPanel"));
    l.s.select = 0;
    l.ClickOn("SelectPanel");
    if (c.named) {
      ASSERT_TRUE(l.Showing("NamePanel"));
      l.ClickOn("NamePanel");
    }
    ASSERT_TRUE(l.Until([&] { return l.s.journal.Count("music close") == 1; }));
    ASSERT_TRUE(l.Showing("SelectPanel"));
    l.s.select = 1;  // leave
    l.ClickOn("SelectPanel");
    ExitFromTitle(l, 2);

    EXPECT_EQ(SystemData.GetFlag(61), c.unlocked);
    EXPECT_EQ(l.s.journal.Count("name " + std::to_string(c.score)), c.named ? 1 : 0);
    EXPECT_EQ(SystemData.GetScore(0, qm01), c.stored);
    if (c.named) {
      EXPECT_STREQ(SystemData.GetRankName(0, qm01).c_str(), "ABC");
    }
    ASSERT_EQ(l.s.musicOptions.size(), 1u);
    EXPECT_EQ(l.s.musicOptions[0].autoMode, c.autoPlay ? 1 : 0);
    EXPECT_EQ(l.s.musicOptions[0].eventNumber, 0);
  }
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
}

// Choices whose screens the program does not have lead back to the title; the best scores show the user's level.
TEST(TitleLoop, ChoicesWithoutTheirScreenComeBackToTheTitle) {
  LoopWindow l(QORM_DEMO_GAME_DIR, [](TGameUnits&, TFrontScreens& screens, gamethread::Script&) {
    screens.songSelect = nullptr;
  });
  ASSERT_TRUE(l.Start());
  int idle = 1;
  for (int choice : {tcFreePlay, tcRanking}) {
    ASSERT_TRUE(l.AtTitle(idle++));
    l.Choose(choice);
  }
  ASSERT_TRUE(l.AtTitle(idle++));
  l.Choose(tcBestScores);
  ASSERT_TRUE(l.Showing("ScorePanel"));
  l.ClickOn("ScorePanel");
  ExitFromTitle(l, idle);
  EXPECT_EQ(l.s.journal.Count("select"), 0);
  EXPECT_EQ(l.s.journal.Count("scores 0"), 1);
  EXPECT_EQ(l.s.journal.Count("scores close"), 1);
}

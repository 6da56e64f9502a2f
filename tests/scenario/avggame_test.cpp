// The adventure as the game makes it (real stage, game commands and screens) in the real game window on the demo
// game: a small scene assembled here runs every stage transition and weather, shakes and moves characters, then asks
// for a demo song, which the music game plays by itself, and goes on with the gauge on the script's stack. Frames
// are stepped by hand on the manual clock; the song's audio is mixed by hand for the same time.
// Label: threads
#include "scenario/avggame.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "device/dinputu.h"
#include "device/zodsound.h"
#include "music/clockedsound.h"
#include "music/musicu.h"
#include "music/songfiles.h"
#include "scenario/fixture.h"
#include "scenario/stageu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"
#include "shell/pconfigmenu.h"
#include "shell/psavemenu.h"
#include "shell/savefile.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

namespace {

namespace fs = std::filesystem;
using gamewindow::GameWindow;

const fs::path kDemoGame = QORM_DEMO_GAME_DIR;

// Weather code and picture for each transition in turn: every weather kind of the stage comes up (0 none, 1 rain,
// 2 snow, 3 scratches, 4 monochrome, 5 rain seen from inside, 6 rain in perspective, 7 heavy rain, 8 snow seen from
// inside), and the picture or the weather changes every time.
struct Scene {
  int weather, picture;
};
constexpr Scene kScenes[] = {{0, 100}, {1, 120}, {2, 120}, {2, 2120}, {2, 3120},
                             {2, 1100}, {3, 120}, {3, 1100}, {4, 100}, {5, 120}};
constexpr int kTransitions = 30;

std::string DemoScript() {
  std::string s =
      "script 1\nscene \"demo\" main\nfunction main\n"
      "    SetTextSpeed 0\n    SetTime 1200\n    ShowCharacter 1, 1, 0\n";
  for (int t = 1; t <= kTransitions; ++t) {
    const Scene& scene = kScenes[(t - 1) % std::size(kScenes)];
    s += "    SetSceneParam " + std::to_string(scene.weather) + "\n";
    s += "    ShowPicture " + std::to_string(scene.picture) + ", " + std::to_string(t) + "\n";
  }
  s += "    SetSceneParam 0\n    ShowPicture 120, 0\n";
  for (int shake = 0; shake <= 4; ++shake) s += "    StageEffect " + std::to_string(shake) + "\n";
  s += "    ShowCharacter 11, 0, 2\n    HideCharacter 0, 2\n"
       "    Message \"歌の時間だ。\"\n    WaitClick\n"
       "    Push 5\n    RequestMusicGame 1\n    SetVar\n    EndScript\n";
  return s;
}

class GameAdventure : public ::testing::Test {
protected:
  void SetUp() override {
    ClearGameRecords();
    // The demo game's data, with the scene's script beside it.
    for (const char* name : {"Game.pak", "EvBG.pak", "EvCG.pak", "EvSE.pak", "BGM", "Song", "Voice"})
      fs::create_symlink(kDemoGame / name, w.game.path() / name);
    WriteScripts(w.game, DemoScript());
    cwd = std::make_unique<songfiles::CurrentFolder>(w.game.path());  // songs are found from the game folder
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int result) { results.push_back(result); });
    adventure = std::make_unique<TAdventure>();
    ASSERT_TRUE(adventure->Open());
  }

  void TearDown() override {
    if (w.form) {
      w.form->SetOnFrame({});
      w.form->SetOnFrameInput({});
    }
    adventure.reset();
  }

  // As the game thread enters the adventure: its panel on the screen, the adventure state.
  void Enter() {
    w.form->AttachPanel(adventure->Host().AvgPanel);
    w.form->SetResultPending(false);
    w.form->BeginAdventureMode();
  }
  void Leave() { w.form->DetachPanel(adventure->Host().AvgPanel); }

  // One adventure frame; what the stage shows is noted.
  void Frame() {
    adventure->Host().AdventureFrame(1);
    w.Step(33);
    w.Presented();
    const TStageUnit& stage = adventure->Stage();
    if (stage.GetMode() == TStageUnit::smTransition) effects.insert(stage.GetEffectKind());
    if (stage.GetMode() == TStageUnit::smShake) shakes.insert(stage.GetShakeKind());
    weathers.insert(stage.GetBGStat(0).weatherKind);
    if (adventure->Stage().IsBusy()) ++busyFrames;
  }

  // Frames until the window hands over a result, answering click waits; false after `most` frames.
  bool RunToResult(int most) {
    const std::size_t before = results.size();
    for (int i = 0; i < most && results.size() == before; ++i) {
      if (adventure->Host().GetStep() == TAvgUnit::stClick) adventure->Host().Advance();
      Frame();
    }
    return results.size() > before;
  }

  // The music game as the game thread runs it, playing by itself: frames 30, 35 and 35 ms apart with the song's
  // audio mixed for the same time.
  bool PlaySong(const TSceneMusic& music, int& result, int& gauge) {
    clockedsound::ClockedSound sound(*w.form, w.clock, 0);
    TMusicUnit unit(nullptr);
    unit.SetAutoMode(1);
    unit.SetEventNumber(music.eventNumber);
    song = std::string(music.song.data(), music.song.size());
    if (!unit.Open(FileMan, music.song)) return false;
    w.form->AttachPanel(unit.MusicPanel);
    w.form->SetOnFrameInput(VXCallback2<TMusicUnit, void, int, TDInputUnit*>(&unit, &TMusicUnit::MusicProc));
    w.form->BeginMusicMode();
    w.form->SetResultPending(false);
    unit.Start();
    const std::size_t before = results.size();
    static constexpr int kCadence[3] = {30, 35, 35};
    std::uint64_t mixed = 0, ms = 0;
    for (int i = 0; i < 20000 && results.size() == before; ++i) {
      ms += kCadence[i % 3];
      const std::uint64_t target = ms * 441 / 10;
      sound.Sink().Pump(static_cast<std::uint32_t>(target - mixed));
      mixed = target;
      if (DirectX::TDSoundStream* stream = unit.GetSongStream())
        if (DirectX::TDSoundThread* thread = stream->GetNotifyThread())
          EXPECT_TRUE(WaitFor([thread] { return thread->IsIdle(); }));
      w.AdvanceMs(kCadence[i % 3]);
      w.Frame();
      w.Presented();
    }
    w.form->SetOnFrameInput({});
    w.form->DetachPanel(unit.MusicPanel);
    EXPECT_GT(results.size(), before) << "the song never ended";
    result = results.size() > before ? results.back() : 2;
    gauge = unit.GetGauge();
    unit.Stop();
    unit.Close();
    return true;
  }

  GameWindow w;
  std::unique_ptr<songfiles::CurrentFolder> cwd;
  std::unique_ptr<TAdventure> adventure;
  std::vector<int> results;
  std::set<int> effects, shakes, weathers;
  int busyFrames = 0;
  std::string song;
};

TEST_F(GameAdventure, ADemoSceneShowsEveryTransitionAndWeatherThenPlaysItsSongAndGoesOnWithTheGauge) {
  Enter();
  ASSERT_TRUE(adventure->Host().StartScene(VXString("demo")));
  ASSERT_TRUE(RunToResult(6000));
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfMusicGame});
  EXPECT_EQ(GameState.GetSceneMode(), 4);
  // Every kind of transition ran, every weather came up, every shake and the flash.
  EXPECT_EQ(effects, (std::set<int>{ekCrossFade, ekCrossFadeFast, ekMaskEdge, ekScrollUp, ekScrollDown, ekScrollRight,
                                    ekScrollLeft, ekZoomIn, ekShrink, ekWater, ekHalation, ekMask}));
  EXPECT_EQ(weathers, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(shakes, (std::set<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(adventure->Stage().GetShownChar(1), 1);  // the one left over closed up to the centre

  // The game thread plays the song of the request and resumes the adventure with its answer.
  Leave();
  PlaySceneMusic(*adventure, true, [this](const TSceneMusic& music, int& result, int& gauge) {
    return PlaySong(music, result, gauge);
  });
  EXPECT_EQ(song, "QM01");
  const int answer = GameState.GetRequestAnswer();
  EXPECT_GE(answer, TMusicUnit::kGaugeClear);
  EXPECT_TRUE(adventure->IsOpen());
  EXPECT_EQ(adventure->Stage().GetShownBG(), 120);  // the scene came back as it was
  // The song was cleared (0); the resumed script took the answer from the stack at once and ended (0).
  EXPECT_EQ(results, (std::vector<int>{TAvgUnit::nfMusicGame, 0, TAvgUnit::nfEnded}));
  EXPECT_EQ(GameState.GetVar(5), answer);
  EXPECT_FALSE(adventure->Host().IsRunning());
}

// The reader's screens: the save screen saves and stays open (its "done" is not a load), the configuration screen
// comes and goes, the load screen loads and the adventure hands over; without a question the exit asks nothing.
TEST_F(GameAdventure, TheScreensOpenFromTheAdventureSaveWithoutLeavingItAndLoadHandsOver) {
  adventure->Close();
  WriteScripts(w.game, "script 1\nscene \"wait\" main\nfunction main\n    WaitClick\n    EndScript\n");
  ASSERT_TRUE(adventure->Open());
  Enter();
  TAvgUnit& host = adventure->Host();
  ASSERT_TRUE(host.StartScene(VXString("wait")));
  ASSERT_EQ(host.GetStep(), TAvgUnit::stClick);
  TAvgGameScreens& screens = adventure->Screens();

  ASSERT_TRUE(host.OpenScreen(TAvgScreens::skSave));
  TSaveMenu& save = *screens.Save();
  save.SaveDataMouseDown(save.SaveData2, mbLeft, {}, 0, 0);
  save.SaveButtonClick(nullptr);
  EXPECT_TRUE(fs::exists(fs::path(GetSaveFolderHost()) / SlotFileName(2)));
  EXPECT_TRUE(results.empty());  // a save is not a load
  EXPECT_EQ(host.GetOverlay(), TAvgUnit::ovScreen);
  save.CloseButtonClick(nullptr);
  EXPECT_EQ(host.GetOverlay(), TAvgUnit::ovNone);

  ASSERT_TRUE(host.OpenScreen(TAvgScreens::skConfig));
  EXPECT_TRUE(screens.Config()->IsOpen());
  screens.Config()->BtnExitClick(nullptr);
  EXPECT_EQ(host.GetOverlay(), TAvgUnit::ovNone);
  EXPECT_FALSE(screens.Config()->IsOpen());

  EXPECT_FALSE(host.OpenScreen(TAvgScreens::skExitConfirm));

  ASSERT_TRUE(host.OpenScreen(TAvgScreens::skLoad));
  save.SaveDataMouseDown(save.SaveData2, mbLeft, {}, 0, 0);
  save.LoadButtonClick(nullptr);
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfLoaded});
  EXPECT_FALSE(host.IsRunning());
  EXPECT_EQ(host.GetOverlay(), TAvgUnit::ovNone);
}

TEST(SceneMusic, TheRequestNamesSongAndEventAndTheResultGivesTheAnswer) {
  const TSceneMusic music = SceneMusicOf(1203);
  EXPECT_EQ(std::string(music.song.data(), 4), "QM03");
  EXPECT_EQ(music.eventNumber, 13);
  EXPECT_EQ(SceneMusicOf(5).eventNumber, 1);
  EXPECT_EQ(std::string(SceneMusicOf(5).song.data(), 4), "QM05");
  EXPECT_EQ(SceneMusicOf(-1).song[0], 'Q');
  EXPECT_EQ(SceneMusicAnswer(0, 45, false), 45);
  EXPECT_EQ(SceneMusicAnswer(1, 12, true), 12);
  EXPECT_EQ(SceneMusicAnswer(2, 30, true), 59);  // stopped while playing itself
  EXPECT_EQ(SceneMusicAnswer(2, 30, false), 0);
}

}  // namespace

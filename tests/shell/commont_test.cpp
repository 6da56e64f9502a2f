// Label: threads
#include "shell/commont.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/gamet.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"

using gamethread::ColourScreen;
using gamethread::LoopWindow;
using gamethread::Script;

namespace {

TEST(SongIds, FourCharactersInUpperCaseOrNothing) {
  const struct {
    const char* text;
    TSongID id;
  } cases[] = {
      {"qm03", {'Q', 'M', '0', '3'}}, {"QM01", {'Q', 'M', '0', '1'}}, {"QM1", {}}, {"QM001", {}}, {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToSongId(c.text), c.id) << c.text;
}

TEST(SongIds, SceneRequestsNameSongAndEvent) {
  const struct {
    int request;
    TSongID song;
    int eventNumber;
  } cases[] = {
      {1203, {'Q', 'M', '0', '3'}, 13},
      {5, {'Q', 'M', '0', '5'}, 1},
      {199, {'Q', 'M', '9', '9'}, 2},
  };
  for (const auto& c : cases) {
    const TSceneMusic m = DecodeSceneMusic(c.request);
    EXPECT_EQ(m.song, c.song) << c.request;
    EXPECT_EQ(m.eventNumber, c.eventNumber) << c.request;
  }
}

// The adventure host: each run answers its first frame with the next of `answers` (1 asks for the scene music
// `request`); the journal hears what the loop asked of it.
struct Story {
  std::vector<int> answers;
  std::size_t next = 0;  // game thread
  int request = 1203;
};

class FakeAdventure final : public TAdventureHost {
public:
  FakeAdventure(Script& s, Story& story) : s_(s), story_(story), screen_("AvgPanel", 0x404040, [] { return 0; }) {}
  bool Open(TConfigMenu* config, TSaveMenu* save) override {
    s_.journal.Add(config != nullptr && save != nullptr ? "open" : "open without screens");
    return true;
  }
  void Close() override { s_.journal.Add("close"); }
  bool StartScene(const VXString& label) override {
    s_.journal.Add("start " + std::string(label.c_str()));
    running_ = true;
    return true;
  }
  void ResumeLoaded() override {
    s_.journal.Add("loaded");
    running_ = true;
  }
  void ResumeCurrent() override {
    s_.journal.Add("resume " + std::to_string(GameState.GetRequestAnswer()));
    running_ = true;
  }
  bool IsRunning() override { return running_; }
  TZoRGBPanel* GetPanel() override { return screen_.Panel(); }
  TFrameHook GetFrameProc() override { return VXCallback1<FakeAdventure, void, int>(this, &FakeAdventure::Frame); }

private:
  void Frame(int) {
    if (!running_ || story_.next >= story_.answers.size()) return;
    const int answer = story_.answers[story_.next++];
    if (answer == 1) GameState.SetRequestArg(story_.request);
    running_ = false;
    NotifyMainThread(answer);
  }
  Script& s_;
  Story& story_;
  ColourScreen screen_;
  bool running_ = false;
};

// A title loop on the demo game with the fake adventure playing `story`.
class Adventure : public ::testing::Test {
protected:
  ~Adventure() override {
    UserConfig = TUserConfig{};
    SystemData = TSystemData{};
    GameState = TGameState{};
    MusicForceAuto = 0;
  }
  static std::unique_ptr<LoopWindow> Window(Story& story) {
    return std::make_unique<LoopWindow>(QORM_DEMO_GAME_DIR, [&story](TGameUnits& units, TFrontScreens&, Script& s) {
      units.adventure = [&story, &s](TGameForm&) { return std::make_unique<FakeAdventure>(s, story); };
    });
  }
  static bool SavedSystem(const LoopWindow& l) { return std::filesystem::exists(l.SaveFolder() + "/QMSys.sav"); }
  // Everything the journal heard from the first entry `from` on.
  static std::string After(const LoopWindow& l, const std::string& from) {
    const std::string text = l.s.journal.Text();
    const std::size_t at = text.find(from);
    return at == std::string::npos ? "(no " + from + " in: " + text + ")" : text.substr(at);
  }
};

// The scenario's music game: the adventure closes for it, the song and event come from the request, the options
// from the user's configuration, and the gauge goes back to the reopened adventure; only a cleared or failed play
// reports its gauge, a stopped one 59 when auto-play was asked for and 0 otherwise; a forced auto-play plays
// itself whatever the scenario asked; a play that cannot open answers 0 and the adventure goes on all the same.
TEST_F(Adventure, SceneMusicPlaysTheRequestedSongAndAnswersWithTheGauge) {
  const struct {
    const char* name;
    int result;
    bool opens, avgAuto, forced;
    int answer;
  } cases[] = {
      {"cleared", 0, true, false, false, 45},      {"failed", 1, true, false, false, 45},
      {"stopped, auto", 2, true, true, false, 59}, {"stopped", 2, true, false, false, 0},
      {"forced auto", 2, true, false, true, 0},    {"cannot open", 0, false, false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Story story;
    story.answers = {1, 0};
    std::unique_ptr<LoopWindow> l = Window(story);
    l->s.musicResult = c.result;
    l->s.musicOpens = c.opens;
    l->s.gauge = 45;
    MusicForceAuto = c.forced ? 1 : 0;
    const bool avgAuto = c.avgAuto;
    l->s.onTitleInit = [avgAuto] {
      UserConfig.AvgAutoMode = avgAuto ? 1 : 0;
      UserConfig.MusicRankMode = 1;
    };
    ASSERT_TRUE(l->Start());
    ASSERT_TRUE(l->AtTitle(1));
    l->Choose(tcStart);
    ASSERT_TRUE(l->AtTitle(2));
    l->Choose(tcExit);
    ASSERT_TRUE(l->Finish());
    EXPECT_EQ(After(*l, "open"), "open start GameStart close music QM03 music close open resume " +
                                     std::to_string(c.answer) + " close title title release");
    ASSERT_EQ(l->s.musicOptions.size(), 1u);
    EXPECT_EQ(l->s.musicOptions[0].eventNumber, 13);
    EXPECT_EQ(l->s.musicOptions[0].rank, 1);
    EXPECT_EQ(l->s.musicOptions[0].autoMode, c.avgAuto || c.forced ? 1 : 0);
    MusicForceAuto = 0;
  }
}

// A load inside the adventure resumes the loaded state; an answer the host never sends ends the adventure; the
// extra story starts from its own label; the player's quit ends the game with the records written.
TEST_F(Adventure, LoadedGamesResumeUnknownAnswersEndAndQuitEndsTheGame) {
  Story story;
  story.answers = {4, 9, 5};
  std::unique_ptr<LoopWindow> l = Window(story);
  ASSERT_TRUE(l->Start());
  ASSERT_TRUE(l->AtTitle(1));
  l->Choose(tcStart);
  ASSERT_TRUE(l->AtTitle(2));
  l->Choose(tcExtra);
  ASSERT_TRUE(l->Finish());
  EXPECT_EQ(After(*l, "open"), "open start GameStart loaded close title title release open start Extra close");
  EXPECT_TRUE(SavedSystem(*l));
  EXPECT_TRUE(l->w.terminated);
  EXPECT_TRUE(l->w.form->GetFatalError().empty());
}

// The game ending while the scenario's music game plays: the adventure is not opened again on the way out, and
// the records are written as at any end of the game.
TEST_F(Adventure, TheGameEndingDuringSceneMusicDoesNotReopenTheAdventure) {
  Story story;
  story.answers = {1};
  std::unique_ptr<LoopWindow> l = Window(story);
  l->s.musicResult = -1000;  // the fake never answers: the play goes on until the game ends
  ASSERT_TRUE(l->Start());
  ASSERT_TRUE(l->AtTitle(1));
  l->Choose(tcStart);
  ASSERT_TRUE(l->Until([&] { return l->w.form->GetState() == 4; }));
  ASSERT_TRUE(l->End());
  EXPECT_EQ(After(*l, "open"), "open start GameStart close music QM03 music close");
  EXPECT_TRUE(SavedSystem(*l));
  EXPECT_TRUE(l->w.form->GetFatalError().empty());
}

// Any other exception ends the game too, but as an error kept for the program's exit (never silently), and
// without writing the records.
TEST_F(Adventure, OtherExceptionsEndTheGameAsAnErrorWithoutSaving) {
  const struct {
    const char* name;
    std::function<void()> fail;
    const char* error;
  } cases[] = {
      {"standard", [] { throw std::runtime_error("broken title"); }, "broken title"},
      {"unknown", [] { throw 7; }, "the game thread ended by an unknown exception"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Story story;
    std::unique_ptr<LoopWindow> l = Window(story);
    l->s.onTitleInit = c.fail;
    ASSERT_TRUE(l->Start());
    ASSERT_TRUE(l->Finish());
    EXPECT_EQ(l->w.form->GetFatalError(), c.error);
    EXPECT_FALSE(SavedSystem(*l));
    EXPECT_FALSE(std::filesystem::exists(l->SaveFolder() + "/QORM.ini"));
  }
}

}  // namespace

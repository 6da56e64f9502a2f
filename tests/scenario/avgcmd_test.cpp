// The script's game commands against a recording host: the real adventure host and text windows in the game window,
// a stage and a sound service that record what they are asked. Each command is run as the machine runs it: its
// arguments pushed, the command called through the host, its result read from the value stack.
// Label: threads
#include "scenario/avgcmd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/vxsharedrandom.h"
#include "scenario/fixture.h"
#include "scenario/scrdef.h"
#include "scenario/subwinpics.h"
#include "scenario/subwinu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;
using subwinpics::Sjis;

namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : "; ") + item;
  return text;
}

// A stage that writes down what the host asks of it.
class RecordingStage : public TAvgStage {
public:
  std::vector<std::string>& log;
  bool busy = false;
  explicit RecordingStage(std::vector<std::string>& l) : log(l) {}

  void Attach(TZoRGBPanel*) override {}
  void Detach() override {}
  void SetDayPeriod(int) override {}
  void SetWeatherCode(int code) override { weather = code; }
  void SetStageLevel(int level) override { this->level = level; }
  void SetBGCode(int p) override { picture = p; }
  void SetChars(const int* n, int kind) override {
    chars = std::to_string(n[0]) + "," + std::to_string(n[1]) + "," + std::to_string(n[2]) + "/" + std::to_string(kind);
  }
  bool ChangeStage(int transition, int rate) override {
    log.push_back("stage " + std::to_string(picture) + " " + chars + " w" + std::to_string(weather) + " l" +
                  std::to_string(level) + " t" + std::to_string(transition) + "@" + std::to_string(rate));
    return busy;
  }
  bool ChangeChars() override {
    log.push_back("move " + chars);
    return busy;
  }
  bool StartEffect(int effect) override {
    log.push_back("effect " + std::to_string(effect));
    return busy;
  }
  void SetTalk(int slot, bool on) override { log.push_back("talk " + std::to_string(slot) + (on ? " on" : " off")); }
  void SetSimpleDisplay(bool) override {}
  void Update(int, bool, bool) override {}
  bool IsBusy() const override { return busy; }
  TZoRGBBits* GetPicture() override { return nullptr; }

private:
  int picture = -1, weather = 0, level = 0;
  std::string chars;
};

class RecordingSound : public TAvgSoundCalls {
public:
  std::vector<std::string>& log;
  explicit RecordingSound(std::vector<std::string>& l) : log(l) {}
  static std::string Flag(bool on, const char* name) { return on ? std::string(" ") + name : ""; }
  void PlayBgm(int track, bool loop, bool fade) override {
    log.push_back("bgm " + std::to_string(track) + Flag(loop, "loop") + Flag(fade, "fade"));
  }
  void StopBgm(bool fade) override { log.push_back("stop bgm" + Flag(fade, "fade")); }
  void SetBgmRate(int rate) override { log.push_back("bgm rate " + std::to_string(rate)); }
  void SetVoiceRate(int rate) override { log.push_back("voice rate " + std::to_string(rate)); }
  void StopSe() override { log.push_back("stop se"); }
  void SetSeRate(int rate) override { log.push_back("se rate " + std::to_string(rate)); }
  void StopLoopSe(bool fade) override { log.push_back("stop loop" + Flag(fade, "fade")); }
  void SetLoopSeRate(int rate) override { log.push_back("loop rate " + std::to_string(rate)); }
  void PlayExtraSound(int n) override { log.push_back("extra " + std::to_string(n)); }
  void StopExtraSound() override { log.push_back("stop extra"); }
  void SetExtraSoundRate(int rate) override { log.push_back("extra rate " + std::to_string(rate)); }
  void ShowCursor(bool on) override { log.push_back(on ? "cursor on" : "cursor off"); }
};

class Commands : public ::testing::Test {
protected:
  void SetUp() override {
    ClearGameRecords();
    subwinpics::WritePictures(w.game);
    w.game.Write("Game_Pak/SpeakTbl.csv", ",#pic,#speaker,!\n#,3,1\n#,4,2\n!\n");
    // The script's texts are numbered in the order they appear: 1 "一つ目", 2 "二つ目", 3 "%v1本".
    WriteScripts(w.game,
                 "script 1\nscene \"test\" main\nfunction main\n    WaitClick\n"
                 "    Message \"一つ目\"\n    Message \"二つ目\"\n    Message \"%v1本\"\n    EndScript\n");
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int result) { results.push_back(result); });
    host = std::make_unique<TAvgUnit>(nullptr);
    host->SetCommands(&commands);
    host->SetStage(&stage);
    ASSERT_TRUE(host->Open());
    w.form->AttachPanel(host->AvgPanel);
    w.form->BeginAdventureMode();
    ASSERT_TRUE(host->StartScene(Sjis("test")));
    ASSERT_EQ(host->GetStep(), TAvgUnit::stClick);
    log.clear();
    GameState.ClearValueStack();
    GameState.SetSceneMode(0);
  }

  void TearDown() override { host.reset(); }

  // Pushes the arguments, runs the command by name through the host, and gives back what it left on the stack.
  std::vector<int> Run(const char* name, const std::vector<int>& args = {}) {
    const int opcode = scrdef::FindOpcode(name);
    EXPECT_GE(opcode, scrdef::opFirstCommand) << name;
    for (int a : args) GameState.PushValue(a);
    host->RunCommand(*host->Engine(), opcode);
    std::vector<int> left;
    while (GameState.GetValueCount() > 0) left.insert(left.begin(), GameState.PopValue());
    return left;
  }

  GameWindow w;
  std::vector<std::string> log;
  RecordingStage stage{log};
  RecordingSound sound{log};
  TAvgGameCommands commands{&sound};
  std::unique_ptr<TAvgUnit> host;
  std::vector<int> results;
};

// ---- Every command by a table ---------------------------------------------------------------------------------

struct Row {
  const char* name;
  std::vector<int> args;
  std::string calls;  // what the stage and the sound service were asked, in order
  std::vector<int> left = {};
};

TEST_F(Commands, EachCommandPopsItsArgumentsAndReachesTheStageAndTheSoundService) {
  const Row rows[] = {
      {"SetVoiceRate", {40}, "voice rate 40"},
      {"SetVoiceRate", {101}, ""},
      {"StartBgm", {3, 1}, "bgm 3 loop fade"},
      {"StartBgm", {4, 0}, "bgm 4 loop"},
      {"EndBgm", {1}, "stop bgm fade"},
      {"SetBgmRate", {70}, "bgm rate 70"},
      {"SetBgmRate", {-1}, ""},
      {"StartBgmOnce", {5, 0}, "bgm 5"},
      {"EndBgm2", {0}, "stop bgm"},
      {"SetBgmRate2", {0}, "bgm rate 0"},
      {"StopSe", {}, "stop se"},
      {"SetSeRate", {100}, "se rate 100"},
      {"StopLoopSe", {1}, "stop loop fade"},
      {"SetLoopSeRate", {20}, "loop rate 20"},
      {"SetExtraSoundRate", {55}, "extra rate 55"},
      {"FadeInBgm", {6}, "bgm 6 loop fade"},
      {"FadeOutBgm", {}, "stop bgm fade"},
      {"FadeInBgmOnce", {7}, "bgm 7 fade"},
      {"FadeOutBgm2", {}, "stop bgm fade"},
      {"FadeOutLoopSe", {}, "stop loop fade"},
      {"HideCursor", {}, "cursor off"},
      {"HideCursor", {}, ""},
      {"ShowCursor", {}, "cursor on"},
      {"SetPicture", {101}, ""},
      {"ShowStage", {5}, "stage 101 -1,-1,-1/0 w0 l2 t5@100"},
      {"SetStageEffectSpeed", {0}, ""},
      {"ShowPicture", {120, 2}, "stage 120 -1,-1,-1/0 w0 l2 t2@1"},
      {"ShowPicture", {121, 2}, "stage 121 -1,-1,-1/0 w0 l2 t2@100"},
      {"SetPicture998", {}, ""},
      {"ShowStage", {0}, "stage 998 -1,-1,-1/0 w0 l2 t0@100"},
      {"ShowPicture999", {3}, "stage 999 -1,-1,-1/0 w0 l2 t3@100"},
      {"SetPicture999", {}, ""},
      {"ShowPicture998", {4}, "stage 998 -1,-1,-1/0 w0 l2 t4@100"},
      {"SetCharacter", {3, 1}, ""},
      {"ShowCharacter", {11, 0, 2}, "move 11,-1,3/2"},
      {"HideCharacter", {0, 2}, "move -1,3,-1/1"},
      {"ShowCharacter", {21, 2, 0}, "stage 998 3,-1,21/1 w0 l2 t0@100"},
      {"ClearCharacter", {1}, ""},
      {"ShowCharacter", {4, 1, 1}, "stage 998 3,4,21/0 w0 l2 t2@100"},
      {"ShiftCharactersRight", {}, "move -1,3,4/2"},
      {"ShiftCharactersLeft", {}, "move 3,4,-1/1"},
      {"RedrawCharacters", {}, "move 3,4,-1/3"},
      {"ClearCharacters", {}, "move -1,-1,-1/4"},
      {"StageEffect", {2}, "effect 2"},
      {"SetSceneParam", {3}, ""},
      {"GetSceneParam", {}, "", {3}},
      {"SetSceneParam", {6}, ""},
      {"GetSceneParam", {}, "", {3}},
      {"SetStageValue", {120}, ""},
      {"GetStageValue", {}, "", {120}},
      {"GetStageLevel", {}, "", {2}},
      {"SetDate", {1224}, ""},
      {"GetDate", {}, "", {1224}},
      {"GetMonth", {}, "", {12}},
      {"GetDay", {}, "", {24}},
      {"SetTime", {1905}, ""},
      {"GetTime", {}, "", {1905}},
      {"GetHour", {}, "", {19}},
      {"GetMinute", {}, "", {5}},
      {"AddMinutes", {60}, ""},
      {"GetTime", {}, "", {2005}},
      {"AddDays", {8}, ""},
      {"GetDate", {}, "", {101}},
      {"Random", {0}, "", {0}},
      {"Random", {-5}, "", {0}},
      {"Random", {1}, "", {0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.name << " " << ::testing::PrintToString(row.args));
    log.clear();
    EXPECT_EQ(Run(row.name, row.args), row.left);
    EXPECT_EQ(Join(log), row.calls);
  }
  EXPECT_EQ(GameState.GetBgmTrack(), -1);
  EXPECT_EQ(GameState.GetBgmRate(), 0);
  EXPECT_EQ(GameState.GetVoiceRate(), 40);
  EXPECT_EQ(GameState.GetLoopSeRate(), 20);
  EXPECT_EQ(GameState.GetExtraSoundRate(), 55);
  EXPECT_EQ(GameState.GetStageEffectSpeed(), 100);
  EXPECT_TRUE(GameState.IsCursorShown());
  EXPECT_TRUE(results.empty());
}

TEST_F(Commands, BgmTracksAreRememberedOnlyWhenTheyLoop) {
  Run("StartBgm", {3, 0});
  EXPECT_EQ(GameState.GetBgmTrack(), 3);
  Run("StartBgm", {-7, 0});
  EXPECT_EQ(GameState.GetBgmTrack(), -1);
  Run("FadeInBgm", {8});
  EXPECT_EQ(GameState.GetBgmTrack(), 8);
  Run("StartBgmOnce", {9, 1});
  EXPECT_EQ(GameState.GetBgmTrack(), -1);
}

// ---- Errors of the script ----------------------------------------------------------------------------------------

TEST_F(Commands, AMissingArgumentABadTextAndAnOpcodeOutsideTheCommandsAreErrorsOfTheScript) {
  EXPECT_THROW(Run("SetCharacter", {1}), EGameErr);  // two arguments wanted, one pushed
  GameState.ClearValueStack();
  EXPECT_THROW(Run("Message", {99}), EGameErr);  // the script holds three texts
  GameState.ClearValueStack();
  EXPECT_THROW(host->RunCommand(*host->Engine(), scrdef::opLastCommand + 1), EGameErr);
  EXPECT_THROW(host->RunCommand(*host->Engine(), scrdef::opGoToScene), EGameErr);
  EXPECT_THROW(commands.RunCommand(*host, *host->Engine(), 7), EGameErr);
}

TEST_F(Commands, ValuesOutsideTheirRangesChangeNothing) {
  const TGameState before = GameState;
  Run("SetCharacter", {5, 3});
  Run("SetCharacter", {5, -1});
  Run("ClearCharacter", {7});
  Run("SetSwitch", {32, 1});
  Run("SetSwitch", {-1, 1});
  Run("EnableSong", {0});
  Run("EnableSong", {33});
  Run("SetStageLevel", {4});
  Run("SetStageLevel", {-1});
  Run("RaiseStage", {-1});
  Run("LowerStage", {-1});
  Run("SetTextSpeed", {3001});
  for (const char* rate : {"SetVoiceRate", "SetBgmRate", "SetSeRate", "SetLoopSeRate", "SetExtraSoundRate"})
    Run(rate, {-1}), Run(rate, {101});
  GameState.ClearValueStack();  // the popped words stay in the stack's storage
  EXPECT_EQ(std::memcmp(&before, &GameState, sizeof GameState), 0);
  EXPECT_TRUE(log.empty()) << Join(log);
  for (int n = 1; n <= TSystemData::kStorySongs; ++n) EXPECT_FALSE(SystemData.IsSongEnabled(n));
}

// ---- Characters ------------------------------------------------------------------------------------------------

TEST_F(Commands, CharactersStepAsideForANewOneAndCloseUpWhenOneLeaves) {
  struct Case {
    std::vector<int> before;  // left, centre, right
    int pendingKind;
    int character, slot;
    std::vector<int> after;
    int kind;
  };
  const Case cases[] = {
      {{-1, 3, -1}, 0, 7, 0, {7, -1, 3}, 2},   // the centre one goes right, the new one takes the left
      {{-1, 3, -1}, 1, 7, 0, {7, -1, 3}, 0},   // ... undoing a pending move to the left
      {{-1, 3, -1}, 0, 7, 2, {3, -1, 7}, 1},   // the centre one goes left
      {{-1, 3, -1}, 2, 7, 2, {3, -1, 7}, 0},
      {{-1, 3, -1}, 0, 7, 1, {-1, 7, -1}, 0},  // the centre taken: no move
      {{5, 3, -1}, 0, 7, 2, {5, 3, 7}, 0},     // not alone: no move
      {{5, -1, 6}, 0, -1, 0, {-1, 6, -1}, 1},  // the right one closes up to the centre
      {{5, -1, 6}, 2, -1, 0, {-1, 6, -1}, 0},
      {{5, -1, 6}, 0, -1, 2, {-1, 5, -1}, 2},  // the left one closes up
      {{5, -1, 6}, 1, -1, 2, {-1, 5, -1}, 0},
      {{5, 4, 6}, 0, -1, 0, {-1, 4, 6}, 0},    // three: the slot just empties
      {{5, -1, 6}, 3, -1, 1, {5, -1, 6}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(c.before) << " " << c.character << "@" << c.slot);
    for (int i = 0; i < 3; ++i) {
      GameState.SetCharacter(i, c.before[i]);
      GameState.SetSpeaking(i, c.before[i] == 6);
    }
    GameState.SetLayoutKind(c.pendingKind);
    if (c.character >= 0) Run("SetCharacter", {c.character, c.slot});
    else Run("ClearCharacter", {c.slot});
    EXPECT_EQ((std::vector<int>{GameState.GetCharacter(0), GameState.GetCharacter(1), GameState.GetCharacter(2)}),
              c.after);
    EXPECT_EQ(GameState.GetLayoutKind(), c.kind);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(GameState.IsSpeaking(i), c.after[i] == 6) << "slot " << i;
  }
}

TEST_F(Commands, AStageCommitShowsThePendingSceneMarksEventsAndResetsTheSpeed) {
  Run("SetCharacter", {3, 1});
  Run("SetStageEffectSpeed", {250});
  Run("ShowPicture", {1514, 7});
  EXPECT_EQ(Join(log), "stage 1514 -1,3,-1/0 w0 l2 t7@250");
  EXPECT_EQ(GameState.GetShownPicture(), 1514);
  EXPECT_EQ(GameState.GetShownCharacter(1), 3);
  EXPECT_TRUE(SystemData.GetEventSeen(14));
  EXPECT_EQ(GameState.GetStageEffectSpeed(), 100);
  EXPECT_EQ(GameState.GetLayoutKind(), 0);
  Run("MarkEventSeen", {2699});
  Run("MarkEventSeen", {700});
  Run("MarkEventSeen", {499});
  EXPECT_TRUE(SystemData.GetEventSeen(199));
  for (int i = 0; i < 199; ++i) EXPECT_EQ(SystemData.GetEventSeen(i), i == 14) << i;
}

// ---- Speakers and talking ----------------------------------------------------------------------------------------

TEST_F(Commands, SpeakingFlagsFollowTheSlotOrTheSpeakerTable) {
  GameState.SetShownCharacter(0, 3);     // speaker 1
  GameState.SetShownCharacter(1, 4);     // speaker 2
  GameState.SetShownCharacter(2, 1003);  // outside the table
  const auto flags = [] {
    std::string f;
    for (int i = 0; i < 3; ++i) f += std::to_string(GameState.IsSpeaking(i)) + std::to_string(GameState.IsShownSpeaking(i));
    return f;
  };
  Run("SetSpeakerId", {1});
  EXPECT_EQ(flags(), "110000");
  Run("SetSpeakerId", {2});
  EXPECT_EQ(flags(), "001100");
  Run("SetSpeakerId", {-1});
  EXPECT_EQ(flags(), "000000");
  Run("SetSpeakerSlot", {2});
  EXPECT_EQ(flags(), "000011");
  Run("AllSpeaking");
  EXPECT_EQ(flags(), "111111");
  Run("NoneSpeaking");
  EXPECT_EQ(flags(), "000000");
  // Talking: the speaking characters move for the frames asked (none for 0 ms, at least one for 1 ms).
  Run("SetSpeakerSlot", {1});
  log.clear();
  Run("Talk", {1000});
  EXPECT_EQ(host->GetTalkFrames(), 30);
  EXPECT_EQ(Join(log), "talk 0 off; talk 1 on; talk 2 off");
  Run("Talk", {1});
  EXPECT_EQ(host->GetTalkFrames(), 1);
  Run("Talk", {0});
  EXPECT_EQ(host->GetTalkFrames(), 0);
  Run("Talk", {500});
  Run("StopTalk");
  EXPECT_EQ(host->GetTalkFrames(), 0);
}

// ---- The stage value ---------------------------------------------------------------------------------------------

TEST_F(Commands, TheStageValueRisesAndFallsByLevels) {
  struct Case {
    const char* name;
    int from, n, to;
  };
  const Case cases[] = {
      {"RaiseStage", 60, 1, 100},    // one point did not change the level: the next level's start
      {"RaiseStage", 60, 45, 105},   // the level changed: the value stays
      {"RaiseStage", 210, 1, 255},   // at level 4: the top
      {"RaiseStage", 190, 200, 255},
      {"LowerStage", 120, 1, 99},    // one point: the level below's top
      {"LowerStage", 120, 30, 90},
      {"LowerStage", 30, 5, 0},      // at level 0: nothing below
      {"LowerStage", 60, 200, 0},
      {"SetStageLevel", 5, 3, 150},
      {"AddStageValue", 250, 10, 255},
      {"AddStageValue", 10, -30, 0},
      {"SubStageValue", 10, 30, 0},
      {"SubStageValue", 100, -300, 255},
      {"SetStageValue", 0, 999, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.name << " " << c.from << " " << c.n);
    GameState.SetStageValue(c.from);
    Run(c.name, {c.n});
    EXPECT_EQ(GameState.GetStageValue(), c.to);
  }
}

TEST_F(Commands, TheExtraSoundFollowsStageLevelAndPictureInSceneTwo) {
  GameState.SetStageValue(120);  // level 2
  Run("ShowPicture", {101, 0});
  EXPECT_EQ(GameState.GetExtraSound(), -1);  // scene parameter 0: none
  Run("SetSceneParam", {2});
  log.clear();
  Run("SetStageValue", {160});  // level 3
  EXPECT_EQ(Join(log), "extra 3");
  Run("ShowPicture", {1101, 0});  // seen from inside: plus 5
  EXPECT_EQ(Join(log), "extra 3; stage 1101 -1,-1,-1/0 w2 l3 t0@100; extra 8");
  log.clear();
  Run("ShowPicture", {999, 0});  // black: the level while one plays, still plus 5
  Run("SetStageLevel", {1});
  EXPECT_EQ(Join(log), "stage 999 -1,-1,-1/0 w2 l3 t0@100; extra 6");
  Run("SetSceneParam", {0});
  log.clear();
  Run("SetStageValue", {0});
  EXPECT_EQ(Join(log), "stop extra");
  Run("SetSceneParam", {2});
  log.clear();
  Run("ShowPicture", {998, 0});  // white with nothing playing: none
  Run("RaiseStage", {1});
  EXPECT_EQ(Join(log), "stage 998 -1,-1,-1/0 w2 l0 t0@100");
  EXPECT_EQ(GameState.GetExtraSound(), -1);
}

// ---- Sound channels kept in the state ------------------------------------------------------------------------------

TEST_F(Commands, PendingSoundOptionsAreUsedOnceAndTheLoopSeRemembersThem) {
  Run("SetVoiceOptions", {4, 5});
  Run("PlayVoice", {1234567});
  EXPECT_EQ(GameState.GetVoiceOption(0), 0);
  EXPECT_EQ(GameState.GetVoiceOption(1), 0);
  Run("SetSeOptions", {6, 7});
  Run("PlaySe", {1});
  EXPECT_EQ(GameState.GetSeOption(0), 0);
  EXPECT_EQ(GameState.GetSeOption(1), 0);
  Run("SetLoopSeOptions", {8, 9});
  Run("PlayLoopSe", {12, 1});
  EXPECT_EQ(GameState.GetLoopSe(), 12);
  EXPECT_EQ((std::vector<int>{GameState.GetLoopSeOption(0), GameState.GetLoopSeOption(1),
                              GameState.GetLoopSeOption(2), GameState.GetLoopSeOption(3)}),
            (std::vector<int>{8, 9, 0, 0}));
  Run("PlayLoopSe2", {13});
  EXPECT_EQ(GameState.GetLoopSe(), 13);
  EXPECT_EQ(GameState.GetLoopSeOption(0), 0);
  Run("StopLoopSe", {0});
  EXPECT_EQ(GameState.GetLoopSe(), -1);
}

// ---- Windows, waits and answers --------------------------------------------------------------------------------

TEST_F(Commands, MessagesAndPagesReachTheWindowsAndTheState) {
  GameState.SetVar(1, 3);
  TSubWinUnit& windows = host->Windows();
  Run("HideMessageWindow");
  EXPECT_FALSE(GameState.IsMessageWindowShown());
  Run("Message", {3});
  EXPECT_EQ(Text(GameState.GetMessageText()), subwinpics::Cp932("３本"));
  EXPECT_EQ(GameState.GetMessageNumber(), 3);
  EXPECT_TRUE(GameState.IsMessageWindowShown());
  EXPECT_EQ(windows.Message().GetState(), TSubWinUnit::wsOpening);
  EXPECT_TRUE(host->Engine()->IsYielding());
  Run("SetNovelMode", {1});
  EXPECT_TRUE(GameState.IsNovelMode());
  EXPECT_EQ(windows.Novel().GetState(), TSubWinUnit::wsOpening);
  EXPECT_EQ(windows.Message().GetState(), TSubWinUnit::wsClosing);
  GameState.AddPageText(Sjis("あ"));
  Run("LineFeed");
  EXPECT_EQ(GameState.GetCurrentPageLine(), 1);
  Run("PageBreak");
  EXPECT_EQ(GameState.GetCurrentPageLine(), 0);
  Run("SetTextCursor", {2, 3});
  EXPECT_EQ(GameState.GetCurrentPageLine(), 3);
  Run("SetTextSpeed", {900});
  EXPECT_EQ(GameState.GetTextSpeed(), 900);
  Run("SetScriptWord", {8});
  EXPECT_EQ(GameState.GetScriptWord(), 8);
  GameState.AddBacklogText(Sjis("ログ"));
  GameState.NewBacklogLine();
  Run("ClearBacklog");
  EXPECT_EQ(GameState.GetBacklogCount(), TGameState().GetBacklogCount());
  // The plates show only in message-window mode; they hide in either.
  const int hiddenDate = windows.Plates().GetDateState();
  Run("ShowDatePlate", {1});
  EXPECT_EQ(windows.Plates().GetDateState(), hiddenDate);
  Run("SetNovelMode", {0});
  Run("ShowDatePlate", {1});
  Run("ShowClockPlate", {0});
  EXPECT_NE(windows.Plates().GetDateState(), hiddenDate);
  EXPECT_NE(windows.Plates().GetTimeState(), hiddenDate);
  Run("HideDatePlate", {1});
  EXPECT_EQ(windows.Plates().GetDateState(), hiddenDate);
}

TEST_F(Commands, WaitingCommandsSetTheSceneModeBeforeTheHostAnswers) {
  Run("Wait", {100});
  EXPECT_EQ(host->GetStep(), TAvgUnit::stWait);
  EXPECT_EQ(host->GetWaitCount(), 3);
  GameState.SetSkipForbidden(true);
  Run("WaitClick");
  EXPECT_FALSE(GameState.IsSkipForbidden());
  EXPECT_EQ(GameState.GetSceneMode(), 1);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);
  // A choice: texts from the script (0: empty), the host opens the window, the script waits for the index.
  Run("Choice", {1, 0, 2, 0});
  EXPECT_EQ(Text(GameState.GetChoiceText(0)), subwinpics::Cp932("一つ目"));
  EXPECT_EQ(Text(GameState.GetChoiceText(1)), "");
  EXPECT_EQ(Text(GameState.GetChoiceText(2)), subwinpics::Cp932("二つ目"));
  EXPECT_EQ(GameState.GetSceneMode(), 2);
  EXPECT_TRUE(GameState.IsScriptWaiting());
  EXPECT_EQ(host->GetStep(), TAvgUnit::stChoiceOpening);
  host->Engine()->ResumeWithValue(1);
  EXPECT_EQ(GameState.PopValue(), 1);
  // The music game: the request stored, the game thread told, the script waits for the answer.
  Run("RequestMusicGame", {1203});
  EXPECT_EQ(GameState.GetRequestArg(), 1203);
  EXPECT_EQ(GameState.GetSceneMode(), 4);
  EXPECT_TRUE(GameState.IsScriptWaiting());
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfMusicGame});
  EXPECT_FALSE(host->IsRunning());
  host->Engine()->ResumeWithValue(59);
  EXPECT_EQ(GameState.PopValue(), 59);
  // The extra selection, whose dialog cannot open here (no pictures): answered 0 at once, which the wait takes.
  EXPECT_EQ(Run("ExtraSelect", {4}), std::vector<int>{0});
  EXPECT_FALSE(GameState.IsScriptWaiting());
}

TEST_F(Commands, SwitchesSongsPlacesAndMovieArguments) {
  Run("SetAllSwitches");
  Run("SetSwitch", {31, 0});
  for (int i = 0; i < 32; ++i) EXPECT_EQ(GameState.GetSwitch(i), i != 31) << i;
  Run("ClearSwitches");
  Run("SetSwitch", {0, 7});
  for (int i = 0; i < 32; ++i) EXPECT_EQ(GameState.GetSwitch(i), i == 0) << i;
  Run("EnableSong", {1});
  Run("EnableSong", {32});
  EXPECT_TRUE(SystemData.IsSongEnabled(1));
  EXPECT_TRUE(SystemData.IsSongEnabled(32));
  EXPECT_FALSE(SystemData.IsSongEnabled(2));
  Run("SetPlace", {12});
  EXPECT_EQ(GameState.GetPlace(), 12);
  Run("PlayEndingMovie", {2});  // no movie here: passed over, the argument kept
  EXPECT_EQ(GameState.GetMovieArg(), 2);
  Run("PlayMovie", {7});
  EXPECT_EQ(GameState.GetMovieArg(), 7);
  Run("PlayOpeningMovie");
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);
  Run("EndScript");
  EXPECT_TRUE(GameState.IsScriptEnded());
}

TEST_F(Commands, RandomDrawsFromTheSharedSequence) {
  VXSharedRandomReset();
  std::vector<int> expected;
  for (int i = 0; i < 20; ++i) expected.push_back(VXSharedRandom(6));
  VXSharedRandomReset();
  std::vector<int> drawn;
  for (int i = 0; i < 20; ++i) drawn.push_back(Run("Random", {6}).at(0));
  EXPECT_EQ(drawn, expected);
}

}  // namespace

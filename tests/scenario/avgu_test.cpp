// The adventure host in the real game window: scripts assembled in the test run on the real script machine, the
// real text windows and pass-code dialog show them, and fakes stand for the stage, the game commands (the few the
// tests use, doing what the game's do) and the screens opened from the adventure. Frames are stepped by hand,
// keys and clicks injected, voices heard through the manual sound output.
// Label: threads
#include "scenario/avgu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxfileman.h"
#include "core/vxpack.h"
#include "device/movieu.h"
#include "device/sound_fixtures.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "scenario/exselu.h"
#include "scenario/fixture.h"
#include "scenario/scrdef.h"
#include "scenario/subwinpics.h"
#include "scenario/subwinu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/savefile.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"
#include "support/moviefile.h"
#include "support/waitfor.h"
#include "tools/scrasm/assembler.h"

using gamewindow::GameWindow;
using subwinpics::Sjis;

namespace {

constexpr int kRate = 44100;

std::string ToneOgg(double seconds, double hz) {
  return fixtures::OggVorbis(fixtures::Tone(static_cast<int>(seconds * kRate), 2, kRate, hz), 2, kRate);
}

// The game commands the tests' scripts use, as the game's commands do them; every command is logged by name.
class FakeCommands : public TAvgCommands {
public:
  std::vector<std::string> log;

  void RunCommand(TAvgUnit& host, TScriptEngine& engine, int opcode) override {
    const scrdef::TOpcodeInfo& info = *scrdef::GetOpcodeInfo(opcode);
    std::vector<int> a(info.args);
    for (int i = info.args - 1; i >= 0; --i) a[static_cast<std::size_t>(i)] = GameState.PopValue();
    log.push_back(info.name);
    TGameState& s = GameState;
    switch (opcode) {
      case scrdef::opMessage:
        s.SetMessage(a[0], engine.ExpandTextMacros(engine.GetStringOperand(a[0])));
        if (!s.IsMessageWindowShown()) {
          s.SetMessageWindowShown(true);
          host.ShowMessageWindow(true);
          engine.Yield();
        }
        break;
      case 69:
        s.SetTextSpeed(a[0]);
        break;
      case 72:
        host.WaitTime(a[0]);
        engine.Yield();
        break;
      case 73:
        s.SetSkipForbidden(false);
        s.SetSceneMode(1);
        host.WaitClick();
        engine.Yield();
        break;
      case 74:
        s.SetSkipForbidden(a[0] != 0);
        break;
      case 75:
        host.PlayVoice(a[0], s.GetVoiceOption(0), s.GetVoiceOption(1));
        break;
      case 84:
        host.PlaySe(a[0], s.GetSeOption(0), s.GetSeOption(1));
        break;
      case 154:  // SetSpeakerSlot
        for (int slot = 0; slot < 3; ++slot) {
          s.SetSpeaking(slot, slot == a[0]);
          s.SetShownSpeaking(slot, slot == a[0]);
        }
        host.StopTalk();
        break;
      case scrdef::opChoice:
        s.ClearChoiceTexts();
        for (int i = 0; i < 4; ++i) s.SetChoiceText(i, engine.ExpandTextMacros(engine.GetStringOperand(a[i])));
        host.OpenChoice();
        s.SetSceneMode(2);
        break;
      case scrdef::opEndScript:
        s.SetScriptEnded(true);
        break;
      case 124:
        s.SetRequestArg(a[0]);
        host.RequestMusicGame();
        s.SetSceneMode(4);
        break;
      case 128:
        host.OpenExtraSelect(a[0]);
        s.SetSceneMode(3);
        break;
    }
    if (info.waits) {
      s.SetScriptWaiting(true);
      engine.Yield();
    } else {
      for (int i = 0; i < info.results; ++i) s.PushValue(0);
    }
  }
};

// A stage that records what it was asked and stays busy for `busyFrames` after a change.
class FakeStage : public TAvgStage {
public:
  std::vector<std::string> log;
  int busyFrames = 0;
  int busy = 0;
  int picture = -1;

  void Attach(TZoRGBPanel*) override {}
  void Detach() override {}
  void SetDayPeriod(int) override {}
  void SetWeatherCode(int) override {}
  void SetStageLevel(int) override {}
  void SetBGCode(int p) override { picture = p; }
  void SetChars(const int*, int) override {}
  bool ChangeStage(int transition, int) override {
    log.push_back("stage " + std::to_string(picture) + "/" + std::to_string(transition));
    busy = busyFrames;
    return busy > 0;
  }
  bool ChangeChars() override { return false; }
  bool StartEffect(int) override { return false; }
  void SetTalk(int slot, bool on) override { log.push_back("talk " + std::to_string(slot) + (on ? " on" : " off")); }
  void SetSimpleDisplay(bool) override {}
  void Update(int elapsed, bool, bool skipping) override { busy = skipping ? 0 : std::max(0, busy - elapsed); }
  bool IsBusy() const override { return busy > 0; }
  TZoRGBBits* GetPicture() override { return nullptr; }
};

// Screens of one colour each; what they report goes back through the callback they were opened with.
class FakeScreens : public TAvgScreens {
public:
  std::vector<std::string> log;
  TCallback events;
  std::unique_ptr<TZoRGBPanel> panel;

  TZoRGBPanel* Open(int kind, const TCallback& callback) override {
    log.push_back("open " + std::to_string(kind));
    events = callback;
    panel = std::make_unique<TZoRGBPanel>(nullptr);
    panel->SetSizeX(640);
    panel->SetSizeY(480);
    panel->OnDraw = [](Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx, int dy) {
      return dest->BoxFill(x, y, x + dx - 1, y + dy - 1, dest->TZoRGBtoPixel(VXRGB(0x123456)));
    };
    panel->SetCreated(true);
    return panel.get();
  }
  void Close(int kind) override {
    log.push_back("close " + std::to_string(kind));
    panel.reset();
  }
  bool Report(int code) { return events.IsValid() && events.Invoke(code); }
};

class Adventure : public ::testing::Test {
protected:
  void SetUp() override {
    ClearGameRecords();
    subwinpics::WritePictures(w.game);
    w.game.Write("Game_Pak/DlgF_Pass.png", subwinpics::Png(208, 108, 0xE0E0E0));
    w.game.Write("Game_Pak/DlgClear.png", subwinpics::Png(46, 66, 0x8080FF));
    w.game.Write("Game_Pak/DlgOk.png", subwinpics::Png(46, 66, 0x80FF80));
    w.game.Write("EvSE_Pak/se001.ogg", ToneOgg(0.5, 600));
    WriteVoicePack("Voice/ev00012.pak", "0001234567.ogg");
    WriteVoicePack("Voice/ev42949.pak", "4294967295.ogg");
  }

  void TearDown() override {
    if (w.form) w.form->SetOnFrame({});
    host.reset();
  }

  void WriteVoicePack(const std::string& pack, const std::string& member) {
    const std::string source = w.game.Write("source/" + member, ToneOgg(2.0, 440));
    w.game.Write(pack, "");
    VXPack writer;
    writer.SetReadOnly(false);
    ASSERT_TRUE(writer.NewPack((w.game.str() + "/" + pack).c_str()));
    ASSERT_TRUE(writer.AddFile(member.c_str(), source.c_str(), VXPackAddStore, false));
    ASSERT_TRUE(writer.EndPack());
  }

  // Assembles the script into the game's script folder, opens the host and starts the scene "test".
  void Start(const std::string& body) {
    WriteScripts(w.game, "script 1\nscene \"test\" main\nfunction main\n" + body);
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int result) { results.push_back(result); });
    host = std::make_unique<TAvgUnit>(nullptr);
    host->SetCommands(&commands);
    host->SetStage(&stage);
    host->SetScreens(&screens);
    ASSERT_TRUE(host->Open());
    host->Windows().SetSystemSePlayer([this](int index) { systemSe.push_back(index); });
    host->ExSel().SetSystemSePlayer([this](int index) { systemSe.push_back(index); });
    w.form->AttachPanel(host->AvgPanel);
    w.form->SetOnFrame(VXCallback1<TAvgUnit, void, int>(host.get(), &TAvgUnit::AdventureFrame));
    w.form->SetResultPending(false);
    w.form->BeginAdventureMode();
    w.MoveTo(639, 0);
    ASSERT_TRUE(host->StartScene(Sjis("test")));
  }

  // One frame of the adventure (the window's frame tick calls the host).
  void Frame(int frames = 1) {
    for (int i = 0; i < frames; ++i) host->AdventureFrame(1);
    w.Frame();
  }
  // Frames until the host reaches the step (at most `limit`); the frames taken, or -1.
  int FramesTo(int step, int limit = 400) {
    for (int i = 0; i < limit; ++i) {
      if (host->GetStep() == step) return i;
      Frame();
    }
    return host->GetStep() == step ? limit : -1;
  }
  void Key(unsigned short key) {
    unsigned short k = key;
    host->AvgPanelKeyDown(host->AvgPanel, k, {});
    k = key;
    host->AvgPanelKeyUp(host->AvgPanel, k, {});
  }
  std::string MessageLine(int line) {
    const VXString text = host->Windows().Message().GetLineText(line);
    return {text.c_str(), static_cast<std::size_t>(text.Length())};
  }
  int Count(const std::string& name) const {
    return static_cast<int>(std::count(commands.log.begin(), commands.log.end(), name));
  }

  GameWindow w;
  FakeCommands commands;
  FakeStage stage;
  FakeScreens screens;
  std::unique_ptr<TAvgUnit> host;
  std::vector<int> results;
  std::vector<int> systemSe;
};

// ---- Reading ----------------------------------------------------------------------------------------------------

TEST_F(Adventure, AMessageTypesItselfFrameByFrameAndAClickGoesOn) {
  Start("SetTextSpeed 100\nMessage \"あいうえお\"\nWaitClick\nMessage \"かきく\"\nWaitClick\nEndScript\n");
  // Text speed 100: 300 ms a character at the user's speed 100; the window shows frames x 100 / 300 cells.
  EXPECT_EQ(host->GetStep(), TAvgUnit::stText);
  TSubWinUnit::TTextWindow& mes = host->Windows().Message();
  EXPECT_TRUE(mes.IsTyping());
  const int frames = FramesTo(TAvgUnit::stClick);
  EXPECT_GE(frames, 14);  // five cells at a third of a cell a frame, after the window opened
  EXPECT_LE(frames, 22);
  EXPECT_EQ(MessageLine(0), subwinpics::Cp932("あいうえお"));
  EXPECT_TRUE(mes.GetWaitMark());
  Frame(30);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);  // a click wait has no limit without auto mode

  w.Click(100, 100);  // on the adventure's panel: the next frame takes it
  Frame();
  EXPECT_FALSE(mes.GetWaitMark());
  Frame();
  EXPECT_EQ(host->GetStep(), TAvgUnit::stText);
  EXPECT_TRUE(mes.IsTyping());
  EXPECT_EQ(mes.GetStartCell(), 5);

  // Enter during the typing completes it at once (a one-shot skip), then answers the next click wait.
  Key(13);
  Frame();
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);
  EXPECT_EQ(MessageLine(0), subwinpics::Cp932("あいうえおかきく"));
  Key(32);
  Frame();
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfEnded});
  EXPECT_FALSE(host->IsRunning());
}

TEST_F(Adventure, TimedWaitsCountFramesAndSkippingEndsThem) {
  Start("Wait 10\nWait 1000\nWait 1000\nEndScript\n");
  // 10 ms: one frame; the script goes on at the frame that brings the count below 0.
  EXPECT_EQ(host->GetStep(), TAvgUnit::stWait);
  EXPECT_EQ(host->GetWaitCount(), 1);
  Frame();
  EXPECT_EQ(host->GetWaitCount(), 0);
  Frame();
  EXPECT_EQ(host->GetWaitCount(), 30);  // the second wait: 1000 ms
  // A click during a wait requests a one-shot skip: the wait ends at the next frame.
  Key(32);
  Frame();
  EXPECT_EQ(host->GetWaitCount(), 1);  // a one-shot skip runs on to the next click wait: the third wait is skipped
  // Ctrl held skips every wait while it is down.
  unsigned short ctrl = 17;
  host->AvgPanelKeyDown(host->AvgPanel, ctrl, {});
  Frame();
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfEnded});
}

TEST_F(Adventure, AutoModeAnswersAClickAfterTheWaitButNotWhileAVoicePlays) {
  UserConfig.AutoSkipWait = 2000;
  Start("SetTextSpeed 0\nMessage \"あ\"\nPlayVoice 1234567\nWaitClick\nMessage \"い\"\nWaitClick\nEndScript\n");
  ASSERT_EQ(FramesTo(TAvgUnit::stClick), TSubWinUnit::kFadeFrames);  // the message window opened first
  ASSERT_TRUE(w.form->IsVoicePlaying());
  EXPECT_EQ(host->GetVoicePack(), 12);
  host->SetAutoMode(true);
  Frame(100);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);  // the voice (two seconds, never mixed here) holds the count
  w.form->StopVoice();
  // 2000 ms: 60 frames; the click is answered at the frame that brings the count below 0.
  Frame(60);
  EXPECT_EQ(Count("WaitClick"), 1);
  Frame();
  EXPECT_EQ(Count("WaitClick"), 2);  // answered: the script went on to the next click wait
}

TEST_F(Adventure, CtrlPrintsAtOnceAndSilencesTheVoice) {
  Start("SetTextSpeed 10\nPlayVoice 1234567\nMessage \"あいうえおかきくけこ\"\nWaitClick\nEndScript\n");
  ASSERT_TRUE(w.form->IsVoicePlaying());
  unsigned short ctrl = 17;
  host->AvgPanelKeyDown(host->AvgPanel, ctrl, {});
  EXPECT_TRUE(host->IsSkipping());
  Frame();
  EXPECT_FALSE(w.form->IsVoicePlaying());
  EXPECT_EQ(MessageLine(0), subwinpics::Cp932("あいうえおかきくけこ"));
  // The click wait passes as a one-frame wait while Ctrl is down.
  Frame(3);
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfEnded});
}

TEST_F(Adventure, SkipModeStopsAtTextNotReadBefore) {
  Start("Wait 1000\nSetTextSpeed 10\nMessage \"あいう\"\nWaitClick\nEndScript\n");
  host->SetSkipMode(true);
  EXPECT_FALSE(host->GetAutoMode());
  Frame(3);
  // The message was new: skip mode turned itself off when the text came (AllTextSkip is off).
  EXPECT_FALSE(host->GetSkipMode());
}

// ---- Voices ---------------------------------------------------------------------------------------------------------

TEST_F(Adventure, VoiceNamesKeepTheirFormatForEveryId) {
  const struct {
    int id;
    const char* pack;
    const char* member;
  } cases[] = {
      {0, "Voice\\ev00000.pak", "0000000000"},
      {1234567, "Voice\\ev00012.pak", "0001234567"},
      {123456789, "Voice\\ev01234.pak", "0123456789"},
      {-1, "Voice\\ev42949.pak", "4294967295"},  // a negative id is taken unsigned: never a sign in the name
      {INT_MIN, "Voice\\ev21474.pak", "2147483648"},
  };
  for (const auto& c : cases) {
    VXString pack, member;
    VoiceNames(c.id, pack, member);
    EXPECT_STREQ(pack.c_str(), c.pack) << c.id;
    EXPECT_STREQ(member.c_str(), c.member) << c.id;
  }
}

TEST_F(Adventure, VoicesComeFromTheirPackAndAMissingOneIsSilent) {
  Start("PlayVoice -1\nWaitClick\nPlayVoice 99\nWaitClick\nPlayVoice 1234567\nWaitClick\nEndScript\n");
  EXPECT_TRUE(w.form->IsVoicePlaying());  // "4294967295.ogg" of "ev42949.pak"
  EXPECT_EQ(host->GetVoicePack(), 42949);
  w.form->StopVoice();
  Key(32);
  Frame();
  EXPECT_FALSE(w.form->IsVoicePlaying());  // pack 0 does not exist
  EXPECT_EQ(host->GetVoicePack(), -1);
  Key(32);
  Frame();
  EXPECT_TRUE(w.form->IsVoicePlaying());
  EXPECT_EQ(host->GetVoicePack(), 12);
}

TEST_F(Adventure, TheSpeakingCharactersTalkWhileTheVoicePlaysOrTheTextPrints) {
  Start("SetSpeakerSlot 1\nSetTextSpeed 300\nPlayVoice 1234567\nMessage \"あいうえお\"\nWaitClick\nEndScript\n");
  EXPECT_EQ(stage.log.back(), "talk 2 off");
  EXPECT_NE(std::find(stage.log.begin(), stage.log.end(), "talk 1 on"), stage.log.end());
  FramesTo(TAvgUnit::stClick);
  EXPECT_EQ(stage.log.back(), "talk 2 off");  // still talking: the voice plays on
  w.form->StopVoice();
  Frame();
  EXPECT_EQ(std::count(stage.log.begin(), stage.log.end(), "talk 1 off"), 1);
  const std::size_t calls = stage.log.size();
  host->Talk(3);  // the talk command: three frames
  EXPECT_EQ(stage.log[calls + 1], "talk 1 on");
  Frame(2);
  EXPECT_EQ(stage.log.size(), calls + 3);
  Frame();
  EXPECT_EQ(stage.log.back(), "talk 2 off");
  EXPECT_EQ(std::count(stage.log.begin(), stage.log.end(), "talk 1 off"), 2);
}

TEST_F(Adventure, SoundEffectsComeFromTheEventFolder) {
  Start("PlaySe 1\nWaitClick\nEndScript\n");
  EXPECT_TRUE(w.form->IsSePlaying());
}

// ---- Choices ---------------------------------------------------------------------------------------------------------

TEST_F(Adventure, AChoiceOpensAndItsAnswerReachesTheScript) {
  Start("Choice \"はい\", \"いいえ\", \"\", \"\"\nPush 1\nSwap\nSetVar\nEndScript\n");
  EXPECT_EQ(host->GetStep(), TAvgUnit::stChoiceOpening);
  EXPECT_EQ(systemSe, std::vector<int>{1});
  EXPECT_GE(FramesTo(TAvgUnit::stChoice), 14);
  TSubWinUnit::TChoiceWindow& choice = host->Windows().Choice();
  EXPECT_TRUE(choice.IsEnabled(1));
  EXPECT_FALSE(choice.IsEnabled(2));
  Key(40);
  Key(40);  // the third row is empty: the cursor stays on the second
  EXPECT_EQ(choice.GetSelected(), 1);
  Key(32);  // Space does not decide
  EXPECT_EQ(host->GetStep(), TAvgUnit::stChoice);
  Key(13);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stChoiceClosing);
  FramesTo(TAvgUnit::stIdle);
  EXPECT_EQ(GameState.GetVar(1), 1);
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfEnded});
}

// ---- The extra selection ----------------------------------------------------------------------------------------------

TEST_F(Adventure, ThePassCodeIsTypedAndItsResultPushed) {
  Start("ExtraSelect 0\nPush 1\nSwap\nSetVar\nExtraSelect 0\nPush 2\nSwap\nSetVar\nEndScript\n");
  EXPECT_EQ(host->GetStep(), TAvgUnit::stExSelOpening);
  EXPECT_EQ(FramesTo(TAvgUnit::stExSel), TExSelUnit::kFadeFrames);
  for (char key : {'V', 'T', 'E', 'Q', '3', 'X'}) Key(static_cast<unsigned short>(key));  // capitals are kept lower-case; six keep five
  EXPECT_STREQ(host->ExSel().GetTyped().c_str(), "vteq3");
  Key(13);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stExSelClosing);
  EXPECT_EQ(FramesTo(TAvgUnit::stExSel), TExSelUnit::kFadeFrames + TExSelUnit::kFadeFrames);
  EXPECT_EQ(GameState.GetVar(1), 1);
  // The second time: Backspace on nothing does nothing, a wrong code gives 0.
  Key(8);
  for (int key : {int{'1'}, 96 + 2}) Key(static_cast<unsigned short>(key));
  EXPECT_STREQ(host->ExSel().GetTyped().c_str(), "12");
  Key(13);
  FramesTo(TAvgUnit::stIdle);
  EXPECT_EQ(GameState.GetVar(2), 0);
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfEnded});
}

TEST_F(Adventure, TheDialogDarkensTheSceneAndOkWithNothingTypedIsWrong) {
  Start("ExtraSelect 0\nPush 1\nSwap\nSetVar\nEndScript\n");
  const std::uint32_t before = w.Pixel(20, 20);
  FramesTo(TAvgUnit::stExSel);
  w.Frame();
  const std::uint32_t dark = w.Pixel(20, 20);
  EXPECT_LT(dark & 0xFF, (before & 0xFF) / 2 + 2);  // a grey level of 64 in 128ths
  EXPECT_EQ(w.Pixel(216 + 5, 186 + 5), 0xE0E0E0u);  // the dialog's frame
  w.Click(216 + 136 + 10, 186 + 70 + 10);           // OK
  FramesTo(TAvgUnit::stIdle);
  EXPECT_EQ(GameState.GetVar(1), 0);
}

// ---- Overlays -----------------------------------------------------------------------------------------------------

TEST_F(Adventure, TheBacklogOpensAtTheNewestLinesAndScrolls) {
  std::string body = "SetTextSpeed 0\n";
  for (int i = 0; i < 30; ++i) body += "Message \"行\\p\"\n";
  body += "WaitClick\nEndScript\n";
  Start(body);
  FramesTo(TAvgUnit::stClick);
  const int count = GameState.GetBacklogCount();
  ASSERT_GT(count, TAvgUnit::kLogShown);
  bool handled = false;
  host->AvgPanelMouseWheel(host->AvgPanel, {}, 120, TPoint{0, 0}, handled);  // the wheel opens the backlog
  EXPECT_EQ(host->GetOverlay(), TAvgUnit::ovLook);
  EXPECT_EQ(host->GetBacklogTop(), count - TAvgUnit::kLogShown);
  Key(38);
  EXPECT_EQ(host->GetBacklogTop(), count - TAvgUnit::kLogShown - 1);
  host->AvgPanelMouseWheel(host->AvgPanel, {}, -120, TPoint{0, 0}, handled);
  host->AvgPanelMouseWheel(host->AvgPanel, {}, -120, TPoint{0, 0}, handled);
  EXPECT_EQ(host->GetBacklogTop(), count - TAvgUnit::kLogShown);  // not beyond the newest
  // While the backlog is open the script stands still and a click does not answer it.
  Frame(5);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);
  Key(13);
  EXPECT_EQ(host->GetOverlay(), TAvgUnit::ovNone);
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);
}

TEST_F(Adventure, TheRightClickMenuCarriesOutItsChoiceOnceClosed) {
  Start("SetTextSpeed 0\nMessage \"あ\"\nWaitClick\nEndScript\n");
  FramesTo(TAvgUnit::stClick);
  w.Click(100, 100, platform::input::MouseButton::Right);
  Frame();
  EXPECT_EQ(host->GetOverlay(), TAvgUnit::ovMenu);
  Frame(TSubWinUnit::kMenuSteps + 1);
  // The second button toggles skip mode.
  Key(40);
  ASSERT_EQ(host->Windows().Menu().GetFocus(), 1);
  Key(13);
  EXPECT_FALSE(host->GetSkipMode());  // not before the menu has slid away
  Frame(TSubWinUnit::kMenuSteps + 2);
  EXPECT_EQ(host->GetOverlay(), TAvgUnit::ovNone);
  EXPECT_TRUE(host->GetSkipMode());
}

TEST_F(Adventure, LookModeHidesTheWindowsUntilTheNextInput) {
  UserConfig.RightClickType = 1;
  Start("SetTextSpeed 0\nMessage \"あ\"\nWaitClick\nEndScript\n");
  FramesTo(TAvgUnit::stClick);
  EXPECT_TRUE(host->Windows().MesWin->GetVisible());
  Key(27);
  EXPECT_FALSE(host->Windows().MesWin->GetVisible());
  Key(32);
  EXPECT_TRUE(host->Windows().MesWin->GetVisible());
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);  // bringing the windows back did not answer the click
}

// ---- Sub-screens, saves and hand-offs ----------------------------------------------------------------------------------

TEST_F(Adventure, ASubScreenReplacesTheAdventureAndItsLateReportsAreIgnored) {
  Start("SetTextSpeed 0\nMessage \"あ\"\nWaitClick\nEndScript\n");
  FramesTo(TAvgUnit::stClick);
  UserConfig.MesBoxTrans = 60;
  ASSERT_TRUE(host->OpenScreen(TAvgScreens::skConfig));
  w.Frame();
  EXPECT_EQ(w.Pixel(320, 240), 0x123456u);
  const TAvgScreens::TCallback stale = screens.events;
  EXPECT_TRUE(screens.Report(6));  // back to the adventure
  EXPECT_EQ(screens.log, (std::vector<std::string>{"open 1", "close 1"}));
  EXPECT_EQ(host->GetOverlay(), TAvgUnit::ovNone);
  EXPECT_EQ(host->Windows().GetBackRate(), 40 * 128 / 100);  // the configuration was applied
  // The closed screen reports again (quit): nothing happens.
  EXPECT_FALSE(stale.Invoke(11));
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(host->IsRunning());
}

TEST_F(Adventure, TheSaveScreenLeadsToTheConfigurationAndQuitAsksFirst) {
  Start("SetTextSpeed 0\nMessage \"あ\"\nWaitClick\nEndScript\n");
  FramesTo(TAvgUnit::stClick);
  ASSERT_TRUE(host->OpenScreen(TAvgScreens::skSave));
  EXPECT_TRUE(screens.Report(9));
  EXPECT_EQ(screens.log, (std::vector<std::string>{"open 2", "close 2", "open 1"}));
  EXPECT_TRUE(screens.Report(6));
  // The menu's Quit with ExitConfirm asks; No goes back, Yes quits.
  host->RightClickAction();
  Frame(TSubWinUnit::kMenuSteps + 1);
  host->Windows().Menu().Button(8)->CallOnClick();
  Frame(TSubWinUnit::kMenuSteps + 2);
  EXPECT_EQ(screens.log.back(), "open 4");
  EXPECT_TRUE(screens.Report(13));
  EXPECT_TRUE(results.empty());
  EXPECT_EQ(host->GetOverlay(), TAvgUnit::ovNone);
  host->RightClickAction();
  Frame(TSubWinUnit::kMenuSteps + 1);
  host->Windows().Menu().Button(8)->CallOnClick();
  Frame(TSubWinUnit::kMenuSteps + 2);
  EXPECT_TRUE(screens.Report(12));
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfQuit});
  EXPECT_FALSE(host->IsRunning());
}

TEST_F(Adventure, QuickSaveAndQuickLoadUseSlotZero) {
  Start("SetTextSpeed 0\nMessage \"あ\"\nWaitClick\nSetVar 3, 7\nMessage \"い\"\nWaitClick\nEndScript\n");
  FramesTo(TAvgUnit::stClick);
  ASSERT_TRUE(host->QuickSave());
  std::vector<std::uint8_t> extra(40200);
  std::uint32_t extraSize = 0;
  TGameState saved;
  ASSERT_TRUE(LoadSlotData(0, &saved, nullptr, extra.data(), &extraSize));
  EXPECT_EQ(extraSize, 40200u);  // the thumbnail
  EXPECT_EQ(saved.GetSceneMode(), 1);
  Key(32);
  FramesTo(TAvgUnit::stClick);
  EXPECT_EQ(GameState.GetVar(3), 7);
  ASSERT_TRUE(host->QuickLoad());
  EXPECT_EQ(systemSe.back(), 0);
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfLoaded});
  EXPECT_EQ(GameState.GetVar(3), 0);
  // The game thread resumes the loaded game: the click wait is back.
  w.form->SetResultPending(false);
  host->ResumeLoaded();
  EXPECT_EQ(host->GetStep(), TAvgUnit::stClick);
  EXPECT_TRUE(host->IsRunning());
}

TEST_F(Adventure, QuickSaveIsRefusedWhileTheScriptRuns) {
  Start("Wait 1000\nEndScript\n");
  EXPECT_FALSE(host->QuickSave());
  EXPECT_FALSE(host->QuickLoad());
}

TEST_F(Adventure, TheMusicGameRequestHandsOffAndItsAnswerIsPushed) {
  Start("RequestMusicGame 3\nPush 1\nSwap\nSetVar\nEndScript\n");
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfMusicGame});
  EXPECT_FALSE(host->IsRunning());
  EXPECT_EQ(GameState.GetSceneMode(), 4);
  GameState.SetRequestAnswer(2);
  w.form->SetResultPending(false);
  host->ResumeCurrent();
  EXPECT_EQ(GameState.GetVar(1), 2);
  EXPECT_EQ(results, (std::vector<int>{TAvgUnit::nfMusicGame, TAvgUnit::nfEnded}));
}

TEST_F(Adventure, AnEventMovieReplacesTheAdventureUntilItIsSkipped) {
  std::filesystem::create_directories(w.game.path() / "Movie");
  ASSERT_TRUE(moviefile::Write((w.game.path() / "Movie" / "QM05.mpg").string()));
  Start("Wait 1000\nEndScript\n");
  host->PlayEventMovie(7);  // there is no "QM07.mpg": passed over
  EXPECT_EQ(host->GetStep(), TAvgUnit::stWait);
  host->PlayEventMovie(5);
  ASSERT_EQ(host->GetStep(), TAvgUnit::stMovie);
  TZoRGBPanel* panel = host->GetMovie()->MoviePanel;
  EXPECT_EQ(panel->GetParent(), w.form->GetRootPanel());
  EXPECT_EQ(host->AvgPanel->GetParent(), nullptr);
  Frame(TMovieUnit::kStartDelay);
  WaitFor([&] {
    Frame();
    return host->GetMovie()->IsReady();
  });
  EXPECT_EQ(host->GetStep(), TAvgUnit::stMovie);  // the script stands still meanwhile
  panel->MouseDown(mbLeft, TShiftState{ssLeft}, 2, 2);
  Frame();
  EXPECT_EQ(host->AvgPanel->GetParent(), w.form->GetRootPanel());
  EXPECT_EQ(results, std::vector<int>{TAvgUnit::nfEnded});  // back to the script, which went on
}

TEST_F(Adventure, AHostClosedInTheMiddleOfAnExtraSelectionOpensCleanAgain) {
  Start("ExtraSelect 0\nEndScript\n");
  FramesTo(TAvgUnit::stExSel);
  host->Close();
  EXPECT_FALSE(host->IsOpen());
  host->AdventureFrame(1);  // nothing runs on a closed host
  w.Frame();
  ASSERT_TRUE(host->Open());
  EXPECT_EQ(host->GetStep(), TAvgUnit::stIdle);
  EXPECT_FALSE(host->ExSel().IsOpen());
}

}  // namespace

// The demo game has what the adventure loads by name: voices in their pack, the event sounds, the system voices and
// the pass-code dialog's pictures.
TEST(AdventureDemoGame, HasTheVoicesSoundsAndDialogPictures) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  const std::string demo = QORM_DEMO_FOLDER_DIR;
  VXFileMan voices, effects, data;
  VXString pack, member;
  VoiceNames(3, pack, member);
  ASSERT_TRUE(voices.InitPack((demo + "/" + std::string(pack.c_str())).c_str()));
  EXPECT_TRUE(w.form->PlayVoice(&voices, member));
  EXPECT_TRUE(w.form->IsVoicePlaying());
  ASSERT_TRUE(effects.InitPack((demo + "/EvSE.pak").c_str()));
  EXPECT_TRUE(w.form->PlaySe(&effects, "se001", 0, 0));
  ASSERT_TRUE(data.InitDir((demo + "/Game_Pak").c_str()));
  for (const char* name : {"SysVoice01_01.ogg", "SysVoice02_01.ogg", "SysVoice03_05.ogg", "SysVoice04_03.ogg"})
    EXPECT_TRUE(data.FileIsExist(name)) << name;

  TExSelUnit dialog(nullptr);
  dialog.SetFiles(&data);
  ASSERT_TRUE(dialog.Open(true));
  EXPECT_EQ(dialog.DlgFrame->GetImage()->GetWidth(), 208);
  EXPECT_EQ(dialog.DlgFrame->GetImage()->GetHeight(), 108);
  EXPECT_EQ(dialog.DlgOk->GetImage()->GetHeight(), 3 * 22);
  EXPECT_EQ(dialog.DlgClear->GetImage()->GetWidth(), 46);
  dialog.Close(true);
}

// The pass-code dialog on its own: the scene darkens from 128 to 64 while the dialog grows opaque over 16 frames, and
// back; skipping ends a fade at the next frame; the buttons speak only when the dialog is ready.
TEST(ExSelDialog, FadesInAndOutOverSixteenFrames) {
  GameWindow w;
  w.game.Write("Game_Pak/DlgF_Pass.png", subwinpics::Png(208, 108, 0xE0E0E0));
  w.game.Write("Game_Pak/DlgClear.png", subwinpics::Png(46, 66, 0x8080FF));
  w.game.Write("Game_Pak/DlgOk.png", subwinpics::Png(46, 66, 0x80FF80));
  ASSERT_TRUE(w.Start());
  TExSelUnit dialog(nullptr);
  std::vector<int> sounds;
  std::vector<int> events;
  struct Sink {
    std::vector<int>* events;
    bool Event(int code) {
      events->push_back(code);
      return true;
    }
  } sink{&events};
  dialog.SetSystemSePlayer([&sounds](int index) { sounds.push_back(index); });
  dialog.SetCallback(VXCallback1<Sink, bool, int>(&sink, &Sink::Event));
  ASSERT_TRUE(dialog.Open(false));
  const struct {
    int frames, grey, opacity, state;
  } steps[] = {{0, 128, 0, TExSelUnit::esFadeIn},  {1, 124, 8, TExSelUnit::esFadeIn},
               {8, 92, 72, TExSelUnit::esFadeIn},  {7, 64, 128, TExSelUnit::esIdle}};
  for (const auto& s : steps) {
    for (int i = 0; i < s.frames; ++i) dialog.Update(1, false);
    EXPECT_EQ(dialog.Grey(), s.grey) << s.frames;
    EXPECT_EQ(dialog.Opacity(), s.opacity) << s.frames;
    EXPECT_EQ(dialog.GetState(), s.state) << s.frames;
  }
  EXPECT_TRUE(dialog.DlgPass->GetVisible());
  dialog.BtnMouseEnter(dialog.DlgOk);
  EXPECT_EQ(sounds, std::vector<int>{5});
  dialog.BtnMouseDown(dialog.DlgOk, mbRight, {}, 0, 0);
  dialog.ExSelWinMouseDown(dialog.ExSelWin, mbLeft, {}, 0, 0);
  EXPECT_EQ(events, (std::vector<int>{TExSelUnit::kRightClick, TExSelUnit::kAdvance}));

  dialog.Close(false);
  EXPECT_EQ(dialog.GetState(), TExSelUnit::esFadeOut);
  EXPECT_EQ(dialog.Grey(), 64);
  EXPECT_FALSE(dialog.DlgPass->GetVisible());
  dialog.BtnMouseEnter(dialog.DlgOk);
  EXPECT_EQ(sounds.size(), 1u);  // not while fading
  dialog.Update(1, false);
  EXPECT_EQ(dialog.Grey(), 68);
  EXPECT_EQ(dialog.Opacity(), 120);
  dialog.Update(1, true);  // skipping
  EXPECT_EQ(dialog.GetState(), TExSelUnit::esIdle);
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_FALSE(dialog.ExSelWin->GetVisible());
  EXPECT_EQ(dialog.DlgFrame->GetImage(), nullptr);  // the pictures went with it
}

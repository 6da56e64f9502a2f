// The sound room in the game window on the demo game, clicked with injected mouse input and stepped frame by frame;
// the music goes to a fake sound service whose tracks end when the test says so, and once to the real one.
// Label: threads
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "shell/gamef.h"
#include "shell/soundmenu.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

struct FakePlayer : TBgmPlayer {
  struct Log {
    std::vector<std::string> calls;
    int track = 0;       // playing track, 0 none
    int position = 0;
    bool refuse = false;  // tracks do not start
  };
  explicit FakePlayer(Log& l) : log(l) {}
  bool PlayBgm(int track, bool loop, bool fade) override {
    log.calls.push_back("play " + std::to_string(track) + (loop ? " loop" : "") + (fade ? " fade" : ""));
    log.track = log.refuse ? 0 : track;
    return !log.refuse;
  }
  void StopBgm(bool fade) override {
    log.calls.push_back(fade ? "stop fade" : "stop");
    log.track = 0;
  }
  bool IsBgmPlaying() override { return log.track != 0; }
  int GetBgmTrack() override { return log.track; }
  int GetBgmPosition() override { return log.position; }
  void PlaySystemSe(int index) override { log.calls.push_back("se " + std::to_string(index)); }
  Log& log;
};

// Centres of the buttons in the 640 x 480 screen.
struct At {
  int x, y;
};
constexpr At kBack{430, 346}, kPlay{457, 346}, kStop{484, 346}, kFwd{511, 346}, kRepeat{545, 348}, kLoop{566, 348},
    kEnd{560, 450};
At Entry(int i) { return {150, 89 + 28 * i}; }

class SoundRoom : public ::testing::Test {
protected:
  void SetUp() override {
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int r) { results.push_back(r); });
    menu = std::make_unique<TSoundMenu>(nullptr);
    menu->SetPlayer(std::make_unique<FakePlayer>(log));
    ASSERT_TRUE(menu->Init(FileMan));
    w.form->AttachPanel(menu->SoundPanel);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    log.calls.clear();
  }
  void TearDown() override {
    if (menu) {
      w.form->DetachPanel(menu->SoundPanel);
      menu.reset();
    }
  }
  void Click(At a) {
    w.Click(a.x, a.y);
    w.Step(34);
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) w.Step(34);
  }

  GameWindow w;
  FakePlayer::Log log;
  std::unique_ptr<TSoundMenu> menu;
  std::vector<int> results;
};

TEST_F(SoundRoom, TheButtonsSelectAndWrapAroundAndTheLightFollows) {
  EXPECT_EQ(menu->GetSelected(), 0);
  // Before any frame: the picture the room slides in with shows the first entry's number already.
  EXPECT_EQ(menu->NumTrack10->GetNumber() * 10 + menu->NumTrack1->GetNumber(), 1);
  struct Case {
    At button;
    int selected;
  };
  const Case cases[] = {{kBack, 8}, {kFwd, 0}, {kFwd, 1}, {Entry(6), 6}, {kBack, 5}, {Entry(8), 8}, {kFwd, 0}};
  for (const Case& c : cases) {
    Click(c.button);
    EXPECT_EQ(menu->GetSelected(), c.selected);
    EXPECT_EQ(menu->LightPanel->GetOffsetY(), 79 + 28 * c.selected);
    EXPECT_EQ(menu->NumTrack1->GetNumber(), (c.selected + 1) % 10);
  }
  EXPECT_TRUE(log.calls.empty()) << "selecting alone plays nothing";
}

TEST_F(SoundRoom, PlayStopAndSwitchingWhilePlaying) {
  Click(Entry(2));
  Click(kPlay);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop", "play 3"}));
  EXPECT_TRUE(menu->IsPlaying());
  EXPECT_TRUE(menu->BtnIxPlay->GetSelected());
  log.position = 125000;
  Frames(1);
  EXPECT_EQ(menu->NumMin->GetNumber(), 2);
  EXPECT_EQ(menu->NumSec->GetNumber(), 5);
  log.calls.clear();
  w.Click(Entry(5).x, Entry(5).y);
  Frames(1);  // the click, then the frame step that follows the selection
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop", "play 6"}));
  log.calls.clear();
  Click(kStop);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop"}));
  EXPECT_FALSE(menu->IsPlaying());
  EXPECT_TRUE(menu->BtnStop->GetSelected());
  Frames(3);
  EXPECT_EQ(log.calls.size(), 1u) << "nothing starts by itself once stopped";
}

TEST_F(SoundRoom, WhatFollowsTheEndOfATrackInEachMode) {
  struct Case {
    const char* name;
    std::vector<At> modeClicks;
    int mode;
    int entry;
    std::vector<std::string> after;  // the calls when the track ends
    int selected;
    bool playing;
  };
  const Case cases[] = {
      {"play through", {}, TSoundMenu::kPlayThrough, 3, {"stop", "play 5"}, 4, true},
      {"play through stops after the last", {}, TSoundMenu::kPlayThrough, 8, {"stop"}, 8, false},
      {"repeat all wraps to the first", {kLoop}, TSoundMenu::kRepeatAll, 8, {"stop", "play 1"}, 0, true},
      {"repeat one", {kRepeat}, TSoundMenu::kRepeatOne, 4, {"stop", "play 5"}, 4, true},
      {"repeat one twice is play through", {kRepeat, kRepeat}, TSoundMenu::kPlayThrough, 4, {"stop", "play 6"}, 5, true},
      {"repeat one, then all", {kRepeat, kLoop}, TSoundMenu::kRepeatAll, 1, {"stop", "play 3"}, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Click(kStop);
    for (At a : c.modeClicks) Click(a);
    EXPECT_EQ(menu->GetMode(), c.mode);
    EXPECT_EQ(menu->BtnLoop->GetSelected(), c.mode == TSoundMenu::kRepeatAll);
    EXPECT_EQ(menu->BtnRepeat->GetSelected(), c.mode == TSoundMenu::kRepeatOne);
    Click(Entry(c.entry));
    Click(kPlay);
    log.calls.clear();
    log.track = 0;  // the track has ended
    Frames(1);
    EXPECT_EQ(log.calls, c.after);
    EXPECT_EQ(menu->GetSelected(), c.selected);
    EXPECT_EQ(menu->IsPlaying(), c.playing);
    // Back to play through for the next case.
    while (menu->GetMode() != TSoundMenu::kPlayThrough) Click(menu->GetMode() == TSoundMenu::kRepeatAll ? kLoop : kRepeat);
  }
}

// A track that cannot start leaves the room stopped: it is not counted as playing, so the frames that follow do
// not try to open it (or the next one) again.
TEST_F(SoundRoom, ATrackThatDoesNotStartIsNotPlayingAndNotRetried) {
  log.refuse = true;
  Click(kPlay);
  EXPECT_FALSE(menu->IsPlaying());
  EXPECT_TRUE(menu->BtnStop->GetSelected());
  Frames(5);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop", "play 1"}));
  // A track that ends and whose follower cannot start stops the room too.
  log.refuse = false;
  Click(kPlay);
  log.refuse = true;
  log.track = 0;
  log.calls.clear();
  Frames(4);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop", "play 2"}));
  EXPECT_FALSE(menu->IsPlaying());
}

TEST_F(SoundRoom, LeavingStopsTheMusicAtOnceAndReportsZero) {
  Click(kPlay);
  log.calls.clear();
  w.Click(kEnd.x, kEnd.y);
  w.Step(34);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop", "se 8"}));
  EXPECT_EQ(results, std::vector<int>{0});
}

TEST_F(SoundRoom, InitResetsTheRoomAndFadesOutWhatPlayed) {
  Click(Entry(4));
  Click(kLoop);
  Click(kPlay);
  log.calls.clear();
  w.form->DetachPanel(menu->SoundPanel);
  ASSERT_TRUE(menu->Init(FileMan));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"stop fade"}));
  EXPECT_EQ(menu->GetSelected(), 0);
  EXPECT_EQ(menu->GetMode(), TSoundMenu::kPlayThrough);
  EXPECT_FALSE(menu->IsPlaying());
  w.form->AttachPanel(menu->SoundPanel);
}

// The room on the game window's own sound service and the demo game's nine tracks.
TEST(SoundRoomOfTheDemoGame, PlayStartsTheSelectedTrackAndLeavingStopsIt) {
  GameWindow w;
  w.setup.gameFolder = QORM_DEMO_GAME_DIR;
  ASSERT_TRUE(w.Start());
  TSoundMenu menu(nullptr);
  ASSERT_TRUE(menu.Init(FileMan));
  w.form->AttachPanel(menu.SoundPanel);
  w.form->BeginPanelMode();
  w.form->SetResultPending(false);
  std::vector<int> results;
  w.form->SetResultHandler([&](int r) { results.push_back(r); });
  w.Click(Entry(8).x, Entry(8).y);
  w.Click(kPlay.x, kPlay.y);
  w.Step(34);
  EXPECT_TRUE(menu.IsPlaying());
  EXPECT_EQ(w.form->GetBgmTrack(), 9);
  EXPECT_TRUE(w.form->IsBgmPlaying());
  w.Click(kEnd.x, kEnd.y);
  w.Step(34);
  EXPECT_EQ(w.form->GetBgmTrack(), 0);
  EXPECT_EQ(results, std::vector<int>{0});
  w.form->DetachPanel(menu.SoundPanel);
}

}  // namespace

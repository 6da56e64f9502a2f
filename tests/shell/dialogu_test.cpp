// The confirmation dialog in the game window on the demo game: its fades step by step and by themselves through
// the game thread's frame callback, its answers from the mouse and the keys, and what it draws.
// Label: threads
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "shell/dialogu.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/maint.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

struct At {
  int x, y;
};
constexpr At kYes{216 + 78 + 23, 186 + 58 + 11}, kNo{216 + 136 + 23, 186 + 58 + 11};
constexpr At kFrameInside{216 + 30, 186 + 90};  // on the frame, away from its text and buttons
constexpr At kOutside{40, 40};

struct Listener {
  std::vector<int> events;
  bool Event(int e) {
    events.push_back(e);
    return true;
  }
};

// The screen's own per-frame work, which the dialog's fade takes over for a while.
struct ScreenFrames {
  int frames = 0;
  void Frame(int) { ++frames; }
};

class Dialog : public ::testing::Test {
protected:
  void SetUp() override {
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    thread = std::make_unique<TMainThread>(*w.form);  // not started: its frame slot is what the frames call
    w.form->SetOnFrame(VXCallback1<TMainThread, void, int>(thread.get(), &TMainThread::CallFrameProc));
    thread->SetFrameProc(VXCallback1<ScreenFrames, void, int>(&screen, &ScreenFrames::Frame));
    ASSERT_TRUE(CreatePanelImage(&parent, 640, 480, mmOpaque));  // a black screen under the dialog
    parent.AllCreate();
    w.form->AttachPanel(&parent);
    dialog = std::make_unique<TDlgUnit>(nullptr);
    ASSERT_TRUE(dialog->Init(FileMan));
    dialog->SetCallback(VXCallback1<Listener, bool, int>(&listener, &Listener::Event));
    dialog->SetParent(&parent);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    w.Step(34);
  }
  void TearDown() override {
    dialog.reset();
    w.form->DetachPanel(&parent);
    ReleasePanelImage(&parent);
    w.form->SetOnFrame({});
  }
  void Click(At a, platform::input::MouseButton b = platform::input::MouseButton::Left) {
    w.Click(a.x, a.y, b);
    w.Step(34);
  }

  GameWindow w;
  std::unique_ptr<TMainThread> thread;
  ScreenFrames screen;
  TZoRGBPanel parent{nullptr};
  std::unique_ptr<TDlgUnit> dialog;
  Listener listener;
};

TEST_F(Dialog, FadesInAndOutInFourStepsAtTheirRates) {
  dialog->SetMode(1);  // a caller's own question: the caller steps it
  dialog->ShowDialog(false);
  EXPECT_FALSE(dialog->IsCaptured());
  std::vector<int> rates{dialog->Rate()};
  while (dialog->Step()) rates.push_back(dialog->Rate());
  rates.push_back(dialog->Rate());
  EXPECT_EQ(rates, (std::vector<int>{25, 51, 76, 102, 128}));
  EXPECT_TRUE(dialog->IsShown());
  dialog->HideDialog(false);
  EXPECT_FALSE(dialog->IsShown()) << "fading out counts as hidden";
  rates = {dialog->Rate()};
  while (dialog->Step()) rates.push_back(dialog->Rate());
  EXPECT_EQ(rates, (std::vector<int>{102, 76, 51, 25}));
  EXPECT_EQ(listener.events, std::vector<int>{TDlgUnit::kClosed});
  EXPECT_FALSE(dialog->DlgWin->GetVisible());
}

TEST_F(Dialog, AnswersFromMouseAndKeysOnlyWhileSteady) {
  dialog->SetMode(1);
  dialog->ShowDialog(false);
  w.Step(34);
  Click(kYes);
  EXPECT_TRUE(listener.events == std::vector<int>{TDlgUnit::kMouseLeft} || listener.events.empty())
      << "no answer during the fade";
  for (int i = 0; i < 4; ++i) dialog->Step();
  listener.events.clear();
  struct Case {
    const char* name;
    std::function<void()> act;
    std::vector<int> events;
    int answer;
  };
  const Case cases[] = {
      {"yes", [&] { Click(kYes); }, {TDlgUnit::kYes}, 1},
      {"no", [&] { Click(kNo); }, {TDlgUnit::kNo}, 0},
      {"esc", [&] { w.Key(SDL_SCANCODE_ESCAPE); w.Step(34); }, {TDlgUnit::kNo}, 0},
      {"right click on the frame", [&] { Click(kFrameInside, platform::input::MouseButton::Right); },
       {TDlgUnit::kMouseRight}, -1},
      {"middle click outside", [&] { Click(kOutside, platform::input::MouseButton::Middle); },
       {TDlgUnit::kMouseMiddle}, -1},
      {"left click outside", [&] { Click(kOutside); }, {TDlgUnit::kMouseLeft}, -1},
      {"another key", [&] { w.Key(SDL_SCANCODE_A); w.Step(34); }, {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    listener.events.clear();
    c.act();
    // A press on a button is a press on the window too: only the button's own answer counts here.
    std::vector<int> answers;
    for (int e : listener.events)
      if (e != TDlgUnit::kMouseLeft || c.events == std::vector<int>{TDlgUnit::kMouseLeft}) answers.push_back(e);
    EXPECT_EQ(answers, c.events);
    if (c.answer >= 0) EXPECT_EQ(dialog->GetAnswer(), c.answer);
    EXPECT_TRUE(dialog->IsShown()) << "the dialog does not hide itself";
  }
}

TEST_F(Dialog, AnImmediateHideReportsClosedAtOnce) {
  dialog->ShowDialog(true);
  EXPECT_TRUE(dialog->IsShown());
  EXPECT_FALSE(dialog->IsFading());
  dialog->HideDialog(true);
  EXPECT_EQ(listener.events, std::vector<int>{TDlgUnit::kClosed});
  EXPECT_FALSE(dialog->IsShown());
  EXPECT_EQ(dialog->DlgFrame->GetImage(), nullptr) << "pictures released";
}

// In the exit question the fade runs by itself: the dialog steps in the game thread's frame callback, and the
// screen's own callback is back when the fade ends.
TEST_F(Dialog, TheExitQuestionFadesByItselfAndGivesTheFrameBack) {
  dialog->ShowDialog(false);
  EXPECT_TRUE(dialog->IsCaptured());
  const int before = screen.frames;
  for (int i = 0; i < 12 && dialog->IsFading(); ++i) w.Step(34);
  EXPECT_FALSE(dialog->IsFading());
  EXPECT_FALSE(dialog->IsCaptured());
  EXPECT_EQ(screen.frames, before) << "the screen's callback waited";
  w.Step(34);
  EXPECT_GT(screen.frames, before);
  dialog->HideDialog(false);
  for (int i = 0; i < 12 && dialog->IsFading(); ++i) w.Step(34);
  EXPECT_EQ(listener.events, std::vector<int>{TDlgUnit::kClosed});
  EXPECT_FALSE(dialog->IsCaptured());
}

// A fade cut short by an immediate hide (or show) gives the frame callback back: the screen goes on running.
TEST_F(Dialog, AnImmediateHideDuringAFadeGivesTheFrameCallbackBack) {
  for (bool hideFirst : {true, false}) {
    SCOPED_TRACE(hideFirst ? "hide" : "show");
    dialog->ShowDialog(false);
    ASSERT_TRUE(dialog->IsCaptured());
    if (hideFirst) dialog->HideDialog(true);
    else dialog->ShowDialog(true);
    EXPECT_FALSE(dialog->IsCaptured());
    const int before = screen.frames;
    w.Step(34);
    EXPECT_GT(screen.frames, before);
    dialog->HideDialog(true);
    EXPECT_NO_THROW(dialog->ShowDialog(false)) << "a new fade can take the callback again";
    dialog->HideDialog(true);
  }
}

TEST_F(Dialog, TheExitQuestionRefusesToFadeOutsidePanelsAndTwice) {
  dialog->ShowDialog(false);
  EXPECT_THROW(dialog->HideDialog(false), EGameErr) << "already taken";
  dialog->HideDialog(true);
  for (std::uint8_t state : {2, 4, 7}) {  // running without panels, the music game, the wait picture
    w.form->SetState(state);
    EXPECT_THROW(dialog->ShowDialog(false), EGameErr) << int{state};
    EXPECT_FALSE(dialog->IsCaptured());
    EXPECT_FALSE(dialog->DlgWin->GetVisible()) << "a fade that cannot run shows nothing";
  }
  w.form->SetState(5);  // the adventure
  EXPECT_NO_THROW(dialog->ShowDialog(false));
  dialog->HideDialog(true);
  w.form->SetState(3);
}

TEST_F(Dialog, TheFrameIsDrawnInTheMiddleWhileShown) {
  const std::uint32_t empty = w.Pixel(kFrameInside.x, kFrameInside.y);
  dialog->ShowDialog(true);
  w.Step(34);
  EXPECT_NE(w.Pixel(kFrameInside.x, kFrameInside.y), empty);
  EXPECT_EQ(w.Pixel(kOutside.x, kOutside.y), 0u) << "nothing around it";
  const std::uint32_t yes = w.Pixel(kYes.x, kYes.y);
  w.MoveTo(kYes.x, kYes.y);
  w.Step(34);
  EXPECT_NE(w.Pixel(kYes.x, kYes.y), yes) << "the pointed button lights up";
  dialog->HideDialog(true);
  w.Step(34);
  EXPECT_EQ(w.Pixel(kFrameInside.x, kFrameInside.y), empty);
}

}  // namespace

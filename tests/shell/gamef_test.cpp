// Label: threads
#include "shell/gamef.h"

#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/vxpack.h"
#include "device/dinputu.h"
#include "device/zoddraw.h"
#include "graphics/zorgbbits.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

using gamewindow::GameWindow;

namespace {

// Records what the window's hooks and result hand-off receive, from whichever thread.
struct Recorder {
  std::mutex lock;
  std::vector<int> frames, inputFrames, results;
  std::vector<std::thread::id> frameThreads;
  int surfaceFrames = 0;
  bool throwOnDraw = false;

  void Frame(int n) {
    std::lock_guard g(lock);
    frames.push_back(n);
    frameThreads.push_back(std::this_thread::get_id());
  }
  void Input(int n, TDInputUnit*) {
    std::lock_guard g(lock);
    inputFrames.push_back(n);
  }
  void Surface(TZoRGBBits*) {
    std::lock_guard g(lock);
    ++surfaceFrames;
  }
  void Update(TZoRGBBits*, VXRectSet*) {
    if (throwOnDraw) throw std::runtime_error("draw failed");
  }
  void Bind(TGameForm& form) {
    form.SetOnFrame(VXCallback1<Recorder, void, int>(this, &Recorder::Frame));
    form.SetOnFrameInput(VXCallback2<Recorder, void, int, TDInputUnit*>(this, &Recorder::Input));
    form.SetResultHandler([this](int r) {
      std::lock_guard g(lock);
      results.push_back(r);
    });
  }
  std::size_t FrameCalls() {
    std::lock_guard g(lock);
    return frames.size();
  }
};

// A panel covering the screen under the root, created and visible, taking keys.
TZoRGBPanel* AddPanel(TGameForm& form) {
  auto* p = new TZoRGBPanel(nullptr);
  p->SetKeyControl(true);
  form.AttachPanel(p);
  p->SetCreated(true);
  return p;
}

// A transition that ends after `length` frames and counts what the window asks of it.
struct FakeTransition : TTransitionEffect {
  int length = 0, done = 0, starts = 0, clears = 0;
  TZoRGBBits *from = nullptr, *to = nullptr;
  bool Start(int, TZoRGBBits* f, TZoRGBBits* t, int) override {
    ++starts;
    from = f, to = t;
    return true;
  }
  void Advance(int frames) override { done += frames; }
  bool IsDone() const override { return done >= length; }
  void Draw(TZoRGBBits*, VXRectSet*) override {}
  void Clear() override {
    ++clears;
    MemMan->Delete(from);
    MemMan->Delete(to);
  }
};

// A window whose display cannot be set up full screen (or at all).
class FailingDisplay : public TGameForm {
public:
  FailingDisplay(const TGameFormSetup& setup, bool& failWindow) : TGameForm(nullptr, setup), failWindow_(failWindow) {}
  bool failFullScreen = false;

protected:
  bool SetupDisplay(bool window) override {
    if ((!window && failFullScreen) || (window && failWindow_)) return false;
    return TGameForm::SetupDisplay(window);
  }

private:
  bool& failWindow_;
};

}  // namespace

TEST(GameWindow, StartsDrawsTheCursorAtThePointerAndHasNoWaitingThreads) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  EXPECT_GE(w.Presented(), 1u);
  EXPECT_TRUE(w.messages.empty());
  EXPECT_EQ(w.form->GetCursorType(), 0);
  w.MoveTo(100, 100);
  w.Step();
  EXPECT_EQ(w.Pixel(101, 101), 0x101010u);  // cell 0, hot spot at its corner
  EXPECT_EQ(w.Pixel(99, 99), 0x000000u);
  EXPECT_EQ(w.Pixel(120, 120), 0x000000u);  // the transparent part of the cell
}

// An incremental frame presents what changed; a frame in which nothing changed is not presented again.
TEST(GameWindow, OnlyFramesThatChangeSomethingArePresented) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.MoveTo(100, 100);
  w.Step();
  const std::size_t presented = w.Presented();
  w.Step();
  w.Step();
  EXPECT_EQ(w.Presented(), presented);
  w.MoveTo(140, 100);
  w.Step();
  EXPECT_EQ(w.Presented(), presented + 1);
  EXPECT_EQ(w.Pixel(101, 101), 0x000000u);  // the cursor left its old place
  EXPECT_EQ(w.Pixel(141, 101), 0x101010u);
  ShowFPS = 1;
  w.Step();
  EXPECT_EQ(w.Presented(), presented + 2);  // the figure appeared
}

// The game data may be a pack "Game.pak" in place of the folder "Game_Pak": the pack is used first.
TEST(GameWindow, ReadsItsDataFromThePackWhenThereIsOne) {
  GameWindow::Options o;
  o.cursor = false;
  GameWindow w(o);
  const std::string cursor = w.game.Write("source/Cursor.png", gamewindow::CursorPng());
  VXPack pack;
  pack.SetReadOnly(false);
  ASSERT_TRUE(pack.NewPack((w.game.str() + "/Game.pak").c_str()));
  ASSERT_TRUE(pack.AddFile("Cursor.png", cursor.c_str(), VXPackAddStore, false));
  ASSERT_TRUE(pack.EndPack());
  ASSERT_TRUE(w.Start());
  w.MoveTo(100, 100);
  w.Step();
  EXPECT_EQ(w.Pixel(101, 101), 0x101010u);
}

TEST(GameWindow, WithoutACursorPictureAPlainArrowIsDrawn) {
  GameWindow::Options o;
  o.cursor = false;
  GameWindow w(o);
  ASSERT_TRUE(w.Start());
  w.MoveTo(200, 200);
  w.Step();
  EXPECT_EQ(w.Pixel(200, 200), 0x000000u);  // the outline
  EXPECT_EQ(w.Pixel(201, 206), 0xFFFFFFu);  // the inside
}

// Three frames fall due in every 100 ms, 30, 35 and 35 ms apart with the 5 ms timer.
TEST(FrameClock, ThreeFramesFallDueInEvery100Milliseconds) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  ASSERT_EQ(w.form->GetTimerInterval(), 5);
  w.form->ResetFrameClock();
  struct Step {
    int advance, due;
  } steps[] = {{25, 0}, {5, 1}, {30, 1}, {5, 2}, {30, 2}, {5, 3}, {30, 4}, {35, 5}, {35, 6}};
  for (const Step& s : steps) {
    w.AdvanceMs(s.advance);
    EXPECT_EQ(w.form->GetFramesDue(), s.due) << "after " << s.advance;
  }
}

// A timer call that stands for many ticks (the thread woke late) counts every one of them: the game clock and the
// frames keep step with the monotonic clock, in small steps and in large ones.
TEST(FrameClock, KeepsStepWithTheClockWhenTheTimerWakesLate) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->ResetFrameClock();
  const int start = w.form->GetGameClock();
  w.AdvanceMs(1000);
  EXPECT_EQ(w.form->GetGameClock() - start, 1000);
  EXPECT_EQ(w.form->GetFramesDue(), 30);
  for (int i = 0; i < 1000; ++i) w.AdvanceMs(7);
  EXPECT_EQ(w.form->GetGameClock() - start, 8000);
  EXPECT_EQ(w.form->GetFramesDue(), 240);
}

// "15FPS" draws only when two frames are due, "30FPS" when one is, "FULL" every tick; frames not drawn are handed
// to the next drawn tick. In "FULL" the per-frame hook also runs for no new frame, the input hook does not.
TEST(FrameClock, PacedModesSkipTicksAndHandOverTheFramesTheySkipped) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  Recorder r;
  r.Bind(*w.form);
  w.form->SetResultPending(false);

  w.form->SetFpsMode(kFps15);
  w.form->ResetFrameClock();
  const std::uint64_t composed = w.form->GetComposedFrames();
  w.AdvanceMs(30);
  w.Frame();
  EXPECT_EQ(w.form->GetComposedFrames(), composed);
  EXPECT_TRUE(r.frames.empty());
  w.AdvanceMs(35);
  w.Frame();
  EXPECT_EQ(w.form->GetComposedFrames(), composed + 1);
  EXPECT_EQ(r.frames, std::vector<int>{2});

  w.form->SetFpsMode(kFps30);
  w.Frame();
  EXPECT_EQ(r.frames.size(), 1u);
  w.AdvanceMs(35);
  w.Frame();
  EXPECT_EQ(r.frames.back(), 1);

  w.form->SetFpsMode(kFpsFull);
  w.Frame();
  EXPECT_EQ(r.frames, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(r.inputFrames, (std::vector<int>{2, 1}));
}

TEST(FrameClock, TheMovieStateComposesEveryTickEvenWithoutNewFrames) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  Recorder r;
  w.form->SetOnDrawSurface(VXCallback1<Recorder, void, TZoRGBBits*>(&r, &Recorder::Surface));
  w.form->SetFpsMode(kFps30);
  w.form->BeginMovieMode();
  const int entry = r.surfaceFrames;
  w.Frame();
  w.Frame();
  EXPECT_EQ(r.surfaceFrames, entry + 2);
}

// Once a result is handed to the game thread, nothing of the game runs until its next wait begins.
TEST(FrameClock, AfterAResultHandOffNoHookAnimationOrInputRuns) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  Recorder r;
  r.Bind(*w.form);
  TZoRGBPanel* panel = AddPanel(*w.form);
  int animations = 0;
  panel->OnAnime = [&](Classes::TComponent*) { ++animations; };
  w.form->SetResultPending(false);
  w.form->BeginPanelMode();

  w.form->NotifyMainThread(5);
  EXPECT_TRUE(w.form->IsResultPending());
  EXPECT_EQ(r.results, std::vector<int>{5});
  w.Step();
  EXPECT_TRUE(r.frames.empty());
  EXPECT_EQ(animations, 0);

  w.form->SetResultPending(false);
  w.Step();
  EXPECT_EQ(r.frames.size(), 1u);
  EXPECT_EQ(animations, r.frames[0]);
  delete panel;
}

TEST(FrameClock, WithoutAGameThreadAResultGoesNowhere) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->SetResultPending(false);
  w.form->NotifyMainThread(3);
  EXPECT_FALSE(w.form->IsResultPending());
}

// A transition advances by frames and, once done, ends on the next tick: state 2 and result 0 for the game thread.
TEST(Transitions, ATransitionEndsOnTheTickAfterItIsDone) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  Recorder r;
  r.Bind(*w.form);
  EXPECT_FALSE(w.form->BeginTransition(0, nullptr, nullptr, 100));  // no pictures: it cannot start
  EXPECT_EQ(w.form->GetState(), 2);

  auto owned = std::make_unique<FakeTransition>();
  FakeTransition* t = owned.get();
  t->length = 5;
  w.form->SetTransitionEffect(std::move(owned));
  w.form->SetResultPending(false);
  ASSERT_TRUE(w.form->BeginTransition(3, MemMan->CreateVCL<TZoRGBBits>(nullptr), MemMan->CreateVCL<TZoRGBBits>(nullptr), 100));
  EXPECT_EQ(w.form->GetState(), 9);
  w.Step(100);  // three frames
  EXPECT_EQ(t->done, 3);
  EXPECT_EQ(w.form->GetState(), 9);
  w.Step(100);
  EXPECT_EQ(t->done, 6);
  EXPECT_TRUE(r.results.empty());
  w.Step(0);
  EXPECT_EQ(w.form->GetState(), 2);
  EXPECT_EQ(r.results, std::vector<int>{0});
  EXPECT_TRUE(r.frames.empty());  // a transition's frames run no per-frame hook
}

// Only the panel screens, the adventure and the movie take input; the rest drop it.
TEST(InputQueue, OnlyTheInputTakingStatesQueue) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  for (std::uint8_t state = 2; state <= 9; ++state) {
    w.form->SetState(state);
    w.form->ClearInput();
    w.form->FormKeyDown('A', {});
    EXPECT_EQ(w.form->QueuedInput(), state == 3 || state == 5 || state == 6 ? 1u : 0u) << int(state);
  }
  w.form->SetState(2);
}

TEST(InputQueue, MovesJoinAndTheQueueIsBounded) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->SetResultPending(false);
  w.form->BeginPanelMode();
  for (int i = 0; i < 1000; ++i) w.form->FormMouseMove({}, i % 640, 5);
  EXPECT_EQ(w.form->QueuedInput(), 1u);
  for (int i = 0; i < 5000; ++i) w.form->FormKeyDown('A', {});
  EXPECT_EQ(w.form->QueuedInput(), TGameForm::kMaxQueuedInput);

  TZoRGBPanel* panel = AddPanel(*w.form);
  std::vector<int> xs;
  panel->OnMouseMove = [&](Classes::TComponent*, TShiftState, int x, int) { xs.push_back(x); };
  w.form->ClearInput();
  w.form->FormMouseMove({}, 10, 5);
  w.form->FormMouseMove({}, 20, 5);
  w.form->FormKeyDown('B', {});
  w.form->FormMouseMove({}, 30, 5);
  w.Step();
  EXPECT_EQ(xs, (std::vector<int>{20, 30}));
  delete panel;
}

// Two clicks in one frame: the first makes the screen hand back its result, so the second never reaches it, and the
// next wait's entry drops it.
TEST(InputQueue, EventsAfterAResultHandOffStayForTheNextWait) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  Recorder r;
  r.Bind(*w.form);
  TZoRGBPanel* panel = AddPanel(*w.form);
  int clicks = 0;
  panel->OnClick = [&](Classes::TComponent*) {
    ++clicks;
    w.form->NotifyMainThread(1);
  };
  w.form->SetResultPending(false);
  w.form->BeginPanelMode();
  w.Click(100, 100);
  w.Click(110, 110);
  w.Step();
  EXPECT_EQ(clicks, 1);
  EXPECT_GT(w.form->QueuedInput(), 0u);
  w.form->SetResultPending(false);
  w.form->BeginAdventureMode();
  EXPECT_EQ(w.form->QueuedInput(), 0u);
  delete panel;
}

// Typed characters reach the panels byte by byte; bytes of 0x80 and above are negative characters.
TEST(InputQueue, TypedDoubleByteCharactersArriveAsTwoKeyPresses) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  TZoRGBPanel* panel = AddPanel(*w.form);
  std::vector<int> chars;
  panel->OnKeyPress = [&](Classes::TComponent*, char& c) { chars.push_back(c); };
  w.form->SetResultPending(false);
  w.form->BeginPanelMode();
  w.input.TextTyped("あa");  // CP932 82 A0, then 61
  w.RunMain();
  w.Step();
  EXPECT_EQ(chars, (std::vector<int>{static_cast<signed char>(0x82), static_cast<signed char>(0xA0), 'a'}));
  bool handled = false;
  w.form->FormMouseWheel({}, 120, 1, 1, handled);
  EXPECT_TRUE(handled);
  delete panel;
}

TEST(WaitModes, EnteringTheSameModeAgainDrawsNothingAndKeepsTheInput) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->BeginPanelMode();
  w.form->FormKeyDown('A', {});
  const std::size_t presented = w.Presented();
  w.form->BeginPanelMode();
  EXPECT_EQ(w.Presented(), presented);
  EXPECT_EQ(w.form->QueuedInput(), 1u);
}

// Alt+Enter switches between window and full screen; the screen-change callbacks hear of it before and after, and
// frames go on being presented either way.
TEST(Display, AltEnterSwitchesBetweenWindowAndFullScreen) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  struct Changes {
    std::vector<int> phases;
    void Changed(DirectX::TDDraw*, int phase) { phases.push_back(phase); }
  } changes;
  w.form->AddScreenChangeCallback(VXCallback2<Changes, void, DirectX::TDDraw*, int>(&changes, &Changes::Changed));
  w.MoveTo(300, 300);
  for (bool fullScreen : {true, false, true}) {
    w.form->OnHotKey(2);
    EXPECT_EQ(WindowMode.load(), fullScreen ? 0 : 1);
    EXPECT_EQ(w.form->GetDisplay()->GetFullScreen(), fullScreen);
    EXPECT_EQ(w.presenter.IsFullScreen(), fullScreen);
    w.Step();
    EXPECT_EQ(w.Pixel(301, 301), 0x101010u);
  }
  EXPECT_EQ(changes.phases, (std::vector<int>{1, 0, 1, 0, 1, 0}));

  // The configuration screen's request comes from the game thread and is carried out on the main thread; asking
  // for the mode already shown does nothing.
  w.form->RequestWindowMode(false);
  w.RunMain();
  EXPECT_EQ(changes.phases.size(), 6u);
  w.form->RequestWindowMode(true);
  EXPECT_EQ(WindowMode.load(), 0);
  w.RunMain();
  EXPECT_EQ(WindowMode.load(), 1);
  EXPECT_EQ(changes.phases.size(), 8u);
}

// A mode that cannot be set up leaves the one that worked; only a display that cannot come back ends the game.
TEST(Display, AFailedSwitchGoesBackToThePreviousMode) {
  GameWindow w;
  bool failWindow = false;
  FailingDisplay* form = nullptr;
  ASSERT_TRUE(w.Start([&](const TGameFormSetup& s) {
    auto f = std::make_unique<FailingDisplay>(s, failWindow);
    form = f.get();
    return f;
  }));
  form->failFullScreen = true;
  EXPECT_FALSE(w.form->ChangeWindowMode(false));
  EXPECT_EQ(WindowMode.load(), 1);
  EXPECT_TRUE(w.form->IsDisplayEnabled());
  w.form->OnHotKey(2);
  EXPECT_EQ(w.form->GetState(), 2);
  w.MoveTo(50, 50);
  w.Step();
  EXPECT_EQ(w.Pixel(51, 51), 0x101010u);

  failWindow = true;
  w.form->OnHotKey(2);
  EXPECT_FALSE(w.form->IsDisplayEnabled());
  EXPECT_EQ(w.form->GetState(), 10);  // no game thread: the window closes
  w.RunMain();
  EXPECT_TRUE(w.terminated);
}

// While the display is not ready the composer waits without keeping the draw lock, so the main thread's display
// work is not held up.
TEST(Display, WaitingForTheDisplayLetsTheDrawLockGo) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->OnHotKey(2);  // full screen: a flip chain whose buffers can be busy
  DirectX::TDSurface* buffer = w.form->GetDisplay()->GetBackBuffer();
  ASSERT_NE(buffer, nullptr);
  w.form->GetDrawLock().Enter();
  buffer->Lock();
  w.form->GetDrawLock().Leave();
  std::thread composer([&] { w.form->DrawFullFrame(); });
  w.clock.WaitForSleepers(2);  // the timer, and the composer between two looks at the display
  const bool free = w.form->GetDrawLock().TryEnter();
  if (free) {
    buffer->Unlock();
    w.form->GetDrawLock().Leave();
  }
  EXPECT_TRUE(free);
  for (int i = 0; i < 5 && !free; ++i) w.clock.AdvanceMs(1000);
  w.clock.AdvanceMs(1);
  composer.join();
}

// A reader between frames runs while a frame rests in its pacing on a clock that has not moved (the pacing is not
// part of the tick), and the frame it released waits until the reader is done.
TEST(FrameClock, AReaderBetweenFramesIsNeverInsideAFrame) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->SetFpsMode(kFpsFull);
  std::atomic<bool> stop{false}, ended{false};
  std::thread game([&] {
    while (!stop) GameFrame(w.form.get());
    ended = true;
  });
  w.clock.WaitForSleepers(2);  // the timer, and the frame pacing itself
  std::uint64_t before = 0, after = 0;
  WithinAMinute([&] {
    w.form->BetweenFrames([&] {
      before = w.form->GetComposedFrames();
      w.clock.AdvanceMs(10);  // the pacing ends; the tick must wait
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      after = w.form->GetComposedFrames();
    });
  });
  EXPECT_EQ(after, before);
  EXPECT_TRUE(WaitFor([&] {
    w.clock.AdvanceMs(5);
    return w.form->GetComposedFrames() > after;
  })) << "the frame went on after the reader";
  stop = true;
  EXPECT_TRUE(WaitFor([&] {
    w.clock.AdvanceMs(5);
    return ended.load();
  }));
  game.join();
}

TEST(Closing, WithoutAGameThreadTheWindowClosesAtOnceAndKeepsItsSettings) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->SetFpsMode(kFps30);
  w.form->Close();
  EXPECT_EQ(w.form->GetState(), 10);
  EXPECT_FALSE(w.form->IsShown());
  EXPECT_TRUE(w.terminated);
  w.form.reset();
  std::ifstream in(w.save.str() + "/BELVAR/QORM/QORM.ini");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("FPSMode=30fps"), std::string::npos);
}

// An error in a frame ends the game without a question and is kept for the program's exit; an error in a
// per-frame hook is only reported.
TEST(Closing, AnErrorInAFrameEndsTheGame) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  struct Throwing {
    void Frame(int) { throw std::runtime_error("hook failed"); }
  } throwing;
  w.form->SetResultPending(false);
  w.form->SetOnFrame(VXCallback1<Throwing, void, int>(&throwing, &Throwing::Frame));
  testing::internal::CaptureStderr();
  w.Step();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("hook failed"), std::string::npos);
  EXPECT_EQ(w.form->GetState(), 2);

  Recorder r;
  r.throwOnDraw = true;
  w.form->SetOnDrawUpdate(VXCallback2<Recorder, void, TZoRGBBits*, VXRectSet*>(&r, &Recorder::Update));
  w.Step();
  EXPECT_EQ(w.form->GetState(), 10);
  EXPECT_EQ(w.form->GetFatalError(), "draw failed");
  w.RunMain();
  EXPECT_TRUE(w.terminated);
}

TEST(Closing, ASettingsFileThatCannotBeWrittenDoesNotStopTheTearDown) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  std::filesystem::create_directories(w.save.str() + "/BELVAR/QORM/QORM.ini");
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(w.form.reset());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot write the settings file"), std::string::npos);
}

// The wait thread steps the frames while the wait picture is up and whenever the window is busy, however quickly
// the modes change; its frames run no hook of the game and leave the input unit alone.
TEST(WaitThread, DrivesTheWaitStatesEveryTimeAndLeavesTheGamesPartsAlone) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  Recorder r;
  r.Bind(*w.form);
  w.form->SetResultPending(false);
  TWaitThread* waiter = w.form->GetWaitThread();
  ASSERT_NE(waiter, nullptr);
  ASSERT_TRUE(WaitFor([&] { return waiter->IsSuspended(); }));
  WithinAMinute([&] {
    for (int i = 0; i < 50; ++i) {
      if (i % 2 == 0)
        w.form->BeginWaitImageMode();
      else
        w.form->BeginBusyMode();
      const std::uint64_t composed = w.form->GetComposedFrames();
      w.clock.WaitForSleepers(2);  // the wait thread pacing its frames ("FULL": 3 ms apart)
      w.AdvanceMs(5, 2);
      ASSERT_TRUE(WaitFor([&] { return w.form->GetComposedFrames() > composed; }));
      w.form->BeginPanelMode();
      w.clock.AdvanceMs(5);
      ASSERT_TRUE(WaitFor([&] { return waiter->IsSuspended(); }));
    }
  });
  EXPECT_EQ(r.FrameCalls(), 0u);
}

// After five seconds of wait-picture frames, the picture fades in where it belongs.
TEST(WaitThread, TheWaitPictureFadesInAfterFiveSeconds) {
  GameWindow::Options o;
  o.waitImage = true;
  GameWindow w(o);
  ASSERT_TRUE(w.Start());
  w.form->SetFpsMode(kFps30);
  w.form->BeginWaitImageMode();
  auto frame = [&] {
    // Both threads on the clock asleep (the timer not inside a call) before the clock moves: the frame that falls
    // due then wakes the wait thread.
    w.clock.WaitForSleepers(2);
    const std::uint64_t composed = w.form->GetComposedFrames();
    w.clock.AdvanceMs(35);
    ASSERT_TRUE(WaitFor([&] { return w.form->GetComposedFrames() > composed; }));
  };
  for (int i = 0; i < 150; ++i) frame();
  EXPECT_EQ(w.Pixel(400, 400), 0x000000u);
  for (int i = 0; i < 80; ++i) frame();
  const std::uint32_t p = w.Pixel(400, 400);
  EXPECT_EQ(p & 0xFFFF, 0x4080u) << std::hex << p;
  EXPECT_EQ(w.Pixel(380, 400), 0x000000u);
}

TEST(Cursor, TypesInRangeStackOfSixteenAndHotSpots) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  struct Case {
    int type, expected;
  } cases[] = {{3, 3}, {8, 3}, {-1, -1}, {-2, -1}, {7, 7}};
  for (const Case& c : cases) {
    w.form->SetCursorType(c.type);
    EXPECT_EQ(w.form->GetCursorType(), c.expected) << c.type;
  }
  for (int i = 0; i < 17; ++i) {
    w.form->SetCursorType(i % 8);
    EXPECT_EQ(w.form->PushCursorType(), i < 16);
  }
  EXPECT_FALSE(w.form->PopCursorType());  // the seventeenth was not stored
  EXPECT_TRUE(w.form->PopCursorType());
  EXPECT_EQ(w.form->GetCursorType(), 15 % 8);
  for (int i = 0; i < 15; ++i) EXPECT_TRUE(w.form->PopCursorType());
  EXPECT_FALSE(w.form->PopCursorType());
  EXPECT_EQ(w.form->GetCursorType(), 0);

  // Cells 4 to 7 have their hot spot in the middle: at the corner of the screen the cell is drawn cut.
  w.form->SetCursorType(4);
  w.MoveTo(0, 0);
  w.Step();
  EXPECT_EQ(w.Pixel(0, 0), 0x505050u);
  // No cursor: the last one is wiped.
  w.form->SetCursorType(-1);
  w.Step();
  EXPECT_EQ(w.Pixel(0, 0), 0x000000u);
}

TEST(Overlays, TheFpsTextIsShownWithTheSwitchAndDoesNotSmear) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  auto lit = [&] {
    const GameWindow::Picture front = w.Front();
    int n = 0;
    for (int y = 0; y < 26; ++y)
      for (int x = 544; x < 640; ++x) n += front.Pixel(x, y) == 0xFFFFFFu;
    return n;
  };
  w.Step();
  EXPECT_EQ(lit(), 0);
  ShowFPS = 1;
  w.Step();
  const int once = lit();
  EXPECT_GT(once, 20);
  w.Step(0);
  w.Step(0);
  EXPECT_EQ(lit(), once);  // the same text over the restored background, not one text over another
}

TEST(FpsCounter, CountsComposedFramesOfTheLastFourQuarterSeconds) {
  TFpsCounter c;
  c.Reset(0);
  EXPECT_EQ(CountFps(&c, 5000), 0);  // a second or more since the bucket began: start again
  for (int t = 5001; t < 5250; t += 10) CountFps(&c, static_cast<std::uint32_t>(t));
  EXPECT_EQ(CountFps(&c, 5250), 26);  // the next bucket starts: the sum of the others
  for (int t = 5260; t < 6000; t += 10) CountFps(&c, static_cast<std::uint32_t>(t));
  EXPECT_EQ(CountFps(&c, 6000), 101);
  EXPECT_EQ(CountFps(&c, 7100), 0);
  for (int i = 0; i < 5000; ++i) CountFps(&c, 7101);
  EXPECT_EQ(CountFps(&c, 7351), 999);
}

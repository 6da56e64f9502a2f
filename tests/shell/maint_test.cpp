// Label: threads
// The game thread's base in the real game window: the result hand-off and its waits, the ending by EGameEnd (also
// when the main loop has already gone), the callback slots, the sound and mode wrappers, the transitions with their
// resources and rates, the fades, and every transition kind end to end between the demo game's two scenes.
//
// The thread runs a flow of the test under the game lock. Frames pace on the test's manual clock: in the "FULL" mode
// the thread sleeps 3 ms of it before each frame, so a tick of 10 ms (Tick) runs exactly one frame of a thread that
// waits, and RunUntil keeps the clock moving while the test waits for the flow.
#include "shell/maint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "device/dinputu.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "shell/gameeffect.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

using gamewindow::GameWindow;

namespace {

constexpr int W = TGameForm::kWidth, H = TGameForm::kHeight;

// A gate that a flow waits at until the test opens it.
class Gate {
public:
  void Open() {
    std::lock_guard guard(lock_);
    open_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return open_; });
  }

private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
};

// How a flow ended; it outlives the thread, which goes with the window's close.
struct Outcome {
  std::atomic<bool> returned{false};    // the flow came to its end
  std::atomic<bool> ended{false};       // by EGameEnd
  std::atomic<bool> terminated{false};  // the thread's Terminated flag at the end
  std::string error;                    // another exception's message (read after `done`)
  std::atomic<bool> done{false};        // the body has run down
};

// A game thread that runs the test's flow as a thread body does: under the game lock, ending with RunDown. It
// begins when `go` opens.
class FlowThread : public TMainThread {
public:
  using Flow = std::function<void(FlowThread&)>;
  FlowThread(TGameForm& form, Flow flow, Outcome& outcome, Gate& go)
      : TMainThread(form), flow_(std::move(flow)), outcome_(outcome), go_(go) {}

  // The window's frame hooks lead to the slots, as the running game has them.
  void HookFrames() {
    GetForm().SetOnFrame(VXCallback1<TMainThread, void, int>(this, &TMainThread::CallFrameProc));
    GetForm().SetOnFrameInput(VXCallback2<TMainThread, void, int, TDInputUnit*>(this, &TMainThread::CallInputProc));
  }

protected:
  void Execute() override {
    go_.Wait();
    GetForm().GetGameLock().Enter();
    try {
      flow_(*this);
      outcome_.returned = true;
    } catch (const EGameEnd&) {
      outcome_.ended = true;
    } catch (const std::exception& e) {
      outcome_.error = e.what();
    }
    if (!GetForm().IsApplicationTerminated()) {
      GetForm().SetOnFrame({});
      GetForm().SetOnFrameInput({});
    }
    outcome_.terminated = GetTerminated();
    RunDown();
    outcome_.done = true;
  }

private:
  Flow flow_;
  Outcome& outcome_;
  Gate& go_;
};

// The game window with a flow as its game thread; `folder` is another game folder (the demo game).
class FlowGame {
public:
  explicit FlowGame(FlowThread::Flow flow, const std::string& folder = {},
                    const std::function<std::unique_ptr<TGameForm>(const TGameFormSetup&)>& make = {})
      : w(Options(std::move(flow))) {
    if (!folder.empty()) w.setup.gameFolder = folder;
    started = w.Start(make);
    go.Open();
  }
  ~FlowGame() {
    if (started && !outcome.done) w.form->RequestQuit(false);
    Finish();
  }

  // One frame of a thread that waits in the "FULL" mode (the timer and the thread sleep on the clock).
  void Tick() { w.AdvanceMs(10, 2); }
  // Keeps the clock moving until `done` holds.
  template <class Done>
  void RunUntil(Done done) {
    EXPECT_TRUE(WaitFor([&] {
      if (done()) return true;
      w.clock.AdvanceMs(5);
      return false;
    }));
  }
  // Lets the flow run to its end and the wait thread come to rest; then the window closes as the body asked.
  void Finish() {
    RunUntil([&] {
      const Classes::TThread* waiter = w.form->GetWaitThread();
      return (!started || outcome.done) && (waiter == nullptr || waiter->IsSuspended());
    });
    w.RunMain();
  }

  Outcome outcome;
  Gate go;  // the flow begins once the window runs
  GameWindow w;
  bool started = false;

private:
  GameWindow::Options Options(FlowThread::Flow flow) {
    GameWindow::Options o;
    o.gameThread = [this, flow = std::move(flow)](TGameForm& form) {
      return std::make_unique<FlowThread>(form, flow, outcome, go);
    };
    return o;
  }
};

// The sound service as the game thread sees it: a voice the test switches, and the calls with whether the game
// lock was held during them.
struct FakeSound : TGameThreadSound {
  explicit FakeSound(TGameForm* f = nullptr) : form(f) {}
  void PlayBgm(int track, bool loop, bool fade) override {
    Record("play " + std::to_string(track) + (loop ? " loop" : "") + (fade ? " fade" : ""));
  }
  void StopBgm(bool fade) override { Record(fade ? "stop fade" : "stop"); }
  bool IsVoicePlaying() override {
    ++voiceChecks;
    return voice;
  }
  void Record(const std::string& call) {
    std::lock_guard guard(lock);
    calls.push_back(call);
    heldTheGameLock = heldTheGameLock || (form != nullptr && form->GetGameLock().IsOwner());
  }

  TGameForm* form;
  std::atomic<bool> voice{false};
  std::atomic<int> voiceChecks{0};
  std::mutex lock;
  std::vector<std::string> calls;
  bool heldTheGameLock = false;
};

// Counts the calls of a frame or input slot.
struct Counter {
  std::atomic<int> calls{0}, frames{0};
  std::atomic<TDInputUnit*> input{nullptr};
  std::function<void()> onCall;
  void Frame(int n) {
    ++calls;
    frames += n;
    if (onCall) onCall();
  }
  void Input(int n, TDInputUnit* unit) {
    input = unit;
    Frame(n);
  }
  TFrameHook AsFrame() { return VXCallback1<Counter, void, int>(this, &Counter::Frame); }
  TFrameInputHook AsInput() { return VXCallback2<Counter, void, int, TDInputUnit*>(this, &Counter::Input); }
};

// The colours of a picture, 0x00RRGGBB, top row first.
std::vector<std::uint32_t> Colours(TZoRGBBits* bits) {
  std::vector<std::uint32_t> out;
  if (!bits->Lock()) return out;
  const int bpp = bits->GetBitDepth();
  for (int y = 0; y < bits->GetHeight(); ++y)
    for (int x = 0; x < bits->GetWidth(); ++x) {
      const unsigned char* p = bits->GetBits() + y * bits->GetPitch() + x * bpp;
      out.push_back(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
    }
  bits->Unlock();
  return out;
}

// A screen picture of the test's own (not in the window's memory registry), filled with a colour or a scene.
std::unique_ptr<TZoRGBBits> Picture(std::uint32_t colour = 0) { return gamewindow::FilledPicture(W, H, colour); }

// A created, visible panel showing one colour.
struct ColourPanel {
  ColourPanel(int x, int y, int w, int h, std::uint32_t colour) : image(Picture(colour)) {
    panel.SetImage(image.get());
    panel.SetOffsetX(x);
    panel.SetOffsetY(y);
    panel.SetSizeX(w);
    panel.SetSizeY(h);
    panel.SetCreated(true);
  }
  std::unique_ptr<TZoRGBBits> image;
  TZoRGBPanel panel{nullptr};
};

// A transition that records what it is started with (loaded resources, rate, pictures) and is done at once.
struct SpyTransition : TTransitionEffect {
  struct Started {
    int kind = 0, rate = 0;
    bool water = false, halo = false;
    std::vector<std::uint8_t> mask;  // the mask plane, when one is loaded
    std::vector<std::uint32_t> from, to;
  };
  explicit SpyTransition(TGameForm& f) : form(f) {}
  bool Start(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) override {
    TEffectMan& effects = form.GetEffectMan();
    Started s{kind, rate, effects.Water().IsLoaded(), effects.Halo().IsLoaded(), {}, {}, {}};
    if (const TZoAlpha* mask = effects.Mask().GetMask(); effects.Mask().IsLoaded() && mask != nullptr)
      s.mask.assign(mask->GetBits(), mask->GetBits() + mask->GetPitch() * mask->GetHeight());
    if (keepPictures) s.from = Colours(from), s.to = Colours(to);
    starts.push_back(std::move(s));
    DeleteScreenBits(from);
    DeleteScreenBits(to);
    return true;
  }
  void Advance(int) override {}
  bool IsDone() const override { return true; }
  void Draw(TZoRGBBits*, VXRectSet*) override {}
  void Clear() override {}

  TGameForm& form;
  bool keepPictures = false;
  std::vector<Started> starts;
};

SpyTransition* InstallSpy(TGameForm& form) {
  auto spy = std::make_unique<SpyTransition>(form);
  SpyTransition* raw = spy.get();
  form.SetTransitionEffect(std::move(spy));
  return raw;
}

// Two screen pictures of the window, the first filled with `from`, the second with `to`.
void ScreenPair(TZoRGBBits** from, TZoRGBBits** to, std::uint32_t fromColour = 0x102030,
                std::uint32_t toColour = 0x405060) {
  CreateScreenBitsPair(from, to);
  (*from)->BoxFill(0, 0, W - 1, H - 1, fromColour);
  (*to)->BoxFill(0, 0, W - 1, H - 1, toColour);
}

std::string DemoPack() { return std::string(QORM_DEMO_GAME_DIR) + "/Game.pak"; }

}  // namespace

// ---- The result hand-off ------------------------------------------------------------------------------------------

TEST(ResultHandOff, WithoutAGameThreadANotificationDoesNothing) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  EXPECT_EQ(MainThread, nullptr);
  w.form->SetResultPending(false);
  NotifyMainThread(3);
  EXPECT_FALSE(w.form->IsResultPending());
  {
    TMainThread thread(*w.form);  // not started: it still takes results
    EXPECT_EQ(MainThread, &thread);
    NotifyMainThread(4);
    EXPECT_TRUE(w.form->IsResultPending());
    EXPECT_EQ(thread.GetResult(), 4);
  }
  EXPECT_EQ(MainThread, nullptr);
  w.form->SetResultPending(false);
  NotifyMainThread(5);
  EXPECT_FALSE(w.form->IsResultPending());
  EXPECT_EQ(EGameEnd().what(), std::string("GameEnd"));
}

// A notification from another thread ends the wait; during the wait the game lock is free for others, and the
// thread has it back as deep as before.
TEST(ResultHandOff, ANotificationEndsTheWaitAndTheLockComesBackAsDeep) {
  std::atomic<int> result{-1}, depth{0};
  std::atomic<bool> waiting{false};
  FlowGame g([&](FlowThread& t) {
    VXCriticalSection& lock = t.GetForm().GetGameLock();
    lock.Enter();
    waiting = true;
    t.WaitForNotify();
    result = t.GetResult();
    depth = lock.LeaveAll();
    lock.Reenter(depth);
    lock.Leave();
  });
  ASSERT_TRUE(g.started);
  ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
  g.w.clock.WaitForSleepers(2);
  ASSERT_TRUE(g.w.form->GetGameLock().TryEnter());  // given up inside the wait
  g.w.form->GetGameLock().Leave();
  g.Tick();
  EXPECT_FALSE(g.outcome.returned);
  NotifyMainThread(7);
  g.Finish();
  EXPECT_TRUE(g.outcome.returned);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(depth, 2);
}

// A notification while the thread does not wait is forgotten by the next wait; its result stays readable until a
// later one replaces it.
TEST(ResultHandOff, ANotificationOutsideAWaitIsDroppedButItsResultStays) {
  Gate gate;
  Counter frames;
  std::atomic<int> resultBefore{-1}, resultAfter{-1};
  FlowGame g([&](FlowThread& t) {
    t.HookFrames();
    t.SetFrameProc(frames.AsFrame());
    gate.Wait();
    resultBefore = t.GetResult();
    t.WaitForNotify();
    resultAfter = t.GetResult();
  });
  ASSERT_TRUE(g.started);
  NotifyMainThread(5);  // the flow is at the gate
  gate.Open();
  g.RunUntil([&] { return frames.calls >= 3; });  // frames ran after the wait began: it did not end on the 5
  EXPECT_FALSE(g.outcome.returned);
  EXPECT_EQ(resultBefore, 5);
  NotifyMainThread(6);
  g.Finish();
  EXPECT_EQ(resultAfter, 6);
}

// After a hand-off nothing of the screen runs (frame and input slots, panel animation) until the next wait begins:
// frames that run meanwhile, in a wait for the voice, only draw.
TEST(ResultHandOff, AfterANotificationTheScreenRestsUntilTheNextWait) {
  Counter frames, inputs;
  FakeSound sound;
  std::atomic<int> stage{0};
  ColourPanel panel(0, 0, W, H, 0x203040);
  std::atomic<int> animations{0};
  panel.panel.OnAnime = [&](Classes::TComponent*) { ++animations; };
  std::atomic<bool> notified{false};
  frames.onCall = [&] {  // in the first frame that read the input
    if (inputs.calls > 0 && !notified.exchange(true)) NotifyMainThread(9);
  };
  FlowGame g([&](FlowThread& t) {
    t.SetSound(&sound);
    t.HookFrames();
    t.SetFrameProc(frames.AsFrame());
    t.SetInputProc(inputs.AsInput());
    t.GetForm().AttachPanel(&panel.panel);
    t.EnterPanelMode();
    t.WaitForNotify();  // ends from the frame slot
    stage = 1;
    t.WaitWhileVoice();
    stage = 2;
    t.WaitForNotify();
    t.GetForm().DetachPanel(&panel.panel);
  });
  ASSERT_TRUE(g.started);
  sound.voice = true;
  g.RunUntil([&] { return stage == 1 && sound.voiceChecks > 0; });
  const int frameCalls = frames.calls, inputCalls = inputs.calls, animated = animations;
  EXPECT_GT(inputCalls, 0);
  EXPECT_GT(animated, 0);
  EXPECT_EQ(inputs.input.load(), g.w.form->GetInputUnit());
  const int checks = sound.voiceChecks;
  g.RunUntil([&] { return sound.voiceChecks >= checks + 20; });  // twenty frames and more while the voice plays
  EXPECT_TRUE(g.w.form->IsResultPending());
  EXPECT_EQ(frames.calls, frameCalls);
  EXPECT_EQ(inputs.calls, inputCalls);
  EXPECT_EQ(animations, animated);
  sound.voice = false;
  g.RunUntil([&] { return stage == 2 && frames.calls > frameCalls && inputs.calls > inputCalls; });
  EXPECT_GT(animations, animated);
  NotifyMainThread(0);
  g.Finish();
  EXPECT_TRUE(g.outcome.returned);
}

// ---- Ending --------------------------------------------------------------------------------------------------------

// The close request ends the thread from its wait by EGameEnd; the body has the window close. Quit and
// CheckTerminated end it the same way.
TEST(Ending, ATerminatedThreadLeavesItsWaitByGameEndAndTheWindowCloses) {
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    std::atomic<bool> reached{false};
    FlowGame g([&](FlowThread& t) {
      if (how == 1) t.Quit();
      if (how == 2) {
        t.CheckTerminated();  // not yet
        reached = true;
        t.GetForm().RequestQuit(false);
        t.CheckTerminated();
      }
      t.WaitForNotify();
      reached = true;
    });
    ASSERT_TRUE(g.started);
    if (how == 0) {
      g.w.clock.WaitForSleepers(2);
      g.w.form->RequestQuit(false);
    }
    g.Finish();  // and the close the body asked for
    EXPECT_TRUE(g.outcome.ended);
    EXPECT_EQ(reached, how == 2);
    EXPECT_TRUE(g.outcome.terminated);
    EXPECT_TRUE(g.w.terminated);
    EXPECT_TRUE(g.w.questions.empty());
  }
}

// When the main loop has already ended, the wait does not return as if notified: it leaves by EGameEnd without the
// game lock, the wrappers do nothing any more, and the body asks nothing of the closing window.
TEST(Ending, WhenTheMainLoopHasEndedTheWaitRunsDownWithoutTheLock) {
  FakeSound sound;
  std::atomic<bool> reached{false}, heldTheLock{true};
  std::atomic<int> stateAfter{-1};
  FlowGame g([&](FlowThread& t) {
    t.SetSound(&sound);
    try {
      t.WaitForNotify();
      reached = true;
    } catch (const EGameEnd&) {
      heldTheLock = t.GetForm().GetGameLock().IsOwner();
      t.PlayBgm(1, true, false);
      t.EnterPanelMode();
      stateAfter = t.GetForm().GetState();
      throw;
    }
  });
  ASSERT_TRUE(g.started);
  g.w.clock.WaitForSleepers(2);
  NotifyMainThread(4);     // a result is waiting, but the main loop ends first
  g.w.terminated = true;
  g.RunUntil([&] { return g.outcome.done.load(); });
  EXPECT_TRUE(g.outcome.ended);
  EXPECT_FALSE(reached);
  EXPECT_FALSE(heldTheLock);
  EXPECT_TRUE(sound.calls.empty());
  EXPECT_EQ(stateAfter, 2);
  EXPECT_EQ(g.w.tasks.Pending(), 0u);  // no close asked for
  EXPECT_TRUE(g.w.form->GetGameLock().TryEnter());
  g.w.form->GetGameLock().Leave();
}

// The bare thread shows the wait picture and waits until it is told to end; then the window closes.
TEST(Ending, TheBareThreadWaitsUnderTheWaitPictureUntilItIsTerminated) {
  GameWindow::Options o;
  o.gameThread = [](TGameForm& form) { return std::make_unique<TMainThread>(form); };
  GameWindow w(o);
  w.Start();  // the thread may already have left state 2
  ASSERT_NE(w.form->GetGameThread(), nullptr);
  auto moveClock = [&](auto done) {
    return WaitFor([&] {
      if (done()) return true;
      w.clock.AdvanceMs(5);
      return false;
    });
  };
  ASSERT_TRUE(moveClock([&] { return w.form->GetState() == 7; }));
  NotifyMainThread(2);  // results do not end it
  w.clock.AdvanceMs(100);
  EXPECT_FALSE(w.form->GetGameThread()->IsFinished());
  w.form->RequestQuit(false);
  ASSERT_TRUE(moveClock([&] {
    return w.form->GetGameThread()->IsFinished() && w.form->GetWaitThread()->IsSuspended();
  }));
  w.RunMain();
  EXPECT_TRUE(w.terminated);
}

// ---- Callback slots ------------------------------------------------------------------------------------------------

// The slots are swapped by one thread while another calls them: every call reaches one whole callback. A callback
// may replace its own slot. Empty slots do nothing.
TEST(CallbackSlots, SwappedWhileCalledAndReplacedFromInside) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  TMainThread thread(*w.form);
  thread.CallFrameProc(1);  // empty: nothing
  thread.CallInputProc(1, nullptr);
  Counter a, b, input;
  constexpr int kCalls = 20000;
  thread.SetFrameProc(a.AsFrame());
  std::thread swapper([&] {
    for (int i = 0; i < kCalls; ++i) thread.SetFrameProc(i % 2 == 0 ? a.AsFrame() : b.AsFrame());
  });
  for (int i = 0; i < kCalls; ++i) thread.CallFrameProc(1);
  swapper.join();
  EXPECT_EQ(a.calls + b.calls, kCalls);
  EXPECT_EQ(a.frames + b.frames, kCalls);

  a.onCall = [&] { thread.SetFrameProc(b.AsFrame()); };
  thread.SetFrameProc(a.AsFrame());
  const int before = b.calls;
  thread.CallFrameProc(2);
  thread.CallFrameProc(3);
  EXPECT_EQ(b.calls, before + 1);
  EXPECT_TRUE(thread.GetFrameProc() == b.AsFrame());

  thread.SetInputProc(input.AsInput());
  thread.CallInputProc(4, w.form->GetInputUnit());
  EXPECT_EQ(input.frames, 4);
  EXPECT_EQ(input.input.load(), w.form->GetInputUnit());
  EXPECT_TRUE(thread.GetInputProc() == input.AsInput());
  thread.SetInputProc({});
  thread.CallInputProc(4, nullptr);
  EXPECT_EQ(input.calls, 1);
}

// ---- Sound and wait modes ------------------------------------------------------------------------------------------

// The BGM calls and the mode switches run with the game lock given up and leave it taken again.
TEST(Wrappers, SoundAndModeSwitchesRunWithTheGameLockGivenUp) {
  FakeSound sound;
  std::vector<int> states;
  std::atomic<bool> heldAfter{false}, windowPlayed{false}, windowStopped{false};
  FlowGame g([&](FlowThread& t) {
    t.PlayBgm(3, true, false);  // by default the window's own sound service
    windowPlayed = t.GetForm().IsBgmPlaying();
    t.StopBgm(false);
    windowStopped = !t.GetForm().IsBgmPlaying();
    sound.form = &t.GetForm();
    t.SetSound(&sound);
    t.PlayBgm(3, true, false);
    t.StopBgm(true);
    for (void (TMainThread::*enter)() : {&TMainThread::EnterPanelMode, &TMainThread::EnterHoldMode,
                                         &TMainThread::EnterWaitMode}) {
      (t.*enter)();
      states.push_back(t.GetForm().GetState());
    }
    heldAfter = t.GetForm().GetGameLock().IsOwner();
  }, QORM_DEMO_GAME_DIR);
  ASSERT_TRUE(g.started);
  g.Finish();
  EXPECT_TRUE(g.outcome.returned);
  EXPECT_TRUE(windowPlayed);
  EXPECT_TRUE(windowStopped);
  EXPECT_EQ(sound.calls, (std::vector<std::string>{"play 3 loop", "stop fade"}));
  EXPECT_FALSE(sound.heldTheGameLock);
  EXPECT_EQ(states, (std::vector<int>{3, 8, 7}));
  EXPECT_TRUE(heldAfter);
}

// Sleeping while the voice plays steps no frame: the picture is left alone, in rounds of 100 ms of the clock.
TEST(Wrappers, SleepingWhileTheVoicePlaysStepsNoFrame) {
  FakeSound sound;
  Counter frames;
  std::atomic<bool> asleep{false}, heldAfter{false};
  FlowGame g([&](FlowThread& t) {
    t.SetSound(&sound);
    t.HookFrames();
    t.SetFrameProc(frames.AsFrame());
    t.SleepWhileVoice();  // no voice: at once
    sound.voice = true;
    asleep = true;
    t.SleepWhileVoice();
    heldAfter = t.GetForm().GetGameLock().IsOwner();
  });
  ASSERT_TRUE(g.started);
  ASSERT_TRUE(WaitFor([&] { return asleep.load(); }));
  g.w.clock.WaitForSleepers(2);
  const std::uint64_t composed = g.w.form->GetComposedFrames();
  const int calls = frames.calls;
  for (int round = 0; round < 5; ++round) g.w.AdvanceMs(100, 2);
  EXPECT_EQ(sound.voiceChecks, 1 + 1 + 5);  // the first sleep's look, then one look a round
  EXPECT_EQ(g.w.form->GetComposedFrames(), composed);
  EXPECT_EQ(frames.calls, calls);
  sound.voice = false;
  g.Finish();
  EXPECT_TRUE(g.outcome.returned);
  EXPECT_TRUE(heldAfter);
}

// ---- Transitions ---------------------------------------------------------------------------------------------------

// Each kind starts the effect kind it maps to with the resource it needs loaded, and everything loaded is released
// afterwards; the result in hand and the rate come back. The masks are the demo game's.
TEST(Transitions, KindsMapToEffectsAndLoadTheirResources) {
  VXFileMan files;
  ASSERT_TRUE(files.InitPack(DemoPack().c_str()));
  const struct {
    int kind;
    int effectKind;
    bool water, halo;
    const char* mask;
  } cases[] = {
      {-1, -1, false, false, nullptr},
      {0, ekCrossFade, false, false, nullptr},
      {6, ekScrollLeft, false, false, nullptr},
      {10, ekZoomOut, false, false, nullptr},
      {11, ekWater, true, false, nullptr},
      {12, ekHalation, false, true, nullptr},
      {13, ekMaskEdge, false, false, "FadeMask00_BlindR.bmp"},
      {20, ekMaskEdge, false, false, "FadeMask07_Swirl.bmp"},
      {21, ekMaskEdge, false, false, "FadeMask08_Crystal.bmp"},
      {22, ekMask, false, false, "FadeMask09_StripesB.bmp"},
      {23, ekMaskEdge, false, false, "FadeMask10_StripesN.bmp"},
      {29, ekMaskEdge, false, false, "FadeMask16_Noise.bmp"},
      {30, ekMask, false, false, "FadeMask17_GhostD.bmp"},
      {31, ekMask, false, false, "FadeMask18_GhostU.bmp"},
      {32, ekCrossFade, false, false, nullptr},
      {200, ekCrossFade, false, false, nullptr},
  };
  SpyTransition* spy = nullptr;
  std::vector<int> resultsAfter, ratesAfter;
  std::vector<bool> loadedAfter;
  FlowGame g(
      [&](FlowThread& t) {
        spy = InstallSpy(t.GetForm());
        TEffectMan& effects = t.GetForm().GetEffectMan();
        for (const auto& c : cases) {
          t.SetResult(42);
          if (c.kind == 20) t.SetTransitionRate(250);
          TZoRGBBits *from = nullptr, *to = nullptr;
          ScreenPair(&from, &to);
          t.RunTransition(c.kind, from, to);
          resultsAfter.push_back(t.GetResult());
          ratesAfter.push_back(t.GetTransitionRate());
          loadedAfter.push_back(effects.Water().IsLoaded() || effects.Halo().IsLoaded() || effects.Mask().IsLoaded());
        }
      },
      QORM_DEMO_GAME_DIR);
  ASSERT_TRUE(g.started);
  g.Finish();
  ASSERT_TRUE(g.outcome.returned) << g.outcome.error;
  ASSERT_EQ(spy->starts.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const SpyTransition::Started& s = spy->starts[i];
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(s.kind, c.effectKind);
    EXPECT_EQ(s.rate, c.kind == 20 ? 250 : 100);
    EXPECT_EQ(s.water, c.water);
    EXPECT_EQ(s.halo, c.halo);
    if (c.mask == nullptr) {
      EXPECT_TRUE(s.mask.empty());
    } else {
      TZOFadeAlphaMask expected;
      expected.Load(&files, c.mask);
      const TZoAlpha* plane = expected.GetMask();
      ASSERT_EQ(s.mask.size(), static_cast<std::size_t>(plane->GetPitch() * plane->GetHeight()));
      EXPECT_TRUE(std::equal(s.mask.begin(), s.mask.end(), plane->GetBits())) << c.mask;
    }
    EXPECT_EQ(resultsAfter[i], 42);
    EXPECT_EQ(ratesAfter[i], 100);
    EXPECT_FALSE(loadedAfter[i]);
  }
}

// A transition that cannot start waits for nothing: the screen stays, what was loaded for it is released and the
// result stays. A missing mask is an error of the game, and the pictures handed over go with it.
TEST(Transitions, OneThatCannotStartWaitsForNothingAndAMissingMaskIsAnError) {
  std::atomic<int> stateAfter{-1}, resultAfter{-1};
  std::atomic<bool> released{false}, maskError{false};
  FlowGame g([&](FlowThread& t) {
    TGameForm& form = t.GetForm();
    t.SetResult(8);
    TZoRGBBits* small = MemMan->CreateVCL<TZoRGBBits>(nullptr);
    small->SetBitDepth(form.GetRenderBitDepth());
    small->Resize(320, 240);
    small->Create();
    t.RunTransition(11, small, CreateScreenBits());
    stateAfter = form.GetState();
    resultAfter = t.GetResult();
    released = !form.GetEffectMan().Water().IsLoaded();
    try {
      TZoRGBBits *from = nullptr, *to = nullptr;
      ScreenPair(&from, &to);
      t.RunTransition(20, from, to);  // this game folder has no masks
    } catch (const EGameErr&) {
      maskError = true;
    }
  });
  ASSERT_TRUE(g.started);
  // No clock moved: the flow came through without waiting for a frame.
  ASSERT_TRUE(WaitFor([&] { return g.outcome.done.load(); }));
  EXPECT_TRUE(g.outcome.returned);
  EXPECT_EQ(stateAfter, 2);
  EXPECT_EQ(resultAfter, 8);
  EXPECT_TRUE(released);
  EXPECT_TRUE(maskError);
  EXPECT_EQ(g.w.form->GetState(), 10);
}

// The fades start from a copy of the screen and go to black, to white, or to the next screen's panel drawn alone.
TEST(Transitions, FadesGoFromTheScreenToBlackWhiteOrTheNextPanel) {
  ColourPanel screen(0, 0, W, H, 0x336699);
  ColourPanel next(100, 50, 200, 120, 0xCC8844);
  SpyTransition* spy = nullptr;
  FlowGame g([&](FlowThread& t) {
    spy = InstallSpy(t.GetForm());
    spy->keepPictures = true;
    t.GetForm().AttachPanel(&screen.panel);
    t.GetForm().SetCursorType(-1);
    t.EnterPanelMode();
    t.TransitionToBlack(1);
    t.TransitionToWhite(2);
    t.TransitionToPanel(3, &next.panel);
    t.GetForm().DetachPanel(&screen.panel);
  });
  ASSERT_TRUE(g.started);
  g.Finish();
  ASSERT_TRUE(g.outcome.returned) << g.outcome.error;
  ASSERT_EQ(spy->starts.size(), 3u);
  const std::vector<std::uint32_t> shown(W * H, 0x336699u);
  for (const SpyTransition::Started& s : spy->starts) EXPECT_EQ(s.from, shown) << s.kind;
  EXPECT_EQ(spy->starts[0].kind, 1);
  EXPECT_EQ(spy->starts[0].to, std::vector<std::uint32_t>(W * H, 0));
  EXPECT_EQ(spy->starts[1].to, std::vector<std::uint32_t>(W * H, 0xFFFFFFu));
  const std::vector<std::uint32_t>& panelShot = spy->starts[2].to;
  ASSERT_EQ(panelShot.size(), static_cast<std::size_t>(W * H));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool inside = x >= 100 && x < 300 && y >= 50 && y < 170;
      ASSERT_EQ(panelShot[y * W + x], inside ? 0xCC8844u : 0u) << x << "," << y;
    }
}

// A fade whose second picture cannot be made throws EGameErr and keeps neither picture.
TEST(Transitions, AFadeWhoseSecondPictureCannotBeMadeKeepsNeither) {
  // A window that, after `goodAnswers` answers, reports a depth no screen picture can have.
  class DepthFailing : public TGameForm {
  public:
    using TGameForm::TGameForm;
    VXBitDepth GetWorkingBitDepth() const override {
      return goodAnswers-- > 0 ? TGameForm::GetWorkingBitDepth() : bd16;
    }
    mutable std::atomic<int> goodAnswers{INT_MAX};
  };
  struct KeptCount {
    int count = 0;
    void Kept(VXMemMan*, VXMemPointer) { ++count; }
  } kept;
  std::atomic<bool> failed{false};
  std::atomic<int> stateAfter{-1};
  auto g = std::make_unique<FlowGame>(
      [&](FlowThread& t) {
        static_cast<DepthFailing&>(t.GetForm()).goodAnswers = 1;
        try {
          t.TransitionToBlack(0);
        } catch (const EGameErr&) {
          failed = true;
        }
        stateAfter = t.GetForm().GetState();
      },
      std::string(),
      [](const TGameFormSetup& setup) { return std::make_unique<DepthFailing>(nullptr, setup); });
  ASSERT_TRUE(g->started);
  ASSERT_TRUE(WaitFor([&] { return g->outcome.done.load(); }));
  EXPECT_TRUE(failed);
  EXPECT_EQ(stateAfter, 2);
  MemMan->OnNotRelease = VXCallback2<KeptCount, void, VXMemMan*, VXMemPointer>(&kept, &KeptCount::Kept);
  g.reset();
  EXPECT_EQ(kept.count, 0) << "the first picture was left behind";
}

// Closing the window during a transition ends the thread from the transition's wait; the mask it loaded stays
// with the window, which still closes cleanly.
TEST(Transitions, ClosingDuringATransitionEndsTheThreadFromItsWait) {
  FlowGame g(
      [&](FlowThread& t) {
        TZoRGBBits *from = nullptr, *to = nullptr;
        ScreenPair(&from, &to);
        t.RunTransition(30, from, to);
      },
      QORM_DEMO_GAME_DIR);
  ASSERT_TRUE(g.started);
  g.RunUntil([&] { return g.w.form->GetState() == 9; });
  g.w.form->RequestQuit(false);
  g.RunUntil([&] { return g.outcome.done.load(); });
  EXPECT_TRUE(g.outcome.ended);
  EXPECT_TRUE(g.w.form->GetEffectMan().Mask().IsLoaded());
}

// ---- Every kind end to end ------------------------------------------------------------------------------------------

namespace {

// A hash of a 32-bit screen picture, packed rows.
std::size_t HashPixels(const std::uint8_t* pixels) {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(pixels), W * H * 4));
}

std::size_t HashBits(TZoRGBBits* bits) {
  bits->Lock();
  EXPECT_EQ(bits->GetPitch(), W * 4);
  const std::size_t hash = HashPixels(bits->GetBits());
  bits->Unlock();
  return hash;
}

// The frames a transition shows, as the effect manager draws them on its own into one destination: the first
// picture, then one a frame until the end.
std::vector<std::size_t> ReferenceFrames(int effectKind, const char* mask, VXFileMan& files) {
  TEffectMan effects;
  effects.Water().Load(&files);
  effects.Halo().Load(&files, bd32);
  if (mask != nullptr) effects.Mask().Load(&files, mask);
  auto from = Picture(), to = Picture(), dst = Picture();
  EXPECT_TRUE(DrawImageFile(from.get(), nullptr, 0, 0, &files, "DemoSceneNight.png"));
  EXPECT_TRUE(DrawImageFile(to.get(), nullptr, 0, 0, &files, "DemoSceneDawn.png"));
  EXPECT_TRUE(effects.Start(effectKind, from.get(), to.get()));
  effects.Draw(dst.get(), nullptr);
  std::vector<std::size_t> frames{HashBits(dst.get())};
  while (!effects.IsDone() && frames.size() < 1000) {
    effects.Advance(1);
    VXRectSet dirty;
    effects.Draw(dst.get(), &dirty);
    if (!dirty.IsRectEmpty()) frames.push_back(HashBits(dst.get()));
  }
  return frames;
}

}  // namespace

// The game window on the demo game, whose game thread runs a transition from the night scene to the dawn scene
// for each kind the test hands it, at the rate the test sets.
class DemoScenes {
public:
  DemoScenes()
      : game_(
            [this](FlowThread& t) {
              for (;;) {
                t.WaitForNotify();
                const int kind = t.GetResult();
                if (kind < 0) return;
                TZoRGBBits *from = nullptr, *to = nullptr;
                CreateScreenBitsPair(&from, &to);
                DrawImageFile(from, nullptr, 0, 0, FileMan, "DemoSceneNight.png");
                DrawImageFile(to, nullptr, 0, 0, FileMan, "DemoSceneDawn.png");
                t.SetTransitionRate(rate);
                t.RunTransition(kind, from, to);
                ++transitions_;
              }
            },
            QORM_DEMO_GAME_DIR) {
    EXPECT_TRUE(game_.started);
    game_.w.clock.WaitForSleepers(2);
    game_.w.form->SetCursorType(-1);
    game_.Tick();  // the picture without the cursor
  }
  ~DemoScenes() {
    NotifyMainThread(-1);
    game_.Finish();
    EXPECT_TRUE(game_.outcome.returned);
  }

  // Runs one transition to its end, a frame each 10 ms of the clock; the hashes of the pictures it presented.
  std::vector<std::size_t> Show(int kind) {
    game_.w.presenter.TakeFrames();
    const int before = transitions_;
    NotifyMainThread(kind);
    std::vector<std::size_t> shown;
    for (ticks = 0; ticks < 20000 && transitions_ == before; ++ticks) {
      game_.Tick();
      for (const auto& frame : game_.w.presenter.TakeFrames()) shown.push_back(HashPixels(frame.pixels.data()));
    }
    EXPECT_EQ(transitions_, before + 1);
    return shown;
  }

  std::atomic<int> rate{100};
  int ticks = 0;  // of the last transition shown

private:
  std::atomic<int> transitions_{0};
  FlowGame game_;
};

// Every transition kind runs in the game window between the demo game's night and dawn scenes (each mask fade over
// its own demo mask, and a kind past the table as a cross-fade): the first frame shown is the night, the last the
// dawn, and every frame between, the middle one among them, is the one the effect manager draws for it.
TEST(TransitionsEndToEnd, EveryKindRunsInTheWindowBetweenTheDemoScenes) {
  VXFileMan files;
  ASSERT_TRUE(files.InitPack(DemoPack().c_str()));
  const std::size_t night = [&] {
    auto p = Picture();
    DrawImageFile(p.get(), nullptr, 0, 0, &files, "DemoSceneNight.png");
    return HashBits(p.get());
  }();
  const std::size_t dawn = [&] {
    auto p = Picture();
    DrawImageFile(p.get(), nullptr, 0, 0, &files, "DemoSceneDawn.png");
    return HashBits(p.get());
  }();
  ASSERT_NE(night, dawn);
  DemoScenes scenes;
  const struct {
    int kind, effectKind;
    const char* mask;
  } cases[] = {
      {0, ekCrossFade, nullptr},
      {1, ekCrossFadeFast, nullptr},
      {2, ekCrossFadeSlow, nullptr},
      {3, ekScrollUp, nullptr},
      {4, ekScrollDown, nullptr},
      {5, ekScrollRight, nullptr},
      {6, ekScrollLeft, nullptr},
      {7, ekZoomIn, nullptr},
      {8, ekZoomThrough, nullptr},
      {9, ekShrink, nullptr},
      {10, ekZoomOut, nullptr},
      {11, ekWater, nullptr},
      {12, ekHalation, nullptr},
      {13, ekMaskEdge, "FadeMask00_BlindR.bmp"},
      {14, ekMaskEdge, "FadeMask01_BlindL.bmp"},
      {15, ekMaskEdge, "FadeMask02_LucasR.bmp"},
      {16, ekMaskEdge, "FadeMask03_LucasL.bmp"},
      {17, ekMaskEdge, "FadeMask04_Circle.bmp"},
      {18, ekMaskEdge, "FadeMask05_CircleR.bmp"},
      {19, ekMaskEdge, "FadeMask06_Clock.bmp"},
      {20, ekMaskEdge, "FadeMask07_Swirl.bmp"},
      {21, ekMaskEdge, "FadeMask08_Crystal.bmp"},
      {22, ekMask, "FadeMask09_StripesB.bmp"},
      {23, ekMaskEdge, "FadeMask10_StripesN.bmp"},
      {24, ekMaskEdge, "FadeMask11_Star.bmp"},
      {25, ekMaskEdge, "FadeMask12_Radiation.bmp"},
      {26, ekMaskEdge, "FadeMask13_RadiationR.bmp"},
      {27, ekMaskEdge, "FadeMask14_Windmill.bmp"},
      {28, ekMaskEdge, "FadeMask15_Naruto.bmp"},
      {29, ekMaskEdge, "FadeMask16_Noise.bmp"},
      {30, ekMask, "FadeMask17_GhostD.bmp"},
      {31, ekMask, "FadeMask18_GhostU.bmp"},
      {32, ekCrossFade, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::vector<std::size_t> expected = ReferenceFrames(c.effectKind, c.mask, files);
    ASSERT_GE(expected.size(), 3u);
    const std::vector<std::size_t> shown = scenes.Show(c.kind);
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_EQ(shown.front(), night);
    const std::size_t middle = shown.size() / 2;
    EXPECT_EQ(shown[middle], expected[middle]);
    EXPECT_NE(shown[middle], night);
    EXPECT_NE(shown[middle], dawn);
    EXPECT_EQ(shown.back(), dawn);
    EXPECT_EQ(shown, expected);
  }
}

// The rate sets a transition's speed through the window: the 32-frame cross-fade shows 16 pictures after the first
// at 200, and at 50 takes twice the time of 100 for the same 32 pictures.
TEST(TransitionsEndToEnd, TheRateSetsTheSpeed) {
  DemoScenes scenes;
  EXPECT_EQ(scenes.Show(ekCrossFade).size(), 33u);
  const int normal = scenes.ticks;
  scenes.rate = 200;
  EXPECT_EQ(scenes.Show(ekCrossFade).size(), 17u);
  EXPECT_LT(scenes.ticks, normal * 6 / 10);
  scenes.rate = 50;
  EXPECT_EQ(scenes.Show(ekCrossFade).size(), 33u);
  EXPECT_GT(scenes.ticks, normal * 18 / 10);
}

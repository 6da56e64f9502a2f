// Label: threads
#include "core/vxtimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <stdexcept>
#include <string>

using platform::thread::Event;
using platform::thread::ManualClock;

namespace {

constexpr std::int64_t kPatienceMs = 20'000;

// A handler that counts its calls, notices re-entry, and can be made to block or throw.
struct Handler {
  std::atomic<int> calls{0};
  std::atomic<int> inside{0};
  std::atomic<bool> reentered{false};
  std::atomic<bool> holdNext{false};
  std::atomic<bool> throwNext{false};
  std::atomic<bool> tickAgainInside{false};
  Event entered;
  Event release;

  void OnTimer(void* sender) {
    if (++inside > 1) reentered = true;
    ++calls;
    if (tickAgainInside.exchange(false)) static_cast<VXTimer*>(sender)->Timer();
    if (holdNext.exchange(false)) {
      entered.Set();
      release.Wait();
    }
    --inside;
    if (throwNext.exchange(false)) throw std::runtime_error("boom");
  }
  VXBaseCallback1<void, void*> Callback() { return VXCallback1<Handler, void, void*>(this, &Handler::OnTimer); }
};

// A timer on a manual clock, running with the given interval.
struct ManualTimer {
  ManualClock clock;
  Handler handler;
  VXTimer timer{clock};

  explicit ManualTimer(unsigned int interval) {
    timer.SetInterval(interval);
    timer.SetOnTimer(handler.Callback());
    timer.SetEnabled(true);
    clock.WaitForSleepers(1);
  }
  // Moves the time on and waits until the timer thread has done what became due.
  void Advance(std::int64_t ms) {
    clock.AdvanceMs(ms);
    clock.WaitForSleepers(1);
  }
};

}  // namespace

TEST(Timer, DefaultsAndResolutionRule) {
  VXTimer timer;
  EXPECT_EQ(timer.GetInterval(), 1000u);
  EXPECT_EQ(timer.GetResolution(), 100u);
  EXPECT_FALSE(timer.GetEnabled());
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(timer.GetCount(), 0);

  const struct {
    unsigned int interval, resolution;
  } cases[] = {{10, 10}, {5, 5}, {100, 100}, {250, 100}, {0, 1}};
  for (const auto& c : cases) {
    timer.SetInterval(c.interval);
    EXPECT_EQ(timer.GetResolution(), c.resolution) << c.interval;
  }
  EXPECT_FALSE(timer.IsRunning()) << "nothing starts while disabled";
}

TEST(Timer, CountsTicksAndCallsTheHandlerWithItself) {
  ManualTimer t(10);
  t.Advance(10);
  t.Advance(10);
  EXPECT_EQ(t.timer.GetCount(), 2);
  EXPECT_EQ(t.handler.calls, 2);
  t.timer.CountClear();
  t.Advance(10);
  EXPECT_EQ(t.timer.GetCount(), 1);
}

TEST(Timer, EnablingTwiceKeepsTheRunningThread) {
  ManualTimer t(10);
  t.clock.AdvanceMs(5);
  t.timer.SetEnabled(true);  // a restart would move the next tick to t = 15
  t.Advance(5);
  EXPECT_EQ(t.handler.calls, 1);
}

TEST(Timer, StopsOnDisableAndOnIntervalZeroAndStartsAgain) {
  ManualTimer t(10);
  t.Advance(10);
  t.timer.SetEnabled(false);
  EXPECT_FALSE(t.timer.IsRunning());
  t.clock.AdvanceMs(100);
  EXPECT_EQ(t.handler.calls, 1);

  t.timer.SetEnabled(true);
  t.timer.SetInterval(0);
  EXPECT_FALSE(t.timer.IsRunning());
  EXPECT_TRUE(t.timer.GetEnabled());
  t.timer.SetInterval(20);
  ASSERT_TRUE(t.timer.IsRunning());
  t.clock.WaitForSleepers(1);
  t.Advance(20);
  EXPECT_EQ(t.handler.calls, 2);
}

TEST(Timer, ASlowHandlerIsNotReenteredAndItsMissedTicksAreCounted) {
  ManualTimer t(10);
  t.handler.holdNext = true;
  t.clock.AdvanceMs(10);
  ASSERT_TRUE(t.handler.entered.WaitMs(kPatienceMs));
  t.clock.AdvanceMs(30);  // three ticks come while the handler runs
  t.handler.release.Set();
  t.clock.WaitForSleepers(1);
  t.Advance(10);
  EXPECT_EQ(t.handler.calls, 2);
  EXPECT_FALSE(t.handler.reentered);
  EXPECT_EQ(t.timer.GetCount(), 5);
  EXPECT_EQ(t.timer.GetMissedCount(), 3u);
  EXPECT_EQ(t.timer.GetCallTicks(), 4u) << "the second call stands for the three it missed";
}

TEST(Timer, ALateCallStandsForEveryTickItMerges) {
  ManualTimer t(10);
  EXPECT_EQ(t.timer.GetCallTicks(), 0u);
  t.Advance(10);
  EXPECT_EQ(t.timer.GetCallTicks(), 1u);
  t.Advance(30);  // the thread wakes 20 ms late
  EXPECT_EQ(t.handler.calls, 2);
  EXPECT_EQ(t.timer.GetCount(), 4);
  EXPECT_EQ(t.timer.GetCallTicks(), 3u);
  t.Advance(10);
  EXPECT_EQ(t.timer.GetCallTicks(), 1u);
}

TEST(Timer, ATickInsideTheHandlerIsCountedButNotCalled) {
  VXTimer timer;
  Handler h;
  timer.SetOnTimer(h.Callback());
  h.tickAgainInside = true;
  timer.Timer();
  EXPECT_EQ(h.calls, 1);
  EXPECT_FALSE(h.reentered);
  EXPECT_EQ(timer.GetCount(), 2);
  EXPECT_EQ(timer.GetMissedCount(), 1u);
  EXPECT_EQ(timer.GetCallTicks(), 1u);
  timer.Timer();
  EXPECT_EQ(timer.GetCallTicks(), 2u) << "the tick that had no call of its own comes with the next";
}

TEST(Timer, AnExceptionFromTheHandlerBecomesTimerCallError) {
  VXTimer timer;
  Handler h;
  timer.SetOnTimer(h.Callback());
  h.throwNext = true;
  try {
    timer.Timer();
    FAIL() << "no exception";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Timer Call Error");
    EXPECT_THROW(std::rethrow_if_nested(e), std::runtime_error);
  }
  timer.Timer();  // the busy flag was cleared
  EXPECT_EQ(h.calls, 2);
  timer.SetOnTimer({});
  EXPECT_NO_THROW(timer.Timer()) << "no handler: the tick is only counted";
  EXPECT_EQ(timer.GetCount(), 3);
}

TEST(Timer, AnExceptionOnTheTimerThreadIsLoggedAndTheTimerGoesOn) {
  ManualTimer t(10);
  t.handler.throwNext = true;
  testing::internal::CaptureStderr();
  t.Advance(10);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Timer Call Error: boom"), std::string::npos) << log;
  t.Advance(10);
  EXPECT_EQ(t.handler.calls, 2);
}

TEST(Timer, CountIncAndDecStopAtTheirLimits) {
  VXTimer timer;
  timer.CountDec();
  EXPECT_EQ(timer.GetCount(), 0);
  timer.CountInc();
  timer.CountInc();
  timer.CountDec();
  EXPECT_EQ(timer.GetCount(), 1);
  timer.Timer(UINT32_MAX);  // ticks counted by the thread saturate as well
  EXPECT_EQ(timer.GetCount(), INT_MAX);
  timer.CountInc();
  EXPECT_EQ(timer.GetCount(), INT_MAX);
}

TEST(Timer, RunsOnTheRealClockAndStopsWhenDestroyed) {
  Handler h;
  Event ticked;
  struct Waker {
    Handler* h;
    Event* ticked;
    void OnTimer(void* sender) {
      h->OnTimer(sender);
      if (h->calls >= 3) ticked->Set();
    }
  } waker{&h, &ticked};
  {
    VXTimer timer;
    timer.SetInterval(1);
    timer.SetOnTimer(VXCallback1<Waker, void, void*>(&waker, &Waker::OnTimer));
    timer.SetEnabled(true);
    timer.SetEnabled(true);
    EXPECT_TRUE(ticked.WaitMs(kPatienceMs));
  }
  const int calls = h.calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(h.calls, calls) << "the destructor joins the thread";
  EXPECT_FALSE(h.reentered);
}

TEST(Timer, TheHandlerMayRestartItsOwnTimer) {
  ManualClock clock;
  std::atomic<int> calls{0};
  struct Restarter {
    std::atomic<int>* calls;
    void OnTimer(void* sender) {
      if (++*calls == 1) static_cast<VXTimer*>(sender)->SetInterval(20);
    }
  } restarter{&calls};
  {
    VXTimer timer(clock);
    timer.SetInterval(10);
    timer.SetOnTimer(VXCallback1<Restarter, void, void*>(&restarter, &Restarter::OnTimer));
    timer.SetEnabled(true);
    clock.WaitForSleepers(1);
    clock.AdvanceMs(10);
    clock.WaitForSleepers(1);  // the new thread, on the new interval
    EXPECT_EQ(timer.GetInterval(), 20u);
    clock.AdvanceMs(20);
    clock.WaitForSleepers(1);
    EXPECT_EQ(calls, 2);
  }
}

TEST(Timer, ARestartedTimerMissesNoTickWhileTheCallThatRestartedItFinishes) {
  ManualClock clock;
  struct SlowRestarter {
    std::atomic<int> calls{0};
    Event entered;
    Event release;
    void OnTimer(void* sender) {
      if (++calls > 1) return;
      static_cast<VXTimer*>(sender)->SetInterval(20);
      entered.Set();
      release.Wait();
    }
  } handler;
  VXTimer timer(clock);
  timer.SetInterval(10);
  timer.SetOnTimer(VXCallback1<SlowRestarter, void, void*>(&handler, &SlowRestarter::OnTimer));
  timer.SetEnabled(true);
  clock.WaitForSleepers(1);
  clock.AdvanceMs(10);
  ASSERT_TRUE(handler.entered.WaitMs(kPatienceMs));
  clock.AdvanceMs(20);  // the new timer's first deadline passes while the old call still runs
  handler.release.Set();
  clock.WaitForSleepers(1);
  EXPECT_EQ(handler.calls, 2);
  EXPECT_EQ(timer.GetCount(), 2);
  EXPECT_EQ(timer.GetMissedCount(), 0u);
}

namespace {

// The shape of the game's frame clock: one interval of milliseconds per tick the call stands for, and a frame
// pulse three times per 100 ms of that clock.
struct FrameClock {
  std::atomic<std::int64_t> ms{0};
  std::atomic<std::int64_t> frames{0};
  Event release;
  std::atomic<bool> holdNext{false};
  Event entered;

  void OnTimer(void* sender) {
    auto* timer = static_cast<VXTimer*>(sender);
    ms += static_cast<std::int64_t>(timer->GetInterval() * timer->GetCallTicks());
    while (frames < ms * 3 / 100) ++frames;
    if (holdNext.exchange(false)) {
      entered.Set();
      release.Wait();
    }
  }
};

}  // namespace

TEST(Timer, AClockBuiltOnTheCallTicksKeepsStepWithTheTime) {
  ManualClock clock;
  FrameClock frameClock;
  VXTimer timer(clock);
  timer.SetInterval(10);
  timer.SetOnTimer(VXCallback1<FrameClock, void, void*>(&frameClock, &FrameClock::OnTimer));
  timer.SetEnabled(true);
  clock.WaitForSleepers(1);

  const struct {
    std::int64_t advanceMs;
    bool slowCall;  // the call that this step brings runs while the next step's time passes
  } steps[] = {{10, false}, {30, false}, {7, false}, {3, false}, {25, true}, {45, false}, {1000, false},
               {5, false},  {5, true},   {100, false}, {10, false}};
  bool held = false;
  for (const auto& step : steps) {
    frameClock.holdNext = step.slowCall;
    clock.AdvanceMs(step.advanceMs);
    const bool released = held;
    if (held) frameClock.release.Set();
    held = step.slowCall;
    if (held) {
      ASSERT_TRUE(frameClock.entered.WaitMs(kPatienceMs));
      continue;  // released after the next step's time has passed
    }
    clock.WaitForSleepers(1);
    if (released) continue;  // the ticks that passed during the slow call come with the next call
    const std::int64_t now = clock.NowMs();
    EXPECT_EQ(frameClock.ms, now / 10 * 10) << "at " << now;
    EXPECT_EQ(frameClock.frames, now / 10 * 10 * 3 / 100) << "at " << now;
  }
  EXPECT_GT(timer.GetMissedCount(), 0u) << "the steps merged ticks";
}

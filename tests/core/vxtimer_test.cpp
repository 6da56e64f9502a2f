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

// Label: threads
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace platform::thread;

namespace {

// Generous bound for waits on real threads: never reached unless something is broken.
constexpr std::int64_t kPatienceMs = 20'000;

// Records every tick call; a call can be held until the test lets it go.
struct TickLog {
  std::mutex mutex;
  std::vector<std::uint32_t> calls;
  std::atomic<bool> holdNext{false};
  Event entered;
  Event release;

  void operator()(std::uint32_t ticks) {
    {
      std::lock_guard lock(mutex);
      calls.push_back(ticks);
    }
    if (holdNext.exchange(false)) {
      entered.Set();
      release.Wait();
    }
  }
  std::vector<std::uint32_t> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
};

}  // namespace

TEST(PeriodicTimer, TicksOnDeadlinesAndFoldsMissedTicksIntoTheNextCall) {
  ManualClock clock;
  TickLog log;
  PeriodicTimer timer(clock);
  timer.Start(10, [&](std::uint32_t n) { log(n); });

  clock.WaitForSleepers(1);
  clock.AdvanceMs(9);
  clock.WaitForSleepers(1);
  EXPECT_TRUE(log.Calls().empty());

  clock.AdvanceMs(1);  // t = 10
  clock.WaitForSleepers(1);
  clock.AdvanceMs(25);  // t = 35: deadlines 20 and 30 passed while the thread slept
  clock.WaitForSleepers(1);
  EXPECT_EQ(log.Calls(), (std::vector<std::uint32_t>{1, 2}));

  log.holdNext = true;
  clock.AdvanceMs(5);  // t = 40: this call overruns
  ASSERT_TRUE(log.entered.WaitMs(kPatienceMs));
  clock.AdvanceMs(30);  // deadlines 50, 60 and 70 pass during the call
  log.release.Set();
  clock.WaitForSleepers(1);
  EXPECT_EQ(log.Calls().size(), 3u) << "a deadline passed during a call gets no call of its own";

  clock.AdvanceMs(10);  // t = 80
  clock.WaitForSleepers(1);
  EXPECT_EQ(log.Calls(), (std::vector<std::uint32_t>{1, 2, 1, 4}));

  timer.Stop();
  EXPECT_FALSE(timer.IsRunning());
  clock.AdvanceMs(100);
  EXPECT_EQ(log.Calls().size(), 4u);
}

TEST(PeriodicTimer, StopFromInsideItsOwnTickEndsTheThread) {
  ManualClock clock;
  Event stopped;
  std::atomic<int> calls{0};
  {
    PeriodicTimer timer(clock);
    timer.Start(5, [&](std::uint32_t) {
      ++calls;
      timer.Stop();
      stopped.Set();
    });
    clock.WaitForSleepers(1);
    clock.AdvanceMs(5);
    ASSERT_TRUE(stopped.WaitMs(kPatienceMs));
    EXPECT_FALSE(timer.IsRunning());
    clock.AdvanceMs(50);
  }  // the destructor joins the finished thread
  EXPECT_EQ(calls, 1);
}

TEST(PeriodicTimer, AThreadStartedFromATickCallsOnlyAfterThatTickHasReturned) {
  ManualClock clock;
  TickLog log;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> restarted{false};
  PeriodicTimer timer(clock);
  std::function<void(std::uint32_t)> tick = [&](std::uint32_t n) {
    if (++inside > 1) overlapped = true;
    if (!restarted.exchange(true)) timer.Start(10, tick);  // at t = 5: deadlines 15, 25, ...
    log(n);
    --inside;
  };
  timer.Start(5, tick);
  clock.WaitForSleepers(1);
  log.holdNext = true;
  clock.AdvanceMs(5);
  ASSERT_TRUE(log.entered.WaitMs(kPatienceMs));
  clock.AdvanceMs(30);  // t = 35: three deadlines of the new thread pass during the old call
  log.release.Set();
  clock.WaitForSleepers(1);
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(log.Calls(), (std::vector<std::uint32_t>{1, 3}));
}

TEST(PeriodicTimer, RunsOnTheRealClock) {
  PeriodicTimer timer;
  std::atomic<int> ticks{0};
  Event third;
  timer.Start(1, [&](std::uint32_t n) {
    if ((ticks += static_cast<int>(n)) >= 3) third.Set();
  });
  EXPECT_TRUE(third.WaitMs(kPatienceMs));
  timer.Stop();
  const int after = ticks;
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ticks, after) << "Stop joins the thread";
}

TEST(RecursiveMutex, NestsForItsOwnerAndIgnoresOtherThreadsReleases) {
  RecursiveMutex m;
  m.Lock();
  EXPECT_TRUE(m.TryLock());
  EXPECT_EQ(m.Depth(), 2);

  std::thread other([&] {
    EXPECT_FALSE(m.TryLock());
    EXPECT_FALSE(m.Unlock());
    EXPECT_EQ(m.ReleaseAll(), 0);
    EXPECT_FALSE(m.IsHeldByCurrentThread());
  });
  other.join();
  EXPECT_TRUE(m.IsHeldByCurrentThread());
  EXPECT_EQ(m.Depth(), 2);

  EXPECT_TRUE(m.Unlock());
  EXPECT_TRUE(m.Unlock());
  EXPECT_FALSE(m.Unlock());
  EXPECT_EQ(m.Depth(), 0);
}

TEST(RecursiveMutex, AWaitGivesTheLockUpCompletelyAndTakesItBackToTheSameDepth) {
  RecursiveMutex m;
  for (int i = 0; i < 3; ++i) m.Lock();
  std::atomic<bool> otherHeld{false};
  {
    ScopedRelease released(m);
    EXPECT_FALSE(m.IsHeldByCurrentThread());
    std::thread other([&] {
      m.Lock();
      otherHeld = true;
      m.Unlock();
    });
    other.join();
  }
  EXPECT_TRUE(otherHeld);
  EXPECT_TRUE(m.IsHeldByCurrentThread());
  EXPECT_EQ(m.Depth(), 3);
  EXPECT_EQ(m.ReleaseAll(), 3);
}

TEST(Event, SetIsTakenByOneWaitAndAPulseWithoutWaitersIsLost) {
  Event e;
  e.Set();
  EXPECT_TRUE(e.WaitMs(0));
  EXPECT_FALSE(e.WaitMs(0)) << "auto-reset";

  e.Pulse();
  EXPECT_FALSE(e.WaitMs(0));

  e.Set();
  e.Reset();
  EXPECT_FALSE(e.WaitMs(0));
}

TEST(Event, APulseWakesAThreadThatWaits) {
  Event e;
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    e.Wait();
    woke = true;
  });
  const std::int64_t giveUp = MonotonicMs() + kPatienceMs;
  while (!woke && MonotonicMs() < giveUp) {
    e.Pulse();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  waiter.join();
  EXPECT_TRUE(woke);
  EXPECT_FALSE(e.WaitMs(0)) << "pulses never leave the event signalled";
}

TEST(Event, TimedWaitEndsWhenTheManualClockReachesTheDeadline) {
  ManualClock clock;
  Event e(clock);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = e.WaitMs(100) ? 1 : 0; });
  clock.WaitForSleepers(1);  // the waiter has taken its deadline, t = 100
  clock.AdvanceMs(99);
  clock.WaitForSleepers(1);
  EXPECT_EQ(result, -1) << "only manual time ends the wait";
  clock.AdvanceMs(1);
  waiter.join();
  EXPECT_EQ(result, 0);
}

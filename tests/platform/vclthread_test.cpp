// Label: threads
#include "platform/vclthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>

#include "support/waitfor.h"

namespace {

// Counts its rounds: each round waits in Suspend, as the wait thread does between its busy spells.
class Rounds : public Classes::TThread {
public:
  std::atomic<int> rounds{0};
  std::latch* beforeSuspend = nullptr;  // the test holds the thread here before its first Suspend
  std::latch* resumed = nullptr;

protected:
  void Execute() override {
    while (!Terminated()) {
      if (beforeSuspend != nullptr) {
        beforeSuspend->count_down();
        resumed->wait();
        beforeSuspend = nullptr;
      }
      Suspend();
      ++rounds;
    }
  }
};

class Throws : public Classes::TThread {
protected:
  void Execute() override { throw std::runtime_error("broken"); }
};

}  // namespace

// The wake-up that comes after the thread decided to suspend but before it suspends is kept: the Suspend that
// follows returns at once instead of sleeping through it.
TEST(VclThread, AResumeBeforeTheSuspendIsNotLost) {
  Rounds t;
  std::latch before(1), resumed(1);
  t.beforeSuspend = &before;
  t.resumed = &resumed;
  t.Resume();  // starts it
  before.wait();
  t.Resume();  // while it is still running
  resumed.count_down();
  ASSERT_TRUE(WaitFor([&] { return t.rounds.load() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return t.IsSuspended(); }));
  EXPECT_EQ(t.rounds.load(), 1);  // one resume, one round: it is kept once, not for ever
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.IsFinished());
}

TEST(VclThread, TerminateWakesASuspendedThreadAndWaitForJoinsIt) {
  Rounds t;
  t.Resume();
  ASSERT_TRUE(WaitFor([&] { return t.IsSuspended(); }));
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.IsFinished());
  EXPECT_TRUE(t.GetTerminated());
}

TEST(VclThread, AThreadNeverStartedIsSuspendedAndWaitsForNothing) {
  Rounds t;
  EXPECT_FALSE(t.IsStarted());
  EXPECT_TRUE(t.IsSuspended());
  t.Terminate();
  t.WaitFor();
  EXPECT_FALSE(t.IsFinished());
}

TEST(VclThread, AnExceptionLeavingExecuteIsKept) {
  Throws t;
  t.Resume();
  t.WaitFor();
  ASSERT_TRUE(t.FatalException());
  EXPECT_THROW(std::rethrow_exception(t.FatalException()), std::runtime_error);
}

// A thread blocked where it does not look at Terminated (a network call) is ended through its terminate hook; a
// removed hook no longer runs.
TEST(VclThread, TerminateRunsTheHookThatEndsABlockedCall) {
  class Blocked : public Classes::TThread {
  public:
    std::latch entered{1};
    std::latch release{1};

  protected:
    void Execute() override {
      entered.count_down();
      release.wait();
    }
  };
  Blocked t;
  int calls = 0;
  t.SetTerminateHook([&] {
    ++calls;
    t.release.count_down();
  });
  t.Resume();
  t.entered.wait();
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.IsFinished());
  EXPECT_EQ(calls, 1);
  t.SetTerminateHook({});
  t.Terminate();
  EXPECT_EQ(calls, 1);
}

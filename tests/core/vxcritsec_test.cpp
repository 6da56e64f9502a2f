// Label: threads
#include "core/vxcritsec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Runs `f` on a thread of its own and waits for it.
template <class F>
auto OnOtherThread(F f) {
  decltype(f()) result{};
  std::thread t([&] { result = f(); });
  t.join();
  return result;
}

}  // namespace

TEST(CriticalSection, IsReentrantAndIgnoresALeaveByAnotherThread) {
  VXCriticalSection cs;
  cs.Enter();
  cs.Enter();
  EXPECT_FALSE(OnOtherThread([&] {
    cs.Leave();
    return cs.TryEnter();
  }));
  cs.Leave();
  EXPECT_TRUE(cs.IsOwner());
  cs.Leave();
  EXPECT_FALSE(cs.IsOwner());
  EXPECT_TRUE(OnOtherThread([&] {
    const bool got = cs.TryEnter();
    cs.Leave();
    return got;
  }));
}

TEST(CriticalSection, LeaveAllLetsOthersInAndReenterRestoresTheDepth) {
  VXCriticalSection cs;
  cs.Enter();
  cs.Enter();
  const int depth = cs.LeaveAll();
  EXPECT_EQ(depth, 2);
  EXPECT_TRUE(OnOtherThread([&] {
    cs.Enter();
    cs.Leave();
    return true;
  }));
  cs.Reenter(depth);
  cs.Leave();
  EXPECT_TRUE(cs.IsOwner());
  cs.Leave();
  EXPECT_FALSE(cs.IsOwner());
}

// A hold leaves the section however its scope ends; one made from no section holds nothing.
TEST(CriticalSection, AHoldLeavesOnEveryWayOutOfItsScope) {
  VXCriticalSection cs;
  try {
    const VXSectionHold hold(cs);
    EXPECT_TRUE(cs.IsOwner());
    throw 1;
  } catch (int) {
  }
  EXPECT_FALSE(cs.IsOwner());
  {
    const VXSectionHold hold(&cs);
    const VXSectionHold again(cs);
    EXPECT_TRUE(cs.IsOwner());
  }
  EXPECT_FALSE(cs.IsOwner());
  const VXSectionHold nothing(static_cast<VXCriticalSection*>(nullptr));
}

TEST(CriticalSectionEx, OwnerNestsAndMustReleaseEveryLevel) {
  VXCriticalSectionEx cs;
  cs.Acquire();
  EXPECT_TRUE(cs.Check());
  cs.Acquire();
  for (int level = 3; level > 0; --level) {
    EXPECT_FALSE(OnOtherThread([&] { return cs.Check(); })) << "levels held: " << level;
    cs.Release();
  }
  EXPECT_TRUE(OnOtherThread([&] {
    const bool got = cs.Check();
    cs.Release();
    return got;
  }));
}

TEST(CriticalSectionEx, ReleaseByAThreadThatDoesNotHoldItChangesNothing) {
  VXCriticalSectionEx cs;
  EXPECT_TRUE(OnOtherThread([&] {
    cs.Release();  // of a free lock
    return true;
  }));
  cs.Acquire();
  EXPECT_FALSE(OnOtherThread([&] {
    cs.Release();
    cs.Release();
    return cs.Check();
  }));
  cs.Release();
  EXPECT_TRUE(OnOtherThread([&] {
    const bool got = cs.Check();
    cs.Release();
    return got;
  }));
}

TEST(CriticalSectionEx, CheckNeverOvertakesAThreadThatWaits) {
  VXCriticalSectionEx cs;
  for (int round = 0; round < 50; ++round) {
    cs.Acquire();
    std::atomic<bool> waiterGotIt{false};
    std::atomic<bool> letGo{false};
    std::thread waiter([&] {
      cs.Acquire();
      waiterGotIt = true;
      while (!letGo) std::this_thread::yield();
      cs.Release();
    });
    while (cs.GetWaiterCount() == 0) std::this_thread::yield();
    cs.Release();
    // Free with a waiter still queued, or already the waiter's: either way not ours without waiting.
    const bool overtook = cs.Check();
    if (overtook) cs.Release();
    letGo = true;
    waiter.join();
    ASSERT_FALSE(overtook) << "round " << round;
    EXPECT_TRUE(waiterGotIt);
  }
  EXPECT_EQ(cs.GetWaiterCount(), 0);
}

TEST(CriticalSectionEx, KeepsThreadsApart) {
  VXCriticalSectionEx cs;
  int shared = 0;  // plain on purpose: the lock alone guards it
  auto work = [&] {
    for (int i = 0; i < 2000; ++i) {
      cs.Acquire();
      if (cs.Check()) cs.Release();
      ++shared;
      cs.Release();
    }
  };
  std::thread a(work), b(work);
  work();
  a.join();
  b.join();
  EXPECT_EQ(shared, 6000);
}

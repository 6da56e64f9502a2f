// Label: threads
#include "platform/signals.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "support/waitfor.h"

TEST(SignalWatch, EndSignalsSentToTheProcessReachTheHandler) {
  std::mutex lock;
  std::vector<int> seen;
  {
    platform::signals::SignalWatch watch([&](int signal) {
      std::lock_guard guard(lock);
      seen.push_back(signal);
    });
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
      ASSERT_EQ(kill(getpid(), signal), 0);
      ASSERT_TRUE(WaitFor([&] {
        std::lock_guard guard(lock);
        return !seen.empty() && seen.back() == signal;
      }));
    }
  }
  EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
}

TEST(SignalWatch, TheCallingThreadsMaskComesBack) {
  sigset_t before, after;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  { platform::signals::SignalWatch watch([](int) {}); }
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) EXPECT_EQ(sigismember(&before, signal), sigismember(&after, signal));
}

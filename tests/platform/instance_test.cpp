// Label: threads
#include "platform/instance.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/environment.h"
#include "support/tempdir.h"

using platform::instance::InstanceLock;

TEST(InstanceLock, OnlyOneHolderAtATimeAndTheLockGoesWithItsHolder) {
  TempDir dir;
  const std::string path = dir.str() + "/game.lock";
  InstanceLock::Result r1{}, r2{}, r3{};
  auto first = InstanceLock::Acquire(path, r1);
  ASSERT_TRUE(first);
  EXPECT_EQ(r1, InstanceLock::Result::kAcquired);
  EXPECT_FALSE(InstanceLock::Acquire(path, r2));
  EXPECT_EQ(r2, InstanceLock::Result::kHeldElsewhere);
  first.reset();
  EXPECT_TRUE(InstanceLock::Acquire(path, r3));
  EXPECT_EQ(r3, InstanceLock::Result::kAcquired);
}

// Copies started together: exactly one of them gets the lock, however they interleave. Each copy keeps what it got
// until every copy has tried.
TEST(InstanceLock, OfCopiesStartedTogetherExactlyOneRuns) {
  TempDir dir;
  const std::string path = dir.str() + "/game.lock";
  constexpr int kCopies = 8;
  int go[2], tried[2], done[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(tried), 0);
  ASSERT_EQ(pipe(done), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kCopies; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      close(tried[0]);
      close(done[1]);
      char c;
      (void)!read(go[0], &c, 1);  // all start at once: when the pipe closes
      InstanceLock::Result r{};
      auto lock = InstanceLock::Acquire(path, r);
      (void)!write(tried[1], "x", 1);
      (void)!read(done[0], &c, 1);  // hold it until everyone has tried
      _exit(r == InstanceLock::Result::kAcquired ? 10 : r == InstanceLock::Result::kHeldElsewhere ? 20 : 30);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(tried[1]);
  close(done[0]);
  close(go[1]);
  char c;
  for (int i = 0; i < kCopies; ++i) ASSERT_EQ(read(tried[0], &c, 1), 1);
  close(done[1]);
  int acquired = 0, refused = 0;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    acquired += WEXITSTATUS(status) == 10;
    refused += WEXITSTATUS(status) == 20;
  }
  close(tried[0]);
  EXPECT_EQ(acquired, 1);
  EXPECT_EQ(refused, kCopies - 1);
}

TEST(InstanceLock, AFileThatCannotBeOpenedIsAFailureWithAReason) {
  TempDir dir;
  InstanceLock::Result r{};
  std::string error;
  EXPECT_FALSE(InstanceLock::Acquire(dir.str() + "/missing/game.lock", r, &error));
  EXPECT_EQ(r, InstanceLock::Result::kFailed);
  EXPECT_NE(error.find("missing/game.lock"), std::string::npos) << error;
}

TEST(InstanceLock, TheLockLivesInTheRuntimeFolderWhenThereIsOne) {
  struct Case {
    const char* runtime;
    std::string expected;
  } cases[] = {{"/run/user/1000", "/run/user/1000"}, {nullptr, "/fallback"}, {"", "/fallback"},
               {"relative/dir", "/fallback"}};
  for (const Case& c : cases) {
    Environment env;
    env.Set("XDG_RUNTIME_DIR", c.runtime);
    EXPECT_EQ(platform::instance::LockFolder("/fallback"), c.expected) << (c.runtime ? c.runtime : "(unset)");
  }
}

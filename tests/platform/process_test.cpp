// Label: threads
#include "platform/process.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "support/tempdir.h"

using namespace platform::process;

TEST(Process, KnowsItsProgramAndFolder) {
  EXPECT_NE(ExecutablePath().find("platform_process_test"), std::string::npos);
  std::string here = CurrentDirectory();
  TempDir dir;
  ASSERT_TRUE(SetCurrentDirectory(dir.str()));
  EXPECT_EQ(CurrentDirectory(), std::filesystem::canonical(dir.path()).string());
  EXPECT_FALSE(SetCurrentDirectory(dir.str() + "/missing"));
  EXPECT_FALSE(SetCurrentDirectory(""));
  ASSERT_TRUE(SetCurrentDirectory(here));
}

TEST(Process, CommandLineAndMemory) {
  const char* argv[] = {"prog", "-WINDOW", "two words"};
  SetCommandLine(3, argv);
  EXPECT_EQ(CommandLine(), (std::vector<std::string>{"prog", "-WINDOW", "two words"}));
  MemoryTotals m = Memory();
  EXPECT_GT(m.totalPhysical, 0u);
  EXPECT_LE(m.availPhysical, m.totalPhysical);
  EXPECT_GE(m.totalVirtual, m.totalPhysical);
}

namespace {

// The arenas malloc has made so far.
int Arenas() {
  char* text = nullptr;
  std::size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  malloc_info(0, out);
  std::fclose(out);
  int count = 0;
  for (const char* at = text; (at = std::strstr(at, "<heap nr=")) != nullptr; ++at) ++count;
  std::free(text);
  return count;
}

}  // namespace

// Threads that allocate at the same time share the one arena.
TEST(Process, ThreadsShareOneArena) {
  if (!SetUpAllocator()) GTEST_SKIP() << "the allocator is not glibc's";
  const int arenas = Arenas();
  std::latch allocated(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      std::unique_ptr<char[]> held(new char[1000]);
      allocated.arrive_and_wait();  // all four hold a block at once
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(Arenas(), arenas);
}

TEST(Process, OpensDocumentsWithoutAShell) {
  TempDir dir;
  SetOpenCommand("touch");  // the document name reaches the program as one argument, untouched by a shell
  const std::string name = dir.str() + "/a; rm -rf x $(y)";
  EXPECT_TRUE(OpenDocument(name, dir.str()));
  for (int i = 0; i < 200 && !std::filesystem::exists(name); ++i) usleep(10000);
  EXPECT_TRUE(std::filesystem::exists(name));
  EXPECT_FALSE(OpenDocument("", dir.str()));
  SetOpenCommand("no-such-program-here");
  EXPECT_FALSE(OpenDocument(name, dir.str()));
  SetOpenCommand("xdg-open");
}

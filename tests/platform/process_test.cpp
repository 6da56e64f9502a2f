// Label: threads
#include "platform/process.h"

#include <gtest/gtest.h>

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

// Facts about the running process: its command line, its program file, its current folder, the machine's memory,
// and opening a document with the desktop's associated program. Paths here are host paths (UTF-8, '/').
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::process {

// Keeps the command line given to main; argv[0] is the program.
void SetCommandLine(int argc, const char* const* argv);
const std::vector<std::string>& CommandLine();

// The program file's full path (from /proc/self/exe); empty when it cannot be read.
std::string ExecutablePath();

// The current folder; empty when it cannot be read.
std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& hostPath);

struct MemoryTotals {
  std::uint64_t totalPhysical = 0;
  std::uint64_t availPhysical = 0;
  std::uint64_t totalVirtual = 0;
  std::uint64_t availVirtual = 0;
};
MemoryTotals Memory();

// Sets the allocator up for a program whose pictures, sound rings and decoded sounds come and go with every scene
// and on several threads: every thread allocates from one arena. glibc gives threads arenas of their own, and each
// keeps what was freed in it for reuse by its own threads (the movie's decoder, the streams' threads, threads that
// have ended): the game held twice the memory it used. The one arena takes a lock that the threads share; the
// mixer's callback does not allocate. Call it before threads start. False when the allocator does not take the
// setting (a sanitiser's).
bool SetUpAllocator();

// Opens a document with its associated program: spawns the open command (xdg-open) with the document as its only
// argument, without a shell, in the given working folder. True when the program was started.
bool OpenDocument(const std::string& hostPath, const std::string& workingFolder);

// Replaces the open command (tests use a harmless program).
void SetOpenCommand(const std::string& program);

}  // namespace platform::process

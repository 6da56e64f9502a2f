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

// Opens a document with its associated program: spawns the open command (xdg-open) with the document as its only
// argument, without a shell, in the given working folder. True when the program was started.
bool OpenDocument(const std::string& hostPath, const std::string& workingFolder);

// Replaces the open command (tests use a harmless program).
void SetOpenCommand(const std::string& program);

}  // namespace platform::process

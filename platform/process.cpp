#include "platform/process.h"

#include <climits>
#include <malloc.h>
#include <mutex>
#include <spawn.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform::process {
namespace {

struct State {
  std::mutex lock;
  std::vector<std::string> commandLine;
  std::string openCommand = "xdg-open";
};

State& TheState() {
  static State s;
  return s;
}

}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.commandLine.assign(argv, argv + argc);
}

const std::vector<std::string>& CommandLine() { return TheState().commandLine; }

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return {};
  return buffer;
}

bool SetCurrentDirectory(const std::string& hostPath) { return !hostPath.empty() && chdir(hostPath.c_str()) == 0; }

MemoryTotals Memory() {
  struct sysinfo info;
  MemoryTotals m;
  if (sysinfo(&info) != 0) return m;
  const std::uint64_t unit = info.mem_unit;
  m.totalPhysical = info.totalram * unit;
  m.availPhysical = (info.freeram + info.bufferram) * unit;
  m.totalVirtual = (info.totalram + info.totalswap) * unit;
  m.availVirtual = (info.freeram + info.bufferram + info.freeswap) * unit;
  return m;
}

bool SetUpAllocator() { return mallopt(M_ARENA_MAX, 1) == 1; }

bool OpenDocument(const std::string& hostPath, const std::string& workingFolder) {
  if (hostPath.empty()) return false;
  std::string program;
  {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    program = s.openCommand;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  char* const argv[] = {program.data(), const_cast<char*>(hostPath.c_str()), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  // Reap the child when it ends, so that it does not stay a zombie.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return true;
}

void SetOpenCommand(const std::string& program) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.openCommand = program;
}

}  // namespace platform::process

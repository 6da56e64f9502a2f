// The program's entry: the game thread wired to the program's screens, then the game starts (see shell/splashf.h).
//
// QORM_TITLE_FILE, when set, names a file (or a named pipe) to which the program appends the line "title" once, when
// its first title screen has faded in and waits for the player: start-up measurements watch it. A pipe nobody reads
// is left alone; the game never waits on it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>

#include "scenario/gamewire.h"
#include "shell/splashf.h"

namespace {

void AppendTitleLine(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // A reader that went away must not end the game with SIGPIPE.
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  if (write(fd, "title\n", 6) < 0 && errno == EPIPE) {
    const timespec now{};
    sigtimedwait(&pipe, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  close(fd);
}

std::function<void()> TitleReport() {
  const char* path = std::getenv("QORM_TITLE_FILE");
  if (path == nullptr || *path == '\0') return {};
  return [file = std::string(path)] { AppendTitleLine(file); };
}

}  // namespace

int main(int argc, char** argv) {
  WireGame(TitleReport());
  return RunGame(argc, argv);
}

// The program's entry: the game thread wired to the program's screens, then the game starts (see shell/splashf.h).
//
// Two hooks for start-up measurements, each off unless its environment variable names a file (or a named pipe). A
// pipe nobody reads is left alone; the game never waits on either.
//
// QORM_TITLE_FILE: the program appends the line "title" once, when its first title screen has faded in and waits
// for the player.
//
// QORM_START_FILE: the program appends one line "<moment> <monotonic ns> <process CPU ns>" for each moment of its
// start, the monotonic clock being CLOCK_MONOTONIC (a parent that started the program reads its own start time on
// the same clock). The moments, in order: "main" (main is entered), "settings" (game folder, single-copy lock and
// start-up settings), "window" (SDL and the hidden window), "splash" (shown), "datafiles", "devices" and "fonts"
// (building the game window), "gameform" (the game window built), "sound" and "display" (enabled), "systemdata"
// (the overlay pictures loaded, the game thread made; it has read the system record), "shown" (the window shown,
// its threads started), "firstframe" (its first frame presented), "black" (the title loop's opening transition to
// black ended), "titlescreens" (the title, configuration and save screens opened), "titlemusic" (the title music
// started), "titleframe" (the first frame presented after "titlemusic" that holds title pixels: the title fades in
// from black, and until then only the cursor is lit), and "title" as above. Reading the frames back costs the main
// thread a little between "titlemusic" and "titleframe". The moments of the title loop are written again each time
// it comes back to the title.
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/video.h"
#include "scenario/gamewire.h"
#include "shell/splashf.h"
#include "shell/startmarks.h"

namespace {

// Appends `text` to the file at `fd`; a reader that went away must not end the game with SIGPIPE.
void AppendQuietly(int fd, const std::string& text) {
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  if (write(fd, text.data(), text.size()) < 0 && errno == EPIPE) {
    const timespec now{};
    sigtimedwait(&pipe, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

int OpenForAppend(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
}

const char* HookPath(const char* variable) {
  const char* path = std::getenv(variable);
  return path != nullptr && *path != '\0' ? path : nullptr;
}

std::function<void()> TitleReport() {
  const char* path = HookPath("QORM_TITLE_FILE");
  if (path == nullptr) return {};
  return [file = std::string(path)] {
    const int fd = OpenForAppend(file.c_str());
    if (fd < 0) return;
    AppendQuietly(fd, "title\n");
    close(fd);
  };
}

// ---- QORM_START_FILE

int startFile = -1;
// Set with "titlemusic": the title's fade-in follows (the opening movie, when it plays, came before).
std::atomic<bool> titleFadeComing{false};

std::int64_t Nanoseconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void WriteStartMark(const char* moment) {
  char line[96];
  const int n = std::snprintf(line, sizeof line, "%s %lld %lld\n", moment,
                              static_cast<long long>(Nanoseconds(CLOCK_MONOTONIC)),
                              static_cast<long long>(Nanoseconds(CLOCK_PROCESS_CPUTIME_ID)));
  if (n > 0) AppendQuietly(startFile, std::string(line, static_cast<std::size_t>(n)));
  if (std::string_view(moment) == "titlemusic") titleFadeComing.store(true);
}

// Whether the picture shown holds more lit pixels than the cursor's 32 x 32 cell could.
bool ShowsMoreThanTheCursor(platform::video::Window& window) {
  std::vector<std::uint8_t> pixels;
  int width = 0, height = 0;
  if (!window.ReadPixels(pixels, width, height)) return false;
  constexpr int kCursorPixels = 32 * 32;
  int lit = 0;
  for (std::size_t i = 0; i + 3 < pixels.size() && lit <= kCursorPixels; i += 4)
    if ((pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0) ++lit;
  return lit > kCursorPixels;
}

TRunOptions StartMarks() {
  TRunOptions options;
  const char* path = HookPath("QORM_START_FILE");
  if (path == nullptr || (startFile = OpenForAppend(path)) < 0) return options;
  SetStartMarkSink(WriteStartMark);
  MarkStart("main");
  options.onFirstFrame = [](TSplashForm&) { MarkStart("firstframe"); };
  options.onFramesShown = [](platform::video::Window& window) {
    if (!titleFadeComing.load() || !ShowsMoreThanTheCursor(window)) return true;
    MarkStart("titleframe");
    return false;
  };
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const TRunOptions options = StartMarks();
  std::function<void()> title = TitleReport();
  if (startFile >= 0) {
    title = [report = std::move(title)] {
      MarkStart("title");
      if (report) report();
    };
  }
  WireGame(std::move(title));
  return RunGame(argc, argv, options);
}

// Timings of the game program that need whole processes and real time.
//
//   shell_timing startup [runs]     process start (spawn) to the first frame shown by the game window (median, worst)
//   shell_timing lateness [seconds] how late each frame tick runs after its frame fell due, at 30 FPS (median, p99,
//                                   worst), in the game window on the real frame timer
//   shell_timing idle [seconds]     CPU time of the running game, idle at 30 FPS, as a share of one core
//
// The game runs on SDL's dummy drivers unless SDL_VIDEODRIVER names another (a real display then shows it). Each
// run uses a save folder and a game folder of its own. The machine's core count is printed with the figures.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/vxtimer.h"
#include "platform/input.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "bench/gamewindowbench.h"
#include "shell/gamef.h"
#include "shell/splashf.h"

extern char** environ;

namespace {

std::int64_t NowNs() { return platform::thread::MonotonicClock().NowNs(); }

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// A save folder and a game folder of their own, with the frame pacing set.
struct Folders {
  std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("qorm_timing_" + std::to_string(getpid()));
  explicit Folders(const char* fpsMode) {
    std::filesystem::create_directories(root / "game");
    std::filesystem::create_directories(root / "run");
    std::filesystem::create_directories(root / "data/BELVAR/QORM");
    std::ofstream(root / "data/BELVAR/QORM/QORM.ini") << "[Game]\r\nFPSMode=" << fpsMode << "\r\n";
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("QORM_DATA", (root / "game").c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
  ~Folders() { std::filesystem::remove_all(root); }
};

// The program with its standard output to /dev/null.
pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// ---- The child: the game itself, printing when its first frame was shown.

int ChildFirstFrame(int argc, char** argv) {
  TRunOptions options;
  options.onFirstFrame = [](TSplashForm&) {
    std::printf("%lld\n", static_cast<long long>(NowNs()));
    std::fflush(stdout);
    kill(getpid(), SIGTERM);
  };
  return RunGame(argc, argv, options);
}

int Startup(const std::string& self, int runs) {
  Folders folders("30fps");
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    int out[2];
    if (pipe(out) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {self.c_str(), "--child-first-frame", nullptr};
    pid_t pid = -1;
    const std::int64_t start = NowNs();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0) return 1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char text[64] = {};
    const ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "run %d: the game did not show a frame (status %d)\n", i, status);
      return 1;
    }
    ms.push_back(static_cast<double>(std::atoll(text) - start) / 1e6);
  }
  std::printf("start to first frame over %d runs: median %.1f ms, worst %.1f ms (%u cores, %s video)\n", runs,
              Percentile(ms, 0.5), Percentile(ms, 1.0), std::thread::hardware_concurrency(),
              std::getenv("SDL_VIDEODRIVER"));
  return 0;
}

// ---- Frame-tick lateness: the game window on the real clock and timer, 30 FPS, frames stepped by a thread that
// waits for them as the game thread does.


struct Ticks {
  std::int64_t start = 0;  // the timer's start: frame k falls due at start + its place in the 30/35/35 ms cadence
  std::int64_t frames = 0;
  std::vector<double> lateMs;
  void Frame(int n) {
    const std::int64_t now = NowNs();
    for (int i = 0; i < n; ++i) {
      const std::int64_t k = frames++;  // frames 0, 1, 2 of each 100 ms fall due at 30, 65 and 100 ms
      static constexpr int kDue[3] = {30, 65, 100};
      const std::int64_t due = start + (k / 3) * 100'000'000 + kDue[k % 3] * 1'000'000LL;
      lateMs.push_back(static_cast<double>(now - due) / 1e6);
    }
  }
};

int Lateness(int seconds) {
  Folders folders("30fps");
  NoLoop loop;
  NullPresenter presenter;
  platform::input::Input input;
  TGameFormSetup setup;
  setup.application = &loop;
  setup.presenter = &presenter;
  setup.input = &input;
  setup.manualSound = true;
  setup.gameFolder = (folders.root / "game").string();
  TGameForm form(nullptr, setup);
  form.FormCreate();
  form.FormShow();
  if (form.GetState() != 2) return 1;
  Ticks ticks;
  form.GetTimer()->SetEnabled(false);
  form.ResetFrameClock();
  form.SetResultPending(false);
  form.SetOnFrame(VXCallback1<Ticks, void, int>(&ticks, &Ticks::Frame));
  ticks.start = NowNs();
  form.GetTimer()->SetEnabled(true);
  const std::int64_t end = ticks.start + std::int64_t{seconds} * 1'000'000'000;
  while (NowNs() < end) GameFrame(&form);
  form.SetOnFrame({});
  form.Close();
  const std::vector<double>& v = ticks.lateMs;
  std::printf("frame-tick lateness over %d s at 30 FPS, %zu frames: median %.3f ms, p99 %.3f ms, worst %.3f ms "
              "(%u cores)\n",
              seconds, v.size(), Percentile(v, 0.5), Percentile(v, 0.99), Percentile(v, 1.0),
              std::thread::hardware_concurrency());
  return 0;
}

// ---- CPU of the idle game at 30 FPS: the real program (its own child mode), measured by the kernel.

int Idle(const std::string& self, int seconds) {
  Folders folders("30fps");
  const pid_t pid = Spawn({self, "--child-run"});
  if (pid < 0) return 1;
  // The kernel tells a child's CPU time when it ends: the whole run, less what a run that ends at its first frame
  // uses (start-up and tear-down), is the idle share.
  std::this_thread::sleep_for(std::chrono::seconds(seconds + 2));
  kill(pid, SIGTERM);
  int status = 0;
  rusage used{};
  wait4(pid, &status, 0, &used);
  const double cpu = static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                     static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
  const pid_t brief = Spawn({self, "--child-first-frame"});
  rusage briefUsed{};
  wait4(brief, &status, 0, &briefUsed);
  const double startup = static_cast<double>(briefUsed.ru_utime.tv_sec + briefUsed.ru_stime.tv_sec) +
                         static_cast<double>(briefUsed.ru_utime.tv_usec + briefUsed.ru_stime.tv_usec) / 1e6;
  const double idle = std::max(0.0, cpu - startup) / (seconds + 2);
  std::printf("idle game at 30 FPS: %.2f %% of one core (%.3f s CPU in %d s, %.3f s of it start-up; %u cores, "
              "%s video)\n",
              idle * 100, cpu, seconds + 2, startup, std::thread::hardware_concurrency(),
              std::getenv("SDL_VIDEODRIVER"));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = platform::process::ExecutablePath();
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "--child-first-frame") return ChildFirstFrame(argc, argv);
  if (what == "--child-run") return RunGame(argc, argv);
  const int n = argc > 2 ? std::atoi(argv[2]) : 0;
  if (what == "startup") return Startup(self, n > 0 ? n : 20);
  if (what == "lateness") return Lateness(n > 0 ? n : 30);
  if (what == "idle") return Idle(self, n > 0 ? n : 10);
  std::fprintf(stderr, "usage: shell_timing startup [runs] | lateness [seconds] | idle [seconds]\n");
  return 2;
}

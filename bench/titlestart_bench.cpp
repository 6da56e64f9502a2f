// The program's start: the real `qorm` started as a child process on SDL's dummy drivers until its first title screen
// has faded in and waits for the player (the program reports it through QORM_TITLE_FILE, here a named pipe); then
// SIGTERM ends it, which must give status 0. Times are per start (manual time); the peak resident memory of each run
// comes from the child's resource usage.
//
//   BM_TitleStart/NoOpening   the demo game without its opening movie: the start-up itself
//   BM_TitleStart/Opening     the demo game as it is: the opening movie plays before the first title
//   BM_TitleStart/TitleFrame  the demo game without its opening movie, from the start to the first frame presented
//                             that shows the title (the first picture of its fade-in); the counters split the time
//                             into the program's start-up moments (QORM_START_FILE, see shell/main.cpp), each the
//                             milliseconds since the moment before it ("p00_exec_to_main" counts from the spawn),
//                             and give the process CPU time up to the title frame ("cpu_to_titleframe")
//
// HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR are a temporary folder; one unmeasured start first writes the settings
// and the system record, as a player's second start finds them.
// Links: demo_game_paths
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The temporary home of the runs, and the demo game without its opening movie (links to the real files, and a copy of
// the program).
struct Folders {
  fs::path root = fs::temp_directory_path() / ("qorm_titlestart_" + std::to_string(getpid()));
  fs::path fifo = root / "title.fifo";
  fs::path marks = root / "start.marks";
  fs::path noOpening = root / "game";
  fs::path program = QORM_PROGRAM;
  fs::path noOpeningProgram = noOpening / program.filename();

  Folders() {
    for (const char* d : {"home", "data", "run"}) fs::create_directories(root / d);
    mkfifo(fifo.c_str(), 0600);
    const fs::path demo = QORM_DEMO_GAME_DIR;
    fs::create_directories(noOpening / "Movie");
    for (const fs::directory_entry& e : fs::directory_iterator(demo)) {
      const fs::path name = e.path().filename();
      if (name != "Movie" && e.path() != program) fs::create_symlink(e.path(), noOpening / name);
    }
    // The movies are read beside the program file itself: a copy of it, not a link, stands in this folder.
    fs::copy_file(program, noOpeningProgram);
    if (fs::exists(demo / "Movie")) {
      for (const fs::directory_entry& e : fs::directory_iterator(demo / "Movie")) {
        if (e.path().filename() != "QMOP.mpg") fs::create_symlink(e.path(), noOpening / "Movie" / e.path().filename());
      }
    }
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("QORM_TITLE_FILE", fifo.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  ~Folders() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

// One start-up moment the program marked: milliseconds since the spawn, and the process CPU time then.
struct Mark {
  std::string moment;
  double ms = 0;
  double cpuMs = 0;
};

struct Run {
  bool ok = false;
  std::string error;
  double seconds = 0;  // start to the title waiting
  long peakKb = 0;
  std::vector<Mark> marks;  // in the order they were written
};

std::int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::vector<Mark> ReadMarks(const fs::path& file, std::int64_t spawnNs) {
  std::vector<Mark> marks;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    Mark m;
    long long mono = 0, cpu = 0;
    if (!(words >> m.moment >> mono >> cpu)) continue;
    m.ms = static_cast<double>(mono - spawnNs) / 1e6;
    m.cpuMs = static_cast<double>(cpu) / 1e6;
    marks.push_back(std::move(m));
  }
  return marks;
}

// Waits (bounded) for the child to end; SIGKILL after the bound.
bool Reap(pid_t pid, int& status, rusage& usage) {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (wait4(pid, &status, WNOHANG, &usage) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

Run StartOnce(const fs::path& program, const fs::path& game, const fs::path& fifo, const fs::path& marks = {}) {
  Run run;
  setenv("QORM_DATA", game.c_str(), 1);
  std::error_code ignored;
  fs::remove(marks, ignored);
  if (marks.empty())
    unsetenv("QORM_START_FILE");
  else
    setenv("QORM_START_FILE", marks.c_str(), 1);
  // Our own writer keeps the pipe from reporting a hang-up before the game opens it.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int keeper = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = -1;
  const std::int64_t spawnNs = MonotonicNs();
  const auto start = Clock::now();
  if (reader < 0 || keeper < 0 || posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
    run.error = "cannot start " + program.string();
  } else {
    pollfd p{reader, POLLIN, 0};
    const int ready = poll(&p, 1, 120'000);
    const auto shown = Clock::now();
    char line[64] = {};
    const ssize_t n = ready == 1 ? read(reader, line, sizeof line - 1) : -1;
    run.seconds = std::chrono::duration<double>(shown - start).count();
    if (n <= 0 || std::string(line) != "title\n") run.error = "the title was not reported";
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    if (!Reap(pid, status, usage)) {
      run.error = "the game did not end on SIGTERM";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (run.error.empty()) run.error = "the game ended with status " + std::to_string(status);
    }
    run.peakKb = usage.ru_maxrss;
    if (!marks.empty()) run.marks = ReadMarks(marks, spawnNs);
    run.ok = run.error.empty();
  }
  if (reader >= 0) close(reader);
  if (keeper >= 0) close(keeper);
  return run;
}

Folders& TheFolders() {
  static Folders folders;
  static const bool warm = [] {
    StartOnce(folders.noOpeningProgram, folders.noOpening, folders.fifo);
    return true;
  }();
  (void)warm;
  return folders;
}

void BM_TitleStart(benchmark::State& state, bool opening) {
  Folders& f = TheFolders();
  long peakKb = 0;
  for (auto _ : state) {
    const Run run = opening ? StartOnce(f.program, QORM_DEMO_GAME_DIR, f.fifo)
                            : StartOnce(f.noOpeningProgram, f.noOpening, f.fifo);
    if (!run.ok) {
      state.SkipWithError(run.error.c_str());
      break;
    }
    state.SetIterationTime(run.seconds);
    peakKb = std::max(peakKb, run.peakKb);
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
}

// The start-up moments in their order, each with the counter of the time since the moment before it.
constexpr std::pair<const char*, const char*> kMoments[] = {
    {"main", "p00_exec_to_main"},      {"settings", "p01_settings"},       {"window", "p02_sdl_window"},
    {"splash", "p03_splash"},          {"datafiles", "p04_data_files"},    {"devices", "p05_devices"},
    {"fonts", "p06_fonts"},            {"gameform", "p07_game_window"},    {"sound", "p08_sound_on"},
    {"display", "p09_display_on"},     {"systemdata", "p10_game_thread"},  {"shown", "p11_shown"},
    {"firstframe", "p12_first_frame"}, {"black", "p13_black_transition"}, {"titlescreens", "p14_title_screens"},
    {"titlemusic", "p15_title_music"}, {"titleframe", "p16_title_frame"},
};

void BM_TitleFrame(benchmark::State& state) {
  Folders& f = TheFolders();
  std::map<std::string, double> phases;
  double cpuMs = 0;
  for (auto _ : state) {
    Run run = StartOnce(f.noOpeningProgram, f.noOpening, f.fifo, f.marks);
    std::map<std::string, Mark> byMoment;
    for (const Mark& m : run.marks) byMoment.emplace(m.moment, m);  // the first of each
    for (const auto& [moment, counter] : kMoments)
      if (run.ok && !byMoment.contains(moment)) run.error = std::string("no start-up moment ") + moment;
    if (!run.ok || !run.error.empty()) {
      state.SkipWithError(run.error.c_str());
      break;
    }
    double before = 0;
    for (const auto& [moment, counter] : kMoments) {
      phases[counter] = byMoment[moment].ms - before;
      before = byMoment[moment].ms;
    }
    cpuMs = byMoment["titleframe"].cpuMs;
    state.SetIterationTime(byMoment["titleframe"].ms / 1000.0);
  }
  for (const auto& [counter, ms] : phases) state.counters[counter] = ms;
  state.counters["cpu_to_titleframe"] = cpuMs;
}

double P90(const std::vector<double>& v) {
  std::vector<double> s = v;
  std::sort(s.begin(), s.end());
  return s.empty() ? 0 : s[std::min(s.size() - 1, static_cast<std::size_t>(0.9 * static_cast<double>(s.size())))];
}

// Each start is one repetition of one iteration; the opening movie's runs are long and few.
const bool registered = [] {
  for (const auto& [name, opening, runs] : {std::tuple{"BM_TitleStart/NoOpening", false, 20},
                                            std::tuple{"BM_TitleStart/Opening", true, 3}}) {
    benchmark::RegisterBenchmark(name, [opening = opening](benchmark::State& state) { BM_TitleStart(state, opening); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(runs)
        ->ComputeStatistics("p90", P90)
        ->ReportAggregatesOnly(true);
  }
  benchmark::RegisterBenchmark("BM_TitleStart/TitleFrame", BM_TitleFrame)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(20)
      ->ComputeStatistics("p90", P90)
      ->ReportAggregatesOnly(true);
  return true;
}();

}  // namespace

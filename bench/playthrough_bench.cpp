// The story play-through in the real program on SDL's dummy drivers (tests/support/realstory.h): title, Start, the
// story through its choices and the opening movie, the first song played automatically, a save from the menu, quit;
// a second start loads the save from the title and reads on, then quits. It runs once, on the real clock.
//
//   frame_*_ms    the time each frame tick that advanced the game spent making its frame (the game's work:
//                 update, composition, the picture handed over), its pacing wait left out: p50, p90, p99 and max,
//                 and the same for the adventure's frames (state 5) and the music game's (state 4)
//   tick_*_ms     the same over every tick, with the ticks of the full-speed mode that only redraw (advancing
//                 nothing)
//   peak_rss_MB   the process's peak resident memory (VmHWM) after both runs: run this benchmark alone, in a fresh
//                 process (--benchmark_filter=BM_StoryPlayThrough), so that nothing else is counted
//   rss_in_stateN_MB  the largest resident memory sampled (every 64th tick) while the window was in state N (3
//                 panel screens, 4 music game, 5 adventure, 6 movie, 7 and 8 waits, 9 transition)
//
// The iteration time is the wall time of both runs: it follows the story's own pace, not the machine's speed.
// Links: scenario demo_game_paths
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "shell/savefile.h"
#include "support/realgame.h"
#include "support/realstory.h"

namespace {

// The resident memory now (called after a tick was timed).
long ResidentKb() {
  std::ifstream in("/proc/self/statm");
  long size = 0, resident = 0;
  in >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct FrameTimes {
  std::vector<std::int64_t> ticks;                        // every frame tick
  std::vector<std::int64_t> frames;                       // the ticks that advanced the game
  std::map<int, std::vector<std::int64_t>> framesByState;
  std::atomic<TGameForm*> form{nullptr};

  std::map<int, long> residentKbByState;  // sampled every 64th tick

  void Add(int advanced, std::int64_t ns) {  // under the window's frame lock: one tick at a time
    ticks.push_back(ns);
    if (ticks.size() % 64 == 0)
      if (const TGameForm* f = form.load()) {
        long& peak = residentKbByState[f->GetState()];
        peak = std::max(peak, ResidentKb());
      }
    if (advanced <= 0) return;
    frames.push_back(ns);
    if (const TGameForm* f = form.load()) framesByState[f->GetState()].push_back(ns);
  }
};

double PercentileMs(std::vector<std::int64_t> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto at = std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())));
  return static_cast<double>(v[at]) / 1e6;
}

long PeakResidentKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

void Report(benchmark::State& state, const std::string& prefix, const std::vector<std::int64_t>& ns) {
  state.counters[prefix + "frames"] = static_cast<double>(ns.size());
  for (const auto& [name, q] : {std::pair{"p50", 0.5}, std::pair{"p90", 0.9}, std::pair{"p99", 0.99},
                                std::pair{"max", 1.0}})
    state.counters[prefix + name + "_ms"] = PercentileMs(ns, q);
}

void BM_StoryPlayThrough(benchmark::State& state) {
  for (auto _ : state) {
    realgame::Home home;
    home.WriteSettings(realstory::kStorySettings);
    FrameTimes times;
    times.ticks.reserve(1 << 18);
    times.frames.reserve(1 << 16);
    TRunOptions options;
    options.onFirstFrame = [&](TSplashForm& app) { times.form = app.GetGameForm(); };
    options.onLoopEnd = [&](TSplashForm&) { times.form = nullptr; };
    options.onFrameWork = [&](int advanced, std::int64_t ns) { times.Add(advanced, ns); };

    const auto start = std::chrono::steady_clock::now();
    realstory::SavedPlace place;
    const auto slot = home.SaveFolder() / SlotFileName(1);
    const realgame::Outcome first = realgame::RunProgram(
        [&](realgame::Player& p) { realstory::PlayToTheFirstSongAndSave(p, slot, place); }, options);
    realgame::ForgetProcessRecords();
    realstory::Seen loaded, next;
    const realgame::Outcome second = first.failure.empty() && first.status == 0
        ? realgame::RunProgram([&](realgame::Player& p) { realstory::LoadAndReadOn(p, loaded, next); }, options)
        : first;
    realgame::ForgetProcessRecords();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    for (const realgame::Outcome& o : {first, second}) {
      if (!o.played || !o.failure.empty() || o.status != 0) {
        const std::string why = !o.played ? "the game never showed a frame"
                                : !o.failure.empty() ? o.failure
                                                     : "the game ended with status " + std::to_string(o.status);
        state.SkipWithError(why.c_str());
        return;
      }
    }
    Report(state, "tick_", times.ticks);
    Report(state, "frame_", times.frames);
    Report(state, "adventure_frame_", times.framesByState[5]);
    Report(state, "music_frame_", times.framesByState[4]);
    state.counters["peak_rss_MB"] = static_cast<double>(PeakResidentKb()) / 1024.0;
    for (const auto& [screen, kb] : times.residentKbByState)
      state.counters["rss_in_state" + std::to_string(screen) + "_MB"] = static_cast<double>(kb) / 1024.0;
  }
}

BENCHMARK(BM_StoryPlayThrough)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

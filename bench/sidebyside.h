// Our code beside a peer library doing the same work, timed so that a busy machine cannot tilt the figures: each
// benchmark iteration runs both sides once, in this thread's CPU time (time spent waiting for a core is not
// counted), the side that goes first swapping every iteration; the figures are medians over the iterations.
//
// Counters: "ours_ms" and "<peer>_ms" (median CPU milliseconds per iteration) and "x_<peer>", the throughput
// ratio: the peer's time over ours, so above 1 means we are faster. The Time column is our CPU time (register the
// benchmark with ->UseManualTime()).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace bench {

inline double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds that one call of `work` takes.
inline double CpuSecondsOf(const std::function<void()>& work) {
  const double start = ThreadCpuSeconds();
  work();
  return ThreadCpuSeconds() - start;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Runs `ours` and, when given, `theirs` alternately under the benchmark loop. Without a peer only our side runs
// (still in CPU time). `peer` names the peer in the counters; `note` is shown as the benchmark's label (say there
// when the peer takes a slow general path for this operation).
inline void SideBySide(benchmark::State& state, const std::function<void()>& ours, const std::function<void()>& theirs,
                       const std::string& peer, const std::string& note = {}) {
  std::vector<double> mine, other;
  // One untimed round of each side, so that first-touch faults and lazy set-up fall outside the figures.
  ours();
  if (theirs) theirs();
  bool oursFirst = true;
  for (auto _ : state) {
    double a = 0, b = 0;
    if (oursFirst || !theirs) {
      a = CpuSecondsOf(ours);
      if (theirs) b = CpuSecondsOf(theirs);
    } else {
      b = CpuSecondsOf(theirs);
      a = CpuSecondsOf(ours);
    }
    benchmark::ClobberMemory();
    oursFirst = !oursFirst;
    mine.push_back(a);
    if (theirs) other.push_back(b);
    state.SetIterationTime(a);
  }
  const double m = Median(mine);
  state.counters["ours_ms"] = m * 1e3;
  if (theirs) {
    const double o = Median(other);
    state.counters[peer + "_ms"] = o * 1e3;
    state.counters["x_" + peer] = m > 0 ? o / m : 0;
  }
  if (!note.empty()) state.SetLabel(note);
}

}  // namespace bench

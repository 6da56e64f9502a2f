// Measures how late the multimedia timer's calls arrive (median, 99th percentile and worst, at 5 and 10 ms), how many
// ticks were merged into later calls, and how far a clock built on the calls' tick counts falls behind.
//   timer_lateness [seconds]   (10 by default)
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxtimer.h"
#include "platform/thread.h"

namespace {

// Each call's arrival time and the number of the latest tick it stands for.
struct Recorder {
  struct Arrival {
    std::int64_t us;
    std::uint64_t tick;
  };
  std::mutex lock;
  std::vector<Arrival> arrivals;
  std::uint64_t ticks = 0;  // ticks the calls stood for so far
  void Tick(void* sender) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::lock_guard<std::mutex> guard(lock);
    ticks += static_cast<VXTimer*>(sender)->GetCallTicks();
    arrivals.push_back({ts.tv_sec * 1000000LL + ts.tv_nsec / 1000, ticks});
  }
};

void Measure(unsigned intervalMs, int seconds) {
  Recorder recorder;
  VXTimer timer;
  timer.SetInterval(intervalMs);
  timer.SetOnTimer(VXCallback1<Recorder, void, void*>(&recorder, &Recorder::Tick));
  timer.SetEnabled(true);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  timer.SetEnabled(false);

  std::vector<std::int64_t> late;
  const auto& a = recorder.arrivals;
  for (size_t i = 1; i < a.size(); ++i) {
    // Lateness against the ideal grid laid from the first call, at the tick the call stands for.
    const std::int64_t ideal = a[0].us + static_cast<std::int64_t>(a[i].tick - a[0].tick) * intervalMs * 1000;
    late.push_back(std::max<std::int64_t>(0, a[i].us - ideal));
  }
  if (late.empty()) {
    std::printf("%2u ms: no ticks\n", intervalMs);
    return;
  }
  std::sort(late.begin(), late.end());
  // A clock that adds an interval per tick the calls stood for, against the real time between the first and last
  // call: it falls behind only by the last call's lateness, never by the merged ticks.
  const double clockMs = static_cast<double>(a.back().tick - a[0].tick) * intervalMs;
  const double realMs = (a.back().us - a[0].us) / 1000.0;
  std::printf("%2u ms: %zu calls for %llu ticks (%llu merged), lateness median %.3f ms, p99 %.3f ms, worst %.3f ms, "
              "clock behind by %.3f ms\n",
              intervalMs, a.size(), static_cast<unsigned long long>(a.back().tick),
              static_cast<unsigned long long>(timer.GetMissedCount()), late[late.size() / 2] / 1000.0,
              late[late.size() * 99 / 100] / 1000.0, late.back() / 1000.0, realMs - clockMs);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  if (seconds < 1) seconds = 1;
  std::printf("%u cores\n", std::thread::hardware_concurrency());
  Measure(5, seconds);
  Measure(10, seconds);
  return 0;
}

// Measures how late the multimedia timer's ticks arrive: median, 99th percentile and worst, at 5 and 10 ms.
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

struct Recorder {
  std::mutex lock;
  std::vector<std::int64_t> arrivals;  // microseconds
  void Tick(void*) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::lock_guard<std::mutex> guard(lock);
    arrivals.push_back(ts.tv_sec * 1000000LL + ts.tv_nsec / 1000);
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
    // Lateness against the ideal grid laid from the first tick.
    std::int64_t ideal = a[0] + static_cast<std::int64_t>(i) * intervalMs * 1000;
    late.push_back(std::max<std::int64_t>(0, a[i] - ideal));
  }
  if (late.empty()) {
    std::printf("%2u ms: no ticks\n", intervalMs);
    return;
  }
  std::sort(late.begin(), late.end());
  std::printf("%2u ms: %zu ticks, lateness median %.3f ms, p99 %.3f ms, worst %.3f ms, missed %llu\n", intervalMs,
              a.size(), late[late.size() / 2] / 1000.0, late[late.size() * 99 / 100] / 1000.0, late.back() / 1000.0,
              static_cast<unsigned long long>(timer.GetMissedCount()));
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

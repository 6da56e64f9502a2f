// Decoding and converting one 640 x 480 MPEG-1 picture into the 32-bit layout, through the movie's own decoding
// thread: each iteration moves the clock on by one picture and takes it as soon as it has been decoded.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/movie.h"
#include "support/moviefile.h"

namespace {

const std::string& BusyMovie() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "qorm_movie_bench.mpg").string();
    moviefile::Spec s;
    s.width = 640, s.height = 480, s.frames = 100, s.sound = false, s.busy = true;
    if (!moviefile::Write(p, s)) std::fprintf(stderr, "cannot write %s\n", p.c_str());
    return p;
  }();
  return path;
}

void BM_DecodeAndConvert640x480(benchmark::State& state) {
  platform::thread::ManualClock clock;
  platform::movie::Options o;
  o.clock = &clock;
  o.layout = static_cast<platform::movie::PixelLayout>(state.range(0));
  auto movie = platform::movie::Movie::Open(BusyMovie(), o);
  if (movie == nullptr) return state.SkipWithError("no movie");
  movie->Run(0);
  std::int64_t pictures = 0;
  for (auto _ : state) {
    platform::movie::Poll p;
    // A picture whose time stamp lies more than one period ahead needs the clock moved on again.
    do {
      clock.AdvanceNs(40'000'000);
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
      while ((p = movie->TakeFrame()) == platform::movie::Poll::Pending && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    } while (p == platform::movie::Poll::Pending);
    if (p == platform::movie::Poll::End) {
      state.PauseTiming();
      pictures += movie->FramesTaken() + movie->FramesDropped();
      movie->Run(0);
      state.ResumeTiming();
    }
  }
  pictures += movie->FramesTaken() + movie->FramesDropped();
  // Pictures decoded and converted (taken or dropped as late), per second.
  state.SetItemsProcessed(pictures);
}
BENCHMARK(BM_DecodeAndConvert640x480)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

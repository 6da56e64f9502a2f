// Decoding and converting 640 x 480 MPEG-1 pictures, one picture an iteration, on the caller's thread: decoding
// alone, converting alone, and both, as a running movie does them for each picture. Two movies:
//   scene: gradients and moving shapes at about 2 Mbit/s, groups of I, P and B pictures, a slice per row;
//   busy:  a noise-like texture that the encoder cannot hold to its rate (about 14 Mbit/s, I and B pictures, one
//          slice a picture), the worst case for the decoder.
// The last benchmark takes pictures through the movie's own decoding thread and queue, for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/movie.h"
#include "support/moviefile.h"

namespace {

using platform::movie::Frame;
using platform::movie::PictureReader;
using platform::movie::PixelLayout;

enum Content { kScene, kBusy };

const std::string& MoviePath(int content) {
  static const std::string paths[2] = {[] {
    const std::string p = (std::filesystem::temp_directory_path() / "qorm_movie_bench_scene.mpg").string();
    moviefile::Spec s;
    s.width = 640, s.height = 480, s.frames = 100, s.sound = false, s.scene = true;
    if (!moviefile::Write(p, s)) std::fprintf(stderr, "cannot write %s\n", p.c_str());
    return p;
  }(), [] {
    const std::string p = (std::filesystem::temp_directory_path() / "qorm_movie_bench_busy.mpg").string();
    moviefile::Spec s;
    s.width = 640, s.height = 480, s.frames = 100, s.sound = false, s.busy = true;
    if (!moviefile::Write(p, s)) std::fprintf(stderr, "cannot write %s\n", p.c_str());
    return p;
  }()};
  return paths[content];
}

std::unique_ptr<PictureReader> OpenReader(benchmark::State& state, int content, PixelLayout layout, int threads) {
  platform::movie::Options o;
  o.layout = layout;
  o.decoderThreads = threads;
  std::string error;
  auto reader = PictureReader::Open(MoviePath(content), o, &error);
  if (reader == nullptr) state.SkipWithError(("no movie: " + error).c_str());
  return reader;
}

// Decodes the next picture, going back to the first after the last one (not timed).
bool NextPicture(benchmark::State& state, PictureReader& reader) {
  if (reader.Decode()) return true;
  state.PauseTiming();
  const bool ok = reader.Rewind() && reader.Decode();
  state.ResumeTiming();
  return ok;
}

// Args: content, decoder threads (0: one per processor).
void BM_Decode(benchmark::State& state) {
  auto reader = OpenReader(state, static_cast<int>(state.range(0)), PixelLayout::Bgrx32, static_cast<int>(state.range(1)));
  if (reader == nullptr) return;
  for (auto _ : state)
    if (!NextPicture(state, *reader)) return state.SkipWithError("decoding failed");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Decode)
    ->ArgsProduct({{kScene, kBusy}, {1, 0}})
    ->ArgNames({"busy", "threads"})
    ->Unit(benchmark::kMillisecond);

// Args: content, layout. Converts one decoded picture (a P picture of the scene) over and over.
void BM_Convert(benchmark::State& state) {
  auto reader = OpenReader(state, static_cast<int>(state.range(0)), static_cast<PixelLayout>(state.range(1)), 0);
  if (reader == nullptr) return;
  for (int n = 0; n < 4; ++n)
    if (!reader->Decode()) return state.SkipWithError("decoding failed");
  Frame frame;
  for (auto _ : state)
    if (!reader->Convert(frame)) return state.SkipWithError("converting failed");
  benchmark::DoNotOptimize(frame.pixels.data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Convert)
    ->ArgsProduct({{kScene, kBusy}, {0, 1, 2}})
    ->ArgNames({"busy", "layout"})
    ->Unit(benchmark::kMillisecond);

// Args: content, layout. What the decoding thread does for each picture.
void BM_DecodeAndConvert640x480(benchmark::State& state) {
  auto reader = OpenReader(state, static_cast<int>(state.range(0)), static_cast<PixelLayout>(state.range(1)), 0);
  if (reader == nullptr) return;
  Frame frame;
  for (auto _ : state)
    if (!NextPicture(state, *reader) || !reader->Convert(frame)) return state.SkipWithError("decoding failed");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAndConvert640x480)
    ->ArgsProduct({{kScene, kBusy}, {0, 1, 2}})
    ->ArgNames({"busy", "layout"})
    ->Unit(benchmark::kMillisecond);

// Args: content. Each iteration moves the clock on by one picture and polls until the decoding thread has it:
// decoding, converting, the queue hand-off and the thread's wake-up, in 32-bit pixels.
void BM_TakenThroughTheDecodingThread(benchmark::State& state) {
  platform::thread::ManualClock clock;
  platform::movie::Options o;
  o.clock = &clock;
  auto movie = platform::movie::Movie::Open(MoviePath(static_cast<int>(state.range(0))), o);
  if (movie == nullptr || !movie->Run(0)) return state.SkipWithError("no movie");
  for (auto _ : state) {
    clock.AdvanceNs(40'000'000);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    platform::movie::Poll p;
    while ((p = movie->TakeFrame()) == platform::movie::Poll::Pending && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::yield();
    if (p == platform::movie::Poll::Pending) return state.SkipWithError("no picture within a second");
    if (p == platform::movie::Poll::End) {
      state.PauseTiming();
      const bool ran = movie->Run(0);
      state.ResumeTiming();
      if (!ran) return state.SkipWithError("cannot run again");
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TakenThroughTheDecodingThread)->Arg(kScene)->Arg(kBusy)->ArgName("busy")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Mixer cost: one second of output (44,100 frames, pulled 512 at a time as the device would) with 16 looping
// voices at rates that all need resampling. The goal is under 1 % of one core, i.e. under 10 ms per second.
#include <benchmark/benchmark.h>

#include <thread>

#include "platform/mixer.h"

using namespace platform::audio;
using platform::thread::ManualClock;

static void BM_MixOneSecond16Voices(benchmark::State& state) {
  ManualClock clock;
  Mixer mixer(clock);
  const VoiceFormat formats[] = {{2, 22050, 16}, {1, 22050, 16}, {2, 32000, 16}, {1, 11025, 8},
                                 {2, 48000, 16}, {1, 8000, 8},   {2, 44100, 8},  {1, 16000, 16}};
  std::vector<std::unique_ptr<Voice>> voices;
  for (int i = 0; i < 16; ++i) {
    const VoiceFormat& f = formats[i % 8];
    auto v = mixer.CreateVoice(f, f.samplesPerSec * f.BlockAlign());  // one second each
    std::vector<std::uint8_t> noise(v->Length());
    for (size_t b = 0; b < noise.size(); ++b) noise[b] = static_cast<std::uint8_t>(b * 2654435761u >> 13);
    v->Write(0, noise);
    v->SetVolume(-300 * (i % 4));
    v->SetPan(-5000 + 700 * i);
    v->SetFrequency(f.samplesPerSec + 37 * i + 1);  // never the output rate: every voice resamples
    v->Play(true);
    voices.push_back(std::move(v));
  }
  std::vector<std::int16_t> out(512 * 2);
  for (auto _ : state) {
    for (int frames = 0; frames < 44100; frames += 512) {
      mixer.Mix(out.data(), 512, 512);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.counters["cores"] = std::thread::hardware_concurrency();
  // Seconds of mixing per second of output, in percent of one core.
  state.counters["core%"] = benchmark::Counter(state.iterations() / 100.0,
                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixOneSecond16Voices)->Unit(benchmark::kMillisecond);

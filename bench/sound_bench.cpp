// Decoding ten seconds of 44.1 kHz stereo into a static buffer, by decoder. The Ogg Vorbis and ADP files are made
// here from a tone; MPEG audio is ten seconds of silent frames (no encoder is at hand), which measures the decoder's
// frame handling rather than its synthesis.
#include <benchmark/benchmark.h>

#include <memory>

#include "device/sound_fixtures.h"
#include "device/vxladpstream.h"
#include "device/zodsound.h"

namespace {

std::string TenSecondsOgg() { return fixtures::OggVorbis(fixtures::Tone(441000, 2, 44100), 2, 44100); }

std::string TenSecondsAdp() {
  const std::vector<std::int16_t> tone = fixtures::Tone(441000, 2, 44100);
  VXMemoryStream out;
  VXAdpStream::Encode(&out, tone.data(), 441000, 44100, 2);
  return std::string(reinterpret_cast<const char*>(out.GetMemory()), static_cast<std::size_t>(out.GetSize()));
}

template <class Make>
void DecodeIntoStaticBuffer(benchmark::State& state, const std::string& file, Make make) {
  platform::thread::ManualClock clock;
  DirectX::TDSound device(nullptr, clock);
  device.SetManualOutput(true);
  device.SetEnabled(true);
  for (auto _ : state) {
    VXMemoryStream code(file.data(), static_cast<int>(file.size()));
    DirectX::TDSoundBuffer* b = make(device, &code);
    if (b == nullptr) {
      state.SkipWithError("decoding failed");
      break;
    }
    delete b;
  }
}

void BM_Ogg10s(benchmark::State& state) {
  static const std::string file = TenSecondsOgg();
  DecodeIntoStaticBuffer(state, file, [](DirectX::TDSound& d, VXStream* s) {
    return d.CreateBufferFromOgg(s, false, false, false);
  });
}

void BM_Adp10s(benchmark::State& state) {
  static const std::string file = TenSecondsAdp();
  DecodeIntoStaticBuffer(state, file, [](DirectX::TDSound& d, VXStream* s) {
    return d.CreateBufferFromAdp(s, false, false, false);
  });
}

void BM_Mp3Silent10s(benchmark::State& state) {
  static const std::string file = fixtures::SilentMp3(383);  // 383 frames of 1152: 10.0 s
  DecodeIntoStaticBuffer(state, file, [](DirectX::TDSound& d, VXStream* s) {
    return d.CreateBufferFromMp3(s, false, false, false);
  });
}

}  // namespace

BENCHMARK(BM_Ogg10s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adp10s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3Silent10s)->Unit(benchmark::kMillisecond);

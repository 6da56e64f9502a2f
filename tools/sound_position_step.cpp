// Measures how smoothly a streamed buffer's position advances: reads GetPosition every millisecond of real time
// while a ten-second tone plays, and prints the largest step between two reads and the largest distance from the
// real time elapsed (both in milliseconds of audio). With no sound card, SDL's dummy driver paces the output.
//
//   sound_position_step [seconds] [--manual]
//
// --manual drives the mixer from a thread of our own that pulls 512 frames on absolute deadlines of the real clock,
// as a device with a 512-frame buffer would, instead of SDL.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <atomic>
#include <vector>

#include "core/vxstream.h"
#include "device/zodsound.h"

namespace {

std::string ToneWave(int seconds) {
  const int rate = 44100;
  std::string data;
  for (int i = 0; i < rate * seconds; ++i) {
    const auto v = static_cast<std::int16_t>(3000 * std::sin(2 * M_PI * 440 * i / rate));
    for (int c = 0; c < 2; ++c) {
      data += static_cast<char>(v & 0xFF);
      data += static_cast<char>((v >> 8) & 0xFF);
    }
  }
  auto u32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const std::string fmt = std::string("\x01\x00\x02\x00", 4) + u32(rate) + u32(rate * 4) + std::string("\x04\x00\x10\x00", 4);
  return "RIFF" + u32(static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + data.size())) + "WAVEfmt " + u32(16) + fmt +
         "data" + u32(static_cast<std::uint32_t>(data.size())) + data;
}

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const bool manual = argc > 2 && std::string(argv[2]) == "--manual";
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string wave = ToneWave(10);
  VXMemoryStream file(wave.data(), static_cast<int>(wave.size()));
  DirectX::TDSound device(nullptr);
  constexpr std::uint32_t kPull = 512;
  device.SetManualOutput(manual, kPull);
  device.SetEnabled(true);
  std::atomic<bool> pumping{manual};
  std::thread pump;
  if (manual) {
    pump = std::thread([&] {
      timespec due{};
      clock_gettime(CLOCK_MONOTONIC, &due);
      const long periodNs = static_cast<long>(platform::audio::FramesToNs(kPull));
      while (pumping) {
        device.GetManualSink()->Pump(kPull);
        due.tv_nsec += periodNs;
        while (due.tv_nsec >= 1000000000) {
          due.tv_nsec -= 1000000000;
          ++due.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
      }
    });
  }
  if (!device.GetEnabled()) {
    std::fprintf(stderr, "no sound output\n");
    return 1;
  }
  DirectX::TDSoundStream* stream = device.CreateStreamFromWave(&file, false, false);
  if (stream == nullptr || !stream->Play(false)) return 1;
  const double bytesPerMs = 44100 * 4 / 1000.0;
  // Wait for the device to start pulling before measuring.
  while (stream->GetPosition() == 0) {
  }
  const double start = NowMs();
  const double startPosition = stream->GetPosition() / bytesPerMs;
  double last = startPosition;
  double lastTime = start;
  double maxStep = 0;
  double maxJump = 0;  // the step beyond the real time between the two reads
  double maxDrift = 0;
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  while (NowMs() - start < seconds * 1000.0) {
    next.tv_nsec += 1000000;
    if (next.tv_nsec >= 1000000000) {
      next.tv_nsec -= 1000000000;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    const double position = stream->GetPosition() / bytesPerMs;
    const double now = NowMs();
    maxStep = std::max(maxStep, position - last);
    maxJump = std::max(maxJump, std::abs((position - last) - (now - lastTime)));
    lastTime = now;
    maxDrift = std::max(maxDrift, std::abs((position - startPosition) - (NowMs() - start)));
    last = position;
  }
  std::printf("largest step between reads 1 ms apart: %.3f ms of audio\n", maxStep);
  std::printf("largest difference between a step and the real time between its reads: %.3f ms\n", maxJump);
  std::printf("largest distance from the real time elapsed: %.3f ms\n", maxDrift);
  pumping = false;
  if (pump.joinable()) pump.join();
  return 0;
}

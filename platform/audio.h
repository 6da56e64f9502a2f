// Sound output: a sink pulls mixed sound from the Mixer and hands it to whatever plays it. The SDL sink plays it
// on the default output device; the manual sink lets tests pump the mixer by hand, with no device and no real time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mixer.h"

namespace platform::audio {

class AudioSink {
public:
  virtual ~AudioSink() = default;
  // Output frames the device holds, not yet heard, when the mixer is asked for more.
  virtual std::uint32_t LatencyFrames() const = 0;
};

// Plays the mixer on the default output device at 44,100 Hz, signed 16-bit stereo; SDL converts when the device
// wants another format. The mixer runs in SDL's audio callback.
class SdlSink final : public AudioSink {
public:
  // Null with a reason in *error when there is no usable device (the caller can then run silent).
  static std::unique_ptr<SdlSink> Open(Mixer& mixer, std::string* error, std::uint16_t bufferFrames = 512);
  ~SdlSink() override;
  SdlSink(const SdlSink&) = delete;
  SdlSink& operator=(const SdlSink&) = delete;

  // The device buffer being played while the next one is mixed.
  std::uint32_t LatencyFrames() const override { return latencyFrames_; }

private:
  SdlSink(Mixer& mixer) : mixer_(mixer) {}
  static void Callback(void* self, std::uint8_t* stream, int bytes);

  Mixer& mixer_;
  std::uint32_t device_ = 0;
  std::uint32_t latencyFrames_ = 0;
};

// Mixes on request: each Pump mixes the next frames as if the device still held LatencyFrames before them.
class ManualSink final : public AudioSink {
public:
  explicit ManualSink(Mixer& mixer, std::uint32_t latencyFrames = 0) : mixer_(mixer), latency_(latencyFrames) {}

  // Mixes `frames` frames; returns them as interleaved left/right samples.
  const std::vector<std::int16_t>& Pump(std::uint32_t frames);

  std::uint32_t LatencyFrames() const override { return latency_; }
  void SetLatencyFrames(std::uint32_t frames) { latency_ = frames; }

private:
  Mixer& mixer_;
  std::uint32_t latency_;
  std::vector<std::int16_t> output_;
};

}  // namespace platform::audio

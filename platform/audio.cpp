#include "platform/audio.h"

#include <SDL.h>

namespace platform::audio {

std::unique_ptr<SdlSink> SdlSink::Open(Mixer& mixer, std::string* error, std::uint16_t bufferFrames) {
  auto fail = [error](const char* what) {
    if (error != nullptr) *error = std::string(what) + ": " + SDL_GetError();
    return nullptr;
  };
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail("cannot start SDL audio");
  std::unique_ptr<SdlSink> sink(new SdlSink(mixer));
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(kOutputRate);
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = bufferFrames;
  want.callback = &SdlSink::Callback;
  want.userdata = sink.get();
  SDL_AudioSpec have{};
  sink->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (sink->device_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return fail("cannot open the sound device");
  }
  sink->latencyFrames_ = have.samples;
  SDL_PauseAudioDevice(sink->device_, 0);
  return sink;
}

SdlSink::~SdlSink() {
  if (device_ == 0) return;
  SDL_CloseAudioDevice(device_);  // waits for a callback in progress
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlSink::Callback(void* self, std::uint8_t* stream, int bytes) {
  auto* sink = static_cast<SdlSink*>(self);
  sink->mixer_.Mix(reinterpret_cast<std::int16_t*>(stream), static_cast<std::uint32_t>(bytes) / 4,
                   sink->latencyFrames_);
}

const std::vector<std::int16_t>& ManualSink::Pump(std::uint32_t frames) {
  output_.assign(static_cast<std::size_t>(frames) * 2, 0);
  mixer_.Mix(output_.data(), frames, latency_);
  return output_;
}

}  // namespace platform::audio

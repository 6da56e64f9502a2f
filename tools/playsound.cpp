// Plays a sound file (Ogg Vorbis, WAVE, MP3 or ADP, told by its extension) through the default output and prints
// its position until it ends.
//
//   playsound FILE [--loop]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "core/vxstream.h"
#include "device/zodsound.h"

namespace {

std::string Extension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

DirectX::TDSoundStream* OpenStream(DirectX::TDSound& device, VXStream* file, const std::string& ext) {
  if (ext == "ogg" || ext == "bgm") return device.CreateStreamFromOgg(file, false, false);
  if (ext == "wav") return device.CreateStreamFromWave(file, false, false);
  if (ext == "mp3") return device.CreateStreamFromMp3(file, false, false);
  if (ext == "adp") return device.CreateStreamFromAdp(file, false, false);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [--loop]\n", argv[0]);
    return 2;
  }
  const bool loop = argc > 2 && std::strcmp(argv[2], "--loop") == 0;
  VXFileStream file(argv[1], VXFileRead);
  if (!file.IsOpen()) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  DirectX::TDSound device(nullptr);
  device.SetEnabled(true);
  if (!device.GetEnabled()) {
    std::fprintf(stderr, "no sound output\n");
    return 1;
  }
  DirectX::TDSoundStream* stream = OpenStream(device, &file, Extension(argv[1]));
  if (stream == nullptr) {
    std::fprintf(stderr, "%s: not a sound this program can play\n", argv[1]);
    return 1;
  }
  std::atomic<bool> ended{false};
  stream->SetOnNotify([&](Classes::TComponent*) { ended = true; });
  const double bytesPerSecond =
      static_cast<double>(stream->GetChannels()) * stream->GetSamplesPerSec() * stream->GetBitsPerSample() / 8;
  std::printf("%s: %u Hz, %u channel(s), %.2f s\n", argv[1], stream->GetSamplesPerSec(), stream->GetChannels(),
              stream->GetStreamSize() / bytesPerSecond);
  stream->Play(loop);
  while (!ended) {
    std::printf("\r%8.3f s", stream->GetPosition() / bytesPerSecond);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::printf("\nended\n");
  return 0;
}

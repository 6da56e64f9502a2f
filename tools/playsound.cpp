// Plays a sound file (Ogg Vorbis, WAVE, MP3 or ADP, told by its extension) through the default output, prints its
// position while it plays and says how it ended.
//
//   playsound FILE [--loop]
//
// With --loop the sound plays until the program is interrupted (Ctrl+C or SIGTERM). The stream ends at the next
// whole second after the sound (the rest of its ring plays as silence), so a short sound takes up to a second to
// end; the position shown stops at the sound's end meanwhile.
//
// Exit status: 0 the sound played to its end, or played looping until interrupted; 1 the file cannot be opened or
// is not a sound this program plays (the reason follows the file name); 2 wrong arguments; 3 no sound output; 4
// interrupted before the end.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "core/vxrefusal.h"
#include "core/vxstream.h"
#include "device/zodsound.h"

namespace {

enum Status { kPlayed = 0, kNotPlayable = 1, kUsage = 2, kNoOutput = 3, kInterrupted = 4 };

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted = true; }

std::string Extension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

using Opener = DirectX::TDSoundStream* (DirectX::TDSound::*)(VXStream*, bool, bool);

struct Kind {
  const char* extension;
  Opener open;
};

constexpr Kind kKinds[] = {
    {"ogg", &DirectX::TDSound::CreateStreamFromOgg}, {"bgm", &DirectX::TDSound::CreateStreamFromOgg},
    {"wav", &DirectX::TDSound::CreateStreamFromWave}, {"mp3", &DirectX::TDSound::CreateStreamFromMp3},
    {"adp", &DirectX::TDSound::CreateStreamFromAdp},
};

const Kind* KindOf(const std::string& path) {
  const std::string ext = Extension(path);
  for (const Kind& k : kKinds) {
    if (ext == k.extension) return &k;
  }
  return nullptr;
}

int Refused(const char* file, const char* reason) {
  std::fprintf(stderr, "%s: %s\n", file, reason);
  return kNotPlayable;
}

}  // namespace

int main(int argc, char** argv) {
  const bool loop = argc == 3 && std::strcmp(argv[2], "--loop") == 0;
  if (argc < 2 || argc > 3 || (argc == 3 && !loop)) {
    std::fprintf(stderr, "usage: %s FILE [--loop]\n", argv[0]);
    return kUsage;
  }
  const char* name = argv[1];
  const Kind* kind = KindOf(name);
  if (kind == nullptr) return Refused(name, "not a kind of sound this program plays (.ogg, .bgm, .wav, .mp3, .adp)");
  errno = 0;
  VXFileStream file(name, VXFileRead);
  if (!file.IsOpen()) {
    const std::string why = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
    return Refused(name, ("cannot be opened" + why).c_str());
  }
  // Set before the sound output starts, so that SDL keeps them rather than turning the signals into quit events
  // that nobody here reads.
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  DirectX::TDSound device(nullptr);
  device.SetEnabled(true);
  if (!device.GetEnabled()) {
    std::fprintf(stderr, "no sound output\n");
    return kNoOutput;
  }
  DirectX::TDSoundStream* stream = (device.*kind->open)(&file, false, false);
  if (stream == nullptr) return Refused(name, *VXRefusal() != '\0' ? VXRefusal() : "cannot be played");
  std::atomic<bool> ended{false};
  stream->SetOnNotify([&](Classes::TComponent*) { ended = true; });
  const double bytesPerSecond =
      static_cast<double>(stream->GetChannels()) * stream->GetSamplesPerSec() * stream->GetBitsPerSample() / 8;
  const double length = stream->GetStreamSize() / bytesPerSecond;
  std::printf("%s: %u Hz, %u channel(s), %u bits, %.3f s\n", name, stream->GetSamplesPerSec(), stream->GetChannels(),
              stream->GetBitsPerSample(), length);
  stream->Play(loop);
  while (!ended && !interrupted) {
    std::printf("\r%8.3f s of %.3f s", stream->GetPosition() / bytesPerSecond, length);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // The end notice comes once the mixer has taken the last block, which on a busy machine can be before the heard
  // position has caught up with it: a sound that ended was heard whole.
  const double last = ended ? length : stream->GetPosition() / bytesPerSecond;
  std::printf("\r%8.3f s of %.3f s\n", last, length);
  if (ended) {
    std::printf("played to the end\n");
    return kPlayed;
  }
  std::printf(loop ? "stopped looping\n" : "interrupted before the end\n");
  return loop ? kPlayed : kInterrupted;
}

// The sound service of the game window on the manual sound output.
//
// BM_ServiceCpu: the processor time that one second of output costs (mixing, the refills of the music streams on
// their own threads, 30 frames of volume glides), as the time of an iteration and as `cpu_pct`, per cent of one
// core: the demo game's tracks 1 and 2 crossfading (a new start each second, the old track still fading), 4 voices
// and 8 effects sounding throughout (the service's voice, SE, loop SE and four system sounds; three more voices
// and two more effects looping straight on the window's sound device, as the music game's key tones do).
//
// BM_StartThreeMinuteTrack: from PlayBgm of a three-minute Ogg Vorbis track (the demo game's first track repeated,
// encoded here) to the first 10 ms of output that holds sound.
// Links: shell demo_game_paths
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/gamewindowbench.h"
#include "core/vxfileman.h"
#include "core/vxstream.h"
#include "device/sound_fixtures.h"
#include "device/vxloggstream.h"
#include "device/zodsound.h"
#include "platform/input.h"
#include "platform/thread.h"
#include "shell/gamef.h"

namespace {

namespace fs = std::filesystem;
constexpr std::uint32_t kCallbackFrames = 441;  // 10 ms, as a device callback takes them

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A game window on the manual sound output, the data of `gameFolder`, a clock that stands still.
struct Window {
  explicit Window(const std::string& gameFolder) {
    fs::create_directories(saves);
    setenv("XDG_DATA_HOME", saves.c_str(), 1);
    form = std::make_unique<TGameForm>(nullptr, devices.Setup(gameFolder));
    form->FormCreate();
    form->FormShow();
    ok = form->GetState() == 2 && form->GetSound()->GetEnabled();
  }
  ~Window() {
    if (form) form->Close();
    form.reset();
    fs::remove_all(saves);
  }

  const std::vector<std::int16_t>& Pump() { return form->GetSound()->GetManualSink()->Pump(kCallbackFrames); }

  // Until the music streams' threads have done the refills that the mix asked for.
  void Settle() {
    for (int part : {TGameForm::spBgm, TGameForm::spBgmFadeOut}) {
      DirectX::TCustomDSoundBuffer* b = form->GetSoundBuffer(part);
      DirectX::TDSoundThread* t = b != nullptr ? b->GetNotifyThread() : nullptr;
      for (int quiet = 0; t != nullptr && quiet < 3;) {
        quiet = t->IsIdle() ? quiet + 1 : 0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  }

  fs::path saves = fs::temp_directory_path() / ("qorm_gamesound_bench_" + std::to_string(getpid()));
  BenchDevices devices;
  std::unique_ptr<TGameForm> form;
  bool ok = false;
};

void BM_ServiceCpu(benchmark::State& state) {
  Window w(QORM_DEMO_GAME_DIR);
  if (!w.ok) return state.SkipWithError("the game window has no sound");
  TGameForm& f = *w.form;
  // Three voices and two effects beside the service's own, looping on the window's device.
  std::vector<DirectX::TDSoundBuffer*> extra;
  for (int i = 0; i < 5; ++i) {
    VXStream* s = f.GetSystemSoundStream(i + 2);
    DirectX::TDSoundBuffer* b = s != nullptr ? f.GetSound()->CreateBufferFromOgg(s, false, false, false) : nullptr;
    if (b == nullptr) return state.SkipWithError("a demo system sound cannot be read");
    b->Play(true);
    extra.push_back(b);
  }
  f.PlayLoopSe(FileMan, false, "SysSEClick01", 0, 0);
  int track = 1;
  f.PlayBgm(track, true, false);
  double cpu = 0;
  for (auto _ : state) {
    track = 3 - track;
    f.PlayBgm(track, true, true);
    f.PlayVoice(FileMan, "SysSEAttention");
    f.PlaySe(FileMan, "SysSEPage", 0, 0);
    for (int i = 0; i < 4; ++i) f.PlaySystemSe(i);
    const double start = ProcessCpuSeconds();
    for (int tick = 0; tick < 100; ++tick) {
      w.Pump();
      if (tick % 10 == 0) f.UpdateFrame(3, 100);
      if (tick % 25 == 24) w.Settle();
    }
    const double used = ProcessCpuSeconds() - start;
    state.SetIterationTime(used);
    cpu += used;
  }
  state.counters["cpu_pct"] = 100.0 * cpu / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
  f.StopBgm(false);
  for (DirectX::TDSoundBuffer* b : extra) delete b;
}
// Each iteration is one second of output: its CPU time over one second is the share of a core.
BENCHMARK(BM_ServiceCpu)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);

// The demo game's first track decoded, repeated to three minutes and encoded again.
std::string ThreeMinuteTrack() {
  const std::string source = Slurp(fs::path(QORM_DEMO_GAME_DIR) / "BGM" / "Track01.bgm");
  VXMemoryStream code(source.data(), static_cast<int>(source.size()));
  VXOggStream decoder(&code);
  std::vector<std::int16_t> one(static_cast<std::size_t>(std::max<std::int64_t>(decoder.GetSize(), 0)) / 2);
  one.resize(static_cast<std::size_t>(std::max(decoder.Read(one.data(), static_cast<int>(one.size() * 2)), 0)) / 2);
  if (one.empty() || decoder.GetChannels() != 2) return {};
  std::vector<std::int16_t> pcm;
  const std::size_t samples = 180u * 44100u * 2u;
  while (pcm.size() < samples) {
    const std::size_t n = std::min(one.size(), samples - pcm.size());
    pcm.insert(pcm.end(), one.begin(), one.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return fixtures::OggVorbis(pcm, 2, 44100);
}

void BM_StartThreeMinuteTrack(benchmark::State& state) {
  static const std::string track = ThreeMinuteTrack();
  if (track.empty()) return state.SkipWithError("the demo game's first track cannot be read");
  const fs::path game = fs::temp_directory_path() / ("qorm_gamesound_start_" + std::to_string(getpid()));
  fs::create_directories(game / "BGM");
  std::ofstream(game / "BGM" / "Track05.bgm", std::ios::binary) << track;
  {
    Window w(game.string());
    if (!w.ok) return state.SkipWithError("the game window has no sound");
    for (auto _ : state) {
      bool heard = false;
      if (w.form->PlayBgm(5, false, false)) {
        for (int i = 0; i < 10 && !heard; ++i) {
          const std::vector<std::int16_t>& out = w.Pump();
          heard = std::any_of(out.begin(), out.end(), [](std::int16_t v) { return v != 0; });
        }
      }
      state.PauseTiming();
      if (!heard) state.SkipWithError("no sound");
      w.form->StopBgm(false);
      state.ResumeTiming();
    }
  }
  fs::remove_all(game);
}
BENCHMARK(BM_StartThreeMinuteTrack)->Unit(benchmark::kMillisecond);

}  // namespace

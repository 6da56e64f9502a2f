// The music game's costs, at 640 x 480 in 32 bits:
// - one play frame: the judgement step with 256 note sprites on the sheet, a background fade blended every frame,
//   four characters whose motions change every frame and the high-quality lyric line, then the frame composed and
//   presented (dirty rectangles) by the game window;
// - a key press to its judgement: the stroke taken from the input in the next frame's step and judged there, in the
//   timer and in the wave mode (the counters give the share judged in that frame and the position error in
//   milliseconds, in the wave mode against the audio heard);
// - decoding one key tone in memory-save mode (Ogg Vorbis, ADP, WAVE tones of the demo game, from memory).
// The game window runs on the demo game's pictures with a presenter that only takes the picture.
// Links: music demo_game_paths
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/gamewindowbench.h"
#include "core/vxfileman.h"
#include "core/vxstream.h"
#include "device/dinputu.h"
#include "device/gameservices.h"
#include "device/zodsound.h"
#include "graphics/vxpng.h"
#include "music/musicdef.h"
#include "music/musicu.h"
#include "platform/input.h"
#include "platform/thread.h"
#include "shell/gamef.h"
#include "tests/music/clockedsound.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t Position(std::uint32_t ms) { return ms * 88 + ms / 5; }

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

void Put(std::string& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 640 x 300 BMP of one colour.
std::string Bmp(std::uint32_t rgb) {
  std::string s = "BM";
  const std::uint32_t rows = 640 * 3 * 300;
  Put(s, 54 + rows, 4), Put(s, 0, 4), Put(s, 54, 4), Put(s, 40, 4), Put(s, 640, 4), Put(s, 300, 4);
  Put(s, 1, 2), Put(s, 24, 2), Put(s, 0, 4), Put(s, rows, 4);
  s += std::string(16, '\0');
  for (std::uint32_t i = 0; i < 640 * 300; ++i) Put(s, rgb, 3);
  return s;
}

// A strip of four 64 x 96 cells, round figures in an alpha plane.
std::string Strip() {
  std::vector<unsigned char> pixels(64 * 384 * 4), alpha(64 * 384);
  for (int y = 0; y < 384; ++y)
    for (int x = 0; x < 64; ++x) {
      const int cy = y % 96;
      const bool inside = (x - 32) * (x - 32) + (cy - 48) * (cy - 48) < (20 + y / 96 * 4) * (20 + y / 96 * 4);
      alpha[y * 64 + x] = inside ? 255 : 0;
      for (int c = 0; c < 4; ++c) pixels[(y * 64 + x) * 4 + c] = static_cast<unsigned char>(40 * c + y / 2);
    }
  VXMemoryStream stream;
  SavePng(&stream, pixels.data(), alpha.data(), 64, 384, pf32_888);
  return std::string(reinterpret_cast<const char*>(stream.GetMemory()), static_cast<std::size_t>(stream.GetSize()));
}

std::string Wave(int frames) {
  std::string s = "RIFF";
  Put(s, 36 + frames * 4, 4);
  s += "WAVEfmt ";
  Put(s, 16, 4), Put(s, 1, 2), Put(s, 2, 2), Put(s, 44100, 4), Put(s, 44100 * 4, 4), Put(s, 4, 2), Put(s, 16, 2);
  s += "data";
  Put(s, frames * 4, 4);
  return s + std::string(static_cast<std::size_t>(frames) * 4, '\0');
}

// The sound output's latency: 50 ms.
constexpr std::uint32_t kLatencyFrames = 2205;

// The game window on a game folder made here: the demo game's music pictures, and one song.
class MusicGame {
public:
  MusicGame(const std::string& chart, const std::string& stage, std::uint8_t level, std::uint8_t wordMode,
            std::uint8_t timing = 0, int songMs = 1000)
      : folder_(fs::temp_directory_path() / ("qorm_music_bench_" + std::to_string(getpid()))) {
    fs::create_directories(folder_ / "Game_Pak");
    for (const auto& entry : fs::directory_iterator(fs::path(QORM_DEMO_FOLDER_DIR) / "Game_Pak"))
      if (entry.path().filename().string().rfind("Song", 0) == 0)
        fs::copy_file(entry.path(), folder_ / "Game_Pak" / entry.path().filename(), fs::copy_options::overwrite_existing);
    const fs::path song = folder_ / "Song/QX01";
    Write(song / "song/SONG.ID", "Ver2.00\r\nQX01\r\n\r\n4\r\n5\r\n6\r\n7\r\n8\r\n");
    Write(song / "song/Song.txt", chart);
    Write(song / "song/Anime.txt", stage);
    Write(song / "song/red.bmp", Bmp(0xC03040));
    Write(song / "song/blue.bmp", Bmp(0x3040C0));
    Write(song / "song/strip.png", Strip());
    Write(song / "key/DO.WAV", Wave(4410));
    Write(song / "song.wav", Wave(songMs * 441 / 10));
    old_ = fs::current_path();
    fs::current_path(folder_);
    setenv("XDG_DATA_HOME", (folder_ / "save").c_str(), 1);
    WindowMode = 1;
    TGameFormSetup setup;
    setup.application = &loop_;
    setup.presenter = &presenter_;
    setup.input = &input;
    setup.clock = &clock_;
    setup.manualSound = true;
    setup.gameFolder = folder_.string();
    form = std::make_unique<TGameForm>(nullptr, setup);
    form->FormCreate();
    form->FormShow();
    // The song's sound on the manual clock, so that what is heard follows the frames pumped (wave timing).
    sound = std::make_unique<clockedsound::ClockedSound>(*form, clock_, kLatencyFrames);
    unit = std::make_unique<TMusicUnit>(nullptr);
    unit->SetTimingMode(timing);
    unit->SetRankMode(level);
    unit->SetWordMode(wordMode);
    TSongID id{'Q', 'X', '0', '1'};
    ok = form->GetState() == 2 && unit->Open(FileMan, id);
    if (!ok) return;
    form->AttachPanel(unit->MusicPanel);
    form->SetKeyboardEnabled(true);
    form->BeginMusicMode();
    form->SetResultPending(false);
    form->SetGameClock(0);
    unit->Start();
    for (int i = 0; i < 200 && unit->GetPhase() != 3; ++i) unit->MusicProc(1, form->GetInputUnit());
    ok = unit->GetPhase() == 3;
  }
  ~MusicGame() {
    if (form) form->DetachPanel(unit->MusicPanel);
    unit.reset();
    sound.reset();
    if (form) form->Close();
    form.reset();
    fs::current_path(old_);
    fs::remove_all(folder_);
  }

  // One frame of the game: the music game's step, then the picture composed and presented.
  void Frame() {
    unit->MusicProc(1, form->GetInputUnit());
    form->DrawUpdateFrame(1);
  }

  // The sound output takes `frames` more frames of the mix, as a sound card would, and the clock moves as far.
  void PlayOut(std::uint32_t frames) {
    sound->Sink().Pump(frames);
    DirectX::TDSoundStream* song = unit->GetSongStream();
    if (DirectX::TDSoundThread* refill = song != nullptr ? song->GetNotifyThread() : nullptr)
      while (!refill->IsIdle()) std::this_thread::yield();
    clock_.AdvanceNs(static_cast<std::int64_t>(frames) * 1'000'000'000 / 44100);
  }

  bool ok = false;
  platform::input::Input input;
  std::unique_ptr<TGameForm> form;
  std::unique_ptr<clockedsound::ClockedSound> sound;
  std::unique_ptr<TMusicUnit> unit;

private:
  fs::path folder_;
  fs::path old_;
  NoLoop loop_;
  NullPresenter presenter_;
  platform::thread::ManualClock clock_;
};

// 320 notes over the sheet's 500 pixels around the song position of 3 s (256 of them drawn), on all 30 keys; the
// stage fades to a picture from [Perform] (started again every 16 frames), four characters step every frame.
void BM_PlayFrame(benchmark::State& state) {
  const std::uint32_t p = Position(3000);
  std::string chart;
  for (int i = 0; i < 320; ++i) {
    static const char kKeys[] = "asdfjkl;ghqweruioptyzxcvm<./bn";
    chart += std::to_string(p - 100 * 441 + i * 700) + ",1,DO," + kKeys[i % 30] + "\n";
  }
  std::string stage = "[Load]\nBGPIC,0,red.bmp\nBGPIC,1,blue.bmp\n";
  for (int c = 0; c < 4; ++c) stage += "CHAR0" + std::to_string(c) + ",0,strip.png,loop,1,1,1,1\n";
  stage += "[Init]\n0,BGPIC,0\n";
  for (int c = 0; c < 4; ++c)
    stage += "0,POS0" + std::to_string(c) + "," + std::to_string(60 + 140 * c) + "," + std::to_string(100 + 30 * c) + "\n";
  stage += "[Before]\n[Perform]\n0,BGPIC,1,1\n[After]\n";
  MusicGame game(chart, stage, 1, 2);
  if (!game.ok) return state.SkipWithError("the music game did not open");
  game.form->SetGameClock(3000);
  game.unit->ShowWord(VXString(u"星降る丘で きみを待つ"));
  int frame = 0;
  for (auto _ : state) {
    if (frame++ % 16 == 0) game.unit->SetEventSection(2);  // the fade starts again
    game.Frame();
  }
  state.counters["sprites"] = game.unit->GetSpriteCount();
}
BENCHMARK(BM_PlayFrame)->Unit(benchmark::kMillisecond);

// Notes on key A every 100 ms; each iteration strikes A for the next note and steps the frame at its time (one
// iteration a note: the run is as long as the chart). In the timer mode the game clock is set to the note's time;
// in the wave mode (argument 1) the manual sound output, 50 ms behind the mixer, and the clock with it first play
// the song up to the note's time (outside the timing), so that the position error is the play's position against the audio heard.
constexpr int kJudgedNotes = 200;
void BM_KeyPressToJudgement(benchmark::State& state) {
  const bool wave = state.range(0) != 0;
  std::string chart;
  for (int i = 0; i < kJudgedNotes; ++i) chart += std::to_string(Position(1000 + 100 * i)) + ",1,DO,a\n";
  MusicGame game(chart, "[Load]\n[Init]\n[Before]\n[Perform]\n[After]\n", 1, 1, wave ? 1 : 0,
                 (kJudgedNotes + 20) * 100);
  if (!game.ok) return state.SkipWithError("the music game did not open");
  std::uint64_t mixed = 0;
  int note = 0, judged = 0;
  double error = 0, worst = 0;
  for (auto _ : state) {
    const std::uint32_t ms = 1000 + 100 * note;
    if (wave) {
      state.PauseTiming();
      const std::uint64_t target = static_cast<std::uint64_t>(ms) * 441 / 10 + kLatencyFrames;
      game.PlayOut(static_cast<std::uint32_t>(target - mixed));
      mixed = target;
      state.ResumeTiming();
    } else {
      game.form->SetGameClock(static_cast<int>(ms));
    }
    game.input.KeyChanged(SDL_SCANCODE_A, true, false);
    game.input.KeyChanged(SDL_SCANCODE_A, false, false);
    game.unit->MusicProc(1, game.form->GetInputUnit());
    judged += game.unit->GetNotes()[note].state >= 2;
    const double off = std::abs(static_cast<double>(game.unit->GetPosition()) - Position(ms)) / 88.2;
    error += off;
    worst = std::max(worst, off);
    ++note;
  }
  state.counters["judged_next_frame"] = note > 0 ? static_cast<double>(judged) / note : 0;
  state.counters["position_error_ms"] = note > 0 ? error / note : 0;
  state.counters["worst_error_ms"] = worst;
}
BENCHMARK(BM_KeyPressToJudgement)
    ->ArgName("wave")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kJudgedNotes)
    ->Unit(benchmark::kMicrosecond);

// One tone of a demo song, read into memory as memory save keeps it, decoded into a new sound buffer.
void BM_DecodeKeyTone(benchmark::State& state, const char* part, const char* tone, TKeySoundKind kind) {
  DirectX::TDSound sound(nullptr);
  sound.SetManualOutput(true);
  sound.SetEnabled(true);
  TLocalGameServices services(nullptr, &sound);
  SetGameServices(&services);
  VXFileMan files;
  const std::string path = std::string(QORM_DEMO_GAME_DIR) + "/" + part;
  if (!files.InitPack((path + ".pak").c_str())) files.InitDir(path.c_str());
  VXStream* file = files.Open(tone);
  if (file == nullptr) return state.SkipWithError("no tone");
  std::string bytes(static_cast<std::size_t>(file->GetSize()), '\0');
  file->Read(bytes.data(), static_cast<int>(bytes.size()));
  files.Close(file);
  VXMemoryStream memory(bytes.data(), static_cast<int>(bytes.size()));
  for (auto _ : state) {
    DirectX::TDSoundBuffer* buffer = CreateKeySoundBuffer(&memory, kind);
    if (buffer == nullptr) return state.SkipWithError("the tone did not decode");
    services.GetMemMan().Delete(buffer);
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
  SetGameServices(nullptr);
}
BENCHMARK_CAPTURE(BM_DecodeKeyTone, ogg, "Song/QM01/key", "C5.ogg", kskOgg)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeKeyTone, adp, "Song/QM03/key", "A4.adp", kskAdp)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeKeyTone, wave, "Song/QM04/key", "A4.wav", kskWave)->Unit(benchmark::kMicrosecond);

}  // namespace

// The music game in the real game window (tests/support/gamewindow.h): the unit's panel under the root, its frame
// procedure as the window's input hook, the results it hands over recorded, and frames stepped as the frame timer
// gives them (30, 35, 35 ms apart) while the song audio is mixed by hand for the same time.
//
// The sound. The unit plays through the game services' sound device. Here that is a device of its own on the
// window's manual clock, with a manual output whose latency the test chooses: each frame first mixes the next
// 30 or 35 ms of audio (as a sound card would take it) and then moves the clock by as much, so that what the
// speaker has played, and so the song stream's heard position, follows the test exactly: the frames mixed since
// the song started, less the latency. Everything else of the services is the window's own.
#pragma once

#include <SDL_scancode.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "device/dinputu.h"
#include "device/gameservices.h"
#include "device/zodsound.h"
#include "music/clockedsound.h"
#include "music/musicu.h"
#include "music/songfiles.h"
#include "platform/audio.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

namespace musicwindow {

inline const std::filesystem::path kDemoGame = QORM_DEMO_GAME_DIR;
inline const std::filesystem::path kDemoFolderGame = QORM_DEMO_FOLDER_DIR;

// What the unit asked of the window's sound service and screenshot key.
struct RecordingCalls : TMusicWindowCalls {
  std::vector<int> systemSounds;
  std::vector<std::string> voices;
  int screenshots = 0;
  bool systemSoundPlaying = false;
  void PlaySystemSe(int index) override { systemSounds.push_back(index); }
  bool IsSystemSePlaying() override { return systemSoundPlaying; }
  void PlayVoice(VXFileMan*, const VXString& name) override { voices.push_back(name.c_str()); }
  void TakeScreenshot() override { ++screenshots; }
};

// A small song written into the game folder: its main part as a folder, key tones, song audio.
struct SongSpec {
  std::string id = "QX01";
  std::string part = "song";
  std::string tag = "Ver2.00";
  std::string chart = "500,1,DO,a\n";
  std::string stage = "[Load]\n[Init]\n[Before]\n[Perform]\n[After]\n";
  std::vector<std::string> tones = {"DO.WAV", "RE.WAV"};
  int audioMs = 1000;
  std::string audio = "wav";
  std::vector<std::pair<std::string, std::string>> files;  // more files of the part
};

class MusicWindow {
public:
  static constexpr int kCadence[3] = {30, 35, 35};

  // On the window's own game folder, which gets the music game's pictures of the demo game; or on the demo game
  // itself (pack mode). The game folder is the current folder.
  explicit MusicWindow(bool demoGame = false, std::uint32_t latencyFrames = 0) : latency_(latencyFrames) {
    if (demoGame) {
      w.setup.gameFolder = kDemoGame.string();
    } else {
      for (const auto& entry : std::filesystem::directory_iterator(kDemoFolderGame / "Game_Pak")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Song", 0) == 0 || name.rfind("SysVoice", 0) == 0)
          std::filesystem::copy_file(entry.path(), w.game.path() / "Game_Pak" / name);
      }
    }
    cwd_ = std::make_unique<songfiles::CurrentFolder>(demoGame ? kDemoGame : w.game.path());
    if (!w.Start()) throw std::runtime_error("the game window did not start");
    sound = std::make_unique<clockedsound::ClockedSound>(*w.form, w.clock, latency_);
    w.form->SetResultHandler([this](int r) { results.push_back(r); });
  }

  ~MusicWindow() {
    Detach();
    unit.reset();
    sound.reset();
  }

  void WriteSong(const SongSpec& song) const {
    const std::string base = "Song/" + song.id + "/";
    w.game.Write(base + song.part + "/SONG.ID", songfiles::SongId(song.tag, song.id));
    w.game.Write(base + song.part + "/Song.txt", song.chart);
    w.game.Write(base + song.part + "/Anime.txt", song.stage);
    for (const auto& [name, bytes] : song.files) w.game.Write(base + song.part + "/" + name, bytes);
    std::filesystem::create_directories(w.game.path() / base / "key");
    int pitch = 0;
    for (const std::string& tone : song.tones)
      w.game.Write(base + "key/" + tone, songfiles::Wave(441 * 4, 262.0 * (1 + pitch++ / 12.0)));
    if (song.audioMs > 0) w.game.Write(base + "song." + song.audio, songfiles::Wave(song.audioMs * 441 / 10, 0, 0));
  }

  // A new unit (the previous one goes first), reporting to `calls`.
  TMusicUnit& Make() {
    Detach();
    unit.reset();
    unit = std::make_unique<TMusicUnit>(nullptr);
    unit->SetWindowCalls(&calls);
    return *unit;
  }

  bool Open(const char* id) {
    if (!unit) Make();
    TSongID song{};
    std::memcpy(song.data(), id, 4);
    return unit->Open(FileMan, song);
  }

  // As the game thread does before it waits: the panel under the root, the keyboard on, the hook, music mode,
  // Start.
  void Play() {
    w.form->AttachPanel(unit->MusicPanel);
    attached_ = true;
    w.form->SetKeyboardEnabled(true);
    w.form->SetOnFrameInput(VXCallback2<TMusicUnit, void, int, TDInputUnit*>(unit.get(), &TMusicUnit::MusicProc));
    w.form->BeginMusicMode();
    w.form->SetResultPending(false);
    cadence_ = 0;
    unit->Start();
  }

  void Detach() {
    if (!attached_) return;
    w.form->SetOnFrameInput(TFrameInputHook());
    w.form->DetachPanel(unit->MusicPanel);
    attached_ = false;
  }

  // One frame as the timer gives it: the audio of the next 30 or 35 ms mixed, the clock moved as far, one frame.
  void Frame() {
    const int ms = kCadence[cadence_++ % 3];
    totalMs_ += ms;
    const auto target = static_cast<std::uint64_t>(totalMs_) * 441 / 10;
    const auto frames = static_cast<std::uint32_t>(target - mixed_);
    mixed_ = target;
    sound->Sink().Pump(frames);
    WaitForRefill();
    const std::uint8_t phase = unit ? unit->GetPhase() : 0;
    w.AdvanceMs(ms);
    w.Frame();
    w.Presented();  // drops the recorded pictures: a whole song keeps little memory
    if (unit && phase != 3 && unit->GetPhase() == 3) playStart_ = mixed_;
  }

  // For tests that step the unit themselves: the speaker takes `frames` more frames of the mix and the clock moves
  // on exactly as long as they play, so that what is heard is what was mixed, less the latency.
  void PlayOut(std::uint32_t frames) {
    sound->Sink().Pump(frames);
    WaitForRefill();
    // Rounded up: the clock never stops short of the last frame.
    w.clock.AdvanceNs((static_cast<std::int64_t>(frames) * 1'000'000'000 + 44099) / 44100);
    w.clock.WaitForSleepers(1);
  }

  void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }

  // Steps frames until the unit hands over a result (or `most` frames have passed); the result, or -1.
  int RunToResult(int most) {
    for (int i = 0; i < most && results.empty(); ++i) Frame();
    return results.empty() ? -1 : results.front();
  }

  // Frames until the unit is in the phase (at most `most`); false when it never got there.
  bool RunToPhase(int phase, int most) {
    for (int i = 0; i < most && unit->GetPhase() != phase; ++i) Frame();
    return unit->GetPhase() == phase;
  }

  // What the speaker has played of the song, as a song position: frames mixed since it started, less the latency,
  // two positions a frame.
  std::int64_t HeardPosition() const {
    return 2 * std::max<std::int64_t>(0, static_cast<std::int64_t>(mixed_ - playStart_) - latency_);
  }
  // The milliseconds the clock moves for the next frame.
  int NextFrameMs() const { return kCadence[cadence_ % 3]; }
  // The heard position the next frame will find.
  std::int64_t NextHeardPosition() const {
    const auto mixed = static_cast<std::uint64_t>(totalMs_ + NextFrameMs()) * 441 / 10;
    return 2 * std::max<std::int64_t>(0, static_cast<std::int64_t>(mixed - playStart_) - latency_);
  }

  // A key stroke (down and up) for the input unit's buffer.
  void Key(SDL_Scancode key) {
    w.input.KeyChanged(key, true, false);
    w.input.KeyChanged(key, false, false);
  }

  gamewindow::GameWindow w;
  std::unique_ptr<clockedsound::ClockedSound> sound;
  std::unique_ptr<TMusicUnit> unit;
  RecordingCalls calls;
  std::vector<int> results;

private:
  // The song stream's refill thread has taken what the output played.
  void WaitForRefill() {
    DirectX::TDSoundStream* stream = unit ? unit->GetSongStream() : nullptr;
    DirectX::TDSoundThread* thread = stream != nullptr ? stream->GetNotifyThread() : nullptr;
    if (thread == nullptr) return;
    const bool idle = WaitFor([thread] { return thread->IsIdle(); });
    EXPECT_TRUE(idle) << "the song stream's refill thread";
  }

  std::uint32_t latency_;
  std::unique_ptr<songfiles::CurrentFolder> cwd_;
  bool attached_ = false;
  int cadence_ = 0;
  std::int64_t totalMs_ = 0;
  std::uint64_t mixed_ = 0;
  std::uint64_t playStart_ = 0;
};

}  // namespace musicwindow

// The sound service of the game window, on the manual sound output: the window's clock is the mixer's, so a test
// mixes some output, moves the clock by as much, and hears exactly that much.
// Label: threads
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/vxmemman.h"
#include "device/sound_fixtures.h"
#include "device/zodsound.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

using gamewindow::GameWindow;

namespace {

constexpr int kRate = 44100;

std::string ToneOgg(double seconds, double hz) {
  const int frames = static_cast<int>(seconds * kRate);
  return fixtures::OggVorbis(fixtures::Tone(frames, 2, kRate, hz), 2, kRate);
}

std::int32_t Attenuation(int percent) { return static_cast<std::int32_t>(VolumeToAttenuation(percent)); }

// Registrations of sound buffers and streams with the memory manager: one for every sound loaded.
struct LoadCounter {
  int loads = 0;
  void Added(VXMemMan*, VXMemPointer record) {
    if (record.Kind == VXMemPointer::KindForeign) ++loads;
  }
};

// The game folder of these tests: system sounds 0..4 (half a second each; 5..9 missing), a voice, an effect and a
// loop in the main data, and music tracks in "BGM": 1 and 2 (two seconds), 4 and 5 (the same six seconds), 6 (one
// second), 7 (not Ogg Vorbis); 8 is missing.
class SoundService : public ::testing::Test {
protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i) w.game.Write("Game_Pak/" + SystemName(i) + ".ogg", ToneOgg(0.5, 300 + 100 * i));
    w.game.Write("Game_Pak/Voice1.ogg", ToneOgg(0.5, 500));
    w.game.Write("Game_Pak/Voice2.ogg", ToneOgg(0.5, 700));
    w.game.Write("Game_Pak/Loop.ogg", ToneOgg(0.25, 400));
    w.game.Write("BGM/Track01.bgm", ToneOgg(2, 440));
    w.game.Write("BGM/Track02.bgm", ToneOgg(2, 660));
    const std::string six = ToneOgg(6, 550);
    w.game.Write("BGM/Track04.bgm", six);
    w.game.Write("BGM/Track05.bgm", six);
    w.game.Write("BGM/Track06.bgm", ToneOgg(1, 880));
    w.game.Write("BGM/Track07.bgm", std::string(4096, 'x'));
    ASSERT_TRUE(w.Start());
    form = w.form.get();
    MemMan->OnAddPointer = VXCallback2<LoadCounter, void, VXMemMan*, VXMemPointer>(&counter, &LoadCounter::Added);
  }

  static std::string SystemName(int i) {
    static const char* const kNames[] = {"SysSEOK", "SysSEPage", "SysSEAttention", "SysSEErr", "SysSEClick01"};
    return kNames[i];
  }

  DirectX::TCustomDSoundBuffer* Part(int part) { return form->GetSoundBuffer(part); }
  std::int32_t VolumeOf(int part) {
    DirectX::TCustomDSoundBuffer* b = Part(part);
    return b != nullptr ? b->GetVolume() : 1;
  }

  // Mixes `ms` of output in steps of 100 ms, each heard in full (the clock moves as far) and each refill of the
  // music streams done before the next.
  std::vector<std::int16_t> Listen(int ms) {
    std::vector<std::int16_t> heard;
    for (int done = 0; done < ms; done += 100) {
      const int step = std::min(100, ms - done);
      const std::vector<std::int16_t>& out = form->GetSound()->GetManualSink()->Pump(kRate * step / 1000);
      heard.insert(heard.end(), out.begin(), out.end());
      w.AdvanceMs(step);
      Settle();
    }
    return heard;
  }

  void Settle() {
    for (int part : {TGameForm::spBgm, TGameForm::spBgmFadeOut}) {
      DirectX::TCustomDSoundBuffer* b = Part(part);
      DirectX::TDSoundThread* t = b != nullptr ? b->GetNotifyThread() : nullptr;
      if (t == nullptr) continue;
      int quiet = 0;
      ASSERT_TRUE(WaitFor([&] { return (quiet = t->IsIdle() ? quiet + 1 : 0) >= 3; }));
    }
  }

  static int Peak(const std::vector<std::int16_t>& samples) {
    int peak = 0;
    for (std::int16_t v : samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
  }

  void Frames(int n) { form->UpdateFrame(n, n * 33); }

  GameWindow w;
  TGameForm* form = nullptr;
  LoadCounter counter;
};

TEST_F(SoundService, VolumesAndRatesTakeOnlyPercentages) {
  struct Volume {
    std::function<void(int)> set;
    std::function<int()> get;
    int initial;
  };
  TGameForm& f = *form;
  const Volume volumes[] = {{[&](int v) { f.SetBgmVolume(v); }, [&] { return f.GetBgmVolume(); }, 70},
                            {[&](int v) { f.SetVoiceVolume(v); }, [&] { return f.GetVoiceVolume(); }, 100},
                            {[&](int v) { f.SetSeVolume(v); }, [&] { return f.GetSeVolume(); }, 100},
                            {[&](int v) { f.SetRearVolume(v); }, [&] { return f.GetRearVolume(); }, 90}};
  for (const Volume& v : volumes) {
    EXPECT_EQ(v.get(), v.initial);
    for (auto [value, kept] : {std::pair{55, 55}, {-1, 55}, {101, 55}, {0, 0}, {100, 100}}) {
      v.set(value);
      EXPECT_EQ(v.get(), kept) << value;
    }
  }

  // A rate outside 0..100 leaves the music where the last one took it.
  form->SetBgmVolume(70);
  ASSERT_TRUE(form->PlayBgm(1, true, false));
  form->SetBgmRate(50);
  Frames(100);
  EXPECT_EQ(VolumeOf(TGameForm::spBgm), Attenuation(35));
  form->SetBgmRate(150);
  form->SetBgmRate(-5);
  Frames(100);
  EXPECT_EQ(VolumeOf(TGameForm::spBgm), Attenuation(35));

  // The user volumes go to the settings file with the window.
  form->SetBgmVolume(11);
  form->SetVoiceVolume(22);
  form->SetSeVolume(33);
  form->SetRearVolume(44);
  w.form.reset();
  TDisplayConfig saved;
  LoadDisplayConfig(saved);
  EXPECT_EQ(std::vector({saved.VolumeBGM, saved.VolumeVoice, saved.VolumeSE, saved.VolumeRear}),
            std::vector({11, 22, 33, 44}));
}

TEST_F(SoundService, VoiceAndEffectLoadPlayAgainAndStop) {
  struct Channel {
    const char* what;
    std::function<bool(VXString, int, int)> play;
    std::function<void()> stop;
    std::function<bool()> playing;
    std::function<void(int)> setUser;
    std::function<void(int)> setRate;
    int part;
  };
  TGameForm& f = *form;
  const Channel channels[] = {
      {"voice", [&](VXString n, int r, int i) { return f.PlayVoice(FileMan, n, r, i); }, [&] { f.StopVoice(); },
       [&] { return f.IsVoicePlaying(); }, [&](int v) { f.SetVoiceVolume(v); }, [&](int v) { f.SetVoiceRate(v); },
       TGameForm::spVoice},
      {"SE", [&](VXString n, int r, int i) { return f.PlaySe(FileMan, n, r, i); }, [&] { f.StopSe(); },
       [&] { return f.IsSePlaying(); }, [&](int v) { f.SetSeVolume(v); }, [&](int v) { f.SetSeRate(v); },
       TGameForm::spSe}};
  for (const Channel& c : channels) {
    SCOPED_TRACE(c.what);
    c.setUser(80);
    c.setRate(50);
    ASSERT_TRUE(c.play("Voice1", 0, 7));
    EXPECT_TRUE(c.playing());
    EXPECT_EQ(VolumeOf(c.part), Attenuation(40));
    EXPECT_GT(Peak(Listen(200)), 1000);
    DirectX::TCustomDSoundBuffer* first = Part(c.part);
    EXPECT_GT(first->GetPosition(), 0u);

    // The same sound starts again from its beginning without being loaded again.
    const int loads = counter.loads;
    ASSERT_TRUE(c.play("Voice1", 0, 7));
    EXPECT_EQ(counter.loads, loads);
    EXPECT_EQ(first->GetPosition(), 0u);

    // Another id is another sound; the rear flag takes the rear volume, and only the rear volume moves it.
    ASSERT_TRUE(c.play("Voice1", 1, 8));
    EXPECT_EQ(counter.loads, loads + 1);
    EXPECT_EQ(VolumeOf(c.part), Attenuation(90 * 50 / 100));
    c.setUser(20);
    EXPECT_EQ(VolumeOf(c.part), Attenuation(45));
    form->SetRearVolume(60);
    EXPECT_EQ(VolumeOf(c.part), Attenuation(30));
    c.setRate(100);
    EXPECT_EQ(VolumeOf(c.part), Attenuation(60));
    form->SetRearVolume(90);

    // A sound played once ends by itself and stays loaded.
    Listen(600);
    EXPECT_FALSE(c.playing());
    EXPECT_NE(Part(c.part), nullptr);

    c.stop();
    EXPECT_EQ(Part(c.part), nullptr);
    EXPECT_TRUE(form->GetSilentBuffer()->IsPlay()) << "the silent buffer plays as a channel stops";

    // A missing sound leaves the channel empty.
    ASSERT_TRUE(c.play("Voice2", 0, 0));
    EXPECT_FALSE(c.play("NoSuchVoice", 0, 0));
    EXPECT_FALSE(c.playing());
    EXPECT_EQ(Part(c.part), nullptr);
    EXPECT_FALSE(f.PlayVoice(nullptr, "Voice2", 0, 0));
  }
  EXPECT_TRUE(form->PlayVoice(FileMan, "Voice2"));
  EXPECT_TRUE(form->IsVoicePlaying());
}

TEST_F(SoundService, TheLoopGlidesInAndOutAndComesBackWhileItFades) {
  ASSERT_TRUE(form->PlayLoopSe(FileMan, true, "Loop", 0, 3));
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(0));
  Frames(1);
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(2));
  Frames(60);
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(100));
  EXPECT_GT(Peak(Listen(600)), 1000);
  EXPECT_TRUE(form->IsLoopSePlaying()) << "a quarter-second sound loops";

  form->SetLoopSeRate(50);
  Frames(10);
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(80));

  // Fading out, the same loop comes back up without being loaded again.
  form->StopLoopSe(true);
  Frames(10);
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(60));
  const int loads = counter.loads;
  ASSERT_TRUE(form->PlayLoopSe(FileMan, true, "Loop", 0, 3));
  EXPECT_EQ(counter.loads, loads);
  Frames(100);
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(50));

  form->StopLoopSe(true);
  Frames(24);
  EXPECT_TRUE(form->IsLoopSePlaying());
  Frames(1);
  EXPECT_FALSE(form->IsLoopSePlaying());
  EXPECT_EQ(Part(TGameForm::spLoopSe), nullptr);

  // Another sound id reloads; the rear flag takes the rear volume; at volume 0 a fading stop stops at once.
  ASSERT_TRUE(form->PlayLoopSe(FileMan, false, "Loop", 1, 4));
  EXPECT_EQ(VolumeOf(TGameForm::spLoopSe), Attenuation(45));
  ASSERT_TRUE(form->PlayLoopSe(FileMan, true, "Loop", 0, 5));
  EXPECT_EQ(counter.loads, loads + 2);
  form->StopLoopSe(true);
  EXPECT_EQ(Part(TGameForm::spLoopSe), nullptr);
  EXPECT_FALSE(form->PlayLoopSe(FileMan, false, "NoSuchLoop", 0, 0));
}

TEST_F(SoundService, ANewTrackStartsAtItsVolumeWhileTheOldOneFadesOut) {
  ASSERT_TRUE(form->PlayBgm(1, true, true));
  EXPECT_EQ(form->GetBgmTrack(), 1);
  EXPECT_TRUE(form->IsBgmPlaying());
  EXPECT_EQ(VolumeOf(TGameForm::spBgm), Attenuation(70));
  EXPECT_GT(Peak(Listen(300)), 1000);
  EXPECT_EQ(form->GetBgmPosition(), 300);

  // The playing track with the same loop flag goes on; with another it starts again in the other slot.
  const int loads = counter.loads;
  ASSERT_TRUE(form->PlayBgm(1, true, true));
  EXPECT_EQ(counter.loads, loads);
  EXPECT_EQ(form->GetBgmPosition(), 300);
  DirectX::TCustomDSoundBuffer* looping = Part(TGameForm::spBgm);
  ASSERT_TRUE(form->PlayBgm(1, false, true));
  EXPECT_EQ(counter.loads, loads + 1);
  EXPECT_EQ(Part(TGameForm::spBgmFadeOut), looping);
  EXPECT_EQ(form->GetBgmPosition(), 0);

  // A third start drops the track that was fading out from the first switch.
  DirectX::TCustomDSoundBuffer* once = Part(TGameForm::spBgm);
  ASSERT_TRUE(form->PlayBgm(2, true, true));
  EXPECT_EQ(Part(TGameForm::spBgmFadeOut), once);
  EXPECT_EQ(form->GetBgmTrack(), 2);

  // 2 a frame: from 70 the old track is silent after 35 frames; the new one stays at its volume.
  Frames(1);
  EXPECT_EQ(VolumeOf(TGameForm::spBgmFadeOut), Attenuation(68));
  Frames(33);
  EXPECT_EQ(VolumeOf(TGameForm::spBgmFadeOut), Attenuation(2));
  EXPECT_EQ(VolumeOf(TGameForm::spBgm), Attenuation(70));
  EXPECT_GT(Peak(Listen(100)), 1000);
  Frames(1);
  EXPECT_EQ(Part(TGameForm::spBgmFadeOut), nullptr);

  // A rate glides at the same speed; the user volume applies at once.
  form->SetBgmRate(50);
  Frames(5);
  EXPECT_EQ(VolumeOf(TGameForm::spBgm), Attenuation(60));
  form->SetBgmVolume(40);
  EXPECT_EQ(VolumeOf(TGameForm::spBgm), Attenuation(20));
}

TEST_F(SoundService, StopBgmFadesOnlyFromAVolumeAboveZero) {
  struct Case {
    int volume;
    bool fade;
    bool fades;
  };
  for (const Case c : {Case{70, true, true}, Case{70, false, false}, Case{0, true, false}}) {
    SCOPED_TRACE(testing::Message() << c.volume << " " << c.fade);
    form->SetBgmVolume(c.volume);
    ASSERT_TRUE(form->PlayBgm(1, true, false));
    DirectX::TCustomDSoundBuffer* stream = Part(TGameForm::spBgm);
    form->StopBgm(c.fade);
    EXPECT_EQ(form->GetBgmTrack(), 0);
    EXPECT_FALSE(form->IsBgmPlaying());
    EXPECT_EQ(Part(TGameForm::spBgm), nullptr);
    EXPECT_EQ(Part(TGameForm::spBgmFadeOut), c.fades ? stream : nullptr);
    Frames(35);
    EXPECT_EQ(Part(TGameForm::spBgmFadeOut), nullptr);
  }
  // A second stop cuts a fade short.
  form->SetBgmVolume(70);
  ASSERT_TRUE(form->PlayBgm(2, true, false));
  form->StopBgm(true);
  form->StopBgm(true);
  EXPECT_EQ(Part(TGameForm::spBgmFadeOut), nullptr);
}

// A track that cannot be played leaves nothing in its slot (no stream, no open file) and no current track; the
// previous one fades out as it would for any new track.
TEST_F(SoundService, ATrackThatCannotPlayLeavesItsSlotEmpty) {
  ASSERT_TRUE(form->PlayBgm(1, true, true));
  DirectX::TCustomDSoundBuffer* first = Part(TGameForm::spBgm);
  for (int track : {7, 8, 0, -3}) {
    SCOPED_TRACE(track);
    EXPECT_FALSE(form->PlayBgm(track, true, true));
    EXPECT_EQ(form->GetBgmTrack(), 0);
    EXPECT_FALSE(form->IsBgmPlaying());
    EXPECT_EQ(Part(TGameForm::spBgm), nullptr);
    EXPECT_EQ(form->GetBgmPosition(), 0);
    EXPECT_EQ(Part(TGameForm::spBgmFadeOut), first) << "the last good track keeps fading";
  }
  ASSERT_TRUE(form->PlayBgm(2, true, true));
  EXPECT_GT(Peak(Listen(200)), 1000);
  EXPECT_EQ(form->GetBgmTrack(), 2);
}

TEST_F(SoundService, ATrackPlayedOnceEndsWhereItsSoundEnds) {
  ASSERT_TRUE(form->PlayBgm(6, false, false));
  Listen(500);
  EXPECT_EQ(form->GetBgmPosition(), 500);
  EXPECT_TRUE(form->IsBgmPlaying());
  ASSERT_TRUE(WaitFor([&] {
    Listen(100);
    return !form->IsBgmPlaying();
  }));
  EXPECT_EQ(form->GetBgmPosition(), 1000);
  EXPECT_EQ(form->GetBgmTrack(), 6) << "an ended track stays the current one";
  EXPECT_EQ(Peak(Listen(200)), 0);
  ASSERT_TRUE(form->PlayBgm(6, false, false)) << "and plays again from its start";
  EXPECT_TRUE(form->IsBgmPlaying());
  EXPECT_EQ(form->GetBgmPosition(), 0);
}

// Tracks 4 and 5 hold the same six seconds; track 4 repeats from byte 907,224 (5,143 ms), track 5 from its start.
TEST_F(SoundService, LoopingTracksRepeatFromTheirLoopPoints) {
  constexpr std::int64_t kSize = 6 * kRate * 4, kHeard = 7 * kRate * 4, kLoop4 = 907'224;
  const struct {
    int track;
    std::int64_t bytes;
  } cases[] = {{4, kLoop4 + (kHeard - kSize) % (kSize - kLoop4)}, {5, kHeard - kSize}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.track);
    ASSERT_TRUE(form->PlayBgm(c.track, true, false));
    Listen(7000);
    EXPECT_TRUE(form->IsBgmPlaying());
    EXPECT_EQ(form->GetBgmPosition(), static_cast<int>(c.bytes * 1000 / (kRate * 4)));
  }
}

TEST_F(SoundService, SystemSoundsTakeTurnsOnARingOfFour) {
  EXPECT_FALSE(form->PlaySystemSe(-1));
  EXPECT_FALSE(form->PlaySystemSe(10));
  EXPECT_FALSE(form->PlaySystemSe(6)) << "its file is missing";
  EXPECT_FALSE(form->IsSystemSePlaying());

  // Four sounds at once take the four buffers; a fifth replaces the next one, after looking at one position only.
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(form->PlaySystemSe(i));
  std::vector<DirectX::TCustomDSoundBuffer*> ring;
  for (int i = 0; i < 4; ++i) ring.push_back(Part(TGameForm::spSystem + i));
  EXPECT_EQ(std::count(ring.begin(), ring.end(), nullptr), 0);
  const int loads = counter.loads;
  ASSERT_TRUE(form->PlaySystemSe(4));
  EXPECT_EQ(counter.loads, loads + 1);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(Part(TGameForm::spSystem + i), ring[i]);
  EXPECT_EQ(VolumeOf(TGameForm::spSystem), Attenuation(100));
  EXPECT_GT(Peak(Listen(100)), 1000);
  EXPECT_TRUE(form->IsSystemSePlaying());

  // Once they have ended the ring stays where it is, and the sound it holds plays again without a load.
  Listen(600);
  EXPECT_FALSE(form->IsSystemSePlaying());
  ASSERT_TRUE(form->PlaySystemSe(4));
  EXPECT_EQ(counter.loads, loads + 1);
  EXPECT_TRUE(Part(TGameForm::spSystem)->IsPlay());

  // The SE volume without the SE rate.
  form->SetSeRate(10);
  EXPECT_EQ(VolumeOf(TGameForm::spSystem + 2), Attenuation(100));
  form->SetSeVolume(50);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(VolumeOf(TGameForm::spSystem + i), Attenuation(50));
}

TEST_F(SoundService, TheExtraChannelPlaysNothing) {
  EXPECT_TRUE(form->PlayExtraSound(3, 1));
  EXPECT_FALSE(form->IsExtraSoundPlaying());
  form->SetExtraSoundRate(50);
  form->StopExtraSound(true);
  EXPECT_EQ(Peak(Listen(100)), 0);
}

// The frame tick (the game thread or the wait thread) glides the volumes while the game thread starts and stops
// sounds: the sound lock keeps them apart.
TEST_F(SoundService, TheFrameTickAndTheGameThreadShareTheChannelsSafely) {
  std::atomic<bool> done{false};
  std::thread tick([&] {
    while (!done) form->UpdateFrame(1, 33);
  });
  for (int i = 0; i < 24; ++i) {
    if (i % 4 == 0) form->PlayBgm(1 + i / 4 % 2, true, true);
    form->PlayLoopSe(FileMan, true, "Loop", 0, i % 2);
    form->StopLoopSe(true);
    form->PlaySystemSe(i % 5);
    form->PlaySe(FileMan, i % 2 == 0 ? "Voice1" : "Voice2", i % 3 == 0 ? 1 : 0, 0);
    form->SetBgmVolume(i * 4);
    form->SetSeRate(100 - i);
    form->GetBgmPosition();
    if (i % 6 == 5) form->StopBgm(true);
  }
  done = true;
  tick.join();
  form->StopBgm(false);
  EXPECT_EQ(Part(TGameForm::spBgm), nullptr);
  EXPECT_EQ(Part(TGameForm::spBgmFadeOut), nullptr);
}

// Without a sound device the game runs silent: every play succeeds and nothing plays.
TEST(SoundServiceWithoutADevice, EveryOperationSucceedsDoingNothing) {
  GameWindow w;
  w.env.Set("SDL_AUDIODRIVER", "no-such-driver");
  w.setup.manualSound = false;
  ASSERT_TRUE(w.Start());
  TGameForm& f = *w.form;
  ASSERT_FALSE(f.GetSound()->GetEnabled());
  EXPECT_TRUE(f.PlayBgm(1, true, true));
  EXPECT_EQ(f.GetBgmTrack(), 0);
  EXPECT_FALSE(f.IsBgmPlaying());
  EXPECT_EQ(f.GetBgmPosition(), 0);
  EXPECT_TRUE(f.PlayVoice(FileMan, "Voice"));
  EXPECT_TRUE(f.PlaySe(FileMan, "Se", 1, 2));
  EXPECT_TRUE(f.PlayLoopSe(FileMan, true, "Loop", 0, 0));
  EXPECT_TRUE(f.PlaySystemSe(0));
  EXPECT_TRUE(f.PlaySystemSe(99));
  for (bool playing : {f.IsVoicePlaying(), f.IsSePlaying(), f.IsLoopSePlaying(), f.IsSystemSePlaying()})
    EXPECT_FALSE(playing);
  f.UpdateFrame(5, 165);
  f.StopBgm(true);
  f.StopVoice();
  f.StopSe();
  f.StopLoopSe(true);
  f.PlayMuteSound();
  f.SetVoiceVolume(30);
  EXPECT_EQ(f.GetVoiceVolume(), 30) << "the settings are kept for the next start";
}

// The game window plays a system sound and music of the demo game; the music is heard, then fades out.
TEST(SoundOfTheDemoGame, ASystemSoundAndTrackOneAreHeardAndTheTrackFadesOut) {
  GameWindow w;
  w.setup.gameFolder = QORM_DEMO_GAME_DIR;
  ASSERT_TRUE(w.Start());
  TGameForm& f = *w.form;
  auto listen = [&](int ms) {
    const std::vector<std::int16_t> out = f.GetSound()->GetManualSink()->Pump(kRate * ms / 1000);
    w.AdvanceMs(ms);
    double sum = 0;
    for (std::int16_t v : out) sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(out.size()));
  };
  auto settle = [&] {
    for (int part : {TGameForm::spBgm, TGameForm::spBgmFadeOut}) {
      DirectX::TCustomDSoundBuffer* b = f.GetSoundBuffer(part);
      if (b == nullptr) continue;
      int quiet = 0;
      ASSERT_TRUE(WaitFor([&] { return (quiet = b->GetNotifyThread()->IsIdle() ? quiet + 1 : 0) >= 3; }));
    }
  };

  ASSERT_TRUE(f.PlaySystemSe(0));
  EXPECT_GT(listen(200), 100.0);

  ASSERT_TRUE(f.PlayBgm(1, true, true));
  for (int i = 0; i < 10; ++i) {
    EXPECT_GT(listen(100), 100.0) << i;
    settle();
  }
  EXPECT_EQ(f.GetBgmPosition(), 1000);

  // Fading frame by frame (three frames in each 100 ms): loud at first, much quieter at the end, then gone.
  w.Frame();  // the frames of the time heard so far
  f.StopBgm(true);
  std::vector<double> loudness;
  while (f.GetSoundBuffer(TGameForm::spBgmFadeOut) != nullptr && loudness.size() < 20) {
    loudness.push_back(listen(100));
    settle();
    w.Frame();
  }
  ASSERT_EQ(loudness.size(), 12u) << "35 frames from 70";
  EXPECT_GT(loudness[0] + loudness[1] + loudness[2], 4 * (loudness[9] + loudness[10] + loudness[11]));
  EXPECT_EQ(listen(100), 0.0);
}

}  // namespace

// The music game's screen in the real game window: opening a song and failing cleanly, the phases from the
// opening curtain to the result, the continue prompt, aborting, the stage (events, characters, background), the
// judgement at the edges of its windows, score, combo, gauge and check value, tones, lyrics; and the demo game's
// songs played through, by the program and by a player who strikes every key on time.
// Label: threads
#include "music/musicu.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "device/zodsound.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "music/musicwindow.h"

namespace {

using musicwindow::MusicWindow;
using musicwindow::SongSpec;

constexpr std::uint32_t Position(std::uint32_t ms) { return ms * 88 + ms / 5; }

int OpenFiles() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
  }
  return n;
}

// ---- Opening a song -------------------------------------------------------------------------------------------

TEST(MusicUnit, OpensASongAndClosesIt) {
  MusicWindow m;
  SongSpec song;
  song.tag = "Ver1.50";
  song.chart = "1000,0.5,do,a,la\n2000,1,@\n3000,1,RE,s\n";
  song.tones = {"re.wav", "Do.Wav", "MI.WAV"};
  song.stage = "[Load]\nBGPIC,0,bg.bmp\n[Init]\n0,BGPIC,0\n[Before]\n[Perform]\n1,WAVE,0\n[After]\n";
  song.files = {{"bg.bmp", songfiles::Bmp(640, 300, 0x336699)}};
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_TRUE(unit.IsLoaded());
  EXPECT_EQ(unit.GetSongVersion(), 150);
  ASSERT_EQ(unit.GetKeyCount(), 3);
  EXPECT_STREQ(unit.GetKeyName(0), "DO.WAV") << "listed in name order, upper-cased";
  EXPECT_STREQ(unit.GetKeyName(2), "RE.WAV");
  EXPECT_EQ(unit.GetKeyName(3), nullptr);
  ASSERT_EQ(unit.GetNoteCount(), 3);
  EXPECT_EQ(unit.GetNotes()[0].pitch, 0);
  EXPECT_EQ(unit.GetNotes()[2].pitch, 2);
  EXPECT_STREQ(unit.GetLyric(unit.GetNotes()[0].text), "la");
  EXPECT_NE(unit.GetSongStream(), nullptr);
  EXPECT_EQ(unit.GetBack().mode, 1) << "the [Init] events ran";
  EXPECT_EQ(unit.GetGauge(), TMusicUnit::kGaugeStart);
  EXPECT_EQ(unit.GetCheckValue(), TMusicUnit::kCheckStart);
  EXPECT_TRUE(unit.TitleP->GetVisible());

  // Options wait for the next Open, but the event number is stored at once.
  unit.SetRankMode(1);
  unit.SetEventNumber(2);
  unit.Close();
  EXPECT_FALSE(unit.IsLoaded());
  EXPECT_EQ(unit.GetSongStream(), nullptr);
  EXPECT_FALSE(m.Open("QX01")) << "event number 2 wants the event part";
  unit.SetEventNumber(0);
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_EQ(unit.GetNotes()[0].key, 0);
}

TEST(MusicUnit, OpenFailsWholeAndCanBeTriedAgain) {
  MusicWindow m;
  const struct {
    const char* what;
    std::function<void(SongSpec&)> change;
  } cases[] = {
      {"no song audio", [](SongSpec& s) { s.audioMs = 0; }},
      {"a broken stage script", [](SongSpec& s) { s.stage = "[Load]\n[Init]\n[Perform]\n[After]\n"; }},
      {"a chart with a bad time", [](SongSpec& s) { s.chart = "x,1,DO,a\n"; }},
      {"a chart with a negative time", [](SongSpec& s) { s.chart = "-1,1,DO,a\n"; }},
      {"a key tone that is no sound", [](SongSpec& s) { s.files = {}, s.tones = {"DO.WAV", "BAD.WAV"}; }},
      {"a version 200 song with only Ogg audio that is not Ogg", [](SongSpec& s) { s.audio = "ogg"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(m.w.game.path() / "Song");
    SongSpec song;
    c.change(song);
    m.WriteSong(song);
    if (song.tones.size() == 2 && song.tones[1] == "BAD.WAV") m.w.game.Write("Song/QX01/key/BAD.WAV", "RIFF????");
    TMusicUnit& unit = m.Make();
    EXPECT_FALSE(m.Open("QX01"));
    EXPECT_FALSE(unit.IsLoaded());
    EXPECT_EQ(unit.GetSongStream(), nullptr);
    EXPECT_EQ(unit.GetKeyCount(), 0);
    EXPECT_EQ(unit.BGPanel->GetImage(), nullptr) << "every picture released";
    unit.Close();  // once more, after the partial Open
    std::filesystem::remove_all(m.w.game.path() / "Song");
    m.WriteSong(SongSpec{});
    EXPECT_TRUE(m.Open("QX01")) << "the same unit opens a good song afterwards";
  }
  // Songs that do not exist, and a missing system picture.
  TMusicUnit& unit = m.Make();
  EXPECT_FALSE(m.Open("QX02"));
  std::filesystem::rename(m.w.game.path() / "Game_Pak/SongNote.png", m.w.game.path() / "Game_Pak/Note.png");
  EXPECT_FALSE(m.Open("QX01"));
  EXPECT_EQ(unit.SheetP->GetImage(), nullptr);
}

TEST(MusicUnit, PartsAudioAndKeySounds) {
  MusicWindow m;
  SongSpec main, event2;
  main.tag = event2.tag = "Ver1.50";
  event2.part = "event2";
  event2.chart = "700,1,RE,d\n";
  m.WriteSong(main);
  m.WriteSong(event2);
  m.w.game.Write("Song/QX01/song.ogg", "not Ogg");  // a version 150 song does not look for Ogg audio
  TMusicUnit& unit = m.Make();
  unit.SetEventNumber(3);
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_EQ(unit.GetNotes()[0].time, 700u) << "event number 3 plays the part event2";
  for (int number : {-1, 0, 1}) {
    m.Make().SetEventNumber(number);
    ASSERT_TRUE(m.Open("QX01")) << number;
    EXPECT_EQ(m.unit->GetNotes()[0].time, 500u) << number;
  }
  // A version 200 song takes the Ogg file first (here not Ogg at all: the song does not open).
  m.w.game.Write("Song/QX01/song/SONG.ID", songfiles::SongId("Ver1.50", "QX01"));
  EXPECT_TRUE(m.Open("QX01"));
  m.w.game.Write("Song/QX01/song/SONG.ID", songfiles::SongId("Ver2.00", "QX01"));
  EXPECT_FALSE(m.Open("QX01"));
  std::filesystem::remove(m.w.game.path() / "Song/QX01/song.ogg");

  // A key part with no files: no key sounds, and only silent notes.
  std::filesystem::remove_all(m.w.game.path() / "Song/QX01/key");
  std::filesystem::create_directories(m.w.game.path() / "Song/QX01/key");
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_EQ(m.unit->GetKeyCount(), 0);
  EXPECT_EQ(m.unit->GetNotes()[0].pitch, -1);
  m.unit->PlayTone(0);  // nothing to play
}

// Memory save keeps the tones encoded in memory: hundreds of tones hold no open files, and at most 16 are decoded.
TEST(MusicUnit, MemorySaveHoldsNoFilesAndSixteenTones) {
  MusicWindow m;
  SongSpec song;
  song.tones.clear();
  for (int i = 0; i < 300; ++i) song.tones.push_back("T" + std::to_string(100 + i) + ".WAV");
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  unit.SetMemorySave(1);
  const int before = OpenFiles();
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_EQ(unit.GetKeyCount(), 300);
  EXPECT_LT(OpenFiles() - before, 20) << "the tones are not kept as open files";

  for (int pitch = 0; pitch < 20; ++pitch) unit.PlayTone(pitch);
  int cached = 0;
  for (int pitch = 0; pitch < 300; ++pitch) cached += unit.GetToneBuffer(pitch) != nullptr;
  EXPECT_EQ(cached, 16);
  EXPECT_EQ(unit.GetToneBuffer(3), nullptr) << "the least recently played went";
  EXPECT_NE(unit.GetToneBuffer(4), nullptr);
  unit.PlayTone(4);   // played again: now the most recent
  unit.PlayTone(50);  // takes the least recent slot (tone 5)
  EXPECT_NE(unit.GetToneBuffer(4), nullptr);
  EXPECT_EQ(unit.GetToneBuffer(5), nullptr);
  EXPECT_NE(unit.GetToneBuffer(50), nullptr);
  // Tone numbers outside the key sounds play nothing.
  for (int pitch : {-1, 300, 511, 512, 100000}) unit.PlayTone(pitch);
  EXPECT_EQ(unit.GetToneBuffer(300), nullptr);
}


// ---- The play loop --------------------------------------------------------------------------------------------

// A chart of n notes on key A, 100 ms apart from 0.5 s on.
std::string Notes(int n, const char* key = "a") {
  std::string chart;
  for (int i = 0; i < n; ++i) chart += std::to_string(Position(500 + 100 * i)) + ",1,DO," + key + "\n";
  return chart;
}

TEST(MusicPlay, PhasesFromTheCurtainToTheResult) {
  MusicWindow m;
  SongSpec song;
  song.id = "QM03";
  song.chart = Notes(20);
  song.audioMs = 2600;
  song.stage = "[Load]\n[Init]\n[Before]\n0.3,END\n[Perform]\n[After]\n0.2,END\n";
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  unit.SetAutoMode(1);
  ASSERT_TRUE(m.Open("QM03"));
  EXPECT_TRUE(unit.CaptionPanel->GetVisible()) << "the auto caption";
  m.Play();
  const auto curtain = [&](int i) {
    return dynamic_cast<TZoRGBPanel*>(unit.FindComponent((i < 10 ? "Curtain0" : "Curtain") + std::to_string(i)));
  };
  m.Frames(60);
  EXPECT_EQ(unit.GetPhase(), 1);
  for (int i = 0; i < TMusicUnit::kCurtains; ++i) {
    EXPECT_TRUE(curtain(i)->GetVisible());
    EXPECT_EQ(curtain(i)->GetBlockIndex(), 0);
  }
  m.Frame();  // the curtain begins to rise: the title band with it
  EXPECT_EQ(curtain(17)->GetBlockIndex(), 1);
  EXPECT_EQ(curtain(18)->GetBlockIndex(), 2);
  EXPECT_EQ(unit.TitleP->GetOffsetY(), 56 - 32);
  m.Frames(15);
  EXPECT_FALSE(unit.TitleP->GetVisible());
  m.Frames(4);
  EXPECT_EQ(unit.GetPhase(), 1);
  for (int i = 0; i < TMusicUnit::kCurtains; ++i) EXPECT_FALSE(curtain(i)->GetVisible()) << i;
  m.Frame();
  EXPECT_EQ(unit.GetPhase(), 2) << "60 + 21 frames";
  // [Before] lasts until its END at 0.3 s of the window's clock.
  int before = 0;
  while (unit.GetPhase() == 2 && before < 100) m.Frame(), ++before;
  EXPECT_EQ(unit.GetPhase(), 3);
  EXPECT_GE(before, 300 / 35);
  EXPECT_LE(before, 300 / 30 + 2);
  EXPECT_TRUE(unit.GetSongStream()->IsPlay());
  ASSERT_TRUE(m.RunToPhase(4, 200));
  EXPECT_EQ(unit.GetGauge(), 40) << "every note played by the program lifts the gauge";
  EXPECT_EQ(unit.GetScore(), 0);
  EXPECT_EQ(unit.GetCheckValue(), TMusicUnit::kCheckStart);
  ASSERT_TRUE(m.RunToPhase(5, 50)) << "a gauge of exactly 40 is a clear";
  EXPECT_EQ(m.calls.voices, std::vector<std::string>{"SysVoice05_03"}) << "a story song's cheer";
  for (int i = 0; i < 21; ++i) {
    EXPECT_TRUE(m.results.empty());
    m.Frame();
  }
  EXPECT_TRUE(curtain(18)->GetVisible());
  EXPECT_EQ(curtain(18)->GetBlockIndex(), 0);
  EXPECT_EQ(m.RunToResult(1), 0);
  EXPECT_FALSE(unit.GetSongStream()->IsPlay());
}

TEST(MusicPlay, AGaugeBelowFortyAsksToContinue) {
  MusicWindow m;
  SongSpec song;
  song.chart = Notes(19);
  song.audioMs = 2400;
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  unit.SetAutoMode(1);
  ASSERT_TRUE(m.Open("QX01"));
  m.Play();
  ASSERT_TRUE(m.RunToPhase(6, 400));
  EXPECT_EQ(unit.GetGauge(), 39);
  EXPECT_EQ(m.calls.systemSounds, std::vector<int>{1});
  EXPECT_TRUE(unit.ContinueCount->GetVisible());
  EXPECT_TRUE(unit.ContinueInfo->GetVisible());
  EXPECT_EQ(unit.ContinueCount->GetBlockIndex(), 0);

  // The count starts after 60 frames once no system sound plays, then goes down every 30 frames.
  m.calls.systemSoundPlaying = true;
  m.Frames(70);
  EXPECT_EQ(unit.ContinueCount->GetBlockIndex(), 0);
  m.calls.systemSoundPlaying = false;
  m.Frame();
  EXPECT_EQ(unit.ContinueCount->GetBlockIndex(), 1);
  EXPECT_EQ(m.calls.systemSounds, (std::vector<int>{1, 4}));
  m.Frames(30 * 10);
  EXPECT_EQ(unit.ContinueCount->GetBlockIndex(), 11);
  m.calls.systemSoundPlaying = true;
  m.Frames(60);
  EXPECT_EQ(unit.GetPhase(), 6) << "the time-out waits for the system sound";
  m.calls.systemSoundPlaying = false;
  m.Frame();
  EXPECT_EQ(unit.GetPhase(), 5) << "no answer is a no";
  EXPECT_FALSE(unit.ContinueCount->GetVisible());
  EXPECT_EQ(unit.ContinueCount->GetImage(), nullptr);
  EXPECT_EQ(m.RunToResult(30), 1);
}

TEST(MusicPlay, AContinueReplaysTheSongFromItsStart) {
  MusicWindow m;
  SongSpec song;
  song.chart = Notes(6);
  song.audioMs = 1600;
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  ASSERT_TRUE(m.Open("QX01"));
  m.Play();
  ASSERT_TRUE(m.RunToPhase(3, 200));
  m.Key(SDL_SCANCODE_D);  // no note of D: a miss
  m.Frame();
  EXPECT_EQ(unit.GetLastPitch(), -1);
  ASSERT_TRUE(m.RunToPhase(6, 400));
  EXPECT_EQ(unit.GetGauge(), TMusicUnit::kGaugeStart - 7) << "six notes passed and one stray key";
  for (int i = 0; i < unit.GetNoteCount(); ++i) EXPECT_EQ(unit.GetNotes()[i].state, 1);
  m.Frames(5);
  m.Key(SDL_SCANCODE_Y);
  m.Frame();
  EXPECT_EQ(unit.GetPhase(), 3);
  EXPECT_EQ(unit.GetGauge(), TMusicUnit::kGaugeStart);
  EXPECT_EQ(unit.GetScore(), 0);
  EXPECT_EQ(unit.GetCheckValue(), TMusicUnit::kCheckStart);
  for (int i = 0; i < unit.GetNoteCount(); ++i) EXPECT_EQ(unit.GetNotes()[i].state, 0);
  EXPECT_TRUE(unit.GetSongStream()->IsPlay());
  EXPECT_FALSE(unit.ContinueCount->GetVisible());
  m.Frame();
  EXPECT_LT(unit.GetPosition(), Position(100)) << "from the start of the song";
  // The second time the player says no with Esc.
  ASSERT_TRUE(m.RunToPhase(6, 400));
  m.Key(SDL_SCANCODE_ESCAPE);
  m.Frame();
  EXPECT_EQ(unit.GetPhase(), 5);
  EXPECT_EQ(m.RunToResult(30), 1);
}

TEST(MusicPlay, EscHeldForASecondAborts) {
  for (bool duringPlay : {false, true}) {
    SCOPED_TRACE(duringPlay ? "during the play" : "during the opening");
    MusicWindow m;
    SongSpec song;
    song.audioMs = 3000;
    m.WriteSong(song);
    TMusicUnit& unit = m.Make();
    ASSERT_TRUE(m.Open("QX01"));
    m.Play();
    if (duringPlay) {
      ASSERT_TRUE(m.RunToPhase(3, 200));
    }
    m.w.input.KeyChanged(SDL_SCANCODE_ESCAPE, true, false);
    m.Frames(30);
    EXPECT_TRUE(m.results.empty());
    EXPECT_FALSE(unit.IsAborted());
    m.Frame();
    EXPECT_TRUE(unit.IsAborted());
    if (!duringPlay) {
      EXPECT_EQ(m.results, std::vector<int>{2}) << "at once";
      EXPECT_EQ(unit.GetPhase(), 0);
      // Started again, the unit plays a new song: it is not still aborted, and a new abort is reported.
      m.w.input.KeyChanged(SDL_SCANCODE_ESCAPE, false, false);
      m.Detach();
      m.results.clear();
      m.Play();
      m.Frame();
      EXPECT_FALSE(unit.IsAborted());
      m.w.input.KeyChanged(SDL_SCANCODE_ESCAPE, true, false);
      m.Frames(31);
      EXPECT_EQ(m.results, std::vector<int>{2});
    } else {
      EXPECT_TRUE(m.results.empty());
      EXPECT_EQ(unit.GetPhase(), 5) << "the curtain closes first";
      EXPECT_FALSE(unit.GetSongStream()->IsPlay());
      EXPECT_EQ(m.RunToResult(25), 2);
    }
  }
}

TEST(MusicPlay, InDemoModeAnyKeyEndsTheSong) {
  MusicWindow m;
  m.WriteSong(SongSpec{});
  TMusicUnit& unit = m.Make();
  unit.SetAutoMode(2);
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_TRUE(unit.CaptionPanel->GetVisible());
  m.Play();
  m.Frames(10);
  const int block = unit.CaptionPanel->GetBlockIndex();
  m.Frames(8);
  EXPECT_NE(unit.CaptionPanel->GetBlockIndex(), block) << "the caption blinks";
  m.Key(SDL_SCANCODE_K);
  m.Frame();
  EXPECT_EQ(m.results, std::vector<int>{2});
}

// ---- Judgement, step by step on the window's clock -----------------------------------------------------------

// A unit opened on a chart for direct steps: the timer mode, so that the test sets the clock each step reads.
class Steps : public ::testing::Test {
protected:
  void Open(const std::string& chart, std::uint8_t level = 1, std::uint8_t autoMode = 0) {
    SongSpec song;
    song.chart = chart;
    m.WriteSong(song);
    TMusicUnit& unit = m.Make();
    unit.SetTimingMode(0);
    unit.SetRankMode(level);
    unit.SetAutoMode(autoMode);
    ASSERT_TRUE(m.Open("QX01"));
    m.w.form->SetKeyboardEnabled(true);
  }
  void StepAt(std::uint32_t ms) {
    m.w.form->SetGameClock(static_cast<int>(ms));
    m.unit->JudgeNotes(1, m.w.form->GetInputUnit());
  }

  struct Outcome {
    int gauge, score, combo, state;
  };
  // Presses a key index in the current step; what changed, and the state of the note.
  Outcome Press(int key, int note) {
    TMusicUnit& unit = *m.unit;
    const int gauge = unit.GetGauge(), score = unit.GetScore();
    unit.PressKey(key);
    return {unit.GetGauge() - gauge, unit.GetScore() - score, unit.GetCombo(), unit.GetNotes()[note].state};
  }

  MusicWindow m;
};

TEST_F(Steps, JudgementWindowsAtTheirEdges) {
  // Each note on a key of its own (hard), at a distance from the position of the second step (1 s).
  const std::uint32_t p = Position(1000);
  const struct {
    std::int64_t offset;  // note time - p
    int judgement;        // -1: a press finds no note (the note lies beyond 160 ms)
  } cases[] = {
      {-14111, 1}, {-7056, 1}, {-7055, 2}, {-1764, 2}, {-1763, 3}, {0, 3},
      {1764, 3},   {1765, 2},  {7056, 2},  {7057, 1},  {14112, 1}, {14113, -1},
  };
  std::string chart = std::to_string(p - 14112) + ",1,DO,z\n";  // passed by more than 160 ms: missed by itself
  const char* keys = "qwertyuiopas";
  for (std::size_t i = 0; i < std::size(cases); ++i)
    chart += std::to_string(p + cases[i].offset) + ",1,DO," + keys[i] + "\n";
  Open(chart);
  StepAt(1000);  // everything up to p was crossed in this first step
  StepAt(1000);
  EXPECT_EQ(m.unit->GetGauge(), TMusicUnit::kGaugeStart - 1);
  EXPECT_EQ(m.unit->GetNotes()[0].state, 1) << "missed";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("offset " + std::to_string(cases[i].offset));
    const int key = m.unit->GetNotes()[i + 1].key;
    const int combo = m.unit->GetCombo();
    const Outcome o = Press(key, static_cast<int>(i + 1));
    switch (cases[i].judgement) {
      case 3:
        EXPECT_EQ(o.gauge, 1);
        EXPECT_EQ(o.score, 20 * std::min(combo + 1, 10) + 15);
        EXPECT_EQ(o.state, 5);
        break;
      case 2:
        EXPECT_EQ(o.gauge, 0);
        EXPECT_EQ(o.score, 8);
        EXPECT_EQ(o.combo, 0);
        EXPECT_EQ(o.state, 5);
        break;
      case 1:
        EXPECT_EQ(o.gauge, -1);
        EXPECT_EQ(o.score, 0);
        EXPECT_EQ(o.combo, 0);
        EXPECT_EQ(o.state, 5);
        break;
      default:
        EXPECT_EQ(o.gauge, -1);
        EXPECT_EQ(o.score, 0);
        EXPECT_EQ(o.state, 0) << "not touched";
    }
  }
}

// In the wave mode the position is the song as the speaker has played it (here 50 ms behind the mix), not as it
// was mixed: a key struck when a note is heard is judged best, at the note's very position.
TEST(WaveTiming, AKeyStruckWhenTheNoteIsHeardIsJudgedBest) {
  constexpr std::uint32_t kLatency = 2205;
  MusicWindow m(false, kLatency);
  SongSpec song;
  song.chart = Notes(3);
  song.audioMs = 2000;
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  unit.SetTimingMode(1);
  unit.SetRankMode(1);
  ASSERT_TRUE(m.Open("QX01"));
  unit.GetSongStream()->Play(false, 0);
  std::uint32_t heard = 0;  // frames
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("note " + std::to_string(i));
    const std::uint32_t time = unit.GetNotes()[i].time;
    const std::uint32_t frames = time / 2 - heard;
    m.PlayOut(heard == 0 ? frames + kLatency : frames);
    heard += frames;
    unit.JudgeNotes(1, m.w.form->GetInputUnit());
    EXPECT_EQ(unit.GetPosition(), time);
    const int gauge = unit.GetGauge(), score = unit.GetScore();
    unit.PressKey(unit.GetNotes()[i].key);
    EXPECT_EQ(unit.GetGauge(), gauge + 1) << "best";
    EXPECT_EQ(unit.GetScore(), score + 20 * (i + 1) + 15);
    EXPECT_EQ(unit.GetNotes()[i].state, 5);
  }
}

TEST_F(Steps, OneKeyTwoNotesTwoPressesAndLyrics) {
  const std::uint32_t p = Position(1000);
  Open(std::to_string(p - 3000) + ",1,DO,a\n" +  // a 2 (34 ms late)
       std::to_string(p + 1000) + ",1,DO,a\n" +  // a 3: the better one wins
       std::to_string(p + 100) + ",1,DO,s\n" + std::to_string(p + 200) + ",1,DO,s\n" +  // two 3s: the earlier
       std::to_string(p - 500) + ",1,RE,d,la\n");  // a note with a lyric, crossed in the first step
  StepAt(1000);
  EXPECT_EQ(m.unit->GetNotes()[4].state, 1) << "crossed: its lyric is shown and it is done";
  EXPECT_TRUE(m.unit->WordP->GetVisible());
  StepAt(1000);
  EXPECT_EQ(Press(0, 1).state, 5);
  EXPECT_EQ(m.unit->GetNotes()[0].state, 0);
  EXPECT_EQ(Press(0, 0).state, 0) << "a second press of the key in one step does nothing";
  EXPECT_EQ(m.unit->GetCombo(), 1);
  EXPECT_EQ(Press(1, 2).state, 5);
  EXPECT_EQ(m.unit->GetNotes()[3].state, 0);
  const Outcome lyric = Press(2, 4);
  EXPECT_EQ(lyric.gauge, -1) << "the lyric's note is not there to be hit";
  EXPECT_EQ(m.unit->GetLastPitch(), 0) << "a press without a note plays the last tone";
  StepAt(1400);
  StepAt(1400);  // the previous position is now more than 160 ms past the note left over
  EXPECT_EQ(m.unit->GetNotes()[4].state, 1) << "and never missed";
  EXPECT_EQ(m.unit->GetNotes()[0].state, 1) << "the note left over is missed";
}

TEST_F(Steps, KeysMapByRowAndLevel) {
  // One note, and the key pressed for it: a hit lifts the gauge, a wrong key of the level is a miss, a key
  // outside the level is no key of the game at all.
  const struct {
    std::uint8_t level;
    char chartKey;
    SDL_Scancode pressed;
    int gauge;
  } cases[] = {
      {1, 'a', SDL_SCANCODE_A, 1},         {1, 'g', SDL_SCANCODE_G, 1},     {1, 'h', SDL_SCANCODE_H, 1},
      {1, 'j', SDL_SCANCODE_J, 1},         {1, ';', SDL_SCANCODE_SEMICOLON, 1}, {1, 'q', SDL_SCANCODE_Q, 1},
      {1, 't', SDL_SCANCODE_T, 1},         {1, 'y', SDL_SCANCODE_Y, 1},     {1, 'p', SDL_SCANCODE_P, 1},
      {1, 'z', SDL_SCANCODE_Z, 1},         {1, 'b', SDL_SCANCODE_B, 1},     {1, 'n', SDL_SCANCODE_N, 1},
      {1, '<', SDL_SCANCODE_COMMA, 1},     {1, '/', SDL_SCANCODE_SLASH, 1}, {1, 'a', SDL_SCANCODE_S, -1},
      {0, 'q', SDL_SCANCODE_Q, 0},         {0, 'q', SDL_SCANCODE_A, 1},     {0, 'g', SDL_SCANCODE_F, 1},
      {0, 'a', SDL_SCANCODE_G, 0},         {2, 'd', SDL_SCANCODE_D, 1},     {2, 'j', SDL_SCANCODE_J, 1},
      {2, 'd', SDL_SCANCODE_A, 0},         {2, 'd', SDL_SCANCODE_K, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("level ") + char('0' + c.level) + " key " + c.chartKey);
    Open(std::to_string(Position(1000)) + ",1,DO," + c.chartKey + "\n", c.level);
    StepAt(990);
    m.Key(c.pressed);
    StepAt(1000);
    // A struck note bounces back: state 5 counting down by the frames of each step.
    EXPECT_EQ(m.unit->GetNotes()[0].state, c.gauge > 0 ? 4 : 0);
    EXPECT_EQ(m.unit->GetGauge(), TMusicUnit::kGaugeStart + c.gauge);
  }
  // In full auto no key counts, but the screenshot key still works.
  Open(std::to_string(Position(1000)) + ",1,DO,d\n", 1, 1);
  StepAt(990);
  m.Key(SDL_SCANCODE_D);
  m.Key(SDL_SCANCODE_PRINTSCREEN);
  StepAt(995);
  EXPECT_EQ(m.unit->GetGauge(), TMusicUnit::kGaugeStart);
  EXPECT_EQ(m.calls.screenshots, 1);
}

TEST_F(Steps, TheProgramPlaysTheOuterKeysOnEasy) {
  std::string chart;
  for (char key : std::string("asdfjkl;")) chart += std::to_string(Position(1000)) + ",1,DO," + key + "\n";
  Open(chart, 2);
  StepAt(990);
  StepAt(1000);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(m.unit->GetNotes()[i].state, i < 2 || i > 5 ? 4 : 0) << "key " << m.unit->GetNotes()[i].key;
  EXPECT_EQ(m.unit->GetGauge(), TMusicUnit::kGaugeStart + 4) << "no score for the program's notes";
  EXPECT_EQ(m.unit->GetScore(), 0);
  EXPECT_EQ(m.unit->GetNotes()[0].marked, 1);
}

TEST_F(Steps, SpritesOfTheSheetAndTheHitLamp) {
  // A pixel of the sheet is 441 positions (5 ms), the judgement line at x 84; notes from x -17 to 485 are drawn.
  const std::uint32_t p = Position(2000);  // 400 pixels
  std::string chart;
  const std::pair<int, char> notes[] = {{-102, 'z'}, {-101, ';'}, {0, 'a'}, {100, 'j'}, {401, 'q'}, {402, 'a'}};
  for (const auto& [pixels, key] : notes) chart += std::to_string(p + 441 * pixels) + ",1,DO," + key + "\n";
  Open(chart);
  StepAt(2000);
  const auto sprites = [&] {
    std::vector<std::vector<int>> list;
    for (int i = 0; i < m.unit->GetSpriteCount(); ++i) {
      const TMusicUnit::TSprite& s = m.unit->GetSprite(i);
      list.push_back({s.x, s.y, s.frame, s.key});
    }
    return list;
  };
  using L = std::vector<std::vector<int>>;
  EXPECT_EQ(sprites(), (L{{-17, 34, 5, 7}, {84, 86, 0, 0}, {184, 66, 8, 4}, {485, 86, 0, 10}}));
  EXPECT_TRUE(m.unit->HitLamp->GetVisible()) << "a note within 20 ms";
  Press(0, 2);
  StepAt(2000);
  EXPECT_EQ(sprites()[1], (std::vector<int>{84, 86 + 16, 0, 0})) << "a struck note bounces down and back";
  StepAt(2000);
  EXPECT_EQ(sprites()[1], (std::vector<int>{84, 86 + 12, 0, 0}));
  for (int i = 0; i < 4; ++i) {
    StepAt(9000);
    EXPECT_EQ(m.unit->HitLamp->GetVisible(), i < 3) << i;
  }
  EXPECT_EQ(m.unit->GetSpriteCount(), 0);

  // On easy the program's notes have a sprite of their own.
  Open(std::to_string(p + 441) + ",1,DO,a\n" + std::to_string(p + 882) + ",1,DO,l\n" + std::to_string(p + 1323) +
           ",1,DO,j\n",
       2);
  StepAt(2000);
  EXPECT_EQ(sprites(), (L{{85, 86, 4, 0}, {86, 45, 9, 6}, {87, 66, 8, 4}}));
}

// ---- Score, check value, gauge and the judgement display -------------------------------------------------------

TEST(Score, AwardsComboAndCheckValue) {
  MusicWindow m;
  TMusicUnit& unit = m.Make();
  const auto check = [&] {
    EXPECT_EQ(unit.GetCheckValue(), static_cast<std::uint32_t>(0x00FFFFFF - unit.GetScore()));
  };
  EXPECT_EQ(unit.GetCheckValue(), 0xFFFFFFFFu) << "before a song starts";
  unit.ResetPlay();
  unit.AddScore(3);
  EXPECT_EQ(unit.GetScore(), 35);
  EXPECT_EQ(unit.GetCheckValue(), 0xFFFFDCu);
  std::vector<int> awards;
  for (int i = 0; i < 11; ++i) {
    const int before = unit.GetScore();
    unit.AddScore(3);
    awards.push_back(unit.GetScore() - before);
  }
  EXPECT_EQ(awards, (std::vector<int>{55, 75, 95, 115, 135, 155, 175, 195, 215, 215, 215}));
  EXPECT_EQ(unit.GetCombo(), 10);
  check();
  for (int i = 0; i < 60; ++i) unit.UpdateGauge(3);
  EXPECT_EQ(unit.GetGauge(), TMusicUnit::kGaugeMax);
  int before = unit.GetScore();
  unit.AddScore(3);
  EXPECT_EQ(unit.GetScore() - before, 311) << "combo 10 and a full gauge";
  before = unit.GetScore();
  unit.AddScore(2);
  EXPECT_EQ(unit.GetScore() - before, 8);
  EXPECT_EQ(unit.GetCombo(), 0);
  for (int j : {1, 0, -1, 7}) {
    unit.AddScore(3);
    before = unit.GetScore();
    unit.AddScore(j);
    EXPECT_EQ(unit.GetScore(), before) << j;
    EXPECT_EQ(unit.GetCombo(), 0) << j;
  }
  check();
  // The score stops at 999,999,999: the last award is cut, and the check value follows the cut award.
  while (unit.GetScore() < TMusicUnit::kScoreMax) unit.AddScore(3);
  EXPECT_EQ(unit.GetScore(), TMusicUnit::kScoreMax);
  EXPECT_EQ(unit.GetCheckValue(), 0xC5653600u);
  unit.AddScore(3);
  EXPECT_EQ(unit.GetScore(), TMusicUnit::kScoreMax);
  EXPECT_EQ(unit.GetCheckValue(), 0xC5653600u);
  // The check value's subtraction, bit by bit, is a subtraction.
  for (std::uint32_t v : {0u, 1u, 0x00FFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    for (std::uint32_t a : {0u, 1u, 35u, 311u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      std::uint32_t value = v;
      TMusicUnit::SubtractCheck(&value, a);
      EXPECT_EQ(value, v - a);
    }
}

TEST(Score, GaugeSegmentsDigitsAndTheJudgementClef) {
  MusicWindow m;
  m.WriteSong(SongSpec{});
  TMusicUnit& unit = m.Make();
  ASSERT_TRUE(m.Open("QX01"));
  const auto panel = [&](const char* prefix, int i) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%02d", prefix, i);
    return dynamic_cast<TZoRGBPanel*>(unit.FindComponent(name));
  };
  const auto blocks = [&](const char* prefix, int n) {
    std::vector<int> b;
    for (int i = 0; i < n; ++i) b.push_back(panel(prefix, i)->GetBlockIndex());
    return b;
  };
  EXPECT_EQ(blocks("PopBig", 5), (std::vector<int>{5, 5 + 1, 2, 3, 4})) << "20: two large segments lit";
  EXPECT_EQ(blocks("PopSmall", 10), (std::vector<int>{10, 1, 2, 3, 4, 5, 6, 7, 8, 9})) << "one small lit at 0";
  for (int i = 0; i < 25; ++i) unit.UpdateGauge(0);
  EXPECT_EQ(unit.GetGauge(), 0);
  EXPECT_EQ(blocks("PopBig", 5), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(blocks("PopSmall", 10)[0], 10);
  for (int i = 0; i < 47; ++i) unit.UpdateGauge(3);
  EXPECT_EQ(blocks("PopBig", 5), (std::vector<int>{5, 6, 7, 8, 4}));
  EXPECT_EQ(blocks("PopSmall", 10), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 8, 9}));
  // A gauge of 40 and more flashes: every eight drawings the lit colour moves through blocks 5, 10, 15, 10.
  std::vector<int> lit;
  for (int call = 1; call <= 40; ++call) {
    unit.DrawJudgement();
    if (call % 8 == 0) lit.push_back(panel("PopBig", 0)->GetBlockIndex());
  }
  EXPECT_EQ(lit, (std::vector<int>{10, 15, 10, 5, 10}));

  // Score digits: the units always, higher ones only as far as the score reaches.
  unit.ResetPlay();
  for (int i = 0; i < 6; ++i) unit.AddScore(3);
  ASSERT_EQ(unit.GetScore(), 35 + 55 + 75 + 95 + 115 + 135);
  EXPECT_EQ(panel("Score", 0)->GetBlockIndex(), 0);
  EXPECT_EQ(panel("Score", 1)->GetBlockIndex(), 1);
  EXPECT_EQ(panel("Score", 2)->GetBlockIndex(), 5);
  EXPECT_TRUE(panel("Score", 2)->GetVisible());
  EXPECT_FALSE(panel("Score", 3)->GetVisible());

  // The clef: full size for a best judgement, smallest for a miss, easing back to neutral every four frames.
  const auto clefArea = [&] {
    TZoAlpha* plane = unit.GClef->GetAlpha();
    int left = 96, top = 240, right = 0, bottom = 0;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 96; ++x)
        if (plane->PGet(x, y) != 0) {
          left = std::min(left, x), top = std::min(top, y);
          right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
        }
    return std::vector<int>{left, top, right, bottom};
  };
  unit.ShowJudgement(3);
  unit.DrawJudgement();
  const std::vector<int> full = clefArea();
  unit.ShowJudgement(0);
  EXPECT_EQ(unit.GetJudgementDisplay(), 0);
  unit.DrawJudgement();
  const std::vector<int> small = clefArea();
  EXPECT_GE(small[0], 24);
  EXPECT_GE(small[1], 60);
  EXPECT_LE(small[2], 72);
  EXPECT_LE(small[3], 180);
  EXPECT_LT(small[2] - small[0], full[2] - full[0]);
  std::vector<int> values;
  for (int i = 0; i < 3; ++i) {
    unit.DecayJudgement(4);
    values.push_back(unit.GetJudgementDisplay());
  }
  EXPECT_EQ(values, (std::vector<int>{1, 2, 2}));
  unit.ShowJudgement(3);
  unit.DecayJudgement(7);
  EXPECT_EQ(unit.GetJudgementDisplay(), 5);
  unit.DecayJudgement(100);
  EXPECT_EQ(unit.GetJudgementDisplay(), 2);
}


// ---- The stage ------------------------------------------------------------------------------------------------

// The picture of a panel drawn on its own (with its OnDraw) over a background colour.
std::unique_ptr<TZoRGBBits> DrawPanel(TZoRGBPanel* panel, std::uint32_t background = 0) {
  auto bits = std::make_unique<TZoRGBBits>();
  bits->SetBitDepth(bd32);
  bits->Resize(panel->GetSizeX(), panel->GetSizeY());
  bits->Create();
  bits->BoxFill(0, 0, panel->GetSizeX() - 1, panel->GetSizeY() - 1, background);
  panel->Draw(bits.get(), 0, 0);
  return bits;
}
std::uint32_t Rgb(TZoRGBBits& bits, int x, int y) { return bits.PGet(x, y) & 0xFFFFFF; }

std::string Stage(const std::string& load, const std::string& init) {
  return "[Load]\n" + load + "[Init]\n" + init + "[Before]\n[Perform]\n[After]\n";
}

TEST(MusicStage, EventArgumentsAreCheckedWhenPerformed) {
  MusicWindow m;
  SongSpec song;
  song.stage = Stage("BGPIC,0,red.bmp\nCHAR00,0,strip.png\nWAVE,0,tone.wav\n",
                     "0,BGPIC,40\n0,BGPIC,-1\n0,BGANIM,8,3\n0,BGANIM,-1\n0,CHAR09,1\n0,CHAR00,99\n0,CINT00,-5\n"
                     "0,CINT05,1\n0,WAVE,12\n0,WAVE,-1\n0,POS07,10,10\n0,POS-1,1,1\n0,POS00,100,50\n0,BGPIC,0\n"
                     "0,WAVE,0\n");
  song.files = {{"red.bmp", songfiles::Bmp(32, 32, 0xFF0000)},
                {"strip.png", songfiles::Png(64, 192, 0xFF20C040u)},
                {"tone.wav", songfiles::Wave(441)}};
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_EQ(unit.GetBack().mode, 1);
  EXPECT_EQ(unit.GetBack().index, 0);
  EXPECT_TRUE(unit.GetCharacter(0).shown);
  EXPECT_EQ(unit.GetCharacter(0).base, 0);
  EXPECT_EQ(unit.GetCharacter(0).interrupt, -1);
  for (int c = 1; c < kCharacters; ++c) EXPECT_FALSE(unit.GetCharacter(c).shown) << c;
  EXPECT_TRUE(unit.GetStage().waveBuffers[0]->IsPlay());

  // Sections beyond the last, and records that would not move the cursor or run past their section.
  unit.SetEventSection(4);
  EXPECT_EQ(unit.GetEventCursor(), -1);
  unit.SetEventSection(1000);
  EXPECT_EQ(unit.GetEventCursor(), -1);
  unit.SetEventSection(-7);
  EXPECT_EQ(unit.GetEventCursor(), 0);
  unit.PerformEvent(9);
  EXPECT_EQ(unit.GetEventCursor(), -1);
  unit.SetEventSection(2);
  EXPECT_EQ(unit.GetEventCursor(), -1) << "an empty section";
  std::uint32_t* events = unit.GetStage().events;
  const std::uint32_t length = events[0];
  for (std::uint32_t bad : {0u, 1u, 2u, 1000u, 0x80000000u}) {
    events[0] = bad;
    unit.SetEventSection(0);
    unit.PerformEvent(0);
    EXPECT_EQ(unit.GetEventCursor(), -1) << bad;
  }
  events[0] = length;
  EXPECT_EQ(unit.NextEventTime(), 0);
}

TEST(MusicStage, CharactersMoveStepTheirMotionsAndAreDrawnInOrder) {
  for (std::uint8_t charAnime : {1, 0}) {
    SCOPED_TRACE(charAnime ? "character animation on" : "off");
    MusicWindow m;
    SongSpec song;
    song.stage = Stage("CHAR00,0,three.png,loop,2,2,2\nCHAR00,1,three.png,off,1,1,1\nCERR00,two.png,off,1,1\n"
                       "CHAR01,0,one.png\n",
                       "0,POS00,100,50\n0,POS00,200,80,10\n0,POS01,300,10\n0,CINT00,1\n");
    song.files = {{"three.png", songfiles::Png(64, 288, 0xFF20C040u)},
                  {"one.png", songfiles::Png(64, 96, 0xFF4020C0u)},
                  {"two.png", songfiles::Png(64, 192, [](int, int y) { return y < 96 ? 0xFFC02040u : 0x00000000u; })}};
    m.WriteSong(song);
    TMusicUnit& unit = m.Make();
    unit.SetCharAnime(charAnime);
    ASSERT_TRUE(m.Open("QX01"));
    const TMusicUnit::TCharacterPlay& star = unit.GetCharacter(0);
    if (!charAnime) {
      EXPECT_EQ(star.x, 200) << "without animation a move is a jump";
      EXPECT_EQ(star.y, 80);
      continue;
    }
    EXPECT_EQ(star.x, 100);
    EXPECT_EQ(star.interrupt, 1);
    unit.Start();
    for (int i = 0; i < 5; ++i) unit.MusicProc(1, nullptr);
    EXPECT_EQ(star.x, 150);
    EXPECT_EQ(star.y, 65);
    EXPECT_EQ(star.interrupt, -1) << "a motion played once ends and gives way to the base motion";
    EXPECT_EQ(star.basePlay.state, 2);
    for (int i = 0; i < 5; ++i) unit.MusicProc(1, nullptr);
    EXPECT_EQ(star.x, 200);
    EXPECT_EQ(star.y, 80);
    EXPECT_EQ(star.move.duration, 0);
    const auto& order = unit.GetDrawOrder();
    EXPECT_LT(std::find(order.begin(), order.end(), 1), std::find(order.begin(), order.end(), 0))
        << "the lower character is drawn last";

    auto stage = DrawPanel(unit.BGPanel, 0x000000);
    EXPECT_EQ(Rgb(*stage, 210, 100), 0x20C040u);
    EXPECT_EQ(Rgb(*stage, 310, 20), 0x4020C0u) << "a motion of one frame stays on it";
    EXPECT_EQ(Rgb(*stage, 199, 100), 0u);

    // A miss: the error motion runs over the base motion, once.
    unit.PressKey(0);
    EXPECT_EQ(star.errorPlay.state, 0);
    stage = DrawPanel(unit.BGPanel, 0x000000);
    EXPECT_EQ(Rgb(*stage, 210, 100), 0xC02040u);
    unit.MusicProc(1, nullptr);
    stage = DrawPanel(unit.BGPanel, 0x000000);
    EXPECT_EQ(Rgb(*stage, 210, 100), 0u) << "the error motion's second cell is clear";
    unit.MusicProc(1, nullptr);
    EXPECT_EQ(star.errorPlay.state, -1);
  }
}

TEST(MusicStage, BackgroundsFadeAndAnimate) {
  MusicWindow m;
  SongSpec song;
  song.stage = Stage("BGPIC,0,red.bmp\nBGPIC,1,blue.bmp\nBGANIM,0,f[1-3].bmp,2,3,4\n",
                     "0,BGPIC,0\n0,BGPIC,1,2\n");
  song.files = {{"red.bmp", songfiles::Bmp(32, 32, 0xFF0000)},  {"blue.bmp", songfiles::Bmp(32, 32, 0x0000FF)},
                {"f1.bmp", songfiles::Bmp(32, 32, 0x00FF00)},   {"f2.bmp", songfiles::Bmp(32, 32, 0xFFFFFF)},
                {"f3.bmp", songfiles::Bmp(32, 32, 0x808080)}};
  m.WriteSong(song);
  TMusicUnit& unit = m.Make();
  ASSERT_TRUE(m.Open("QX01"));
  TZoRGBBits& back = *unit.BGPanel->GetImage();
  EXPECT_EQ(Rgb(back, 5, 5), 0xFF0000u) << "the fade starts from the old picture";
  unit.Start();
  for (int i = 0; i < 16; ++i) unit.MusicProc(1, nullptr);
  const std::uint32_t half = Rgb(back, 5, 5);
  EXPECT_NEAR(static_cast<int>(half >> 16), 0x80, 2);
  EXPECT_NEAR(static_cast<int>(half & 0xFF), 0x80, 2);
  for (int i = 0; i < 16; ++i) unit.MusicProc(1, nullptr);
  EXPECT_EQ(Rgb(back, 5, 5), 0x0000FFu);
  EXPECT_EQ(Rgb(back, 40, 40), 0u) << "a small picture leaves the rest of the stage dark";

  // The animation loops through its frames by their durations.
  std::filesystem::remove_all(m.w.game.path() / "Song");
  song.stage = Stage("BGPIC,0,red.bmp\nBGANIM,0,f[1-3].bmp,2,3,4\n", "0,BGANIM,0\n0,BGPIC,5\n0,BGANIM,0,0\n");
  m.WriteSong(song);
  TMusicUnit& anime = m.Make();
  ASSERT_TRUE(m.Open("QX01"));
  anime.Start();
  std::vector<std::uint32_t> colours;
  for (int i = 0; i < 10; ++i) {
    colours.push_back(Rgb(*anime.BGPanel->GetImage(), 5, 5));
    anime.MusicProc(1, nullptr);
  }
  EXPECT_EQ(colours, (std::vector<std::uint32_t>{0x00FF00, 0x00FF00, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x808080, 0x808080,
                                                0x808080, 0x808080, 0x00FF00}));

  // Without background animation a fade is a cut.
  std::filesystem::remove_all(m.w.game.path() / "Song");
  song.stage = Stage("BGPIC,0,red.bmp\nBGPIC,1,blue.bmp\n", "0,BGPIC,0\n0,BGPIC,1,8\n");
  m.WriteSong(song);
  m.Make().SetBGAnime(0);
  ASSERT_TRUE(m.Open("QX01"));
  EXPECT_EQ(Rgb(*m.unit->BGPanel->GetImage(), 5, 5), 0x0000FFu);
}

TEST(MusicStage, LyricsInEachWordMode) {
  const VXString word(u"ほしぞら");
  const VXString longWord(u"ながいながいながいながいながいながいながいながいながいながい");  // 60 bytes: wider than the line
  for (std::uint8_t mode : {0, 1, 2}) {
    SCOPED_TRACE("word mode " + std::to_string(mode));
    MusicWindow m;
    m.WriteSong(SongSpec{});
    TMusicUnit& unit = m.Make();
    unit.SetWordMode(mode);
    ASSERT_TRUE(m.Open("QX01"));
    unit.ShowWord(word);
    if (mode == 0) {
      EXPECT_FALSE(unit.WordP->GetVisible());
      continue;
    }
    EXPECT_TRUE(unit.WordP->GetVisible());
    EXPECT_EQ(unit.WordP->GetOffsetY(), 258);
    const auto brightest = [](TZoRGBBits& bits, int x0, int x1) {
      int most = 0;
      for (int y = 0; y < bits.GetHeight(); ++y)
        for (int x = x0; x < x1; ++x) most = std::max<int>(most, Rgb(bits, x, y) & 0xFF);
      return most;
    };
    auto line = DrawPanel(unit.WordP, 0x203040);
    EXPECT_GT(brightest(*line, 240, 336), 0xC0) << "the word, centred";
    EXPECT_EQ(brightest(*line, 0, 200), 0x40) << "nothing but the stage around it";
    unit.ShowWord(longWord);
    line = DrawPanel(unit.WordP, 0x203040);
    EXPECT_GT(brightest(*line, 0, 12), 0xC0) << "a long word fills the line from its start";
    EXPECT_GT(brightest(*line, 564, 576), 0xC0) << "to its end";
    unit.ShowWord("");
    EXPECT_FALSE(unit.WordP->GetVisible());
  }
}


// ---- The demo game's songs ------------------------------------------------------------------------------------

struct DemoSong {
  const char* id;
  int eventNumber;
};

class DemoSongs : public ::testing::TestWithParam<DemoSong> {};

// Every demo song (and each event part of the one that has them) played by the program to its end.
TEST_P(DemoSongs, PlayedByTheProgramToTheirEnd) {
  MusicWindow m(true);
  TMusicUnit& unit = m.Make();
  unit.SetAutoMode(1);
  unit.SetEventNumber(GetParam().eventNumber);
  ASSERT_TRUE(m.Open(GetParam().id));
  int played = 0;
  for (int i = 0; i < unit.GetNoteCount(); ++i) played += unit.GetNotes()[i].pitch >= 0;
  ASSERT_GT(played, 20);
  m.Play();
  bool lyric = false;
  for (int i = 0; i < 4000 && m.results.empty(); ++i) {
    m.Frame();
    lyric |= unit.WordP->GetVisible();
  }
  ASSERT_EQ(m.results, std::vector<int>{0});
  EXPECT_EQ(unit.GetScore(), 0) << "the program's notes score nothing";
  EXPECT_EQ(unit.GetCheckValue(), TMusicUnit::kCheckStart);
  EXPECT_EQ(unit.GetGauge(), std::min(TMusicUnit::kGaugeMax, TMusicUnit::kGaugeStart + played));
  for (int i = 0; i < unit.GetNoteCount(); ++i) {
    if (unit.GetNotes()[i].pitch < 0) continue;
    EXPECT_NE(unit.GetNotes()[i].state, 0) << "note " << i;
  }
  EXPECT_TRUE(lyric) << "the lyrics were shown";
  EXPECT_FALSE(unit.GetSongStream()->IsPlay());
}

INSTANTIATE_TEST_SUITE_P(Demo, DemoSongs,
                         ::testing::Values(DemoSong{"QM01", 0}, DemoSong{"QM02", 0}, DemoSong{"QM03", 0},
                                           DemoSong{"QM04", 0}, DemoSong{"QM05", 0}, DemoSong{"QM05", 2},
                                           DemoSong{"QM05", 3}, DemoSong{"QE01", 0}, DemoSong{"QE02", 0},
                                           DemoSong{"QE03", 0}),
                         [](const auto& info) {
                           return std::string(info.param.id) + "_part" + std::to_string(info.param.eventNumber);
                         });

// The key of a key index on the keyboard (the chart's rows: home, top, bottom).
SDL_Scancode KeyOf(int key) {
  static const SDL_Scancode kKeys[kKeyIndices] = {
      SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F,     SDL_SCANCODE_J,      SDL_SCANCODE_K,
      SDL_SCANCODE_L, SDL_SCANCODE_SEMICOLON, SDL_SCANCODE_G, SDL_SCANCODE_H, SDL_SCANCODE_Q,  SDL_SCANCODE_W,
      SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_U, SDL_SCANCODE_I,     SDL_SCANCODE_O,      SDL_SCANCODE_P,
      SDL_SCANCODE_T, SDL_SCANCODE_Y, SDL_SCANCODE_Z, SDL_SCANCODE_X,     SDL_SCANCODE_C,      SDL_SCANCODE_V,
      SDL_SCANCODE_M, SDL_SCANCODE_COMMA, SDL_SCANCODE_PERIOD, SDL_SCANCODE_SLASH, SDL_SCANCODE_B, SDL_SCANCODE_N};
  return kKeys[key];
}

// A player who strikes each key in the frame nearest its note, by the song position the frame will use: every
// note is judged best, the score and the check value follow, and the position the play uses is the audio heard
// (in the wave mode, 50 ms behind what was mixed) or the clock (in the timer mode), within a millisecond.
TEST(DemoPlay, APlayerOnTimeIsJudgedBestAndThePositionIsWhatIsHeard) {
  for (std::uint8_t timing : {1, 0}) {
    SCOPED_TRACE(timing ? "wave" : "timer");
    MusicWindow m(true, timing ? 2205 : 0);
    TMusicUnit& unit = m.Make();
    unit.SetRankMode(1);
    unit.SetTimingMode(timing);
    ASSERT_TRUE(m.Open("QM02"));
    m.Play();
    ASSERT_TRUE(m.RunToPhase(3, 600));
    std::vector<bool> pressed(static_cast<std::size_t>(unit.GetNoteCount()), false);
    std::int64_t worst = 0;
    int frames = 0;
    for (; frames < 4000 && m.results.empty(); ++frames) {
      if (unit.GetPhase() == 3) {
        const std::int64_t next = timing ? m.NextHeardPosition()
                                         : Position(static_cast<std::uint32_t>(m.w.form->GetGameClock() + m.NextFrameMs()));
        for (int i = 0; i < unit.GetNoteCount(); ++i) {
          const TMusicNote& note = unit.GetNotes()[i];
          if (note.pitch < 0 || pressed[i] || note.time > next + 1323) continue;
          m.Key(KeyOf(note.key));
          pressed[i] = true;
        }
      }
      m.Frame();
      // After its end the song stays at its end while the device plays out silence.
      const std::int64_t end = unit.GetSongStream()->GetStreamSize() >> 1;
      if (unit.GetPhase() == 3 && m.HeardPosition() < end)
        worst = std::max(worst, std::abs(m.HeardPosition() - unit.GetPosition()));
    }
    ASSERT_EQ(m.results, std::vector<int>{0});
    int n = 0, expected = 0;
    for (int i = 0; i < unit.GetNoteCount(); ++i) {
      if (unit.GetNotes()[i].pitch < 0) continue;
      ++n;
      const int gauge = std::min(TMusicUnit::kGaugeMax, TMusicUnit::kGaugeStart + n - 1);
      expected += 20 * std::min(n, 10) + (gauge == TMusicUnit::kGaugeMax ? 111 : 15);
    }
    EXPECT_EQ(unit.GetScore(), expected) << n << " notes, every one judged best";
    EXPECT_EQ(unit.GetCheckValue(), static_cast<std::uint32_t>(0x00FFFFFF - expected));
    EXPECT_EQ(unit.GetGauge(), TMusicUnit::kGaugeMax);
    EXPECT_LT(worst, 88) << "the position against the audio heard, in 88.2ths of a millisecond";
  }
}

}  // namespace

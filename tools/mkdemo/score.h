// Note lists: the sources of the demo game's music and sounds (data/music/*.txt, data/sounds/*.txt).
//
// A score file holds settings, voices and note lines:
//   tempo 96                 beats per minute
//   beats 32                 length of the piece in beats
//   loop 0                   beat where a repeat of the piece starts (music): the sound that rings past the end is
//                            carried there, so that the repeat is seamless; without it (sounds) the tail is kept
//   loopframe 793755         the loop beat must fall on this sample frame; the tempo then follows from it
//   reverb 0.25              amount of room (0 dry)
//   channels 2               1 mono, 2 stereo
//   title 星灯りの序曲        (for the reader; the sound room takes its names from labels.txt)
//   voice lead bell 0.35 -0.2      name, instrument, volume, pan (-1 left .. 1 right)
//   lead: E5/1 G5/0.5 A5/0.5 | C6+E6/2 r/1
// Each note line continues its voice where its last line ended. A token is a pitch (C4 is middle C; '#' and 'b'
// alter), a chord of pitches joined by '+', or 'r' for a rest, then '/' and its length in beats (the previous
// length when left out). For the drums instrument pitches are letters: k kick, s snare, h hat, o open hat, c clap,
// t shaker. '|' marks bars and is ignored. A line starting with "*N" is played N times.
#pragma once

#include <string>
#include <vector>

namespace mkdemo {

// Codes of the drum letters, kept as negative pitches.
enum DrumHit { kKick = -1, kSnare = -2, kHat = -3, kOpenHat = -4, kClap = -5, kShaker = -6 };

struct ScoreVoice {
  std::string name;
  std::string instrument;
  float volume = 0.5f;
  float pan = 0;
};

struct ScoreNote {
  int voice = 0;
  double beat = 0;
  double length = 1;
  std::vector<float> pitches;  // MIDI note numbers, or DrumHit codes
};

struct Score {
  double tempo = 120;
  double beats = 0;
  bool loops = false;
  double loopBeat = 0;
  long loopFrame = -1;  // -1: the tempo rules
  float reverb = 0;
  int channels = 2;
  std::vector<ScoreVoice> voices;
  std::vector<ScoreNote> notes;

  double FramesPerBeat(int rate) const;
};

// A pitch name as a MIDI note number: "C4" is 60, '#' and 'b' alter. Throws std::runtime_error.
float NotePitch(const std::string& text);

// Throws std::runtime_error naming the file and line of anything it cannot read.
Score ReadScore(const std::string& path);

}  // namespace mkdemo

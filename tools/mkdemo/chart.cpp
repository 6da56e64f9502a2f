#include "tools/mkdemo/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "tools/mkdemo/style.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

// Scale steps of the semitones of an octave; -1 for notes outside the scale.
constexpr int kMajor[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
constexpr int kMinor[12] = {0, -1, 1, 2, -1, 3, -1, 4, 5, -1, 6, -1};
// Key characters by key index: each row's four left keys, four right keys, then its two middle keys. The comma
// key is written as its shifted '<' (the same key), since a comma ends the field.
constexpr char kKeys[] = "asdfjkl;ghqweruioptyzxcvm<./bn";

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }


// Up to three decimals, without trailing zeros.
std::string Decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

std::string ToneName(int pitch) {
  static const char* const kNames[] = {"C", "CS", "D", "DS", "E", "F", "FS", "G", "GS", "A", "AS", "B"};
  return kNames[((pitch % 12) + 12) % 12] + std::to_string(FloorDiv(pitch, 12) - 1);
}

int KeyIndex(const SongSource& song, int pitch) {
  const int semis = pitch - song.keyBase;
  const int octave = FloorDiv(semis, 12), within = semis - 12 * octave;
  const int* scale = song.minor ? kMinor : kMajor;
  const bool outside = scale[within] < 0;
  const int step = (outside ? scale[within - 1] : scale[within]) + 7 * octave;
  if (step < -8 || step > 15) throw std::runtime_error(song.id + ": " + ToneName(pitch) + " lies beyond the keys");
  const int row = step >= 8 ? 1 : step < 0 ? 2 : 0;
  const int column = step - (row == 1 ? 8 : row == 2 ? -8 : 0);
  return 10 * row + (outside ? (column < 4 ? 8 : 9) : column);
}

char KeyCharacter(int key) { return kKeys[key]; }

std::vector<ChartNote> ChartNotes(const SongSource& song) {
  const double perBeat = song.score.FramesPerBeat(kSampleRate);
  const int voice = song.PlayedVoice();
  std::vector<ChartNote> notes;
  for (const Lyric& lyric : song.lyrics) {
    ChartNote rest;
    rest.frame = std::lround(lyric.beat * perBeat);
    rest.rest = true;
    rest.words = lyric.words;
    notes.push_back(rest);
  }
  // A lyric lasts until the next one.
  for (std::size_t i = 0; i < notes.size(); ++i)
    notes[i].length = (i + 1 < notes.size() ? song.lyrics[i + 1].beat : song.score.beats) - song.lyrics[i].beat;
  for (const ScoreNote& note : song.score.notes) {
    if (note.voice != voice) continue;
    for (float pitch : note.pitches) {
      ChartNote played;
      played.frame = std::lround(note.beat * perBeat);  // as the synthesiser starts it
      played.length = note.length;
      played.pitch = static_cast<int>(pitch);
      played.key = KeyIndex(song, played.pitch);
      notes.push_back(played);
    }
  }
  std::stable_sort(notes.begin(), notes.end(), [](const ChartNote& a, const ChartNote& b) {
    return a.frame != b.frame ? a.frame < b.frame : a.rest > b.rest;
  });
  for (std::size_t i = 1; i < notes.size(); ++i)
    if (!notes[i].rest && !notes[i - 1].rest && notes[i].frame == notes[i - 1].frame &&
        notes[i].key == notes[i - 1].key)
      throw std::runtime_error(song.id + ": two notes on one key at once (" + ToneName(notes[i].pitch) + ")");
  return notes;
}

std::vector<int> ChartPitches(const SongSource& song) {
  std::set<int> pitches;
  for (const ChartNote& note : ChartNotes(song))
    if (!note.rest) pitches.insert(note.pitch);
  return {pitches.begin(), pitches.end()};
}

std::string ChartFile(const SongSource& song) {
  std::string out = "# " + song.id + " " + Cp932Text(song.title) + "\r\n";
  out += "# time (88.2 a millisecond), length (beats), tone, key / lyric\r\n";
  for (const ChartNote& note : ChartNotes(song)) {
    out += std::to_string(std::max(1L, note.Time())) + "," + Decimal(note.length) + ",";
    out += note.rest ? "@" + (note.words.empty() ? "" : "," + Cp932Text(note.words))
                     : ToneName(note.pitch) + "," + KeyCharacter(note.key);
    out += "\r\n";
  }
  return out;
}

}  // namespace mkdemo

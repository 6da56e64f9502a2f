// The chart of a song ("Song.txt") and its key tones, made from the played voice of the song's note list, so that
// every note of the chart lies where the same note sounds in the song audio.
//
// A chart line is "time,length,tone,key" for a note and "time,length,@,words" for a rest that carries a lyric
// (or clears it, without words). Times are song positions: 88.2 a millisecond, which is two for every sample
// frame of the 44,100 Hz audio, so a note that starts at frame f has time 2f exactly (the synthesiser starts a note
// at the frame nearest its beat). Lengths are beats, with up to three decimals. Tones are named after their pitch
// ("C5", "FS4" for F sharp), and each has its key tone "<tone>.<kind>" in the key part.
//
// Keys: one chart serves every level. The keys climb the song's scale from key A (its `keys` pitch): the home row
// A S D F J K L ; holds scale steps 0..7, the top row Q W E R U I O P steps 8..15, the bottom row Z X C V M , . /
// steps -8..-1; a note outside the scale takes the middle key of its row (G, T, B below the row's middle, H, Y, N
// above). Hard plays all thirty keys as written; normal folds every row onto the home row; easy leaves the outer
// keys to the program.
#pragma once

#include <string>
#include <vector>

#include "tools/mkdemo/songsource.h"

namespace mkdemo {

struct ChartNote {
  long frame = 0;     // sample frame where it starts
  double length = 1;  // beats
  int pitch = 0;      // MIDI
  int key = 0;        // key index 0..29
  bool rest = false;  // a lyric line
  std::string words;  // the lyric (UTF-8), rests only
  long Time() const { return 2 * frame; }
};

// The notes of the played voice and the lyric rests, in time order (a lyric before a note at the same time).
// Throws std::runtime_error for a note the keyboard cannot hold or two notes on one key at once.
std::vector<ChartNote> ChartNotes(const SongSource& song);
// Every pitch the chart plays, in rising order.
std::vector<int> ChartPitches(const SongSource& song);
std::string ToneName(int pitch);
// The key index of a pitch; throws std::runtime_error when it lies beyond the three rows.
int KeyIndex(const SongSource& song, int pitch);
// The key character that gives a key index on hard.
char KeyCharacter(int key);
// "Song.txt": CP932 text with CRLF line ends.
std::string ChartFile(const SongSource& song);

}  // namespace mkdemo

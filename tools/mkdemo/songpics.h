// The pictures that show a song outside its stage, drawn from its title, credit and chart:
// - "curtain.png", 480 x 188 with alpha: the title band shown over the opening curtain of the music game;
// - "songtitle2.png", 360 x 150, opaque: the song select's title picture, drawn as it is;
// - "songtitle.png", 340 x 137, opaque: the older title picture, of which the song select shows the part from
//   (16, 2) on, enlarged by 10/9 (so the design keeps to that part);
// - "songdata.png", 255 x 187 with alpha: the song select's information panel (ID, tempo, playing time, number of
//   notes, and the difficulty of each level in stars);
// - "songname.png", 224 x 28 with alpha: the title in one line, for the rows of the song-score screen.
#pragma once

#include <string>

#include "tools/mkdemo/songsource.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

inline constexpr int kSongNameWidth = 224, kSongNameHeight = 28;

bool IsSongPicture(const std::string& name);
// Throws std::runtime_error for a name IsSongPicture refuses.
std::string SongPicture(const Style& style, const SongSource& song, const std::string& name);

// Stars of difficulty (1..5) of a level, from the chart: the notes a second the player plays at that level, and
// for hard the share of notes off the home row.
int LevelStars(const SongSource& song, int level);

}  // namespace mkdemo

// The songs of the music game, from data/songs/ (tools/mkdemo/songsource.h), each under "Song/<ID>/" in the game
// folder:
// - the song part ("song.pak" or "song/") and any event parts ("event", "event2", ...): "SONG.ID" (version tag,
//   ID, options, then title, credit, tempo, length and maker, eight lines), "Song.txt" (tools/mkdemo/chart.h),
//   "Anime.txt" from the part's stage source (tools/mkdemo/stage.h) with every file it loads
//   (tools/mkdemo/songart.h), and "curtain.png"; the song part also holds the song-select and song-score pictures
//   (tools/mkdemo/songpics.h);
// - the key part ("key.pak" or "key/"): one key tone "<tone>.<kind>" for every pitch of the chart, the played
//   voice's instrument alone;
// - the song audio "song.ogg", "song.adp" or "song.wav" beside the parts: the whole note list, 44,100 Hz stereo,
//   so that the game's song position (half the byte position of the decoded sound) counts 88.2 a millisecond.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSongs(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo

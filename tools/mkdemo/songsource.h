// The sources of one song of the music game, in data/songs/<ID>/ (data/songs/songs.txt lists the IDs in order):
//
//   info.txt   what the song is and how it is stored:
//     title    星降る丘で            the title (UTF-8, with a Shift-JIS form), on every picture of the song
//     artist   作曲 …               a credit line for the pictures
//     version  200                  the "SONG.ID" version: 200 and above read the options line and may play Ogg
//                                   audio; below 111 the chart's lyric is one field
//     options  STORY=ON             the options line of "SONG.ID" (version 200 and above; empty when left out)
//     audio    ogg                  the song audio "Song/<ID>/song.<ogg|adp|wav>"
//     tones    ogg                  the kind of the key tones (ogg, adp or wav)
//     part     song pack Anime.txt  a part of the song: song, event, eventN or key; pack or folder; for the song
//                                   and event parts the stage-script source of that part
//     titles   songtitle2 songtitle the song-select title pictures the main part holds
//     play     melody               the voice of score.txt whose notes are the chart and the key tones
//     keys     C5 major             the pitch of key A and the scale that climbs the keys from there
//     colour   gold                 the accent colour of the song's pictures (a palette name)
//     lyric    8 きらめく星が         from beat 8 the lyric line shows these words; a lyric without words
//                                   clears it
//   score.txt  the note list of the song audio (tools/mkdemo/score.h); the played voice is the chart
//   art.txt    how to make each picture, sound and motion file the stage scripts name (tools/mkdemo/songart.h)
//   *.txt      the stage-script sources (tools/mkdemo/stage.h) and the motion description files
#pragma once

#include <string>
#include <vector>

#include "tools/mkdemo/score.h"

namespace mkdemo {

struct SongPart {
  std::string name;   // "song", "event", "event2", ..., "key"
  bool pack = false;  // a pack "<name>.pak", else a folder
  std::string stage;  // the stage-script source (song and event parts)
};

struct Lyric {
  double beat = 0;
  std::string words;  // UTF-8; empty clears the line
};

struct SongSource {
  std::string id;
  std::string folder;  // data/songs/<ID>
  std::string title, artist;
  int version = 200;
  std::string options;
  std::string audio = "ogg", tones = "ogg";
  std::vector<SongPart> parts;
  std::vector<std::string> titlePictures;
  std::string play;
  int keyBase = 72;  // MIDI pitch of key A
  bool minor = false;
  std::string colour = "gold";
  std::vector<Lyric> lyrics;
  Score score;

  int PlayedVoice() const;  // index of `play` in the score's voices
  const SongPart* Part(const std::string& name) const;
};

// The IDs of data/songs/songs.txt, in order.
std::vector<std::string> SongIds(const std::string& dataFolder);
// Reads info.txt and score.txt; throws std::runtime_error naming the file and line of anything wrong.
SongSource ReadSongSource(const std::string& dataFolder, const std::string& id);

}  // namespace mkdemo

// Writes the made files as the game finds them, in both modes of its data:
// - pack mode: the game folder gets "Splash.jpg", "Game.pak" (the main data, written with the core library's pack
//   writer), "BGM/" and "Movie/";
// - folder mode: a second game folder gets the same files with the main data as plain files under "Game_Pak/".
// (A folder holding both "Game.pak" and "Game_Pak" reads the pack, so the two modes live in two folders.)
// The songs ("Song/<ID>/...") are the same in both: each part of a song is a pack or a folder as its asset rows say.
// The other data sets (the stage's "EvBG" and "EvCG") follow the main data: "<set>.pak" in pack mode, the folder
// "<set>_Pak" in folder mode. What an earlier run left there ("Game.pak", "Game_Pak/", "BGM/", "Movie/",
// "Song/", "Splash.jpg", the sets' packs and folders) is replaced; nothing else in the folders is touched. Pack entries carry one fixed time stamp, so equal files give an equal pack.
#pragma once

#include <string>
#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

struct MadeFile {
  std::string name;
  Place place;
  std::string bytes;
  std::string part = {};
};

// Throws std::runtime_error naming what could not be written.
void WriteGameFolders(const std::vector<MadeFile>& files, const std::string& packGame, const std::string& folderGame);

}  // namespace mkdemo

// What the demo-game builder makes: one row per file, with where it goes and the function that makes its bytes.
// Each family of assets (system pictures, sound-room pictures, system sounds, music, ...) adds its rows; a new
// screen's pictures are one more family in the table of AllAssets.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/mkdemo/style.h"

namespace mkdemo {

enum class Place {
  kRoot,  // the game folder itself (the splash picture)
  kMain,  // the main data: "Game.pak" in pack mode, the folder "Game_Pak" in folder mode
  kBgm,   // the music folder "BGM"
  kMovie, // the movie folder "Movie" (the movie player reads files, never packs)
  kPart,  // a part of a song: a pack or a folder below the game folder, named by `part`
  kSet,   // a data set beside the main data, named by `part` ("EvBG"): "EvBG.pak" in pack mode, the folder
          // "EvBG_Pak" in folder mode
};

struct Asset {
  std::string name;  // as the game opens it
  Place place;
  std::function<std::string()> make;
  // kPart: the part's path in the game folder, as the game names it with '/' for '\\': "Song/QM01/song.pak" is a
  // pack, "Song/QM01/song" a folder. kSet: the set's name.
  std::string part = {};
};

struct Context {
  std::string dataFolder;
  Style style;
};

using Family = void (*)(const Context& context, std::vector<Asset>& assets);

// Every row of every family, in a fixed order.
std::vector<Asset> AllAssets(const Context& context);

}  // namespace mkdemo

// How the files a song's stage scripts name are made, from data/songs/art.txt (shared by every song) and
// data/songs/<ID>/art.txt (the song's own, which wins): one line a file, its name (as the stage script names it)
// and a recipe:
//   hill.jpg      backdrop hill 11          a stage background (tools/mkdemo/backdrops.h): scene, seed
//   sky2.jpg      backdrop hill 11 2 4      frame 2 of 4 of an animated background
//   star.png      strip star idle bob       a picture strip of 64 x 96 cells, one pose a cell, downward
//   dance.png     sheet star 80 96 4 a b c  cells of 80 x 96, 4 across, one pose a cell (tools/mkdemo/mascots.h)
//   chime.ogg     sound chime               data/songs/sounds/chime.txt (a note list), as .ogg, .adp or .wav
//   dance.txt     copy                      the file of that name in the song's folder, else in data/songs/
//                                           (motion description files)
// Backgrounds may be .jpg, .png or .bmp; the performers' pictures are .png (their alpha plane is their outline).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/mkdemo/songsource.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

struct ArtRecipe {
  std::string name;
  std::vector<std::string> words;  // the kind, then its values
};

// Throws std::runtime_error naming the file and line of a bad recipe.
std::map<std::string, ArtRecipe> ReadArt(const SongSource& song);
std::string MakeArt(const Style& style, const SongSource& song, const ArtRecipe& recipe);

}  // namespace mkdemo

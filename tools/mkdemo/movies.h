// The demo game's movies, in the "Movie" folder beside the game (the movie player reads them as files, in pack
// mode and folder mode alike): the opening "QMOP.mpg", the event movies "QM00.mpg" and "QM01.mpg" and the endings
// "QMED1.mpg" and "QMED2.mpg". Each is a short scene drawn frame by frame: backdrops and sprites drawn once with
// the house style, then moved, faded and laid over each other with the bitmap library's kernels; 640 x 480 at 24
// pictures a second, MPEG-1 with MP2 sound (tools/mpegwriter). The sound is the movie's note list
// (data/movies/<name>.txt), and the movie lasts as long as that piece.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

inline constexpr int kMovieFps = 24;

void AddMovies(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo

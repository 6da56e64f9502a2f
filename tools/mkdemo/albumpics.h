// The album's files: the table "AlbumTbl.csv" (entries 0-9 listing the event pictures 500-513), the background
// "AlbumBG1.jpg" (640 x 480, a frame under each of the 20 places of the grid), the hover light "AlbumHikari.png"
// (106 x 80, three blocks of a gold rim growing brighter), the page buttons "AlbumP1.png" .. "AlbumP3.png" (46 x 28:
// normal, focus, selected), the thumbnails "AlbumEv00.bmp" .. "AlbumEv09.bmp" (106 x 80) and the event pictures
// "bg500" .. "bg513" in the event files (the pack "EvBG.pak", or the folder "EvBG_Pak" in folder mode): night
// scenes of 640 x 480 as JPEG, PNG and BMP, with bg503 (960 x 720) and bg505 (640 x 960) larger than the screen.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddAlbumPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo

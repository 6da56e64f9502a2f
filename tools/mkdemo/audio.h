// The demo game's sounds, synthesised from the note lists of data/ and written as Ogg Vorbis: the ten system
// sounds ("SysSEOK.ogg" ... "SysSEClick06.ogg" in the main data, from data/sounds/<name>.txt) and the nine tracks
// of the sound room ("Track01.bgm" ... "Track09.bgm" in "BGM/", Ogg Vorbis despite the extension, from
// data/music/TrackNN.txt). Tracks are exact loops: tracks 3 and 4 repeat from the loop points the game's sound
// service sets (their scores say where), the others from their start.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSystemSounds(const Context& context, std::vector<Asset>& assets);
void AddMusic(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo

// Ogg Vorbis files of the demo game's sounds, through libvorbisenc. The stream serial number is fixed and the
// comment header carries only the library's vendor text, so the same samples always give the same bytes.
#pragma once

#include <string>

#include "tools/mkdemo/synth.h"

namespace mkdemo {

// quality: libvorbisenc's VBR quality, -0.1 .. 1.
std::string OggFile(const Sound& sound, float quality);

}  // namespace mkdemo

// Sound files of the demo game other than Ogg Vorbis (tools/mkdemo/oggfile.h): RIFF wave (16-bit PCM) and ADP
// (4-bit ADPCM, through the device library's encoder), and the choice among the three by a file name's extension.
// The same samples always give the same bytes.
#pragma once

#include <string>

#include "tools/mkdemo/synth.h"

namespace mkdemo {

std::string WavFile(const Sound& sound);
std::string AdpFile(const Sound& sound);
// By the extension of `name` (any case): ".ogg" Ogg Vorbis at the quality given, ".adp" ADP, ".wav" wave; throws
// std::runtime_error for any other.
std::string SoundFile(const std::string& name, const Sound& sound, float quality);

}  // namespace mkdemo

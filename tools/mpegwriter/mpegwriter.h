// Writes MPEG-1 movies: mpeg1video pictures and, when asked, MP2 sound (44,100 Hz stereo) in an MPEG program stream,
// the form the game's movie player reads. The caller draws each picture into the 4:2:0 planes it is given (or
// converts its own BGRX pixels with `FromBgrx`) and fills each block of sound; the writer encodes, interleaves and
// muxes them.
//
// The same pictures and sound always give the same bytes, on any machine with the same FFmpeg: one encoding thread,
// the plain C transforms and quantiser (never a processor-dependent one), no encoder or muxer version written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mpegwriter {

struct Settings {
  int width = 64;  // both even
  int height = 48;
  int fps = 25;  // a rate MPEG-1 names: 24, 25, 30, 50 or 60
  int gopSize = 12;
  int maxBFrames = 2;
  int slices = 0;  // slices a picture; 0 leaves one a picture
  // Bits a second asked of the picture encoder; 0 encodes at the constant quantiser `quantiser` (1 best .. 31).
  std::int64_t videoBitRate = 400'000;
  int quantiser = 4;
  bool sound = true;
  int soundBitRate = 128'000;
  std::int64_t muxRate = 0;  // bits a second of the program stream; 0 leaves the muxer's own
};

inline constexpr int kSampleRate = 44100;

// The planes of one picture to fill: luma width x height, chroma half that each way.
struct Planes {
  std::uint8_t* data[3];
  int pitch[3];
  int width, height;
};

// Fills picture n (0 first). A fill may throw: the writer lets go of everything and passes the exception on.
using PictureFill = std::function<void(Planes& picture, int n)>;
// Fills `count` stereo sample frames (interleaved, left first) from frame `first` of the sound.
using SoundFill = std::function<void(std::int16_t* samples, int count, std::int64_t first)>;

// Encodes `frames` pictures and, with sound, the sound of their length (frames x 44,100 / fps sample frames).
// False, with *error set, when FFmpeg lacks an encoder or a step fails.
bool WriteFile(const std::string& path, const Settings& settings, int frames, const PictureFill& picture,
               const SoundFill& sound, std::string* error = nullptr);
// The same into memory: the file's bytes, or empty on failure.
std::string WriteBytes(const Settings& settings, int frames, const PictureFill& picture, const SoundFill& sound,
                       std::string* error = nullptr);

// BGRX pixels (B, G, R, unused; `pitch` bytes a row, the picture's size) into the planes, in studio-range BT.601
// as MPEG wants it; each chroma sample is the mean of its 2 x 2 pixels.
void FromBgrx(const std::uint8_t* bgrx, int pitch, Planes& picture);

}  // namespace mpegwriter

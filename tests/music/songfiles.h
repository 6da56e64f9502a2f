// Small song files written by the music tests: pictures, WAVE sounds, "SONG.ID" and song folders in a temporary game
// folder that is the current folder while the test runs (the game finds its songs below the current folder).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/vxpack.h"
#include "device/sound_fixtures.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace songfiles {

// A 24-bit BMP of one colour (0x00RRGGBB).
inline std::string Bmp(int w, int h, std::uint32_t rgb) {
  return pictures::MakeBmp({w, h, 24, 0, 0, 40, 0, {}, pictures::Rows24(w, h, std::vector<std::uint32_t>(w * h, rgb))});
}

// An RGBA PNG: colour(x, y) gives 0xAARRGGBB.
template <class Colour>
std::string Png(int w, int h, Colour colour) {
  pictures::PngSpec s{w, h, 6, 8, false, {}, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = colour(x, y);
      s.rows.insert(s.rows.end(), {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                   static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 24)});
    }
  return pictures::MakePng(s);
}
inline std::string Png(int w, int h, std::uint32_t argb) {
  return Png(w, h, [argb](int, int) { return argb; });
}

// A 44,100 Hz 16-bit stereo WAVE of `frames` frames: a quiet tone, or silence.
inline std::string Wave(int frames, double hz = 440, double amplitude = 2000) {
  return fixtures::PcmWave(2, 44100, 16, fixtures::Bytes16(fixtures::Tone(frames, 2, 44100, hz, amplitude)));
}

// "SONG.ID": the version tag, the ID, the options line and five more lines.
inline std::string SongId(const std::string& tag, const std::string& id, const std::string& options = "",
                          int extraLines = 5) {
  std::string out = tag + "\r\n" + id + "\r\n" + options + "\r\n";
  for (int i = 0; i < extraLines; ++i) out += "line\r\n";
  return out;
}

// Makes the folder the current folder while it lives.
class CurrentFolder {
public:
  explicit CurrentFolder(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() { std::filesystem::current_path(old_); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
  std::filesystem::path old_;
};

// Packs the files (name, bytes) into a pack at `path`; the bytes pass through a scratch folder.
inline void WritePack(const TempDir& scratch, const std::string& path,
                      const std::vector<std::pair<std::string, std::string>>& files) {
  VXPack pack;
  pack.SetReadOnly(false);
  if (!pack.NewPack(path.c_str())) throw std::runtime_error("cannot make " + path);
  int n = 0;
  for (const auto& [name, bytes] : files) {
    const std::string source = scratch.Write("packsource/" + std::to_string(n++), bytes);
    if (!pack.AddFile(name.c_str(), source.c_str(), VXPackAddStore, false)) throw std::runtime_error(name);
  }
  if (!pack.EndPack()) throw std::runtime_error("cannot finish " + path);
}

}  // namespace songfiles

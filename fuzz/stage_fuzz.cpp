// A stage script ("Anime.txt") with its motion description files, as a damaged or crafted song could hold them:
// the input is the script, then after each line "@@" up to two motion files, "m0.txt" and "m1.txt". The song's
// part also holds a picture strip "s.png" (64 x 192), a sheet "c.png" (128 x 96), a background "b.bmp" and a sound
// "t.wav", so that every command finds something to load. The script loads or fails; either way the event list
// holds whole records of 3 to 7 words in sections that follow each other inside the list, every motion stays
// within its 24 frames and its picture, and releasing it all leaves nothing behind.
// Links: music
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxstream.h"
#include "device/gameservices.h"
#include "device/zodsound.h"
#include "graphics/vxpng.h"
#include "graphics/zorgbbits.h"
#include "music/musicdef.h"

namespace {

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Png(int width, int height) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 4, 0x80);
  std::vector<unsigned char> alpha(static_cast<std::size_t>(width) * height, 0xFF);
  VXMemoryStream stream;
  SavePng(&stream, pixels.data(), alpha.data(), width, height, pf32_888);
  return std::string(reinterpret_cast<const char*>(stream.GetMemory()), static_cast<std::size_t>(stream.GetSize()));
}

void Put(std::string& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
}

std::string Bmp() {
  std::string s = "BM";
  Put(s, 54 + 4 * 4 * 3, 4), Put(s, 0, 4), Put(s, 54, 4), Put(s, 40, 4), Put(s, 4, 4), Put(s, 4, 4);
  Put(s, 1, 2), Put(s, 24, 2), Put(s, 0, 4), Put(s, 48, 4);
  s += std::string(16, '\0');
  return s + std::string(48, '\x40');
}

std::string Wave() {
  std::string s = "RIFF";
  Put(s, 36 + 400, 4);
  s += "WAVEfmt ";
  Put(s, 16, 4), Put(s, 1, 2), Put(s, 2, 2), Put(s, 44100, 4), Put(s, 44100 * 4, 4), Put(s, 4, 2), Put(s, 16, 2);
  s += "data";
  Put(s, 400, 4);
  return s + std::string(400, '\0');
}

struct Song {
  Song() : folder(std::filesystem::temp_directory_path() / ("qorm_stage_fuzz_" + std::to_string(getpid()))) {
    std::filesystem::create_directories(folder);
    Write(folder / "s.png", Png(64, 192));
    Write(folder / "c.png", Png(128, 96));
    Write(folder / "b.bmp", Bmp());
    Write(folder / "t.wav", Wave());
    sound.SetManualOutput(true);
    sound.SetEnabled(true);
    SetGameServices(&services);
  }
  std::filesystem::path folder;
  DirectX::TDSound sound{nullptr};
  TLocalGameServices services{nullptr, &sound, bd32};
};

void CheckMotion(const TMotion& m) {
  if (m.frameCount < 0 || m.frameCount > kMotionFrames) std::abort();
  if (m.frameCount == 0) return;
  if (m.picture == nullptr || m.cellWidth < 1 || m.cellHeight < 1 || m.columns < 1) std::abort();
  for (int i = 0; i < m.frameCount; ++i) {
    if (m.duration[i] < 1) std::abort();
    if (m.cell[i] < 0 || static_cast<std::int64_t>(m.cell[i]) >= static_cast<std::int64_t>(m.columns) * m.rows)
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 20)) return 0;
  static Song song;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string parts[3];
  for (std::size_t at = 0, part = 0; part < 3; ++part) {
    const std::size_t end = part < 2 ? input.find("\n@@\n", at) : std::string::npos;
    parts[part] = input.substr(std::min(at, input.size()), end == std::string::npos ? std::string::npos : end - at);
    if (end == std::string::npos) break;
    at = end + 4;
  }
  Write(song.folder / "Anime.txt", parts[0]);
  Write(song.folder / "m0.txt", parts[1]);
  Write(song.folder / "m1.txt", parts[2]);

  VXFileMan files;
  files.InitDir(VXString(song.folder.string().c_str()));
  static std::vector<std::uint32_t> events(kEventWords);
  TStageData stage;
  stage.events = events.data();
  ReadStageScript(stage, &files, {size % 2 == 1, 100});
  int at = 0;
  for (int s = 0; s < kEventSections; ++s) {
    if (stage.sectionEnd[s] < at || stage.sectionEnd[s] > kEventWords) std::abort();
    while (at < stage.sectionEnd[s]) {
      const std::uint32_t length = events[at];
      if (length < 3 || length > 7 || at + static_cast<int>(length) > stage.sectionEnd[s]) std::abort();
      at += static_cast<int>(length);
    }
  }
  for (const TCharacterMotions& character : stage.characters) {
    for (const TMotion& motion : character.motion) CheckMotion(motion);
    CheckMotion(character.error);
  }
  for (const TBackAnime& anime : stage.backAnimes)
    if (anime.count < 0 || anime.count > kBackAnimeFrames) std::abort();
  ReleaseStageData(stage, &files, &files);
  return 0;
}

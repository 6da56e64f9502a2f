#include "tools/mkdemo/gamefolder.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/vxpack.h"
#include "core/vxstream.h"

namespace mkdemo {

namespace fs = std::filesystem;

namespace {

// 2024-04-01 00:00:00 UTC in 100-nanosecond steps since 1601: every entry of the pack carries it.
constexpr std::uint64_t kPackTime = 133564032000000000ull;

const char* const kPackName = "Game.pak";
const char* const kPackFolder = "Game_Pak";
const char* const kMusicFolder = "BGM";

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error(path.string() + " cannot be written");
}

// Pictures and sounds are compressed already; the rest (BMP, text) is worth packing with the Mariel coder.
int PackCoder(const std::string& name) {
  const std::string ext = fs::path(name).extension().string();
  return ext == ".png" || ext == ".jpg" || ext == ".ogg" ? VXPackAddStore : VXPackAddMariel;
}

void WritePack(const std::vector<MadeFile>& files, const fs::path& path) {
  VXPack pack;
  pack.SetReadOnly(false);
  if (!pack.NewPack(path.string().c_str())) throw std::runtime_error(path.string() + ": " + pack.GetLastError());
  const FILETIME time{static_cast<std::uint32_t>(kPackTime), static_cast<std::uint32_t>(kPackTime >> 32)};
  for (const MadeFile& file : files) {
    if (file.place != Place::kMain) continue;
    VXMemoryStream source(file.bytes.data(), static_cast<int>(file.bytes.size()));
    if (!pack.AddStream(file.name.c_str(), &source, time, PackCoder(file.name), true))
      throw std::runtime_error(path.string() + ": " + file.name + ": " + pack.GetLastError());
  }
  if (!pack.EndPack()) throw std::runtime_error(path.string() + ": " + pack.GetLastError());
}

void ClearEarlierRun(const fs::path& game) {
  for (const char* name : {kPackName, kPackFolder, kMusicFolder, "Splash.jpg"}) fs::remove_all(game / name);
}

void WriteLoose(const std::vector<MadeFile>& files, const fs::path& game, bool mainAsFolder) {
  for (const MadeFile& file : files) {
    switch (file.place) {
      case Place::kRoot: WriteFile(game / file.name, file.bytes); break;
      case Place::kBgm: WriteFile(game / kMusicFolder / file.name, file.bytes); break;
      case Place::kMain:
        if (mainAsFolder) WriteFile(game / kPackFolder / file.name, file.bytes);
        break;
    }
  }
}

}  // namespace

void WriteGameFolders(const std::vector<MadeFile>& files, const std::string& packGame, const std::string& folderGame) {
  try {
    for (const fs::path& game : {fs::path(packGame), fs::path(folderGame)}) {
      fs::create_directories(game);
      ClearEarlierRun(game);
    }
    WriteLoose(files, packGame, false);
    WritePack(files, fs::path(packGame) / kPackName);
    WriteLoose(files, folderGame, true);
  } catch (const fs::filesystem_error& e) {
    throw std::runtime_error(e.what());
  }
}

}  // namespace mkdemo

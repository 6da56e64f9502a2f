#include "tools/mkdemo/gamefolder.h"

#include <algorithm>
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
const char* const kSongFolder = "Song";
const char* const kMovieFolder = "Movie";

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error(path.string() + " cannot be written");
}

// Pictures and sounds are compressed already; the rest (BMP, wave, text) is worth packing with the Mariel coder.
int PackCoder(const std::string& name) {
  const std::string ext = fs::path(name).extension().string();
  return ext == ".png" || ext == ".jpg" || ext == ".ogg" || ext == ".adp" ? VXPackAddStore : VXPackAddMariel;
}

// The files of one place (and part) into a new pack at `path`, in the order of the list.
void WritePack(const std::vector<MadeFile>& files, const fs::path& path, Place place, const std::string& part = {}) {
  fs::create_directories(path.parent_path());
  VXPack pack;
  pack.SetReadOnly(false);
  if (!pack.NewPack(path.string().c_str())) throw std::runtime_error(path.string() + ": " + pack.GetLastError());
  const FILETIME time{static_cast<std::uint32_t>(kPackTime), static_cast<std::uint32_t>(kPackTime >> 32)};
  for (const MadeFile& file : files) {
    if (file.place != place || file.part != part) continue;
    VXMemoryStream source(file.bytes.data(), static_cast<int>(file.bytes.size()));
    if (!pack.AddStream(file.name.c_str(), &source, time, PackCoder(file.name), true))
      throw std::runtime_error(path.string() + ": " + file.name + ": " + pack.GetLastError());
  }
  if (!pack.EndPack()) throw std::runtime_error(path.string() + ": " + pack.GetLastError());
}

bool IsPackPart(const std::string& part);

// The data sets beside the main data, each once, in the order they first appear.
std::vector<std::string> DataSets(const std::vector<MadeFile>& files) {
  std::vector<std::string> sets;
  for (const MadeFile& file : files)
    if (file.place == Place::kSet && std::find(sets.begin(), sets.end(), file.part) == sets.end())
      sets.push_back(file.part);
  return sets;
}

void ClearEarlierRun(const fs::path& game, const std::vector<std::string>& sets) {
  for (const char* name : {kPackName, kPackFolder, kMusicFolder, kSongFolder, kMovieFolder, "Splash.jpg"})
    fs::remove_all(game / name);
  for (const std::string& set : sets) {
    fs::remove_all(game / (set + ".pak"));
    fs::remove_all(game / (set + "_Pak"));
  }
}

void WriteLoose(const std::vector<MadeFile>& files, const fs::path& game, bool asFolders) {
  for (const MadeFile& file : files) {
    switch (file.place) {
      case Place::kRoot: WriteFile(game / file.name, file.bytes); break;
      case Place::kBgm: WriteFile(game / kMusicFolder / file.name, file.bytes); break;
      case Place::kMovie: WriteFile(game / kMovieFolder / file.name, file.bytes); break;
      case Place::kMain:
        if (asFolders) WriteFile(game / kPackFolder / file.name, file.bytes);
        break;
      case Place::kPart:
        if (!IsPackPart(file.part)) WriteFile(game / file.part / file.name, file.bytes);
        break;
      case Place::kSet:
        if (asFolders) WriteFile(game / (file.part + "_Pak") / file.name, file.bytes);
        break;
    }
  }
}

bool IsPackPart(const std::string& part) { return fs::path(part).extension() == ".pak"; }

// The song parts that are packs, each once, in the order they first appear.
void WritePackParts(const std::vector<MadeFile>& files, const fs::path& game) {
  std::vector<std::string> done;
  for (const MadeFile& file : files) {
    if (file.place != Place::kPart || !IsPackPart(file.part)) continue;
    if (std::find(done.begin(), done.end(), file.part) != done.end()) continue;
    done.push_back(file.part);
    WritePack(files, game / file.part, Place::kPart, file.part);
  }
}

}  // namespace

void WriteGameFolders(const std::vector<MadeFile>& files, const std::string& packGame, const std::string& folderGame) {
  try {
    const std::vector<std::string> sets = DataSets(files);
    for (const fs::path& game : {fs::path(packGame), fs::path(folderGame)}) {
      fs::create_directories(game);
      ClearEarlierRun(game, sets);
    }
    WriteLoose(files, packGame, false);
    WritePack(files, fs::path(packGame) / kPackName, Place::kMain);
    for (const std::string& set : sets) WritePack(files, fs::path(packGame) / (set + ".pak"), Place::kSet, set);
    WriteLoose(files, folderGame, true);
    for (const fs::path& game : {fs::path(packGame), fs::path(folderGame)}) WritePackParts(files, game);
  } catch (const fs::filesystem_error& e) {
    throw std::runtime_error(e.what());
  }
}

}  // namespace mkdemo

// mkdemo: makes the demo game from the sources in data/.
//
//   mkdemo DATA GAME FOLDERGAME [--jobs N] [--only NAME]
//
// DATA is the source folder; GAME the game folder that gets "Game.pak" (pack mode); FOLDERGAME a second game folder
// that gets the same data as files under "Game_Pak" (folder mode). Both get "Splash.jpg", "BGM/" and "Movie/". The
// assets are made on N threads (4 by default); the result does not depend on N. --only makes one asset into the current folder
// (for looking at it while drawing it); a file of a song part is named with its part
// ("Song/QM01/song.pak/curtain.png"). Exit status 0 on success, 1 with a message on standard error otherwise.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/mkdemo/assets.h"
#include "tools/mkdemo/gamefolder.h"

namespace {

using namespace mkdemo;

struct Options {
  std::string data, game, folderGame, only;
  int jobs = 4;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--jobs") == 0 && i + 1 < argc) options.jobs = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) options.only = argv[++i];
    else positional.push_back(argv[i]);
  }
  if (positional.size() == 1 && !options.only.empty()) {
    options.data = positional[0];
    return true;
  }
  if (positional.size() != 3) return false;
  options.data = positional[0], options.game = positional[1], options.folderGame = positional[2];
  return true;
}

// Makes every asset, `jobs` at a time; the first failure is rethrown once all threads have stopped.
std::vector<MadeFile> MakeAll(const std::vector<Asset>& assets, int jobs) {
  std::vector<MadeFile> made(assets.size());
  std::atomic<std::size_t> next{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  auto work = [&] {
    for (std::size_t i; (i = next++) < assets.size();) {
      try {
        made[i] = {assets[i].name, assets[i].place, assets[i].make(), assets[i].part};
      } catch (...) {
        std::lock_guard<std::mutex> lock(failureLock);
        if (!failure) failure = std::current_exception();
        next = assets.size();
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 1; t < jobs; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  if (failure) std::rethrow_exception(failure);
  return made;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: mkdemo DATA GAME FOLDERGAME [--jobs N]\n       mkdemo DATA --only NAME\n");
    return 1;
  }
  try {
    const Context context{options.data, Style::Load(options.data)};
    std::vector<Asset> assets = AllAssets(context);
    if (!options.only.empty()) {
      for (const Asset& asset : assets) {
        if (asset.name != options.only && asset.part + "/" + asset.name != options.only) continue;
        const std::string bytes = asset.make();
        std::ofstream(std::filesystem::path(asset.name).filename(), std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return 0;
      }
      throw std::runtime_error("no asset \"" + options.only + "\"");
    }
    WriteGameFolders(MakeAll(assets, options.jobs), options.game, options.folderGame);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkdemo: %s\n", e.what());
    return 1;
  }
  return 0;
}

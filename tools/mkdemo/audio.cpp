#include "tools/mkdemo/audio.h"

#include <cstdio>

#include "tools/mkdemo/oggfile.h"
#include "tools/mkdemo/score.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

// System sounds by the index the game plays them with.
constexpr const char* kSystemSounds[] = {"SysSEOK",      "SysSEPage",    "SysSEAttention", "SysSEErr",
                                         "SysSEClick01", "SysSEClick02", "SysSEClick03",   "SysSEClick04",
                                         "SysSEClick05", "SysSEClick06"};
constexpr int kTracks = 9;
constexpr int kSaveVoices = 5;  // "SysVoice02_01" .. "SysVoice02_05": the save screen's answer to a save

Asset FromScore(std::string name, Place place, std::string source, float peak, float quality) {
  return {std::move(name), place, [source = std::move(source), peak, quality] {
            return OggFile(Render(ReadScore(source), peak), quality);
          }};
}

}  // namespace

void AddSystemSounds(const Context& context, std::vector<Asset>& assets) {
  for (const char* name : kSystemSounds)
    assets.push_back(FromScore(std::string(name) + ".ogg", Place::kMain,
                               context.dataFolder + "/sounds/" + name + ".txt", 0.7f, 0.4f));
  for (int i = 1; i <= kSaveVoices; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "SysVoice02_%02d", i);
    assets.push_back(FromScore(std::string(name) + ".ogg", Place::kMain,
                               context.dataFolder + "/sounds/" + name + ".txt", 0.7f, 0.4f));
  }
}

void AddMusic(const Context& context, std::vector<Asset>& assets) {
  for (int track = 1; track <= kTracks; ++track) {
    char name[16];
    std::snprintf(name, sizeof name, "Track%02d", track);
    assets.push_back(FromScore(std::string(name) + ".bgm", Place::kBgm,
                               context.dataFolder + "/music/" + name + ".txt", 0.8f, 0.3f));
  }
}

}  // namespace mkdemo

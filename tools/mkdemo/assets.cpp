#include "tools/mkdemo/assets.h"

#include "tools/mkdemo/adventure.h"
#include "tools/mkdemo/audio.h"
#include "tools/mkdemo/demoscenes.h"
#include "tools/mkdemo/fademasks.h"
#include "tools/mkdemo/halopics.h"
#include "tools/mkdemo/songs.h"
#include "tools/mkdemo/soundroompics.h"
#include "tools/mkdemo/subwinpics.h"
#include "tools/mkdemo/systempics.h"
#include "tools/mkdemo/watertables.h"

namespace mkdemo {

namespace {

constexpr Family kFamilies[] = {
    AddSystemPictures,     // splash, cursor, wait animation, screenshot overlays
    AddSoundRoomPictures,  // the sound room and the common exit button
    AddSystemSounds,       // the ten system sounds
    AddMusic,              // the nine tracks of the sound room
    AddFadeMasks,          // the wipe masks of the screen transitions
    AddWaterTables,        // the tables of the water-ripple transition
    AddHalationPictures,   // the glare and lens-flare pictures of the halation transition
    AddDemoScenes,         // two full-screen pictures to run transitions between
    AddSongs,              // the songs of the music game: charts, stage scripts, pictures, key tones, audio
    AddSubWinPictures,     // the adventure's text windows, plates and right-click menu
    AddAdventureAssets,    // voices, event sounds, system voices and the pass-code dialog
};

}  // namespace

std::vector<Asset> AllAssets(const Context& context) {
  std::vector<Asset> assets;
  for (Family family : kFamilies) family(context, assets);
  return assets;
}

}  // namespace mkdemo

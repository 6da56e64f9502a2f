#include "tools/mkdemo/assets.h"

#include "tools/mkdemo/audio.h"
#include "tools/mkdemo/soundroompics.h"
#include "tools/mkdemo/systempics.h"

namespace mkdemo {

namespace {

constexpr Family kFamilies[] = {
    AddSystemPictures,     // splash, cursor, wait animation, screenshot overlays
    AddSoundRoomPictures,  // the sound room and the common exit button
    AddSystemSounds,       // the ten system sounds
    AddMusic,              // the nine tracks of the sound room
};

}  // namespace

std::vector<Asset> AllAssets(const Context& context) {
  std::vector<Asset> assets;
  for (Family family : kFamilies) family(context, assets);
  return assets;
}

}  // namespace mkdemo

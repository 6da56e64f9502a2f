#include "tools/mkdemo/assets.h"
#include "tools/mkdemo/albumpics.h"
#include "tools/mkdemo/adventure.h"
#include "tools/mkdemo/audio.h"
#include "tools/mkdemo/characters.h"
#include "tools/mkdemo/configpics.h"
#include "tools/mkdemo/demoscenes.h"
#include "tools/mkdemo/fademasks.h"
#include "tools/mkdemo/halopics.h"
#include "tools/mkdemo/movies.h"
#include "tools/mkdemo/musicpics.h"
#include "tools/mkdemo/rankpics.h"
#include "tools/mkdemo/savepics.h"
#include "tools/mkdemo/scorepics.h"
#include "tools/mkdemo/songs.h"
#include "tools/mkdemo/songselpics.h"
#include "tools/mkdemo/soundroompics.h"
#include "tools/mkdemo/stagepics.h"
#include "tools/mkdemo/story.h"
#include "tools/mkdemo/subwinpics.h"
#include "tools/mkdemo/systempics.h"
#include "tools/mkdemo/titlepics.h"
#include "tools/mkdemo/watertables.h"


namespace mkdemo {

namespace {

constexpr Family kFamilies[] = {
    AddMovies,             // the opening, the event movies and the endings (first: they take the longest to make)
    AddSystemPictures,     // splash, cursor, wait animation, screenshot overlays
    AddSoundRoomPictures,  // the sound room and the common exit button
    AddSystemSounds,       // the ten system sounds
    AddMusic,              // the nine tracks of the sound room
    AddFadeMasks,          // the wipe masks of the screen transitions
    AddWaterTables,        // the tables of the water-ripple transition
    AddHalationPictures,   // the glare and lens-flare pictures of the halation transition
    AddDemoScenes,         // two full-screen pictures to run transitions between
    AddMusicPictures,      // the music game's own pictures and cheers
    AddSongs,              // the songs of the music game: charts, stage scripts, pictures, key tones, audio
    AddSubWinPictures,     // the adventure's text windows, plates and right-click menu
    AddStagePictures,      // the adventure's backgrounds, event pictures, animated backgrounds and snow flakes
    AddCharacters,         // the adventure's characters: a sheet and a definition for each expression
    AddSavePictures,       // the save and load screen
    AddConfigPictures,     // the configuration screen
    AddAlbumPictures,      // the album: its table, pictures, thumbnails and the event pictures
    AddAdventureAssets,    // voices, event sounds, system voices and the pass-code dialog
    AddSongSelectPictures, // the song select
    AddRankingPictures,    // the internet ranking screen
    AddTitlePictures,      // the title screen and the confirmation dialog
    AddScorePictures,      // the name entry and the best-score screen
    AddStory,              // the story: scene table, scripts and speaker table
};

}  // namespace

std::vector<Asset> AllAssets(const Context& context) {
  std::vector<Asset> assets;
  for (Family family : kFamilies) family(context, assets);
  return assets;
}

}  // namespace mkdemo

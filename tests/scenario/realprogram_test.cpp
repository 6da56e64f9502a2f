// The whole program as a player meets it: RunGame on SDL's dummy drivers and the demo game, on the real clock,
// played through SDL's event queue from a player thread (support/realgame.h). Each play-through starts from an
// empty home; a restart is a second run in the same test, with the process's records forgotten in between, so that
// the second run knows only what the first wrote.
// Label: threads
// Timeout: 1800
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "music/musicu.h"
#include "music/psongselectmenu.h"
#include "shell/albummenu.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/ptitlemenu.h"
#include "shell/readmes.h"
#include "shell/savefile.h"
#include "shell/soundmenu.h"
#include "shell/systemdata.h"
#include "support/realgame.h"
#include "support/realstory.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Ends the game from the title: Exit, and Yes in the confirmation dialog.
bool QuitFromTheTitle(realgame::Player& p) {
  if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnExit")) return false;
  return p.Until([&] { return p.Shown("DlgYes"); }, "the confirmation dialog") && p.ClickOn("DlgYes");
}

// A button of the screen shown is selected. Only inside Read.
bool Selected(const realgame::Player& p, const std::string& name) {
  const auto* button = dynamic_cast<const TZoRGBBtn*>(p.Find(name));
  return button != nullptr && button->GetSelected();
}


}  // namespace

// A play that stops at a step it cannot take ends the game as the desktop session ending does: the program still
// ends with 0 and writes its settings, and the failure is the play's. Meanwhile every frame tick told the time it
// spent making its frame.
TEST(RealProgram, AFailedPlayEndsTheGameCleanly) {
  realgame::Home home;
  std::atomic<int> frames{0};
  std::atomic<std::int64_t> longest{0};
  TRunOptions options;
  options.onFrameWork = [&](int advanced, std::int64_t ns) {
    frames += advanced;
    if (ns > longest) longest = ns;
  };
  const realgame::Outcome outcome = realgame::RunProgram([](realgame::Player& p) {
    if (p.Showing("TitleMenuPanel")) p.Fail("stopped at the title");
  }, options);
  ASSERT_TRUE(outcome.played);
  EXPECT_EQ(outcome.failure, "stopped at the title");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(home.Settings().find("WindowMode=ON"), std::string::npos) << home.Settings();
  EXPECT_GT(frames.load(), 30);  // the opening movie and the title's fade at least
  EXPECT_GT(longest.load(), 0);
  realgame::ForgetProcessRecords();
}

// Start, the story through its choices and the opening movie to the first song, the song played automatically,
// back in the story, a save from the menu, quit; a second start loads the save from the title and the story goes
// on from the saved message, down the branch the song's stars chose.
TEST(RealProgram, TheStoryIsSavedAfterItsFirstSongAndGoesOnAfterARestart) {
  realgame::Home home;
  home.WriteSettings(realstory::kStorySettings);
  const fs::path slot = home.SaveFolder() / SlotFileName(1);

  realstory::SavedPlace place;
  const realgame::Outcome first = realgame::RunProgram(
      [&](realgame::Player& p) { realstory::PlayToTheFirstSongAndSave(p, slot, place); });
  ASSERT_TRUE(first.played);
  EXPECT_EQ(first.failure, "");
  EXPECT_EQ(first.status, 0);
  ASSERT_TRUE(first.failure.empty());
  EXPECT_TRUE(place.reading.movie) << "the opening movie did not play";
  EXPECT_TRUE(place.reading.musicGame) << "the music game did not run";
  EXPECT_GE(place.reading.choices, 3);
  EXPECT_TRUE(place.seen.Says(realstory::kSongVerdict)) << place.seen.Describe();

  // The slot holds the saved place; the settings and the system save were written on the way out.
  const std::string image = ReadFile(slot);
  auto saved = std::make_unique<TGameState>();
  ASSERT_TRUE(DecodeSlotSave(image.data(), image.size(), saved.get(), nullptr, nullptr, nullptr));
  EXPECT_EQ(saved->GetMessageNumber(), place.seen.messageNumber);
  EXPECT_EQ(saved->GetScriptNumber(), place.seen.script);
  EXPECT_EQ(saved->GetScriptPos(), place.seen.position);
  EXPECT_NE(home.Settings().find("AvgAutoMode=Auto"), std::string::npos) << home.Settings();
  EXPECT_TRUE(fs::exists(home.SaveFolder() / kSystemSaveName));

  realgame::ForgetProcessRecords();
  realstory::Seen loaded, next;
  realstory::Reading after;
  const realgame::Outcome second =
      realgame::RunProgram([&](realgame::Player& p) { realstory::LoadAndReadOn(p, loaded, next, &after); });
  ASSERT_TRUE(second.played);
  EXPECT_EQ(second.failure, "");
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(loaded.messageNumber, place.seen.messageNumber);
  EXPECT_EQ(loaded.message, place.seen.message);
  EXPECT_EQ(loaded.script, place.seen.script);
  EXPECT_EQ(loaded.position, place.seen.position);
  EXPECT_NE(next.position, loaded.position) << next.Describe();
  // The first message after the verdict is the branch the stars chose (the reading's automatic mode may have
  // answered it before the player's click, never passed it by unseen).
  EXPECT_NE(after.Said(realstory::kTogether), after.Said(realstory::kRough)) << next.Describe();
  realgame::ForgetProcessRecords();
}

// Settings changed on the configuration screen from the title are written when the screen is left and are what the
// next start shows: the story's automatic song play, the music game's level, the music volume.
TEST(RealProgram, ConfigurationChangesLastAcrossARestart) {
  realgame::Home home;
  struct Settings {
    int autoPlay = -1, level = -1, bgm = -1;
    bool operator==(const Settings&) const = default;
  };
  const auto read = [](realgame::Player& p) {
    return p.Read([&] {
      return Settings{UserConfig.AvgAutoMode, UserConfig.MusicRankMode, p.Form().GetBgmVolume()};
    }).value_or(Settings{});
  };
  Settings before, changed;
  const realgame::Outcome first = realgame::RunProgram([&](realgame::Player& p) {
    if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnConfig") || !p.Showing("ConfigPanel")) return;
    before = read(p);
    for (const char* button : {"AutoAdvON", "RankHard", "BGMVBtnL"})
      if (!p.ClickOn(button)) return;
    if (!p.Until([&] { return UserConfig.AvgAutoMode == 1 && UserConfig.MusicRankMode == 1 &&
                              p.Form().GetBgmVolume() < before.bgm; },
                 "the changed settings"))
      return;
    changed = read(p);
    if (p.ClickOn("BtnExit")) QuitFromTheTitle(p);
  });
  ASSERT_TRUE(first.played);
  EXPECT_EQ(first.failure, "");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(before, (Settings{0, 0, 70}));
  const std::string written = home.Settings();
  for (const std::string& line : {std::string("AvgAutoMode=Auto"), std::string("MusicRankMode=Hard"),
                                  "VolumeBGM=" + std::to_string(changed.bgm)})
    EXPECT_NE(written.find(line), std::string::npos) << line << " is not in\n" << written;

  realgame::ForgetProcessRecords();
  Settings restarted;
  std::vector<bool> shown;
  const realgame::Outcome second = realgame::RunProgram([&](realgame::Player& p) {
    if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnConfig") || !p.Showing("ConfigPanel")) return;
    restarted = read(p);
    shown = p.Read([&] {
      return std::vector<bool>{Selected(p, "AutoAdvON"), Selected(p, "AutoAdvOFF"), Selected(p, "RankHard"),
                               Selected(p, "RankNormal")};
    }).value_or(std::vector<bool>{});
    if (p.ClickOn("BtnExit")) QuitFromTheTitle(p);
  });
  ASSERT_TRUE(second.played);
  EXPECT_EQ(second.failure, "");
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(restarted, changed);
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false}));
  realgame::ForgetProcessRecords();
}

// What the end of the story leaves in the system save (the title's extras opened, the event pictures seen) opens
// the album and the sound room on the title: the album shows a seen picture full screen and goes back to its grid,
// the sound room plays the track chosen; both lead back to the title.
TEST(RealProgram, TheAlbumAndTheSoundRoomOpenAfterTheStory) {
  realgame::Home home;
  {
    TSystemData cleared;
    cleared.SetFlag(TTitleMenu::kUnlockFlag, true);
    for (int picture = 0; picture < 14; ++picture) cleared.SetEventSeen(picture);
    const TReadMesTable log;
    std::string image;
    ASSERT_TRUE(EncodeSystemSave(cleared, log, image));
    fs::create_directories(home.SaveFolder());
    std::ofstream(home.SaveFolder() / kSystemSaveName, std::ios::binary) << image;
  }
  struct Seen {
    bool albumEnabled = false, soundEnabled = false;
    bool picture = false;  // the album showed a picture full screen
    bool grid = false;     // and its grid again after a click
    int track = 0;         // the sound room's music
  } seen;
  const realgame::Outcome outcome = realgame::RunProgram([&](realgame::Player& p) {
    if (!p.Showing("TitleMenuPanel")) return;
    const auto enabled = [&](const char* name) {
      return p.Read([&] {
        const auto* b = dynamic_cast<const TZoRGBBtn*>(p.Find(name));
        return b != nullptr && b->GetEnabled();
      }).value_or(false);
    };
    seen.albumEnabled = enabled("BtnAlbum");
    seen.soundEnabled = enabled("BtnSound");

    if (!p.ClickOn("BtnAlbum") || !p.Showing("AlbumPanel")) return;
    // The thumbnails come in over some frames; a click on the first entry's shows its first picture, and each
    // click on a picture shown (after its fade) the next one, then the grid again.
    const auto album = [&] { return FindComponent<TAlbumMenu>(p.Form()); };  // only inside Read
    if (!p.Until([&] { return album() != nullptr && album()->GetShowCounter() < 0; }, "the album's grid")) return;
    if (!p.ClickOn("ThumbNail01")) return;
    const auto shown = [&] { return album()->GetViewState() == TAlbumMenu::vsShown; };
    seen.picture = p.Until([&] { return shown() && album()->GetPicture() != nullptr; }, "the album's picture");
    if (!seen.picture) return;
    for (int click = 0; click < TAlbumMenu::kPictures && !seen.grid; ++click) {
      const int index = p.Read([&] { return album()->GetViewIndex(); }).value_or(-1);
      p.Click(320, 240);
      const auto next = [&] {
        const bool grid = album()->GetViewState() == TAlbumMenu::vsGrid;
        return grid || (shown() && album()->GetViewIndex() != index);
      };
      if (!p.Until(next, "the album's next picture")) return;
      seen.grid = p.Read([&] { return album()->GetViewState() == TAlbumMenu::vsGrid && !album()->GetPicture(); })
                      .value_or(false);
    }
    if (!p.Showing("AlbumPanel") || !p.ClickOn("ExitBtn")) return;

    if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnSound") || !p.Showing("SoundPanel")) return;
    if (!p.ClickOn("BtnSelBgm3") || !p.ClickOn("BtnIxPlay")) return;
    const auto playing = [&] {
      const TSoundMenu* room = FindComponent<TSoundMenu>(p.Form());
      return room != nullptr && room->IsPlaying() && p.Form().IsBgmPlaying();
    };
    if (!p.Until(playing, "the sound room's music")) return;
    seen.track = p.Read([&] { return p.Form().GetBgmTrack(); }).value_or(0);
    if (!p.ClickOn("BtnEnd")) return;
    QuitFromTheTitle(p);
  });
  ASSERT_TRUE(outcome.played);
  EXPECT_EQ(outcome.failure, "");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(seen.albumEnabled);
  EXPECT_TRUE(seen.soundEnabled);
  EXPECT_TRUE(seen.picture);
  EXPECT_TRUE(seen.grid);
  EXPECT_EQ(seen.track, 3);
  realgame::ForgetProcessRecords();
}

// Free play from the title: a free-play song at the normal level played by itself to its end on the real clock, back
// to the song select and the title. The program's timing decides a hand play's judgements, so the by-hand road with a
// new best score and its name is played in the test process (GameWire.FreePlayFromTheTitleToANewBestScoreAndBack);
// here an automatic play, which never takes a best score, keeps the outcome the same on any machine.
TEST(RealProgram, FreePlayPlaysASongByItselfAndComesBack) {
  realgame::Home home;
  const TSongID song{'Q', 'E', '0', '1'};
  bool played = false, nameAsked = false;
  const realgame::Outcome outcome = realgame::RunProgram([&](realgame::Player& p) {
    if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnFreePlay") || !p.Showing("SongSelPanel")) return;
    const auto current = [&] {
      return p.Read([&] {
        const TSongSelectMenu* m = FindComponent<TSongSelectMenu>(p.Form());
        return m != nullptr ? m->GetSong(m->GetIndex()) : TSongID{};
      }).value_or(TSongID{});
    };
    const int count = p.Read([&] { return FindComponent<TSongSelectMenu>(p.Form())->GetSongCount(); }).value_or(0);
    for (int i = 0; i < count && current() != song; ++i) {
      const TSongID before = current();
      if (!p.ClickOn("BtnNext") || !p.Until([&] {
            const TSongSelectMenu* m = FindComponent<TSongSelectMenu>(p.Form());
            return m->GetSong(m->GetIndex()) != before;
          }, "the next song"))
        return;
    }
    if (current() != song) {
      p.Fail("the free-play song is not listed");
      return;
    }
    for (const char* button : {"BtnNormal", "BtnAutoOn", "BtnPlay"})
      if (!p.ClickOn(button)) return;
    if (!p.Until([&] { return p.Form().GetState() == 4; }, "the music game")) return;
    played = true;
    if (!p.Until([&] {
          nameAsked = nameAsked || p.Waiting("NameEntryPanel");
          return p.Form().GetState() == 3 && !p.Form().IsResultPending() && p.Waiting("SongSelPanel");
        }, "the song select after the song", std::chrono::seconds(300)))
      return;
    if (!p.ClickOn("BtnExit")) return;
    QuitFromTheTitle(p);
  });
  ASSERT_TRUE(outcome.played);
  EXPECT_EQ(outcome.failure, "");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(played);
  EXPECT_FALSE(nameAsked);

  const std::string image = ReadFile(home.SaveFolder() / kSystemSaveName);
  TSystemData saved;
  TReadMesTable log;
  ASSERT_TRUE(DecodeSystemSave(image.data(), image.size(), saved, log));
  EXPECT_EQ(saved.GetScore(0, song), 0);
  realgame::ForgetProcessRecords();
}

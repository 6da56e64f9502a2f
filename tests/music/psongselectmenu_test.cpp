// The song select in the game window: on songs written by the test (with the demo game's pictures of the screen)
// and on the demo game itself, driven with injected keys and mouse clicks and stepped frame by frame; and the
// picture-font writer of the name-entry and song-score screens.
// Label: threads
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/vxfileman.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "music/musicdef.h"
#include "music/psongselectmenu.h"
#include "music/rankingname.h"
#include "music/songfiles.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/systemdata.h"
#include "support/flowgame.h"

namespace {

using flowgame::FlowGame;

TSongID Id(const char* text) {
  TSongID id{};
  std::memcpy(id.data(), text, 4);
  return id;
}

std::vector<std::string> Names(const TSongSelectMenu& menu) {
  std::vector<std::string> names;
  for (int i = 0; i < menu.GetSongCount(); ++i) names.emplace_back(menu.GetSong(i).data(), 4);
  return names;
}

// Where things are on the screen.
struct At {
  int x, y;
};
constexpr At kNext{412, 311}, kBack{412, 338}, kPlay{412, 405}, kExit{569, 455}, kEasy{532, 273}, kNormal{552, 303},
    kHard{572, 333}, kAutoOn{532, 363}, kAutoOff{552, 393};
constexpr At kTitleCentre{214, 150}, kTitleCorner{35, 76}, kInfoCentre{173, 330};

// Clears what the screen reads and writes besides its own fields: the level and auto choice, the story's flags,
// the setting that lists every song.
void ResetGlobals() {
  ResetUserConfig(&UserConfig);
  SystemData = TSystemData();
  MusicSongAll.store(0);
}

// Songs written by the test: "Song/<folder>/song/" with "SONG.ID" and the song-select pictures in one colour
// each, so that what the screen shows can be told apart by a pixel.
class SongSelect : public ::testing::Test {
protected:
  struct Song {
    Song(std::string f, std::string t = "Ver2.00", std::string o = "", std::string i = "")
        : folder(std::move(f)), tag(std::move(t)), options(std::move(o)), id(std::move(i)) {}
    Song(std::string f, std::uint32_t titleColour, std::uint32_t infoColour, bool old = false)
        : folder(std::move(f)), tag(old ? "Ver1.50" : "Ver2.00"), title(titleColour), info(infoColour),
          oldTitle(old) {}
    std::string folder;
    std::string tag;
    std::string options;
    std::string id;  // the ID "SONG.ID" names; the folder's own when empty
    std::uint32_t title = 0xFF20C040;
    std::uint32_t info = 0xFF4060E0;
    bool oldTitle = false;  // "songtitle.png" (340 x 137) in place of "songtitle2.png"
  };

  SongSelect() : g(FlowGame::Options{false, {"SSel", "CmExit"}}) { ResetGlobals(); }
  ~SongSelect() override {
    g.Hide();
    menu.reset();
    ResetGlobals();
  }

  void Write(const Song& s) {
    const std::string part = "Song/" + s.folder + "/song/";
    g.Write(part + "SONG.ID", songfiles::SongId(s.tag, s.id.empty() ? s.folder : s.id, s.options));
    if (s.oldTitle)
      g.Write(part + "songtitle.png", songfiles::Png(340, 137, s.title));
    else
      g.Write(part + "songtitle2.png", songfiles::Png(360, 150, s.title));
    g.Write(part + "songdata.png", songfiles::Png(255, 187, s.info));
  }

  bool Open() {
    menu = std::make_unique<TSongSelectMenu>(nullptr);
    return menu->Open(FileMan);
  }
  // Open, Refresh and show, as the game thread does.
  void Start() {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(menu->Refresh());
    g.Show(menu->SongSelPanel);
  }
  void Click(At a) { g.Click(a.x, a.y); }
  std::uint32_t Pixel(At a) { return g.Pixel(a.x, a.y); }

  FlowGame g;
  std::unique_ptr<TSongSelectMenu> menu;
};

TEST_F(SongSelect, ListsThePlayableSongsInSongOrderOnce) {
  for (const Song& s : std::vector<Song>{
           {"QE01"},
           {"QM01"},
           {"QM02", "Ver2.00", "story=on"},                  // hidden until the story opens it
           {"QM03", "Ver1.50", "STORY=ON"},                  // options are not read below version 200
           {"qm04", "Ver2.00", "", "QM04"},                  // a story song in a lower-case folder
           {"QE02", "Ver2.00", "STORY=OFF:COMPATIBLE=OFF"},  // refused by its own options
           {"QE03", "Ver1.50", "COMPATIBLE=OFF"},
           {"ZZ01"},                                         // no series: after all others
           {"QA01"},
           {"QE10"},
           {"qe10", "Ver2.00", "", "QE10"},                  // the same song to the game
           {"QX1"},
           {"QX123"},
           {"QX06", "Ver2.00", "", "QX07"},                  // "SONG.ID" names another song
           {"QX08", "Ver2.01"},
       })
    Write(s);
  g.Write("Song/QX05", "a plain file named like a song");
  struct Case {
    const char* name;
    bool storyFlag;
    bool songAll;
    std::vector<std::string> songs;
  };
  const std::vector<std::string> shown = {"QM01", "QM03", "QM04", "QE01", "QE03", "QE10", "QA01", "ZZ01"};
  std::vector<std::string> all = shown;
  all.insert(all.begin() + 1, "QM02");
  const Case cases[] = {
      {"as it starts", false, false, shown},
      {"the story opened song 2", true, false, all},
      {"every song listed", false, true, all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SystemData = TSystemData();
    if (c.storyFlag) SystemData.EnableSong(2);
    MusicSongAll.store(c.songAll ? 1 : 0);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Names(*menu), c.songs);
    EXPECT_EQ(menu->GetIndex(), 0);
  }
}

TEST_F(SongSelect, NextAndBackWrapAroundWithTheMouseAndTheArrowKeys) {
  const std::uint32_t titles[] = {0xFFE03030, 0xFF30E030, 0xFF3030E0};
  const std::uint32_t infos[] = {0xFF808000, 0xFF008080, 0xFF800080};
  const char* ids[] = {"QE01", "QE02", "QE03"};
  for (int i = 0; i < 3; ++i) Write(Song(ids[i], titles[i], infos[i]));
  Start();
  struct Case {
    const char* name;
    At click;  // or, with x < 0, the key
    SDL_Scancode key;
    int index;
  };
  const Case cases[] = {
      {"back from the first goes to the last", kBack, SDL_SCANCODE_UNKNOWN, 2},
      {"next from the last goes to the first", kNext, SDL_SCANCODE_UNKNOWN, 0},
      {"next", kNext, SDL_SCANCODE_UNKNOWN, 1},
      {"right arrow", {-1, 0}, SDL_SCANCODE_RIGHT, 2},
      {"right arrow wraps", {-1, 0}, SDL_SCANCODE_RIGHT, 0},
      {"left arrow wraps", {-1, 0}, SDL_SCANCODE_LEFT, 2},
      {"left arrow", {-1, 0}, SDL_SCANCODE_LEFT, 1},
  };
  EXPECT_EQ(Pixel(kTitleCentre), titles[0] & 0xFFFFFF);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.click.x >= 0)
      Click(c.click);
    else
      g.Key(c.key);
    EXPECT_EQ(menu->GetIndex(), c.index);
    EXPECT_EQ(Pixel(kTitleCentre), titles[c.index] & 0xFFFFFF);
    EXPECT_EQ(Pixel(kInfoCentre), infos[c.index] & 0xFFFFFF);
  }
  EXPECT_TRUE(g.results.empty()) << "stepping through the songs reports nothing";
}

TEST_F(SongSelect, PlayHandsTheChosenSongOverAndExitLeaves) {
  for (const char* id : {"QE01", "QE02", "QE03"}) Write(Song(id));
  Start();
  EXPECT_EQ(menu->GetSelectedSong(), TSongID{});
  g.Key(SDL_SCANCODE_RIGHT);
  g.Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(g.results, std::vector<int>{TSongSelectMenu::kPlay});
  EXPECT_EQ(menu->GetSelectedSong(), Id("QE02"));
  struct Case {
    const char* name;
    At click;
    SDL_Scancode key;
    int result;
    const char* song;
  };
  const Case cases[] = {
      {"space plays", {-1, 0}, SDL_SCANCODE_SPACE, TSongSelectMenu::kPlay, "QE03"},
      {"the play button", kPlay, SDL_SCANCODE_UNKNOWN, TSongSelectMenu::kPlay, "QE01"},
      {"escape leaves", {-1, 0}, SDL_SCANCODE_ESCAPE, TSongSelectMenu::kExit, nullptr},
      {"the exit button", kExit, SDL_SCANCODE_UNKNOWN, TSongSelectMenu::kExit, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g.Resume();
    g.results.clear();
    g.Key(SDL_SCANCODE_RIGHT);
    if (c.click.x >= 0)
      Click(c.click);
    else
      g.Key(c.key);
    EXPECT_EQ(g.results, std::vector<int>{c.result});
    if (c.song != nullptr) {
      EXPECT_EQ(menu->GetSelectedSong(), Id(c.song));
    }
  }
  // A key does nothing while its button is disabled.
  g.Resume();
  g.results.clear();
  menu->BtnPlay->SetEnabled(false);
  menu->BtnExit->SetEnabled(false);
  g.Key(SDL_SCANCODE_RETURN);
  g.Key(SDL_SCANCODE_ESCAPE);
  EXPECT_TRUE(g.results.empty());
}

TEST_F(SongSelect, LevelAndAutoChoicesGoToTheUserConfiguration) {
  Write(Song("QE01"));
  UserConfig.MusicRankMode = 1;
  UserConfig.MusicAutoMode = 1;
  Start();
  const auto check = [this](int level, int autoMode) {
    EXPECT_EQ(UserConfig.MusicRankMode, level);
    EXPECT_EQ(UserConfig.MusicAutoMode, autoMode);
    EXPECT_EQ(menu->BtnEasy->GetSelected(), level == 2);
    EXPECT_EQ(menu->BtnNormal->GetSelected(), level == 0);
    EXPECT_EQ(menu->BtnHard->GetSelected(), level == 1);
    EXPECT_EQ(menu->BtnAutoOn->GetSelected(), autoMode == 1);
    EXPECT_EQ(menu->BtnAutoOff->GetSelected(), autoMode == 0);
  };
  {
    SCOPED_TRACE("shown as the configuration says");
    check(1, 1);
  }
  struct Case {
    const char* name;
    At click;
    int level, autoMode;
  };
  const Case cases[] = {
      {"easy", kEasy, 2, 1},       {"auto off", kAutoOff, 2, 0}, {"normal", kNormal, 0, 0},
      {"hard", kHard, 1, 0},       {"auto on", kAutoOn, 1, 1},   {"easy again", kEasy, 2, 1},
      {"easy twice", kEasy, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Click(c.click);
    check(c.level, c.autoMode);
  }
  EXPECT_TRUE(g.results.empty());
}

TEST_F(SongSelect, PicturesTheTitleThroughItsMaskAndTheOlderTitleEnlarged) {
  Write(Song("QE01", 0xFF00FF00, 0xFFFF00FF));
  Write(Song("QE02", 0xFFFFFF00, 0xFF00FFFF, true));
  Start();
  EXPECT_EQ(Pixel(kTitleCentre), 0x00FF00u);
  EXPECT_NE(Pixel(kTitleCorner), 0x00FF00u) << "the mask's corner shows the background";
  EXPECT_EQ(Pixel(kInfoCentre), 0xFF00FFu);
  Click(kNext);
  EXPECT_EQ(Pixel(kTitleCentre), 0xFFFF00u) << "the older title, averaged";
  EXPECT_EQ(Pixel({34 + 330, 75 + 75}), 0xFFFF00u) << "enlarged to the whole panel";
  EXPECT_EQ(Pixel(kInfoCentre), 0x00FFFFu);
  // A song whose part is gone after the scan shows nothing new; the pictures shown before stay.
  std::filesystem::remove_all(g.Folder() / "Song" / "QE01");
  EXPECT_FALSE(menu->ShowSong(0));
  Click(kNext);
  EXPECT_EQ(menu->GetIndex(), 0);
  EXPECT_EQ(Pixel(kTitleCentre), 0xFFFF00u);
  EXPECT_EQ(Pixel(kInfoCentre), 0x00FFFFu);
  EXPECT_FALSE(menu->ShowSong(2));
  EXPECT_FALSE(menu->ShowSong(-1));
}

// Without a song the screen does not open; a list that became empty after a new scan leaves next, back and play
// with nothing to do (no division by zero, no song out of the list).
TEST_F(SongSelect, AnEmptyListOpensNothingAndStepsNowhere) {
  EXPECT_FALSE(Open());
  EXPECT_FALSE(menu->IsOpen());
  Write(Song("QE01"));
  Write(Song("QE02"));
  Start();
  Click(kNext);
  ASSERT_EQ(menu->GetIndex(), 1);
  std::filesystem::remove_all(g.Folder() / "Song");
  EXPECT_EQ(menu->ScanSongs(), 0);
  EXPECT_EQ(menu->GetIndex(), 0) << "an index the list no longer holds";
  for (At a : {kNext, kBack, kPlay}) Click(a);
  for (SDL_Scancode key : {SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT, SDL_SCANCODE_RETURN, SDL_SCANCODE_SPACE}) g.Key(key);
  EXPECT_EQ(menu->GetIndex(), 0);
  EXPECT_TRUE(g.results.empty());
  EXPECT_EQ(menu->GetSelectedSong(), TSongID{});
  Click(kExit);
  EXPECT_EQ(g.results, std::vector<int>{TSongSelectMenu::kExit}) << "leaving still works";
}

TEST_F(SongSelect, OpenFailsWithoutTheTitleMaskOrAPicture) {
  Write(Song("QE01"));
  for (const char* name : {"SSelTitleMask.bmp", "SSelBtnPlay.png"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path path = g.Folder() / "Game_Pak" / name;
    const std::filesystem::path aside = g.Folder() / name;
    std::filesystem::rename(path, aside);
    EXPECT_FALSE(Open());
    EXPECT_FALSE(menu->IsOpen());
    EXPECT_EQ(menu->SongSelPanel->GetImage(), nullptr) << "closed again";
    std::filesystem::rename(aside, path);
  }
  EXPECT_TRUE(Open());
}

// ---- The demo game

class DemoSongSelect : public ::testing::Test {
protected:
  DemoSongSelect() { ResetGlobals(); }
  ~DemoSongSelect() override {
    g.Hide();
    menu.reset();
    ResetGlobals();
  }
  FlowGame g;
  std::unique_ptr<TSongSelectMenu> menu;
};

TEST_F(DemoSongSelect, ListsTheOpenStorySongsAndTheFreePlaySeries) {
  menu = std::make_unique<TSongSelectMenu>(nullptr);
  ASSERT_TRUE(menu->Open(FileMan));
  EXPECT_EQ(Names(*menu), (std::vector<std::string>{"QM01", "QM03", "QE01", "QE02", "QE03"}));
  SystemData.EnableSong(4);
  EXPECT_EQ(menu->ScanSongs(), 6);
  EXPECT_EQ(menu->GetSong(2), Id("QM04"));
  MusicSongAll.store(1);
  EXPECT_EQ(menu->ScanSongs(), 8);
  EXPECT_EQ(Names(*menu), (std::vector<std::string>{"QM01", "QM02", "QM03", "QM04", "QM05", "QE01", "QE02", "QE03"}));
}

TEST_F(DemoSongSelect, ShowsEachSongsPicturesAndPlaysTheChosenOne) {
  menu = std::make_unique<TSongSelectMenu>(nullptr);
  ASSERT_TRUE(menu->Open(FileMan));
  ASSERT_TRUE(menu->Refresh());
  g.Show(menu->SongSelPanel);
  // The title window shows the song's own picture where the mask is opaque.
  const auto titlePixel = [](const char* id, int x, int y) {
    VXFileMan files;
    TZoRGBBits* bits = nullptr;
    std::uint32_t pixel = 0xFFFFFFFF;
    if (OpenSongPart(files, SongFolderName(Id(id)) + "\\song") &&
        LoadImageFile(&bits, nullptr, &files, "songtitle2.png")) {
      pixel = bits->PGet(x, y) & 0xFFFFFF;
      GameForm->GetMemMan().Delete(bits);
    }
    return pixel;
  };
  EXPECT_EQ(g.Pixel(34 + 180, 75 + 75), titlePixel("QM01", 180, 75));
  EXPECT_EQ(g.Pixel(34 + 60, 75 + 40), titlePixel("QM01", 60, 40));
  const std::uint32_t first = g.Pixel(173, 330);
  for (int i = 1; i < 5; ++i) {
    g.Click(412, 311);
    g.Frame();
    EXPECT_EQ(menu->GetIndex(), i);
  }
  EXPECT_EQ(g.Pixel(34 + 180, 75 + 75), titlePixel("QE03", 180, 75));
  EXPECT_NE(g.Pixel(173, 330), first) << "another information picture";
  g.Click(532, 273);  // easy
  g.Click(532, 363);  // auto on
  g.Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(g.results, std::vector<int>{TSongSelectMenu::kPlay});
  EXPECT_EQ(menu->GetSelectedSong(), Id("QE03"));
  EXPECT_EQ(UserConfig.MusicRankMode, 2);
  EXPECT_EQ(UserConfig.MusicAutoMode, 1);
}

// ---- RankingName

class RankingNameTest : public ::testing::Test {
protected:
  RankingNameTest() : g(FlowGame::Options{false, {"NameAlphabet", "RankAlphabet"}}) {
    // Glyph g is a 17 x 34 cell of grey 4 x (g + 1), opaque.
    g.Write("Game_Pak/Glyphs.png", songfiles::Png(17, 34 * 45, [](int, int y) {
              const auto v = static_cast<std::uint32_t>(4 * (y / 34 + 1));
              return 0xFF000000u | v << 16 | v << 8 | v;
            }));
    panel = std::make_unique<TZoRGBPanel>(nullptr);
    panel->SetSizeX(68);
    panel->SetSizeY(34);
    EXPECT_TRUE(CreatePanelImage(panel.get(), 68, 34, mmAlpha));
  }
  ~RankingNameTest() override {
    ReleasePanelImage(panel.get());
    panel.reset();
  }

  // The grey of each cell shown (0 for an empty one), from the panel's picture where its plane is opaque.
  std::vector<int> Cells() const {
    std::vector<int> cells;
    for (int x = 0; x + RankingName::kCellWidth <= panel->GetSizeX(); x += RankingName::kCellWidth) {
      const int alpha = panel->GetAlpha()->PGet(x + 8, 17);
      cells.push_back(alpha == 0 ? 0 : static_cast<int>(panel->GetImage()->PGet(x + 8, 17) & 0xFF));
    }
    return cells;
  }

  FlowGame g;
  std::unique_ptr<TZoRGBPanel> panel;
};

int Grey(int glyph) { return 4 * (glyph + 1); }

TEST_F(RankingNameTest, DrawsTheGlyphsOfTheTextCellByCell) {
  RankingName name;
  EXPECT_FALSE(name.Load("Glyphs.png")) << "no files yet";
  name.Draw(panel.get(), "AB");
  EXPECT_EQ(panel->GetSizeX(), 68) << "nothing without a glyph picture";
  EXPECT_TRUE(name.SetFiles(FileMan));
  ASSERT_TRUE(name.Load("Glyphs.png"));
  struct Case {
    const char* text;
    int width;
    std::vector<int> cells;
  };
  const Case cases[] = {
      {"AB-9", 68, {Grey(0), Grey(1), Grey(26), Grey(42)}},
      {"ab", 34, {0, 0}},
      {"Z *+", 68, {Grey(25), 0, Grey(43), Grey(44)}},
      {"#.:/!?0", 68, {Grey(27), Grey(28), Grey(29), Grey(30)}},  // held to the picture's four cells
      {"A\x82\xA0" "B", 68, {Grey(0), 0, 0, 0}},                       // a double-byte character ends the text
      {"", 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    panel->SetSizeX(68);
    name.Draw(panel.get(), c.text);
    EXPECT_EQ(panel->GetSizeX(), c.width);
    EXPECT_EQ(Cells(), c.cells);
  }
  // A panel higher than a cell is not drawn into.
  panel->SetSizeY(35);
  panel->SetSizeX(68);
  name.Draw(panel.get(), "A");
  EXPECT_EQ(panel->GetSizeX(), 68);
}

TEST_F(RankingNameTest, TheDemoGamesPictureFontsHoldEveryGlyph) {
  for (const char* sheet : {"NameAlphabet.png", "RankAlphabet.png"}) {
    SCOPED_TRACE(sheet);
    RankingName name;
    name.SetFiles(FileMan);
    ASSERT_TRUE(name.Load(sheet));
    for (const char* text : {"ABCD", "WXYZ", "-#.:", "/!?0", "5789", "*+*+"}) {
      SCOPED_TRACE(text);
      name.Draw(panel.get(), text);
      int covered = 0;
      for (int y = 0; y < 34; ++y)
        for (int x = 0; x < 68; ++x) covered += panel->GetAlpha()->PGet(x, y) > 128;
      EXPECT_GT(covered, 4 * 20) << "each of the four glyphs shows";
    }
  }
}

}  // namespace

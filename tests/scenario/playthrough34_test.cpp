// Whole-game play-throughs on the demo game through the program's own wiring, each over a save folder that outlives
// the game window, so that a second window and game thread over it start as the program does when run again:
// - settings changed on the configuration screen come back after a restart: in the settings file, on the screen
//   (the same picture) and in the story (the text speed);
// - the story played to its end unlocks the album and the sound room: the album shows the pictures the story showed
//   and keeps the others locked; the sound room plays its tracks.
//
// It looks at the game only between frames (LoopWindow::Read).
// Label: threads
// Timeout: 1800
#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "music/musicu.h"
#include "music/psongselectmenu.h"
#include "scenario/avgu.h"
#include "scenario/subwinu.h"
#include "shell/albummenu.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/savefile.h"
#include "shell/soundmenu.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"
#include "support/tempdir.h"
#include "support/wiredgame.h"

namespace {

namespace fs = std::filesystem;
using gamethread::LoopWindow;

// The first words of the story.
constexpr const char* kFirstWords = "おはよう";
// The songs free play offers only once the story has marked them.
constexpr const char* kStorySongs[] = {"QM02", "QM04", "QM05"};

// The program's records as a new run of it finds them before it reads its files.
void ForgetRecords() {
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
  GameState = TGameState{};
  const TReadMesTable empty;
  ReadMesTable.Load(empty.GetBuffer(), static_cast<int>(empty.GetUsedSize()));
}

// The settings file in the save folder, as text.
std::string SettingsFile(const TempDir& saveFolder) {
  std::ifstream in(saveFolder.path() / "BELVAR/QORM/QORM.ini", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
// Its "key=value" lines.
std::map<std::string, std::string> Settings(const TempDir& saveFolder) {
  std::map<std::string, std::string> keys;
  const std::string text = SettingsFile(saveFolder);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const std::size_t eq = line.find('='); eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    at = end + 1;
  }
  return keys;
}

// One run of the program on the demo game, with the settings and saves in `saveFolder`: the records as a fresh
// start has them and the start-up flags read before the window (Start); the window mode written after the window
// is gone (Stop).
class ProgramRun : public LoopWindow {
public:
  explicit ProgramRun(const TempDir& saveFolder) : LoopWindow(QORM_DEMO_GAME_DIR, wiredgame::Wire) {
    w.env.Set("XDG_DATA_HOME", saveFolder.str().c_str());
  }
  ~ProgramRun() {
    std::error_code ignored;
    fs::current_path(old_, ignored);
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  bool Start() {
    fs::current_path(QORM_DEMO_GAME_DIR);  // songs are found below the game folder
    ForgetRecords();
    LoadSystemIni();
    return LoopWindow::Start();
  }
  // The game thread has ended; the window goes as the program closes it.
  void Stop() {
    w.tasks.Clear();
    w.form.reset();
    SaveWindowMode();
  }

  // Answers the confirmation dialog, open or opening, with Yes: the game ends without an error and the window goes.
  void ConfirmQuit() {
    ASSERT_TRUE(Until([&] { return Has("DlgWin"); }));
    ClickOn("DlgYes");
    ASSERT_TRUE(Finish());
    EXPECT_TRUE(w.terminated);
    EXPECT_TRUE(w.form->GetFatalError().empty()) << w.form->GetFatalError();
    Stop();
  }

  // Lets the game run on for `ms` of its time.
  bool Pass(int ms) {
    int steps = ms / kStepMs;
    return Until([&] { return steps-- <= 0; });
  }

  // The title waits for the player. A movie on the way (the opening) is skipped with a click, as a player who has
  // seen it does.
  bool AtTitle() {
    int wait = 0;
    return Until([&] {
      if (Read([&] { return Hangs("MoviePanel"); }) && ++wait % 20 == 0) ClickOn("MoviePanel");
      return Read([&] { return w.form->GetState() == 3 && !w.form->IsResultPending() && Hangs("TitleMenuPanel"); });
    });
  }

  // The presented picture once it stands still, with the pointer parked where no control is.
  gamewindow::GameWindow::Picture StillPicture() {
    w.MoveTo(kParkX, kParkY);
    gamewindow::GameWindow::Picture last;
    int still = 0;
    EXPECT_TRUE(Until([&] {
      const gamewindow::GameWindow::Picture now = Read([&] { return w.Front(); });
      still = now.bytes == last.bytes ? still + 1 : 0;
      last = now;
      return still >= 20;
    }));
    return last;
  }

  static constexpr int kParkX = 8, kParkY = 470;

private:
  fs::path old_ = fs::current_path();
};

// Pixels that differ between two pictures inside the rectangle (x, y, width, height).
int Differing(const gamewindow::GameWindow::Picture& a, const gamewindow::GameWindow::Picture& b, int x, int y, int width,
              int height) {
  int n = 0;
  for (int dy = 0; dy < height; ++dy)
    for (int dx = 0; dx < width; ++dx) n += a.Pixel(x + dx, y + dy) != b.Pixel(x + dx, y + dy) ? 1 : 0;
  return n;
}

// What a player changes on the configuration screen, what the screen shows for it and what the settings file holds.
struct Change {
  const char* control;  // clicked
  int x;                // the point of it clicked (-1: the middle)
  int times;
  const char* shows;  // the number panel showing the value, or the choice button shown selected
  int number;         // the number shown (-1: a choice)
  const char* key;    // in the settings file
  const char* written;
};

// The pacing first: it writes the volumes of the moment too, and those changed later must reach the file as well.
constexpr Change kChanges[] = {
    {"Fps30Btn", -1, 1, "Fps30Btn", -1, "FPSMode", "30fps"},
    {"DispFullBtn", -1, 1, "DispFullBtn", -1, "WindowMode", "OFF"},
    {"BGMVSlider", 31, 1, "BGMVNum", 25, "VolumeBGM", "25"},
    {"VoiceVBtnL", -1, 3, "VoiceVNum", 97, "VolumeVoice", "97"},
    {"SEVSlider", 58, 1, "SEVNum", 50, "VolumeSE", "50"},
    {"SpeedSlider", 112, 1, nullptr, -1, "UserTextSpeed", "0"},  // the fastest: text shows at once
    {"MesBoxBtnR", -1, 2, "MesBoxNum", 27, "MesBoxTrans", "27"},
    {"ASkipBtnR", -1, 1, "ASkipNum", 2100, "AutoSkipWait", "2100"},
    {"EffectSimple", -1, 1, "EffectSimple", -1, "SimpleDisplay", "ON"},
    {"MainVBtnL", -1, 2, "MainVNum", 98, "VolumeMainPlay", "98"},
    {"KeyVSlider", 2, 1, "KeyVNum", 0, "VolumeKeyboard", "0"},
    {"AutoFreeON", -1, 1, "AutoFreeON", -1, "MusicAutoMode", "Auto"},
    {"RankHard", -1, 1, "RankHard", -1, "MusicRankMode", "Hard"},
    {"WordHiQuality", -1, 1, "WordHiQuality", -1, "MusicWordMode", "HighQuality"},
    {"AnimeOFF", -1, 1, "AnimeOFF", -1, "MusicAnime", "OFF"},
    {"TimingTimer", -1, 1, "TimingTimer", -1, "MusicTimingMode", "Timer"},
};

// What the open configuration screen shows of each change that has a number or a choice: the number, or -1 for
// the choice button shown selected (-3 when it is not).
std::vector<int> Shown(ProgramRun& r) {
  return r.Read([&] {
    std::vector<int> shown;
    for (const Change& c : kChanges) {
      if (c.shows == nullptr) continue;
      TZoRGBPanel* p = r.Find(c.shows);
      if (c.number >= 0) {
        const auto* number = dynamic_cast<TZoRGBNum*>(p);
        shown.push_back(number != nullptr ? number->GetNumber() : -2);
      } else {
        const auto* button = dynamic_cast<TZoRGBBtn*>(p);
        shown.push_back(button == nullptr ? -2 : button->GetSelected() ? -1 : -3);
      }
    }
    return shown;
  });
}
std::vector<int> AllShown() {
  std::vector<int> shown;
  for (const Change& c : kChanges)
    if (c.shows != nullptr) shown.push_back(c.number);
  return shown;
}

// Where a control lies on the screen (x, y, width, height).
std::array<int, 4> Place(ProgramRun& r, const char* name) {
  return r.Read([&] {
    std::array<int, 4> place{-1, -1, 0, 0};
    if (TZoRGBPanel* p = r.Find(name)) {
      place = {0, 0, p->GetSizeX(), p->GetSizeY()};
      p->ClientToScreen(place[0], place[1]);
    }
    return place;
  });
}

// ---- The story to its end --------------------------------------------------------------------------------------

// Where the game is, as the player sees it.
enum class Where { kOther, kTitle, kAdventure, kMusic, kMovie };

struct Moment {
  Where where = Where::kOther;
  int step = -1;
  int overlay = -1;
  bool skipping = false;
  bool choosing = false;  // the choice window waits for an answer
};

// Plays the story from the title's Start to its end as a player in a hurry does: Ctrl held skips the text and the
// effects (pressed again whenever the adventure opens anew), a choice takes its first row, a click passes a page
// where skipping is not allowed and skips a movie, and Esc held stops every song. True when the title is back.
bool PlayStoryToItsEnd(ProgramRun& r) {
  const auto look = [&r] {
    return r.Read([&r] {
      Moment m;
      TGameForm& form = *r.w.form;
      if (form.GetState() == 3 && !form.IsResultPending() && r.Hangs("TitleMenuPanel")) {
        m.where = Where::kTitle;
      } else if (r.Hangs("MoviePanel")) {
        m.where = Where::kMovie;
      } else if (const TMusicUnit* music = r.Component<TMusicUnit>(); music != nullptr && music->IsLoaded()) {
        m.where = Where::kMusic;
      } else if (TAvgUnit* host = wiredgame::Adventure(r)) {
        m.where = Where::kAdventure;
        m.step = host->GetStep();
        m.overlay = host->GetOverlay();
        m.skipping = host->IsSkipping();
        m.choosing = m.step == TAvgUnit::stChoice && !host->Windows().Choice().IsBusy();
      }
      return m;
    });
  };
  platform::input::Input& keys = r.w.input;
  bool escHeld = false;
  bool left = false;  // the title has gone
  int quiet = 0;      // steps since the last key or click
  constexpr int kPatience = 20;
  for (int step = 0; step < 400000; ++step) {
    r.w.RunMain();
    const Moment m = look();
    left = left || m.where != Where::kTitle;
    if (left && m.where == Where::kTitle) {
      keys.KeyChanged(SDL_SCANCODE_LCTRL, false, false);
      r.w.RunMain();
      return true;
    }
    if ((m.where == Where::kMusic) != escHeld) {
      escHeld = !escHeld;
      keys.KeyChanged(SDL_SCANCODE_ESCAPE, escHeld, false);
    } else if (++quiet > kPatience) {
      quiet = 0;
      if (m.where == Where::kMovie) {
        r.ClickOn("MoviePanel");
      } else if (m.where == Where::kAdventure && m.overlay == TAvgUnit::ovNone) {
        if (m.choosing) {
          r.w.Key(SDL_SCANCODE_RETURN);
        } else if (!m.skipping) {
          keys.KeyChanged(SDL_SCANCODE_LCTRL, false, false);
          keys.KeyChanged(SDL_SCANCODE_LCTRL, true, false);
          if (m.step == TAvgUnit::stClick) r.w.Key(SDL_SCANCODE_RETURN);
        }
      }
    }
    r.w.clock.AdvanceMs(LoopWindow::kStepMs);
    if (DirectX::TDSound* sound = r.w.form->GetSound())
      if (platform::audio::ManualSink* sink = sound->GetManualSink()) sink->Pump(44100 * LoopWindow::kStepMs / 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// The album's table: for each entry the event pictures it lists.
std::map<int, std::vector<int>> AlbumTable() {
  std::ifstream in(fs::path(QORM_DEMO_FOLDER_DIR) / "Game_Pak/AlbumTbl.csv", std::ios::binary);
  std::map<int, std::vector<int>> table;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#,", 0) != 0) continue;
    std::stringstream fields(line.substr(2));
    std::vector<int> numbers;
    for (std::string f; std::getline(fields, f, ',');) numbers.push_back(std::atoi(f.c_str()));
    if (numbers.empty()) continue;
    std::vector<int>& pictures = table[numbers[0]];
    for (std::size_t i = 1; i < numbers.size() && numbers[i] != 0; ++i) pictures.push_back(numbers[i]);
  }
  return table;
}

// An uncompressed 24-bit picture of the demo game's main data, as 0x00RRGGBB rows from the top; empty when it is not
// one.
struct Rgb {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};
Rgb ReadBmp24(const std::string& name) {
  std::ifstream in(fs::path(QORM_DEMO_FOLDER_DIR) / "Game_Pak" / name, std::ios::binary);
  const std::string b{std::istreambuf_iterator<char>(in), {}};
  const auto u32 = [&b](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
  };
  Rgb out;
  if (b.size() < 54 || b.compare(0, 2, "BM") != 0 || (u32(28) & 0xFFFF) != 24 || u32(30) != 0) return out;
  const int width = static_cast<int>(u32(18)), height = static_cast<int>(u32(22));
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4, data = u32(10);
  if (width <= 0 || height <= 0 || data + stride * static_cast<std::size_t>(height) > b.size()) return out;
  out.width = width, out.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::size_t at = data + stride * static_cast<std::size_t>(height - 1 - y) + static_cast<std::size_t>(x) * 3;
      out.pixels.push_back(static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
                           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
                           static_cast<unsigned char>(b[at]));
    }
  return out;
}

// Pixels of the picture at (x, y) that equal the reference's.
int Matching(const gamewindow::GameWindow::Picture& p, int x, int y, const Rgb& reference) {
  int n = 0;
  for (int dy = 0; dy < reference.height; ++dy)
    for (int dx = 0; dx < reference.width; ++dx)
      n += p.Pixel(x + dx, y + dy) == reference.pixels[static_cast<std::size_t>(dy * reference.width + dx)] ? 1 : 0;
  return n;
}

// The loudest sample of the next `frames` of the sound output, heard between two frames.
int Loudest(ProgramRun& r, int frames) {
  return r.Read([&] {
    int loudest = 0;
    if (DirectX::TDSound* sound = r.w.form->GetSound())
      if (platform::audio::ManualSink* sink = sound->GetManualSink())
        for (std::int16_t v : sink->Pump(static_cast<std::uint32_t>(frames))) loudest = std::max(loudest, std::abs(int{v}));
    return loudest;
  });
}

// The songs that free play offers, seen on the song select opened from the title and left again.
std::set<std::string> FreePlaySongs(ProgramRun& r) {
  r.ClickOn("BtnFreePlay");
  EXPECT_TRUE(r.Showing("SongSelPanel"));
  const std::set<std::string> songs = r.Read([&] {
    std::set<std::string> ids;
    if (const TSongSelectMenu* m = r.Component<TSongSelectMenu>())
      for (int i = 0; i < m->GetSongCount(); ++i) ids.insert(std::string(m->GetSong(i).data(), 4));
    return ids;
  });
  r.ClickOn("BtnExit");
  EXPECT_TRUE(r.AtTitle());
  return songs;
}

}  // namespace

// A player opens the configuration screen from the title, changes volumes, pacing, full screen, text speed and the
// others, leaves it and quits. The program started again over the same save folder shows every setting as it was
// left, on the same picture, and the story's text shows at the speed chosen.
TEST(PlayThrough, SettingsChangedOnTheConfigurationScreenComeBackAfterARestart) {
  TempDir saves;
  gamewindow::GameWindow::Picture changed;
  {
    ProgramRun r(saves);
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.AtTitle());
    r.ClickOn("BtnConfig");
    ASSERT_TRUE(r.Showing("ConfigPanel"));
    const gamewindow::GameWindow::Picture defaults = r.StillPicture();
    EXPECT_FALSE(r.w.presenter.IsFullScreen());

    for (const Change& c : kChanges)
      for (int i = 0; i < c.times; ++i) {
        r.ClickOn(c.control, c.x, 7);
        ASSERT_TRUE(r.Showing("ConfigPanel"));
      }
    // The switch to full screen goes through the main thread and shows on a later frame.
    EXPECT_TRUE(r.Until([&] { return Shown(r) == AllShown(); }));
    EXPECT_EQ(Shown(r), AllShown());
    EXPECT_TRUE(r.w.presenter.IsFullScreen());
    changed = r.StillPicture();
    for (const Change& c : kChanges) {
      const auto [x, y, width, height] = Place(r, c.shows != nullptr ? c.shows : c.control);
      EXPECT_GT(Differing(defaults, changed, x, y, width, height), 0) << c.control << " looks as before";
    }

    // The user settings reach the file when the screen is left, the pacing at once.
    r.ClickOn("BtnExit");
    ASSERT_TRUE(r.AtTitle());
    const auto written = Settings(saves);
    EXPECT_EQ(written.count("FPSMode") ? written.at("FPSMode") : "", "30fps");
    EXPECT_EQ(written.count("UserTextSpeed") ? written.at("UserTextSpeed") : "", "0");

    r.ClickOn("BtnExit");
    ASSERT_NO_FATAL_FAILURE(r.ConfirmQuit());
  }

  // The file holds every setting, in the words the game writes.
  const auto written = Settings(saves);
  for (const Change& c : kChanges) {
    const auto it = written.find(c.key);
    EXPECT_TRUE(it != written.end() && it->second == c.written)
        << c.key << " is " << (it != written.end() ? it->second : "missing") << "\n" << SettingsFile(saves);
  }

  // Run again: every setting is back before the screen opens, and the screen shows them as they were left.
  ProgramRun r(saves);
  ASSERT_TRUE(r.Start());
  EXPECT_EQ(r.w.form->GetFpsMode(), kFps30);
  EXPECT_TRUE(r.w.presenter.IsFullScreen());
  ASSERT_TRUE(r.AtTitle());
  const TUserConfig loaded = r.Read([] { return UserConfig; });
  EXPECT_EQ(loaded.UserTextSpeed, 0);
  EXPECT_EQ(loaded.MusicRankMode, 1);
  EXPECT_EQ(r.Read([&] { return r.w.form->GetBgmVolume(); }), 25);
  r.ClickOn("BtnConfig");
  ASSERT_TRUE(r.Showing("ConfigPanel"));
  EXPECT_EQ(Shown(r), AllShown());
  const gamewindow::GameWindow::Picture again = r.StillPicture();
  EXPECT_EQ(Differing(changed, again, 0, 0, TGameForm::kWidth, TGameForm::kHeight), 0)
      << "the configuration screen looks otherwise than it was left";
  r.ClickOn("BtnExit");
  ASSERT_TRUE(r.AtTitle());

  // The story: its first message is on the page whole at once, never typed glyph by glyph.
  r.ClickOn("BtnStart");
  ASSERT_TRUE(r.Until([&] { return r.Read([&] { return wiredgame::Adventure(r) != nullptr; }); }));
  int typingFrames = 0;
  ASSERT_TRUE(r.Until([&] {
    return r.Read([&] {
      TAvgUnit* host = wiredgame::Adventure(r);
      if (host == nullptr) return false;
      TSubWinUnit::TTextWindow& message = host->Windows().Message();
      const std::string first = message.GetLineCount() > 0 ? wiredgame::Utf8(message.GetLineText(0)) : "";
      if (!first.empty() && message.IsTyping()) ++typingFrames;
      return host->GetStep() == TAvgUnit::stClick && first.find(kFirstWords) != std::string::npos;
    });
  }));
  EXPECT_EQ(typingFrames, 0) << "the text typed itself at the fastest speed";

  // Quit through the menu and the confirmation dialog.
  r.w.Click(320, 120, platform::input::MouseButton::Right);
  ASSERT_TRUE(r.Until([&] {
    return r.Read([&] {
      TAvgUnit* host = wiredgame::Adventure(r);
      return host != nullptr && host->GetOverlay() == TAvgUnit::ovMenu && !host->Windows().Menu().IsBusy();
    });
  }));
  r.ClickOn("MenuBtn9");
  ASSERT_NO_FATAL_FAILURE(r.ConfirmQuit());
  ForgetRecords();
}

// The story played from the title to its end (skipping, choosing the first rows, stopping every song) shows event
// pictures and ends by unlocking the title's album, sound room and extra. Started again, the program finds that in
// its system save: the album shows the thumbnails of the entries whose pictures the story showed, pixel for pixel,
// keeps the others empty, and shows an entry's seen pictures one after another; the sound room plays a track; free
// play offers the songs the story marked.
TEST(PlayThrough, TheStoryUnlocksTheAlbumAndTheSoundRoom) {
  TempDir saves;
  {
    ProgramRun r(saves);
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.AtTitle());
    for (const char* locked : {"BtnAlbum", "BtnSound", "BtnExtra"}) EXPECT_FALSE(r.Has(locked)) << locked;
    const std::set<std::string> before = FreePlaySongs(r);
    for (const char* song : kStorySongs) EXPECT_EQ(before.count(song), 0u) << song << " is offered before the story";
    r.ClickOn("BtnStart");
    ASSERT_TRUE(PlayStoryToItsEnd(r)) << r.w.form->GetFatalError();
    ASSERT_TRUE(r.AtTitle());
    for (const char* unlocked : {"BtnAlbum", "BtnSound", "BtnExtra"}) EXPECT_TRUE(r.Has(unlocked)) << unlocked;
    r.ClickOn("BtnExit");
    ASSERT_NO_FATAL_FAILURE(r.ConfirmQuit());
  }

  // The system save holds what the story showed: the first rows led to the parade (not the lullaby, 508) and the
  // stopped songs to the roof (not the dawn, 511).
  TSystemData saved;
  {
    std::ifstream in(saves.path() / "BELVAR/QORM" / kSystemSaveName, std::ios::binary);
    const std::string image{std::istreambuf_iterator<char>(in), {}};
    TReadMesTable log;
    ASSERT_TRUE(DecodeSystemSave(image.data(), image.size(), saved, log));
  }
  EXPECT_TRUE(saved.GetFlag(63));
  for (int picture : {501, 502, 503, 504, 505, 506, 507, 509, 510, 512, 513})
    EXPECT_TRUE(saved.GetEventSeen(picture - 500)) << picture << " is not marked seen";
  for (int picture : {508, 511}) EXPECT_FALSE(saved.GetEventSeen(picture - 500)) << picture << " is marked seen";

  // Started again: the title offers the album and the sound room.
  ProgramRun r(saves);
  ASSERT_TRUE(r.Start());
  ASSERT_TRUE(r.AtTitle());
  for (const char* unlocked : {"BtnAlbum", "BtnSound", "BtnExtra"}) EXPECT_TRUE(r.Has(unlocked)) << unlocked;

  // The album: once the thumbnails have come in, an entry with a seen picture shows its thumbnail as drawn, one
  // without shows none of it.
  r.ClickOn("BtnAlbum");
  ASSERT_TRUE(r.Showing("AlbumPanel"));
  ASSERT_TRUE(r.Until([&] { return r.Read([&] { return r.Component<TAlbumMenu>()->GetShowCounter() < 0; }); }));
  // The light follows the pointer over the thumbnails, stays on the last one and pulses: it is put on the last
  // place of the grid, which no entry uses, and left out of the pictures compared.
  r.HoverOn("ThumbNail20");
  ASSERT_TRUE(r.Pass(100));  // moves not yet taken by a frame are replaced by the next one
  const gamewindow::GameWindow::Picture grid = r.StillPicture();
  constexpr int kLastX = 39 + 114 * 4, kLastY = 73 + 88 * 3;
  const std::map<int, std::vector<int>> table = AlbumTable();
  ASSERT_FALSE(table.empty());
  std::set<int> unlocked;
  for (const auto& [entry, pictures] : table) {
    SCOPED_TRACE("entry " + std::to_string(entry));
    const bool seen = std::any_of(pictures.begin(), pictures.end(), [&](int p) { return saved.GetEventSeen(p - 500); });
    if (seen) unlocked.insert(entry);
    char name[24];
    std::snprintf(name, sizeof name, "AlbumEv%02d.bmp", entry);
    const Rgb thumb = ReadBmp24(name);
    ASSERT_EQ(thumb.width * thumb.height, TAlbumMenu::kThumbWidth * TAlbumMenu::kThumbHeight);
    const int x = 39 + 114 * (entry % 5), y = 73 + 88 * (entry / 5);
    const int matching = Matching(grid, x, y, thumb);
    if (seen)
      EXPECT_EQ(matching, thumb.width * thumb.height) << "the thumbnail is not shown";
    else
      EXPECT_LT(matching, thumb.width * thumb.height / 10) << "a locked thumbnail is shown";
  }
  EXPECT_EQ(unlocked, (std::set<int>{0, 1, 2, 3, 5, 6, 8, 9}));

  // A locked entry opens nothing; an unlocked one shows its seen pictures full screen, a click each, then the grid.
  const auto viewing = [&] { return r.Read([&] { return r.Component<TAlbumMenu>()->GetViewState(); }); };
  r.ClickOn("ThumbNail05");  // entry 4
  ASSERT_TRUE(r.Pass(500));
  EXPECT_EQ(viewing(), 0);
  const int seenOfFirst = static_cast<int>(std::count_if(table.at(0).begin(), table.at(0).end(),
                                                         [&](int p) { return saved.GetEventSeen(p - 500); }));
  r.ClickOn("ThumbNail01");
  for (int shown = 0; shown < seenOfFirst; ++shown) {
    SCOPED_TRACE("picture " + std::to_string(shown));
    ASSERT_TRUE(r.Until([&] { return viewing() == 2; }));
    const gamewindow::GameWindow::Picture picture = r.StillPicture();
    EXPECT_GT(Differing(grid, picture, 0, 0, TGameForm::kWidth, TGameForm::kHeight), TGameForm::kWidth * TGameForm::kHeight / 2)
        << "the picture is not shown";
    r.ClickOn("PicturePanel");
  }
  ASSERT_TRUE(r.Until([&] { return viewing() == 0; }));
  r.HoverOn("ThumbNail20");
  ASSERT_TRUE(r.Pass(100));
  const gamewindow::GameWindow::Picture back = r.StillPicture();
  EXPECT_EQ(Differing(grid, back, 0, 0, TGameForm::kWidth, TGameForm::kHeight) -
                Differing(grid, back, kLastX, kLastY, TAlbumMenu::kThumbWidth, TAlbumMenu::kThumbHeight),
            0)
      << "the grid did not come back after the entry's last picture";
  r.ClickOn("ExitBtn");
  ASSERT_TRUE(r.AtTitle());

  // The sound room: the third track, played, is heard and counts its time; stopped, it is silent.
  const auto number = [&](const char* name) {
    return r.Read([&] {
      const auto* n = dynamic_cast<TZoRGBNum*>(r.Find(name));
      return n != nullptr ? n->GetNumber() : -1;
    });
  };
  r.ClickOn("BtnSound");
  ASSERT_TRUE(r.Showing("SoundPanel"));
  EXPECT_EQ(number("NumTrack10") * 10 + number("NumTrack1"), 1) << "the room came in without its track number";
  r.ClickOn("BtnSelBgm3");
  r.ClickOn("BtnIxPlay");
  ASSERT_TRUE(r.Until([&] { return r.Read([&] { return r.w.form->IsBgmPlaying() && r.w.form->GetBgmTrack() == 3; }); }));
  EXPECT_TRUE(r.Until([&] { return number("NumTrack10") * 10 + number("NumTrack1") == 3; }));
  int loudest = 0;
  for (int i = 0; i < 40 && loudest < 1000; ++i) {
    loudest = std::max(loudest, Loudest(r, 4410));
    ASSERT_TRUE(r.Pass(100));
  }
  EXPECT_GE(loudest, 1000) << "the track is not heard";
  ASSERT_TRUE(r.Until([&] { return number("NumSec") >= 1; })) << "the playing time does not count";
  r.ClickOn("BtnStop");
  ASSERT_TRUE(r.Until([&] { return r.Read([&] { return !r.w.form->IsBgmPlaying(); }); }));
  Loudest(r, 4410);  // what was mixed before the stop
  EXPECT_EQ(Loudest(r, 4410), 0) << "the stopped track is still heard";
  r.ClickOn("BtnEnd");
  ASSERT_TRUE(r.AtTitle());

  // Free play offers the songs the story marked.
  const std::set<std::string> after = FreePlaySongs(r);
  for (const char* song : kStorySongs) EXPECT_EQ(after.count(song), 1u) << song << " is not offered after the story";
  r.ClickOn("BtnExit");
  ASSERT_NO_FATAL_FAILURE(r.ConfirmQuit());
  ForgetRecords();
}


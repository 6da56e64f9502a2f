// Whole-game play-throughs on the demo game through the program's own wiring, each over a save folder that outlives
// the game window, so that a second window and game thread over it start as the program does when run again:
// - settings changed on the configuration screen come back after a restart: in the settings file, on the screen
//   (the same picture) and in the story (the text speed);
// - the story played to its end unlocks the album and the sound room: the album shows the pictures the story showed
//   and keeps the others locked; the sound room plays its tracks.
//
// It looks at the game only between frames (LoopWindow::Read).
// Label: threads
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
#include <string>
#include <system_error>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "platform/text.h"
#include "scenario/avgu.h"
#include "scenario/gamewire.h"
#include "scenario/subwinu.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using gamethread::LoopWindow;

// The first words of the story.
constexpr const char* kFirstWords = "おはよう";

std::string Utf8(const VXString& s) { return platform::text::Cp932ToUtf8({s.c_str(), static_cast<std::size_t>(s.Length())}); }

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
  explicit ProgramRun(const TempDir& saveFolder)
      : LoopWindow(QORM_DEMO_GAME_DIR, [](TGameUnits& units, TFrontScreens& screens, gamethread::Script&) {
          units = MakeGameUnits();
          screens = MakeFrontScreens();
        }) {
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
    w.form.reset();
    SaveWindowMode();
  }

  // Answers the confirmation dialog, open or opening, with Yes: the game ends without an error and the window goes.
  void ConfirmQuit() {
    ASSERT_TRUE(Until([&] { return Has("DlgWin"); }));
    ClickOn("DlgYes");
    ASSERT_TRUE(Finish());
    EXPECT_TRUE(w.form->GetFatalError().empty()) << w.form->GetFatalError();
    Stop();
  }

  // The title waits for the player.
  bool AtTitle() { return Showing("TitleMenuPanel"); }

  // The adventure host while its panel is on the screen, else null. Only inside Read.
  TAvgUnit* Host() const {
    if (TZoRGBPanel* root = w.form->GetRootPanel())
      for (int i = 0; i < root->GetChildCount(); ++i)
        if (root->GetChild(i)->GetName() == "AvgPanel") return dynamic_cast<TAvgUnit*>(root->GetChild(i)->GetOwner());
    return nullptr;
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
  ASSERT_TRUE(r.Until([&] { return r.Read([&] { return r.Host() != nullptr; }); }));
  int typingFrames = 0;
  ASSERT_TRUE(r.Until([&] {
    return r.Read([&] {
      TAvgUnit* host = r.Host();
      if (host == nullptr) return false;
      TSubWinUnit::TTextWindow& message = host->Windows().Message();
      const std::string first = message.GetLineCount() > 0 ? Utf8(message.GetLineText(0)) : "";
      if (!first.empty() && message.IsTyping()) ++typingFrames;
      return host->GetStep() == TAvgUnit::stClick && first.find(kFirstWords) != std::string::npos;
    });
  }));
  EXPECT_EQ(typingFrames, 0) << "the text typed itself at the fastest speed";

  // Quit through the menu and the confirmation dialog.
  r.w.Click(320, 120, platform::input::MouseButton::Right);
  ASSERT_TRUE(r.Until([&] {
    return r.Read([&] {
      TAvgUnit* host = r.Host();
      return host != nullptr && host->GetOverlay() == TAvgUnit::ovMenu && !host->Windows().Menu().IsBusy();
    });
  }));
  r.ClickOn("MenuBtn9");
  ASSERT_NO_FATAL_FAILURE(r.ConfirmQuit());
  ForgetRecords();
}

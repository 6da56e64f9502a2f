// The demo game played through the real program, twice over one save folder, as a player restarting it would:
// the configuration makes the story's songs play themselves; Start; the story is read through its choices and its
// opening movie to the first song, which the music game plays by itself; back in the story the performance is
// rated; the player quick-saves, saves into the first slot and quits through the menu. A new game window and game
// thread over the same save folder load the slot from the title, and the story goes on where it was.
//
// It looks at the game, its panels and the picture only between frames (LoopWindow::Read).
// Label: threads
// Timeout: 1800
#include <gtest/gtest.h>

#include <SDL_scancode.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "music/musicu.h"
#include "scenario/avgu.h"
#include "scenario/subwinu.h"
#include "shell/commont.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/savefile.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"
#include "support/tempdir.h"
#include "support/wiredgame.h"

namespace {

namespace fs = std::filesystem;
using gamethread::LoopWindow;
using wiredgame::Contains;
using wiredgame::Utf8;

// Words of the demo story, as the reader sees them.
constexpr const char* kRating = "演奏の評価は";
constexpr const char* kTogether = "音が重なった瞬間";  // after a song rated three stars or more
constexpr const char* kRough = "音はばらばらで";     // after a weaker one
constexpr int kChapterOne = 2;                      // the script of the first song

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A digit as the story writes numbers: full width.
std::string FullWidth(int digit) { return {'\xEF', '\xBC', static_cast<char>(0x90 + digit)}; }

// A fresh program's records: what a restarted process holds before it reads its files.
void ForgetRecords() {
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
  GameState = TGameState{};
  const std::uint32_t emptyLog[2] = {TReadMesTable::kHeaderSize, 0};
  ReadMesTable.Load(emptyLog, sizeof emptyLog);
}

// What the game shows at one moment.
struct Seen {
  int state = -1;        // the game window's
  bool movie = false;    // a movie panel hangs under the root
  bool running = false;  // the adventure runs (its panel is on the screen while anything below is set)
  int step = -1;
  int overlay = -1;
  std::vector<std::string> message;  // the message window's lines
  bool choiceShown = false;
  bool choiceIdle = false;
  bool menuIdle = false;
  int script = -1;
  int messageNumber = -1;

  bool operator==(const Seen&) const = default;
  bool Reading() const { return running && overlay == TAvgUnit::ovNone; }
  bool AtClick() const { return Reading() && step == TAvgUnit::stClick; }
  friend std::ostream& operator<<(std::ostream& out, const Seen& s) {
    out << "state " << s.state << ", running " << s.running << ", step " << s.step << ", overlay " << s.overlay
        << ", script " << s.script << ", message " << s.messageNumber;
    for (const std::string& l : s.message) out << " |" << l;
    return out;
  }
};

// What the music game showed last while it had its song loaded.
struct Played {
  int notes = 0;       // notes with a tone
  int auto_ = 0;       // of them, played by the program in full auto (not the easy level's marked ones)
  int done = 0;        // of them, no longer waiting
  int gauge = -1;
};

// The wired program on the demo game, its save folder `home` ($XDG_DATA_HOME).
class Player : public LoopWindow {
public:
  explicit Player(const fs::path& home) : LoopWindow(QORM_DEMO_GAME_DIR, wiredgame::Wire), home_(home) {
    w.env.Set("XDG_DATA_HOME", home.c_str());
  }

  fs::path Saves() const { return home_ / "BELVAR" / "QORM"; }

  bool AtTitle(int n) { return wiredgame::AtTitle(*this, n); }

  // The window's component of that class; null when none. Only inside Read.
  template <class T>
  T* Component() const {
    for (int i = 0; i < w.form->GetComponentCount(); ++i)
      if (T* c = dynamic_cast<T*>(w.form->GetComponent(i))) return c;
    return nullptr;
  }

  Seen Look() {
    return Read([&] {
      Seen s;
      s.state = w.form->GetState();
      s.movie = Find("MoviePanel") != nullptr;
      TAvgUnit* host = wiredgame::Adventure(*this);
      if (host == nullptr) return s;
      TSubWinUnit& win = host->Windows();
      s.running = host->IsRunning();
      s.step = host->GetStep();
      s.overlay = host->GetOverlay();
      for (int i = 0; i < win.Message().GetLineCount(); ++i) s.message.push_back(Utf8(win.Message().GetLineText(i)));
      s.choiceShown = win.Choice().IsShown();
      s.choiceIdle = !win.Choice().IsBusy();
      s.menuIdle = win.Menu().IsShown() && !win.Menu().IsBusy();
      s.script = GameState.GetScriptNumber();
      s.messageNumber = GameState.GetMessageNumber();
      return s;
    });
  }

  static bool Hurried(int step) { return step >= TAvgUnit::stWait && step <= TAvgUnit::stText; }

  template <class Done>
  bool UntilSeen(Done done) {
    return Until([&] { return done(Look()); });
  }

  // Reads on as a quick player does until `done`: a click on the scene at each click wait and while text types, a
  // wait runs or the stage changes (a click finishes them at once), Enter on each open choice (its first answer),
  // clicks on a movie until it gives way. After each answer it waits until the screen shows something else.
  template <class Done>
  bool ReadUntil(Done done) {
    for (int answer = 0; answer < 100; ++answer) {
      Seen now;
      if (!UntilSeen([&](const Seen& s) {
            now = s;
            const bool choice = s.step == TAvgUnit::stChoice && s.choiceShown && s.choiceIdle;
            return done(s) || s.movie || (s.Reading() && (Hurried(s.step) || choice));
          }))
        return false;
      if (done(now)) return true;
      if (now.movie) {
        if (!Until([&] {
              if (!Read([&] { return Find("MoviePanel") != nullptr; })) return true;
              w.Click(320, 240);
              return false;
            }))
          return false;
        continue;
      }
      if (Hurried(now.step)) {
        w.Click(320, 120);
      } else {
        w.Key(SDL_SCANCODE_RETURN);
      }
      if (!UntilSeen([&](const Seen& s) { return !(s == now); })) return false;
    }
    return false;
  }

  // Listens to the music game until it gives the screen back; what it showed last with its song loaded.
  Played Listen() {
    Played last;
    for (int i = 0; i < 4000 && w.form->GetState() == 4; ++i) {
      Read([&] {
        const TMusicUnit* m = Component<TMusicUnit>();
        if (m == nullptr || !m->IsLoaded()) return;
        Played p;
        p.gauge = m->GetGauge();
        const TMusicNote* notes = m->GetNotes();
        for (int n = 0; n < m->GetNoteCount(); ++n) {
          if (notes[n].pitch < 0) continue;
          ++p.notes;
          p.auto_ += notes[n].autoPlay != 0 && notes[n].marked == 0 ? 1 : 0;
          p.done += notes[n].state != 0 ? 1 : 0;
        }
        last = p;
      });
      if (!Hear(2205)) break;
    }
    return last;
  }

  // Opens the right-click menu and chooses its entry `n` (1-9).
  void Menu(int n) {
    w.Click(320, 120, platform::input::MouseButton::Right);
    ASSERT_TRUE(UntilSeen([](const Seen& s) { return s.overlay == TAvgUnit::ovMenu && s.menuIdle; })) << Look();
    ClickOn("MenuBtn" + std::to_string(n));
  }
  // The menu's last entry and the confirmation dialog's Yes; the game thread ends and the window closes.
  void Quit() {
    Menu(9);
    ASSERT_TRUE(Until([&] { return Has("DlgWin"); }));
    ClickOn("DlgYes");
    ASSERT_TRUE(Finish());
    EXPECT_TRUE(w.terminated);
    EXPECT_TRUE(w.form->GetFatalError().empty()) << w.form->GetFatalError();
  }

  // What the screen shows at the places that tell the scene: pixels of the stage clear of every window, and the
  // count of pure white pixels (the cores of the glyphs) in the message window's text.
  struct Picture {
    std::array<std::uint32_t, 4> stage{};
    int messageWhite = 0;
    bool operator==(const Picture&) const = default;
  };
  static constexpr std::array<std::array<int, 2>, 4> kStageSpots{{{20, 20}, {620, 200}, {320, 60}, {100, 250}}};
  Picture Shown() {
    return Read([&] {
      const gamewindow::GameWindow::Picture front = w.Front();
      Picture p;
      for (std::size_t i = 0; i < kStageSpots.size(); ++i)
        p.stage[i] = front.Pixel(kStageSpots[i][0], kStageSpots[i][1]);
      for (int y = 336; y < 452; ++y)
        for (int x = 60; x < 580; ++x) p.messageWhite += front.Pixel(x, y) == 0xFFFFFFu ? 1 : 0;
      return p;
    });
  }
  // The picture once it has stopped changing (fades and transitions over).
  Picture Settled() {
    Picture last = Shown();
    int same = 0;
    Until([&] {
      const Picture now = Shown();
      same = now == last ? same + 1 : 0;
      last = now;
      return same >= 20;
    });
    return last;
  }

private:
  fs::path home_;
};

// The parts of a game state that say where the story stands.
struct Where {
  int script = -1, messageNumber = -1, sceneMode = -1, chapter = -1, picture = -1, callDepth = -1;
  std::string scene;
  std::vector<std::string> page;
  std::vector<int> vars;
  std::vector<bool> flags;
  bool operator==(const Where&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Where& w) {
    out << "script " << w.script << " message " << w.messageNumber << " mode " << w.sceneMode << " picture "
        << w.picture << " depth " << w.callDepth;
    for (const std::string& l : w.page) out << " |" << l;
    return out;
  }
};

Where WhereOf(const TGameState& s) {
  Where w;
  w.script = s.GetScriptNumber();
  w.messageNumber = s.GetMessageNumber();
  w.sceneMode = s.GetSceneMode();
  w.chapter = s.GetScriptWord();
  w.picture = s.GetShownPicture();
  w.callDepth = s.GetCallDepth();
  w.scene = Utf8(s.GetSceneName());
  for (int i = 0; i < TGameState::kPageLines; ++i) w.page.push_back(Utf8(s.GetPageLine(i)));
  for (int i = 0; i <= 8; ++i) w.vars.push_back(s.GetVar(i));
  for (int i = 0; i <= 4; ++i) w.flags.push_back(s.GetFlag(i));
  return w;
}

// The read marks of the first 200 messages of the prologue and of chapter one, in the read-text log.
std::vector<bool> ReadMarks() {
  std::vector<bool> marks;
  for (std::uint32_t script : {1u, static_cast<std::uint32_t>(kChapterOne)})
    for (std::uint32_t n = 0; n < 200; ++n) marks.push_back(ReadMesTable.IsRead(script << 16 | n));
  return marks;
}

// The game folder as the current folder for a scope: songs are found below it, as in the program.
class InGameFolder {
public:
  InGameFolder() : old_(fs::current_path()) { fs::current_path(QORM_DEMO_GAME_DIR); }
  ~InGameFolder() {
    std::error_code ignored;
    fs::current_path(old_, ignored);
  }
  InGameFolder(const InGameFolder&) = delete;
  InGameFolder& operator=(const InGameFolder&) = delete;

private:
  fs::path old_;
};

}  // namespace

TEST(PlayThrough, StoryMusicRequestQuickSaveQuitAndLoad) {
  const InGameFolder folder;
  const TempDir home;
  ForgetRecords();
  const TScopeExit forget([] { ForgetRecords(); });

  auto first = std::make_unique<Player>(home.path());
  Player& g = *first;
  ASSERT_TRUE(g.Start());
  ASSERT_TRUE(g.AtTitle(1));

  // The configuration's automatic advance also lets the story's songs play themselves.
  g.ClickOn("BtnConfig");
  ASSERT_TRUE(g.Showing("ConfigPanel"));
  g.ClickOn("AutoAdvON");
  ASSERT_TRUE(g.Until([&] { return g.Read([] { return UserConfig.AvgAutoMode == 1; }); }));
  g.ClickOn("BtnExit");
  ASSERT_TRUE(g.AtTitle(2));
  EXPECT_NE(ReadFile(g.Saves() / "QORM.ini").find("AvgAutoMode=Auto"), std::string::npos);

  // Start: the prologue with its choices (each answered with its first answer: the library first), the walk home,
  // the opening movie and chapter one, up to the song the scenario asks for.
  g.ClickOn("BtnStart");
  ASSERT_TRUE(g.ReadUntil([](const Seen& s) { return s.state == 4; })) << g.Look() << " " << g.w.form->GetFatalError();
  EXPECT_TRUE(g.Read([] { return GameState.GetFlag(4) && GameState.GetVar(1) == 3 && GameState.GetVar(2) == 5; }))
      << "the library was not visited";

  // The music game plays the whole song by itself and hands its gauge to the story.
  const Played played = g.Listen();
  ASSERT_NE(g.w.form->GetState(), 4) << "the song did not end";
  EXPECT_GT(played.notes, 20);
  EXPECT_EQ(played.auto_, played.notes) << "notes left to the player";
  EXPECT_EQ(played.done, played.notes) << "notes never played";
  EXPECT_GT(played.gauge, 0);

  // Back in the story: the rating of the performance waits for a click.
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.step == TAvgUnit::stClick && Contains(s.message, kRating); }))
      << g.Look() << " " << g.w.form->GetFatalError();
  const Seen rating = g.Look();
  const std::string stars = "星" + FullWidth(played.gauge / 20) + "個";
  EXPECT_TRUE(Contains(rating.message, stars)) << rating << " " << stars;
  EXPECT_TRUE(g.Read([&] { return GameState.GetVar(6) == played.gauge && GameState.GetVar(7) == 1; }));
  const Where before = g.Read([] { return WhereOf(GameState); });
  EXPECT_EQ(before.script, kChapterOne);
  const Player::Picture shown = g.Settled();
  EXPECT_GT(shown.messageWhite, 100) << "the rating is not on the screen";
  EXPECT_NE(shown.stage, (std::array<std::uint32_t, 4>{})) << "the stage is black";

  // Quick save, then the save screen from the menu into the first slot; after the save the story stands where it
  // stood.
  const fs::path quick = g.Saves() / SlotFileName(0);
  const fs::path slot1 = g.Saves() / SlotFileName(1);
  wiredgame::PressWindowButton(g, &TSubWinUnit::MesSave);
  ASSERT_TRUE(g.Until([&] { return fs::exists(quick); }));
  g.Menu(5);
  ASSERT_TRUE(g.Until([&] { return g.Has("SaveMenuWin"); }));
  g.ClickOn("SaveData1");
  g.ClickOn("SaveButton");
  ASSERT_TRUE(g.Until([&] { return fs::exists(slot1); }));
  g.ClickOn("CloseButton");
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.AtClick(); })) << g.Look();
  EXPECT_EQ(g.Look().message, rating.message);
  EXPECT_EQ(g.Read([] { return WhereOf(GameState); }), before);
  EXPECT_EQ(g.Settled(), shown);

  const std::vector<bool> read = g.Read([] { return ReadMarks(); });
  g.Quit();
  ASSERT_FALSE(HasFailure());
  first.reset();

  // The files: both slots hold the rated moment (the quick save with its thumbnail); the system save's read-text
  // log holds the messages read, as the game had them.
  for (const fs::path& path : {quick, slot1}) {
    SCOPED_TRACE(path.filename().string());
    const std::string image = ReadFile(path);
    auto current = std::make_unique<TGameState>();
    std::vector<std::uint8_t> extra(kSlotExtraMax);
    std::uint32_t extraSize = 0;
    ASSERT_TRUE(DecodeSlotSave(image.data(), image.size(), current.get(), nullptr, extra.data(), &extraSize));
    EXPECT_EQ(WhereOf(*current), before);
    EXPECT_EQ(extraSize, path == quick ? kSlotExtraMax : 0u);
  }
  {
    const std::string image = ReadFile(home.path() / "BELVAR" / "QORM" / kSystemSaveName);
    TSystemData system;
    ForgetRecords();
    ASSERT_TRUE(DecodeSystemSave(image.data(), image.size(), system, ReadMesTable));
    EXPECT_GT(std::count(read.begin(), read.end(), true), 20) << "too few messages marked read";
    EXPECT_TRUE(read[1]) << "the first message is not marked read";
    EXPECT_EQ(ReadMarks(), read);
  }

  // A new program over the same save folder: the title's load screen takes the slot back.
  ForgetRecords();
  Player again(home.path());
  ASSERT_TRUE(again.Start());
  ASSERT_TRUE(again.AtTitle(1));
  EXPECT_EQ(again.Read([] { return int{UserConfig.AvgAutoMode}; }), 1);
  again.ClickOn("BtnLoad");
  ASSERT_TRUE(again.Showing("SaveMenuWin"));
  again.ClickOn("SaveData1");
  again.ClickOn("LoadButton");
  ASSERT_TRUE(again.UntilSeen([](const Seen& s) { return s.AtClick(); }))
      << again.Look() << " " << again.w.form->GetFatalError();
  const Seen loaded = again.Look();
  EXPECT_EQ(loaded.message, rating.message);
  EXPECT_TRUE(Contains(loaded.message, stars)) << loaded << " " << stars;
  EXPECT_EQ(again.Read([] { return WhereOf(GameState); }), before);
  EXPECT_EQ(again.Settled(), shown);

  // The story goes on from inside the rating: the chapter carries on by the stars the song earned.
  ASSERT_TRUE(again.ReadUntil([](const Seen& s) {
    return Contains(s.message, kTogether) || Contains(s.message, kRough);
  })) << again.Look();
  ASSERT_TRUE(again.UntilSeen([](const Seen& s) { return s.AtClick(); })) << again.Look();
  EXPECT_TRUE(Contains(again.Look().message, played.gauge / 20 >= 3 ? kTogether : kRough)) << again.Look();
  EXPECT_TRUE(again.Read([] { return GameState.GetFlag(1); }));

  // The quick save survived the restart: quick load brings the rating back.
  wiredgame::PressWindowButton(again, &TSubWinUnit::MesLoad);
  ASSERT_TRUE(again.UntilSeen([&](const Seen& s) { return s.AtClick() && s.message == rating.message; }))
      << again.Look();
  EXPECT_EQ(again.Read([] { return WhereOf(GameState); }), before);

  again.Quit();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  RecordProperty("PeakResidentKiB", static_cast<int>(usage.ru_maxrss));
  std::printf("peak resident memory: %ld KiB\n", usage.ru_maxrss);
}

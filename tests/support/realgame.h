// The real program in the test process: RunGame with the program's wiring, on SDL's dummy video and audio drivers,
// the demo game of the build, and a player's home of its own (a temporary folder). It runs on its real clock; a
// player thread plays it from the first frame the window showed.
//
//   realgame::Home home;                           // HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR, QORM_DATA, SDL drivers
//   const realgame::Outcome o = realgame::RunProgram([](realgame::Player& p) {
//     if (!p.Showing("TitleMenuPanel")) return;    // waits (120 s at most) for a state, never for a time
//     p.ClickOn("BtnExit");
//   });
//   EXPECT_EQ(o.status, 0);
//   EXPECT_EQ(o.failure, "");
//
// The player looks at the game only between frames (Read: TGameForm::BetweenFrames, from the player thread) and
// plays through the real input path: SDL events pushed into SDL's queue, which the main thread pumps into the
// input layer. A step that fails or times out (Fail) is kept as the outcome's failure and ends the game the way
// the desktop session ending does. Once the main loop has ended the player sees nothing any more (Read gives nothing,
// input is dropped), so it never touches a window that is being destroyed.
//
// Label: threads (the program starts its threads; the player is one more).
#pragma once

#include <SDL_events.h>
#include <SDL_scancode.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "graphics/zorgbpanel.h"
#include "scenario/gamewire.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"
#include "shell/splashf.h"
#include "shell/systemdata.h"
#include "support/environment.h"
#include "support/paneltree.h"
#include "support/tempdir.h"

namespace realgame {

// How long a step may wait for the state it needs: generous, for a loaded machine and the sanitisers.
inline constexpr std::chrono::seconds kPatience{120};

// A player's machine: a home of its own with the save folder below it, the demo game of the build as the game
// folder, and SDL's dummy drivers (no display, no sound card).
class Home {
public:
  Home() {
    std::filesystem::create_directories(dir.path() / "run");
    env.Set("HOME", dir.str().c_str());
    env.Set("XDG_DATA_HOME", (dir.str() + "/data").c_str());
    env.Set("XDG_RUNTIME_DIR", (dir.str() + "/run").c_str());
    env.Set("QORM_DATA", QORM_DEMO_GAME_DIR);
    env.Set("QORM_TITLE_FILE", nullptr);
    env.Set("SDL_VIDEODRIVER", "dummy");
    env.Set("SDL_AUDIODRIVER", "dummy");
    env.Set("DISPLAY", nullptr);
    env.Set("WAYLAND_DISPLAY", nullptr);
  }
  ~Home() {
    std::error_code ignored;
    std::filesystem::current_path(folder_, ignored);
  }
  Home(const Home&) = delete;
  Home& operator=(const Home&) = delete;

  std::filesystem::path SaveFolder() const { return dir.path() / "data" / "BELVAR" / "QORM"; }
  // The settings file as the program left it (empty when there is none).
  std::string Settings() const {
    std::ifstream in(SaveFolder() / "QORM.ini", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // A settings file the player had before the program started.
  void WriteSettings(const std::string& text) const {
    std::filesystem::create_directories(SaveFolder());
    std::ofstream(SaveFolder() / "QORM.ini", std::ios::binary) << text;
  }

  TempDir dir;
  Environment env;

private:
  std::filesystem::path folder_ = std::filesystem::current_path();  // the program makes the game folder current
};

// The records a program keeps in memory, back to what a freshly started process has: a second run in the same test
// knows only what the first one wrote to files.
inline void ForgetProcessRecords() {
  WindowMode = 1;
  for (auto* flag : {&ShowFPS, &CapEnable, &AlbumShowAll, &MusicForceAuto, &MusicMemorySave, &MusicSongAll})
    flag->store(0);
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
  GameState = TGameState{};
  SceneStartState = TGameState{};
}

class Player {
public:
  // Runs `read` between two frames (see the top of this file) and gives what it returns; nothing once the game
  // has gone. Inside it: Form, Find, Shown, Waiting; never input or waits.
  template <class Reader>
  using Looked = std::invoke_result_t<Reader>;
  template <class Reader>
  using ReadResult = std::conditional_t<std::is_void_v<Looked<Reader>>, bool, Looked<Reader>>;
  template <class Reader>
  std::optional<ReadResult<Reader>> Read(Reader read) {
    std::lock_guard guard(lock_);
    if (form_ == nullptr) return std::nullopt;
    if constexpr (std::is_void_v<decltype(read())>) {
      form_->BetweenFrames([&] { read(); });
      return true;
    } else {
      std::optional<decltype(read())> result;
      form_->BetweenFrames([&] { result.emplace(read()); });
      return result;
    }
  }
  // Only inside Read.
  TGameForm& Form() const { return *form_; }
  // The panel of that name, first in depth order under the root; null when none. Only inside Read.
  TZoRGBPanel* Find(const std::string& name) const { return FindPanel(form_->GetRootPanel(), name); }
  // The panel and every panel above it up to the root are visible. Only inside Read.
  bool Shown(const std::string& name) const {
    const TZoRGBPanel* p = Find(name);
    const TZoRGBPanel* root = form_->GetRootPanel();
    for (; p != nullptr && p != root; p = p->GetParent())
      if (!p->GetVisible()) return false;
    return p != nullptr && p == root;
  }
  // A screen of that name hangs right under the root and the game thread waits for the player on it: panel screens
  // (state 3) and no result pending (a click in the transition to a screen is lost). Only inside Read.
  bool Waiting(const std::string& name) const {
    if (form_->GetState() != 3 || form_->IsResultPending()) return false;
    const TZoRGBPanel* root = form_->GetRootPanel();
    for (int i = 0; root != nullptr && i < root->GetChildCount(); ++i)
      if (root->GetChild(i)->GetName() == name && root->GetChild(i)->GetVisible()) return true;
    return false;
  }

  // Polls `done` (run inside Read) until it holds; false, and the failure kept, when the game went or the patience
  // ran out first.
  template <class Done>
  bool Until(Done done, const std::string& what, std::chrono::seconds patience = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
      const std::optional<bool> now = Read([&] { return static_cast<bool>(done()); });
      if (!now) return Fail("the game ended while waiting for " + what);
      if (*now) return true;
      if (std::chrono::steady_clock::now() > deadline) return Fail("timed out waiting for " + what);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  bool Showing(const std::string& screen) {
    return Until([&] { return Waiting(screen); }, "the screen " + screen);
  }

  // ---- Input, as the desktop hands it to the program.

  void Click(int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x, e.motion.y = y;
    Push(e);
    for (const Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
      e = SDL_Event{};
      e.type = type;
      e.button.button = button;
      e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
      e.button.clicks = 1;
      e.button.x = x, e.button.y = y;
      Push(e);
    }
  }
  // Clicks the middle of the named panel; false (kept as the failure) when it is not shown.
  bool ClickOn(const std::string& name) {
    const std::optional<std::pair<int, int>> at = Read([&] {
      int x = -1, y = -1;
      if (Shown(name)) {
        const TZoRGBPanel* p = Find(name);
        x = p->GetSizeX() / 2, y = p->GetSizeY() / 2;
        p->ClientToScreen(x, y);
      }
      return std::pair(x, y);
    });
    if (!at || at->first < 0) return Fail(name + " is not shown");
    Click(at->first, at->second);
    return true;
  }
  void Key(SDL_Scancode key) {
    for (const Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
      SDL_Event e{};
      e.type = type;
      e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
      e.key.keysym.scancode = key;
      Push(e);
    }
  }
  void Type(const std::string& utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    utf8.copy(e.text.text, sizeof e.text.text - 1);
    Push(e);
  }

  // ---- The outcome

  // Keeps the first failure and ends the game (EndGame); false, for `return p.Fail(...)`.
  bool Fail(const std::string& why) {
    {
      std::lock_guard guard(outcomeLock_);
      if (failure_.empty() || why.starts_with(failure_)) failure_ = why;  // the first failure, or more about it
    }
    EndGame();
    return false;
  }
  std::string Failure() const {
    std::lock_guard guard(outcomeLock_);
    return failure_;
  }
  // Asks the game to end as the desktop session ending does (records saved): on the main thread, while it runs.
  void EndGame() {
    std::lock_guard guard(lock_);
    if (app_ != nullptr) app_->Post([app = app_] { app->EndSession(); });
  }
  bool Gone() const {
    std::lock_guard guard(lock_);
    return gone_;
  }
  // Waits until the main loop has ended; false after `patience`.
  bool AwaitGone(std::chrono::seconds patience = kPatience) {
    std::unique_lock guard(lock_);
    return ended_.wait_for(guard, patience, [&] { return gone_; });
  }

  // ---- The program's side (RunProgram)

  void Attach(TSplashForm& app) {
    std::lock_guard guard(lock_);
    app_ = &app;
    form_ = app.GetGameForm();
  }
  void Detach() {
    std::lock_guard guard(lock_);
    app_ = nullptr;
    form_ = nullptr;
    gone_ = true;
    ended_.notify_all();
  }

private:
  void Push(SDL_Event& e) {
    std::lock_guard guard(lock_);
    if (form_ != nullptr) SDL_PushEvent(&e);
  }

  mutable std::mutex lock_;  // held while looking, pushing input and posting: the window lives meanwhile
  std::condition_variable ended_;
  TSplashForm* app_ = nullptr;
  TGameForm* form_ = nullptr;
  bool gone_ = false;
  mutable std::mutex outcomeLock_;
  std::string failure_;
};

struct Outcome {
  int status = -1;      // what RunGame returned
  bool played = false;  // the first frame was shown and the player played
  std::string failure;  // the player's first failure; empty when every step came about
};

// Runs the program (the program's wiring, then RunGame with `args`) on this thread, and `play` on a player thread
// from the first frame. When `play` returns the game must end by itself (the player chose to quit); a game still
// running after the patience is ended (EndGame) and counts as a failure.
inline Outcome RunProgram(const std::function<void(Player&)>& play, TRunOptions options = {},
                          std::vector<std::string> args = {"qorm", "-window"}) {
  WireGame();
  Player player;
  std::thread driver;
  options.onFirstFrame = [&, first = options.onFirstFrame](TSplashForm& app) {
    if (first) first(app);
    player.Attach(app);
    driver = std::thread([&] {
      play(player);
      if (!player.AwaitGone()) {
        player.Fail("the game did not end when the player quit");
        if (!player.AwaitGone()) std::_Exit(1);  // nothing ends it: stop the test program rather than hang
      }
    });
  };
  options.onLoopEnd = [&, last = options.onLoopEnd](TSplashForm& app) {
    player.Detach();
    if (last) last(app);
  };
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  Outcome outcome;
  outcome.status = RunGame(static_cast<int>(argv.size()), argv.data(), options);
  player.Detach();
  outcome.played = driver.joinable();
  if (driver.joinable()) driver.join();
  outcome.failure = player.Failure();
  return outcome;
}

}  // namespace realgame

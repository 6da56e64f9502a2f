// A front-end screen of the game driven as the game thread drives it, from the test: the real game window
// (support/gamewindow.h) on the demo game, the game folder the current folder (songs are found below it), the
// screen's panel under the root in panel mode, and the results it hands to the game thread recorded. Input is
// handed over as the main thread would, and each action is followed by one frame.
//
//   flowgame::FlowGame g;                       // the demo game in pack mode
//   TSongSelectMenu menu(nullptr);
//   ASSERT_TRUE(menu.Open(FileMan));
//   g.Show(menu.SongSelPanel);
//   g.Key(SDL_SCANCODE_RIGHT);
//   g.Click(410, 404);
//   EXPECT_EQ(g.results, std::vector<int>{0});
//
// With `Options::demoGame` false the game folder is the window's own empty one: the test writes its own data there
// (`Write`), and `demoFiles` names the prefixes of the demo game's main-data files copied into it ("SSel" copies
// every picture of the song select).
//
// Needs the test to link demo_game_paths.
#pragma once

#include <SDL_scancode.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "graphics/zorgbpanel.h"
#include "shell/gamef.h"
#include "support/gamewindow.h"

namespace flowgame {

inline const std::filesystem::path kDemoGame = QORM_DEMO_GAME_DIR;
inline const std::filesystem::path kDemoFolderGame = QORM_DEMO_FOLDER_DIR;

class FlowGame {
public:
  struct Options {
    bool demoGame = true;
    std::vector<std::string> demoFiles;  // without the demo game: prefixes of its main-data files to copy
  };

  FlowGame() : FlowGame(Options{}) {}
  explicit FlowGame(const Options& options) : old_(std::filesystem::current_path()) {
    if (options.demoGame) {
      w.setup.gameFolder = kDemoGame.string();
    } else {
      for (const auto& entry : std::filesystem::directory_iterator(kDemoFolderGame / "Game_Pak")) {
        const std::string name = entry.path().filename().string();
        for (const std::string& prefix : options.demoFiles)
          if (name.rfind(prefix, 0) == 0)
            std::filesystem::copy_file(entry.path(), w.game.path() / "Game_Pak" / name,
                                       std::filesystem::copy_options::overwrite_existing);
      }
    }
    std::filesystem::current_path(Folder());
    if (!w.Start()) {
      std::filesystem::current_path(old_);
      throw std::runtime_error("the game window did not start");
    }
    w.form->SetResultHandler([this](int r) { results.push_back(r); });
  }

  ~FlowGame() {
    Hide();
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }
  FlowGame(const FlowGame&) = delete;
  FlowGame& operator=(const FlowGame&) = delete;

  // The game folder, which is the current folder.
  std::filesystem::path Folder() const { return w.setup.gameFolder; }
  // A file of the game folder (name relative to it, '/' separated).
  void Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = Folder() / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  // As the game thread shows a screen: the panel under the root, panel mode, no result pending; one frame.
  void Show(TZoRGBPanel* panel) {
    Hide();
    w.form->AttachPanel(panel);
    shown_ = panel;
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    Frame();
  }
  // Takes the panel away again (the screen may then be closed and deleted).
  void Hide() {
    if (shown_ == nullptr) return;
    w.form->DetachPanel(shown_);
    shown_ = nullptr;
  }
  // As the game thread's next wait does: the pending result is taken, frames deliver input again.
  void Resume() { w.form->SetResultPending(false); }

  void Frame(int ms = 34) { w.Step(ms); }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }
  void Click(int x, int y) {
    w.Click(x, y);
    Frame();
  }
  void MoveTo(int x, int y) {
    w.MoveTo(x, y);
    Frame();
  }
  void Key(SDL_Scancode key) {
    w.Key(key);
    Frame();
  }
  std::uint32_t Pixel(int x, int y) const { return w.Pixel(x, y); }

  gamewindow::GameWindow w;
  std::vector<int> results;

private:
  std::filesystem::path old_;
  TZoRGBPanel* shown_ = nullptr;
};

}  // namespace flowgame

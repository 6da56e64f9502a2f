// Program start-up and the launcher: the main thread's part of the game.
//
// RunGame, in this order: sets the allocator up (platform::process::SetUpAllocator); takes the termination signals
// (SIGTERM, SIGINT and SIGHUP end the game as the desktop session ending does, records saved); makes the game folder
// ($QORM_DATA, else the program's own folder) the current folder; keeps to one running copy (a second copy ends at
// once, silently, with status 0); reads the start-up flags and the command-line switches; opens the game window hidden
// and shows the splash ("Splash.jpg" of the game folder, or a plain one) while the launcher builds the game window
// (TGameForm); then runs the main loop until the game window has closed, and writes the window mode back.
//
// Start-up failures and errors that end the game leave a message (a message box where there is a display, else
// standard error) and a non-zero exit status.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/mainloop.h"
#include "platform/splash.h"
#include "platform/video.h"
#include "shell/gamef.h"

// The switches "-WINDOW" and "-FPS" (or with '/'), any letter case, compared whole; they only switch the start-up
// flags on. `args` is the whole command line, the program first.
void ApplyCommandLineSwitches(const std::vector<std::string>& args);

// The hot keys of the game window (TGameForm::OnHotKey): PrintScreen (0), Alt+PrintScreen (1), Alt+Enter (2).
std::vector<platform::mainloop::HotKey> GameHotKeys();

// The game folder as a host path: $QORM_DATA when set, else the program file's folder.
std::string GameFolder();

// The single-instance lock file: in $XDG_RUNTIME_DIR, else in the save folder, else in the game folder.
std::string InstanceLockPath();

// The launcher: the main loop's side of the game window (tasks posted to the main thread, ending the loop), the
// splash, and the routing of window events, hot keys and session ends.
class TSplashForm : public TGameApplication {
public:
  TSplashForm(platform::video::Window& window, platform::input::Input& input);
  ~TSplashForm() override;  // deletes the game window (FormDestroy)

  void Post(std::function<void()> task) override;
  void Terminate() override;
  bool IsTerminated() const override { return terminated_.load(); }

  // Shows the splash, builds and shows the game window, hides the splash; false when the game window failed.
  bool OnFirstIdle();
  // Runs the loop until the game window has closed (or start-up failed).
  void Run();
  // A termination signal or the desktop asking to quit: the game ends without a question.
  void EndSession();
  TGameForm* GetGameForm() const { return gameForm_.get(); }
  platform::mainloop::TaskQueue& Tasks() { return tasks_; }
  // Called once, on the main thread, when the first frame of the game window has been shown.
  void SetOnFirstFrame(std::function<void()> handler) { onFirstFrame_ = std::move(handler); }
  // Called on the main thread after each turn of the loop in which the window showed frames, until it returns false.
  void SetOnFramesShown(std::function<bool(platform::video::Window&)> handler) { onFramesShown_ = std::move(handler); }
  // The game window's frame-work listener (TGameFormSetup::onFrameWork); set before OnFirstIdle.
  void SetOnFrameWork(std::function<void(int, std::int64_t)> sink) { onFrameWork_ = std::move(sink); }

private:
  void HandleEvent(const SDL_Event& e);
  void ShowSplash();

  platform::video::Window& window_;
  platform::input::Input& input_;
  platform::mainloop::TaskQueue tasks_;
  platform::mainloop::SdlTaskWake wake_;
  std::unique_ptr<platform::mainloop::HotKeyFilter> hotKeys_;
  std::unique_ptr<platform::splash::Splash> splash_;
  std::unique_ptr<TGameForm> gameForm_;
  std::atomic<bool> terminated_{false};
  std::function<void()> onFirstFrame_;
  std::function<bool(platform::video::Window&)> onFramesShown_;
  std::function<void(int, std::int64_t)> onFrameWork_;
  std::uint64_t framesBeforeGame_ = 0;
  std::uint64_t framesSeen_ = 0;
};

struct TRunOptions {
  // Called on the main thread when the game's first frame has been shown (for measuring start-up).
  std::function<void(TSplashForm&)> onFirstFrame;
  // Called on the main thread after each turn of the main loop in which the window showed frames, until it returns
  // false (what it shows can be read back with Window::ReadPixels).
  std::function<bool(platform::video::Window&)> onFramesShown;
  // Called on the main thread once the main loop has ended, before the game window is destroyed (a test that looks
  // at the window from another thread stops looking here). Not called when the game window never started.
  std::function<void(TSplashForm&)> onLoopEnd;
  // The frames each frame tick advanced and the time it spent (TGameFormSetup::onFrameWork; for measurements).
  std::function<void(int, std::int64_t)> onFrameWork;
};

// The whole program; returns the exit status.
int RunGame(int argc, char** argv, const TRunOptions& options = {});

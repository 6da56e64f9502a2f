#include "shell/splashf.h"

#include <SDL_hints.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>

#include "core/vxstream.h"
#include "graphics/zorgbbits.h"
#include "platform/instance.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamet.h"
#include "shell/startmarks.h"

namespace {

constexpr const char* kGameError = "Game Error";
constexpr const char* kLockFileName = "QUILL_MARCHER_QM.lock";
constexpr std::uint32_t kPlainSplash = 0x202838;

// The command-line switches and the flag each switches on.
struct Switch {
  const char* name;
  std::atomic<std::uint8_t>* flag;
};
const Switch kSwitches[] = {{"WINDOW", &WindowMode}, {"FPS", &ShowFPS}};

// Start-up failed: the message, and why (for the terminal) when there is more to say.
int StartFailed(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "qorm: %s\n", why.c_str());
  ShowInitFailed();
  return 1;
}

}  // namespace

std::vector<platform::mainloop::HotKey> GameHotKeys() {
  return {{0, SDL_SCANCODE_PRINTSCREEN, false},
          {1, SDL_SCANCODE_PRINTSCREEN, true},
          {2, SDL_SCANCODE_RETURN, true},
          {2, SDL_SCANCODE_KP_ENTER, true}};
}

void ApplyCommandLineSwitches(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) continue;
    std::string word = a.substr(1);
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Switch& s : kSwitches)
      if (word == s.name) s.flag->store(1);
  }
}

std::string GameFolder() {
  if (const char* data = std::getenv("QORM_DATA"); data != nullptr && *data != '\0') return data;
  const std::string exe = platform::process::ExecutablePath();
  return exe.empty() ? std::string() : std::filesystem::path(exe).parent_path().string();
}

std::string InstanceLockPath() {
  std::string fallback = GetSaveFolderHost();
  if (fallback.empty()) fallback = platform::process::CurrentDirectory();
  std::string folder = platform::instance::LockFolder(fallback);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + kLockFileName;
}

// ---- The launcher ---------------------------------------------------------------------------------------------

TSplashForm::TSplashForm(platform::video::Window& window, platform::input::Input& input)
    : window_(window), input_(input), wake_(tasks_) {
  hotKeys_ = std::make_unique<platform::mainloop::HotKeyFilter>(GameHotKeys(), [this](int id) {
    tasks_.Post([this, id] {
      if (gameForm_) gameForm_->OnHotKey(id);
    });
  });
}

TSplashForm::~TSplashForm() {
  hotKeys_.reset();
  gameForm_.reset();
  tasks_.Clear();
}

void TSplashForm::Post(std::function<void()> task) { tasks_.Post(std::move(task)); }

void TSplashForm::Terminate() {
  terminated_ = true;
  tasks_.Post({});  // wakes the loop
}

void TSplashForm::ShowSplash() {
  TZoRGBBits picture;
  picture.SetBitDepth(bd32);
  picture.SetPixFormat(pf32_888);
  VXFileStreamW file(u"Splash.jpg", VXFileRead);
  const bool loaded = file.IsOpen() && picture.DrawJpegStream(&file, 0, 0) && picture.Lock();
  platform::video::Picture view;
  if (loaded) {
    view = {picture.GetBits(), picture.GetPitch(),
            {picture.GetWidth(), picture.GetHeight(), platform::video::PixelLayout::Bgrx32}};
  }
  std::string error;
  splash_ = platform::splash::Splash::Create(loaded ? &view : nullptr, kPlainSplash, &error);
  if (loaded) picture.Unlock();
  if (!splash_) std::fprintf(stderr, "qorm: no splash: %s\n", error.c_str());
  window_.PumpEvents(0, [this](const SDL_Event& e) { HandleEvent(e); });
}

bool TSplashForm::OnFirstIdle() {
  ShowSplash();
  MarkStart("splash");
  TGameFormSetup setup;
  setup.application = this;
  setup.presenter = &window_.presenter();
  setup.input = &input_;
  setup.gameThread = MakeGameThread;
  setup.onFrameWork = onFrameWork_;
  gameForm_ = std::make_unique<TGameForm>(nullptr, setup);
  gameForm_->FormCreate();
  MarkStart("gameform");
  if (gameForm_->GetState() != 1) {
    platform::mainloop::ShowAndRaise(window_.sdlWindow());
    framesBeforeGame_ = window_.FramesShown();
    gameForm_->FormShow();
    MarkStart("shown");
  }
  splash_.reset();
  return gameForm_->GetState() != 1;
}

void TSplashForm::EndSession() {
  if (gameForm_ && gameForm_->IsShown())
    gameForm_->RequestQuit(false);
  else
    Terminate();
}

void TSplashForm::HandleEvent(const SDL_Event& e) {
  if (wake_.Handle(e)) return;
  using platform::mainloop::WindowEvent;
  switch (platform::mainloop::Classify(e, window_.sdlWindow())) {
    case WindowEvent::kClose:
      if (gameForm_)
        gameForm_->Close();
      else
        Terminate();
      break;
    case WindowEvent::kQuit: EndSession(); break;
    case WindowEvent::kEnter:
      if (gameForm_) gameForm_->CMMouseEnter();
      break;
    case WindowEvent::kLeave:
      if (gameForm_) gameForm_->CMMouseLeave();
      break;
    case WindowEvent::kOther: break;
  }
}

void TSplashForm::Run() {
  while (!terminated_) {
    window_.PumpEvents(100, [this](const SDL_Event& e) { HandleEvent(e); });
    if (gameForm_) gameForm_->DispatchInput();
    if (onFirstFrame_ && window_.FramesShown() > framesBeforeGame_) std::exchange(onFirstFrame_, {})();
    if (onFramesShown_ && window_.FramesShown() > framesSeen_) {
      framesSeen_ = window_.FramesShown();
      if (!onFramesShown_(window_)) onFramesShown_ = {};
    }
  }
}

// ---- The program ----------------------------------------------------------------------------------------------

namespace {

// Where a termination signal goes: the launcher while it runs, else only a flag for the start-up to look at.
class SessionEnd {
public:
  void Request() {
    std::lock_guard guard(lock_);
    requested_ = true;
    if (launcher_ != nullptr) launcher_->Post([app = launcher_] { app->EndSession(); });
  }
  // While it lives, requests go to the launcher; false when one came before.
  class Route {
  public:
    Route(SessionEnd& end, TSplashForm& app) : end_(end) {
      std::lock_guard guard(end_.lock_);
      end_.launcher_ = &app;
    }
    ~Route() {
      std::lock_guard guard(end_.lock_);
      end_.launcher_ = nullptr;
    }
    Route(const Route&) = delete;
    Route& operator=(const Route&) = delete;

  private:
    SessionEnd& end_;
  };
  bool Requested() {
    std::lock_guard guard(lock_);
    return requested_;
  }

private:
  std::mutex lock_;
  bool requested_ = false;
  TSplashForm* launcher_ = nullptr;
};

int RunLauncher(const TRunOptions& options, SessionEnd& sessionEnd) {
  // SDL must neither catch the termination signals nor quit by itself when the last window closes.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  platform::input::Input input;
  platform::video::Window::Options windowOptions;
  windowOptions.titleUtf8 = kGameTitle;
  windowOptions.hidden = true;
  windowOptions.input = &input;
  std::string error;
  std::unique_ptr<platform::video::Window> window = platform::video::Window::Create(windowOptions, &error);
  if (!window) return StartFailed(error);
  MarkStart("window");

  int status = 0;
  std::string fatal;
  {
    TSplashForm app(*window, input);  // before anything is queued for the window: see HotKeyFilter
    window->ShowCursor(false);
    if (options.onFirstFrame) app.SetOnFirstFrame([&] { options.onFirstFrame(app); });
    if (options.onFramesShown) app.SetOnFramesShown(options.onFramesShown);
    app.SetOnFrameWork(options.onFrameWork);
    SessionEnd::Route route(sessionEnd, app);
    if (sessionEnd.Requested()) return 0;  // asked to end before the game began
    if (app.OnFirstIdle()) {
      app.Run();
      if (options.onLoopEnd) options.onLoopEnd(app);
    } else {
      status = 1;  // the game window said why
    }
    if (const TGameForm* form = app.GetGameForm()) fatal = form->GetFatalError();
  }  // the game window is destroyed here (its settings are saved)
  window.reset();
  if (status == 0 && !fatal.empty()) {
    std::fprintf(stderr, "qorm: %s\n", fatal.c_str());
    platform::msgbox::Show({platform::msgbox::Kind::kError, kGameError, fatal});
    status = 1;
  }
  SaveWindowMode();
  return status;
}

}  // namespace

int RunGame(int argc, char** argv, const TRunOptions& options) {
  platform::process::SetUpAllocator();
  platform::process::SetCommandLine(argc, argv);
  try {
    SessionEnd sessionEnd;
    // Before any thread starts: the signals stay blocked everywhere and come to the watcher.
    platform::signals::SignalWatch signals([&](int) { sessionEnd.Request(); });

    const std::string folder = GameFolder();
    if (folder.empty() || !platform::process::SetCurrentDirectory(folder))
      return StartFailed("cannot enter the game folder " + folder);

    platform::instance::InstanceLock::Result held;
    std::string lockError;
    const auto lock = platform::instance::InstanceLock::Acquire(InstanceLockPath(), held, &lockError);
    if (held == platform::instance::InstanceLock::Result::kHeldElsewhere) return 0;
    if (!lock) return StartFailed(lockError);

    LoadSystemIni();
    ApplyCommandLineSwitches(platform::process::CommandLine());
    MarkStart("settings");
    return RunLauncher(options, sessionEnd);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qorm: %s\n", platform::text::Cp932ToUtf8(e.what()).c_str());
    platform::msgbox::Show({platform::msgbox::Kind::kError, kGameError, platform::text::Cp932ToUtf8(e.what())});
  } catch (...) {
    platform::msgbox::Show({platform::msgbox::Kind::kError, kGameError, "unknown error"});
  }
  return 1;
}

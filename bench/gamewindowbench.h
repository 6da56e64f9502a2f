// What the game window's benchmarks put in place of the program around it: a presenter that takes the picture and
// shows nothing, and a main loop that runs nothing.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "platform/input.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "shell/gamef.h"

class NullPresenter final : public platform::video::Presenter {
public:
  bool Present(const platform::video::Picture& picture, std::span<const platform::video::Rect>) override {
    return platform::video::IsValid(picture);
  }
  void SetFullScreen(bool on) override { fullScreen_ = on; }
  bool IsFullScreen() const override { return fullScreen_; }
  void SetVSync(bool on) override { vsync_ = on; }
  bool GetVSync() const override { return vsync_; }

private:
  bool fullScreen_ = false;
  bool vsync_ = true;
};

class NoLoop final : public TGameApplication {
public:
  void Post(std::function<void()>) override {}
  void Terminate() override {}
  bool IsTerminated() const override { return false; }
};

// What a benchmark's game window runs on: no presentation, no main loop, injected input, a clock that stands still
// and the manual sound output.
struct BenchDevices {
  NoLoop loop;
  NullPresenter presenter;
  platform::input::Input input;
  platform::thread::ManualClock clock;

  TGameFormSetup Setup(const std::string& gameFolder) {
    TGameFormSetup setup;
    setup.application = &loop;
    setup.presenter = &presenter;
    setup.input = &input;
    setup.clock = &clock;
    setup.manualSound = true;
    setup.gameFolder = gameFolder;
    return setup;
  }
};

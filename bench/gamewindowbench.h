// What the game window's benchmarks put in place of the program around it: a presenter that takes the picture and
// shows nothing (or one that copies it as the program's window does), and a main loop that runs nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

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

// Takes the changed rectangles into a picture of its own, as the program's window hands them to the main thread.
class CopyingPresenter final : public platform::video::Presenter {
public:
  bool Present(const platform::video::Picture& picture, std::span<const platform::video::Rect> rects) override {
    if (!platform::video::IsValid(picture)) return false;
    const std::size_t bytes = static_cast<std::size_t>(picture.mode.width) * picture.mode.height *
                              platform::video::BytesPerPixel(picture.mode.layout);
    if (staging_.size() != bytes) staging_.assign(bytes, 0);
    for (const platform::video::Rect& r : rects) {
      const platform::video::Rect c = platform::video::ClipRect(r, picture.mode.width, picture.mode.height);
      if (!c.IsEmpty()) platform::video::CopyRect(picture, c, staging_.data());
    }
    return true;
  }
  void SetFullScreen(bool on) override { fullScreen_ = on; }
  bool IsFullScreen() const override { return fullScreen_; }
  void SetVSync(bool on) override { vsync_ = on; }
  bool GetVSync() const override { return vsync_; }

private:
  std::vector<std::uint8_t> staging_;
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

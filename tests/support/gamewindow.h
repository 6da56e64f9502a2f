// The real game window in the test process: the in-memory presenter, a manual clock, the manual sound output and
// injected input, on a temporary game folder (folder mode, "Game_Pak") and a temporary save folder
// ($XDG_DATA_HOME). The test plays the main thread: it runs what the window posts to it (RunMain), and it steps
// frames itself (Frame) after moving the clock (AdvanceMs), so nothing depends on the machine's speed.
//
//   GameWindow w;                       // a game folder with a cursor picture; no game thread
//   ASSERT_TRUE(w.Start());             // FormCreate and FormShow: state 2, first frame presented
//   w.form->BeginPanelMode();
//   w.AdvanceMs(100);                   // the frame timer counts three frames
//   w.Frame();                          // one frame tick, unpaced
//   w.Click(320, 240);                  // as the main thread would hand it over
//   EXPECT_EQ(w.Pixel(10, 10), 0x000000u);
//
// Messages and questions of the window go to sinks here (`messages`, `answer`), never to a box.
#pragma once

#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/zorgbbits.h"
#include "platform/askbox.h"
#include "platform/input.h"
#include "platform/mainloop.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "shell/gamef.h"
#include "shell/splashf.h"
#include "support/environment.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace gamewindow {

// A cursor sheet of eight 32 × 32 cells: cell i is filled with colour 0x10 * (i + 1) in each channel, opaque in its
// top-left 16 × 16 quarter and transparent elsewhere.
inline std::string CursorPng() {
  pictures::PngSpec s;
  s.width = 256, s.height = 32, s.colourType = 6 /* RGBA */, s.bitDepth = 8;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 256; ++x) {
      const auto v = static_cast<unsigned char>(0x10 * (x / 32 + 1));
      const bool opaque = x % 32 < 16 && y < 16;
      s.rows.insert(s.rows.end(), {v, v, v, static_cast<unsigned char>(opaque ? 255 : 0)});
    }
  return pictures::MakePng(s);
}

// A wait picture of ten 240 × 72 frames stacked, frame i in colour (0x20 + i, 0x40, 0x80).
inline std::string WaitBmp() {
  std::vector<std::uint32_t> rgb(240 * 720);
  for (int y = 0; y < 720; ++y)
    for (int x = 0; x < 240; ++x) rgb[y * 240 + x] = static_cast<std::uint32_t>((0x20 + y / 72) << 16 | 0x40 << 8 | 0x80);
  return pictures::MakeBmp({240, 720, 24, 0, 0, 40, 0, {}, pictures::Rows24(240, 720, rgb)});
}

class GameWindow : public TGameApplication {
public:
  struct Options {
    bool cursor = true;      // "Cursor.png" in the game data
    bool waitImage = false;  // "Wait.bmp"
    // Makes the game thread; none by default (the window then closes by itself on a close request).
    std::function<std::unique_ptr<Classes::TThread>(TGameForm&)> gameThread;
  };

  GameWindow() : GameWindow(Options{}) {}
  explicit GameWindow(const Options& options) {
    for (auto* flag : {&ShowFPS, &CapEnable, &AlbumShowAll, &MusicForceAuto, &MusicMemorySave, &MusicSongAll})
      flag->store(0);
    WindowMode = 1;
    env.Set("XDG_DATA_HOME", save.str().c_str());
    env.Set("XDG_RUNTIME_DIR", nullptr);
    if (options.cursor) game.Write("Game_Pak/Cursor.png", CursorPng());
    if (options.waitImage) game.Write("Game_Pak/Wait.bmp", WaitBmp());
    oldMessages = platform::msgbox::SetSink([this](const platform::msgbox::Message& m) { messages.push_back(m); });
    oldAnswers = platform::askbox::SetSink([this](const platform::msgbox::Message& m) {
      questions.push_back(m);
      return answer;
    });
    setup.application = this;
    setup.presenter = &presenter;
    setup.input = &input;
    setup.clock = &clock;
    setup.manualSound = true;
    setup.gameFolder = game.str();
    setup.gameThread = options.gameThread;
  }

  ~GameWindow() override {
    if (form) {
      tasks.Clear();
      form.reset();
    }
    platform::msgbox::SetSink(oldMessages);
    platform::askbox::SetSink(oldAnswers);
  }

  // Builds and shows the window (a TGameForm, or what `make` makes); true when it runs (state 2).
  bool Start(const std::function<std::unique_ptr<TGameForm>(const TGameFormSetup&)>& make = {}) {
    form = make ? make(setup) : std::make_unique<TGameForm>(nullptr, setup);
    form->FormCreate();
    form->FormShow();
    return form->GetState() == 2;
  }

  // Moves the clock and waits until the frame timer (and `sleepers` - 1 other threads on the clock) went back to
  // sleep, having counted the time. With other threads on the clock (the wait thread, a game thread), wait for all
  // of them to sleep first (clock.WaitForSleepers): a timer moved while inside a call counts the time only at its
  // next deadline.
  void AdvanceMs(int ms, int sleepers = 1) {
    clock.AdvanceMs(ms);
    clock.WaitForSleepers(sleepers);
  }

  void Frame() { form->StepFrame(); }
  // Advances the clock by `ms` and steps one frame.
  void Step(int ms = 100) {
    AdvanceMs(ms);
    Frame();
  }

  // The main thread's turn: posted tasks, then the input layer's messages handed to the window.
  void RunMain() {
    tasks.RunPending();
    if (form) form->DispatchInput();
  }

  void MoveTo(int x, int y) {
    input.MouseMoved(x, y);
    RunMain();
  }
  void Click(int x, int y, platform::input::MouseButton b = platform::input::MouseButton::Left) {
    input.MouseMoved(x, y);
    input.MouseButtonChanged(b, true, 1, x, y);
    input.MouseButtonChanged(b, false, 1, x, y);
    RunMain();
  }
  void Key(SDL_Scancode key) {
    input.KeyChanged(key, true, false);
    input.KeyChanged(key, false, false);
    RunMain();
  }

  // A key pressed (and let go) as the desktop hands it over: a hot key of the game (PrintScreen, Alt+PrintScreen,
  // Alt+Enter) is taken out as the main loop's filter takes it and goes to the window on the main thread's turn;
  // any other key reaches the input layer.
  void Press(SDL_Scancode key, bool alt = false) {
    SDL_KeyboardEvent down{};
    down.type = SDL_KEYDOWN;
    down.keysym.scancode = key;
    down.keysym.mod = alt ? KMOD_LALT : KMOD_NONE;
    const int id = platform::mainloop::MatchHotKey(GameHotKeys(), down);
    if (id >= 0) {
      Post([this, id] { form->OnHotKey(id); });
      RunMain();
      return;
    }
    Key(key);
  }

  // The presented front picture as it is now (32-bit pictures); Pixel gives 0x00RRGGBB, 0xFFFFFFFF outside.
  struct Picture {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    std::uint32_t Pixel(int x, int y) const {
      const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
      if (x < 0 || y < 0 || x >= width || bytes.size() < at + 4) return 0xFFFFFFFFu;
      return static_cast<std::uint32_t>(bytes[at + 2]) << 16 | bytes[at + 1] << 8 | bytes[at];
    }
  };
  Picture Front() const { return {presenter.Front(), presenter.FrontMode().width}; }
  std::uint32_t Pixel(int x, int y) const { return Front().Pixel(x, y); }

  // Presentations so far. The recorded frames are dropped as they are counted, so long runs keep little memory.
  std::size_t Presented() {
    presented += presenter.TakeFrames().size();
    return presented;
  }

  // TGameApplication
  void Post(std::function<void()> task) override { tasks.Post(std::move(task)); }
  void Terminate() override { terminated = true; }
  bool IsTerminated() const override { return terminated; }

  TempDir game;
  TempDir save;
  Environment env;
  platform::thread::ManualClock clock;
  platform::video::MemoryPresenter presenter;
  platform::input::Input input;
  platform::mainloop::TaskQueue tasks;
  TGameFormSetup setup;
  std::unique_ptr<TGameForm> form;
  std::vector<platform::msgbox::Message> messages;
  std::vector<platform::msgbox::Message> questions;
  bool answer = true;
  std::atomic<bool> terminated{false};
  std::size_t presented = 0;

private:
  platform::msgbox::Sink oldMessages;
  platform::askbox::Sink oldAnswers;
};

// A 32-bit picture of the test's own (outside any window's memory registry), filled with one colour.
inline std::unique_ptr<TZoRGBBits> FilledPicture(int w, int h, std::uint32_t colour = 0) {
  auto p = std::make_unique<TZoRGBBits>(nullptr);
  p->SetBitDepth(bd32);
  p->Resize(w, h);
  EXPECT_TRUE(p->Create());
  p->BoxFill(0, 0, w - 1, h - 1, colour);
  return p;
}

}  // namespace gamewindow

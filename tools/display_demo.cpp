// A small window on the display and the input unit: a test pattern with a software cursor that follows the mouse,
// shown by dirty rectangles; key strokes are printed; Esc (or closing the window) quits.
//
//   display_demo [--fullscreen] [--frames N]
//
// --frames N quits by itself after N frames. Without a display the program says so and exits with status 2.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "device/dinputu.h"
#include "device/zoddraw.h"
#include "platform/input.h"
#include "platform/video.h"

namespace {

constexpr int kCursor = 12;

void DrawPattern(TZoRGBBits* s) {
  const std::uint32_t bars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  const int w = s->GetWidth(), h = s->GetHeight();
  for (int i = 0; i < 8; ++i) s->BoxFill(i * w / 8, 0, (i + 1) * w / 8 - 1, h * 2 / 3, bars[i]);
  for (int x = 0; x < w; ++x) {
    const auto v = static_cast<std::uint32_t>(x * 255 / (w - 1));
    s->Line(x, h * 2 / 3 + 1, x, h - 1, v << 16 | v << 8 | v);
  }
  for (int x = 0; x < w; x += 40) s->Line(x, 0, x, h - 1, 0x404040);
  for (int y = 0; y < h; y += 40) s->Line(0, y, w - 1, y, 0x404040);
}

void DrawCursor(TZoRGBBits* s, int x, int y) {
  for (int i = 0; i < kCursor; ++i) {
    s->Line(x, y + i, x + kCursor - 1 - i, y + i, 0xFFFFFF);
    s->PSet(x, y + i, 0);
    s->PSet(x + kCursor - 1 - i, y + i, 0);
  }
}

int GameThread(platform::video::Window& window, platform::input::Input& input, bool fullScreen, long frames) {
  DirectX::TDDraw display(nullptr);
  display.SetPresenter(&window.presenter());
  display.SetFullScreen(fullScreen);
  display.SetBitDepth(bd32);
  display.SetBackType(DirectX::btSystem);
  display.SetEnabled(true);
  if (!display.GetEnabled()) {
    std::fprintf(stderr, "display_demo: the display could not be enabled\n");
    window.RequestQuit();
    return 1;
  }
  TDInputUnit unit;
  unit.Init(&input);
  unit.SetKeyboardEnabled(true);
  unit.SetJoypadEnabled(true);

  DirectX::TDSurface* picture = display.CreateSurface(640, 480, false);
  DirectX::TDSurface* back = display.GetBackSurface();
  auto redraw = [&](Classes::TComponent*) {
    DrawPattern(picture);
    back->Draw(0, 0, picture, 0, 0, 640, 480);
  };
  picture->OnRestore = [&](Classes::TComponent*) { DrawPattern(picture); };
  back->OnRestore = redraw;
  redraw(nullptr);
  display.Flip();

  VXRect cursor{0, 0, 0, 0};
  for (long frame = 0; !window.QuitRequested() && (frames < 0 || frame < frames); ++frame) {
    unit.Update(1);
    TDInputUnit::KeyEvent events[32];
    const int n = unit.GetKeyEvents(events, 32);
    for (int i = 0; i < n; ++i) {
      std::printf("key %3u %s\n", events[i].key, events[i].pressed ? "down" : "up");
      if (events[i].key == 1 && events[i].pressed) window.RequestQuit();
    }
    std::fflush(stdout);

    VXRectSet changed;
    if (!cursor.IsRectEmpty()) {
      back->Draw(cursor.left, cursor.top, picture, cursor.left, cursor.top, cursor.right - cursor.left,
                 cursor.bottom - cursor.top);
      changed.UnionRect(cursor);
    }
    const int x = input.MouseX(), y = input.MouseY();
    VXIntersectRect({x, y, x + kCursor, y + kCursor}, {0, 0, 640, 480}, cursor);
    DrawCursor(back, x, y);
    changed.UnionRect(cursor);
    display.FlipModifyRect(changed);
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  display.SetEnabled(false);
  window.RequestQuit();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool fullScreen = false;
  long frames = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0) {
      fullScreen = true;
    } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      frames = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: display_demo [--fullscreen] [--frames N]\n");
      return 2;
    }
  }
  platform::input::Input input;
  platform::video::Window::Options options;
  options.titleUtf8 = "display demo";
  options.input = &input;
  options.fullScreen = fullScreen;
  std::string error;
  auto window = platform::video::Window::Create(options, &error);
  if (!window) {
    std::fprintf(stderr, "display_demo: no display: %s\n", error.c_str());
    return 2;
  }
  window->ShowCursor(false);
  int result = 0;
  std::thread game([&] { result = GameThread(*window, input, fullScreen, frames); });
  window->Run();
  game.join();
  window.reset();
  return result;
}

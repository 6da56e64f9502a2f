// A frame through the display: the dirty-rectangle copy from the back surface into the flip chain, the flip, and
// the hand-over to the SDL window up to the texture upload and the software renderer's present. Whole frames and
// frames with 10 % of the picture dirty, at 32 and 16 bits, full screen with three buffers.
// Each flip waits for the vertical blank unless the display's NoVSync is set ("vsync:1" below): with the wait a
// frame takes the refresh period (about 16.7 ms at 60 Hz, also on the dummy driver, whose renderer keeps time
// itself), which hides the cost of the frame; "vsync:0" measures the frame itself.
// Runs on SDL's dummy video driver unless SDL_VIDEODRIVER names another.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "device/zoddraw.h"

namespace {

void BM_DisplayFrame(benchmark::State& state) {
  const bool whole = state.range(1) == 100;
  const bool vsync = state.range(2) != 0;
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  platform::video::Window::Options o;
  o.hidden = true;
  o.softwareRenderer = true;
  o.vsync = false;
  std::string error;
  auto window = platform::video::Window::Create(o, &error);
  if (!window) {
    state.SkipWithError(error.c_str());
    return;
  }
  DirectX::TDDraw display(nullptr);
  display.SetPresenter(&window->presenter());
  display.SetBitDepth(state.range(0) == 32 ? bd32 : bd16);
  display.SetBackType(DirectX::btSystem);
  display.NoVSync = !vsync;
  display.SetEnabled(true);
  if (!display.GetEnabled()) {
    state.SkipWithError("display not enabled");
    return;
  }
  // 10 %: eight bands of 160 x 24 spread over the picture (30,720 of 307,200 pixels).
  VXRectSet rects;
  if (whole) {
    rects.UnionRect({0, 0, 640, 480});
  } else {
    for (int i = 0; i < 8; ++i) rects.UnionRect({(i % 4) * 160, i * 60, (i % 4) * 160 + 160, i * 60 + 24});
  }
  std::uint32_t colour = 0;
  for (auto _ : state) {
    for (const VXRect& r : rects) display.GetBackSurface()->BoxFill(r.left, r.top, r.right - 1, r.bottom - 1, ++colour);
    const auto shown = window->FramesShown();
    display.FlipModifyRect(rects);
    while (window->FramesShown() == shown) window->PumpEvents(0);
  }
  display.SetEnabled(false);
}
BENCHMARK(BM_DisplayFrame)
    ->ArgsProduct({{32, 16}, {100, 10}, {0, 1}})
    ->ArgNames({"bits", "dirty%", "vsync"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

// Presenting a 640 x 480 frame through the SDL window: the copy into the hand-over picture, the texture upload and
// the software renderer's present. Whole frames and frames with 10 % of the picture dirty, at 32 and 16 bits.
// Runs on SDL's dummy video driver unless SDL_VIDEODRIVER names another.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "platform/video.h"

namespace {

using namespace platform::video;

void BM_Present(benchmark::State& state) {
  const auto layout = state.range(0) == 32 ? PixelLayout::Bgrx32 : PixelLayout::Rgb565;
  const bool whole = state.range(1) == 100;
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  Window::Options o;
  o.hidden = true;
  o.softwareRenderer = true;
  o.vsync = false;
  std::string error;
  auto window = Window::Create(o, &error);
  if (!window) {
    state.SkipWithError(error.c_str());
    return;
  }
  const Mode mode{640, 480, layout};
  const int pitch = 640 * BytesPerPixel(layout);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(pitch) * 480);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 31);

  // 10 %: eight bands of 160 x 24 spread over the picture (30,720 of 307,200 pixels).
  std::vector<Rect> rects;
  if (whole) {
    rects.push_back({0, 0, 640, 480});
  } else {
    for (int i = 0; i < 8; ++i) rects.push_back({(i % 4) * 160, i * 60, (i % 4) * 160 + 160, i * 60 + 24});
  }
  const Picture picture{pixels.data(), pitch, mode};
  for (auto _ : state) {
    const auto shown = window->FramesShown();
    window->presenter().Present(picture, rects);
    while (window->FramesShown() == shown) window->PumpEvents(0);
  }
}
BENCHMARK(BM_Present)->ArgsProduct({{32, 16}, {100, 10}})->ArgNames({"bits", "dirty%"})->Unit(benchmark::kMillisecond);

}  // namespace

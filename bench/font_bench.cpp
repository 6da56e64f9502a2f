// Text drawing: one line of a message, 40 Japanese characters, drawn anti-aliased at 24 pixels into a 32-bit
// picture, with the glyph cache warm (a typewriter message redrawn at every new character) and cold (a new line).
// The "twice the size" rows draw the same line monochrome at 48 pixels into an 8-bit plane, as the anti-aliased
// text panel does before it reduces the plane.
#include <benchmark/benchmark.h>

#include "bench/benchtext.h"

#include "platform/font.h"
#include "platform/text.h"

#include <vector>

using namespace platform::font;

namespace {

const bool kContext = bench::AddProcessorContext();

struct Setup {
  Setup(int height, uint8_t quality, TargetFormat format, int bytesPerPixel, int rowHeight)
      : pixels(static_cast<size_t>(height < 0 ? -height : height) * 41 * rowHeight * bytesPerPixel) {
    LogFont log;
    log.faceName = *platform::text::Utf8ToCp932("ＭＳ ゴシック");
    log.height = height;
    log.quality = quality;
    const int width = -height * 41;
    target = TextTarget({pixels.data(), static_cast<ptrdiff_t>(width) * bytesPerPixel, format, width, rowHeight});
    target.SelectFont(Font::Create(log));
    target.SetBackgroundMode(BackgroundMode::kTransparent);
    target.SetTextColor(0xFFFFFF);
  }
  std::vector<uint8_t> pixels;
  TextTarget target;
};

void Run(benchmark::State& state, Setup& s, bool cold) {
  if (!s.target.SelectedFont()) {
    state.SkipWithError("the IPA fonts are missing");
    return;
  }
  s.target.TextOut(0, 0, bench::MessageLine());
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      ClearGlyphCache();
      state.ResumeTiming();
    }
    s.target.TextOut(0, 0, bench::MessageLine());
    benchmark::DoNotOptimize(s.pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * 40);
}

void BM_LineAntiAliased24(benchmark::State& state) {
  Setup s(-24, kAntialiasedQuality, TargetFormat::kBgrx32, 4, 32);
  Run(state, s, state.range(0) != 0);
}

void BM_LineTwiceSizeMonochrome48(benchmark::State& state) {
  Setup s(-48, kNonAntialiasedQuality, TargetFormat::kGrey8, 1, 64);
  Run(state, s, state.range(0) != 0);
}

}  // namespace

BENCHMARK(BM_LineAntiAliased24)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineTwiceSizeMonochrome48)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

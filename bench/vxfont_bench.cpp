// The anti-aliased text line as the text panel renders it: 40 Japanese characters at size 24, written
// monochrome at twice the size (48) through a pooled font into a DIB-backed grey plane, then reduced to a coverage
// plane of the line's size (each pixel the mean of its four). Cold: the glyph cache emptied before each line (a
// new line); warm: the same line again (a typewriter message redrawn at every new character).
#include <benchmark/benchmark.h>

#include "bench/benchtext.h"

#include <string>

#include "graphics/vxfont.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbdib.h"
#include "graphics/zorgbtext.h"
#include "platform/text.h"

namespace {

constexpr int kSize = 24;
constexpr int kChars = 40;

const bool kContext = bench::AddProcessorContext();

void BM_AntiAliasedLine(benchmark::State& state) {
  const bool cold = state.range(0) != 0;
  TZoAlphaDib large;
  large.Resize(2 * kSize * kChars, 2 * kSize);
  TZoAlpha cover;
  cover.Resize(kSize * kChars, kSize);
  VXFont font;
  font.SetName(platform::text::Utf8ToCp932("ＭＳ ゴシック")->c_str());
  font.SetHeight(-2 * kSize);
  font.SetQuality(vfqNonAntialiased);
  if (!large.Create() || !cover.Create() || !font.Create()) {
    state.SkipWithError("the IPA fonts are missing");
    return;
  }
  const std::string& line = bench::MessageLine();
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      platform::font::ClearGlyphCache();
      state.ResumeTiming();
    }
    large.Fill(0);
    void* dc = nullptr;
    large.GetDC(&dc);
    font.StartTextOut(static_cast<platform::font::TextTarget*>(dc), 0xFFFFFF);
    font.Write(0, 0, line.c_str(), static_cast<int>(line.size()));
    font.EndTextOut();
    large.ReleaseDC(dc);
    ZoReduceCoverage(large, cover, 0);
    benchmark::DoNotOptimize(cover.GetBits());
  }
  state.SetItemsProcessed(state.iterations() * kChars);
}

}  // namespace

BENCHMARK(BM_AntiAliasedLine)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

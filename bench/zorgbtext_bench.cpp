// The text panel rendering a 40-character Japanese line at size 24 (a panel of 960 x 24), in anti-aliased mode
// (drawn at twice the size and reduced) and in plain mode. Cold: the glyph cache emptied before each rendering
// (a line never seen); warm: the same line again. Typewriter: the line growing by one character per rendering,
// as a message shows it, with the cache warm from the previous step; the figure is per step.
#include <benchmark/benchmark.h>

#include "bench/benchtext.h"

#include <string>

#include "graphics/zorgbtext.h"
#include "platform/font.h"
#include "platform/text.h"

namespace {

constexpr int kSize = 24;
constexpr int kChars = 40;

const bool kContext = bench::AddProcessorContext();

struct Panel {
  Classes::TComponent owner{nullptr};
  TZoRGBText* text = new TZoRGBText(&owner);
  explicit Panel(bool antiAliased) {
    text->SetSizeX(kSize * kChars);
    text->SetSizeY(kSize);
    text->SetFontSize(kSize);
    text->SetAntiAliase(antiAliased);
  }
  bool Make() { return text->MakeBuffer(pf32_888) && text->GetTextFont().IsCreated(); }
};

// Arguments: anti-aliased (0/1), cold (0/1).
void BM_TextPanelLine(benchmark::State& state) {
  Panel panel(state.range(0) != 0);
  const bool cold = state.range(1) != 0;
  panel.text->SetText(bench::MessageLine());
  if (!panel.Make()) {
    state.SkipWithError("the IPA fonts are missing");
    return;
  }
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      platform::font::ClearGlyphCache();
      state.ResumeTiming();
    }
    panel.text->DrawTextA();
    benchmark::DoNotOptimize(panel.text->GetAlpha());
  }
  state.SetItemsProcessed(state.iterations() * kChars);
}

void BM_TextPanelTypewriter(benchmark::State& state) {
  Panel panel(state.range(0) != 0);
  if (!panel.Make()) {
    state.SkipWithError("the IPA fonts are missing");
    return;
  }
  const std::string& line = bench::MessageLine();
  std::size_t shown = 0;
  for (auto _ : state) {
    shown = shown >= line.size() ? 2 : shown + 2;
    panel.text->SetText(line.substr(0, shown));
  }
}

}  // namespace

BENCHMARK(BM_TextPanelLine)
    ->ArgNames({"aa", "cold"})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextPanelTypewriter)->ArgName("aa")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

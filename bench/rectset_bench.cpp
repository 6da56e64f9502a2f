// Rectangle sets: the cost of gathering dirty rectangles.
#include <benchmark/benchmark.h>

#include "core/vxrect.h"
#include "core/vxstd.h"

static void BM_RectSetRandomUnions(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    VXRandom random;
    VXRectSet set;
    for (int i = 0; i < count; ++i) {
      int x = random.Random(600), y = random.Random(440);
      set.UnionRect(VXRect{x, y, x + 8 + random.Random(120), y + 8 + random.Random(90)});
    }
    benchmark::DoNotOptimize(set.size());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_RectSetRandomUnions)->Arg(1000)->Unit(benchmark::kMicrosecond);

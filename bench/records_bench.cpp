// The data records: what a message shown, a calendar step, a new best score and a line of text cost.
// Links: shell
#include <benchmark/benchmark.h>

#include <climits>
#include <memory>

#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"

namespace {

// A log of `scripts` blocks with every other message of 1-2000 read (about 4 KB a block).
std::unique_ptr<TReadMesTable> FilledLog(int scripts) {
  auto log = std::make_unique<TReadMesTable>();
  for (int script = 0; script < scripts; ++script) {
    log->SetScriptStamp(script, 1);
    for (int m = 1; m < 2000; m += 2) log->MarkRead(static_cast<std::uint32_t>(script) << 16 | m);
  }
  return log;
}

}  // namespace

static void BM_ReadLogChangedScript(benchmark::State& state) {
  auto log = FilledLog(static_cast<int>(state.range(0)));
  std::uint32_t stamp = 1;
  for (auto _ : state) {
    log->SetScriptStamp(0, ++stamp);  // a changed script: its marks go, the blocks behind move down
    for (int m = 1; m < 100; m += 2) log->MarkRead(static_cast<std::uint32_t>(m));  // each new range moves them up
  }
  state.SetItemsProcessed(state.iterations() * 51);
}
BENCHMARK(BM_ReadLogChangedScript)->Arg(1)->Arg(60);

static void BM_ReadLogIsRead(benchmark::State& state) {
  auto log = FilledLog(60);
  std::uint32_t key = 0;
  for (auto _ : state) {
    key = (key + 0x10007) % (60u << 16);
    benchmark::DoNotOptimize(log->IsRead(key));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadLogIsRead);

static void BM_CalendarSteps(benchmark::State& state) {
  auto game = std::make_unique<TGameState>();
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    game->AddDays(n);
    game->AddMinutes(-n);
    game->AddHours(n);
    benchmark::DoNotOptimize(game->GetDay());
  }
  state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_CalendarSteps)->Arg(1)->Arg(INT_MAX);

static void BM_SongTableFill(benchmark::State& state) {
  for (auto _ : state) {
    auto data = std::make_unique<TSystemData>();
    for (int i = 255; i >= 0; --i) {  // every new song sorts to the front
      const TSongID id = {'Q', 'M', static_cast<char>('0' + i / 26 % 10), static_cast<char>('A' + i % 26)};
      data->SetResult(0, i, "NAME", 0, id, 1);
    }
    benchmark::DoNotOptimize(data->GetScore(0, TSongID{'Q', 'M', '0', 'A'}));
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_SongTableFill)->Unit(benchmark::kMicrosecond);

static void BM_TextLines(benchmark::State& state) {
  auto game = std::make_unique<TGameState>();
  const VXString chunk("\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8");  // five double-byte characters
  for (auto _ : state) {
    game->AddPageText(chunk);
    game->AddPageText(chunk);
    game->NewPageLine();
    if (game->GetCurrentPageLine() == TGameState::kPageLines) game->NewPage();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextLines);

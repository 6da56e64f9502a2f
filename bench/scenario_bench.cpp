// The script machine: instructions per second on an arithmetic loop and on a loop of calls and returns (the goal is
// 50 million a second), and what loading the scene table and starting a scene cost.
// Links: scenario scrasm_lib
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "platform/text.h"
#include "scenario/scripte.h"
#include "shell/gamestate.h"
#include "support/tempdir.h"
#include "tools/scrasm/assembler.h"

namespace {

constexpr int kRounds = 100000;

// A game folder with the assembled sources, and an engine on it.
class TGame {
 public:
  explicit TGame(const std::vector<std::string>& sources) {
    std::vector<scrasm::TSource> named;
    for (const std::string& text : sources) named.push_back({"bench.scs", text});
    scrasm::TFiles files;
    std::vector<scrasm::TDiagnostic> diagnostics;
    if (!scrasm::Assemble(named, files, diagnostics)) throw std::runtime_error(diagnostics.at(0).Format());
    for (const auto& [name, bytes] : files) dir_.Write(name, std::string(bytes.begin(), bytes.end()));
    files_.InitDir(dir_.str().c_str());
  }
  std::unique_ptr<TScriptEngine> Engine() {
    auto engine = std::make_unique<TScriptEngine>(&files_, &files_, nullptr);
    engine->LoadSceneTable();
    return engine;
  }

 private:
  TempDir dir_;
  VXFileMan files_;
};

// Runs scene "s" to its end once per iteration; `instructions` is what one run executes.
void RunLoop(benchmark::State& state, const std::string& source, std::int64_t instructions) {
  TGame game({source});
  auto engine = game.Engine();
  for (auto _ : state) {
    if (!engine->StartScene("s") || !engine->RunScript()) state.SkipWithError("the loop did not end");
  }
  state.SetItemsProcessed(state.iterations() * instructions);
  state.counters["instr/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * instructions), benchmark::Counter::kIsRate);
}

}  // namespace

// Six instructions a round, all on the value stack: Push, Add, Dup, Push, Less, JumpIfNotZero.
static void BM_MachineArithmeticLoop(benchmark::State& state) {
  RunLoop(state,
          "script 1\nscene \"s\" main\nfunction main\n    Push 0\nloop:\n    Add 1\n    Dup\n    Less " +
              std::to_string(kRounds) + "\n    JumpIfNotZero loop\n    End\n",
          6LL * kRounds + 2);
}
BENCHMARK(BM_MachineArithmeticLoop);

// Ten instructions a round, one call and one return among them.
static void BM_MachineCallLoop(benchmark::State& state) {
  RunLoop(state,
          "script 1\nscene \"s\" main\nfunction main\n    Push 0\nloop:\n    Call nothing\n    Pop\n    Add 1\n"
          "    Dup\n    Less " +
              std::to_string(kRounds) +
              "\n    JumpIfNotZero loop\n    End\nfunction nothing\n"
              "    Return\n",
          10LL * kRounds + 2);
}
BENCHMARK(BM_MachineCallLoop);

namespace {

// A story-sized script: 200 scenes over 200 functions of 20 messages each, and a second script.
std::vector<std::string> Story() {
  std::string main = "script 1\n";
  for (int f = 0; f < 200; ++f) main += "scene \"場面" + std::to_string(f) + "\" f" + std::to_string(f) + "\n";
  for (int f = 0; f < 200; ++f) {
    main += "function f" + std::to_string(f) + "\n";
    for (int m = 0; m < 20; ++m)
      main += "    Message \"【ユイ】「今日は" + std::to_string(m) + "回目の朝」\"\n    WaitClick\n";
  }
  return {main, "script 2\nscene \"別\" g\nfunction g\n    End\n"};
}

VXString SceneName(const char* utf8) { return VXString(platform::text::Utf8ToCp932(utf8).value().c_str()); }

}  // namespace

// A new engine reads the scene table, then starts a scene: its script is read and its texts indexed.
static void BM_LoadTableAndStartScene(benchmark::State& state) {
  TGame game(Story());
  const VXString name = SceneName("場面100");
  for (auto _ : state) {
    auto engine = game.Engine();
    if (!engine->StartScene(name)) state.SkipWithError("no scene");
  }
}

// A scene of the loaded script: nothing is read.
static void BM_StartSceneOfLoadedScript(benchmark::State& state) {
  TGame game(Story());
  auto engine = game.Engine();
  const VXString name = SceneName("場面100");
  for (auto _ : state)
    if (!engine->StartScene(name)) state.SkipWithError("no scene");
}

// Alternating between the two scripts: each start reads the other script.
static void BM_StartSceneOfAnotherScript(benchmark::State& state) {
  TGame game(Story());
  auto engine = game.Engine();
  const VXString names[2] = {SceneName("場面100"), SceneName("別")};
  int i = 0;
  for (auto _ : state)
    if (!engine->StartScene(names[i++ & 1])) state.SkipWithError("no scene");
}
BENCHMARK(BM_LoadTableAndStartScene);
BENCHMARK(BM_StartSceneOfLoadedScript);
BENCHMARK(BM_StartSceneOfAnotherScript);

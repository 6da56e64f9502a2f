// The adventure's text windows in the game window on the demo game (pack mode): one frame while a message types
// itself over a full-screen picture through the window's translucent back (the cells of that frame rendered, the
// changed areas composed and presented; the goal is 2 ms), and opening the backlog over a ring of 1,000 lines (the
// newest 17 lines rendered, the bar set, the window shown and the whole frame under it composed).
// Links: scenario demo_game_paths
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/gamewindowbench.h"
#include "core/vxfileman.h"
#include "graphics/zorgbpanel.h"
#include "platform/text.h"
#include "scenario/subwinu.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"

namespace {

VXString Sjis(const char* utf8) { return VXString(platform::text::Utf8ToCp932(utf8).value_or("")); }

// The game window on the demo game, the demo's night scene as the adventure's picture and every window attached.
struct Adventure {
  explicit Adventure(bool fullScreen) {
    setenv("XDG_DATA_HOME", saves.c_str(), 1);
    std::filesystem::create_directories(saves);
    WindowMode = fullScreen ? 0 : 1;
    form = std::make_unique<TGameForm>(nullptr, devices.Setup(QORM_DEMO_GAME_DIR));
    form->FormCreate();
    form->FormShow();
    if (form->GetState() != 2) return;
    scene = std::make_unique<TZoRGBPanel>(nullptr);
    if (!LoadPanelImage(scene.get(), FileMan, "DemoSceneNight.png")) return;
    form->AttachPanel(scene.get());
    scene->SetCreated(true);
    unit = std::make_unique<TSubWinUnit>(nullptr);
    if (!unit->Open(FileMan)) return;
    unit->Message().Attach(scene.get());
    unit->Backlog().Attach(scene.get());
    unit->SetMesTrans(25);
    form->BeginAdventureMode();
    form->DrawFullFrame();
    ok = true;
  }
  ~Adventure() {
    unit.reset();
    if (scene) ReleasePanelImage(scene.get());
    scene.reset();
    if (form) form->Close();
    form.reset();
    std::filesystem::remove_all(saves);
    WindowMode = 1;
  }

  std::string saves = std::filesystem::temp_directory_path() / ("qorm_subwinu_bench_" + std::to_string(getpid()));
  BenchDevices devices;
  std::unique_ptr<TGameForm> form;
  std::unique_ptr<TZoRGBPanel> scene;
  std::unique_ptr<TSubWinUnit> unit;
  bool ok = false;
};

// A full line types at one cell a frame; when it is done the page starts again.
void BM_TypingFrame(benchmark::State& state) {
  Adventure a(state.range(0) == 1);
  if (!a.ok) return state.SkipWithError("the game window or the windows did not open");
  TSubWinUnit::TTextWindow& message = a.unit->Message();
  message.Show(true);
  const VXString line = Sjis("星の降る夜に、ふたりは丘の上で同じ旋律を口ずさんでいた。");
  for (auto _ : state) {
    if (!message.IsTyping()) {
      message.Clear();
      message.AddText(100, line);
    }
    message.Frame(1, false);
    a.form->DrawUpdateFrame(1);
  }
}
BENCHMARK(BM_TypingFrame)->Arg(0)->Arg(1)->ArgName("fullscreen")->Unit(benchmark::kMicrosecond);

// The adventure's way of opening the backlog: the newest 17 lines of the ring, the bar at the bottom.
void BM_OpenBacklog(benchmark::State& state) {
  Adventure a(false);
  if (!a.ok) return state.SkipWithError("the game window or the windows did not open");
  GameState = TGameState();
  for (int i = 0; i < TGameState::kBacklogLines; ++i) {
    GameState.AddBacklogText(Sjis(i % 2 == 0 ? "あの日の約束を、まだ覚えているだろうか。" : "風が止んで、星がひとつ流れた。"));
    GameState.NewBacklogLine();
  }
  TSubWinUnit::TBacklog& log = a.unit->Backlog();
  for (auto _ : state) {
    const int count = GameState.GetBacklogCount();
    const int top = std::max(0, count - 16);
    log.Clear();
    for (int l = top; l < top + 17; ++l) {
      log.AddText(GameState.GetBacklogLine(l));
      log.NewLine();
    }
    log.SetScrollMax(top);
    log.Show(true);
    a.form->DrawUpdateFrame(1);
    state.PauseTiming();
    log.Hide(true);
    a.form->DrawUpdateFrame(1);
    state.ResumeTiming();
  }
  state.counters["lines"] = GameState.GetBacklogCount();
}
BENCHMARK(BM_OpenBacklog)->Unit(benchmark::kMicrosecond);

}  // namespace

// The adventure host in the game window on the demo game's data: one adventure frame while a message types itself
// over a full-screen stage picture through the message window's translucent back (the script stepped, the windows
// stepped, the cells of that frame rendered, the changed areas composed and presented; the goal is 2 ms), and the
// reader opening the backlog over a ring of 1,000 lines (the newest lines rendered, the bar set, the window shown
// and the frame under it composed).
// Links: scenario scrasm_lib demo_game_paths
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/gamewindowbench.h"
#include "core/vxfileman.h"
#include "graphics/zorgbpanel.h"
#include "platform/text.h"
#include "scenario/avgu.h"
#include "scenario/scrdef.h"
#include "scenario/subwinu.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "tools/scrasm/assembler.h"

namespace {

namespace fs = std::filesystem;

VXString Sjis(const char* utf8) { return VXString(platform::text::Utf8ToCp932(utf8).value_or("")); }

// The stage: the demo's night scene, never busy.
class PictureStage : public TAvgStage {
public:
  void Attach(TZoRGBPanel* parent) override {
    if (LoadPanelImage(&panel, FileMan, "DemoSceneNight.png")) panel.SetParent(parent);
  }
  void Detach() override {
    panel.SetParent(nullptr);
    ReleasePanelImage(&panel);
  }
  void SetDayPeriod(int) override {}
  void SetWeatherCode(int) override {}
  void SetStageLevel(int) override {}
  void SetBGCode(int) override {}
  void SetChars(const int*, int) override {}
  bool ChangeStage(int, int) override { return false; }
  bool ChangeChars() override { return false; }
  bool StartEffect(int) override { return false; }
  void SetTalk(int, bool) override {}
  void SetSimpleDisplay(bool) override {}
  void Update(int, bool, bool) override {}
  bool IsBusy() const override { return false; }
  TZoRGBBits* GetPicture() override { return panel.GetImage(); }

  TZoRGBPanel panel{nullptr};
};

// Message, line feed and page break, as the game's commands do them.
class MessageCommands : public TAvgCommands {
public:
  void RunCommand(TAvgUnit& host, TScriptEngine& engine, int opcode) override {
    const scrdef::TOpcodeInfo& info = *scrdef::GetOpcodeInfo(opcode);
    std::vector<int> a(info.args);
    for (int i = info.args - 1; i >= 0; --i) a[static_cast<std::size_t>(i)] = GameState.PopValue();
    if (opcode == scrdef::opMessage) {
      GameState.SetMessage(a[0], engine.ExpandTextMacros(engine.GetStringOperand(a[0])));
      if (!GameState.IsMessageWindowShown()) {
        GameState.SetMessageWindowShown(true);
        host.ShowMessageWindow(true);
        engine.Yield();
      }
    } else if (opcode == 69) {
      GameState.SetTextSpeed(a[0]);
    } else if (opcode == 73) {
      GameState.SetSceneMode(1);
      host.WaitClick();
      engine.Yield();
    }
    for (int i = 0; i < info.results; ++i) GameState.PushValue(0);
  }
};

// A game folder of links to the demo game's data and a script of its own; the window, the host and its stage.
struct Adventure {
  explicit Adventure(const std::string& script) {
    fs::create_directories(game / "Script_Pak");
    fs::create_directories(saves);
    for (const char* name : {"Game.pak", "EvSE.pak", "Voice", "BGM"})
      fs::create_symlink(fs::path(QORM_DEMO_GAME_DIR) / name, game / name);
    std::vector<scrasm::TSource> sources{{"b.scs", "script 1\nscene \"bench\" main\nfunction main\n" + script}};
    scrasm::TFiles files;
    std::vector<scrasm::TDiagnostic> diagnostics;
    if (!scrasm::Assemble(sources, files, diagnostics)) return;
    for (const auto& [name, bytes] : files)
      std::ofstream(game / "Script_Pak" / name, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    setenv("XDG_DATA_HOME", saves.c_str(), 1);
    WindowMode = 1;
    GameState = TGameState();
    const std::uint8_t emptyLog[8] = {8};
    ReadMesTable.Load(emptyLog, 8);
    form = std::make_unique<TGameForm>(nullptr, devices.Setup(game.string()));
    form->FormCreate();
    form->FormShow();
    if (form->GetState() != 2) return;
    host = std::make_unique<TAvgUnit>(nullptr);
    host->SetStage(&stage);
    host->SetCommands(&commands);
    if (!host->Open()) return;
    form->AttachPanel(host->AvgPanel);
    form->BeginAdventureMode();
    if (!host->StartScene(Sjis("bench"))) return;
    form->DrawFullFrame();
    ok = true;
  }
  ~Adventure() {
    host.reset();
    if (form) form->Close();
    form.reset();
    fs::remove_all(root);
  }

  fs::path root = fs::temp_directory_path() / ("qorm_avgu_bench_" + std::to_string(getpid()));
  fs::path game = root / "game";
  fs::path saves = root / "saves";
  BenchDevices devices;
  PictureStage stage;
  MessageCommands commands;
  std::unique_ptr<TGameForm> form;
  std::unique_ptr<TAvgUnit> host;
  bool ok = false;
};

// A page of two lines types itself at a cell a frame, then the page starts again (the loop of the script).
void BM_AdventureTypingFrame(benchmark::State& state) {
  Adventure a(
      "SetTextSpeed 300\n"
      "again:\n"
      "Message \"星の降る夜に、ふたりは丘の上で同じ旋律を\\n口ずさんでいた。遠くで鐘がひとつ鳴った。\\p\"\n"
      "Jump again\n");
  if (!a.ok) return state.SkipWithError("the game window or the host did not open");
  for (auto _ : state) {
    a.host->AdventureFrame(1);
    a.form->DrawUpdateFrame(1);
  }
}
BENCHMARK(BM_AdventureTypingFrame)->Unit(benchmark::kMicrosecond);

// The reader opens the backlog (and, untimed, closes it again) in a click wait with a full ring of 1,000 lines.
void BM_AdventureOpenBacklog(benchmark::State& state) {
  Adventure a("SetTextSpeed 0\nMessage \"あ\"\nWaitClick\n");
  if (!a.ok) return state.SkipWithError("the game window or the host did not open");
  for (int i = 0; i < 8; ++i) a.host->AdventureFrame(1);
  for (int i = 0; i < TGameState::kBacklogLines; ++i) {
    GameState.AddBacklogText(Sjis(i % 2 == 0 ? "あの日の約束を、まだ覚えているだろうか。" : "風が止んで、星がひとつ流れた。"));
    GameState.NewBacklogLine();
  }
  for (auto _ : state) {
    if (!a.host->OpenBacklog()) return state.SkipWithError("the backlog did not open");
    a.form->DrawUpdateFrame(1);
    state.PauseTiming();
    a.host->CloseBacklog();
    for (int i = 0; i < TSubWinUnit::kFadeFrames; ++i) a.host->AdventureFrame(1);
    a.form->DrawUpdateFrame(1);
    state.ResumeTiming();
  }
  state.counters["lines"] = GameState.GetBacklogCount();
}
BENCHMARK(BM_AdventureOpenBacklog)->Unit(benchmark::kMicrosecond);

}  // namespace

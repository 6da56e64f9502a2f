// Frames of the game window: a whole composed frame of a screen (a 640 × 480 background and a button), and a
// typical incremental frame (the button redrawn, the cursor moved, the FPS text), in a window (composition surface,
// whole picture presented) and full screen (flip chain, dirty rectangles presented). The presenter only takes the
// picture, so the figures are the game's and the display's own work.
// Links: shell
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "platform/input.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "bench/gamewindowbench.h"
#include "shell/gamef.h"

namespace {


// A window with a screen of two panels: an opaque gradient background and a 120 × 40 button with an alpha plane.
struct Screen {
  Screen(bool fullScreen) {
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    std::filesystem::create_directories(folder);
    WindowMode = fullScreen ? 0 : 1;
    ShowFPS = 1;
    TGameFormSetup setup;
    setup.application = &loop;
    setup.presenter = &presenter;
    setup.input = &input;
    setup.clock = &clock;  // the frame timer stays still: the benchmark draws the frames itself
    setup.manualSound = true;
    setup.gameFolder = folder;
    form = std::make_unique<TGameForm>(nullptr, setup);
    form->FormCreate();
    form->FormShow();
    ok = form->GetState() == 2;
    if (!ok) return;
    const VXBitDepth depth = form->GetRenderBitDepth();
    background.SetBitDepth(depth);
    background.Resize(640, 480);
    background.Create();
    for (int y = 0; y < 480; ++y) background.Line(0, y, 639, y, background.TZoRGBtoPixel({0, static_cast<std::uint8_t>(y / 2), 160}));
    button.SetBitDepth(depth);
    button.Resize(120, 80);
    button.Create();
    button.BoxFill(0, 0, 119, 39, button.TZoRGBtoPixel({240, 200, 80}));
    button.BoxFill(0, 40, 119, 79, button.TZoRGBtoPixel({250, 230, 140}));
    alpha.Resize(120, 80);
    alpha.Create();
    alpha.Fill(200);
    back = new TZoRGBPanel(nullptr);
    back->SetImage(&background);
    btn = new TZoRGBPanel(nullptr);
    btn->SetImage(&button);
    btn->SetAlpha(&alpha);
    btn->SetMaskMode(mmAlpha);
    btn->SetNumBlock(2);
    btn->SetOffsetX(400);
    btn->SetOffsetY(300);
    form->AttachPanel(back);
    back->SetCreated(true);
    btn->SetParent(back);
    btn->SetCreated(true);
    form->BeginPanelMode();
  }
  ~Screen() {
    if (form) form->Close();
    delete btn;
    delete back;
    form.reset();
    std::filesystem::remove_all(folder);
    WindowMode = 1;
    ShowFPS = 0;
  }

  std::string folder = std::filesystem::temp_directory_path() / ("qorm_shell_bench_" + std::to_string(getpid()));
  NoLoop loop;
  NullPresenter presenter;
  platform::input::Input input;
  platform::thread::ManualClock clock;
  std::unique_ptr<TGameForm> form;
  TZoRGBBits background, button;
  TZoAlpha alpha;
  TZoRGBPanel* back = nullptr;
  TZoRGBPanel* btn = nullptr;
  bool ok = false;
};

void BM_WholeFrame(benchmark::State& state) {
  Screen s(state.range(0) == 1);
  if (!s.ok) return state.SkipWithError("the game window did not start");
  for (auto _ : state) s.form->DrawFullFrame();
}
BENCHMARK(BM_WholeFrame)->Arg(0)->Arg(1)->ArgName("fullscreen")->Unit(benchmark::kMicrosecond);

void BM_DirtyFrame(benchmark::State& state) {
  Screen s(state.range(0) == 1);
  if (!s.ok) return state.SkipWithError("the game window did not start");
  int i = 0;
  for (auto _ : state) {
    ++i;
    s.btn->SetBlockIndex(i & 1);  // the button's pressed and normal pictures in turn
    s.input.MouseMoved(200 + (i & 63), 200 + (i & 31));
    s.form->DrawUpdateFrame(1);
  }
}
BENCHMARK(BM_DirtyFrame)->Arg(0)->Arg(1)->ArgName("fullscreen")->Unit(benchmark::kMicrosecond);

}  // namespace

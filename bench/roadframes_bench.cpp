// The frames of the transitions on the road from the title to a free play, on the real screens and the demo game:
// the title fading in from black, the title to black, black to the song select, the song select to black, and black
// to the music game's first picture. Each transition is built as the game thread builds it (the screen copied, the
// next screen drawn, its mask loaded) and then stepped frame by frame on a manual clock, one frame due per step, in
// the game window of the test process (the presenter copies what changed, as the program's window does). Every
// frame is timed in CPU time of this thread (the frame's whole work: transition step, composition, presentation).
//
//   BM_RoadFrames/<transition>/<window|fullscreen>
//     time      CPU time of the whole transition's frames (manual time), per run of the road
//     frames    frames stepped in the transition, the first (drawn as the transition begins) included
//     p50, p99, max_ms   CPU milliseconds of one frame over all runs
//     setup_ms  CPU milliseconds before its first frame (pictures made, screen copied, next screen drawn, mask read)
//
// Links: scenario demo_game_paths
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/gamewindowbench.h"
#include "core/vxfileman.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "scenario/gamewire.h"
#include "shell/commont.h"
#include "shell/gameeffect.h"
#include "shell/gamef.h"
#include "shell/gamet.h"

namespace {

namespace fs = std::filesystem;

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The transitions of the road as the game thread starts them: the effect and the mask of its transition kind.
struct Transition {
  int effectKind;
  const char* mask;  // null: none
};
constexpr Transition kBlackToTitle{ekMaskEdge, "FadeMask16_Noise.bmp"};      // kind 29
constexpr Transition kToBlack{ekCrossFade, nullptr};                         // kind 0
constexpr Transition kBlackToSelect{ekMaskEdge, "FadeMask14_Windmill.bmp"};  // kind 27
constexpr Transition kBlackToPlay{ekMaskEdge, "FadeMask07_Swirl.bmp"};       // kind 20

// The first song of the free play.
constexpr TSongID kSong{'Q', 'E', '0', '1'};

// CPU times of one transition over the runs.
struct Timings {
  std::vector<double> frameMs;
  std::vector<double> setupMs;
  std::vector<double> totalMs;
  int frames = 0;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// The game window on the demo game (the current folder, as in the program) with the title, the song select and the
// music game opened on the first free-play song.
class Road {
public:
  explicit Road(bool fullScreen) : old_(fs::current_path()) {
    fs::create_directories(save_);
    setenv("XDG_DATA_HOME", save_.c_str(), 1);
    WindowMode = fullScreen ? 0 : 1;
    fs::current_path(QORM_DEMO_GAME_DIR);
    TGameFormSetup setup = devices_.Setup(QORM_DEMO_GAME_DIR);
    setup.presenter = &presenter_;
    form_ = std::make_unique<TGameForm>(nullptr, setup);
    form_->FormCreate();
    form_->FormShow();
    if (form_->GetState() != 2) return;
    screens_ = MakeFrontScreens();
    units_ = MakeGameUnits();
    title_ = screens_.title(*form_);
    select_ = screens_.songSelect(*form_);
    music_ = units_.music(*form_);
    if (!title_ || !select_ || !music_ || !title_->Init() || !select_->Open() || !select_->Refresh()) return;
    title_->Prepare();
    music_->SetOptions(TMusicOptions{});
    ok_ = music_->Open(kSong);
  }
  ~Road() {
    if (music_) music_->Close();
    music_.reset();
    if (select_) select_->Close();
    select_.reset();
    if (title_) title_->Release();
    title_.reset();
    form_.reset();
    std::error_code ignored;
    fs::current_path(old_, ignored);
    fs::remove_all(save_, ignored);
  }

  bool Ok() const { return ok_; }

  // One run of the road; each transition's frames go to `timings` (indexed as the road's transitions).
  void Run(std::vector<Timings>& timings) {
    std::size_t i = 0;
    Fade(kBlackToTitle, title_->GetPanel(), timings[i++]);
    Show(title_->GetPanel());
    Fade(kToBlack, nullptr, timings[i++]);
    Fade(kBlackToSelect, select_->GetPanel(), timings[i++]);
    Show(select_->GetPanel());
    Fade(kToBlack, nullptr, timings[i++]);
    Fade(kBlackToPlay, music_->GetPanel(), timings[i++]);
    Show(music_->GetPanel());
  }

  static constexpr const char* kNames[] = {"BlackToTitle", "TitleToBlack", "BlackToSongSelect", "SongSelectToBlack",
                                           "BlackToPlay"};

private:
  // One frame due: the frame timer's cadence is 30, 35 and 35 ms.
  void Tick() {
    static constexpr int kCadence[] = {30, 35, 35};
    devices_.clock.AdvanceMs(kCadence[tick_++ % 3]);
    devices_.clock.WaitForSleepers(1);
  }

  // As the game thread's TransitionToBlack / TransitionToPanel: the panel shown leaves the tree first.
  void Fade(const Transition& t, TZoRGBPanel* next, Timings& out) {
    if (shown_ != nullptr) form_->DetachPanel(shown_);
    shown_ = nullptr;
    const double start = ThreadCpuMs();
    TZoRGBBits *from = nullptr, *to = nullptr;
    CreateScreenBitsPair(&from, &to);
    form_->CopyScreen(from);
    if (next != nullptr)
      next->Draw(to);
    else
      form_->ClearBits(to);
    if (t.mask != nullptr) form_->LoadMaskEffect(t.mask);
    const double setupEnd = ThreadCpuMs();
    out.setupMs.push_back(setupEnd - start);
    form_->SetResultPending(false);
    if (!form_->BeginTransition(t.effectKind, from, to, 100)) return;
    double total = ThreadCpuMs() - setupEnd;
    out.frameMs.push_back(total);
    int frames = 1;
    while (form_->GetState() == 9) {
      Tick();
      const double before = ThreadCpuMs();
      form_->StepFrame();
      const double ms = ThreadCpuMs() - before;
      out.frameMs.push_back(ms);
      total += ms;
      ++frames;
    }
    if (t.mask != nullptr) form_->ReleaseMaskEffect();
    out.totalMs.push_back(total);
    out.frames = frames;
  }

  // The screen under the root in panel mode, and one frame of it.
  void Show(TZoRGBPanel* panel) {
    form_->AttachPanel(panel);
    shown_ = panel;
    form_->BeginPanelMode();
    form_->SetResultPending(false);
    Tick();
    form_->StepFrame();
  }

  fs::path old_;
  fs::path save_ = fs::temp_directory_path() / ("qorm_roadframes_" + std::to_string(getpid()));
  BenchDevices devices_;
  CopyingPresenter presenter_;
  std::unique_ptr<TGameForm> form_;
  TFrontScreens screens_;
  TGameUnits units_;
  std::unique_ptr<TTitleScreen> title_;
  std::unique_ptr<TSongSelectScreen> select_;
  std::unique_ptr<TMusicPlay> music_;
  TZoRGBPanel* shown_ = nullptr;
  int tick_ = 0;
  bool ok_ = false;
};

constexpr int kRuns = 10;

// The road run kRuns times for one display mode; each transition's benchmark reports its share.
const std::vector<Timings>& RoadTimings(bool fullScreen) {
  static std::vector<Timings> timings[2];
  std::vector<Timings>& t = timings[fullScreen ? 1 : 0];
  if (t.empty()) {
    t.resize(std::size(Road::kNames));
    Road road(fullScreen);
    if (!road.Ok()) {
      t.clear();
      return t;
    }
    for (int run = 0; run < kRuns; ++run) road.Run(t);
  }
  return t;
}

void BM_RoadFrames(benchmark::State& state, std::size_t transition, bool fullScreen) {
  const std::vector<Timings>& all = RoadTimings(fullScreen);
  if (all.empty()) {
    state.SkipWithError("the demo game's screens did not open");
    return;
  }
  const Timings& t = all[transition];
  std::size_t run = 0;
  for (auto _ : state) state.SetIterationTime(t.totalMs[run++ % t.totalMs.size()] / 1000.0);
  state.counters["frames"] = t.frames;
  state.counters["p50_ms"] = Percentile(t.frameMs, 0.50);
  state.counters["p99_ms"] = Percentile(t.frameMs, 0.99);
  state.counters["max_ms"] = Percentile(t.frameMs, 1.0);
  state.counters["setup_ms"] = Percentile(t.setupMs, 0.50);
}

const bool registered = [] {
  for (bool fullScreen : {false, true}) {
    for (std::size_t i = 0; i < std::size(Road::kNames); ++i) {
      const std::string name =
          std::string("BM_RoadFrames/") + Road::kNames[i] + (fullScreen ? "/fullscreen" : "/window");
      benchmark::RegisterBenchmark(name.c_str(), [i, fullScreen](benchmark::State& s) { BM_RoadFrames(s, i, fullScreen); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(kRuns);
    }
  }
  return true;
}();

}  // namespace

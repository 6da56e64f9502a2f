// The stage's hottest frame: a mask wipe (transition 19, the swirl) from one rainy scene with three characters to
// another, while both layer sets animate with rain at stage level 4 (64 streaks behind and 64 in front of the
// characters in each set), on the demo game's own pictures at 640 x 480 x 32. One iteration is one frame of the
// stage (`TStageUnit::Frame`) of 1 or 2 ticks: the rain is placed anew every second tick, so with 2 ticks every
// frame redraws both scenes whole (the hottest case), with 1 every other frame. The transition starts again,
// untimed, whenever it has ended.
//
// The parts of that frame, measured alone: the scene redraw (both layer sets drawn whole without their weather: the
// backgrounds and the three characters of each), the particles (both sets' rain drawn whole, back and front), and
// the wipe (one drawn frame of the mask-edge kind). The frame redraws only what changed, so it costs less than
// the parts' sum when the rain has not moved.
// Links: scenario demo_game_paths
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>
#include <thread>

#include "core/vxfileman.h"
#include "device/gameservices.h"
#include "graphics/zorgbbits.h"
#include "scenario/stageu.h"
#include "shell/gamedata.h"
#include "shell/gameeffect.h"

namespace {

constexpr int W = kScreenWidth, H = kScreenHeight;

struct Stage {
  Stage() : services(nullptr, nullptr, bd32) {
    SetGameServices(&services);
    ResetUserConfig(&UserConfig);
    files.InitPack((std::string(QORM_DEMO_GAME_DIR) + "/Game.pak").c_str());
    stage = std::make_unique<TStageUnit>(nullptr);
    stage->SetDataFolder((std::string(QORM_DEMO_GAME_DIR) + "/").c_str());
    ready = stage->Open(&files);
    picture = CreateScreenBits();
    Show(0, 0, {1, 11, 21});
  }

  // The rainy day or evening at the riverside, with its characters (rain: level 4 by default).
  void Show(int transition, int period, std::array<int, 3> chars) {
    stage->SetBGCode(120);
    stage->SetWeatherCode(2);
    stage->SetDayPeriod(period);
    stage->SetChars(chars.data(), 0);
    stage->ChangeStage(transition);
  }
  // The wipe to the other scene and other expressions: both layer sets in play.
  void StartWipe() {
    evening = !evening;
    Show(19, evening ? 1 : 0, evening ? std::array<int, 3>{2, 12, 22} : std::array<int, 3>{1, 11, 21});
  }

  TLocalGameServices services;
  VXFileMan files;
  std::unique_ptr<TStageUnit> stage;
  TZoRGBBits* picture = nullptr;
  bool ready = false;
  bool evening = false;
};

Stage& TheStage() {
  static Stage stage;
  return stage;
}

const bool kContext = [] {
  benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
  return true;
}();

bool Ready(benchmark::State& state) {
  if (TheStage().ready) return true;
  state.SkipWithError("the demo game is not built");
  return false;
}

void BM_HottestFrame(benchmark::State& state) {
  if (!Ready(state)) return;
  Stage& s = TheStage();
  s.StartWipe();
  const int ticks = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!s.stage->Frame(ticks, false)) {
      state.PauseTiming();
      s.StartWipe();
      state.ResumeTiming();
    }
  }
  // What the frames showed: the rain's kind and level, the characters standing, the effect running.
  const TStageUnit& u = *s.stage;
  state.counters["weather"] = u.GetBGStat(0).weatherKind;
  state.counters["level"] = u.GetBGStat(0).stageLevel;
  state.counters["chars"] = (u.GetShownChar(0) >= 0) + (u.GetShownChar(1) >= 0) + (u.GetShownChar(2) >= 0);
  state.counters["effect"] = u.GetEffectKind();
}
BENCHMARK(BM_HottestFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Both layer sets drawn whole without their weather.
void BM_SceneRedraw(benchmark::State& state) {
  if (!Ready(state)) return;
  Stage& s = TheStage();
  s.StartWipe();
  TStageUnit& u = *s.stage;
  for (TZoRGBPanel* p : {u.WeatherBack, u.WeatherFront, u.WeatherBack2, u.WeatherFront2}) p->Hide();
  for (auto _ : state) {
    u.BGPanel->Draw(s.picture, 0, 0);
    u.BGPanel2->Draw(s.picture, 0, 0);
  }
  for (TZoRGBPanel* p : {u.WeatherBack, u.WeatherFront, u.WeatherBack2, u.WeatherFront2}) p->Show();
  s.stage->Frame(1, true);
}
BENCHMARK(BM_SceneRedraw)->Unit(benchmark::kMillisecond);

// Both layer sets' rain, back and front, drawn whole.
void BM_Particles(benchmark::State& state) {
  if (!Ready(state)) return;
  Stage& s = TheStage();
  s.StartWipe();
  TStageUnit& u = *s.stage;
  for (auto _ : state) {
    u.WeatherBackDraw(nullptr, s.picture, 0, 0, 0, 0, W, H);
    u.WeatherFrontDraw(nullptr, s.picture, 0, 0, 0, 0, W, H);
    u.WeatherBack2Draw(nullptr, s.picture, 0, 0, 0, 0, W, H);
    u.WeatherFront2Draw(nullptr, s.picture, 0, 0, 0, 0, W, H);
  }
  s.stage->Frame(1, true);
}
BENCHMARK(BM_Particles)->Unit(benchmark::kMillisecond);

// One drawn frame of the wipe itself.
void BM_Wipe(benchmark::State& state) {
  if (!Ready(state)) return;
  Stage& s = TheStage();
  TEffectMan effects;
  effects.Mask().Load(&s.files, "FadeMask07_Swirl.bmp");
  TZoRGBBits *from = nullptr, *to = nullptr;
  CreateScreenBitsPair(&from, &to);
  effects.Start(ekMaskEdge, from, to, 100);
  for (auto _ : state) {
    effects.Advance(1);
    effects.Draw(s.picture, nullptr);
    if (effects.IsDone()) {
      state.PauseTiming();
      effects.Start(ekMaskEdge, from, to, 100);
      state.ResumeTiming();
    }
  }
  effects.Clear();
  DeleteScreenBits(from);
  DeleteScreenBits(to);
}
BENCHMARK(BM_Wipe)->Unit(benchmark::kMillisecond);

}  // namespace

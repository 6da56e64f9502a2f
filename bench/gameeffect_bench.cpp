// One drawn frame of every screen-transition kind on 640 x 480 32-bit pictures (the demo game's two scenes, its
// ripple tables, halation pictures and a wipe mask), and the plain cross-fade beside pixman's OVER through a solid
// mask on the same frame, both in CPU time, alternating. Each iteration is one frame; times are per frame.
// Links: shell demo_game_paths
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/sidebyside.h"
#include "core/cpuid.h"
#include "core/vxfileman.h"
#include "device/gameservices.h"
#include "graphics/zorgbbits.h"
#include "shell/gameeffect.h"
#include "shell/gamefunc.h"

#if defined(QORM_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int W = kScreenWidth, H = kScreenHeight;

// The demo game's scenes and transition data, loaded once.
struct Scene {
  Scene() : services(nullptr, nullptr, bd32) {
    SetGameServices(&services);
    files.InitPack((std::string(QORM_DEMO_GAME_DIR) + "/Game.pak").c_str());
    LoadImageFile(&night, nullptr, &files, "DemoSceneNight.png");
    LoadImageFile(&dawn, nullptr, &files, "DemoSceneDawn.png");
    effects.Water().Load(&files);
    effects.Halo().Load(&files, bd32);
    effects.Mask().Load(&files, "FadeMask07_Swirl.bmp");
    CreateScreenBitsPair(&from, &to);
    dst = CreateScreenBits();
    Reset();
  }
  // The from picture as the transition starts (the zoom, water and halation kinds change it).
  void Reset() {
    if (night != nullptr) from->Draw(0, 0, night, 0, 0, W, H);
    if (dawn != nullptr) to->Draw(0, 0, dawn, 0, 0, W, H);
    dst->Draw(0, 0, from, 0, 0, W, H);
  }
  bool Ready() {
    return night != nullptr && dawn != nullptr && effects.Water().HasRipple() && effects.Mask().IsLoaded();
  }

  TLocalGameServices services;
  VXFileMan files;
  TZoRGBBits *night = nullptr, *dawn = nullptr, *from = nullptr, *to = nullptr, *dst = nullptr;
  TEffectMan effects;
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

const bool kContext = [] {
  benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
  benchmark::AddCustomContext("mmx", TheCPUID().IsMmxSupport() ? "yes" : "no");
  return true;
}();

using Frame = std::function<void(Scene&)>;

void OneFrame(benchmark::State& state, const Frame& frame) {
  Scene& s = TheScene();
  if (!s.Ready()) {
    state.SkipWithError("the demo game is not built");
    return;
  }
  s.Reset();
  for (auto _ : state) {
    frame(s);
    benchmark::DoNotOptimize(s.dst->GetBits());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{W} * H * 4);
}

struct Case {
  const char* name;
  Frame frame;
};

// A frame from the middle of each kind; kinds whose phases do different work have one case per phase.
const Case kCases[] = {
    {"k00_CrossFade", [](Scene& s) { RenderCrossFade(s.dst, nullptr, s.from, s.to, 60); }},
    {"k01_CrossFadeFast", [](Scene& s) { RenderCrossFade(s.dst, nullptr, s.from, s.to, 72); }},
    {"k02_CrossFadeSlow", [](Scene& s) { RenderCrossFade(s.dst, nullptr, s.from, s.to, 30); }},
    {"k03_ScrollUp", [](Scene& s) { RenderScroll(s.dst, nullptr, s.from, s.to, 80, 0); }},
    {"k04_ScrollDown", [](Scene& s) { RenderScroll(s.dst, nullptr, s.from, s.to, 80, 1); }},
    {"k05_ScrollRight", [](Scene& s) { RenderScroll(s.dst, nullptr, s.from, s.to, 80, 2); }},
    {"k06_ScrollLeft", [](Scene& s) { RenderScroll(s.dst, nullptr, s.from, s.to, 80, 3); }},
    {"k07_ZoomIn", [](Scene& s) { RenderZoomIn(s.dst, nullptr, s.from, s.to, 18); }},
    {"k08_ZoomThrough", [](Scene& s) { RenderZoomThrough(s.dst, nullptr, s.from, s.to, 10); }},
    {"k09_Shrink", [](Scene& s) { RenderShrink(s.dst, nullptr, s.from, s.to, 18); }},
    {"k10_ZoomOut_zoom", [](Scene& s) { RenderZoomOut(s.dst, nullptr, s.from, s.to, 8); }},
    {"k10_ZoomOut_fade", [](Scene& s) { RenderZoomOut(s.dst, nullptr, s.from, s.to, 17); }},
    {"k11_Water_ripple", [](Scene& s) { RenderWater(s.dst, nullptr, s.from, s.to, 20, s.effects.Water()); }},
    {"k11_Water_blend", [](Scene& s) { RenderWater(s.dst, nullptr, s.from, s.to, 35, s.effects.Water()); }},
    {"k12_Halation_glare", [](Scene& s) { RenderHalation(s.dst, nullptr, s.from, s.to, 1, s.effects.Halo()); }},
    {"k12_Halation_flares", [](Scene& s) { RenderHalation(s.dst, nullptr, s.from, s.to, 20, s.effects.Halo()); }},
    {"k13_Mask_sub", [](Scene& s) { RenderMask(s.dst, nullptr, s.from, s.to, 128, s.effects.Mask()); }},
    {"k13_Mask_plane", [](Scene& s) { RenderMask(s.dst, nullptr, s.from, s.to, 256, s.effects.Mask()); }},
    {"k14_MaskEdge", [](Scene& s) { RenderMaskEdge(s.dst, nullptr, s.from, s.to, 128, s.effects.Mask()); }},
};

const bool kRegistered = [] {
  for (const Case& c : kCases)
    benchmark::RegisterBenchmark((std::string("Frame/") + c.name).c_str(), OneFrame, c.frame)
        ->Unit(benchmark::kMillisecond);
  return true;
}();

// The whole drive of a kind through the manager, first frame to last, divided by its drawn frames.
void WholeTransition(benchmark::State& state) {
  Scene& s = TheScene();
  if (!s.Ready()) {
    state.SkipWithError("the demo game is not built");
    return;
  }
  std::int64_t frames = 0;
  for (auto _ : state) {
    state.PauseTiming();
    s.Reset();
    s.effects.Start(static_cast<int>(state.range(0)), s.from, s.to);
    state.ResumeTiming();
    s.effects.Draw(s.dst, nullptr);
    for (++frames; !s.effects.IsDone(); ++frames) {
      s.effects.Advance(1);
      s.effects.Draw(s.dst, nullptr);
    }
  }
  state.counters["per_frame"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(WholeTransition)->DenseRange(ekCrossFade, ekMaskEdge)->Unit(benchmark::kMillisecond);

#if defined(QORM_HAVE_PIXMAN)
namespace {

// Locked until the comparison ends (locks nest, so our side still locks and unlocks as it draws).
pixman_image_t* Wrap(TZoRGBBits* bits) {
  bits->Lock();
  return pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, reinterpret_cast<std::uint32_t*>(bits->GetBits()),
                                  bits->GetPitch());
}

// The cross-fade frame at rate 60 of 128 beside the same frame through pixman, alternating in CPU time
// (bench/sidebyside.h; "x_pixman" is pixman's time over ours): the to picture composited OVER the screen through a
// solid mask. "in place" blends into a screen that holds the from picture (one read of each and one write, as our
// blend has); "from both" first copies the from picture, giving exactly the cross-fade's two-source result.
void CrossFadeBesidePixman(benchmark::State& state, bool fromBoth) {
  Scene& s = TheScene();
  if (!s.Ready()) {
    state.SkipWithError("the demo game is not built");
    return;
  }
  s.Reset();
  // The pixel rows stay put while the bitmaps live; pixman only borrows them.
  pixman_image_t* dst = Wrap(s.dst);
  pixman_image_t* from = Wrap(s.from);
  pixman_image_t* to = Wrap(s.to);
  const pixman_color_t level{0, 0, 0, static_cast<std::uint16_t>(60 * 65535 / 128)};
  pixman_image_t* mask = pixman_image_create_solid_fill(&level);
  bench::SideBySide(
      state, [&] { RenderCrossFade(s.dst, nullptr, s.from, s.to, 60); },
      [&] {
        if (fromBoth) pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, dst, 0, 0, 0, 0, 0, 0, W, H);
        pixman_image_composite32(PIXMAN_OP_OVER, to, mask, dst, 0, 0, 0, 0, 0, 0, W, H);
      },
      "pixman");
  for (pixman_image_t* image : {mask, to, from, dst}) pixman_image_unref(image);
  state.SetBytesProcessed(state.iterations() * std::int64_t{W} * H * 4);
}

}  // namespace

BENCHMARK_CAPTURE(CrossFadeBesidePixman, in_place, false)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CrossFadeBesidePixman, from_both, true)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

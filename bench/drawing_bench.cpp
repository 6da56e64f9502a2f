// Whole-frame drawings on 640 x 480 bitmaps at 32, 24 and 16 (565) bits, each iteration one frame: copy, colour-key
// copy, rate blend, alpha-plane draw under both kernel rules, alpha in the source's fourth byte, tone, and
// conversions. Where pixman does the same work (SRC for copies and conversions, OVER with a constant mask for the
// rate blend, OVER with an a8 mask for the plane, OVER with an a8r8g8b8 source for the fourth byte) it runs on the
// same pictures, alternating with ours frame by frame in CPU time (bench/sidebyside.h): "x_pixman" is pixman's time
// over ours, above 1 faster than pixman.
//
// pixman has tuned paths (its fast-path tables) for these operations on 32-bit pictures, for copies between equal
// formats, for 32 -> 565 and for an a8r8g8b8 source over 565; for the others here it runs its general path (fetch a
// scanline, combine, store), which the label says: a "general" figure is a slower peer, not a tuned one. The
// general path shows in pixman's own times: several times its 32-bit time for the same pixels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "bench/sidebyside.h"
#include "core/cpuid.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"

#if defined(QORM_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::unique_ptr<TZoRGBBits> Picture(VXPixFormat format, unsigned seed) {
  auto b = std::make_unique<TZoRGBBits>();
  b->SetPixFormat(format);
  b->SetWidth(kWidth);
  b->SetHeight(kHeight);
  b->Create();
  std::mt19937 rng(seed);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth * b->GetBitDepth(); ++x)
      b->GetBits()[y * b->GetPitch() + x] = static_cast<unsigned char>(rng() | (rng() & 1));
  return b;
}

// A character picture: a solid body with soft edges, transparent around it.
std::unique_ptr<TZoAlpha> CharacterPlane() {
  auto p = std::make_unique<TZoAlpha>();
  p->SetWidth(kWidth);
  p->SetHeight(kHeight);
  p->Create();
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int edge = std::min({x - 160, 480 - x, y - 40, 460 - y});
      p->PSet(x, y, static_cast<unsigned char>(edge < 0 ? 0 : edge >= 8 ? 255 : edge * 32));
    }
  return p;
}

struct Pictures {
  std::unique_ptr<TZoRGBBits> back32 = Picture(pf32_888, 1), src32 = Picture(pf32_888, 2);
  std::unique_ptr<TZoRGBBits> back24 = Picture(pf24_888, 3), src24 = Picture(pf24_888, 4);
  std::unique_ptr<TZoRGBBits> back16 = Picture(pf16_565, 6), src16 = Picture(pf16_565, 7);
  std::unique_ptr<TZoRGBBits> alpha32 = Picture(pf32_8888, 5);
  std::unique_ptr<TZoAlpha> plane = CharacterPlane();
  Pictures() {
    // The fourth byte of the 8888 source follows the plane, as a character picture's would.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) alpha32->GetBits()[y * alpha32->GetPitch() + x * 4 + 3] = plane->PGet(x, y);
  }
  TZoRGBBits* Back(int depth) { return depth == 32 ? back32.get() : depth == 24 ? back24.get() : back16.get(); }
  TZoRGBBits* Src(int depth) { return depth == 32 ? src32.get() : depth == 24 ? src24.get() : src16.get(); }
};

Pictures& ThePictures() {
  static Pictures pictures;
  return pictures;
}

const bool kContext = [] {
  benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
  benchmark::AddCustomContext("mmx", TheCPUID().IsMmxSupport() ? "yes" : "no");
  return true;
}();

// What pixman runs for an operation at a destination depth (see the head of the file).
std::string PixmanPath(bool tuned) { return tuned ? "pixman: tuned path" : "pixman: general path"; }

#if defined(QORM_HAVE_PIXMAN)
pixman_format_code_t PixmanFormat(VXPixFormat f) {
  switch (f) {
    case pf16_565: return PIXMAN_r5g6b5;
    case pf24_888: return PIXMAN_r8g8b8;
    case pf32_8888: return PIXMAN_a8r8g8b8;
    default: return PIXMAN_x8r8g8b8;
  }
}

struct PixmanImage {
  pixman_image_t* image;
  explicit PixmanImage(TZoRGBBits* b)
      : image(pixman_image_create_bits(PixmanFormat(b->GetPixFormat()), kWidth, kHeight,
                                       reinterpret_cast<std::uint32_t*>(b->GetBits()), b->GetPitch())) {}
  explicit PixmanImage(TZoAlpha* p)
      : image(pixman_image_create_bits(PIXMAN_a8, kWidth, kHeight, reinterpret_cast<std::uint32_t*>(p->GetBits()),
                                       p->GetPitch())) {}
  explicit PixmanImage(int rate) {
    const pixman_color_t level{0, 0, 0, static_cast<std::uint16_t>(rate * 65535 / 128)};
    image = pixman_image_create_solid_fill(&level);
  }
  ~PixmanImage() { pixman_image_unref(image); }
};

std::function<void()> Pixman(pixman_op_t op, TZoRGBBits* src, std::shared_ptr<PixmanImage> mask, TZoRGBBits* dst) {
  auto s = std::make_shared<PixmanImage>(src), d = std::make_shared<PixmanImage>(dst);
  return [op, s, mask, d] {
    pixman_image_composite32(op, s->image, mask ? mask->image : nullptr, d->image, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
  };
}
#define PIXMAN(...) Pixman(__VA_ARGS__)
#else
#define PIXMAN(...) std::function<void()>()
#endif

void Run(benchmark::State& state, const std::function<void()>& ours, const std::function<void()>& pixman,
         bool tuned = true) {
  bench::SideBySide(state, ours, pixman, "pixman", pixman ? PixmanPath(tuned) : std::string());
}

void Copy(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(depth), *src = p.Src(depth);
  Run(state, [=] { dst->Draw(0, 0, src, 0, 0, kWidth, kHeight); }, PIXMAN(PIXMAN_OP_SRC, src, nullptr, dst));
}

// The same copy beside the C library's memcpy of the whole picture in one call (its widest instructions, no rows):
// the bound that memory sets on any copy of these bytes. "x_memcpy" near 1 says the copy runs at that bound.
void CopyBound(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(depth), *src = p.Src(depth);
  const std::size_t bytes = static_cast<std::size_t>(src->GetPitch()) * kHeight;
  bench::SideBySide(
      state, [=] { dst->Draw(0, 0, src, 0, 0, kWidth, kHeight); },
      [=] { std::memcpy(dst->GetBits(), src->GetBits(), bytes); }, "memcpy");
  state.counters["GB/s"] = 2.0 * static_cast<double>(bytes) / (state.counters["ours_ms"] * 1e6);
}

void KeyCopy(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(depth), *src = p.Src(depth);
  Run(state, [=] { dst->DrawKey(0, 0, src, 0, 0, kWidth, kHeight, VXRGB(0, 255, 0)); }, {});
}

void RateBlend(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0)), rate = static_cast<int>(state.range(1));
  const bool mmx = state.range(2) != 0;
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(depth), *src = p.Src(depth);
  dst->SetMMX(mmx);
  Run(state, [=] { dst->AlphaBlend(0, 0, src, 0, 0, kWidth, kHeight, rate); },
      PIXMAN(PIXMAN_OP_OVER, src, std::make_shared<PixmanImage>(rate), dst), depth == 32);
  dst->SetMMX(TheCPUID().IsMmxSupport());
}

void PlaneMask(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const bool mmx = state.range(1) != 0;
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(depth), *src = p.Src(depth);
  TZoAlpha* plane = p.plane.get();
  dst->SetMMX(mmx);
  Run(state, [=] { dst->DrawAlphaMask(0, 0, src, 0, 0, kWidth, kHeight, plane); },
      PIXMAN(PIXMAN_OP_OVER, src, std::make_shared<PixmanImage>(plane), dst), depth == 32);
  dst->SetMMX(TheCPUID().IsMmxSupport());
}

void OwnAlpha(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(depth), *src = p.alpha32.get();
  Run(state, [=] { dst->DrawAlphaMask(0, 0, src, 0, 0, kWidth, kHeight); },
      PIXMAN(PIXMAN_OP_OVER, src, nullptr, dst), depth != 24);
}

void Tone(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  TZoRGBBits* dst = ThePictures().Back(depth);
  Run(state, [=] { dst->ToneChange(0, 0, kWidth - 1, kHeight - 1, 0x807060); }, {});
}

// ConvertCopy between two depths; pixman's SRC between the same formats.
void Convert(benchmark::State& state) {
  const int from = static_cast<int>(state.range(0)), to = static_cast<int>(state.range(1));
  Pictures& p = ThePictures();
  TZoRGBBits *dst = p.Back(to), *src = p.Src(from);
  Run(state, [=] { dst->ConvertCopy(0, 0, src, 0, 0, kWidth, kHeight); }, PIXMAN(PIXMAN_OP_SRC, src, nullptr, dst),
      from == 32 && to == 16);
}

}  // namespace

BENCHMARK(Copy)->ArgName("bits")->Arg(32)->Arg(24)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CopyBound)->ArgName("bits")->Arg(32)->Arg(24)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(KeyCopy)->ArgName("bits")->Arg(32)->Arg(24)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RateBlend)
    ->ArgNames({"bits", "rate", "mmx"})
    ->ArgsProduct({{32, 24, 16}, {64, 100}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PlaneMask)
    ->ArgNames({"bits", "mmx"})
    ->ArgsProduct({{32, 24, 16}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(OwnAlpha)->ArgName("bits")->Arg(32)->Arg(24)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Tone)->ArgName("bits")->Arg(32)->Arg(24)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Convert)
    ->ArgNames({"from", "to"})
    ->Args({24, 32})
    ->Args({32, 24})
    ->Args({32, 16})
    ->Args({16, 32})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

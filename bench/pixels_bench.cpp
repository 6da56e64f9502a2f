// Full-frame blends on a 640 x 480 32-bit picture: by rate (the cross-fade) and through an 8-bit alpha plane
// (a character drawn over a background). Each iteration is one frame; times are per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/cpuid.h"
#include "graphics/vxrgbeffect.h"

#if defined(QORM_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kPitch = kWidth * 4;

struct Frame {
  Frame() : back(kPitch * kHeight), a(kPitch * kHeight), b(kPitch * kHeight), plane(kWidth * kHeight) {
    std::mt19937 rng(1);
    for (auto& x : a) x = static_cast<unsigned char>(rng());
    for (auto& x : b) x = static_cast<unsigned char>(rng());
    // A character picture: a solid body with soft edges, transparent around it.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const int edge = std::min({x - 160, 480 - x, y - 40, 460 - y});
        plane[y * kWidth + x] = static_cast<unsigned char>(edge < 0 ? 0 : edge >= 8 ? 255 : edge * 32);
      }
    back = a;
  }
  std::vector<unsigned char> back, a, b, plane;
};

Frame& TheFrame() {
  static Frame frame;
  return frame;
}

const bool kContext = [] {
  benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
  benchmark::AddCustomContext("mmx", TheCPUID().IsMmxSupport() ? "yes" : "no");
  return true;
}();

void RateBlend(benchmark::State& state, VXRGBAlphaProc proc) {
  Frame& f = TheFrame();
  const int rate = static_cast<int>(state.range(0));
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      proc(&f.back[y * kPitch], &f.a[y * kPitch], &f.b[y * kPitch], kWidth, rate);
    benchmark::DoNotOptimize(f.back.data());
  }
  state.SetBytesProcessed(state.iterations() * kPitch * kHeight);
}

void HalfBlend(benchmark::State& state, VXRGBHalfProc proc) {
  Frame& f = TheFrame();
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) proc(&f.back[y * kPitch], &f.a[y * kPitch], &f.b[y * kPitch], kWidth);
    benchmark::DoNotOptimize(f.back.data());
  }
  state.SetBytesProcessed(state.iterations() * kPitch * kHeight);
}

using MaskProc = void (*)(void*, const void*, const void*, unsigned);
void PlaneBlend(benchmark::State& state, MaskProc proc) {
  Frame& f = TheFrame();
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) proc(&f.back[y * kPitch], &f.b[y * kPitch], &f.plane[y * kWidth], kWidth);
    benchmark::DoNotOptimize(f.back.data());
  }
  state.SetBytesProcessed(state.iterations() * kPitch * kHeight);
}

}  // namespace

BENCHMARK_CAPTURE(RateBlend, plain, RGBAlpha32_888)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RateBlend, mmx, RGBAlpha32_888_MMX)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HalfBlend, plain, RGBHalf32_888)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlaneBlend, plain, RGBAlphaOutChannel32)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlaneBlend, mmx, RGBAlphaOutChannel32_MMX)->Unit(benchmark::kMillisecond);

#if defined(QORM_HAVE_PIXMAN)
namespace {

pixman_image_t* Wrap(std::vector<unsigned char>& pixels, pixman_format_code_t format, int pitch) {
  return pixman_image_create_bits(format, kWidth, kHeight, reinterpret_cast<std::uint32_t*>(pixels.data()), pitch);
}

// The same work through pixman: OVER with a constant mask for the rate blend, OVER with an a8 mask for the plane.
// Composites the second picture over the back one through `mask`, which it releases.
void PixmanOver(benchmark::State& state, pixman_image_t* mask) {
  Frame& f = TheFrame();
  pixman_image_t* dst = Wrap(f.back, PIXMAN_x8r8g8b8, kPitch);
  pixman_image_t* src = Wrap(f.b, PIXMAN_x8r8g8b8, kPitch);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(f.back.data());
  }
  pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetBytesProcessed(state.iterations() * kPitch * kHeight);
}

void PixmanRate(benchmark::State& state) {
  const pixman_color_t level{0, 0, 0, static_cast<std::uint16_t>(state.range(0) * 65535 / 128)};
  PixmanOver(state, pixman_image_create_solid_fill(&level));
}

void PixmanPlane(benchmark::State& state) { PixmanOver(state, Wrap(TheFrame().plane, PIXMAN_a8, kWidth)); }

}  // namespace

BENCHMARK(PixmanRate)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(PixmanPlane)->Unit(benchmark::kMillisecond);
#endif

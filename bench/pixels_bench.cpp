// Full-frame blends on a 640 x 480 32-bit picture: by rate (the cross-fade) and through an 8-bit alpha plane
// (a character drawn over a background). Each iteration is one frame; times are per frame. Where pixman is
// installed each blend runs beside its OVER (through a constant mask for the rates, an a8 mask for the plane) on
// the same pictures, alternating in CPU time (bench/sidebyside.h): "x_pixman" is pixman's time over ours.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/sidebyside.h"
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

#if defined(QORM_HAVE_PIXMAN)
pixman_image_t* Wrap(std::vector<unsigned char>& pixels, pixman_format_code_t format, int pitch) {
  return pixman_image_create_bits(format, kWidth, kHeight, reinterpret_cast<std::uint32_t*>(pixels.data()), pitch);
}

// pixman composites the second picture OVER the back one through `mask`, which the returned work owns: the same
// work as ours, one read of each picture and one write.
std::function<void()> PixmanOver(pixman_image_t* mask) {
  Frame& f = TheFrame();
  std::shared_ptr<pixman_image_t> dst(Wrap(f.back, PIXMAN_x8r8g8b8, kPitch), pixman_image_unref);
  std::shared_ptr<pixman_image_t> src(Wrap(f.b, PIXMAN_x8r8g8b8, kPitch), pixman_image_unref);
  std::shared_ptr<pixman_image_t> m(mask, pixman_image_unref);
  return [dst, src, m] {
    pixman_image_composite32(PIXMAN_OP_OVER, src.get(), m.get(), dst.get(), 0, 0, 0, 0, 0, 0, kWidth, kHeight);
  };
}

std::function<void()> PixmanRate(int rate) {
  const pixman_color_t level{0, 0, 0, static_cast<std::uint16_t>(rate * 65535 / 128)};
  return PixmanOver(pixman_image_create_solid_fill(&level));
}

std::function<void()> PixmanPlane() { return PixmanOver(Wrap(TheFrame().plane, PIXMAN_a8, kWidth)); }
#else
std::function<void()> PixmanRate(int) { return {}; }
std::function<void()> PixmanPlane() { return {}; }
#endif

void Beside(benchmark::State& state, const std::function<void()>& ours, const std::function<void()>& pixman) {
  bench::SideBySide(state, ours, pixman, "pixman");
  state.SetBytesProcessed(state.iterations() * kPitch * kHeight);
}

void RateBlend(benchmark::State& state, VXRGBAlphaProc proc) {
  Frame& f = TheFrame();
  const int rate = static_cast<int>(state.range(0));
  const auto ours = [&f, proc, rate] {
    for (int y = 0; y < kHeight; ++y) proc(&f.back[y * kPitch], &f.a[y * kPitch], &f.b[y * kPitch], kWidth, rate);
  };
  Beside(state, ours, PixmanRate(rate));
}

// The half blend is the rate blend at 64 of 128.
void HalfBlend(benchmark::State& state, VXRGBHalfProc proc) {
  Frame& f = TheFrame();
  const auto ours = [&f, proc] {
    for (int y = 0; y < kHeight; ++y) proc(&f.back[y * kPitch], &f.a[y * kPitch], &f.b[y * kPitch], kWidth);
  };
  Beside(state, ours, PixmanRate(64));
}

using MaskProc = void (*)(void*, const void*, const void*, unsigned);
void PlaneBlend(benchmark::State& state, MaskProc proc) {
  Frame& f = TheFrame();
  const auto ours = [&f, proc] {
    for (int y = 0; y < kHeight; ++y) proc(&f.back[y * kPitch], &f.b[y * kPitch], &f.plane[y * kWidth], kWidth);
  };
  Beside(state, ours, PixmanPlane());
}

}  // namespace

BENCHMARK_CAPTURE(RateBlend, plain, RGBAlpha32_888)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RateBlend, mmx, RGBAlpha32_888_MMX)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HalfBlend, plain, RGBHalf32_888)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlaneBlend, plain, RGBAlphaOutChannel32)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlaneBlend, mmx, RGBAlphaOutChannel32_MMX)->UseManualTime()->Unit(benchmark::kMillisecond);

// The shell's scene functions on full-screen pictures: loading a 640 x 480 RGBA PNG panel picture with its alpha
// plane (from memory, and from a folder through the file manager), and the blending and area-averaging stretch
// kernels drawing a whole 640 x 480 screen from smaller, equal and larger sources.
// Links: shell
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/benchtext.h"
#include "core/vxfileman.h"
#include "device/gameservices.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "shell/gamefunc.h"
#include "tests/support/tempdir.h"

namespace {

[[maybe_unused]] const bool kContext = bench::AddProcessorContext();

constexpr int kW = 640, kH = 480;

// A smooth picture with some detail and a soft-edged alpha, as a screen's panel picture would be.
std::vector<unsigned char> Picture32(int w, int h) {
  std::vector<unsigned char> v(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &v[(static_cast<std::size_t>(y) * w + x) * 4];
      p[0] = static_cast<unsigned char>(x * 255 / w), p[1] = static_cast<unsigned char>(y * 255 / h);
      p[2] = static_cast<unsigned char>((x ^ y) & 0xFF), p[3] = static_cast<unsigned char>(x < w / 2 ? 255 : x & 0xFF);
    }
  return v;
}

std::string RgbaPng() {
  const std::vector<unsigned char> pixels = Picture32(kW, kH);
  std::vector<unsigned char> alpha(kW * kH);
  for (std::size_t i = 0; i < alpha.size(); ++i) alpha[i] = pixels[i * 4 + 3];
  VXMemoryStream out;
  SavePng(&out, pixels.data(), alpha.data(), kW, kH, pf32_888);
  return std::string(reinterpret_cast<const char*>(out.GetMemory()), out.GetSize());
}

void LoadPngWithPlane(benchmark::State& state) {
  TLocalGameServices services(nullptr, nullptr, bd32);
  SetGameServices(&services);
  const std::string file = RgbaPng();
  VXMemoryStream in(file.data(), static_cast<int>(file.size()));
  for (auto _ : state) {
    in.Seek(0, VXSeekBegin);
    TZoRGBBits* bits = nullptr;
    TZoAlpha* alpha = nullptr;
    if (!LoadImageStream(&bits, &alpha, ikPng, &in) || alpha == nullptr) state.SkipWithError("load failed");
    services.GetMemMan().Delete(bits);
    services.GetMemMan().Delete(alpha);
  }
  SetGameServices(nullptr);
  state.SetBytesProcessed(state.iterations() * kW * kH * 4);
}
BENCHMARK(LoadPngWithPlane)->Unit(benchmark::kMillisecond);

void LoadPanelImageFromFolder(benchmark::State& state) {
  TLocalGameServices services(nullptr, nullptr, bd32);
  SetGameServices(&services);
  TempDir dir;
  dir.Write("Panel.png", RgbaPng());
  VXFileMan files;
  files.InitDir(dir.str().c_str());
  TZoRGBPanel panel(nullptr);
  for (auto _ : state) {
    if (!LoadPanelImage(&panel, &files, "Panel.png") || panel.GetAlpha() == nullptr) state.SkipWithError("load failed");
    ReleasePanelImage(&panel);
  }
  SetGameServices(nullptr);
}
BENCHMARK(LoadPanelImageFromFolder)->Unit(benchmark::kMillisecond);

using Kernel = void (*)(const unsigned char*, int, int, int, unsigned char*, int, int, int);

// The whole 640 x 480 screen drawn from a source of range(0) x range(1) pixels.
template <Kernel kernel>
void FullScreen(benchmark::State& state) {
  const int sw = static_cast<int>(state.range(0)), sh = static_cast<int>(state.range(1));
  const std::vector<unsigned char> src = Picture32(sw, sh);
  std::vector<unsigned char> dst = Picture32(kW, kH);
  for (auto _ : state) {
    kernel(src.data(), sw, sh, sw * 4, dst.data(), kW, kH, kW * 4);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void Sources(benchmark::internal::Benchmark* b) {
  b->Args({320, 240})->Args({640, 480})->Args({800, 600})->Args({1280, 960})->Unit(benchmark::kMicrosecond);
}
BENCHMARK(FullScreen<BlendStretchCopy32>)->Apply(Sources);
BENCHMARK(FullScreen<SmoothStretchCopy32>)->Apply(Sources);
BENCHMARK(FullScreen<StretchCopy32>)->Apply(Sources);

}  // namespace

// Picture readers and the PNG writer on a 640 x 480 picture: decoding PNG (RGBA), JPEG and BMP into 32-bit pixels,
// and writing a screenshot as PNG.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/vxbmp.h"
#include "graphics/vxjpeg.h"
#include "graphics/vxpng.h"
#include "tests/support/pictures.h"

namespace {

constexpr int kW = 640, kH = 480;

// A smooth picture with some detail, as a game background would be.
std::vector<unsigned char> Screen32() {
  std::vector<unsigned char> v(kW * kH * 4);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      unsigned char* p = &v[(y * kW + x) * 4];
      p[0] = static_cast<unsigned char>(x * 255 / kW), p[1] = static_cast<unsigned char>(y * 255 / kH);
      p[2] = static_cast<unsigned char>((x ^ y) & 0xFF), p[3] = static_cast<unsigned char>((x + y) & 0xFF);
    }
  return v;
}

std::string PngFile() {
  const std::vector<unsigned char> s = Screen32();
  VXMemoryStream out;
  SavePng(&out, s.data(), s.data() + 3, kW, kH, pf32_888);  // any W x H varying bytes serve as the alpha plane
  return std::string(reinterpret_cast<const char*>(out.GetMemory()), out.GetSize());
}

std::string JpegFile() {
  const std::vector<unsigned char> s = Screen32();
  pictures::JpegSpec spec{kW, kH, 3, false, {}};
  for (int i = 0; i < kW * kH; ++i) spec.samples.insert(spec.samples.end(), {s[i * 4 + 2], s[i * 4 + 1], s[i * 4]});
  return pictures::MakeJpeg(spec);
}

std::string BmpFile() {
  const std::vector<unsigned char> s = Screen32();
  std::string f(54, '\0');
  auto put32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(10, 54), put32(14, 40), put32(18, kW), put32(22, kH), put32(26, 1 | 24 << 16);
  for (int y = kH - 1; y >= 0; --y)
    for (int x = 0; x < kW; ++x) f.append(reinterpret_cast<const char*>(&s[(y * kW + x) * 4]), 3);
  return f;
}

template <typename Load>
void Decode(benchmark::State& state, const std::string& file, Load load) {
  std::vector<unsigned char> out(kW * kH * 4);
  for (auto _ : state) {
    VXMemoryStream in(file.data(), static_cast<int>(file.size()));
    unsigned char* p = out.data();
    int w, h;
    if (!load(&in, &p, &w, &h)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_DecodePngRgba(benchmark::State& state) {
  static const std::string file = PngFile();
  std::vector<unsigned char> alpha(kW * kH);
  Decode(state, file, [&](VXStream* s, unsigned char** p, int* w, int* h) {
    unsigned char* a = alpha.data();
    return LoadPng(s, p, &a, w, h, pf32_8888, kW * kH * 4, kW * kH);
  });
}
void BM_DecodeJpeg(benchmark::State& state) {
  static const std::string file = JpegFile();
  Decode(state, file, [](VXStream* s, unsigned char** p, int* w, int* h) {
    return LoadJpeg(s, p, w, h, pf32_888, kW * kH * 4);
  });
}
void BM_DecodeBmp(benchmark::State& state) {
  static const std::string file = BmpFile();
  Decode(state, file, [](VXStream* s, unsigned char** p, int* w, int* h) {
    return LoadBmp(s, p, w, h, pf32_888, kW * kH * 4);
  });
}
void BM_SavePngScreenshot(benchmark::State& state) {
  const std::vector<unsigned char> s = Screen32();
  for (auto _ : state) {
    VXMemoryStream out;
    if (!SavePng(&out, s.data(), kW, kH, pf32_888)) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(out.GetMemory());
  }
}

}  // namespace

BENCHMARK(BM_DecodePngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePngScreenshot)->Unit(benchmark::kMillisecond);

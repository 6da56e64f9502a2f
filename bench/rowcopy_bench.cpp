// Row copies and fills on 640-pixel rows beside memcpy and memset, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/vxmemcpy.h"

namespace {

constexpr unsigned kPixels = 640;
constexpr int kRows = 480;  // one frame's worth of rows per iteration

template <class Row>
void RunRows(benchmark::State& state, unsigned bytesPerPixel, Row row) {
  std::vector<unsigned char> src(kPixels * bytesPerPixel * kRows), dst(src.size());
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
  const size_t pitch = kPixels * bytesPerPixel;
  for (auto _ : state) {
    for (int y = 0; y < kRows; ++y) row(dst.data() + y * pitch, src.data() + y * pitch);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}

}  // namespace

static void BM_memcpy(benchmark::State& s) {
  RunRows(s, 4, [](void* d, const void* p) { std::memcpy(d, p, kPixels * 4); });
}
static void BM_VXMemcpy(benchmark::State& s) {
  RunRows(s, 4, [](void* d, const void* p) { VXMemcpy(d, p, kPixels * 4); });
}
static void BM_KeyCopy2(benchmark::State& s) {
  RunRows(s, 2, [](void* d, const void* p) { VXMemcpy2K(d, p, kPixels, 0x0707); });
}
static void BM_KeyCopy4(benchmark::State& s) {
  RunRows(s, 4, [](void* d, const void* p) { VXMemcpy4K(d, p, kPixels, 0x00070707); });
}
static void BM_MirroredCopy4(benchmark::State& s) {
  RunRows(s, 4, [](void* d, const void* p) { VXMemcpy4R(d, p, kPixels); });
}
static void BM_memset(benchmark::State& s) {
  RunRows(s, 4, [](void* d, const void*) { std::memset(d, 0x5A, kPixels * 4); });
}
static void BM_Fill4(benchmark::State& s) {
  RunRows(s, 4, [](void* d, const void*) { VXMemset4(d, 0x00123456, kPixels); });
}
static void BM_Fill2(benchmark::State& s) {
  RunRows(s, 2, [](void* d, const void*) { VXMemset2(d, 0x1234, kPixels); });
}

BENCHMARK(BM_memcpy);
BENCHMARK(BM_VXMemcpy);
BENCHMARK(BM_KeyCopy2);
BENCHMARK(BM_KeyCopy4);
BENCHMARK(BM_MirroredCopy4);
BENCHMARK(BM_memset);
BENCHMARK(BM_Fill4);
BENCHMARK(BM_Fill2);

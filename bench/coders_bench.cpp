// Decode (and encode) throughput of the three coders on 1 MiB of mixed data: text, a 24-bit picture with smooth
// gradients and some noise, and 16-bit PCM-like sound. Bytes processed are counted on the decoded side.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/vxcocotte.h"
#include "core/vxmariel.h"
#include "core/vxrange.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr std::size_t kSize = 1 << 20;

const Bytes& MixedData() {
  static const Bytes data = [] {
    std::mt19937 rng(42);
    Bytes b;
    const std::string words[] = {"the ", "scenario ", "script ", "picture ", "song ", "of ", "and ", "\r\n",
                                 "character ", "window ", "select ", "name "};
    while (b.size() < kSize / 3) {  // text
      const std::string& w = words[rng() % 12];
      b.insert(b.end(), w.begin(), w.end());
    }
    for (int y = 0; b.size() < 2 * kSize / 3; ++y)  // picture rows, B G R
      for (int x = 0; x < 640; ++x) {
        b.push_back(static_cast<unsigned char>(x / 3 + y));
        b.push_back(static_cast<unsigned char>(y * 2 + (rng() % 4)));
        b.push_back(static_cast<unsigned char>((x * y) >> 6));
      }
    for (int i = 0; b.size() < kSize; ++i) {  // stereo 16-bit sound
      const int v = static_cast<int>(8000 * std::sin(i * 0.031) + 3000 * std::sin(i * 0.17)) + static_cast<int>(rng() % 64);
      b.push_back(static_cast<unsigned char>(v));
      b.push_back(static_cast<unsigned char>(v >> 8));
    }
    b.resize(kSize);
    return b;
  }();
  return data;
}

template <class Coder>
Bytes PumpEncode(const Bytes& plain) {
  VXByteSource in(plain.data(), plain.size());
  VXByteSink out;
  Coder enc;
  enc.Encode(static_cast<int>(plain.size()), static_cast<int>(plain.size() * 2), in.ReadCallback(), out.WriteCallback(), {});
  return out.Bytes();
}

template <class Encoder, class Decoder>
void DecodePump(benchmark::State& state) {
  const Bytes& plain = MixedData();
  const Bytes packed = PumpEncode<Encoder>(plain);
  VXByteSink out;
  for (auto _ : state) {
    out.Clear();
    VXByteSource in(packed.data(), packed.size());
    Decoder dec;
    if (!dec.Decode(static_cast<int>(packed.size()), static_cast<int>(plain.size()), in.ReadCallback(),
                    out.WriteCallback(), {}))
      state.SkipWithError("decode failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
  state.counters["ratio%"] = 100.0 * static_cast<double>(packed.size()) / static_cast<double>(plain.size());
}

template <class Encoder>
void EncodePump(benchmark::State& state) {
  const Bytes& plain = MixedData();
  for (auto _ : state) benchmark::DoNotOptimize(PumpEncode<Encoder>(plain));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
}

void RangeDecode(benchmark::State& state) {
  const Bytes& plain = MixedData();
  Bytes packed(plain.size() * 2), out(plain.size());
  VXRangeEncode enc;
  enc.Create();
  enc.Encode(plain.data(), packed.data(), static_cast<int>(plain.size()), static_cast<int>(packed.size()));
  packed.resize(static_cast<std::size_t>(enc.outputLength));
  for (auto _ : state) {
    VXRangeDecode dec;
    dec.Create();
    if (!dec.Decode(packed.data(), out.data(), static_cast<int>(packed.size()), static_cast<int>(out.size())))
      state.SkipWithError("decode failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
  state.counters["ratio%"] = 100.0 * static_cast<double>(packed.size()) / static_cast<double>(plain.size());
}

void RangeEncode(benchmark::State& state) {
  const Bytes& plain = MixedData();
  Bytes packed(plain.size() * 2);
  for (auto _ : state) {
    VXRangeEncode enc;
    enc.Create();
    enc.Encode(plain.data(), packed.data(), static_cast<int>(plain.size()), static_cast<int>(packed.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
}

}  // namespace

BENCHMARK(DecodePump<VXMarielEncode, VXMarielDecode>)->Name("MarielDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(DecodePump<VXCocotteEncode, VXCocotteDecode>)->Name("CocotteDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(RangeDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(EncodePump<VXMarielEncode>)->Name("MarielEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(EncodePump<VXCocotteEncode>)->Name("CocotteEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(RangeEncode)->Unit(benchmark::kMillisecond);

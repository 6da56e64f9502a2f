// The pack coders beside zlib and bzip2 on the same 4 MiB of generated game data (text, 24-bit BMP pictures, 16-bit
// PCM sound), decoding and encoding, with each one's compressed size as the counter "packed"; and a pack of 5,000
// entries opened and every name looked up. Bytes processed are counted on the decoded side.
// Links: ZLIB::ZLIB BZip2::BZip2
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/peers.h"
#include "core/vxcompstream.h"
#include "core/vxcrc.h"
#include "core/vxpack.h"
#include "core/vxrange.h"

namespace {

using bench::Bytes;
constexpr std::size_t kSize = 4 << 20;

void AppendBmp(Bytes& b, std::mt19937& rng, int w, int h) {
  const unsigned char header[54] = {'B', 'M'};
  b.insert(b.end(), header, header + 54);
  const int seed = static_cast<int>(rng() % 256);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool sprite = (x / 40 + y / 40) % 3 == 0;  // flat areas beside gradients
      b.push_back(sprite ? 0x20 : static_cast<unsigned char>(x / 3 + y + seed));
      b.push_back(sprite ? 0xC0 : static_cast<unsigned char>(y * 2 + (rng() % 4)));
      b.push_back(sprite ? 0x80 : static_cast<unsigned char>((x * y) >> 7));
    }
}

const Bytes& GameData() {
  static const Bytes data = [] {
    std::mt19937 rng(7);
    Bytes b;
    const std::string words[] = {"the ", "scenario ", "script ", "picture ", "song ", "of ", "and ", "\r\n",
                                 "character ", "window ", "select ", "name ", "「", "」", "。"};
    while (b.size() < kSize / 3) {
      const std::string& w = words[rng() % 15];
      b.insert(b.end(), w.begin(), w.end());
    }
    while (b.size() < 2 * kSize / 3) AppendBmp(b, rng, 320, 240);
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

Bytes StreamEncode(int kind, const Bytes& plain) {
  VXMemoryStream in(plain.data(), static_cast<int>(plain.size()));
  VXMemoryStream out;
  VXCompStream comp;
  int size = 0;
  comp.EncodeBuffer(&in, static_cast<int>(plain.size()), &out, &size, kind);
  return Bytes(out.GetMemory(), out.GetMemory() + size);
}

void Finish(benchmark::State& state, std::size_t packed) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * GameData().size()));
  state.counters["packed"] = static_cast<double>(packed);
  state.counters["ratio%"] = 100.0 * static_cast<double>(packed) / static_cast<double>(GameData().size());
}

// ---- Our coders through the compressing streams

void OurDecode(benchmark::State& state, int kind) {
  const Bytes& plain = GameData();
  const Bytes packed = StreamEncode(kind, plain);
  VXMemoryStream out;
  out.SetSize(static_cast<std::int64_t>(plain.size()));
  for (auto _ : state) {
    VXMemoryStream in(packed.data(), static_cast<int>(packed.size()));
    out.Seek(0, VXSeekBegin);
    VXCompStream comp;
    if (!comp.DecodeBuffer(&in, static_cast<int>(packed.size()), &out, static_cast<int>(plain.size()), kind))
      state.SkipWithError("decode failed");
  }
  Finish(state, packed.size());
}

void OurEncode(benchmark::State& state, int kind) {
  std::size_t packed = 0;
  for (auto _ : state) packed = StreamEncode(kind, GameData()).size();
  Finish(state, packed);
}

void MarielDecode(benchmark::State& s) { OurDecode(s, VXCompMariel); }
void MarielEncode(benchmark::State& s) { OurEncode(s, VXCompMariel); }
void CocotteDecode(benchmark::State& s) { OurDecode(s, VXCompCocotte); }
void CocotteEncode(benchmark::State& s) { OurEncode(s, VXCompCocotte); }

void RangeDecode(benchmark::State& state) {
  const Bytes& plain = GameData();
  Bytes packed(plain.size() * 2);
  VXRangeEncode enc;
  enc.Create();
  enc.Encode(plain.data(), packed.data(), static_cast<int>(plain.size()), static_cast<int>(packed.size()));
  packed.resize(static_cast<std::size_t>(enc.outputLength));
  Bytes out(plain.size());
  for (auto _ : state) {
    VXRangeDecode dec;
    dec.Create();
    dec.Decode(packed.data(), out.data(), static_cast<int>(packed.size()), static_cast<int>(out.size()));
  }
  Finish(state, packed.size());
}

void RangeEncode(benchmark::State& state) {
  const Bytes& plain = GameData();
  Bytes packed(plain.size() * 2);
  int size = 0;
  for (auto _ : state) {
    VXRangeEncode enc;
    enc.Create();
    enc.Encode(plain.data(), packed.data(), static_cast<int>(plain.size()), static_cast<int>(packed.size()));
    size = enc.outputLength;
  }
  Finish(state, static_cast<std::size_t>(size));
}

// ---- References

void ZlibInflate(benchmark::State& state) {
  const Bytes& plain = GameData();
  const Bytes packed = bench::ZlibCompress(plain);
  Bytes out(plain.size());
  for (auto _ : state)
    if (!bench::ZlibInflate(packed, out)) state.SkipWithError("inflate failed");
  Finish(state, packed.size());
}

void ZlibDeflate6(benchmark::State& state) {
  std::size_t packed = 0;
  for (auto _ : state) packed = bench::ZlibCompress(GameData()).size();
  Finish(state, packed);
}

void Bzip2Decompress(benchmark::State& state) {
  const Bytes& plain = GameData();
  const Bytes packed = bench::Bzip2Compress(plain);
  Bytes out(plain.size());
  for (auto _ : state)
    if (!bench::Bzip2Decompress(packed, out)) state.SkipWithError("bzip2 failed");
  Finish(state, packed.size());
}

void Bzip2Compress9(benchmark::State& state) {
  std::size_t packed = 0;
  for (auto _ : state) packed = bench::Bzip2Compress(GameData()).size();
  Finish(state, packed);
}

// ---- A pack of 5,000 entries

struct BigPack {
  Bytes bytes;
  std::vector<std::string> names;
};

const BigPack& FiveThousand() {
  static const BigPack pack = [] {
    BigPack p;
    constexpr int kCount = 5000;
    Bytes table;
    for (int i = 0; i < kCount; ++i) {
      char name[26];
      std::snprintf(name, sizeof name, "CG%05d_Scene.png", i);
      p.names.push_back(name);
      VXFileTable3 e{};
      VXPack::MakeFTName(e, name);
      e.offset = static_cast<std::uint32_t>(i * 16);
      e.size = e.compSize = 16;
      e.crcFlag = 1;
      const auto* raw = reinterpret_cast<const unsigned char*>(&e);  // little-endian host: the stored layout
      table.insert(table.end(), raw, raw + sizeof e);
    }
    VXPackHed h = {{'Z', 'o', 'P', 'a', 'c', 'k'}, VXPackVersion3, kCount * 16, kCount};
    const auto* raw = reinterpret_cast<const unsigned char*>(&h);
    p.bytes.assign(raw, raw + sizeof h);
    p.bytes.resize(p.bytes.size() + kCount * 16, 0x5A);
    p.bytes.insert(p.bytes.end(), table.begin(), table.end());
    const unsigned short crc = VXCrcCheck().Crc(p.bytes.data(), static_cast<int>(p.bytes.size()));
    p.bytes.push_back(static_cast<unsigned char>(crc));
    p.bytes.push_back(static_cast<unsigned char>(crc >> 8));
    return p;
  }();
  return pack;
}

void PackOpenAndLookUpEveryName(benchmark::State& state) {
  const BigPack& big = FiveThousand();
  for (auto _ : state) {
    VXMemoryStream stream(big.bytes.data(), static_cast<int>(big.bytes.size()));
    VXPack pack;
    pack.verifyMode = static_cast<unsigned char>(state.range(0));
    if (!pack.LoadPackStream(&stream)) state.SkipWithError("load failed");
    int found = 0;
    for (const std::string& n : big.names) found += pack.CheckFileName(n.c_str()) >= 0;
    if (found != 5000) state.SkipWithError("lookup failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 5000));
}

}  // namespace

BENCHMARK(MarielDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(CocotteDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(Bzip2Decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(RangeDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(MarielEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibDeflate6)->Unit(benchmark::kMillisecond);
BENCHMARK(CocotteEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(Bzip2Compress9)->Unit(benchmark::kMillisecond);
BENCHMARK(RangeEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(PackOpenAndLookUpEveryName)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Decode (and encode) throughput of the three coders on 1 MiB of mixed data: text, a 24-bit picture with smooth
// gradients and some noise, and 16-bit PCM-like sound, each beside its peer on the same bytes: Mariel (LZSS) beside
// zlib at level 6, Cocotte (block sorting) beside bzip2 at level 9, the range coder beside zlib's Huffman-only
// coding. Both sides alternate in CPU time (bench/sidebyside.h): "x_zlib" or "x_bzip2" is the peer's time over
// ours, above 1 faster than the peer; "ratio%" and "peer_ratio%" are the compressed sizes. Bytes processed are
// counted on the decoded side.
// Links: ZLIB::ZLIB BZip2::BZip2
#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/peers.h"
#include "bench/sidebyside.h"
#include "core/vxcocotte.h"
#include "core/vxmariel.h"
#include "core/vxrange.h"

namespace {

using bench::Bytes;
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

// The peer of each coder: how it packs and unpacks the same bytes.
struct Peer {
  const char* name;
  Bytes (*pack)(const Bytes&);
  bool (*unpack)(const Bytes&, Bytes&);
};
const Peer kZlib{"zlib", [](const Bytes& b) { return bench::ZlibCompress(b); }, bench::ZlibInflate};
const Peer kBzip2{"bzip2", bench::Bzip2Compress, bench::Bzip2Decompress};
const Peer kHuffman{"zlib", [](const Bytes& b) { return bench::ZlibCompress(b, 6, Z_HUFFMAN_ONLY); },
                    bench::ZlibInflate};

void Finish(benchmark::State& state, std::size_t packed, std::size_t peerPacked) {
  const double size = static_cast<double>(MixedData().size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MixedData().size()));
  state.counters["ratio%"] = 100.0 * static_cast<double>(packed) / size;
  state.counters["peer_ratio%"] = 100.0 * static_cast<double>(peerPacked) / size;
}

void DecodeBeside(benchmark::State& state, const Bytes& packed, const std::function<bool()>& decode,
                  const Peer& peer) {
  const Bytes& plain = MixedData();
  const Bytes peerPacked = peer.pack(plain);
  Bytes peerOut(plain.size());
  bool ok = true;
  bench::SideBySide(state, [&] { ok = decode() && ok; }, [&] { ok = peer.unpack(peerPacked, peerOut) && ok; },
                    peer.name);
  if (!ok) state.SkipWithError("decode failed");
  Finish(state, packed.size(), peerPacked.size());
}

void EncodeBeside(benchmark::State& state, const std::function<std::size_t()>& encode, const Peer& peer) {
  std::size_t packed = 0, peerPacked = 0;
  bench::SideBySide(state, [&] { packed = encode(); }, [&] { peerPacked = peer.pack(MixedData()).size(); },
                    peer.name);
  Finish(state, packed, peerPacked);
}

template <class Encoder, class Decoder>
void DecodePump(benchmark::State& state, const Peer& peer) {
  const Bytes& plain = MixedData();
  const Bytes packed = PumpEncode<Encoder>(plain);
  VXByteSink out;
  DecodeBeside(
      state, packed,
      [&] {
        out.Clear();
        VXByteSource in(packed.data(), packed.size());
        Decoder dec;
        return dec.Decode(static_cast<int>(packed.size()), static_cast<int>(plain.size()), in.ReadCallback(),
                          out.WriteCallback(), {});
      },
      peer);
}

template <class Encoder>
void EncodePump(benchmark::State& state, const Peer& peer) {
  EncodeBeside(state, [] { return PumpEncode<Encoder>(MixedData()).size(); }, peer);
}

void RangeDecode(benchmark::State& state) {
  const Bytes& plain = MixedData();
  Bytes packed(plain.size() * 2), out(plain.size());
  VXRangeEncode enc;
  enc.Create();
  enc.Encode(plain.data(), packed.data(), static_cast<int>(plain.size()), static_cast<int>(packed.size()));
  packed.resize(static_cast<std::size_t>(enc.outputLength));
  DecodeBeside(
      state, packed,
      [&] {
        VXRangeDecode dec;
        dec.Create();
        return dec.Decode(packed.data(), out.data(), static_cast<int>(packed.size()), static_cast<int>(out.size()));
      },
      kHuffman);
}

void RangeEncode(benchmark::State& state) {
  const Bytes& plain = MixedData();
  Bytes packed(plain.size() * 2);
  EncodeBeside(
      state,
      [&] {
        VXRangeEncode enc;
        enc.Create();
        enc.Encode(plain.data(), packed.data(), static_cast<int>(plain.size()), static_cast<int>(packed.size()));
        return static_cast<std::size_t>(enc.outputLength);
      },
      kHuffman);
}

void MarielDecode(benchmark::State& s) { DecodePump<VXMarielEncode, VXMarielDecode>(s, kZlib); }
void CocotteDecode(benchmark::State& s) { DecodePump<VXCocotteEncode, VXCocotteDecode>(s, kBzip2); }
void MarielEncode(benchmark::State& s) { EncodePump<VXMarielEncode>(s, kZlib); }
void CocotteEncode(benchmark::State& s) { EncodePump<VXCocotteEncode>(s, kBzip2); }

}  // namespace

BENCHMARK(MarielDecode)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CocotteDecode)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RangeDecode)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MarielEncode)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CocotteEncode)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RangeEncode)->UseManualTime()->Unit(benchmark::kMillisecond);

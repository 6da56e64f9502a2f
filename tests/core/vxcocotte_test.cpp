#include "core/vxcocotte.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/pumpcoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Mixed(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  const std::string words[] = {"block ", "sorting ", "front ", "coder ", "the ", "a ", "\r\n"};
  Bytes b;
  while (b.size() < n) {
    switch (rng() % 4) {
      case 0: for (int i = 0, k = 1 + rng() % 2000; i < k; ++i) b.push_back(static_cast<unsigned char>(rng())); break;
      case 1: b.insert(b.end(), 1 + rng() % 3000, static_cast<unsigned char>(rng())); break;
      default: for (int i = 0, k = 1 + rng() % 300; i < k; ++i) { const auto& w = words[rng() % 7]; b.insert(b.end(), w.begin(), w.end()); }
    }
  }
  b.resize(n);
  return b;
}

Bytes Pack(VXCocotteEncode& enc, const Bytes& plain, int outSize = -1, bool* ok = nullptr) {
  VXByteSource in(plain.data(), plain.size());
  VXByteSink out;
  const int room = outSize < 0 ? static_cast<int>(plain.size() + plain.size() / 100 + 1024) : outSize;
  const bool r = enc.Encode(static_cast<int>(plain.size()), room, in.ReadCallback(), out.WriteCallback(), {});
  if (ok != nullptr) *ok = r;
  else EXPECT_TRUE(r);
  return out.Bytes();
}

Bytes Unpack(const Bytes& packed, int outSize, bool* ok) {
  VXByteSource in(packed.data(), packed.size());
  VXByteSink out;
  VXCocotteDecode dec;
  *ok = dec.Decode(static_cast<int>(packed.size()), outSize, in.ReadCallback(), out.WriteCallback(), {});
  EXPECT_EQ(static_cast<std::size_t>(dec.resultSize), out.Bytes().size());
  return out.Bytes();
}

// The block headers of a stream: (S, L) pairs.
std::vector<std::pair<int, int>> Blocks(const Bytes& s) {
  std::vector<std::pair<int, int>> v;
  for (std::size_t p = 0; p + 4 <= s.size(); p += s[p] | (s[p + 1] << 8)) v.push_back({s[p] | (s[p + 1] << 8), s[p + 2] | (s[p + 3] << 8)});
  return v;
}

// A stored block built by hand: index and last column, move-to-front coded from the identity list.
Bytes StoredBlock(int index, const Bytes& column, int headerL = -1, int headerS = -1) {
  Bytes t = {static_cast<unsigned char>(index), static_cast<unsigned char>(index >> 8)};
  t.insert(t.end(), column.begin(), column.end());
  VXMTFEncode mtf;
  mtf.Encode(t.data(), static_cast<int>(t.size()));
  const int l = headerL < 0 ? static_cast<int>(column.size()) : headerL;
  const int s = headerS < 0 ? static_cast<int>(t.size()) + 4 : headerS;
  Bytes b = {static_cast<unsigned char>(s), static_cast<unsigned char>(s >> 8), static_cast<unsigned char>(l),
             static_cast<unsigned char>(l >> 8)};
  b.insert(b.end(), t.begin(), t.end());
  return b;
}

}  // namespace

TEST(BWT, KnownTransformAndInverse) {
  struct Case {
    std::string plain;
    Bytes transformed;
  };
  const Case cases[] = {
      {"banana", {3, 0, 'n', 'n', 'b', 'a', 'a', 'a'}},
      {"abracadabra", {2, 0, 'r', 'd', 'a', 'r', 'c', 'a', 'a', 'a', 'a', 'b', 'b'}},
      {"x", {0, 0, 'x'}},
      {"aaaa", {0, 0, 'a', 'a', 'a', 'a'}},  // one run: index 0
      {"ba", {1, 0, 'b', 'a'}},
  };
  VXBWTEncode enc;
  VXBWTDecode dec;
  ASSERT_TRUE(enc.Create());
  ASSERT_TRUE(dec.Create(100));
  for (const Case& c : cases) {
    const Bytes plain = Text(c.plain);
    Bytes out(plain.size() + 2), back(plain.size());
    ASSERT_TRUE(enc.Encode(plain.data(), out.data(), static_cast<int>(plain.size())));
    EXPECT_EQ(out, c.transformed) << c.plain;
    ASSERT_TRUE(dec.Decode(out.data(), back.data(), static_cast<int>(out.size())));
    EXPECT_EQ(back, plain) << c.plain;
  }
}

TEST(BWT, InvertsPeriodicAndLargeBlocks) {
  VXBWTEncode enc;
  VXBWTDecode dec;
  ASSERT_TRUE(enc.Create());
  ASSERT_TRUE(dec.Create(65536));
  std::vector<Bytes> blocks = {Text("abababababab"), Text("abcabcabcabd"), Mixed(65536, 1), Mixed(32768, 2)};
  Bytes periodic;
  for (int i = 0; i < 65536; ++i) periodic.push_back("xyzzy"[i % 5]);
  blocks.push_back(periodic);
  for (const Bytes& plain : blocks) {
    const int n = static_cast<int>(plain.size());
    Bytes out(plain.size() + 2), back(plain.size());
    ASSERT_TRUE(enc.Encode(plain.data(), out.data(), n));
    ASSERT_TRUE(dec.Decode(out.data(), back.data(), n + 2));
    EXPECT_EQ(back, plain) << n;
  }
  Bytes big(65537), out(65539);
  EXPECT_FALSE(enc.Encode(big.data(), out.data(), 65537));
  EXPECT_FALSE(dec.Create(65537));
  EXPECT_FALSE(dec.Decode(out.data(), big.data(), 2));       // no column
  EXPECT_FALSE(dec.Decode(out.data(), big.data(), 65539));  // larger than created
  const Bytes badIndex = {5, 0, 'a', 'b', 'c', 'd', 'e'};
  EXPECT_FALSE(dec.Decode(badIndex.data(), big.data(), 7));
}

TEST(MTF, KnownOutputAndInverse) {
  Bytes b = Text("bananaaa");
  VXMTFEncode enc;
  VXMTFDecode dec;
  ASSERT_TRUE(enc.Encode(b.data(), 8));
  EXPECT_EQ(b, (Bytes{98, 98, 110, 1, 1, 1, 0, 0}));
  ASSERT_TRUE(dec.Decode(b.data(), 8));
  EXPECT_EQ(b, Text("bananaaa"));
  EXPECT_TRUE(enc.Encode(b.data(), 0));
}

TEST(Cocotte, EveryBlockSizeRoundTripsThroughTheOneDecoder) {
  std::unique_ptr<VXCocotteEncode> encoders[] = {std::make_unique<VXCocotteEncode>(),
                                                 std::make_unique<VXCocotteLEEncode>(),
                                                 std::make_unique<VXCocotteMiniEncode>()};
  const int blockSizes[] = {32768, 8192, 1024};
  for (int e = 0; e < 3; ++e) {
    for (std::size_t n : {1u, 2u, 1023u, 1024u, 1025u, 70000u}) {
      const Bytes plain = Mixed(n, static_cast<unsigned>(n + e));
      const Bytes packed = Pack(*encoders[e], plain);
      std::size_t total = 0;
      for (auto [s, l] : Blocks(packed)) {
        EXPECT_LE(l, blockSizes[e]);
        EXPECT_LE(s, l + 6);
        total += static_cast<std::size_t>(l);
      }
      EXPECT_EQ(total, n);
      bool ok = false;
      EXPECT_EQ(Unpack(packed, static_cast<int>(n), &ok), plain) << e << " " << n;
      EXPECT_TRUE(ok);
    }
  }
}

TEST(Cocotte, EqualBytesShrinkAndNoiseIsStored) {
  VXCocotteEncode enc;
  const Bytes same(1000, 'q');
  const Bytes packed = Pack(enc, same);
  ASSERT_EQ(Blocks(packed).size(), 1u);
  EXPECT_LT(packed.size(), 50u);

  std::mt19937 rng(3);
  Bytes noise(100000);
  for (auto& c : noise) c = static_cast<unsigned char>(rng());
  const Bytes stored = Pack(enc, noise);
  for (auto [s, l] : Blocks(stored)) EXPECT_EQ(s, l + 6);
  EXPECT_EQ(stored.size(), noise.size() + 6 * 4);
  bool ok = false;
  EXPECT_EQ(Unpack(stored, 100000, &ok), noise);
  EXPECT_TRUE(ok);
}

// Stored blocks reset the range model on both sides; coded blocks run it on.
TEST(Cocotte, ModelStaysInStepAcrossStoredAndCodedBlocks) {
  std::mt19937 rng(4);
  Bytes plain;
  for (int i = 0; i < 12; ++i) {
    if (i % 3 == 1)
      for (int k = 0; k < 1024; ++k) plain.push_back(static_cast<unsigned char>(rng()));
    else
      for (int k = 0; k < 1024; ++k) plain.push_back("mostly text, some repeats "[k % 26]);
  }
  VXCocotteMiniEncode enc;
  const Bytes packed = Pack(enc, plain);
  int stored = 0, coded = 0;
  for (auto [s, l] : Blocks(packed)) (s == l + 6 ? stored : coded)++;
  EXPECT_EQ(stored, 4);
  EXPECT_EQ(coded, 8);
  bool ok = false;
  EXPECT_EQ(Unpack(packed, static_cast<int>(plain.size()), &ok), plain);
  EXPECT_TRUE(ok);
}

TEST(Cocotte, DecoderWritesExactlyOutSize) {
  VXCocotteLEEncode enc;
  const Bytes plain = Mixed(20000, 5);
  const Bytes packed = Pack(enc, plain);
  bool ok = false;
  EXPECT_EQ(Unpack(packed, 10000, &ok), Bytes(plain.begin(), plain.begin() + 10000));
  EXPECT_TRUE(ok);
  Unpack(packed, 20001, &ok);
  EXPECT_FALSE(ok);  // input ends first
  EXPECT_TRUE(Unpack({}, 0, &ok).empty());
  EXPECT_TRUE(ok);
  Unpack({}, 1, &ok);
  EXPECT_FALSE(ok);  // nothing cannot stand for something
}

TEST(Cocotte, DamagedBlocksFail) {
  VXCocotteEncode enc;
  const Bytes plain = Mixed(40000, 6);
  const Bytes packed = Pack(enc, plain);
  Bytes longerL = packed;  // a coded payload that decodes to fewer bytes than the header claims
  longerL[2] = static_cast<unsigned char>(longerL[2] + 1);
  ASSERT_LT(Blocks(packed)[0].first, Blocks(packed)[0].second + 6);

  bool ok = false;
  EXPECT_EQ(Unpack(StoredBlock(0, Text("cab")), 3, &ok), Text("abc"));  // the well-formed fixture decodes
  EXPECT_TRUE(ok);
  struct Case {
    const char* what;
    Bytes stream;
    int outSize;
  };
  const Case cases[] = {
      {"primary index equal to L", StoredBlock(3, Text("cab")), 3},
      {"primary index far beyond L", StoredBlock(60000, Text("cab")), 3},
      {"L of 0", StoredBlock(0, {}, 0), 1},
      {"L above 32,768", StoredBlock(0, Text("abc"), 40000, 7), 3},
      {"S below 6", Bytes{5, 0, 1, 0, 0}, 1},
      {"S above L + 6", StoredBlock(0, Text("abc"), 2), 2},
      {"S beyond the input", Bytes(packed.begin(), packed.begin() + 100), 40000},
      {"header cut short", Bytes{9, 0, 3}, 3},
      {"payload shorter than L", longerL, 40000},
      {"truncated stream", Bytes(packed.begin(), packed.end() - 1), 40000},
  };
  for (const Case& c : cases) {
    Unpack(c.stream, c.outSize, &ok);
    EXPECT_FALSE(ok) << c.what;
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    Bytes bad = packed;
    for (int k = 0; k < 2; ++k) bad[rng() % bad.size()] = static_cast<unsigned char>(rng());
    EXPECT_LE(Unpack(bad, 40000, &ok).size(), 40000u);
  }
}

TEST(Cocotte, EncoderRespectsOutSizeAndCallbackFailures) {
  const Bytes plain = Mixed(50000, 8);
  VXCocotteEncode enc;
  const Bytes packed = Pack(enc, plain);
  bool ok = true;
  Pack(enc, plain, static_cast<int>(packed.size()) - 1, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Pack(enc, plain, static_cast<int>(packed.size()), &ok), packed);
  EXPECT_TRUE(ok);
  EXPECT_EQ(enc.resultSize, static_cast<int>(packed.size()));

  VXByteSource shortIn(plain.data(), 100);
  VXByteSink out;
  EXPECT_FALSE(enc.Encode(50000, 100000, shortIn.ReadCallback(), out.WriteCallback(), {}));
  VXByteSource in(plain.data(), plain.size());
  EXPECT_FALSE(enc.Encode(50000, 100000, in.ReadCallback(), {}, {}));
  VXByteSource again(packed.data(), packed.size());
  VXByteSink tiny(100);
  VXCocotteDecode dec;
  EXPECT_FALSE(dec.Decode(static_cast<int>(packed.size()), 50000, again.ReadCallback(), tiny.WriteCallback(), {}));
}

// The coders keep their buffers and tables from call to call: a call must code as a fresh coder does, whatever the
// last one left (a long input, a failed call, a short one).
TEST(Cocotte, ReusedCodersCodeAsFreshOnes) {
  VXCocotteLEEncode enc;
  VXCocotteDecode dec;
  const Bytes inputs[] = {Mixed(70000, 1), Text("block sorting block sorting"), Mixed(5000, 2), Bytes(3000, 'a'),
                          Mixed(40000, 3)};
  for (const Bytes& plain : inputs) {
    bool ok = true;
    Pack(enc, plain, 4, &ok);
    EXPECT_FALSE(ok);
    const Bytes packed = Pack(enc, plain);
    VXCocotteLEEncode fresh;
    EXPECT_EQ(packed, Pack(fresh, plain)) << plain.size();

    ExpectCutFailsThenWholeDecodes(dec, packed, plain);
  }
}

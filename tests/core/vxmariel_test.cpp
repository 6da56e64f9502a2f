#include "core/vxmariel.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/pumpcoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Pack(const Bytes& plain, int outSize = -1, bool* ok = nullptr) {
  VXByteSource in(plain.data(), plain.size());
  VXByteSink out;
  VXMarielEncode enc;
  const bool r = enc.Encode(static_cast<int>(plain.size()), outSize < 0 ? static_cast<int>(plain.size()) * 2 + 16 : outSize,
                            in.ReadCallback(), out.WriteCallback(), {});
  if (ok != nullptr) *ok = r;
  else EXPECT_TRUE(r);
  if (r) {
    EXPECT_EQ(static_cast<std::size_t>(enc.resultSize), out.Bytes().size());
  }
  return out.Bytes();
}

Bytes Unpack(const Bytes& packed, int outSize, bool* ok) {
  VXByteSource in(packed.data(), packed.size());
  VXByteSink out;
  VXMarielDecode dec;
  *ok = dec.Decode(static_cast<int>(packed.size()), outSize, in.ReadCallback(), out.WriteCallback(), {});
  if (*ok) {
    EXPECT_EQ(static_cast<std::size_t>(dec.resultSize), out.Bytes().size());
  }
  return out.Bytes();
}

// One item of a stream as the format lays it out: a literal (length 0) or a match.
struct Item {
  int length;
  int distance;
  unsigned char literal;
  bool operator==(const Item&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const Item& i) {
    return i.length == 0 ? os << "lit " << int(i.literal) : os << "match " << i.length << "@" << i.distance;
  }
};
Item Lit(unsigned char c) { return {0, 0, c}; }
Item Match(int length, int distance) { return {length, distance, 0}; }

// Reads a stream item by item, straight from the layout, to check what the encoder chose.
std::vector<Item> ListItems(const Bytes& s, std::size_t plainSize) {
  std::vector<Item> items;
  std::size_t pos = 0, produced = 0;
  while (produced < plainSize && pos + 4 <= s.size()) {
    std::uint32_t flags = s[pos] | (s[pos + 1] << 8) | (s[pos + 2] << 16) | (std::uint32_t(s[pos + 3]) << 24);
    pos += 4;
    for (int i = 0; i < 32 && produced < plainSize; ++i, flags <<= 1) {
      if (!(flags & 0x80000000u)) {
        items.push_back(Lit(s.at(pos++)));
        ++produced;
        continue;
      }
      const int t = s.at(pos++), h = t >> 4, d = t & 15;
      int length = h + 1;
      if (h == 14) length = s.at(pos++);
      if (h == 15) length = s.at(pos) | (s.at(pos + 1) << 8), pos += 2;
      int distance = d + 1;
      if (d >= 10) distance = (d - 10) * 256 + s.at(pos++);
      items.push_back(Match(length, distance));
      produced += static_cast<std::size_t>(length);
    }
  }
  EXPECT_EQ(pos, s.size());
  return items;
}

// Bytes in which no 2-byte pair repeats and that avoid the given letters, so that no match can be found.
Bytes UniquePairs(std::size_t n, const std::string& avoid = "QZ!") {
  std::set<std::pair<int, int>> seen;
  Bytes b;
  int prev = -1;
  for (int step = 0; b.size() < n; ++step) {
    int c = -1;
    for (int k = 0; k < 256 && c < 0; ++k) {
      const int candidate = (prev + 1 + 7 * k + step) & 0xFF;
      if (avoid.find(static_cast<char>(candidate)) == std::string::npos && !seen.count({prev, candidate})) c = candidate;
    }
    EXPECT_GE(c, 0);
    seen.insert({prev, c});
    b.push_back(static_cast<unsigned char>(c));
    prev = c;
  }
  return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Mixed(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  const std::string words[] = {"pack ", "entry ", "stream ", "coder ", "the ", "of ", "\r\n"};
  Bytes b;
  while (b.size() < n) {
    switch (rng() % 4) {
      case 0: for (int i = 0, k = 1 + rng() % 400; i < k; ++i) b.push_back(static_cast<unsigned char>(rng())); break;
      case 1: b.insert(b.end(), 1 + rng() % 3000, static_cast<unsigned char>(rng())); break;
      default: for (int i = 0, k = 1 + rng() % 200; i < k; ++i) { const auto& w = words[rng() % 7]; b.insert(b.end(), w.begin(), w.end()); }
    }
  }
  b.resize(n);
  return b;
}

}  // namespace

TEST(Mariel, HundredEqualBytesAreOneLiteralAndOneMatch) {
  const Bytes packed = Pack(Bytes(100, 'A'));
  EXPECT_EQ(packed, (Bytes{0x00, 0x00, 0x00, 0x40, 0x41, 0xE0, 0x63}));
  bool ok = false;
  EXPECT_EQ(Unpack(packed, 100, &ok), Bytes(100, 'A'));
  EXPECT_TRUE(ok);
}

// Every token form, laid out by hand: literals, H 0-13 / 14 / 15 lengths, D 0-9 and D 10-15 distances.
TEST(Mariel, DecodesEveryTokenForm) {
  const Bytes stream = {
      0x00, 0x00, 0x00, 0x3E,  // 7 items: two literals, then five matches (bits 29 to 25)
      'x', 'y',
      0xF1, 0x2C, 0x01,        // H 15: length 300, D 1: distance 2
      0x0B, 0x00,              // H 0: length 1, D 11: distance 256
      0xEA, 0x14, 0x0B,        // H 14: length 20, D 10: distance 11
      0x29,                    // H 2: length 3, D 9: distance 10
      0x2F, 0x0A,              // H 2: length 3, D 15: distance 1280 + 10 = 1290 (more than produced: refused)
  };
  Bytes expect;
  for (int i = 0; i < 151; ++i) expect.insert(expect.end(), {'x', 'y'});
  expect.push_back(expect[expect.size() - 256]);
  for (int i = 0; i < 20; ++i) expect.push_back(expect[expect.size() - 11]);
  for (int i = 0; i < 3; ++i) expect.push_back(expect[expect.size() - 10]);
  ASSERT_EQ(expect.size(), 326u);

  bool ok = false;
  const Bytes stopBeforeBadMatch(stream.begin(), stream.end() - 2);
  EXPECT_EQ(Unpack(stopBeforeBadMatch, 326, &ok), expect);
  EXPECT_TRUE(ok);
  Unpack(stream, 329, &ok);
  EXPECT_FALSE(ok);  // the last match reaches before the first byte produced
}

TEST(Mariel, EncoderPicksTheFormsOfTheTables) {
  struct Case {
    const char* what;
    Bytes plain;
    std::vector<Item> items;
  };
  const Bytes f1533 = UniquePairs(1533), f1534 = UniquePairs(1534);
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
  };
  auto literals = [](const Bytes& b) {
    std::vector<Item> v;
    for (unsigned char c : b) v.push_back(Lit(c));
    return v;
  };
  auto items = [](std::initializer_list<std::vector<Item>> parts) {
    std::vector<Item> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
  };
  const Case cases[] = {
      {"two bytes at distance 1,535", join({Text("QZ"), f1533, Text("QZ!")}),
       items({literals(join({Text("QZ"), f1533})), {Match(2, 1535), Lit('!')}})},
      {"distance 1,536 is out of reach", join({Text("QZ"), f1534, Text("QZ!")}),
       literals(join({Text("QZ"), f1534, Text("QZ!")}))},
      {"lengths cap at 8,192", Bytes(20000, 'A'), {Lit('A'), Match(8192, 1), Match(8192, 1), Match(3615, 1)}},
      {"a match never runs past the end", Text("abcabcabcab"), {Lit('a'), Lit('b'), Lit('c'), Match(8, 3)}},
      {"the nearest wins ties", Text("abXabYab"), {Lit('a'), Lit('b'), Lit('X'), Match(2, 3), Lit('Y'), Match(2, 3)}},
  };
  for (const Case& c : cases) {
    const Bytes packed = Pack(c.plain);
    EXPECT_EQ(ListItems(packed, c.plain.size()), c.items) << c.what;
    bool ok = false;
    EXPECT_EQ(Unpack(packed, static_cast<int>(c.plain.size()), &ok), c.plain) << c.what;
    EXPECT_TRUE(ok) << c.what;
  }
}

TEST(Mariel, FullGroupIsFollowedByTheNextFlagWord) {
  const Bytes plain = UniquePairs(33);
  const Bytes packed = Pack(plain);
  ASSERT_EQ(packed.size(), 4u + 32 + 4 + 1);
  EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), Bytes(4, 0));
  EXPECT_EQ(Bytes(packed.begin() + 36, packed.begin() + 40), Bytes(4, 0));  // unused flag bits are 0
}

TEST(Mariel, RoundTripsAcrossBufferRefills) {
  for (std::size_t n : {1u, 2u, 31u, 32u, 33u, 16385u, 70001u, 300000u}) {
    const Bytes plain = Mixed(n, static_cast<unsigned>(n));
    const Bytes packed = Pack(plain);
    bool ok = false;
    EXPECT_EQ(Unpack(packed, static_cast<int>(n), &ok), plain) << n;
    EXPECT_TRUE(ok) << n;
  }
}

TEST(Mariel, DecodingStopsAtOutSize) {
  const Bytes plain = Mixed(5000, 7);
  const Bytes packed = Pack(plain);
  bool ok = false;
  EXPECT_EQ(Unpack(packed, 1234, &ok), Bytes(plain.begin(), plain.begin() + 1234));
  EXPECT_TRUE(ok);
  EXPECT_TRUE(Unpack(packed, 0, &ok).empty());
  EXPECT_TRUE(ok);
}

// A 65,535-byte match is cut at the output size and spans the decoder's buffer refills without overrunning it.
TEST(Mariel, LongMatchesStayInsideTheOutput) {
  const Bytes stream = {0x00, 0x00, 0x00, 0x70, 'a', 0xF0, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF};
  bool ok = false;
  for (int outSize : {1, 2, 40000, 65536, 131072, 196606}) {
    EXPECT_EQ(Unpack(stream, outSize, &ok), Bytes(static_cast<std::size_t>(outSize), 'a')) << outSize;
    EXPECT_TRUE(ok) << outSize;
  }
  Unpack(stream, 196607, &ok);  // one byte more than the stream holds
  EXPECT_FALSE(ok);
}

TEST(Mariel, BrokenStreamsFail) {
  const Bytes plain = Mixed(40000, 8);
  const Bytes packed = Pack(plain);
  struct Case {
    const char* what;
    Bytes stream;
    int outSize;
  };
  const Case cases[] = {
      {"distance before the data", {0x00, 0x00, 0x00, 0x40, 'a', 0x01}, 2},
      {"distance 0", {0x00, 0x00, 0x00, 0x40, 'a', 0x0A, 0x00}, 2},
      {"a match as the first item", {0x00, 0x00, 0x00, 0x80, 0x00}, 1},
      {"flag word cut short", {0x00, 0x00, 0x00}, 1},
      {"extension missing", {0x00, 0x00, 0x00, 0x40, 'a', 0xF0, 0x05}, 3},
      {"input ends before the output size", packed, 40001},
      {"truncated", Bytes(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2)), 40000},
      {"truncated by one byte", Bytes(packed.begin(), packed.end() - 1), 40000},
      {"nothing stands for something", {}, 5},
  };
  for (const Case& c : cases) {
    bool ok = true;
    Unpack(c.stream, c.outSize, &ok);
    EXPECT_FALSE(ok) << c.what;
  }
  std::mt19937 rng(1);
  for (int i = 0; i < 300; ++i) {  // damaged streams: any result, but inside the buffers (ASan) and bounded
    Bytes bad = packed;
    for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] = static_cast<unsigned char>(rng());
    bool ok = false;
    EXPECT_LE(Unpack(bad, 40000, &ok).size(), 40000u);
  }
}

namespace {
struct Pipes {
  int limit = 0;
  int Short(void*, int count) { return count > limit ? limit : count; }
  int Full(void*, int count) { return count; }
  bool Progress(int percent) {
    seen.push_back(percent);
    return true;
  }
  std::vector<int> seen;
};
}  // namespace

TEST(Mariel, CallbackFailuresEndTheCallCleanly) {
  const Bytes plain = Mixed(100000, 9);
  const Bytes packed = Pack(plain);
  Pipes p;
  VXReadCallback shortRead = VXCallback2<Pipes, int, void*, int>(&p, &Pipes::Short);
  VXWriteCallback sink = VXCallback2<Pipes, int, void*, int>(&p, &Pipes::Full);
  VXByteSource in(packed.data(), packed.size());
  VXMarielDecode dec;
  VXMarielEncode enc;
  EXPECT_FALSE(dec.Decode(static_cast<int>(packed.size()), 100000, shortRead, sink, {}));
  EXPECT_FALSE(dec.Decode(static_cast<int>(packed.size()), 100000, {}, sink, {}));              // unbound read
  EXPECT_FALSE(dec.Decode(static_cast<int>(packed.size()), 100000, in.ReadCallback(), {}, {}));  // unbound write
  EXPECT_FALSE(enc.Encode(100000, 200000, shortRead, sink, {}));
  VXByteSource plainIn(plain.data(), plain.size());
  VXByteSink tiny(10);
  EXPECT_FALSE(enc.Encode(100000, 200000, plainIn.ReadCallback(), tiny.WriteCallback(), {}));  // short write

  bool ok = true;
  Pack(plain, 100, &ok);  // the output may not pass outSize
  EXPECT_FALSE(ok);
  EXPECT_EQ(Pack(plain, static_cast<int>(packed.size()), &ok), packed);  // exactly enough room
  EXPECT_TRUE(ok);

  VXByteSource again(packed.data(), packed.size());
  VXByteSink out;
  ASSERT_TRUE(dec.Decode(static_cast<int>(packed.size()), 100000, again.ReadCallback(), out.WriteCallback(),
                         VXCallback1<Pipes, bool, int>(&p, &Pipes::Progress)));
  EXPECT_EQ(out.Bytes(), plain);
  ASSERT_FALSE(p.seen.empty());
  EXPECT_EQ(p.seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(p.seen.begin(), p.seen.end()));
}

// The coders keep their buffers and match tables from call to call: a call must code as a fresh coder does, whatever
// the last one left (a long input, a failed call, a short one).
TEST(Mariel, ReusedCodersCodeAsFreshOnes) {
  VXMarielEncode enc;
  VXMarielDecode dec;
  const Bytes inputs[] = {Mixed(70000, 1), Text("pack entry pack entry"), Mixed(5000, 2), Bytes(3000, 'a'), Mixed(40000, 3)};
  for (const Bytes& plain : inputs) {
    // A failed call in between: output room too small, and a stream cut short.
    VXByteSource small(plain.data(), plain.size());
    VXByteSink none;
    EXPECT_FALSE(enc.Encode(static_cast<int>(plain.size()), 4, small.ReadCallback(), none.WriteCallback(), {}));

    VXByteSource in(plain.data(), plain.size());
    VXByteSink out;
    ASSERT_TRUE(enc.Encode(static_cast<int>(plain.size()), static_cast<int>(plain.size()) * 2 + 16, in.ReadCallback(),
                           out.WriteCallback(), {}));
    EXPECT_EQ(out.Bytes(), Pack(plain)) << plain.size();

    const Bytes& packed = out.Bytes();
    ExpectCutFailsThenWholeDecodes(dec, packed, plain);
  }
}

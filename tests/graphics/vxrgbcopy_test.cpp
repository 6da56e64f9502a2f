#include "graphics/vxrgbcopy.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include <random>
#include <vector>

namespace {

std::uint32_t Load(const unsigned char* p, int w) {
  std::uint32_t v = 0;
  for (int i = 0; i < w; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}

std::vector<unsigned char> Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

constexpr int kPixelBytes[kPixFormatCount] = {0, 2, 2, 2, 2, 3, 4, 4};
constexpr unsigned kGuard = 8;

}  // namespace

TEST(VXRGBCopy, SingleValues) {
  struct Case {
    VXConvertProc f;
    std::uint32_t in, out;
  };
  const Case cases[] = {
      {RGBto16_565, 0x00FFFFFF, 0xFFFF},       {RGBto16_565, 0x00080408, 0x0821},
      {RGBto16_555, 0xFFFFFFFF, 0x7FFF},       {RGBto16_5551, 0xFFFFFFFF, 0x7FFF},
      {RGBto16_4444, 0xFF123456, 0xF135},      {RGBto32_8888, 0x12345678, 0x12345678},
      {RGBfrom16_565, 0xFFFF, 0x00FFFFFF},     {RGBfrom16_565, 0x0821, 0x00080408},
      {RGBfrom16_555, 0x8000, 0x01000000},     {RGBfrom16_555, 0x7FFF, 0x00FFFFFF},
      {RGBfrom16_5551, 0x8000, 0x01000000},    {RGBfrom16_4444, 0x1234, 0x11223344},
      {RGBfrom32_8888, 0xFF123456, 0x00123456}, {RGBfrom32_888, 0xFF123456, 0xFF123456},
  };
  for (const Case& c : cases) EXPECT_EQ(c.f(c.in), c.out) << std::hex << c.in;
  // Every 5- and 6-bit field expands so that 0 stays 0 and the maximum becomes 255.
  for (std::uint32_t p = 0; p < 0x10000; ++p) {
    const std::uint32_t v = RGBfrom16_565(p);
    EXPECT_EQ(RGBto16_565(v), p);
  }
  // Every 16-bit value of every format, against the fields taken from the format's masks: each colour field's top
  // bits repeated below it; the 555 top bit as 0 or 1, the 4444 alpha nibble times 17.
  const VXPixFormat formats[] = {pf16_565, pf16_555, pf16_5551, pf16_4444};
  for (VXPixFormat f : formats) {
    for (std::uint32_t p = 0; p < 0x10000; ++p) {
      std::uint32_t want = 0;
      for (int i = 0; i < 3; ++i) {
        const std::uint32_t mask = _RGBBitMask[f][i];
        const int shift = std::countr_zero(mask), bits = std::popcount(mask);
        const std::uint32_t c = (p & mask) >> shift;
        want |= ((c << (8 - bits)) | (c >> (2 * bits - 8))) << (16 - 8 * i);
      }
      if (f == pf16_4444) want |= (p >> 12) * 17 << 24;
      if (f != pf16_565 && f != pf16_4444) want |= (p >> 15) << 24;
      ASSERT_EQ(_ConvertRGBfromProcTable[f](p), want) << int(f) << " " << std::hex << p;
    }
  }
}

// Each line converter applies the single-value rule to every pixel, writes exactly n pixels and leaves the
// bytes around them alone.
TEST(VXRGBCopy, LineConvertersFollowTheValueRule) {
  for (int f = 1; f < kPixFormatCount; ++f) {
    const int w = kPixelBytes[f];
    const VXConvertProc to = _ConvertRGBtoProcTable[f];
    const VXConvertProc from = _ConvertRGBfromProcTable[f];
    struct Line {
      VXRowCopyProc proc;
      int srcW, dstW;
      std::uint32_t (*expect)(std::uint32_t src, VXConvertProc to, VXConvertProc from, int f);
    };
    const Line lines[] = {
        {_RGBQUADcpyToProcTable[f], 4, w, [](std::uint32_t s, VXConvertProc t, VXConvertProc, int) { return t(s); }},
        {_RGBTRIPLEcpyToProcTable[f], 3, w,
         [](std::uint32_t s, VXConvertProc t, VXConvertProc, int) { return t(s); }},
        {_RGBQUADcpyFromProcTable[f], w, 4,
         [](std::uint32_t s, VXConvertProc, VXConvertProc fr, int fmt) {
           return fmt >= pf32_888 ? s : fmt == pf24_888 ? s & 0xFFFFFF : fr(s);  // 32-bit lines are byte copies
         }},
        {_RGBTRIPLEcpyFromProcTable[f], w, 3,
         [](std::uint32_t s, VXConvertProc, VXConvertProc fr, int) { return fr(s) & 0xFFFFFF; }},
    };
    for (const Line& l : lines) {
      // Every length up to 40 and a few long ones cover the vector steps and their tails; the starts are shifted
      // off any alignment.
      for (unsigned n = 0; n <= 100; n += (n < 40 ? 1 : 29)) {
        const unsigned shift = n % 4, dstAt = kGuard + (n + 1) % 4;
        SCOPED_TRACE(testing::Message() << "format " << f << " n " << n << " " << l.srcW << "->" << l.dstW);
        std::vector<unsigned char> src = Random(n * l.srcW + shift, n + f);
        std::vector<unsigned char> dst = Random(n * l.dstW + 2 * kGuard, n * 3 + f);
        std::vector<unsigned char> want = dst;
        for (unsigned i = 0; i < n; ++i) {
          const std::uint32_t v = l.expect(Load(&src[shift + i * l.srcW], l.srcW), to, from, f);
          for (int b = 0; b < l.dstW; ++b) want[dstAt + i * l.dstW + b] = static_cast<unsigned char>(v >> (8 * b));
        }
        ASSERT_EQ(l.proc(dst.data() + dstAt, src.data() + shift, n), dst.data() + dstAt);
        ASSERT_EQ(dst, want);
      }
    }
  }
}

TEST(VXRGBCopy, ExactLines) {
  const unsigned char triple[3] = {10, 20, 30};
  unsigned char quad[4] = {9, 9, 9, 9};
  RGBTRIPLEcpyTo32_8888(quad, triple, 1);
  const unsigned char want[4] = {10, 20, 30, 0};
  EXPECT_EQ(0, std::memcmp(quad, want, 4));

  const std::uint16_t p4444 = 0x1234;
  RGBQUADcpyFrom16_4444(quad, &p4444, 1);
  const unsigned char want4444[4] = {0x44, 0x33, 0x22, 0x11};
  EXPECT_EQ(0, std::memcmp(quad, want4444, 4));

  RGBQUADcpyFrom24_888(quad, triple, 1);
  EXPECT_EQ(quad[3], 0);
}

TEST(VXRGBCopy, PaletteLines) {
  std::vector<unsigned char> palette(256 * 4);
  for (int i = 0; i < 256; ++i)
    for (int b = 0; b < 4; ++b) palette[i * 4 + b] = static_cast<unsigned char>(i + b * 50);
  const unsigned char idx[3] = {0, 255, 7};
  unsigned char quads[12], triples[10];
  triples[9] = 0xEE;
  RGBQUADcpyFrom8(quads, idx, palette.data(), 3);
  RGBTRIPLEcpyFrom8(triples, idx, palette.data(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(0, std::memcmp(quads + 4 * i, &palette[idx[i] * 4], 4));
    EXPECT_EQ(0, std::memcmp(triples + 3 * i, &palette[idx[i] * 4], 3));
  }
  EXPECT_EQ(triples[9], 0xEE);
}

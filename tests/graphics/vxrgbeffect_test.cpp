#include "graphics/vxrgbeffect.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kPixelBytes[kPixFormatCount] = {1, 2, 2, 2, 2, 3, 4, 4};  // row 0: 8-bit planes
constexpr unsigned kGuard = 8;
constexpr unsigned kMaxPixels = 40;

std::vector<unsigned char> Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

// Alpha planes as character pictures have them: mostly 0 and 255, some soft values.
std::vector<unsigned char> Plane(std::size_t n, unsigned seed) {
  std::vector<unsigned char> v = Random(n, seed);
  for (std::size_t i = 0; i < n; ++i) {
    if (v[i] < 80) v[i] = 0;
    else if (v[i] > 170) v[i] = 255;
  }
  return v;
}

int FloorDiv(int x, int d) { return x >= 0 ? x / d : -((-x + d - 1) / d); }

std::uint32_t Load(const unsigned char* p, int w) {
  std::uint32_t v = 0;
  for (int i = 0; i < w; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}
void Store(unsigned char* p, int w, std::uint32_t v) {
  for (int i = 0; i < w; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Fields of a 16-bit format from its masks; the top bit of 555 is handled like the alpha bit of 5551.
struct Fields {
  std::uint32_t mask[3];
  std::uint32_t alpha;
};
Fields FieldsOf(int f) {
  return {{_RGBBitMask[f][0], _RGBBitMask[f][1], _RGBBitMask[f][2]}, f == pf16_555 ? 0x8000u : _RGBBitMask[f][3]};
}
int Get(std::uint32_t v, std::uint32_t mask) { return static_cast<int>((v & mask) >> std::countr_zero(mask)); }
std::uint32_t Put(int c, std::uint32_t mask) { return static_cast<std::uint32_t>(c) << std::countr_zero(mask); }
int Max(std::uint32_t mask) { return static_cast<int>(mask >> std::countr_zero(mask)); }

int BlendChannel(int c1, int c2, int rate) { return c1 + FloorDiv((c2 - c1) * rate, 128); }

// Reference of one pixel for each operation, straight from the formulas.
std::uint32_t RefBlend(int f, std::uint32_t a, std::uint32_t b, int rate) {
  rate = std::clamp(rate, 0, 128);
  if (kPixelBytes[f] != 2 || f == 0) {
    std::uint32_t out = 0;
    for (int i = 0; i < kPixelBytes[f]; ++i) out |= Put(BlendChannel(Get(a, 0xFFu << 8 * i), Get(b, 0xFFu << 8 * i), rate), 0xFFu << 8 * i);
    return out;
  }
  const Fields fl = FieldsOf(f);
  std::uint32_t out = 0;
  for (std::uint32_t m : fl.mask) out |= Put(BlendChannel(Get(a, m), Get(b, m), rate), m);
  return out;  // alpha cleared
}

std::uint32_t RefHalf(int f, std::uint32_t a, std::uint32_t b) {
  if (kPixelBytes[f] != 2 || f == 0) {
    std::uint32_t out = 0;
    for (int i = 0; i < kPixelBytes[f]; ++i) out |= Put((Get(a, 0xFFu << 8 * i) + Get(b, 0xFFu << 8 * i)) / 2, 0xFFu << 8 * i);
    return out;
  }
  const Fields fl = FieldsOf(f);
  std::uint32_t out = 0;
  for (std::uint32_t m : fl.mask) out |= Put((Get(a, m) + Get(b, m)) / 2, m);
  if (f == pf16_4444) out |= Put((Get(a, fl.alpha) + Get(b, fl.alpha)) / 2, fl.alpha);
  else if (fl.alpha) out |= a & b & fl.alpha;
  return out;
}

std::uint32_t RefSaturate(int f, std::uint32_t d, std::uint32_t s, bool add) {
  auto sat = [&](int x, int y, int max) { return add ? std::min(max, x + y) : std::max(0, x - y); };
  if (kPixelBytes[f] != 2 || f == 0) {
    std::uint32_t out = 0;
    for (int i = 0; i < kPixelBytes[f]; ++i) out |= Put(sat(Get(d, 0xFFu << 8 * i), Get(s, 0xFFu << 8 * i), 255), 0xFFu << 8 * i);
    return out;
  }
  const Fields fl = FieldsOf(f);
  std::uint32_t out = 0;
  for (std::uint32_t m : fl.mask) out |= Put(sat(Get(d, m), Get(s, m), Max(m)), m);
  if (add && fl.alpha) out |= Put((Get(d, fl.alpha) + Get(s, fl.alpha)) % (Max(fl.alpha) + 1), fl.alpha);
  return out;
}

// Every length up to 40 and some longer ones, so that the vector steps (8 or 16 pixels) and their tails are all
// taken.
std::vector<unsigned> Lengths() {
  std::vector<unsigned> n;
  for (unsigned i = 0; i <= kMaxPixels; ++i) n.push_back(i);
  for (unsigned i : {63u, 64u, 65u, 101u, 333u}) n.push_back(i);
  return n;
}

// Two sources and a guarded destination; the sources start `shift` bytes into their buffers, off any alignment.
struct Lines {
  std::vector<unsigned char> a, b, dst;
  unsigned shift = 0;
  unsigned char* A() { return a.data() + shift; }
  unsigned char* B() { return b.data() + shift; }
};
Lines MakeLines(unsigned bytes, unsigned seed, unsigned shift = 0) {
  return {Random(bytes + shift, seed), Random(bytes + shift, seed + 1), Random(bytes + 2 * kGuard, seed + 2), shift};
}

}  // namespace

TEST(VXRGBEffect, RateBlendEveryFormatBothKernels) {
  for (int f = 0; f < kPixFormatCount; ++f) {
    const int w = kPixelBytes[f];
    const VXRGBAlphaProc plain = f == 0 ? RGBAlpha8 : _RGBAlphaProcTable[f];
    const VXRGBAlphaProc mmx = f == 0 ? RGBAlpha8_MMX : _RGBAlphaMMXProcTable[f];
    for (VXRGBAlphaProc proc : {plain, mmx}) {
      for (int rate : {-5, 0, 1, 37, 63, 64, 100, 127, 128, 200}) {
        for (unsigned n : Lengths()) {
          SCOPED_TRACE(testing::Message() << "format " << f << " rate " << rate << " n " << n);
          Lines l = MakeLines(n * w, n + f + rate, n % 3);
          std::vector<unsigned char> want = l.dst;
          for (unsigned i = 0; i < n; ++i)
            Store(&want[kGuard + i * w], w, RefBlend(f, Load(l.A() + i * w, w), Load(l.B() + i * w, w), rate));
          proc(l.dst.data() + kGuard, l.A(), l.B(), n, rate);
          ASSERT_EQ(l.dst, want);
          // In place on the first source.
          std::vector<unsigned char> inPlace = l.a;
          proc(inPlace.data() + l.shift, inPlace.data() + l.shift, l.B(), n, rate);
          ASSERT_TRUE(std::equal(inPlace.begin() + l.shift, inPlace.end(), want.begin() + kGuard));
        }
      }
    }
  }
}

TEST(VXRGBEffect, HalfAddSubEveryFormatBothKernels) {
  for (int f = 0; f < kPixFormatCount; ++f) {
    const int w = kPixelBytes[f];
    const VXRGBHalfProc halves[] = {f == 0 ? RGBHalf8 : _RGBHalfProcTable[f],
                                    f == 0 ? RGBHalf8_MMX : _RGBHalfMMXProcTable[f]};
    const VXRGBAddProc adds[] = {_RGBAddProcTable[f], _RGBAddMMXProcTable[f]};
    const VXRGBAddProc subs[] = {_RGBSubProcTable[f], _RGBSubMMXProcTable[f]};
    for (int k = 0; k < 2; ++k) {
      for (unsigned n : Lengths()) {
        SCOPED_TRACE(testing::Message() << "format " << f << " kernel " << k << " n " << n);
        Lines l = MakeLines(n * w, n * 5 + f, (n + 1) % 3);
        std::vector<unsigned char> want = l.dst;
        for (unsigned i = 0; i < n; ++i)
          Store(&want[kGuard + i * w], w, RefHalf(f, Load(l.A() + i * w, w), Load(l.B() + i * w, w)));
        halves[k](l.dst.data() + kGuard, l.A(), l.B(), n);
        ASSERT_EQ(l.dst, want);

        for (bool add : {true, false}) {
          // In place on a guarded line.
          std::vector<unsigned char> d(n * w + 2 * kGuard, 0xA5);
          std::copy(l.A(), l.A() + n * w, d.begin() + kGuard);
          std::vector<unsigned char> expect = d;
          for (unsigned i = 0; i < n; ++i)
            Store(&expect[kGuard + i * w], w, RefSaturate(f, Load(l.A() + i * w, w), Load(l.B() + i * w, w), add));
          (add ? adds[k] : subs[k])(d.data() + kGuard, l.B(), n);
          ASSERT_EQ(d, expect) << (add ? "add" : "sub");
        }
      }
    }
  }
}

TEST(VXRGBEffect, BlendExactCases) {
  struct Case {
    VXRGBAlphaProc proc;
    int rate;
    std::uint32_t a, b, want;
  };
  const Case cases[] = {
      {RGBAlpha8, 1, 200, 0, 198},   {RGBAlpha8, 1, 0, 200, 1},      {RGBAlpha8_MMX, 1, 200, 0, 198},
      {RGBAlpha8, -3, 10, 90, 10},   {RGBAlpha8, 129, 10, 90, 90},   {RGBAlpha16_5551, 128, 0x1234, 0xFFFF, 0x7FFF},
      {RGBAlpha16_4444, 0, 0xF123, 0x0456, 0x0123},
  };
  for (const Case& c : cases) {
    std::uint32_t out = 0;
    c.proc(&out, &c.a, &c.b, 1, c.rate);
    EXPECT_EQ(out, c.want) << c.rate;
  }
  std::uint16_t x = 0xFFFF, y = 0, r = 0;
  RGBHalf16_565(&r, &x, &y, 1);
  EXPECT_EQ(r, 0x7BEF);
  unsigned char p = 255, q = 0, h = 0;
  RGBHalf8(&h, &p, &q, 1);
  EXPECT_EQ(h, 127);
  unsigned char s1 = 200, s2 = 100;
  RGBAdd8(&s1, &s2, 1);
  EXPECT_EQ(s1, 255);
  s1 = 100;
  s2 = 200;
  RGBSub8_MMX(&s1, &s2, 1);
  EXPECT_EQ(s1, 0);
  std::uint16_t red = 0xF800, more = 0x0800;
  RGBAdd16_565(&red, &more, 1);
  EXPECT_EQ(red, 0xF800);
}

namespace {

enum class Rule { Plain, Packed, Double };

// Reference of a masked blend over a whole line, from the rules: the packed rule covers all but the last pixel of
// an odd line and the last two of an even line.
void RefMasked(unsigned char* d, const unsigned char* s, const unsigned char* plane, unsigned n, int w, Rule rule,
               int factor, bool inChannel) {
  const unsigned packed = n < 2 ? 0 : (n % 2 == 0 ? n - 2 : n - 1);
  for (unsigned i = 0; i < n; ++i) {
    const unsigned a = inChannel ? s[i * w + 3] : plane[i];
    int weight, denom = 128;
    if (rule == Rule::Double) {
      weight = static_cast<int>(a) * std::clamp(factor, 0, 128) / 255;
    } else if (rule == Rule::Packed && i < packed) {
      weight = a == 255 ? 256 : static_cast<int>(a);
      denom = 256;
    } else {
      weight = static_cast<int>((a + 1) / 2);
    }
    for (int c = 0; c < 3; ++c) {
      unsigned char& x = d[i * w + c];
      x = static_cast<unsigned char>(x + FloorDiv((s[i * w + c] - x) * weight, denom));
    }
  }
}

using OutProc = void (*)(void*, const void*, const void*, unsigned);
using InProc = void (*)(void*, const void*, unsigned);
using DoubleOutProc = void (*)(void*, const void*, const void*, unsigned, int);
using DoubleInProc = void (*)(void*, const void*, unsigned, int);

struct MaskedKernel {
  const char* name;
  int w;
  bool in, mirrored;
  Rule rule;
  OutProc out = nullptr;
  InProc inProc = nullptr;
  DoubleOutProc dOut = nullptr;
  DoubleInProc dIn = nullptr;
};

const MaskedKernel kMasked[] = {
    {"OutChannel", 3, false, false, Rule::Plain, RGBAlphaOutChannel},
    {"OutChannel_MMX", 3, false, false, Rule::Packed, RGBAlphaOutChannel_MMX},
    {"OutChannel32", 4, false, false, Rule::Plain, RGBAlphaOutChannel32},
    {"OutChannel32_MMX", 4, false, false, Rule::Packed, RGBAlphaOutChannel32_MMX},
    {"OutChannelR", 3, false, true, Rule::Plain, RGBAlphaOutChannelR},
    {"OutChannelR_MMX", 3, false, true, Rule::Packed, RGBAlphaOutChannelR_MMX},
    {"OutChannelR32", 4, false, true, Rule::Plain, RGBAlphaOutChannelR32},
    {"OutChannelR32_MMX", 4, false, true, Rule::Packed, RGBAlphaOutChannelR32_MMX},
    {"InChannel", 4, true, false, Rule::Plain, nullptr, RGBAlphaInChannel},
    {"InChannel_MMX", 4, true, false, Rule::Packed, nullptr, RGBAlphaInChannel_MMX},
    {"InChannelR", 4, true, true, Rule::Plain, nullptr, RGBAlphaInChannelR},
    {"InChannelR_MMX", 4, true, true, Rule::Packed, nullptr, RGBAlphaInChannelR_MMX},
    {"DoubleOut", 3, false, false, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannel},
    {"DoubleOut_MMX", 3, false, false, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannel_MMX},
    {"DoubleOut32", 4, false, false, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannel32},
    {"DoubleOut32_MMX", 4, false, false, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannel32_MMX},
    {"DoubleOutR", 3, false, true, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannelR},
    {"DoubleOutR_MMX", 3, false, true, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannelR_MMX},
    {"DoubleOutR32", 4, false, true, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannelR32},
    {"DoubleOutR32_MMX", 4, false, true, Rule::Double, nullptr, nullptr, RGBDoubleAlphaOutChannelR32_MMX},
    {"DoubleIn", 4, true, false, Rule::Double, nullptr, nullptr, nullptr, RGBDoubleAlphaInChannel},
    {"DoubleIn_MMX", 4, true, false, Rule::Double, nullptr, nullptr, nullptr, RGBDoubleAlphaInChannel_MMX},
    {"DoubleInR", 4, true, true, Rule::Double, nullptr, nullptr, nullptr, RGBDoubleAlphaInChannelR},
    {"DoubleInR_MMX", 4, true, true, Rule::Double, nullptr, nullptr, nullptr, RGBDoubleAlphaInChannelR_MMX},
};

void RunKernel(const MaskedKernel& k, unsigned char* d, const unsigned char* s, const unsigned char* plane, unsigned n,
         int factor) {
  if (k.out) k.out(d, s, plane, n);
  if (k.inProc) k.inProc(d, s, n);
  if (k.dOut) k.dOut(d, s, plane, n, factor);
  if (k.dIn) k.dIn(d, s, n, factor);
}

}  // namespace

TEST(VXRGBEffect, MaskedKernelsFollowTheirRule) {
  for (const MaskedKernel& k : kMasked) {
    for (int factor : {0, 16, 100, 128, 300}) {
      if (k.rule != Rule::Double && factor != 0) continue;
      for (unsigned n = 0; n <= kMaxPixels; ++n) {
        SCOPED_TRACE(testing::Message() << k.name << " factor " << factor << " n " << n);
        const unsigned w = k.w;
        std::vector<unsigned char> src = Random(n * w, n);
        const std::vector<unsigned char> plane = Plane(n, n + 1);
        if (k.in)
          for (unsigned i = 0; i < n; ++i) src[i * w + 3] = plane[i];
        std::vector<unsigned char> dst = Random(n * w + 2 * kGuard, n + 2);
        std::vector<unsigned char> want = dst;
        RefMasked(want.data() + kGuard, src.data(), plane.data(), n, k.w, k.rule, factor, k.in);
        if (k.mirrored) {
          // Lay the source and plane out reversed and hand the kernel their last pixel.
          std::vector<unsigned char> rsrc(src.size()), rplane(plane.rbegin(), plane.rend());
          for (unsigned i = 0; i < n; ++i) std::memcpy(&rsrc[i * w], &src[(n - 1 - i) * w], w);
          if (n) RunKernel(k, dst.data() + kGuard, &rsrc[(n - 1) * w], &rplane[n - 1], n, factor);
        } else {
          RunKernel(k, dst.data() + kGuard, src.data(), plane.data(), n, factor);
        }
        ASSERT_EQ(dst, want);
      }
    }
  }
}

namespace {

// A plane in runs, as a character picture's rows are: long stretches of 0 and of 255 with soft runs between.
std::vector<unsigned char> RunPlane(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> v;
  while (v.size() < n) {
    const unsigned kind = rng() % 3, length = 1 + rng() % 90;
    for (unsigned i = 0; i < length && v.size() < n; ++i)
      v.push_back(static_cast<unsigned char>(kind == 0 ? 0 : kind == 1 ? 255 : rng()));
  }
  return v;
}

// Runs the kernel on a line of n pixels whose source starts `shift` bytes into its buffer and whose destination
// starts `shift` bytes after the guard, and compares it with the reference.
void CheckLine(const MaskedKernel& k, const std::vector<unsigned char>& plane, unsigned shift, int factor,
               unsigned seed) {
  const unsigned n = static_cast<unsigned>(plane.size()), w = k.w;
  std::vector<unsigned char> src = Random(n * w + shift, seed);
  unsigned char* s = src.data() + shift;
  if (k.in)
    for (unsigned i = 0; i < n; ++i) s[i * w + 3] = plane[i];
  std::vector<unsigned char> dst = Random(n * w + 2 * kGuard + shift, seed + 1);
  std::vector<unsigned char> want = dst;
  RefMasked(want.data() + kGuard + shift, s, plane.data(), n, k.w, k.rule, factor, k.in);
  if (k.mirrored) {
    std::vector<unsigned char> rsrc(src.size()), rplane(plane.rbegin(), plane.rend());
    for (unsigned i = 0; i < n; ++i) std::memcpy(&rsrc[shift + i * w], &s[(n - 1 - i) * w], w);
    if (n) RunKernel(k, dst.data() + kGuard + shift, &rsrc[shift + (n - 1) * w], &rplane[n - 1], n, factor);
  } else {
    RunKernel(k, dst.data() + kGuard + shift, s, plane.data(), n, factor);
  }
  ASSERT_EQ(dst, want);
}

}  // namespace

// Long lines with transparent and opaque stretches take the skips and copies of the vector paths; every start
// offset is tried.
TEST(VXRGBEffect, MaskedKernelsOnLongLinesWithRuns) {
  for (const MaskedKernel& k : kMasked) {
    for (unsigned n : {63u, 64u, 65u, 130u, 333u, 640u}) {
      for (unsigned shift = 0; shift < 4; ++shift) {
        for (int factor : {0, 77, 128}) {
          if (k.rule != Rule::Double && factor != 0) continue;
          SCOPED_TRACE(testing::Message() << k.name << " n " << n << " shift " << shift << " factor " << factor);
          CheckLine(k, RunPlane(n, n + shift), shift, factor, n * 7 + shift);
        }
      }
    }
  }
}

// Every plane value under every factor, so each weight the vector code computes is compared with the table.
TEST(VXRGBEffect, DoubleAlphaEveryValueEveryFactor) {
  std::vector<unsigned char> plane(256);
  for (int a = 0; a < 256; ++a) plane[a] = static_cast<unsigned char>(a);
  for (const MaskedKernel& k : kMasked) {
    if (k.rule == Rule::Double) {
      for (int factor = -1; factor <= 130; ++factor) {
        SCOPED_TRACE(testing::Message() << k.name << " factor " << factor);
        CheckLine(k, plane, 1, factor, factor + 2);
      }
    } else {
      SCOPED_TRACE(k.name);
      CheckLine(k, plane, 2, 0, 3);
    }
  }
}

TEST(VXRGBEffect, MaskedExactCases) {
  // a = 1, d = 0, s = 200: plain 1; packed 0 inside a pair, 1 as the last pixel.
  struct Case {
    OutProc proc;
    unsigned n;
    unsigned pixel;
    unsigned char want;
  };
  const Case cases[] = {{RGBAlphaOutChannel, 4, 0, 1},     {RGBAlphaOutChannel_MMX, 3, 0, 0},
                        {RGBAlphaOutChannel_MMX, 3, 2, 1}, {RGBAlphaOutChannel32_MMX, 8, 1, 0},
                        {RGBAlphaOutChannel32_MMX, 8, 7, 1}};
  for (const Case& c : cases) {
    std::vector<unsigned char> d(c.n * 4, 0), s(c.n * 4, 200), a(c.n, 1);
    c.proc(d.data(), s.data(), a.data(), c.n);
    const int w = c.proc == RGBAlphaOutChannel || c.proc == RGBAlphaOutChannel_MMX ? 3 : 4;
    EXPECT_EQ(d[c.pixel * w], c.want) << c.n << " " << c.pixel;
  }
  // 255 copies the colour bytes, 0 keeps the destination, the fourth byte stays in both forms.
  for (OutProc proc : {RGBAlphaOutChannel32, RGBAlphaOutChannel32_MMX}) {
    std::vector<unsigned char> d(8 * 4, 7), s(8 * 4, 99), a = {255, 255, 0, 0, 255, 0, 255, 255};
    proc(d.data(), s.data(), a.data(), 8);
    for (unsigned i = 0; i < 8; ++i) {
      EXPECT_EQ(d[i * 4], a[i] ? 99 : 7);
      EXPECT_EQ(d[i * 4 + 3], 7);
    }
  }
  EXPECT_EQ(DoubleAlphaWeight(128, 255), 128);
  EXPECT_EQ(DoubleAlphaWeight(128, 128), 64);
  EXPECT_EQ(DoubleAlphaWeight(100, 255), 100);
  EXPECT_EQ(DoubleAlphaWeight(100, 128), 50);
  EXPECT_EQ(DoubleAlphaWeight(-4, 255), 0);
}

TEST(VXRGBEffect, ToneAndGrey) {
  using ToneProc = void (*)(void*, const void*, std::uint32_t, unsigned);
  struct ToneKernel {
    ToneProc proc;
    int w;
    bool writesFourth;
  };
  const ToneKernel kernels[] = {
      {RGBTone24, 3, false}, {RGBTone24_MMX, 3, false}, {RGBTone32, 4, false}, {RGBTone32_MMX, 4, true}};
  for (const ToneKernel& k : kernels) {
    for (std::uint32_t tone : {0x80808080u, 0x000000FFu, 0x40FF2010u, 0xFFFFFFFFu}) {
      for (unsigned n = 0; n <= 100; n += (n < 40 ? 1 : 30)) {
        const unsigned shift = n % 4;
        std::vector<unsigned char> src = Random(n * k.w + shift, n), dst = Random(n * k.w + kGuard + shift, n + 9);
        std::vector<unsigned char> want = dst;
        for (unsigned i = 0; i < n; ++i)
          for (int c = 0; c < (k.writesFourth ? 4 : 3); ++c)
            want[shift + i * k.w + c] =
                static_cast<unsigned char>(std::min(255u, src[shift + i * k.w + c] * ((tone >> 8 * c) & 0xFF) / 128));
        k.proc(dst.data() + shift, src.data() + shift, tone, n);
        ASSERT_EQ(dst, want) << std::hex << tone << " n " << n;
        // In place, as the bitmap tones its own rows.
        std::vector<unsigned char> self = src;
        for (unsigned i = 0; i < n && !k.writesFourth && k.w == 4; ++i)
          want[shift + i * 4 + 3] = src[shift + i * 4 + 3];
        k.proc(self.data() + shift, self.data() + shift, tone, n);
        ASSERT_TRUE(std::equal(self.begin() + shift, self.end(), want.begin() + shift))
            << std::hex << tone << " n " << n;
      }
    }
  }
  unsigned char blue[3] = {100, 50, 50};
  RGBTone24(blue, blue, 0x0000FF, 1);
  EXPECT_EQ(blue[0], 199);
  EXPECT_EQ(blue[1], 0);
  EXPECT_EQ(blue[2], 0);

  unsigned char grey[8] = {10, 20, 31, 77, 255, 255, 254, 1};
  RGBMonochrome32(grey, grey, 2);
  const unsigned char want32[8] = {20, 20, 20, 77, 254, 254, 254, 1};
  EXPECT_EQ(0, std::memcmp(grey, want32, 8));
  unsigned char grey24[4] = {10, 20, 31, 0xEE};
  RGBMonochrome24(grey24, grey24, 1);
  EXPECT_EQ(grey24[0], 20);
  EXPECT_EQ(grey24[3], 0xEE);
}

TEST(VXRGBEffect, AlphaPlaneKernels) {
  using PlaneProc = void (*)(void*, const void*, const int, unsigned);
  struct PlaneKernel {
    PlaneProc plain, mmx;
    int (*ref)(int s, int level);
  };
  const PlaneKernel kernels[] = {
      {RGBExtractAlpha, RGBExtractAlpha_MMX,
       [](int s, int l) {
         const int x = std::min(255, s + l);
         return x >= 240 ? (x - 240) * 17 : 0;
       }},
      {RGBSAddAlpha, RGBSAddAlpha_MMX, [](int s, int l) { return std::min(255, s + l); }},
      {RGBSSubAlpha, RGBSSubAlpha_MMX, [](int s, int l) { return std::max(0, s - l); }},
  };
  for (const PlaneKernel& k : kernels) {
    for (int level : {0, 1, 16, 128, 255, 0x1FF}) {
      for (unsigned n : {0u, 1u, 15u, 16u, 17u, 40u}) {
        std::vector<unsigned char> src = Random(n, n + level);
        std::vector<unsigned char> want(n + kGuard, 0xAB);
        for (unsigned i = 0; i < n; ++i) want[i] = static_cast<unsigned char>(k.ref(src[i], level & 0xFF));
        for (PlaneProc p : {k.plain, k.mmx}) {
          std::vector<unsigned char> dst(n + kGuard, 0xAB);
          p(dst.data(), src.data(), level, n);
          ASSERT_EQ(dst, want) << level << " " << n;
        }
      }
    }
  }
  const unsigned char src[5] = {239, 240, 241, 255, 239};
  unsigned char out[5];
  RGBExtractAlpha(out, src, 0, 4);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 17);
  EXPECT_EQ(out[3], 255);
  RGBExtractAlpha_MMX(out, src + 4, 16, 1);
  EXPECT_EQ(out[0], 255);
}

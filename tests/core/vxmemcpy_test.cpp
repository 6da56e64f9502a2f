#include "core/vxmemcpy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr unsigned kGuard = 16;
constexpr unsigned kMaxPixels = 40;

// A buffer with random guard bytes on both sides; Intact() checks they are untouched.
struct Guarded {
  explicit Guarded(std::size_t bytes, unsigned seed) : data(bytes + 2 * kGuard) {
    std::mt19937 rng(seed);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
  }
  unsigned char* p() { return data.data() + kGuard; }
  std::vector<unsigned char> data;
};

std::uint32_t LoadPixel(const unsigned char* p, int w) {
  std::uint32_t v = 0;
  for (int i = 0; i < w; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}

bool KeyMatches(std::uint32_t pixel, std::uint32_t key, int w) {
  if (w == 1) return pixel == (key & 0xFF);
  if (w == 2) return pixel == (key & 0xFFFF);
  return pixel == key;
}

bool PatternBit(const unsigned char* mask, unsigned bits, unsigned i) {
  const unsigned b = i % bits;
  return (mask[b / 8] >> (7 - b % 8)) & 1;
}

struct Kinds {
  int width;
  VXRowCopyProc reverse;
  VXRowKeyCopyProc key, reverseKey;
  VXRowMaskCopyProc mask, reverseMask;
  VXRowFillProc fill;
};

const Kinds kKinds[] = {
    {1, VXMemcpyR, VXMemcpyK, VXMemcpyRK, VXMemcpyM, VXMemcpyRM, VXMemset},
    {2, VXMemcpy2R, VXMemcpy2K, VXMemcpy2RK, VXMemcpy2M, VXMemcpy2RM, VXMemset2},
    {3, VXMemcpy3R, VXMemcpy3K, VXMemcpy3RK, VXMemcpy3M, VXMemcpy3RM, VXMemset3},
    {4, VXMemcpy4R, VXMemcpy4K, VXMemcpy4RK, VXMemcpy4M, VXMemcpy4RM, VXMemset4},
};

// Runs `kernel` on a destination with guards and compares it with `reference` run on a copy.
template <class K, class R>
void Differential(int w, unsigned n, unsigned seed, K kernel, R reference) {
  const std::size_t bytes = std::size_t{n} * w;
  Guarded src(bytes, seed), dst(bytes, seed + 1);
  Guarded expected = dst;
  void* r = kernel(dst.p(), src.p());
  EXPECT_EQ(r, dst.p());
  reference(expected.p(), src.p());
  ASSERT_EQ(dst.data, expected.data) << "width " << w << " n " << n;
}

}  // namespace

TEST(VXMemcpy, EveryKindAndWidthMatchesPlainLoop) {
  const unsigned char pattern[3] = {0xB5, 0x3C, 0xE1};
  for (const Kinds& k : kKinds) {
    const int w = k.width;
    for (unsigned n = 0; n <= kMaxPixels; ++n) {
      SCOPED_TRACE(testing::Message() << "width " << w << " n " << n);
      const unsigned seed = n * 7 + w;
      Differential(w, n, seed, [&](void* d, const void* s) { return k.reverse(d, s, n); },
                   [&](unsigned char* d, const unsigned char* s) {
                     for (unsigned i = 0; i < n; ++i) std::memcpy(d + i * w, s + (n - 1 - i) * w, w);
                   });
      // Use a key taken from the source so that some pixels match; width 3 also with a too-wide key.
      Guarded probe(std::size_t{n} * w, seed);
      const std::uint32_t keys[] = {n ? LoadPixel(probe.p() + (n / 2) * w, w) : 0u,
                                    n ? LoadPixel(probe.p(), w) | 0xFF000000u : 0xFF000000u};
      for (std::uint32_t key : keys) {
        Differential(w, n, seed, [&](void* d, const void* s) { return k.key(d, s, n, key); },
                     [&](unsigned char* d, const unsigned char* s) {
                       for (unsigned i = 0; i < n; ++i)
                         if (!KeyMatches(LoadPixel(s + i * w, w), key, w)) std::memcpy(d + i * w, s + i * w, w);
                     });
        Differential(w, n, seed, [&](void* d, const void* s) { return k.reverseKey(d, s, n, key); },
                     [&](unsigned char* d, const unsigned char* s) {
                       for (unsigned i = 0; i < n; ++i) {
                         const unsigned char* sp = s + (n - 1 - i) * w;
                         if (!KeyMatches(LoadPixel(sp, w), key, w)) std::memcpy(d + i * w, sp, w);
                       }
                     });
      }
      for (unsigned bits : {0u, 1u, 3u, 7u, 8u, 9u, 16u, 19u, 24u}) {
        Differential(w, n, seed, [&](void* d, const void* s) { return k.mask(d, s, n, pattern, bits); },
                     [&](unsigned char* d, const unsigned char* s) {
                       for (unsigned i = 0; bits && i < n; ++i)
                         if (PatternBit(pattern, bits, i)) std::memcpy(d + i * w, s + i * w, w);
                     });
        Differential(w, n, seed, [&](void* d, const void* s) { return k.reverseMask(d, s, n, pattern, bits); },
                     [&](unsigned char* d, const unsigned char* s) {
                       for (unsigned i = 0; bits && i < n; ++i)
                         if (PatternBit(pattern, bits, i)) std::memcpy(d + (n - 1 - i) * w, s + i * w, w);
                     });
      }
      const std::uint32_t value = w == 3 ? 0x00A1B2C3u : 0xD4A1B2C3u;
      Differential(w, n, seed, [&](void* d, const void*) { return k.fill(d, value, n); },
                   [&](unsigned char* d, const unsigned char*) {
                     for (unsigned i = 0; i < n; ++i)
                       for (int b = 0; b < w; ++b) d[i * w + b] = static_cast<unsigned char>(value >> (8 * b));
                   });
    }
  }
}

TEST(VXMemcpy, BlockCopiesMatchPlainLoop) {
  for (unsigned n = 0; n <= 80; ++n) {
    for (VXRowCopyProc copy : {VXMemcpy, VXMemcpyS, VXMemcpyB}) {
      Differential(1, n, n, [&](void* d, const void* s) { return copy(d, s, n); },
                   [&](unsigned char* d, const unsigned char* s) {
                     for (unsigned i = 0; i < n; ++i) d[i] = s[i];
                   });
    }
  }
}

// Rows of pictures take the vector copy, whole pictures in one run the C library's or (beyond the cache) the vector
// copy again: lengths around each step, from every start offset of both sides.
TEST(VXMemcpy, LongBlockCopiesFromEveryOffset) {
  for (unsigned n : {255u, 256u, 257u, 271u, 320u, 1279u, 1280u, 2561u, 65535u, 65536u, 65537u, 4100000u}) {
    for (unsigned offset = 0; offset < 16; ++offset) {
      Guarded src(n + 16, n + offset), dst(n + 16, n * 3 + offset);
      Guarded expected = dst;
      std::memcpy(expected.p() + offset, src.p() + 15 - offset, n);
      for (VXRowCopyProc copy : {VXMemcpy, VXMemcpyS}) {
        Guarded d = dst;
        EXPECT_EQ(copy(d.p() + offset, src.p() + 15 - offset, n), d.p() + offset);
        ASSERT_EQ(d.data, expected.data) << n << " " << offset;
      }
    }
  }
}

TEST(VXMemcpy, BackwardCopyInsideOneBlock) {
  for (unsigned n : {1u, 31u, 64u, 100u}) {
    Guarded buf(n + 1, n);
    std::vector<unsigned char> expected(buf.data);
    std::memcpy(expected.data() + kGuard + 1, std::vector<unsigned char>(buf.p(), buf.p() + n).data(), n);
    VXMemcpyB(buf.p() + 1, buf.p(), n);
    EXPECT_EQ(buf.data, expected) << n;
  }
}

TEST(VXMemcpy, ExactCases) {
  // Mirrored 3-byte pixels keep their byte order.
  const unsigned char xyz[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  unsigned char out[9] = {};
  VXMemcpy3R(out, xyz, 3);
  const unsigned char zyx[9] = {7, 8, 9, 4, 5, 6, 1, 2, 3};
  EXPECT_EQ(0, std::memcmp(out, zyx, 9));

  // A 565 key leaves the destination under it.
  const std::uint16_t src16[3] = {0xF81F, 0x1234, 0xF81F};
  std::uint16_t dst16[3] = {7, 7, 7};
  VXMemcpy2K(dst16, src16, 3, 0xF81F);
  EXPECT_EQ(dst16[0], 7);
  EXPECT_EQ(dst16[1], 0x1234);
  EXPECT_EQ(dst16[2], 7);

  // Pattern 0xAA over 8 bits copies the even pixels; 3 bits of 0xA0 copy 0, 2, 3, 5, 6, 8 ...
  struct PatternCase {
    unsigned char mask;
    unsigned bits;
    const char* copied;
  };
  const PatternCase patterns[] = {{0xAA, 8, "x.x.x.x.x.x.x.x."}, {0xA0, 3, "x.xx.xx.xx.xx.xx"}};
  for (const PatternCase& c : patterns) {
    unsigned char s[16], d[16] = {};
    std::memset(s, 'x', 16);
    VXMemcpyM(d, s, 16, &c.mask, c.bits);
    for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(d[i] == 'x', c.copied[i] == 'x') << i;
  }

  // The 24-bit fill stores the value low byte first.
  unsigned char fill[7];
  std::memset(fill, 0xEE, sizeof fill);
  VXMemset3(fill, 0x00112233u, 2);
  const unsigned char filled[7] = {0x33, 0x22, 0x11, 0x33, 0x22, 0x11, 0xEE};
  EXPECT_EQ(0, std::memcmp(fill, filled, 7));
}

// A pattern of no bits copies nothing (it must not read the pattern nor loop forever).
TEST(VXMemcpy, ZeroBitPatternCopiesNothing) {
  unsigned char s[8] = {1, 2, 3, 4, 5, 6, 7, 8}, d[8] = {};
  VXMemcpy4M(d, s, 2, nullptr, 0);
  VXMemcpy2RM(d, s, 4, nullptr, 0);
  for (unsigned char b : d) EXPECT_EQ(b, 0);
}

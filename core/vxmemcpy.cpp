#include "core/vxmemcpy.h"

#include <cstddef>
#include <cstring>

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The kernels are written once per pixel width as plain loops over fixed-size pixels; the compiler turns the
// fixed-size copies into single loads and stores and vectorises the simple loops.
namespace {

using Byte = unsigned char;

template <int W>
std::uint32_t Load(const Byte* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < W; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  return v;
}

template <int W>
void Store(Byte* p, std::uint32_t v) {
  for (int i = 0; i < W; ++i) p[i] = static_cast<Byte>(v >> (8 * i));
}

template <int W>
void Move(Byte* d, const Byte* s) {
  std::memcpy(d, s, W);
}

// The key as the pixel would hold it; width 3 keeps every bit so that a key above 24 bits never matches.
template <int W>
std::uint32_t KeyOf(std::uint32_t key) {
  if constexpr (W == 1) return key & 0xFFu;
  if constexpr (W == 2) return key & 0xFFFFu;
  return key;
}

template <int W>
void* Reverse(void* dst, const void* src, unsigned int n) {
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src) + std::size_t{n} * W;
  for (unsigned int i = 0; i < n; ++i) {
    s -= W;
    Move<W>(d, s);
    d += W;
  }
  return dst;
}

template <int W>
void* KeyCopy(void* dst, const void* src, unsigned int n, std::uint32_t key) {
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src);
  const std::uint32_t k = KeyOf<W>(key);
  for (unsigned int i = 0; i < n; ++i, d += W, s += W) {
    if (Load<W>(s) != k) Move<W>(d, s);
  }
  return dst;
}

template <int W>
void* ReverseKeyCopy(void* dst, const void* src, unsigned int n, std::uint32_t key) {
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src) + std::size_t{n} * W;
  const std::uint32_t k = KeyOf<W>(key);
  for (unsigned int i = 0; i < n; ++i, d += W) {
    s -= W;
    if (Load<W>(s) != k) Move<W>(d, s);
  }
  return dst;
}

// Walks the repeating pattern: calls copy(i) for every source pixel i whose pattern bit is set.
template <class F>
void WalkPattern(unsigned int n, const void* mask, unsigned int bits, F copy) {
  if (bits == 0) return;
  const Byte* m = static_cast<const Byte*>(mask);
  unsigned int bit = 0;
  for (unsigned int i = 0; i < n; ++i) {
    if ((m[bit >> 3] >> (7 - (bit & 7))) & 1u) copy(i);
    if (++bit == bits) bit = 0;
  }
}

template <int W>
void* MaskCopy(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src);
  WalkPattern(n, mask, bits, [&](unsigned int i) { Move<W>(d + std::size_t{i} * W, s + std::size_t{i} * W); });
  return dst;
}

template <int W>
void* ReverseMaskCopy(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src);
  WalkPattern(n, mask, bits,
              [&](unsigned int i) { Move<W>(d + std::size_t{n - 1 - i} * W, s + std::size_t{i} * W); });
  return dst;
}

template <int W>
void* Fill(void* dst, std::uint32_t value, unsigned int n) {
  Byte* d = static_cast<Byte*>(dst);
  if constexpr (W == 3) {
    // Twelve bytes hold four whole pixels: build them once and store them as three words.
    Byte block[12];
    for (int i = 0; i < 4; ++i) Store<3>(block + 3 * i, value);
    unsigned int i = 0;
    for (; i + 4 <= n; i += 4, d += 12) std::memcpy(d, block, 12);
    for (; i < n; ++i, d += 3) Store<3>(d, value);
  } else {
    for (unsigned int i = 0; i < n; ++i, d += W) Store<W>(d, value);
  }
  return dst;
}

#if defined(__SSE2__)
// Rows of pictures are a few kilobytes: a plain vector loop moves them at least as fast as the C library's copy,
// which on some processors takes a string instruction with a slow start for these sizes. The stores are aligned:
// one unaligned store covers the bytes before the first aligned one, another the bytes after the last (n >= 16).
void CopyVectors(Byte* d, const Byte* s, std::size_t n) {
  auto load = [](const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  auto store = [](Byte* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); };
  std::size_t i = (16 - (reinterpret_cast<std::uintptr_t>(d) & 15)) & 15;
  if (i != 0) _mm_storeu_si128(reinterpret_cast<__m128i*>(d), load(s));
  for (; i + 64 <= n; i += 64) {
    const __m128i v0 = load(s + i), v1 = load(s + i + 16), v2 = load(s + i + 32), v3 = load(s + i + 48);
    store(d + i, v0), store(d + i + 16, v1), store(d + i + 32, v2), store(d + i + 48, v3);
  }
  for (; i + 16 <= n; i += 16) store(d + i, load(s + i));
  if (i < n) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), load(s + n - 16));
}
#endif

// A long run no larger than the second-level cache goes to the C library, which moves it faster than the vector
// loop (measured on whole 16- and 24-bit pictures); longer runs, which stream through memory, are faster with the
// loop's aligned stores.
std::size_t LibraryCopyLimit() {
  const long l2 = sysconf(_SC_LEVEL2_CACHE_SIZE);
  return l2 > 0 ? static_cast<std::size_t>(l2) : std::size_t{1024} * 1024;
}
const std::size_t kLibraryCopyLimit = LibraryCopyLimit();
constexpr std::size_t kLibraryCopyFrom = 64 * 1024;

void* Copy(void* dst, const void* src, unsigned int n) {
#if defined(__SSE2__)
  if (n >= 256 && (n < kLibraryCopyFrom || n > kLibraryCopyLimit)) {
    CopyVectors(static_cast<Byte*>(dst), static_cast<const Byte*>(src), n);
    return dst;
  }
#endif
  return n ? std::memcpy(dst, src, n) : dst;
}

}  // namespace

void* VXMemcpy(void* dst, const void* src, unsigned int n) { return Copy(dst, src, n); }
void* VXMemcpyS(void* dst, const void* src, unsigned int n) { return Copy(dst, src, n); }
void* VXMemcpyB(void* dst, const void* src, unsigned int n) { return n ? std::memmove(dst, src, n) : dst; }

void* VXMemcpyR(void* dst, const void* src, unsigned int n) { return Reverse<1>(dst, src, n); }
void* VXMemcpy2R(void* dst, const void* src, unsigned int n) { return Reverse<2>(dst, src, n); }
void* VXMemcpy3R(void* dst, const void* src, unsigned int n) { return Reverse<3>(dst, src, n); }
void* VXMemcpy4R(void* dst, const void* src, unsigned int n) { return Reverse<4>(dst, src, n); }

void* VXMemcpyK(void* dst, const void* src, unsigned int n, std::uint32_t key) { return KeyCopy<1>(dst, src, n, key); }
void* VXMemcpy2K(void* dst, const void* src, unsigned int n, std::uint32_t key) { return KeyCopy<2>(dst, src, n, key); }
void* VXMemcpy3K(void* dst, const void* src, unsigned int n, std::uint32_t key) { return KeyCopy<3>(dst, src, n, key); }
void* VXMemcpy4K(void* dst, const void* src, unsigned int n, std::uint32_t key) { return KeyCopy<4>(dst, src, n, key); }

void* VXMemcpyRK(void* dst, const void* src, unsigned int n, std::uint32_t key) {
  return ReverseKeyCopy<1>(dst, src, n, key);
}
void* VXMemcpy2RK(void* dst, const void* src, unsigned int n, std::uint32_t key) {
  return ReverseKeyCopy<2>(dst, src, n, key);
}
void* VXMemcpy3RK(void* dst, const void* src, unsigned int n, std::uint32_t key) {
  return ReverseKeyCopy<3>(dst, src, n, key);
}
void* VXMemcpy4RK(void* dst, const void* src, unsigned int n, std::uint32_t key) {
  return ReverseKeyCopy<4>(dst, src, n, key);
}

void* VXMemcpyM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return MaskCopy<1>(dst, src, n, mask, bits);
}
void* VXMemcpy2M(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return MaskCopy<2>(dst, src, n, mask, bits);
}
void* VXMemcpy3M(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return MaskCopy<3>(dst, src, n, mask, bits);
}
void* VXMemcpy4M(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return MaskCopy<4>(dst, src, n, mask, bits);
}

void* VXMemcpyRM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return ReverseMaskCopy<1>(dst, src, n, mask, bits);
}
void* VXMemcpy2RM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return ReverseMaskCopy<2>(dst, src, n, mask, bits);
}
void* VXMemcpy3RM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return ReverseMaskCopy<3>(dst, src, n, mask, bits);
}
void* VXMemcpy4RM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits) {
  return ReverseMaskCopy<4>(dst, src, n, mask, bits);
}

void* VXMemset(void* dst, std::uint32_t value, unsigned int n) { return Fill<1>(dst, value, n); }
void* VXMemset2(void* dst, std::uint32_t value, unsigned int n) { return Fill<2>(dst, value, n); }
void* VXMemset3(void* dst, std::uint32_t value, unsigned int n) { return Fill<3>(dst, value, n); }
void* VXMemset4(void* dst, std::uint32_t value, unsigned int n) { return Fill<4>(dst, value, n); }

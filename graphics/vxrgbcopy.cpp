#include "graphics/vxrgbcopy.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using Byte = unsigned char;

// One line: read SrcW little-endian bytes per pixel, convert, write DstW bytes. The fixed widths let the compiler
// use whole-word loads and stores; 3-byte destinations are written three bytes at a time, never past 3n.
template <int SrcW, int DstW, std::uint32_t (*Convert)(std::uint32_t)>
void* Line(void* dst, const void* src, unsigned int n) {
  auto* d = static_cast<unsigned char*>(dst);
  auto* s = static_cast<const unsigned char*>(src);
  for (unsigned int i = 0; i < n; ++i, s += SrcW, d += DstW) {
    std::uint32_t v = 0;
    for (int b = 0; b < SrcW; ++b) v |= std::uint32_t{s[b]} << (8 * b);
    v = Convert(v);
    for (int b = 0; b < DstW; ++b) d[b] = static_cast<unsigned char>(v >> (8 * b));
  }
  return dst;
}

template <int W>
void* ByteCopy(void* dst, const void* src, unsigned int n) {
  return VXMemcpy(dst, src, n * W);
}

// A 16-bit format as the fields of a 0xAARRGGBB value: field i is (v >> shift[i]) & mask[i], the fields ORed.
// Where red and blue both keep their top five bits and red ends at bit 15, `lift` is how far the green field
// sits below its place in 0xAARRGGBB: vectors then build the value shifted up by `lift`, red and blue placed by one
// multiply-add.
struct Pack16 {
  int shift[4];
  std::uint32_t mask[4];
  int lift;
};
constexpr Pack16 kTo565{{8, 5, 3, 0}, {0xF800, 0x07E0, 0x001F, 0}, 5};
constexpr Pack16 kTo555{{9, 6, 3, 0}, {0x7C00, 0x03E0, 0x001F, 0}, 6};
constexpr Pack16 kTo4444{{16, 12, 8, 4}, {0xF000, 0x0F00, 0x00F0, 0x000F}, 0};

// The other way, a 16-bit format's fields widened into 0xAARRGGBB: field i is bits[i] wide at shift[i] in the
// pixel and lands in the byte at bit place[i], its top bits repeated below it; a one-bit field stays 0 or 1. A
// width of 0 is no field.
struct Unpack16 {
  int shift[4], bits[4], place[4];
};
constexpr Unpack16 kFrom565{{11, 5, 0, 0}, {5, 6, 5, 0}, {16, 8, 0, 0}};
constexpr Unpack16 kFrom555{{10, 5, 0, 15}, {5, 5, 5, 1}, {16, 8, 0, 24}};
constexpr Unpack16 kFrom4444{{8, 4, 0, 12}, {4, 4, 4, 4}, {16, 8, 0, 24}};

constexpr std::uint32_t Unpacked16(const Unpack16& u, std::uint32_t p) {
  std::uint32_t out = 0;
  for (int i = 0; i < 4; ++i) {
    const int b = u.bits[i];
    if (b == 0) continue;
    const std::uint32_t c = (p >> u.shift[i]) & ((1u << b) - 1);
    out |= (b == 1 ? c : c << (8 - b) | c >> (2 * b - 8)) << u.place[i];
  }
  return out;
}

#if defined(__SSE2__)
// Sixteen pixels per step, held as four vectors of four 32-bit lanes 0xAARRGGBB: 3-byte pixels come in with A = 0,
// 16-bit pixels through Widened8. Each width is loaded and stored in whole 16-byte moves that cover exactly the 16
// pixels (48 bytes for 3-byte pixels), so nothing outside the line is touched.
using Quads = __m128i[4];

__m128i LoadU(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void StoreU(Byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Twelve packed bytes B, G, R, B, ... at the bottom of v become four lanes B, G, R, 0.
__m128i Spread3(__m128i v) {
  const __m128i lane = _mm_setr_epi32(0x00FFFFFF, 0, 0, 0);
  const __m128i p0 = _mm_and_si128(v, lane);
  const __m128i p1 = _mm_and_si128(_mm_slli_si128(v, 1), _mm_slli_si128(lane, 4));
  const __m128i p2 = _mm_and_si128(_mm_slli_si128(v, 2), _mm_slli_si128(lane, 8));
  const __m128i p3 = _mm_and_si128(_mm_slli_si128(v, 3), _mm_slli_si128(lane, 12));
  return _mm_or_si128(_mm_or_si128(p0, p1), _mm_or_si128(p2, p3));
}

// The inverse: four lanes B, G, R, x become twelve packed bytes at the bottom, the top four bytes 0.
__m128i Squeeze3(__m128i v) {
  const __m128i lane = _mm_setr_epi32(0x00FFFFFF, 0, 0, 0);
  const __m128i p0 = _mm_and_si128(v, lane);
  const __m128i p1 = _mm_srli_si128(_mm_and_si128(v, _mm_slli_si128(lane, 4)), 1);
  const __m128i p2 = _mm_srli_si128(_mm_and_si128(v, _mm_slli_si128(lane, 8)), 2);
  const __m128i p3 = _mm_srli_si128(_mm_and_si128(v, _mm_slli_si128(lane, 12)), 3);
  return _mm_or_si128(_mm_or_si128(p0, p1), _mm_or_si128(p2, p3));
}

// The 16-bit value of a 32-bit lane whose bits 15..31 are all equal (the value sign-extended), so the signed pack
// keeps its bits.
__m128i SignExtend16(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }

// Always inlined: a call per 16 pixels costs more than the move.
template <int W>
[[gnu::always_inline]] inline void Load16(const Byte* s, Quads p) {
  static_assert(W == 3 || W == 4, "16-bit pixels are widened by Widened8");
  if constexpr (W == 4) {
    for (int k = 0; k < 4; ++k) p[k] = LoadU(s + 16 * k);
  } else if constexpr (W == 3) {
    const __m128i v0 = LoadU(s), v1 = LoadU(s + 16), v2 = LoadU(s + 32);
    p[0] = Spread3(v0);
    p[1] = Spread3(_mm_or_si128(_mm_srli_si128(v0, 12), _mm_slli_si128(v1, 4)));
    p[2] = Spread3(_mm_or_si128(_mm_srli_si128(v1, 8), _mm_slli_si128(v2, 8)));
    p[3] = Spread3(_mm_srli_si128(v2, 4));
  }
}

template <int W>
[[gnu::always_inline]] inline void Store16(Byte* d, const Quads p) {
  if constexpr (W == 4) {
    for (int k = 0; k < 4; ++k) StoreU(d + 16 * k, p[k]);
  } else if constexpr (W == 3) {
    const __m128i q0 = Squeeze3(p[0]), q1 = Squeeze3(p[1]), q2 = Squeeze3(p[2]), q3 = Squeeze3(p[3]);
    StoreU(d, _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
    StoreU(d + 16, _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
    StoreU(d + 32, _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
  } else {
    StoreU(d, _mm_packs_epi32(p[0], p[1]));
    StoreU(d + 16, _mm_packs_epi32(p[2], p[3]));
  }
}

// Every field of the format from four 0xAARRGGBB lanes, sign-extended from bit 15 for the pack.
template <const Pack16* F>
__m128i Pixels4(__m128i v) {
  if constexpr (F->lift != 0) {
    // Red and blue multiplied into place, green masked in place; one shift pair brings the value down and
    // sign-extends it.
    const __m128i redBlue = _mm_and_si128(v, _mm_set1_epi32(0x00F800F8));
    const __m128i placed = _mm_madd_epi16(redBlue, _mm_set1_epi32(1 << 29 | 1 << (F->lift - 3)));
    const __m128i green = _mm_and_si128(v, _mm_set1_epi32(static_cast<int>(F->mask[1] << F->lift)));
    return _mm_srai_epi32(_mm_slli_epi32(_mm_or_si128(placed, green), 16 - F->lift), 16);
  } else {
    __m128i out = _mm_setzero_si128();
    for (int f = 0; f < 4; ++f)
      if (F->mask[f] != 0) {
        const __m128i mask = _mm_set1_epi32(static_cast<int>(F->mask[f]));
        out = _mm_or_si128(out, _mm_and_si128(_mm_srli_epi32(v, F->shift[f]), mask));
      }
    return SignExtend16(out);
  }
}

// Eight 16-bit pixels widened into two vectors of 0xAARRGGBB lanes (pixels 0-3, 4-7). Each field is shifted to
// the top of its 16-bit lane and multiplied (high half) by 2^8 + 2^(8 - bits): for a field c of `bits` bits that
// is floor(c x (2^bits + 1) x 2^(8 - bits) / 2^bits), c with its top bits repeated below it; a one-bit field
// (multiplier 2) stays c.
template <const Unpack16* U>
[[gnu::always_inline]] inline void Widened8(__m128i v, __m128i& low, __m128i& high) {
  __m128i bytes[4] = {};  // the widened field of each place: blue, green, red, alpha
  for (int i = 0; i < 4; ++i) {
    const int b = U->bits[i];
    if (b == 0) continue;
    const int up = 16 - U->shift[i] - b;
    const __m128i top = _mm_and_si128(_mm_slli_epi16(v, up), _mm_set1_epi16(static_cast<short>(((1 << b) - 1) << (16 - b))));
    bytes[U->place[i] / 8] = _mm_mulhi_epu16(top, _mm_set1_epi16(static_cast<short>(b == 1 ? 2 : 256 + (256 >> b))));
  }
  const __m128i greenBlue = _mm_or_si128(bytes[0], _mm_slli_epi16(bytes[1], 8));
  const __m128i alphaRed = _mm_or_si128(bytes[2], _mm_slli_epi16(bytes[3], 8));
  low = _mm_unpacklo_epi16(greenBlue, alphaRed);
  high = _mm_unpackhi_epi16(greenBlue, alphaRed);
}
#endif

constexpr std::uint32_t Packed16(const Pack16& f, std::uint32_t v) {
  std::uint32_t out = 0;
  for (int i = 0; i < 4; ++i) out |= (v >> f.shift[i]) & f.mask[i];
  return out;
}

// What a line does to each pixel, for four lanes at once and for one value: pack into a 16-bit format, widen out
// of one, or (Same) nothing, for lines between 3- and 4-byte pixels.
template <const Pack16* F>
struct PackTo {
#if defined(__SSE2__)
  static __m128i Lanes(__m128i v) { return Pixels4<F>(v); }
#endif
  static std::uint32_t Value(std::uint32_t v) { return Packed16(*F, v); }
};
template <const Unpack16* U>
struct WidenFrom {
#if defined(__SSE2__)
  static void Lanes8(__m128i v, __m128i& low, __m128i& high) { Widened8<U>(v, low, high); }
#endif
  static std::uint32_t Value(std::uint32_t v) { return Unpacked16(*U, v); }
};
struct Same {
#if defined(__SSE2__)
  static __m128i Lanes(__m128i v) { return v; }
#endif
  static std::uint32_t Value(std::uint32_t v) { return v; }
};

// A line through a pixel mapping: whole 16-pixel steps in vectors where the processor has them, the rest pixel by
// pixel.
template <int SrcW, int DstW, class Map = Same>
void* Repack(void* dst, const void* src, unsigned int n) {
  auto* d = static_cast<Byte*>(dst);
  auto* s = static_cast<const Byte*>(src);
  unsigned int i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16, s += 16 * SrcW, d += 16 * DstW) {
    Quads p;
    if constexpr (SrcW == 2) {
      Map::Lanes8(LoadU(s), p[0], p[1]);
      Map::Lanes8(LoadU(s + 16), p[2], p[3]);
    } else {
      Load16<SrcW>(s, p);
      for (__m128i& v : p) v = Map::Lanes(v);
    }
    Store16<DstW>(d, p);
  }
#endif
  Line<SrcW, DstW, Map::Value>(d, s, n - i);
  return dst;
}

#if defined(__x86_64__)
// 32-bit pixels to 565 with 32-byte vectors where the processor has them: the same packing as Pixels4, eight pixels
// a vector; the in-lane pack leaves the halves as 0, 2, 1, 3, put back in order by one permute.
[[gnu::target("avx2")]] void* QuadsTo565Wide(void* dst, const void* src, unsigned int n) {
  auto* d = static_cast<Byte*>(dst);
  auto* s = static_cast<const Byte*>(src);
  const __m256i redBlueMask = _mm256_set1_epi32(0x00F800F8);
  const __m256i multiplier = _mm256_set1_epi32(1 << 29 | 1 << (kTo565.lift - 3));
  const __m256i greenMask = _mm256_set1_epi32(static_cast<int>(kTo565.mask[1] << kTo565.lift));
  unsigned int i = 0;
  for (; i + 16 <= n; i += 16, s += 64, d += 32) {
    __m256i v[2];
    for (int k = 0; k < 2; ++k) {
      const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * k));
      const __m256i placed = _mm256_madd_epi16(_mm256_and_si256(p, redBlueMask), multiplier);
      const __m256i value = _mm256_or_si256(placed, _mm256_and_si256(p, greenMask));
      v[k] = _mm256_srai_epi32(_mm256_slli_epi32(value, 16 - kTo565.lift), 16);
    }
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(v[0], v[1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), packed);
  }
  _mm256_zeroupper();
  Repack<4, 2, PackTo<&kTo565>>(d, s, n - i);
  return dst;
}

const bool kWideVectors = __builtin_cpu_supports("avx2");
#endif

}  // namespace

std::uint32_t RGBto16_565(std::uint32_t rgb) { return Packed16(kTo565, rgb); }
std::uint32_t RGBto16_555(std::uint32_t rgb) { return Packed16(kTo555, rgb); }
std::uint32_t RGBto16_5551(std::uint32_t rgb) { return Packed16(kTo555, rgb); }
std::uint32_t RGBto16_4444(std::uint32_t rgb) { return Packed16(kTo4444, rgb); }
std::uint32_t RGBto24_888(std::uint32_t rgb) { return rgb; }
std::uint32_t RGBto32_888(std::uint32_t rgb) { return rgb; }
std::uint32_t RGBto32_8888(std::uint32_t rgb) { return rgb; }

std::uint32_t RGBfrom16_565(std::uint32_t p) { return Unpacked16(kFrom565, p); }
std::uint32_t RGBfrom16_555(std::uint32_t p) { return Unpacked16(kFrom555, p); }
std::uint32_t RGBfrom16_5551(std::uint32_t p) { return Unpacked16(kFrom555, p); }
std::uint32_t RGBfrom16_4444(std::uint32_t p) { return Unpacked16(kFrom4444, p); }
std::uint32_t RGBfrom24_888(std::uint32_t p) { return p; }
std::uint32_t RGBfrom32_888(std::uint32_t p) { return p; }
std::uint32_t RGBfrom32_8888(std::uint32_t p) { return p & 0x00FFFFFF; }

void* RGBQUADcpyTo16_565(void* d, const void* s, unsigned int n) {
#if defined(__x86_64__)
  if (kWideVectors) return QuadsTo565Wide(d, s, n);
#endif
  return Repack<4, 2, PackTo<&kTo565>>(d, s, n);
}
void* RGBQUADcpyTo16_555(void* d, const void* s, unsigned int n) { return Repack<4, 2, PackTo<&kTo555>>(d, s, n); }
void* RGBQUADcpyTo16_5551(void* d, const void* s, unsigned int n) { return Repack<4, 2, PackTo<&kTo555>>(d, s, n); }
void* RGBQUADcpyTo16_4444(void* d, const void* s, unsigned int n) { return Repack<4, 2, PackTo<&kTo4444>>(d, s, n); }
void* RGBQUADcpyTo24_888(void* d, const void* s, unsigned int n) { return Repack<4, 3>(d, s, n); }
void* RGBQUADcpyTo32_888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }
void* RGBQUADcpyTo32_8888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }

void* RGBQUADcpyFrom16_565(void* d, const void* s, unsigned int n) { return Repack<2, 4, WidenFrom<&kFrom565>>(d, s, n); }
void* RGBQUADcpyFrom16_555(void* d, const void* s, unsigned int n) { return Repack<2, 4, WidenFrom<&kFrom555>>(d, s, n); }
void* RGBQUADcpyFrom16_5551(void* d, const void* s, unsigned int n) { return Repack<2, 4, WidenFrom<&kFrom555>>(d, s, n); }
void* RGBQUADcpyFrom16_4444(void* d, const void* s, unsigned int n) { return Repack<2, 4, WidenFrom<&kFrom4444>>(d, s, n); }
void* RGBQUADcpyFrom24_888(void* d, const void* s, unsigned int n) { return Repack<3, 4>(d, s, n); }
void* RGBQUADcpyFrom32_888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }
void* RGBQUADcpyFrom32_8888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }

void* RGBTRIPLEcpyTo16_565(void* d, const void* s, unsigned int n) { return Repack<3, 2, PackTo<&kTo565>>(d, s, n); }
void* RGBTRIPLEcpyTo16_555(void* d, const void* s, unsigned int n) { return Repack<3, 2, PackTo<&kTo555>>(d, s, n); }
void* RGBTRIPLEcpyTo16_5551(void* d, const void* s, unsigned int n) { return Repack<3, 2, PackTo<&kTo555>>(d, s, n); }
void* RGBTRIPLEcpyTo16_4444(void* d, const void* s, unsigned int n) { return Repack<3, 2, PackTo<&kTo4444>>(d, s, n); }
void* RGBTRIPLEcpyTo24_888(void* d, const void* s, unsigned int n) { return ByteCopy<3>(d, s, n); }
void* RGBTRIPLEcpyTo32_888(void* d, const void* s, unsigned int n) { return Repack<3, 4>(d, s, n); }
void* RGBTRIPLEcpyTo32_8888(void* d, const void* s, unsigned int n) { return Repack<3, 4>(d, s, n); }

void* RGBTRIPLEcpyFrom16_565(void* d, const void* s, unsigned int n) { return Repack<2, 3, WidenFrom<&kFrom565>>(d, s, n); }
void* RGBTRIPLEcpyFrom16_555(void* d, const void* s, unsigned int n) { return Repack<2, 3, WidenFrom<&kFrom555>>(d, s, n); }
void* RGBTRIPLEcpyFrom16_5551(void* d, const void* s, unsigned int n) { return Repack<2, 3, WidenFrom<&kFrom555>>(d, s, n); }
void* RGBTRIPLEcpyFrom16_4444(void* d, const void* s, unsigned int n) { return Repack<2, 3, WidenFrom<&kFrom4444>>(d, s, n); }
void* RGBTRIPLEcpyFrom24_888(void* d, const void* s, unsigned int n) { return ByteCopy<3>(d, s, n); }
void* RGBTRIPLEcpyFrom32_888(void* d, const void* s, unsigned int n) { return Repack<4, 3>(d, s, n); }
void* RGBTRIPLEcpyFrom32_8888(void* d, const void* s, unsigned int n) { return Repack<4, 3>(d, s, n); }

void* RGBQUADcpyFrom8(void* dst, const void* src, const void* palette, unsigned int n) {
  auto* d = static_cast<unsigned char*>(dst);
  auto* s = static_cast<const unsigned char*>(src);
  auto* pal = static_cast<const unsigned char*>(palette);
  for (unsigned int i = 0; i < n; ++i) std::memcpy(d + 4 * i, pal + 4 * s[i], 4);
  return dst;
}

void* RGBTRIPLEcpyFrom8(void* dst, const void* src, const void* palette, unsigned int n) {
  auto* d = static_cast<unsigned char*>(dst);
  auto* s = static_cast<const unsigned char*>(src);
  auto* pal = static_cast<const unsigned char*>(palette);
  for (unsigned int i = 0; i < n; ++i) std::memcpy(d + 3 * i, pal + 4 * s[i], 3);
  return dst;
}

const VXConvertProc _ConvertRGBtoProcTable[kPixFormatCount] = {
    nullptr, RGBto16_565, RGBto16_555, RGBto16_5551, RGBto16_4444, RGBto24_888, RGBto32_888, RGBto32_8888};
const VXConvertProc _ConvertRGBfromProcTable[kPixFormatCount] = {
    nullptr, RGBfrom16_565, RGBfrom16_555, RGBfrom16_5551, RGBfrom16_4444, RGBfrom24_888, RGBfrom32_888,
    RGBfrom32_8888};
const VXRowCopyProc _RGBQUADcpyToProcTable[kPixFormatCount] = {
    nullptr, RGBQUADcpyTo16_565, RGBQUADcpyTo16_555, RGBQUADcpyTo16_5551, RGBQUADcpyTo16_4444, RGBQUADcpyTo24_888,
    RGBQUADcpyTo32_888, RGBQUADcpyTo32_8888};
const VXRowCopyProc _RGBQUADcpyFromProcTable[kPixFormatCount] = {
    nullptr, RGBQUADcpyFrom16_565, RGBQUADcpyFrom16_555, RGBQUADcpyFrom16_5551, RGBQUADcpyFrom16_4444,
    RGBQUADcpyFrom24_888, RGBQUADcpyFrom32_888, RGBQUADcpyFrom32_8888};
const VXRowCopyProc _RGBTRIPLEcpyToProcTable[kPixFormatCount] = {
    nullptr, RGBTRIPLEcpyTo16_565, RGBTRIPLEcpyTo16_555, RGBTRIPLEcpyTo16_5551, RGBTRIPLEcpyTo16_4444,
    RGBTRIPLEcpyTo24_888, RGBTRIPLEcpyTo32_888, RGBTRIPLEcpyTo32_8888};
const VXRowCopyProc _RGBTRIPLEcpyFromProcTable[kPixFormatCount] = {
    nullptr, RGBTRIPLEcpyFrom16_565, RGBTRIPLEcpyFrom16_555, RGBTRIPLEcpyFrom16_5551, RGBTRIPLEcpyFrom16_4444,
    RGBTRIPLEcpyFrom24_888, RGBTRIPLEcpyFrom32_888, RGBTRIPLEcpyFrom32_8888};

#include "graphics/vxrgbeffect.h"

#include "graphics/vxrgbcopy.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Byte = unsigned char;

int ClampRate(int rate) { return std::clamp(rate, 0, kMaxBlendRate); }

// Difference tables, one per rate: entry d + 256 holds floor(d * rate / 128) for d = -256..255. Where there are no
// vectors (and for the last pixels of a line) the kernels look the step up instead of multiplying; the tables are
// constant, so no kernel depends on shared state.
using DiffTable = std::array<std::int8_t, 512>;
constexpr std::array<DiffTable, kMaxBlendRate + 1> MakeDiffTables() {
  std::array<DiffTable, kMaxBlendRate + 1> t{};
  for (int rate = 0; rate <= kMaxBlendRate; ++rate)
    for (int d = -256; d < 256; ++d) t[rate][d + 256] = static_cast<std::int8_t>((d * rate) >> 7);
  return t;
}
constexpr auto kDiff = MakeDiffTables();

// Double-alpha tables, one per factor: entry a holds floor(a * factor / 255).
using WeightTable = std::array<std::uint8_t, 256>;
constexpr std::array<WeightTable, kMaxBlendRate + 1> MakeDoubleAlphaTables() {
  std::array<WeightTable, kMaxBlendRate + 1> t{};
  for (int f = 0; f <= kMaxBlendRate; ++f)
    for (int a = 0; a < 256; ++a) t[f][a] = static_cast<std::uint8_t>(a * f / 255);
  return t;
}
constexpr auto kDoubleAlpha = MakeDoubleAlphaTables();

Byte BlendByte(Byte c1, Byte c2, const DiffTable& diff) { return static_cast<Byte>(c1 + diff[c2 - c1 + 256]); }

// ---- rate blend, half, add, subtract on bytes -------------------------------------------------------------------

void BlendBytes(Byte* d, const Byte* a, const Byte* b, std::size_t count, int rate) {
  const DiffTable& diff = kDiff[ClampRate(rate)];
  for (std::size_t i = 0; i < count; ++i) d[i] = BlendByte(a[i], b[i], diff);
}

void HalfBytes(Byte* d, const Byte* a, const Byte* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) d[i] = static_cast<Byte>((a[i] & b[i]) + (((a[i] ^ b[i]) & 0xFE) >> 1));
}

void AddBytes(Byte* d, const Byte* s, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) d[i] = static_cast<Byte>(std::min(255, d[i] + s[i]));
}

void SubBytes(Byte* d, const Byte* s, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) d[i] = static_cast<Byte>(std::max(0, d[i] - s[i]));
}

#if defined(__SSE2__)
// 16 bytes per step in 16-bit lanes: c1 + ((c2 - c1) * rate >> 7), exact because |d * rate| < 2^15.
void BlendBytesPacked(Byte* d, const Byte* a, const Byte* b, std::size_t count, int rate) {
  rate = ClampRate(rate);
  const __m128i zero = _mm_setzero_si128();
  const __m128i r = _mm_set1_epi16(static_cast<short>(rate));
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    auto half = [&](__m128i x, __m128i y) {
      const __m128i step = _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(y, x), r), 7);
      return _mm_add_epi16(x, step);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(lo, hi));
  }
  BlendBytes(d + i, a + i, b + i, count - i, rate);
}

void HalfBytesPacked(Byte* d, const Byte* a, const Byte* b, std::size_t count) {
  const __m128i mask = _mm_set1_epi8(static_cast<char>(0xFE));
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    // The low bit of every byte is cleared before the shift, so nothing crosses into the byte below.
    const __m128i odd = _mm_srli_epi16(_mm_and_si128(_mm_xor_si128(va, vb), mask), 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_add_epi8(_mm_and_si128(va, vb), odd));
  }
  HalfBytes(d + i, a + i, b + i, count - i);
}

template <bool Add>
void SaturateBytesPacked(Byte* d, const Byte* s, std::size_t count) {
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), Add ? _mm_adds_epu8(vd, vs) : _mm_subs_epu8(vd, vs));
  }
  if (Add) AddBytes(d + i, s + i, count - i);
  else SubBytes(d + i, s + i, count - i);
}
#else
void BlendBytesPacked(Byte* d, const Byte* a, const Byte* b, std::size_t count, int rate) {
  BlendBytes(d, a, b, count, rate);
}
void HalfBytesPacked(Byte* d, const Byte* a, const Byte* b, std::size_t count) { HalfBytes(d, a, b, count); }
template <bool Add>
void SaturateBytesPacked(Byte* d, const Byte* s, std::size_t count) {
  if (Add) AddBytes(d, s, count);
  else SubBytes(d, s, count);
}
#endif

// ---- 16-bit formats -----------------------------------------------------------------------------------------------

struct Format16 {
  int shift[3];      // red, green, blue
  int bits[3];
  std::uint16_t halfMask;
  int alphaShift;    // 0: no alpha field
  int alphaBits;
};
constexpr Format16 k565{{11, 5, 0}, {5, 6, 5}, 0xF7DE, 0, 0};
constexpr Format16 k555{{10, 5, 0}, {5, 5, 5}, 0x7BDE, 15, 1};
constexpr Format16 k4444{{8, 4, 0}, {4, 4, 4}, 0xEEEE, 12, 4};

std::uint16_t Load16(const Byte* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void Store16(Byte* p, unsigned v) {
  p[0] = static_cast<Byte>(v);
  p[1] = static_cast<Byte>(v >> 8);
}
unsigned Field(unsigned v, const Format16& f, int i) { return (v >> f.shift[i]) & ((1u << f.bits[i]) - 1); }

#if defined(__SSE2__)
// Eight 16-bit pixels per vector, one field at a time in 16-bit lanes. Each field result stays within its own
// width, so the fields are put back by shifts and ORs alone.
__m128i Load8(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store8(Byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <const Format16& F>
__m128i FieldLanes(__m128i v, int f) {
  return _mm_and_si128(_mm_srli_epi16(v, F.shift[f]), _mm_set1_epi16(static_cast<short>((1 << F.bits[f]) - 1)));
}

// c1 + floor((c2 - c1) * rate / 128): |c2 - c1| < 64, so the product fits a 16-bit lane.
template <const Format16& F>
__m128i Blend8(__m128i a, __m128i b, __m128i rate) {
  __m128i out = _mm_setzero_si128();
  for (int f = 0; f < 3; ++f) {
    const __m128i c1 = FieldLanes<F>(a, f), c2 = FieldLanes<F>(b, f);
    const __m128i c = _mm_add_epi16(c1, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(c2, c1), rate), 7));
    out = _mm_or_si128(out, _mm_slli_epi16(c, F.shift[f]));
  }
  return out;
}

template <const Format16& F, bool Add>
__m128i Saturate8(__m128i d, __m128i s) {
  __m128i out = _mm_setzero_si128();
  for (int f = 0; f < 3; ++f) {
    const __m128i c1 = FieldLanes<F>(d, f), c2 = FieldLanes<F>(s, f);
    const __m128i c = Add ? _mm_min_epi16(_mm_add_epi16(c1, c2), _mm_set1_epi16(static_cast<short>((1 << F.bits[f]) - 1)))
                          : _mm_max_epi16(_mm_sub_epi16(c1, c2), _mm_setzero_si128());
    out = _mm_or_si128(out, _mm_slli_epi16(c, F.shift[f]));
  }
  if (Add && F.alphaBits) {
    // The top field added in place: what carries out of bit 15 is lost, which is the sum modulo its width.
    const __m128i top = _mm_set1_epi16(static_cast<short>(((1 << F.alphaBits) - 1) << F.alphaShift));
    out = _mm_or_si128(out, _mm_add_epi16(_mm_and_si128(d, top), _mm_and_si128(s, top)));
  }
  return out;
}
#endif

template <const Format16& F>
void Blend16(void* dst, const void* src1, const void* src2, unsigned int n, int rate) {
  rate = ClampRate(rate);
  const DiffTable& diff = kDiff[rate];
  auto* d = static_cast<Byte*>(dst);
  auto* a = static_cast<const Byte*>(src1);
  auto* b = static_cast<const Byte*>(src2);
  unsigned int i = 0;
#if defined(__SSE2__)
  const __m128i r = _mm_set1_epi16(static_cast<short>(rate));
  for (; i + 8 <= n; i += 8, d += 16, a += 16, b += 16) Store8(d, Blend8<F>(Load8(a), Load8(b), r));
#endif
  for (; i < n; ++i, d += 2, a += 2, b += 2) {
    const unsigned p1 = Load16(a), p2 = Load16(b);
    unsigned out = 0;
    for (int f = 0; f < 3; ++f) {
      const int c1 = static_cast<int>(Field(p1, F, f)), c2 = static_cast<int>(Field(p2, F, f));
      out |= static_cast<unsigned>(c1 + diff[c2 - c1 + 256]) << F.shift[f];
    }
    Store16(d, out);
  }
}

template <const Format16& F>
void Half16(void* dst, const void* src1, const void* src2, unsigned int n) {
  auto* d = static_cast<Byte*>(dst);
  auto* a = static_cast<const Byte*>(src1);
  auto* b = static_cast<const Byte*>(src2);
  unsigned int i = 0;
#if defined(__SSE2__)
  const __m128i mask = _mm_set1_epi16(static_cast<short>(F.halfMask));
  for (; i + 8 <= n; i += 8, d += 16, a += 16, b += 16) {
    const __m128i p1 = Load8(a), p2 = Load8(b);
    const __m128i odd = _mm_srli_epi16(_mm_and_si128(_mm_xor_si128(p1, p2), mask), 1);
    Store8(d, _mm_add_epi16(_mm_and_si128(p1, p2), odd));
  }
#endif
  for (; i < n; ++i, d += 2, a += 2, b += 2) {
    const unsigned p1 = Load16(a), p2 = Load16(b);
    Store16(d, (p1 & p2) + (((p1 ^ p2) & F.halfMask) >> 1));
  }
}

template <const Format16& F, bool Add>
void Saturate16(void* dst, const void* src, unsigned int n) {
  auto* d = static_cast<Byte*>(dst);
  auto* s = static_cast<const Byte*>(src);
  unsigned int i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8, d += 16, s += 16) Store8(d, Saturate8<F, Add>(Load8(d), Load8(s)));
#endif
  for (; i < n; ++i, d += 2, s += 2) {
    const unsigned p1 = Load16(d), p2 = Load16(s);
    unsigned out = 0;
    for (int f = 0; f < 3; ++f) {
      const int c1 = static_cast<int>(Field(p1, F, f)), c2 = static_cast<int>(Field(p2, F, f));
      const int c = Add ? std::min((1 << F.bits[f]) - 1, c1 + c2) : std::max(0, c1 - c2);
      out |= static_cast<unsigned>(c) << F.shift[f];
    }
    if (Add && F.alphaBits) {
      const unsigned top = (1u << F.alphaBits) - 1;
      out |= ((((p1 >> F.alphaShift) & top) + ((p2 >> F.alphaShift) & top)) & top) << F.alphaShift;
    }
    Store16(d, out);
  }
}

// The byte kernels of 8-, 24- and 32-bit pixels. The plain and the packed rules give the same bytes, so both run
// the vector loop where the processor has one.
template <int BytesPerPixel>
void BlendPixels(void* dst, const void* src1, const void* src2, unsigned int n, int rate) {
  BlendBytesPacked(static_cast<Byte*>(dst), static_cast<const Byte*>(src1), static_cast<const Byte*>(src2),
                   std::size_t{n} * BytesPerPixel, rate);
}
template <int BytesPerPixel>
void HalfPixels(void* dst, const void* src1, const void* src2, unsigned int n) {
  HalfBytesPacked(static_cast<Byte*>(dst), static_cast<const Byte*>(src1), static_cast<const Byte*>(src2),
                  std::size_t{n} * BytesPerPixel);
}
template <int BytesPerPixel, bool Add>
void SaturatePixels(void* dst, const void* src, unsigned int n) {
  SaturateBytesPacked<Add>(static_cast<Byte*>(dst), static_cast<const Byte*>(src), std::size_t{n} * BytesPerPixel);
}

// ---- per-pixel alpha --------------------------------------------------------------------------------------------

// One span of a masked blend: destination pixels left to right; source pixels and plane values left to right, or
// right to left from the last one when mirrored; the weight from the plane or from the source's fourth byte.
template <int W, bool InChannel, bool Mirror>
struct Span {
  Byte* dst;
  const Byte* src;
  const Byte* plane;

  static constexpr int kWidth = W;
  static constexpr bool kIn = InChannel;
  static constexpr bool kMirrored = Mirror;
  static std::ptrdiff_t Step(unsigned i) { return Mirror ? -static_cast<std::ptrdiff_t>(i) : std::ptrdiff_t(i); }
  Byte* Dst(unsigned i) const { return dst + std::size_t{i} * W; }
  const Byte* Src(unsigned i) const { return src + Step(i) * W; }
  unsigned Alpha(unsigned i) const {
    if constexpr (InChannel) return Src(i)[3];
    else return plane[Step(i)];
  }
  // The plane bytes of pixels i..i+3, lowest address first (so in reverse order when mirrored).
  const Byte* Plane4(unsigned i) const { return Mirror ? plane - (std::ptrdiff_t{i} + 3) : plane + i; }
#if defined(__SSE2__)
  // Source pixels i..i+3 of a 4-byte span, in line order.
  __m128i Load4(unsigned i) const {
    if constexpr (Mirror)
      return _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Src(i + 3))), _MM_SHUFFLE(0, 1, 2, 3));
    else
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src(i)));
  }
#endif
};

// d' = d + floor((s - d) * w / 2^shift) on the three colour bytes.
void BlendColour(Byte* d, const Byte* s, int w, int shift) {
  for (int c = 0; c < 3; ++c) d[c] = static_cast<Byte>(d[c] + (((s[c] - d[c]) * w) >> shift));
}

// The three weighting rules. Each gives a weight w and a shift: d' = d + floor((s - d) * w / 2^shift).
enum class Rule { Plain, Packed, Double };

template <Rule R>
constexpr int kShift = R == Rule::Packed ? 8 : 7;

template <Rule R>
int WeightOf(unsigned a, const WeightTable& table) {
  if constexpr (R == Rule::Plain) return static_cast<int>((a + 1) >> 1);
  else if constexpr (R == Rule::Packed) return a == 255 ? 256 : static_cast<int>(a);
  else return table[a];
}

// How many leading pixels of a line take the packed rule: all but the last two of an even line, the last one of
// an odd line.
unsigned PackedCount(unsigned n) { return n < 2 ? 0 : (n % 2 == 0 ? n - 2 : n - 1); }

#if defined(__SSE2__)
// Four weights (16-bit lanes 0..3) of four alpha values, scaled to w << (9 - shift): then one signed multiply-high
// of (s - d) << 7 by the scaled weight is exactly floor((s - d) * w / 2^shift), and a full weight is always 512.
template <Rule R>
__m128i ScaledWeights(__m128i a, __m128i factor) {
  if constexpr (R == Rule::Plain) {
    return _mm_slli_epi16(_mm_avg_epu16(a, _mm_setzero_si128()), 2);  // (a + 1) >> 1
  } else if constexpr (R == Rule::Packed) {
    return _mm_slli_epi16(_mm_sub_epi16(a, _mm_cmpeq_epi16(a, _mm_set1_epi16(255))), 1);  // 255 counts as 256
  } else {
    // floor(x / 255) for x = a * factor < 2^15 is (x * 0x8081) >> 23.
    const __m128i x = _mm_mullo_epi16(a, factor);
    return _mm_slli_epi16(_mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7), 2);
  }
}

// Four 4-byte pixels under the scaled weights of lanes 0..3; the fourth byte of each pixel keeps d's value.
__m128i Mix4(__m128i d, __m128i s, __m128i w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i colour = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);
  const __m128i pairs = _mm_unpacklo_epi16(w, w);  // w0 w0 w1 w1 w2 w2 w3 w3
  const __m128i wlo = _mm_and_si128(_mm_unpacklo_epi32(pairs, pairs), colour);
  const __m128i whi = _mm_and_si128(_mm_unpackhi_epi32(pairs, pairs), colour);
  auto mix = [](__m128i dv, __m128i sv, __m128i wv) {
    return _mm_add_epi16(dv, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(sv, dv), 7), wv));
  };
  const __m128i lo = mix(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero), wlo);
  const __m128i hi = mix(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero), whi);
  return _mm_packus_epi16(lo, hi);
}

// Pixels [from, to) of a 4-byte span, four at a time; returns where it stopped. Groups whose alpha is all 0 are
// left alone, groups of full weight take the source's colour bytes.
template <Rule R, class S>
unsigned Blend4x4(const S& span, unsigned from, unsigned to, int factor) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(512);
  const __m128i f = _mm_set1_epi16(static_cast<short>(factor));
  const __m128i colourBytes = _mm_set1_epi32(0x00FFFFFF);
  unsigned i = from;
  for (; i + 4 <= to; i += 4) {
    __m128i a, s;
    if constexpr (S::kIn) {
      s = span.Load4(i);
      a = _mm_srli_epi32(s, 24);
      a = _mm_packs_epi32(a, a);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
    } else {
      std::uint32_t bytes;
      std::memcpy(&bytes, span.Plane4(i), 4);
      if (bytes == 0) continue;
      a = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), zero);
      if constexpr (S::kMirrored) a = _mm_shufflelo_epi16(a, _MM_SHUFFLE(0, 1, 2, 3));
      s = span.Load4(i);
    }
    const __m128i w = ScaledWeights<R>(a, f);
    __m128i* dp = reinterpret_cast<__m128i*>(span.Dst(i));
    const __m128i d = _mm_loadu_si128(dp);
    if ((_mm_movemask_epi8(_mm_cmpeq_epi16(w, full)) & 0xFF) == 0xFF)
      _mm_storeu_si128(dp, _mm_or_si128(_mm_and_si128(s, colourBytes), _mm_andnot_si128(colourBytes, d)));
    else
      _mm_storeu_si128(dp, Mix4(d, s, w));
  }
  return i;
}
#endif

// Pixels [from, to) of a span under one rule.
template <Rule R, class S>
void BlendRun(const S& span, unsigned from, unsigned to, int factor) {
  unsigned i = from;
#if defined(__SSE2__)
  if constexpr (S::kWidth == 4) i = Blend4x4<R>(span, from, to, factor);
#endif
  const WeightTable& table = kDoubleAlpha[ClampRate(factor)];
  for (; i < to; ++i) BlendColour(span.Dst(i), span.Src(i), WeightOf<R>(span.Alpha(i), table), kShift<R>);
}

// Pixels [from, to) of a line whose pixels below `packedEnd` take the packed rule and the others `Rest`.
template <Rule Rest, class S>
void BlendSpan(const S& span, unsigned from, unsigned to, unsigned packedEnd, int factor) {
  const unsigned mid = std::clamp(packedEnd, from, to);
  BlendRun<Rule::Packed>(span, from, mid, factor);
  BlendRun<Rest>(span, mid, to, factor);
}

bool AllBytes(const Byte* p, unsigned n, Byte value) {
  for (unsigned i = 0; i < n; ++i)
    if (p[i] != value) return false;
  return true;
}

// A 3-byte line through a plane, in chunks: a chunk that the plane leaves transparent is skipped, one it covers
// fully is copied, and the others are widened to 4-byte pixels, blended by the 4-byte code and narrowed back.
template <Rule Rest, bool Mirror>
void BlendSpan3(const Span<3, false, Mirror>& span, unsigned n, unsigned packedEnd, int factor) {
  constexpr unsigned kChunk = 64;
  alignas(16) Byte d4[kChunk * 4], s4[kChunk * 4];
  // At 255 every rule but a double alpha under a factor below 128 gives the full weight.
  const bool fullAt255 = Rest != Rule::Double || ClampRate(factor) == kMaxBlendRate;
  for (unsigned c = 0; c < n; c += kChunk) {
    const unsigned k = std::min(kChunk, n - c);
    const Byte* first = Mirror ? span.Src(c + k - 1) : span.Src(c);  // the chunk's source, lowest address
    const Byte* plane = Mirror ? span.plane - (c + k - 1) : span.plane + c;
    if (AllBytes(plane, k, 0)) continue;
    if (fullAt255 && AllBytes(plane, k, 255)) {
      if (Mirror) VXMemcpy3R(span.Dst(c), first, k);
      else std::memcpy(span.Dst(c), first, std::size_t{k} * 3);
      continue;
    }
    RGBTRIPLEcpyTo32_888(d4, span.Dst(c), k);
    RGBTRIPLEcpyTo32_888(s4, first, k);
    const Span<4, false, Mirror> four{d4, Mirror ? s4 + (k - 1) * 4 : s4, Mirror ? span.plane - c : span.plane + c};
    BlendSpan<Rest>(four, 0, k, packedEnd > c ? packedEnd - c : 0, factor);
    RGBQUADcpyTo24_888(span.Dst(c), d4, k);
  }
}

template <Rule Rest, int W, bool In, bool Mirror>
void MaskedLine(void* dst, const void* src, const void* alpha, unsigned n, unsigned packedEnd, int factor) {
  const Span<W, In, Mirror> span{static_cast<Byte*>(dst), static_cast<const Byte*>(src),
                                 static_cast<const Byte*>(alpha)};
  if constexpr (W == 3) BlendSpan3<Rest>(span, n, packedEnd, factor);
  else BlendSpan<Rest>(span, 0, n, packedEnd, factor);
}

template <int W, bool In, bool Mirror>
void MaskedPlainKernel(void* dst, const void* src, const void* alpha, unsigned n) {
  MaskedLine<Rule::Plain, W, In, Mirror>(dst, src, alpha, n, 0, 0);
}

template <int W, bool In, bool Mirror>
void MaskedPackedKernel(void* dst, const void* src, const void* alpha, unsigned n) {
  MaskedLine<Rule::Plain, W, In, Mirror>(dst, src, alpha, n, PackedCount(n), 0);
}

// The double-alpha rule is the same in both forms.
template <int W, bool In, bool Mirror>
void DoubleKernel(void* dst, const void* src, const void* alpha, unsigned n, int factor) {
  MaskedLine<Rule::Double, W, In, Mirror>(dst, src, alpha, n, 0, ClampRate(factor));
}

// ---- tone, grey, alpha planes -------------------------------------------------------------------------------------

Byte ToneChannel(unsigned c, unsigned m) { return static_cast<Byte>(std::min(255u, (c * m) >> 7)); }

// Sixteen pixels per vector step: W vectors, byte j of vector k being channel (16 k + j) mod W, multiplied in
// 16-bit lanes (c * m < 2^16) and saturated by the signed pack (the shifted product is at most 508).
template <int W, bool ToneFourth>
void Tone(void* dst, const void* src, std::uint32_t tone, unsigned n) {
  auto* d = static_cast<Byte*>(dst);
  auto* s = static_cast<const Byte*>(src);
  const unsigned m[4] = {tone & 0xFF, (tone >> 8) & 0xFF, (tone >> 16) & 0xFF, tone >> 24};
  unsigned i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i mul[W][2];
  for (int k = 0; k < W; ++k)
    for (int h = 0; h < 2; ++h) {
      alignas(16) std::int16_t lanes[8];
      for (int j = 0; j < 8; ++j) lanes[j] = static_cast<std::int16_t>(m[(16 * k + 8 * h + j) % W]);
      mul[k][h] = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
    }
  // The plain 4-byte kernel leaves the destination's fourth bytes as they were.
  const __m128i tonedBytes = _mm_set1_epi32(W == 4 && !ToneFourth ? 0x00FFFFFF : -1);
  for (; i + 16 <= n; i += 16, d += 16 * W, s += 16 * W) {
    for (int k = 0; k < W; ++k) {
      auto* dp = reinterpret_cast<__m128i*>(d + 16 * k);
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
      const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), mul[k][0]), 7);
      const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), mul[k][1]), 7);
      __m128i out = _mm_packus_epi16(lo, hi);
      if (W == 4 && !ToneFourth)
        out = _mm_or_si128(_mm_and_si128(out, tonedBytes), _mm_andnot_si128(tonedBytes, _mm_loadu_si128(dp)));
      _mm_storeu_si128(dp, out);
    }
  }
#endif
  for (; i < n; ++i, d += W, s += W) {
    for (int c = 0; c < 3; ++c) d[c] = ToneChannel(s[c], m[c]);
    if constexpr (ToneFourth) d[3] = ToneChannel(s[3], m[3]);
  }
}

template <int W>
void Monochrome(void* dst, const void* src, unsigned n) {
  auto* d = static_cast<Byte*>(dst);
  auto* s = static_cast<const Byte*>(src);
  for (unsigned i = 0; i < n; ++i, d += W, s += W) {
    const Byte g = static_cast<Byte>((s[0] + s[1] + s[2]) / 3);
    d[0] = d[1] = d[2] = g;
  }
}

Byte ExtractByte(unsigned s, unsigned level) {
  const unsigned x = std::min(255u, s + level);
  return static_cast<Byte>(x >= 240 ? (x - 240) * 17 : 0);
}

enum class PlaneOp { Extract, Add, Sub };

template <PlaneOp Op>
void PlanePlain(Byte* d, const Byte* s, unsigned level, std::size_t from, std::size_t n) {
  for (std::size_t i = from; i < n; ++i) {
    if constexpr (Op == PlaneOp::Extract) d[i] = ExtractByte(s[i], level);
    else if constexpr (Op == PlaneOp::Add) d[i] = static_cast<Byte>(std::min(255u, s[i] + level));
    else d[i] = static_cast<Byte>(s[i] > level ? s[i] - level : 0);
  }
}

template <PlaneOp Op>
void PlaneKernel(void* dst, const void* src, int level, unsigned n) {
  PlanePlain<Op>(static_cast<Byte*>(dst), static_cast<const Byte*>(src), static_cast<unsigned>(level) & 0xFF, 0, n);
}

template <PlaneOp Op>
void PlaneKernelPacked(void* dst, const void* src, int level, unsigned n) {
  auto* d = static_cast<Byte*>(dst);
  auto* s = static_cast<const Byte*>(src);
  const unsigned lv = static_cast<unsigned>(level) & 0xFF;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i l = _mm_set1_epi8(static_cast<char>(lv));
  const __m128i base = _mm_set1_epi8(static_cast<char>(240));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i r;
    if constexpr (Op == PlaneOp::Extract) {
      const __m128i y = _mm_subs_epu8(_mm_adds_epu8(v, l), base);  // 0..15, so y << 4 stays in its byte
      r = _mm_or_si128(_mm_slli_epi16(y, 4), y);
    } else if constexpr (Op == PlaneOp::Add) {
      r = _mm_adds_epu8(v, l);
    } else {
      r = _mm_subs_epu8(v, l);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), r);
  }
#endif
  PlanePlain<Op>(d, s, lv, i, n);
}

}  // namespace

int DoubleAlphaWeight(int factor, std::uint8_t a) { return kDoubleAlpha[ClampRate(factor)][a]; }

// ---- exported kernels ----------------------------------------------------------------------------------------------

void RGBAlpha8(void* d, const void* a, const void* b, unsigned n, int r) { BlendPixels<1>(d, a, b, n, r); }
void RGBAlpha16_565(void* d, const void* a, const void* b, unsigned n, int r) { Blend16<k565>(d, a, b, n, r); }
void RGBAlpha16_555(void* d, const void* a, const void* b, unsigned n, int r) { Blend16<k555>(d, a, b, n, r); }
void RGBAlpha16_5551(void* d, const void* a, const void* b, unsigned n, int r) { Blend16<k555>(d, a, b, n, r); }
void RGBAlpha16_4444(void* d, const void* a, const void* b, unsigned n, int r) { Blend16<k4444>(d, a, b, n, r); }
void RGBAlpha24_888(void* d, const void* a, const void* b, unsigned n, int r) { BlendPixels<3>(d, a, b, n, r); }
void RGBAlpha32_888(void* d, const void* a, const void* b, unsigned n, int r) { BlendPixels<4>(d, a, b, n, r); }
void RGBAlpha32_8888(void* d, const void* a, const void* b, unsigned n, int r) { BlendPixels<4>(d, a, b, n, r); }
void RGBAlpha8_MMX(void* d, const void* a, const void* b, unsigned n, int r) { BlendPixels<1>(d, a, b, n, r); }
void RGBAlpha24_888_MMX(void* d, const void* a, const void* b, unsigned n, int r) {
  BlendPixels<3>(d, a, b, n, r);
}
void RGBAlpha32_888_MMX(void* d, const void* a, const void* b, unsigned n, int r) {
  BlendPixels<4>(d, a, b, n, r);
}
void RGBAlpha32_8888_MMX(void* d, const void* a, const void* b, unsigned n, int r) {
  BlendPixels<4>(d, a, b, n, r);
}

void RGBHalf8(void* d, const void* a, const void* b, unsigned n) { HalfPixels<1>(d, a, b, n); }
void RGBHalf16_565(void* d, const void* a, const void* b, unsigned n) { Half16<k565>(d, a, b, n); }
void RGBHalf16_555(void* d, const void* a, const void* b, unsigned n) { Half16<k555>(d, a, b, n); }
void RGBHalf16_5551(void* d, const void* a, const void* b, unsigned n) { Half16<k555>(d, a, b, n); }
void RGBHalf16_4444(void* d, const void* a, const void* b, unsigned n) { Half16<k4444>(d, a, b, n); }
void RGBHalf24_888(void* d, const void* a, const void* b, unsigned n) { HalfPixels<3>(d, a, b, n); }
void RGBHalf32_888(void* d, const void* a, const void* b, unsigned n) { HalfPixels<4>(d, a, b, n); }
void RGBHalf32_8888(void* d, const void* a, const void* b, unsigned n) { HalfPixels<4>(d, a, b, n); }
void RGBHalf8_MMX(void* d, const void* a, const void* b, unsigned n) { HalfPixels<1>(d, a, b, n); }
void RGBHalf24_888_MMX(void* d, const void* a, const void* b, unsigned n) { HalfPixels<3>(d, a, b, n); }
void RGBHalf32_888_MMX(void* d, const void* a, const void* b, unsigned n) { HalfPixels<4>(d, a, b, n); }
void RGBHalf32_8888_MMX(void* d, const void* a, const void* b, unsigned n) { HalfPixels<4>(d, a, b, n); }

void RGBAdd8(void* d, const void* s, unsigned n) { SaturatePixels<1, true>(d, s, n); }
void RGBAdd16_565(void* d, const void* s, unsigned n) { Saturate16<k565, true>(d, s, n); }
void RGBAdd16_555(void* d, const void* s, unsigned n) { Saturate16<k555, true>(d, s, n); }
void RGBAdd16_5551(void* d, const void* s, unsigned n) { Saturate16<k555, true>(d, s, n); }
void RGBAdd16_4444(void* d, const void* s, unsigned n) { Saturate16<k4444, true>(d, s, n); }
void RGBAdd24_888(void* d, const void* s, unsigned n) { SaturatePixels<3, true>(d, s, n); }
void RGBAdd32_888(void* d, const void* s, unsigned n) { SaturatePixels<4, true>(d, s, n); }
void RGBAdd32_8888(void* d, const void* s, unsigned n) { SaturatePixels<4, true>(d, s, n); }
void RGBAdd8_MMX(void* d, const void* s, unsigned n) { SaturatePixels<1, true>(d, s, n); }
void RGBAdd24_888_MMX(void* d, const void* s, unsigned n) { SaturatePixels<3, true>(d, s, n); }
void RGBAdd32_888_MMX(void* d, const void* s, unsigned n) { SaturatePixels<4, true>(d, s, n); }
void RGBAdd32_8888_MMX(void* d, const void* s, unsigned n) { SaturatePixels<4, true>(d, s, n); }

void RGBSub8(void* d, const void* s, unsigned n) { SaturatePixels<1, false>(d, s, n); }
void RGBSub16_565(void* d, const void* s, unsigned n) { Saturate16<k565, false>(d, s, n); }
void RGBSub16_555(void* d, const void* s, unsigned n) { Saturate16<k555, false>(d, s, n); }
void RGBSub16_5551(void* d, const void* s, unsigned n) { Saturate16<k555, false>(d, s, n); }
void RGBSub16_4444(void* d, const void* s, unsigned n) { Saturate16<k4444, false>(d, s, n); }
void RGBSub24_888(void* d, const void* s, unsigned n) { SaturatePixels<3, false>(d, s, n); }
void RGBSub32_888(void* d, const void* s, unsigned n) { SaturatePixels<4, false>(d, s, n); }
void RGBSub32_8888(void* d, const void* s, unsigned n) { SaturatePixels<4, false>(d, s, n); }
void RGBSub8_MMX(void* d, const void* s, unsigned n) { SaturatePixels<1, false>(d, s, n); }
void RGBSub24_888_MMX(void* d, const void* s, unsigned n) { SaturatePixels<3, false>(d, s, n); }
void RGBSub32_888_MMX(void* d, const void* s, unsigned n) { SaturatePixels<4, false>(d, s, n); }
void RGBSub32_8888_MMX(void* d, const void* s, unsigned n) { SaturatePixels<4, false>(d, s, n); }

const VXRGBAlphaProc _RGBAlphaProcTable[kPixFormatCount] = {
    nullptr, RGBAlpha16_565, RGBAlpha16_555, RGBAlpha16_5551, RGBAlpha16_4444, RGBAlpha24_888, RGBAlpha32_888,
    RGBAlpha32_8888};
const VXRGBAlphaProc _RGBAlphaMMXProcTable[kPixFormatCount] = {
    nullptr, RGBAlpha16_565, RGBAlpha16_555, RGBAlpha16_5551, RGBAlpha16_4444, RGBAlpha24_888_MMX, RGBAlpha32_888_MMX,
    RGBAlpha32_8888_MMX};
const VXRGBHalfProc _RGBHalfProcTable[kPixFormatCount] = {
    nullptr, RGBHalf16_565, RGBHalf16_555, RGBHalf16_5551, RGBHalf16_4444, RGBHalf24_888, RGBHalf32_888,
    RGBHalf32_8888};
const VXRGBHalfProc _RGBHalfMMXProcTable[kPixFormatCount] = {
    nullptr, RGBHalf16_565, RGBHalf16_555, RGBHalf16_5551, RGBHalf16_4444, RGBHalf24_888_MMX, RGBHalf32_888_MMX,
    RGBHalf32_8888_MMX};
const VXRGBAddProc _RGBAddProcTable[kPixFormatCount] = {
    RGBAdd8, RGBAdd16_565, RGBAdd16_555, RGBAdd16_5551, RGBAdd16_4444, RGBAdd24_888, RGBAdd32_888, RGBAdd32_8888};
const VXRGBAddProc _RGBAddMMXProcTable[kPixFormatCount] = {
    RGBAdd8_MMX, RGBAdd16_565, RGBAdd16_555, RGBAdd16_5551, RGBAdd16_4444, RGBAdd24_888_MMX, RGBAdd32_888_MMX,
    RGBAdd32_8888_MMX};
const VXRGBAddProc _RGBSubProcTable[kPixFormatCount] = {
    RGBSub8, RGBSub16_565, RGBSub16_555, RGBSub16_5551, RGBSub16_4444, RGBSub24_888, RGBSub32_888, RGBSub32_8888};
const VXRGBAddProc _RGBSubMMXProcTable[kPixFormatCount] = {
    RGBSub8_MMX, RGBSub16_565, RGBSub16_555, RGBSub16_5551, RGBSub16_4444, RGBSub24_888_MMX, RGBSub32_888_MMX,
    RGBSub32_8888_MMX};

void RGBAlphaOutChannel(void* d, const void* s, const void* a, unsigned n) {
  MaskedPlainKernel<3, false, false>(d, s, a, n);
}
void RGBAlphaOutChannel_MMX(void* d, const void* s, const void* a, unsigned n) {
  MaskedPackedKernel<3, false, false>(d, s, a, n);
}
void RGBAlphaOutChannel32(void* d, const void* s, const void* a, unsigned n) {
  MaskedPlainKernel<4, false, false>(d, s, a, n);
}
void RGBAlphaOutChannel32_MMX(void* d, const void* s, const void* a, unsigned n) {
  MaskedPackedKernel<4, false, false>(d, s, a, n);
}
void RGBAlphaInChannel(void* d, const void* s, unsigned n) { MaskedPlainKernel<4, true, false>(d, s, nullptr, n); }
void RGBAlphaInChannel_MMX(void* d, const void* s, unsigned n) {
  MaskedPackedKernel<4, true, false>(d, s, nullptr, n);
}
void RGBAlphaOutChannelR(void* d, const void* s, const void* a, unsigned n) {
  MaskedPlainKernel<3, false, true>(d, s, a, n);
}
void RGBAlphaOutChannelR_MMX(void* d, const void* s, const void* a, unsigned n) {
  MaskedPackedKernel<3, false, true>(d, s, a, n);
}
void RGBAlphaOutChannelR32(void* d, const void* s, const void* a, unsigned n) {
  MaskedPlainKernel<4, false, true>(d, s, a, n);
}
void RGBAlphaOutChannelR32_MMX(void* d, const void* s, const void* a, unsigned n) {
  MaskedPackedKernel<4, false, true>(d, s, a, n);
}
void RGBAlphaInChannelR(void* d, const void* s, unsigned n) { MaskedPlainKernel<4, true, true>(d, s, nullptr, n); }
void RGBAlphaInChannelR_MMX(void* d, const void* s, unsigned n) {
  MaskedPackedKernel<4, true, true>(d, s, nullptr, n);
}

void RGBDoubleAlphaOutChannel(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<3, false, false>(d, s, a, n, f);
}
void RGBDoubleAlphaOutChannel_MMX(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<3, false, false>(d, s, a, n, f);
}
void RGBDoubleAlphaOutChannel32(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<4, false, false>(d, s, a, n, f);
}
void RGBDoubleAlphaOutChannel32_MMX(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<4, false, false>(d, s, a, n, f);
}
void RGBDoubleAlphaInChannel(void* d, const void* s, unsigned n, int f) {
  DoubleKernel<4, true, false>(d, s, nullptr, n, f);
}
void RGBDoubleAlphaInChannel_MMX(void* d, const void* s, unsigned n, int f) {
  DoubleKernel<4, true, false>(d, s, nullptr, n, f);
}
void RGBDoubleAlphaOutChannelR(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<3, false, true>(d, s, a, n, f);
}
void RGBDoubleAlphaOutChannelR_MMX(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<3, false, true>(d, s, a, n, f);
}
void RGBDoubleAlphaOutChannelR32(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<4, false, true>(d, s, a, n, f);
}
void RGBDoubleAlphaOutChannelR32_MMX(void* d, const void* s, const void* a, unsigned n, int f) {
  DoubleKernel<4, false, true>(d, s, a, n, f);
}
void RGBDoubleAlphaInChannelR(void* d, const void* s, unsigned n, int f) {
  DoubleKernel<4, true, true>(d, s, nullptr, n, f);
}
void RGBDoubleAlphaInChannelR_MMX(void* d, const void* s, unsigned n, int f) {
  DoubleKernel<4, true, true>(d, s, nullptr, n, f);
}

void RGBTone24(void* d, const void* s, std::uint32_t t, unsigned n) { Tone<3, false>(d, s, t, n); }
void RGBTone32(void* d, const void* s, std::uint32_t t, unsigned n) { Tone<4, false>(d, s, t, n); }
void RGBTone24_MMX(void* d, const void* s, std::uint32_t t, unsigned n) { Tone<3, false>(d, s, t, n); }
void RGBTone32_MMX(void* d, const void* s, std::uint32_t t, unsigned n) { Tone<4, true>(d, s, t, n); }

void RGBMonochrome24(void* d, const void* s, unsigned n) { Monochrome<3>(d, s, n); }
void RGBMonochrome32(void* d, const void* s, unsigned n) { Monochrome<4>(d, s, n); }

void RGBExtractAlpha(void* d, const void* s, const int l, unsigned n) { PlaneKernel<PlaneOp::Extract>(d, s, l, n); }
void RGBSAddAlpha(void* d, const void* s, const int l, unsigned n) { PlaneKernel<PlaneOp::Add>(d, s, l, n); }
void RGBSSubAlpha(void* d, const void* s, const int l, unsigned n) { PlaneKernel<PlaneOp::Sub>(d, s, l, n); }
void RGBExtractAlpha_MMX(void* d, const void* s, const int l, unsigned n) {
  PlaneKernelPacked<PlaneOp::Extract>(d, s, l, n);
}
void RGBSAddAlpha_MMX(void* d, const void* s, const int l, unsigned n) { PlaneKernelPacked<PlaneOp::Add>(d, s, l, n); }
void RGBSSubAlpha_MMX(void* d, const void* s, const int l, unsigned n) { PlaneKernelPacked<PlaneOp::Sub>(d, s, l, n); }

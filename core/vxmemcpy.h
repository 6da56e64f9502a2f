// Row kernels: block copies, mirrored copies, copies that skip a key colour, copies through a one-bit pattern, and
// fills, for pixels of 1, 2, 3 and 4 bytes.
//
// Counts are in pixels of the function's width (bytes for width 1). Source and destination must not overlap, except
// for `VXMemcpyB`, which copies from the last byte down so that a destination above its source is safe.
//
// Pixel values travel in the low bits of a 32-bit word: width 3 is 0x00RRGGBB stored as the bytes B, G, R.
// Key comparison: widths 1 and 2 look at the low 8 or 16 bits of the key; width 3 compares the 24-bit pixel with
// the whole key (a key with bits above bit 23 never matches); width 4 compares all 32 bits, alpha included.
// Mask pattern: `bits` bits packed eight to a byte, most significant bit first; pixel i uses bit (i mod bits), and
// the pattern restarts at every call. A pattern of 0 bits copies nothing.
#pragma once

#include <cstdint>

void* VXMemcpy(void* dst, const void* src, unsigned int n);
void* VXMemcpyS(void* dst, const void* src, unsigned int n);
void* VXMemcpyB(void* dst, const void* src, unsigned int n);

// dst[i] = src[n - 1 - i]: the row mirrored.
void* VXMemcpyR(void* dst, const void* src, unsigned int n);
void* VXMemcpy2R(void* dst, const void* src, unsigned int n);
void* VXMemcpy3R(void* dst, const void* src, unsigned int n);
void* VXMemcpy4R(void* dst, const void* src, unsigned int n);

// dst[i] = src[i] unless src[i] is the key.
void* VXMemcpyK(void* dst, const void* src, unsigned int n, std::uint32_t key);
void* VXMemcpy2K(void* dst, const void* src, unsigned int n, std::uint32_t key);
void* VXMemcpy3K(void* dst, const void* src, unsigned int n, std::uint32_t key);
void* VXMemcpy4K(void* dst, const void* src, unsigned int n, std::uint32_t key);

// dst[i] = src[n - 1 - i] unless that source pixel is the key.
void* VXMemcpyRK(void* dst, const void* src, unsigned int n, std::uint32_t key);
void* VXMemcpy2RK(void* dst, const void* src, unsigned int n, std::uint32_t key);
void* VXMemcpy3RK(void* dst, const void* src, unsigned int n, std::uint32_t key);
void* VXMemcpy4RK(void* dst, const void* src, unsigned int n, std::uint32_t key);

// dst[i] = src[i] where bit i of the pattern is set.
void* VXMemcpyM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
void* VXMemcpy2M(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
void* VXMemcpy3M(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
void* VXMemcpy4M(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);

// dst[n - 1 - i] = src[i] where bit i of the pattern is set (the pattern follows the source).
void* VXMemcpyRM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
void* VXMemcpy2RM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
void* VXMemcpy3RM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
void* VXMemcpy4RM(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);

// Writes the pixel value n times. `VXMemset3` writes the low 24 bits.
void* VXMemset(void* dst, std::uint32_t value, unsigned int n);
void* VXMemset2(void* dst, std::uint32_t value, unsigned int n);
void* VXMemset3(void* dst, std::uint32_t value, unsigned int n);
void* VXMemset4(void* dst, std::uint32_t value, unsigned int n);

using VXRowCopyProc = void* (*)(void* dst, const void* src, unsigned int n);
using VXRowKeyCopyProc = void* (*)(void* dst, const void* src, unsigned int n, std::uint32_t key);
using VXRowMaskCopyProc = void* (*)(void* dst, const void* src, unsigned int n, const void* mask, unsigned int bits);
using VXRowFillProc = void* (*)(void* dst, std::uint32_t value, unsigned int n);

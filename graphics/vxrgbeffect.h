// Line kernels that mix pixels: blend at a rate, half blend, saturating add and subtract (every format and 8-bit
// planes), blends under a per-pixel alpha (a separate 8-bit plane or the source's fourth byte, optionally scaled by
// a double-alpha factor), tone, grey, and the kernels that work on alpha planes themselves.
//
// A kernel works on one line of n pixels; the caller walks the rows (in either direction), clips, and picks the
// kernel from the tables below (the MMX tables when the processor reports MMX). The blend rate and the double-alpha
// factor are arguments, so kernels keep no state and two drawing threads may run them at once.
//
// Rate blend, per channel: c = c1 + floor((c2 - c1) * rate / 128), rate clamped to 0..128. 16-bit formats blend
// each colour field at its own width and clear the alpha bit or nibble. 8-, 24- and 32-bit kernels blend every byte
// (the fourth byte of 32-bit pixels too). The `_MMX` twins give the same bytes.
// Half blend: floor((c1 + c2) / 2) per field, fields taken with the lowest bit of each cleared (5551: the alpha bit
// is the AND of both; 4444: the alpha nibble is averaged too).
// Add / subtract, in place on dst: saturate each colour field (every byte for 8/24/32 bits). In 16-bit formats
// the top field does not saturate: an add gives the XOR of the two 5551 alpha bits (555 alike) or the 4444 alpha
// nibbles summed modulo 16; a subtract clears it.
#pragma once

#include <cstdint>

#include "graphics/vxrgbraw.h"

constexpr int kMaxBlendRate = 128;

using VXRGBAlphaProc = void (*)(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
using VXRGBHalfProc = void (*)(void* dst, const void* src1, const void* src2, unsigned int n);
using VXRGBAddProc = void (*)(void* dst, const void* src, unsigned int n);

void RGBAlpha8(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha16_565(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha16_555(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha16_5551(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha16_4444(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha24_888(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha32_888(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha32_8888(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha8_MMX(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha24_888_MMX(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha32_888_MMX(void* dst, const void* src1, const void* src2, unsigned int n, int rate);
void RGBAlpha32_8888_MMX(void* dst, const void* src1, const void* src2, unsigned int n, int rate);

void RGBHalf8(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf16_565(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf16_555(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf16_5551(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf16_4444(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf24_888(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf32_888(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf32_8888(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf8_MMX(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf24_888_MMX(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf32_888_MMX(void* dst, const void* src1, const void* src2, unsigned int n);
void RGBHalf32_8888_MMX(void* dst, const void* src1, const void* src2, unsigned int n);

void RGBAdd8(void* dst, const void* src, unsigned int n);
void RGBAdd16_565(void* dst, const void* src, unsigned int n);
void RGBAdd16_555(void* dst, const void* src, unsigned int n);
void RGBAdd16_5551(void* dst, const void* src, unsigned int n);
void RGBAdd16_4444(void* dst, const void* src, unsigned int n);
void RGBAdd24_888(void* dst, const void* src, unsigned int n);
void RGBAdd32_888(void* dst, const void* src, unsigned int n);
void RGBAdd32_8888(void* dst, const void* src, unsigned int n);
void RGBAdd8_MMX(void* dst, const void* src, unsigned int n);
void RGBAdd24_888_MMX(void* dst, const void* src, unsigned int n);
void RGBAdd32_888_MMX(void* dst, const void* src, unsigned int n);
void RGBAdd32_8888_MMX(void* dst, const void* src, unsigned int n);

void RGBSub8(void* dst, const void* src, unsigned int n);
void RGBSub16_565(void* dst, const void* src, unsigned int n);
void RGBSub16_555(void* dst, const void* src, unsigned int n);
void RGBSub16_5551(void* dst, const void* src, unsigned int n);
void RGBSub16_4444(void* dst, const void* src, unsigned int n);
void RGBSub24_888(void* dst, const void* src, unsigned int n);
void RGBSub32_888(void* dst, const void* src, unsigned int n);
void RGBSub32_8888(void* dst, const void* src, unsigned int n);
void RGBSub8_MMX(void* dst, const void* src, unsigned int n);
void RGBSub24_888_MMX(void* dst, const void* src, unsigned int n);
void RGBSub32_888_MMX(void* dst, const void* src, unsigned int n);
void RGBSub32_8888_MMX(void* dst, const void* src, unsigned int n);

// Indexed by VXPixFormat. The MMX tables hold the plain 16-bit kernels; the add and subtract tables hold the 8-bit
// plane kernel in row 0.
extern const VXRGBAlphaProc _RGBAlphaProcTable[kPixFormatCount];
extern const VXRGBAlphaProc _RGBAlphaMMXProcTable[kPixFormatCount];
extern const VXRGBHalfProc _RGBHalfProcTable[kPixFormatCount];
extern const VXRGBHalfProc _RGBHalfMMXProcTable[kPixFormatCount];
extern const VXRGBAddProc _RGBAddProcTable[kPixFormatCount];
extern const VXRGBAddProc _RGBAddMMXProcTable[kPixFormatCount];
extern const VXRGBAddProc _RGBSubProcTable[kPixFormatCount];
extern const VXRGBAddProc _RGBSubMMXProcTable[kPixFormatCount];

// Blends under a per-pixel alpha a (0..255, 255 = opaque source); only the three colour bytes of a pixel change,
// the fourth byte of a 32-bit destination stays as it was.
//   Plain kernels:  w = (a + 1) >> 1,          d' = d + floor((s - d) * w / 128).
//   `_MMX` kernels: w = a (256 for a = 255),   d' = d + floor((s - d) * w / 256), except the last pixel of an odd
//                   line and the last two of an even line, which take the plain rule. So the two forms may differ
//                   by one step in the interior of a line; both copy at 255 and keep at 0.
//   Double alpha:   t = floor(a * factor / 255) with the factor clamped to 0..128, d' = d + floor((s - d) * t / 128)
//                   in both forms.
// "Out" kernels take a separate 8-bit plane, "In" kernels the source's fourth byte. 3-byte kernels have no suffix,
// 4-byte ones end in 32. The mirrored kernels (R after Channel) read the source and the plane from right to left:
// src and alpha point at the last source pixel and the last plane byte of the span, dst at the first pixel.
void RGBAlphaOutChannel(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaOutChannel_MMX(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaOutChannel32(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaOutChannel32_MMX(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaInChannel(void* dst, const void* src, unsigned int n);
void RGBAlphaInChannel_MMX(void* dst, const void* src, unsigned int n);
void RGBAlphaOutChannelR(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaOutChannelR_MMX(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaOutChannelR32(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaOutChannelR32_MMX(void* dst, const void* src, const void* alpha, unsigned int n);
void RGBAlphaInChannelR(void* dst, const void* src, unsigned int n);
void RGBAlphaInChannelR_MMX(void* dst, const void* src, unsigned int n);

void RGBDoubleAlphaOutChannel(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaOutChannel_MMX(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaOutChannel32(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaOutChannel32_MMX(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaInChannel(void* dst, const void* src, unsigned int n, int factor);
void RGBDoubleAlphaInChannel_MMX(void* dst, const void* src, unsigned int n, int factor);
void RGBDoubleAlphaOutChannelR(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaOutChannelR_MMX(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaOutChannelR32(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaOutChannelR32_MMX(void* dst, const void* src, const void* alpha, unsigned int n, int factor);
void RGBDoubleAlphaInChannelR(void* dst, const void* src, unsigned int n, int factor);
void RGBDoubleAlphaInChannelR_MMX(void* dst, const void* src, unsigned int n, int factor);

// The weight t that a double-alpha blend gives to a plane value a under a factor (clamped to 0..128).
int DoubleAlphaWeight(int factor, std::uint8_t a);

// Tone: multipliers in 1/128 for blue (bits 0-7), green (8-15) and red (16-23) of `tone`; each channel becomes
// min(255, (c * m) >> 7). `RGBTone32` keeps the destination's fourth byte; `RGBTone32_MMX` writes it as
// min(255, (fourth source byte * bits 24-31 of tone) >> 7).
void RGBTone24(void* dst, const void* src, std::uint32_t tone, unsigned int n);
void RGBTone32(void* dst, const void* src, std::uint32_t tone, unsigned int n);
void RGBTone24_MMX(void* dst, const void* src, std::uint32_t tone, unsigned int n);
void RGBTone32_MMX(void* dst, const void* src, std::uint32_t tone, unsigned int n);

// Grey: the colour bytes become (B + G + R) / 3; the fourth byte of a 32-bit destination stays.
void RGBMonochrome24(void* dst, const void* src, unsigned int n);
void RGBMonochrome32(void* dst, const void* src, unsigned int n);

// Alpha-plane kernels over n bytes; the level's low byte is used.
//   Extract: x = min(255, src + level); dst = 17 * (x - 240) when x >= 240, else 0 (a mask opens over 16 steps).
//   SAdd: min(255, src + level). SSub: max(0, src - level).
void RGBExtractAlpha(void* dst, const void* src, const int level, unsigned int n);
void RGBSAddAlpha(void* dst, const void* src, const int level, unsigned int n);
void RGBSSubAlpha(void* dst, const void* src, const int level, unsigned int n);
void RGBExtractAlpha_MMX(void* dst, const void* src, const int level, unsigned int n);
void RGBSAddAlpha_MMX(void* dst, const void* src, const int level, unsigned int n);
void RGBSSubAlpha_MMX(void* dst, const void* src, const int level, unsigned int n);

// Conversion between the pixel formats and the Windows colour layouts RGBQUAD (B, G, R, reserved) and RGBTRIPLE
// (B, G, R): single values (colour keys, fill colours) and whole lines (picture readers, format conversion).
//
// "To" goes from the Windows layout into the pixel format, "From" from the pixel format into the Windows layout.
// Values are 0xAARRGGBB; the reserved byte of an RGBQUAD plays the part of A. Expanding a 4-, 5- or 6-bit field
// repeats its top bits in the low bits, so 0 stays 0 and the field maximum becomes 255.
// Line converters take n pixels, write exactly n destination pixels (never a byte past them) and return dst.
// Nothing here keeps state; every function may run on any thread.
#pragma once

#include <cstdint>

#include "graphics/vxrgbraw.h"

std::uint32_t RGBto16_565(std::uint32_t rgb);
std::uint32_t RGBto16_555(std::uint32_t rgb);
std::uint32_t RGBto16_5551(std::uint32_t rgb);  // the alpha bit is always 0
std::uint32_t RGBto16_4444(std::uint32_t rgb);
std::uint32_t RGBto24_888(std::uint32_t rgb);
std::uint32_t RGBto32_888(std::uint32_t rgb);
std::uint32_t RGBto32_8888(std::uint32_t rgb);

std::uint32_t RGBfrom16_565(std::uint32_t pixel);   // A = 0
std::uint32_t RGBfrom16_555(std::uint32_t pixel);   // bit 15 becomes A = 1 or 0
std::uint32_t RGBfrom16_5551(std::uint32_t pixel);
std::uint32_t RGBfrom16_4444(std::uint32_t pixel);  // every nibble times 17
std::uint32_t RGBfrom24_888(std::uint32_t pixel);
std::uint32_t RGBfrom32_888(std::uint32_t pixel);
std::uint32_t RGBfrom32_8888(std::uint32_t pixel);  // A cleared

void* RGBQUADcpyTo16_565(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyTo16_555(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyTo16_5551(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyTo16_4444(void* dst, const void* src, unsigned int n);  // reserved byte -> alpha nibble
void* RGBQUADcpyTo24_888(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyTo32_888(void* dst, const void* src, unsigned int n);   // byte copy
void* RGBQUADcpyTo32_8888(void* dst, const void* src, unsigned int n);  // byte copy

// The reserved byte written for 565/555/5551 is the A of the single-value rule (0, or the 555 top bit).
void* RGBQUADcpyFrom16_565(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyFrom16_555(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyFrom16_5551(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyFrom16_4444(void* dst, const void* src, unsigned int n);
void* RGBQUADcpyFrom24_888(void* dst, const void* src, unsigned int n);   // reserved byte 0
void* RGBQUADcpyFrom32_888(void* dst, const void* src, unsigned int n);   // byte copy
void* RGBQUADcpyFrom32_8888(void* dst, const void* src, unsigned int n);  // byte copy, alpha kept

void* RGBTRIPLEcpyTo16_565(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyTo16_555(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyTo16_5551(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyTo16_4444(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyTo24_888(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyTo32_888(void* dst, const void* src, unsigned int n);   // fourth byte 0
void* RGBTRIPLEcpyTo32_8888(void* dst, const void* src, unsigned int n);  // fourth byte (alpha) 0

void* RGBTRIPLEcpyFrom16_565(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyFrom16_555(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyFrom16_5551(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyFrom16_4444(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyFrom24_888(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyFrom32_888(void* dst, const void* src, unsigned int n);
void* RGBTRIPLEcpyFrom32_8888(void* dst, const void* src, unsigned int n);

// Indexed colour: each source byte picks an entry of a palette of exactly 256 RGBQUADs.
void* RGBQUADcpyFrom8(void* dst, const void* src, const void* palette, unsigned int n);
void* RGBTRIPLEcpyFrom8(void* dst, const void* src, const void* palette, unsigned int n);

using VXConvertProc = std::uint32_t (*)(std::uint32_t);

extern const VXConvertProc _ConvertRGBtoProcTable[kPixFormatCount];
extern const VXConvertProc _ConvertRGBfromProcTable[kPixFormatCount];
extern const VXRowCopyProc _RGBQUADcpyToProcTable[kPixFormatCount];
extern const VXRowCopyProc _RGBQUADcpyFromProcTable[kPixFormatCount];
extern const VXRowCopyProc _RGBTRIPLEcpyToProcTable[kPixFormatCount];
extern const VXRowCopyProc _RGBTRIPLEcpyFromProcTable[kPixFormatCount];

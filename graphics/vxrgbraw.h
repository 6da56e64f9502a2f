// The pixel model: formats, depths, display sizes, the three-byte colour `VXRGB`, the point procedures, and the
// per-depth tables through which the raster code finds its row kernels.
//
// Pixel bytes in memory are B, G, R(, X/A). A pixel travelling as a number is a 32-bit value whose low bits are the
// pixel as stored: 16-bit pixels in bits 0-15, 24-bit as 0x00RRGGBB, 32-bit as 0xAARRGGBB.
// Tables are indexed by the enumeration value; a null entry means the depth or format has no kernel of that kind.
// Every table is constant and may be read from any thread.
#pragma once

#include <cstdint>

#include "core/vxmemcpy.h"

enum VXPixFormat : std::uint8_t {
  pfNone = 0,
  pf16_565 = 1,
  pf16_555 = 2,
  pf16_5551 = 3,
  pf16_4444 = 4,
  pf24_888 = 5,
  pf32_888 = 6,
  pf32_8888 = 7,
};
constexpr int kPixFormatCount = 8;

// The value is the number of bytes per pixel.
enum VXBitDepth : std::uint8_t { bdNone = 0, bd8 = 1, bd16 = 2, bd24 = 3, bd32 = 4 };
constexpr int kBitDepthCount = 5;

enum VXScreenSize : std::uint8_t {
  ss320x240,
  ss640x480,
  ss800x600,
  ss1024x576,
  ss1024x768,
  ss1152x864,
  ss1280x720,
  ss1280x768,
  ss1280x800,
  ss1280x960,
  ss1280x1024,
  ss1920x1080,
  ss1920x1440,
};
constexpr int kScreenSizeCount = 13;

// The Windows colour layouts: four bytes B, G, R, reserved and three bytes B, G, R.
struct RGBQUAD {
  std::uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct RGBTRIPLE {
  std::uint8_t rgbtBlue, rgbtGreen, rgbtRed;
};
static_assert(sizeof(RGBQUAD) == 4 && sizeof(RGBTRIPLE) == 3);

// A colour of three bytes stored blue, green, red; no alpha.
struct VXRGB {
  std::uint8_t blue = 0, green = 0, red = 0;

  constexpr VXRGB() = default;
  constexpr VXRGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) : blue(b), green(g), red(r) {}
  constexpr VXRGB(const RGBQUAD& q) : blue(q.rgbBlue), green(q.rgbGreen), red(q.rgbRed) {}
  constexpr VXRGB(std::uint32_t rgb)  // 0x00RRGGBB; the top byte is ignored
      : blue(static_cast<std::uint8_t>(rgb)), green(static_cast<std::uint8_t>(rgb >> 8)),
        red(static_cast<std::uint8_t>(rgb >> 16)) {}

  constexpr RGBQUAD ToRGBQUAD() const { return {blue, green, red, 0}; }
  constexpr std::uint32_t ToDWORD() const { return std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue; }
  constexpr std::uint32_t ToCOLORREF() const { return std::uint32_t{blue} << 16 | std::uint32_t{green} << 8 | red; }
};
static_assert(sizeof(VXRGB) == 3);

// Red, green, blue and alpha masks of each format.
extern const std::uint32_t _RGBBitMask[kPixFormatCount][4];
extern const VXBitDepth _FormatAndDepthTable[kPixFormatCount];
extern const int _ScreenSizeTable[kScreenSizeCount][2];  // {width, height}

bool ChkDepthAndFormat(VXBitDepth depth, VXPixFormat format);
// Formats that the plain drawing operations copy byte for byte: equal, 32_888/32_8888, 16_555/16_5551.
bool CompatibleFormat(VXPixFormat a, VXPixFormat b);
// Exact match of both sides; `out` is left alone when nothing matches.
bool PixelToScreenSize(int width, int height, VXScreenSize& out);
// False for a value outside the enumeration; nothing is stored then.
bool ScreenSizeToPixel(VXScreenSize size, int& width, int& height);

void PointSet8Bit(void* pixel, std::uint32_t value);
void PointSet16Bit(void* pixel, std::uint32_t value);
void PointSet24Bit(void* pixel, std::uint32_t value);
void PointSet32Bit(void* pixel, std::uint32_t value);
std::uint32_t PointGet8Bit(const void* pixel);
std::uint32_t PointGet16Bit(const void* pixel);
std::uint32_t PointGet24Bit(const void* pixel);
std::uint32_t PointGet32Bit(const void* pixel);
void PointMov8Bit(void* dst, const void* src);
void PointMov16Bit(void* dst, const void* src);
void PointMov24Bit(void* dst, const void* src);
void PointMov32Bit(void* dst, const void* src);

using VXPointSetProc = void (*)(void* pixel, std::uint32_t value);
using VXPointGetProc = std::uint32_t (*)(const void* pixel);
using VXPointMovProc = void (*)(void* dst, const void* src);

extern const VXPointSetProc _PointSetProcTable[kBitDepthCount];
extern const VXPointGetProc _PointGetProcTable[kBitDepthCount];
extern const VXPointMovProc _PointMovProcTable[kBitDepthCount];
extern const VXRowCopyProc _RGBReverseProcTable[kBitDepthCount];
extern const VXRowKeyCopyProc _RGBKeyColorProcTable[kBitDepthCount];
extern const VXRowKeyCopyProc _RGBRevKeyColorProcTable[kBitDepthCount];
extern const VXRowMaskCopyProc _RGBMaskColorProcTable[kBitDepthCount];
extern const VXRowMaskCopyProc _RGBRevMaskColorProcTable[kBitDepthCount];
extern const VXRowFillProc _RGBFillProcTable[kBitDepthCount];

// Nearest-neighbour resize of an 8-bit or a three-byte image. Pitches are in pixels and may be negative (bottom-up
// pictures). Shrinking keeps the last source pixel that falls on a destination pixel; enlarging repeats pixels.
// An empty source or destination draws nothing.
void Zooming(unsigned char* src, int srcWidth, int srcHeight, int srcPitch, unsigned char* dst, int dstWidth,
             int dstHeight, int dstPitch);
void Zooming24(VXRGB* src, int srcWidth, int srcHeight, int srcPitch, VXRGB* dst, int dstWidth, int dstHeight,
               int dstPitch);

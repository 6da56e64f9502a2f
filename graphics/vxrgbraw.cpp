#include "graphics/vxrgbraw.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

const std::uint32_t _RGBBitMask[kPixFormatCount][4] = {
    {0, 0, 0, 0},
    {0xF800, 0x07E0, 0x001F, 0},
    {0x7C00, 0x03E0, 0x001F, 0},
    {0x7C00, 0x03E0, 0x001F, 0x8000},
    {0x0F00, 0x00F0, 0x000F, 0xF000},
    {0xFF0000, 0x00FF00, 0x0000FF, 0},
    {0xFF0000, 0x00FF00, 0x0000FF, 0},
    {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000},
};

const VXBitDepth _FormatAndDepthTable[kPixFormatCount] = {bdNone, bd16, bd16, bd16, bd16, bd24, bd32, bd32};

const int _ScreenSizeTable[kScreenSizeCount][2] = {
    {320, 240},   {640, 480},   {800, 600},   {1024, 576},  {1024, 768},  {1152, 864},  {1280, 720},
    {1280, 768},  {1280, 800},  {1280, 960},  {1280, 1024}, {1920, 1080}, {1920, 1440},
};

bool ChkDepthAndFormat(VXBitDepth depth, VXPixFormat format) {
  if (format == pfNone) return true;
  if (format >= kPixFormatCount || depth == bd8) return false;
  return _FormatAndDepthTable[format] == depth;
}

bool CompatibleFormat(VXPixFormat a, VXPixFormat b) {
  // Formats that differ only in what their spare bits are called.
  auto family = [](VXPixFormat f) {
    if (f == pf32_8888) return pf32_888;
    if (f == pf16_5551) return pf16_555;
    return f;
  };
  return family(a) == family(b);
}

bool PixelToScreenSize(int width, int height, VXScreenSize& out) {
  for (int i = 0; i < kScreenSizeCount; ++i) {
    if (_ScreenSizeTable[i][0] == width && _ScreenSizeTable[i][1] == height) {
      out = static_cast<VXScreenSize>(i);
      return true;
    }
  }
  return false;
}

bool ScreenSizeToPixel(VXScreenSize size, int& width, int& height) {
  const int i = static_cast<int>(size);
  if (i < 0 || i >= kScreenSizeCount) return false;
  width = _ScreenSizeTable[i][0];
  height = _ScreenSizeTable[i][1];
  return true;
}

namespace {

template <int W>
void PointSet(void* pixel, std::uint32_t value) {
  auto* p = static_cast<unsigned char*>(pixel);
  for (int i = 0; i < W; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

template <int W>
std::uint32_t PointGet(const void* pixel) {
  auto* p = static_cast<const unsigned char*>(pixel);
  std::uint32_t v = 0;
  for (int i = 0; i < W; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}

template <class Pixel>
void Zoom(Pixel* src, int srcWidth, int srcHeight, int srcPitch, Pixel* dst, int dstWidth, int dstHeight,
          int dstPitch) {
  if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
  const int n = std::max(srcWidth, dstWidth);
  const int m = std::max(srcHeight, dstHeight);
  Pixel* srcRow = src;
  Pixel* dstRow = dst;
  int srcRowAcc = 0, dstRowAcc = 0;
  for (int y = 0; y < m; ++y) {
    Pixel* s = srcRow;
    Pixel* d = dstRow;
    int srcAcc = 0, dstAcc = 0;
    for (int x = 0; x < n; ++x) {
      *d = *s;
      if ((srcAcc += srcWidth) >= n) srcAcc -= n, ++s;
      if ((dstAcc += dstWidth) >= n) dstAcc -= n, ++d;
    }
    if ((srcRowAcc += srcHeight) >= m) srcRowAcc -= m, srcRow += static_cast<std::ptrdiff_t>(srcPitch);
    if ((dstRowAcc += dstHeight) >= m) dstRowAcc -= m, dstRow += static_cast<std::ptrdiff_t>(dstPitch);
  }
}

}  // namespace

void PointSet8Bit(void* pixel, std::uint32_t value) { PointSet<1>(pixel, value); }
void PointSet16Bit(void* pixel, std::uint32_t value) { PointSet<2>(pixel, value); }
void PointSet24Bit(void* pixel, std::uint32_t value) { PointSet<3>(pixel, value); }
void PointSet32Bit(void* pixel, std::uint32_t value) { PointSet<4>(pixel, value); }
std::uint32_t PointGet8Bit(const void* pixel) { return PointGet<1>(pixel); }
std::uint32_t PointGet16Bit(const void* pixel) { return PointGet<2>(pixel); }
std::uint32_t PointGet24Bit(const void* pixel) { return PointGet<3>(pixel); }
std::uint32_t PointGet32Bit(const void* pixel) { return PointGet<4>(pixel); }
void PointMov8Bit(void* dst, const void* src) { std::memcpy(dst, src, 1); }
void PointMov16Bit(void* dst, const void* src) { std::memcpy(dst, src, 2); }
void PointMov24Bit(void* dst, const void* src) { std::memcpy(dst, src, 3); }
void PointMov32Bit(void* dst, const void* src) { std::memcpy(dst, src, 4); }

const VXPointSetProc _PointSetProcTable[kBitDepthCount] = {nullptr, PointSet8Bit, PointSet16Bit, PointSet24Bit,
                                                           PointSet32Bit};
const VXPointGetProc _PointGetProcTable[kBitDepthCount] = {nullptr, PointGet8Bit, PointGet16Bit, PointGet24Bit,
                                                           PointGet32Bit};
const VXPointMovProc _PointMovProcTable[kBitDepthCount] = {nullptr, PointMov8Bit, PointMov16Bit, PointMov24Bit,
                                                           PointMov32Bit};
const VXRowCopyProc _RGBReverseProcTable[kBitDepthCount] = {nullptr, VXMemcpyR, VXMemcpy2R, VXMemcpy3R, VXMemcpy4R};
const VXRowKeyCopyProc _RGBKeyColorProcTable[kBitDepthCount] = {nullptr, VXMemcpyK, VXMemcpy2K, VXMemcpy3K,
                                                                VXMemcpy4K};
const VXRowKeyCopyProc _RGBRevKeyColorProcTable[kBitDepthCount] = {nullptr, VXMemcpyRK, VXMemcpy2RK, VXMemcpy3RK,
                                                                   VXMemcpy4RK};
const VXRowMaskCopyProc _RGBMaskColorProcTable[kBitDepthCount] = {nullptr, VXMemcpyM, VXMemcpy2M, VXMemcpy3M,
                                                                  VXMemcpy4M};
const VXRowMaskCopyProc _RGBRevMaskColorProcTable[kBitDepthCount] = {nullptr, VXMemcpyRM, VXMemcpy2RM, VXMemcpy3RM,
                                                                     VXMemcpy4RM};
const VXRowFillProc _RGBFillProcTable[kBitDepthCount] = {nullptr, VXMemset, VXMemset2, VXMemset3, VXMemset4};

void Zooming(unsigned char* src, int srcWidth, int srcHeight, int srcPitch, unsigned char* dst, int dstWidth,
             int dstHeight, int dstPitch) {
  Zoom(src, srcWidth, srcHeight, srcPitch, dst, dstWidth, dstHeight, dstPitch);
}

void Zooming24(VXRGB* src, int srcWidth, int srcHeight, int srcPitch, VXRGB* dst, int dstWidth, int dstHeight,
               int dstPitch) {
  Zoom(src, srcWidth, srcHeight, srcPitch, dst, dstWidth, dstHeight, dstPitch);
}

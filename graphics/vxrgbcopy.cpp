#include "graphics/vxrgbcopy.h"

#include <cstring>

namespace {

constexpr std::uint32_t Channel(std::uint32_t v, int shift) { return (v >> shift) & 0xFF; }
constexpr std::uint32_t Expand5(std::uint32_t c) { return c << 3 | c >> 2; }
constexpr std::uint32_t Expand6(std::uint32_t c) { return c << 2 | c >> 4; }
constexpr std::uint32_t Expand4(std::uint32_t c) { return c << 4 | c; }
constexpr std::uint32_t Same(std::uint32_t v) { return v; }

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

}  // namespace

std::uint32_t RGBto16_565(std::uint32_t rgb) {
  return (Channel(rgb, 16) >> 3) << 11 | (Channel(rgb, 8) >> 2) << 5 | Channel(rgb, 0) >> 3;
}
std::uint32_t RGBto16_555(std::uint32_t rgb) {
  return (Channel(rgb, 16) >> 3) << 10 | (Channel(rgb, 8) >> 3) << 5 | Channel(rgb, 0) >> 3;
}
std::uint32_t RGBto16_5551(std::uint32_t rgb) { return RGBto16_555(rgb); }
std::uint32_t RGBto16_4444(std::uint32_t rgb) {
  return (Channel(rgb, 24) >> 4) << 12 | (Channel(rgb, 16) >> 4) << 8 | (Channel(rgb, 8) >> 4) << 4 |
         Channel(rgb, 0) >> 4;
}
std::uint32_t RGBto24_888(std::uint32_t rgb) { return rgb; }
std::uint32_t RGBto32_888(std::uint32_t rgb) { return rgb; }
std::uint32_t RGBto32_8888(std::uint32_t rgb) { return rgb; }

std::uint32_t RGBfrom16_565(std::uint32_t p) {
  return Expand5((p >> 11) & 0x1F) << 16 | Expand6((p >> 5) & 0x3F) << 8 | Expand5(p & 0x1F);
}
std::uint32_t RGBfrom16_555(std::uint32_t p) {
  return ((p >> 15) & 1) << 24 | Expand5((p >> 10) & 0x1F) << 16 | Expand5((p >> 5) & 0x1F) << 8 |
         Expand5(p & 0x1F);
}
std::uint32_t RGBfrom16_5551(std::uint32_t p) { return RGBfrom16_555(p); }
std::uint32_t RGBfrom16_4444(std::uint32_t p) {
  return Expand4((p >> 12) & 0xF) << 24 | Expand4((p >> 8) & 0xF) << 16 | Expand4((p >> 4) & 0xF) << 8 |
         Expand4(p & 0xF);
}
std::uint32_t RGBfrom24_888(std::uint32_t p) { return p; }
std::uint32_t RGBfrom32_888(std::uint32_t p) { return p; }
std::uint32_t RGBfrom32_8888(std::uint32_t p) { return p & 0x00FFFFFF; }

void* RGBQUADcpyTo16_565(void* d, const void* s, unsigned int n) { return Line<4, 2, RGBto16_565>(d, s, n); }
void* RGBQUADcpyTo16_555(void* d, const void* s, unsigned int n) { return Line<4, 2, RGBto16_555>(d, s, n); }
void* RGBQUADcpyTo16_5551(void* d, const void* s, unsigned int n) { return Line<4, 2, RGBto16_5551>(d, s, n); }
void* RGBQUADcpyTo16_4444(void* d, const void* s, unsigned int n) { return Line<4, 2, RGBto16_4444>(d, s, n); }
void* RGBQUADcpyTo24_888(void* d, const void* s, unsigned int n) { return Line<4, 3, Same>(d, s, n); }
void* RGBQUADcpyTo32_888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }
void* RGBQUADcpyTo32_8888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }

void* RGBQUADcpyFrom16_565(void* d, const void* s, unsigned int n) { return Line<2, 4, RGBfrom16_565>(d, s, n); }
void* RGBQUADcpyFrom16_555(void* d, const void* s, unsigned int n) { return Line<2, 4, RGBfrom16_555>(d, s, n); }
void* RGBQUADcpyFrom16_5551(void* d, const void* s, unsigned int n) { return Line<2, 4, RGBfrom16_5551>(d, s, n); }
void* RGBQUADcpyFrom16_4444(void* d, const void* s, unsigned int n) { return Line<2, 4, RGBfrom16_4444>(d, s, n); }
void* RGBQUADcpyFrom24_888(void* d, const void* s, unsigned int n) { return Line<3, 4, Same>(d, s, n); }
void* RGBQUADcpyFrom32_888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }
void* RGBQUADcpyFrom32_8888(void* d, const void* s, unsigned int n) { return ByteCopy<4>(d, s, n); }

void* RGBTRIPLEcpyTo16_565(void* d, const void* s, unsigned int n) { return Line<3, 2, RGBto16_565>(d, s, n); }
void* RGBTRIPLEcpyTo16_555(void* d, const void* s, unsigned int n) { return Line<3, 2, RGBto16_555>(d, s, n); }
void* RGBTRIPLEcpyTo16_5551(void* d, const void* s, unsigned int n) { return Line<3, 2, RGBto16_5551>(d, s, n); }
void* RGBTRIPLEcpyTo16_4444(void* d, const void* s, unsigned int n) { return Line<3, 2, RGBto16_4444>(d, s, n); }
void* RGBTRIPLEcpyTo24_888(void* d, const void* s, unsigned int n) { return ByteCopy<3>(d, s, n); }
void* RGBTRIPLEcpyTo32_888(void* d, const void* s, unsigned int n) { return Line<3, 4, Same>(d, s, n); }
void* RGBTRIPLEcpyTo32_8888(void* d, const void* s, unsigned int n) { return Line<3, 4, Same>(d, s, n); }

void* RGBTRIPLEcpyFrom16_565(void* d, const void* s, unsigned int n) { return Line<2, 3, RGBfrom16_565>(d, s, n); }
void* RGBTRIPLEcpyFrom16_555(void* d, const void* s, unsigned int n) { return Line<2, 3, RGBfrom16_555>(d, s, n); }
void* RGBTRIPLEcpyFrom16_5551(void* d, const void* s, unsigned int n) { return Line<2, 3, RGBfrom16_5551>(d, s, n); }
void* RGBTRIPLEcpyFrom16_4444(void* d, const void* s, unsigned int n) { return Line<2, 3, RGBfrom16_4444>(d, s, n); }
void* RGBTRIPLEcpyFrom24_888(void* d, const void* s, unsigned int n) { return ByteCopy<3>(d, s, n); }
void* RGBTRIPLEcpyFrom32_888(void* d, const void* s, unsigned int n) { return Line<4, 3, Same>(d, s, n); }
void* RGBTRIPLEcpyFrom32_8888(void* d, const void* s, unsigned int n) { return Line<4, 3, Same>(d, s, n); }

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

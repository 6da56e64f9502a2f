// The shell's picture loading over arbitrary bytes: a new picture (with an alpha plane when it has alpha) and a
// draw into an existing picture and plane at an offset. The kind comes from the bytes' signature (PNG, BMP, JPEG,
// else GNY). JPEG pictures of more than a million pixels are only sized, to keep each run short (a JPEG's size is
// not bounded by its data).
// Links: shell
#include <cstdint>

#include "device/gameservices.h"
#include "graphics/vxjpeg.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "shell/gamefunc.h"

namespace {

int KindOf(const std::uint8_t* data, std::size_t size) {
  if (size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') return ikPng;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ikBmp;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) return ikJpeg;
  return ikGny;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TLocalGameServices services(nullptr, nullptr, bd32);
  SetGameServices(&services);
  const int kind = KindOf(data, size);
  if (kind == ikJpeg) {
    VXMemoryStream sized(data, static_cast<int>(size));
    int w = 0, h = 0;
    if (!LoadJpeg(&sized, nullptr, &w, &h, pf32_888) || std::int64_t{w} * h > (1 << 20)) return 0;
  }
  {
    VXMemoryStream in(data, static_cast<int>(size));
    TZoRGBBits* bits = nullptr;
    TZoAlpha* alpha = nullptr;
    if (LoadImageStream(&bits, &alpha, kind, &in)) {
      services.GetMemMan().Delete(bits);
      services.GetMemMan().Delete(alpha);
    }
  }
  TZoRGBBits bits(nullptr);
  bits.SetBitDepth(bd24);
  bits.Resize(16, 8);
  bits.Create();
  TZoAlpha plane(nullptr);
  plane.Resize(16, 8);
  plane.Create();
  VXMemoryStream in(data, static_cast<int>(size));
  DrawImageStream(&bits, &plane, kind, static_cast<int>(size % 7) - 3, static_cast<int>(size % 5) - 2, &in);
  return 0;
}

// BMP readers over arbitrary bytes: colour into a 32-bit and a 16-bit buffer, alpha plane, palette and indices.
#include <cstdint>
#include <cstdlib>

#include "graphics/vxbmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int w, h;
  for (VXPixFormat f : {pf32_8888, pf16_4444, pf24_888}) {
    VXMemoryStream in(data, static_cast<int>(size));
    unsigned char* p = nullptr;
    if (LoadBmp(&in, &p, &w, &h, f)) std::free(p);
  }
  VXMemoryStream a(data, static_cast<int>(size));
  unsigned char* alpha = nullptr;
  if (LoadAlpha(&a, &alpha, &w, &h)) std::free(alpha);
  VXMemoryStream b(data, static_cast<int>(size));
  RGBQUAD* palette = nullptr;
  unsigned char* indices = nullptr;
  if (LoadPalette(&b, &palette, &indices, &w, &h)) {
    std::free(palette);
    std::free(indices);
  }
  return 0;
}

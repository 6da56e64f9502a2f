// PNG readers over arbitrary bytes: channel query, colour and alpha, white matte; large pictures are only sized,
// to keep each run short.
#include <cstdint>
#include <cstdlib>

#include "graphics/vxpng.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  VXMemoryStream query(data, static_cast<int>(size));
  ChkChannelPng(&query);
  int w = 0, h = 0;
  VXMemoryStream sized(data, static_cast<int>(size));
  if (!LoadPng(&sized, nullptr, nullptr, &w, &h, pf32_8888) || std::int64_t(w) * h > (1 << 20)) return 0;
  for (bool matte : {false, true}) {
    VXMemoryStream in(data, static_cast<int>(size));
    unsigned char* p = nullptr;
    unsigned char* a = nullptr;
    const bool ok = matte ? LoadPngWhiteMat(&in, &p, &a, &w, &h, pf16_4444) : LoadPng(&in, &p, &a, &w, &h, pf32_8888);
    if (ok) {
      std::free(p);
      std::free(a);
    }
  }
  return 0;
}

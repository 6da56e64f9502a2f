// JPEG reader over arbitrary bytes; large pictures are only sized, to keep each run short.
#include <cstdint>
#include <cstdlib>

#include "graphics/vxjpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int w = 0, h = 0;
  VXMemoryStream sized(data, static_cast<int>(size));
  if (!LoadJpeg(&sized, nullptr, &w, &h, pf32_888) || std::int64_t(w) * h > (1 << 20)) return 0;
  VXMemoryStream in(data, static_cast<int>(size));
  unsigned char* p = nullptr;
  if (LoadJpeg(&in, &p, &w, &h, pf16_565)) std::free(p);
  return 0;
}

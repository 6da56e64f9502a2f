// GNY reader over arbitrary bytes, with the built-in key.
#include <cstdint>
#include <cstdlib>

#include "graphics/vxgny.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int w, h;
  for (VXPixFormat f : {pf32_888, pf16_565}) {
    VXMemoryStream in(data, static_cast<int>(size));
    unsigned char* p = nullptr;
    if (LoadGny(&in, &p, &w, &h, f, GnyKey(0))) std::free(p);
  }
  return 0;
}

// Stream decoding of the pack coders on arbitrary bytes: the first byte picks the coder, the next three the decoded
// length. The destination never receives more than that length, and exactly that on success.
#include <cstdint>
#include <cstdlib>

#include "core/vxcompstream.h"
#include "core/vxstream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > (1u << 20)) return 0;
  const int kind = data[0] & 3;
  const int outSize = (data[1] | (data[2] << 8) | (data[3] << 16)) & 0x3FFFF;
  VXMemoryStream source(data + 4, static_cast<int>(size - 4));
  VXMemoryStream destination;
  VXCompStream comp;
  const bool ok = comp.DecodeBuffer(&source, static_cast<int>(size - 4), &destination, outSize, kind);
  if (destination.GetSize() > outSize || (ok && destination.GetSize() != outSize)) std::abort();
  return 0;
}

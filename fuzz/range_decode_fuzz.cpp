// Range decoder on arbitrary bytes; the first two bytes choose the destination capacity. Also checks that the
// same bytes survive an encode and decode.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/vxrange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  const int capacity = data[0] | (data[1] << 8);
  const int length = static_cast<int>(size - 2);
  VXRangeDecode dec;
  if (!dec.Create()) std::abort();
  std::vector<unsigned char> out(static_cast<std::size_t>(capacity));
  dec.Decode(data + 2, out.data(), length, capacity);
  if (dec.outputLength < 0 || dec.outputLength > capacity) std::abort();

  VXRangeEncode enc;
  VXRangeDecode back;
  if (!enc.Create() || !back.Create()) std::abort();
  std::vector<unsigned char> packed(size * 2 + 64), plain(size);
  if (!enc.Encode(data + 2, packed.data(), length, static_cast<int>(packed.size()))) std::abort();
  if (!back.Decode(packed.data(), plain.data(), enc.outputLength, length)) std::abort();
  if (back.outputLength != length || std::memcmp(plain.data(), data + 2, static_cast<std::size_t>(length)) != 0)
    std::abort();
  return 0;
}

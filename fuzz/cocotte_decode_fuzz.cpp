// Cocotte decoder on arbitrary bytes; the first three bytes choose the decoded length. Also checks that the same
// bytes survive an encode (1,024-byte blocks, so that small inputs span several) and decode.
#include <cstdint>
#include <cstdlib>

#include "core/vxcocotte.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > (1u << 20)) return 0;
  const int outSize = (data[0] | (data[1] << 8) | (data[2] << 16)) & 0x3FFFF;
  const int length = static_cast<int>(size - 3);
  {
    VXByteSource in(data + 3, static_cast<std::size_t>(length));
    VXByteSink out;
    VXCocotteDecode dec;
    const bool ok = dec.Decode(length, outSize, in.ReadCallback(), out.WriteCallback(), {});
    if (out.Bytes().size() > static_cast<std::size_t>(outSize) || (ok && out.Bytes().size() != static_cast<std::size_t>(outSize)))
      std::abort();
  }
  VXByteSource plain(data + 3, static_cast<std::size_t>(length));
  VXByteSink packed;
  VXCocotteMiniEncode enc;
  if (!enc.Encode(length, length + 6 * (length / 1024 + 1), plain.ReadCallback(), packed.WriteCallback(), {}))
    std::abort();
  VXByteSource in(packed.Bytes().data(), packed.Bytes().size());
  VXByteSink out;
  VXCocotteDecode dec;
  if (!dec.Decode(static_cast<int>(packed.Bytes().size()), length, in.ReadCallback(), out.WriteCallback(), {}))
    std::abort();
  if (out.Bytes() != std::vector<unsigned char>(data + 3, data + size)) std::abort();
  return 0;
}

// The harness the pump coders' fuzz targets share: the decoder on arbitrary bytes (the first three choose the
// decoded length, at most 64 KiB so that no input slows the run by asking for a large output) must never write more
// than asked, nor less when it reports success; then the same bytes must survive an encode into `capacity(length)`
// bytes and a decode. One encoder and one decoder serve every input, as a pack writer's or reader's do: their tables
// are built once, and a call must not depend on what the last one left.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/vxbytepipe.h"

template <class Encoder, class Decoder, class Capacity>
int FuzzPumpCoder(const std::uint8_t* data, std::size_t size, Capacity&& capacity) {
  if (size < 3 || size > (1u << 20)) return 0;
  const int outSize = (data[0] | (data[1] << 8) | (data[2] << 16)) % ((1 << 16) + 1);
  const int length = static_cast<int>(size - 3);
  static Encoder enc;
  static Decoder dec;
  {
    VXByteSource in(data + 3, static_cast<std::size_t>(length));
    VXByteSink out;
    const bool ok = dec.Decode(length, outSize, in.ReadCallback(), out.WriteCallback(), {});
    if (out.Bytes().size() > static_cast<std::size_t>(outSize) || (ok && out.Bytes().size() != static_cast<std::size_t>(outSize)))
      std::abort();
  }
  VXByteSource plain(data + 3, static_cast<std::size_t>(length));
  VXByteSink packed;
  if (!enc.Encode(length, capacity(length), plain.ReadCallback(), packed.WriteCallback(), {})) std::abort();
  VXByteSource in(packed.Bytes().data(), packed.Bytes().size());
  VXByteSink out;
  if (!dec.Decode(static_cast<int>(packed.Bytes().size()), length, in.ReadCallback(), out.WriteCallback(), {}))
    std::abort();
  if (out.Bytes() != std::vector<unsigned char>(data + 3, data + size)) std::abort();
  return 0;
}

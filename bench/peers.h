// zlib and bzip2 as the peers of the pack coders, on whole buffers in memory.
#pragma once

#include <bzlib.h>
#include <zlib.h>

#include <vector>

namespace bench {

using Bytes = std::vector<unsigned char>;

// Deflate at `level`; Z_HUFFMAN_ONLY as the strategy leaves only the entropy coder, the range coder's peer.
inline Bytes ZlibCompress(const Bytes& plain, int level = 6, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy);
  Bytes packed(deflateBound(&z, static_cast<uLong>(plain.size())));
  z.next_in = const_cast<Bytes::value_type*>(plain.data());
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = packed.data();
  z.avail_out = static_cast<uInt>(packed.size());
  deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  return packed;
}

// False unless the whole of `out` was filled.
inline bool ZlibInflate(const Bytes& packed, Bytes& out) {
  uLongf size = static_cast<uLongf>(out.size());
  return uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size())) == Z_OK && size == out.size();
}

inline Bytes Bzip2Compress(const Bytes& plain) {
  unsigned size = static_cast<unsigned>(plain.size() * 101 / 100 + 600);
  Bytes packed(size);
  BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(packed.data()), &size,
                           reinterpret_cast<char*>(const_cast<unsigned char*>(plain.data())),
                           static_cast<unsigned>(plain.size()), 9, 0, 0);
  packed.resize(size);
  return packed;
}

inline bool Bzip2Decompress(const Bytes& packed, Bytes& out) {
  unsigned size = static_cast<unsigned>(out.size());
  return BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &size,
                                    reinterpret_cast<char*>(const_cast<unsigned char*>(packed.data())),
                                    static_cast<unsigned>(packed.size()), 0, 0) == BZ_OK &&
         size == out.size();
}

}  // namespace bench

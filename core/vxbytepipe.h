// Memory ends for the pump-style coders, which pull input and push output through callbacks:
//
//   VXByteSource in(packed.data(), packed.size());
//   VXByteSink out;
//   decoder.Decode(packedSize, size, in.ReadCallback(), out.WriteCallback(), {});
//   use(out.Bytes());
//
// The source hands out at most what it holds (a short read tells the coder the input ended); the sink accepts
// everything unless it was given a limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/vxcallback.h"

using VXReadCallback = VXBaseCallback2<int, void*, int>;
using VXWriteCallback = VXBaseCallback2<int, void*, int>;
using VXProgressCallback = VXBaseCallback1<bool, int>;

class VXByteSource {
public:
  VXByteSource(const void* data, std::size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}

  int Read(void* buffer, int count);  // copies min(count, remaining) bytes and returns that number
  std::size_t Consumed() const { return pos_; }
  VXReadCallback ReadCallback();

private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class VXByteSink {
public:
  VXByteSink() = default;
  explicit VXByteSink(std::size_t limit) : limit_(limit) {}

  int Write(void* buffer, int count);  // appends up to the limit and returns the number appended
  const std::vector<unsigned char>& Bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }
  VXWriteCallback WriteCallback();

private:
  std::vector<unsigned char> bytes_;
  std::size_t limit_ = SIZE_MAX;
};

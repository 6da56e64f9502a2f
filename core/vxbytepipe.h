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

// The coders' pump steps. A read or write that moves fewer bytes than asked throws std::runtime_error with the
// coder's own text; an unbound callback throws "Invalid Callback". Progress is reported as done * 100 / total
// (100 when total is below 1), only when the callback is bound.
void VXPullBytes(const VXReadCallback& read, void* buffer, int count, const char* errorText);
void VXPushBytes(const VXWriteCallback& write, void* buffer, int count, const char* errorText);
int VXReportProgress(const VXProgressCallback& progress, std::int64_t done, std::int64_t total);

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

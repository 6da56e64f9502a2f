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
#include <string>
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

// The frame every pump coder shares: one call at a time, the call's sizes and callbacks, the pull, push and
// progress steps carrying the coder's own error texts, and the guard that turns a thrown std::exception into a
// failed call. A coder's Encode or Decode hands its arguments to Run and implements the three steps below.
class VXPumpCoder {
public:
  // Encoders: output of the last successful call, 0 after a failure. Decoders: output produced by the last call,
  // even when it failed.
  int resultSize = 0;

protected:
  enum class Role { kEncoder, kDecoder };
  VXPumpCoder(Role role, const std::string& name);
  virtual ~VXPumpCoder() = default;

  // Refuses a call made while another runs and negative sizes. inSize 0 succeeds at once for an encoder, and for a
  // decoder only when outSize is 0 too (nothing to decode cannot stand for a non-empty entry).
  bool Run(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress);

  // Resets the coder's state for the call. Buffers and tables are made by the first call and kept for the next
  // ones (a coder that runs many times builds them once); they go with the coder.
  virtual void Start() = 0;
  virtual bool Code() = 0;                     // the coding work; false or a thrown std::exception fails the call
  virtual std::int64_t Produced() const = 0;   // output of the call so far

  void Pull(void* buffer, int count) const { VXPullBytes(read_, buffer, count, readError_.c_str()); }
  void Push(void* buffer, int count) const { VXPushBytes(write_, buffer, count, writeError_.c_str()); }
  void ReportProgress(std::int64_t done) const { VXReportProgress(progress_, done, inSize_); }

  std::int64_t inSize_ = 0;
  std::int64_t outSize_ = 0;
  VXReadCallback read_;
  VXWriteCallback write_;
  VXProgressCallback progress_;

private:
  Role role_;
  std::string readError_;
  std::string writeError_;
  bool busy_ = false;
};

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

#include "core/vxbytepipe.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

void VXPullBytes(const VXReadCallback& read, void* buffer, int count, const char* errorText) {
  if (count > 0 && read.Invoke(buffer, count) != count) throw std::runtime_error(errorText);
}

void VXPushBytes(const VXWriteCallback& write, void* buffer, int count, const char* errorText) {
  if (count > 0 && write.Invoke(buffer, count) != count) throw std::runtime_error(errorText);
}

int VXReportProgress(const VXProgressCallback& progress, std::int64_t done, std::int64_t total) {
  const int percent = total < 1 ? 100 : static_cast<int>(done * 100 / total);
  if (progress.IsValid()) progress.Invoke(percent);
  return percent;
}

VXPumpCoder::VXPumpCoder(Role role, const std::string& name)
    : role_(role), readError_(name + " : ReadBuffer Error"), writeError_(name + " : WriteBuffer Error") {}

bool VXPumpCoder::Run(int inSize, int outSize, VXReadCallback read, VXWriteCallback write,
                      VXProgressCallback progress) {
  if (busy_) return false;
  const bool decoder = role_ == Role::kDecoder;
  if (decoder) resultSize = 0;
  if (inSize == 0) {
    resultSize = 0;
    return decoder ? outSize == 0 : true;
  }
  if (inSize < 0 || outSize < 0) return false;
  busy_ = true;
  bool success = false;
  try {
    inSize_ = inSize;
    outSize_ = outSize;
    read_ = read;
    write_ = write;
    progress_ = progress;
    resultSize = 0;
    Start();
    success = Code();
  } catch (const std::exception&) {
    success = false;
  }
  resultSize = success || decoder ? static_cast<int>(Produced()) : 0;
  busy_ = false;
  return success;
}

int VXByteSource::Read(void* buffer, int count) {
  if (count <= 0) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count), size_ - pos_);
  if (n > 0) std::memcpy(buffer, data_ + pos_, n);
  pos_ += n;
  return static_cast<int>(n);
}

VXReadCallback VXByteSource::ReadCallback() { return VXCallback2<VXByteSource, int, void*, int>(this, &VXByteSource::Read); }

int VXByteSink::Write(void* buffer, int count) {
  if (count <= 0) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count), limit_ - bytes_.size());
  const auto* p = static_cast<const unsigned char*>(buffer);
  bytes_.insert(bytes_.end(), p, p + n);
  return static_cast<int>(n);
}

VXWriteCallback VXByteSink::WriteCallback() { return VXCallback2<VXByteSink, int, void*, int>(this, &VXByteSink::Write); }

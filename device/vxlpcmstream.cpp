#include "device/vxlpcmstream.h"

#include <algorithm>
#include <cstdint>
#include <limits>

std::int64_t VXPcmStream::Seek(std::int64_t offset, VXSeekWhence whence) {
  if (!seekable_ || !open_ || FrameBytes() <= 0) return -1;
  if (offset < std::numeric_limits<std::int32_t>::min() || offset > std::numeric_limits<std::int32_t>::max()) return -1;
  std::int64_t target = GetDecodePoint();
  if (whence == VXSeekBegin) target = offset;
  if (whence == VXSeekCurrent) target += offset;
  if (whence == VXSeekEnd) target = GetDecodeLength() + offset;
  if (target < 0 || target > GetDecodeLength()) return -1;
  if (!SeekSample(static_cast<int>(target / FrameBytes()))) return -1;
  return GetDecodePoint();
}

bool VXPcmStream::MoveToSample(int sample) {
  if (!open_ || FrameBytes() <= 0 || sample < 0 || sample > samples_) return false;
  if (seekable_) return SeekSample(sample);
  const std::int64_t target = static_cast<std::int64_t>(sample) * FrameBytes();
  if (GetDecodePoint() > target && !Rewind()) return false;
  unsigned char scratch[16384];
  while (GetDecodePoint() < target) {
    const int piece = static_cast<int>(std::min<std::int64_t>(target - GetDecodePoint(), sizeof scratch));
    if (Decode(scratch, piece) <= 0) return false;
  }
  return true;
}

bool VXPcmStream::CodeSeekForward(std::int64_t position) {
  if (code_ == nullptr || position < 0) return false;
  if (code_->IsSeekable()) return code_->SetPosition(position);
  std::int64_t current = code_->GetPosition();
  if (current > position) {
    if (!code_->Reset()) return false;
    current = code_->GetPosition();
  }
  return CodeDummyRead(position - current);
}

bool VXPcmStream::CodeDummyRead(std::int64_t count) {
  if (code_ == nullptr || count < 0) return false;
  unsigned char scratch[4096];
  while (count > 0) {
    const int piece = static_cast<int>(std::min<std::int64_t>(count, sizeof scratch));
    if (code_->Read(scratch, piece) != piece) return false;
    count -= piece;
  }
  return true;
}

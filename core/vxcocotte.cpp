#include "core/vxcocotte.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "core/vxstd.h"

namespace {

constexpr int kMaxTransform = 65536;  // largest block either transform takes
constexpr int kMaxBlock = 32768;      // largest block a stream holds
constexpr int kHeader = 4;
constexpr int kIndexBytes = 2;
constexpr int kCodedCapacity = 65540;
constexpr int kMaxStoredBlock = 65535;  // S is a u16

}  // namespace

// ---- VXBWTEncode ----

bool VXBWTEncode::Create() {
  if (created_) return true;
  try {
    order_.resize(kMaxTransform);
    rank_.resize(kMaxTransform);
    work_.resize(kMaxTransform);
    nextRank_.resize(kMaxTransform);
    counts_.resize(kMaxTransform + 1);
  } catch (const std::bad_alloc&) {
    Release();
    throw std::runtime_error("VXBWTEncode : Memory Error");
  }
  created_ = true;
  return true;
}

void VXBWTEncode::Release() {
  order_ = {};
  rank_ = {};
  work_ = {};
  nextRank_ = {};
  counts_ = {};
  created_ = false;
}

// Orders the cyclic rotations: a counting sort on the first two bytes, then rounds that double the compared length
// (each round a stable counting sort of the rotations by the rank of their second half, then of their first half),
// until every rank differs or the whole block has been compared. Equal rotations of a periodic block keep the
// order of their starts, which decides only which of the equal primary indexes is written.
void VXBWTEncode::SortRotations(const unsigned char* b, int n) {
  const auto un = static_cast<std::uint32_t>(n);
  // The two-byte sort as two stable byte passes (second byte, then first), so that a small block does not pay for
  // 65,536 counters.
  std::uint32_t byteCounts[257];
  std::fill(std::begin(byteCounts), std::end(byteCounts), 0);
  for (int i = 0; i < n; ++i) ++byteCounts[b[(i + 1) % n] + 1];
  for (int k = 1; k <= 256; ++k) byteCounts[k] += byteCounts[k - 1];
  for (int i = 0; i < n; ++i) work_[byteCounts[b[(i + 1) % n]]++] = static_cast<std::uint32_t>(i);
  std::fill(std::begin(byteCounts), std::end(byteCounts), 0);
  for (int i = 0; i < n; ++i) ++byteCounts[b[i] + 1];
  for (int k = 1; k <= 256; ++k) byteCounts[k] += byteCounts[k - 1];
  for (int r = 0; r < n; ++r) order_[byteCounts[b[work_[r]]]++] = work_[r];
  std::uint32_t classes = 1;
  rank_[order_[0]] = 0;
  for (int r = 1; r < n; ++r) {
    const std::uint32_t a = order_[r], p = order_[r - 1];
    if (b[a] != b[p] || b[(a + 1) % un] != b[(p + 1) % un]) ++classes;
    rank_[a] = classes - 1;
  }
  for (std::uint32_t h = 2; h < un && classes < un; h <<= 1) {
    for (int r = 0; r < n; ++r) work_[r] = (order_[r] + un - h % un) % un;  // sorted by their second half
    std::fill(counts_.begin(), counts_.begin() + classes + 1, 0);
    for (int r = 0; r < n; ++r) ++counts_[rank_[work_[r]]];
    for (std::uint32_t k = 1; k < classes; ++k) counts_[k] += counts_[k - 1];
    for (int r = n - 1; r >= 0; --r) order_[--counts_[rank_[work_[r]]]] = work_[r];
    std::uint32_t next = 1;
    nextRank_[order_[0]] = 0;
    for (int r = 1; r < n; ++r) {
      const std::uint32_t a = order_[r], p = order_[r - 1];
      if (rank_[a] != rank_[p] || rank_[(a + h) % un] != rank_[(p + h) % un]) ++next;
      nextRank_[a] = next - 1;
    }
    rank_.swap(nextRank_);
    classes = next;
  }
}

bool VXBWTEncode::Encode(const unsigned char* block, unsigned char* out, int length) {
  if (!created_ || busy_ || length < 1 || length > kMaxTransform) return false;
  busy_ = true;
  if (std::all_of(block, block + length, [&](unsigned char c) { return c == block[0]; })) {
    VXPutLE16(out, 0);
    std::memcpy(out + kIndexBytes, block, static_cast<std::size_t>(length));
  } else {
    SortRotations(block, length);
    unsigned char* column = out + kIndexBytes;
    for (int r = 0; r < length; ++r) {
      const std::uint32_t start = order_[r];
      if (start == 0) VXPutLE16(out, static_cast<std::uint16_t>(r));
      column[r] = block[start == 0 ? length - 1 : start - 1];
    }
  }
  busy_ = false;
  return true;
}

// ---- VXBWTDecode ----

bool VXBWTDecode::Create(int maxLength) {
  if (maxLength < 1 || maxLength > kMaxTransform) return false;
  if (maxLength != maxLength_) {
    successor_.assign(static_cast<std::size_t>(maxLength), 0);
    maxLength_ = maxLength;
  }
  return true;
}

void VXBWTDecode::Release() {
  successor_ = {};
  maxLength_ = 0;
}

bool VXBWTDecode::Decode(const unsigned char* in, unsigned char* out, int length) {
  if (busy_ || length <= kIndexBytes || length > maxLength_ + kIndexBytes) return false;
  const int n = length - kIndexBytes;
  const int index = VXGetLE16(in);
  if (index >= n) return false;
  busy_ = true;
  const unsigned char* column = in + kIndexBytes;
  std::uint32_t end[256] = {};
  for (int i = 0; i < n; ++i) ++end[column[i]];
  for (int c = 1; c < 256; ++c) end[c] += end[c - 1];  // one past each value's last slot
  for (int i = n - 1; i >= 0; --i) successor_[--end[column[i]]] = static_cast<std::uint32_t>(i);
  std::uint32_t position = successor_[index];
  for (int i = 0; i < n; ++i) {
    out[i] = column[position];
    position = successor_[position];
  }
  busy_ = false;
  return true;
}

// ---- Move to front ----

void VXMTFEncode::Initialize() {
  for (int i = 0; i < 256; ++i) list_[i] = static_cast<unsigned char>(i);
}

bool VXMTFEncode::Encode(unsigned char* buffer, int length) {
  for (int i = 0; i < length; ++i) {
    const unsigned char c = buffer[i];
    const auto k = static_cast<std::size_t>(static_cast<const unsigned char*>(std::memchr(list_, c, 256)) - list_);
    std::memmove(list_ + 1, list_, k);
    list_[0] = c;
    buffer[i] = static_cast<unsigned char>(k);
  }
  return true;
}

void VXMTFDecode::Initialize() {
  for (int i = 0; i < 256; ++i) list_[i] = static_cast<unsigned char>(i);
}

bool VXMTFDecode::Decode(unsigned char* buffer, int length) {
  for (int i = 0; i < length; ++i) {
    const unsigned char k = buffer[i];
    const unsigned char c = list_[k];
    std::memmove(list_ + 1, list_, k);
    list_[0] = c;
    buffer[i] = c;
  }
  return true;
}

// ---- VXCocotteEncode ----

void VXCocotteEncode::Start() {
  consumed_ = produced_ = 0;
  mtf_.Initialize();  // each stream starts from the identity list and a fresh model
  range_.Reset();
  if (in_.empty()) {
    in_.assign(static_cast<std::size_t>(blockSize_), 0);
    work_.assign(static_cast<std::size_t>(blockSize_ + kIndexBytes), 0);
    out_.assign(kHeader + kCodedCapacity, 0);
  }
  bwt_.Create();
}

void VXCocotteEncode::WriteOutBuffer(int length) {
  Push(out_.data(), length);
  produced_ += length;
}

void VXCocotteEncode::EncodeBlock(int length) {
  const int transformed = length + kIndexBytes;
  if (!bwt_.Encode(in_.data(), work_.data(), length)) throw std::runtime_error("VXBWTEncode : Memory Error");
  mtf_.Encode(work_.data(), transformed);
  int blockBytes = 0;
  if (range_.Encode(work_.data(), out_.data() + kHeader, transformed, kCodedCapacity) &&
      range_.outputLength < transformed) {
    blockBytes = range_.outputLength + kHeader;
  } else {  // coding does not pay: store, and both sides restart the model
    std::memcpy(out_.data() + kHeader, work_.data(), static_cast<std::size_t>(transformed));
    blockBytes = transformed + kHeader;
    range_.Reset();
  }
  VXPutLE16(out_.data(), static_cast<std::uint16_t>(blockBytes));
  VXPutLE16(out_.data() + 2, static_cast<std::uint16_t>(length));
  if (produced_ + blockBytes > outSize_) throw std::length_error("VXCocotteEncode : Output Size Over");
  WriteOutBuffer(blockBytes);
}

bool VXCocotteEncode::Code() {
  while (consumed_ < inSize_) {
    const int length = static_cast<int>(std::min<std::int64_t>(blockSize_, inSize_ - consumed_));
    Pull(in_.data(), length);
    EncodeBlock(length);
    consumed_ += length;
    ReportProgress(consumed_);
  }
  return true;
}

// ---- VXCocotteDecode ----

void VXCocotteDecode::Start() {
  consumed_ = produced_ = 0;
  mtf_.Initialize();
  range_.Reset();
  if (in_.empty()) {
    in_.assign(kMaxStoredBlock, 0);
    work_.assign(kMaxBlock + kIndexBytes, 0);
    out_.assign(kMaxBlock, 0);
  }
  bwt_.Create(kMaxBlock);
}

// Reads one block and checks its header against what a block can be and what input is left.
int VXCocotteDecode::ReadInBuffer() {
  const std::runtime_error broken("VXCocotteDecode : Broken Block");
  if (inSize_ - consumed_ < kHeader) throw broken;
  Pull(in_.data(), 2);
  blockBytes_ = VXGetLE16(in_.data());
  if (blockBytes_ < kHeader + 2 || blockBytes_ > inSize_ - consumed_) throw broken;
  Pull(in_.data() + 2, blockBytes_ - 2);
  consumed_ += blockBytes_;
  const int length = VXGetLE16(in_.data() + 2);
  if (length < 1 || length > kMaxBlock || blockBytes_ > length + kHeader + kIndexBytes) throw broken;
  return length;
}

void VXCocotteDecode::WriteOutBuffer(int length) {
  Push(out_.data(), length);
  produced_ += length;
}

void VXCocotteDecode::DecodeBlock(int length) {
  const std::runtime_error broken("VXCocotteDecode : Broken Block");
  const int transformed = length + kIndexBytes;
  const unsigned char* payload = in_.data() + kHeader;
  if (blockBytes_ == transformed + kHeader) {
    std::memcpy(work_.data(), payload, static_cast<std::size_t>(transformed));
    range_.Reset();
  } else if (!range_.Decode(payload, work_.data(), blockBytes_ - kHeader, transformed) ||
             range_.outputLength != transformed) {
    throw broken;  // a short payload would leave part of the block undefined
  }
  if (!mtf_.Decode(work_.data(), transformed) || !bwt_.Decode(work_.data(), out_.data(), transformed)) throw broken;
}

bool VXCocotteDecode::Code() {
  while (consumed_ < inSize_ && produced_ < outSize_) {
    const int length = ReadInBuffer();
    DecodeBlock(length);
    WriteOutBuffer(static_cast<int>(std::min<std::int64_t>(length, outSize_ - produced_)));
    ReportProgress(consumed_);
  }
  return produced_ == outSize_;
}

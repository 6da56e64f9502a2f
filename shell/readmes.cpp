#include "shell/readmes.h"

#include <algorithm>
#include <cstring>

#include "core/vxstd.h"

TReadMesTable ReadMesTable;

namespace {

constexpr std::uint32_t kBlockHeader = 12;  // payload, script, stamp
constexpr std::uint32_t kRangeSize = 4;

enum : std::uint32_t { kUsed = 0, kCount = 4 };
enum : std::uint32_t { kPayload = 0, kScript = 4, kStamp = 8 };

}  // namespace

TReadMesTable::TReadMesTable() : buffer_(new std::uint8_t[kBufferSize]()) { PutWord(kUsed, kHeaderSize); }

std::uint32_t TReadMesTable::GetUsedSize() const { return Word(kUsed); }

const std::uint8_t* TReadMesTable::GetBuffer() const { return buffer_.get(); }

std::uint32_t TReadMesTable::Word(std::uint32_t offset) const { return VXGetLE32(buffer_.get() + offset); }

void TReadMesTable::PutWord(std::uint32_t offset, std::uint32_t value) { VXPutLE32(buffer_.get() + offset, value); }

void TReadMesTable::Load(const void* data, int size) {
  if (data == nullptr || size < static_cast<int>(kHeaderSize) || size >= static_cast<int>(kBufferSize)) return;
  std::memmove(buffer_.get(), data, static_cast<std::size_t>(size));  // may be our own buffer
  const std::uint32_t end = std::min(Word(kUsed), static_cast<std::uint32_t>(size));
  const std::uint32_t count = Word(kCount);
  std::uint32_t offset = kHeaderSize;
  std::uint32_t kept = 0;
  while (kept < count && end >= offset && end - offset >= kBlockHeader) {
    const std::uint32_t payload = Word(offset + kPayload);
    if (payload % kRangeSize != 0 || payload > end - offset - kBlockHeader) break;
    offset += kBlockHeader + payload;
    ++kept;
  }
  PutWord(kUsed, offset);
  PutWord(kCount, kept);
  cached_ = false;
}

int TReadMesTable::FindBlock(int script) const {
  if (cached_ && cachedScript_ == script) return static_cast<int>(cachedOffset_);
  cached_ = false;
  const std::uint32_t used = Word(kUsed);
  std::uint32_t offset = kHeaderSize;
  for (std::uint32_t i = 0, count = Word(kCount); i < count && offset <= used && used - offset >= kBlockHeader; ++i) {
    if (static_cast<int>(Word(offset + kScript)) == script) {
      cached_ = true;
      cachedScript_ = script;
      cachedOffset_ = offset;
      return static_cast<int>(offset);
    }
    offset += kBlockHeader + Word(offset + kPayload);
  }
  return -1;
}

void TReadMesTable::MoveTail(std::uint32_t from, std::int64_t delta) {
  const std::uint32_t used = Word(kUsed);
  std::memmove(buffer_.get() + from + delta, buffer_.get() + from, used - from);
  PutWord(kUsed, static_cast<std::uint32_t>(used + delta));
}

void TReadMesTable::SetScriptStamp(int script, std::uint32_t stamp) {
  const int found = FindBlock(script);
  if (found >= 0) {
    const auto block = static_cast<std::uint32_t>(found);
    if (Word(block + kStamp) == stamp) return;
    const std::uint32_t payload = Word(block + kPayload);
    MoveTail(block + kBlockHeader + payload, -static_cast<std::int64_t>(payload));
    PutWord(block + kPayload, 0);
    PutWord(block + kStamp, stamp);
    return;
  }
  const std::uint32_t used = Word(kUsed);
  if (used + kBlockHeader >= kBufferSize) return;
  PutWord(used + kPayload, 0);
  PutWord(used + kScript, static_cast<std::uint32_t>(script));
  PutWord(used + kStamp, stamp);
  PutWord(kUsed, used + kBlockHeader);
  PutWord(kCount, Word(kCount) + 1);
}

void TReadMesTable::InsertRange(std::uint32_t block, std::uint32_t at, std::uint16_t message) {
  if (Word(kUsed) + kRangeSize >= kBufferSize) return;
  MoveTail(at, kRangeSize);
  VXPutLE16(buffer_.get() + at, message);
  VXPutLE16(buffer_.get() + at + 2, message);
  PutWord(block + kPayload, Word(block + kPayload) + kRangeSize);
}

void TReadMesTable::RemoveRange(std::uint32_t block, std::uint32_t at) {
  MoveTail(at + kRangeSize, -static_cast<std::int64_t>(kRangeSize));
  PutWord(block + kPayload, Word(block + kPayload) - kRangeSize);
}

void TReadMesTable::MarkRead(std::uint32_t key) {
  const int found = FindBlock(static_cast<int>(key >> 16));
  if (found < 0) return;
  const auto block = static_cast<std::uint32_t>(found);
  const auto m = static_cast<std::uint16_t>(key & 0xFFFF);
  const std::uint32_t ranges = block + kBlockHeader;
  const std::uint32_t end = ranges + Word(block + kPayload);
  bool extended = false;  // the previous range now ends at m
  for (std::uint32_t at = ranges; at < end; at += kRangeSize) {
    std::uint8_t* range = buffer_.get() + at;
    const int first = VXGetLE16(range);
    const int last = VXGetLE16(range + 2);
    if (first <= m && m <= last) return;
    if (m == last + 1) {
      VXPutLE16(range + 2, m);
      extended = true;
    } else if (first != 0 && m == first - 1) {
      if (extended) {
        VXPutLE16(range - 2, static_cast<std::uint16_t>(last));
        RemoveRange(block, at);
      } else {
        VXPutLE16(range, m);
      }
      return;
    } else if (m < first) {
      if (!extended) InsertRange(block, at, m);
      return;
    }
  }
  if (!extended) InsertRange(block, end, m);
}

bool TReadMesTable::IsRead(std::uint32_t key) const {
  const int found = FindBlock(static_cast<int>(key >> 16));
  if (found < 0) return false;
  const auto block = static_cast<std::uint32_t>(found);
  const auto m = static_cast<int>(key & 0xFFFF);
  const std::uint32_t ranges = block + kBlockHeader;
  const std::uint32_t end = ranges + Word(block + kPayload);
  for (std::uint32_t at = ranges; at < end; at += kRangeSize) {
    const std::uint8_t* range = buffer_.get() + at;
    if (VXGetLE16(range) > m) return false;
    if (m <= VXGetLE16(range + 2)) return true;
  }
  return false;
}

#include "core/vxmariel.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "core/vxstd.h"

namespace {

constexpr int kKeys = 65536;
constexpr int kWindow = 1536;          // history kept on both sides; distances stay below it
constexpr int kHashNodes = kWindow - 1;
constexpr int kMaxMatch = 8192;
constexpr int kGoodEnough = 1024;      // a longer match ends the search
constexpr int kGroupItems = 32;

constexpr int kEncodeInBuffer = kWindow + 32768;
constexpr int kEncodeOutBuffer = 18944;
constexpr int kEncodeLookAhead = 16384;  // at least kMaxMatch bytes ahead whenever input remains
constexpr int kEncodeFlushAt = 16384;

constexpr int kDecodePiece = 16384;
constexpr int kDecodeRefillBelow = 256;  // more than one group can take
constexpr int kDecodeSlack = 64;
constexpr int kGroupMaxBytes = 4 + kGroupItems * 4;  // flag word, then items of at most 4 bytes
constexpr int kDecodeInBuffer = kDecodeRefillBelow + kDecodePiece;
constexpr int kDecodeOutBuffer = kWindow + 32768;

// Bytes a match costs in the stream (token and extensions).
int MatchCost(int length, int distance) {
  return 1 + (length >= 256 ? 2 : length >= 15 ? 1 : 0) + (distance > 10 ? 1 : 0);
}

}  // namespace

// ---- VXMarielHash ----

bool VXMarielHash::Create(int nodes) {
  if (nodes < 1) return false;
  heads_.assign(kKeys, nullptr);
  nodes_.assign(static_cast<std::size_t>(nodes), VXMarielHashNode{});
  Init();
  return true;
}

void VXMarielHash::Init() {
  // Only a key of a node in the ring can head a chain: clearing those spares a pass over all 65,536 heads.
  for (std::size_t i = 0; i < used_; ++i) heads_[nodes_[i].key] = nullptr;
  nextSlot_ = 0;
  used_ = 0;
}

void VXMarielHash::AddNode(unsigned short key, std::uint32_t position) {
  VXMarielHashNode* node = &nodes_[nextSlot_];
  if (nextSlot_ < used_) {  // the slot holds the oldest node: unlink it
    if (node->previous != nullptr)
      node->previous->next = node->next;
    else
      heads_[node->key] = node->next;
    if (node->next != nullptr) node->next->previous = node->previous;
  } else {
    ++used_;
  }
  node->key = key;
  node->position = position;
  node->previous = nullptr;
  node->next = heads_[key];
  if (node->next != nullptr) node->next->previous = node;
  heads_[key] = node;
  nextSlot_ = (nextSlot_ + 1) % nodes_.size();
}

void VXMarielHash::Release() {
  heads_.clear();
  heads_.shrink_to_fit();
  nodes_.clear();
  nodes_.shrink_to_fit();
  nextSlot_ = 0;
  used_ = 0;
}

// ---- VXMarielEncode ----

void VXMarielEncode::Start() {
  inBase_ = inEnd_ = consumed_ = 0;
  outLength_ = flushed_ = 0;
  flagPos_ = -1;
  flags_ = mask_ = 0;
  items_ = 0;
  if (in_.empty()) {
    in_.assign(kEncodeInBuffer, 0);
    out_.assign(kEncodeOutBuffer, 0);
    hash_.Create(kHashNodes);
  } else {
    hash_.Init();
  }
}

// Drops what lies more than a window behind `position` and fills the buffer up from the input.
void VXMarielEncode::ReadInBuffer(std::int64_t position) {
  const std::int64_t keepFrom = std::max(inBase_, position - kWindow);
  const std::int64_t kept = inEnd_ - keepFrom;
  std::memmove(in_.data(), in_.data() + (keepFrom - inBase_), static_cast<std::size_t>(kept));
  inBase_ = keepFrom;
  const std::int64_t count = std::min<std::int64_t>(kEncodeInBuffer - kept, inSize_ - inEnd_);
  Pull(in_.data() + kept, static_cast<int>(count));
  inEnd_ += count;
  if (inBase_ > 0) ReportProgress(consumed_);
}

void VXMarielEncode::WriteOutBuffer() {
  Push(out_.data(), static_cast<int>(outLength_));
  flushed_ += outLength_;
  outLength_ = 0;
}

void VXMarielEncode::Put(unsigned byte) {
  if (flushed_ + outLength_ >= outSize_) throw std::length_error("VXMarielEncode : Output Size Over");
  out_[static_cast<std::size_t>(outLength_++)] = static_cast<unsigned char>(byte);
}

void VXMarielEncode::ReserveFlagWord() {
  flagPos_ = outLength_;
  for (int i = 0; i < 4; ++i) Put(0);
  flags_ = 0;
  mask_ = 0x80000000u;
  items_ = 0;
}

void VXMarielEncode::StoreFlagWord() { VXPutLE32(out_.data() + flagPos_, flags_); }

// The longest match for `position` among the window's earlier positions of the same key, the nearest on ties.
int VXMarielEncode::FindMatch(std::int64_t position, int* distance) const {
  const int maxLength = static_cast<int>(std::min<std::int64_t>(kMaxMatch, inSize_ - position));
  if (maxLength < 2) return 0;
  const unsigned char* here = in_.data() + (position - inBase_);
  const unsigned short key = static_cast<unsigned short>(here[0] | (here[1] << 8));
  int best = 0;
  for (const VXMarielHashNode* node = hash_.FirstNode(key); node != nullptr; node = hash_.NextNode(node)) {
    const std::int64_t back = position - node->position;
    if (back >= kWindow || node->position < inBase_) continue;
    const unsigned char* there = here - back;
    int length = 2;
    while (length < maxLength && here[length] == there[length]) ++length;
    if (length > best) {
      best = length;
      *distance = static_cast<int>(back);
      if (best > kGoodEnough) break;
    }
  }
  return best;
}

void VXMarielEncode::AddPosition(std::int64_t position) {
  if (position + 1 >= inSize_) return;  // the last byte has no key
  const unsigned char* p = in_.data() + (position - inBase_);
  hash_.AddNode(static_cast<unsigned short>(p[0] | (p[1] << 8)), static_cast<std::uint32_t>(position));
}

void VXMarielEncode::PutMatch(int length, int distance) {
  const unsigned h = length <= 14 ? static_cast<unsigned>(length - 1) : length <= 255 ? 14u : 15u;
  const unsigned d = distance <= 10 ? static_cast<unsigned>(distance - 1) : 10u + (static_cast<unsigned>(distance) >> 8);
  Put((h << 4) | d);
  if (h == 14) Put(static_cast<unsigned>(length));
  if (h == 15) {
    Put(static_cast<unsigned>(length) & 0xFF);
    Put(static_cast<unsigned>(length) >> 8);
  }
  if (d >= 10) Put(static_cast<unsigned>(distance) & 0xFF);
}

bool VXMarielEncode::Code() {
  ReadInBuffer(0);
  ReserveFlagWord();
  while (consumed_ < inSize_) {
    if (inEnd_ - consumed_ < kEncodeLookAhead && inEnd_ < inSize_) ReadInBuffer(consumed_);
    int distance = 0;
    const int length = FindMatch(consumed_, &distance);
    if (length >= 2 && MatchCost(length, distance) <= length) {
      flags_ |= mask_;
      PutMatch(length, distance);
      for (int k = 0; k < length; ++k) AddPosition(consumed_ + k);
      consumed_ += length;
    } else {
      AddPosition(consumed_);
      Put(in_[static_cast<std::size_t>(consumed_ - inBase_)]);
      ++consumed_;
    }
    mask_ >>= 1;
    if (++items_ == kGroupItems || consumed_ == inSize_) {
      StoreFlagWord();
      if (outLength_ >= kEncodeFlushAt) WriteOutBuffer();
      if (consumed_ < inSize_) ReserveFlagWord();
    }
  }
  WriteOutBuffer();
  ReportProgress(consumed_);
  return true;
}

// ---- VXMarielDecode ----

void VXMarielDecode::Start() {
  inPos_ = inLength_ = 0;
  taken_ = 0;
  outPos_ = pendingStart_ = 0;
  produced_ = 0;
  flags_ = 0;
  items_ = 0;
  // Slack past both ends lets the fast paths copy in fixed-size steps.
  if (in_.empty()) {
    in_.assign(kDecodeInBuffer + kDecodeSlack, 0);
    out_.assign(kDecodeOutBuffer + kDecodeSlack, 0);
  }
}

void VXMarielDecode::ReadInBuffer() {
  const int unread = inLength_ - inPos_;
  std::memmove(in_.data(), in_.data() + inPos_, static_cast<std::size_t>(unread));
  const int count = static_cast<int>(std::min<std::int64_t>(kDecodePiece, inSize_ - taken_));
  Pull(in_.data() + unread, count);
  taken_ += count;
  inPos_ = 0;
  inLength_ = unread + count;
  ReportProgress(taken_);
}

// Writes what is pending and keeps the last window of output as history for later matches.
void VXMarielDecode::WriteOutBuffer() {
  Push(out_.data() + pendingStart_, outPos_ - pendingStart_);
  if (outPos_ > kWindow) {
    std::memmove(out_.data(), out_.data() + outPos_ - kWindow, kWindow);
    outPos_ = kWindow;
  }
  pendingStart_ = outPos_;
}

// The hot loop works on local copies of the cursors: stores through the byte buffers could alias the members, which
// would otherwise be reloaded after every byte. The copies go back before each refill or write.
void VXMarielDecode::DecodeItems() {
  const std::runtime_error broken("VXMarielDecode : Broken Stream");
  unsigned char* const out = out_.data();
  const unsigned char* const in = in_.data();
  int inPos = inPos_, inLength = inLength_, outPos = outPos_, items = items_;
  std::uint32_t flags = flags_;
  std::int64_t produced = produced_;
  const std::int64_t outSize = outSize_;
  auto sync = [&] { inPos_ = inPos, inLength_ = inLength, outPos_ = outPos, produced_ = produced; };
  auto reload = [&] { inPos = inPos_, inLength = inLength_, outPos = outPos_; };
  auto flush = [&] { sync(); WriteOutBuffer(); reload(); };
  // Copies a match of the given length from distance bytes back, writing out full buffers as it goes.
  auto copyMatch = [&](std::int64_t length, int distance) {
    if (distance < 1 || distance > produced) throw broken;  // nothing there to copy from
    length = std::min(length, outSize - produced);
    while (length > 0) {
      if (outPos == kDecodeOutBuffer) flush();
      const int n = static_cast<int>(std::min<std::int64_t>(length, kDecodeOutBuffer - outPos));
      unsigned char* dst = out + outPos;
      const unsigned char* src = dst - distance;
      if (distance >= n)
        std::memcpy(dst, src, static_cast<std::size_t>(n));
      else if (distance == 1)
        std::memset(dst, *src, static_cast<std::size_t>(n));
      else
        for (int i = 0; i < n; ++i) dst[i] = src[i];  // overlapping copy repeats the pattern
      outPos += n;
      produced += n;
      length -= n;
    }
  };
  while (produced < outSize) {
    if (inLength - inPos < kDecodeRefillBelow && taken_ < inSize_) {
      sync();
      ReadInBuffer();
      reload();
    }
    if (items == 0 && inLength - inPos >= kGroupMaxBytes) {
      // A whole group is in the buffer: no input checks per item, and runs of literals move in one copy.
      flags = VXGetLE32(in + inPos);
      inPos += 4;
      items = kGroupItems;
      while (items > 0 && produced < outSize) {
        if ((flags & 0x80000000u) == 0) {
          int run = std::min(flags == 0 ? 32 : std::countl_zero(flags), items);
          run = static_cast<int>(std::min<std::int64_t>(run, outSize - produced));
          if (outPos == kDecodeOutBuffer) flush();
          run = std::min(run, kDecodeOutBuffer - outPos);
          std::memcpy(out + outPos, in + inPos, kGroupItems);  // a fixed size: the slack takes what is not used
          outPos += run;
          inPos += run;
          produced += run;
          items -= run;
          flags = run >= 32 ? 0 : flags << run;
          continue;
        }
        flags <<= 1;
        --items;
        const unsigned token = in[inPos++];
        const unsigned h = token >> 4, d = token & 15;
        std::int64_t length = h + 1;
        if (h == 14) {
          length = in[inPos++];
        } else if (h == 15) {
          length = VXGetLE16(in + inPos);
          inPos += 2;
        }
        int distance = static_cast<int>(d) + 1;
        if (d >= 10) distance = static_cast<int>(d - 10) * 256 + in[inPos++];
        if (distance >= 8 && distance <= produced && length <= outSize - produced &&
            outPos + length <= kDecodeOutBuffer) {
          // Eight bytes at a time: each step reads bytes already written, and the slack takes the overrun.
          unsigned char* dst = out + outPos;
          const unsigned char* src = dst - distance;
          for (std::int64_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
          outPos += static_cast<int>(length);
          produced += length;
        } else {
          copyMatch(length, distance);
        }
      }
      continue;
    }
    const int left = inLength - inPos;
    if (items == 0) {
      if (left < 4) throw broken;
      flags = VXGetLE32(in + inPos);
      inPos += 4;
      items = kGroupItems;
    }
    const bool match = (flags & 0x80000000u) != 0;
    flags <<= 1;
    --items;
    if (!match) {
      if (inPos >= inLength) throw broken;
      if (outPos == kDecodeOutBuffer) flush();
      out[outPos++] = in[inPos++];
      ++produced;
      continue;
    }
    if (inPos >= inLength) throw broken;
    const unsigned token = in[inPos++];
    const unsigned h = token >> 4, d = token & 15;
    std::int64_t length = h + 1;
    if (h >= 14) {
      const int extension = h == 14 ? 1 : 2;
      if (inLength - inPos < extension) throw broken;
      length = h == 14 ? in[inPos] : VXGetLE16(in + inPos);
      inPos += extension;
    }
    int distance = static_cast<int>(d) + 1;
    if (d >= 10) {
      if (inPos >= inLength) throw broken;
      distance = static_cast<int>(d - 10) * 256 + in[inPos++];
    }
    copyMatch(length, distance);
  }
  sync();
  flags_ = flags;
  items_ = items;
}

bool VXMarielDecode::Code() {
  DecodeItems();
  WriteOutBuffer();
  ReportProgress(taken_);
  return true;
}

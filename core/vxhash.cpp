#include "core/vxhash.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// h = h * 137 + byte over the bytes, wrapping at 32 bits.
std::uint32_t Mul137(const void* data, int length) {
  std::uint32_t h = 0;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (int i = 0; i < length; ++i) h = h * 137 + p[i];
  return h;
}

int Length(const char* text) { return text == nullptr ? 0 : static_cast<int>(std::strlen(text)); }

}  // namespace

int VXCalcHashSum8(const void* data, int length) {
  std::uint32_t h = 0;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (int i = 0; i < length; ++i) h += p[i];
  return static_cast<int>(h % 256);
}

int VXCalcHashMul8(const void* data, int length) { return static_cast<int>(Mul137(data, length) % 251); }

int VXCalcHashMul16(const void* data, int length) { return static_cast<int>(Mul137(data, length) % 65521); }

int VXCalcHashSum8(const char* text) { return VXCalcHashSum8(text, Length(text)); }
int VXCalcHashMul8(const char* text) { return VXCalcHashMul8(text, Length(text)); }
int VXCalcHashMul16(const char* text) { return VXCalcHashMul16(text, Length(text)); }

// ---- VXHashTable

VXHashTable::VXHashTable() {
  heads_.fill(kEnd);
  NewPool();
}

VXHashTable::VXHashTable(int n) : VXHashTable() { Alloc(n); }

VXHashTable::~VXHashTable() { std::free(pool_); }

void VXHashTable::NewPool() {
  void* pool = std::malloc(kPoolStep);
  if (pool == nullptr) throw std::runtime_error("VXHashTable Create Error");
  std::free(pool_);
  pool_ = static_cast<unsigned char*>(pool);
  capacity_ = kPoolStep;
  used_ = 0;
}

void VXHashTable::Alloc(int n) {
  n = std::min(n, kMaxSlots);
  if (n <= GetSize()) return;
  try {
    entries_.resize(n, -1);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("VXHashTable Alloc Error");
  }
}

VXHashTable::Header VXHashTable::ReadHeader(int i) const {
  Header header;
  std::memcpy(&header, pool_ + entries_[i], sizeof header);
  return header;
}

void VXHashTable::WriteHeader(int i, const Header& header) { std::memcpy(pool_ + entries_[i], &header, sizeof header); }

const char* VXHashTable::KeyOf(int i) const { return reinterpret_cast<const char*>(pool_ + entries_[i] + sizeof(Header)); }

bool VXHashTable::IsValid(int i) const { return i >= 0 && i < GetSize() && entries_[i] >= 0; }

bool VXHashTable::SetData(int i, const char* key, std::uint32_t param) {
  if (i < 0 || i >= GetSize() || key == nullptr) return false;
  // The record keeps the length in 16 bits: a longer key would be cut and its record overrun.
  const std::size_t length = std::strlen(key);
  if (length > static_cast<std::size_t>(kMaxKeyLength)) return false;
  ClrData(i);

  const std::int64_t size = static_cast<std::int64_t>(sizeof(Header)) + static_cast<std::int64_t>(length) + 1;
  if (used_ + size > capacity_) {
    const std::int64_t capacity = (used_ + size + kPoolStep - 1) / kPoolStep * kPoolStep;
    void* pool = capacity <= INT32_MAX ? std::realloc(pool_, capacity) : nullptr;
    if (pool == nullptr) throw std::runtime_error("VXHashTable Buffer Realloc Error");
    pool_ = static_cast<unsigned char*>(pool);
    capacity_ = capacity;
  }
  entries_[i] = static_cast<std::int32_t>(used_);
  WriteHeader(i, Header{static_cast<std::uint16_t>(i), kEnd, param, static_cast<std::uint16_t>(length)});
  std::memcpy(pool_ + used_ + sizeof(Header), key, length + 1);
  used_ += size;
  Link(i, VXCalcHashMul8(key, static_cast<int>(length)));
  return true;
}

int VXHashTable::AddData(const char* key, std::uint32_t param) {
  for (int i = 0; i < GetSize(); ++i)
    if (entries_[i] < 0) return SetData(i, key, param) ? i : -1;
  return -1;
}

void VXHashTable::Link(int i, int bucket) {
  if (heads_[bucket] == kEnd) {
    heads_[bucket] = static_cast<std::uint16_t>(i);
    return;
  }
  int last = heads_[bucket];
  for (;;) {
    if (last == i) throw std::logic_error("VXHashTable Data Incorrect");
    const Header header = ReadHeader(last);
    if (header.next == kEnd) break;
    last = header.next;
  }
  Header header = ReadHeader(last);
  header.next = static_cast<std::uint16_t>(i);
  WriteHeader(last, header);
}

void VXHashTable::Unlink(int i, const Header& removed) {
  const int bucket = VXCalcHashMul8(KeyOf(i), removed.length);
  if (heads_[bucket] == i) {
    heads_[bucket] = removed.next;
    return;
  }
  for (int s = heads_[bucket]; s != kEnd;) {
    Header header = ReadHeader(s);
    if (header.next == i) {
      header.next = removed.next;
      WriteHeader(s, header);
      return;
    }
    s = header.next;
  }
  throw std::logic_error("VXHashTable Data Incorrect");
}

void VXHashTable::ClrData(int i) {
  if (!IsValid(i)) return;
  const Header header = ReadHeader(i);
  Unlink(i, header);

  // Close the gap: everything behind the record moves down, and so do the offsets pointing there.
  const std::int32_t offset = entries_[i];
  const std::int64_t size = static_cast<std::int64_t>(sizeof(Header)) + header.length + 1;
  std::memmove(pool_ + offset, pool_ + offset + size, used_ - offset - size);
  used_ -= size;
  for (std::int32_t& entry : entries_)
    if (entry > offset) entry -= static_cast<std::int32_t>(size);
  entries_[i] = -1;
}

void VXHashTable::AllClear() {
  NewPool();
  heads_.fill(kEnd);
  std::fill(entries_.begin(), entries_.end(), -1);
}

int VXHashTable::Search(const char* key) const {
  if (key == nullptr) return -1;
  const std::size_t length = std::strlen(key);
  if (length > static_cast<std::size_t>(kMaxKeyLength)) return -1;
  for (int s = heads_[VXCalcHashMul8(key, static_cast<int>(length))]; s != kEnd;) {
    const Header header = ReadHeader(s);
    if (header.length == length && std::memcmp(KeyOf(s), key, length) == 0) return s;
    s = header.next;
  }
  return -1;
}

const char* VXHashTable::GetString(int i) const { return IsValid(i) ? KeyOf(i) : nullptr; }

std::uint32_t VXHashTable::GetParam(int i) const { return IsValid(i) ? ReadHeader(i).param : 0; }

bool VXHashTable::SetParam(int i, std::uint32_t param) {
  if (!IsValid(i)) return false;
  Header header = ReadHeader(i);
  header.param = param;
  WriteHeader(i, header);
  return true;
}

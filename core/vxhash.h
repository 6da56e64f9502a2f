// Small string hashes and a string-keyed table with numbered slots.
//
// The hashes take bytes as 0..255 into an unsigned 32-bit accumulator that wraps; the modulo comes once at the end.
// Each has a NUL-terminated form and a byte form; a length below 1 gives 0.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

int VXCalcHashSum8(const char* text);  // sum of the bytes mod 256
int VXCalcHashSum8(const void* data, int length);
int VXCalcHashMul8(const char* text);  // h = h * 137 + byte; h mod 251
int VXCalcHashMul8(const void* data, int length);
int VXCalcHashMul16(const char* text);  // h = h * 137 + byte; h mod 65521
int VXCalcHashMul16(const void* data, int length);

// A table of numbered slots, each free or holding a key (case-sensitive bytes) and a 32-bit parameter. Keys live in
// one pooled buffer as records back to back; 251 buckets chain the slots in insertion order, so that of two equal
// keys the earlier one is found. The table grows only through Alloc (at most 65,535 slots). A key is at most
// 65,535 bytes long.
//
// Allocation failures throw std::runtime_error ("VXHashTable Create Error", "VXHashTable Alloc Error",
// "VXHashTable Buffer Realloc Error"); broken chains throw std::logic_error "VXHashTable Data Incorrect".
class VXHashTable {
public:
  static constexpr int kMaxSlots = 65535;
  static constexpr int kMaxKeyLength = 65535;

  VXHashTable();
  explicit VXHashTable(int n);
  ~VXHashTable();
  VXHashTable(const VXHashTable&) = delete;
  VXHashTable& operator=(const VXHashTable&) = delete;

  // Grows the table to n slots (clamped to 65,535), the new ones free; a smaller n does nothing.
  void Alloc(int n);
  int GetSize() const { return static_cast<int>(entries_.size()); }

  // Stores key and param in slot i, replacing what it held. False, with the slot unchanged, for an index out of
  // range, a null key or a key longer than 65,535 bytes.
  bool SetData(int i, const char* key, std::uint32_t param = 0);
  // Stores into the lowest free slot and returns its number; -1 when none is free or the key is refused.
  int AddData(const char* key, std::uint32_t param = 0);
  void ClrData(int i);  // nothing for an index out of range or a free slot
  // Frees every slot and starts a new 256-byte pool; the slot count stays.
  void AllClear();

  int Search(const char* key) const;       // the slot holding key, or -1
  const char* GetString(int i) const;       // into the pool, valid until the next change; null for a free slot
  std::uint32_t GetParam(int i) const;      // 0 for a free slot
  bool SetParam(int i, std::uint32_t param);  // false for a free slot
  bool IsValid(int i) const;

private:
  struct Header {
    std::uint16_t slot;
    std::uint16_t next;  // next slot in the bucket, kEnd at the end
    std::uint32_t param;
    std::uint16_t length;
  };
  static constexpr std::uint16_t kEnd = 0xFFFF;
  static constexpr int kBuckets = 251;
  static constexpr int kPoolStep = 256;

  Header ReadHeader(int i) const;
  void WriteHeader(int i, const Header& header);
  const char* KeyOf(int i) const;
  void Link(int i, int bucket);
  void Unlink(int i, const Header& header);
  void NewPool();

  std::vector<std::int32_t> entries_;  // each slot's record offset in the pool, -1 when free
  std::array<std::uint16_t, 256> heads_;
  std::int64_t capacity_ = 0;
  std::int64_t used_ = 0;
  unsigned char* pool_ = nullptr;
};

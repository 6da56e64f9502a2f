// The raw bytes of a stored record, as a save file holds them: for hand-built images and crafted records.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

template <class Record>
std::vector<std::uint8_t> BytesOf(const Record& record) {
  static_assert(std::is_trivially_copyable_v<Record>);
  const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
  return {p, p + sizeof(Record)};
}

// Writes bytes into a record or an image at an offset, as a crafted save would hold them.
inline void PokeBytes(void* base, std::size_t offset, const void* bytes, std::size_t size) {
  std::memcpy(static_cast<std::uint8_t*>(base) + offset, bytes, size);
}
inline void Poke32(void* base, std::size_t offset, std::uint32_t value) {
  const std::uint8_t le[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                              static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  PokeBytes(base, offset, le, 4);
}
inline void Poke8(void* base, std::size_t offset, std::uint8_t value) { PokeBytes(base, offset, &value, 1); }
inline void PokeText(void* base, std::size_t offset, const std::string& text) {
  PokeBytes(base, offset, text.data(), text.size());
}

// The first offset at which two images differ, or -1.
inline long FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

// A system record as a crafted system save could hold it (any song table, results and user ID), then songs found,
// inserted and given results as the input says. Nothing may reach outside the record; a song that was given a
// result must be found with it; the table's used run must be sorted after every insert and every sort.
// Links: shell
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/vxstd.h"
#include "shell/systemdata.h"

namespace {

void CheckSorted(const TSystemData& data) {
  for (int slot = 1; slot < TSystemData::kSongSlots && data.GetSongId(slot)[0] != 0; ++slot)
    if (CompareSongId(data.GetSongId(slot - 1).data(), data.GetSongId(slot).data()) > 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1 << 16)) return 0;
  static TSystemData record;
  record = TSystemData();
  auto* bytes = reinterpret_cast<std::uint8_t*>(&record);

  // The first bytes are laid over the record from an offset the input chooses.
  const std::size_t offset = VXGetLE16(data) % sizeof(TSystemData);
  const std::size_t laid = std::min<std::size_t>(data[1] * 64u, size - 2);
  std::memcpy(bytes + offset, data + 2, std::min(laid, sizeof(TSystemData) - offset));
  if (record.GetRankingUserId().Length() > TSystemData::kUserIdLength) std::abort();

  // Then 8 bytes an operation: kind and level, score, and an ID made of two bytes from a small alphabet.
  static const char kLetters[] = "QMEXAZ\0" "0123456789";
  for (std::size_t at = 2 + laid; at + 8 <= size; at += 8) {
    const std::uint8_t* op = data + at;
    const TSongID id = {kLetters[op[1] % 7], kLetters[op[2] % 7], kLetters[7 + op[3] % 10], kLetters[7 + op[4] % 10]};
    const char level = static_cast<char>(op[0] >> 4) % 4;
    const int score = static_cast<int>(VXGetLE16(op + 5));
    switch (op[0] & 7) {
      case 0: {
        const bool had = record.HasSong(id);
        const auto check = static_cast<std::uint32_t>(score);
        record.SetResult(level, score, reinterpret_cast<const char*>(op + 4), check, id, op[7]);
        if (!had && record.HasSong(id)) CheckSorted(record);
        if (level <= 2 && record.HasSong(id) &&
            (record.GetScore(level, id) != score || record.GetCheckValue(level, id) != check))
          std::abort();
        break;
      }
      case 1: {
        const bool had = record.HasSong(id);
        const int slot = record.FindSong(true, id);
        if (!had && slot >= 0) CheckSorted(record);
        if (slot >= 0 && std::strncmp(record.GetSongId(slot).data(), id.data(), 4) != 0) std::abort();
        break;
      }
      case 2:
        if (record.GetRankName(level, id).Length() > 4) std::abort();
        break;
      case 3:
        record.SortSongs(op[5]);
        CheckSorted(record);
        break;
      case 4: {
        const char text[] = {static_cast<char>(op[1]), static_cast<char>(op[2]), static_cast<char>(op[3]), 0};
        record.SetRankingUserId(VXString(text));
        if (record.GetRankingUserId().Length() > TSystemData::kUserIdLength) std::abort();
        break;
      }
      default:
        record.GetScore(level, id);
        record.GetCheckValue(level, id);
        record.GetSongId(static_cast<int>(op[5]) - 3);
        break;
    }
  }
  return 0;
}

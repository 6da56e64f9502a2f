#include "shell/systemdata.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <type_traits>

#include "platform/thread.h"

TSystemData SystemData;

struct TSystemDataLayout {
  static_assert(std::is_standard_layout_v<TSystemData> && std::is_trivially_copyable_v<TSystemData>);
  static_assert(offsetof(TSystemData, flags_) == 0);
  static_assert(offsetof(TSystemData, vars_) == 8);
  static_assert(offsetof(TSystemData, seen_) == 40);
  static_assert(offsetof(TSystemData, songs_) == 65);
  static_assert(offsetof(TSystemData, pad0_) == 1089);
  static_assert(offsetof(TSystemData, results_) == 1092);
  static_assert(offsetof(TSystemData, userId_) == 13380);
  static_assert(offsetof(TSystemData, storySongs_) == 13445);
  static_assert(offsetof(TSystemData, pad1_) == 13477);
};
static_assert(std::endian::native == std::endian::little, "the records are stored as they lie in memory");

namespace {

constexpr TRankingData kNoResult = {0, 0, 0, {' ', ' ', ' ', ' '}};

int SeriesIndex(const char* id) {
  for (std::size_t i = 0; i < kSongSeries.size(); ++i)
    if (id[0] == kSongSeries[i][0] && id[1] == kSongSeries[i][1]) return static_cast<int>(i);
  return static_cast<int>(kSongSeries.size());
}

bool IsLevel(char level) { return level >= 0 && level < TSystemData::kLevels; }

}  // namespace

int CompareSongId(const char* a, const char* b) {
  const int seriesA = SeriesIndex(a);
  const int seriesB = SeriesIndex(b);
  if (seriesA != seriesB) return seriesA < seriesB ? -1 : 1;
  return std::strncmp(a, b, 4);
}

TSongID StrToSongId(const VXString& text) {
  TSongID id{};
  if (text.Length() == 4) std::memcpy(id.data(), text.UpperCase().c_str(), id.size());
  return id;
}

VXString RecordText(const char* field, std::size_t size) {
  return VXString(field, static_cast<unsigned int>(strnlen(field, size - 1)));
}

VXString CutRecordText(const VXString& text, int maxBytes) {
  if (text.Length() <= maxBytes) return text;
  return text.SubString(1, text.IsLeadByte(maxBytes) ? maxBytes - 1 : maxBytes);
}

void StoreRecordText(char* field, std::size_t size, const VXString& text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.c_str(), std::min<std::size_t>(static_cast<std::size_t>(text.Length()), size - 1));
}

// ---- TSystemData ------------------------------------------------------------------------------------------------

TSystemData::TSystemData() {
  for (auto& level : results_) std::fill(std::begin(level), std::end(level), kNoResult);
}

void TSystemData::SetFlag(int index, bool on) {
  if (index >= 0 && index < kFlagCount) SetRecordBit(flags_, index, on);
}

bool TSystemData::GetFlag(int index) const { return index >= 0 && index < kFlagCount && RecordBit(flags_, index); }

void TSystemData::GetFlags(void* dst) const { std::memcpy(dst, flags_, sizeof flags_); }

void TSystemData::SetVar(int index, int value) { SetRecordItem(vars_, index, value); }

int TSystemData::GetVar(int index) const { return GetRecordItem(vars_, index, 0); }

void TSystemData::GetVars(void* dst) const { std::memcpy(dst, vars_, sizeof vars_); }

void TSystemData::SetEventSeen(int index) {
  if (index >= 0 && index < kEventCount) SetRecordBit(seen_, index, true);
}

bool TSystemData::GetEventSeen(int index) const { return index >= 0 && index < kEventCount && RecordBit(seen_, index); }

int TSystemData::UsedSlots() const {
  int slot = 0;
  while (slot < kSongSlots && songs_[slot][0] != 0) ++slot;
  return slot;
}

int TSystemData::FindUsedSlot(TSongID id) const {
  if (id[0] == 0) return -1;
  const int used = UsedSlots();
  for (int slot = 0; slot < used; ++slot)
    if (std::strncmp(songs_[slot].data(), id.data(), 4) == 0) return slot;
  return -1;
}

int TSystemData::FindSong(bool insert, TSongID id) {
  const int found = FindUsedSlot(id);
  const int slot = UsedSlots();
  if (found >= 0 || !insert || id[0] == 0 || slot == kSongSlots) return found;
  songs_[slot] = id;
  for (auto& level : results_) level[slot] = kNoResult;
  return SortSongs(slot);
}

int TSystemData::SortSongs(int slot) {
  const int used = UsedSlots();
  std::array<int, kSongSlots> order;
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.begin() + used,
                   [this](int a, int b) { return CompareSongId(songs_[a].data(), songs_[b].data()) < 0; });

  std::array<TSongID, kSongSlots> ids;
  std::copy(std::begin(songs_), std::end(songs_), ids.begin());
  std::array<std::array<TRankingData, kSongSlots>, kLevels> results;
  for (int level = 0; level < kLevels; ++level)
    std::copy(std::begin(results_[level]), std::end(results_[level]), results[level].begin());
  int moved = slot;
  for (int p = 0; p < used; ++p) {
    if (order[p] == slot) moved = p;
    songs_[p] = ids[order[p]];
    for (int level = 0; level < kLevels; ++level) results_[level][p] = results[level][order[p]];
  }
  return moved;
}

TSongID TSystemData::GetSongId(int index) const {
  if (index < 0 || index >= kSongSlots || songs_[index][0] == 0) return {};
  return songs_[index];
}

bool TSystemData::HasSong(TSongID id) const { return FindUsedSlot(id) >= 0; }

void TSystemData::SetResult(char level, int score, const char* name, std::uint32_t check, TSongID id) {
  SetResult(level, score, name, check, id, static_cast<std::uint32_t>(platform::thread::MonotonicMs()));
}

void TSystemData::SetResult(char level, int score, const char* name, std::uint32_t check, TSongID id,
                            std::uint32_t tick) {
  if (!IsLevel(level)) return;
  const int slot = FindSong(true, id);
  if (slot < 0) return;
  TRankingData& result = results_[static_cast<int>(level)][slot];
  result.Score = static_cast<std::uint32_t>(score);
  result.Stamp = tick == 0 ? 1 : tick;
  result.Check = check ^ result.Stamp;
  std::memset(result.Name, 0, sizeof result.Name);
  if (name != nullptr) std::memcpy(result.Name, name, strnlen(name, sizeof result.Name));
}

const TRankingData* TSystemData::FindResult(char level, TSongID id) const {
  const int slot = IsLevel(level) ? FindUsedSlot(id) : -1;
  return slot < 0 ? nullptr : &results_[static_cast<int>(level)][slot];
}

int TSystemData::GetScore(char level, TSongID id) const {
  const TRankingData* result = FindResult(level, id);
  return result ? static_cast<int>(result->Score) : 0;
}

std::uint32_t TSystemData::GetCheckValue(char level, TSongID id) const {
  const TRankingData* result = FindResult(level, id);
  return result ? result->Check ^ result->Stamp : 0xFFFFFFFFu;
}

VXString TSystemData::GetRankName(char level, TSongID id) const {
  const TRankingData* result = FindResult(level, id);
  if (result == nullptr) return VXString();
  return VXString(result->Name, static_cast<unsigned int>(strnlen(result->Name, sizeof result->Name)));
}

void TSystemData::SetRankingUserId(const VXString& id) {
  if (id.IsEmpty()) return;
  const VXString text = CutRecordText(id, kUserIdLength);
  std::memcpy(userId_, text.c_str(), static_cast<std::size_t>(text.Length()) + 1);
}

VXString TSystemData::GetRankingUserId() const { return RecordText(userId_, sizeof userId_); }

void TSystemData::EnableSong(int n) {
  if (n >= 1 && n <= kStorySongs) storySongs_[n - 1] = 1;
}

bool TSystemData::IsSongEnabled(int n) const { return n >= 1 && n <= kStorySongs && storySongs_[n - 1] != 0; }

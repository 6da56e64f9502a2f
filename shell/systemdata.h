// The system record: the player's progress across all play-throughs (system flags and variables, event pictures
// seen, the song/score table with the best result of every song per level, the ranking user ID, the songs the story
// has opened). It is stored byte for byte in the system save, so its layout is a file layout: 13,480 bytes,
// little-endian, every field at a fixed offset. Any 13,480 bytes are a record every operation can work on: indices
// and texts read from the record are checked before they are used.
//
// Also here: the song ID and its sort order, and the field helpers (bits, arrays, fixed-width texts) that all the
// stored records share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/vxstring.h"

// ---- Song IDs ---------------------------------------------------------------------------------------------------

// Four characters, not terminated: a series code of two letters and two digits ("QM07"). A first byte of 0 means
// no song.
using TSongID = std::array<char, 4>;

// The series codes in song order. The story series comes first; an ID whose first two bytes are none of these
// sorts after all of them.
inline constexpr std::array<const char*, 11> kSongSeries = {"QM", "QE", "QX", "QS", "QA", "QB",
                                                          "QC", "QD", "QF", "QG", "QH"};

// Sort order of two IDs: negative when a comes first, positive when b does. By series first, then by the first four
// bytes (strncmp), so "QM02" comes before "QM10".
int CompareSongId(const char* a, const char* b);

// The ID written by a text of exactly four characters, upper-cased; no song (all zero) for any other length.
TSongID StrToSongId(const VXString& text);

// ---- Fields of the stored records -------------------------------------------------------------------------------

// Bit i of a bit field is bit (i mod 8) of byte i / 8.
inline bool RecordBit(const std::uint8_t* bits, int index) { return (bits[index / 8] >> (index % 8)) & 1; }
inline void SetRecordBit(std::uint8_t* bits, int index, bool on) {
  const auto mask = static_cast<std::uint8_t>(1u << (index % 8));
  bits[index / 8] = static_cast<std::uint8_t>(on ? (bits[index / 8] | mask) : (bits[index / 8] & ~mask));
}

// Element i of a field array, when i is inside it.
template <class T, std::size_t N>
void SetRecordItem(T (&items)[N], int index, std::type_identity_t<T> value) {
  if (index >= 0 && static_cast<std::size_t>(index) < N) items[index] = value;
}
template <class T, std::size_t N>
T GetRecordItem(const T (&items)[N], int index, std::type_identity_t<T> outside) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? items[index] : outside;
}

// The text of a zero-terminated field of `size` bytes: at most size - 1 bytes, also when the field holds no
// terminator.
VXString RecordText(const char* field, std::size_t size);

// At most maxBytes bytes of text, never ending inside a double-byte character.
VXString CutRecordText(const VXString& text, int maxBytes);

// Zero-fills the field, then copies the text (which must be shorter than the field).
void StoreRecordText(char* field, std::size_t size, const VXString& text);

// ---- The system record ------------------------------------------------------------------------------------------

// A best result. The check value is stored XOR the stamp; the name is the player's entry, four bytes, not
// terminated.
struct TRankingData {
  std::uint32_t Score;
  std::uint32_t Stamp;  // tick count when it was stored, never 0 once stored
  std::uint32_t Check;
  char Name[4];
};
static_assert(sizeof(TRankingData) == 16);

class TSystemData {
public:
  static constexpr int kFlagCount = 64;
  static constexpr int kVarCount = 8;
  static constexpr int kEventCount = 200;
  static constexpr int kSongSlots = 256;
  static constexpr int kLevels = 3;            // 0 normal, 1 hard, 2 easy
  static constexpr int kUserIdLength = 64;     // bytes before the terminator
  static constexpr int kStorySongs = 32;       // numbered 1-32

  // Everything cleared; every best result is score 0, stamp 0, check 0, name four blanks.
  TSystemData();

  void SetFlag(int index, bool on);  // 0-63
  bool GetFlag(int index) const;
  void GetFlags(void* dst) const;  // the 8 flag bytes
  void SetVar(int index, int value);  // 0-7
  int GetVar(int index) const;
  void GetVars(void* dst) const;  // the 32 variable bytes

  // Event pictures seen (0-199): there is no way back.
  void SetEventSeen(int index);
  bool GetEventSeen(int index) const;

  // The slot of a song, 0-255, or -1. With insert, a song not yet in the table takes the first free slot (its
  // results cleared) and the table is sorted again; -1 when the table is full. An ID whose first byte is 0 names no
  // song: -1, never inserted.
  int FindSong(bool insert, TSongID id);
  // Sorts the used slots by CompareSongId (equal IDs keep their order; results move with their songs) and returns
  // where the given slot went (the slot itself when it is not among them).
  int SortSongs(int slot);
  TSongID GetSongId(int index) const;  // all zero for a free slot or an index outside 0-255
  bool HasSong(TSongID id) const;

  // Stores a result whether or not it is a new best (the caller decides); the song takes a slot first. The name
  // gives up to 4 bytes, zero-filled (null counts as empty). Nothing for a level outside 0-2 or a full table.
  // The stamp is the tick count in milliseconds, 1 for a tick count of 0.
  void SetResult(char level, int score, const char* name, std::uint32_t check, TSongID id);
  void SetResult(char level, int score, const char* name, std::uint32_t check, TSongID id, std::uint32_t tick);
  int GetScore(char level, TSongID id) const;                // 0 when not found
  std::uint32_t GetCheckValue(char level, TSongID id) const;  // all bits set when not found
  // The stored name, up to 4 bytes (to its first zero byte); empty when not found.
  VXString GetRankName(char level, TSongID id) const;

  // An empty ID changes nothing; a longer one is cut to 64 bytes on a character boundary. Bytes behind the
  // terminator keep their old values.
  void SetRankingUserId(const VXString& id);
  VXString GetRankingUserId() const;

  // Story songs the scenario has opened for the song select, 1-32.
  void EnableSong(int n);
  bool IsSongEnabled(int n) const;

private:
  friend struct TSystemDataLayout;

  int UsedSlots() const;               // the used run: slots 0 .. UsedSlots() - 1
  int FindUsedSlot(TSongID id) const;  // the slot holding the song, or -1
  const TRankingData* FindResult(char level, TSongID id) const;

  std::uint8_t flags_[8] = {};
  std::int32_t vars_[kVarCount] = {};
  std::uint8_t seen_[25] = {};
  TSongID songs_[kSongSlots] = {};
  [[maybe_unused]] std::uint8_t pad0_[3] = {};
  TRankingData results_[kLevels][kSongSlots] = {};
  char userId_[kUserIdLength + 1] = {};
  std::uint8_t storySongs_[kStorySongs] = {};
  [[maybe_unused]] std::uint8_t pad1_[3] = {};
};

static_assert(sizeof(TSystemData) == 13480);

// The one system record of the game.
extern TSystemData SystemData;

// The read-text log: which messages of which scenario script the player has seen, across all play-throughs.
//
// One buffer of 256 KB whose used part is stored behind the system record in the system save, so its layout is a
// file layout (little-endian):
//   0  u32 used bytes, header included (8 when empty)
//   4  u32 block count
//   8  blocks, one after another: u32 payload bytes (4 per range), u32 script number, u32 stamp of the script file,
//      then the ranges: u16 first message, u16 last message; ascending, never overlapping, never touching.
// A message is named by the key (script << 16) | message number. A script gets its block only through
// SetScriptStamp; a changed stamp forgets the script's read marks. The buffer never grows: when it is full, new
// blocks and ranges are not recorded (the message counts as unread later).
#pragma once

#include <cstdint>
#include <memory>

class TReadMesTable {
public:
  static constexpr std::uint32_t kBufferSize = 262144;
  static constexpr std::uint32_t kHeaderSize = 8;

  TReadMesTable();  // empty: used 8, no block
  TReadMesTable(const TReadMesTable&) = delete;
  TReadMesTable& operator=(const TReadMesTable&) = delete;

  std::uint32_t GetUsedSize() const;
  const std::uint8_t* GetBuffer() const;  // its first GetUsedSize() bytes are what the system save stores

  // Takes a stored log. Sizes below 8 or of 262,144 and more are ignored (the current log stays). Of the bytes
  // given, only the blocks that the header and the sizes describe consistently are kept: the walk stops at the
  // first block that does not fit the used size, the loaded bytes or the block count, and used size and count
  // are set to what was kept.
  void Load(const void* data, int size);

  void SetScriptStamp(int script, std::uint32_t stamp);
  void MarkRead(std::uint32_t key);
  bool IsRead(std::uint32_t key) const;

private:
  std::uint32_t Word(std::uint32_t offset) const;
  void PutWord(std::uint32_t offset, std::uint32_t value);
  int FindBlock(int script) const;  // the block's offset, or -1
  void MoveTail(std::uint32_t from, std::int64_t delta);  // moves [from, used) and changes used by delta
  void InsertRange(std::uint32_t block, std::uint32_t at, std::uint16_t message);
  void RemoveRange(std::uint32_t block, std::uint32_t at);

  std::unique_ptr<std::uint8_t[]> buffer_;
  // The block found last.
  mutable bool cached_ = false;
  mutable int cachedScript_ = 0;
  mutable std::uint32_t cachedOffset_ = 0;
};

// The one read-text log of the game.
extern TReadMesTable ReadMesTable;

// The save files in the save folder (GetSaveFolder):
//   "QMSys.sav"   the system save: the system record and the used part of the read-text log;
//   "QM%02d.sav"  the slot saves (QM01.sav .. QM99.sav for the save screen, QM00.sav the adventure's own, with or
//                 without its thumbnail; any slot from 0 up is accepted): the current game state, the state at
//                 the start of the scene and an optional extra block of up to 40,200 bytes.
//
// Layouts (little-endian). Both start with a TSaveHeader, then one range-coded stream (VXRangeEncode: adaptive
// order-0 model, one call over the whole raw data):
//   system save  0 header "QMVN" | 8 u32 raw size = 13,480 + log used size | 12 stream
//                raw: TSystemData (13,480 bytes), then the log's first used-size bytes
//   slot save    0 header "QORM" | 8 stream (no raw-size field: the raw data has a fixed size)
//                raw: 0 current TGameState | 59,860 second TGameState | 119,720 u32 extra size (0-40,200)
//                     | 119,724 40,200 bytes of extra data, zero behind the extra size
//
// Writing replaces a file whole (platform::fs::ReplaceFile: a temporary file in the save folder, every write
// checked, synced, renamed over the old file): a failed or interrupted save keeps the previous file.
//
// Reading checks everything before it changes anything: the header, the raw size (13,480-275,624), the file size
// against the coder's buffers (the stream with the 4 zero bytes the decoder may read past it: at most 1,102,496
// bytes for the system save, 639,696 for a slot), a decode of exactly the raw size, and the extra size. A refused
// file leaves the caller's records as they were. The read-text log goes through TReadMesTable::Load, which keeps
// only the blocks it can walk; the other records are safe to use whatever bytes they hold.
//
// A system save that exists but cannot be read (or whose log was not taken whole) is not overwritten: the first
// system save after that load renames it to "QMSys.sav.bad" first.
//
// Game thread only; no lock of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"

// The 8 bytes at the start of both save files.
struct TSaveHeader {
  char Magic[4];          // "QMVN" system save, "QORM" slot save
  std::uint8_t Version[2];  // 0x00 0x01: the word 0x0100
  std::uint8_t Zero[2];
};
static_assert(sizeof(TSaveHeader) == 8);

inline constexpr char kSystemSaveName[] = "QMSys.sav";
inline constexpr char kBadSystemSaveSuffix[] = ".bad";
inline constexpr std::uint32_t kSystemRawMin = sizeof(TSystemData);                               // 13,480
inline constexpr std::uint32_t kSystemRawMax = kSystemRawMin + TReadMesTable::kBufferSize;        // 275,624
inline constexpr std::uint32_t kSystemStreamMax = 4 * kSystemRawMax;                              // 1,102,496
inline constexpr std::uint32_t kSlotExtraMax = 40200;  // the adventure's thumbnail: 134 x 100 pixels of 3 bytes
inline constexpr std::uint32_t kSlotRawSize = 2 * sizeof(TGameState) + 4 + kSlotExtraMax;         // 159,924
inline constexpr std::uint32_t kSlotStreamMax = 4 * kSlotRawSize;                                 // 639,696

// ---- The files

// Writes the global system record and read-text log. False when the data cannot be coded, a bad system save
// cannot be kept aside, or the file cannot be written (the previous file stays then).
bool SaveSystemData();
// Reads the system save into the global record and log. False, with both unchanged, when the file is missing or
// refused. When only the log part is damaged the record is still taken (true) and the log keeps what its Load
// accepts; the file is then kept aside before the next save, as a refused one is.
bool LoadSystemData();

// "QM%02d.sav" of a slot; empty for a negative slot.
std::string SlotFileName(int slot);

// Writes a slot. False, with nothing written, for a negative slot, a null record, an extra size above 40,200, a
// null extra block with a size, or a write that fails (the previous file stays then).
bool SaveSlotData(int slot, const TGameState* current, const TGameState* second, const void* extra,
                  std::uint32_t extraSize);
bool SaveSlotState(int slot);  // both global records, no extra block
bool SaveSlotStateEx(int slot, const void* extra, std::uint32_t extraSize);

// Reads a slot into the records given; null pointers are skipped. `extra` must hold 40,200 bytes; it takes the
// extra size's bytes. False, with nothing changed, when the slot is negative or its file missing or refused.
bool LoadSlotData(int slot, TGameState* current, TGameState* second, void* extra, std::uint32_t* extraSize);
// Reads a slot into the two global records, both or neither.
bool LoadSlotToState(int slot);

// ---- The file images in memory (what the functions above write and read)

// A whole system save file; false when the coder fails or the log's used size is not a log's.
bool EncodeSystemSave(const TSystemData& data, const TReadMesTable& log, std::string& image);
// Checks a system save image whole, then commits: the record, and the log through TReadMesTable::Load. False,
// with both unchanged, when refused. logWhole (when given) tells whether the log took the stored log as it was.
bool DecodeSystemSave(const void* image, std::size_t size, TSystemData& data, TReadMesTable& log,
                      bool* logWhole = nullptr);

// A whole slot save file; false as for SaveSlotData (nothing about the slot number).
bool EncodeSlotSave(const TGameState& current, const TGameState& second, const void* extra,
                    std::uint32_t extraSize, std::string& image);
// Checks a slot save image whole, then commits into the non-null destinations, as LoadSlotData.
bool DecodeSlotSave(const void* image, std::size_t size, TGameState* current, TGameState* second, void* extra,
                    std::uint32_t* extraSize);

// Pack archives: one file holding a 16-byte header, a data area with the stored bytes of every entry (each run
// zero-padded to a multiple of 16 bytes) and a table of entries at the end; versions 0x0300 and 0x0301 end with a
// CRC-16 over everything before it. All integers are little-endian.
//
//   VXPack pack;                                  // read-only, no verification
//   if (pack.LoadPack("data.pak")) {
//     VXStream* s = pack.VXMakeStream("Song\\QM01.ID");  // the whole decoded entry, the caller's to delete
//   }
//
// Entries are found by their full name ("BASE.EXT", at most 25 characters) without regard to ASCII case. Every
// entry is held in memory in the 48-byte layout whatever the file's version. Compressed (Mariel, Cocotte) and
// complemented entries are decoded whole at open time into a memory stream.
//
// Writing (read-only flag cleared first): `NewPack` or `LoadPack`, then `AddFile` / `AddPack` / `DelFile`, then
// `EndPack` (or `DiscardPack` to drop the changes). The pack is built in a temporary file beside the target and
// renamed over it only when it is complete, so a failure never damages an existing pack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/vxbytepipe.h"
#include "core/vxcrc.h"
#include "core/vxstream.h"
#include "core/vxstring.h"
#include "core/widefile.h"

// Compression kind of an entry, as stored in the table. Other values are handed out as stored.
enum VXPackComp : unsigned char {
  VXPackCompNone = 0,     // the bytes as they are
  VXPackCompMariel = 1,   // Mariel stream
  VXPackCompCocotte = 2,  // Cocotte stream of any block size
  VXPackCompNot = 3,      // every byte complemented
};

// The coder `AddFile` is asked to use.
enum VXPackAddComp : int {
  VXPackAddStore = 0,
  VXPackAddMariel = 1,
  VXPackAddCocotte = 2,  // 32,768-byte blocks
  VXPackAddNot = 3,
  VXPackAddCocotteLE = 4,    // 8,192-byte blocks
  VXPackAddCocotteMini = 5,  // 1,024-byte blocks
};

enum VXPackVersion : std::uint16_t {
  VXPackVersion1 = 0x0100,   // 32-byte entries: name, offset, size
  VXPackVersion2 = 0x0200,   // 40-byte entries: + stored size and kind
  VXPackVersion3 = 0x0300,   // 48-byte entries: + CRC and time stamp; whole-file CRC
  VXPackVersion31 = 0x0301,  // as 0x0300; every pack once loaded
};

enum VXPackVerify : unsigned char {
  VXPackVerifyNone = 0,
  VXPackVerifyFile = 1,   // whole-file CRC checked at load
  VXPackVerifyEntry = 2,  // entry CRC checked at each open
};

struct VXPackHed {
  char magic[6];  // "ZoPack"; not compared on loading
  std::uint16_t version;
  std::uint32_t dataSize;  // D
  std::uint32_t fileNum;   // N
};
static_assert(sizeof(VXPackHed) == 16);
static_assert(offsetof(VXPackHed, version) == 6 && offsetof(VXPackHed, dataSize) == 8 &&
              offsetof(VXPackHed, fileNum) == 12);

constexpr int kVXPackNameLength = 21;
constexpr int kVXPackExtLength = 3;
constexpr int kVXPackFullNameLength = kVXPackNameLength + 1 + kVXPackExtLength;  // 25; buffers need 26 bytes

// Entry of a version 0x0100 pack.
struct VXFileTable1 {
  char name[kVXPackNameLength];
  char ext[kVXPackExtLength];
  std::uint32_t offset;
  std::uint32_t size;  // stored as is: stored size = size
};
static_assert(sizeof(VXFileTable1) == 32);
static_assert(offsetof(VXFileTable1, offset) == 24 && offsetof(VXFileTable1, size) == 28);

// Entry of a version 0x0200 pack.
struct VXFileTable2 {
  char name[kVXPackNameLength];
  char ext[kVXPackExtLength];
  std::uint32_t offset;
  std::uint32_t size;
  std::uint32_t compSize;
  std::uint8_t comp;
  std::uint8_t unused[3];
};
static_assert(sizeof(VXFileTable2) == 40);
static_assert(offsetof(VXFileTable2, compSize) == 32 && offsetof(VXFileTable2, comp) == 36);

struct VXFileTable3 {
  char name[kVXPackNameLength];  // zero-padded, no terminator when full
  char ext[kVXPackExtLength];    // without the dot
  std::uint32_t offset;          // from file offset 16
  std::uint32_t size;            // decoded length
  std::uint32_t compSize;        // bytes in the data area, before padding
  std::uint8_t comp;             // VXPackComp
  std::uint8_t crcFlag;          // 1 when crc is valid
  std::uint16_t crc;             // CRC-16 (type 0) of the stored bytes
  FILETIME time;                 // last-write time of the file added
};
static_assert(sizeof(VXFileTable3) == 48);
static_assert(offsetof(VXFileTable3, offset) == 24 && offsetof(VXFileTable3, size) == 28 &&
              offsetof(VXFileTable3, compSize) == 32 && offsetof(VXFileTable3, comp) == 36 &&
              offsetof(VXFileTable3, crcFlag) == 37 && offsetof(VXFileTable3, crc) == 38 &&
              offsetof(VXFileTable3, time) == 40);

// One open entry.
struct VXFILE {
  int index;            // into the pack's table
  int offset;           // absolute file offset of the stored bytes
  int size;             // decoded size
  int compSize;         // stored size
  int comp;             // the entry's kind
  VXStream* stream;     // the decoded bytes, owned; null when read raw
  int position;
};

class VXPack {
public:
  VXPack();
  ~VXPack();
  VXPack(const VXPack&) = delete;
  VXPack& operator=(const VXPack&) = delete;

  // ---- Opening, closing, querying

  // Loads the table. The pack stays open (the file read-only while the read-only flag is set). A file whose table
  // or entries do not fit inside it fails the load.
  bool LoadPack(const char* name);
  bool LoadPackStream(VXStream* stream);  // the caller's stream, not owned; needs the read-only flag
  bool OpenPack(const char* name);        // a null or empty name closes the open pack and succeeds
  bool SetPackName(const char* name) { return OpenPack(name); }
  void ClosePack() { EndPack(); }
  // Closes the pack; a modified pack is written first. False when that write failed (the target keeps its old
  // contents then).
  bool EndPack();
  // Closes the pack without writing its changes: a loaded pack keeps its old contents, a new one is not made.
  void DiscardPack();

  void SetReadOnly(bool readOnly);  // only while no pack is open
  bool GetReadOnly() const { return readOnly_; }
  bool IsOpen() const { return stream_ != nullptr; }
  const VXString& GetPackName() const { return packName_; }
  // Why the last load, open or write failed, in words for a person (UTF-8).
  const std::string& GetLastError() const { return lastError_; }

  int GetFileNum() const;
  bool GetFileName(int index, char* buffer) const;  // buffer of 26 bytes; "" for a deleted entry
  int GetFileSize(int index) const;
  int GetFileComp(int index) const;
  bool GetFileTime(int index, FILETIME* time) const;
  const VXFileTable3* GetFileTable(int index) const;  // null when not open or out of range

  int CheckFileName(const char* name) const;  // index, or -1
  bool VerifyFileCrc(int index);

  static void MakeFTName(VXFileTable3& entry, const char* name);
  static void NotCoding(void* buffer, int length);

  // ---- Reading entries

  VXFILE* VXfopen(const char* name) { return VXfopenComp(name, true); }
  // Null when the name is not found, the entry check fails, the entry does not fit the data area or it does not
  // decode to exactly its size.
  VXFILE* VXfopenComp(const char* name, bool decode);
  bool VXfclose(VXFILE* file);
  int VXfsize(VXFILE* file) const;
  int VXdsize(VXFILE* file) const;
  int VXIsComp(VXFILE* file) const;
  bool VXfseek(VXFILE* file, int offset, int whence);
  bool VXfgetpos(VXFILE* file, int* position) const;
  bool VXfsetpos(VXFILE* file, const int* position);
  unsigned VXfread(void* buffer, unsigned size, unsigned count, VXFILE* file);
  bool VXIsCrc(VXFILE* file) const;
  unsigned short VXGetCrc(VXFILE* file) const;
  bool VXGetFileTime(VXFILE* file, FILETIME* time) const;

  VXStream* VXMakeStream(const char* name);
  // Copies the entry into the destination (position 0 afterwards). Without decode the stored bytes are copied.
  bool VXfopenToStream(VXStream* destination, const char* name, bool decode);
  // Writes the decoded entry to a file (through a temporary file renamed over it, so a failure leaves the old file
  // or none) with the entry's time stamp. The W form takes a UTF-16 name, for folders CP932 cannot name.
  bool GetFile(const char* destination, const char* name);
  bool GetFileW(const char16_t* destination, const char* name);

  bool OpenFile(const char* name);  // an empty name only closes the current file
  bool SetFileName(const char* name) { return OpenFile(name); }
  void CloseFile();
  VXStream* GetFileStream() const { return fileStream_; }
  const VXString& GetFileNameCurrent() const { return fileName_; }

  // ---- Writing

  bool NewPack(const char* fileName);
  // comp is a VXPackAddComp. Refuses the names that NameRefusal refuses; fails with no pack open. An encoder failure
  // stores the entry instead. Errors are written to the standard error stream as well as kept for GetLastError.
  bool AddFile(const char* name, const char* sourcePath, int comp, bool keepSmaller);
  bool AddFile(const char* name, const char* sourcePath, bool keepSmaller) {
    return AddFile(name, sourcePath, VXPackAddMariel, keepSmaller);
  }
  // As AddFile with the whole of a caller's stream (read from its start) and the time stamp given; writes nothing to
  // the standard error stream.
  bool AddStream(const char* name, VXStream* source, const FILETIME& time, int comp, bool keepSmaller);
  bool AddPack(const char* name, VXPack* source, const char* sourceName);
  // Why a name cannot become a new entry, in words for a person (UTF-8); empty when it can. Refused: an empty name,
  // one longer than 25 bytes, a base name over 21 bytes or an extension over 3, a name ending in a dot or a
  // separator, an absolute name or one that climbs out with "..", and a name the pack already holds in any case.
  std::string NameRefusal(const char* name) const;
  bool DelFile(const char* name);

  // Creates a new file with an unpredictable name in the given folder (empty: the system's temporary folder),
  // exclusively; path receives its name. Null when no name could be had.
  static VXFileStream* MakeTempFile(const VXString& folder, VXString& path);

  unsigned char verifyMode = VXPackVerifyNone;
  VXProgressCallback OnProgress;  // percentages of long passes; unbound: no reports

private:
  bool Load();
  bool LoadTable(std::int64_t fileSize);
  bool CheckEntries() const;
  bool VerifyWholeFile();
  bool CheckEntryCrc(int index);  // verify mode 2 only
  void RebuildIndex();
  void IndexEntry(int index);
  VXFILE* MakeRecord(int index) const;  // null when the entry's sizes do not fit an int
  // Decodes (or un-complements) the entry into the destination from its position 0; presize sets the destination's
  // size first, for a fresh memory stream.
  bool DecodeInto(VXFILE* file, VXStream* destination, bool presize);
  bool WriteEntry(const std::string& hostPath, const char* name);
  void FullName(const VXFileTable3& entry, char* buffer) const;
  bool Fail(const std::string& reason);

  // The pump callbacks for the coders: read from codecSrc_, write to codecDst_.
  int CallbackRead(void* buffer, int count);
  int CallbackWrite(void* buffer, int count);
  bool CallbackProgress(int percent);
  void Report(std::int64_t done, std::int64_t total);

  // Copies length bytes in 32 KiB chunks, complementing them when asked; the CRC-16 of what was written. Throws
  // std::runtime_error on a short read or write.
  unsigned short FileCopy(VXStream* from, VXStream* to, std::int64_t length, bool complement);
  int FileEncode(VXStream* from, VXStream* to, int size, int coder);  // the encoded size, -1 on failure
  void CheckRoom(std::int64_t stored) const;
  void AppendEntry(VXFileTable3& entry);  // pads the data just written and adds the entry
  void WriteTable();                      // header, table and whole-file CRC; throws on failure
  bool Finish();                          // WriteTable, sync, rename over the target
  void ReleasePack();

  bool readOnly_ = true;
  VXStream* stream_ = nullptr;
  bool streamNotOwned_ = false;
  VXPackHed header_ = {};
  std::vector<VXFileTable3> table_;
  bool modified_ = false;
  int progress_ = 0;
  VXString packName_;
  VXString workName_;  // the temporary file being written, renamed over packName_ at the end
  VXString fileName_;
  VXStream* fileStream_ = nullptr;
  VXCrcCheck* crc_ = nullptr;
  VXStream* codecSrc_ = nullptr;
  VXStream* codecDst_ = nullptr;
  std::string lastError_;
  // Upper-cased full name -> first index in table order; deleted entries are left out.
  std::unordered_map<std::string, int> index_;
};

// The message written to the standard error stream when a checksum does not match.
extern const char* const kVXPackBrokenMessage;

// Files named in UTF-16 (the save folder lies under the user's profile): a framework stream over such a file, the
// settings store, the folder-tree helper and file times.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/vxstring.h"
#include "platform/vclstream.h"

// A file time: 100-nanosecond intervals since 1601-01-01 UTC, in two 32-bit halves.
struct FILETIME {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};

// Creates every missing folder along the path; false for an empty path or when a folder cannot be made.
bool CreateFolderTreeW(const VXWideStr& path);

// The last-write time of a file; false when it cannot be opened for reading.
bool GetFileWriteTimeW(const char16_t* path, FILETIME* out);
bool GetFileWriteTimeA(const char* path, FILETIME* out);

// Sets the last-write time of an existing file; false when it cannot be set.
bool SetFileWriteTimeA(const char* path, const FILETIME& time);
bool SetFileWriteTimeW(const char16_t* path, const FILETIME& time);

// A file time in the local time zone (the TZ rules of the C library), packed as the FAT file system packs a date
// (bits 9-15 the year - 1980, 5-8 the month, 0-4 the day) and a time (bits 11-15 the hour, 5-10 the minute, 0-4
// the second / 2). False, with nothing written, for a time the C library cannot convert or one outside 1980-2107.
bool FileTimeToLocalDosDateTime(const FILETIME& time, std::uint16_t* date, std::uint16_t* dosTime);

// The framework's file-mode words: an access in the low four bits, a sharing rule in bits 4..7, or fmCreate.
enum : std::uint16_t {
  fmCreate = 0xFFFF,
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
};

// A framework stream over a file opened by a UTF-16 name through the platform's name boundary.
//
// fmCreate creates or truncates the file for reading and writing; fmOpenRead opens an existing file for reading,
// fmOpenWrite truncates an existing file for writing, fmOpenReadWrite opens an existing file for both; other access
// values fail. Sharing is kept between the game's own handles: an exclusive handle (fmCreate, fmShareExclusive or an
// unknown sharing value) cannot coexist with any other handle of the file; the other rules coexist with each other.
class TFileStreamW : public Classes::TStream {
public:
  // Throws Classes::EFOpenError, whose message is the file name in CP932, when the file does not open.
  TFileStreamW(const VXWideStr& name, std::uint16_t mode);
  TFileStreamW(const char16_t* name, std::uint16_t mode);
  ~TFileStreamW() override;
  TFileStreamW(const TFileStreamW&) = delete;
  TFileStreamW& operator=(const TFileStreamW&) = delete;

  int Read(void* buffer, int count) override;         // the count transferred; 0 on failure
  int Write(const void* buffer, int count) override;  // the count transferred; 0 on failure
  std::int64_t Seek(std::int64_t offset, Classes::TSeekOrigin origin) override;  // the new position; 0 on failure
  void SetSize(std::int64_t size) override;  // moves to size and ends the file there

private:
  int fd_ = -1;
};

// The name of the game's settings file; an existing file of this name in any letter case is used.
inline constexpr char16_t kSettingsFileName[] = u"QORM.ini";

// One section of a settings file: its name (without brackets) and its lines, each kept as read ("key=value").
class TIniSection {
public:
  explicit TIniSection(const VXString& name) : name_(name) {}

  const VXString& GetName() const { return name_; }
  const std::vector<VXString>& GetLines() const { return lines_; }
  void AddLine(const VXString& line) { lines_.push_back(line); }
  // The value of the first line whose key matches; false when there is none.
  bool GetValue(const VXString& key, VXString& value) const;
  // Replaces the first matching line, or appends one; an empty value removes the first matching line.
  void SetValue(const VXString& key, const VXString& value);

private:
  int Find(const VXString& key) const;  // index of the first matching line, or -1

  VXString name_;
  std::vector<VXString> lines_;
};

// The settings store: sections of key=value lines in CP932 text, read whole at construction and written whole.
//
// A line "[name]" starts a section (the first and last characters are dropped, whatever the last one is); other
// non-empty lines belong to the current section unchanged; empty lines and lines before the first section are
// dropped. Lines end at CR, LF or CR LF on reading, with CR LF on writing. A key is everything before a line's first
// '=' and matches without regard to ASCII case; section names match exactly, and of two sections with one name the
// first is used.
//
// Writing replaces the file whole through a temporary file (see platform::fs::ReplaceFile): a failed write keeps
// the previous file.
class TIniFileW {
public:
  // Reads the file when it exists. Throws Classes::EFOpenError when an existing file cannot be opened. An empty
  // path makes a store in memory only.
  explicit TIniFileW(const VXWideStr& path);
  // Writes pending changes to the path; a failure there is reported on stderr, never thrown.
  ~TIniFileW();
  TIniFileW(const TIniFileW&) = delete;
  TIniFileW& operator=(const TIniFileW&) = delete;

  // The value, or def when the section or key is missing or the value is empty.
  VXString ReadString(const VXString& section, const VXString& key, const VXString& def) const;
  // Sets a value (an empty value removes the key's line), appending the section when it is missing. False, with
  // nothing changed, when the text would not read back as written: a CR, LF or NUL anywhere, a key holding '=' or
  // starting with '['.
  bool WriteString(const VXString& section, const VXString& key, const VXString& value);
  // Writes the whole store to the path. Throws Classes::EFOpenError when the file cannot be created and
  // Classes::EWriteError when writing it fails; the previous file is kept either way and the store stays modified.
  void UpdateFile();
  bool IsModified() const { return modified_; }

  // Replaces the store by the text of the stream from its position to its end.
  void Load(Classes::TStream* stream);
  // The file's text as UpdateFile writes it.
  std::string GetText() const;
  int GetSectionCount() const { return static_cast<int>(sections_.size()); }

private:
  TIniSection* FindSection(const VXString& name) const;

  VXWideStr path_;
  std::vector<std::unique_ptr<TIniSection>> sections_;
  bool modified_ = false;
};

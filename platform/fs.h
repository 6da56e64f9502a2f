// The one boundary between the data's Windows-style names and the Linux file system.
//
// Names on the game's side are CP932 bytes with '\' (or '/') separators; a name that starts with a separator is
// absolute. On the host side they are UTF-8 paths. Each existing component is found without regard to ASCII case
// (directory scans are cached and rescanned when the folder changes); components that do not exist keep the case
// they were written in, so that new files can be created under them. Names are split into components character by
// character: the second byte of a double-byte CP932 character may be 0x5C ("表", "ソ", "能") and is no separator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::fs {

// Maps a CP932 Windows-style name to a host path.
std::string ToHostPath(std::string_view windowsName);

// Maps a UTF-16 Windows-style name to a host path.
std::string ToHostPath(std::u16string_view windowsName);

// A host path (UTF-8, '/') back in the game's form (CP932, '\'); characters without a CP932 form become U+30FB's
// CP932 bytes.
std::string ToWindowsName(std::string_view hostPath);

// A name that came from a data file: relative, without a drive and without a ".." component.
bool IsSafeDataName(std::string_view windowsName);

struct Entry {
  std::string name;  // UTF-8, as on the disk
  bool isFolder = false;
  std::uint64_t size = 0;
};

// The entries of a host folder ("." and ".." left out), sorted by upper-cased name as the game's file system listed
// them. Empty when the folder cannot be read.
std::vector<Entry> ListFolder(const std::string& hostFolder);

// Forgets every cached directory scan.
void ClearCache();

enum class ReplaceResult { Done, CannotCreate, WriteFailed };

// Replaces a host file whole: the bytes go to a new temporary file in the same folder, every write checked, synced,
// then renamed over the old file, so a failure or a crash leaves either the old file or the new one, never a mix.
// An existing file keeps its permission bits. CannotCreate: the temporary file could not be made; WriteFailed: a
// write, the sync or the rename failed. The temporary file is removed on failure.
ReplaceResult ReplaceFile(const std::string& hostPath, std::string_view bytes);

}  // namespace platform::fs

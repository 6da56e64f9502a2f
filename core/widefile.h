// Name helpers for the save folder and the pack files: folder trees and file times.
#pragma once

#include <cstdint>

#include "core/vxstring.h"

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

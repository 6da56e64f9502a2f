// Wide-name helpers for the save folder.
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

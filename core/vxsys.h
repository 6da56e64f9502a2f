// System facts, path-name surgery, existence tests, opening documents and the colour byte-order swap.
//
// Paths on this side are Windows-form strings: '\' separates, "X:" is a drive and a leading '\' is the root of the
// host's file system. The A forms take CP932 text, the W forms UTF-16; both behave alike. Only the existence tests,
// the current folder and document opening touch the file system, through the platform's name boundary.
#pragma once

#include <cstdint>

#include "core/vxstring.h"

// Byte counts of the machine's memory, clamped to 32 bits.
std::uint32_t VXTotalPhysicalMemory();
std::uint32_t VXAvailPhysicalMemory();
std::uint32_t VXTotalVirtualMemory();
std::uint32_t VXAvailVirtualMemory();

// The address of the call instruction that returns to `returnAddress` (the return address itself where the call's
// length is not known), for reports that name where something was asked for.
std::uintptr_t VXCallSiteOf(void* returnAddress);

VXString VXGetCurrentDirA();  // empty when it cannot be read
VXWideStr VXGetCurrentDirW();
bool VXSetCurrentDirA(const VXString& dir);
bool VXSetCurrentDirW(const VXWideStr& dir);

// The command line kept from main (platform::process::SetCommandLine); parameter 0 is the program.
int VXParamCount();
VXString VXParamStrA(int n);  // empty when n is out of range
VXWideStr VXParamStrW(int n);

VXString VXGetExePathA();  // the program file; empty when it cannot be read
VXWideStr VXGetExePathW();

VXString VXExtractFilePathA(const VXString& path);
VXWideStr VXExtractFilePathW(const VXWideStr& path);
VXString VXExtractFileDirA(const VXString& path);
VXWideStr VXExtractFileDirW(const VXWideStr& path);
VXString VXExtractFileDriveA(const VXString& path);
VXWideStr VXExtractFileDriveW(const VXWideStr& path);
VXString VXExtractFileNameA(const VXString& path);
VXWideStr VXExtractFileNameW(const VXWideStr& path);
VXString VXExtractFileExtA(const VXString& path);
VXWideStr VXExtractFileExtW(const VXWideStr& path);
VXString VXChangeFileExtA(const VXString& path, const VXString& ext);
VXWideStr VXChangeFileExtW(const VXWideStr& path, const VXWideStr& ext);
VXString VXAbsToRelPathA(const VXString& path, const VXString& base);
VXWideStr VXAbsToRelPathW(const VXWideStr& path, const VXWideStr& base);
VXString VXAbsToRelDirA(const VXString& path, const VXString& base);
VXWideStr VXAbsToRelDirW(const VXWideStr& path, const VXWideStr& base);
VXString VXAbsToRelPathNameA(const VXString& pathName, const VXString& base);
VXWideStr VXAbsToRelPathNameW(const VXWideStr& pathName, const VXWideStr& base);
VXString VXRelToAbsPathA(const VXString& rel, const VXString& base);
VXWideStr VXRelToAbsPathW(const VXWideStr& rel, const VXWideStr& base);
// RelToAbsPath without the final backslash (a drive root keeps it); and of a name's folder part, with the file
// name appended.
VXString VXRelToAbsDirA(const VXString& rel, const VXString& base);
VXWideStr VXRelToAbsDirW(const VXWideStr& rel, const VXWideStr& base);
VXString VXRelToAbsPathNameA(const VXString& pathName, const VXString& base);
VXWideStr VXRelToAbsPathNameW(const VXWideStr& pathName, const VXWideStr& base);

bool VXFileIsExistA(const char* name);  // exists and is not a folder
bool VXFileIsExistW(const char16_t* name);
bool VXFolderIsExistA(const char* name);
bool VXFolderIsExistW(const char16_t* name);

// Opens the file with the desktop's associated program, in the file's folder; false at once for an empty name.
bool VXFileExecA(void* window, const VXString& file);
bool VXFileExecW(void* window, const VXWideStr& file);

// 0x00RRGGBB and 0x00BBGGRR into each other: bytes 0 and 2 exchanged, byte 3 cleared.
std::uint32_t DWORD2COLORREF(std::uint32_t value);
std::uint32_t COLORREF2DWORD(std::uint32_t value);

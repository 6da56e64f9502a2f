// Utility functions for code that works with the framework's types: existence tests, relative-path conversion on
// the narrow string (std::string of CP932 bytes, Windows-form paths), memory totals, opening a document with its
// associated program, and fonts made from a framework font.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/vxfont.h"

bool FileIsExist(const char* name);  // exists and is not a folder
bool FileIsExistW(const char16_t* name);
bool FolderIsExist(const char* name);
bool FolderIsExistW(const char16_t* name);

// The rules of VXAbsToRelPathA and its neighbours (core/vxsys.h). The Dir forms drop the final backslash (a drive
// root keeps it); the PathName forms convert the folder part and append the file name.
std::string AbsToRelPath(const std::string& path, const std::string& base);
std::string AbsToRelDir(const std::string& path, const std::string& base);
std::string AbsToRelPathName(const std::string& pathName, const std::string& base);
std::string RelToAbsPath(const std::string& rel, const std::string& base);
std::string RelToAbsDir(const std::string& rel, const std::string& base);
std::string RelToAbsPathName(const std::string& pathName, const std::string& base);

std::uint32_t TotalPhysicalMemory();
std::uint32_t AvailPhysicalMemory();
std::uint32_t TotalVirtualMemory();
std::uint32_t AvailVirtualMemory();

// Results of opening a document, in the numbering the user's messages are chosen by; above 32 is success.
enum ZoExecResult : int {
  zeFileNotFound = 2,
  zePathNotFound = 3,
  zeNoAssociation = 31,
  zeSuccess = 33,
};

// Opens the document with its associated program (nothing for an empty name). A failure is told to the user in
// an error box captioned "エラー" with the text for its result; nothing is returned. A document that is missing
// is reported before any program starts (its folder missing: path not found; else file not found); when no
// program to open documents can be started, there is no association.
void ZoFileExec(const std::string& file);
// The same, returning the result instead of telling the user.
int ZoFileExecResult(const std::string& file);
// The user's message for a result (UTF-8); results not in the table give "不明なエラー".
const char* ZoFileExecErrorText(int result);

// A new font made from the framework font with anti-aliased (4) or non-anti-aliased (3) quality; null when it
// cannot be made or no font is given. "Default" in any letter case is the UI face.
HFONT GetAntiAliasedFont(const Graphics::TFont* font);
HFONT GetNonAntiAliasedFont(const Graphics::TFont* font);

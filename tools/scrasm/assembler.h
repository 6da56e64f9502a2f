// The script assembler: scenario sources (UTF-8 text, described in tools/scrasm.md) into the compiled scene table
// "Scene.tbl" and scripts "scr%05d.blv" that the script engine runs.
//
// All sources of a scenario are assembled together, so that scene jumps and calls across scripts are checked
// against what the other sources declare. What the compiled formats cannot hold (a function over 65,535 bytes, more
// than 1,024 scenes, a text over the limit of the command that shows it, a text without a Shift-JIS form) is refused
// with "file:line: message"; half-width characters in message and choice texts are only warned about.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace scrasm {

struct TSource {
  std::string name;  // the file name that messages give
  std::string text;  // UTF-8
};

struct TDiagnostic {
  std::string file;
  int line = 0;
  bool warning = false;
  std::string message;

  std::string Format() const;  // "file:line: message", "file:line: warning: message"
};

// Compiled files by name.
using TFiles = std::map<std::string, std::vector<std::uint8_t>>;

// The suffix of a source file ("scr00001.scs").
inline constexpr const char* kSourceSuffix = ".scs";

// True, with the files filled, when no source has an error; the diagnostics collect errors and warnings.
bool Assemble(const std::vector<TSource>& sources, TFiles& files, std::vector<TDiagnostic>& diagnostics);

// A script's version stamp: the CRC-32 of its code, data and text sections, so that an unchanged script keeps saved
// games and read marks valid. Never 0xFFFFFFFF.
std::uint32_t ScriptStamp(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& data,
                          const std::vector<std::uint8_t>& text);

// Names of functions and labels: a letter or '_', then letters, digits and '_'.
bool IsIdentifier(std::string_view name);

}  // namespace scrasm

// A text held as numbered lines: one buffer in which every line ends with a line feed, and an index of where each
// line starts. Lines are numbered from 0. Loading accepts CR, LF and CR LF line ends; saving writes CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/vxstring.h"

class VXStream;

class VXStringList {
public:
  VXStringList() = default;
  ~VXStringList() = default;

  // Replaces the whole text; null is the empty text. A NUL ends it.
  void SetText(const char* text);
  // The text with a line feed after every line.
  const char* GetText() const { return text_.c_str(); }
  // Rebuilds the line index from the text.
  void ParseText();
  // Offset and length (without the line feed) of a line; false for an index out of range.
  bool GetStringPos(int index, int& start, int& length) const;

  void Clear();
  // Appends s (up to a NUL in it) and a line feed unless s already ends with one; line feeds inside s make several
  // lines and carriage returns stay. Returns the new count; a list that would outgrow 2 GiB is left unchanged.
  int Add(const VXString s);
  void AddStrings(VXStringList* list);
  // Inserts before line index (clamped into 0 .. count; count appends).
  void Insert(int index, const VXString s);
  void Delete(int index);  // out-of-range indexes do nothing
  int GetCount() const { return static_cast<int>(index_.size()); }
  VXString GetString(int index) const;  // empty for an index out of range

  // Loads from the stream's position to its end. A short read, or more than 2 GiB, leaves the list empty.
  void LoadFromStream(VXStream* stream);
  // A file that does not open leaves the list unchanged.
  void LoadFromFile(const VXString name);
  // Each line followed by CR LF; false when a write falls short.
  bool SaveToStream(VXStream* stream) const;
  // Replaces the file whole: the old file stays as it was when anything fails.
  bool SaveToFile(const VXString name) const;

private:
  // The bytes of s that Add and Insert take: up to a NUL, with a line feed at the end.
  static std::string AsLines(const VXString& s);
  std::string SavedText() const;
  void IndexFrom(std::size_t offset);

  std::string text_;
  std::vector<std::uint32_t> index_;
};

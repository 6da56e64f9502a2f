// The look of the demo game, read from data/: the palette (data/palette.txt) and the label texts
// (data/labels.txt). Every picture takes its colours and words from here by name, so that one change of the data
// changes every screen alike. An unknown name is a fault of the builder and stops it with the name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tools/mkdemo/canvas.h"

namespace mkdemo {

class Style {
public:
  // Reads both files of the data folder; throws std::runtime_error naming the file and line of a bad entry.
  static Style Load(const std::string& dataFolder);

  Rgb Colour(const std::string& name) const;
  const std::string& Label(const std::string& key) const;  // UTF-8

private:
  std::map<std::string, std::uint32_t> colours_;
  std::map<std::string, std::string> labels_;
};

// The lines of a text file of the data folder without comments (from a '#' that starts a word) and surrounding blanks, empty lines
// dropped, each with its line number.
struct DataLine {
  int number;
  std::string text;
};
std::vector<DataLine> ReadDataLines(const std::string& path);
// The first word of a line and the rest (trimmed).
std::pair<std::string, std::string> SplitFirst(const std::string& text);
// Without surrounding blanks (spaces, tabs, CR).
std::string Trim(const std::string& text);
// UTF-8 text as CP932 bytes, as the game's text files hold it; throws std::runtime_error naming text without a
// CP932 form.
std::string Cp932Text(const std::string& utf8);

}  // namespace mkdemo

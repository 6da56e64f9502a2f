#include "tools/mkdemo/style.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/text.h"

namespace mkdemo {

namespace {

// A comment starts with a '#' at the start of the line or after a blank ("C#4" is a pitch, not a comment).
std::size_t CommentStart(const std::string& line) {
  for (std::size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1))
    if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') return at;
  return std::string::npos;
}

}  // namespace

std::vector<DataLine> ReadDataLines(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::vector<DataLine> lines;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string text = Trim(line.substr(0, CommentStart(line)));
    if (!text.empty()) lines.push_back({number, text});
  }
  return lines;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string Cp932Text(const std::string& utf8) {
  const auto text = platform::text::Utf8ToCp932(utf8);
  if (!text) throw std::runtime_error("text without a CP932 form: " + utf8);
  return *text;
}

std::pair<std::string, std::string> SplitFirst(const std::string& text) {
  const auto end = text.find_first_of(" \t");
  if (end == std::string::npos) return {text, {}};
  return {text.substr(0, end), Trim(text.substr(end))};
}

Style Style::Load(const std::string& dataFolder) {
  Style style;
  const std::string palette = dataFolder + "/palette.txt";
  for (const DataLine& line : ReadDataLines(palette)) {
    const auto [name, rest] = SplitFirst(line.text);
    const std::string hex = SplitFirst(rest).first;
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      throw std::runtime_error(palette + ":" + std::to_string(line.number) + ": a colour is six hexadecimal digits");
    style.colours_[name] = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
  }
  const std::string labels = dataFolder + "/labels.txt";
  for (const DataLine& line : ReadDataLines(labels)) {
    const auto [key, text] = SplitFirst(line.text);
    if (text.empty()) throw std::runtime_error(labels + ":" + std::to_string(line.number) + ": a label has no text");
    style.labels_[key] = text;
  }
  return style;
}

Rgb Style::Colour(const std::string& name) const {
  const auto it = colours_.find(name);
  if (it == colours_.end()) throw std::runtime_error("no colour \"" + name + "\" in palette.txt");
  return RgbOf(it->second);
}

const std::string& Style::Label(const std::string& key) const {
  const auto it = labels_.find(key);
  if (it == labels_.end()) throw std::runtime_error("no label \"" + key + "\" in labels.txt");
  return it->second;
}

}  // namespace mkdemo

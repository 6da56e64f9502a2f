#include "tools/mkdemo/stage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/text.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

namespace {


std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The content of a line: without its "//" comment, trimmed.
std::string Content(const std::string& line) { return Trim(line.substr(0, line.find("//"))); }

std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
    fields.push_back(Trim(text.substr(start, comma - start)));
  fields.push_back(Trim(text.substr(start)));
  return fields;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool Command(const std::string& word, const char* prefix, std::size_t length) {
  return word.size() == length && word.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

std::string StageFile(const std::string& source, double tempo) {
  std::string out;
  int number = 0;
  bool events = false;
  for (const std::string& line : Lines(source)) {
    ++number;
    std::string text = line;
    const std::string content = Content(line);
    if (!content.empty() && content[0] == '[')
      events = content != "[Load]";
    else if (events && !content.empty() && content[0] == 'b') {
      const std::size_t comma = content.find(',');
      const std::string beats = content.substr(1, comma == std::string::npos ? std::string::npos : comma - 1);
      char* end = nullptr;
      const double value = std::strtod(beats.c_str(), &end);
      if (beats.empty() || *end != '\0' || value < 0)
        throw std::runtime_error(source + ":" + std::to_string(number) + ": \"b" + beats + "\" is not a time in beats");
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.3f", value * 60 / tempo);
      text = seconds + (comma == std::string::npos ? std::string() : content.substr(comma));
    }
    const auto cp932 = platform::text::Utf8ToCp932(text);
    if (!cp932) throw std::runtime_error(source + ":" + std::to_string(number) + ": text without a CP932 form");
    out += *cp932 + "\r\n";
  }
  return out;
}

std::vector<std::string> ExpandBracketPattern(const std::string& pattern) {
  const std::size_t open = pattern.find('['), close = pattern.find(']');
  if (open == std::string::npos || close == std::string::npos || close < open + 2) return {pattern};
  const std::string prefix = pattern.substr(0, open), suffix = pattern.substr(close + 1);
  std::vector<std::string> names;
  char previous = ' ';
  bool range = false;
  for (char c : pattern.substr(open + 1, close - open - 1)) {
    if (c == '-') {
      range = true;
      continue;
    }
    if (!range)
      names.push_back(prefix + c + suffix);
    else
      for (int ch = previous + 1; ch <= c; ++ch) names.push_back(prefix + static_cast<char>(ch) + suffix);
    previous = c;
  }
  return names;
}

std::vector<std::string> StageFiles(const std::string& source, const std::vector<std::string>& folders) {
  std::vector<std::string> files;
  const auto add = [&](const std::string& name) {
    if (!name.empty() && std::find(files.begin(), files.end(), name) == files.end()) files.push_back(name);
  };
  const auto addMotion = [&](const std::string& name) {
    add(name);
    std::string path = folders.empty() ? name : folders.back() + "/" + name;
    for (const std::string& folder : folders)
      if (std::filesystem::exists(folder + "/" + name)) {
        path = folder + "/" + name;
        break;
      }
    for (const std::string& line : Lines(path)) {
      const std::string content = Content(line);
      if (content.empty()) continue;
      add(Fields(content)[0]);
      break;
    }
  };
  bool load = false;
  for (const std::string& line : Lines(source)) {
    const std::string content = Content(line);
    if (content.empty()) continue;
    if (content[0] == '[') {
      load = content == "[Load]";
      continue;
    }
    if (!load) continue;
    const std::vector<std::string> f = Fields(content);
    const std::string word = Upper(f[0]);
    const auto field = [&](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
    if (word == "BGPIC" || word == "WAVE")
      add(field(2));
    else if (word == "BGANIM")
      for (const std::string& name : ExpandBracketPattern(field(2))) add(name);
    else if (Command(word, "CHAR", 6))
      add(field(2));
    else if (Command(word, "CERR", 6))
      add(field(1));
    else if (Command(word, "ECHAR", 7))
      addMotion(field(2));
    else if (Command(word, "ECERR", 7))
      addMotion(field(1));
  }
  return files;
}

}  // namespace mkdemo

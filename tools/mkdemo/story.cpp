#include "tools/mkdemo/story.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tools/scrasm/assembler.h"

namespace mkdemo {

namespace {

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path.string() + ": cannot be read");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

void AddStory(const Context& context, std::vector<Asset>& assets) {
  const std::filesystem::path folder = std::filesystem::path(context.dataFolder) / "scripts";
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == scrasm::kSourceSuffix) paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  std::vector<scrasm::TSource> sources;
  for (const auto& path : paths) sources.push_back({path.filename().string(), Slurp(path)});
  // Assembled once, here: every file of the scenario comes out of the one assembly.
  auto files = std::make_shared<scrasm::TFiles>();
  std::vector<scrasm::TDiagnostic> diagnostics;
  if (!scrasm::Assemble(sources, *files, diagnostics)) {
    std::string messages;
    for (const scrasm::TDiagnostic& d : diagnostics)
      if (!d.warning) messages += "\n" + (folder / d.file).string() + ":" + std::to_string(d.line) + ": " + d.message;
    throw std::runtime_error("the story does not assemble:" + messages);
  }
  for (const auto& file : *files) {
    const std::string name = file.first;
    assets.push_back({name, Place::kSet, [files, name] {
                        const auto& b = files->at(name);
                        return std::string(b.begin(), b.end());
                      }, "Script"});
  }
  const std::string speakers = Slurp(folder / "SpeakTbl.csv");
  assets.push_back({"SpeakTbl.csv", Place::kMain, [speakers] { return speakers; }});
}

}  // namespace mkdemo

#include "tools/mkdemo/songart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "tools/mkdemo/backdrops.h"
#include "tools/mkdemo/mascots.h"
#include "tools/mkdemo/picfiles.h"
#include "tools/mkdemo/soundfiles.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

std::string Extension(const std::string& name) { return std::filesystem::path(name).extension().string(); }

int Whole(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0) throw std::runtime_error("\"" + text + "\" is not a count");
  return static_cast<int>(value);
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Checks a recipe's values (so that a bad line fails before anything is made).
void Check(const ArtRecipe& r) {
  const std::vector<std::string>& w = r.words;
  const std::string& kind = w[0];
  const std::string ext = Extension(r.name);
  if (kind == "backdrop") {
    if ((w.size() != 3 && w.size() != 5) || !IsScene(w[1]))
      throw std::runtime_error("backdrop SCENE SEED [FRAME FRAMES]");
    for (std::size_t i = 2; i < w.size(); ++i) Whole(w[i]);
    if (ext != ".jpg" && ext != ".png" && ext != ".bmp") throw std::runtime_error("a background is .jpg, .png or .bmp");
  } else if (kind == "strip" || kind == "sheet") {
    const std::size_t first = kind == "strip" ? 2 : 5;
    if (w.size() <= first || !IsMascot(w[1])) throw std::runtime_error(kind + ": a character and its poses");
    for (std::size_t i = 2; i < first; ++i) Whole(w[i]);
    for (std::size_t i = first; i < w.size(); ++i)
      if (!IsPose(w[i])) throw std::runtime_error("no pose \"" + w[i] + "\"");
    if (ext != ".png") throw std::runtime_error("a performer's picture is .png");
  } else if (kind == "sound") {
    if (w.size() != 2) throw std::runtime_error("sound SOURCE");
  } else if (kind != "copy") {
    throw std::runtime_error("unknown recipe \"" + kind + "\"");
  }
}

std::string PictureFile(Picture& picture, const std::string& name, bool alpha) {
  const std::string ext = Extension(name);
  if (ext == ".jpg") return JpegFile(picture, 90);
  if (ext == ".bmp") return BmpFile(picture);
  return PngFile(picture, alpha);
}

}  // namespace

namespace {

std::string CommonFolder(const SongSource& song) { return std::filesystem::path(song.folder).parent_path().string(); }

// A copied file: the song's own, else the shared one.
std::string CopySource(const SongSource& song, const ArtRecipe& r) {
  const std::string own = song.folder + "/" + r.name;
  return std::filesystem::exists(own) ? own : CommonFolder(song) + "/" + r.name;
}

void ReadArtFile(const std::string& path, std::map<std::string, ArtRecipe>& recipes) {
  std::map<std::string, ArtRecipe> mine;
  for (const DataLine& line : ReadDataLines(path)) {
    std::istringstream in(line.text);
    ArtRecipe recipe;
    in >> recipe.name;
    for (std::string word; in >> word;) recipe.words.push_back(word);
    try {
      if (recipe.words.empty()) throw std::runtime_error("a name and a recipe");
      Check(recipe);
      if (!mine.emplace(recipe.name, recipe).second) throw std::runtime_error(recipe.name + " twice");
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(path + ":" + std::to_string(line.number) + ": " + e.what());
    }
  }
  for (auto& [name, recipe] : mine) recipes[name] = recipe;
}

}  // namespace

std::map<std::string, ArtRecipe> ReadArt(const SongSource& song) {
  std::map<std::string, ArtRecipe> recipes;
  ReadArtFile(CommonFolder(song) + "/art.txt", recipes);
  ReadArtFile(song.folder + "/art.txt", recipes);
  return recipes;
}

namespace {

std::string Make(const Style& style, const SongSource& song, const ArtRecipe& r) {
  const std::vector<std::string>& w = r.words;
  if (w[0] == "backdrop") {
    const auto picture = Backdrop(style, w[1], static_cast<std::uint32_t>(Whole(w[2])), w.size() > 3 ? Whole(w[3]) : 0,
                                  w.size() > 4 ? Whole(w[4]) : 0);
    return PictureFile(*picture, r.name, false);
  }
  if (w[0] == "strip" || w[0] == "sheet") {
    const bool strip = w[0] == "strip";
    const std::vector<std::string> poses(w.begin() + (strip ? 2 : 5), w.end());
    const auto picture = strip ? MascotSheet(style, w[1], 64, 96, 1, poses)
                               : MascotSheet(style, w[1], Whole(w[2]), Whole(w[3]), Whole(w[4]), poses);
    return PictureFile(*picture, r.name, true);
  }
  if (w[0] == "sound")
    return SoundFile(r.name, Render(ReadScore(CommonFolder(song) + "/sounds/" + w[1] + ".txt"), 0.7f), 0.4f);
  return Slurp(CopySource(song, r));
}

}  // namespace

std::string MakeArt(const Style& style, const SongSource& song, const ArtRecipe& recipe) {
  // Songs share most of their performers and sounds: each distinct file is made once, by the first thread that
  // asks for it, and the others wait for its bytes.
  static std::mutex lock;
  static std::map<std::string, std::shared_future<std::string>> made;
  std::string key = Extension(recipe.name);
  for (const std::string& word : recipe.words) key += " " + word;
  if (recipe.words[0] == "copy") key += " " + CopySource(song, recipe);
  std::promise<std::string> promise;
  std::shared_future<std::string> bytes;
  bool mine = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto it = made.find(key);
    if (it == made.end()) {
      it = made.emplace(key, promise.get_future().share()).first;
      mine = true;
    }
    bytes = it->second;
  }
  if (mine) {
    try {
      promise.set_value(Make(style, song, recipe));
    } catch (...) {
      promise.set_exception(std::current_exception());
    }
  }
  return bytes.get();
}

}  // namespace mkdemo

#include "tools/mkdemo/songsource.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "tools/mkdemo/style.h"

namespace mkdemo {

namespace {

struct LineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

double Number(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') throw LineError("\"" + text + "\" is not a number");
  return value;
}

bool IsKind(const std::string& kind) { return kind == "ogg" || kind == "adp" || kind == "wav"; }

bool IsPartName(const std::string& name) {
  if (name == "song" || name == "key" || name == "event") return true;
  return name.size() > 5 && name.compare(0, 5, "event") == 0 &&
         name.find_first_not_of("0123456789", 5) == std::string::npos;
}

void Setting(SongSource& song, const std::string& key, const std::string& rest) {
  const std::vector<std::string> words = Words(rest);
  const auto need = [&](std::size_t n) {
    if (words.size() < n) throw LineError(key + ": " + std::to_string(n) + " values wanted");
  };
  if (key == "title")
    need(1), song.title = rest;
  else if (key == "artist")
    need(1), song.artist = rest;
  else if (key == "version")
    need(1), song.version = static_cast<int>(Number(words[0]));
  else if (key == "options")
    song.options = rest;
  else if (key == "audio" || key == "tones") {
    need(1);
    if (!IsKind(words[0])) throw LineError(key + ": ogg, adp or wav");
    (key == "audio" ? song.audio : song.tones) = words[0];
  } else if (key == "part") {
    need(2);
    if (!IsPartName(words[0])) throw LineError("part: song, event, eventN or key");
    if (words[1] != "pack" && words[1] != "folder") throw LineError("part: pack or folder");
    if ((words[0] == "key") != (words.size() == 2)) throw LineError("part: a stage script for song and event parts");
    song.parts.push_back({words[0], words[1] == "pack", words.size() > 2 ? words[2] : ""});
  } else if (key == "titles") {
    need(1);
    for (const std::string& w : words)
      if (w != "songtitle" && w != "songtitle2") throw LineError("titles: songtitle or songtitle2");
    song.titlePictures = words;
  } else if (key == "play")
    need(1), song.play = words[0];
  else if (key == "keys") {
    need(2);
    song.keyBase = static_cast<int>(NotePitch(words[0]));
    if (words[1] != "major" && words[1] != "minor") throw LineError("keys: major or minor");
    song.minor = words[1] == "minor";
  } else if (key == "colour")
    need(1), song.colour = words[0];
  else if (key == "lyric") {
    need(1);
    const auto [beat, text] = SplitFirst(rest);
    if (text.find(',') != std::string::npos && song.version < 111)
      throw LineError("lyric: a comma ends the lyric of a version below 111");
    song.lyrics.push_back({Number(beat), text});
  } else
    throw LineError("unknown setting \"" + key + "\"");
}

}  // namespace

int SongSource::PlayedVoice() const {
  for (std::size_t i = 0; i < score.voices.size(); ++i)
    if (score.voices[i].name == play) return static_cast<int>(i);
  throw std::runtime_error(folder + "/info.txt: no voice \"" + play + "\" in score.txt");
}

const SongPart* SongSource::Part(const std::string& name) const {
  for (const SongPart& part : parts)
    if (part.name == name) return &part;
  return nullptr;
}

std::vector<std::string> SongIds(const std::string& dataFolder) {
  std::vector<std::string> ids;
  const std::string list = dataFolder + "/songs/songs.txt";
  for (const DataLine& line : ReadDataLines(list)) {
    if (line.text.size() != 4)
      throw std::runtime_error(list + ":" + std::to_string(line.number) + ": an ID has 4 characters");
    ids.push_back(line.text);
  }
  return ids;
}

SongSource ReadSongSource(const std::string& dataFolder, const std::string& id) {
  SongSource song;
  song.id = id;
  song.folder = dataFolder + "/songs/" + id;
  const std::string info = song.folder + "/info.txt";
  for (const DataLine& line : ReadDataLines(info)) {
    try {
      const auto [key, rest] = SplitFirst(line.text);
      Setting(song, key, rest);
    } catch (const std::runtime_error& e) {  // ours and NotePitch's
      throw std::runtime_error(info + ":" + std::to_string(line.number) + ": " + e.what());
    }
  }
  if (song.title.empty()) throw std::runtime_error(info + ": no title");
  if (!song.Part("song") || !song.Part("key")) throw std::runtime_error(info + ": a song part and a key part wanted");
  if (song.version < 100 || song.version > 200) throw std::runtime_error(info + ": the version lies in 100..200");
  if (song.version < 200 && song.audio == "ogg") throw std::runtime_error(info + ": Ogg audio needs version 200");
  std::stable_sort(song.lyrics.begin(), song.lyrics.end(),
                   [](const Lyric& a, const Lyric& b) { return a.beat < b.beat; });
  song.score = ReadScore(song.folder + "/score.txt");
  if (song.score.loops) throw std::runtime_error(song.folder + "/score.txt: a song does not loop");
  song.PlayedVoice();
  return song;
}

}  // namespace mkdemo

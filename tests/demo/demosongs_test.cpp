// The songs of the demo game as the music game will find them: each part a pack or a folder where the song table
// below says, "SONG.ID", "Song.txt" and "Anime.txt" readable by small readers written here from the file formats
// (a check of the data, not the game's readers), every note of the chart where the same note starts in the note
// list that made the audio and on a rise of the decoded audio, every key tone and stage file present and
// readable, the pictures at their sizes, and the pack-mode and folder-mode games alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/vxfileman.h"
#include "demo/demofiles.h"
#include "device/vxladpstream.h"
#include "device/vxloggstream.h"
#include "device/vxlwavestream.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using namespace demofiles;

const fs::path kGame = QORM_DEMO_GAME_DIR;
const fs::path kFolderGame = QORM_DEMO_FOLDER_DIR;
const fs::path kSources = fs::path(QORM_DEMO_DATA_DIR) / "songs";

struct EventPart {
  const char* name;
  bool pack;
};

struct SongForm {
  const char* id;
  int version;
  bool songPack, keyPack;
  const char* audio;  // extension of "song.*"
  const char* tones;  // extension of the key tones
  std::vector<EventPart> events;
};

const SongForm kSongs[] = {
    {"QM01", 200, false, false, "ogg", "ogg", {}},
    {"QM02", 200, true, true, "ogg", "ogg", {}},
    {"QM03", 150, false, true, "adp", "adp", {}},
    {"QM04", 200, true, false, "ogg", "wav", {}},
    {"QM05", 200, true, true, "ogg", "ogg", {{"event", false}, {"event2", true}}},
    {"QE01", 200, false, false, "ogg", "ogg", {}},
    {"QE02", 110, true, true, "adp", "ogg", {}},
    {"QE03", 200, false, true, "ogg", "ogg", {}},
};

void PrintTo(const SongForm& song, std::ostream* out) { *out << song.id; }

// ---- Small readers of the formats

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The field before the first comma (trimmed); the text keeps what follows the comma.
std::string CutToken(std::string& text) {
  const auto comma = text.find(',');
  std::string field = Trim(text.substr(0, comma));
  text = comma == std::string::npos ? "" : text.substr(comma + 1);
  return field;
}

std::vector<std::string> Fields(std::string text) {
  std::vector<std::string> fields;
  while (!text.empty()) fields.push_back(CutToken(text));
  return fields;
}

bool IsInteger(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789", s[0] == '-' ? 1 : 0) == std::string::npos && s != "-";
}

// Seconds with up to three decimals, in thousandths.
bool Thousandths(const std::string& text, std::uint32_t& value) {
  const auto dot = text.find('.');
  const std::string whole = text.substr(0, dot), part = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (!IsInteger(whole) || whole[0] == '-' || part.size() > 3 || (!part.empty() && !IsInteger(part))) return false;
  const std::string decimals = part + std::string(3 - part.size(), '0');
  value = static_cast<std::uint32_t>(std::stoul(whole) * 1000 + std::stoul(decimals));
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Ext(const std::string& name) { return Upper(fs::path(name).extension().string()); }

// A song part as the game opens it: the pack "<part>.pak" when there is one, else the folder.
class Part {
public:
  Part(const fs::path& path) : path_(path) {
    pack_ = files_.InitPack((path.string() + ".pak").c_str());
    if (!pack_ && fs::is_directory(path)) files_.InitDir(path.string().c_str());
    found_ = pack_ || fs::is_directory(path);
  }
  bool Found() const { return found_; }
  bool IsPack() const { return pack_; }
  bool Has(const std::string& name) { return files_.FileIsExist(name); }
  std::string Bytes(const std::string& name) {
    VXStream* stream = files_.Open(name);
    if (stream == nullptr) return {};
    std::string bytes = ReadAll(stream);
    files_.Close(stream);
    return bytes;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    files_.FindSet("*.*");
    for (VXString name; files_.FindFile(name);) names.push_back(name.c_str());
    return names;
  }

private:
  fs::path path_;
  VXFileMan files_;
  bool pack_ = false, found_ = false;
};

// "SONG.ID": version from the 7-character tag, the ID line, the options of a version 200.
struct SongId {
  int version = 0;
  std::string id, options;
  std::size_t lines = 0;
};

SongId ReadSongId(const std::string& bytes) {
  const std::vector<std::string> lines = Lines(bytes);
  SongId info;
  info.lines = lines.size();
  if (lines.size() < 8 || lines[0].size() != 7) return info;
  const std::string& tag = lines[0];
  if (!std::isdigit(static_cast<unsigned char>(tag[3])) || !IsInteger(tag.substr(5, 2))) return info;
  info.version = (tag[3] - '0') * 100 + std::stoi(tag.substr(5, 2));
  info.id = lines[1].substr(0, 4);
  if (info.version >= 200) info.options = lines[2];
  return info;
}

// Key index of a key character: each row's four left keys, four right keys, two middle keys; rows home, top,
// bottom; a letter in either case, a symbol or its shifted form.
int CharToKey(char c) {
  static const std::string kKeys = "asdfjkl;ghqweruioptyzxcvm,./bn", kShifted = "ASDFJKL+GHQWERUIOPTYZXCVM<>?BN";
  const auto at = kKeys.find(c), shifted = kShifted.find(c);
  return at != std::string::npos ? static_cast<int>(at) : shifted != std::string::npos ? static_cast<int>(shifted) : -1;
}

struct Note {
  std::uint32_t time = 0;
  std::uint32_t length = 0;  // thousandths
  std::string tone;          // empty for a rest
  int key = -1;
  bool hasLyric = false;
  std::string lyric;
};

// "Song.txt": a line a note; a rest ("@") carries the lyric from its fourth field; from version 111 on the lyric
// is the rest of the line, one trailing comma removed.
bool ReadChart(const std::string& bytes, int version, std::vector<Note>& notes) {
  for (const std::string& line : Lines(bytes)) {
    if (line.empty() || line[0] == '#') continue;
    std::string text = line;
    Note note;
    const std::string time = CutToken(text);
    if (!IsInteger(time) || !Thousandths(CutToken(text), note.length)) return false;
    note.time = static_cast<std::uint32_t>(std::max(1L, std::stol(time)));
    note.tone = CutToken(text);
    if (note.tone == "@") {
      note.tone.clear();
    } else {
      const std::string key = CutToken(text);
      note.key = key.empty() ? -1 : CharToKey(key[0]);
    }
    if (version >= 111) {
      note.lyric = text;
      if (!note.lyric.empty() && note.lyric.back() == ',') note.lyric.pop_back();
    } else {
      note.lyric = CutToken(text);
    }
    note.hasLyric = note.tone.empty() || !note.lyric.empty();
    notes.push_back(note);
  }
  return true;
}

// "Anime.txt": the [Load] lines as fields, and the events of the four sections with their type numbers.
struct Event {
  int section;
  std::uint32_t ms;
  int type;
  std::vector<int> args;
};

struct Stage {
  std::vector<std::vector<std::string>> load;
  std::vector<Event> events;
  std::vector<std::string> errors;
};

int EventType(const std::string& word, std::size_t& argsMin, std::size_t& argsMax) {
  const std::string w = Upper(word);
  struct Kind {
    const char* prefix;
    std::size_t length;
    int type;
    std::size_t min, max;
  };
  static const Kind kKinds[] = {{"BGPIC", 5, 1, 1, 2}, {"BGANIM", 6, 2, 1, 2}, {"CHAR", 6, 3, 1, 1},
                                {"CINT", 6, 4, 1, 1},  {"POS", 5, 5, 2, 3},    {"WAVE", 4, 6, 1, 1},
                                {"END", 3, 7, 0, 0}};
  for (const Kind& k : kKinds) {
    const std::string prefix = k.prefix;
    if (w.size() != k.length || w.compare(0, prefix.size(), prefix) != 0) continue;
    if (w.size() > prefix.size() && !IsInteger(w.substr(prefix.size()))) continue;
    argsMin = k.min, argsMax = k.max;
    return k.type;
  }
  return 0;
}

Stage ReadStage(const std::string& bytes) {
  static const std::vector<std::string> kHeaders = {"[Load]", "[Init]", "[Before]", "[Perform]", "[After]"};
  Stage stage;
  int section = -1;
  for (const std::string& raw : Lines(bytes)) {
    const std::string line = Trim(raw.substr(0, raw.find("//")));
    if (line.empty()) continue;
    if (line[0] == '[') {
      if (section + 1 >= static_cast<int>(kHeaders.size()) || line != kHeaders[section + 1])
        stage.errors.push_back("section out of order: " + line);
      ++section;
      continue;
    }
    if (section < 0) continue;
    std::vector<std::string> f = Fields(line);
    if (section == 0) {
      stage.load.push_back(f);
      continue;
    }
    Event event{section - 1, 0, 0, {}};
    if (f.size() < 2 || (section > 1 && !Thousandths(f[0], event.ms))) {
      stage.errors.push_back("bad event: " + line);
      continue;
    }
    std::size_t argsMin = 0, argsMax = 0;
    event.type = EventType(f[1], argsMin, argsMax);
    if (event.type >= 3 && event.type <= 5) event.args.push_back(std::stoi(f[1].substr(f[1].size() - 2)));  // nn
    for (std::size_t i = 2; i < f.size(); ++i) {
      if (!IsInteger(f[i]))
        stage.errors.push_back("not a number: " + line);
      else
        event.args.push_back(std::stoi(f[i]));
    }
    const std::size_t given = f.size() - 2;
    if (event.type == 0 || given < argsMin || given > argsMax) stage.errors.push_back("bad command: " + line);
    stage.events.push_back(event);
  }
  if (section != 4) stage.errors.push_back("the script does not reach [After]");
  return stage;
}

std::vector<std::string> ExpandPattern(const std::string& pattern) {
  const auto open = pattern.find('['), close = pattern.find(']');
  if (open == std::string::npos || close == std::string::npos || close < open + 2) return {pattern};
  std::vector<std::string> names;
  char previous = ' ';
  bool range = false;
  for (char c : pattern.substr(open + 1, close - open - 1)) {
    if (c == '-') {
      range = true;
      continue;
    }
    for (char ch = range ? static_cast<char>(previous + 1) : c; ch <= c; ++ch)
      names.push_back(pattern.substr(0, open) + ch + pattern.substr(close + 1));
    previous = c;
  }
  return names;
}

// ---- The note lists the audio was made from (data/songs/<ID>/score.txt and info.txt)

int Midi(const std::string& name) {
  static const int kSteps[] = {9, 11, 0, 2, 4, 5, 7};
  int semitone = kSteps[name[0] - 'A'];
  std::size_t at = 1;
  if (name[at] == '#')
    ++semitone, ++at;
  else if (name[at] == 'b')
    --semitone, ++at;
  return 12 * (std::stoi(name.substr(at)) + 1) + semitone;
}

std::string ToneOf(int midi) {
  static const char* const kNames[] = {"C", "CS", "D", "DS", "E", "F", "FS", "G", "GS", "A", "AS", "B"};
  return kNames[midi % 12] + std::to_string(midi / 12 - 1);
}

struct Source {
  double tempo = 0, beats = 0;
  std::vector<std::pair<double, std::string>> notes;   // beat, tone of the played voice
  std::vector<std::pair<double, std::string>> lyrics;  // beat, words (UTF-8)

  long Frame(double beat) const { return std::lround(beat * 60 / tempo * 44100); }
};

Source ReadSource(const std::string& id) {
  Source source;
  std::string play;
  for (const std::string& line : Lines(Slurp(kSources / id / "info.txt"))) {
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "play") in >> play;
    if (key == "lyric") {
      double beat;
      std::string words;
      in >> beat;
      std::getline(in, words);
      source.lyrics.push_back({beat, Trim(words)});
    }
  }
  std::map<std::string, double> cursor, length;
  for (const std::string& raw : Lines(Slurp(kSources / id / "score.txt"))) {
    std::size_t comment = raw.find('#');  // a comment starts a line or follows a blank ("C#4" is a pitch)
    while (comment != std::string::npos && comment > 0 && raw[comment - 1] != ' ') comment = raw.find('#', comment + 1);
    std::istringstream in(raw.substr(0, comment));
    std::string word;
    if (!(in >> word)) continue;
    if (word == "tempo") in >> source.tempo;
    if (word == "beats") in >> source.beats;
    if (word.back() != ':') continue;
    const std::string voice = word.substr(0, word.size() - 1);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;) tokens.push_back(t);
    int times = 1;
    if (!tokens.empty() && tokens[0][0] == '*') times = std::stoi(tokens[0].substr(1)), tokens.erase(tokens.begin());
    for (int n = 0; n < times; ++n) {
      for (const std::string& t : tokens) {
        if (t == "|") continue;
        const auto slash = t.find('/');
        if (slash != std::string::npos) length[voice] = std::stod(t.substr(slash + 1));
        const std::string pitches = t.substr(0, slash);
        if (voice == play && pitches != "r") {
          std::stringstream chord(pitches);
          for (std::string p; std::getline(chord, p, '+');) source.notes.push_back({cursor[voice], ToneOf(Midi(p))});
        }
        cursor[voice] += length[voice];
      }
    }
  }
  return source;
}

// ---- Sounds

struct Pcm {
  int channels = 0, rate = 0, bits = 0;
  std::vector<std::int16_t> samples;
  long Frames() const { return channels == 0 ? 0 : static_cast<long>(samples.size()) / channels; }
  int Peak() const {
    int peak = 0;
    for (std::int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
  }
};

// Decoded by the decoder the game chooses by the extension: ".OGG" Ogg Vorbis, ".ADP" ADP, anything else wave.
Pcm DecodeSound(const std::string& bytes, const std::string& name) {
  VXMemoryStream code(bytes.data(), static_cast<int>(bytes.size()));
  std::unique_ptr<VXPcmStream> decoder;
  if (Ext(name) == ".OGG")
    decoder = std::make_unique<VXOggStream>(&code);
  else if (Ext(name) == ".ADP")
    decoder = std::make_unique<VXAdpStream>(&code);
  else
    decoder = std::make_unique<VXWaveStream>(&code);
  Pcm pcm;
  if (!decoder->IsOpen()) return pcm;
  pcm.channels = decoder->GetChannels(), pcm.rate = decoder->GetRate(), pcm.bits = decoder->GetBits();
  std::vector<std::int16_t> block(16384);
  for (int got; (got = decoder->Read(block.data(), static_cast<int>(block.size() * 2))) > 0;)
    pcm.samples.insert(pcm.samples.end(), block.begin(), block.begin() + got / 2);
  return pcm;
}

// How much louder the sound becomes at `frame`: the strongest rise within 4 ms of it, as the energy of the 8 ms
// after a point over that of the 20 ms before it. Notes rise by 2.3 and more, other places by less than 1.5.
double Rise(const std::vector<float>& mono, long frame) {
  // The energy of the change from sample to sample: the attacks of the melody, not the low hum under it.
  const auto energy = [&](long from, long to) {
    double sum = 1e-9;
    const long end = std::min<long>(to, static_cast<long>(mono.size()));
    for (long i = std::max(1L, from); i < end; ++i) sum += (mono[i] - mono[i - 1]) * (mono[i] - mono[i - 1]);
    return sum / std::max(1L, to - from);
  };
  double best = 0;
  for (long at = frame - 176; at <= frame + 176; at += 22)
    best = std::max(best, energy(at, at + 353) / energy(at - 882, at));
  return best;
}

// ---- The songs

struct LoadedSong {
  SongForm form;
  SongId info;
  std::vector<Note> chart;
  std::set<std::string> keyTones;  // upper-case base names of the key part
};

class DemoSongs : public ::testing::TestWithParam<SongForm> {
protected:
  fs::path Folder(const fs::path& game = kGame) const { return game / "Song" / GetParam().id; }
};

TEST_P(DemoSongs, PartsLieWhereTheSongTableSays) {
  const SongForm& song = GetParam();
  for (const fs::path& game : {kGame, kFolderGame}) {
    const fs::path folder = game / "Song" / song.id;
    const auto check = [&](const std::string& name, bool pack) {
      SCOPED_TRACE(folder / name);
      EXPECT_EQ(fs::is_regular_file(folder / (name + ".pak")), pack);
      EXPECT_EQ(fs::is_directory(folder / name), !pack) << "one form a part";
      Part part(folder / name);
      EXPECT_TRUE(part.Found());
      EXPECT_EQ(part.IsPack(), pack);
    };
    check("song", song.songPack);
    check("key", song.keyPack);
    for (const EventPart& event : song.events) check(event.name, event.pack);
    for (const char* ext : {"ogg", "adp", "wav"})
      EXPECT_EQ(fs::is_regular_file(folder / ("song." + std::string(ext))), ext == std::string(song.audio)) << ext;
  }
}

TEST_P(DemoSongs, SongIdNamesTheSongWithItsVersionAndOptions) {
  const SongForm& song = GetParam();
  std::vector<std::string> parts = {"song"};
  for (const EventPart& event : song.events) parts.push_back(event.name);
  for (const std::string& name : parts) {
    Part part(Folder() / name);
    const SongId info = ReadSongId(part.Bytes("SONG.ID"));
    SCOPED_TRACE(name);
    EXPECT_GE(info.lines, 8u);
    EXPECT_EQ(info.version, song.version);
    EXPECT_EQ(info.id, song.id);
    if (info.version < 200) {
      EXPECT_EQ(info.options, "");
    }
    for (std::string items = info.options; !items.empty();) {
      const auto colon = items.find(':');
      const std::string item = items.substr(0, colon);
      items = colon == std::string::npos ? "" : items.substr(colon + 1);
      const std::string key = item.substr(0, item.find('='));
      EXPECT_TRUE(key == "STORY" || key == "COMPATIBLE") << item;
      EXPECT_NE(item.find('='), std::string::npos) << item;
    }
  }
}

// Story songs marked STORY=ON wait for the story; the others are listed from the start.
TEST(DemoSongOptions, StoryAndCompatibleOptions) {
  const std::map<std::string, std::string> kOptions = {{"QM01", "COMPATIBLE=ON"},          {"QM02", "STORY=ON"},
                                                       {"QM04", "STORY=ON:COMPATIBLE=ON"}, {"QM05", "STORY=ON"},
                                                       {"QE01", "COMPATIBLE=ON"},          {"QE03", ""}};
  for (const auto& [id, options] : kOptions)
    EXPECT_EQ(ReadSongId(Part(kGame / "Song" / id / "song").Bytes("SONG.ID")).options, options) << id;
}

TEST_P(DemoSongs, ChartNotesStartWhereTheNoteListStartsThem) {
  const SongForm& song = GetParam();
  Part part(Folder() / "song");
  std::vector<Note> chart;
  ASSERT_TRUE(ReadChart(part.Bytes("Song.txt"), song.version, chart));
  const Source source = ReadSource(song.id);
  ASSERT_GT(source.tempo, 0);
  std::multiset<std::pair<long, std::string>> expected, found;
  // Two positions a sample frame: 88.2 a millisecond.
  for (const auto& [beat, tone] : source.notes) expected.insert({std::max(1L, 2 * source.Frame(beat)), tone});
  for (const Note& note : chart)
    if (!note.tone.empty()) found.insert({static_cast<long>(note.time), note.tone});
  EXPECT_EQ(found, expected);
  std::vector<std::pair<long, std::string>> lyrics, rests;
  for (const auto& [beat, words] : source.lyrics) lyrics.push_back({2 * source.Frame(beat), words});
  for (const Note& note : chart)
    if (note.tone.empty()) rests.push_back({static_cast<long>(note.time), platform::text::Cp932ToUtf8(note.lyric)});
  EXPECT_EQ(rests, lyrics) << "each lyric on a rest at its beat, in Japanese";
  const std::uint32_t frames500ms = 22050;
  EXPECT_GT(chart.front().time, 2 * frames500ms) << "notes scroll in from the right before the first is played";
}

TEST_P(DemoSongs, ChartReadsForEveryLevel) {
  const SongForm& song = GetParam();
  Part part(Folder() / "song");
  std::vector<Note> chart;
  ASSERT_TRUE(ReadChart(part.Bytes("Song.txt"), song.version, chart));
  ASSERT_LE(chart.size(), 1023u);
  Part keys(Folder() / "key");
  std::set<std::string> tones;
  for (const std::string& name : keys.Names()) tones.insert(Upper(fs::path(name).stem().string()));
  std::set<int> hard, normal, easyPlayer;
  int easyAuto = 0, pool = 0, lyricsShown = 0, lyricsCleared = 0;
  std::uint32_t last = 0;
  for (const Note& note : chart) {
    EXPECT_GE(note.time, last) << "in time order";
    last = note.time;
    if (note.tone.empty()) {
      pool += static_cast<int>(note.lyric.size()) + 1;
      (note.lyric.empty() ? lyricsCleared : lyricsShown)++;
      EXPECT_LE(note.lyric.size(), 48u) << "the lyric line holds 48 bytes";
      EXPECT_EQ(platform::text::Utf8ToCp932(platform::text::Cp932ToUtf8(note.lyric)), note.lyric) << "CP932";
      continue;
    }
    EXPECT_EQ(tones.count(note.tone), 1u) << note.tone << " has no key tone";
    ASSERT_GE(note.key, 0) << "every note has a key";
    EXPECT_FALSE(note.hasLyric) << "a note that carries a lyric cannot be struck late";
    hard.insert(note.key);
    const int folded = note.key % 10 > 7 ? note.key % 10 - 5 : note.key % 10;
    normal.insert(folded);
    if (folded >= 2 && folded <= 5)
      easyPlayer.insert(folded);
    else
      ++easyAuto;
  }
  EXPECT_LT(pool, 32767);
  EXPECT_GE(lyricsShown, 6);
  EXPECT_GE(lyricsCleared, 1) << "the lyric line is cleared at the end";
  EXPECT_GE(normal.size(), 7u) << "normal uses (nearly) all eight keys";
  EXPECT_GE(*hard.rbegin(), 8) << "hard reaches beyond the home keys";
  EXPECT_EQ(easyPlayer.size(), 4u) << "easy leaves D F J K to the player";
  EXPECT_GT(easyAuto, 0) << "and plays the outer keys itself";
}

// From version 1.11 a lyric is the rest of the line, commas and all; QE01 has one with commas.
TEST(DemoSongLyrics, CommasStayInLyricsFromVersion111) {
  std::vector<Note> chart;
  ASSERT_TRUE(ReadChart(Part(kGame / "Song" / "QE01" / "song").Bytes("Song.txt"), 200, chart));
  const bool found = std::any_of(chart.begin(), chart.end(), [](const Note& n) {
    return platform::text::Cp932ToUtf8(n.lyric) == "ワン,ツー,スリー　手をたたこう";
  });
  EXPECT_TRUE(found);
}

TEST_P(DemoSongs, KeyTonesSoundEveryPitchOfTheChart) {
  const SongForm& song = GetParam();
  Part keys(Folder() / "key");
  std::vector<Note> chart;
  ASSERT_TRUE(ReadChart(Part(Folder() / "song").Bytes("Song.txt"), song.version, chart));
  std::set<std::string> used;
  for (const Note& note : chart)
    if (!note.tone.empty()) used.insert(note.tone);
  std::set<std::string> tones;
  for (const std::string& name : keys.Names()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Ext(name), "." + Upper(song.tones));
    EXPECT_LT(name.size(), 26u);
    tones.insert(Upper(fs::path(name).stem().string()));
    const Pcm tone = DecodeSound(keys.Bytes(name), name);
    ASSERT_GT(tone.channels, 0) << "does not decode";
    EXPECT_GT(tone.Peak(), 8000) << "(nearly) silent";
    EXPECT_LT(tone.Frames(), 3 * tone.rate) << "a tone is short";
  }
  EXPECT_EQ(tones, used) << "one tone for each pitch the chart plays";
}

TEST_P(DemoSongs, AudioRisesOnEveryNoteAndLastsToTheChartsEnd) {
  const SongForm& song = GetParam();
  const std::string name = std::string("song.") + song.audio;
  const Pcm audio = DecodeSound(Slurp(Folder() / name), name);
  ASSERT_EQ(audio.channels, 2) << "stereo: the song position is half the byte position";
  ASSERT_EQ(audio.rate, 44100);
  ASSERT_EQ(audio.bits, 16);
  EXPECT_GT(audio.Peak(), 12000) << "(nearly) silent";
  std::vector<Note> chart;
  ASSERT_TRUE(ReadChart(Part(Folder() / "song").Bytes("Song.txt"), song.version, chart));
  const Source source = ReadSource(song.id);
  long lastNote = 0;
  for (const Note& note : chart)
    if (!note.tone.empty()) lastNote = std::max(lastNote, static_cast<long>(note.time / 2));
  EXPECT_GT(audio.Frames(), lastNote + 44100 / 2) << "the last note sounds out";
  EXPECT_GE(audio.Frames(), source.Frame(source.beats)) << "the whole piece";
  EXPECT_LT(audio.Frames(), source.Frame(source.beats) + 4 * 44100) << "no long silence after the end";
  std::vector<float> mono(static_cast<std::size_t>(audio.Frames()));
  for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = (audio.samples[2 * i] + audio.samples[2 * i + 1]) / 65536.0f;
  int weak = 0;
  for (const Note& note : chart) {
    if (note.tone.empty()) continue;
    const double rise = Rise(mono, note.time / 2);
    if (rise < 2) ++weak, ADD_FAILURE() << "no onset at " << note.time << " (" << note.tone << "): rise " << rise;
  }
  EXPECT_EQ(weak, 0);
}

TEST_P(DemoSongs, StageScriptsLoadWhatTheyNameAndKeepTime) {
  const SongForm& song = GetParam();
  std::vector<std::string> parts = {"song"};
  for (const EventPart& event : song.events) parts.push_back(event.name);
  const std::string audioName = std::string("song.") + song.audio;
  const long audioMs = DecodeSound(Slurp(Folder() / audioName), audioName).Frames() * 10 / 441;
  const Source source = ReadSource(song.id);
  for (const std::string& name : parts) {
    SCOPED_TRACE(name);
    Part part(Folder() / name);
    const Stage stage = ReadStage(part.Bytes("Anime.txt"));
    EXPECT_TRUE(stage.errors.empty()) << stage.errors.front();
    std::uint32_t last[4] = {0, 0, 0, 0};
    for (const Event& event : stage.events) {
      EXPECT_GE(event.ms, last[event.section]) << "times in a section do not decrease";
      last[event.section] = event.ms;
      if (event.section == 2) {
        EXPECT_LT(event.ms, audioMs) << "[Perform] events happen while the song plays";
      }
    }
    const auto picture = [&](const std::string& file, int width, int height) {
      SCOPED_TRACE(file);
      const std::string ext = Ext(file);
      const Kind kind = ext == ".JPG" ? Kind::kJpeg : ext == ".BMP" ? Kind::kBmp : Kind::kPng;
      const auto loaded = LoadPicture(part.Bytes(file), kind);
      ASSERT_NE(loaded, nullptr) << "missing or undecodable";
      EXPECT_EQ(loaded->bits.GetWidth(), width);
      EXPECT_EQ(loaded->bits.GetHeight(), height);
    };
    for (const std::vector<std::string>& f : stage.load) {
      const std::string word = Upper(f[0]);
      SCOPED_TRACE(f[0]);
      if (word == "TEMPO") {
        EXPECT_EQ(std::stod(f[1]), source.tempo);
      }
      if (word == "BGPIC") picture(f[2], 640, 300);
      if (word == "BGANIM")
        for (const std::string& frame : ExpandPattern(f[2])) picture(frame, 640, 300);
      if (word == "WAVE") {
        const Pcm sound = DecodeSound(part.Bytes(f[2]), f[2]);
        EXPECT_GT(sound.channels, 0) << f[2] << " does not decode";
      }
      const bool strip = (word.rfind("CHAR", 0) == 0 || word.rfind("CERR", 0) == 0) && word.size() == 6;
      if (strip) {
        const std::string file = f[word[1] == 'H' ? 2 : 1];
        const auto loaded = LoadPicture(part.Bytes(file), Kind::kPngAlpha);
        ASSERT_NE(loaded, nullptr) << file;
        EXPECT_EQ(loaded->bits.GetWidth(), 64);
        EXPECT_EQ(loaded->bits.GetHeight() % 96, 0);
      }
      if ((word.rfind("ECHAR", 0) == 0 || word.rfind("ECERR", 0) == 0) && word.size() == 7) {
        const std::string file = f[word[2] == 'H' ? 2 : 1];
        std::vector<std::string> lines;
        for (const std::string& raw : Lines(part.Bytes(file))) {
          const std::string line = Trim(raw.substr(0, raw.find("//")));
          if (!line.empty()) lines.push_back(line);
        }
        ASSERT_GE(lines.size(), 2u) << file;
        const std::vector<std::string> header = Fields(lines[0]);
        ASSERT_EQ(header.size(), 4u) << file;
        const auto sheet = LoadPicture(part.Bytes(header[0]), Kind::kPngAlpha);
        ASSERT_NE(sheet, nullptr) << header[0];
        const int columns = sheet->bits.GetWidth() / std::stoi(header[1]);
        const int cells = columns * (sheet->bits.GetHeight() / std::stoi(header[2]));
        EXPECT_GT(cells, 0);
        for (std::size_t i = 1; i < lines.size(); ++i) {
          const std::vector<std::string> frame = Fields(lines[i]);
          ASSERT_EQ(frame.size(), 2u) << lines[i];
          EXPECT_LT(std::stoi(frame[0]), cells) << lines[i];
          EXPECT_TRUE((frame[1][0] == 'T' || frame[1][0] == 'S') && IsInteger(frame[1].substr(1))) << lines[i];
        }
      }
    }
    picture("curtain.png", 480, 188);
  }
}

TEST_P(DemoSongs, SelectAndScorePicturesHaveTheirSizes) {
  Part part(Folder() / "song");
  struct Wanted {
    const char* name;
    Kind kind;
    int width, height;
  };
  const Wanted kPictures[] = {{"curtain.png", Kind::kPngAlpha, 480, 188},
                              {"songdata.png", Kind::kPngAlpha, 255, 187},
                              {"songname.png", Kind::kPngAlpha, 224, 28}};
  for (const Wanted& p : kPictures) {
    SCOPED_TRACE(p.name);
    const auto loaded = LoadPicture(part.Bytes(p.name), p.kind);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->bits.GetWidth(), p.width);
    EXPECT_EQ(loaded->bits.GetHeight(), p.height);
  }
  ASSERT_TRUE(part.Has("songtitle2.png") || part.Has("songtitle.png"));
  // The newer title is drawn as it is; the older one from (16, 2) into 324 x 135.
  for (const auto& [name, width, height] :
       {std::tuple{"songtitle2.png", 360, 150}, std::tuple{"songtitle.png", 340, 137}}) {
    if (!part.Has(name)) continue;
    const auto loaded = LoadPicture(part.Bytes(name), Kind::kPng);
    ASSERT_NE(loaded, nullptr) << name;
    EXPECT_EQ(loaded->bits.GetWidth(), width) << name;
    EXPECT_EQ(loaded->bits.GetHeight(), height) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(EachSong, DemoSongs, ::testing::ValuesIn(kSongs),
                         [](const auto& info) { return std::string(info.param.id); });

// Across the songs the stage scripts use every event, and the performers every kind of motion.
TEST(DemoSongStages, EveryEventAndMotionKindIsUsed) {
  std::set<int> types;
  std::set<std::string> stripModes, descriptionModes, commands, durations;
  for (const SongForm& song : kSongs) {
    std::vector<std::string> parts = {"song"};
    for (const EventPart& event : song.events) parts.push_back(event.name);
    for (const std::string& name : parts) {
      Part part(kGame / "Song" / song.id / name);
      const Stage stage = ReadStage(part.Bytes("Anime.txt"));
      for (const Event& event : stage.events) types.insert(event.type);
      for (const std::vector<std::string>& f : stage.load) {
        const std::string word = Upper(f[0]);
        const bool numbered = word.size() > 4 && IsInteger(word.substr(word.size() - 2));
        commands.insert(numbered ? word.substr(0, word.size() - 2) : word);
        if (word.rfind("CHAR", 0) == 0) stripModes.insert(f.size() > 3 ? f[3] : "");
        if (word.rfind("CERR", 0) == 0) stripModes.insert(f.size() > 2 ? f[2] : "");
        if (word.rfind("ECHAR", 0) == 0 || word.rfind("ECERR", 0) == 0) {
          const std::string file = f[word[2] == 'H' ? 2 : 1];
          for (const std::string& raw : Lines(part.Bytes(file))) {
            const std::string line = Trim(raw.substr(0, raw.find("//")));
            if (line.empty()) continue;
            const std::vector<std::string> fields = Fields(line);
            if (fields.size() == 4)
              descriptionModes.insert(fields[3]);
            else
              durations.insert(fields[1].substr(0, 1));
          }
        }
      }
    }
  }
  EXPECT_EQ(types, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
  for (const char* mode : {"off", "turn", "round", "loop", ""}) {
    EXPECT_EQ(stripModes.count(mode), 1u) << mode;
  }
  EXPECT_EQ(descriptionModes, (std::set<std::string>{"on", "off"}));
  EXPECT_EQ(durations, (std::set<std::string>{"S", "T"}));
  for (const char* command : {"TEMPO", "BGPIC", "BGANIM", "CHAR", "CERR", "ECHAR", "ECERR", "WAVE"})
    EXPECT_EQ(commands.count(command), 1u) << command;
}

// The sounds of the stages come in the three kinds a stage script may load.
TEST(DemoSongStages, StageSoundsComeInEveryKind) {
  std::set<std::string> kinds;
  for (const SongForm& song : kSongs) {
    const Stage stage = ReadStage(Part(kGame / "Song" / song.id / "song").Bytes("Anime.txt"));
    for (const std::vector<std::string>& f : stage.load)
      if (Upper(f[0]) == "WAVE") kinds.insert(Ext(f[2]));
  }
  EXPECT_EQ(kinds, (std::set<std::string>{".OGG", ".ADP", ".WAV"}));
}


TEST(DemoSongModes, PackAndFolderGamesHoldTheSameSongs) {
  EXPECT_TRUE(Tree(kGame / "Song") == Tree(kFolderGame / "Song"));
}

}  // namespace

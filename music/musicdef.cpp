#include "music/musicdef.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

#include "core/vxfileman.h"
#include "core/vxhash.h"
#include "core/vxstream.h"
#include "core/vxstrlist.h"
#include "core/vxsys.h"
#include "device/gameservices.h"
#include "device/zodsound.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "shell/gamefunc.h"

namespace {

VXMemMan* Registry() {
  TGameServices* game = GameServices();
  return game != nullptr ? &game->GetMemMan() : nullptr;
}

// Closes a stream through the manager that opened it (or deletes it when that is gone).
void CloseStream(VXFileMan* files, VXStream*& stream) {
  if (stream == nullptr) return;
  if (files != nullptr) {
    files->Close(stream);
  } else {
    delete stream;
    stream = nullptr;
  }
}

bool ReadLines(VXFileMan* files, const VXString& name, VXStringList& lines) {
  if (files == nullptr) return false;
  VXStream* stream = files->Open(name);
  if (stream == nullptr) return false;
  lines.LoadFromStream(stream);
  files->Close(stream);
  return true;
}

VXString UpperExtension(const VXString& name) {
  VXString base, ext;
  SplitFileExt(base, ext, name);
  return ext.UpperCase();
}

// The content of a line of a stage script or motion file: without its "//" comment and the blanks around it.
VXString StageContent(const VXString& line) {
  const int comment = line.AnsiPos("//");
  return (comment == 0 ? line : line.SubString(1, comment - 1)).Trim();
}

}  // namespace

// ---- Songs ------------------------------------------------------------------------------------------------------

TKeySoundKind KeySoundKindOf(const VXString& name) {
  const VXString ext = UpperExtension(name);
  return ext == ".OGG" ? kskOgg : ext == ".ADP" ? kskAdp : kskWave;
}

DirectX::TDSoundBuffer* CreateKeySoundBuffer(VXStream* stream, TKeySoundKind kind) {
  TGameServices* game = GameServices();
  DirectX::TDSound* sound = game != nullptr ? game->GetSound() : nullptr;
  if (sound == nullptr || stream == nullptr || stream->Seek(0, VXSeekBegin) != 0) return nullptr;
  DirectX::TDSoundBuffer* buffer = kind == kskOgg   ? sound->CreateBufferFromOgg(stream, false, false, false)
                                   : kind == kskAdp ? sound->CreateBufferFromAdp(stream, false, false, false)
                                                    : sound->CreateBufferFromWave(stream, false, false, false);
  if (buffer != nullptr) game->GetMemMan().AddPtr(buffer);
  return buffer;
}

VXString GetOptionValue(VXString key, VXString text) {
  while (!text.IsEmpty()) {
    const int colon = text.AnsiPos(":");
    const VXString item = colon == 0 ? text : text.SubString(1, colon - 1);
    text = colon == 0 ? VXString() : text.SubString(colon + 1, text.Length() - colon);
    if (item.IsEmpty()) continue;
    const int equals = item.AnsiPos("=");
    const VXString itemKey = equals == 0 ? item : item.SubString(1, equals - 1);
    if (itemKey.UpperCase() == key)
      return equals == 0 ? VXString() : item.SubString(equals + 1, item.Length() - equals).UpperCase();
  }
  return {};
}

VXString SongFolderName(TSongID id) {
  return VXString("Song\\") + VXString(id.data(), static_cast<unsigned int>(strnlen(id.data(), id.size())));
}

VXString SongPartName(TSongID id, int eventNumber) {
  const VXString base = SongFolderName(id);
  if (eventNumber < 2) return base + "\\song";
  if (eventNumber == 2) return base + "\\event";
  return base + "\\event" + VXIntToStrA(eventNumber - 1);
}

bool OpenSongPart(VXFileMan& files, const VXString& path) {
  if (files.InitPack(path + ".pak")) return true;
  if (!VXFolderIsExistA(path.c_str())) return false;
  return files.InitDir(path);
}

namespace {

bool SongPartExists(const VXString& path) {
  return VXFileIsExistA((path + ".pak").c_str()) || VXFolderIsExistA(path.c_str());
}

}  // namespace

bool ReadSongInfo(bool allowEvent, TSongInfo* info, TSongID id) {
  if (id[0] == 0) return false;
  VXString path = SongFolderName(id) + "\\song";
  if (!SongPartExists(path)) {
    if (!allowEvent) return false;
    path = SongFolderName(id) + "\\event";
    if (!SongPartExists(path)) return false;
  }
  VXFileMan files;
  VXStringList lines;
  if (!OpenSongPart(files, path) || !ReadLines(&files, "SONG.ID", lines) || lines.GetCount() < 8) return false;
  const int version = ParseVersionTag(lines.GetString(0));
  const VXString idLine = lines.GetString(1);
  const VXString upperId = VXString(id.data(), 4).UpperCase();
  if (version < kSongVersionMin || version > kSongVersionMax || idLine.Length() < 4 ||
      std::memcmp(idLine.c_str(), upperId.c_str(), 4) != 0)
    return false;
  if (info != nullptr) {
    info->version = version;
    info->options = version >= kOptionsVersion ? lines.GetString(2) : VXString();
  }
  return true;
}

bool LoadSongImage(TZoRGBPanel* panel, VXString name, TSongID id) {
  if (panel == nullptr || !ReadSongInfo(false, nullptr, id)) return false;
  ReleasePanelImage(panel);
  VXFileMan files;
  return OpenSongPart(files, SongFolderName(id) + "\\song") && LoadPanelImage(panel, &files, name);
}

// ---- Charts -----------------------------------------------------------------------------------------------------

int CharToKey(char c) {
  // Each row: its four left-hand keys, its four right-hand keys, then its two middle keys.
  static constexpr char kKeys[] = "asdfjkl;ghqweruioptyzxcvm,./bn";
  static constexpr std::pair<char, char> kShifted[] = {{'+', ';'}, {'<', ','}, {'>', '.'}, {'?', '/'}};
  if (c < 0x20 || c > 0x7E) return -1;
  for (const auto& [shifted, plain] : kShifted)
    if (c == shifted) c = plain;
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  const char* at = std::strchr(kKeys, c);
  return at != nullptr && c != '\0' ? static_cast<int>(at - kKeys) : -1;
}

void BuildToneTable(VXHashTable& table, const char* names, int count) {
  table.Alloc(count);
  for (int i = 0; i < count; ++i) {
    VXString base, ext;
    SplitFileExt(base, ext, VXString(names + static_cast<std::ptrdiff_t>(i) * kKeyNameSize));
    table.SetData(i, base.c_str());
  }
}

namespace {

// The lyric of a chart line: the next field before version 111, else the rest of the line without one trailing
// comma.
VXString LyricWord(VXString& rest, int version) {
  if (version < kLongLyricVersion) return CutToken(rest);
  if (!rest.IsEmpty() && rest[rest.Length()] == ',') rest.SetLength(rest.Length() - 1);
  return rest;
}

// The key of a chart note at a level: normal and easy fold each row onto the home row's eight keys.
int LevelKey(int key, std::uint8_t level) {
  if (level == 1 || key < 0) return key;
  key %= 10;
  return key > 7 ? key - 5 : key;
}

// One note line into `note`; its lyric into the pool. False when the pool is full.
bool ReadNote(VXString text, const TChartOptions& options, const VXHashTable& tones, TMusicNote& note, char* lyrics,
              int& pool) {
  note = {};
  const int time = CutToken(text).ToInt();
  // A negative time would wrap to the end marker or beyond every other note.
  if (time < 0) throw std::invalid_argument("negative note time");
  note.time = time == 0 ? 1u : static_cast<std::uint32_t>(time);
  const std::uint32_t length = StrToThousandths(CutToken(text));
  note.length = length == 0 ? 1 : static_cast<std::int32_t>(std::min<std::uint32_t>(length, INT_MAX));
  const VXString tone = CutToken(text);
  const bool rest = tone == "@";
  note.pitch = note.key = -1;
  if (!rest) {
    const int pitch = tones.Search(tone.UpperCase().c_str());
    const VXString keyField = CutToken(text);
    const int key = LevelKey(keyField.IsEmpty() ? -1 : CharToKey(keyField[1]), options.level);
    if (pitch >= 0 && key >= 0) {
      note.pitch = pitch;
      note.key = key;
      const bool easyAuto = options.level == 2 && (key < 2 || key > 5);
      note.autoPlay = options.autoMode != 0 || easyAuto;
      note.marked = options.autoMode == 0 && note.autoPlay;
    }
  }
  const VXString word = LyricWord(text, options.version);
  note.text = -1;
  if (!word.IsEmpty() || rest) {
    const int length = word.Length();
    if (pool + length >= kLyricPoolSize - 1) return false;
    std::memcpy(lyrics + pool, word.c_str(), static_cast<std::size_t>(length));
    lyrics[pool + length] = '\0';
    note.text = pool;
    pool += length + 1;
  }
  return true;
}

}  // namespace

bool ReadChart(const VXStringList& lines, const TChartOptions& options, const VXHashTable& tones, TMusicNote* notes,
               int& noteCount, char* lyrics) {
  for (int i = 0; i < kNoteCapacity; ++i) notes[i] = {kEndOfChart, 1, -1, -1, -1, 0, 0, {}, 0};
  noteCount = 0;
  int pool = 0;
  try {
    for (int i = 0; i < lines.GetCount(); ++i) {
      const VXString line = lines.GetString(i);
      if (line.Trim().IsEmpty() || line[1] == '#') continue;
      // The record after the last note keeps the end marker.
      if (noteCount == kNoteCapacity - 1) return false;
      if (!ReadNote(line, options, tones, notes[noteCount], lyrics, pool)) {
        notes[noteCount] = {kEndOfChart, 1, -1, -1, -1, 0, 0, {}, 0};
        return false;
      }
      ++noteCount;
    }
  } catch (const std::invalid_argument&) {
    notes[noteCount] = {kEndOfChart, 1, -1, -1, -1, 0, 0, {}, 0};
    return false;
  }
  return true;
}

// ---- Stage scripts ----------------------------------------------------------------------------------------------

bool OpenPictureStream(TBackPicture& slot, VXFileMan* files, VXString name) {
  static const char* const kKinds[] = {".BMP", ".JPG", ".PNG"};
  if (files == nullptr || !files->FileIsExist(name)) return false;
  const VXString ext = UpperExtension(name);
  const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const char* k) { return ext == k; });
  if (kind == std::end(kKinds)) return false;
  VXStream* stream = files->Open(name);
  if (stream == nullptr) return false;
  CloseStream(files, slot.stream);
  slot.kind = static_cast<std::uint8_t>(kind - std::begin(kKinds));
  slot.stream = stream;
  return true;
}

void ReleaseMotion(TMotion& motion) {
  motion.frameCount = 0;
  if (VXMemMan* mem = Registry()) {
    mem->Delete(motion.picture);
    mem->Delete(motion.alpha);
  }
  motion.picture = nullptr;
  motion.alpha = nullptr;
}

namespace {

TMotionMode StripMode(const VXString& word) {
  const VXString lower = word.LowerCase();
  return lower == "off" ? motOnce : lower == "turn" ? motTurn : lower == "round" ? motRound : motLoop;
}

// A duration of a motion description file in frames of the 30-per-second clock: "T<n>" is n sixtieths of a beat,
// "S<n>" n milliseconds, anything else one frame.
int MotionDuration(const VXString& text, int tempo) {
  std::int64_t frames = 1;
  const char unit = text.IsEmpty() ? '\0' : static_cast<char>(text[1] & ~0x20);
  const VXString number = text.SubString(2, text.Length() - 1);
  if (unit == 'T' && tempo > 0)
    frames = static_cast<std::int64_t>(number.ToIntDef(0)) * 30 / tempo;
  else if (unit == 'S')
    frames = static_cast<std::int64_t>(number.ToIntDef(0)) * 30 / 1000;
  return static_cast<int>(std::clamp<std::int64_t>(frames, 1, INT_MAX));
}

}  // namespace

bool ReadCharMotion(TMotion& motion, VXFileMan* files, VXString& fields) {
  const VXString file = CutToken(fields);
  ReleaseMotion(motion);
  if (!LoadImageFile(&motion.picture, &motion.alpha, files, file)) return false;
  motion.columns = 1;
  motion.cellWidth = 64;
  motion.cellHeight = 96;
  motion.rows = motion.picture->GetHeight() / motion.cellHeight;
  motion.mode = StripMode(CutToken(fields));
  const int frames = std::min(motion.rows, kMotionFrames);
  for (int i = 0; i < frames; ++i) {
    motion.cell[i] = i;
    motion.duration[i] = fields.IsEmpty() ? 8 : std::max(1, CutToken(fields).ToInt());
  }
  motion.frameCount = frames;
  return true;
}

namespace {

// The header line of a motion description file: picture, cell size, mode.
bool ReadMotionHeader(TMotion& motion, VXFileMan* files, VXString fields) {
  const VXString picture = CutToken(fields);
  motion.cellWidth = CutToken(fields).ToInt();
  motion.cellHeight = CutToken(fields).ToInt();
  motion.mode = CutToken(fields).LowerCase() == "on" ? motLoop : motOnce;
  if (motion.cellWidth < 1 || motion.cellHeight < 1) return false;
  if (!LoadImageFile(&motion.picture, &motion.alpha, files, picture)) return false;
  motion.columns = motion.picture->GetWidth() / motion.cellWidth;
  motion.rows = motion.picture->GetHeight() / motion.cellHeight;
  return motion.columns >= 1 && motion.rows >= 1;
}

bool ReadMotionLines(TMotion& motion, VXFileMan* files, const VXStringList& lines, int tempo) {
  bool header = false;
  int frames = 0;
  for (int i = 0; i < lines.GetCount() && frames < kMotionFrames; ++i) {
    const VXString content = StageContent(lines.GetString(i));
    if (content.IsEmpty()) continue;
    if (!header) {
      if (!ReadMotionHeader(motion, files, content)) return false;
      header = true;
      continue;
    }
    VXString fields = content;
    const int cell = CutToken(fields).ToInt();
    if (cell < 0 || static_cast<std::int64_t>(cell) >= static_cast<std::int64_t>(motion.columns) * motion.rows) break;
    motion.cell[frames] = cell;
    motion.duration[frames] = MotionDuration(CutToken(fields), tempo);
    ++frames;
  }
  motion.frameCount = frames;
  return header;
}

}  // namespace

bool ReadMotionFile(TMotion& motion, VXFileMan* files, VXString file, int tempo) {
  ReleaseMotion(motion);
  VXStringList lines;
  if (!ReadLines(files, file, lines)) return false;
  bool ok = false;
  try {
    ok = ReadMotionLines(motion, files, lines, tempo);
  } catch (...) {
    ReleaseMotion(motion);
    throw;
  }
  if (!ok) ReleaseMotion(motion);
  return ok;
}

namespace {

enum TStageSection { ssLoad = 0, ssInit, ssBefore, ssPerform, ssAfter };

int SectionOf(const VXString& header) {
  static const char* const kHeaders[] = {"[Load]", "[Init]", "[Before]", "[Perform]", "[After]"};
  for (int i = 0; i < 5; ++i)
    if (header == kHeaders[i]) return i;
  return -1;
}

// The character number of a command word that ends in two digits ("CHAR01"); throws for other characters.
int CharacterOf(const VXString& word) { return word.SubString(word.Length() - 1, 2).ToInt(); }

bool IsCommand(const VXString& word, const char* prefix, int length) {
  return word.Length() == length && std::strncmp(word.c_str(), prefix, std::strlen(prefix)) == 0;
}

bool InRange(int value, int count) { return value >= 0 && value < count; }

class StageReader {
public:
  StageReader(TStageData& stage, VXFileMan* files, const TStageOptions& options)
      : stage_(stage), files_(files), options_(options) {}

  bool Read() {
    VXStringList lines;
    stage_.tempo = kDefaultTempo;
    stage_.eventCursor = 0;
    std::fill(std::begin(stage_.sectionEnd), std::end(stage_.sectionEnd), 0);
    if (stage_.events == nullptr || !ReadLines(files_, "Anime.txt", lines)) return false;
    int section = -1;
    bool inOrder = true;
    for (int i = 0; i < lines.GetCount() && !stop_ && inOrder; ++i) {
      const VXString content = StageContent(lines.GetString(i));
      if (content.IsEmpty()) continue;
      if (content[1] == '[') {
        const int next = SectionOf(content);
        inOrder = next == section + 1;
        if (!inOrder) break;
        section = next;
        if (section >= ssBefore) stage_.sectionEnd[section - ssBefore] = stage_.eventCursor;
      } else if (section == ssLoad) {
        LoadLine(content);
      } else if (section > ssLoad) {
        EventLine(content, section - ssInit);
      }
    }
    // The sections not closed end where the list ends, so that they always follow each other (a failed script
    // is not played, but its list stays sound).
    for (int s = std::max(section - ssInit, 0); s < kEventSections; ++s) stage_.sectionEnd[s] = stage_.eventCursor;
    return inOrder && section == ssAfter && !error_;
  }

private:
  void Fail() { error_ = true; }
  void Stop() { error_ = stop_ = true; }

  // ---- [Load]: a number that is not one stops the reading.
  void LoadLine(VXString fields) {
    try {
      LoadCommand(fields);
    } catch (const std::exception&) {
      Stop();
    }
  }

  void LoadCommand(VXString& fields) {
    const VXString word = CutToken(fields).UpperCase();
    if (word == "TEMPO") {
      const int tempo = CutToken(fields).ToInt();
      if (tempo > 0) stage_.tempo = tempo;
    } else if (word == "BGPIC") {
      const int slot = CutToken(fields).ToInt();
      if (InRange(slot, kBackPictureSlots) && !OpenPictureStream(stage_.backPictures[slot], files_, CutToken(fields)))
        Fail();
    } else if (word == "BGANIM") {
      if (!options_.standardBack) LoadBackAnime(fields);
    } else if (IsCommand(word, "CHAR", 6) || IsCommand(word, "ECHAR", 7)) {
      const int character = CharacterOf(word);
      const int motion = CutToken(fields).ToInt();
      if (InRange(character, kCharacters) && InRange(motion, kMotionsPerCharacter))
        LoadMotion(stage_.characters[character].motion[motion], word[1] == 'E', fields);
    } else if (IsCommand(word, "CERR", 6) || IsCommand(word, "ECERR", 7)) {
      const int character = CharacterOf(word);
      if (InRange(character, kCharacters)) LoadMotion(stage_.characters[character].error, word[1] == 'E', fields);
    } else if (word == "WAVE") {
      const int slot = CutToken(fields).ToInt();
      if (InRange(slot, kWaveSlots)) LoadWave(stage_.waveBuffers[slot], CutToken(fields));
    }
  }

  void LoadBackAnime(VXString& fields) {
    const int anime = CutToken(fields).ToInt();
    if (!InRange(anime, kBackAnimes)) return;
    TBackAnime& slot = stage_.backAnimes[anime];
    VXStringList* names = ExpandBracketPattern(CutToken(fields));
    if (names == nullptr) return Fail();
    const int count = std::min(names->GetCount(), kBackAnimeFrames);
    for (int i = 0; i < kBackAnimeFrames; ++i) {
      if (i >= count) {
        CloseStream(files_, slot.frame[i].stream);
      } else if (!OpenPictureStream(slot.frame[i], files_, names->GetString(i))) {
        Fail();
      }
    }
    if (VXMemMan* mem = Registry()) mem->Delete(names);
    slot.count = count;
    for (int i = 0; i < count; ++i) slot.duration[i] = fields.IsEmpty() ? 10 : std::max(1, CutToken(fields).ToInt());
  }

  void LoadMotion(TMotion& motion, bool described, VXString& fields) {
    const bool loaded = described ? ReadMotionFile(motion, files_, CutToken(fields), stage_.tempo)
                                  : ReadCharMotion(motion, files_, fields);
    if (!loaded) Fail();
  }

  void LoadWave(DirectX::TDSoundBuffer*& buffer, const VXString& file) {
    if (VXMemMan* mem = Registry()) mem->Delete(buffer);
    buffer = nullptr;
    VXStream* stream = files_->Open(file);
    if (stream == nullptr) return Fail();
    buffer = CreateKeySoundBuffer(stream, KeySoundKindOf(file));
    files_->Close(stream);
    if (buffer == nullptr) return Fail();
    buffer->SetVolume(VolumeToAttenuation(options_.keyVolume));
  }

  // ---- Event sections: a bad number or an unknown command is an error, but the record is kept.
  std::uint32_t Number(VXString& fields) {
    try {
      return static_cast<std::uint32_t>(CutToken(fields).ToInt());
    } catch (const std::invalid_argument&) {
      Fail();
      return 0;
    }
  }
  static std::uint32_t NumberOrZero(VXString& fields) {
    return static_cast<std::uint32_t>(CutToken(fields).ToIntDef(0));
  }
  std::uint32_t Character(const VXString& word) {
    try {
      return static_cast<std::uint32_t>(CharacterOf(word));
    } catch (const std::invalid_argument&) {
      Fail();
      return 0;
    }
  }

  void EventLine(VXString fields, int section) {
    const VXString timeText = CutToken(fields);
    if (timeText.IsEmpty()) return;
    // An event of up to 7 words always fits below this.
    if (stage_.eventCursor > kEventWords - 7) return Stop();
    const std::uint32_t time = section == 0 ? 0 : StrToThousandths(timeText);
    const VXString word = CutToken(fields).UpperCase();
    if (word == "BGPIC") {
      const std::uint32_t picture = Number(fields);
      Store(time, setBackPicture, {picture, NumberOrZero(fields)});
    } else if (word == "BGANIM") {
      const std::uint32_t anime = Number(fields);
      Store(time, setBackAnime, {anime, NumberOrZero(fields)});
    } else if (IsCommand(word, "CHAR", 6) || IsCommand(word, "CINT", 6)) {
      const std::uint32_t character = Character(word);
      Store(time, word[2] == 'H' ? setCharMotion : setCharInterrupt, {character, Number(fields)});
    } else if (IsCommand(word, "POS", 5)) {
      const std::uint32_t character = Character(word);
      const std::uint32_t x = Number(fields);
      const std::uint32_t y = Number(fields);
      Store(time, setCharPosition, {character, x, y, NumberOrZero(fields)});
    } else if (word == "WAVE") {
      Store(time, setWave, {Number(fields)});
    } else if (word == "END") {
      Store(time, setEnd, {});
    } else {
      Fail();
      Store(time, setNone, {});
    }
  }

  void Store(std::uint32_t time, TStageEventType type, std::initializer_list<std::uint32_t> arguments) {
    std::uint32_t* record = stage_.events + stage_.eventCursor;
    const auto length = static_cast<std::uint32_t>(3 + arguments.size());
    record[0] = length;
    record[1] = time;
    record[2] = type;
    std::copy(arguments.begin(), arguments.end(), record + 3);
    stage_.eventCursor += static_cast<std::int32_t>(length);
  }

  TStageData& stage_;
  VXFileMan* files_;
  TStageOptions options_;
  bool error_ = false;
  bool stop_ = false;
};

}  // namespace

bool ReadStageScript(TStageData& stage, VXFileMan* songFiles, const TStageOptions& options) {
  return StageReader(stage, songFiles, options).Read();
}

void ReleaseStageData(TStageData& stage, VXFileMan* songFiles, VXFileMan* animeFiles) {
  for (TBackPicture& picture : stage.backPictures) CloseStream(songFiles, picture.stream);
  for (TBackAnime& anime : stage.backAnimes) {
    for (TBackPicture& frame : anime.frame) CloseStream(animeFiles, frame.stream);
    anime.count = 0;
  }
  for (TCharacterMotions& character : stage.characters) {
    for (TMotion& motion : character.motion) ReleaseMotion(motion);
    ReleaseMotion(character.error);
  }
  VXMemMan* mem = Registry();
  for (DirectX::TDSoundBuffer*& buffer : stage.waveBuffers) {
    if (mem != nullptr) mem->Delete(buffer);
    buffer = nullptr;
  }
}

// ---- Motion stepping --------------------------------------------------------------------------------------------

namespace {

std::int32_t NextMotionState(const TMotion& motion, std::int32_t state, bool loop) {
  const int count = motion.frameCount;
  const int index = state & kMotionFrameMask;
  if (count < 2) return kMotionFinished;
  if (motion.mode == motOnce || motion.mode == motLoop) {
    if (index + 1 < count) return index + 1;
    return motion.mode == motLoop && loop ? 0 : (count - 1) | kMotionFinished;
  }
  if ((state & kMotionBackward) == 0) return index + 1 < count ? index + 1 : (count - 2) | kMotionBackward;
  if (index > 0) return (index - 1) | kMotionBackward;
  return motion.mode == motRound && loop ? 1 : kMotionFinished;
}

}  // namespace

int MotionFrame(const TMotion& motion, const TMotionPlay& play) {
  const int index = play.state & kMotionFrameMask;
  return play.state >= 0 && index < motion.frameCount ? index : -1;
}

bool StepMotion(const TMotion& motion, TMotionPlay& play, int frames, bool loop) {
  // Beyond a few minutes of frames at once (a stalled game) where a motion stands no longer matters.
  constexpr int kMaxStep = 1 << 16;
  if (frames <= 0 || (play.state & kMotionFinished) != 0 || MotionFrame(motion, play) < 0) return false;
  if (motion.mode > motRound) return false;
  play.tick = static_cast<std::int32_t>(
      std::min<std::int64_t>(INT_MAX, static_cast<std::int64_t>(play.tick) + std::min(frames, kMaxStep)));
  bool changed = false;
  for (;;) {
    const int duration = std::max(1, motion.duration[play.state & kMotionFrameMask]);
    if (play.tick < duration) break;
    play.tick -= duration;
    const std::int32_t next = NextMotionState(motion, play.state, loop);
    changed |= (next & kMotionFrameMask) != (play.state & kMotionFrameMask);
    play.state = next;
    if ((next & kMotionFinished) != 0) {
      play.tick = 0;
      break;
    }
  }
  return changed;
}

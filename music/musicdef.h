// The data of the music game: where a song's files are found, its header file, its chart ("Song.txt") and its
// stage script ("Anime.txt") with the motion description files, and the stepping of a character's motion.
//
// Songs. A song is known by its four-character ID (`TSongID`, shell/systemdata.h, which also holds the series
// order and `CompareSongId`) and lives in "Song\<ID>\" below the game folder, which is the current folder. Each of
// its parts ("song", "event", "event<n>", "key") is a pack "<part>.pak" or a folder "<part>"; a pack that opens is
// preferred. The song audio is a plain file beside the parts: "song.ogg", "song.adp" or "song.wav".
//
// Charts. A line a note: time (song position, 88.2 a millisecond), length (a decimal, kept in thousandths), tone (a
// key sound's name without its extension, or "@" for a rest), key character, lyric. One chart serves every level:
// normal and easy fold every keyboard row onto the home row. A note whose tone or key is unknown is silent.
//
// Stage scripts. "[Load]" declares pictures, animations, character motions and sounds; "[Init]", "[Before]",
// "[Perform]" and "[After]" list timed events, which are kept as records of 32-bit words:
// {length in words, time in milliseconds, type, arguments}. Bad data is refused, never followed: a script that
// cannot be read whole fails, and the event arguments are checked again when they are performed.
#pragma once

#include <cstdint>

#include "core/vxstring.h"
#include "shell/systemdata.h"

class TZoAlpha;
class TZoRGBBits;
class TZoRGBPanel;
class VXFileMan;
class VXHashTable;
class VXStream;
class VXStringList;

namespace DirectX {
class TDSoundBuffer;
}

// ---- Songs ------------------------------------------------------------------------------------------------------

inline constexpr int kSongVersionMin = 100;
inline constexpr int kSongVersionMax = 200;
// From this version on a chart's lyric is the whole rest of its line (commas included).
inline constexpr int kLongLyricVersion = 111;
// From this version on "SONG.ID" has an options line and the song audio may be Ogg Vorbis.
inline constexpr int kOptionsVersion = 200;

struct TSongInfo {
  std::int32_t version = 0;  // of "SONG.ID"
  VXString options;          // its third line from version 200 on, else empty
};

// The kinds of key sounds and stage sounds, by extension: ".OGG" Ogg Vorbis, ".ADP" ADP, anything else RIFF wave.
enum TKeySoundKind : std::uint8_t { kskWave = 0, kskAdp = 1, kskOgg = 2 };
TKeySoundKind KeySoundKindOf(const VXString& name);
// A new static buffer of the game's sound device from the whole stream, by kind; null when it cannot be made.
DirectX::TDSoundBuffer* CreateKeySoundBuffer(VXStream* stream, TKeySoundKind kind);

// The value (upper-cased) of the first item "key=value" of a ':'-separated text whose key, upper-cased, is `key`;
// empty when none. "story=on:Compatible=Off" gives "ON" for "STORY".
VXString GetOptionValue(VXString key, VXString text);
// "Song\" and the ID ("Song\" alone for no song).
VXString SongFolderName(TSongID id);
// The part that holds a song's chart and stage: "song" below event number 2, "event" for 2, "event<n - 1>" above.
VXString SongPartName(TSongID id, int eventNumber);
// The part as a pack (path + ".pak") when that opens, else as the folder; false when there is neither.
bool OpenSongPart(VXFileMan& files, const VXString& path);
// True when the song's main part (or, when allowed, its event part) holds a "SONG.ID" of at least 8 lines with a
// version of 100 to 200 and this ID; then `info` (may be null) is filled.
bool ReadSongInfo(bool allowEvent, TSongInfo* info, TSongID id);
// The picture from the song's main part becomes the panel's (its previous picture is released first).
bool LoadSongImage(TZoRGBPanel* panel, VXString name, TSongID id);

// ---- Charts -----------------------------------------------------------------------------------------------------

inline constexpr std::uint32_t kEndOfChart = 0xFFFFFFFFu;
inline constexpr int kNoteCapacity = 1024;   // records; a chart holds at most 1,023 notes
inline constexpr int kLyricPoolSize = 32768;  // bytes
inline constexpr int kKeySoundCapacity = 512;
inline constexpr int kKeyNameSize = 26;  // bytes of a key-sound name with its terminator
inline constexpr int kKeyIndices = 30;   // three keyboard rows of ten

struct TMusicNote {
  std::uint32_t time;  // song position; kEndOfChart after the last note
  std::int32_t length;  // thousandths, at least 1
  std::int32_t pitch;   // tone number (index of the key sound); -1 for a rest or a silent note
  std::int32_t key;     // key index 0..29 (hard) or 0..7; -1 with pitch -1
  std::int32_t text;    // offset of the lyric word in the pool; -1 for none
  std::uint8_t autoPlay;  // the program plays the note
  std::uint8_t marked;    // played by the program while the player plays the rest (easy)
  std::uint8_t reserved[2];
  std::int32_t state;  // 0 waiting; 1 done; 2..5 done and bouncing back
};
static_assert(sizeof(TMusicNote) == 28);

// Key index of a key character (either case, or the shifted symbol of the same key); -1 for any other.
int CharToKey(char c);

struct TChartOptions {
  int version = kSongVersionMin;  // of the song's "SONG.ID"
  std::uint8_t level = 0;         // 0 normal, 1 hard, 2 easy
  std::uint8_t autoMode = 0;      // 0 off, 1 auto, 2 demo
};

// A table of the key sounds' base names (the name before its last '.'), slot i for name i. `names` holds `count`
// zero-terminated names of kKeyNameSize bytes each.
void BuildToneTable(VXHashTable& table, const char* names, int count);

// Reads the lines of a chart into `notes` (kNoteCapacity records; every record after the last note keeps time
// kEndOfChart) and its words into `lyrics` (kLyricPoolSize bytes). False, with noteCount the notes read before,
// for a time that is not a whole number from 0 up (0 counts as 1), a 1,024th note or a full lyric pool. Empty and
// blank lines and lines beginning with '#' are skipped.
bool ReadChart(const VXStringList& lines, const TChartOptions& options, const VXHashTable& tones, TMusicNote* notes,
               int& noteCount, char* lyrics);

// ---- Stage scripts ----------------------------------------------------------------------------------------------

inline constexpr int kBackPictureSlots = 32;
inline constexpr int kBackAnimes = 8;
inline constexpr int kBackAnimeFrames = 8;
inline constexpr int kCharacters = 4;
inline constexpr int kMotionsPerCharacter = 32;
inline constexpr int kMotionFrames = 24;
inline constexpr int kWaveSlots = 8;
inline constexpr int kEventWords = 16384;
inline constexpr int kEventSections = 4;  // [Init], [Before], [Perform], [After]
inline constexpr int kDefaultTempo = 120;

enum TStageEventType : std::uint32_t {
  setNone = 0,  // a command the reader does not know (the script fails)
  setBackPicture = 1,
  setBackAnime = 2,
  setCharMotion = 3,
  setCharInterrupt = 4,
  setCharPosition = 5,
  setWave = 6,
  setEnd = 7,
};

// A picture kept as its open file (0 BMP, 1 JPEG, 2 PNG), decoded when it is shown.
struct TBackPicture {
  std::uint8_t kind = 0;
  VXStream* stream = nullptr;
};

struct TBackAnime {
  std::int32_t count = 0;  // frames, 0..8
  TBackPicture frame[kBackAnimeFrames];
  std::int32_t duration[kBackAnimeFrames] = {};  // frames of the 30-per-second clock
};

// Motion modes: 0 once (the last frame stays), 1 there and back once, 2 loop, 3 there and back repeatedly.
enum TMotionMode : std::uint8_t { motOnce = 0, motTurn = 1, motLoop = 2, motRound = 3 };

struct TMotion {
  std::int32_t frameCount = 0;  // 0..24; 0: no motion
  std::int32_t cellWidth = 0, cellHeight = 0;
  std::int32_t columns = 0, rows = 0;
  std::uint8_t mode = motLoop;
  TZoRGBBits* picture = nullptr;
  TZoAlpha* alpha = nullptr;
  std::int32_t cell[kMotionFrames] = {};      // cells numbered left to right, top to bottom
  std::int32_t duration[kMotionFrames] = {};  // at least 1
};

struct TCharacterMotions {
  TMotion motion[kMotionsPerCharacter];
  TMotion error;  // shown after a miss
};

// Everything a stage script loads, and its events. The event words are the owner's (kEventWords of them).
struct TStageData {
  std::int32_t tempo = kDefaultTempo;
  TBackPicture backPictures[kBackPictureSlots];
  TBackAnime backAnimes[kBackAnimes];
  TCharacterMotions characters[kCharacters];
  DirectX::TDSoundBuffer* waveBuffers[kWaveSlots] = {};
  std::uint32_t* events = nullptr;
  std::int32_t eventCursor = 0;
  std::int32_t sectionEnd[kEventSections] = {};
};

struct TStageOptions {
  bool standardBack = false;  // background animation 0 is the game's own: BGANIM lines are skipped
  int keyVolume = 100;        // percent, for the stage sounds
};

// Reads "Anime.txt" from the song's files into `stage` (pictures, motions and sounds through the game services).
// True when the whole script was read: every section header once and in order, every resource loaded, every
// number a number, every event command known and the event list not full.
bool ReadStageScript(TStageData& stage, VXFileMan* songFiles, const TStageOptions& options);
// Releases what a script loaded: picture streams (animation frames through `animeFiles`), motions, sounds.
void ReleaseStageData(TStageData& stage, VXFileMan* songFiles, VXFileMan* animeFiles);

// Opens a ".BMP", ".JPG" or ".PNG" file (any case) into the slot, closing its previous stream; false for another
// name or a missing file (the slot then keeps what it had).
bool OpenPictureStream(TBackPicture& slot, VXFileMan* files, VXString name);
// A picture strip: `fields` holds the file, the mode word ("off", "turn", "round", else loop) and the durations
// (8 when missing); cells 64 x 96 stacked downward, at most 24 frames. False when the picture does not load.
// Throws std::invalid_argument for a duration that is not a number.
bool ReadCharMotion(TMotion& motion, VXFileMan* files, VXString& fields);
// A motion description file: "picture, cell width, cell height, mode" ("on" loops, else once), then up to 24
// lines "cell, duration" ("T<n>": n sixtieths of a beat at `tempo`; "S<n>": n milliseconds; else 1 frame). False
// (the motion emptied) for a missing file, a picture that does not load or cells that do not fit it.
bool ReadMotionFile(TMotion& motion, VXFileMan* files, VXString file, int tempo);
void ReleaseMotion(TMotion& motion);

// ---- Motion stepping --------------------------------------------------------------------------------------------

// A frame state: the frame index in the low 8 bits, and two flags.
inline constexpr std::int32_t kMotionFrameMask = 0xFF;
inline constexpr std::int32_t kMotionBackward = 0x100;
inline constexpr std::int32_t kMotionFinished = 0x200;

struct TMotionPlay {
  std::int32_t state = 0;
  std::int32_t tick = 0;
};

// Advances a motion by `frames` (frames of the 30-per-second clock); `loop` lets loop and round-trip motions go on
// (base motions), else they finish at their end. True when the frame shown changed.
bool StepMotion(const TMotion& motion, TMotionPlay& play, int frames, bool loop);
// The frame index a state shows; -1 when the motion has no such frame.
int MotionFrame(const TMotion& motion, const TMotionPlay& play);

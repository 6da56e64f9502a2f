// The song data of the music game: IDs and options, where a song's parts are found, "SONG.ID", the chart reader,
// the stage-script reader with its picture strips and motion description files, and motion stepping.
#include "music/musicdef.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxhash.h"
#include "core/vxstrlist.h"
#include "device/gameservices.h"
#include "device/zodsound.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "music/songfiles.h"
#include "shell/gamefunc.h"
#include "support/tempdir.h"

namespace {

using songfiles::CurrentFolder;

TSongID Id(const char* text) {
  TSongID id{};
  std::memcpy(id.data(), text, std::min<std::size_t>(4, std::strlen(text)));
  return id;
}

// A game folder as the current folder, with the game services (pictures, sounds) installed.
class SongData : public ::testing::Test {
protected:
  SongData() : cwd_(game.path()), services_(nullptr, &sound_) {
    sound_.SetManualOutput(true);
    sound_.SetEnabled(true);
    SetGameServices(&services_);
  }
  ~SongData() override { SetGameServices(nullptr); }

  TempDir game;

private:
  CurrentFolder cwd_;
  DirectX::TDSound sound_{nullptr};
  TLocalGameServices services_;
};

// ---- IDs, options, parts, SONG.ID ----------------------------------------------------------------------------

TEST(SongIds, OptionValues) {
  const struct {
    const char* key;
    const char* text;
    const char* value;
  } cases[] = {
      {"STORY", "story=on:Compatible=Off", "ON"},
      {"COMPATIBLE", "story=on:Compatible=Off", "OFF"},
      {"STORY", "STORY", ""},           // no '=': the value is empty
      {"STORY", ":STORY=on:", "ON"},    // empty items are skipped
      {"STORY", "STORY=:STORY=on", ""},  // the first item of the key wins
      {"STORY", "COMPATIBLE=ON", ""},
      {"STORY", "", ""},
      {"STORY", "STORY=a=b", "A=B"},  // split at the first '='
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetOptionValue(c.key, c.text), VXString(c.value)) << c.key << " in " << c.text;
}

TEST(SongIds, FolderAndPartNames) {
  EXPECT_EQ(SongFolderName(Id("QM01")), VXString("Song\\QM01"));
  EXPECT_EQ(SongFolderName(Id("")), VXString("Song\\"));
  const std::pair<int, const char*> parts[] = {{-3, "Song\\QE02\\song"}, {0, "Song\\QE02\\song"},
                                               {1, "Song\\QE02\\song"},  {2, "Song\\QE02\\event"},
                                               {3, "Song\\QE02\\event2"}, {11, "Song\\QE02\\event10"}};
  for (const auto& [number, name] : parts) EXPECT_EQ(SongPartName(Id("QE02"), number), VXString(name)) << number;
  const std::pair<const char*, TKeySoundKind> kinds[] = {{"A.OGG", kskOgg}, {"b.ogg", kskOgg}, {"c.Adp", kskAdp},
                                                         {"d.wav", kskWave}, {"e", kskWave},   {"f.ogg.mp3", kskWave}};
  for (const auto& [name, kind] : kinds) EXPECT_EQ(KeySoundKindOf(name), kind) << name;
}

TEST_F(SongData, SongIdVersionsAndIds) {
  const struct {
    std::string file;
    bool valid;
    int version;
    const char* options;
  } cases[] = {
      {songfiles::SongId("Ver2.00", "QM01", "STORY=ON"), true, 200, "STORY=ON"},
      {songfiles::SongId("Ver1.50", "QM01", "STORY=ON"), true, 150, ""},
      {songfiles::SongId("Ver1.00", "QM01xx"), true, 100, ""},
      {songfiles::SongId("Ver2.01", "QM01"), false, 0, ""},
      {songfiles::SongId("Ver0.99", "QM01"), false, 0, ""},
      {songfiles::SongId("Ver1.5", "QM01"), false, 0, ""},   // a tag of the wrong length is version 0
      {songfiles::SongId("Ver2.00", "qm01"), false, 0, ""},  // the ID line is upper-case
      {songfiles::SongId("Ver2.00", "QM02"), false, 0, ""},
      {songfiles::SongId("Ver2.00", "QM0"), false, 0, ""},
      {songfiles::SongId("Ver2.00", "QM01", "", 4), false, 0, ""},  // 7 lines
  };
  for (const auto& c : cases) {
    game.Write("Song/QM01/song/SONG.ID", c.file);
    TSongInfo info{-1, "untouched"};
    EXPECT_EQ(ReadSongInfo(false, &info, Id("QM01")), c.valid) << c.file;
    if (c.valid) {
      EXPECT_EQ(info.version, c.version);
      EXPECT_EQ(info.options, VXString(c.options));
    } else {
      EXPECT_EQ(info.version, -1) << "untouched when invalid";
    }
  }
  game.Write("Song/QM01/song/SONG.ID", songfiles::SongId("Ver1.11", "QM01"));
  EXPECT_TRUE(ReadSongInfo(false, nullptr, Id("qm01"))) << "the ID is compared upper-cased";
  EXPECT_FALSE(ReadSongInfo(true, nullptr, Id(""))) << "no song";
}

TEST_F(SongData, EventPartOnlyWhenAllowedAndPackBeforeFolder) {
  game.Write("Song/QE01/event/SONG.ID", songfiles::SongId("Ver1.20", "QE01"));
  EXPECT_FALSE(ReadSongInfo(false, nullptr, Id("QE01")));
  TSongInfo info;
  ASSERT_TRUE(ReadSongInfo(true, &info, Id("QE01")));
  EXPECT_EQ(info.version, 120);

  // Both a pack and a folder of the main part: the pack is read.
  game.Write("Song/QE02/song/SONG.ID", songfiles::SongId("Ver1.00", "QE02"));
  songfiles::WritePack(game, (game.path() / "Song/QE02/song.pak").string(),
                       {{"SONG.ID", songfiles::SongId("Ver1.77", "QE02")}, {"title.bmp", songfiles::Bmp(4, 3, 0x123456)}});
  ASSERT_TRUE(ReadSongInfo(false, &info, Id("QE02")));
  EXPECT_EQ(info.version, 177);

  TZoRGBPanel panel(nullptr);
  EXPECT_TRUE(LoadSongImage(&panel, "title.bmp", Id("QE02")));
  ASSERT_NE(panel.GetImage(), nullptr);
  EXPECT_EQ(panel.GetImage()->GetWidth(), 4);
  EXPECT_FALSE(LoadSongImage(&panel, "title.bmp", Id("QE01"))) << "only from the main part";
  EXPECT_FALSE(LoadSongImage(&panel, "missing.bmp", Id("QE02")));
  ReleasePanelImage(&panel);
}

// ---- Charts ---------------------------------------------------------------------------------------------------

class Chart : public ::testing::Test {
protected:
  // Key sounds as the game lists them: upper-case names with extensions.
  void Keys(std::initializer_list<const char*> names) {
    names_.assign(names.size() * kKeyNameSize, '\0');
    int i = 0;
    for (const char* name : names) std::strcpy(names_.data() + kKeyNameSize * i++, name);
    tones_ = std::make_unique<VXHashTable>();
    BuildToneTable(*tones_, names_.data(), i);
  }

  bool Read(const std::string& text, TChartOptions options = {}) {
    VXStringList lines;
    lines.SetText(text.c_str());
    if (!tones_) Keys({"DO.WAV", "RE.OGG", "MI.ADP"});
    return ReadChart(lines, options, *tones_, notes, count, lyrics.data());
  }

  std::string Lyric(int i) const { return notes[i].text < 0 ? "<none>" : lyrics.data() + notes[i].text; }

  TMusicNote notes[kNoteCapacity];
  int count = -1;
  std::vector<char> lyrics = std::vector<char>(kLyricPoolSize, '\x55');

private:
  std::vector<char> names_;
  std::unique_ptr<VXHashTable> tones_;
};

TEST_F(Chart, FieldsOfANoteAndOfARest) {
  Keys({"RE.OGG", "DO.WAV"});
  ASSERT_TRUE(Read("1000, 0.5, do, a, la\n2000,1,@\n0,0,RE,S\n"));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(notes[0].time, 1000u);
  EXPECT_EQ(notes[0].length, 500);
  EXPECT_EQ(notes[0].pitch, 1) << "the index of DO.WAV, found by its base name in any case";
  EXPECT_EQ(notes[0].key, 0);
  EXPECT_EQ(Lyric(0), "la");
  EXPECT_EQ(notes[1].pitch, -1);
  EXPECT_EQ(notes[1].key, -1);
  EXPECT_EQ(Lyric(1), "") << "a rest without words stores an empty word (it clears the shown lyric)";
  EXPECT_EQ(notes[2].time, 1u) << "0 becomes 1";
  EXPECT_EQ(notes[2].length, 1);
  EXPECT_EQ(Lyric(2), "<none>");
  EXPECT_EQ(notes[3].time, kEndOfChart);
}

TEST_F(Chart, LyricRuleByVersion) {
  const struct {
    int version;
    const char* line;
    const char* lyric;
  } cases[] = {
      {100, "1000,1,DO,a,la,la,", "la"},      {111, "1000,1,DO,a,la,la,", "la,la"},
      {111, "1000,1,DO,a, la ,", " la "},     {110, "1000,1,@, words ,more", "words"},
      {200, "1000,1,@,words, more", "words, more"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Read(c.line, {c.version, 0, 0})) << c.line;
    EXPECT_EQ(Lyric(0), c.lyric) << c.version << " " << c.line;
  }
}

TEST_F(Chart, KeysByLevelAndTheProgramsNotes) {
  const struct {
    char key;
    std::uint8_t level;
    std::uint8_t autoMode;
    int expected;
    bool autoPlay, marked;
  } cases[] = {
      {'g', 0, 0, 3, false, false},  {'g', 2, 0, 3, false, false},  {'g', 1, 0, 8, false, false},
      {'T', 0, 0, 3, false, false},  {'T', 1, 0, 18, false, false}, {'<', 1, 0, 25, false, false},
      {'a', 2, 0, 0, true, true},    {'s', 2, 0, 1, true, true},    {'d', 2, 0, 2, false, false},
      {'k', 2, 0, 5, false, false},  {'l', 2, 0, 6, true, true},    {'+', 2, 0, 7, true, true},
      {'q', 2, 0, 0, true, true},    {'f', 0, 1, 3, true, false},   {'f', 1, 2, 3, true, false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Read(std::string("500,1,MI,") + c.key, {200, c.level, c.autoMode}));
    EXPECT_EQ(notes[0].key, c.expected) << c.key << " level " << int(c.level);
    EXPECT_EQ(notes[0].autoPlay != 0, c.autoPlay) << c.key << " level " << int(c.level);
    EXPECT_EQ(notes[0].marked != 0, c.marked) << c.key << " level " << int(c.level);
  }
  // Silent notes: an unknown tone, no key or an unknown key.
  for (const char* line : {"500,1,FA,a", "500,1,DO", "500,1,DO,1", "500,1,DO,\x82\xA0", "500,1,,a"}) {
    ASSERT_TRUE(Read(line, {200, 2, 1})) << line;
    EXPECT_EQ(notes[0].pitch, -1) << line;
    EXPECT_EQ(notes[0].key, -1) << line;
    EXPECT_EQ(notes[0].autoPlay, 0) << line;
  }
}

TEST_F(Chart, SkippedLinesAndBadTimes) {
  ASSERT_TRUE(Read("# a comment\n\n   \n#1000,1,DO,a\n1000,1,DO,a\n"));
  EXPECT_EQ(count, 1);
  // A negative time would wrap into the end marker (-1) or behind every note: refused like any bad number.
  for (const char* line : {"-1,1,DO,a", "-5,1,DO,a", "4294967295,1,DO,a", "abc,1,DO,a", ",1,DO,a", "1.5,1,DO,a"}) {
    EXPECT_FALSE(Read(std::string("100,1,DO,a\n") + line)) << line;
    EXPECT_EQ(count, 1) << line;
    EXPECT_EQ(notes[1].time, kEndOfChart) << line;
  }
  ASSERT_TRUE(Read("2147483647,1.999,DO,a\n300,x,DO,a"));
  EXPECT_EQ(notes[0].time, 2147483647u);
  EXPECT_EQ(notes[0].length, 1999);
  EXPECT_EQ(notes[1].length, 1) << "a length that is not a number is 0, which counts as 1";
}

TEST_F(Chart, Capacity) {
  std::string chart;
  for (int i = 1; i <= 1023; ++i) chart += std::to_string(i * 10) + ",1,DO,a\n";
  ASSERT_TRUE(Read(chart));
  EXPECT_EQ(count, 1023);
  EXPECT_EQ(notes[1023].time, kEndOfChart);
  EXPECT_FALSE(Read(chart + "99999,1,DO,a\n")) << "a 1,024th note";
  EXPECT_EQ(notes[1023].time, kEndOfChart) << "the record after the last note keeps the end marker";

  // Words and their terminators stay below 32,767 bytes; a rest's empty word takes one byte.
  std::string words;
  for (int i = 0; i < 32; ++i) words += "1,1,DO,a," + std::string(999, 'w') + "\n";  // 32 x 1,000 bytes
  ASSERT_TRUE(Read(words + "1,1,DO,a," + std::string(766, 'x'), {111, 0, 0}));
  EXPECT_EQ(Lyric(32), std::string(766, 'x'));
  EXPECT_FALSE(Read(words + "1,1,DO,a," + std::string(767, 'x'), {111, 0, 0}));
  EXPECT_FALSE(Read(words + "1,1,DO,a," + std::string(766, 'x') + "\n1,1,@", {111, 0, 0}));
  EXPECT_TRUE(Read(words + "1,1,DO,a," + std::string(765, 'x') + "\n1,1,@", {111, 0, 0}));
}

// ---- Stage scripts ----------------------------------------------------------------------------------------------

class Stage : public SongData {
protected:
  Stage() { files.InitDir(game.str().c_str()); }
  ~Stage() override { ReleaseStageData(stage, &files, &files); }

  bool Read(const std::string& script, TStageOptions options = {}) {
    game.Write("Anime.txt", script);
    files.InitDir(game.str().c_str());  // forget the cached scan of the folder
    ReleaseStageData(stage, &files, &files);
    stage.events = events.data();
    return ReadStageScript(stage, &files, options);
  }
  static std::string Script(const std::string& load, const std::string& init = "", const std::string& before = "",
                            const std::string& perform = "", const std::string& after = "") {
    return "[Load]\n" + load + "[Init]\n" + init + "[Before]\n" + before + "[Perform]\n" + perform + "[After]\n" +
           after;
  }
  // The event records of a section, each as its words.
  std::vector<std::vector<std::uint32_t>> Section(int s) const {
    std::vector<std::vector<std::uint32_t>> records;
    for (int at = s == 0 ? 0 : stage.sectionEnd[s - 1]; at < stage.sectionEnd[s]; at += static_cast<int>(events[at]))
      records.emplace_back(events.begin() + at, events.begin() + at + events[at]);
    return records;
  }
  // A strip of `frames` cells of 64 x 96.
  void Strip(const std::string& name, int frames) {
    game.Write(name, songfiles::Png(64, 96 * frames, 0xFF204060u));
  }

  VXFileMan files;
  TStageData stage;
  std::vector<std::uint32_t> events = std::vector<std::uint32_t>(kEventWords, 0xEEEEEEEE);
};

TEST_F(Stage, SectionsAndTheirOrder) {
  ASSERT_TRUE(Read(Script("")));
  for (int s = 0; s < 4; ++s) EXPECT_EQ(stage.sectionEnd[s], 0);
  EXPECT_EQ(stage.tempo, kDefaultTempo);
  // Lines before [Load] are ignored; blanks around a header and comments are not part of it.
  EXPECT_TRUE(Read("anything\n  [Load]  \r\n[Init]\t// comment\n[Before] \n[Perform]\n[After]   "));
  EXPECT_FALSE(Read("[Load]\n[Init]\n[Perform]\n[After]\n")) << "[Before] missing";
  EXPECT_FALSE(Read("[Init]\n[Load]\n[Before]\n[Perform]\n[After]\n"));
  EXPECT_FALSE(Read("[Load]\n[Init]\n[Before]\n[Perform]\n")) << "[After] missing";
  EXPECT_FALSE(Read(Script("") + "[After]\n")) << "a header twice";
  EXPECT_FALSE(Read(Script("") + "[after]\n")) << "headers are case-sensitive";
  files.Finish();
  EXPECT_FALSE(ReadStageScript(stage, &files, {})) << "no Anime.txt";
}

TEST_F(Stage, EventRecordsAndTimes) {
  ASSERT_TRUE(Read(Script("TEMPO,150\n", "5.0,BGPIC,3\n,CHAR01,2\n",
                          "0.25,POS02,100,-20\n1,CINT03,4 // comment\n// 2,END\n",
                          "5.0,BGANIM,1,6\n5.5,WAVE,2\n6,END\n", "7,pos00,700,0,12\n")));
  EXPECT_EQ(stage.tempo, 150);
  using R = std::vector<std::vector<std::uint32_t>>;
  EXPECT_EQ(Section(0), (R{{5, 0, setBackPicture, 3, 0}})) << "[Init] times are 0; an empty time skips the line";
  EXPECT_EQ(Section(1), (R{{7, 250, setCharPosition, 2, 100, static_cast<std::uint32_t>(-20), 0},
                           {5, 1000, setCharInterrupt, 3, 4}}));
  EXPECT_EQ(Section(2), (R{{5, 5000, setBackAnime, 1, 6}, {4, 5500, setWave, 2}, {3, 6000, setEnd}}));
  EXPECT_EQ(Section(3), (R{{7, 7000, setCharPosition, 0, 700, 0, 12}}));

  // An unknown event command, or a number that is not one, fails the script; the record is kept.
  EXPECT_FALSE(Read(Script("", "", "", "1,JUMP,3\n2,WAVE,1\n")));
  EXPECT_EQ(Section(2), (R{{3, 1000, setNone}, {4, 2000, setWave, 1}}));
  EXPECT_FALSE(Read(Script("", "", "", "1,WAVE,x\n2,CHARx1,1\n")));
  EXPECT_EQ(Section(2), (R{{4, 1000, setWave, 0}, {5, 2000, setCharMotion, 0, 1}}));
  // An unknown [Load] command is ignored.
  EXPECT_TRUE(Read(Script("SPARKLE,1,2\nCINT00,1,x.png\n")));
}

TEST_F(Stage, TheEventListFillsToItsEnd) {
  std::string perform;
  for (int i = 0; i < 2340; ++i) perform += "1,POS00,1,2,3\n";
  ASSERT_TRUE(Read(Script("", "", "", perform)));
  EXPECT_EQ(stage.sectionEnd[3], 16380);
  EXPECT_FALSE(Read(Script("", "", "", perform + "2,END\n")));
  EXPECT_EQ(stage.eventCursor, 16380) << "nothing written past the list";
}

TEST_F(Stage, PicturesAnimationsAndSounds) {
  game.Write("bg.bmp", songfiles::Bmp(8, 6, 0x102030));
  for (int i = 1; i <= 9; ++i) game.Write("sky" + std::to_string(i) + ".jpg", "not read yet");
  game.Write("tone.wav", songfiles::Wave(441));
  ASSERT_TRUE(Read(Script("BGPIC,0,bg.bmp\nBGPIC,32,missing.bmp\nBGANIM,2,sky[1-9].jpg,4,0\nBGANIM,9,x[1-2].jpg\n"
                          "WAVE,0,tone.wav\nWAVE,9,missing.ogg\n")));
  EXPECT_NE(stage.backPictures[0].stream, nullptr);
  EXPECT_EQ(stage.backPictures[0].kind, 0);
  const TBackAnime& anime = stage.backAnimes[2];
  EXPECT_EQ(anime.count, 8) << "a pattern of more than 8 names keeps the first 8";
  EXPECT_EQ(anime.frame[7].kind, 1);
  EXPECT_EQ(std::vector<int>(anime.duration, anime.duration + 8), (std::vector<int>{4, 1, 10, 10, 10, 10, 10, 10}));
  EXPECT_NE(stage.waveBuffers[0], nullptr);

  EXPECT_FALSE(Read(Script("BGPIC,1,missing.bmp\n")));
  EXPECT_FALSE(Read(Script("BGPIC,1,bg.gif\n")));
  EXPECT_FALSE(Read(Script("WAVE,2,missing.ogg\n")));
  EXPECT_FALSE(Read(Script("WAVE,2,bg.bmp\n"))) << "not a sound";
  EXPECT_FALSE(Read(Script("TEMPO,fast\n")));
  ASSERT_TRUE(Read(Script("BGANIM,0,sky[1-2].jpg\n"), {true, 100}));
  EXPECT_EQ(stage.backAnimes[0].count, 0) << "the standard background replaces the song's animations";
}

TEST_F(Stage, PictureStrips) {
  Strip("strip.png", 5);
  Strip("tall.png", 30);
  game.Write("narrow.png", songfiles::Png(10, 50, 0xFFFFFFFFu));
  ASSERT_TRUE(Read(Script("CHAR01,3,strip.png,round,4,4\nCHAR02,0,strip.png,OFF\nCHAR03,31,strip.png\n"
                          "CERR00,tall.png,turn,2\nCHAR04,0,strip.png\nCHAR00,32,strip.png\nCHAR00,1,narrow.png\n")));
  const TMotion& m = stage.characters[1].motion[3];
  EXPECT_EQ(m.frameCount, 5);
  EXPECT_EQ(std::vector<int>(m.duration, m.duration + 5), (std::vector<int>{4, 4, 8, 8, 8}));
  EXPECT_EQ(std::vector<int>(m.cell, m.cell + 5), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(m.mode, motRound);
  EXPECT_EQ(m.cellWidth, 64);
  EXPECT_EQ(m.cellHeight, 96);
  EXPECT_EQ(stage.characters[2].motion[0].mode, motOnce);
  EXPECT_EQ(stage.characters[3].motion[31].mode, motLoop);
  EXPECT_EQ(stage.characters[0].error.frameCount, 24) << "at most 24 frames";
  EXPECT_EQ(stage.characters[0].error.mode, motTurn);
  EXPECT_EQ(stage.characters[0].motion[1].frameCount, 0) << "a picture lower than a cell has no frames";

  EXPECT_FALSE(Read(Script("CHAR01,0,missing.png\n")));
  EXPECT_FALSE(Read(Script("CHAR01,0,strip.png,loop,4,x\nBGPIC,0,missing.bmp\n")));
  EXPECT_FALSE(Read(Script("CHARxx,0,strip.png\n")));
}

TEST_F(Stage, MotionDescriptionFiles) {
  game.Write("sheet.png", songfiles::Png(256, 192, 0xFF804020u));  // 4 x 2 cells of 64 x 96
  game.Write("t60.txt", "// beats at the script's tempo\nsheet.png, 64, 96, on\n5, T60 // a beat\n6,T30\n7,S500\n0,8\n3\n");
  game.Write("bad.txt", "sheet.png, 64, 96\n1, S100\n8, S100\n2, S100\n");
  game.Write("big.txt", "sheet.png,64,96\n0,T2000000000\n1,S2000000000\n2,T-5\n");
  std::string many = "sheet.png,64,96,on\n";
  for (int i = 0; i < 300; ++i) many += std::to_string(i % 8) + ",1\n";
  game.Write("many.txt", many);
  game.Write("wide.txt", "sheet.png, 300, 96, on\n0,1\n");
  game.Write("zero.txt", "sheet.png, 0, 96, on\n0,1\n");
  ASSERT_TRUE(Read(Script("TEMPO,150\nECHAR00,0,t60.txt\nECHAR00,1,bad.txt\nECERR01,big.txt\nECHAR01,2,many.txt\n")));
  const TMotion& t = stage.characters[0].motion[0];
  EXPECT_EQ(t.mode, motLoop);
  EXPECT_EQ(t.columns, 4);
  EXPECT_EQ(t.rows, 2);
  ASSERT_EQ(t.frameCount, 5);
  EXPECT_EQ(std::vector<int>(t.cell, t.cell + 5), (std::vector<int>{5, 6, 7, 0, 3}));
  EXPECT_EQ(std::vector<int>(t.duration, t.duration + 5), (std::vector<int>{12, 6, 15, 1, 1}));
  const TMotion& bad = stage.characters[0].motion[1];
  EXPECT_EQ(bad.frameCount, 1) << "a cell outside the picture ends the file";
  EXPECT_EQ(bad.mode, motOnce);
  const TMotion& big = stage.characters[1].error;
  ASSERT_EQ(big.frameCount, 3);
  EXPECT_EQ(big.duration[0], 400000000) << "n x 30 / tempo, worked out without overflowing";
  EXPECT_EQ(big.duration[1], 60000000);
  EXPECT_EQ(big.duration[2], 1);
  EXPECT_EQ(stage.characters[1].motion[2].frameCount, 24) << "lines after the 24th frame are ignored";

  EXPECT_FALSE(Read(Script("ECHAR00,0,wide.txt\n")));
  EXPECT_EQ(stage.characters[0].motion[0].picture, nullptr) << "a failed motion keeps nothing";
  EXPECT_FALSE(Read(Script("ECHAR00,0,zero.txt\n")));
  EXPECT_FALSE(Read(Script("ECHAR00,0,missing.txt\n")));
}

// ---- Motion stepping --------------------------------------------------------------------------------------------

TEST(MotionStepping, FramesByModeAndLooping) {
  const struct {
    TMotionMode mode;
    bool loop;
    std::vector<int> frames;  // the frame shown after each step of one frame (every duration 1)
  } cases[] = {
      {motOnce, true, {1, 2, 2, 2}},
      {motLoop, true, {1, 2, 0, 1, 2, 0}},
      {motLoop, false, {1, 2, 2, 2}},
      {motTurn, true, {1, 2, 1, 0, 0, 0}},
      {motRound, true, {1, 2, 1, 0, 1, 2, 1, 0, 1}},
      {motRound, false, {1, 2, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    TMotion motion;
    motion.frameCount = 3;
    motion.mode = c.mode;
    std::fill(std::begin(motion.duration), std::end(motion.duration), 1);
    TMotionPlay play;
    std::vector<int> shown;
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
      StepMotion(motion, play, 1, c.loop);
      shown.push_back(MotionFrame(motion, play));
    }
    EXPECT_EQ(shown, c.frames) << "mode " << int(c.mode) << (c.loop ? " looping" : "");
  }
}

TEST(MotionStepping, DurationsFinishingAndBadStates) {
  TMotion motion;
  motion.frameCount = 2;
  motion.mode = motLoop;
  motion.duration[0] = 3;
  motion.duration[1] = 0;  // counts as 1
  TMotionPlay play;
  EXPECT_FALSE(StepMotion(motion, play, 2, true));
  EXPECT_TRUE(StepMotion(motion, play, 1, true));
  EXPECT_EQ(MotionFrame(motion, play), 1);
  EXPECT_TRUE(StepMotion(motion, play, 1, true));
  EXPECT_EQ(MotionFrame(motion, play), 0);
  EXPECT_TRUE(StepMotion(motion, play, 3 * 1000 + 4 * 1000 + 1, true)) << "many frames at once";
  EXPECT_EQ(play.state & ~kMotionFrameMask, 0);

  motion.frameCount = 1;
  play = {};
  StepMotion(motion, play, 3, true);
  EXPECT_EQ(play.state, kMotionFinished) << "one frame finishes at once";
  EXPECT_FALSE(StepMotion(motion, play, 100, true));

  // A state whose frame lies outside the motion (a motion changed under it) stays as it is.
  motion.frameCount = 4;
  play = {7, 0};
  EXPECT_FALSE(StepMotion(motion, play, 100, true));
  EXPECT_EQ(MotionFrame(motion, play), -1);
  play = {-1, 0};
  EXPECT_EQ(MotionFrame(motion, play), -1);
  motion.mode = 9;  // an unknown mode stops stepping
  play = {};
  EXPECT_FALSE(StepMotion(motion, play, 100, true));
  // Stepping a long way keeps the frame inside the motion and its flags apart from it.
  motion.mode = motRound;
  motion.frameCount = kMotionFrames;
  std::fill(std::begin(motion.duration), std::end(motion.duration), 1);
  for (int i = 0; i < 1000; ++i) {
    StepMotion(motion, play, 7, true);
    ASSERT_GE(MotionFrame(motion, play), 0);
    ASSERT_EQ(play.state & ~(kMotionFrameMask | kMotionBackward), 0);
  }
}

}  // namespace
